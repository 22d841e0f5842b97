// The archive writer against real files and real ZIP tools: unzip, zipinfo, 7z and
// Python's zipfile must read what it writes, names, times, modes and passwords included.

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <zlib.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <atomic>
#include <ctime>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "engine/ArchiveWriter.h"
#include "engine/DosTime.h"
#include "log/Log.h"
#include "log/ProgressTarget.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/Tools.h"

namespace corvane {
namespace {

using test::RunTool;
using test::ToolResult;

using test::LogCapture;
using test::ReadAll;
using test::TempDir;

// ---------------------------------------------------------------------------------------
// Helpers: outside tools.

// Python's zipfile: every entry with its header fields and, in "read" mode, its data
// (read with the password when one is given; a wrong password makes the run fail).
const char* const kPythonScript = R"(
import base64, json, sys, zipfile
mode, path = sys.argv[1], sys.argv[2]
z = zipfile.ZipFile(path)
if len(sys.argv) > 3:
    z.setpassword(sys.argv[3].encode('utf-8'))
if mode == 'test':
    print(json.dumps({'bad': z.testzip(), 'count': len(z.infolist()),
                      'names': [i.filename for i in z.infolist()]}))
    sys.exit(0)
out = []
for i in z.infolist():
    e = {'name': i.filename, 'flags': i.flag_bits, 'system': i.create_system,
         'version': i.create_version, 'attr': i.external_attr, 'internal': i.internal_attr,
         'date': list(i.date_time), 'method': i.compress_type, 'size': i.file_size,
         'csize': i.compress_size, 'crc': i.CRC, 'extra': i.extra.hex(),
         'comment': i.comment.hex()}
    if mode == 'read':
        e['data'] = base64.b64encode(z.read(i)).decode()
    out.append(e)
print(json.dumps({'comment': z.comment.hex(), 'entries': out}))
)";

struct PyEntry {
    QString name;
    int flags = 0;
    int system = 0;
    int version = 0;
    quint32 attributes = 0;
    int internal = 0;
    QList<int> date;
    int method = 0;
    qint64 size = 0;
    qint64 compressedSize = 0;
    quint32 crc = 0;
    QString extra;
    QString comment;
    QByteArray data;
};

struct PyArchive {
    bool ok = false;
    QString error;
    QString comment;
    std::vector<PyEntry> entries;
};

PyArchive PythonRead(const QString& archive, const QString& password = {}, bool withData = true) {
    QStringList arguments = {"-c", kPythonScript, withData ? "read" : "list", archive};
    if (!password.isEmpty()) {
        arguments << password;
    }
    const ToolResult run = RunTool("/usr/bin/python3", arguments);
    PyArchive result;
    if (run.exitCode != 0) {
        result.error = run.output;
        return result;
    }
    const QJsonObject root = QJsonDocument::fromJson(run.output.toUtf8()).object();
    result.ok = true;
    result.comment = root["comment"].toString();
    for (const QJsonValue& value : root["entries"].toArray()) {
        const QJsonObject o = value.toObject();
        PyEntry e;
        e.name = o["name"].toString();
        e.flags = o["flags"].toInt();
        e.system = o["system"].toInt();
        e.version = o["version"].toInt();
        e.attributes = quint32(o["attr"].toDouble());
        e.internal = o["internal"].toInt();
        for (const QJsonValue& part : o["date"].toArray()) {
            e.date << part.toInt();
        }
        e.method = o["method"].toInt();
        e.size = qint64(o["size"].toDouble());
        e.compressedSize = qint64(o["csize"].toDouble());
        e.crc = quint32(o["crc"].toDouble());
        e.extra = o["extra"].toString();
        e.comment = o["comment"].toString();
        e.data = QByteArray::fromBase64(o["data"].toString().toLatin1());
        result.entries.push_back(e);
    }
    return result;
}

// Python's testzip over every entry: the number of entries, or -1 when one is bad.
int PythonTestCount(const QString& archive, QStringList* names = nullptr) {
    const ToolResult run = RunTool("/usr/bin/python3", {"-c", kPythonScript, "test", archive});
    if (run.exitCode != 0) {
        ADD_FAILURE() << run.output.toStdString();
        return -1;
    }
    const QJsonObject root = QJsonDocument::fromJson(run.output.toUtf8()).object();
    if (!root["bad"].isNull()) {
        return -1;
    }
    if (names != nullptr) {
        for (const QJsonValue& value : root["names"].toArray()) {
            *names << value.toString();
        }
    }
    return root["count"].toInt();
}

void ExpectToolsAccept(const QString& archive, const QString& password = {}) {
    QStringList unzipArgs = {"-t"};
    QStringList sevenArgs = {"t"};
    if (!password.isEmpty()) {
        unzipArgs << "-P" << password;
        sevenArgs << "-p" + password;
    }
    const ToolResult unzip = RunTool("unzip", unzipArgs << archive);
    EXPECT_EQ(unzip.exitCode, 0) << unzip.output.toStdString();
    EXPECT_TRUE(unzip.output.contains("No errors detected")) << unzip.output.toStdString();
    const ToolResult seven = RunTool("7z", sevenArgs << archive);
    EXPECT_EQ(seven.exitCode, 0) << seven.output.toStdString();
    EXPECT_TRUE(seven.output.contains("Everything is Ok")) << seven.output.toStdString();
}

// ---------------------------------------------------------------------------------------
// Helpers: sources.

QByteArray RandomBytes(int size, unsigned seed) {
    std::mt19937 generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes) {
        byte = static_cast<char>(generator() & 0xFF);
    }
    return bytes;
}

// Sets a file's modification time to a local calendar time.
void SetLocalMtime(const QString& path, int year, int month, int day, int hour, int minute,
                   int second) {
    struct tm local = {};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    const time_t when = mktime(&local);
    const struct timeval times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimes(QFile::encodeName(path).constData(), times), 0);
}

// A folder entry's source path may end in "/".
QString WithoutSlash(const QString& path) {
    return path.size() > 1 && path.endsWith('/') ? path.chopped(1) : path;
}

struct stat StatOf(const QString& path) {
    struct stat status = {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0) << path.toStdString();
    return status;
}

// A source tree of every kind of entry, and the list that packs it.
struct SourceTree {
    explicit SourceTree(const TempDir& dir) {
        const QString root = dir.File("src");
        readme =
            dir.Write("src/docs/readme.txt", QByteArray("All work and no play. ").repeated(500));
        random = dir.Write("src/docs/random.bin", RandomBytes(200000, 7));  // 4 read blocks
        empty = dir.Write("src/docs/empty.txt", {});
        unicode = dir.Write(QString::fromUtf8("src/docs/Grüße €ü 日本.txt"), "non-ASCII name\n");
        QDir().mkpath(root + "/empty");
        ::chmod(QFile::encodeName(readme).constData(), 0640);
        ::chmod(QFile::encodeName(random).constData(), 0755);
        ::chmod(QFile::encodeName(root + "/empty").constData(), 0750);
        SetLocalMtime(readme, 2021, 3, 14, 15, 9, 26);
        SetLocalMtime(random, 2019, 12, 31, 23, 59, 59);
        SetLocalMtime(root + "/empty", 2020, 2, 29, 12, 0, 0);

        // Folder entries with and without the trailing "/" on their source path.
        list.Add(root + "/docs/", "Data/docs/", false);
        list.Add(readme, "Data/docs/readme.txt", false);
        list.Add(random, "Data/docs/random.bin", false);
        list.Add(empty, "Data/docs/empty.txt", false);
        list.Add(unicode, QString::fromUtf8("Data/docs/Grüße €ü 日本.txt"), false);
        list.Add(root + "/empty", "Data/empty/", false);
        // A file item stored under a name of its own, outside the folder's tree.
        list.Add(readme, "notes.txt", false);
    }

    QString readme, random, empty, unicode;
    ArchiveList list;
};

// ---------------------------------------------------------------------------------------
// Levels: every level yields an archive every tool reads, with the level's flag bits.

struct LevelCase {
    int level;
    int levelFlags;  // general-purpose bits 1-2
};

class ArchiveWriterLevelTest : public ::testing::TestWithParam<LevelCase> {};

TEST_P(ArchiveWriterLevelTest, EveryToolReadsTheArchive) {
    TempDir dir;
    SourceTree tree(dir);
    const QString archive = dir.File("out/backup.zip");
    QDir().mkpath(dir.File("out"));
    LogCapture log;

    ASSERT_TRUE(WriteArchive(tree.list, archive, GetParam().level, {}, StopSignal()));
    EXPECT_TRUE(log.Texts().isEmpty()) << log.Texts().join("\n").toStdString();
    EXPECT_FALSE(QFile::exists(dir.File("out/backup.zi~")));
    ExpectToolsAccept(archive);

    const PyArchive py = PythonRead(archive);
    ASSERT_TRUE(py.ok) << py.error.toStdString();
    EXPECT_TRUE(py.comment.isEmpty());
    const auto& entries = tree.list.Entries();
    ASSERT_EQ(py.entries.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const PyEntry& e = py.entries[i];
        SCOPED_TRACE(e.name.toStdString());
        const bool folder = entries[i].nameInArchive.endsWith('/');
        EXPECT_EQ(e.name, entries[i].nameInArchive);  // list order, UTF-8 names
        EXPECT_EQ(e.system, 3);                       // made by Unix
        EXPECT_EQ(e.version, 20);
        EXPECT_EQ(e.flags, 0x800 | GetParam().levelFlags);  // UTF-8 name, no encryption
        EXPECT_EQ(e.method, 8);
        EXPECT_TRUE(e.extra.isEmpty());
        EXPECT_TRUE(e.comment.isEmpty());
        EXPECT_EQ(e.internal, 0);
        const struct stat status = StatOf(WithoutSlash(entries[i].sourcePath));
        if (folder) {
            EXPECT_EQ(e.attributes, (quint32(S_IFDIR | (status.st_mode & 07777)) << 16) | 0x10);
            EXPECT_EQ(e.size, 0);
        } else {
            EXPECT_EQ(e.attributes, quint32(S_IFREG | (status.st_mode & 07777)) << 16);
            EXPECT_EQ(e.data, ReadAll(entries[i].sourcePath));
        }
    }
    // The 59-second rule on a file, and a folder's own time.
    EXPECT_EQ(py.entries[2].date, QList<int>({2019, 12, 31, 23, 59, 58}));
    EXPECT_EQ(py.entries[5].date, QList<int>({2020, 2, 29, 12, 0, 0}));
}

TEST_P(ArchiveWriterLevelTest, UnzipRestoresBytesModesAndTimes) {
    TempDir dir;
    SourceTree tree(dir);
    const QString archive = dir.File("backup.zip");
    ASSERT_TRUE(WriteArchive(tree.list, archive, GetParam().level, {}, StopSignal()));

    const QString out = dir.File("unpacked");
    const ToolResult unzip = RunTool("unzip", {"-q", archive, "-d", out});
    ASSERT_EQ(unzip.exitCode, 0) << unzip.output.toStdString();
    for (const ArchiveListEntry& entry : tree.list.Entries()) {
        SCOPED_TRACE(entry.nameInArchive.toStdString());
        const QString unpacked = out + "/" + entry.nameInArchive;
        const bool folder = entry.nameInArchive.endsWith('/');
        const struct stat source = StatOf(WithoutSlash(entry.sourcePath));
        const struct stat restored = StatOf(unpacked);
        EXPECT_EQ(restored.st_mode & 0777, source.st_mode & 0777);
        if (folder) {
            EXPECT_TRUE(S_ISDIR(restored.st_mode));
            continue;
        }
        EXPECT_EQ(ReadAll(unpacked), ReadAll(entry.sourcePath));
        // DOS times step by two seconds: the odd second is dropped.
        EXPECT_EQ(restored.st_mtime, source.st_mtime - (source.st_mtime % 2 != 0 ? 1 : 0));
    }
}

TEST_P(ArchiveWriterLevelTest, ZipinfoShowsUnixEntriesWithoutExtraFields) {
    TempDir dir;
    SourceTree tree(dir);
    const QString archive = dir.File("backup.zip");
    ASSERT_TRUE(WriteArchive(tree.list, archive, GetParam().level, {}, StopSignal()));
    const ToolResult info = RunTool("zipinfo", {archive});
    ASSERT_EQ(info.exitCode, 0) << info.output.toStdString();
    EXPECT_TRUE(info.output.contains(QString::fromUtf8("Data/docs/Grüße €ü 日本.txt")))
        << info.output.toStdString();
    // "-rw-r-----  2.0 unx   11000 b- defN ...": Unix, binary, no extra field, deflated.
    EXPECT_TRUE(
        info.output.contains(QRegularExpression(R"(-rw-r-----\s+2\.0 unx\s+11000 b- def. )")))
        << info.output.toStdString();
    EXPECT_TRUE(info.output.contains(
        QRegularExpression(R"(drwxr-x---\s+2\.0 unx\s+0 b- def. .* Data/empty/)")))
        << info.output.toStdString();
    EXPECT_EQ(info.output.count(" unx "), 7);
}

INSTANTIATE_TEST_SUITE_P(Levels, ArchiveWriterLevelTest,
                         ::testing::Values(LevelCase{0, 0}, LevelCase{1, 6}, LevelCase{2, 4},
                                           LevelCase{6, 0}, LevelCase{9, 2},
                                           // Levels zlib does not know are taken as 9.
                                           LevelCase{-1, 2}, LevelCase{12, 2}),
                         [](const auto& info) {
                             return info.param.level < 0
                                        ? "Minus" + std::to_string(-info.param.level)
                                        : "Level" + std::to_string(info.param.level);
                         });

TEST(ArchiveWriterTest, HigherLevelsCompressMore) {
    TempDir dir;
    const QString text = dir.Write("text.txt", QByteArray("the quick brown fox ").repeated(5000));
    ArchiveList list;
    list.Add(text, "text.txt", false);
    qint64 previous = std::numeric_limits<qint64>::max();
    for (const int level : {0, 1, 9}) {
        const QString archive = dir.File(QString("level%1.zip").arg(level));
        ASSERT_TRUE(WriteArchive(list, archive, level, {}, StopSignal()));
        const PyArchive py = PythonRead(archive, {}, false);
        ASSERT_TRUE(py.ok) << py.error.toStdString();
        EXPECT_LT(py.entries[0].compressedSize, previous) << level;
        previous = py.entries[0].compressedSize;
    }
    EXPECT_LT(previous, 1000);  // 100000 bytes of repeated text
}

// ---------------------------------------------------------------------------------------
// Passwords.

TEST(ArchiveWriterTest, PasswordEncryptsEveryFileEntryAndNoFolderEntry) {
    TempDir dir;
    SourceTree tree(dir);
    const QString archive = dir.File("secret.zip");
    const QString password = "s3cret pass";
    ASSERT_TRUE(WriteArchive(tree.list, archive, 6, password, StopSignal()));
    ExpectToolsAccept(archive, password);

    const PyArchive py = PythonRead(archive, password);
    ASSERT_TRUE(py.ok) << py.error.toStdString();
    const auto& entries = tree.list.Entries();
    ASSERT_EQ(py.entries.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const PyEntry& e = py.entries[i];
        SCOPED_TRACE(e.name.toStdString());
        const bool folder = entries[i].nameInArchive.endsWith('/');
        EXPECT_EQ(e.flags & 1, folder ? 0 : 1);
        EXPECT_EQ(e.flags & 8, 0);  // sizes in the header, no data descriptor
        EXPECT_TRUE(e.extra.isEmpty());
        if (!folder) {
            EXPECT_EQ(e.data, ReadAll(entries[i].sourcePath));
            // Header plus deflated data.
            EXPECT_GE(e.compressedSize, 12 + 2);
        }
    }

    // unzip -P unpacks the same bytes; zipinfo marks the encrypted entries ("B-").
    const QString out = dir.File("unpacked");
    const ToolResult unzip = RunTool("unzip", {"-q", "-P", password, archive, "-d", out});
    ASSERT_EQ(unzip.exitCode, 0) << unzip.output.toStdString();
    EXPECT_EQ(ReadAll(out + "/Data/docs/random.bin"), ReadAll(tree.random));
    EXPECT_EQ(ReadAll(out + "/notes.txt"), ReadAll(tree.readme));
    const ToolResult info = RunTool("zipinfo", {archive});
    EXPECT_EQ(info.output.count(" B- "), 5) << info.output.toStdString();
    EXPECT_EQ(info.output.count(" b- "), 2) << info.output.toStdString();
}

TEST(ArchiveWriterTest, WrongPasswordOpensNothing) {
    TempDir dir;
    const QString file = dir.Write("a.txt", RandomBytes(5000, 3));
    ArchiveList list;
    list.Add(file, "a.txt", false);
    const QString archive = dir.File("secret.zip");
    ASSERT_TRUE(WriteArchive(list, archive, 9, "right", StopSignal()));

    EXPECT_FALSE(PythonRead(archive, "wrong").ok);
    EXPECT_FALSE(PythonRead(archive).ok);  // no password at all
    const ToolResult unzip = RunTool("unzip", {"-t", "-P", "wrong", archive});
    EXPECT_NE(unzip.exitCode, 0) << unzip.output.toStdString();
}

TEST(ArchiveWriterTest, NonAsciiPasswordIsUsedAsUtf8) {
    TempDir dir;
    const QString file = dir.Write("a.txt", "payload");
    ArchiveList list;
    list.Add(file, "a.txt", false);
    const QString archive = dir.File("secret.zip");
    const QString password = QString::fromUtf8("pässwörd€");
    ASSERT_TRUE(WriteArchive(list, archive, 9, password, StopSignal()));
    const PyArchive py = PythonRead(archive, password);
    ASSERT_TRUE(py.ok) << py.error.toStdString();
    EXPECT_EQ(py.entries[0].data, QByteArray("payload"));
    const ToolResult unzip = RunTool("unzip", {"-p", "-P", password, archive, "a.txt"});
    EXPECT_EQ(unzip.output, "payload");
}

TEST(ArchiveWriterTest, EncryptedHeadersDifferBetweenRuns) {
    // The header's random bytes: the same file and password give other archive bytes.
    TempDir dir;
    const QString file = dir.Write("a.txt", "same content");
    ArchiveList list;
    list.Add(file, "a.txt", false);
    ASSERT_TRUE(WriteArchive(list, dir.File("one.zip"), 9, "pw", StopSignal()));
    ASSERT_TRUE(WriteArchive(list, dir.File("two.zip"), 9, "pw", StopSignal()));
    const QByteArray one = ReadAll(dir.File("one.zip"));
    const QByteArray two = ReadAll(dir.File("two.zip"));
    ASSERT_EQ(one.size(), two.size());
    EXPECT_NE(one, two);
}

// ---------------------------------------------------------------------------------------
// Sources that fail: the archive fails, the temporary file goes, an older archive stays.

struct FailureCase {
    const char* name;
    QString (*makeSource)(const TempDir& dir);  // the failing entry's source path
    bool folderEntry;
    const char* password;
    const char* logLine;  // with %1 for the source path
};

QString VanishedFile(const TempDir& dir) {
    const QString path = dir.Write("gone.txt", "soon gone");
    QFile::remove(path);
    return path;
}

QString Fifo(const TempDir& dir) {
    const QString path = dir.File("pipe");
    EXPECT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    return path;
}

QString FolderInsteadOfFile(const TempDir& dir) {
    QDir().mkpath(dir.File("folder"));
    return dir.File("folder");
}

QString VanishedFolder(const TempDir& dir) {
    return dir.File("no such folder/");
}

// Reading a process's own memory at offset 0 (never mapped) fails with EIO.
QString UnreadableFile(const TempDir&) {
    return "/proc/self/mem";
}

// sysfs reports 4096 bytes for an attribute that reads as a few: a file that shrank.
QString ShrunkFile(const TempDir&) {
    return "/sys/devices/system/cpu/online";
}

// Every read of a process's own I/O counters shows more bytes read than the read
// before: its CRC pass and its data pass always differ.
QString ChangingFile(const TempDir&) {
    return "/proc/self/io";
}

class ArchiveWriterFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ArchiveWriterFailureTest, FailedArchiveLeavesTheOlderOneAlone) {
    const FailureCase& c = GetParam();
    TempDir dir;
    const QString bad = c.makeSource(dir);
    if (bad.startsWith("/proc") || bad.startsWith("/sys")) {
        if (!QFileInfo::exists(bad)) {
            GTEST_SKIP() << bad.toStdString() << " is not available here";
        }
    }
    const QString archive = dir.File("backup.zip");
    const QByteArray older = "an older archive of the same name";
    dir.Write("backup.zip", older);

    ArchiveList list;
    list.Add(dir.Write("first.txt", "first"), "first.txt", false);
    list.Add(bad, c.folderEntry ? "bad/" : "bad.txt", false);
    list.Add(dir.Write("last.txt", "last"), "last.txt", false);

    LogCapture log;
    EXPECT_FALSE(WriteArchive(list, archive, 6, c.password, StopSignal()));
    EXPECT_EQ(ReadAll(archive), older);
    EXPECT_FALSE(QFile::exists(dir.File("backup.zi~")));
    const QString line = QString(c.logLine).arg(bad);
    EXPECT_EQ(log.CountEndingWith(line), 1) << log.Texts().join("\n").toStdString();
    EXPECT_EQ(log.Texts().size(), 1) << log.Texts().join("\n").toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Sources, ArchiveWriterFailureTest,
    ::testing::Values(
        FailureCase{"VanishedFile", VanishedFile, false, "", "  Error: cannot add %1 to zip"},
        FailureCase{"VanishedFileWithPassword", VanishedFile, false, "pw",
                    "  Error: cannot add %1 to zip"},
        FailureCase{"Fifo", Fifo, false, "", "  Error: cannot add %1 to zip"},
        FailureCase{"FolderAsFile", FolderInsteadOfFile, false, "",
                    "  Error: cannot add %1 to zip"},
        FailureCase{"VanishedFolder", VanishedFolder, true, "", "  Error: cannot add %1 to zip"},
        FailureCase{"ReadError", UnreadableFile, false, "", "  Error: cannot read file %1"},
        FailureCase{"ReadErrorWithPassword", UnreadableFile, false, "pw",
                    "  Error: cannot read file %1"},
        FailureCase{"Shrank", ShrunkFile, false, "",
                    "  Error: file %1 changed while it was archived"},
        FailureCase{"ShrankWithPassword", ShrunkFile, false, "pw",
                    "  Error: file %1 changed while it was archived"},
        FailureCase{"ChangedBetweenPasses", ChangingFile, false, "pw",
                    "  Error: file %1 changed while it was archived"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ArchiveWriterTest, SizeZeroFilesAreReadToTheirEnd) {
    // Without a password there is one pass: a file whose size says 0 is read until the
    // read answers nothing, as /proc files must be.
    TempDir dir;
    ArchiveList list;
    list.Add("/proc/self/io", "io.txt", false);
    const QString archive = dir.File("proc.zip");
    if (!QFileInfo::exists("/proc/self/io")) {
        GTEST_SKIP() << "no /proc/self/io";
    }
    ASSERT_TRUE(WriteArchive(list, archive, 6, {}, StopSignal()));
    const PyArchive py = PythonRead(archive);
    ASSERT_TRUE(py.ok) << py.error.toStdString();
    EXPECT_TRUE(py.entries[0].data.startsWith("rchar: ")) << py.entries[0].data.toStdString();
}

TEST(ArchiveWriterTest, NoArchiveWhenItsFolderIsMissing) {
    TempDir dir;
    ArchiveList list;
    list.Add(dir.Write("a.txt", "a"), "a.txt", false);
    LogCapture log;
    const QString archive = dir.File("missing/backup.zip");
    EXPECT_FALSE(WriteArchive(list, archive, 6, {}, StopSignal()));
    EXPECT_EQ(log.CountEndingWith("  Error: cannot create file " + dir.File("missing/backup.zi~") +
                                  ": No such file or directory"),
              1)
        << log.Texts().join("\n").toStdString();
}

TEST(ArchiveWriterTest, FailedRenameFailsTheArchive) {
    // The final name is taken by a folder with content: the rename cannot replace it.
    TempDir dir;
    dir.Write("backup.zip/keep.txt", "keep");
    ArchiveList list;
    list.Add(dir.Write("a.txt", "a"), "a.txt", false);
    LogCapture log;
    const QString archive = dir.File("backup.zip");
    EXPECT_FALSE(WriteArchive(list, archive, 6, {}, StopSignal()));
    EXPECT_FALSE(QFile::exists(dir.File("backup.zi~")));
    EXPECT_EQ(ReadAll(dir.File("backup.zip/keep.txt")), "keep");
    EXPECT_EQ(log.CountEndingWith("  Error: cannot move " + dir.File("backup.zi~") + " to " +
                                  archive + ": Is a directory"),
              1)
        << log.Texts().join("\n").toStdString();
}

TEST(ArchiveWriterTest, WriteErrorFailsTheArchive) {
    // A file size limit makes the archive's writes fail past 64 KiB (EFBIG).
    TempDir dir;
    ArchiveList list;
    list.Add(dir.Write("big.bin", RandomBytes(300000, 11)), "big.bin", false);
    dir.Write("backup.zip", "older");
    const QString archive = dir.File("backup.zip");
    LogCapture log;

    struct rlimit saved = {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const sighandler_t savedHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = 65536;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool written = WriteArchive(list, archive, 0, {}, StopSignal());
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, savedHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(ReadAll(archive), "older");
    EXPECT_FALSE(QFile::exists(dir.File("backup.zi~")));
    EXPECT_EQ(log.CountEndingWith("  Error: cannot write file " + archive + ": File too large"), 1)
        << log.Texts().join("\n").toStdString();
}

// ---------------------------------------------------------------------------------------
// Lists, replacement, stop, progress.

TEST(ArchiveWriterTest, EmptyListGivesAnEmptyArchiveInPlace) {
    TempDir dir;
    const QString archive = dir.File("empty.zip");
    ASSERT_TRUE(WriteArchive(ArchiveList(), archive, 9, "pw", StopSignal()));
    EXPECT_FALSE(QFile::exists(dir.File("empty.zi~")));
    // The 22-byte end record alone.
    EXPECT_EQ(ReadAll(archive), QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0'));
    const PyArchive py = PythonRead(archive);
    ASSERT_TRUE(py.ok) << py.error.toStdString();
    EXPECT_TRUE(py.entries.empty());
    const ToolResult seven = RunTool("7z", {"t", archive});
    EXPECT_EQ(seven.exitCode, 0) << seven.output.toStdString();
}

TEST(ArchiveWriterTest, SuccessReplacesTheOlderArchiveAndAStaleTemporary) {
    TempDir dir;
    const QString archive = dir.File("backup.zip");
    dir.Write("backup.zip", "older");
    dir.Write("backup.zi~", "left over by a crash");
    ArchiveList list;
    list.Add(dir.Write("a.txt", "new content"), "a.txt", false);
    ASSERT_TRUE(WriteArchive(list, archive, 6, {}, StopSignal()));
    EXPECT_FALSE(QFile::exists(dir.File("backup.zi~")));
    const PyArchive py = PythonRead(archive);
    ASSERT_TRUE(py.ok) << py.error.toStdString();
    ASSERT_EQ(py.entries.size(), 1u);
    EXPECT_EQ(py.entries[0].data, QByteArray("new content"));
}

// Records the progress calls and raises the stop flag at a chosen position.
class StoppingProgress : public ProgressTarget {
  public:
    StoppingProgress(std::atomic<bool>& stop, int stopAt) : m_stop(stop), m_stopAt(stopAt) {}
    void Show() override {}
    void SetLabel(const QString&) override {}
    void SetRange(int lower, int upper) override { ranges.push_back({lower, upper}); }
    void SetPosition(int position) override {
        positions.push_back(position);
        if (position == m_stopAt) {
            m_stop = true;
        }
    }
    void Hide() override {}

    std::vector<std::pair<int, int>> ranges;
    std::vector<int> positions;

  private:
    std::atomic<bool>& m_stop;
    int m_stopAt;
};

TEST(ArchiveWriterTest, StopEndsTheArchiveAfterTheCurrentEntry) {
    TempDir dir;
    dir.Write("backup.zip", "older");
    ArchiveList list;
    for (int i = 0; i < 4; ++i) {
        list.Add(dir.Write(QString("f%1.txt").arg(i), "data"), QString("f%1.txt").arg(i), false);
    }
    std::atomic<bool> stop{false};
    StoppingProgress progress(stop, 0);
    SetProgressTarget(&progress);
    const bool written = WriteArchive(list, dir.File("backup.zip"), 6, {}, StopSignal(&stop));
    SetProgressTarget(nullptr);

    EXPECT_FALSE(written);
    EXPECT_EQ(ReadAll(dir.File("backup.zip")), "older");
    EXPECT_FALSE(QFile::exists(dir.File("backup.zi~")));
    EXPECT_EQ(progress.ranges, (std::vector<std::pair<int, int>>{{0, 4}}));
    EXPECT_EQ(progress.positions, std::vector<int>{0});  // one entry, then the stop
}

TEST(ArchiveWriterTest, ProgressCountsEveryEntry) {
    TempDir dir;
    ArchiveList list;
    for (int i = 0; i < 3; ++i) {
        list.Add(dir.Write(QString("f%1.txt").arg(i), "data"), QString("f%1.txt").arg(i), false);
    }
    std::atomic<bool> stop{false};
    StoppingProgress progress(stop, -1);
    SetProgressTarget(&progress);
    const bool written = WriteArchive(list, dir.File("backup.zip"), 6, {}, StopSignal(&stop));
    SetProgressTarget(nullptr);
    EXPECT_TRUE(written);
    EXPECT_EQ(progress.ranges, (std::vector<std::pair<int, int>>{{0, 3}}));
    EXPECT_EQ(progress.positions, (std::vector<int>{0, 1, 2}));
}

TEST(ArchiveWriterTest, MoreThan65535EntriesMakeAZip64Archive) {
    // 70,000 entries from a handful of small files (the list may name a source twice).
    TempDir dir;
    std::vector<QString> sources;
    for (int i = 0; i < 16; ++i) {
        sources.push_back(dir.Write(QString("s%1.txt").arg(i), QByteArray::number(i * 7919)));
    }
    constexpr int kEntries = 70000;
    ArchiveList list;
    for (int i = 0; i < kEntries; ++i) {
        if (i % 1000 == 0) {
            list.Add(dir.Path(), QString("d%1/").arg(i / 1000), false);
        } else {
            list.Add(sources[i % 16], QString("d%1/f%2.txt").arg(i / 1000).arg(i), false);
        }
    }
    std::atomic<bool> stop{false};
    StoppingProgress progress(stop, -1);
    SetProgressTarget(&progress);
    const QString archive = dir.File("many.zip");
    const bool written = WriteArchive(list, archive, 1, {}, StopSignal(&stop));
    SetProgressTarget(nullptr);
    ASSERT_TRUE(written);
    // The bar's range is 16-bit: the count is scaled onto it.
    EXPECT_EQ(progress.ranges, (std::vector<std::pair<int, int>>{{0, 65535}}));
    // Positions reach the bar only when they move it by a tenth of a percent.
    EXPECT_GE(progress.positions.back(), 65535 * 999 / 1000);
    EXPECT_LE(progress.positions.back(), int(qint64(kEntries - 1) * 65535 / kEntries));

    const ToolResult unzip = RunTool("unzip", {"-tq", archive});
    EXPECT_EQ(unzip.exitCode, 0) << unzip.output.left(2000).toStdString();
    const ToolResult seven = RunTool("7z", {"t", archive});
    EXPECT_EQ(seven.exitCode, 0) << seven.output.right(2000).toStdString();
    QStringList names;
    ASSERT_EQ(PythonTestCount(archive, &names), kEntries);
    EXPECT_EQ(names.first(), "d0/");
    EXPECT_EQ(names.last(), QString("d69/f%1.txt").arg(kEntries - 1));
}

// ---------------------------------------------------------------------------------------
// Helpers of the archive step.

TEST(ArchiveWriterTest, TemporaryNameReplacesTheExtension) {
    const std::vector<std::pair<QString, QString>> cases = {
        {"/b/backup.zip", "/b/backup.zi~"},
        {"/b/backup.2024.zip", "/b/backup.2024.zi~"},
        {"/b/backup", "/b/backup.zi~"},
        {"/b.d/backup", "/b.d/backup.zi~"},  // a dot in a folder is no extension
        {"/b/.backup", "/b/.backup.zi~"},    // nor a leading dot
        {"backup.ZIP", "backup.zi~"},
        {"/b/backup.zi~", "/b/backup.zi~~"},  // never the archive itself
    };
    for (const auto& [path, temp] : cases) {
        EXPECT_EQ(TemporaryArchivePath(path), temp) << path.toStdString();
    }
}

TEST(ArchiveWriterTest, FileCrc32MatchesZlib) {
    TempDir dir;
    for (const int size : {0, 1, 131072, 131073, 400000}) {
        const QByteArray bytes = RandomBytes(size, unsigned(size));
        const QString path = dir.Write(QString("f%1").arg(size), bytes);
        quint32 crc = 1;
        ASSERT_TRUE(FileCrc32(path, crc)) << size;
        EXPECT_EQ(crc, quint32(crc32(crc32(0, Z_NULL, 0),
                                     reinterpret_cast<const Bytef*>(bytes.constData()),
                                     uInt(bytes.size()))))
            << size;
    }
    quint32 crc = 0;
    EXPECT_FALSE(FileCrc32(dir.File("missing"), crc));
    EXPECT_FALSE(FileCrc32(dir.Path(), crc));
    EXPECT_FALSE(FileCrc32("/proc/self/mem", crc));
}

TEST(DosTimeTest, PacksLocalTimeInTwoSecondSteps) {
    struct Case {
        int year, month, day, hour, minute, second;
        int storedSecond;
    };
    for (const Case& c : {Case{1980, 1, 1, 0, 0, 0, 0}, Case{2019, 12, 31, 23, 59, 59, 58},
                          Case{2024, 2, 29, 12, 30, 1, 0}, Case{2107, 12, 31, 23, 59, 58, 58}}) {
        struct tm local = {};
        local.tm_year = c.year - 1900;
        local.tm_mon = c.month - 1;
        local.tm_mday = c.day;
        local.tm_hour = c.hour;
        local.tm_min = c.minute;
        local.tm_sec = c.second;
        local.tm_isdst = -1;
        const time_t moment = mktime(&local);
        const quint32 dos = DosDateTimeFromUnix(moment);
        EXPECT_EQ(dos >> 16, quint32(((c.year - 1980) << 9) | (c.month << 5) | c.day));
        EXPECT_EQ(dos & 0xFFFF, quint32((c.hour << 11) | (c.minute << 5) | (c.storedSecond / 2)));
        EXPECT_EQ(UnixFromDosDateTime(dos), moment - (c.second - c.storedSecond));
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
