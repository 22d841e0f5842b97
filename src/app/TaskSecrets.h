#pragma once

// The passwords of a task list kept in the session's keyring instead of its file. A
// task whose passwords the keyring holds is marked in the file (TaskListFile.h); a task
// saved before, or where no keyring could take a password, keeps it in the file and
// moves it at the next save that can.

#include <QString>
#include <vector>

#include "model/TaskList.h"
#include "model/TaskListFile.h"

namespace corvane {

// A password typed on the terminal for the runs of one command: used, never saved.
struct TypedPassword {
    qint32 oid = 0;
    TaskPasswordField field = kPasswordArchive;
    QString value;
};

// What the field is called on the terminal and in the keyring ("archive").
QString PasswordFieldName(TaskPasswordField field);

// Fills the passwords `inKeyring` names. One that cannot be read (a locked keyring
// that stays locked, no service) leaves its field empty and sets its bit in the task's
// unreadPasswords; `mayPrompt` lets the service ask the user to unlock the keyring.
void ReadKeyringPasswords(TaskList& tasks, const QString& listPath,
                          const KeyringPasswords& inKeyring, bool mayPrompt);

// Puts every non-empty password of every task in the keyring and answers which ones
// the file must leave out. A password the keyring did not take stays in the file, with
// a warning. Entries of removed tasks and cleared passwords are deleted. Unread
// passwords, and those typed for this command, are left where they are.
KeyringPasswords KeepPasswordsInKeyring(const TaskList& tasks, const QString& listPath,
                                        const std::vector<TypedPassword>& typed);

}  // namespace corvane
