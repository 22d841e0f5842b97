#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "platform/DesktopShortcut.h"
#include "support/LogCapture.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/Tools.h"

namespace corvane {
namespace {

// The Exec line read back as a launcher reads it: the string-value escapes first, then
// the quoted arguments with their backslash escapes, then "%%" as "%".
QStringList ExecArguments(const QByteArray& entry) {
    QString value = QRegularExpression("^Exec=(.*)$", QRegularExpression::MultilineOption)
                        .match(QString::fromUtf8(entry))
                        .captured(1);
    value.replace("\\\\", "\\");
    QStringList arguments;
    QString current;
    bool quoted = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (quoted && c == '\\' && i + 1 < value.size()) {
            current += value[++i];
        } else if (!quoted && c == ' ') {
            arguments << current;
            current.clear();
        } else {
            current += c;
        }
    }
    arguments << current;
    return arguments.replaceInStrings("%%", "%");
}

class DesktopShortcutTest : public ::testing::TestWithParam<const char*> {
  protected:
    test::TempDir m_home;
    test::ScopedEnv m_homeEnv{"HOME", m_home.Path().toUtf8()};
    test::ScopedEnv m_config{"XDG_CONFIG_HOME", m_home.File("config").toUtf8()};
    QString m_desktop = m_home.File("Schreibtisch");
    QString m_dirs =
        m_home.Write("config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
};

TEST_P(DesktopShortcutTest, CreateRenameRecreateAndDelete) {
    const QString name = QString::fromUtf8(GetParam());
    const QString program = "/opt/my tools/corvane";
    TaskRecord task;
    task.name = "Old";
    test::LogCapture log;
    ASSERT_TRUE(CreateDesktopShortcut(task, program));
    const QString old = task.desktopShortcut;
    task.name = name;
    ASSERT_TRUE(CreateDesktopShortcut(task, program));
    EXPECT_EQ(task.desktopShortcut,
              m_desktop + "/Backup - " + QString(name).replace('/', '-') + ".desktop");
    EXPECT_FALSE(QFileInfo::exists(old));
    EXPECT_EQ(log.CountEndingWith("  Shortcut " + old + " deleted"), 1);
    EXPECT_EQ(log.CountEndingWith("  Shortcut " + task.desktopShortcut + " created"), 1);
    EXPECT_EQ(QFileInfo(task.desktopShortcut).permissions() & 0x7777, 0x7755);
    const test::ToolResult valid = test::RunTool("desktop-file-validate", {task.desktopShortcut});
    EXPECT_EQ(valid.exitCode, 0) << valid.output.toStdString();
    EXPECT_EQ(ExecArguments(test::ReadAll(task.desktopShortcut)),
              QStringList({program, "/\"" + name + "\""}));
    ASSERT_TRUE(CreateDesktopShortcut(task, program));
    EXPECT_EQ(log.CountEndingWith(" deleted"), 1);  // the same path: nothing to delete
    const QString made = task.desktopShortcut;
    DeleteDesktopShortcut(task);
    EXPECT_TRUE(!QFileInfo::exists(made) && task.desktopShortcut.isEmpty());
    EXPECT_EQ(log.CountEndingWith("  Shortcut " + made + " deleted"), 1);
}

INSTANTIATE_TEST_SUITE_P(Names, DesktopShortcutTest,
                         ::testing::Values("Docs", "Ann's \"daily\" $HOME `x` C:\\tmp 100%",
                                           "photos/2026"));

// A launcher that cannot be written leaves the task pointing at the one it had.
TEST_F(DesktopShortcutTest, FailedWriteKeepsTheOldShortcut) {
    TaskRecord task;
    task.name = "Docs";
    ASSERT_TRUE(CreateDesktopShortcut(task, "corvane"));
    const QString old = task.desktopShortcut;
    m_home.Write("config/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/plain-file\"\n");
    m_home.Write("plain-file", "not a folder");
    task.name = "Renamed";
    test::LogCapture log;
    EXPECT_FALSE(CreateDesktopShortcut(task, "corvane"));
    EXPECT_EQ(task.desktopShortcut, old);
    EXPECT_TRUE(QFileInfo::exists(old));
    EXPECT_EQ(log.CountEndingWith("  Error: cannot create shortcut " +
                                  m_home.File("plain-file/Backup - Renamed.desktop") +
                                  ": Not a directory"),
              1);
}

}  // namespace
}  // namespace corvane
