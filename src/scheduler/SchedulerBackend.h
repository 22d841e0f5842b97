#pragma once

// One kind of system scheduler holding the jobs of our tasks.

#include <QString>
#include <memory>
#include <vector>

#include "scheduler/Scheduler.h"

namespace corvane {

enum class InstallResult { kDone, kUnreachable, kNotCreated };

class SchedulerBackend {
  public:
    virtual ~SchedulerBackend() = default;
    // Creates or replaces the job of the task.
    virtual InstallResult Install(const TaskRecord& task, const QString& program) = 0;
    // Removes the job of the task name; true when there is none afterwards.
    virtual bool Remove(const QString& taskName) = 0;
    virtual bool Has(const QString& taskName) = 0;
    virtual std::vector<ScheduledJob> List() = 0;
};

// systemd when $CORVANE_SCHEDULER says "systemd" or a user manager answers, cron when it
// says "cron" or none answers.
std::unique_ptr<SchedulerBackend> ChooseSchedulerBackend();

std::unique_ptr<SchedulerBackend> MakeSystemdBackend();
std::unique_ptr<SchedulerBackend> MakeCronBackend();

}  // namespace corvane
