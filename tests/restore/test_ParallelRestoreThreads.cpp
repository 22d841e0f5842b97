#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <thread>

#include "engine/ArchiveThreads.h"
#include "engine/BackupRun.h"
#include "io/ReplacingFile.h"
#include "restore/RestoreTesting.h"
#include "support/LogCapture.h"
#include "support/Tools.h"

namespace corvane {
namespace {

using namespace test;
namespace fs = std::filesystem;

// Every path below `root` with its type and permission bits and modification second.
QStringList LookOf(const QString& root) {
    QStringList look;
    for (const auto& entry : fs::recursive_directory_iterator(root.toStdString())) {
        struct stat info {};
        ::lstat(entry.path().c_str(), &info);
        look << QString("%1 %2 %3")
                    .arg(
                        QString::fromStdString(entry.path().lexically_relative(root.toStdString())))
                    .arg(info.st_mode, 0, 8)
                    .arg(S_ISLNK(info.st_mode) ? 0 : info.st_mtim.tv_sec);
    }
    look.sort();
    return look;
}

// Sets `stop` as soon as the restore has begun writing files below `root`.
void StopWhileWriting(const std::string& root, std::atomic<bool>& stop,
                      const std::atomic<bool>& done) {
    while (!done && !stop) {
        std::error_code ec;
        for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end;
             it.increment(ec)) {
            stop = stop || IsTemporaryName(QByteArray(it->path().filename().c_str())) ||
                   it->path().filename() == "f0.bin";
        }
    }
}

class ParallelRestoreTest : public ::testing::TestWithParam<std::tuple<qint32, int>> {
  protected:
    void SetUp() override {
        qputenv("CORVANE_HOME", QFile::encodeName(m_dir.File("data")));
        for (int i = 0; i < 24; ++i) {
            // Some files span many read buffers, so a stop finds them half-written; the
            // first one takes long enough that the watcher sees it begin even when the
            // workers hold both cores.
            const qsizetype size = i == 0       ? 16 * 1024 * 1024
                                   : i % 6 == 0 ? 3 * 1024 * 1024
                                                : 700 * i;
            const QString name = QString("live/Tree/d%1/f%2.bin").arg(i % 4).arg(i);
            SetMtime(m_dir.Write(name, RandomBytes(size, unsigned(i))), 1700000000 + 2 * i);
        }
        ::chmod(QFile::encodeName(m_dir.File("live/Tree/d1/f5.bin")), 0640);
        ::chmod(QFile::encodeName(m_dir.File("live/Tree/d2")), 0750);
        fs::create_symlink("f3.bin", m_dir.File("live/Tree/d3/link").toStdString());
        QDir().mkpath(m_dir.File("live/Tree/empty"));
        m_original = TreeOf(m_dir.File("live/Tree"));
        m_task = m_tasks.NewTask("Tree", kTaskBackup);
        m_task->backupMode = std::get<0>(GetParam());
        m_task->destination.path = m_dir.File("backup");
        m_task->archiveName = "tree.zip";
        m_task->items = {MakePathItem(m_dir.File("live/Tree/"), kItemFolder, "Tree")};
        ASSERT_TRUE(RunBackup(m_tasks, 0, StopSignal()));
    }
    void TearDown() override { SetArchiveThreads(0); }

    // Restores into an emptied tree that holds only the user's own d0/f4.bin, left
    // unchecked.
    bool RestoreWith(int threads) {
        Prepare(threads);
        return Restore();
    }
    void Prepare(int threads) {
        SetArchiveThreads(threads);
        QDir(m_dir.File("live/Tree")).removeRecursively();
        SetMtime(m_dir.Write("live/Tree/d0/f4.bin", "mine"), 1600000000);
        m_questions.stop = false;
        m_questions.edit = [](std::vector<RestoreItem>& items) {
            for (RestoreItem& item : items) {
                item.checked = !item.archiveName.endsWith("d0/f4.bin");
            }
        };
    }
    bool Restore() { return RunRestore(m_tasks, 0, m_questions, StopSignal(&m_questions.stop)); }

    TempDir m_dir;
    TaskList m_tasks;
    TaskRecord* m_task = nullptr;
    ScriptedQuestions m_questions;
    LogCapture m_log;
    QStringList m_original;
};

TEST_P(ParallelRestoreTest, EqualsTheOneThreadRestore) {
    ASSERT_TRUE(RestoreWith(1));
    const QStringList oneThreadTree = TreeOf(m_dir.File("live/Tree"));
    const QStringList oneThreadLook = LookOf(m_dir.File("live/Tree"));
    ASSERT_TRUE(RestoreWith(std::get<1>(GetParam())));
    EXPECT_EQ(TreeOf(m_dir.File("live/Tree")), oneThreadTree);
    EXPECT_EQ(LookOf(m_dir.File("live/Tree")), oneThreadLook);
    QStringList expected = m_original;
    expected.replaceInStrings(
        QRegularExpression("^d0/f4.bin=.*", QRegularExpression::DotMatchesEverythingOption),
        "d0/f4.bin=mine");
    EXPECT_EQ(oneThreadTree, expected);
    // The unchecked file stays out of the count whatever the thread count.
    EXPECT_EQ(m_log.Texts().filter("24 items ").size(), 2);
}

TEST_P(ParallelRestoreTest, StopLeavesNoPartialFileAndNoTemporary) {
    Prepare(std::get<1>(GetParam()));
    std::atomic<bool> done = false;
    std::thread watcher(StopWhileWriting, m_dir.File("live/Tree").toStdString(),
                        std::ref(m_questions.stop), std::cref(done));
    Restore();
    done = true;
    watcher.join();
    ASSERT_TRUE(m_questions.stop.load());
    const QStringList restored = TreeOf(m_dir.File("live/Tree"));
    EXPECT_LT(restored.size(), m_original.size());
    for (const QString& line : restored) {
        EXPECT_FALSE(IsTemporaryName(QFile::encodeName(line.section('/', -1))));
        EXPECT_TRUE(line.endsWith('/') || line == "d0/f4.bin=mine" || m_original.contains(line))
            << qPrintable(line.left(40));
    }
}

INSTANTIATE_TEST_SUITE_P(MethodsAndThreads, ParallelRestoreTest,
                         ::testing::Combine(::testing::Values(kMethodZip, kMethodCopy),
                                            ::testing::Values(1, 2, 8)));

}  // namespace
}  // namespace corvane
