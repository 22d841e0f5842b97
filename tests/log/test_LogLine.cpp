// The line rules: colour, time stamp, line breaks, the length limit, the item form and
// the palette.

#include <QString>
#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

#include "log/Log.h"
#include "log/LogLine.h"
#include "log/LogPalette.h"

namespace corvane {
namespace {

// Stamps in this file are made in the C locale and UTC so their text is known. Set
// before main(), before the first stamp fixes the user's locale.
[[maybe_unused]] const bool g_fixedClock = [] {
    setenv("LC_ALL", "C", 1);
    setenv("TZ", "UTC", 1);
    tzset();
    return true;
}();

constexpr std::time_t kSomeTime = 1700000000;  // Tue Nov 14 22:13:20 2023 UTC

struct ColourCase {
    const char* text;
    int colour;
    bool stamped;
};

class LogLineColourTest : public testing::TestWithParam<ColourCase> {};

TEST_P(LogLineColourTest, ColourAndStampFollowTheLineConventions) {
    const ColourCase& c = GetParam();
    const QString text = QString::fromUtf8(c.text);
    const LogLine line = MakeLogLine(text, kSomeTime);
    EXPECT_EQ(line.textColour, c.colour);
    EXPECT_EQ(line.backColour, kLogWhite);
    EXPECT_EQ(line.text, c.stamped ? LogTimeStamp(kSomeTime) + text : text);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LogLineColourTest,
    testing::Values(ColourCase{"Task started", kLogBlack, true}, ColourCase{"", kLogBlack, false},
                    ColourCase{" one space", kLogBlack, false},
                    ColourCase{"\tTabbed", kLogBlack, true},
                    ColourCase{"  Copying file", kLogBlue, false},
                    ColourCase{"   three spaces", kLogBlue, false},
                    ColourCase{"    Filtered: a.tmp", kLogCyan, false},
                    ColourCase{"  Error: task failed", kLogRed, false},
                    ColourCase{"    Error: filter", kLogRed, false},
                    ColourCase{"Cannot open: error: denied", kLogRed, true},
                    ColourCase{"ERROR: shouting", kLogBlack, true},
                    ColourCase{"Error:no blank", kLogBlack, true},
                    ColourCase{"Warning: disk almost full", kLogDarkGreen, true},
                    ColourCase{"  warning: lower case", kLogDarkGreen, false},
                    ColourCase{"WARNING: shouting", kLogBlack, true},
                    ColourCase{"Warning: then Error: both", kLogDarkGreen, true},
                    ColourCase{"  Error: first, Warning: second", kLogDarkGreen, false}));

TEST(LogTimeStampTest, IsTheLocaleDateAndTimeWithColon) {
    EXPECT_EQ(LogTimeStamp(0), QStringLiteral("Thu Jan  1 00:00:00 1970: "));
    EXPECT_EQ(LogTimeStamp(kSomeTime), QStringLiteral("Tue Nov 14 22:13:20 2023: "));
}

TEST(LogLineTest, LineBreaksBecomeBlanks) {
    EXPECT_EQ(MakeLogLine("  first\r\nsecond", kSomeTime).text, "  first  second");
    EXPECT_EQ(MakeLogLine("  a\nb\rc", kSomeTime).text, "  a b c");
    // The stamp is decided on the text as logged, before the breaks become blanks.
    EXPECT_EQ(MakeLogLine("\r\nAfter", kSomeTime).text, LogTimeStamp(kSomeTime) + "  After");
}

TEST(LogLineTest, TextIsCutAt255CharactersBeforeTheStamp) {
    const QString longText(300, QLatin1Char('a'));
    EXPECT_EQ(MakeLogLine(longText, kSomeTime).text,
              LogTimeStamp(kSomeTime) + QString(255, QLatin1Char('a')));
    EXPECT_EQ(CutLogText(QString(255, QLatin1Char('b'))), QString(255, QLatin1Char('b')));
    EXPECT_EQ(CutLogText(QStringLiteral("short")), QStringLiteral("short"));
}

TEST(LogLineTest, ColourIsDecidedOnTheCutText) {
    const QString text = "  " + QString(260, QLatin1Char('x')) + "Error: late";
    EXPECT_EQ(MakeLogLine(text, kSomeTime).textColour, kLogBlue);
}

TEST(LogLineTest, CutCountsCharactersNotCodeUnits) {
    const QString umlauts(300, QChar(0x00FC));
    EXPECT_EQ(CutLogText(umlauts), QString(255, QChar(0x00FC)));

    // U+1F600 is one character in two UTF-16 units.
    const QString face = QString::fromUtf8("\xF0\x9F\x98\x80");
    QString faces;
    for (int i = 0; i < 300; ++i) {
        faces += face;
    }
    EXPECT_EQ(CutLogText(faces), faces.left(510));

    // A pair that straddles the limit stays whole.
    const QString straddling = QString(254, QLatin1Char('a')) + face + "b";
    EXPECT_EQ(CutLogText(straddling), QString(254, QLatin1Char('a')) + face);
}

TEST(LogItemTest, EncodesColoursPlusOneBeforeTheText) {
    const QString item = EncodeLogItem(LogLine{kLogRed, kLogWhite, QStringLiteral("abc")});
    ASSERT_EQ(item.size(), 5);
    EXPECT_EQ(item.at(0).unicode(), kLogRed + 1);
    EXPECT_EQ(item.at(1).unicode(), kLogWhite + 1);
    EXPECT_EQ(item.mid(2), QStringLiteral("abc"));
}

TEST(LogItemTest, DecodingGivesBackTheLine) {
    const LogLine lines[] = {
        {kLogBlack, kLogWhite, QStringLiteral("Task started")},
        {kLogCyan, kLogWhite, QStringLiteral("    Filtered")},
        {kLogBlack, kLogBlack, QString()},
        {20, 0, QString::fromUtf8("\xC3\xBC\xF0\x9F\x98\x80")},
    };
    for (const LogLine& line : lines) {
        EXPECT_EQ(DecodeLogItem(EncodeLogItem(line)), line) << line.text.toStdString();
    }
}

TEST(LogItemTest, ShortItemsHaveAnEmptyText) {
    EXPECT_EQ(DecodeLogItem(QString()), LogLine{});
    const LogLine headerOnly = DecodeLogItem(QString(QChar(kLogRed + 1)) + QChar(kLogBlack + 1));
    EXPECT_EQ(headerOnly.textColour, kLogRed);
    EXPECT_EQ(headerOnly.backColour, kLogBlack);
    EXPECT_TRUE(headerOnly.text.isEmpty());
}

TEST(LogPaletteTest, IndexesOutsideThePaletteDrawBlack) {
    EXPECT_EQ(LogPaletteColour(kLogRed), (LogColour{255, 0, 0}));
    EXPECT_EQ(LogPaletteColour(kLogDarkGreen), (LogColour{0, 128, 0}));
    EXPECT_EQ(LogPaletteColour(kLogBlue), (LogColour{0, 0, 255}));
    EXPECT_EQ(LogPaletteColour(kLogCyan), (LogColour{0, 255, 255}));
    EXPECT_EQ(LogPaletteColour(kLogWhite), (LogColour{255, 255, 255}));
    EXPECT_EQ(LogPaletteColour(16), (LogColour{0, 0, 0}));
    EXPECT_EQ(LogPaletteColour(1000), (LogColour{0, 0, 0}));
    EXPECT_EQ(LogPaletteColour(-1), (LogColour{0, 0, 0}));
}

}  // namespace
}  // namespace corvane
