// The comparison rules of a restore line and the two restore dialogs as models.

#include <QString>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "restore/BackupChoiceModel.h"
#include "restore/RestoreDataModel.h"
#include "restore/RestoreStatus.h"
#include "restore/RestoreTesting.h"

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
using test::Item;
using M = RestoreDataModel;

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
    Case{"DeletedEmptyFile", Item("", "z:a", {}, {}, 0, 0), "deleted", "file not found"},
    // A stored copy without a time counts as time 0.
    Case{"StoredTimeMissing", Item("/d/a", "/b/a", kTen, {}, 5, 0), "newer", "/d/a"},
    Case{"AllContacts", Item("Contacts: all", "ann.vcf", {}, {}, 0, 0), "", "Contacts: all"},
    // Only the prefixes at the start make a registry or contact line.
    Case{"PathHoldingKeyWord", Item("/d/HKEY_x", "z:x", kTen + 2, kTen, 5, 5), "newer", "/d/HKEY_x"},
    Case{"LowerCaseKeyWord", Item("hkey_x", "z:hkey_x", kTen, kTen, 5, 5), "identical", "hkey_x"}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });
// clang-format on

// One line of every kind, in this order.
enum Sample : int { kIdentical, kNewer, kOlder, kDeleted, kRegistry, kContact, kSizeOnly, kCount };

std::vector<RestoreItem> SampleList() {
    return {
        Item("/home/u/Docs/b.txt", "data.zip:Docs/b.txt", kTen, kTen, 4, 4),
        Item("/home/u/Docs/A.txt", "data.zip:Docs/A.txt", kTen + 120, kTen, 4, 4),
        Item("/home/u/Docs/c.txt", "data.zip:Docs/c.txt", kTen - 120, kTen, 4, 4),
        Item("", "data.zip:Docs/d.txt", {}, kTen, 0, 4),
        // Times in a registry record are never shown.
        Item("HKEY_CURRENT_USER\\Software\\Ed", "Ed.reg", kTen, kTen, 0, 0),
        Item("Contact: Ann Lee", "Ann Lee.vcf", {}, {}, 0, 0),
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

TEST(RestoreDataModelTest, ShowsOneCheckedLinePerRecordThatClicksAndButtonsChange) {
    std::vector<RestoreItem> list = SampleList();
    list[kOlder].checked = false;  // the dialog starts every line checked anyway
    RestoreDataModel model(list);
    EXPECT_EQ(Column(model, M::kCheckColumn), QStringList(kCount, "x"));
    EXPECT_EQ(Column(model, M::kStatusColumn),
              QStringList({"identical", "newer", "older", "deleted", "", "", ""}));
    EXPECT_EQ(Column(model, M::kSourceTimeColumn),
              QStringList({"5/14/23, 10:00 AM", "5/14/23, 10:02 AM", "5/14/23, 9:58 AM", "", "", "",
                           "5/14/23, 10:00 AM"}));
    EXPECT_EQ(model.Caption(), "7 items checked");

    EXPECT_FALSE(model.Click(kNewer, M::kSourceColumn));
    EXPECT_TRUE(model.Click(kNewer, M::kCheckColumn));
    EXPECT_EQ(model.Text(kNewer, M::kCheckColumn), "");
    EXPECT_EQ(model.Caption(), "6 items checked");
    // Clicks outside the lines change nothing.
    EXPECT_FALSE(model.Click(-1, M::kCheckColumn));
    EXPECT_FALSE(model.Click(kCount, M::kCheckColumn));
    model.Toggle(kCount);
    EXPECT_EQ(model.CheckedCount(), kCount - 1);

    model.CheckAll();
    model.UncheckIdentical();
    model.UncheckNewer();
    EXPECT_EQ(Column(model, M::kCheckColumn), QStringList({"", "", "x", "x", "x", "x", "x"}));
    model.UncheckAll();
    EXPECT_EQ(model.Caption(), "No items checked");
    model.Toggle(kContact);
    EXPECT_EQ(model.Caption(), "1 items checked");
    std::vector<RestoreItem> none;
    RestoreDataModel empty(none);
    empty.SortBy(M::kStatusColumn);
    empty.ApplyChecks(none);
    EXPECT_EQ(empty.Caption(), "No items checked");
}

TEST(RestoreDataModelTest, SortingKeepsChecksWithTheirRecords) {
    std::vector<RestoreItem> list = SampleList();
    RestoreDataModel model(list);
    model.SortBy(M::kStatusColumn);
    EXPECT_EQ(Column(model, M::kStatusColumn),
              QStringList({"deleted", "identical", "newer", "older", "", "", ""}));
    EXPECT_EQ(model.ItemIndex(4), kRegistry);
    EXPECT_EQ(model.ItemIndex(6), kSizeOnly);
    model.Click(2, M::kCheckColumn);
    list[kOlder].checked = false;  // the model's check wins over the record's
    model.ApplyChecks(list);
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(list[i].checked, i != kNewer) << "record " << i;
    }
}

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
    // A row past the lines is no choice (the refusal's text is the dialog test's).
    int index = -7;
    QString refusal;
    EXPECT_FALSE(model.Choose(3, index, refusal) || index != -7);
}

}  // namespace
}  // namespace corvane
