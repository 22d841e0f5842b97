#include "app/TaskSession.h"

#include "platform/DataFolder.h"

namespace corvane {

bool TaskSession::Save(std::FILE* err) const {
    if (load.TaskListDamaged()) {
        // Reported when the command started; the damaged file is kept as it is.
        std::fprintf(err, "Error: %s\n", qUtf8Printable(load.taskListError));
        std::fputs("Cannot save tasks list.\n", err);
        return false;
    }
    QStringList problems;
    const bool saved =
        EnsureFolder(dataFolder) &&
        SaveTasksAndTree(tasks, tree, dataFolder, TaskFilesToSave::After(load), &problems);
    for (const QString& problem : problems) {
        std::fprintf(err, "Error: %s\n", qUtf8Printable(problem));
    }
    if (!saved) {
        std::fputs("Cannot save tasks list.\n", err);
    }
    return saved;
}

bool CheckTaskFiles(const QString& dataFolder, std::FILE* err) {
    const TaskSession session(dataFolder, KeyringRead::kSkip);
    if (session.load.TaskListDamaged()) {
        std::fprintf(err, "Error: %s\n", qUtf8Printable(session.load.taskListError));
        return false;
    }
    if (session.load.GroupListDamaged()) {
        std::fprintf(err,
                     "Warning: %s; the tasks are shown without their groups and the group "
                     "list is left as it is\n",
                     qUtf8Printable(session.load.groupListError));
    }
    return true;
}

}  // namespace corvane
