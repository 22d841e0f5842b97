#include "engine/FtpCopy.h"

#include <sys/stat.h>
#include <QStringList>
#include <algorithm>
#include <vector>

#include "engine/DatesFile.h"
#include "engine/FileFilter.h"
#include "engine/FolderWalk.h"
#include "engine/LocalPath.h"
#include "engine/RunTemporary.h"
#include "engine/StoredFiles.h"
#include "log/Log.h"
#include "model/FileName.h"
#include "transport/RemoteSession.h"

namespace corvane {
namespace {

// Joins remote path parts with one "/" between them, "\" read as "/".
QString JoinRemote(const QString& folder, const QString& name) {
    QString joined = folder.isEmpty() ? name : folder + QLatin1Char('/') + name;
    joined.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (joined.contains(QLatin1String("//"))) {
        joined.replace(QLatin1String("//"), QLatin1String("/"));
    }
    return joined;
}

bool UploadDatesFile(RemoteSession& ftp, const SourceItem& item,
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

// A server holds no links: a link to a regular file is sent as that file; any other
// link is named and left out (a folder link is never followed, so no loop and no escape
// from the tree).
void ResolveLinks(FileList& list) {
    for (FileListEntry& entry : list) {
        if (entry.kind != kListLink || entry.path.isEmpty()) {
            continue;
        }
        struct stat info {};
        const bool exists = ::stat(FileNameToBytes(entry.path).constData(), &info) == 0;
        if (exists && S_ISREG(info.st_mode)) {
            entry.kind = kListFile;
            continue;
        }
        if (exists && S_ISDIR(info.st_mode)) {
            Log("  Warning: '%s' is a link to a folder, not followed",
                qUtf8Printable(FileNameForDisplay(entry.path)));
        } else {
            Log("  Warning: '%s' is a link to no regular file, skipped",
                qUtf8Printable(FileNameForDisplay(entry.path)));
        }
        entry.path.clear();
    }
}

}  // namespace

QString DatesFileRemoteName(const SourceItem& item) {
    return item.kind == kItemFolder ? item.nameInArchive + QLatin1String("/file.dates")
                                    : item.nameInArchive + QLatin1String(".dates");
}

bool CopyItemToFtp(RemoteSession& ftp, const TaskRecord& task, const SourceItem& item,
                   const StopSignal& stop) {
    Log("  Create folders on FTP...");
    const bool folderItem = item.kind == kItemFolder;
    const QString base = WithoutTrailingSlash(item.path);
    FileList list;
    if (folderItem) {
        ftp.CreateFolders(item.nameInArchive);
        // One walk gives the folder tree and the files; the folders go first.
        FileList walked;
        ListFolder(base, walked, kListFolders | kListFiles, true, true);
        QStringList folders;
        for (const FileListEntry& entry : walked) {
            if (IsFolderKind(entry.kind)) {
                folders << PathBelow(base, entry.path);
            } else {
                list.push_back(entry);
            }
        }
        // The walk lists a folder after its contents; reversed, parents come first.
        std::reverse(folders.begin(), folders.end());
        ftp.CreateFolderTree(folders, JoinRemote(ftp.Folder(), item.nameInArchive));
        ApplyFilters(list, MakeIncludeFilter(task.includeFilter),
                     MakeExcludeFilter(task.excludeFilter));
        ResolveLinks(list);
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
        const QString remote = folderItem ? JoinRemote(item.nameInArchive, PathBelow(base, local))
                                          : JoinRemote(QString(), item.nameInArchive);
        Log("  Upload file %s...", qUtf8Printable(FileNameForDisplay(local)));
        if (!ftp.Upload(local, remote)) {
            // Named, since a server may refuse just this name (one that is not UTF-8).
            Log("  Error: cannot upload file %s", qUtf8Printable(FileNameForDisplay(remote)));
            allSent = false;
        } else {
            CountStoredFile();
        }
        if (remote.size() > kDatesNameMaxUnits) {
            Log("  Warning: file name too long for the dates file: %s",
                qUtf8Printable(FileNameForDisplay(remote)));
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
