// The window's list of lines: eviction when it is full, the copy text.

#include <QString>

#include <gtest/gtest.h>

#include "log/LogList.h"

namespace corvane {
namespace {

LogLine Line(const QString& text) {
    return LogLine{kLogBlack, kLogWhite, text};
}

QString Numbered(int i) {
    return QStringLiteral("  line %1").arg(i);
}

struct EvictionCase {
    int capacity;   // the list is filled to this many lines first
    bool appended;  // whether the next line gets in
    int removed;    // oldest lines removed to make room
    int countAfter;
};

class LogListEvictionTest : public testing::TestWithParam<EvictionCase> {};

TEST_P(LogListEvictionTest, FullListDropsItsOldestLines) {
    const EvictionCase& c = GetParam();
    LogList list(c.capacity);
    for (int i = 0; i < c.capacity; ++i) {
        ASSERT_TRUE(list.Append(Line(Numbered(i))).appended);
    }

    const LogList::AppendResult result = list.Append(Line("  newest"));

    EXPECT_EQ(result, (LogList::AppendResult{c.appended, c.removed}));
    ASSERT_EQ(list.Count(), c.countAfter);
    if (c.appended) {
        // The survivors are the newest old lines, in order, then the new line.
        for (int i = 0; i + 1 < list.Count(); ++i) {
            EXPECT_EQ(list.Line(i).text, Numbered(c.removed + i));
        }
        EXPECT_EQ(list.Line(list.Count() - 1).text, "  newest");
    } else if (list.Count() > 0) {
        EXPECT_EQ(list.Line(0).text, Numbered(0));
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Capacities, LogListEvictionTest, testing::Values(
    EvictionCase{-3, false, 0, 0}, EvictionCase{0, false, 0, 0}, EvictionCase{1, false, 0, 1},
    EvictionCase{2, true, 1, 2}, EvictionCase{5, true, 4, 2}, EvictionCase{20, true, 19, 2},
    EvictionCase{21, true, 20, 2}, EvictionCase{25, true, 20, 6}));
// clang-format on

TEST(LogListTest, CopyTextEndsEveryLineWithCrLf) {
    LogList list;
    for (const char* text : {"Task started", "", "  \xC3\xBC"}) {
        list.AppendLine(Line(QString::fromUtf8(text)));
    }
    EXPECT_EQ(list.CopyText(), QString::fromUtf8("Task started\r\n\r\n  \xC3\xBC\r\n"));
    list.Clear();
    EXPECT_EQ(list.CopyText(), QString());
}

}  // namespace
}  // namespace corvane
