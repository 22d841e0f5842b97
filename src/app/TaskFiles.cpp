#include "app/TaskFiles.h"

#include "model/GroupListFile.h"
#include "model/TaskListFile.h"

namespace corvane {

QString TaskListPath(const QString& dataFolder) {
    return dataFolder + QLatin1Char('/') + QLatin1String(kTaskListFileName);
}

QString GroupListPath(const QString& dataFolder) {
    return dataFolder + QLatin1Char('/') + QLatin1String(kGroupListFileName);
}

void LoadTasksAndTree(TaskList& tasks, TaskTree& tree, const QString& dataFolder) {
    LoadTaskList(tasks, TaskListPath(dataFolder));
    std::vector<GroupListEntry> entries;
    if (LoadGroupListFile(GroupListPath(dataFolder), entries)) {
        tree.Build(entries);
    } else {
        tree.ShowAllTasksAtTop();
    }
}

bool SaveTasksAndTree(const TaskList& tasks, const TaskTree& tree, const QString& dataFolder) {
    SaveGroupListFile(GroupListPath(dataFolder), tree.ToGroupList());
    return SaveTaskList(tasks, TaskListPath(dataFolder));
}

}  // namespace corvane
