#pragma once

// The rules that keep a restore inside the places it may write: what a task file, an
// archive or a server names is checked here before anything is written.
//
// Thread safety: pure functions.

#include <QString>
#include <QStringView>

namespace corvane {

// True when one "/"-separated component of `path` is "..".
bool HasParentComponent(QStringView path);

// True when a restore may write at `path`: absolute, without a ".." component.
bool IsSafeRestorePath(const QString& path);

// True when writing the name below a folder stays inside it: not empty, not absolute
// (no leading "/", no drive letter as in "C:x"), no ".." component (after "\" became
// "/"), no NUL character (which would cut the path short).
bool IsSafeEntryName(const QString& name);

// The error line of a name refused by these rules, the name shown as a person reads it.
void LogUnsafePath(const QString& name);

}  // namespace corvane
