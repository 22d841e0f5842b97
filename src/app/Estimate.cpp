#include "app/Estimate.h"

#include <sys/stat.h>
#include <optional>

#include "engine/FileFilter.h"
#include "engine/FolderWalk.h"
#include "engine/RunTemporary.h"
#include "engine/RunTemporaryFolder.h"
#include "log/Log.h"
#include "model/FileName.h"
#include "sources/ContactExport.h"
#include "sources/RegistryFile.h"

namespace corvane {
namespace {

// Size of an entry as the backup stores it: a file's size, a symbolic link's own size
// (the length of its target text; links are never followed). Nothing for an entry that
// vanished meanwhile.
std::optional<qint64> FileSize(const QString& path) {
    struct stat info {};
    if (::lstat(FileNameToBytes(path).constData(), &info) != 0) {
        return std::nullopt;
    }
    return static_cast<qint64>(info.st_size);
}

}  // namespace

QString FormatSize(double bytes) {
    if (bytes < 1024) {
        return QStringLiteral("%1 bytes").arg(static_cast<qint64>(bytes));
    }
    if (bytes < 1024000) {
        return QStringLiteral("%1 KBytes").arg(static_cast<qint64>(bytes) / 1024);
    }
    return QString::asprintf("%.1f MBytes", bytes / 1048576.0);
}

double EstimateFiles(const SourceItem& item, const QString& includeFilter,
                     const QString& excludeFilter, const StopSignal& stop) {
    FileList list;
    if (item.kind == kItemFolder) {
        ListFolder(item.path, list, kListFiles, true, true);
        ApplyFilters(list, MakeIncludeFilter(includeFilter), MakeExcludeFilter(excludeFilter));
    } else {
        list.push_back({item.path, kListFile});
    }
    if (stop.IsSet()) {
        return 0;
    }
    SetProgressRange(0, static_cast<int>(list.size()));
    double total = 0;
    int number = 0;
    for (const FileListEntry& entry : list) {
        ++number;
        if (entry.path.isEmpty()) {
            continue;
        }
        if (const auto size = FileSize(entry.path)) {
            total += static_cast<double>(*size);
        }
        if (stop.IsSet()) {
            return 0;
        }
        SetProgressPos(number);
    }
    return total;
}

double EstimateRegistry(const SourceItem& item) {
    SetProgressRange(0, 10);
    SetProgressPos(2);
    double size = 0;
    RunTemporary exported;
    if (exported.Create(QStringLiteral("tmp")) && ExportRegistryItem(item.path, exported.Path())) {
        size = static_cast<double>(FileSize(exported.Path()).value_or(0));
    }
    exported.Remove();
    SetProgressPos(10);
    return size;
}

double EstimateContacts(const SourceItem& item) {
    SetProgressRange(0, 10);
    SetProgressPos(2);
    double size = 0;
    RunTemporaryFolder exported;
    QStringList written;
    if (exported.Create(QStringLiteral("tmp")) &&
        ExportContacts(item.firstName, item.middleName, item.lastName,
                       item.kind == kItemAllContacts, exported.Path(), written)) {
        for (const QString& name : std::as_const(written)) {
            size += static_cast<double>(
                FileSize(exported.Path() + QLatin1Char('/') + name).value_or(0));
        }
    }
    SetProgressPos(10);
    return size;
}

double EstimateTask(const TaskList& tasks, int taskIndex, const StopSignal& stop) {
    if (taskIndex < 0 || taskIndex >= tasks.TaskCount() || tasks.TaskAt(taskIndex) == nullptr) {
        return 0;
    }
    const TaskRecord& task = *tasks.TaskAt(taskIndex);
    ShowProgress();
    SetProgressLabel(QStringLiteral("Task estimate"));
    double total = 0;
    const int count = static_cast<int>(task.items.size());
    int stage = 0;
    for (const SourceItem& item : task.items) {
        ++stage;
        SetProgressLabel(QStringLiteral("Task estimate, stage %1/%2").arg(stage).arg(count));
        if (item.kind == kItemFolder || item.kind == kItemFile) {
            total += EstimateFiles(item, task.includeFilter, task.excludeFilter, stop);
        } else if (item.kind == kItemRegistryKey) {
            total += EstimateRegistry(item);
        } else if (item.kind == kItemAllContacts || item.kind == kItemContact) {
            total += EstimateContacts(item);
        }
        if (stop.IsSet()) {
            break;
        }
    }
    HideProgress();
    return total;
}

double EstimateTasks(const TaskList& tasks, const std::vector<int>& taskIndices,
                     const StopSignal& stop) {
    double total = 0;
    for (const int index : taskIndices) {
        Log("Estimating task...");
        total += EstimateTask(tasks, index, stop);
        if (stop.IsSet()) {
            break;
        }
    }
    return total;
}

}  // namespace corvane
