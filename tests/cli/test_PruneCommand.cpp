#include <gtest/gtest.h>

#include <QDir>

#include "cli/CliTestSupport.h"
#include "model/TaskListFile.h"
#include "support/Times.h"

namespace corvane {
namespace {

using test::MakeTime;

TEST(PruneCommand, DryRunRemovesNothingPruneRemovesAndSavesKeepIsEdited) {
    test::TempDir dir;
    const QString data = dir.File("data");
    ASSERT_TRUE(QDir().mkpath(data));
    TaskList tasks;
    TaskRecord* task = tasks.NewTask("Docs", kTaskBackup);
    task->destination.path = dir.File("dest/#HH#MIN/");
    task->keepLast = 1;
    task->items.push_back(MakePathItem(dir.File("src/"), kItemFolder, "Docs"));
    for (const int minute : {3, 1, 2}) {
        const QString folder = QString("dest/10%1/").arg(minute, 2, 10, QChar('0'));
        dir.Write(folder + "Docs/a.txt", "alpha");
        task->history.push_back({dir.File(folder), "", MakeTime(2024, 5, 6, 10, minute)});
    }
    ASSERT_TRUE(SaveTaskList(tasks, data + "/CorvTasks.bin"));
    const auto dest = [&] {
        return QDir(dir.File("dest")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    };

    const test::CliResult dry = test::RunCli(data, {"prune", "Docs", "--dry-run"});
    EXPECT_EQ(dry.status, 0) << dry.err.toStdString();
    EXPECT_EQ(dry.out, QString("would remove: %1/\nwould remove: %2/\n")
                           .arg(dir.File("dest/1001"), dir.File("dest/1002")));
    EXPECT_EQ(dest(), (QStringList{"1001", "1002", "1003"}));

    EXPECT_EQ(test::RunCli(data, {"prune", "docs"}).status, 0);
    EXPECT_EQ(dest(), QStringList{"1003"});
    EXPECT_EQ(test::RunCli(data, {"edit", "Docs", "--keep", "3"}).status, 0);
    const QString shown = test::RunCli(data, {"show", "Docs"}).out;
    EXPECT_TRUE(shown.contains("\nKeepLastBackups=3\n") && shown.contains("\nPrevBackupsNmb=1\n"))
        << shown.toStdString();
    EXPECT_EQ(test::RunCli(data, {"edit", "Docs", "--keep", "-1"}).status, 2);
}

}  // namespace
}  // namespace corvane
