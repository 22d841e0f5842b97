#include "restore/TaskFinder.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "engine/LocalPath.h"
#include "engine/TaskParameterFile.h"
#include "log/Log.h"
#include "restore/FtpTaskFinder.h"

namespace corvane {
namespace {

// A file name of an archive beside the task file: a name, never a path, nothing a
// terminal or a log line would take for a command.
bool IsPlainFileName(const QString& name) {
    return !name.contains(QLatin1Char('/')) && !name.contains(QLatin1String("..")) &&
           std::none_of(name.cbegin(), name.cend(),
                        [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

bool IsPathItem(const SourceItem& item) {
    return item.kind == kItemFolder || item.kind == kItemFile;
}

// The folder as the items take it: cleaned, so a trailing "/" or a "." adds nothing.
// Empty when the folder is not absolute.
QString TargetFolder(const QString& folder) {
    if (!QDir::isAbsolutePath(folder)) {
        return QString();
    }
    return QDir::cleanPath(folder);
}

// The new path of a folder or file item below `target` (a cleaned absolute folder);
// empty when a file item has no usable name.
QString RedirectedPath(const SourceItem& item, const QString& target) {
    const QString base = WithSlash(target);
    if (item.kind == kItemFolder) {
        return base;
    }
    const QString fileName = item.path.mid(item.path.lastIndexOf(QLatin1Char('/')) + 1);
    if (fileName.isEmpty() || fileName == QLatin1String(".") || fileName == QLatin1String("..")) {
        return QString();
    }
    return base + fileName;
}

}  // namespace

QString FoundTaskLine(const QString& name, const QString& folder) {
    return QStringLiteral("Task \"%1\" in %2").arg(name, folder);
}

std::vector<FoundTask> FindStoredTasks(const QString& folder) {
    QDir dir(folder);
    // Regular files only (and links to them): reading a FIFO named "x.tsk" would block.
    // The pattern matches without regard to case, as the system's file search did.
    dir.setFilter(QDir::Files | QDir::Hidden);
    dir.setNameFilters({QStringLiteral("*.tsk")});
    QStringList fileNames = dir.entryList();
    std::sort(fileNames.begin(), fileNames.end(), [](const QString& a, const QString& b) {
        const int order = QString::compare(a, b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });

    std::vector<FoundTask> found;
    for (const QString& fileName : fileNames) {
        FoundTask task;
        task.path = dir.filePath(fileName);
        task.name = ReadTaskNameFromFile(task.path);
        if (task.name.isEmpty()) {
            continue;  // not loadable or nameless: nothing to offer
        }
        task.folder = folder;
        task.listLine = FoundTaskLine(task.name, folder);
        found.push_back(std::move(task));
    }
    return found;
}

bool IsSystemPath(const QString& path) {
    // Folders of the system as a whole: nothing of a user's backup belongs below them.
    static const QStringList kSystemFolders = {
        QStringLiteral("bin"),  QStringLiteral("boot"), QStringLiteral("dev"),
        QStringLiteral("etc"),  QStringLiteral("opt"),  QStringLiteral("proc"),
        QStringLiteral("root"), QStringLiteral("run"),  QStringLiteral("sbin"),
        QStringLiteral("snap"), QStringLiteral("srv"),  QStringLiteral("sys"),
        QStringLiteral("usr"),  QStringLiteral("var"),  QStringLiteral("lost+found")};
    // Folders that hold other people's places: only their own contents may be named.
    static const QStringList kParentFolders = {QStringLiteral("home"), QStringLiteral("media"),
                                               QStringLiteral("mnt")};
    if (!path.startsWith(QLatin1Char('/'))) {
        return false;
    }
    const QStringList parts = QDir::cleanPath(path).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.isEmpty()) {
        return true;  // "/" itself
    }
    const QString& top = parts.front();
    if (kParentFolders.contains(top)) {
        return parts.size() == 1;
    }
    if (parts.size() == 1) {
        return true;  // a name directly in "/"
    }
    return kSystemFolders.contains(top) || top.startsWith(QLatin1String("lib"));
}

QString SystemFolderItemPath(const TaskRecord& task) {
    for (const SourceItem& item : task.items) {
        if (IsPathItem(item) && IsSystemPath(item.path)) {
            return item.path;
        }
    }
    return QString();
}

QString UnsafeItemPath(const TaskRecord& task) {
    // The archive is looked up beside the task file by this name.
    if (!IsPlainFileName(task.archiveName)) {
        return task.archiveName;
    }
    for (const SourceItem& item : task.items) {
        if (IsPathItem(item) && !IsSafeRestorePath(item.path)) {
            return item.path;
        }
        // The stored copy is found below the destination by this name; one that climbs
        // out would make the restore copy foreign files over the item's place.
        if ((IsPathItem(item) || item.kind == kItemRegistryKey) &&
            (item.nameInArchive.startsWith(QLatin1Char('/')) ||
             HasParentComponent(item.nameInArchive))) {
            return item.nameInArchive;
        }
    }
    return QString();
}

bool ReadRestoreTask(TaskRecord& task, const QString& path, QString& unsafe,
                     const RemoteAccess& access) {
    unsafe.clear();
    const bool fromFtp = IsFtpAddress(path);
    if (!ReadTaskParameterFile(task, path, fromFtp ? kTaskFileFtp : kTaskFileLocal, access)) {
        return false;
    }
    unsafe = UnsafeItemPath(task);
    return unsafe.isNull();
}

bool ReadRestoreTask(TaskRecord& task, const QString& path, const RemoteAccess& access) {
    QString unsafe;
    if (ReadRestoreTask(task, path, unsafe, access)) {
        return true;
    }
    if (!unsafe.isNull()) {
        Log("  Error: unsafe path '%s' in task file %s", qUtf8Printable(unsafe),
            qUtf8Printable(FtpAddressForDisplay(path)));
    }
    return false;
}

bool RedirectItem(TaskRecord& task, int itemIndex, const QString& folder) {
    if (itemIndex < 0 || itemIndex >= static_cast<int>(task.items.size())) {
        return false;
    }
    SourceItem& item = task.items[static_cast<size_t>(itemIndex)];
    const QString target = TargetFolder(folder);
    if (!IsPathItem(item) || target.isEmpty()) {
        return false;
    }
    const QString path = RedirectedPath(item, target);
    if (path.isEmpty()) {
        return false;
    }
    item.path = path;
    return true;
}

bool RedirectAllItems(TaskRecord& task, const QString& folder) {
    const QString target = TargetFolder(folder);
    if (target.isEmpty()) {
        return false;
    }
    // Work out every new path first, so a refusal leaves the task as it was.
    std::vector<QString> paths(task.items.size());
    for (size_t i = 0; i < task.items.size(); ++i) {
        if (!IsPathItem(task.items[i])) {
            continue;
        }
        paths[i] = RedirectedPath(task.items[i], target);
        if (paths[i].isEmpty()) {
            return false;
        }
    }
    for (size_t i = 0; i < task.items.size(); ++i) {
        if (IsPathItem(task.items[i])) {
            task.items[i].path = paths[i];
        }
    }
    return true;
}

std::vector<StepTwoLine> StepTwoLines(const TaskRecord& task) {
    std::vector<StepTwoLine> lines;
    for (size_t i = 0; i < task.items.size(); ++i) {
        const SourceItem& item = task.items[i];
        StepTwoLine line;
        line.itemIndex = static_cast<int>(i);
        line.sourcePath = DescribeItem(item);
        switch (item.kind) {
            case kItemFolder:
                line.pathInArchive = item.nameInArchive;
                line.icon = kStepIconFolder;
                break;
            case kItemFile:
                line.pathInArchive = item.nameInArchive;
                line.icon = kStepIconFile;
                break;
            case kItemAllContacts:
                line.pathInArchive = QStringLiteral("*.vcf files");
                line.icon = kStepIconAllContacts;
                break;
            case kItemContact:
                line.pathInArchive = QStringLiteral("%1.vcf").arg(
                    ContactDisplayName(item.firstName, item.middleName, item.lastName));
                line.icon = kStepIconContact;
                break;
            case kItemRegistryKey:
                line.pathInArchive = QStringLiteral("%1.reg").arg(item.nameInArchive);
                line.icon = kStepIconRegistryKey;
                break;
            default:
                continue;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace corvane
