#include "cli/PruneCommand.h"

#include "app/ExitCode.h"
#include "cli/TaskSessionCommand.h"
#include "engine/Retention.h"

namespace corvane {

int PruneCommand(const QString& dataFolder, const QStringList& args, std::FILE* out,
                 std::FILE* err) {
    const bool dryRun = args.contains(QStringLiteral("--dry-run"));
    QStringList names = args;
    names.removeAll(QStringLiteral("--dry-run"));
    if (names.size() != 1 || names.front().startsWith(QLatin1String("--"))) {
        std::fputs(
            "Error: prune needs one task name and takes only --dry-run\n"
            "Run corvane-cli --help for the commands.\n",
            err);
        return kExitUsage;
    }
    // A dry run changes nothing, so it leaves the list to whoever holds it.
    return RunOnTaskSession(dataFolder, !dryRun, out, err, [&](TaskSession& session) {
        const int index = session.tasks.FindTaskByName(names.front());
        if (index < 0) {
            std::fprintf(err, "Error: task '%s' not found\n", qUtf8Printable(names.front()));
            return kExitUsage;
        }
        TaskRecord& task = *session.tasks.TaskAt(index);
        if (dryRun) {
            for (const int entry : BackupsBeyondKeep(task, -1)) {
                std::fprintf(out, "would remove: %s\n",
                             qUtf8Printable(BackupPlaceText(task.history[size_t(entry)])));
            }
            return kExitOk;
        }
        const bool pruned = PruneTaskNow(task);
        // What was removed leaves the history even when another backup stayed.
        const bool saved = session.Save(err);
        return pruned && saved ? kExitOk : kExitFailed;
    });
}

}  // namespace corvane
