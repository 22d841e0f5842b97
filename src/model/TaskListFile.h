#pragma once

// The task list file "CorvTasks.bin": every task with its items and history, in the
// property-store XML form under the document element "TasksList"
// (doc/formats/task-list.md).

#include <QString>
#include <map>

#include "model/FileLoad.h"
#include "model/TaskList.h"

namespace corvane {

inline constexpr char kTaskListFileName[] = "CorvTasks.bin";

// Task OID -> the TaskPasswordField bits of the passwords the keyring holds for it. A task
// with bits carries the marker "PassInKeyring" and none of those password keys; tasks
// saved without bits look as they always did.
using KeyringPasswords = std::map<qint32, qint32>;

// Appends every stored task to `tasks`; `inKeyring` (optional) learns the marked ones. A missing
// file adds nothing (a first start). A file that exists but cannot be read adds nothing either and
// is reported damaged, with the reason: the caller must then not save over it, or every task is
// lost.
[[nodiscard]] FileLoad LoadTaskList(TaskList& tasks, const QString& path,
                                    KeyringPasswords* inKeyring = nullptr);

// Writes the live tasks in slot order as "Task0", "Task1", ... (empty slots are
// skipped, so the numbers have no gaps). The file is replaced atomically and is
// readable by its owner only, since it holds passwords. On failure `error` (optional)
// says why, with the system's reason. The passwords `inKeyring` names are left out.
[[nodiscard]] bool SaveTaskList(const TaskList& tasks, const QString& path,
                                QString* error = nullptr, const KeyringPasswords& inKeyring = {});

}  // namespace corvane
