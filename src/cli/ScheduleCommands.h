#pragma once

// `corvane-cli schedule NAME SPEC` and `corvane-cli schedules`: a task's schedule set and
// registered with the system scheduler, and the jobs the system scheduler holds for us.

#include <QStringList>
#include <cstdio>

namespace corvane {

// `args` are the words after `schedule`: the task name and the schedule (manual,
// daily@HH:MM, weekly:mon,fri@HH:MM, monthly:D@HH:MM). Changes the task as `edit
// --schedule` does, and so with its checks, output and status.
int ScheduleCommand(const QString& dataFolder, const QStringList& args, std::FILE* out,
                    std::FILE* err);

// Brings the system scheduler in step with the task list first (a job the user removed
// comes back, the job of a deleted task goes), then prints one "NAME\tRULE\tNEXT" line
// per job, "-" for a next run the scheduler does not know.
int SchedulesCommand(const QString& dataFolder, std::FILE* out, std::FILE* err);

}  // namespace corvane
