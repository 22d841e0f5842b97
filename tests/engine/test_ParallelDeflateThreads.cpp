// The archive writer on several threads: the same archive whatever the thread count,
// read back by unzip, 7z and Python (AES archives by 7z and bsdtar), and a stop that ends
// every worker at once.

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

struct Row {
    int level;
    const char* password;
    ArchiveCipher cipher = kCipherTraditional;
};
const Row kRows[] = {{6, ""}, {0, ""}, {9, ""}, {6, "secret"}, {6, "s\xc3\xa9same", kCipherAes256}};
constexpr int kThreadCounts[] = {1, 2, 8};

// Every archive is written before any tool runs: once QProcess has started a program,
// ThreadSanitizer no longer sees the main thread's locks and reports races that are
// none.
class ParallelDeflateTest : public ::testing::TestWithParam<size_t> {
  public:
    // AES entries (unzip and zipfile know no method 99): bsdtar extracts the same bytes;
    // every file entry has method 99 and CRC field 0, the folder and the link (which
    // bsdtar could not read encrypted) none.
    static void ExpectAesArchive(const QString& archive, const QString& password, int threads) {
        const QString out = s_dir->File(QString("aes%1").arg(threads));
        QDir().mkpath(out);
        const ToolResult bsdtar =
            RunTool("bsdtar", {"-xf", archive, "--passphrase", password, "-C", out});
        EXPECT_EQ(bsdtar.exitCode, 0) << bsdtar.output.toStdString();
        for (qsizetype i = 0; i + 1 < s_pairs.size(); i += 2) {
            EXPECT_EQ(ReadAll(out + '/' + s_pairs[i]), ReadAll(s_pairs[i + 1]))
                << s_pairs[i].toStdString();
        }
        const ToolResult entries = test::RunPython(
            "import sys, zipfile\n"
            "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
            "    print(i.filename, i.compress_type, i.flag_bits & 1, i.CRC == 0)\n",
            {archive});
        EXPECT_EQ(entries.output,
                  "small.txt 99 1 True\nempty.txt 99 1 True\nblocks.bin 99 1 True\n"
                  "boundary.bin 99 1 True\nfolder/ 8 0 True\nlink 8 0 False\n");
    }

    static void SetUpTestSuite() {
        s_dir = new TempDir;
        s_list = new ArchiveList;
        const auto add = [](const QString& name, const QByteArray& bytes) {
            s_list->Add(s_dir->Write("src/" + name, bytes), name, false);
            s_pairs << name << s_dir->File("src/" + name);
        };
        const QByteArray prose =
            QByteArray("Blocks primed with the data before them. ").repeated(9000);
        add("small.txt", "a few bytes");
        add("empty.txt", {});
        // Several blocks of mixed data, and data that ends exactly on a block boundary.
        add("blocks.bin", prose + test::RandomBytes(300000, 3) + prose);
        add("boundary.bin", prose.left(262144));
        QDir().mkpath(s_dir->File("src/folder"));
        s_list->Add(s_dir->File("src/folder"), "folder/", false);
        if (::symlink("small.txt", FileNameToBytes(s_dir->File("src/link")).constData()) != 0) {
            ADD_FAILURE() << "no link";
        }
        s_list->AddLink(s_dir->File("src/link"), "link");
        test::LogCapture log;
        for (size_t row = 0; row < std::size(kRows); ++row) {
            for (const int threads : kThreadCounts) {
                s_written[row] +=
                    WriteArchive(*s_list, Archive(row, threads), kRows[row].level,
                                 kRows[row].password, StopSignal(), threads, kRows[row].cipher);
            }
        }
        s_log = log.Texts();
    }
    static void TearDownTestSuite() {
        delete s_list;
        delete s_dir;
    }
    static QString Archive(size_t row, int threads) {
        return s_dir->File(QString("out%1-%2.zip").arg(row).arg(threads));
    }

    static inline TempDir* s_dir = nullptr;
    static inline ArchiveList* s_list = nullptr;
    static inline QStringList s_pairs;
    static inline int s_written[std::size(kRows)] = {};
    static inline QStringList s_log;
};

TEST_P(ParallelDeflateTest, EveryThreadCountWritesTheSameArchive) {
    const size_t row = GetParam();
    const QString password = QString::fromUtf8(kRows[row].password);
    ASSERT_EQ(s_written[row], int(std::size(kThreadCounts))) << s_log.join("\n").toStdString();
    EXPECT_TRUE(s_log.isEmpty()) << s_log.join("\n").toStdString();
    for (const int threads : kThreadCounts) {
        const QString archive = Archive(row, threads);
        const ToolResult seven = RunTool("7z", {"t", archive, "-p" + password});
        EXPECT_TRUE(seven.output.contains("Everything is Ok")) << seven.output.toStdString();
        if (kRows[row].cipher == kCipherAes256) {
            ExpectAesArchive(archive, password, threads);
            continue;
        }
        const QStringList unzipPassword =
            password.isEmpty() ? QStringList() : QStringList{"-P", password};
        const ToolResult unzip = RunTool("unzip", unzipPassword + QStringList{"-t", archive});
        EXPECT_TRUE(unzip.output.contains("No errors detected")) << unzip.output.toStdString();
        const ToolResult python =
            test::RunPython(kPythonCompare, QStringList{archive, password} + s_pairs);
        EXPECT_EQ(python.output, "bad: None 6\n");
        // With a password every entry has fresh random cipher bytes: only the content,
        // checked above, is the same.
        if (password.isEmpty()) {
            EXPECT_EQ(ReadAll(archive), ReadAll(Archive(row, 1))) << threads << " threads";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, ParallelDeflateTest,
                         ::testing::Range(size_t(0), std::size(kRows)));

}  // namespace
}  // namespace corvane
