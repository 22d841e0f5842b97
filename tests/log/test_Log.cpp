// The global functions: formatting, the length limit, registration, and the positions
// handed on to the progress target.

#include <QString>

#include <gtest/gtest.h>

#include "log/Log.h"
#include "log/LogList.h"
#include "log/ProgressModel.h"

namespace corvane {
namespace {

// Counts the positions that reach the indicator.
class CountingProgress : public ProgressModel {
  public:
    void SetPosition(int position) override {
        ProgressModel::SetPosition(position);
        ++positions;
    }
    int positions = 0;
};

class LogTest : public testing::Test {
  protected:
    void SetUp() override {
        SetLogTarget(&m_list);
        SetProgressTarget(&m_progress);
    }
    void TearDown() override {
        SetLogTarget(nullptr);
        SetProgressTarget(nullptr);
    }

    LogList m_list;
    CountingProgress m_progress;
};

// The formatting buffer must not cut at 255 bytes: four-byte characters are cut at 255
// characters, the surrogate pairs whole.
TEST_F(LogTest, FormatsLikePrintfNeverTakesAnArgumentAsAFormatAndCutsOnCharacters) {
    Log("  %s: %d of %u, %.2f%%", "Docs", -3, 7u, 42.25);
    Log("  %s", "50% \xC3\xBC %s %n");
    // This test process never calls setlocale(): in the "C" locale a wide character
    // outside ASCII cannot be converted, and vsnprintf fails.
    Log("  wide %ls", L"\u4e2d");
    const QString face = QString::fromUtf8("\xF0\x9F\x98\x80");
    Log("  %s", face.repeated(300).toUtf8().constData());
    ASSERT_EQ(m_list.Count(), 4);
    EXPECT_EQ(m_list.Line(0).text, "  Docs: -3 of 7, 42.25%");
    EXPECT_EQ(m_list.Line(0).textColour, kLogBlue);
    EXPECT_EQ(m_list.Line(1).text, QString::fromUtf8("  50% \xC3\xBC %s %n"));
    EXPECT_EQ(m_list.Line(2).text, "  wide %ls");
    EXPECT_EQ(m_list.Line(3).text, "  " + face.repeated(253));
}

TEST_F(LogTest, OnlyPositionsThatMoveTheIndicatorAreHandedOn) {
    ShowProgress();
    SetProgressRange(0, 20000);
    for (int i = 1; i <= 20000; ++i) {
        SetProgressPos(i);
    }
    EXPECT_EQ(m_progress.positions, 1001);  // one per tenth of a percent, 0.0 % included
    EXPECT_EQ(m_progress.Position(), 20000);

    // A new range starts afresh, and a small range passes every position.
    SetProgressRange(0, 3);
    SetProgressPos(3);
    SetProgressPos(1);
    SetProgressPos(2);
    EXPECT_EQ(m_progress.positions, 1004);
    EXPECT_EQ(m_progress.Position(), 2);
}

}  // namespace
}  // namespace corvane
