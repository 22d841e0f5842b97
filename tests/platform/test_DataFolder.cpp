#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdlib>

#include "platform/DataFolder.h"
#include "platform/UserSettings.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::TempDir;

// QSettings fixes its folder at first use, so the test's own configuration folder is
// set before any test runs.
const QString kConfigHome = [] {
    char pattern[] = "/tmp/corvane-config-XXXXXX";
    const QString path = QString::fromLocal8Bit(::mkdtemp(pattern));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(path));
    return path;
}();

// Sets environment variables for one test and puts the old values back.
class ScopedEnv {
  public:
    void Set(const char* name, const QString& value) {
        if (!m_saved.contains(name)) {
            m_saved.insert(name, qEnvironmentVariableIsSet(name)
                                     ? std::optional<QByteArray>(qgetenv(name))
                                     : std::nullopt);
        }
        if (value.isNull()) {
            qunsetenv(name);
        } else {
            qputenv(name, QFile::encodeName(value));
        }
    }
    ~ScopedEnv() {
        for (auto it = m_saved.cbegin(); it != m_saved.cend(); ++it) {
            if (it.value()) {
                qputenv(it.key().constData(), *it.value());
            } else {
                qunsetenv(it.key().constData());
            }
        }
    }

  private:
    QHash<QByteArray, std::optional<QByteArray>> m_saved;
};

TEST(DataFolder, ChoosesOverrideThenHomeThenXdg) {
    TempDir dir;
    ScopedEnv env;
    env.Set("CORVANE_HOME", dir.File("home"));
    env.Set("XDG_DATA_HOME", dir.File("xdg"));
    EXPECT_EQ(ResolveDataFolder(dir.File("given/")), dir.File("given"));
    EXPECT_EQ(ResolveDataFolder(), dir.File("home"));
    env.Set("CORVANE_HOME", QString());
    EXPECT_EQ(ResolveDataFolder(), dir.File("xdg/corvane"));
    env.Set("XDG_DATA_HOME", "relative/path");
    env.Set("HOME", dir.File("user"));
    EXPECT_EQ(ResolveDataFolder(), dir.File("user/.local/share/corvane"));
    env.Set("XDG_DATA_HOME", QString());
    EXPECT_EQ(ResolveDataFolder(), dir.File("user/.local/share/corvane"));
}

TEST(DataFolder, PortableInstallUsesTheProgramFolder) {
    TempDir dir;
    ScopedEnv env;
    env.Set("CORVANE_HOME", QString());
    env.Set("XDG_DATA_HOME", dir.Path());
    const QString programFolder =
        QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section('/', 0, -2);
    const QString marker = programFolder + "/CorvTasks.bin";
    ASSERT_FALSE(QFile::exists(marker));
    EXPECT_EQ(ResolveDataFolder(), dir.File("corvane"));
    {
        QFile file(marker);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(ResolveDataFolder(), programFolder);
    QFile::remove(marker);
}

TEST(DataFolder, EnsureFolderCreatesPrivateFolders) {
    TempDir dir;
    const QString path = dir.File("a/b/c");
    EXPECT_TRUE(EnsureFolder(path));
    EXPECT_TRUE(QFileInfo(path).isDir());
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_TRUE(EnsureFolder(path));
    dir.Write("file", "x");
    EXPECT_FALSE(EnsureFolder(dir.File("file/sub")));
}

TEST(UserSettings, ShutdownFlagIsKeptInTheProgramSettings) {
    EXPECT_FALSE(UserSettings::ShutdownWhenComplete());
    UserSettings::SetShutdownWhenComplete(true);
    EXPECT_TRUE(UserSettings::ShutdownWhenComplete());
    QFile conf(kConfigHome + "/Tarnis/Tarnis.conf");
    ASSERT_TRUE(conf.open(QIODevice::ReadOnly));
    const QByteArray text = conf.readAll();
    EXPECT_TRUE(text.contains("[Main]")) << text.constData();
    EXPECT_TRUE(text.contains("ShutdownWhenComplete=1")) << text.constData();
    UserSettings::SetShutdownWhenComplete(false);
    EXPECT_FALSE(UserSettings::ShutdownWhenComplete());
    QDir(kConfigHome).removeRecursively();
}

}  // namespace
}  // namespace corvane
