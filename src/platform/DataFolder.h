#pragma once

// Where Corvane keeps its task list file, group list file and run temporaries.

#include <QString>

namespace corvane {

// The data folder, first of:
//   1. `overridePath` when not empty (the command line's --data-dir);
//   2. $CORVANE_HOME when set;
//   3. the folder of the executable when the task list file lies there and that folder
//      is writable (a portable install);
//   4. $XDG_DATA_HOME/corvane, with ~/.local/share for an unset or relative
//      $XDG_DATA_HOME.
// The answer is an absolute path without a trailing "/". Nothing is created.
QString ResolveDataFolder(const QString& overridePath = QString());

// Creates the folder (and its parents) when missing, readable by its owner only when
// new. Answers false when it does not exist afterwards.
bool EnsureFolder(const QString& path);

}  // namespace corvane
