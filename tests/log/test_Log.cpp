// The global functions: formatting, the length limit, registration, and the positions
// handed on to the progress target.

#include <QString>

#include <gtest/gtest.h>

#include "log/Log.h"
#include "log/LogList.h"
#include "log/ProgressModel.h"

namespace corvane {
namespace {

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
    ProgressModel m_progress;
};

TEST_F(LogTest, FormatsLikePrintfAndNeverTakesAnArgumentAsAFormat) {
    Log("  %s: %d of %u, %.2f%%", "Docs", -3, 7u, 42.25);
    Log("  %s", "50% \xC3\xBC %s %n");
    // This test process never calls setlocale(): in the "C" locale a wide character
    // outside ASCII cannot be converted, and vsnprintf fails.
    Log("  wide %ls", L"\u4e2d");
    ASSERT_EQ(m_list.Count(), 3);
    EXPECT_EQ(m_list.Line(0).text, "  Docs: -3 of 7, 42.25%");
    EXPECT_EQ(m_list.Line(0).textColour, kLogBlue);
    EXPECT_EQ(m_list.Line(1).text, QString::fromUtf8("  50% \xC3\xBC %s %n"));
    EXPECT_EQ(m_list.Line(2).text, "  wide %ls");
}

TEST_F(LogTest, LongOutputIsCutAt255CharactersNotBytes) {
    std::string umlauts;
    std::string faces;
    for (int i = 0; i < 300; ++i) {
        umlauts += "\xC3\xBC";
        faces += "\xF0\x9F\x98\x80";
    }
    Log("  %s", std::string(1000, 'x').c_str());
    Log("  %s", umlauts.c_str());
    Log("  %s", faces.c_str());
    ASSERT_EQ(m_list.Count(), 3);
    EXPECT_EQ(m_list.Line(0).text, "  " + QString(253, QLatin1Char('x')));
    EXPECT_EQ(m_list.Line(1).text, "  " + QString(253, QChar(0x00FC)));
    EXPECT_EQ(m_list.Line(2).text, "  " + QString::fromUtf8(faces.c_str()).left(253 * 2));
}

TEST_F(LogTest, NothingHappensWithoutATarget) {
    SetLogTarget(nullptr);
    SetProgressTarget(nullptr);
    Log("  lost");
    ClearLog();
    ShowProgress();
    EXPECT_EQ(m_list.Count(), 0);
    EXPECT_FALSE(m_progress.IsVisible());
}

// Counts the positions that reach the indicator.
class CountingProgress : public ProgressModel {
  public:
    void SetPosition(int position) override {
        ProgressModel::SetPosition(position);
        ++positions;
    }
    int positions = 0;
};

TEST_F(LogTest, OnlyPositionsThatMoveTheIndicatorAreHandedOn) {
    CountingProgress progress;
    SetProgressTarget(&progress);
    ShowProgress();
    SetProgressRange(0, 20000);
    for (int i = 1; i <= 20000; ++i) {
        SetProgressPos(i);
    }
    EXPECT_EQ(progress.positions, 1001);  // one per tenth of a percent, 0.0 % included
    EXPECT_EQ(progress.Position(), 20000);
    EXPECT_EQ(progress.Text(), "100%");

    // A new range starts afresh, and a small range passes every position.
    SetProgressRange(0, 3);
    SetProgressPos(3);
    EXPECT_EQ(progress.positions, 1002);
    EXPECT_EQ(progress.Text(), "100%");
    SetProgressPos(1);
    SetProgressPos(2);
    EXPECT_EQ(progress.positions, 1004);
    EXPECT_EQ(progress.Position(), 2);
    SetProgressTarget(&m_progress);
}

}  // namespace
}  // namespace corvane
