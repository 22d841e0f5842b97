#pragma once

// The task list file "CorvTasks.bin": every task with its items and history, in the
// property-store XML form under the document element "TasksList"
// (doc/formats/task-list.md).

#include <QString>

#include "model/TaskList.h"

namespace corvane {

inline constexpr char kTaskListFileName[] = "CorvTasks.bin";

// Appends every stored task to `tasks`. Answers false (and adds nothing) when the file
// is missing or unreadable; the program then starts with no tasks.
bool LoadTaskList(TaskList& tasks, const QString& path);

// Writes the live tasks in slot order as "Task0", "Task1", ... (empty slots are
// skipped, so the numbers have no gaps). The file is replaced atomically and is
// readable by its owner only, since it holds passwords.
bool SaveTaskList(const TaskList& tasks, const QString& path);

}  // namespace corvane
