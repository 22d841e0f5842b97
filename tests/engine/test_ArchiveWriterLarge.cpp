// One archive past both 32-bit limits of ZIP: a stored entry of more than 4 GiB, which
// also puts the entries after it more than 4 GiB into the archive. The source is a sparse
// file (no disk, fast to read); the archive is really written (about 4.2 GB). Labelled
// "slow" by the build.

#include <QFile>
#include <QStorageInfo>

#include <gtest/gtest.h>

#include "engine/ArchiveWriter.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/Tools.h"

namespace corvane {
namespace {

constexpr qint64 k4GiB = qint64(4096) * 1024 * 1024;

TEST(ArchiveWriterLargeTest, EntryAndOffsetsPast4GiBAreZip64) {
    test::TempDir dir;
    const qint64 bigSize = k4GiB + 100 * 1024 * 1024;
    if (QStorageInfo(dir.Path()).bytesAvailable() < bigSize + k4GiB / 4) {
        GTEST_SKIP() << "not enough free space";
    }
    // Marks on both sides of 4 GiB: a size or CRC kept in 32 bits would show.
    QFile big(dir.File("big.bin"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(bigSize));
    for (const qint64 at : {qint64(0), k4GiB - 3, k4GiB + 5, bigSize - 4}) {
        ASSERT_TRUE(big.seek(at) && big.write("mark") == 4);
    }
    big.close();
    ArchiveList list;
    list.Add(dir.Write("before.txt", "near"), "before.txt", false);
    list.Add(big.fileName(), "big.bin", false);
    list.Add(dir.Write("after.txt", "far away"), "after.txt", false);
    list.Add(dir.Path(), "folder/", false);
    test::LogCapture log;
    const QString archive = dir.File("far.zip");
    // Level 0 stores the bytes: the archive itself grows past 4 GiB.
    ASSERT_TRUE(WriteArchive(list, archive, 0, {}, StopSignal()))
        << log.Texts().join('\n').toStdString();
    QFile::remove(big.fileName());

    const test::ToolResult unzip = test::RunTool("unzip", {"-tq", archive});
    EXPECT_EQ(unzip.exitCode, 0) << unzip.output.toStdString();
    const test::ToolResult seven = test::RunTool("7z", {"t", archive});
    EXPECT_TRUE(seven.output.contains("Everything is Ok")) << seven.output.toStdString();
    // Per entry: size, offset past 4 GiB, ZIP64 extra field, Unix file type; then a read.
    const test::ToolResult python = test::RunPython(
        "import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "for i in z.infolist():\n"
        "    print(i.filename, i.file_size, i.header_offset > 1 << 32, len(i.extra) > 0,\n"
        "          i.create_system, oct(i.external_attr >> 28))\n"
        "print(z.read('after.txt').decode())\n",
        {archive});
    EXPECT_EQ(python.output, QString("before.txt 4 False False 3 0o10\n"
                                     "big.bin %1 False True 3 0o10\n"
                                     "after.txt 8 True True 3 0o10\n"
                                     "folder/ 0 True True 3 0o4\n"
                                     "far away\n")
                                 .arg(bigSize));
}

}  // namespace
}  // namespace corvane
