// The progress state: its rules while hidden, its bounds, its text and filled width.

#include <QString>

#include <gtest/gtest.h>

#include "log/ProgressModel.h"

namespace corvane {
namespace {

TEST(ProgressModelTest, RangeAndPositionAreIgnoredWhileHidden) {
    ProgressModel model;
    model.SetRange(10, 20);
    model.SetPosition(50);
    EXPECT_EQ(model.Lower(), 0);
    EXPECT_EQ(model.Upper(), 100);
    EXPECT_EQ(model.Position(), 0);

    model.Show();
    model.SetPosition(70);
    model.Hide();
    model.SetPosition(90);
    EXPECT_EQ(model.Position(), 70);
    EXPECT_FALSE(model.IsVisible());
    // Showing again starts at zero.
    model.Show();
    EXPECT_TRUE(model.IsVisible());
    EXPECT_EQ(model.Position(), 0);
}

// Bounds are limited to 16 bits, and the position stays inside the range.
TEST(ProgressModelTest, BoundsAndPositionStayInsideTheirLimits) {
    ProgressModel model;
    model.Show();
    model.SetRange(-5, 70000);
    EXPECT_EQ(model.Lower(), 0);
    EXPECT_EQ(model.Upper(), kMaxProgressBound);
    model.SetPosition(kMaxProgressBound);
    EXPECT_EQ(model.Text(), "100%");
    model.SetPosition(0);
    model.SetRange(200, 300);
    EXPECT_EQ(model.Position(), 200);
    for (const auto& [position, kept] : {std::pair{350, 300}, {10, 200}, {250, 250}}) {
        model.SetPosition(position);
        EXPECT_EQ(model.Position(), kept) << position;
    }
    model.SetRange(0, 100);
    EXPECT_EQ(model.Position(), 100);
}

struct TextCase {
    int lower;
    int upper;
    int position;
    const char* label;
    const char* text;
    int filledOf200;
    bool showText = true;
};

class ProgressTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(ProgressTextTest, TextAndFillFollowTheFraction) {
    const TextCase& c = GetParam();
    ProgressModel model;
    model.Show();
    model.SetLabel(QString::fromUtf8(c.label));
    model.SetShowText(c.showText);
    model.SetRange(c.lower, c.upper);
    model.SetPosition(c.position);
    EXPECT_EQ(model.Text(), QString::fromUtf8(c.text));
    EXPECT_EQ(model.FilledWidth(200), c.filledOf200);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Ranges, ProgressTextTest, testing::Values(
    TextCase{0, 100, 50, "label", "label: 50%", 100}, TextCase{0, 100, 50, "", "50%", 100},
    TextCase{0, 100, 0, "Copy", "Copy: 0%", 0}, TextCase{0, 100, 100, "Copy", "Copy: 100%", 200},
    TextCase{0, 3, 2, "", "66%", 133}, TextCase{100, 400, 200, "Zip", "Zip: 33%", 66},
    TextCase{5, 5, 5, "label", "", 0}, TextCase{9, 4, 6, "label", "", 0},
    TextCase{0, 100, 50, "label", "", 100, false}));
// clang-format on

}  // namespace
}  // namespace corvane
