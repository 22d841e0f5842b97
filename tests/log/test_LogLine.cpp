// The line rules: colour, time stamp, line breaks, the length limit and the item form.

#include <QString>
#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

#include "log/Log.h"
#include "log/LogLine.h"

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

// clang-format off
INSTANTIATE_TEST_SUITE_P(Lines, LogLineColourTest, testing::Values(
    ColourCase{"Task started", kLogBlack, true}, ColourCase{"", kLogBlack, false},
    ColourCase{" one space", kLogBlack, false}, ColourCase{"\tTabbed", kLogBlack, true},
    ColourCase{"  Copying file", kLogBlue, false}, ColourCase{"   three spaces", kLogBlue, false},
    ColourCase{"    Filtered: a.tmp", kLogCyan, false}, ColourCase{"  Error: x", kLogRed, false},
    ColourCase{"    Error: filter", kLogRed, false}, ColourCase{"Open: error: no", kLogRed, true},
    ColourCase{"ERROR: shouting", kLogBlack, true}, ColourCase{"Error:no blank", kLogBlack, true},
    ColourCase{"Warning: disk full", kLogDarkGreen, true},
    ColourCase{"  warning: lower case", kLogDarkGreen, false},
    ColourCase{"WARNING: shouting", kLogBlack, true},
    ColourCase{"Warning: then Error: both", kLogDarkGreen, true},
    ColourCase{"  Error: first, Warning: second", kLogDarkGreen, false}));
// clang-format on

TEST(LogLineTest, StampIsTheLocaleDateAndTimeAndLineBreaksBecomeBlanks) {
    EXPECT_EQ(LogTimeStamp(0), QStringLiteral("Thu Jan  1 00:00:00 1970: "));
    EXPECT_EQ(LogTimeStamp(kSomeTime), QStringLiteral("Tue Nov 14 22:13:20 2023: "));
    EXPECT_EQ(MakeLogLine("  first\r\nsecond", kSomeTime).text, "  first  second");
    EXPECT_EQ(MakeLogLine("  a\nb\rc", kSomeTime).text, "  a b c");
    // The stamp is decided on the text as logged, before the breaks become blanks.
    EXPECT_EQ(MakeLogLine("\r\nAfter", kSomeTime).text, LogTimeStamp(kSomeTime) + "  After");
}

TEST(LogLineTest, TextIsCutAt255CharactersBeforeTheStampAndTheColour) {
    EXPECT_EQ(MakeLogLine(QString(300, QLatin1Char('a')), kSomeTime).text,
              LogTimeStamp(kSomeTime) + QString(255, QLatin1Char('a')));
    const QString late = "  " + QString(260, QLatin1Char('x')) + "Error: late";
    EXPECT_EQ(MakeLogLine(late, kSomeTime).textColour, kLogBlue);

    // Characters, not UTF-16 units: U+1F600 is one character in two units, and a pair
    // that straddles the limit stays whole.
    const QString face = QString::fromUtf8("\xF0\x9F\x98\x80");
    const QString a254(254, QLatin1Char('a'));
    const std::pair<QString, QString> cases[] = {
        {QString(255, QLatin1Char('b')), QString(255, QLatin1Char('b'))},
        {"short", "short"},
        {QString(300, QChar(0x00FC)), QString(255, QChar(0x00FC))},
        {face.repeated(300), face.repeated(255)},
        {a254 + face + "b", a254 + face}};
    for (const auto& [text, cut] : cases) {
        EXPECT_EQ(CutLogText(text), cut) << text.size();
    }
}

// Items too short for their colours have an empty text.
TEST(LogItemTest, EncodesColoursPlusOneBeforeTheTextAndDecodesBack) {
    const QString item = EncodeLogItem(LogLine{kLogRed, kLogWhite, QStringLiteral("abc")});
    EXPECT_EQ(item, QString(QChar(kLogRed + 1)) + QChar(kLogWhite + 1) + "abc");
    for (const LogLine& line : {LogLine{kLogBlack, kLogBlack, QString()},
                                LogLine{20, 0, QString::fromUtf8("\xC3\xBC\xF0\x9F\x98\x80")}}) {
        EXPECT_EQ(DecodeLogItem(EncodeLogItem(line)), line) << line.text.toStdString();
    }
    EXPECT_EQ(DecodeLogItem(QString()), LogLine{});
    EXPECT_EQ(DecodeLogItem(QString(QChar(kLogRed + 1)) + QChar(kLogBlack + 1)),
              (LogLine{kLogRed, kLogBlack, QString()}));
}

}  // namespace
}  // namespace corvane
