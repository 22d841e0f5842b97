// Archives past the 32-bit limits of ZIP: an entry larger than 4 GiB, and entries that
// lie more than 4 GiB into the archive. The sources are sparse files, so they cost no
// disk; the second archive is really written (about 4.4 GB) and removed at the end.
// Slow: about a minute in all.

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStorageInfo>

#include <gtest/gtest.h>

#include "engine/ArchiveWriter.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/Tools.h"

namespace corvane {
namespace {

using test::RunTool;
using test::ToolResult;

using test::TempDir;

constexpr qint64 kMiB = 1024 * 1024;
constexpr qint64 k4GiB = 4096 * kMiB;

// Python's zipfile: the central directory as it reads it, and one entry's content.
const char* const kPythonScript = R"(
import json, sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
print(json.dumps({'read': z.read(sys.argv[2]).decode('latin-1'), 'entries': [
    {'name': i.filename, 'size': i.file_size, 'offset': i.header_offset,
     'system': i.create_system, 'extra': i.extra.hex(), 'attr': i.external_attr >> 16}
    for i in z.infolist()]}))
)";

struct PyEntry {
    QString name;
    qint64 size = 0;
    qint64 offset = 0;
    int system = 0;
    QString extra;
    int mode = 0;
};

std::vector<PyEntry> PythonEntries(const QString& archive, const QString& readName,
                                   QString& content) {
    const ToolResult run = RunTool("/usr/bin/python3", {"-c", kPythonScript, archive, readName});
    EXPECT_EQ(run.exitCode, 0) << run.output.toStdString();
    const QJsonObject root = QJsonDocument::fromJson(run.output.toUtf8()).object();
    content = root["read"].toString();
    std::vector<PyEntry> entries;
    for (const QJsonValue& value : root["entries"].toArray()) {
        const QJsonObject o = value.toObject();
        entries.push_back({o["name"].toString(), qint64(o["size"].toDouble()),
                           qint64(o["offset"].toDouble()), o["system"].toInt(),
                           o["extra"].toString(), o["attr"].toInt()});
    }
    return entries;
}

// A sparse file of `size` bytes with a few marks in it (so that its CRC is not that of
// zeros), among them marks on both sides of 4 GiB.
QString SparseFile(const TempDir& dir, const QString& name, qint64 size) {
    const QString path = dir.File(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_TRUE(file.resize(size));
    for (const qint64 at : {qint64(0), k4GiB - 3, k4GiB + 5, size - 4}) {
        file.seek(at);
        file.write("mark");
    }
    return path;
}

bool EnoughRoom(const QString& folder, qint64 bytes) {
    return QStorageInfo(folder).bytesAvailable() > bytes;
}

TEST(ArchiveWriterLargeTest, EntryLargerThan4GiB) {
    TempDir dir;
    if (!EnoughRoom(dir.Path(), 1024 * kMiB)) {
        GTEST_SKIP() << "not enough free space";
    }
    const qint64 bigSize = 4600 * kMiB;
    ArchiveList list;
    list.Add(SparseFile(dir, "big.bin", bigSize), "big.bin", false);
    list.Add(dir.Write("after.txt", "after the big one"), "after.txt", false);
    const QString archive = dir.File("big.zip");
    test::LogCapture log;
    ASSERT_TRUE(WriteArchive(list, archive, 1, {}, StopSignal()))
        << log.Texts().join("\n").toStdString();

    const ToolResult unzip = RunTool("unzip", {"-tq", archive});
    EXPECT_EQ(unzip.exitCode, 0) << unzip.output.toStdString();
    const ToolResult seven = RunTool("7z", {"t", archive});
    EXPECT_EQ(seven.exitCode, 0) << seven.output.toStdString();
    EXPECT_TRUE(seven.output.contains("Everything is Ok")) << seven.output.toStdString();

    QString content;
    const std::vector<PyEntry> entries = PythonEntries(archive, "after.txt", content);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(content, "after the big one");
    EXPECT_EQ(entries[0].size, bigSize);
    EXPECT_FALSE(entries[0].extra.isEmpty());  // ZIP64 sizes
    EXPECT_TRUE(entries[1].extra.isEmpty());   // a small entry has no ZIP64 field
    for (const PyEntry& entry : entries) {
        EXPECT_EQ(entry.system, 3) << entry.name.toStdString();  // still made by Unix
        EXPECT_EQ(entry.mode & 0170000, 0100000) << entry.name.toStdString();
    }
}

TEST(ArchiveWriterLargeTest, EntriesMoreThan4GiBIntoTheArchive) {
    // Level 0 stores the sparse file's bytes: the entries after it start past 4 GiB.
    TempDir dir;
    const qint64 bigSize = 4200 * kMiB;
    if (!EnoughRoom(dir.Path(), bigSize + 1024 * kMiB)) {
        GTEST_SKIP() << "not enough free space";
    }
    ArchiveList list;
    list.Add(SparseFile(dir, "big.bin", bigSize), "big.bin", false);
    list.Add(dir.Write("after.txt", "far away"), "after.txt", false);
    list.Add(dir.Path(), "folder/", false);
    const QString archive = dir.File("far.zip");
    ASSERT_TRUE(WriteArchive(list, archive, 0, {}, StopSignal()));
    EXPECT_GT(QFile(archive).size(), bigSize);

    QString content;
    const std::vector<PyEntry> entries = PythonEntries(archive, "after.txt", content);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(content, "far away");
    EXPECT_GT(entries[1].offset, k4GiB);
    EXPECT_GT(entries[2].offset, k4GiB);
    for (const PyEntry& entry : entries) {
        EXPECT_EQ(entry.system, 3) << entry.name.toStdString();
        EXPECT_FALSE(entry.extra.isEmpty()) << entry.name.toStdString();  // ZIP64 fields
    }
    EXPECT_EQ(entries[2].mode & 0170000, 0040000);

    const ToolResult unzip = RunTool("unzip", {"-tq", archive});
    EXPECT_EQ(unzip.exitCode, 0) << unzip.output.toStdString();
    const ToolResult seven = RunTool("7z", {"t", archive});
    EXPECT_EQ(seven.exitCode, 0) << seven.output.toStdString();
    const ToolResult info = RunTool("zipinfo", {archive});
    EXPECT_EQ(info.output.count(" unx "), 3) << info.output.toStdString();
    QFile::remove(archive);  // 4.4 GB: gone before the next test
}

}  // namespace
}  // namespace corvane
