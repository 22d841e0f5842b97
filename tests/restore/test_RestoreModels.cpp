// The comparison rules of a restore line and the two restore dialogs as models: checks,
// buttons, sorting, the records the checks go back to, and the choice among dated
// backups.

#include <QString>
#include <cstdlib>
#include <ctime>
#include <optional>
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
using Time = std::optional<qint64>;

RestoreItem Item(const QString& source, const QString& archive, Time sourceTime, Time archiveTime,
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

struct Case {
    const char* name;
    RestoreItem item;
    const char* statusText;
    const char* sourceColumn;
};

class RestoreStatusTest : public testing::TestWithParam<Case> {};

TEST_P(RestoreStatusTest, RulesApplyInTheirOrder) {
    const Case& c = GetParam();
    EXPECT_EQ(StatusText(StatusOf(c.item)), QString::fromUtf8(c.statusText));
    EXPECT_EQ(SourceColumnText(c.item), QString::fromUtf8(c.sourceColumn));
}

// Identical, newer, older, other size and deleted lines come from real backups in the
// restore list tests; these are the rules only hand-made records reach.
// clang-format off
INSTANTIATE_TEST_SUITE_P(Lines, RestoreStatusTest, testing::Values(
    // A gone file whose stored copy is empty still is gone, not identical.
    Case{"DeletedEmptyFile", Item("", "z:a", std::nullopt, std::nullopt, 0, 0), "deleted",
        "file not found"},
    // A stored copy without a time counts as time 0.
    Case{"StoredTimeMissing", Item("/d/a", "/b/a", kTen, std::nullopt, 5, 0), "newer", "/d/a"},
    Case{"AllContacts", Item("Contacts: all", "ann.vcf", std::nullopt, std::nullopt, 0, 0), "",
        "Contacts: all"},
    // Only the prefixes at the start make a registry or contact line.
    Case{"PathHoldingKeyWord", Item("/d/HKEY_x", "z:HKEY_x", kTen + 2, kTen, 5, 5), "newer",
        "/d/HKEY_x"},
    Case{"LowerCaseKeyWord", Item("hkey_x", "z:hkey_x", kTen, kTen, 5, 5), "identical", "hkey_x"}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });
// clang-format on

// ---------------------------------------------------------------------------------------
// The restore-data dialog.

// One line of every kind, in this order.
enum Sample : int { kIdentical, kNewer, kOlder, kDeleted, kRegistry, kContact, kSizeOnly, kCount };

std::vector<RestoreItem> SampleList() {
    return {
        Item("/home/u/Docs/b.txt", "data.zip:Docs/b.txt", kTen, kTen, 4, 4),
        Item("/home/u/Docs/A.txt", "data.zip:Docs/A.txt", kTen + 120, kTen, 4, 4),
        Item("/home/u/Docs/c.txt", "data.zip:Docs/c.txt", kTen - 120, kTen, 4, 4),
        Item("", "data.zip:Docs/d.txt", std::nullopt, kTen, 0, 4),
        // Times in a registry record are never shown.
        Item("HKEY_CURRENT_USER\\Software\\Ed", "Ed.reg", kTen, kTen, 0, 0),
        Item("Contact: Ann Lee", "Ann Lee.vcf", std::nullopt, std::nullopt, 0, 0),
        Item("/home/u/Docs/e.txt", "data.zip:Docs/e.txt", kTen, kTen, 5, 4),
    };
}

QStringList Column(const RestoreDataModel& model, int column) {
    QStringList texts;
    for (int row = 0; row < model.LineCount(); ++row) {
        texts << model.Text(row, column);
    }
    return texts;
}

TEST(RestoreDataModelTest, ShowsOneCheckedLinePerRecord) {
    std::vector<RestoreItem> list = SampleList();
    list[kOlder].checked = false;  // the dialog starts every line checked anyway
    const RestoreDataModel model(list);
    EXPECT_EQ(Column(model, RestoreDataModel::kCheckColumn), QStringList(kCount, "x"));
    EXPECT_EQ(Column(model, RestoreDataModel::kStatusColumn),
              QStringList({"identical", "newer", "older", "deleted", "", "", ""}));
    EXPECT_EQ(Column(model, RestoreDataModel::kSourceTimeColumn),
              QStringList({"5/14/23, 10:00 AM", "5/14/23, 10:02 AM", "5/14/23, 9:58 AM", "", "", "",
                           "5/14/23, 10:00 AM"}));
    EXPECT_EQ(Column(model, RestoreDataModel::kArchiveTimeColumn)[kRegistry], "");
    EXPECT_EQ(TimeColumnText(kTen + 59), "5/14/23, 10:00 AM");  // seconds never shown
    EXPECT_EQ(model.Caption(), "7 items checked");
}

TEST(RestoreDataModelTest, ClicksAndButtonsChangeChecksAndCaption) {
    RestoreDataModel model(SampleList());
    EXPECT_FALSE(model.Click(kNewer, RestoreDataModel::kSourceColumn));
    EXPECT_TRUE(model.Click(kNewer, RestoreDataModel::kCheckColumn));
    EXPECT_EQ(model.Text(kNewer, RestoreDataModel::kCheckColumn), "");
    EXPECT_EQ(model.Caption(), "6 items checked");
    // Clicks outside the lines change nothing.
    EXPECT_FALSE(model.Click(-1, RestoreDataModel::kCheckColumn));
    EXPECT_FALSE(model.Click(kCount, RestoreDataModel::kCheckColumn));
    model.Toggle(kCount);
    EXPECT_EQ(model.CheckedCount(), kCount - 1);

    model.CheckAll();
    model.UncheckIdentical();
    model.UncheckNewer();
    EXPECT_EQ(Column(model, RestoreDataModel::kCheckColumn),
              QStringList({"", "", "x", "x", "x", "x", "x"}));
    model.UncheckAll();
    EXPECT_EQ(model.Caption(), "No items checked");
    model.Toggle(kContact);
    EXPECT_EQ(model.Caption(), "1 items checked");
}

TEST(RestoreDataModelTest, SortingKeepsEqualLinesInOrderAndLinesWithoutTextLast) {
    RestoreDataModel model(SampleList());
    model.SortBy(RestoreDataModel::kStatusColumn);
    EXPECT_EQ(Column(model, RestoreDataModel::kStatusColumn),
              QStringList({"deleted", "identical", "newer", "older", "", "", ""}));
    EXPECT_EQ(model.ItemIndex(4), kRegistry);
    EXPECT_EQ(model.ItemIndex(6), kSizeOnly);
    // The colour travels with its line: changed red, registry and contacts blue.
    EXPECT_EQ(model.LineColour(0), (RestoreDataModel::Rgb{220, 0, 0}));
    EXPECT_EQ(model.LineColour(1), (RestoreDataModel::Rgb{0, 200, 0}));
    EXPECT_EQ(model.LineColour(4), (RestoreDataModel::Rgb{0, 0, 200}));

    model.SortBy(RestoreDataModel::kSourceColumn);  // without regard to case
    EXPECT_EQ(Column(model, RestoreDataModel::kSourceColumn).mid(3),
              QStringList({"/home/u/Docs/e.txt", "Contact: Ann Lee", "file not found",
                           "HKEY_CURRENT_USER\\Software\\Ed"}));
    model.SortBy(RestoreDataModel::kSourceTimeColumn);
    EXPECT_EQ(Column(model, RestoreDataModel::kSourceTimeColumn).mid(4), QStringList(3, ""));

    // Long enough that a sort which is not stable would mix the lines of one status.
    std::vector<RestoreItem> many;
    for (int i = 0; i < 64; ++i) {
        many.push_back(Item(QString("/d/%1").arg(i), QString("z:%1").arg(i),
                            i % 3 == 0 ? kTen + 2 : kTen, kTen, 1, i % 2 == 0 ? 1 : 2));
    }
    RestoreDataModel large(many);
    large.SortBy(RestoreDataModel::kStatusColumn);
    for (int row = 1; row < large.LineCount(); ++row) {
        const int status = RestoreDataModel::kStatusColumn;
        if (large.Text(row, status) == large.Text(row - 1, status)) {
            EXPECT_GT(large.ItemIndex(row), large.ItemIndex(row - 1)) << "row " << row;
        }
    }
}

TEST(RestoreDataModelTest, ChecksGoBackToTheirRecordsAfterSorting) {
    std::vector<RestoreItem> list = SampleList();
    RestoreDataModel model(list);
    model.SortBy(RestoreDataModel::kStatusColumn);
    ASSERT_EQ(model.Text(2, RestoreDataModel::kStatusColumn), "newer");
    model.Click(2, RestoreDataModel::kCheckColumn);
    list[kOlder].checked = false;  // the model's check wins over the record's
    model.ApplyChecks(list);
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(list[i].checked, i != kNewer) << "record " << i;
    }
    std::vector<RestoreItem> none;
    RestoreDataModel empty(none);
    empty.SortBy(RestoreDataModel::kStatusColumn);
    empty.ApplyChecks(none);
    EXPECT_EQ(empty.Caption(), "No items checked");
}

// ---------------------------------------------------------------------------------------
// "Several backups found".

TEST(BackupChoiceModelTest, ShowsTheHistoryAndNeedsASelectedLine) {
    const BackupChoiceModel model(std::vector<BackupHistoryEntry>{
        {"/backups/14-05", "data.zip", test::MakeTime(2023, 5, 14, 10, 0, 7)},
        {"/backups/15-05/", "data 15.zip", test::MakeTime(2023, 5, 15, 21, 30, 59)},
        {"/backups/copy-02-01", "", test::MakeTime(2024, 1, 2, 8, 5, 0)},
    });
    QStringList lines;
    for (int row = 0; row <= model.LineCount(); ++row) {
        lines << model.Text(row, BackupChoiceModel::kTimeColumn) + " | " +
                     model.Text(row, BackupChoiceModel::kFolderColumn);
    }
    EXPECT_EQ(lines, QStringList({"5/14/23, 10:00 AM | /backups/14-05/data.zip",
                                  "5/15/23, 9:30 PM | /backups/15-05/data 15.zip",
                                  "1/2/24, 8:05 AM | /backups/copy-02-01", " | "}));
    int index = -1;
    QString refusal = "stale";
    EXPECT_TRUE(model.Choose(1, index, refusal));
    EXPECT_EQ(index, 1);
    EXPECT_TRUE(refusal.isEmpty());
    for (int row : {-1, 3}) {
        index = -7;
        EXPECT_FALSE(model.Choose(row, index, refusal)) << row;
        EXPECT_EQ(index, -7);
        EXPECT_EQ(refusal, "You must select item from the list");
    }
}

}  // namespace
}  // namespace corvane
