#include "model/TaskRecord.h"

#include <utility>

namespace corvane {

SourceItem MakePathItem(const QString& path, qint32 kind, const QString& nameInArchive) {
    SourceItem item;
    item.kind = kind;
    item.path = path;
    item.nameInArchive = nameInArchive;
    return item;
}

SourceItem MakeRegistryItem(const QString& path, const QString& nameInArchive) {
    return MakePathItem(path, kItemRegistryKey, nameInArchive);
}

SourceItem MakeContactItem(const QString& firstName, const QString& middleName,
                           const QString& lastName) {
    SourceItem item;
    item.kind = kItemContact;
    item.firstName = firstName;
    item.middleName = middleName;
    item.lastName = lastName;
    return item;
}

SourceItem MakeAllContactsItem() {
    SourceItem item;
    item.kind = kItemAllContacts;
    return item;
}

const QString& TaskPassword(const TaskRecord& task, TaskPasswordField field) {
    switch (field) {
        case kPasswordDestination:
            return task.destination.password;
        case kPasswordArchive:
            return task.archivePassword;
        case kPasswordScheduler:
            break;
    }
    return task.schedulerPassword;
}

QString& TaskPassword(TaskRecord& task, TaskPasswordField field) {
    return const_cast<QString&>(TaskPassword(std::as_const(task), field));
}

qint32 PasswordsARunNeeds(const TaskRecord& task) {
    return (task.destination.type == kDestFtp ? kPasswordDestination : 0) |
           (task.backupMode == kMethodZip ? kPasswordArchive : 0);
}

QString DescribeTask(const TaskRecord& task) {
    const QString& name = task.name;
    const QString& path = task.destination.path;
    const QString& archive = task.archiveName;
    const bool copy = task.backupMode == kMethodCopy;
    switch (task.taskType) {
        case kTaskBackup:
            if (task.destination.type != kDestFolder && task.destination.type != kDestFtp) {
                return {};
            }
            return copy ? QStringLiteral("%1. Backup items to %2").arg(name, path)
                        : QStringLiteral("%1. Backup and compress items to %2 in %3")
                              .arg(name, path, archive);
        case kTaskRestore:
            return copy
                       ? QStringLiteral("%1. Restore items from %2").arg(name, path)
                       : QStringLiteral("%1. Restore items from %2 in %3").arg(name, path, archive);
        default:
            return {};
    }
}

QString ContactDisplayName(const QString& firstName, const QString& middleName,
                           const QString& lastName) {
    QString text;
    for (const QString* part : {&firstName, &middleName, &lastName}) {
        if (!part->isEmpty()) {
            text += *part + QLatin1Char(' ');
        }
    }
    // Only blanks are trimmed, as the contact files are named after this text.
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' ')) {
        ++begin;
    }
    while (end > begin && text.at(end - 1) == QLatin1Char(' ')) {
        --end;
    }
    return text.mid(begin, end - begin);
}

QString DescribeItem(const SourceItem& item) {
    switch (item.kind) {
        case kItemFolder:
        case kItemFile:
        case kItemRegistryKey:
            return item.path;
        case kItemAllContacts:
            return QStringLiteral("All contacts");
        case kItemContact:
            return ContactDisplayName(item.firstName, item.middleName, item.lastName);
        default:
            return QStringLiteral("Unknown item");
    }
}

std::optional<CalendarTime> LatestBackupTime(const TaskRecord& task) {
    if (task.history.empty()) {
        return std::nullopt;
    }
    CalendarTime latest = task.history.front().time;
    for (const BackupHistoryEntry& entry : task.history) {
        if (entry.time.WholeSeconds() > latest.WholeSeconds()) {
            latest = entry.time;
        }
    }
    return latest;
}

}  // namespace corvane
