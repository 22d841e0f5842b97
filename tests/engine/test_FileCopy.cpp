#include "engine/FileCopy.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <map>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>

#include "engine/FileSizeLimit.h"
#include "engine/FolderPath.h"
#include "engine/FolderWalk.h"
#include "model/FileName.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/Tools.h"

namespace corvane {
namespace {

using test::LogCapture;
using test::RandomBytes;
using test::ReadAll;
using test::TempDir;

struct stat StatOf(const QString& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(FileNameToBytes(path).constData(), &info), 0) << path.toStdString();
    return info;
}

void SetTimes(const QString& path, time_t seconds, long nanoseconds) {
    const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, FileNameToBytes(path).constData(), times, 0), 0);
}

// Every name below a folder with its bytes, hidden ones too: shows leftovers such as
// temporary files, and any change to an earlier copy.
std::map<QString, QByteArray> Tree(const QString& folder) {
    std::map<QString, QByteArray> tree;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        tree[QDir(folder).relativeFilePath(path)] = ReadAll(path);
    }
    return tree;
}

class CopyRun : public ::testing::Test {
  protected:
    QString Source(const QString& name = {}) const { return m_dir.File("src/" + name); }
    QString Target(const QString& name = {}) const { return m_dir.File("dst/" + name); }
    QString Write(const QString& name, const QByteArray& bytes) const {
        return m_dir.Write("src/" + name, bytes);
    }
    // The copy stage as the backup run does it: folders first, then the files, then the
    // folders' own times and modes.
    bool CopyFolder() const {
        EXPECT_TRUE(CreateFolderPath(Target()));
        FileList list;
        ListFolder(Source(), list, kListFolders | kListFiles, true, true);
        MakeListedFolders(Source(), list, Target());
        const bool copied = CopyFileList(Source(), list, Target(), StopSignal());
        FinishListedFolders(Source(), list, Target());
        return copied;
    }

    TempDir m_dir;
};

TEST_F(CopyRun, FirstRunCopiesEveryFileWithItsTimeAndMode) {
    const QByteArray big = RandomBytes(3 * 1024 * 1024 + 17);
    Write("big.bin", big);
    Write("empty", "");
    Write("sub/deeper/a.txt", "alpha");
    Write("name with  blanks .txt", "blanks");
    Write("Grüße/naïve 日本語 😀.txt", "unicode");
    Write(".dotfile", "kept");
    // 244 bytes of the 255 a name may have: the temporary name must be shorter.
    const QString longName = QString(120, u'é') + ".txt";
    Write(longName, "long");
    QDir().mkpath(Source("empty folder/inner"));
    SetTimes(Source("sub/deeper/a.txt"), 1'000'000'000, 123'456'789);
    ::chmod(FileNameToBytes(Source("sub/deeper/a.txt")).constData(), 0640);
    ::chmod(FileNameToBytes(Source("big.bin")).constData(), 0755);

    LogCapture log;
    ASSERT_TRUE(CopyFolder());
    EXPECT_TRUE(log.Texts().isEmpty());
    EXPECT_EQ(Tree(Target()), Tree(Source()));
    for (const QString name : {"sub/deeper/a.txt", "big.bin", "empty"}) {
        const struct stat source = StatOf(Source(name)), copy = StatOf(Target(name));
        EXPECT_EQ(std::tie(copy.st_mode, copy.st_mtim.tv_sec, copy.st_mtim.tv_nsec),
                  std::tie(source.st_mode, source.st_mtim.tv_sec, source.st_mtim.tv_nsec))
            << name.toStdString();
    }
}

// A rerun over folders that already have their bits and times writes nothing to them
// (inotify sees every attribute write), while changed files of a folder, listed before
// and after its subfolder's contents, are still copied.
TEST_F(CopyRun, RerunLeavesMatchingFoldersAloneAndCopiesWhatChanged) {
    for (const char* name : {"a/1.txt", "a/b/2.txt", "a/b/c/3.txt", "a/4.txt"}) {
        Write(name, name);
    }
    ASSERT_TRUE(CopyFolder());
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(watch, FileNameToBytes(Target("a/b")).constData(), IN_ATTRIB), 0);
    Write("a/1.txt", "changed 1");
    Write("a/4.txt", "changed 4");
    EXPECT_TRUE(CopyFolder());
    char event[4096];
    EXPECT_EQ(::read(watch, event, sizeof event), -1);
    ::close(watch);
    EXPECT_EQ(Tree(Target()), Tree(Source()));
    const struct stat copy = StatOf(Target("a")), source = StatOf(Source("a"));
    EXPECT_EQ(std::tie(copy.st_mtim.tv_sec, copy.st_mtim.tv_nsec),
              std::tie(source.st_mtim.tv_sec, source.st_mtim.tv_nsec));
}

// A second run over a copy of "alpha" (0644, 1'500'000'000 s + 100 ns) after a change of
// the source: a copy is a new file renamed into place, so the inode tells whether it
// was made again.
struct ChangeCase {
    const char* name;
    const char* content;  // nullptr: the source file is deleted
    time_t seconds;
    long nanoseconds;
    mode_t mode;
    bool copiedAgain;
};

class SecondCopyRun : public CopyRun, public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(SecondCopyRun, CopiesOnlyWhatChangedAndDeletesNothing) {
    const ChangeCase& c = GetParam();
    Write("a.txt", "alpha");
    SetTimes(Source("a.txt"), 1'500'000'000, 100);
    ::chmod(FileNameToBytes(Source("a.txt")).constData(), c.mode);
    ASSERT_TRUE(CopyFolder());
    const ino_t inode = StatOf(Target("a.txt")).st_ino;

    if (c.content == nullptr) {
        QFile::remove(Source("a.txt"));
    } else {
        ::chmod(FileNameToBytes(Source("a.txt")).constData(), 0644);
        Write("a.txt", c.content);
        SetTimes(Source("a.txt"), c.seconds, c.nanoseconds);
        ::chmod(FileNameToBytes(Source("a.txt")).constData(), c.mode);
    }
    ASSERT_TRUE(CopyFolder());
    EXPECT_EQ(StatOf(Target("a.txt")).st_ino != inode, c.copiedAgain);
    EXPECT_EQ(Tree(Target()),
              (std::map<QString, QByteArray>{{"a.txt", c.copiedAgain ? c.content : "alpha"}}));
}

INSTANTIATE_TEST_SUITE_P(
    Changes, SecondCopyRun,
    ::testing::Values(ChangeCase{"Unchanged", "alpha", 1'500'000'000, 100, 0644, false},
                      ChangeCase{"OtherSecond", "ALPHA", 1'500'000'001, 100, 0644, true},
                      ChangeCase{"OtherSize", "alpha!", 1'500'000'000, 100, 0644, true},
                      // Regression: a rewrite within the same second was not copied.
                      ChangeCase{"SameSecond", "ALPHA", 1'500'000'000, 999'999'999, 0644, true},
                      ChangeCase{"ReadOnlyCopy", "ALPHA", 1'500'000'001, 0, 0444, true},
                      ChangeCase{"Deleted", nullptr, 0, 0, 0644, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Regression: a link was copied as the file it points to. What lies at the destination
// decides whether the link is replaced; a folder there is never replaced.
struct LinkCase {
    const char* name;
    const char* existing;  // "link:<text>", "file" or "folder"; empty for nothing
    bool ok;
};

class LinkCopy : public CopyRun, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(LinkCopy, IsMadeAgainAsALink) {
    m_dir.Write("outside.txt", "linked content");
    QDir().mkpath(Source());
    QDir().mkpath(Target());
    ASSERT_EQ(::symlink("../outside.txt", FileNameToBytes(Source("link")).constData()), 0);
    const QString existing = GetParam().existing;
    if (existing.startsWith("link:")) {
        ASSERT_EQ(::symlink(FileNameToBytes(existing.mid(5)).constData(),
                            FileNameToBytes(Target("link")).constData()),
                  0);
    } else if (existing == "file") {
        m_dir.Write("dst/link", "old");
    } else if (existing == "folder") {
        m_dir.Write("dst/link/inside", "kept");
    }
    struct stat before {};
    ::lstat(FileNameToBytes(Target("link")).constData(), &before);

    EXPECT_EQ(CopyFolder(), GetParam().ok);
    EXPECT_EQ(QFile::symLinkTarget(Target("link")) == m_dir.File("outside.txt"), GetParam().ok);
    EXPECT_EQ(ReadAll(Target("link/inside")), GetParam().ok ? "" : "kept");
    if (existing == "link:../outside.txt") {
        EXPECT_EQ(StatOf(Target("link")).st_ino, before.st_ino);  // not made again
    }
    EXPECT_EQ(Tree(Target()).size(), GetParam().ok ? 1u : 2u);  // no temporary left
}

INSTANTIATE_TEST_SUITE_P(Destinations, LinkCopy,
                         ::testing::Values(LinkCase{"Nothing", "", true},
                                           LinkCase{"SameLink", "link:../outside.txt", true},
                                           LinkCase{"OtherLink", "link:elsewhere", true},
                                           LinkCase{"File", "file", true},
                                           LinkCase{"Folder", "folder", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CopyRun, StopEndsAfterTheCurrentEntry) {
    const FileList list = {{Write("1.txt", "1"), kListFile}, {Write("2.txt", "2"), kListFile}};
    std::atomic<bool> stop{true};
    EXPECT_TRUE(CopyFileList(Source(), list, Target(), StopSignal(&stop)));
    EXPECT_EQ(Tree(Target()), (std::map<QString, QByteArray>{{"1.txt", "1"}}));
}

// A copy that fails: one error line naming the destination and one with the reason,
// the destination exactly as it was (earlier copies, no temporary file), and no file
// after the failing one attempted. The source sub/x.txt is missing, or a FIFO, or too
// big for the disk (it fills up half-way); or dst/sub is a file, or dst/sub/x.txt a folder.
class CopyFailure : public CopyRun,
                    public ::testing::WithParamInterface<std::pair<const char*, const char*>> {};

TEST_P(CopyFailure, KeepsTheDestinationAsItWas) {
    const QString cause = GetParam().first;
    m_dir.Write("dst/z.txt", "earlier z");
    m_dir.Write("dst/sub/x.txt", "earlier x");
    Write("z.txt", "new z");
    if (cause == "SourceIsAFifo") {
        QDir().mkpath(Source("sub"));
        ASSERT_EQ(::mkfifo(FileNameToBytes(Source("sub/x.txt")).constData(), 0600), 0);
    } else if (cause != "SourceVanished") {
        Write("sub/x.txt", cause == "WriteFails" ? RandomBytes(256 * 1024) : "x");
    }
    if (cause == "TargetFolderIsAFile") {
        QDir(Target("sub")).removeRecursively();
        m_dir.Write("dst/sub", "a file");
    } else if (cause == "DestinationIsAFolder") {
        QFile::remove(Target("sub/x.txt"));
        m_dir.Write("dst/sub/x.txt/inside", "kept");
    }
    const auto before = Tree(Target());
    const FileList list = {{Source("sub/x.txt"), kListFile}, {Source("z.txt"), kListFile}};
    LogCapture log;
    bool copied = true;
    {
        test::FileSizeLimit limit(4096);
        copied = CopyFileList(Source(), list, Target(), StopSignal());
    }
    EXPECT_FALSE(copied);
    EXPECT_EQ(Tree(Target()), before);
    ASSERT_EQ(log.Texts().size(), 2) << log.Texts().join('\n').toStdString();
    EXPECT_EQ(log.Texts()[0], "  Error: cannot save file " + Target("sub/x.txt"));
    EXPECT_TRUE(log.Texts()[1].startsWith(GetParam().second)) << log.Texts()[1].toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Causes, CopyFailure,
    ::testing::Values(std::pair{"WriteFails", "  ...cannot copy the data: "},
                      std::pair{"SourceVanished", "  ...cannot open the source file: "},
                      std::pair{"SourceIsAFifo", "  ...the source is not a regular file"},
                      std::pair{"TargetFolderIsAFile", "  ..."},
                      std::pair{"DestinationIsAFolder", "  ..."}),
    [](const auto& info) { return std::string(info.param.first); });

// The read/write path, which another file system forces (the kernel copy declines files
// on different file systems), copies to the nanosecond and fails like the other.
TEST_F(CopyRun, CopyAcrossFileSystems) {
    QDir().mkpath(Target());
    struct stat shm {};
    if (::stat("/dev/shm", &shm) != 0 || ::access("/dev/shm", W_OK) != 0 ||
        shm.st_dev == StatOf(Target()).st_dev) {
        GTEST_SKIP() << "no writable /dev/shm on another file system";
    }
    QTemporaryDir other("/dev/shm/corvane-test-XXXXXX");
    const QString file = other.filePath("x.bin");
    const QByteArray bytes = RandomBytes(3 * 128 * 1024 + 5);  // several buffers' worth
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
    out.close();
    SetTimes(file, 1'234'567'890, 987'654'321);
    const FileList list = {{file, kListFile}};
    ASSERT_TRUE(CopyFileList(other.path(), list, Target(), StopSignal()));
    EXPECT_EQ(ReadAll(Target("x.bin")), bytes);
    EXPECT_EQ(StatOf(Target("x.bin")).st_mtim.tv_nsec, 987'654'321);

    SetTimes(file, 1'234'567'891, 0);
    LogCapture log;
    bool copied = true;
    {
        test::FileSizeLimit limit(128 * 1024 + 1);
        copied = CopyFileList(other.path(), list, Target(), StopSignal());
    }
    EXPECT_FALSE(copied);
    EXPECT_EQ(Tree(Target()), (std::map<QString, QByteArray>{{"x.bin", bytes}}));
    EXPECT_EQ(log.CountEndingWith("  Error: cannot save file " + Target("x.bin")), 1);
}

// The copy's time is the source's to the nanosecond, or the source's cut to a coarser
// file system's step (NTFS 100 ns, exFAT 10 ms, FAT whole seconds).
TEST(IsSameFile, ComparesSizeAndTimeToTheCopysPrecision) {
    TempDir dir;
    const QString a = dir.Write("a", "12345");
    const QString b = dir.Write("b", "abcde");
    const std::tuple<long, long, bool> cases[] = {
        {123'456'789, 123'456'789, true},  {123'456'789, 123'456'700, true},
        {123'456'789, 120'000'000, true},  {123'456'789, 0, true},
        {123'456'789, 123'456'788, false}, {100, 999'999'999, false},
        {999'999'999, 100, false}};
    for (const auto& [aNs, bNs, same] : cases) {
        SetTimes(a, 1'600'000'000, aNs);
        SetTimes(b, 1'600'000'000, bNs);
        EXPECT_EQ(IsSameFile(a, b), same) << aNs << " " << bNs;
    }
    const QString shorter = dir.Write("c", "1234");
    SetTimes(shorter, 1'600'000'000, 100);
    EXPECT_FALSE(IsSameFile(a, shorter));
    EXPECT_FALSE(IsSameFile(a, dir.File("missing")));
    EXPECT_FALSE(IsSameFile(dir.File("missing"), dir.File("missing")));
    EXPECT_FALSE(IsSameFile(dir.Path(), dir.Path()));  // a folder is no file, not even itself
}

}  // namespace
}  // namespace corvane
