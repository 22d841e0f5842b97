#include "cli/CommandLine.h"

#include <QFileInfo>

#include "app/TaskFiles.h"
#include "app/TaskTree.h"
#include "cli/TaskPrinter.h"
#include "log/Log.h"
#include "log/TerminalLogTarget.h"
#include "platform/DataFolder.h"

namespace corvane {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "Usage: corvane-cli [--data-dir DIR] COMMAND [ARGS]\n"
    "\n"
    "Works on the task list of the data folder: DIR when given, else $CORVANE_HOME,\n"
    "else the program's folder when it holds CorvTasks.bin, else\n"
    "$XDG_DATA_HOME/corvane (~/.local/share/corvane).\n"
    "\n"
    "Commands:\n"
    "  list           Print the task tree: \"group: NAME\", \"task SLOT: TEXT\" and\n"
    "                 \"item: TEXT\" lines, indented by two blanks per level.\n"
    "  show NAME      Print the fields of the task NAME (the first task whose name\n"
    "                 matches without regard to case) as key=value lines; passwords\n"
    "                 are shown as ***.\n"
    "  delete NAME    Delete the task NAME (and its desktop shortcut) and save the\n"
    "                 task list.\n"
    "  --help         Print this text.\n"
    "\n"
    "Exit status: 0 success, 1 failure, 2 usage error or unknown task.\n";

void PrintLines(std::FILE* out, const QStringList& lines) {
    for (const QString& line : lines) {
        std::fputs(qUtf8Printable(line), out);
        std::fputc('\n', out);
    }
}

int UsageError(std::FILE* err, const char* message) {
    std::fprintf(err, "Error: %s\n", message);
    std::fputs("Run corvane-cli --help for the commands.\n", err);
    return kExitUsage;
}

// The loaded task list and tree of a data folder, for the length of one command.
struct Session {
    explicit Session(const QString& folder) : dataFolder(folder), tree(tasks) {
        LoadTasksAndTree(tasks, tree, dataFolder);
    }

    QString dataFolder;
    TaskList tasks;
    TaskTree tree;
};

int FindTaskOrReport(const Session& session, const QString& name, std::FILE* err) {
    const int index = session.tasks.FindTaskByName(name);
    if (index < 0) {
        std::fprintf(err, "Error: task '%s' not found\n", qUtf8Printable(name));
    }
    return index;
}

int DeleteCommand(Session& session, const QString& name, std::FILE* err) {
    const int index = FindTaskOrReport(session, name, err);
    if (index < 0) {
        return kExitUsage;
    }
    TreeEntry* entry = nullptr;
    for (const TreeEntry* e : session.tree.InDisplayOrder()) {
        if (e->IsTask() && e->value == index) {
            entry = const_cast<TreeEntry*>(e);
            break;
        }
    }
    if (entry != nullptr) {
        session.tree.DeleteEntry(entry);
    } else {
        session.tasks.DeleteTask(index);
        Log("Task was deleted");
    }
    if (!EnsureFolder(session.dataFolder) ||
        !SaveTasksAndTree(session.tasks, session.tree, session.dataFolder)) {
        std::fputs("Cannot save tasks list.\n", err);
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

int RunCommandLine(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    QStringList args = arguments;
    QString dataDir;
    while (!args.isEmpty() && args.front().startsWith(QLatin1String("--"))) {
        const QString option = args.takeFirst();
        if (option == QLatin1String("--help")) {
            std::fputs(kUsage, out);
            return kExitOk;
        }
        if (option == QLatin1String("--data-dir")) {
            if (args.isEmpty() || args.front().isEmpty()) {
                return UsageError(err, "--data-dir needs a folder");
            }
            dataDir = args.takeFirst();
        } else if (option.startsWith(QLatin1String("--data-dir="))) {
            dataDir = option.mid(11);
        } else {
            return UsageError(err, "unknown option");
        }
    }
    if (args.isEmpty()) {
        return UsageError(err, "no command given");
    }
    const QString command = args.takeFirst();
    const bool takesName = command == QLatin1String("show") || command == QLatin1String("delete");
    if (command != QLatin1String("list") && !takesName) {
        return UsageError(err, "unknown command");
    }
    if (args.size() != (takesName ? 1 : 0)) {
        return UsageError(
            err, takesName ? "the command needs one task name" : "the command takes no arguments");
    }

    TerminalLogTarget terminal(out);
    SetLogTarget(&terminal);
    int status = kExitOk;
    {
        Session session(ResolveDataFolder(dataDir));
        if (command == QLatin1String("list")) {
            PrintLines(out, TreeListing(session.tree, session.tasks));
        } else if (command == QLatin1String("show")) {
            const int index = FindTaskOrReport(session, args.front(), err);
            if (index < 0) {
                status = kExitUsage;
            } else {
                PrintLines(out, TaskFieldLines(*session.tasks.TaskAt(index)));
            }
        } else {
            status = DeleteCommand(session, args.front(), err);
        }
    }
    std::fflush(out);
    SetLogTarget(nullptr);
    return status;
}

}  // namespace corvane
