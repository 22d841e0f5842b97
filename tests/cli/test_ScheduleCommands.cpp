#include <gtest/gtest.h>

#include "cli/CliTestSupport.h"
#include "platform/DataFolderLock.h"
#include "scheduler/Scheduler.h"
#include "support/RecordingCrontab.h"

namespace corvane {
namespace {

// One task through its life. After each step the crontab holds each job once (checked
// before `schedules`, which would tidy up what a step left behind), and `schedules`
// lists them; it brings the jobs in step with the list only when nobody else holds it.
TEST(ScheduleCommandsTest, JobsFollowEveryChangeOfTheTask) {
    test::TempDir dir;
    const test::RecordingCrontab crontab(dir.Path());
    const QString data = dir.File("data");
    const QByteArray user =
        "MAILTO=me\n# Corvane: " + WorkItemName("Gone").toUtf8() + "\n1 2 * * * x\n";
    const struct {
        QStringList args;  // none: the user wrote `table`, then `schedules`
        QStringList jobs;
        QByteArray table = {};
        bool otherOwner = false;
    } steps[] = {
        {{"new", "Docs", "--to", dir.File("dest"), "--schedule", "daily@07:30",
          dir.File("crontab.sh")},
         {"Docs\tdaily at 07:30"}},
        {{"schedule", "Docs", "weekly:mon,fri@07:05"}, {"Docs\tweekly on Mon, Fri at 07:05"}},
        {{"edit", "Docs", "--rename", "Papers"}, {"Papers\tweekly on Mon, Fri at 07:05"}},
        {{"schedule", "Papers", "manual"}, {}},
        {{}, {"Gone\tdaily at 02:01"}, user, true},
        {{}, {}, user},
        {{"edit", "Papers", "--schedule", "daily@23:59"}, {"Papers\tdaily at 23:59"}},
        {{"delete", "Papers"}, {}},
    };
    for (const auto& step : steps) {
        const std::string what = step.args.join(' ').toStdString();
        if (!step.args.isEmpty()) {
            const test::CliResult result = test::RunCli(data, step.args);
            ASSERT_EQ(result.status, 0) << what << result.err.toStdString();
            for (const QString name : {"Docs", "Papers"}) {
                EXPECT_EQ(crontab.Table().count(WorkItemName(name)),
                          step.jobs.filter(name + '\t').size())
                    << what;
            }
        } else {
            dir.Write("crontab.table", step.table);
        }
        DataFolderLock window;
        ASSERT_TRUE(!step.otherOwner || window.TryLock(data));
        QStringList jobs;
        for (const QString& line : test::RunCli(data, {"schedules"}).out.split('\n')) {
            if (line.count('\t') == 4) {
                jobs << line.section('\t', 0, 1);
            }
        }
        EXPECT_EQ(jobs, step.jobs) << what;
        // The user's own line is kept byte for byte.
        EXPECT_TRUE(step.table.isEmpty() || crontab.Table().startsWith("MAILTO=me\n"));
    }
}

}  // namespace
}  // namespace corvane
