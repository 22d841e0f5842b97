#include "engine/Retention.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <algorithm>
#include <numeric>

#include "engine/CdBurnArea.h"
#include "engine/FtpTaskSession.h"
#include "engine/LocalPath.h"
#include "engine/LocalTreeRemoval.h"
#include "engine/NetworkConnection.h"
#include "engine/TaskParameterFile.h"
#include "io/DescriptorIo.h"
#include "log/Log.h"
#include "model/DatePattern.h"
#include "model/FileName.h"
#include "platform/NetworkShare.h"
#include "transport/FtpAddress.h"
#include "transport/RemoteSession.h"

namespace corvane {
namespace {

// Where one old backup lies: the destination's folder that holds no date pattern
// (`root`: a local path, or for FTP a folder below the login folder), the dated folders
// below it in order (none for a ZIP task whose archive name alone is dated) and the
// archive's name (empty for a copy).
struct BackupPlace {
    QString root;
    QStringList dated;
    QString archive;
    // Another entry of the history records the same folder: its parameter file and the
    // folder itself stay.
    bool sharedFolder = false;
};

// The descriptors of a chain of open folders, closed together.
struct FolderChain {
    std::vector<int> fds;
    ~FolderChain() {
        for (const int fd : fds) {
            ::close(fd);
        }
    }
    int Last() const { return fds.back(); }
};

bool IsDotComponent(const QString& name) {
    return name == QLatin1String(".") || name == QLatin1String("..");
}

// The number of trailing components of the destination that hold a date pattern.
qsizetype DatedDepth(const QString& destination) {
    const QStringList parts = destination.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (HoldsDatePattern(parts.at(i))) {
            return parts.size() - i;
        }
    }
    return 0;
}

// Why the entry `index` cannot be pruned (empty when it can), with its place filled.
// `folder` is where the entry's folder is reached: a local path or an FTP folder.
QString CheckPlace(const TaskRecord& task, const std::vector<bool>& gone, size_t index,
                   const QString& folder, BackupPlace& place) {
    const BackupHistoryEntry& entry = task.history[index];
    const QString notDated = QStringLiteral("it does not lie where the task puts dated backups");
    if (!MatchesDatePattern(WithSlash(task.destination.path), entry.folder)) {
        return notDated;
    }
    const bool copy = entry.archiveName.isEmpty();
    if (!copy &&
        (!MatchesDatePattern(task.archiveName, entry.archiveName) ||
         entry.archiveName.contains(QLatin1Char('/')) || IsDotComponent(entry.archiveName))) {
        return notDated;
    }
    const QStringList parts = folder.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const qsizetype depth = DatedDepth(task.destination.path);
    if (copy && depth == 0) {
        return QStringLiteral("its folder is the destination folder itself");
    }
    if (parts.size() < depth || std::any_of(parts.begin(), parts.end(), IsDotComponent)) {
        return notDated;
    }
    place.root = parts.mid(0, parts.size() - depth).join(QLatin1Char('/'));
    place.dated = parts.mid(parts.size() - depth);
    place.archive = entry.archiveName;
    for (size_t other = 0; other < task.history.size(); ++other) {
        const QString& otherFolder = task.history[other].folder;
        if (other == index || gone[other]) {
            continue;
        }
        place.sharedFolder = place.sharedFolder || otherFolder == entry.folder;
        const bool inside =
            otherFolder.startsWith(entry.folder) ||
            (task.history[other].archiveName.isEmpty() && entry.folder.startsWith(otherFolder));
        if (copy && inside) {
            return QStringLiteral("another backup in the history uses its folder");
        }
    }
    return QString();
}

// Whether a copy run of the task writes an entry of this name at the top of its dated
// folder: an item under its name in the backup (with the dates file or settings-key file
// beside it), a contact card, or the task's parameter file.
bool TaskWritesTopName(const TaskRecord& task, const QString& name) {
    if (name == TaskParameterFileName(task)) {
        return true;
    }
    for (const SourceItem& item : task.items) {
        if (item.kind == kItemAllContacts || item.kind == kItemContact) {
            if (name.endsWith(QLatin1String(".vcf"), Qt::CaseInsensitive)) {
                return true;
            }
        } else if (!item.nameInArchive.isEmpty() &&
                   (name == item.nameInArchive ||
                    name == item.nameInArchive + QLatin1String(".dates") ||
                    name == item.nameInArchive + QLatin1String(".reg"))) {
            return true;
        }
    }
    return false;
}

// A dated folder may have been there before the task wrote into it (a folder "2026" of
// the user's own): it goes only when everything at its top is something the task writes.
QString ForeignNameIn(const TaskRecord& task, const QStringList& topNames) {
    for (const QString& name : topNames) {
        if (!TaskWritesTopName(task, name)) {
            return QStringLiteral("it holds %1, which the task did not write")
                .arg(FileNameForDisplay(name));
        }
    }
    return QString();
}

// The names at the top of the folder `name` inside `parentFd` (no link followed);
// false with errno set when it cannot be read.
bool TopNamesAt(int parentFd, const QByteArray& name, QStringList& names) {
    const FileDescriptor folder(OpenFolderAt(parentFd, name));
    std::vector<QByteArray> bytes;
    if (!folder.IsOpen() || !ReadFolderNames(folder.Get(), bytes)) {
        return false;
    }
    for (const QByteArray& entry : bytes) {
        names << FileNameFromBytes(entry);
    }
    return true;
}

// Removes what is left of empty dated folders, deepest first, from `last` up.
void RemoveEmptyLocalFolders(const FolderChain& chain, const BackupPlace& place, qsizetype last) {
    for (qsizetype i = last; i >= 0; --i) {
        if (::unlinkat(chain.fds[static_cast<size_t>(i)],
                       FileNameToBytes(place.dated.at(i)).constData(), AT_REMOVEDIR) != 0) {
            return;
        }
    }
}

QString RemoveLocal(const TaskRecord& task, const BackupPlace& place) {
    const QString root = QLatin1Char('/') + place.root;
    FolderChain chain;
    chain.fds.push_back(OpenFolder(FileNameToBytes(root), false));
    if (chain.Last() < 0) {
        const int error = errno;
        chain.fds.pop_back();
        return QStringLiteral("cannot open folder %1: %2")
            .arg(FileNameForDisplay(root), qt_error_string(error));
    }
    const bool copy = place.archive.isEmpty();
    const qsizetype opened = copy ? place.dated.size() - 1 : place.dated.size();
    for (qsizetype i = 0; i < opened; ++i) {
        const int fd = OpenFolderAt(chain.Last(), FileNameToBytes(place.dated.at(i)));
        if (fd < 0) {
            return errno == ENOENT ? QString() : qt_error_string(errno);  // already gone
        }
        chain.fds.push_back(fd);
    }
    int error = 0;
    if (copy) {
        QStringList topNames;
        if (!TopNamesAt(chain.Last(), FileNameToBytes(place.dated.last()), topNames)) {
            return errno == ENOENT ? QString() : qt_error_string(errno);  // already gone
        }
        if (const QString foreign = ForeignNameIn(task, topNames); !foreign.isEmpty()) {
            return foreign;
        }
        if (RemoveTreeAt(chain.Last(), FileNameToBytes(place.dated.last()), error) ==
            RemovalResult::kFailed) {
            return qt_error_string(error);
        }
        RemoveEmptyLocalFolders(chain, place, place.dated.size() - 2);
        return QString();
    }
    const QByteArray archive = FileNameToBytes(place.archive);
    struct stat info {};
    if (::fstatat(chain.Last(), archive.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? QString() : qt_error_string(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return QStringLiteral("it is a folder");
    }
    if (::unlinkat(chain.Last(), archive.constData(), 0) != 0) {
        return qt_error_string(errno);
    }
    if (!place.dated.isEmpty() && !place.sharedFolder) {
        const QByteArray taskFile = FileNameToBytes(TaskParameterFileName(task));
        if (::fstatat(chain.Last(), taskFile.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode)) {
            ::unlinkat(chain.Last(), taskFile.constData(), 0);
        }
        RemoveEmptyLocalFolders(chain, place, place.dated.size() - 1);
    }
    return QString();
}

QString RemoveOnFtp(RemoteSession& ftp, const TaskRecord& task, const BackupPlace& place) {
    ftp.SetFolder(place.root);
    const bool copy = place.archive.isEmpty();
    const QString dated = place.dated.join(QLatin1Char('/'));
    const QString refused = QStringLiteral("the FTP server refused");
    qsizetype emptyFrom = place.dated.size() - 2;
    if (copy) {
        QStringList listed;
        ftp.ListTree(dated, listed, false);
        QStringList topNames;
        for (const QString& entry : std::as_const(listed)) {
            topNames << entry.section(QLatin1Char('/'), -1, -1, QString::SectionSkipEmpty);
        }
        if (const QString foreign = ForeignNameIn(task, topNames); !foreign.isEmpty()) {
            return foreign;
        }
        if (!ftp.RemoveFolderTree(dated)) {
            return refused;
        }
    } else {
        const QString prefix = dated.isEmpty() ? QString() : dated + QLatin1Char('/');
        if (!ftp.DeleteFile(prefix + place.archive)) {
            return refused;
        }
        if (place.dated.isEmpty() || place.sharedFolder) {
            return QString();
        }
        // Absent when the run could not upload it: nothing to report.
        (void)ftp.DeleteFile(prefix + TaskParameterFileName(task));
        emptyFrom = place.dated.size() - 1;
    }
    for (qsizetype i = emptyFrom; i >= 0; --i) {
        if (!ftp.RemoveFolder(place.dated.mid(0, i + 1).join(QLatin1Char('/')))) {
            break;
        }
    }
    return QString();
}

// The local folder of an entry, or why it is none to prune.
QString LocalFolderOf(const BackupHistoryEntry& entry, QString& folder) {
    folder = ShareLocalPath(entry.folder);
    const QString clean = QDir::cleanPath(folder);
    if (!QDir::isAbsolutePath(folder) || clean == QLatin1String("/") ||
        clean == QDir::cleanPath(QDir::homePath())) {
        return QStringLiteral("it is no dated folder of its own");
    }
    return QString();
}

// The FTP folder of an entry below the login folder, or why it is none to prune.
QString FtpFolderOf(const TaskRecord& task, const BackupHistoryEntry& entry, QString& folder) {
    const TaskDestination& destination = task.destination;
    FtpEndpoint now;
    FtpEndpoint then;
    if (!FtpEndpointOf(destination.path, destination.userName, destination.password,
                       destination.ftpPort, now) ||
        !FtpEndpointOf(entry.folder, destination.userName, destination.password,
                       destination.ftpPort, then) ||
        now.host.compare(then.host, Qt::CaseInsensitive) != 0 || now.port != then.port) {
        return QStringLiteral("it lies on another FTP server than the task's destination");
    }
    folder = then.folder;
    return QString();
}

QString RemoveOne(TaskRecord& task, const std::vector<bool>& gone, size_t index,
                  RemoteSession* ftp) {
    const BackupHistoryEntry& entry = task.history[index];
    const bool onFtp = task.destination.type == kDestFtp;
    QString folder;
    QString why = onFtp ? FtpFolderOf(task, entry, folder) : LocalFolderOf(entry, folder);
    BackupPlace place;
    if (why.isEmpty()) {
        why = CheckPlace(task, gone, index, folder, place);
    }
    if (!why.isEmpty()) {
        return why;
    }
    return onFtp ? RemoveOnFtp(*ftp, task, place) : RemoveLocal(task, place);
}

}  // namespace

std::vector<int> BackupsBeyondKeep(const TaskRecord& task, int justWritten) {
    const int count = static_cast<int>(task.history.size());
    if (task.keepLast <= 0 || !IsDatedTask(task) || count <= task.keepLast) {
        return {};
    }
    auto timeOf = [&task](int index) {
        return ToFileTime(task.history[static_cast<size_t>(index)].time);
    };
    std::vector<int> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    // Newest first; of equal times the later entry counts as newer.
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        if ((a == justWritten) != (b == justWritten)) {
            return a == justWritten;
        }
        return timeOf(a) != timeOf(b) ? timeOf(a) > timeOf(b) : a > b;
    });
    std::vector<int> beyond(order.begin() + task.keepLast, order.end());
    std::reverse(beyond.begin(), beyond.end());
    return beyond;
}

QString BackupPlaceText(const BackupHistoryEntry& entry) {
    return FileNameForDisplay(FtpAddressForLog(entry.folder + entry.archiveName));
}

bool PruneOldBackups(TaskRecord& task, RemoteSession* ftp, int justWritten) {
    const std::vector<int> beyond = BackupsBeyondKeep(task, justWritten);
    const bool onFtp = task.destination.type == kDestFtp;
    // A disc destination is written through its staging folder and burnt later: its
    // backups are not where the history says until then.
    if (beyond.empty() || (onFtp && ftp == nullptr) ||
        (!onFtp && task.destination.useXPBurn && IsCdDrivePath(task.destination.path))) {
        return beyond.empty();
    }
    const QString sessionFolder = ftp ? ftp->Folder() : QString();
    std::vector<bool> gone(task.history.size(), false);
    bool all = true;
    for (const int index : beyond) {
        const size_t at = static_cast<size_t>(index);
        const QString place = BackupPlaceText(task.history[at]);
        Log("  Removing old backup %s...", qUtf8Printable(place));
        const QString why = RemoveOne(task, gone, at, ftp);
        if (why.isEmpty()) {
            gone[at] = true;
        } else {
            Log("  Warning: old backup %s was kept: %s", qUtf8Printable(place),
                qUtf8Printable(why));
            all = false;
        }
    }
    if (ftp) {
        ftp->SetFolder(sessionFolder);
    }
    std::vector<BackupHistoryEntry> kept;
    for (size_t i = 0; i < task.history.size(); ++i) {
        if (!gone[i]) {
            kept.push_back(task.history[i]);
        }
    }
    task.history = std::move(kept);
    return all;
}

bool PruneTaskNow(TaskRecord& task) {
    if (BackupsBeyondKeep(task, -1).empty()) {
        return true;
    }
    if (task.destination.type == kDestFtp) {
        std::unique_ptr<RemoteSession> ftp = OpenFtpSession(task.destination, nullptr);
        if (!ftp) {
            return false;
        }
        const bool pruned = PruneOldBackups(task, ftp.get(), -1);
        CloseFtpSession(ftp);
        return pruned;
    }
    if (!ApplyNetworkConnection(task)) {
        return false;
    }
    const bool pruned = PruneOldBackups(task, nullptr, -1);
    CancelNetworkConnection(task);
    return pruned;
}

}  // namespace corvane
