// The terminal target: the text it prints, with and without colours.

#include <QByteArray>
#include <QFile>
#include <cstdio>

#include <gtest/gtest.h>

#include "log/LogLine.h"
#include "log/TerminalLogTarget.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

// Control characters are shown as question marks, so a line cannot drive the terminal;
// colours follow the palette when asked for.
TEST(TerminalLogTargetTest, PlainLinesWithoutControlCharactersOrColouredOnes) {
    test::TempDir dir;
    std::FILE* stream = std::fopen(QFile::encodeName(dir.File("log.txt")).constData(), "w");
    ASSERT_NE(stream, nullptr);
    {
        TerminalLogTarget plain(stream);
        TerminalLogTarget coloured(stream, TerminalLogTarget::Colours::Always);
        EXPECT_FALSE(plain.UsesColours());
        EXPECT_TRUE(coloured.UsesColours());
        for (TerminalLogTarget* target : {&plain, &coloured}) {
            target->AppendLine(LogLine{kLogRed, kLogWhite, QStringLiteral("  Error: x")});
            target->AppendLine(
                LogLine{kLogDarkGreen, kLogWhite, QString::fromUtf8("  K\xC3\xB6ln")});
            target->AppendLine(LogLine{kLogBlack, kLogWhite, QString()});
            target->AppendLine(LogLine{99, kLogWhite,
                                       QString::fromUtf8("  a\x1b[2Jb\tc\x7f"
                                                         "d\xC2\x9B"
                                                         "e")});
        }
    }
    std::fclose(stream);
    EXPECT_EQ(test::ReadAll(dir.File("log.txt")),
              QByteArray("  Error: x\n  K\xC3\xB6ln\n\n  a?[2Jb\tc?d?e\n"
                         "\x1b[91m  Error: x\x1b[0m\n\x1b[32m  K\xC3\xB6ln\x1b[0m\n"
                         "\n  a?[2Jb\tc?d?e\n"));
}

}  // namespace
}  // namespace corvane
