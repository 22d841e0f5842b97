#pragma once

// The dconf database as the settings-key layer sees it: folders ("/a/b/") and keys
// ("/a/b/name") as UTF-8 paths, read from one layer of the profile. Listings count only
// what holds a value in that layer, so the user's own tree never shows folders that only
// the system defaults fill, and the other way round.
//
// One dconf client serves the process; it is made on first use and may be used from
// any thread. Paths must be valid dconf paths (the caller checks them).

#include <QByteArrayList>
#include <QString>

#include "platform/GVariantValue.h"

namespace corvane {

enum class DconfLayer {
    kUser,            // the user's own values (what `dconf write` sets)
    kSystemDefaults,  // the values of the system databases below the user's
};

// The value of `key` in that layer; null when it has none.
GVariantPtr DconfRead(const QByteArray& key, DconfLayer layer);

// Names of the keys directly in `folder` that hold a value, sorted by byte (UTF-8 byte
// order is code point order).
QByteArrayList DconfValueNames(const QByteArray& folder, DconfLayer layer);

// Names (without "/") of the sub-folders of `folder` that hold a value somewhere below,
// sorted by byte.
QByteArrayList DconfFolderNames(const QByteArray& folder, DconfLayer layer);

// True when any key in or below `folder` holds a value.
bool DconfHoldsValue(const QByteArray& folder, DconfLayer layer);

// Writes the user's value of `key` through the dconf service and waits for it. False,
// with the service's or the bus's message in `reason`, when the write did not happen.
[[nodiscard]] bool DconfWrite(const QByteArray& key, GVariant* value, QString& reason);

}  // namespace corvane
