// Task passwords in a real gnome-keyring-daemon on a private session bus, checked with
// the file's text and with secret-tool, a reader of our own.

#include <gtest/gtest.h>

#include <QFile>

#include "app/TaskFiles.h"
#include "support/DconfSandbox.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/Tools.h"

namespace corvane {
namespace {

const QString kSecrets[] = {"dest-s3cret", "arch-s3cret", "sched-s3cret"};

class TaskSecretsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static test::TempDir home;  // the keyring files, for the whole process
        qputenv("XDG_DATA_HOME", home.Path().toUtf8());
        const test::DconfSandbox& bus = test::DconfSandbox::Get();  // a private bus
        ASSERT_TRUE(bus.IsRunning()) << bus.Problem().toStdString();
        const test::ToolResult started = test::RunTool(
            "sh", {"-c",
                   "printf '\\n' | gnome-keyring-daemon --daemonize --unlock "
                   "--components=secrets >/dev/null && gdbus wait --session --timeout 20 "
                   "org.freedesktop.secrets"});
        ASSERT_EQ(started.exitCode, 0) << started.output.toStdString();
    }

    // A task list of one task holding all three passwords, saved in `m_dir`.
    void SaveOneTask(const QString (&passwords)[3]) {
        auto task = std::make_unique<TaskRecord>();
        task->name = "Docs";
        task->oid = 7;
        task->scheduleMode = kScheduleDaily;
        task->backupMode = kMethodZip;
        for (int i = 0; i < 3; ++i) {
            TaskPassword(*task, kPasswordFields[i]) = passwords[i];
        }
        TaskList tasks;
        tasks.Append(std::move(task));
        ASSERT_TRUE(SaveTasksAndTree(tasks, TaskTree(tasks), m_dir.Path(), {}));
    }

    QString FileText() const {
        QFile file(TaskListPath(m_dir.Path()));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QString SecretTool(const QString& command, const QString& field) const {
        return test::RunTool("secret-tool", {command, "list", TaskListPath(m_dir.Path()),
                                             "task-oid", "7", "field", field})
            .output;
    }

    TaskRecord Loaded(KeyringRead keyring = KeyringRead::kNoPrompt) const {
        TaskList tasks;
        TaskTree tree(tasks);
        (void)LoadTasksAndTree(tasks, tree, m_dir.Path(), keyring);
        return tasks.TaskCount() == 1 ? *tasks.TaskAt(0) : TaskRecord();
    }

    test::TempDir m_dir;
};

TEST_F(TaskSecretsTest, SavedListHoldsNoPasswordAndLoadingTakesThemFromTheKeyring) {
    SaveOneTask(kSecrets);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(FileText().contains(kSecrets[i]));
        EXPECT_EQ(SecretTool("lookup", PasswordFieldName(kPasswordFields[i])), kSecrets[i]);
        EXPECT_EQ(TaskPassword(Loaded(), kPasswordFields[i]), kSecrets[i]);
    }
    EXPECT_TRUE(FileText().contains("PassInKeyring"));
    EXPECT_TRUE(SecretTool("search", "archive").contains("Corvane: Docs \u2014 archive password"));
}

TEST_F(TaskSecretsTest, OldFileWithPasswordsLoadsAndMovesThemOnSave) {
    {
        const test::ScopedEnv noBus("DBUS_SESSION_BUS_ADDRESS", "");
        const test::ScopedEnv noRuntime("XDG_RUNTIME_DIR", "");
        SaveOneTask(kSecrets);  // no service: written the old way
        EXPECT_TRUE(FileText().contains(kSecrets[1]));
        EXPECT_FALSE(FileText().contains("PassInKeyring"));
    }
    EXPECT_TRUE(SecretTool("lookup", "archive").isEmpty());
    TaskList tasks;
    TaskTree tree(tasks);
    ASSERT_FALSE(LoadTasksAndTree(tasks, tree, m_dir.Path()).TaskListDamaged());
    EXPECT_EQ(tasks.TaskAt(0)->archivePassword, kSecrets[1]);
    ASSERT_TRUE(SaveTasksAndTree(tasks, tree, m_dir.Path(), {}));
    EXPECT_FALSE(FileText().contains(kSecrets[1]));
    EXPECT_EQ(SecretTool("lookup", "archive"), kSecrets[1]);
}

TEST_F(TaskSecretsTest, ClearedPasswordAndRemovedTaskLeaveTheKeyring) {
    SaveOneTask(kSecrets);
    SaveOneTask({"dest-s3cret", "", "sched-s3cret"});
    EXPECT_TRUE(SecretTool("lookup", "archive").isEmpty());
    EXPECT_EQ(SecretTool("lookup", "destination"), kSecrets[0]);
    TaskList none;
    ASSERT_TRUE(SaveTasksAndTree(none, TaskTree(none), m_dir.Path(), {}));
    EXPECT_TRUE(SecretTool("lookup", "destination").isEmpty());
}

// Last: the keyring stays locked, since only a person can unlock it again.
TEST_F(TaskSecretsTest, SaveWhileKeyringLockedKeepsThePasswordsItCouldNotRead) {
    SaveOneTask(kSecrets);
    ASSERT_EQ(test::RunTool("gdbus", {"call", "--session", "--dest", "org.freedesktop.secrets",
                                      "--object-path", "/org/freedesktop/secrets", "--method",
                                      "org.freedesktop.Secret.Service.Lock",
                                      "['/org/freedesktop/secrets/collection/login']"})
                  .exitCode,
              0);
    TaskList tasks;
    TaskTree tree(tasks);
    ASSERT_FALSE(LoadTasksAndTree(tasks, tree, m_dir.Path()).TaskListDamaged());
    const TaskRecord& task = *tasks.TaskAt(0);
    EXPECT_EQ(task.unreadPasswords, kPasswordDestination | kPasswordArchive | kPasswordScheduler);
    EXPECT_TRUE(task.archivePassword.isEmpty());
    ASSERT_TRUE(SaveTasksAndTree(tasks, tree, m_dir.Path(), {}));
    EXPECT_TRUE(FileText().contains("PassInKeyring"));
    EXPECT_TRUE(SecretTool("search", "archive").contains("attribute.field = archive"));
}

}  // namespace
}  // namespace corvane
