#include <gtest/gtest.h>

#include <QDir>
#include <functional>

#include "app/SourceItems.h"
#include "app/TaskDraft.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

// One check of the pages, given values it must refuse, and the problem it reports.
struct CheckCase {
    std::function<bool(DraftProblem*)> check;
    const char* message;
    const char* title;
    DraftField field;
    TaskPage page;
};

TaskRecord Task(const QString& name, int items, qint32 method = kMethodCopy,
                qint32 schedule = kScheduleNone) {
    TaskRecord task = NewTaskDraft("", CalendarTime{2026, 12, 1, 7, 10, 7, 0, 0});
    task.name = name;
    task.items.resize(static_cast<size_t>(items), MakePathItem("/a/", kItemFolder, "a"));
    task.backupMode = method;
    task.scheduleMode = schedule;
    task.scheduleDay = 0;
    return task;
}

MethodInput Method(qint32 method, const QString& again, const QString& include,
                   const QString& exclude = {}) {
    return MethodInput{method, {}, 9, include, exclude, "pw", again};
}

ScheduleInput Schedule(qint32 mode, bool monday, int day) {
    return ScheduleInput{mode, {monday}, day, 0, 0, {}, {}};
}

int AddTwice(const QString& path, DraftProblem* problem) {
    TaskRecord task;
    AddPathSource(task, kItemFolder, path, "Docs", problem);
    return AddPathSource(task, kItemFolder, path, "Docs", problem);
}

class DraftCheckTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(DraftCheckTest, ReportsTheMessageTitleAndField) {
    const CheckCase& c = GetParam();
    DraftProblem problem;
    ASSERT_FALSE(c.check(&problem));
    EXPECT_EQ(problem.message, c.message);
    EXPECT_EQ(problem.title, c.title);
    EXPECT_EQ(problem.field, c.field);
    EXPECT_EQ(problem.page, c.page);
}

const char kPasswords[] = "Password strings are not identical, please type them again";
using F = DraftField;

INSTANTIATE_TEST_SUITE_P(
    EveryMessage, DraftCheckTest,
    ::testing::Values(
        CheckCase{[](auto* p) { return CheckSourcePage(Task("", 1), p); },
                  "Task name cannot be empty", "", F::kTaskName, kPageSource},
        CheckCase{[](auto* p) { return CheckSourcePage(Task("T", 0), p); },
                  "You must add at least one item", "", F::kSourceTree, kPageSource},
        CheckCase{[](auto* p) {
                      return CheckDestinationPage({"  ", "", "", "", false}, p);
                  },
                  "You must add destination path", "", F::kDestination, kPageDestination},
        CheckCase{[](auto* p) {
                      return CheckDestinationPage({"ftps://h/x", "", "", "", false, 0, "AB:CD"}, p);
                  },
                  "The certificate fingerprint must be a SHA-256 fingerprint (64 hex digits)", "",
                  F::kCertificatePin, kPageDestination},
        CheckCase{[](auto* p) { return CheckMethodPage(Method(kMethodZip, "px", ""), p); },
                  kPasswords, "Warning", F::kPassword, kPageMethod},
        CheckCase{[](auto* p) { return CheckMethodPage(Method(kMethodZip, "pw", "(x"), p); },
                  "Include files filter seem to be not correct", "Warning", F::kIncludeFilter,
                  kPageMethod},
        CheckCase{
            [](auto* p) { return CheckMethodPage(Method(kMethodZip, "pw", "*.a;*.b", ")x("), p); },
            "Exclude files filter seem to be not correct", "Warning", F::kExcludeFilter,
            kPageMethod},
        CheckCase{[](auto* p) { return CheckSchedulePage(Schedule(kScheduleWeekly, false, 3), p); },
                  "You must select at lease one day", "Warning", F::kWeekDays, kPageSchedule},
        CheckCase{[](auto* p) { return CheckSchedulePage(Schedule(kScheduleMonthly, true, 0), p); },
                  "Day number is not valid", "Warning", F::kMonthDay, kPageSchedule},
        CheckCase{[](auto* p) { return CheckTaskSettings(Task("", 1), "", p); },
                  "Task name cannot be empty", "Warning", F::kTaskName, kPageSource},
        CheckCase{[](auto* p) { return CheckTaskSettings(Task("T", 1, kMethodZip), "x", p); },
                  kPasswords, "Warning", F::kPassword, kPageMethod},
        CheckCase{[](auto* p) {
                      return CheckTaskSettings(Task("T", 1, kMethodCopy, kScheduleMonthly), "", p);
                  },
                  "Day number for sheduling is not valid", "Warning", F::kMonthDay, kPageSchedule},
        CheckCase{[](auto* p) { return AddTwice("/d/Docs/", p) >= 0; },
                  "This item was allready added.", "Information", F::kSourceTree, kPageSource},
        CheckCase{[](auto* p) {
                      TaskRecord task;
                      return AddFileSystemSource(task, "/nonexistent/x", p) >= 0;
                  },
                  "Cannot find /nonexistent/x", "", F::kSourceTree, kPageSource}));

// Items named alike are numbered per kind; a folder and a file count apart.
TEST(SourceItems, NamesInArchiveAreNumberedPerKindAndRemovalKeepsOrder) {
    const test::TempDir dir;
    dir.Write("a/Docs/x", "x");
    dir.Write("b/Docs", "file named like the folder");
    TaskRecord task;
    const struct {
        qint32 kind;
        QString path, base, name;
    } adds[] = {{kItemFolder, "/1/Docs/", "Docs", "Docs"},
                {kItemFolder, "/2/Docs/", "Docs", "Docs~1"},
                {kItemFolder, "/3/Docs/", "Docs", "Docs~2"},
                {kItemFile, "/1/report.doc", "report.doc", "report.doc"},
                {kItemFile, "/2/report.doc", "report.doc", "report~1.doc"},
                {kItemFile, "/3/report.txt", "report.txt", "report.txt"}};
    for (const auto& add : adds) {
        ASSERT_GE(AddPathSource(task, add.kind, add.path, add.base, nullptr), 0);
        EXPECT_EQ(task.items.back().nameInArchive, add.name);
    }
    EXPECT_EQ(task.name, "Docs");
    ASSERT_EQ(AddFileSystemSource(task, dir.File("a/Docs"), nullptr), 6);
    ASSERT_EQ(AddFileSystemSource(task, dir.File("b/Docs"), nullptr), 7);
    EXPECT_EQ(task.items[6].nameInArchive, "Docs~3");
    EXPECT_EQ(task.items[7].nameInArchive, "Docs");
    EXPECT_EQ(FindPathSource(task, dir.File("a/Docs")), 6);
    EXPECT_TRUE(RemoveSource(task, 0));
    EXPECT_EQ(task.items[0].nameInArchive, "Docs~1");
    EXPECT_EQ(task.items[6].nameInArchive, "Docs");
}

TEST(TaskDraft, PagesStoreNormalisedValues) {
    TaskRecord task = Task("My #1 docs", 1);
    StoreDestinationPage(task, {"host/folder", QString(30, 'u'), QString(30, 'p'), "x", false});
    EXPECT_EQ(task.destination.path, QDir::homePath() + "/host/folder/");
    EXPECT_EQ(task.destination.userName + task.destination.password,
              QString(25, 'u') + QString(25, 'p'));
    StoreDestinationPage(task, {" FTP://x ", "", "", "2121", false});
    EXPECT_EQ(task.destination.path, "FTP://x");
    EXPECT_EQ(task.destination.type, kDestFtp);
    // Every remote scheme is a remote destination; only FTPS keeps a certificate pin.
    const QString pin(64, 'a');
    for (const QString scheme : {"ftps", "sftp", "s3"}) {
        StoreDestinationPage(task, {scheme + "://host/x", "", "", "", false, 0, " " + pin});
        EXPECT_EQ(task.destination.path, scheme + "://host/x");
        EXPECT_EQ(task.destination.type, kDestFtp);
        EXPECT_EQ(task.destination.certificatePin, scheme == "ftps" ? pin : QString());
    }
    EXPECT_EQ(ProposedArchiveName("", task.name), "My1docs.zip");
    StoreMethodPage(task, {kMethodZip, "a.zip", 12, " All files (*.*) ", "Not used", "", ""});
    EXPECT_EQ(task.compressionLevel, 9);
    EXPECT_TRUE(task.includeFilter.isEmpty() && task.excludeFilter.isEmpty());
    EXPECT_EQ(task.scheduleStart.minute, 5);  // the draft's 10:07 rounded down
    EXPECT_TRUE(IsWellFormedFilter("Docs (*.doc)"));
    StoreSchedulePage(task, Schedule(kScheduleWeekly, true, 0));
    EXPECT_EQ(task.schedulePattern, 2);  // Monday
    // The sheet takes a week without a day that the wizard refuses.
    StoreSchedulePage(task, Schedule(kScheduleWeekly, false, 0));
    EXPECT_TRUE(CheckTaskSettings(task, task.archivePassword, nullptr));
}

}  // namespace
}  // namespace corvane
