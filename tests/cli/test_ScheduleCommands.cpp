#include <gtest/gtest.h>

#include "cli/CliTestSupport.h"
#include "scheduler/Scheduler.h"
#include "support/RecordingCrontab.h"

namespace corvane {
namespace {

// The jobs as `schedules` prints them, the next run left out (cron does not know it).
QStringList Jobs(const QString& data) {
    const test::CliResult listed = test::RunCli(data, {"schedules"});
    QStringList jobs;
    for (const QString& line : listed.out.split('\n', Qt::SkipEmptyParts)) {
        if (line.count('\t') == 2) {
            jobs << line.section('\t', 0, 1);
        }
    }
    return jobs;
}

// One task through its life; after each step the scheduler holds exactly the jobs listed,
// each once, and nothing of a name it no longer has.
TEST(ScheduleCommandsTest, JobsFollowEveryChangeOfTheTask) {
    test::TempDir dir;
    const test::RecordingCrontab crontab(dir.Path());
    const QString data = dir.File("data");
    dir.Write("src/a.txt", "alpha");
    const struct {
        QStringList args;
        QStringList jobs;
    } steps[] = {
        {{"new", "Docs", "--to", dir.File("dest"), "--schedule", "daily@07:30", dir.File("src")},
         {"Docs\tdaily at 07:30"}},
        {{"schedule", "Docs", "weekly:mon,fri@07:05"}, {"Docs\tweekly on Mon, Fri at 07:05"}},
        {{"edit", "Docs", "--rename", "Papers"}, {"Papers\tweekly on Mon, Fri at 07:05"}},
        {{"schedule", "Papers", "manual"}, {}},
        {{"edit", "Papers", "--schedule", "daily@23:59"}, {"Papers\tdaily at 23:59"}},
        {{"delete", "Papers"}, {}},
    };
    for (const auto& step : steps) {
        const test::CliResult result = test::RunCli(data, step.args);
        ASSERT_EQ(result.status, 0)
            << step.args.join(' ').toStdString() << result.err.toStdString();
        EXPECT_EQ(result.out.contains("  Activation task has been added to the system scheduler"),
                  !step.jobs.isEmpty() && step.args.front() != "delete");
        // The table first: `schedules` would tidy up what the step left behind.
        for (const QString name : {"Docs", "Papers"}) {
            EXPECT_EQ(crontab.Table().count(WorkItemName(name)),
                      step.jobs.filter(name + '\t').size())
                << step.args.join(' ').toStdString();
        }
        EXPECT_EQ(Jobs(data), step.jobs) << step.args.join(' ').toStdString();
    }
}

// `schedules` puts back a job the user removed behind the program's back, and removes
// the job of a task that is gone from the list.
TEST(ScheduleCommandsTest, SchedulesBringsTheJobsInStepWithTheTasks) {
    test::TempDir dir;
    const test::RecordingCrontab crontab(dir.Path());
    const QString data = dir.File("data");
    dir.Write("src/a.txt", "alpha");
    ASSERT_EQ(test::RunCli(data, {"new", "Docs", "--to", dir.File("dest"), "--schedule",
                                  "daily@07:30", dir.File("src")})
                  .status,
              0);
    // The user's own line stays; Docs's job is gone, a deleted task's job is left over.
    dir.Write("crontab.table",
              "MAILTO=me\n# Corvane: " + WorkItemName("Gone").toUtf8() + "\n0 1 * * * x\n");
    EXPECT_EQ(Jobs(data), QStringList{"Docs\tdaily at 07:30"});
    EXPECT_TRUE(crontab.Table().startsWith("MAILTO=me\n"));
    EXPECT_FALSE(crontab.Table().contains("Gone"));
}

}  // namespace
}  // namespace corvane
