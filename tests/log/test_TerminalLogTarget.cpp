// The terminal target: the text it prints, with and without colours.

#include <QByteArray>
#include <QFile>
#include <cstdio>

#include <gtest/gtest.h>

#include "log/Log.h"
#include "log/TerminalLogTarget.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::ReadAll;
using test::TempDir;

class TerminalLogTargetTest : public testing::Test {
  protected:
    void SetUp() override {
        m_path = m_dir.File("log.txt");
        m_stream = std::fopen(QFile::encodeName(m_path).constData(), "w");
        ASSERT_NE(m_stream, nullptr);
    }
    void TearDown() override {
        SetLogTarget(nullptr);
        if (m_stream != nullptr) {
            std::fclose(m_stream);
        }
    }
    // What the stream holds so far (every line is flushed as it is written).
    QByteArray Written() const { return ReadAll(m_path); }

    TempDir m_dir;
    QString m_path;
    std::FILE* m_stream = nullptr;
};

// Control characters are shown as question marks, so a line cannot drive the terminal;
// colours follow the palette when asked for.
TEST_F(TerminalLogTargetTest, PlainLinesWithoutControlCharactersOrColouredOnes) {
    TerminalLogTarget plain(m_stream);
    TerminalLogTarget coloured(m_stream, TerminalLogTarget::Colours::Always);
    EXPECT_FALSE(plain.UsesColours());
    EXPECT_TRUE(coloured.UsesColours());
    for (TerminalLogTarget* target : {&plain, &coloured}) {
        target->AppendLine(LogLine{kLogRed, kLogWhite, QStringLiteral("  Error: x")});
        target->AppendLine(LogLine{kLogDarkGreen, kLogWhite, QString::fromUtf8("  K\xC3\xB6ln")});
        target->AppendLine(LogLine{kLogBlack, kLogWhite, QString()});
        target->AppendLine(LogLine{99, kLogWhite,
                                   QString::fromUtf8("  a\x1b[2Jb\tc\x7f"
                                                     "d\xC2\x9B"
                                                     "e")});
    }
    EXPECT_EQ(Written(), QByteArray("  Error: x\n  K\xC3\xB6ln\n\n  a?[2Jb\tc?d?e\n"
                                    "\x1b[91m  Error: x\x1b[0m\n\x1b[32m  K\xC3\xB6ln\x1b[0m\n"
                                    "\n  a?[2Jb\tc?d?e\n"));
}

TEST_F(TerminalLogTargetTest, LogPrintsTheStampedLine) {
    TerminalLogTarget target(m_stream);
    SetLogTarget(&target);
    Log("Task %s started", "Docs");
    Log("  %d files copied", 12);
    ClearLog();  // a terminal keeps what it printed
    const QList<QByteArray> lines = Written().split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].endsWith(": Task Docs started")) << lines[0].constData();
    EXPECT_GT(lines[0].size(), QByteArray(": Task Docs started").size());
    EXPECT_EQ(lines[1], "  12 files copied");
    EXPECT_EQ(lines[2], "");
}

}  // namespace
}  // namespace corvane
