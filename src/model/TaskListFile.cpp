#include "model/TaskListFile.h"

#include <QFileDevice>
#include <algorithm>

#include "model/PropertyStore.h"
#include "model/StoredTaskParts.h"

namespace corvane {
namespace {

const QString kMain = QStringLiteral("Main");

bool OneOf(qint32 value, std::initializer_list<qint32> allowed) {
    return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
}

std::unique_ptr<TaskRecord> ReadTask(const PropertyStore& store, const QString& s, TaskList& tasks,
                                     KeyringPasswords* inKeyring) {
    auto task = std::make_unique<TaskRecord>();
    auto has = [&](const char* key) { return store.HasText(s, QString::fromLatin1(key)); };
    auto number = [&](const char* key) { return store.ReadNumber(s, QString::fromLatin1(key), 0); };
    auto text = [&](const char* key, QString& field) {
        if (has(key)) {
            field = store.ReadText(s, QString::fromLatin1(key));
        }
    };

    text("taskName", task->name);
    task->taskType = number("taskType");
    if (!has("taskType") || !OneOf(task->taskType, {kTaskBackup, kTaskRestore, kTaskSync})) {
        task->taskType = kTaskBackup;
    }
    // A task without an OID gets one that no task loaded before it carries.
    task->oid = has("taskOID") ? number("taskOID") : tasks.NewOid();
    task->backupMode = number("backupMode");
    if (!has("backupMode") || !OneOf(task->backupMode, {kMethodCopy, kMethodZip, kMethodThird})) {
        task->backupMode = kMethodCopy;
    }
    text("destPath", task->destination.path);
    if (has("destType") && OneOf(number("destType"), {kDestFolder, kDestFtp})) {
        task->destination.type = number("destType");
    }
    if (has("useXPBurn")) {
        task->destination.useXPBurn = number("useXPBurn") > 0;
    }
    if (task->destination.type == kDestFtp && has("FTPPort")) {
        task->destination.ftpPort = number("FTPPort");
    }
    text("destArea", task->destination.userName);
    text("destBurn", task->destination.password);
    text("destCertPin", task->destination.certificatePin);
    text("destServiceUrl", task->destination.serviceUrl);
    text("destRegion", task->destination.region);
    if (task->backupMode == kMethodZip) {
        text("archiveName", task->archiveName);
        task->compressionLevel = has("archiveCmpVal") ? number("archiveCmpVal") : 9;
        text("archBurn", task->archivePassword);
        // Files written before the choice existed hold traditionally encrypted archives.
        if (has("archCipher") && OneOf(number("archCipher"), {kCipherTraditional, kCipherAes256})) {
            task->archiveCipher = number("archCipher");
        }
    } else {
        task->compressionLevel = 9;
    }
    text("InclFilter", task->includeFilter);
    text("ExclFilter", task->excludeFilter);
    task->keepLast = std::max(0, number("KeepLastBackups"));
    text("DeskShortcut", task->desktopShortcut);
    text("MailAddress", task->mailAddress);
    text("MailAccount", task->mailAccount);
    task->scheduleMode = number("RecurMode");
    if (!OneOf(task->scheduleMode,
               {kScheduleNone, kScheduleDaily, kScheduleWeekly, kScheduleMonthly})) {
        task->scheduleMode = kScheduleNone;
    }
    if (task->scheduleMode != kScheduleNone) {
        task->schedulePattern = static_cast<quint16>(number("RecurDatePattern"));
        task->scheduleDay = number("RecurDayNmb");
        // Files we write always hold the start; for one that does not, start now.
        task->scheduleStart =
            ReadTimePair(store, s, QStringLiteral("RecurTime")).value_or(CurrentLocalTime());
        text("destDataSeg", task->schedulerAccount);
        text("destDataOffset", task->schedulerPassword);
    }
    const qint32 kept =
        number("PassInKeyring") & (kPasswordDestination | kPasswordArchive | kPasswordScheduler);
    if (inKeyring != nullptr && kept != 0) {
        (*inKeyring)[task->oid] = kept;
    }
    ReadSourceItems(store, s, *task);
    ReadHistory(store, s, *task);
    return task;
}

void WriteTask(PropertyStore& store, const QString& s, const TaskRecord& task, qint32 inKeyring) {
    auto number = [&](const char* key, qint32 value) {
        store.SetNumber(s, QString::fromLatin1(key), value);
    };
    auto text = [&](const char* key, const QString& value) {
        store.SetText(s, QString::fromLatin1(key), value);
    };
    auto password = [&](const char* key, TaskPasswordField field) {
        if ((inKeyring & field) == 0) {
            text(key, TaskPassword(task, field));
        }
    };
    text("taskName", task.name);
    number("taskType", task.taskType);
    number("taskOID", task.oid);
    number("backupMode", task.backupMode);
    text("destPath", task.destination.path);
    number("destType", task.destination.type);
    number("useXPBurn", task.destination.useXPBurn ? 1 : 0);
    number("FTPPort", task.destination.ftpPort);
    text("destArea", task.destination.userName);
    password("destBurn", kPasswordDestination);
    // Only remote destinations beyond plain FTP have these; other tasks store none.
    for (const auto& [key, value] : {std::pair{"destCertPin", &task.destination.certificatePin},
                                     std::pair{"destServiceUrl", &task.destination.serviceUrl},
                                     std::pair{"destRegion", &task.destination.region}}) {
        if (!value->isEmpty()) {
            text(key, *value);
        }
    }
    text("archiveName", task.archiveName);
    number("archiveCmpVal", task.compressionLevel);
    password("archBurn", kPasswordArchive);
    number("archCipher", task.archiveCipher);
    text("InclFilter", task.includeFilter);
    text("ExclFilter", task.excludeFilter);
    number("KeepLastBackups", task.keepLast);
    text("DeskShortcut", task.desktopShortcut);
    text("MailAddress", task.mailAddress);
    text("MailAccount", task.mailAccount);
    number("RecurMode", task.scheduleMode);
    if (task.scheduleMode != kScheduleNone) {
        number("RecurDatePattern", task.schedulePattern);
        number("RecurDayNmb", task.scheduleDay);
        WriteTimePair(store, s, QStringLiteral("RecurTime"), task.scheduleStart);
        text("destDataSeg", task.schedulerAccount);
        password("destDataOffset", kPasswordScheduler);
    }
    if (inKeyring != 0) {
        number("PassInKeyring", inKeyring);
    }
    WriteSourceItems(store, s, task);
    WriteHistory(store, s, task);
}

}  // namespace

FileLoad LoadTaskList(TaskList& tasks, const QString& path, KeyringPasswords* inKeyring) {
    PropertyStore store;
    if (!store.LoadXml(path)) {
        return store.LastLoad();
    }
    const qint32 count = store.ReadNumber(kMain, QStringLiteral("TasksCount"), 0);
    if (count <= 0) {
        return store.LastLoad();
    }
    // A "Task%d" section that is missing still yields a task with the defaults, but
    // only up to the last section the file holds: a damaged count cannot make
    // millions of empty tasks.
    const std::vector<qint64> present =
        store.NumberedSections(QStringLiteral("Task"), static_cast<qint64>(count) - 1);
    const qint64 total = present.empty() ? 0 : present.back() + 1;
    for (qint64 k = 0; k < total; ++k) {
        tasks.Append(ReadTask(store, QStringLiteral("Task%1").arg(k), tasks, inKeyring));
    }
    return store.LastLoad();
}

bool SaveTaskList(const TaskList& tasks, const QString& path, QString* error,
                  const KeyringPasswords& inKeyring) {
    PropertyStore store;
    store.SetNumber(kMain, QStringLiteral("TasksCount"), tasks.LiveTaskCount());
    qint64 number = 0;
    for (int i = 0; i < tasks.TaskCount(); ++i) {
        if (const TaskRecord* task = tasks.TaskAt(i)) {
            const auto kept = inKeyring.find(task->oid);
            WriteTask(store, QStringLiteral("Task%1").arg(number++), *task,
                      kept == inKeyring.end() ? 0 : kept->second);
        }
    }
    if (store.SaveXml(QStringLiteral("TasksList"), path,
                      QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        return true;
    }
    if (error != nullptr) {
        *error = store.ErrorString();
    }
    return false;
}

}  // namespace corvane
