#include "cli/RestoreCommands.h"

#include <unistd.h>

#include "cli/QueuedCommand.h"
#include "cli/RunCommands.h"
#include "cli/TaskFinderCommands.h"
#include "engine/FtpTaskSession.h"
#include "log/TerminalLogTarget.h"
#include "restore/RestoreDataModel.h"
#include "restore/RestoreList.h"
#include "restore/RestoreRun.h"
#include "restore/RestoreStatus.h"

namespace corvane {
namespace {

void PrintLine(std::FILE* out, const QString& line) {
    std::fputs(qUtf8Printable(line), out);
    std::fputc('\n', out);
}

// The history entry to use (0-based), or -1 after reporting why there is none: a dated
// task with several backups needs --backup. Non-dated tasks answer 0 (unused).
int ChooseBackup(const TaskRecord& task, int backup, std::FILE* out, std::FILE* err) {
    if (!IsDatedTask(task)) {
        return 0;
    }
    const int count = static_cast<int>(task.history.size());
    if (backup > 0 && backup <= count) {
        return backup - 1;
    }
    if (backup == 0 && count == 1) {
        return 0;
    }
    if (backup > 0) {
        std::fprintf(err, "Error: task '%s' has no backup %d\n", qUtf8Printable(task.name), backup);
    } else {
        std::fprintf(err, "Several backups found; choose one with --backup N:\n");
    }
    for (const QString& line : HistoryLines(task)) {
        PrintLine(out, line);
    }
    return -1;
}

QString RecordLine(const RestoreItem& item) {
    return QStringList{StatusText(StatusOf(item)), SourceColumnText(item), item.archiveName,
                       TimeColumnText(item.sourceTime), TimeColumnText(item.archiveTime)}
        .join(QLatin1Char('\t'));
}

}  // namespace

int CompareCommand(const QString& dataFolder, const QString& name, int backup, std::FILE* out,
                   std::FILE* err) {
    TerminalLogTarget log(err);
    SetLogTarget(&log);
    int status = kExitOk;
    {
        CliSession session(dataFolder);
        const int index = session.tasks.FindTaskByName(name);
        if (index < 0) {
            std::fprintf(err, "Error: task '%s' not found\n", qUtf8Printable(name));
            status = kExitUsage;
        } else {
            const TaskRecord& task = *session.tasks.TaskAt(index);
            const int chosen = ChooseBackup(task, backup, out, err);
            if (chosen < 0) {
                status = kExitUsage;
            } else {
                TaskDestination destination = task.destination;
                QString archiveName = task.archiveName;
                if (IsDatedTask(task)) {
                    UseHistoryEntry(task, chosen, destination, archiveName);
                }
                // One FTP connection serves every item, as in a restore run.
                std::unique_ptr<FtpSession> ftp;
                if (destination.type == kDestFtp) {
                    ftp = OpenFtpSession(destination, nullptr);
                }
                if (destination.type == kDestFtp && !ftp) {
                    status = kExitFailed;  // the connection error is logged
                } else {
                    std::vector<RestoreItem> list;
                    for (const SourceItem& item : task.items) {
                        if (!BuildRestoreList(list, item, destination, task.backupMode, archiveName,
                                              ftp.get())) {
                            status = kExitFailed;  // the reason is logged
                        }
                    }
                    CloseFtpSession(ftp);
                    for (const RestoreItem& item : list) {
                        PrintLine(out, RecordLine(item));
                    }
                }
            }
        }
    }
    std::fflush(out);
    SetLogTarget(nullptr);
    return status;
}

int RestoreCommand(const QString& dataFolder, const QString& name, const RestoreOptions& options,
                   std::FILE* out, std::FILE* err) {
    DataFolderLock lock;
    if (!LockDataFolder(lock, dataFolder, err)) {
        return kExitLocked;
    }
    QueuedCommand command(dataFolder, out, err);
    TaskList& tasks = command.Session().tasks;
    const int index = tasks.FindTaskByName(name);
    if (index < 0) {
        std::fprintf(err, "Error: task '%s' not found\n", qUtf8Printable(name));
        return kExitUsage;
    }
    const int chosen = ChooseBackup(*tasks.TaskAt(index), options.backup, out, err);
    if (chosen < 0) {
        return kExitUsage;
    }

    bool couldNotAsk = false;
    bool declined = false;
    command.Observer().chooseCopy = [chosen](const TaskRecord&) { return chosen; };
    command.Observer().chooseItems = [&](std::vector<RestoreItem>& items) {
        RestoreDataModel model(items);
        if (options.uncheckIdentical) {
            model.UncheckIdentical();
        }
        if (options.uncheckNewer) {
            model.UncheckNewer();
        }
        model.ApplyChecks(items);
        if (options.yes) {
            return true;
        }
        for (const RestoreItem& item : items) {
            PrintLine(out, QString(item.checked ? "[x]\t" : "[ ]\t") + RecordLine(item));
        }
        PrintLine(out, model.Caption());
        std::fflush(out);
        if (::isatty(STDIN_FILENO) != 1) {
            std::fputs("Error: nothing restored: give --yes to restore without a terminal\n", err);
            couldNotAsk = true;
            return false;
        }
        std::fputs("Restore checked items? [y/N] ", out);
        std::fflush(out);
        char answer[16] = {};
        const bool yes = std::fgets(answer, sizeof answer, stdin) != nullptr &&
                         (answer[0] == 'y' || answer[0] == 'Y');
        declined = !yes;
        return yes;
    };
    command.Queue().SetRestoreJob([&tasks](int taskIndex, RunContext& context) {
        return RunRestore(tasks, taskIndex, context, context.Stop());
    });
    command.Queue().RestoreTask(index);
    command.Wait();
    if (couldNotAsk) {
        return kExitUsage;
    }
    if (declined) {
        return kExitFailed;
    }
    if (command.Signalled() || command.Observer().AnyAborted()) {
        return kExitStopped;
    }
    return command.Observer().AnyFailed() ? kExitFailed : kExitOk;
}

}  // namespace corvane
