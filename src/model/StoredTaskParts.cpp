#include "model/StoredTaskParts.h"

namespace corvane {
namespace {

QString Numbered(const char* pattern, qint64 number) {
    return QString::fromLatin1(pattern).arg(number);
}

}  // namespace

void WriteTimePair(PropertyStore& store, const QString& section, const QString& name,
                   const CalendarTime& time) {
    const FileTimeHalves halves = SplitFileTime(ToFileTime(time));
    store.SetNumber(section, name + QLatin1String("Lo"), halves.low);
    store.SetNumber(section, name + QLatin1String("Hi"), halves.high);
}

std::optional<CalendarTime> ReadTimePair(const PropertyStore& store, const QString& section,
                                         const QString& name) {
    const QString low = name + QLatin1String("Lo");
    const QString high = name + QLatin1String("Hi");
    if (!store.HasText(section, low) || !store.HasText(section, high)) {
        return std::nullopt;
    }
    return FromFileTime(
        JoinFileTime(store.ReadNumber(section, low, 0), store.ReadNumber(section, high, 0)));
}

void WriteSourceItems(PropertyStore& store, const QString& section, const TaskRecord& task) {
    store.SetNumber(section, QStringLiteral("itemsCount"), static_cast<qint32>(task.items.size()));
    qint64 number = 1;
    for (const SourceItem& item : task.items) {
        store.SetNumber(section, Numbered("SrcDataType%1", number), item.kind);
        switch (item.kind) {
            case kItemFolder:
            case kItemFile:
            case kItemRegistryKey:
                store.SetText(section, Numbered("SrcFolder%1", number), item.path);
                store.SetText(section, Numbered("DstFolderName%1", number), item.nameInArchive);
                break;
            case kItemContact:
                store.SetText(section, Numbered("SrcFN%1", number), item.firstName);
                store.SetText(section, Numbered("SrcMN%1", number), item.middleName);
                store.SetText(section, Numbered("SrcLN%1", number), item.lastName);
                break;
            default:
                break;
        }
        ++number;
    }
}

void ReadSourceItems(const PropertyStore& store, const QString& section, TaskRecord& task) {
    const qint32 count = store.ReadNumber(section, QStringLiteral("itemsCount"), 0);
    // An item needs its kind key; numbers that no kind key carries add nothing.
    const std::vector<qint64> numbers =
        store.NumberedKeys(section, QStringLiteral("SrcDataType"), QString(), count);
    for (const qint64 n : numbers) {
        const qint32 kind = store.ReadNumber(section, Numbered("SrcDataType%1", n), 0);
        const QString name = store.ReadText(section, Numbered("DstFolderName%1", n));
        const QString path = store.ReadText(section, Numbered("SrcFolder%1", n));
        switch (kind) {
            case kItemFolder:
            case kItemFile:
                task.items.push_back(MakePathItem(path, kind, name));
                break;
            case kItemAllContacts:
                task.items.push_back(MakeAllContactsItem());
                break;
            case kItemContact:
                task.items.push_back(
                    MakeContactItem(store.ReadText(section, Numbered("SrcFN%1", n)),
                                    store.ReadText(section, Numbered("SrcMN%1", n)),
                                    store.ReadText(section, Numbered("SrcLN%1", n))));
                break;
            case kItemRegistryKey:
                task.items.push_back(MakeRegistryItem(path, name));
                break;
            default:
                break;
        }
    }
}

void WriteHistory(PropertyStore& store, const QString& section, const TaskRecord& task) {
    store.SetNumber(section, QStringLiteral("PrevBackupsNmb"),
                    static_cast<qint32>(task.history.size()));
    qint64 number = 1;
    for (const BackupHistoryEntry& entry : task.history) {
        store.SetText(section, Numbered("PrevBackup%1DestFld", number), entry.folder);
        if (task.backupMode == kMethodZip) {
            store.SetText(section, Numbered("PrevBackup%1ArchName", number), entry.archiveName);
        }
        WriteTimePair(store, section, Numbered("PrevBackup%1Time", number), entry.time);
        ++number;
    }
}

void ReadHistory(const PropertyStore& store, const QString& section, TaskRecord& task) {
    const qint32 count = store.ReadNumber(section, QStringLiteral("PrevBackupsNmb"), 0);
    const std::vector<qint64> numbers =
        store.NumberedKeys(section, QStringLiteral("PrevBackup"), QStringLiteral("DestFld"), count);
    for (const qint64 n : numbers) {
        const std::optional<CalendarTime> time =
            ReadTimePair(store, section, Numbered("PrevBackup%1Time", n));
        if (!time) {
            continue;
        }
        BackupHistoryEntry entry;
        entry.folder = store.ReadText(section, Numbered("PrevBackup%1DestFld", n));
        if (task.backupMode == kMethodZip) {
            entry.archiveName = store.ReadText(section, Numbered("PrevBackup%1ArchName", n));
        }
        entry.time = *time;
        task.history.push_back(entry);
    }
}

}  // namespace corvane
