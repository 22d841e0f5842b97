#pragma once

// The texts corvane-cli prints for tasks: the tree listing and a task's fields.

#include <QStringList>

#include "app/TaskTree.h"
#include "model/TaskRecord.h"

namespace corvane {

// One line per tree entry in display order: "group: <name>", "task <slot>: <text>"
// and "item: <text>", each level indented by two blanks.
QStringList TreeListing(const TaskTree& tree, const TaskList& tasks);

// The names of the tasks in slot order, one per line, for scripts and shell completion.
// A name holding a line break would read as two names: it is left out.
QStringList TaskNameLines(const TaskList& tasks);

// The task as "key=value" lines under the task list file's key names, in the order of
// the record's fields. A time pair is one line under the pair's name without
// "Lo"/"Hi", as "YYYY-MM-DD HH:MM:SS". Passwords show as "***" unless empty.
QStringList TaskFieldLines(const TaskRecord& task);

}  // namespace corvane
