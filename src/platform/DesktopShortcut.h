#pragma once

// The desktop launcher of a task: "Backup - <name>.desktop" in the user's desktop
// folder, an executable desktop entry that starts the program with the argument
// /"<name>", so that a double click runs the task (in the running window, if any).
//
// Main thread only; the task record is changed in place.

#include <QString>

#include "model/TaskRecord.h"

namespace corvane {

// The user's desktop folder as the desktop names it ($XDG_CONFIG_HOME/user-dirs.dirs,
// else ~/Desktop), without a final "/".
QString DesktopFolder();

// The launcher's path for a task name: a "/" in the name becomes "-", as a file name
// cannot hold it.
QString DesktopShortcutPath(const QString& taskName);

// The text of the launcher that starts `program` with /"<taskName>".
QByteArray DesktopEntryText(const QString& taskName, const QString& program);

// Writes the task's launcher (whole, under a temporary name, then renamed; mode 0755),
// removes the one it had under another path, logs "  Shortcut %s deleted" for that one
// and "  Shortcut %s created", and records the new path in the task. A launcher that
// cannot be written is logged with its reason and answers false; the task and its old
// launcher are left as they were.
[[nodiscard]] bool CreateDesktopShortcut(TaskRecord& task, const QString& program);

// Removes the task's launcher, logs "  Shortcut %s deleted" and clears the path; a task
// without one is left alone.
void DeleteDesktopShortcut(TaskRecord& task);

}  // namespace corvane
