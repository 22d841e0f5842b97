#include "cli/TaskFinderCommands.h"

#include <QDir>
#include <QFileInfo>
#include <memory>

#include "app/ExitCode.h"
#include "app/TaskSession.h"
#include "log/Log.h"
#include "log/TerminalLogTarget.h"
#include "model/TimeText.h"
#include "platform/DataFolder.h"
#include "platform/DataFolderLock.h"
#include "restore/FtpTaskFinder.h"
#include "restore/TaskFinder.h"

namespace corvane {
namespace {

// Task names, folders and paths in these texts come from files on a backup medium: a
// control character (a line feed in an XML attribute, say) must not forge a line of its
// own or reach the terminal as a command.
QString Printable(QString text) {
    for (QChar& c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            c = QLatin1Char('?');
        }
    }
    return text;
}

void PrintLine(std::FILE* out, const QString& line) {
    std::fputs(qUtf8Printable(Printable(line)), out);
    std::fputc('\n', out);
}

// The absolute, cleaned form of a folder named on the command line.
QString AbsoluteFolder(const QString& folder) {
    return QDir::cleanPath(QDir::current().absoluteFilePath(folder));
}

bool IsFolder(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isDir();
}

// The log of an FTP step goes to the error stream while the object lives (the server's
// reason for a refused login, say).
class LogToStream {
  public:
    explicit LogToStream(std::FILE* stream) : m_target(stream) { SetLogTarget(&m_target); }
    ~LogToStream() { SetLogTarget(nullptr); }
    LogToStream(const LogToStream&) = delete;
    LogToStream& operator=(const LogToStream&) = delete;

  private:
    TerminalLogTarget m_target;
};

int FindFtpTasks(const QString& url, const RemoteAccess& access, std::FILE* out, std::FILE* err) {
    std::vector<FoundTask> found;
    {
        const LogToStream log(err);
        if (!FindFtpStoredTasks(url, found, access)) {
            std::fprintf(err, "Error: cannot search '%s'\n",
                         qUtf8Printable(Printable(FtpAddressForDisplay(url))));
            return kExitFailed;
        }
    }
    for (const FoundTask& task : found) {
        PrintLine(out, task.listLine);
    }
    std::fflush(out);
    return kExitOk;
}

}  // namespace

int FindTasksCommand(const QString& folder, std::FILE* out, std::FILE* err,
                     const RemoteAccess& access) {
    if (IsFtpAddress(folder)) {
        return FindFtpTasks(folder, access, out, err);
    }
    if (!IsFolder(folder)) {
        std::fprintf(err, "Error: folder '%s' not found\n", qUtf8Printable(folder));
        return kExitUsage;
    }
    for (const FoundTask& task : FindStoredTasks(AbsoluteFolder(folder))) {
        PrintLine(out, task.listLine);
    }
    std::fflush(out);
    return kExitOk;
}

int AddRestoreTaskCommand(const QString& dataFolder, const QString& file, const QString& toFolder,
                          std::FILE* out, std::FILE* err, const RemoteAccess& access) {
    if (!toFolder.isEmpty() && !IsFolder(toFolder)) {
        std::fprintf(err, "Error: folder '%s' not found\n", qUtf8Printable(toFolder));
        return kExitUsage;
    }
    DataFolderLock lock;
    if (!(EnsureFolder(dataFolder) && lock.TryLock(dataFolder))) {
        std::fprintf(err,
                     "Error: the task list in %s is in use by another Corvane process; "
                     "try again when it has finished\n",
                     qUtf8Printable(dataFolder));
        return kExitLocked;
    }

    // The record starts with the defaults of a new task; reading makes it a restore task.
    auto task = std::make_unique<TaskRecord>();
    // The address of a file on FTP holds its password: never print that part.
    const QString shownFile = FtpAddressForDisplay(file);
    bool read = false;
    QString unsafe;
    {
        const LogToStream log(err);
        read = ReadRestoreTask(*task, file, unsafe, access);
    }
    // A file that names hostile places is not trusted for anything else either.
    if (!unsafe.isNull()) {
        std::fprintf(err, "Error: task file '%s' refused: unsafe path '%s'\n",
                     qUtf8Printable(Printable(shownFile)), qUtf8Printable(Printable(unsafe)));
        return kExitFailed;
    }
    if (!read) {
        std::fprintf(err, "Error: cannot read task file '%s'\n", qUtf8Printable(shownFile));
        return kExitFailed;
    }
    const QString systemPlace = SystemFolderItemPath(*task);
    if (toFolder.isEmpty() && !systemPlace.isNull()) {
        std::fprintf(err,
                     "Error: task file '%s' restores into the system folder '%s'; "
                     "choose the folder to restore into with --to FOLDER\n",
                     qUtf8Printable(Printable(shownFile)), qUtf8Printable(Printable(systemPlace)));
        return kExitFailed;
    }
    if (!toFolder.isEmpty() && !RedirectAllItems(*task, AbsoluteFolder(toFolder))) {
        std::fprintf(err, "Error: cannot restore the items of '%s' into '%s'\n",
                     qUtf8Printable(shownFile), qUtf8Printable(toFolder));
        return kExitFailed;
    }

    TaskSession session(dataFolder);
    task->oid = session.tasks.NewOid();
    const int index = session.tasks.TaskCount();
    session.tasks.Append(std::move(task));
    session.tree.AddTaskEntry(nullptr, index);
    if (!session.Save(err)) {
        return kExitFailed;
    }
    std::fputs("New task added\n", out);
    std::fflush(out);
    return kExitOk;
}

QString StoragePlaceText(const BackupHistoryEntry& entry) {
    if (entry.archiveName.isEmpty()) {
        return entry.folder;
    }
    const QString folder =
        entry.folder.endsWith(QLatin1Char('/')) ? entry.folder : entry.folder + QLatin1Char('/');
    return folder + entry.archiveName;
}

QStringList HistoryLines(const TaskRecord& task) {
    QStringList lines;
    int number = 1;
    for (const BackupHistoryEntry& entry : task.history) {
        lines << QStringLiteral("%1. %2, %3")
                     .arg(QString::number(number++), ShortDateTimeText(entry.time),
                          StoragePlaceText(entry));
    }
    return lines;
}

int HistoryCommand(const QString& dataFolder, const QString& name, std::FILE* out, std::FILE* err) {
    const TaskSession session(dataFolder);
    const int index = session.tasks.FindTaskByName(name);
    if (index < 0) {
        std::fprintf(err, "Error: task '%s' not found\n", qUtf8Printable(name));
        return kExitUsage;
    }
    for (const QString& line : HistoryLines(*session.tasks.TaskAt(index))) {
        PrintLine(out, line);
    }
    std::fflush(out);
    return kExitOk;
}

}  // namespace corvane
