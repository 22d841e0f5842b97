#include "scheduler/Scheduler.h"

#include <QSet>

#include "log/Log.h"
#include "scheduler/ScheduleCalendar.h"
#include "scheduler/SchedulerBackend.h"
#include "scheduler/SchedulerCommand.h"

namespace corvane {
namespace {

// A name the job could not carry back exactly: a line break would end a crontab line or
// a unit file line.
bool HasControlCharacter(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            return true;
        }
    }
    return false;
}

}  // namespace

QString WorkItemName(const QString& taskName) {
    return QStringLiteral("Backup task %1 from Corvane").arg(taskName);
}

std::unique_ptr<SchedulerBackend> ChooseSchedulerBackend() {
    const QString forced = qEnvironmentVariable("CORVANE_SCHEDULER");
    if (forced == QLatin1String("systemd")) {
        return MakeSystemdBackend();
    }
    if (forced == QLatin1String("cron")) {
        return MakeCronBackend();
    }
    const bool managerAnswers =
        RunSchedulerCommand("CORVANE_SYSTEMCTL", QStringLiteral("systemctl"),
                            {QStringLiteral("--user"), QStringLiteral("show-environment")})
            .ok;
    return managerAnswers ? MakeSystemdBackend() : MakeCronBackend();
}

bool ScheduleTask(const TaskRecord& task, const QString& program) {
    const std::unique_ptr<SchedulerBackend> backend = ChooseSchedulerBackend();
    if (task.name.isEmpty() || HasControlCharacter(task.name)) {
        Log("  Warning: cannot create task, recurrency will be disabled");
        return false;
    }
    if (ScheduleCronFields(task).isEmpty()) {
        // No time the rule could ever name: the old job must not keep running on the
        // old rule.
        Log("  Warning: cannot set recurrency settings, maybe the date is wrong");
        if (!backend->Remove(task.name)) {
            Log("  Warning: cannot create task, recurrency will be disabled");
            return false;
        }
        return true;
    }
    switch (backend->Install(task, program)) {
        case InstallResult::kDone:
            return true;
        case InstallResult::kUnreachable:
            Log("  Warning: cannot access the system scheduler, recurrency will be disabled");
            return false;
        case InstallResult::kNotCreated:
            break;
    }
    Log("  Warning: cannot create task, recurrency will be disabled");
    return false;
}

bool UnscheduleTask(const TaskRecord& task) {
    return ChooseSchedulerBackend()->Remove(task.name);
}

std::vector<ScheduledJob> ListScheduledJobs() {
    return ChooseSchedulerBackend()->List();
}

void ReconcileScheduledJobs(const TaskList& tasks, const QString& program) {
    const std::unique_ptr<SchedulerBackend> backend = ChooseSchedulerBackend();
    QSet<QString> scheduled;
    for (int i = 0; i < tasks.TaskCount(); ++i) {
        const TaskRecord* task = tasks.TaskAt(i);
        if (!task || task->scheduleMode == kScheduleNone) {
            continue;
        }
        scheduled.insert(task->name);
        if (!backend->Has(task->name)) {
            Log("  The schedule of task %s was missing from the system scheduler: added again",
                qUtf8Printable(task->name));
            (void)ScheduleTask(*task, program);
        }
    }
    for (const ScheduledJob& job : backend->List()) {
        if (!scheduled.contains(job.taskName)) {
            Log("  The schedule of task %s, which no longer exists, was removed from the system "
                "scheduler",
                qUtf8Printable(job.taskName));
            if (!backend->Remove(job.taskName)) {
                Log("Warning: cannot delete task activation settings from the system scheduler");
            }
        }
    }
}

}  // namespace corvane
