#include "cli/ScheduleCommands.h"

#include "app/ExitCode.h"
#include "app/LastResults.h"
#include "cli/TaskEditCommands.h"
#include "cli/TaskSessionCommand.h"
#include "cli/WindowProgram.h"
#include "platform/DataFolder.h"
#include "platform/DataFolderLock.h"
#include "scheduler/Scheduler.h"

namespace corvane {
namespace {

// "<result>\t<local end time>" of the task's last run, "-\t-" before its first.
QString LastResultColumns(const TaskList& tasks, const QString& taskName,
                          const std::map<qint32, LastRunResult>& results) {
    const int index = tasks.FindTaskByName(taskName);
    const auto found = index >= 0 ? results.find(tasks.TaskAt(index)->oid) : results.end();
    if (found == results.end()) {
        return QStringLiteral("-\t-");
    }
    return RunResultText(found->second.result) + QLatin1Char('\t') +
           found->second.ended.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

}  // namespace

int ScheduleCommand(const QString& dataFolder, const QStringList& args, std::FILE* out,
                    std::FILE* err) {
    if (args.size() != 2 || args.front().startsWith(QLatin1String("--"))) {
        std::fputs(
            "Error: schedule needs a task name and a schedule\n"
            "Run corvane-cli --help for the commands.\n",
            err);
        return kExitUsage;
    }
    return EditTaskCommand(dataFolder, {args.at(0), QStringLiteral("--schedule"), args.at(1)}, out,
                           err);
}

int SchedulesCommand(const QString& dataFolder, std::FILE* out, std::FILE* err) {
    // Only the owner of the task list brings the jobs in step with it: while the window
    // holds the list, a task it has added but not saved yet would count as deleted and
    // lose its job. The window did the same at its own start.
    DataFolderLock lock;
    const bool owner = EnsureFolder(dataFolder) && lock.TryLock(dataFolder);
    return RunOnTaskSession(dataFolder, false, out, err, [&](TaskSession& session) {
        if (owner) {
            ReconcileScheduledJobs(session.tasks, WindowProgram());
        }
        const std::map<qint32, LastRunResult> results = ReadLastResults(dataFolder);
        for (const ScheduledJob& job : ListScheduledJobs()) {
            std::fprintf(out, "%s\t%s\t%s\t%s\n", qUtf8Printable(job.taskName),
                         qUtf8Printable(job.rule),
                         job.nextRun.isEmpty() ? "-" : qUtf8Printable(job.nextRun),
                         qUtf8Printable(LastResultColumns(session.tasks, job.taskName, results)));
        }
        return kExitOk;
    });
}

}  // namespace corvane
