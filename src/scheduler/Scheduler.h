#pragma once

// The system scheduler: a task with a schedule becomes a job of the system that starts
// `corvane /"NAME"` at the times of its schedule. Where a user systemd instance runs, the
// job is a systemd user timer with its service (Persistent=true, so a run missed while the
// computer was off or asleep happens at the next start); elsewhere it is a line of the
// user's crontab under a marker comment naming the job, and missed runs are not caught up.
//
// The job is named by "Backup task %s from Corvane" with the task name, made safe for the
// scheduler (two tasks never share a job). Main thread only: the window's pages, the
// command line and start-up call these; nothing here runs during a backup.

#include <QString>
#include <vector>

#include "model/TaskList.h"
#include "model/TaskRecord.h"

namespace corvane {

// "Backup task %s from Corvane" with the task name.
QString WorkItemName(const QString& taskName);

// Creates or replaces the job of a task whose schedule mode is not 0. False, with
// "  Warning: cannot access the system scheduler, recurrency will be disabled" or
// "  Warning: cannot create task, recurrency will be disabled" logged, when the scheduler
// cannot be reached or the job cannot be written; a rejected rule logs "  Warning: cannot
// set recurrency settings, maybe the date is wrong" and still answers true. `program` is
// the corvane executable the job starts.
bool ScheduleTask(const TaskRecord& task, const QString& program);

// Removes the job of the task (nothing to remove answers true). False when it exists and
// cannot be removed.
bool UnscheduleTask(const TaskRecord& task);

// One job of ours as the system scheduler reports it.
struct ScheduledJob {
    QString taskName;  // read back from the job
    QString rule;      // "daily at 07:30", "weekly on Mon, Fri at 07:30", ...
    QString nextRun;   // as the scheduler says it; empty when it does not know
};
std::vector<ScheduledJob> ListScheduledJobs();

// Start-up check: every task with a schedule has its job (re-created, with a log line,
// when missing) and no job of ours is left for a task that no longer exists (removed,
// with a log line). `program` as for ScheduleTask.
void ReconcileScheduledJobs(const TaskList& tasks, const QString& program);

}  // namespace corvane
