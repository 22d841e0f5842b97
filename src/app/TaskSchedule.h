#pragma once

// Keeps the system scheduler in step with a task that the window or the command line has
// just made or changed: the one place that decides between registering and removing its
// job and says so in the log.

#include <QString>

#include "model/TaskRecord.h"

namespace corvane {

// Registers the job of `task` when it has a schedule, logging "  Activation task has
// been added to the system scheduler" on success; removes it for "Run manually" (that
// result is not reported: a task without a job is what was asked for). `before` is the
// task as it was saved until now, or null for a new one: a renamed task's job is named
// after its old name and would otherwise go on starting a task that no longer exists.
// `program` is the corvane executable the job starts. False only when a schedule could
// not be registered (the scheduler has logged why).
[[nodiscard]] bool ApplyTaskSchedule(const TaskRecord* before, const TaskRecord& task,
                                     const QString& program);

}  // namespace corvane
