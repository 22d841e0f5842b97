#pragma once

// The group list file "CorvGroups.bin": the top-level entries of the task tree in tree
// order, groups with the tasks under them, tasks named by OID only
// (doc/formats/group-list.md). The tree itself is built by the application layer.

#include <QString>
#include <optional>
#include <vector>

#include "model/FileLoad.h"

namespace corvane {

inline constexpr char kGroupListFileName[] = "CorvGroups.bin";

struct GroupListEntry {
    enum class Type { Group, Task };
    Type type = Type::Task;
    QString name;  // a group's label
    // A group: one element per entry under it, in order, null for an entry whose task
    // slot is empty (it keeps its number). A task: exactly one element.
    std::vector<std::optional<qint32>> oids;

    bool operator==(const GroupListEntry&) const = default;
};

// Reads the entries. A group keeps only the entries whose OID is stored; an entry of
// an unknown type is left out. No entries for a missing file or one that exists but
// cannot be read (reported damaged, with the reason).
[[nodiscard]] FileLoad LoadGroupListFile(const QString& path, std::vector<GroupListEntry>& entries);

// Writes the entries, replacing the file atomically (owner-only permissions). On
// failure `error` (optional) says why.
[[nodiscard]] bool SaveGroupListFile(const QString& path,
                                     const std::vector<GroupListEntry>& entries,
                                     QString* error = nullptr);

}  // namespace corvane
