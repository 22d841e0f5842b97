#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <atomic>

#include "engine/ArchiveThreads.h"
#include "engine/FileCopy.h"
#include "engine/FolderWalk.h"
#include "model/FileName.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::ReadAll;
using test::TempDir;

constexpr int kFiles = 600;  // enough for the destination lookahead to start its worker

struct stat StatOf(const QString& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(FileNameToBytes(path).constData(), &info), 0) << path.toStdString();
    return info;
}

// Every file has a time of its own, so figures given to the wrong entry show.
void SetTime(const QString& path, long nanoseconds) {
    const struct timespec times[2] = {{1'600'000'000, nanoseconds}, {1'600'000'000, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, FileNameToBytes(path).constData(), times, 0), 0);
}

// A run with the destination looked up on a worker thread (2) or inline (1) copies what
// changed in size or in time since the last run, keeps the rest, and stops at once.
class CopyWithThreads : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override { SetArchiveThreads(GetParam()); }
    void TearDown() override { SetArchiveThreads(0); }

    QString Name(int i) const { return QString("d%1/f%2.txt").arg(i % 7).arg(i); }
    bool Run(const QString& target, const std::atomic<bool>* stop = nullptr) const {
        FileList list;
        ListFolder(m_dir.File("src"), list, kListFolders | kListFiles, true, true);
        MakeListedFolders(m_dir.File("src"), list, target);
        return CopyFileList(m_dir.File("src"), list, target, StopSignal(stop));
    }

    TempDir m_dir;
};

TEST_P(CopyWithThreads, CopiesWhatChangedInSizeOrTime) {
    for (int i = 0; i < kFiles; ++i) {
        SetTime(m_dir.Write("src/" + Name(i), QByteArray::number(i)), i * 1000 + 7);
    }
    const QString target = m_dir.File("dst");
    ASSERT_TRUE(Run(target));
    std::vector<ino_t> inodes;
    for (int i = 0; i < kFiles; ++i) {
        inodes.push_back(StatOf(target + "/" + Name(i)).st_ino);
    }
    SetTime(m_dir.File("src/" + Name(3)), 999'999'999);         // the time alone
    SetTime(m_dir.Write("src/" + Name(300), "300!"), 300'007);  // the size alone
    SetTime(m_dir.Write("src/" + Name(599), "x99"), 200);       // bytes and time
    ASSERT_TRUE(Run(target));
    for (int i = 0; i < kFiles; ++i) {
        const QString source = m_dir.File("src/" + Name(i)), copy = target + "/" + Name(i);
        ASSERT_EQ(ReadAll(copy), ReadAll(source)) << i;
        EXPECT_EQ(StatOf(copy).st_mtim.tv_nsec, StatOf(source).st_mtim.tv_nsec) << i;
        EXPECT_EQ(StatOf(copy).st_ino != inodes[size_t(i)], i == 3 || i == 300 || i == 599) << i;
    }

    const std::atomic<bool> stop{true};
    ASSERT_TRUE(Run(m_dir.File("stopped"), &stop));
    FileList copied;
    ListFolder(m_dir.File("stopped"), copied, kListFiles, true, true);
    EXPECT_LE(copied.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Threads, CopyWithThreads, ::testing::Values(1, 2));

}  // namespace
}  // namespace corvane
