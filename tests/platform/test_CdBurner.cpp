#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>

#include "platform/CdBurner.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::LogCapture;
using test::TempDir;

// PATH for one test, put back afterwards.
class ScopedPath {
  public:
    explicit ScopedPath(const QString& path) : m_old(qgetenv("PATH")) {
        qputenv("PATH", QFile::encodeName(path));
    }
    ~ScopedPath() { qputenv("PATH", m_old); }

  private:
    QByteArray m_old;
};

// A fake burning program that writes its name, its working folder and its arguments
// (one a line) into a FIFO. The test holds the FIFO open for reading before the start
// and waits on it with poll(), so it learns of the detached program without sleeping.
class FakeBurner {
  public:
    explicit FakeBurner(const TempDir& dir) : m_bin(dir.File("bin")), m_fifo(dir.File("report")) {
        QDir().mkpath(m_bin);
        EXPECT_EQ(::mkfifo(QFile::encodeName(m_fifo).constData(), 0600), 0);
        m_fd = ::open(QFile::encodeName(m_fifo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_GE(m_fd, 0);
    }
    ~FakeBurner() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }

    const QString& Bin() const { return m_bin; }

    void Install(const QString& name, const QByteArray& interpreter = "#!/bin/sh") const {
        const QString path = m_bin + "/" + name;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(interpreter + "\n" +
                   QStringLiteral("printf '%s\\n' \"${0##*/}\" \"$PWD\" \"$@\" > '%1'\n")
                       .arg(m_fifo)
                       .toUtf8());
        file.close();
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // The lines the program wrote; empty when none came within the time limit.
    QStringList Report() const {
        QByteArray data;
        char buffer[4096];
        for (;;) {
            struct pollfd fd = {m_fd, POLLIN, 0};
            if (::poll(&fd, 1, 30000) <= 0) {
                break;  // time limit: nothing (more) arrived
            }
            const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
            if (got > 0) {
                data.append(buffer, got);
            } else if (got == 0 || errno != EAGAIN) {
                break;  // the writer closed (poll waits for the first writer to come)
            }
        }
        QStringList lines = QString::fromUtf8(data).split('\n');
        if (!lines.isEmpty() && lines.back().isEmpty()) {
            lines.removeLast();
        }
        return lines;
    }

  private:
    QString m_bin;
    QString m_fifo;
    int m_fd = -1;
};

QString MakeStaging(const TempDir& dir) {
    const QString staging = dir.File("cd-burn");
    QDir().mkpath(staging + "/Backup/2005_03");
    dir.Write("cd-burn/b.txt", "b");
    dir.Write("cd-burn/.hidden", "h");
    return staging;
}

struct BurnerCase {
    const char* label;
    QStringList installed;
    QString chosen;
    QString flag;
};

class CdBurnerChoice : public ::testing::TestWithParam<BurnerCase> {};

TEST_P(CdBurnerChoice, StartsTheFirstProgramFoundOnTheStagedContent) {
    const BurnerCase& c = GetParam();
    TempDir dir;
    FakeBurner burner(dir);
    for (const QString& name : c.installed) {
        burner.Install(name);
    }
    const QString staging = MakeStaging(dir);
    ScopedPath path(dir.File("empty") + ":" + burner.Bin());

    EXPECT_EQ(FindCdBurningProgram(), burner.Bin() + "/" + c.chosen);
    LogCapture log;
    StartCdBurning(staging);
    EXPECT_TRUE(log.Texts().isEmpty());
    EXPECT_EQ(burner.Report(), QStringList({c.chosen, staging, c.flag, staging + "/.hidden",
                                            staging + "/Backup", staging + "/b.txt"}));
}

INSTANTIATE_TEST_SUITE_P(
    Programs, CdBurnerChoice,
    ::testing::Values(BurnerCase{"AllThree", {"xfburn", "k3b", "brasero"}, "brasero", "--data"},
                      BurnerCase{"K3bBeforeXfburn", {"xfburn", "k3b"}, "k3b", "--data"},
                      BurnerCase{"XfburnAlone", {"xfburn"}, "xfburn", "--data-composition"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(CdBurner, NoProgramIsAWarning) {
    TempDir dir;
    QDir().mkpath(dir.File("bin"));
    // A file of the right name that cannot be run does not count either.
    dir.Write("bin/brasero", "#!/bin/sh\n");
    ScopedPath path(dir.File("bin"));
    EXPECT_TRUE(FindCdBurningProgram().isEmpty());
    LogCapture log;
    StartCdBurning(dir.Path());
    ASSERT_EQ(log.Texts().size(), 1);
    EXPECT_EQ(log.CountEndingWith("  Warning: no CD burning program found"), 1);
}

TEST(CdBurner, ProgramThatCannotStartIsAWarning) {
    TempDir dir;
    FakeBurner burner(dir);
    burner.Install("k3b", "#!/no/such/interpreter");
    ScopedPath path(burner.Bin());
    LogCapture log;
    StartCdBurning(MakeStaging(dir));
    EXPECT_EQ(
        log.CountEndingWith("  Warning: cannot start CD burning program " + burner.Bin() + "/k3b"),
        1);
}

TEST(CdBurner, EmptyStagingFolderOpensAnEmptyProject) {
    TempDir dir;
    EXPECT_EQ(CdBurningArguments("/usr/bin/xfburn", dir.Path()), QStringList{"--data-composition"});
    EXPECT_EQ(CdBurningArguments("brasero", dir.File("missing")), QStringList{"--data"});
}

}  // namespace
}  // namespace corvane
