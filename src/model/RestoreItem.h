#pragma once

// One stored object of a backup (a file, a contact or a registry key) as the restore
// list shows it: the live object beside its stored copy. Sizes are 64-bit.

#include <QString>
#include <QtGlobal>
#include <optional>

namespace corvane {

struct RestoreItem {
    QString sourceName;                // live path, contact text or key path; empty when it is gone
    QString archiveName;               // the item's key inside the backup
    std::optional<qint64> sourceTime;  // seconds since the epoch of the live object
    std::optional<qint64> archiveTime;  // seconds since the epoch of the stored copy
    quint64 sourceSize = 0;
    quint64 archiveSize = 0;
    bool checked = true;
    // Set for a stored symbolic link: whether the live object is a link holding the same
    // target text (links are compared by that text, never followed).
    std::optional<bool> sameLink;

    bool operator==(const RestoreItem&) const = default;
};

}  // namespace corvane
