#include "engine/TaskParameterFile.h"

#include <QFileDevice>

#include "engine/CdBurnArea.h"
#include "engine/FolderPath.h"
#include "engine/FtpTaskSession.h"
#include "engine/RunTemporary.h"
#include "log/Log.h"
#include "model/DatePattern.h"
#include "model/StoredTaskParts.h"
#include "platform/NetworkShare.h"
#include "transport/FtpAddress.h"

namespace corvane {
namespace {

const QString kSection = QString::fromLatin1(kTaskParameterSection);

// The file holds no secret and is meant to be found by whoever restores the backup.
constexpr QFileDevice::Permissions kFilePermissions =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
    QFileDevice::ReadOther;

void LogSaveError() {
    Log("  Error: cannot save task info file");
}

QString TaskFileName(const TaskRecord& task) {
    QString fileName = task.name;
    fileName.replace(QLatin1Char('/'), QLatin1Char('_'));
    return fileName + QLatin1String(".TSK");
}

bool UploadTaskParameterFile(const TaskRecord& task, RemoteSession& ftp) {
    RunTemporary temporary;
    if (!temporary.Create(QStringLiteral("TMP"))) {
        LogSaveError();
        return false;
    }
    if (!SaveTaskParameterFile(task, temporary.Path())) {
        return false;  // logged
    }
    if (!ftp.Upload(temporary.Path(), TaskFileName(task))) {
        Log("  Error: cannot upload task info file");
        return false;
    }
    return true;
}

// Downloads the file an FTP URL names into `temporary`; false when the URL is no FTP
// address, the server cannot be reached or the download fails.
bool FetchTaskFile(const QString& url, const RemoteAccess& access, RunTemporary& temporary,
                   FtpAddress& address) {
    if (!IsFtpAddress(url) || !ParseFtpAddress(url, address)) {
        return false;
    }
    QString remote = address.path;
    while (remote.startsWith(QLatin1Char('/'))) {
        remote.remove(0, 1);
    }
    if (remote.isEmpty()) {
        return false;
    }
    // The host alone: the file's path is taken below the login folder, where a backup
    // to "ftp://host/<folder>" put it.
    FtpEndpoint endpoint = FtpEndpointOfAddress(address);
    endpoint.folder.clear();
    endpoint.mode = FtpMode::kPassive;
    endpoint.access = access;
    const std::unique_ptr<RemoteSession> ftp = NewRemoteSession(endpoint.protocol);
    return ftp->Connect(endpoint) && temporary.Create(QStringLiteral("temp")) &&
           ftp->Download(remote, temporary.Path());
}

}  // namespace

QString TaskParameterFileName(const TaskRecord& task) {
    return TaskFileName(task);
}

QString TaskParameterFilePath(const TaskRecord& task, const CalendarTime& moment) {
    QString folder = ShareLocalPath(ResolvedDestFolder(task, moment));
    if (folder.isEmpty()) {
        return QString();
    }
    if (task.destination.useXPBurn && IsCdDrivePath(folder)) {
        folder = MapToCdBurnArea(folder);
    }
    return folder + TaskFileName(task);
}

PropertyStore TaskParameterStore(const TaskRecord& task) {
    PropertyStore store;
    store.SetText(kSection, QStringLiteral("taskName"), task.name);
    store.SetText(kSection, QStringLiteral("archiveName"), task.archiveName);
    store.SetNumber(kSection, QStringLiteral("backupMode"), task.backupMode);
    store.SetNumber(kSection, QStringLiteral("backupDestType"), task.destination.type);
    store.SetText(kSection, QStringLiteral("backupDestPath"), task.destination.path);
    WriteSourceItems(store, kSection, task);  // "itemsCount" and the items
    WriteHistory(store, kSection, task);
    return store;
}

bool SaveTaskParameterFile(const TaskRecord& task, const QString& path) {
    if (!TaskParameterStore(task).SaveXml(QString::fromLatin1(kTaskParameterRoot), path,
                                          kFilePermissions)) {
        LogSaveError();
        return false;
    }
    return true;
}

bool WriteTaskParameterFile(const TaskRecord& task, const CalendarTime& moment) {
    if (task.destination.type != kDestFolder) {
        LogSaveError();
        return false;
    }
    const QString path = TaskParameterFilePath(task, moment);
    if (path.isEmpty()) {
        // Without a destination the name alone would land in the current folder.
        LogSaveError();
        return false;
    }
    // The stages make the destination folder, but a run whose items wrote nothing
    // (unknown kinds only) still leaves its parameter file there.
    const QString folder = path.left(path.lastIndexOf(QLatin1Char('/')));
    if (!CreateFolderPath(folder)) {
        LogSaveError();
        return false;
    }
    return SaveTaskParameterFile(task, path);
}

bool WriteTaskParameterFile(const TaskRecord& task, RemoteSession* ftp,
                            const CalendarTime& moment) {
    if (task.destination.type == kDestFtp && ftp != nullptr) {
        return UploadTaskParameterFile(task, *ftp);
    }
    return WriteTaskParameterFile(task, moment);
}

QString ReadTaskNameFromFile(const QString& path) {
    PropertyStore store;
    if (!store.LoadXml(path)) {
        return QString();
    }
    return store.ReadText(kSection, QStringLiteral("taskName"));
}

bool ReadTaskParameterFile(TaskRecord& restoreTask, const QString& path) {
    restoreTask.items.clear();
    // The history belongs to the file read; one chosen before must not linger.
    restoreTask.history.clear();
    restoreTask.taskType = kTaskRestore;

    PropertyStore store;
    if (!store.LoadXml(path)) {
        return false;
    }
    auto has = [&](const char* key) { return store.HasText(kSection, QString::fromLatin1(key)); };
    auto number = [&](const char* key) {
        return store.ReadNumber(kSection, QString::fromLatin1(key), 0);
    };
    auto text = [&](const char* key) { return store.ReadText(kSection, QString::fromLatin1(key)); };

    if (!has("taskName") || !has("itemsCount") || !has("backupMode") || !has("archiveName")) {
        return false;
    }
    restoreTask.name = text("taskName");
    const qint32 method = number("backupMode");
    if (method != kMethodCopy && method != kMethodZip && method != kMethodThird) {
        return false;
    }
    restoreTask.backupMode = method;
    if (method != kMethodCopy) {
        restoreTask.archiveName = text("archiveName");
    }
    const qint32 destType = number("backupDestType");
    restoreTask.destination.type =
        has("backupDestType") && (destType == kDestFolder || destType == kDestFtp) ? destType
                                                                                   : kDestFolder;
    if (has("backupDestPath")) {
        restoreTask.destination.path = text("backupDestPath");
    }
    ReadSourceItems(store, kSection, restoreTask);
    ReadHistory(store, kSection, restoreTask);
    return true;
}

bool ReadTaskParameterFile(TaskRecord& restoreTask, const QString& source, int sourceKind,
                           const RemoteAccess& access) {
    if (sourceKind != kTaskFileFtp) {
        return ReadTaskParameterFile(restoreTask, source);
    }
    RunTemporary temporary;  // deleted on every way out
    FtpAddress address;
    if (!FetchTaskFile(source, access, temporary, address)) {
        restoreTask.items.clear();
        restoreTask.history.clear();
        restoreTask.taskType = kTaskRestore;
        restoreTask.name.clear();
        Log("  Error: Cannot access task data");
        return false;
    }
    if (!ReadTaskParameterFile(restoreTask, temporary.Path())) {
        return false;
    }
    if (restoreTask.destination.type == kDestFtp) {
        restoreTask.destination.userName = address.user;
        restoreTask.destination.password = address.password;
        restoreTask.destination.ftpPort = address.port == 0 ? 21 : address.port;
        // The file was reached with them: so is the backup it describes.
        restoreTask.destination.certificatePin = access.certificatePin;
        restoreTask.destination.serviceUrl = access.serviceUrl;
        restoreTask.destination.region = access.region;
    }
    return true;
}

}  // namespace corvane
