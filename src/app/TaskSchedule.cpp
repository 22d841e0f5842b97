#include "app/TaskSchedule.h"

#include "log/Log.h"
#include "scheduler/Scheduler.h"

namespace corvane {

bool ApplyTaskSchedule(const TaskRecord* before, const TaskRecord& task, const QString& program) {
    if (before != nullptr && before->scheduleMode != kScheduleNone &&
        WorkItemName(before->name) != WorkItemName(task.name)) {
        (void)UnscheduleTask(*before);
    }
    if (task.scheduleMode == kScheduleNone) {
        // A new task without a schedule never had a job to remove.
        if (before != nullptr) {
            (void)UnscheduleTask(task);
        }
        return true;
    }
    if (!ScheduleTask(task, program)) {
        return false;
    }
    Log("  Activation task has been added to the system scheduler");
    return true;
}

}  // namespace corvane
