#pragma once

// Small path operations that the backup stages share: where an entry of a walk lies
// below the folder it was walked from, the folder part of a file path, and whether a
// path exists. Paths are text as FileName.h makes it (names that are not UTF-8 carry
// escaped bytes); the existence test reaches the file system through the exact bytes.
//
// Thread safety: pure functions (LocalPathExists asks the file system).

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace corvane {

// `folder` with one "/" at its end ("" stays "", "/" stays "/").
QString WithSlash(const QString& folder);

// The same, but "" becomes "/": for a name from a task or a server that must never
// turn into the empty prefix of every path.
QString WithSlashOrRoot(const QString& folder);

// A folder item's path without its trailing "/" (the root stays "/").
QString WithoutTrailingSlash(const QString& folder);

// The part of `path` below `base`, without a leading "/": "a/b.txt" for the base "/src"
// or "/src/" and the path "/src/a/b.txt", "etc/hosts" for the base "/" and the path
// "/etc/hosts". Empty when `path` is `base` itself; a null QString when `path` does not
// lie below `base` ("/srcx/a" is not below "/src").
QString PathBelow(QStringView base, const QString& path);

// The folder part of a file path: "/a/b" for "/a/b/c.txt", "/" for "/c.txt", "" for a
// bare name.
QString FolderOfFile(const QString& path);

// The text a symbolic link holds (its target as written, not resolved), read through the
// exact bytes of `path`. False with errno set when `path` is no link or cannot be read.
bool ReadLinkText(const QString& path, QByteArray& text);

// True when the path names an existing entry (links followed), as stat sees it.
bool LocalPathExists(const QString& path);

}  // namespace corvane
