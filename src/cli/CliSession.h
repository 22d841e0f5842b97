#pragma once

// The task list and tree of a data folder, loaded for the length of one command.

#include <QString>

#include "app/TaskFiles.h"
#include "app/TaskTree.h"
#include "model/TaskList.h"

namespace corvane {

struct CliSession {
    explicit CliSession(const QString& folder) : dataFolder(folder), tree(tasks) {
        LoadTasksAndTree(tasks, tree, dataFolder);
    }

    // Saves both files; false (with the reason on `err`) when the task list could not
    // be written.
    bool Save(std::FILE* err) const;

    QString dataFolder;
    TaskList tasks;
    TaskTree tree;
};

}  // namespace corvane
