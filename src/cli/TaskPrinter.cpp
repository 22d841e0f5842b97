#include "cli/TaskPrinter.h"

namespace corvane {
namespace {

QString Hidden(const QString& password) {
    return password.isEmpty() ? QString() : QStringLiteral("***");
}

QString TimeText(const CalendarTime& time) {
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month, time.day,
                             time.hour, time.minute, time.second);
}

int Depth(const TreeEntry* entry) {
    int depth = 0;
    for (const TreeEntry* e = entry->parent; e != nullptr; e = e->parent) {
        ++depth;
    }
    return depth;
}

}  // namespace

QStringList TreeListing(const TaskTree& tree, const TaskList& tasks) {
    QStringList lines;
    for (const TreeEntry* entry : tree.InDisplayOrder()) {
        const QString indent(2 * Depth(entry), QLatin1Char(' '));
        switch (entry->kind) {
            case TreeEntry::Kind::Group:
                lines << indent + QStringLiteral("group: ") + entry->label;
                break;
            case TreeEntry::Kind::Task: {
                const TaskRecord* task = tasks.TaskAt(entry->value);
                lines << indent + QStringLiteral("task %1: %2")
                                      .arg(entry->value)
                                      .arg(task != nullptr ? DescribeTask(*task) : QString());
                break;
            }
            case TreeEntry::Kind::ItemRow:
                lines << indent + QStringLiteral("item: ") + entry->label;
                break;
        }
    }
    return lines;
}

QStringList TaskNameLines(const TaskList& tasks) {
    QStringList lines;
    for (int slot = 0; slot < tasks.TaskCount(); ++slot) {
        const TaskRecord* task = tasks.TaskAt(slot);
        if (task != nullptr && !task->name.contains(QLatin1Char('\n')) &&
            !task->name.contains(QLatin1Char('\r'))) {
            lines << task->name;
        }
    }
    return lines;
}

QStringList TaskFieldLines(const TaskRecord& task) {
    QStringList lines;
    auto add = [&lines](const QString& key, const QString& value) {
        lines << key + QLatin1Char('=') + value;
    };
    auto number = [&add](const QString& key, qint64 value) { add(key, QString::number(value)); };

    number(QStringLiteral("taskType"), task.taskType);
    number(QStringLiteral("taskOID"), task.oid);
    add(QStringLiteral("taskName"), task.name);
    number(QStringLiteral("itemsCount"), static_cast<qint64>(task.items.size()));
    int n = 1;
    for (const SourceItem& item : task.items) {
        number(QStringLiteral("SrcDataType%1").arg(n), item.kind);
        if (item.kind == kItemFolder || item.kind == kItemFile || item.kind == kItemRegistryKey) {
            add(QStringLiteral("SrcFolder%1").arg(n), item.path);
            add(QStringLiteral("DstFolderName%1").arg(n), item.nameInArchive);
        } else if (item.kind == kItemContact) {
            add(QStringLiteral("SrcFN%1").arg(n), item.firstName);
            add(QStringLiteral("SrcMN%1").arg(n), item.middleName);
            add(QStringLiteral("SrcLN%1").arg(n), item.lastName);
        }
        ++n;
    }
    add(QStringLiteral("destPath"), task.destination.path);
    number(QStringLiteral("destType"), task.destination.type);
    number(QStringLiteral("useXPBurn"), task.destination.useXPBurn ? 1 : 0);
    add(QStringLiteral("destArea"), task.destination.userName);
    add(QStringLiteral("destBurn"), Hidden(task.destination.password));
    number(QStringLiteral("FTPPort"), task.destination.ftpPort);
    if (!task.destination.certificatePin.isEmpty()) {
        add(QStringLiteral("destCertPin"), task.destination.certificatePin);
    }
    // As the task file keeps them: only an S3 destination has them.
    if (!task.destination.serviceUrl.isEmpty()) {
        add(QStringLiteral("destServiceUrl"), task.destination.serviceUrl);
    }
    if (!task.destination.region.isEmpty()) {
        add(QStringLiteral("destRegion"), task.destination.region);
    }
    number(QStringLiteral("backupMode"), task.backupMode);
    add(QStringLiteral("archiveName"), task.archiveName);
    number(QStringLiteral("archiveCmpVal"), task.compressionLevel);
    add(QStringLiteral("archBurn"), Hidden(task.archivePassword));
    number(QStringLiteral("archCipher"), task.archiveCipher);
    add(QStringLiteral("InclFilter"), task.includeFilter);
    add(QStringLiteral("ExclFilter"), task.excludeFilter);
    number(QStringLiteral("KeepLastBackups"), task.keepLast);
    number(QStringLiteral("PrevBackupsNmb"), static_cast<qint64>(task.history.size()));
    n = 1;
    for (const BackupHistoryEntry& entry : task.history) {
        add(QStringLiteral("PrevBackup%1DestFld").arg(n), entry.folder);
        if (task.backupMode == kMethodZip) {
            add(QStringLiteral("PrevBackup%1ArchName").arg(n), entry.archiveName);
        }
        add(QStringLiteral("PrevBackup%1Time").arg(n), TimeText(entry.time));
        ++n;
    }
    add(QStringLiteral("DeskShortcut"), task.desktopShortcut);
    add(QStringLiteral("MailAddress"), task.mailAddress);
    add(QStringLiteral("MailAccount"), task.mailAccount);
    number(QStringLiteral("RecurMode"), task.scheduleMode);
    if (task.scheduleMode != kScheduleNone) {
        number(QStringLiteral("RecurDatePattern"), task.schedulePattern);
        number(QStringLiteral("RecurDayNmb"), task.scheduleDay);
        add(QStringLiteral("RecurTime"), TimeText(task.scheduleStart));
        add(QStringLiteral("destDataSeg"), task.schedulerAccount);
        add(QStringLiteral("destDataOffset"), Hidden(task.schedulerPassword));
    }
    return lines;
}

}  // namespace corvane
