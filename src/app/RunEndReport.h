#pragma once

// What happens when a backup run of a task has ended, whichever front end ran it: its
// result is kept for the task (LastResults.h), and a desktop notice is raised for a
// failed run and for a run that found nothing to do when the task has stored nothing
// for longer than the user allows ("Main"/"IdleNoticeDays").
//
// A run found nothing to do when it succeeded and stored no file (StoredFiles.h: every
// file was unchanged, or none was found) and the task has no contacts or settings-key
// item, which are exported afresh by every run.
//
// Called on the worker thread at the end of the job; it may wait up to
// kNoticeReplyTimeoutMs for the desktop.

#include <QDateTime>
#include <cstdint>

#include "app/LastResults.h"
#include "model/TaskRecord.h"

namespace corvane {

RunResult ClassifyRun(const TaskRecord& task, bool succeeded, bool stopped,
                      std::int64_t storedFiles);

// Records `result` for the task, ended at `ended`, and raises its notice if it needs one.
void ReportRunEnd(const QString& dataFolder, const TaskRecord& task, RunResult result,
                  const QDateTime& ended = QDateTime::currentDateTime());

}  // namespace corvane
