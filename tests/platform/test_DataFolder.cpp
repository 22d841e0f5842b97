#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QFile>

#include "platform/DataFolder.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::ScopedEnv;
using test::TempDir;

// An empty variable counts as unset.
TEST(DataFolder, ChoosesOverrideThenHomeThenXdg) {
    TempDir dir;
    ScopedEnv home("CORVANE_HOME", QFile::encodeName(dir.File("home")));
    ScopedEnv xdg("XDG_DATA_HOME", QFile::encodeName(dir.File("xdg")));
    ScopedEnv user("HOME", QFile::encodeName(dir.File("user")));
    EXPECT_EQ(ResolveDataFolder(dir.File("given/")), dir.File("given"));
    EXPECT_EQ(ResolveDataFolder(), dir.File("home"));
    ScopedEnv noHome("CORVANE_HOME", "");
    EXPECT_EQ(ResolveDataFolder(), dir.File("xdg/corvane"));
    ScopedEnv relative("XDG_DATA_HOME", "relative/path");
    EXPECT_EQ(ResolveDataFolder(), dir.File("user/.local/share/corvane"));
    ScopedEnv noXdg("XDG_DATA_HOME", "");
    EXPECT_EQ(ResolveDataFolder(), dir.File("user/.local/share/corvane"));
}

// The data folder holds passwords: only its owner may enter it.
TEST(DataFolder, EnsureFolderCreatesPrivateFolders) {
    TempDir dir;
    const QString path = dir.File("a/b/c");
    EXPECT_TRUE(EnsureFolder(path));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_TRUE(EnsureFolder(path));
    dir.Write("file", "x");
    EXPECT_FALSE(EnsureFolder(dir.File("file/sub")));
}

}  // namespace
}  // namespace corvane
