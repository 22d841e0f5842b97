#include "app/SourceItems.h"

#include <QDir>
#include <filesystem>
#include <system_error>

#include "model/FileName.h"
#include "platform/ContactStore.h"
#include "platform/Registry.h"

namespace corvane {
namespace {

const QString kTilde = QStringLiteral("~");

// A file name split for numbering: "report.doc" -> "report" and ".doc". A leading dot
// belongs to the stem, so ".profile" stays one word.
struct StemAndExtension {
    QString stem;
    QString extension;
};

StemAndExtension SplitFileName(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0) {
        return {name, QString()};
    }
    return {name.left(dot), name.mid(dot)};
}

bool IsBaseOrNumbered(const QString& name, const QString& base) {
    return name == base || name.startsWith(base + kTilde);
}

// The name in archive for a new item of `kind`: the base, or the base numbered by how
// many items of that kind already carry it.
QString UniqueNameInArchive(const TaskRecord& task, qint32 kind, const QString& baseName) {
    const StemAndExtension base = SplitFileName(baseName);
    int count = 0;
    for (const SourceItem& item : task.items) {
        if (item.kind != kind) {
            continue;
        }
        if (kind == kItemFile) {
            const StemAndExtension existing = SplitFileName(item.nameInArchive);
            count +=
                existing.extension == base.extension && IsBaseOrNumbered(existing.stem, base.stem)
                    ? 1
                    : 0;
        } else {
            count += IsBaseOrNumbered(item.nameInArchive, baseName) ? 1 : 0;
        }
    }
    if (count == 0) {
        return baseName;
    }
    if (kind == kItemFile) {
        return QStringLiteral("%1~%2%3").arg(base.stem, QString::number(count), base.extension);
    }
    return QStringLiteral("%1~%2").arg(baseName, QString::number(count));
}

int AppendItem(TaskRecord& task, SourceItem item, const QString& nameForTask) {
    task.items.push_back(std::move(item));
    if (task.name.isEmpty()) {
        task.name = nameForTask;
    }
    return static_cast<int>(task.items.size()) - 1;
}

// True (and the message in `problem`) when an item of `kind` already names `path`.
bool AlreadyAdded(const TaskRecord& task, qint32 kind, const QString& path, DraftProblem* problem) {
    for (const SourceItem& item : task.items) {
        if (item.kind == kind && item.path == path) {
            if (problem != nullptr) {
                *problem = DraftProblem{QStringLiteral("This item was allready added."),
                                        QStringLiteral("Information"), DraftField::kSourceTree,
                                        kPageSource};
            }
            return true;
        }
    }
    return false;
}

QString WithoutFinalSlash(const QString& path) {
    return path.size() > 1 && path.endsWith(QLatin1Char('/')) ? path.chopped(1) : path;
}

const QChar kKeySeparator = QLatin1Char('\\');

QString WithoutFinalBackslash(const QString& keyPath) {
    return keyPath.endsWith(kKeySeparator) ? keyPath.chopped(1) : keyPath;
}

// Why `keyPath` (without its final "\") cannot be a registry item; empty when it can.
// dconf folder names hold no "/" and no empty part.
QString RegistryKeyPathProblem(const QString& keyPath) {
    RegistryHive hive = RegistryHive::kCurrentUser;
    QString subKey;
    if (!SplitRegistryKeyPath(keyPath, hive, subKey)) {
        return QStringLiteral("%1 does not begin with a registry hive such as HKEY_CURRENT_USER")
            .arg(keyPath);
    }
    if (hive == RegistryHive::kPerformanceData || hive == RegistryHive::kDynData) {
        return QStringLiteral("A source item cannot name %1").arg(RegistryHiveName(hive));
    }
    const QStringList parts = keyPath.split(kKeySeparator);
    for (const QString& part : parts) {
        if (part.isEmpty() || part.contains(QLatin1Char('/'))) {
            return QStringLiteral("%1 is not a valid registry key path").arg(keyPath);
        }
    }
    return QString();
}

}  // namespace

QString FolderBaseName(const QString& folderPath) {
    const QString path = WithoutFinalSlash(folderPath);
    if (path.isEmpty() || path == QLatin1String("/")) {
        return QStringLiteral("Root");
    }
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

int AddPathSource(TaskRecord& task, qint32 kind, const QString& path, const QString& baseName,
                  DraftProblem* problem) {
    if (AlreadyAdded(task, kind, path, problem)) {
        return -1;
    }
    const QString name = UniqueNameInArchive(task, kind, baseName);
    return AppendItem(task, MakePathItem(path, kind, name), name);
}

int AddFileSystemSource(TaskRecord& task, const QString& path, DraftProblem* problem) {
    const QString absolute = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    namespace fs = std::filesystem;
    const fs::path onDisk(FileNameToBytes(absolute).toStdString());
    std::error_code error;
    // A link that leads nowhere is still something to back up (it is saved as a link).
    if (!fs::exists(fs::symlink_status(onDisk, error))) {
        if (problem != nullptr) {
            *problem =
                DraftProblem{QStringLiteral("Cannot find %1").arg(FileNameForDisplay(absolute)),
                             QString(), DraftField::kSourceTree, kPageSource};
        }
        return -1;
    }
    if (fs::is_directory(fs::status(onDisk, error))) {
        const QString folder =
            absolute.endsWith(QLatin1Char('/')) ? absolute : absolute + QLatin1Char('/');
        return AddPathSource(task, kItemFolder, folder, FolderBaseName(folder), problem);
    }
    const QString fileName = absolute.mid(absolute.lastIndexOf(QLatin1Char('/')) + 1);
    return AddPathSource(task, kItemFile, absolute, fileName, problem);
}

int AddRegistrySource(TaskRecord& task, const QString& keyPath, DraftProblem* problem) {
    const QString path = WithoutFinalBackslash(keyPath);
    const QString why = RegistryKeyPathProblem(path);
    if (!why.isEmpty()) {
        if (problem != nullptr) {
            *problem = DraftProblem{why, QString(), DraftField::kSourceTree, kPageSource};
        }
        return -1;
    }
    return AddPathSource(task, kItemRegistryKey, path, path.section(kKeySeparator, -1), problem);
}

int FindRegistrySource(const TaskRecord& task, const QString& keyPath) {
    for (size_t i = 0; i < task.items.size(); ++i) {
        const SourceItem& item = task.items[i];
        if (item.kind == kItemRegistryKey &&
            WithoutFinalBackslash(item.path) == WithoutFinalBackslash(keyPath)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int AddAllContactsSource(TaskRecord& task) {
    return AppendItem(task, MakeAllContactsItem(), QStringLiteral("Contacts"));
}

int AddContactSource(TaskRecord& task, const QString& firstName, const QString& middleName,
                     const QString& lastName) {
    return AppendItem(task, MakeContactItem(firstName, middleName, lastName),
                      ContactDisplayName(firstName, middleName, lastName));
}

int AddWellKnownSource(TaskRecord& task, const WellKnownSource& source,
                       const WellKnownPlaces& places, DraftProblem* problem) {
    ResolvedSource resolved = ResolveWellKnownSource(source, places);
    if (!resolved.Found()) {
        if (problem != nullptr) {
            *problem = DraftProblem{resolved.warning, QStringLiteral("Warning"),
                                    DraftField::kSourceTree, kPageSource};
        }
        return -1;
    }
    if (AlreadyAdded(task, resolved.item.kind, resolved.item.path, problem)) {
        return -1;
    }
    return AppendItem(task, std::move(resolved.item), resolved.taskName);
}

WellKnownPlaces UserWellKnownPlaces() {
    return WellKnownPlaces{QDir::homePath(), ContactStore::ConfiguredFolder()};
}

bool RemoveSource(TaskRecord& task, int index) {
    if (index < 0 || index >= static_cast<int>(task.items.size())) {
        return false;
    }
    task.items.erase(task.items.begin() + index);
    return true;
}

int FindPathSource(const TaskRecord& task, const QString& path) {
    for (size_t i = 0; i < task.items.size(); ++i) {
        const SourceItem& item = task.items[i];
        const bool found =
            (item.kind == kItemFile && item.path == path) ||
            (item.kind == kItemFolder && WithoutFinalSlash(item.path) == WithoutFinalSlash(path));
        if (found) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace corvane
