#pragma once

// The well-known data sets of a Linux desktop that the source tree offers by name (the web
// browser's profile, mail, contacts, desktop settings, keys, program settings). None is a
// kind of item of its own: adding one resolves it, there and then, into an ordinary
// folder, file or settings-key item with a fixed name in archive, and from then on it is
// backed up and restored like any other item of that kind.
//
// Resolution reads only the file system below the folders it is given (the user's home
// folder, the contact store's folder), so it can be tried against any folder.
//
// Thread safety: the table is constant; resolution reads files only.

#include <QString>
#include <span>

#include "model/TaskRecord.h"

namespace corvane {

// Where the data sets are looked for.
struct WellKnownPlaces {
    QString home;           // the user's home folder
    QString contactFolder;  // the contact store's folder
};

// One row of the table: a node of the source tree and what it resolves to.
struct WellKnownSource {
    const char* node;  // the node's text in the source tree
    qint32 kind;       // kItemFolder, kItemFile or kItemRegistryKey
    // The path of the data, empty when it is not there.
    QString (*find)(const WellKnownPlaces& places);
    const char* nameInArchive;
    const char* taskName;  // for a task that has no name yet
    const char* missing;   // the warning when the data is not there
};

struct ResolvedSource {
    SourceItem item;   // kind 0 when the data is not there
    QString taskName;  // what an unnamed task is called after the item
    QString warning;   // "Cannot find ..." when the data is not there

    bool Found() const { return warning.isEmpty(); }
};

// Every row, in the order the source tree shows them.
std::span<const WellKnownSource> WellKnownSources();

// The row of a node text; nullptr for a text that is no such node.
const WellKnownSource* FindWellKnownSource(const QString& node);

// The item of a row: a folder's path ends in "/".
ResolvedSource ResolveWellKnownSource(const WellKnownSource& source, const WellKnownPlaces& places);

}  // namespace corvane
