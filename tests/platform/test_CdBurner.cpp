#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "platform/CdBurner.h"
#include "support/LogCapture.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

// The detached start of a found program on the staged content is checked end to end by
// the backup run's CD test; these cases check what it is made of.

namespace corvane {
namespace {

using test::LogCapture;
using test::ScopedEnv;
using test::TempDir;

void InstallProgram(const TempDir& dir, const QString& name, const QByteArray& interpreter) {
    const QString path = dir.Write("bin/" + name, interpreter + "\nexit 0\n");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The staged entries in name order, dot-files too, for a data project of the program.
TEST(CdBurner, FirstProgramFoundOpensTheStagedEntries) {
    TempDir dir;
    for (const char* name : {"xfburn", "k3b"}) {
        InstallProgram(dir, name, "#!/bin/sh");
    }
    dir.Write("bin/brasero", "#!/bin/sh\n");  // cannot be run: does not count
    ScopedEnv path("PATH", QFile::encodeName(dir.File("empty") + ":" + dir.File("bin")));
    EXPECT_EQ(FindCdBurningProgram(), dir.File("bin/k3b"));

    const QString staging = dir.File("cd-burn");
    EXPECT_EQ(CdBurningArguments("/usr/bin/xfburn", staging), QStringList{"--data-composition"});
    QDir().mkpath(staging + "/Backup/2005_03");
    dir.Write("cd-burn/b.txt", "b");
    dir.Write("cd-burn/.hidden", "h");
    EXPECT_EQ(
        CdBurningArguments("k3b", staging),
        QStringList({"--data", staging + "/.hidden", staging + "/Backup", staging + "/b.txt"}));
}

TEST(CdBurner, NoProgramOrOneThatCannotStartIsAWarning) {
    TempDir dir;
    QDir().mkpath(dir.File("bin"));
    ScopedEnv path("PATH", QFile::encodeName(dir.File("bin")));
    LogCapture log;
    StartCdBurning(dir.Path());
    EXPECT_EQ(log.Texts(), QStringList{"  Warning: no CD burning program found"});

    InstallProgram(dir, "k3b", "#!/no/such/interpreter");
    StartCdBurning(dir.Path());
    EXPECT_EQ(
        log.CountEndingWith("  Warning: cannot start CD burning program " + dir.File("bin/k3b")),
        1);
}

}  // namespace
}  // namespace corvane
