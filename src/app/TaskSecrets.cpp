#include "app/TaskSecrets.h"

#include <set>

#include "log/Log.h"
#include "platform/SecretStore.h"

namespace corvane {
namespace {

SecretKey KeyOf(const QString& listPath, const TaskRecord& task, TaskPasswordField field) {
    return {listPath, task.oid, task.name, PasswordFieldName(field)};
}

// A password left where it is: unread and not changed since, or typed for this command.
bool LeftAlone(const TaskRecord& task, TaskPasswordField field,
               const std::vector<TypedPassword>& typed) {
    const QString& value = TaskPassword(task, field);
    if ((task.unreadPasswords & field) != 0 && value.isEmpty()) {
        return true;
    }
    for (const TypedPassword& entry : typed) {
        if (entry.oid == task.oid && entry.field == field) {
            return entry.value == value;
        }
    }
    return false;
}

}  // namespace

QString PasswordFieldName(TaskPasswordField field) {
    switch (field) {
        case kPasswordDestination:
            return QStringLiteral("destination");
        case kPasswordArchive:
            return QStringLiteral("archive");
        case kPasswordScheduler:
            break;
    }
    return QStringLiteral("scheduler");
}

void ReadKeyringPasswords(TaskList& tasks, const QString& listPath,
                          const KeyringPasswords& inKeyring, bool mayPrompt) {
    if (inKeyring.empty()) {
        return;
    }
    SecretStore store(mayPrompt);
    for (int i = 0; i < tasks.TaskCount(); ++i) {
        TaskRecord* task = tasks.TaskAt(i);
        const auto kept = task != nullptr ? inKeyring.find(task->oid) : inKeyring.end();
        if (kept == inKeyring.end()) {
            continue;
        }
        for (TaskPasswordField field : kPasswordFields) {
            if ((kept->second & field) == 0) {
                continue;
            }
            const SecretLookup found =
                store.Lookup(KeyOf(listPath, *task, field), &TaskPassword(*task, field));
            if (found == SecretLookup::kMissing) {
                Log("Warning: the keyring holds no %s password for task %s",
                    qUtf8Printable(PasswordFieldName(field)), qUtf8Printable(task->name));
            } else if (found != SecretLookup::kFound) {
                task->unreadPasswords |= field;
                Log("Warning: the %s password of task %s is in the keyring, which is %s",
                    qUtf8Printable(PasswordFieldName(field)), qUtf8Printable(task->name),
                    found == SecretLookup::kLocked ? "locked" : "not available");
            }
        }
    }
}

KeyringPasswords KeepPasswordsInKeyring(const TaskList& tasks, const QString& listPath,
                                        const std::vector<TypedPassword>& typed) {
    KeyringPasswords inKeyring;
    SecretStore store(false);
    std::set<std::pair<qint32, QString>> entries;
    for (int i = 0; i < tasks.TaskCount(); ++i) {
        const TaskRecord* task = tasks.TaskAt(i);
        if (task == nullptr) {
            continue;
        }
        for (TaskPasswordField field : kPasswordFields) {
            const QString& value = TaskPassword(*task, field);
            bool kept = LeftAlone(*task, field, typed);
            if (!kept && !value.isEmpty() && store.IsAvailable()) {
                const QString label = QStringLiteral("Corvane: %1 \u2014 %2 password")
                                          .arg(task->name, PasswordFieldName(field));
                kept = store.Store(KeyOf(listPath, *task, field), label, value);
                if (!kept) {
                    Log("Warning: the %s password of task %s stays in the task list file",
                        qUtf8Printable(PasswordFieldName(field)), qUtf8Printable(task->name));
                }
            }
            if (kept) {
                inKeyring[task->oid] |= field;
                entries.insert({task->oid, PasswordFieldName(field)});
            }
        }
    }
    if (store.IsAvailable()) {
        store.RemoveOthers(listPath, entries);
    }
    return inKeyring;
}

}  // namespace corvane
