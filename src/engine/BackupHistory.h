#pragma once

// The backup history of a task: every distinct place (folder and archive name, date
// patterns filled) the task has written to, with the time of the latest successful
// backup there. Entries are appended or have their time refreshed here; only the
// pruning of old dated backups (Retention.h) removes any.
//
// Called on the worker thread after a run that was neither stopped nor failed, while
// the main thread leaves the task alone; the task parameter file written right after
// carries the new entry.

#include "model/CalendarTime.h"
#include "model/TaskRecord.h"

namespace corvane {

// Records a backup made with the run time `runTime`, stamped with the current local
// time (the end of the run). The place is ResolvedDestFolder(task, runTime), never
// redirected to the CD staging folder, and for any method but 1 (copy as is)
// ResolvedArchiveName(task, runTime); method 1 records an empty archive name. The
// first entry with the same folder and archive name, compared case-sensitively as
// Linux compares file names, gets the new time; without one an entry is appended.
// Answers the index of that entry.
int RecordBackupHistory(TaskRecord& task, const CalendarTime& runTime);

// The same with the entry's time given (the clock seam of the one above).
int RecordBackupHistory(TaskRecord& task, const CalendarTime& runTime,
                        const CalendarTime& entryTime);

}  // namespace corvane
