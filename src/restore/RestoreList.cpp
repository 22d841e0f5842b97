#include "restore/RestoreList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <zlib.h>
#include <memory>

#include "engine/ContactStage.h"
#include "engine/DatesFile.h"
#include "engine/FolderWalk.h"
#include "engine/FtpCopy.h"
#include "engine/FtpTaskSession.h"
#include "engine/LocalPath.h"
#include "engine/RunTemporary.h"
#include "log/Log.h"
#include "model/FileName.h"
#include "platform/NetworkShare.h"
#include "restore/SafePath.h"
#include "restore/ZipReader.h"

namespace corvane {
namespace {

bool IsVcardName(const QString& name) {
    return name.toLower().endsWith(QLatin1String(".vcf"));
}

// The modification time (whole seconds) and size of a file or of a link itself (never
// followed: a backup keeps links as links); false when there is nothing at the path.
bool FileStatus(const QString& path, qint64& time, quint64& size) {
    struct stat info {};
    if (path.isEmpty() || ::lstat(FileNameToBytes(path).constData(), &info) != 0) {
        return false;
    }
    time = static_cast<qint64>(info.st_mtim.tv_sec);
    size = static_cast<quint64>(info.st_size);
    return true;
}

// ZIP entries keep their time in two-second steps, rounded down.
qint64 RoundDownToEven(qint64 seconds) {
    return seconds - (((seconds % 2) + 2) % 2);
}

// Fills the live side: the path with its time and size, or an empty name when the
// live file is gone.
void SetSource(RestoreItem& record, const QString& path, bool zipResolution) {
    qint64 time = 0;
    quint64 size = 0;
    if (!FileStatus(path, time, size)) {
        record.sourceName.clear();
        record.sourceTime.reset();
        record.sourceSize = 0;
        return;
    }
    record.sourceName = path;
    record.sourceTime = zipResolution ? RoundDownToEven(time) : time;
    record.sourceSize = size;
}

// Registry keys and single contacts are listed from the task alone; the stored data is
// read only when they are restored.
void AddRegistryLine(std::vector<RestoreItem>& list, const SourceItem& item) {
    RestoreItem record;
    record.sourceName = item.path;
    record.archiveName = item.nameInArchive + QStringLiteral(".reg");
    list.push_back(record);
}

void AddContactLine(std::vector<RestoreItem>& list, const SourceItem& item) {
    const QString name = ContactDisplayName(item.firstName, item.middleName, item.lastName);
    RestoreItem record;
    record.sourceName = QStringLiteral("Contact: ") + name;
    record.archiveName = ContactItemFileName(item);
    list.push_back(record);
}

void AddAllContactsLine(std::vector<RestoreItem>& list, const QString& archiveName) {
    RestoreItem record;
    record.sourceName = QStringLiteral("Contacts: all");
    record.archiveName = archiveName;
    list.push_back(record);
}

bool OpenArchive(ZipReader& zip, const QString& path) {
    if (path.isEmpty() || !zip.Open(path)) {
        Log("  Error: cannot open ZIP file");
        Log("  ...%s", qUtf8Printable(zip.OpenFailure()));
        return false;
    }
    return true;
}

bool ListArchiveContacts(std::vector<RestoreItem>& list, const QString& archivePath) {
    ZipReader zip;
    if (!OpenArchive(zip, archivePath)) {
        return false;
    }
    for (bool more = zip.First(); more; more = zip.Next()) {
        const ZipEntryInfo& entry = zip.Info();
        if (entry.isFolder || entry.repeated || !IsVcardName(entry.name)) {
            continue;
        }
        if (!IsSafeEntryName(entry.name)) {
            LogUnsafePath(entry.name);
            continue;
        }
        AddAllContactsLine(list, entry.name);
    }
    return true;
}

bool ListArchiveFiles(std::vector<RestoreItem>& list, const SourceItem& item,
                      const QString& archivePath, const QString& archiveName) {
    const bool folderItem = item.kind == kItemFolder;
    const QString prefix = folderItem ? WithSlashOrRoot(item.nameInArchive) : item.nameInArchive;
    if (folderItem) {
        Log("  Test files from %s:/%s...", qUtf8Printable(archiveName), qUtf8Printable(prefix));
    }
    ZipReader zip;
    if (!OpenArchive(zip, archivePath)) {
        return false;
    }
    const QString itemFolder = WithSlashOrRoot(item.path);
    bool found = false;
    for (bool more = zip.First(); more; more = zip.Next()) {
        const ZipEntryInfo& entry = zip.Info();
        // A file item is exactly its own entry, a folder item what lies below it; a
        // repeated name is one stored object (the restore takes the first copy).
        const bool mine = folderItem ? entry.name.startsWith(prefix) : entry.name == prefix;
        if (!mine || entry.isFolder || entry.repeated) {
            continue;
        }
        if (!IsSafeEntryName(entry.name)) {
            LogUnsafePath(entry.name);
            continue;
        }
        RestoreItem record;
        const QString live = folderItem ? itemFolder + entry.name.mid(prefix.size()) : item.path;
        SetSource(record, live, true);
        record.archiveName = archiveName + QLatin1Char(':') + entry.name;
        // The reader gives -1 for date fields that name no valid date: show no time.
        if (entry.time > 0) {
            record.archiveTime = entry.time;
        }
        record.archiveSize = entry.uncompressedSize;
        // A stored link's text, perhaps encrypted, is known by its size and CRC; an AE-2
        // entry keeps no CRC, so its link is compared by size and time like a file.
        if (QByteArray liveText; entry.isSymlink && entry.aesVersion != 2) {
            record.sameLink = ReadLinkText(live, liveText) &&
                              quint64(liveText.size()) == entry.uncompressedSize &&
                              crc32(0, reinterpret_cast<const Bytef*>(liveText.constData()),
                                    uInt(liveText.size())) == entry.crc;
        }
        list.push_back(record);
        found = true;
    }
    if (!found && !folderItem) {
        Log("  Error: the archive holds no %s", qUtf8Printable(FileNameForDisplay(prefix)));
        return false;
    }
    return true;
}

void ListStoredContacts(std::vector<RestoreItem>& list, const QString& folder) {
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo& file : files) {
        if (IsVcardName(file.fileName())) {
            AddAllContactsLine(list, file.fileName());
        }
    }
}

void AddStoredFile(std::vector<RestoreItem>& list, const QString& livePath,
                   const QString& storedPath) {
    RestoreItem record;
    SetSource(record, livePath, false);
    record.archiveName = storedPath;
    qint64 time = 0;
    quint64 size = 0;
    if (FileStatus(storedPath, time, size)) {
        record.archiveTime = time;
        record.archiveSize = size;
    }
    QByteArray storedText;
    if (ReadLinkText(storedPath, storedText)) {
        QByteArray liveText;
        record.sameLink = ReadLinkText(livePath, liveText) && liveText == storedText;
    }
    list.push_back(record);
}

bool ListStoredFiles(std::vector<RestoreItem>& list, const SourceItem& item,
                     const TaskDestination& destination) {
    // The name comes from the task, which may come from a task file on a backup medium.
    if (!IsSafeEntryName(item.nameInArchive)) {
        LogUnsafePath(item.nameInArchive);
        return false;
    }
    const QString stored = ArchivePathOf(destination, item.nameInArchive);
    if (item.kind != kItemFolder) {
        AddStoredFile(list, item.path, stored);
        return true;
    }
    // The walk gives "<stored>/<relative path>" with one "/" whether or not the folder
    // ends in one, the same paths the restore lists again to find the user's choice.
    const QString storedFolder = WithSlashOrRoot(stored);
    const QString itemFolder = WithSlashOrRoot(item.path);
    FileList files;
    ListFolder(storedFolder, files, kListFiles | kListStoredCopy, true, true);
    for (const FileListEntry& file : files) {
        if (file.path.isEmpty() || IsFolderKind(file.kind)) {
            continue;
        }
        const QString relative = file.path.mid(storedFolder.size());
        if (!file.path.startsWith(storedFolder) || !IsSafeEntryName(relative)) {
            LogUnsafePath(file.path);
            continue;
        }
        AddStoredFile(list, itemFolder + relative, file.path);
    }
    return true;
}

// The ZIP archive of an FTP destination, fetched into a run temporary that lives as
// long as `temporary`. A failed download leaves the temporary empty, which the archive
// reader then refuses ("  Error: cannot open ZIP file").
void DownloadArchive(RemoteSession& ftp, const QString& archiveName, RunTemporary& temporary) {
    Log("  Download %s from FTP...", qUtf8Printable(archiveName));
    if (temporary.Create(QStringLiteral("tmp_name"))) {
        ftp.Download(archiveName, temporary.Path());
    }
}

// All contacts of a copy on FTP: the ".vcf" files of the session folder itself.
void ListFtpContacts(std::vector<RestoreItem>& list, RemoteSession& ftp) {
    QStringList names;
    ftp.ListTree(QString(), names, false);
    for (const QString& name : names) {
        if (name.endsWith(QLatin1Char('/')) || !IsVcardName(name)) {
            continue;
        }
        const QString fileName = name.mid(name.indexOf(QLatin1Char('/')) + 1);
        if (!IsSafeEntryName(fileName)) {
            LogUnsafePath(name);
            continue;
        }
        AddAllContactsLine(list, fileName);
    }
}

// A folder or file item of a copy on FTP, described by the item's dates file.
bool ListFtpCopies(std::vector<RestoreItem>& list, const SourceItem& item,
                   const TaskDestination& destination, RemoteSession& ftp) {
    if (!IsSafeEntryName(item.nameInArchive)) {
        LogUnsafePath(item.nameInArchive);
        return false;
    }
    const QString remote = DatesFileRemoteName(item);
    RunTemporary temporary;
    if (!temporary.Create(QStringLiteral("dates"))) {
        return false;  // logged
    }
    if (!ftp.Download(remote, temporary.Path())) {
        Log("  Warning: cannot download file dates info file %s from FTP.", qUtf8Printable(remote));
        return false;
    }
    std::vector<DatesRecord> records;
    if (!ReadDatesFile(temporary.Path(), records)) {
        return false;
    }
    const bool folderItem = item.kind == kItemFolder;
    const QString itemFolder = WithSlashOrRoot(item.path);
    for (const DatesRecord& record : records) {
        if (record.name.isEmpty()) {
            continue;  // a file that could not be read at backup time
        }
        const qsizetype slash = record.name.indexOf(QLatin1Char('/'));
        if (folderItem && slash < 0) {
            continue;
        }
        const QString below = record.name.mid(slash + 1);
        // The dates file comes from the server: its names decide where a restore
        // writes, so one that leaves the item is refused here already.
        if (!IsSafeEntryName(record.name) || (folderItem && !IsSafeEntryName(below))) {
            LogUnsafePath(record.name);
            continue;
        }
        RestoreItem line;
        SetSource(line, folderItem ? itemFolder + below : item.path, false);
        line.archiveName = destination.path + QLatin1Char(':') + record.name;
        line.archiveTime = FileTimeToUnixSeconds(record.writeTime);
        line.archiveSize = record.size;
        list.push_back(line);
    }
    return true;
}

bool ListFromFtp(std::vector<RestoreItem>& list, const SourceItem& item,
                 const TaskDestination& destination, qint32 method, const QString& archiveName,
                 RemoteSession& ftp) {
    if (method == kMethodZip) {
        RunTemporary archive;
        DownloadArchive(ftp, archiveName, archive);
        return item.kind == kItemAllContacts
                   ? ListArchiveContacts(list, archive.Path())
                   : ListArchiveFiles(list, item, archive.Path(), archiveName);
    }
    if (item.kind == kItemAllContacts) {
        ListFtpContacts(list, ftp);
        return true;
    }
    return ListFtpCopies(list, item, destination, ftp);
}

}  // namespace

QString ArchivePathOf(const TaskDestination& destination, const QString& archiveName) {
    return WithSlashOrRoot(ShareLocalPath(destination.path)) + archiveName;
}

bool BuildRestoreList(std::vector<RestoreItem>& list, const SourceItem& item,
                      const TaskDestination& destination, qint32 method, const QString& archiveName,
                      RemoteSession* ftp) {
    if (method != kMethodCopy && method != kMethodZip) {
        return true;
    }
    switch (item.kind) {
        case kItemRegistryKey:
            AddRegistryLine(list, item);
            return true;
        case kItemContact:
            AddContactLine(list, item);
            return true;
        case kItemAllContacts:
        case kItemFolder:
        case kItemFile:
            break;
        default:
            return true;
    }
    if (destination.type == kDestFtp) {
        std::unique_ptr<RemoteSession> own;
        if (ftp == nullptr) {
            own = OpenFtpSession(destination, nullptr);
            if (!own) {
                return false;  // logged
            }
            ftp = own.get();
        }
        const bool read = ListFromFtp(list, item, destination, method, archiveName, *ftp);
        CloseFtpSession(own);
        return read;
    }
    if (method == kMethodZip) {
        const QString archivePath = ArchivePathOf(destination, archiveName);
        return item.kind == kItemAllContacts
                   ? ListArchiveContacts(list, archivePath)
                   : ListArchiveFiles(list, item, archivePath, archiveName);
    }
    if (item.kind == kItemAllContacts) {
        // This kind's name in archive is empty: its files lie in the destination folder.
        if (!item.nameInArchive.isEmpty() && !IsSafeEntryName(item.nameInArchive)) {
            LogUnsafePath(item.nameInArchive);
            return false;
        }
        ListStoredContacts(list, ArchivePathOf(destination, item.nameInArchive));
        return true;
    }
    return ListStoredFiles(list, item, destination);
}

}  // namespace corvane
