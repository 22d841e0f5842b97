// The jobs as the real tools read them: systemd-analyze checks the calendars and unit
// files; a crontab stand-in keeps the crontab in a file.

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include "scheduler/ScheduleCalendar.h"
#include "scheduler/Scheduler.h"
#include "support/LogCapture.h"
#include "support/RecordingCrontab.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/Tools.h"

namespace corvane {
namespace {

using test::ScopedEnv;

TaskRecord Scheduled(const QString& name, qint32 mode, quint16 pattern, qint32 day,
                     CalendarTime start = {2026, 1, 0, 1, 7, 30}) {
    TaskRecord task;
    task.name = name;
    task.scheduleMode = mode;
    task.schedulePattern = pattern;
    task.scheduleDay = day;
    task.scheduleStart = start;
    return task;
}

struct CalendarCase {
    const char* label;
    TaskRecord task;
    const char* base;  // "now" for systemd-analyze, UTC
    QStringList expected;
};

class CalendarTest : public ::testing::TestWithParam<CalendarCase> {};

// The first elapses over all OnCalendar= values, as systemd computes them.
TEST_P(CalendarTest, NextElapsesAreTheSchedulesDays) {
    const CalendarCase& c = GetParam();
    ScopedEnv utc("TZ", "UTC");
    const QStringList calendars = ScheduleCalendars(c.task, QDate(2026, 12, 7));
    ASSERT_FALSE(calendars.isEmpty());
    const test::ToolResult run =
        test::RunTool(QStringLiteral("systemd-analyze"),
                      QStringList{QStringLiteral("calendar"), QStringLiteral("--iterations=4"),
                                  QStringLiteral("--base-time=") + QLatin1String(c.base)} +
                          calendars);
    ASSERT_EQ(run.exitCode, 0) << run.output.toStdString();
    QStringList elapses;
    static const QRegularExpression line(QStringLiteral("(?:Next elapse|Iter\\. #\\d+): (.*) UTC"));
    for (auto it = line.globalMatch(run.output); it.hasNext();) {
        elapses << it.next().captured(1);
    }
    // By date: the weekday before it would not sort.
    std::sort(elapses.begin(), elapses.end(),
              [](const QString& a, const QString& b) { return a.mid(4) < b.mid(4); });
    EXPECT_EQ(elapses.mid(0, c.expected.size()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, CalendarTest,
    ::testing::Values(
        CalendarCase{"daily",
                     Scheduled("d", kScheduleDaily, 0, 0),
                     "2026-12-07 08:00",
                     {"Tue 2026-12-08 07:30:00", "Wed 2026-12-09 07:30:00"}},
        CalendarCase{
            "weekly_0x22_is_monday_and_friday",
            Scheduled("w", kScheduleWeekly, 0x22, 0),
            "2026-12-07 08:00",
            {"Fri 2026-12-11 07:30:00", "Mon 2026-12-14 07:30:00", "Fri 2026-12-18 07:30:00"}},
        CalendarCase{"monthly_31_only_in_months_with_a_31st",
                     Scheduled("m", kScheduleMonthly, 0xfff, 31),
                     "2027-01-01 00:00",
                     {"Sun 2027-01-31 07:30:00", "Wed 2027-03-31 07:30:00",
                      "Mon 2027-05-31 07:30:00", "Sat 2027-07-31 07:30:00"}},
        CalendarCase{
            "nothing_before_a_begin_date_to_come",
            Scheduled("b", kScheduleWeekly, 0x22, 0, {2027, 2, 0, 25, 7, 30}),
            "2026-12-07 08:00",
            {"Fri 2027-02-26 07:30:00", "Mon 2027-03-01 07:30:00", "Fri 2027-03-05 07:30:00"}},
        CalendarCase{"monthly_begin_after_the_day_waits_a_month",
                     Scheduled("c", kScheduleMonthly, 0x3, 10, {2027, 1, 0, 20, 6, 5}),
                     "2026-12-07 08:00",
                     {"Wed 2027-02-10 06:05:00", "Mon 2028-01-10 06:05:00"}}),
    [](const auto& info) { return std::string(info.param.label); });

// Names whose escaping could merge, and every character ExecStart= and the unit files
// treat specially; the long one goes past the length of a unit name.
class UnitFileTest : public ::testing::Test {
  protected:
    test::TempDir m_dir;
    ScopedEnv m_scheduler{"CORVANE_SCHEDULER", "systemd"};
    ScopedEnv m_units{"CORVANE_SYSTEMD_UNIT_DIR", m_dir.File("units").toUtf8()};
    ScopedEnv m_systemctl{"CORVANE_SYSTEMCTL", "/bin/true"};
};

TEST_F(UnitFileTest, EveryTaskHasItsOwnUnitsThatSystemdAccepts) {
    const QStringList names = {QStringLiteral("a-b"),
                               QStringLiteral("a/b"),
                               QStringLiteral(".a b"),
                               QStringLiteral("x \"q\" $HOME 5%n c\\d é"),
                               QString(200, QLatin1Char('z')) + QLatin1Char('1'),
                               QString(200, QLatin1Char('z')) + QLatin1Char('2')};
    for (const QString& name : names) {
        ASSERT_TRUE(
            ScheduleTask(Scheduled(name, kScheduleWeekly, 0x22, 0), QStringLiteral("/bin/echo")));
    }
    const QStringList timers = QDir(m_dir.File("units")).entryList({QStringLiteral("*.timer")});
    ASSERT_EQ(timers.size(), names.size()) << timers.join(QLatin1Char('\n')).toStdString();
    QStringList listed;
    for (const ScheduledJob& job : ListScheduledJobs()) {
        listed << job.taskName;
        EXPECT_EQ(job.rule, QStringLiteral("weekly on Mon, Fri at 07:30"));
    }
    EXPECT_EQ(QSet<QString>(listed.begin(), listed.end()),
              QSet<QString>(names.begin(), names.end()));
    for (const QString& timer : timers) {
        const test::ToolResult verify = test::RunTool(
            QStringLiteral("systemd-analyze"),
            {QStringLiteral("verify"), QStringLiteral("--man=no"), m_dir.File("units/") + timer});
        EXPECT_EQ(verify.exitCode, 0) << verify.output.toStdString();
        EXPECT_TRUE(verify.output.isEmpty()) << verify.output.toStdString();
    }
    // systemd's own reading of the quoted argument gives the name back.
    const QString service = m_dir.File("units/") + timers.filter(QStringLiteral("x\\x20")).first();
    ScopedEnv debug("SYSTEMD_LOG_LEVEL", "debug");
    const test::ToolResult dump = test::RunTool(
        QStringLiteral("systemd-analyze"), {QStringLiteral("verify"), QStringLiteral("--man=no"),
                                            service.chopped(6) + QStringLiteral(".service")});
    EXPECT_TRUE(dump.output.contains(
        QStringLiteral("Command Line: /bin/echo \"/x \\\"q\\\" \\$\\$HOME 5%n c\\\\d é\"")))
        << dump.output.toStdString();
}

TEST(CrontabTest, JobLinesAreReplacedAndRemovedAndForeignLinesKeptExactly) {
    test::TempDir dir;
    const QByteArray foreign = "# mine\n*/5 * * * * /usr/bin/x 'a  b' %\n\nMAILTO=me\n";
    const QString table = dir.Write("crontab.table", foreign);
    const test::RecordingCrontab crontab(dir.Path());

    ASSERT_TRUE(ScheduleTask(Scheduled("it's 5%", kScheduleDaily, 0, 0), "/opt/c d/corvane"));
    ASSERT_TRUE(ScheduleTask(Scheduled("it's 5%", kScheduleMonthly, 0x5, 31), "/opt/c d/corvane"));
    EXPECT_EQ(test::ReadAll(table), foreign +
                                        "# Corvane: Backup task it's 5% from Corvane\n"
                                        "30 7 31 1,3 * '/opt/c d/corvane' '/it'\\''s 5\\%'\n");
    const std::vector<ScheduledJob> jobs = ListScheduledJobs();
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].taskName, QStringLiteral("it's 5%"));
    EXPECT_EQ(jobs[0].rule, QStringLiteral("monthly on day 31 of Jan, Mar at 07:30"));
    EXPECT_FALSE(jobs[0].nextRun.isEmpty());

    ASSERT_TRUE(UnscheduleTask(Scheduled("it's 5%", kScheduleDaily, 0, 0)));
    EXPECT_EQ(test::ReadAll(table), foreign);
}

// Cron cannot say when a line runs next; the listing works it out as cron reads it.
TEST(CrontabTest, NextRunIsTheFirstMatchingMinuteAfterNow) {
    const QDateTime sunday(QDate(2026, 12, 6), QTime(12, 0));
    const struct {
        const char* fields;
        QDateTime next;
    } cases[] = {
        {"30 7 * * 1,5", QDateTime(QDate(2026, 12, 7), QTime(7, 30))},
        {"0 12 * * *", QDateTime(QDate(2026, 12, 7), QTime(12, 0))},  // not this very minute
        {"5 13 * * *", QDateTime(QDate(2026, 12, 6), QTime(13, 5))},
        {"0 9 31 2,4,5 *", QDateTime(QDate(2027, 5, 31), QTime(9, 0))},  // no Feb or Apr 31
        {"0 9 30 2 *", QDateTime()},                                     // never
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NextCronRun(QString::fromLatin1(c.fields), sunday), c.next) << c.fields;
    }
}

}  // namespace
}  // namespace corvane
