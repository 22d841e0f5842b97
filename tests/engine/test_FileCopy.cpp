#include "engine/FileCopy.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <csignal>

#include "engine/FolderPath.h"
#include "engine/FolderWalk.h"
#include "log/ProgressModel.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::LogCapture;
using test::ReadAll;
using test::TempDir;

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

struct stat StatOf(const QString& path) {
    struct stat info {};
    EXPECT_EQ(::stat(Native(path).constData(), &info), 0) << path.toStdString();
    return info;
}

void SetTimes(const QString& path, time_t seconds, long nanoseconds) {
    const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, Native(path).constData(), times, 0), 0) << path.toStdString();
}

void SetMode(const QString& path, mode_t mode) {
    ASSERT_EQ(::chmod(Native(path).constData(), mode), 0) << path.toStdString();
}

// Every name below a folder, hidden ones too, relative and sorted: shows leftovers
// such as temporary files.
QStringList AllNames(const QString& folder) {
    QStringList names;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        names << it.next().mid(folder.size() + 1);
    }
    names.sort();
    return names;
}

QByteArray RandomBytes(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(1234);
    for (char& c : bytes) {
        c = static_cast<char>(generator.generate() & 0xFF);
    }
    return bytes;
}

// The copy stage as the backup run does it: folders first, then the files.
bool CopyFolder(const QString& source, const QString& target, const StopSignal& stop = {}) {
    EXPECT_TRUE(CreateFolderPath(target));
    FileList list;
    ListFolder(source, list, kListFolders | kListFiles, true, true);
    MakeListedFolders(source, list, target);
    return CopyFileList(source, list, target, stop);
}

// A file size limit makes every write past `bytes` fail, for root too (the way a full
// disk fails a write).
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        EXPECT_EQ(::getrlimit(RLIMIT_FSIZE, &m_old), 0);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = m_old;
        small.rlim_cur = bytes;
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    struct rlimit m_old {};
    void (*m_oldHandler)(int) = nullptr;
};

class CopyRun : public ::testing::Test {
  protected:
    QString Source(const QString& name = {}) const {
        return name.isEmpty() ? m_dir.File("src") : m_dir.File("src/" + name);
    }
    QString Target(const QString& name = {}) const {
        return name.isEmpty() ? m_dir.File("dst") : m_dir.File("dst/" + name);
    }
    QString Write(const QString& name, const QByteArray& bytes) const {
        return m_dir.Write("src/" + name, bytes);
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
    QDir().mkpath(Source("empty folder/inner"));
    SetTimes(Source("sub/deeper/a.txt"), 1'000'000'000, 123'456'789);
    SetMode(Source("sub/deeper/a.txt"), 0640);
    SetMode(Source("big.bin"), 0755);

    LogCapture log;
    ASSERT_TRUE(CopyFolder(Source(), Target()));
    EXPECT_TRUE(log.Texts().isEmpty());

    EXPECT_EQ(AllNames(Target()),
              (QStringList{".dotfile", "Grüße", "Grüße/naïve 日本語 😀.txt", "big.bin", "empty",
                           "empty folder", "empty folder/inner", "name with  blanks .txt", "sub",
                           "sub/deeper", "sub/deeper/a.txt"}));
    EXPECT_EQ(ReadAll(Target("big.bin")), big);
    EXPECT_EQ(ReadAll(Target("Grüße/naïve 日本語 😀.txt")), QByteArray("unicode"));
    EXPECT_EQ(ReadAll(Target("name with  blanks .txt")), QByteArray("blanks"));
    EXPECT_EQ(StatOf(Target("empty")).st_size, 0);

    const struct stat copied = StatOf(Target("sub/deeper/a.txt"));
    EXPECT_EQ(copied.st_mtim.tv_sec, 1'000'000'000);
    EXPECT_EQ(copied.st_mtim.tv_nsec, 123'456'789);
    EXPECT_EQ(copied.st_mode & 07777, 0640u);
    EXPECT_EQ(StatOf(Target("big.bin")).st_mode & 07777, 0755u);
    EXPECT_EQ(StatOf(Target("big.bin")).st_mtim.tv_nsec, StatOf(Source("big.bin")).st_mtim.tv_nsec);
}

TEST_F(CopyRun, SecondRunCopiesNothingUnchanged) {
    Write("a.txt", "alpha");
    Write("sub/b.txt", "beta");
    ASSERT_TRUE(CopyFolder(Source(), Target()));
    const ino_t inodeA = StatOf(Target("a.txt")).st_ino;
    const ino_t inodeB = StatOf(Target("sub/b.txt")).st_ino;

    ASSERT_TRUE(CopyFolder(Source(), Target()));
    // A copy is a new file renamed into place; the same inode means no copy was made.
    EXPECT_EQ(StatOf(Target("a.txt")).st_ino, inodeA);
    EXPECT_EQ(StatOf(Target("sub/b.txt")).st_ino, inodeB);
    EXPECT_EQ(AllNames(Target()), (QStringList{"a.txt", "sub", "sub/b.txt"}));
}

// Regression: a file rewritten at the same size within one second was not copied again.
TEST_F(CopyRun, ChangeWithinTheSameSecondIsCopiedAgain) {
    Write("a.txt", "alpha");
    SetTimes(Source("a.txt"), 1'500'000'000, 100);
    ASSERT_TRUE(CopyFolder(Source(), Target()));
    EXPECT_EQ(StatOf(Target("a.txt")).st_mtim.tv_nsec, 100);
    Write("a.txt", "ALPHA");
    SetTimes(Source("a.txt"), 1'500'000'000, 999'999'999);
    ASSERT_TRUE(CopyFolder(Source(), Target()));
    EXPECT_EQ(ReadAll(Target("a.txt")), QByteArray("ALPHA"));
}

TEST_F(CopyRun, ChangedFilesAreCopiedAgain) {
    Write("same-size.txt", "alpha");
    Write("other-size.txt", "beta");
    Write("untouched.txt", "gamma");
    SetTimes(Source("same-size.txt"), 1'500'000'000, 0);
    SetTimes(Source("other-size.txt"), 1'500'000'000, 0);
    ASSERT_TRUE(CopyFolder(Source(), Target()));
    const ino_t untouched = StatOf(Target("untouched.txt")).st_ino;

    Write("same-size.txt", "ALPHA");
    SetTimes(Source("same-size.txt"), 1'500'000'001, 0);
    Write("other-size.txt", "BETA+");
    SetTimes(Source("other-size.txt"), 1'500'000'000, 0);
    ASSERT_TRUE(CopyFolder(Source(), Target()));

    EXPECT_EQ(ReadAll(Target("same-size.txt")), QByteArray("ALPHA"));
    EXPECT_EQ(StatOf(Target("same-size.txt")).st_mtim.tv_sec, 1'500'000'001);
    EXPECT_EQ(ReadAll(Target("other-size.txt")), QByteArray("BETA+"));
    EXPECT_EQ(StatOf(Target("untouched.txt")).st_ino, untouched);
}

TEST_F(CopyRun, FileDeletedFromTheSourceStaysInTheDestination) {
    Write("keep.txt", "k");
    Write("sub/gone.txt", "g");
    ASSERT_TRUE(CopyFolder(Source(), Target()));
    ASSERT_TRUE(QDir(Source("sub")).removeRecursively());
    ASSERT_TRUE(CopyFolder(Source(), Target()));
    EXPECT_EQ(ReadAll(Target("sub/gone.txt")), QByteArray("g"));
    EXPECT_EQ(AllNames(Target()), (QStringList{"keep.txt", "sub", "sub/gone.txt"}));
}

TEST_F(CopyRun, ReadOnlyCopyIsReplacedWhenTheSourceChanges) {
    Write("ro.txt", "one");
    SetMode(Source("ro.txt"), 0444);
    ASSERT_TRUE(CopyFolder(Source(), Target()));
    EXPECT_EQ(StatOf(Target("ro.txt")).st_mode & 07777, 0444u);

    SetMode(Source("ro.txt"), 0644);
    Write("ro.txt", "two!");
    SetMode(Source("ro.txt"), 0444);
    ASSERT_TRUE(CopyFolder(Source(), Target()));
    EXPECT_EQ(ReadAll(Target("ro.txt")), QByteArray("two!"));
}

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
    ASSERT_EQ(::symlink("../outside.txt", Native(Source("link")).constData()), 0);
    const QString existing = GetParam().existing;
    if (existing.startsWith("link:")) {
        ASSERT_EQ(
            ::symlink(Native(existing.mid(5)).constData(), Native(Target("link")).constData()), 0);
    } else if (existing == "file") {
        m_dir.Write("dst/link", "old");
    } else if (existing == "folder") {
        m_dir.Write("dst/link/inside", "kept");
    }
    struct stat before {};
    ::lstat(Native(Target("link")).constData(), &before);

    EXPECT_EQ(CopyFolder(Source(), Target()), GetParam().ok);
    char text[64] = {};
    const bool isLink = ::readlink(Native(Target("link")).constData(), text, sizeof text - 1) > 0;
    EXPECT_EQ(isLink && QByteArray(text) == "../outside.txt", GetParam().ok);
    EXPECT_EQ(ReadAll(Target("link/inside")), GetParam().ok ? "" : "kept");
    if (existing == "link:../outside.txt") {
        struct stat after {};
        ::lstat(Native(Target("link")).constData(), &after);
        EXPECT_EQ(after.st_ino, before.st_ino);  // unchanged, so not made again
    }
    EXPECT_EQ(AllNames(Target()).filter(".corvane-"), QStringList());
}

INSTANTIATE_TEST_SUITE_P(Destinations, LinkCopy,
                         ::testing::Values(LinkCase{"Nothing", "", true},
                                           LinkCase{"SameLink", "link:../outside.txt", true},
                                           LinkCase{"OtherLink", "link:elsewhere", true},
                                           LinkCase{"File", "file", true},
                                           LinkCase{"Folder", "folder", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CopyRun, LongNameGetsAShortenedTemporaryName) {
    const QString name = QString(120, u'é') + ".txt";  // 244 bytes of the 255 allowed
    Write(name, "long");
    ASSERT_TRUE(CopyFolder(Source(), Target()));
    EXPECT_EQ(ReadAll(Target(name)), QByteArray("long"));
    EXPECT_EQ(AllNames(Target()), QStringList{name});
}

TEST_F(CopyRun, MissingTargetFoldersAreMade) {
    Write("a/b/c.txt", "c");
    FileList list = {{Source("a/b/c.txt"), kListFile}};
    ASSERT_TRUE(CopyFileList(Source(), list, Target("x/y"), StopSignal()));
    EXPECT_EQ(ReadAll(Target("x/y/a/b/c.txt")), QByteArray("c"));
}

TEST_F(CopyRun, SingleFileKeepsItsName) {
    Write("one file.txt", "single");
    FileList list = {{Source("one file.txt"), kListFile}};
    ASSERT_TRUE(CreateFolderPath(Target()));
    ASSERT_TRUE(CopyFileList(Source(), list, Target() + "/", StopSignal()));
    EXPECT_EQ(ReadAll(Target("one file.txt")), QByteArray("single"));
}

TEST_F(CopyRun, EntriesThatAreNotFilesBelowTheBaseArePassedOver) {
    Write("a.txt", "a");
    const QString outside = m_dir.Write("outside.txt", "o");
    FileList list = {{"", kListFile},
                     {Source("a.txt"), kListFile},
                     {outside, kListFile},
                     {Source(), kListFolder},
                     {m_dir.File("src-sibling/x.txt"), kListFile}};
    ASSERT_TRUE(CopyFileList(Source(), list, Target(), StopSignal()));
    EXPECT_EQ(AllNames(Target()), QStringList{"a.txt"});
}

TEST_F(CopyRun, StopsAfterTheEntryDuringWhichStopWasSet) {
    Write("1.txt", "1");
    Write("2.txt", "2");
    Write("3.txt", "3");
    FileList list = {
        {Source("1.txt"), kListFile}, {Source("2.txt"), kListFile}, {Source("3.txt"), kListFile}};
    std::atomic<bool> flag{true};
    ProgressModel progress;
    SetProgressTarget(&progress);
    ShowProgress();
    const bool copied = CopyFileList(Source(), list, Target(), StopSignal(&flag));
    SetProgressTarget(nullptr);
    EXPECT_TRUE(copied);
    EXPECT_EQ(AllNames(Target()), QStringList{"1.txt"});
    EXPECT_EQ(progress.Upper(), 3);
    EXPECT_EQ(progress.Position(), 1);
}

TEST_F(CopyRun, ProgressCountsEveryEntry) {
    Write("1.txt", "1");
    Write("2.txt", "2");
    FileList list = {{Source("1.txt"), kListFile}, {"", kListFile}, {Source("2.txt"), kListFile}};
    ProgressModel progress;
    SetProgressTarget(&progress);
    ShowProgress();
    const bool copied = CopyFileList(Source(), list, Target(), StopSignal());
    SetProgressTarget(nullptr);
    EXPECT_TRUE(copied);
    EXPECT_EQ(progress.Lower(), 0);
    EXPECT_EQ(progress.Upper(), 3);
    EXPECT_EQ(progress.Position(), 3);
}

TEST_F(CopyRun, EmptyListDoesNothing) {
    ProgressModel progress;
    SetProgressTarget(&progress);
    ShowProgress();
    progress.SetRange(0, 7);
    EXPECT_TRUE(CopyFileList(Source(), {}, Target(), StopSignal()));
    SetProgressTarget(nullptr);
    EXPECT_EQ(progress.Upper(), 7);
    EXPECT_FALSE(QFile::exists(Target()));
}

// A write that fails half-way (the disk fills up): the earlier copy stays as it was,
// no temporary file is left, and the files after it are not attempted.
TEST_F(CopyRun, FailedWriteKeepsTheEarlierCopy) {
    Write("a.txt", "old");
    Write("b.txt", "b");
    ASSERT_TRUE(CopyFolder(Source(), Target()));
    Write("a.txt", RandomBytes(256 * 1024));
    Write("c.txt", "c");
    FileList list = {{Source("a.txt"), kListFile}, {Source("c.txt"), kListFile}};

    LogCapture log;
    bool copied = true;
    {
        FileSizeLimit limit(4096);
        copied = CopyFileList(Source(), list, Target(), StopSignal());
    }
    EXPECT_FALSE(copied);
    EXPECT_EQ(ReadAll(Target("a.txt")), QByteArray("old"));
    EXPECT_EQ(AllNames(Target()), (QStringList{"a.txt", "b.txt"}));
    ASSERT_EQ(log.Texts().size(), 2);
    EXPECT_EQ(log.Texts()[0], "  Error: cannot save file " + Target("a.txt"));
    EXPECT_TRUE(log.Texts()[1].startsWith("  ...cannot copy the data: "))
        << log.Texts()[1].toStdString();
}

// The same failure on the read/write path, which another file system forces: the
// kernel copy declines files on different file systems.
TEST_F(CopyRun, CopyAcrossFileSystems) {
    const QString shm = "/dev/shm";
    struct stat shmInfo {};
    if (::stat(Native(shm).constData(), &shmInfo) != 0 || ::access("/dev/shm", W_OK) != 0) {
        GTEST_SKIP() << "no writable /dev/shm";
    }
    QDir().mkpath(Target());
    if (shmInfo.st_dev == StatOf(Target()).st_dev) {
        GTEST_SKIP() << "/dev/shm is on the same file system as the temporary folder";
    }
    QTemporaryDir other(shm + "/corvane-test-XXXXXX");
    ASSERT_TRUE(other.isValid());
    const QByteArray bytes = RandomBytes(3 * 128 * 1024 + 5);  // several buffers' worth
    QFile file(other.filePath("x.bin"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    SetTimes(other.filePath("x.bin"), 1'234'567'890, 987'654'321);
    FileList list = {{other.filePath("x.bin"), kListFile}};

    ASSERT_TRUE(CopyFileList(other.path(), list, Target(), StopSignal()));
    EXPECT_EQ(ReadAll(Target("x.bin")), bytes);
    EXPECT_EQ(StatOf(Target("x.bin")).st_mtim.tv_nsec, 987'654'321);

    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(RandomBytes(3 * 128 * 1024 + 5).replace('a', 'b'));
    file.close();
    LogCapture log;
    bool copied = true;
    {
        FileSizeLimit limit(128 * 1024 + 1);
        copied = CopyFileList(other.path(), list, Target(), StopSignal());
    }
    EXPECT_FALSE(copied);
    EXPECT_EQ(ReadAll(Target("x.bin")), bytes);
    EXPECT_EQ(AllNames(Target()), QStringList{"x.bin"});
    EXPECT_EQ(log.CountEndingWith("  Error: cannot save file " + Target("x.bin")), 1);
}

TEST_F(CopyRun, SourceThatVanishedFails) {
    Write("here.txt", "h");
    FileList list = {{Source("gone.txt"), kListFile}, {Source("here.txt"), kListFile}};
    LogCapture log;
    EXPECT_FALSE(CopyFileList(Source(), list, Target(), StopSignal()));
    ASSERT_EQ(log.Texts().size(), 2);
    EXPECT_EQ(log.Texts()[0], "  Error: cannot save file " + Target("gone.txt"));
    EXPECT_TRUE(log.Texts()[1].startsWith("  ...cannot open the source file: "));
    EXPECT_FALSE(QFile::exists(Target("here.txt")));
}

TEST_F(CopyRun, TargetFolderThatIsAFileFails) {
    Write("sub/a.txt", "a");
    m_dir.Write("dst/sub", "i am a file");
    FileList list = {{Source("sub/a.txt"), kListFile}};
    LogCapture log;
    EXPECT_FALSE(CopyFileList(Source(), list, Target(), StopSignal()));
    EXPECT_EQ(log.CountEndingWith("  Error: cannot save file " + Target("sub/a.txt")), 1);
    EXPECT_EQ(ReadAll(Target("sub")), QByteArray("i am a file"));
    EXPECT_EQ(AllNames(Target()), QStringList{"sub"});
}

TEST_F(CopyRun, DestinationThatIsAFolderIsNotReplaced) {
    Write("a.txt", "a");
    m_dir.Write("dst/a.txt/inside", "keep");
    FileList list = {{Source("a.txt"), kListFile}};
    LogCapture log;
    EXPECT_FALSE(CopyFileList(Source(), list, Target(), StopSignal()));
    EXPECT_EQ(log.CountEndingWith("  Error: cannot save file " + Target("a.txt")), 1);
    EXPECT_EQ(AllNames(Target()), (QStringList{"a.txt", "a.txt/inside"}));
}

TEST_F(CopyRun, SourceThatIsNotARegularFileFails) {
    QDir().mkpath(Source());
    ASSERT_EQ(::mkfifo(Native(Source("fifo")).constData(), 0600), 0);
    FileList list = {{Source("fifo"), kListFile}};
    LogCapture log;
    EXPECT_FALSE(CopyFileList(Source(), list, Target(), StopSignal()));
    EXPECT_EQ(log.CountEndingWith("  ...the source is not a regular file"), 1);
    EXPECT_FALSE(QFile::exists(Target("fifo")));
}

// The copy's time is the source's to the nanosecond, or the source's cut to a coarser
// file system's step (NTFS 100 ns, exFAT 10 ms, FAT whole seconds).
TEST(IsSameFile, ComparesSizeAndTimeToTheCopysPrecision) {
    TempDir dir;
    const QString a = dir.Write("a", "12345");
    const QString b = dir.Write("b", "abcde");
    const QString shorter = dir.Write("c", "1234");
    const struct {
        long aNs, bNs;
        bool same;
    } cases[] = {{123'456'789, 123'456'789, true},  {123'456'789, 123'456'700, true},
                 {123'456'789, 120'000'000, true},  {123'456'789, 0, true},
                 {123'456'789, 123'456'788, false}, {100, 999'999'999, false},
                 {999'999'999, 100, false}};
    for (const auto& c : cases) {
        SetTimes(a, 1'600'000'000, c.aNs);
        SetTimes(b, 1'600'000'000, c.bNs);
        EXPECT_EQ(IsSameFile(a, b), c.same) << c.aNs << " " << c.bNs;
    }
    SetTimes(shorter, 1'600'000'000, 100);
    EXPECT_FALSE(IsSameFile(a, shorter));
    EXPECT_FALSE(IsSameFile(a, dir.File("missing")));
    EXPECT_FALSE(IsSameFile(dir.File("missing"), a));
    EXPECT_FALSE(IsSameFile(dir.File("missing"), dir.File("missing")));
    QDir().mkpath(dir.File("f1"));
    QDir().mkpath(dir.File("f2"));
    EXPECT_FALSE(IsSameFile(dir.File("f1"), dir.File("f2")));
}

// The folders of a walk, made under another folder.
void CopyFolderTree(const QString& source, const QString& target) {
    FileList list;
    ListFolder(source, list, kListFolders, true, true);
    MakeListedFolders(source, list, target);
}

TEST(MakeListedFolders, RecreatesFoldersButNotLinkedOnes) {
    TempDir dir;
    QDir().mkpath(dir.File("src/a/b/c"));
    QDir().mkpath(dir.File("src/empty"));
    QDir().mkpath(dir.File("src/.hidden/inner"));
    QDir().mkpath(dir.File("src/Grüße dir"));
    dir.Write("src/a/file.txt", "not copied by the tree copy");
    dir.Write("elsewhere/x/y.txt", "y");
    ASSERT_EQ(::symlink(Native(dir.File("elsewhere")).constData(),
                        Native(dir.File("src/a/link")).constData()),
              0);
    ASSERT_EQ(::mkfifo(Native(dir.File("src/fifo")).constData(), 0600), 0);
    dir.Write("dst/a/existing.txt", "kept");

    CopyFolderTree(dir.File("src"), dir.File("dst"));
    EXPECT_EQ(AllNames(dir.File("dst")), (QStringList{".hidden", ".hidden/inner", "Grüße dir", "a",
                                                      "a/b", "a/b/c", "a/existing.txt", "empty"}));
    CopyFolderTree(dir.File("src/"), dir.File("dst/"));
    EXPECT_EQ(AllNames(dir.File("dst")).size(), 8);
}

TEST(CreateFolderPath, MakesEveryMissingFolder) {
    TempDir dir;
    EXPECT_TRUE(CreateFolderPath(dir.File("a/b/c/")));
    EXPECT_TRUE(QFileInfo(dir.File("a/b/c")).isDir());
    EXPECT_TRUE(CreateFolderPath(dir.File("a/b/c")));  // exists already
    EXPECT_TRUE(CreateFolderPath(dir.File("a//b/d")));
    EXPECT_TRUE(QFileInfo(dir.File("a/b/d")).isDir());
    EXPECT_TRUE(CreateFolderPath("/"));
    EXPECT_FALSE(CreateFolderPath(QString()));

    dir.Write("file", "f");
    EXPECT_FALSE(CreateFolderPath(dir.File("file")));
    EXPECT_FALSE(CreateFolderPath(dir.File("file/sub/deeper")));
    EXPECT_EQ(ReadAll(dir.File("file")), QByteArray("f"));
}

}  // namespace
}  // namespace corvane
