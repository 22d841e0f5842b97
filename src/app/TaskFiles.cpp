#include "app/TaskFiles.h"

#include <QDateTime>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <unistd.h>

#include "model/FileName.h"
#include "model/GroupListFile.h"
#include "model/TaskListFile.h"
#include "scheduler/Scheduler.h"

namespace corvane {
namespace {

QString CannotRead(const char* what, const QString& path, const FileLoad& load) {
    if (!load.IsDamaged()) {
        return QString();
    }
    return QStringLiteral("cannot read the %1 %2: %3")
        .arg(QLatin1String(what), FileNameForDisplay(path), load.error);
}

}  // namespace

QString TaskListPath(const QString& dataFolder) {
    return dataFolder + QLatin1Char('/') + QLatin1String(kTaskListFileName);
}

QString GroupListPath(const QString& dataFolder) {
    return dataFolder + QLatin1Char('/') + QLatin1String(kGroupListFileName);
}

TaskFilesLoad LoadTasksAndTree(TaskList& tasks, TaskTree& tree, const QString& dataFolder,
                               KeyringRead keyring) {
    TaskFilesLoad result;
    // The tasks of a data folder are the user's own: deleting one also removes its job
    // from the system scheduler.
    tasks.SetScheduleRemover(UnscheduleTask);
    const QString taskPath = TaskListPath(dataFolder);
    KeyringPasswords inKeyring;
    result.taskListError =
        CannotRead("task list", taskPath, LoadTaskList(tasks, taskPath, &inKeyring));
    if (keyring != KeyringRead::kSkip) {
        ReadKeyringPasswords(tasks, taskPath, inKeyring, keyring == KeyringRead::kPrompt);
    }
    std::vector<GroupListEntry> entries;
    const QString groupPath = GroupListPath(dataFolder);
    const FileLoad groups = LoadGroupListFile(groupPath, entries);
    result.groupListError = CannotRead("group list", groupPath, groups);
    if (groups) {
        tree.Build(entries);
    } else {
        tree.ShowAllTasksAtTop();
    }
    return result;
}

bool SaveTasksAndTree(const TaskList& tasks, const TaskTree& tree, const QString& dataFolder,
                      TaskFilesToSave which, QStringList* problems) {
    QString reason;
    if (which.groupList &&
        !SaveGroupListFile(GroupListPath(dataFolder), tree.ToGroupList(), &reason) &&
        problems != nullptr) {
        *problems << QStringLiteral("cannot save the group list: %1").arg(reason);
    }
    if (!which.taskList) {
        return true;
    }
    const QString taskPath = TaskListPath(dataFolder);
    const KeyringPasswords inKeyring =
        KeepPasswordsInKeyring(tasks, taskPath, which.typedPasswords);
    if (SaveTaskList(tasks, taskPath, &reason, inKeyring)) {
        return true;
    }
    if (problems != nullptr) {
        *problems << QStringLiteral("cannot save tasks list: %1").arg(reason);
    }
    return false;
}

bool SetDamagedFileAside(const QString& path, QString* movedTo, QString* error) {
    const QString stamped =
        path + QStringLiteral(".damaged-") +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    // A file set aside in the same second is kept too. The caller holds the data
    // folder's lock, so nobody makes the name between this look and the rename.
    QString target = stamped;
    for (int n = 2; ::access(FileNameToBytes(target).constData(), F_OK) == 0; ++n) {
        target = stamped + QStringLiteral("-%1").arg(n);
    }
    // rename(2) keeps the bytes exactly as they were, even across a failure.
    if (std::rename(FileNameToBytes(path).constData(), FileNameToBytes(target).constData()) != 0) {
        if (error != nullptr) {
            *error = QStringLiteral("cannot rename %1 to %2: %3")
                         .arg(FileNameForDisplay(path), FileNameForDisplay(target),
                              QString::fromLocal8Bit(std::strerror(errno)));
        }
        return false;
    }
    if (movedTo != nullptr) {
        *movedTo = target;
    }
    return true;
}

}  // namespace corvane
