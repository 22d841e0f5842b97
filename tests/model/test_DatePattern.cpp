#include "model/DatePattern.h"
#include "model/DatePatternSettings.h"

#include <gtest/gtest.h>

#include "support/Times.h"

namespace corvane {
namespace {

using test::MakeTime;

// 7 March 2005, 09:05.
const CalendarTime kMarch7 = MakeTime(2005, 3, 7, 9, 5);

// --- Expansion: of a text, of a task's destination folder and of its archive name ---

enum Use { kText, kFolder, kArchive };

TEST(DatePattern, ReplacesEveryTokenAndEndsAFolderInASeparator) {
    const CalendarTime at1430 = MakeTime(2005, 3, 7, 14, 30);
    const struct {
        Use use;
        const char* text;
        const CalendarTime* moment;  // nullptr: no moment, nothing replaced
        const char* expected;
    } cases[] = {
        {kText, "#YY_#MM_#DD", &kMarch7, "2005_03_07"},
        {kText, "#HH:#MIN", &kMarch7, "09:05"},
        {kText, "#MM#MM", &kMarch7, "0303"},
        {kText, "#DD #DD #DD", &kMarch7, "07 07 07"},
        {kText, "#dd #mm #yy #hh #min #Min", &kMarch7, "#dd #mm #yy #hh #min #Min"},
        {kText, "#MINUTES", &kMarch7, "05UTES"},
        {kText, "#YYYY", &kMarch7, "2005YY"},
        {kText, "##DD#", &kMarch7, "#07#"},
        {kText, "# DD #D #M #Y #H #MI", &kMarch7, "# DD #D #M #Y #H #MI"},
        // "#MM" is replaced before "#MIN", so "#MMIN" is a month followed by "IN".
        {kText, "#MMIN", &kMarch7, "03IN"},
        {kText, "", &kMarch7, ""},
        {kText, "caf\xc3\xa9 #DD", &kMarch7, "caf\xc3\xa9 07"},
        {kText, "/b/#YY_#MM_#DD", nullptr, "/b/#YY_#MM_#DD"},
        {kFolder, "/backup/#YY_#MM_#DD", &kMarch7, "/backup/2005_03_07/"},
        {kFolder, "/backup/#YY_#MM_#DD/", &kMarch7, "/backup/2005_03_07/"},
        {kFolder, "/", &kMarch7, "/"},
        {kFolder, "", &kMarch7, ""},
        {kFolder, "backups/#YY/#MM", &kMarch7, "backups/2005/03/"},
        // "\" is an ordinary file name character on Linux.
        {kFolder, "D:\\Backup\\#YY_#MM_#DD", &kMarch7, "D:\\Backup\\2005_03_07/"},
        {kFolder, "D:\\Backup\\", &kMarch7, "D:\\Backup\\/"},
        {kArchive, "Docs -#HHh.zip", &at1430, "Docs -14h.zip"},
        {kArchive, "", &kMarch7, ""},
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        TaskRecord task;
        task.destination.path = "/backup";
        task.archiveName = text;
        if (c.use == kFolder) {
            task.destination.path = text;
        }
        const QString result = c.use == kText     ? ExpandDatePattern(text, c.moment)
                               : c.use == kFolder ? ResolvedDestFolder(task, *c.moment)
                                                  : ResolvedArchiveName(task, *c.moment);
        EXPECT_EQ(result, QString::fromUtf8(c.expected)) << c.text;
    }
    // The year has as many digits as it needs; the others at least two.
    const CalendarTime early = MakeTime(987, 12, 31, 23, 59);
    const CalendarTime late = MakeTime(30827, 1, 1, 0, 0);
    EXPECT_EQ(ExpandDatePattern("#YY-#MM-#DD #HH:#MIN", &early), "987-12-31 23:59");
    EXPECT_EQ(ExpandDatePattern("#YY #HH #MIN", &late), "30827 00 00");
}

// --- The settings of the dialog ---

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

void PrintTo(const AccuracyCase& param, std::ostream* out) {
    *out << param.archiveName << ", accuracy " << param.accuracy;
}

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

INSTANTIATE_TEST_SUITE_P(
    Accuracies, DatePatternAccuracyTest,
    testing::Values(
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

TEST(DatePatternSettings, RefillsAtTheGivenTimeAndRefusesChoicesOutsideTheLists) {
    DatePatternSettings settings("Docs.zip", "Backup", kMarch7);
    ASSERT_TRUE(settings.SelectAccuracy(kAccuracyMinute, kMarch7));
    ASSERT_TRUE(settings.SelectSample(1));
    ASSERT_TRUE(settings.SelectAccuracy(kAccuracyMinute, MakeTime(987, 1, 2, 3, 4)));
    EXPECT_EQ(settings.SelectedSample(), 0);  // the first sample is selected again
    // Samples show four-digit years.
    EXPECT_EQ(settings.Samples().front().text, QStringLiteral("Docs 0987_01_02-03_04.zip"));

    ASSERT_TRUE(settings.SelectAccuracy(kAccuracyDay, kMarch7));
    for (const int accuracy : {5, -1}) {
        EXPECT_FALSE(settings.SelectAccuracy(accuracy, kMarch7));
    }
    for (const int sample : {2, -1}) {
        EXPECT_FALSE(settings.SelectSample(sample));
    }
    EXPECT_EQ(settings.SelectedAccuracy(), kAccuracyDay);
    EXPECT_EQ(settings.SelectedSample(), 0);
    EXPECT_EQ(settings.ResultArchiveName(), QStringLiteral("Docs #YY_#MM_#DD.zip"));
}

}  // namespace
}  // namespace corvane
