#include "engine/FtpCopy.h"

#include <vector>

#include "engine/DatesFile.h"
#include "engine/FileFilter.h"
#include "engine/FolderWalk.h"
#include "engine/RunTemporary.h"
#include "log/Log.h"
#include "transport/FtpSession.h"

namespace corvane {
namespace {

// A folder item's path without its trailing "/" (the root stays "/").
QString FolderPathOf(const SourceItem& item) {
    QString path = item.path;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    return path;
}

// Joins remote path parts with one "/" between them, "\" read as "/".
QString JoinRemote(const QString& folder, const QString& name) {
    QString joined = folder.isEmpty() ? name : folder + QLatin1Char('/') + name;
    joined.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (joined.contains(QLatin1String("//"))) {
        joined.replace(QLatin1String("//"), QLatin1String("/"));
    }
    return joined;
}

bool UploadDatesFile(FtpSession& ftp, const SourceItem& item,
                     const std::vector<DatesRecord>& records) {
    RunTemporary temporary;
    if (!temporary.Create(QStringLiteral("dates")) || !WriteDatesFile(temporary.Path(), records)) {
        return false;  // logged
    }
    Log("  Upload file dates info file...");
    if (!ftp.Upload(temporary.Path(), DatesFileRemoteName(item))) {
        Log("  Error: cannot upload file");
        return false;
    }
    return true;
}

}  // namespace

QString DatesFileRemoteName(const SourceItem& item) {
    return item.kind == kItemFolder ? item.nameInArchive + QLatin1String("/file.dates")
                                    : item.nameInArchive + QLatin1String(".dates");
}

bool CopyItemToFtp(FtpSession& ftp, const TaskRecord& task, const SourceItem& item,
                   const StopSignal& stop) {
    Log("  Create folders on FTP...");
    const bool folderItem = item.kind == kItemFolder;
    const QString base = FolderPathOf(item);
    FileList list;
    if (folderItem) {
        ftp.CreateFolders(item.nameInArchive);
        ftp.CreateFolderTree(base, JoinRemote(ftp.Folder(), item.nameInArchive));
        ListFolder(base, list, kListFiles, true, true);
        ApplyFilters(list, MakeIncludeFilter(task.includeFilter),
                     MakeExcludeFilter(task.excludeFilter));
    } else {
        ftp.CreateFolders(QString());
        list.push_back({item.path, kListFile});
    }

    // One blank record per listed file; each file that can be read fills the next one,
    // so the blanks of the others stand at the end.
    std::vector<DatesRecord> records;
    for (const FileListEntry& entry : list) {
        if (!entry.path.isEmpty()) {
            records.emplace_back();
        }
    }
    size_t filled = 0;
    bool allSent = true;
    SetProgressRange(0, static_cast<int>(list.size()));
    for (size_t i = 0; i < list.size(); ++i) {
        const QString& local = list[i].path;
        if (local.isEmpty()) {
            continue;
        }
        const QString remote = folderItem
                                   ? JoinRemote(item.nameInArchive, local.mid(base.size() + 1))
                                   : JoinRemote(QString(), item.nameInArchive);
        Log("  Upload file %s...", qUtf8Printable(local));
        if (!ftp.Upload(local, remote)) {
            Log("  Error: cannot upload file");
            allSent = false;
        }
        if (remote.size() > kDatesNameMaxUnits) {
            Log("  Warning: file name too long for the dates file: %s", qUtf8Printable(remote));
        } else if (DatesRecordFromFile(local, remote, records[filled])) {
            ++filled;
        }
        SetProgressPos(static_cast<int>(i + 1));
        if (stop.IsSet()) {
            return allSent;
        }
    }
    if (!records.empty() && !UploadDatesFile(ftp, item, records)) {
        allSent = false;
    }
    return allSent;
}

}  // namespace corvane
