// The comparison rules of a restore line and the two restore dialogs as models: the
// restore-data lines with their checks, buttons, caption, sorting and colours, and the
// choice among several dated backups.

#include <QString>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <ostream>
#include <vector>

#include <gtest/gtest.h>

#include "restore/BackupChoiceModel.h"
#include "restore/RestoreDataModel.h"
#include "restore/RestoreStatus.h"
#include "support/TempDir.h"
#include "support/Times.h"

namespace corvane {
namespace {

// Dates and times in this file are shown in the US English locale and UTC so their text
// is known. Set before main(), before anything fixes the locale or the zone.
[[maybe_unused]] const bool g_fixedClock = [] {
    setenv("LC_ALL", "en_US.UTF-8", 1);
    setenv("TZ", "UTC", 1);
    tzset();
    return true;
}();

constexpr qint64 kTen = 1684058400;  // 2023-05-14 10:00:00 UTC
constexpr quint64 kFourGiB = quint64{1} << 32;

RestoreItem MakeFile(const QString& source, const QString& archive,
                     std::optional<qint64> sourceTime, std::optional<qint64> archiveTime,
                     quint64 sourceSize, quint64 archiveSize) {
    RestoreItem item;
    item.sourceName = source;
    item.archiveName = archive;
    item.sourceTime = sourceTime;
    item.archiveTime = archiveTime;
    item.sourceSize = sourceSize;
    item.archiveSize = archiveSize;
    return item;
}

// ---------------------------------------------------------------------------------------
// The status of a line.

struct StatusCase {
    const char* name;
    RestoreItem item;
    RestoreStatus status;
    const char* statusText;
    const char* sourceColumn;
};

void PrintTo(const StatusCase& c, std::ostream* os) {
    *os << c.name;
}

class RestoreStatusTest : public testing::TestWithParam<StatusCase> {};

TEST_P(RestoreStatusTest, RulesApplyInTheirOrder) {
    const StatusCase& c = GetParam();
    EXPECT_EQ(StatusOf(c.item), c.status);
    EXPECT_EQ(StatusText(StatusOf(c.item)), QString::fromUtf8(c.statusText));
    EXPECT_EQ(SourceColumnText(c.item), QString::fromUtf8(c.sourceColumn));
}

const StatusCase kStatusCases[] = {
    {"Identical", MakeFile("/d/a", "z:a", kTen, kTen, 5, 5), RestoreStatus::kIdentical, "identical",
     "/d/a"},
    {"Newer", MakeFile("/d/a", "z:a", kTen + 2, kTen, 5, 5), RestoreStatus::kNewer, "newer",
     "/d/a"},
    {"NewerWithOtherSize", MakeFile("/d/a", "z:a", kTen + 60, kTen, 9, 5), RestoreStatus::kNewer,
     "newer", "/d/a"},
    {"Older", MakeFile("/d/a", "z:a", kTen - 1, kTen, 5, 5), RestoreStatus::kOlder, "older",
     "/d/a"},
    {"SameTimeOtherSize", MakeFile("/d/a", "z:a", kTen, kTen, 6, 5), RestoreStatus::kNone, "",
     "/d/a"},
    // Sizes that agree in their low 32 bits are still different sizes.
    {"SizesDifferAbove4GiB", MakeFile("/d/a", "z:a", kTen, kTen, kFourGiB + 5, 5),
     RestoreStatus::kNone, "", "/d/a"},
    {"IdenticalAbove4GiB", MakeFile("/d/a", "z:a", kTen, kTen, kFourGiB * 3, kFourGiB * 3),
     RestoreStatus::kIdentical, "identical", "/d/a"},
    {"Deleted", MakeFile("", "z:a", std::nullopt, kTen, 0, 5), RestoreStatus::kDeleted, "deleted",
     "file not found"},
    // A gone file whose stored copy is empty still is gone, not identical.
    {"DeletedEmptyFile", MakeFile("", "z:a", std::nullopt, std::nullopt, 0, 0),
     RestoreStatus::kDeleted, "deleted", "file not found"},
    // A stored copy without a time counts as time 0.
    {"StoredTimeMissing", MakeFile("/d/a", "/b/a", kTen, std::nullopt, 5, 0), RestoreStatus::kNewer,
     "newer", "/d/a"},
    {"RegistryKey", MakeFile("HKEY_CURRENT_USER\\Software\\X", "X.reg", kTen, kTen + 8, 1, 2),
     RestoreStatus::kNone, "", "HKEY_CURRENT_USER\\Software\\X"},
    {"OneContact", MakeFile("Contact: Ann Lee", "Ann Lee.vcf", std::nullopt, std::nullopt, 0, 0),
     RestoreStatus::kNone, "", "Contact: Ann Lee"},
    {"AllContacts", MakeFile("Contacts: all", "ann.vcf", std::nullopt, std::nullopt, 0, 0),
     RestoreStatus::kNone, "", "Contacts: all"},
    // Only the prefixes at the start make a registry or contact line.
    {"PathHoldingKeyWord", MakeFile("/d/HKEY_x", "z:HKEY_x", kTen + 2, kTen, 5, 5),
     RestoreStatus::kNewer, "newer", "/d/HKEY_x"},
    {"LowerCaseKeyWord", MakeFile("hkey_x", "z:hkey_x", kTen, kTen, 5, 5),
     RestoreStatus::kIdentical, "identical", "hkey_x"},
};

INSTANTIATE_TEST_SUITE_P(Lines, RestoreStatusTest, testing::ValuesIn(kStatusCases),
                         [](const testing::TestParamInfo<StatusCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(RestoreTimeColumnTest, ShowsDateAndTimeWithoutSecondsOrNothing) {
    EXPECT_EQ(TimeColumnText(std::nullopt), QString());
    EXPECT_EQ(TimeColumnText(kTen + 7), TimeColumnText(kTen));
    EXPECT_NE(TimeColumnText(kTen + 60), TimeColumnText(kTen));
    EXPECT_EQ(TimeColumnText(kTen + 7), "5/14/23, 10:00 AM");
    EXPECT_EQ(TimeColumnText(kTen + 12 * 3600 + 59), "5/14/23, 10:00 PM");
}

// ---------------------------------------------------------------------------------------
// The restore-data dialog.

// One line of every kind, in this order.
enum Sample : int {
    kIdenticalLine,
    kNewerLine,
    kOlderLine,
    kDeletedLine,
    kRegistryLine,
    kContactLine,
    kSizeOnlyLine,
    kSampleCount
};

std::vector<RestoreItem> SampleList() {
    return {
        MakeFile("/home/u/Docs/b.txt", "data.zip:Docs/b.txt", kTen, kTen, 4, 4),
        MakeFile("/home/u/Docs/A.txt", "data.zip:Docs/A.txt", kTen + 120, kTen, 4, 4),
        MakeFile("/home/u/Docs/c.txt", "data.zip:Docs/c.txt", kTen - 120, kTen, 4, 4),
        MakeFile("", "data.zip:Docs/d.txt", std::nullopt, kTen, 0, 4),
        // Times in a registry record are never shown.
        MakeFile("HKEY_CURRENT_USER\\Software\\Ed", "Ed.reg", kTen, kTen, 0, 0),
        MakeFile("Contact: Ann Lee", "Ann Lee.vcf", std::nullopt, std::nullopt, 0, 0),
        MakeFile("/home/u/Docs/e.txt", "data.zip:Docs/e.txt", kTen, kTen, 5, 4),
    };
}

QStringList Column(const RestoreDataModel& model, int column) {
    QStringList texts;
    for (int row = 0; row < model.LineCount(); ++row) {
        texts << model.Text(row, column);
    }
    return texts;
}

TEST(RestoreDataModelTest, ShowsOneCheckedLinePerRecordInListOrder) {
    std::vector<RestoreItem> list = SampleList();
    list[kOlderLine].checked = false;  // the dialog starts every line checked anyway
    const RestoreDataModel model(list);
    ASSERT_EQ(model.LineCount(), kSampleCount);
    EXPECT_EQ(Column(model, RestoreDataModel::kCheckColumn),
              QStringList({"x", "x", "x", "x", "x", "x", "x"}));
    EXPECT_EQ(Column(model, RestoreDataModel::kSourceColumn),
              QStringList({"/home/u/Docs/b.txt", "/home/u/Docs/A.txt", "/home/u/Docs/c.txt",
                           "file not found", "HKEY_CURRENT_USER\\Software\\Ed", "Contact: Ann Lee",
                           "/home/u/Docs/e.txt"}));
    EXPECT_EQ(Column(model, RestoreDataModel::kArchiveColumn),
              QStringList({"data.zip:Docs/b.txt", "data.zip:Docs/A.txt", "data.zip:Docs/c.txt",
                           "data.zip:Docs/d.txt", "Ed.reg", "Ann Lee.vcf", "data.zip:Docs/e.txt"}));
    EXPECT_EQ(Column(model, RestoreDataModel::kStatusColumn),
              QStringList({"identical", "newer", "older", "deleted", "", "", ""}));

    const QString ten = TimeColumnText(kTen);
    EXPECT_EQ(Column(model, RestoreDataModel::kSourceTimeColumn),
              QStringList(
                  {ten, TimeColumnText(kTen + 120), TimeColumnText(kTen - 120), "", "", "", ten}));
    EXPECT_EQ(Column(model, RestoreDataModel::kArchiveTimeColumn),
              QStringList({ten, ten, ten, ten, "", "", ten}));
    for (int row = 0; row < kSampleCount; ++row) {
        EXPECT_EQ(model.ItemIndex(row), row);
    }
    EXPECT_EQ(model.Caption(), "7 items checked");
}

TEST(RestoreDataModelTest, HeadersAndWidths) {
    const QStringList titles = {"",          "Source file name",  "Archive file name",
                                "File time", "Archive file time", "Status"};
    const int widths[] = {30, 200, 200, 100, 100, 50};
    for (int column = 0; column < RestoreDataModel::kColumnCount; ++column) {
        EXPECT_EQ(RestoreDataModel::ColumnTitle(column), titles[column]);
        EXPECT_EQ(RestoreDataModel::ColumnWidth(column), widths[column]);
    }
    EXPECT_EQ(RestoreDataModel::Title(), "Restore data");
}

TEST(RestoreDataModelTest, OnlyTheCheckColumnTogglesAndTheCaptionFollows) {
    RestoreDataModel model(SampleList());
    EXPECT_FALSE(model.Click(kNewerLine, RestoreDataModel::kSourceColumn));
    EXPECT_FALSE(model.Click(kNewerLine, RestoreDataModel::kStatusColumn));
    EXPECT_TRUE(model.IsChecked(kNewerLine));

    EXPECT_TRUE(model.Click(kNewerLine, RestoreDataModel::kCheckColumn));
    EXPECT_FALSE(model.IsChecked(kNewerLine));
    EXPECT_EQ(model.Text(kNewerLine, RestoreDataModel::kCheckColumn), "");
    EXPECT_EQ(model.Caption(), "6 items checked");

    EXPECT_TRUE(model.Click(kNewerLine, RestoreDataModel::kCheckColumn));
    EXPECT_TRUE(model.IsChecked(kNewerLine));
    EXPECT_EQ(model.Text(kNewerLine, RestoreDataModel::kCheckColumn), "x");
    EXPECT_EQ(model.Caption(), "7 items checked");

    // Clicks outside the lines change nothing.
    EXPECT_FALSE(model.Click(-1, RestoreDataModel::kCheckColumn));
    EXPECT_FALSE(model.Click(kSampleCount, RestoreDataModel::kCheckColumn));
    model.Toggle(kSampleCount);
    EXPECT_EQ(model.CheckedCount(), kSampleCount);
    EXPECT_EQ(model.Text(kSampleCount, RestoreDataModel::kSourceColumn), "");
    EXPECT_EQ(model.ItemIndex(kSampleCount), -1);
}

TEST(RestoreDataModelTest, ButtonsCheckAndUncheckByStatus) {
    RestoreDataModel model(SampleList());
    model.UncheckIdentical();
    EXPECT_EQ(Column(model, RestoreDataModel::kCheckColumn),
              QStringList({"", "x", "x", "x", "x", "x", "x"}));
    EXPECT_EQ(model.Caption(), "6 items checked");

    model.UncheckNewer();
    EXPECT_EQ(Column(model, RestoreDataModel::kCheckColumn),
              QStringList({"", "", "x", "x", "x", "x", "x"}));
    EXPECT_EQ(model.Caption(), "5 items checked");

    model.UncheckAll();
    EXPECT_EQ(model.CheckedCount(), 0);
    EXPECT_EQ(model.Caption(), "No items checked");

    model.Toggle(kContactLine);
    EXPECT_EQ(model.Caption(), "1 items checked");

    model.CheckAll();
    EXPECT_EQ(Column(model, RestoreDataModel::kCheckColumn),
              QStringList({"x", "x", "x", "x", "x", "x", "x"}));
}

TEST(RestoreDataModelTest, ColoursFollowStatusAndKind) {
    const RestoreDataModel model(SampleList());
    const RestoreDataModel::Rgb red{220, 0, 0};
    const RestoreDataModel::Rgb blue{0, 0, 200};
    const RestoreDataModel::Rgb green{0, 200, 0};
    const RestoreDataModel::Rgb expected[kSampleCount] = {green, red,  green, red,
                                                          blue,  blue, green};
    for (int row = 0; row < kSampleCount; ++row) {
        const RestoreDataModel::Rgb colour = model.LineColour(row);
        EXPECT_EQ(colour, expected[row])
            << "row " << row << ": " << colour.red << "," << colour.green << "," << colour.blue;
    }
    EXPECT_EQ(RestoreDataModel::SelectedTextColour(), (RestoreDataModel::Rgb{200, 200, 200}));
}

TEST(RestoreDataModelTest, SortingByStatusPutsLinesWithoutStatusLast) {
    RestoreDataModel model(SampleList());
    model.SortBy(RestoreDataModel::kStatusColumn);
    EXPECT_EQ(Column(model, RestoreDataModel::kStatusColumn),
              QStringList({"deleted", "identical", "newer", "older", "", "", ""}));
    // Lines with equal texts keep the order they had.
    EXPECT_EQ(model.ItemIndex(4), kRegistryLine);
    EXPECT_EQ(model.ItemIndex(5), kContactLine);
    EXPECT_EQ(model.ItemIndex(6), kSizeOnlyLine);
    // The colour travels with its line.
    EXPECT_EQ(model.LineColour(0), (RestoreDataModel::Rgb{220, 0, 0}));
    EXPECT_EQ(model.LineColour(4), (RestoreDataModel::Rgb{0, 0, 200}));
}

TEST(RestoreDataModelTest, SortingComparesTextsWithoutCase) {
    RestoreDataModel model(SampleList());
    model.SortBy(RestoreDataModel::kSourceColumn);
    EXPECT_EQ(Column(model, RestoreDataModel::kSourceColumn),
              QStringList({"/home/u/Docs/A.txt", "/home/u/Docs/b.txt", "/home/u/Docs/c.txt",
                           "/home/u/Docs/e.txt", "Contact: Ann Lee", "file not found",
                           "HKEY_CURRENT_USER\\Software\\Ed"}));

    // Sorting by the time of the live file leaves the lines without one at the end.
    model.SortBy(RestoreDataModel::kSourceTimeColumn);
    const QStringList times = Column(model, RestoreDataModel::kSourceTimeColumn);
    EXPECT_EQ(times.mid(4), QStringList({"", "", ""}));
    EXPECT_FALSE(times[3].isEmpty());

    // The check column: checked lines first.
    model.SortBy(RestoreDataModel::kArchiveColumn);
    model.Toggle(0);
    model.Toggle(2);
    model.SortBy(RestoreDataModel::kCheckColumn);
    EXPECT_EQ(Column(model, RestoreDataModel::kCheckColumn),
              QStringList({"x", "x", "x", "x", "x", "", ""}));
}

// Long enough that a sort which is not stable would mix the lines of one status.
TEST(RestoreDataModelTest, LinesWithEqualTextsKeepTheirOrder) {
    std::vector<RestoreItem> list;
    for (int i = 0; i < 64; ++i) {
        const qint64 sourceTime = i % 3 == 0 ? kTen + 2 : kTen;
        list.push_back(MakeFile(QString("/d/%1").arg(i), QString("z:%1").arg(i), sourceTime, kTen,
                                1, i % 2 == 0 ? 1 : 2));
    }
    RestoreDataModel model(list);
    model.SortBy(RestoreDataModel::kStatusColumn);
    QString previousStatus;
    int previousIndex = -1;
    for (int row = 0; row < model.LineCount(); ++row) {
        const QString status = model.Text(row, RestoreDataModel::kStatusColumn);
        if (status == previousStatus) {
            EXPECT_GT(model.ItemIndex(row), previousIndex) << "row " << row;
        }
        previousStatus = status;
        previousIndex = model.ItemIndex(row);
    }
    EXPECT_EQ(model.Text(0, RestoreDataModel::kStatusColumn), "identical");
    EXPECT_EQ(model.Text(63, RestoreDataModel::kStatusColumn), "");
}

TEST(RestoreDataModelTest, RestoreCheckedWritesChecksByRememberedIndex) {
    std::vector<RestoreItem> list = SampleList();
    RestoreDataModel model(list);
    model.SortBy(RestoreDataModel::kStatusColumn);
    // Row 2 now shows the newer file, row 3 the older one.
    ASSERT_EQ(model.Text(2, RestoreDataModel::kStatusColumn), "newer");
    ASSERT_EQ(model.Text(3, RestoreDataModel::kStatusColumn), "older");
    model.Click(2, RestoreDataModel::kCheckColumn);
    list[kOlderLine].checked = false;  // the model's check wins over the record's
    model.ApplyChecks(list);
    for (int i = 0; i < kSampleCount; ++i) {
        EXPECT_EQ(list[i].checked, i != kNewerLine) << "record " << i;
    }
}

TEST(RestoreDataModelTest, UncheckIdenticalThenRestoreCheckedKeepsChangedAndDeleted) {
    std::vector<RestoreItem> list = SampleList();
    RestoreDataModel model(list);
    model.UncheckIdentical();
    model.ApplyChecks(list);
    for (int i = 0; i < kSampleCount; ++i) {
        EXPECT_EQ(list[i].checked, i != kIdenticalLine) << "record " << i;
    }
}

TEST(RestoreDataModelTest, EmptyListHasNoLines) {
    std::vector<RestoreItem> list;
    RestoreDataModel model(list);
    EXPECT_EQ(model.LineCount(), 0);
    EXPECT_EQ(model.Caption(), "No items checked");
    model.SortBy(RestoreDataModel::kStatusColumn);
    model.ApplyChecks(list);
    EXPECT_TRUE(list.empty());
}

// ---------------------------------------------------------------------------------------
// "Several backups found".

TEST(BackupChoiceModelTest, OneLinePerHistoryEntry) {
    const CalendarTime first = test::MakeTime(2023, 5, 14, 10, 0, 7);
    const CalendarTime second = test::MakeTime(2023, 5, 15, 21, 30, 59);
    const CalendarTime third = test::MakeTime(2024, 1, 2, 8, 5, 0);
    const std::vector<BackupHistoryEntry> history = {
        {"/backups/14-05", "data.zip", first},
        {"/backups/15-05/", "data 15.zip", second},
        {"/backups/copy-02-01", "", third},
    };
    const BackupChoiceModel model(history);
    ASSERT_EQ(model.LineCount(), 3);
    EXPECT_EQ(model.Text(0, BackupChoiceModel::kFolderColumn), "/backups/14-05/data.zip");
    EXPECT_EQ(model.Text(1, BackupChoiceModel::kFolderColumn), "/backups/15-05/data 15.zip");
    EXPECT_EQ(model.Text(2, BackupChoiceModel::kFolderColumn), "/backups/copy-02-01");

    // Dates and times to the minute.
    EXPECT_EQ(model.Text(0, BackupChoiceModel::kTimeColumn), "5/14/23, 10:00 AM");
    EXPECT_EQ(model.Text(1, BackupChoiceModel::kTimeColumn), "5/15/23, 9:30 PM");
    EXPECT_EQ(model.Text(2, BackupChoiceModel::kTimeColumn), "1/2/24, 8:05 AM");

    EXPECT_EQ(model.Text(3, BackupChoiceModel::kTimeColumn), "");
    EXPECT_EQ(BackupChoiceModel::ColumnTitle(BackupChoiceModel::kTimeColumn),
              "Backup date and time");
    EXPECT_EQ(BackupChoiceModel::ColumnTitle(BackupChoiceModel::kFolderColumn), "Storage folder");
    EXPECT_EQ(BackupChoiceModel::ColumnWidth(BackupChoiceModel::kTimeColumn, 500), 140);
    EXPECT_EQ(BackupChoiceModel::ColumnWidth(BackupChoiceModel::kFolderColumn, 500), 359);
    EXPECT_EQ(BackupChoiceModel::Prompt(),
              "You have used date/time pattern and there are several backups. Please select "
              "item, from which you want to restore.");
}

TEST(BackupChoiceModelTest, OkNeedsASelectedLine) {
    const std::vector<BackupHistoryEntry> history = {
        {"/b/1", "a.zip", test::MakeTime(2023, 5, 14, 10)},
        {"/b/2", "a.zip", test::MakeTime(2023, 5, 15, 10)},
    };
    const BackupChoiceModel model(history);
    int index = -1;
    QString refusal = "stale";
    EXPECT_TRUE(model.Choose(1, index, refusal));
    EXPECT_EQ(index, 1);
    EXPECT_TRUE(refusal.isEmpty());

    for (int row : {-1, 2}) {
        index = -7;
        EXPECT_FALSE(model.Choose(row, index, refusal)) << row;
        EXPECT_EQ(index, -7);
        EXPECT_EQ(refusal, "You must select item from the list");
    }
    EXPECT_EQ(BackupChoiceModel::RefusalTitle(), "Warning");
}

TEST(BackupChoiceModelTest, EmptyHistoryOffersNothingToChoose) {
    const BackupChoiceModel model(std::vector<BackupHistoryEntry>{});
    EXPECT_EQ(model.LineCount(), 0);
    int index = -1;
    QString refusal;
    EXPECT_FALSE(model.Choose(0, index, refusal));
    EXPECT_EQ(refusal, "You must select item from the list");
}

}  // namespace
}  // namespace corvane
