#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <tuple>
#include <vector>

#include "app/TaskFiles.h"
#include "cli/CliTestSupport.h"
#include "cli/TaskFinderCommands.h"
#include "engine/TaskParameterFile.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::Capture;
using test::CliResult;
using test::FixturePath;
using test::ReadAll;
using test::TempDir;

CliResult FindTasks(const QString& folder) {
    return Capture(
        [&](std::FILE* out, std::FILE* err) { return FindTasksCommand(folder, out, err); });
}

// The folder is named absolutely; a control character of a name on the backup medium
// cannot forge a line of its own.
TEST(FindTasksCommandTest, OneLinePerTaskFileInTheAbsoluteFolder) {
    TempDir dir;
    TaskRecord task;
    task.name = "Docs";
    ASSERT_TRUE(QDir().mkpath(dir.File("sub")));
    ASSERT_TRUE(SaveTaskParameterFile(task, dir.File("sub/Docs.tsk")));
    dir.Write("sub/evil.tsk",
              "<programSettings><TaskParameters taskName=\"A&#10;Task &quot;B&quot; in /x\"/>"
              "</programSettings>");
    const QString current = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.Path()));
    const CliResult result = FindTasks("./sub/");
    QDir::setCurrent(current);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "Task \"Docs\" in " + dir.File("sub") +
                              "\nTask \"A?Task \"B\" in /x\" in " + dir.File("sub") + "\n");

    const CliResult missing = FindTasks(dir.File("sub/Docs.tsk"));  // not a folder
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "Error: folder '" + dir.File("sub/Docs.tsk") + "' not found\n");
}

class AddRestoreTaskTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_data = m_dir.File("data");
        ASSERT_TRUE(QDir().mkpath(m_data));
        test::CopyTaskFixture(m_data);
        ASSERT_TRUE(QDir().mkpath(m_dir.File("restore")));
    }

    CliResult Add(const QString& file, const QString& to = QString()) {
        return Capture([&](std::FILE* out, std::FILE* err) {
            return AddRestoreTaskCommand(m_data, file, to, out, err);
        });
    }

    TempDir m_dir;
    QString m_data;
};

// A task file from a backup medium could aim a restore at /etc/passwd or at "/" itself,
// or name its archive "/etc/shadow"; the task list is left as it was.
TEST_F(AddRestoreTaskTest, RefusesHostileAndSystemPlaces) {
    const QByteArray before = ReadAll(TaskListPath(m_data));
    // The chosen folder must exist.
    EXPECT_EQ(Add(FixturePath("tsk/Docs.TSK"), m_dir.File("nowhere")).err,
              "Error: folder '" + m_dir.File("nowhere") + "' not found\n");
    EXPECT_EQ(ReadAll(TaskListPath(m_data)), before);
    const QString to = m_dir.File("restore");
    const QString system =
        "restores into the system folder '%1'; choose the folder to "
        "restore into with --to FOLDER";
    // Archive name, item kind and path, target folder, refusal (empty: accepted).
    for (const auto& [archive, kind, path, target, refusal] :
         std::vector<std::tuple<QString, int, QString, QString, QString>>{
             {"a.zip", 3, "/etc/passwd", "", system.arg("/etc/passwd")},
             {"a.zip", 1, "/", "", system.arg("/")},
             {"a&#10;b.zip", 3, "/home/u/a", to, "refused: unsafe path 'a?b.zip'"},
             {"a.zip", 3, "/etc/passwd", to, ""}}) {
        const QString file = m_dir.Write(
            "case.tsk", QString("<programSettings><TaskParameters taskName=\"T\" itemsCount=\"1\" "
                                "backupMode=\"2\" archiveName=\"%1\" SrcDataType1=\"%2\" "
                                "SrcFolder1=\"%3\" DstFolderName1=\"f\"/></programSettings>")
                            .arg(archive)
                            .arg(kind)
                            .arg(path)
                            .toUtf8());
        const CliResult result = Add(file, target);
        EXPECT_EQ(result.status, refusal.isEmpty() ? 0 : 1) << path.toStdString();
        EXPECT_EQ(result.err,
                  refusal.isEmpty() ? "" : "Error: task file '" + file + "' " + refusal + "\n");
        EXPECT_TRUE(refusal.isEmpty() || ReadAll(TaskListPath(m_data)) == before);
    }
}

}  // namespace
}  // namespace corvane
