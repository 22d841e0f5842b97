// The archive writer on several threads: the same archive whatever the thread count,
// read back by unzip, 7z and Python, and a stop that ends every worker at once.

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "engine/ArchiveWriter.h"
#include "model/FileName.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/Tools.h"

namespace corvane {
namespace {

using test::ReadAll;
using test::RunTool;
using test::TempDir;
using test::ToolResult;

// Every entry's bytes against its source, after zipfile's own CRC check.
const char* const kPythonCompare = R"(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
z.setpassword(sys.argv[2].encode())
pairs = sys.argv[3:]
for name, path in zip(pairs[0::2], pairs[1::2]):
    assert z.read(name) == open(path, 'rb').read(), name
print('bad:', z.testzip(), len(z.infolist()))
)";

class ParallelDeflateTest : public ::testing::TestWithParam<std::tuple<int, const char*>> {};

TEST_P(ParallelDeflateTest, EveryThreadCountWritesTheSameArchive) {
    const auto& [level, password] = GetParam();
    TempDir dir;
    ArchiveList list;
    QStringList pairs;
    const auto add = [&](const QString& name, const QByteArray& bytes) {
        list.Add(dir.Write("src/" + name, bytes), name, false);
        pairs << name << dir.File("src/" + name);
    };
    const QByteArray prose = QByteArray("Blocks primed with the data before them. ").repeated(9000);
    add("small.txt", "a few bytes");
    add("empty.txt", {});
    // Several blocks of mixed data, and data that ends exactly on a block boundary.
    add("blocks.bin", prose + test::RandomBytes(300000, 3) + prose);
    add("boundary.bin", prose.left(262144));
    QDir().mkpath(dir.File("src/folder"));
    list.Add(dir.File("src/folder"), "folder/", false);
    ASSERT_EQ(::symlink("small.txt", FileNameToBytes(dir.File("src/link")).constData()), 0);
    list.AddLink(dir.File("src/link"), "link");
    test::LogCapture log;

    QByteArray first;
    for (const int threads : {1, 2, 8}) {
        const QString archive = dir.File(QString("out%1.zip").arg(threads));
        ASSERT_TRUE(WriteArchive(list, archive, level, password, StopSignal(), threads))
            << log.Texts().join("\n").toStdString();
        const QStringList unzipPassword = *password ? QStringList{"-P", password} : QStringList();
        const ToolResult unzip = RunTool("unzip", unzipPassword + QStringList{"-t", archive});
        EXPECT_TRUE(unzip.output.contains("No errors detected")) << unzip.output.toStdString();
        const ToolResult seven = RunTool("7z", {"t", archive, QString("-p") + password});
        EXPECT_TRUE(seven.output.contains("Everything is Ok")) << seven.output.toStdString();
        const ToolResult python = test::RunPython(
            kPythonCompare, QStringList{archive, QString::fromUtf8(password)} + pairs);
        EXPECT_EQ(python.output, "bad: None 6\n");
        // With a password every entry has fresh random cipher bytes: only the content,
        // checked above, is the same.
        if (first.isNull()) {
            first = ReadAll(archive);
        } else if (!*password) {
            EXPECT_EQ(ReadAll(archive), first) << threads << " threads";
        }
    }
    EXPECT_TRUE(log.Texts().isEmpty()) << log.Texts().join("\n").toStdString();
}

INSTANTIATE_TEST_SUITE_P(Levels, ParallelDeflateTest,
                         ::testing::Values(std::tuple{6, ""}, std::tuple{0, ""}, std::tuple{9, ""},
                                           std::tuple{6, "secret"}));

TEST(ParallelDeflateStopTest, StopEndsEveryWorkerWithinASecond) {
    TempDir dir;
    // Gigabytes of zeros without using the disk: more than the workers finish in the
    // time before the stop.
    QFile big(dir.File("big.bin"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(qint64(3) << 30));
    big.close();
    ArchiveList list;
    list.Add(big.fileName(), "big.bin", false);
    list.Add(big.fileName(), "again.bin", false);
    const QString archive = dir.File("stopped.zip");
    std::atomic<bool> stop{false};
    std::atomic<qint64> stoppedAt{0};
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stoppedAt = std::chrono::steady_clock::now().time_since_epoch().count();
        stop = true;
    });
    const bool written = WriteArchive(list, archive, 9, {}, StopSignal(&stop), 8);
    const auto returnedAt = std::chrono::steady_clock::now().time_since_epoch().count();
    stopper.join();
    EXPECT_FALSE(written);
    EXPECT_LT(std::chrono::steady_clock::duration(returnedAt - stoppedAt.load()),
              std::chrono::seconds(1));
    EXPECT_FALSE(QFile::exists(archive));
    EXPECT_FALSE(QFile::exists(TemporaryArchivePath(archive)));
}

}  // namespace
}  // namespace corvane
