#pragma once

// Loading and saving the task list and the task tree together, in the order the two
// files depend on each other: the group list names tasks by OID, so tasks are read
// first and the tree after them.

#include <QString>

#include "app/TaskTree.h"
#include "model/TaskList.h"

namespace corvane {

// Paths of the two files in a data folder.
QString TaskListPath(const QString& dataFolder);
QString GroupListPath(const QString& dataFolder);

// Fills the empty list and tree from the data folder. A missing or unreadable task
// list file gives no tasks; a missing or unreadable group list file shows every task
// at the top level.
void LoadTasksAndTree(TaskList& tasks, TaskTree& tree, const QString& dataFolder);

// Saves the group list file, then the task list file; answers whether the task list
// file was written (a failed group list save goes unreported, as the tree can always
// be rebuilt from the tasks).
bool SaveTasksAndTree(const TaskList& tasks, const TaskTree& tree, const QString& dataFolder);

}  // namespace corvane
