// The archive writer against real files and real ZIP tools: unzip, 7z and Python's
// zipfile must read what it writes, names, times, modes, links and passwords included.

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <optional>

#include <gtest/gtest.h>

#include "engine/ArchiveWriter.h"
#include "engine/DosTime.h"
#include "engine/FileSizeLimit.h"
#include "log/ProgressModel.h"
#include "model/FileName.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/Tools.h"

namespace corvane {
namespace {

using test::LogCapture;
using test::ReadAll;
using test::RunTool;
using test::TempDir;
using test::ToolResult;

// Python's zipfile: one line of header fields per entry, then what testzip says after
// reading every entry (with the password when one is given).
const char* const kPythonHeaders = R"(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
if len(sys.argv) > 2:
    z.setpassword(sys.argv[2].encode('utf-8'))
for i in z.infolist():
    print(i.filename, oct(i.external_attr >> 16), i.external_attr & 0xFFFF, *i.date_time,
          i.create_system, i.create_version, i.internal_attr, i.compress_type,
          len(i.extra) + len(i.comment) + len(z.comment), i.flag_bits)
print('bad:', z.testzip())
)";

QString PythonHeaders(const QString& archive, const QString& password = {}) {
    QStringList arguments = {archive};
    if (!password.isEmpty()) {
        arguments << password;
    }
    const ToolResult run = test::RunPython(kPythonHeaders, arguments);
    return run.exitCode == 0 ? run.output : "failed: " + run.output;
}

QStringList UnzipPassword(const QString& password) {
    return password.isEmpty() ? QStringList() : QStringList{"-P", password};
}

void ExpectToolsAccept(const QString& archive, const QString& password) {
    const ToolResult unzip = RunTool("unzip", UnzipPassword(password) + QStringList{"-t", archive});
    EXPECT_TRUE(unzip.exitCode == 0 && unzip.output.contains("No errors detected"))
        << unzip.output.toStdString();
    // 7z takes "-p" alone as no password.
    const ToolResult seven = RunTool("7z", {"t", archive, "-p" + password});
    EXPECT_TRUE(seven.exitCode == 0 && seven.output.contains("Everything is Ok"))
        << seven.output.toStdString();
}

void SetModeAndTime(const QString& path, mode_t mode, const char* localTime) {
    EXPECT_TRUE(mode == 0 || ::chmod(FileNameToBytes(path).constData(), mode) == 0);
    EXPECT_EQ(RunTool("touch", {"-h", "-d", localTime, path}).exitCode, 0);
}

// Every kind of entry with fixed modes and times, so that the headers are known exactly.
struct SourceTree {
    explicit SourceTree(const TempDir& dir) {
        const QString root = dir.File("src");
        const QString readme =
            dir.Write("src/docs/readme.txt", QByteArray("All work and no play. ").repeated(500));
        const QString random = dir.Write("src/docs/random.bin", test::RandomBytes(200000, 7));
        const QString empty = dir.Write("src/docs/empty.txt", {});
        const QString unicode = dir.Write("src/docs/Grüße €ü 日本.txt", "non-ASCII name\n");
        QDir().mkpath(root + "/empty");
        EXPECT_EQ(::symlink("docs/readme.txt", FileNameToBytes(root + "/link").constData()), 0);
        SetModeAndTime(readme, 0640, "2021-03-14 15:09:26");
        SetModeAndTime(random, 0755, "2019-12-31 23:59:59");  // odd seconds go down
        SetModeAndTime(empty, 0600, "1999-01-02 03:04:06");
        SetModeAndTime(unicode, 0644, "2010-10-10 10:10:10");
        SetModeAndTime(root + "/docs", 0700, "2001-02-03 04:05:06");
        SetModeAndTime(root + "/empty", 0750, "2020-02-29 12:00:00");
        SetModeAndTime(root + "/link", 0, "2002-02-02 02:02:02");

        list.Add(root + "/docs/", "Data/docs/", false);  // a folder's path may end in "/"
        list.Add(readme, "Data/docs/readme.txt", false);
        list.Add(random, "Data/docs/random.bin", false);
        list.Add(empty, "Data/docs/empty.txt", false);
        list.Add(unicode, "Data/docs/Grüße €ü 日本.txt", false);
        list.Add(root + "/empty", "Data/empty/", false);
        list.AddLink(root + "/link", "Data/link");
        // The same file again under a name that is no UTF-8: its bytes, without bit 11.
        list.Add(readme, FileNameFromBytes("caf\xE9.txt"), false);
    }
    ArchiveList list;
};

// What Python reads of the tree's archive: name, mode, DOS attributes, time; then the
// general-purpose flags without the level's bits and the encryption bit.
const std::pair<const char*, int> kTreeHeaders[] = {
    {"Data/docs/ 0o40700 16 2001 2 3 4 5 6", 2048},
    {"Data/docs/readme.txt 0o100640 0 2021 3 14 15 9 26", 2048},
    {"Data/docs/random.bin 0o100755 0 2019 12 31 23 59 58", 2048},
    {"Data/docs/empty.txt 0o100600 0 1999 1 2 3 4 6", 2048},
    {"Data/docs/Grüße €ü 日本.txt 0o100644 0 2010 10 10 10 10 10", 2048},
    {"Data/empty/ 0o40750 16 2020 2 29 12 0 0", 2048},
    {"Data/link 0o120777 0 2002 2 2 2 2 2", 2048},
    {"cafΘ.txt 0o100640 0 2021 3 14 15 9 26", 0},  // Python reads it as code page 437
};

// The compression level, the general-purpose bits 1-2 it gives, and the password.
class ArchiveWriterLevelTest : public ::testing::TestWithParam<std::tuple<int, int, const char*>> {
};

TEST_P(ArchiveWriterLevelTest, EveryToolReadsWhatWasPacked) {
    const auto& [level, levelFlags, utf8Password] = GetParam();
    const QString password = QString::fromUtf8(utf8Password);
    TempDir dir;
    SourceTree tree(dir);
    const QString archive = dir.Write("out/backup.zip", "older");
    dir.Write("out/backup.zi~", "left over by a crash");
    LogCapture log;

    ASSERT_TRUE(WriteArchive(tree.list, archive, level, password, StopSignal()));
    EXPECT_TRUE(log.Texts().isEmpty()) << log.Texts().join("\n").toStdString();
    EXPECT_EQ(QDir(dir.File("out")).entryList(QDir::Files), QStringList{"backup.zip"});
    ExpectToolsAccept(archive, password);

    QString expected;
    for (const auto& [fields, nameFlag] : kTreeHeaders) {
        const bool encrypted = !password.isEmpty() && !QString(fields).contains(" 0o40");
        expected += QString("%1 3 20 0 8 0 %2\n")
                        .arg(QString::fromUtf8(fields))
                        .arg(nameFlag | levelFlags | (encrypted ? 1 : 0));
    }
    EXPECT_EQ(PythonHeaders(archive, password), expected + "bad: None\n");

    // unzip gives back every file's bytes and the link (Python read the modes and times).
    const QStringList unzipArgs = {"-q", archive, "-d", dir.File("out/x")};
    ASSERT_EQ(RunTool("unzip", UnzipPassword(password) + unzipArgs).exitCode, 0);
    for (const ArchiveListEntry& entry : tree.list.Entries()) {
        if (!FileNameIsRaw(entry.nameInArchive)) {  // how unzip names it is its own choice
            EXPECT_EQ(ReadAll(dir.File("out/x/" + entry.nameInArchive)), ReadAll(entry.sourcePath))
                << entry.nameInArchive.toStdString();
        }
    }
    EXPECT_EQ(QFile::symLinkTarget(dir.File("out/x/Data/link")),
              dir.File("out/x/Data/docs/readme.txt"));

    if (!password.isEmpty()) {
        EXPECT_TRUE(PythonHeaders(archive).startsWith("failed"));
        EXPECT_NE(RunTool("unzip", {"-t", "-P", "wrong", archive}).exitCode, 0);
        // The cipher header's random bytes: the same files give other archive bytes.
        const QString again = dir.File("again.zip");
        ASSERT_TRUE(WriteArchive(tree.list, again, level, password, StopSignal()));
        EXPECT_NE(ReadAll(again), ReadAll(archive));
    }
}

// Levels zlib does not know are taken as 9.
INSTANTIATE_TEST_SUITE_P(Levels, ArchiveWriterLevelTest,
                         ::testing::Values(std::tuple{0, 0, ""}, std::tuple{1, 6, ""},
                                           std::tuple{2, 4, ""}, std::tuple{6, 0, ""},
                                           std::tuple{9, 2, ""}, std::tuple{-1, 2, ""},
                                           std::tuple{12, 2, ""}, std::tuple{6, 0, "pässwörd €"},
                                           std::tuple{0, 0, "pw"}));

// Failures: the archive fails with one reason, the temporary file goes, an older archive
// stays as it was. The source is a path in the test's folder unless absolute ("pipe" is
// made a FIFO, a name ending in "/" a folder entry); one ending in ".zip" is the archive
// instead ("older.zip" an older archive, "taken.zip" a folder with content, which the
// rename cannot replace).
struct FailureCase {
    const char* name;
    const char* source;
    const char* password;
    const char* logLine;  // %1 the failing source, %2 the archive, %3 its temporary
};

class ArchiveWriterFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ArchiveWriterFailureTest, FailedArchiveLeavesTheOlderOneAlone) {
    const FailureCase& c = GetParam();
    TempDir dir;
    const QString source = QDir(dir.Path()).filePath(c.source);
    if (!source.startsWith(dir.Path()) && !QFileInfo::exists(source)) {
        GTEST_SKIP() << c.source << " is not available here";
    }
    if (source.endsWith("/pipe")) {
        ASSERT_EQ(::mkfifo(FileNameToBytes(source).constData(), 0600), 0);
    } else if (source.endsWith("/taken.zip")) {
        dir.Write("taken.zip/keep.txt", "keep");
    } else if (source.endsWith("/older.zip")) {
        dir.Write("older.zip", "older");
    }
    const bool badArchive = source.endsWith(".zip");
    const QString archive = badArchive ? source : dir.Write("backup.zip", "older");
    const QByteArray before = ReadAll(archive);

    ArchiveList list;
    list.Add(dir.Write("first.txt", "first"), "first.txt", false);
    if (!badArchive) {
        list.Add(source, source.endsWith('/') ? "bad/" : "bad.txt", false);
    }
    list.Add(dir.Write("last.txt", test::RandomBytes(300000)), "last.txt", false);

    LogCapture log;
    bool written = true;
    {
        std::optional<test::FileSizeLimit> limit;
        if (QByteArray(c.name) == "WriteError") {
            limit.emplace(65536);
        }
        written = WriteArchive(list, archive, 0, c.password, StopSignal());
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadAll(archive), before);
    EXPECT_FALSE(QFileInfo::exists(TemporaryArchivePath(archive)));
    EXPECT_EQ(log.Texts().size(), 1) << log.Texts().join("\n").toStdString();
    EXPECT_EQ(log.CountEndingWith(QString(c.logLine)
                                      .replace("%1", source)
                                      .replace("%2", archive)
                                      .replace("%3", TemporaryArchivePath(archive))),
              1)
        << log.Texts().join("\n").toStdString();
}

const char kCannotAdd[] = "  Error: cannot add %1 to zip";
const char kCannotRead[] = "  Error: cannot read file %1";
const char kChanged[] = "  Error: file %1 changed while it was archived";

// Reading a process's own memory at offset 0 (never mapped) fails; sysfs reports 4096
// bytes for an attribute that reads as a few; the I/O counters grow with every read, so
// the two passes of an encrypted entry differ.
INSTANTIATE_TEST_SUITE_P(
    Sources, ArchiveWriterFailureTest,
    ::testing::Values(FailureCase{"VanishedFile", "gone.txt", "", kCannotAdd},
                      FailureCase{"VanishedFileWithPassword", "gone.txt", "pw", kCannotAdd},
                      FailureCase{"Fifo", "pipe", "", kCannotAdd},
                      FailureCase{"FolderAsFile", ".", "", kCannotAdd},
                      FailureCase{"VanishedFolder", "no/", "", kCannotAdd},
                      FailureCase{"ReadError", "/proc/self/mem", "", kCannotRead},
                      FailureCase{"ReadErrorWithPassword", "/proc/self/mem", "pw", kCannotRead},
                      FailureCase{"Shrank", "/sys/devices/system/cpu/online", "", kChanged},
                      FailureCase{"ShrankWithPassword", "/sys/devices/system/cpu/online", "pw",
                                  kChanged},
                      FailureCase{"ChangedBetweenPasses", "/proc/self/io", "pw", kChanged},
                      FailureCase{"MissingFolder", "x/a.zip", "",
                                  "  Error: cannot create file %3: No such file or directory"},
                      FailureCase{"RenameRefused", "taken.zip", "",
                                  "  Error: cannot move %3 to %2: Is a directory"},
                      FailureCase{"WriteError", "older.zip", "",
                                  "  Error: cannot write file %2: File too large"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ArchiveWriterTest, SizeZeroFilesAreReadToTheirEnd) {
    // Without a password there is one pass: a file whose size says 0 is read until the
    // read answers nothing, as /proc files must be.
    if (!QFileInfo::exists("/proc/self/io")) {
        GTEST_SKIP() << "no /proc/self/io";
    }
    TempDir dir;
    ArchiveList list;
    list.Add("/proc/self/io", "io.txt", false);
    ASSERT_TRUE(WriteArchive(list, dir.File("proc.zip"), 6, {}, StopSignal()));
    const ToolResult unzip = RunTool("unzip", {"-p", dir.File("proc.zip")});
    EXPECT_TRUE(unzip.output.startsWith("rchar: ")) << unzip.output.toStdString();
}

TEST(ArchiveWriterTest, EmptyListGivesTheBareEndRecord) {
    TempDir dir;
    const QString archive = dir.File("empty.zip");
    ASSERT_TRUE(WriteArchive(ArchiveList(), archive, 9, "pw", StopSignal()));
    EXPECT_EQ(ReadAll(archive), QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0'));
}

TEST(ArchiveWriterTest, StopEndsTheArchiveAfterTheCurrentEntry) {
    TempDir dir;
    const QString archive = dir.Write("backup.zip", "older");
    ArchiveList list;
    for (const QString name : {"a", "b", "c", "d"}) {
        list.Add(dir.Write(name, "data"), name, false);
    }
    std::atomic<bool> stop{true};
    ProgressModel progress;
    SetProgressTarget(&progress);
    ShowProgress();
    const bool written = WriteArchive(list, archive, 6, {}, StopSignal(&stop));
    SetProgressTarget(nullptr);
    EXPECT_FALSE(written);
    EXPECT_EQ(ReadAll(archive), "older");
    EXPECT_FALSE(QFile::exists(dir.File("backup.zi~")));
    EXPECT_EQ(progress.Upper(), 4);
    EXPECT_EQ(progress.Position(), 0);  // one entry, then the stop
}

TEST(ArchiveWriterTest, TemporaryNameReplacesTheExtension) {
    // Each row: an archive ">" its temporary, which is never the archive itself.
    for (const QString row :
         {"/b/backup.zip>/b/backup.zi~", "/b/backup.2024.zip>/b/backup.2024.zi~",
          "/b/backup>/b/backup.zi~", "/b.d/backup>/b.d/backup.zi~", "/b/.backup>/b/.backup.zi~",
          "backup.ZIP>backup.zi~", "/b/backup.zi~>/b/backup.zi~~"}) {
        EXPECT_EQ(TemporaryArchivePath(row.section('>', 0, 0)), row.section('>', 1))
            << row.toStdString();
    }
}

TEST(DosTimeTest, OutOfRangeMomentsAreClampedAndBadFieldsRefused) {
    EXPECT_EQ(DosDateTimeFromUnix(0), quint32((1 << 5 | 1) << 16));  // 1970 -> 1980-01-01
    EXPECT_EQ(DosDateTimeFromUnix(time_t(5000000000LL)),             // year 2128
              quint32((127 << 9 | 12 << 5 | 31) << 16 | (23 << 11 | 59 << 5 | 29)));
    EXPECT_EQ(UnixFromDosDateTime(0), -1);                                       // month 0, day 0
    EXPECT_EQ(UnixFromDosDateTime(quint32((44 << 9 | 2 << 5 | 30) << 16)), -1);  // 30 Feb
    EXPECT_EQ(UnixFromDosDateTime(quint32((44 << 9 | 1 << 5 | 1) << 16 | 24 << 11)), -1);
}

}  // namespace
}  // namespace corvane
