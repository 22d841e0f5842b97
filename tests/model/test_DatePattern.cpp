#include "model/DatePattern.h"
#include "model/DatePatternSettings.h"

#include <gtest/gtest.h>

#include "support/Times.h"

namespace corvane {
namespace {

using test::MakeTime;

// 7 March 2005, 09:05.
const CalendarTime kMarch7 = MakeTime(2005, 3, 7, 9, 5);

TEST(DatePattern, ReplacesEveryTokenAndEndsAFolderInASeparator) {
    // "#MM" is replaced before "#MIN", so "#MMIN" is a month followed by "IN"; "\" is an
    // ordinary file name character on Linux.
    // clang-format off
    const struct {
        bool folder;  // the text is a task's destination folder
        const char* text;
        const char* expected;
    } cases[] = {
        {false, "#YY_#MM_#DD", "2005_03_07"}, {false, "#HH:#MIN", "09:05"},
        {false, "#DD #DD #DD", "07 07 07"}, {false, "#MINUTES", "05UTES"},
        {false, "#dd #mm #yy #hh #min #Min", "#dd #mm #yy #hh #min #Min"},
        {false, "#YYYY", "2005YY"}, {false, "##DD#", "#07#"}, {false, "#MMIN", "03IN"},
        {false, "# DD #D #M #Y #H #MI", "# DD #D #M #Y #H #MI"}, {false, "", ""},
        {false, "caf\xc3\xa9 #DD", "caf\xc3\xa9 07"}, {true, "/", "/"}, {true, "", ""},
        {true, "/backup/#YY_#MM_#DD", "/backup/2005_03_07/"},
        {true, "/backup/#YY_#MM_#DD/", "/backup/2005_03_07/"},
        {true, "backups/#YY/#MM", "backups/2005/03/"},
        {true, "D:\\Backup\\#YY_#MM_#DD", "D:\\Backup\\2005_03_07/"},
    };
    // clang-format on
    for (const auto& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        TaskRecord task;
        task.destination.path = text;
        const QString result =
            c.folder ? ResolvedDestFolder(task, kMarch7) : ExpandDatePattern(text, &kMarch7);
        EXPECT_EQ(result, QString::fromUtf8(c.expected)) << c.text;
    }
    // The year has as many digits as it needs; the others at least two.
    const CalendarTime early = MakeTime(987, 12, 31, 23, 59);
    const CalendarTime late = MakeTime(30827, 1, 1, 0, 0);
    EXPECT_EQ(ExpandDatePattern("#YY-#MM-#DD #HH:#MIN", &early), "987-12-31 23:59");
    EXPECT_EQ(ExpandDatePattern("#YY #HH #MIN", &late), "30827 00 00");
}

// "None" is selected first and gives base and extension.
TEST(DatePatternSettings, SplitsBaseAndExtension) {
    // clang-format off
    const char* const cases[][3] = {
        {"Docs #YY_#MM.zip", "Docs", ".zip"},     {"#YY_#MM.zip", "Backup", ".zip"},
        {"   #YY.zip", "Backup", ".zip"},         {"Docs.zip", "Docs", ".zip"},
        {"Docs", "Docs", ""},                     {"", "Backup", ""},
        {".zip", "Backup", ".zip"},               {"My.Docs.zip", "My.Docs", ".zip"},
        {"Docs \t #DD-#MM.tar.gz", "Docs", ".gz"}, {"/home/u/old/Docs#YY.zip", "Docs", ".zip"},
        {"dir.d/Docs", "Docs", ""},               {"Mail #MM #DD", "Mail", ""},
        {"Caf\xc3\xa9 2005.zip", "Caf\xc3\xa9 2005", ".zip"},
    };
    // clang-format on
    for (const auto& [archiveName, base, extension] : cases) {
        const DatePatternSettings settings(QString::fromUtf8(archiveName), "Backup", kMarch7);
        EXPECT_EQ(settings.Base(), QString::fromUtf8(base)) << archiveName;
        EXPECT_EQ(settings.Extension(), QString::fromUtf8(extension)) << archiveName;
        EXPECT_EQ(settings.ResultArchiveName(), QString::fromUtf8(base) + extension);
    }
}

struct AccuracyCase {
    const char* archiveName;
    int accuracy;
    const char* withBase;     // sample 0
    const char* withoutBase;  // sample 1; nullptr: "None" has one sample only
    const char* resultWithBase;
    const char* resultWithoutBase;
};

class DatePatternAccuracyTest : public testing::TestWithParam<AccuracyCase> {};

TEST_P(DatePatternAccuracyTest, SamplesAndResultFollowTheChoice) {
    const AccuracyCase& param = GetParam();
    DatePatternSettings settings(param.archiveName, "Backup", kMarch7);
    ASSERT_TRUE(settings.SelectAccuracy(kAccuracyDay, kMarch7));  // another choice first
    ASSERT_TRUE(settings.SelectAccuracy(param.accuracy, kMarch7));
    EXPECT_EQ(settings.SelectedAccuracy(), param.accuracy);
    std::vector<DatePatternSettings::Entry> expected{{param.withBase, 0}};
    if (param.withoutBase != nullptr) {
        expected.push_back({param.withoutBase, 1});
    }
    EXPECT_EQ(settings.Samples(), expected);
    EXPECT_EQ(settings.SelectedSample(), 0);
    EXPECT_EQ(settings.ResultArchiveName(), QString::fromUtf8(param.resultWithBase));
    EXPECT_EQ(settings.SelectSample(1), param.withoutBase != nullptr);
    if (param.withoutBase != nullptr) {
        EXPECT_EQ(settings.ResultArchiveName(), QString::fromUtf8(param.resultWithoutBase));
        // The name it gives expands to what the sample showed.
        TaskRecord task;
        task.archiveName = settings.ResultArchiveName();
        EXPECT_EQ(ResolvedArchiveName(task, kMarch7), QString::fromUtf8(param.withoutBase));
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Accuracies, DatePatternAccuracyTest, testing::Values(
    AccuracyCase{"Docs #YY_#MM.zip", kAccuracyNone, "Docs.zip", nullptr, "Docs.zip", nullptr},
    AccuracyCase{"Docs #YY_#MM.zip", 1, "Docs 2005_03_07-09_05.zip", "2005_03_07-09_05.zip",
                 "Docs #YY_#MM_#DD-#HH_#MIN.zip", "#YY_#MM_#DD-#HH_#MIN.zip"},
    AccuracyCase{"Docs #YY_#MM.zip", 2, "Docs 2005_03_07-09h.zip", "2005_03_07-09h.zip",
                 "Docs #YY_#MM_#DD-#HHh.zip", "#YY_#MM_#DD-#HHh.zip"},
    AccuracyCase{"Docs #YY_#MM.zip", 3, "Docs 2005_03_07.zip", "2005_03_07.zip",
                 "Docs #YY_#MM_#DD.zip", "#YY_#MM_#DD.zip"},
    AccuracyCase{"Docs #YY_#MM.zip", 4, "Docs 2005_03.zip", "2005_03.zip", "Docs #YY_#MM.zip",
                 "#YY_#MM.zip"},
    // The default base when nothing precedes the date.
    AccuracyCase{"#YY_#MM.zip", 4, "Backup 2005_03.zip", "2005_03.zip", "Backup #YY_#MM.zip",
                 "#YY_#MM.zip"}));
// clang-format on

TEST(DatePatternSettings, RefillsAtTheGivenTimeAndRefusesChoicesOutsideTheLists) {
    DatePatternSettings settings("Docs.zip", "Backup", kMarch7);
    ASSERT_TRUE(settings.SelectAccuracy(kAccuracyMinute, kMarch7));
    ASSERT_TRUE(settings.SelectSample(1));
    ASSERT_TRUE(settings.SelectAccuracy(kAccuracyMinute, MakeTime(987, 1, 2, 3, 4)));
    EXPECT_EQ(settings.SelectedSample(), 0);  // the first sample is selected again
    // Samples show four-digit years.
    EXPECT_EQ(settings.Samples().front().text, QStringLiteral("Docs 0987_01_02-03_04.zip"));

    ASSERT_TRUE(settings.SelectAccuracy(kAccuracyDay, kMarch7));
    EXPECT_FALSE(settings.SelectAccuracy(5, kMarch7) || settings.SelectAccuracy(-1, kMarch7) ||
                 settings.SelectSample(2) || settings.SelectSample(-1));
    EXPECT_EQ(settings.SelectedAccuracy(), kAccuracyDay);
    EXPECT_EQ(settings.SelectedSample(), 0);
    EXPECT_EQ(settings.ResultArchiveName(), QStringLiteral("Docs #YY_#MM_#DD.zip"));
}

}  // namespace
}  // namespace corvane
