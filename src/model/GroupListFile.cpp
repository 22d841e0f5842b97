#include "model/GroupListFile.h"

#include "model/PropertyStore.h"

namespace corvane {
namespace {

const QString kCountSection = QStringLiteral("ItemsCount");
const QString kType = QStringLiteral("Type");

}  // namespace

FileLoad LoadGroupListFile(const QString& path, std::vector<GroupListEntry>& entries) {
    entries.clear();
    PropertyStore store;
    if (!store.LoadXml(path)) {
        return store.LastLoad();
    }
    const qint32 count = store.ReadNumber(kCountSection, QStringLiteral("Number"), 0);
    // Entries whose section is missing add nothing, so only stored sections are walked.
    for (const qint64 i :
         store.NumberedSections(QStringLiteral("Item"), static_cast<qint64>(count) - 1)) {
        const QString s = QStringLiteral("Item%1").arg(i);
        const QString type = store.ReadText(s, kType);
        GroupListEntry entry;
        if (type == QLatin1String("Group")) {
            entry.type = GroupListEntry::Type::Group;
            entry.name = store.ReadText(s, QStringLiteral("Name"));
            const qint32 tasks = store.ReadNumber(s, QStringLiteral("ItemsCount"), 0);
            for (const qint64 j :
                 store.NumberedKeys(s, QStringLiteral("Task"), QStringLiteral("OID"),
                                    static_cast<qint64>(tasks) - 1, true)) {
                entry.oids.emplace_back(store.ReadNumber(s, QStringLiteral("Task%1OID").arg(j), 0));
            }
        } else if (type == QLatin1String("Task")) {
            entry.type = GroupListEntry::Type::Task;
            if (store.HasText(s, QStringLiteral("TaskOID"))) {
                entry.oids.emplace_back(store.ReadNumber(s, QStringLiteral("TaskOID"), 0));
            } else {
                entry.oids.emplace_back(std::nullopt);
            }
        } else {
            continue;
        }
        entries.push_back(std::move(entry));
    }
    return store.LastLoad();
}

bool SaveGroupListFile(const QString& path, const std::vector<GroupListEntry>& entries,
                       QString* error) {
    PropertyStore store;
    qint64 number = 0;
    for (const GroupListEntry& entry : entries) {
        const QString s = QStringLiteral("Item%1").arg(number++);
        if (entry.type == GroupListEntry::Type::Group) {
            store.SetText(s, kType, QStringLiteral("Group"));
            store.SetText(s, QStringLiteral("Name"), entry.name);
            store.SetNumber(s, QStringLiteral("ItemsCount"),
                            static_cast<qint32>(entry.oids.size()));
            qint64 j = 0;
            for (const std::optional<qint32>& oid : entry.oids) {
                if (oid) {
                    store.SetNumber(s, QStringLiteral("Task%1OID").arg(j), *oid);
                }
                ++j;
            }
        } else {
            store.SetText(s, kType, QStringLiteral("Task"));
            if (!entry.oids.empty() && entry.oids.front()) {
                store.SetNumber(s, QStringLiteral("TaskOID"), *entry.oids.front());
            }
        }
    }
    store.SetNumber(kCountSection, QStringLiteral("Number"), static_cast<qint32>(entries.size()));
    if (store.SaveXml(QStringLiteral("GroupsData"), path,
                      QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        return true;
    }
    if (error != nullptr) {
        *error = store.ErrorString();
    }
    return false;
}

}  // namespace corvane
