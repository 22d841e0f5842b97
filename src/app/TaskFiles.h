#pragma once

// Loading and saving the task list and the task tree together, in the order the two
// files depend on each other: the group list names tasks by OID, so tasks are read
// first and the tree after them.
//
// A file that exists but cannot be read (a typo made by hand, a disk fault) is never
// written over: it may hold every task the user has. The front ends learn of it from
// the load and either stop or, with the user's consent, move it aside first.

#include <QString>
#include <QStringList>

#include "app/TaskSecrets.h"
#include "app/TaskTree.h"
#include "model/TaskList.h"

namespace corvane {

// Paths of the two files in a data folder.
QString TaskListPath(const QString& dataFolder);
QString GroupListPath(const QString& dataFolder);

// Whether a load reads the passwords kept in the keyring, and whether the keyring's
// service may then ask the user to unlock it (a window may, a terminal may not).
enum class KeyringRead { kSkip, kNoPrompt, kPrompt };

// What loading the two files of a data folder found.
struct TaskFilesLoad {
    // For a file that exists but cannot be read: "cannot read the task list FILE:
    // REASON at line L, column C" (or "... the group list ..."). Empty when the file was
    // read or is missing.
    QString taskListError;
    QString groupListError;
    // Passwords typed on the terminal since: a save leaves them out of file and keyring.
    std::vector<TypedPassword> typedPasswords;

    bool TaskListDamaged() const { return !taskListError.isEmpty(); }
    bool GroupListDamaged() const { return !groupListError.isEmpty(); }
};

// Fills the empty list and tree from the data folder. A missing task list file gives
// no tasks; a damaged one gives no tasks and must not be saved over. A missing or
// damaged group list file shows every task at the top level; a damaged one must not be
// saved over either. Passwords kept in the keyring are read from it as `keyring` says.
[[nodiscard]] TaskFilesLoad LoadTasksAndTree(TaskList& tasks, TaskTree& tree,
                                             const QString& dataFolder,
                                             KeyringRead keyring = KeyringRead::kNoPrompt);

// Which of the two files a save may write: never one that was found damaged.
struct TaskFilesToSave {
    bool taskList = true;
    bool groupList = true;
    std::vector<TypedPassword> typedPasswords;

    static TaskFilesToSave After(const TaskFilesLoad& load) {
        return {!load.TaskListDamaged(), !load.GroupListDamaged(), load.typedPasswords};
    }
};

// Saves the group list file, then the task list file, each as `which` allows; the
// task list's passwords go to the keyring where one takes them (TaskSecrets.h). Answers
// false when the task list file was to be written and was not. Every failure adds a
// line to `problems` (optional) with the file and the system's reason: "cannot save
// tasks list: cannot write FILE: REASON", "cannot save the group list: ...".
[[nodiscard]] bool SaveTasksAndTree(const TaskList& tasks, const TaskTree& tree,
                                    const QString& dataFolder, TaskFilesToSave which,
                                    QStringList* problems = nullptr);

// Moves a damaged file aside, beside itself: "<file>.damaged-YYYYMMDD-HHMMSS" (local
// time; "-2", "-3" ... added when that name is taken), so that a fresh list can be started without
// losing it. False, with the reason in `error`, when it cannot be renamed.
[[nodiscard]] bool SetDamagedFileAside(const QString& path, QString* movedTo, QString* error);

}  // namespace corvane
