#include "cli/RestoreCommands.h"

#include <unistd.h>

#include "app/ExitCode.h"
#include "app/HeadlessQueue.h"
#include "app/HeadlessRun.h"
#include "cli/TaskFinderCommands.h"
#include "log/Log.h"
#include "log/TerminalLogTarget.h"
#include "restore/CompareList.h"
#include "restore/RestoreDataModel.h"
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

// The "Restore data" question on a terminal: the options uncheck what they name; with
// --yes the rest is restored at once; otherwise the list is printed and, on a terminal,
// confirmation asked. Without a terminal nothing is restored (`couldNotAsk`).
bool ChooseItemsOnTerminal(std::vector<RestoreItem>& items, const RestoreOptions& options,
                           std::FILE* out, std::FILE* err, bool& couldNotAsk, bool& declined) {
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
}

}  // namespace

int CompareCommand(const QString& dataFolder, const QString& name, int backup, std::FILE* out,
                   std::FILE* err) {
    TerminalLogTarget log(err);
    SetLogTarget(&log);
    int status = kExitOk;
    {
        const TaskSession session(dataFolder);
        const int index = session.tasks.FindTaskByName(name);
        const int chosen =
            index < 0 ? -1 : ChooseBackup(*session.tasks.TaskAt(index), backup, out, err);
        std::vector<RestoreItem> list;
        if (index < 0) {
            std::fprintf(err, "Error: task '%s' not found\n", qUtf8Printable(name));
            status = kExitUsage;
        } else if (chosen < 0) {
            status = kExitUsage;
        } else if (!BuildCompareList(*session.tasks.TaskAt(index), chosen, list)) {
            status = kExitFailed;  // the reason is logged
        }
        for (const RestoreItem& item : list) {
            PrintLine(out, RecordLine(item));
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
    HeadlessQueue run(dataFolder, out, err);
    const TaskList& tasks = run.Session().tasks;
    const int index = tasks.FindTaskByName(name);
    if (index < 0) {
        std::fprintf(err, "Error: task '%s' not found\n", qUtf8Printable(name));
        return kExitUsage;
    }
    const int chosen = ChooseBackup(*tasks.TaskAt(index), options.backup, out, err);
    if (chosen < 0) {
        return kExitUsage;
    }
    run.AskForUnreadPasswords({index});

    bool couldNotAsk = false;
    bool declined = false;
    run.Observer().chooseCopy = [chosen](const TaskRecord&) { return chosen; };
    run.Observer().chooseItems = [&](std::vector<RestoreItem>& items) {
        return ChooseItemsOnTerminal(items, options, out, err, couldNotAsk, declined);
    };
    run.Queue().RestoreTask(index);
    run.Wait();
    if (couldNotAsk) {
        return kExitUsage;
    }
    return declined ? kExitFailed : run.ExitStatus();
}

}  // namespace corvane
