#pragma once

// The task list and tree of a data folder, loaded for the length of one command or
// one run without a window.

#include <QString>
#include <cstdio>

#include "app/TaskFiles.h"
#include "app/TaskTree.h"
#include "model/TaskList.h"

namespace corvane {

struct TaskSession {
    explicit TaskSession(const QString& folder, KeyringRead keyring = KeyringRead::kNoPrompt)
        : dataFolder(folder),
          tree(tasks),
          load(LoadTasksAndTree(tasks, tree, dataFolder, keyring)) {}

    // Saves both files, but never over a file the load found damaged; false (with the
    // reasons on `err`) when the task list was not written.
    bool Save(std::FILE* err) const;

    QString dataFolder;
    TaskList tasks;
    TaskTree tree;
    TaskFilesLoad load;
};

// Reads the data folder's files before a command uses them. A damaged task list is
// reported on `err` ("Error: cannot read the task list FILE: REASON at line L, column
// C") and answers false: the command must stop without writing. A damaged group list is
// only warned about: the command goes on with every task at the top level and leaves
// the group list file as it is.
[[nodiscard]] bool CheckTaskFiles(const QString& dataFolder, std::FILE* err);

}  // namespace corvane
