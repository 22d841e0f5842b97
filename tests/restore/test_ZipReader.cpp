// Reading archives back: archives of our writer, of `zip` and of Python's zipfile, with
// and without password, ZIP64, hostile names, old name encodings, damaged data. Every
// archive is real and every extraction lands in a temporary folder that is checked
// afterwards, down to leftovers of the temporary files.

#include <fcntl.h>
#include <sys/stat.h>
#include <zlib.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <random>
#include <set>

#include <gtest/gtest.h>

#include "engine/ArchiveWriter.h"
#include "engine/DosTime.h"
#include "engine/ZipCrypto.h"
#include "model/FileName.h"
#include "restore/ZipEntryDecoder.h"
#include "restore/ZipNameText.h"
#include "restore/ZipReader.h"
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

// ---------------------------------------------------------------------------------------
// Helpers.

ToolResult Python(const QString& script, const QStringList& arguments) {
    return RunTool("/usr/bin/python3", QStringList{"-c", script} + arguments);
}

QByteArray RandomBytes(int size, unsigned seed) {
    std::mt19937 generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes) {
        byte = static_cast<char>(generator() & 0xFF);
    }
    return bytes;
}

struct Stat {
    bool exists = false;
    time_t mtime = 0;
    time_t atime = 0;
    mode_t mode = 0;
};

Stat StatOf(const QString& path) {
    struct stat info {};
    Stat result;
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0) {
        result = {true, info.st_mtim.tv_sec, info.st_atim.tv_sec, info.st_mode};
    }
    return result;
}

void SetTimes(const QString& path, time_t seconds) {
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
    struct tm local = {};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return mktime(&local);
}

// Every file and folder below `root`, as paths relative to it ("a/b.txt", "a/").
std::set<QString> TreeOf(const QString& root) {
    std::set<QString> paths;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QString relative = QDir(root).relativeFilePath(it.filePath());
        paths.insert(it.fileInfo().isDir() ? relative + "/" : relative);
    }
    return paths;
}

// The names the reader walks, in archive order.
QStringList NamesOf(ZipReader& zip, const QString& extension = {}) {
    QStringList names;
    for (bool more = zip.First(extension); more; more = zip.Next(extension)) {
        names << zip.Info().name;
    }
    return names;
}

// Moves to the entry of that name; false when the archive has none.
bool GoTo(ZipReader& zip, const QString& name) {
    for (bool more = zip.First(); more; more = zip.Next()) {
        if (zip.Info().name == name) {
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------
// The sample tree, packed four ways.

struct SampleFile {
    QString name;  // below "docs/"
    QByteArray content;
};

const std::vector<SampleFile>& Samples() {
    // Larger than the reader's buffers (to cross chunk boundaries), incompressible data,
    // a single byte, an empty file, a nested one and a non-ASCII name.
    static const std::vector<SampleFile> samples = {
        {"text.txt", QByteArray("all work and no play makes a dull backup.\n").repeated(9000)},
        {"random.bin", RandomBytes(200000, 7)},
        {"one.txt", "x"},
        {"empty.txt", {}},
        {"sub/deep/nested.txt", "nested content"},
        {QString::fromUtf8("sub/Grüße.txt"), "non-ascii name"},
        {"run.sh", "#!/bin/sh\necho hi\n"},
    };
    return samples;
}

const std::set<QString> kSampleFolders = {"docs/", "docs/sub/", "docs/sub/deep/"};
constexpr mode_t kScriptMode = 0750;

enum class Maker { kOurs, kOursPassword, kZip, kZipPassword, kZipForcedZip64 };

struct MakerCase {
    Maker maker;
    const char* label;
    const char* password;  // empty: no encryption
};

// Writes the sample tree below dir/src/docs with odd-second modification times and
// packs it; answers the archive path (empty on failure).
QString MakeSampleArchive(const TempDir& dir, const MakerCase& how, time_t sourceTime) {
    const QString source = dir.File("src");
    for (const SampleFile& sample : Samples()) {
        dir.Write("src/docs/" + sample.name, sample.content);
    }
    ::chmod(QFile::encodeName(source + "/docs/run.sh").constData(), kScriptMode);
    for (const SampleFile& sample : Samples()) {
        SetTimes(source + "/docs/" + sample.name, sourceTime);
    }
    const QString archive = dir.File("backup.zip");
    if (how.maker == Maker::kOurs || how.maker == Maker::kOursPassword) {
        ArchiveList list;
        list.Add(source + "/docs", "docs/", false);
        list.Add(source + "/docs/sub", "docs/sub/", false);
        list.Add(source + "/docs/sub/deep", "docs/sub/deep/", false);
        for (const SampleFile& sample : Samples()) {
            list.Add(source + "/docs/" + sample.name, "docs/" + sample.name, false);
        }
        return WriteArchive(list, archive, 6, QString::fromUtf8(how.password), StopSignal())
                   ? archive
                   : QString();
    }
    QStringList arguments = {"-q", "-r"};
    if (how.maker == Maker::kZipPassword) {
        arguments << "-P" << how.password;
    }
    if (how.maker == Maker::kZipForcedZip64) {
        arguments << "-fz";
    }
    // zip works relative to its current folder: run it through a shell in the tree.
    const ToolResult zip =
        RunTool("/bin/sh", QStringList{"-c", "cd \"$1\" && shift && exec zip \"$@\"", "sh", source}
                               << arguments << archive << "docs");
    EXPECT_EQ(zip.exitCode, 0) << zip.output.toStdString();
    return zip.exitCode == 0 ? archive : QString();
}

class ZipReaderRoundTripTest : public ::testing::TestWithParam<MakerCase> {};

TEST_P(ZipReaderRoundTripTest, WalksAndExtractsEveryEntry) {
    TempDir dir;
    const time_t sourceTime = LocalTime(2021, 6, 15, 10, 20, 31);  // an odd second
    const QString archive = MakeSampleArchive(dir, GetParam(), sourceTime);
    ASSERT_FALSE(archive.isEmpty());
    const bool encrypted = GetParam().password[0] != '\0';

    ZipReader zip;
    ASSERT_TRUE(zip.Open(archive));
    EXPECT_TRUE(zip.IsOpen());
    EXPECT_EQ(zip.BaseName(), "backup");
    const QStringList names = NamesOf(zip);
    EXPECT_EQ(zip.Count(), quint64(names.size()));
    std::set<QString> expectedNames = kSampleFolders;
    for (const SampleFile& sample : Samples()) {
        expectedNames.insert("docs/" + sample.name);
    }
    EXPECT_EQ(std::set<QString>(names.begin(), names.end()), expectedNames);

    const QString out = dir.File("out");
    LogCapture log;
    for (bool more = zip.First(); more; more = zip.Next()) {
        const ZipEntryInfo& info = zip.Info();
        SCOPED_TRACE(info.name.toStdString());
        EXPECT_EQ(info.isFolder, info.name.endsWith('/'));
        if (!info.isFolder) {
            EXPECT_EQ(info.encrypted, encrypted);
        }
        // DOS times have two-second steps: an odd source second becomes a neighbour.
        if (!info.isFolder) {
            EXPECT_EQ(info.time, qint64(UnixFromDosDateTime(info.dosDateTime)));
            EXPECT_LE(std::abs(info.time - qint64(sourceTime)), 1);
            EXPECT_EQ((info.time - qint64(LocalTime(2021, 6, 15, 10, 20, 0))) % 2, 0);
        }
        ASSERT_TRUE(zip.Extract(out, false, QString::fromUtf8(GetParam().password)))
            << log.Texts().join('\n').toStdString();
    }

    // Exactly the archive's tree, with its contents, times and permission bits.
    EXPECT_EQ(TreeOf(out), expectedNames);
    for (const SampleFile& sample : Samples()) {
        SCOPED_TRACE(sample.name.toStdString());
        const QString path = out + "/docs/" + sample.name;
        const Stat stat = StatOf(path);  // before the read moves the access time
        EXPECT_EQ(ReadAll(path), sample.content);
        ASSERT_TRUE(GoTo(zip, "docs/" + sample.name));
        EXPECT_TRUE(S_ISREG(stat.mode));
        EXPECT_EQ(qint64(stat.mtime), zip.Info().time);
        EXPECT_EQ(qint64(stat.atime), zip.Info().time);
    }
    EXPECT_EQ(StatOf(out + "/docs/run.sh").mode & 0777, kScriptMode);

    if (encrypted) {
        // A wrong password opens nothing that has content, and leaves no file behind.
        const QString wrong = dir.File("wrong");
        for (bool more = zip.First(); more; more = zip.Next()) {
            const ZipEntryInfo& info = zip.Info();
            if (!info.isFolder && info.uncompressedSize > 0) {
                EXPECT_FALSE(zip.Extract(wrong, true, "not the password"))
                    << info.name.toStdString();
            }
        }
        EXPECT_EQ(TreeOf(wrong), std::set<QString>{});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Makers, ZipReaderRoundTripTest,
    ::testing::Values(MakerCase{Maker::kOurs, "Ours", ""},
                      MakerCase{Maker::kOursPassword, "OursWithPassword", "t\xc3\xafger"},
                      MakerCase{Maker::kZip, "Zip", ""},
                      MakerCase{Maker::kZipPassword, "ZipWithPassword", "tiger"},
                      MakerCase{Maker::kZipForcedZip64, "ZipForcedZip64", ""}),
    [](const ::testing::TestParamInfo<MakerCase>& info) { return info.param.label; });

TEST(ZipReaderTest, FlattenWritesUnderTheLastComponent) {
    TempDir dir;
    const QString archive =
        MakeSampleArchive(dir, {Maker::kOurs, "Ours", ""}, LocalTime(2020, 1, 2, 3, 4, 6));
    ZipReader zip;
    ASSERT_TRUE(zip.Open(archive));
    ASSERT_TRUE(GoTo(zip, "docs/sub/deep/nested.txt"));
    const QString target = dir.File("flat/a/b");  // made with its parents
    ASSERT_TRUE(zip.Extract(target, true, {}));
    // A folder entry, flattened, makes only the target folder.
    ASSERT_TRUE(GoTo(zip, "docs/sub/"));
    ASSERT_TRUE(zip.Extract(target, true, {}));
    EXPECT_EQ(TreeOf(dir.File("flat")), (std::set<QString>{"a/", "a/b/", "a/b/nested.txt"}));
    EXPECT_EQ(ReadAll(target + "/nested.txt"), "nested content");
}

// ---------------------------------------------------------------------------------------
// Failures never touch the live file.

struct FailureCase {
    const char* label;
    Maker maker;
    const char* archivePassword;
    const char* givenPassword;
    bool damage;  // one byte of the entry's data changed
};

class ZipReaderFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ZipReaderFailureTest, LeavesTheLiveFileByteIdentical) {
    const FailureCase& c = GetParam();
    TempDir dir;
    const QByteArray content = QByteArray("precious live data, line after line\n").repeated(5000);
    dir.Write("src/docs/data.txt", content);
    QString archive = dir.File("backup.zip");
    if (c.maker == Maker::kZipPassword) {
        const ToolResult zip =
            RunTool("/bin/sh", {"-c", "cd \"$1\" && exec zip -q -P \"$2\" \"$3\" docs/data.txt",
                                "sh", dir.File("src"), c.archivePassword, archive});
        ASSERT_EQ(zip.exitCode, 0) << zip.output.toStdString();
    } else {
        ArchiveList list;
        list.Add(dir.File("src/docs/data.txt"), "docs/data.txt", false);
        // Level 0 keeps the bytes as they are, so the damage below hits the content.
        ASSERT_TRUE(WriteArchive(list, archive, c.damage ? 0 : 6,
                                 QString::fromUtf8(c.archivePassword), StopSignal()));
    }
    if (c.damage) {
        // One byte well inside the first entry's data (past an encryption header).
        QByteArray bytes = ReadAll(archive);
        const int nameLength = quint8(bytes[26]) | (quint8(bytes[27]) << 8);
        const int extraLength = quint8(bytes[28]) | (quint8(bytes[29]) << 8);
        const qsizetype at = 30 + nameLength + extraLength + 100;
        ASSERT_LT(at, bytes.size() / 2);
        bytes[at] = char(bytes[at] ^ 0x20);
        QFile file(archive);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    const QString live = dir.Write("live/data.txt", "the live file as the user left it");
    const time_t liveTime = LocalTime(2019, 3, 4, 5, 6, 7);
    SetTimes(live, liveTime);

    LogCapture log;
    ZipReader zip;
    ASSERT_TRUE(zip.Open(archive));
    ASSERT_TRUE(zip.First());
    EXPECT_EQ(zip.Info().name, "docs/data.txt");  // the walk reads no data: damage or not
    EXPECT_FALSE(zip.Extract(dir.File("live"), true, QString::fromUtf8(c.givenPassword)));
    EXPECT_EQ(ReadAll(live), "the live file as the user left it");
    EXPECT_EQ(StatOf(live).mtime, liveTime);
    EXPECT_EQ(TreeOf(dir.File("live")), std::set<QString>{"data.txt"});  // no leftovers
    EXPECT_FALSE(log.Texts().isEmpty());                                 // the reason is logged
    for (const QString& line : log.Texts()) {
        EXPECT_FALSE(line.contains(c.givenPassword) && c.givenPassword[0] != '\0')
            << "password in the log: " << line.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ZipReaderFailureTest,
    ::testing::Values(
        FailureCase{"OursWrongPassword", Maker::kOursPassword, "right", "Sw0rdf1sh", false},
        FailureCase{"ZipWrongPassword", Maker::kZipPassword, "right", "Sw0rdf1sh", false},
        FailureCase{"OursNoPassword", Maker::kOursPassword, "right", "", false},
        FailureCase{"ZipNoPassword", Maker::kZipPassword, "right", "", false},
        FailureCase{"DamagedData", Maker::kOurs, "", "", true},
        FailureCase{"DamagedEncryptedData", Maker::kOursPassword, "right", "right", true}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.label; });

TEST(ZipReaderTest, EmptyEntryReplacesALiveFileWithAnEmptyOne) {
    TempDir dir;
    const QString source = dir.Write("src/empty.txt", {});
    const time_t entryTime = LocalTime(2022, 2, 3, 4, 5, 6);
    SetTimes(source, entryTime);
    for (const char* password : {"", "pw"}) {
        SCOPED_TRACE(password);
        ArchiveList list;
        list.Add(source, "empty.txt", false);
        const QString archive = dir.File("empty.zip");
        ASSERT_TRUE(WriteArchive(list, archive, 6, password, StopSignal()));
        const QString live = dir.Write("live/empty.txt", "was not empty");
        ZipReader zip;
        ASSERT_TRUE(zip.Open(archive));
        ASSERT_TRUE(zip.First());
        ASSERT_TRUE(zip.Extract(dir.File("live"), true, password));
        EXPECT_TRUE(QFileInfo(live).isFile());
        EXPECT_EQ(QFileInfo(live).size(), 0);
        EXPECT_EQ(StatOf(live).mtime, entryTime);
    }
}

// ---------------------------------------------------------------------------------------
// Hostile names.

TEST(ZipReaderTest, HostileNamesLandNowhereOutsideTheTarget) {
    TempDir dir;
    const QString archive = dir.File("evil.zip");
    const ToolResult made = Python(
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
        "    for name in sys.argv[2:]:\n"
        "        z.writestr(zipfile.ZipInfo(name, (2020, 5, 6, 7, 8, 10)), 'data of ' + name)\n",
        {archive, "../evil.txt", "/abs.txt", "a/../../x", "a\\..\\..\\y", "dir\\file.txt",
         "C:drive.txt", "ok/..", "dot/."});
    ASSERT_EQ(made.exitCode, 0) << made.output.toStdString();

    struct Expected {
        QString name;  // as the reader shows it
        bool safe;     // by IsSafeEntryName
        bool written;  // a file name to write under ("." is none)
    };
    const std::vector<Expected> expected = {
        {"../evil.txt", false, false}, {"/abs.txt", false, false},   {"a/../../x", false, false},
        {"a/../../y", false, false},   {"dir/file.txt", true, true}, {"C:drive.txt", false, false},
        {"ok/..", false, false},       {"dot/.", true, false},
    };
    const QString target = dir.File("root/target");
    LogCapture log;
    ZipReader zip;
    ASSERT_TRUE(zip.Open(archive));
    size_t index = 0;
    for (bool more = zip.First(); more; more = zip.Next(), ++index) {
        ASSERT_LT(index, expected.size());
        const Expected& e = expected[index];
        SCOPED_TRACE(e.name.toStdString());
        EXPECT_EQ(zip.Info().name, e.name);
        EXPECT_EQ(IsSafeEntryName(zip.Info().name), e.safe);
        for (const bool flatten : {false, true}) {
            const int before = log.CountEndingWith("  Error: unsafe path '" + e.name + "' skipped");
            EXPECT_EQ(zip.Extract(target, flatten, {}), e.written);
            const int after = log.CountEndingWith("  Error: unsafe path '" + e.name + "' skipped");
            EXPECT_EQ(after - before, e.written ? 0 : 1);
        }
    }
    EXPECT_EQ(index, expected.size());
    // Only the safe entry was written, once under its path and once flattened.
    EXPECT_EQ(
        TreeOf(dir.File("root")),
        (std::set<QString>{"target/", "target/dir/", "target/dir/file.txt", "target/file.txt"}));
    EXPECT_EQ(ReadAll(target + "/dir/file.txt"), "data of dir\\file.txt");
    EXPECT_FALSE(QFileInfo::exists(dir.File("evil.txt")));
    EXPECT_FALSE(QFileInfo::exists(dir.File("x")));
    EXPECT_FALSE(QFileInfo::exists(dir.File("y")));
}

TEST(ZipReaderTest, SafeNameRules) {
    const std::vector<std::pair<QString, bool>> cases = {
        {"a.txt", true},   {"a/b/c.txt", true}, {"folder/", true},
        {"./a", true},     {"..a", true},       {"a..", true},
        {"a/.../b", true}, {"ab:c", true},      {"1:x", true},
        {"", false},       {"..", false},       {"../a", false},
        {"a/..", false},   {"a/../b", false},   {"a\\..\\b", false},
        {"..\\a", false},  {"/a", false},       {"\\a", false},
        {"C:a", false},    {"c:/a", false},     {QString("a") + QChar(0) + "b", false},
    };
    for (const auto& [name, safe] : cases) {
        EXPECT_EQ(IsSafeEntryName(name), safe) << name.toStdString();
    }
}

// ---------------------------------------------------------------------------------------
// Name encodings.

TEST(ZipReaderTest, Cp437TableMatchesPythonsCodec) {
    QByteArray all;
    for (int byte = 0; byte < 256; ++byte) {
        all.append(char(byte));
    }
    const ToolResult python = Python(
        "import sys; sys.stdout.write(bytes(range(256)).decode('cp437').encode('utf-8').hex())",
        {});
    ASSERT_EQ(python.exitCode, 0) << python.output.toStdString();
    EXPECT_EQ(Cp437ToString(all).toUtf8().toHex(), python.output.toLatin1());
}

TEST(ZipReaderTest, DecodesNamesByFlagFieldAndHost) {
    // Python writes ASCII names or UTF-8 with the flag; the old encodings are made by
    // writing an ASCII stand-in of the same length and putting the raw bytes in its place
    // (in the local and the central header).
    TempDir dir;
    const QString archive = dir.File("names.zip");
    const ToolResult made = Python(
        "import sys, struct, zlib, zipfile\n"
        "cases = [\n"
        "    (b'caf\\x82.txt', 0, None),\n"
        "    (b'\\x8e\\x99\\x9a \\xe1.txt', 0, None),\n"
        "    (b'box\\xc9\\xcd\\xbb.txt', 0, None),\n"
        "    (b'caf\\xc3\\xa9.txt', 0, None),\n"
        "    (b'caf\\xc3\\xa9-unix.txt', 3, None),\n"
        "    (b'na\\x8bve-unix.txt', 3, None),\n"
        "    (b'old\\x82.txt', 0, ('new\\u00e9.txt', True)),\n"
        "    (b'old\\x82-stale.txt', 0, ('new\\u00e9.txt', False)),\n"
        "    (b'dir\\\\sub\\\\f.txt', 0, None),\n"
        "]\n"
        "stand_ins = []\n"
        "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
        "    for i, (raw, host, unicode) in enumerate(cases):\n"
        "        stand_in = ('@%d@' % i).ljust(len(raw), '#')\n"
        "        info = zipfile.ZipInfo(stand_in, (2020, 1, 1, 0, 0, 0))\n"
        "        info.create_system = host\n"
        "        if unicode:\n"
        "            name = unicode[0].encode('utf-8')\n"
        "            crc = zlib.crc32(raw if unicode[1] else raw + b'!')\n"
        "            info.extra = struct.pack('<HHBI', 0x7075, 5 + len(name), 1, crc) + name\n"
        "        z.writestr(info, 'x')\n"
        "        stand_ins.append((stand_in.encode(), raw))\n"
        "data = open(sys.argv[1], 'rb').read()\n"
        "for stand_in, raw in stand_ins:\n"
        "    assert data.count(stand_in) == 2\n"
        "    data = data.replace(stand_in, raw)\n"
        "open(sys.argv[1], 'wb').write(data)\n",
        {archive});
    ASSERT_EQ(made.exitCode, 0) << made.output.toStdString();

    ZipReader zip;
    ASSERT_TRUE(zip.Open(archive));
    EXPECT_EQ(NamesOf(zip), QStringList({
                                QString::fromUtf8("café.txt"),
                                QString::fromUtf8("ÄÖÜ ß.txt"),
                                QString::fromUtf8("box╔═╗.txt"),
                                QString::fromUtf8("caf├⌐.txt"),  // DOS host: code page 437
                                QString::fromUtf8("café-unix.txt"),
                                FileNameFromBytes("na\x8bve-unix.txt"),  // Unix: the bytes
                                QString::fromUtf8("newé.txt"),           // Unicode Path field
                                QString::fromUtf8("oldé-stale.txt"),     // field for other bytes
                                "dir/sub/f.txt",
                            }));
    // The decoded name is the file's name on disk.
    ASSERT_TRUE(zip.First());
    ASSERT_TRUE(zip.Extract(dir.File("out"), false, {}));
    EXPECT_EQ(ReadAll(dir.File(QString::fromUtf8("out/café.txt"))), "x");
}

TEST(ZipReaderTest, ZipsUnflaggedUtf8NamesComeBackAsWritten) {
    // Debian's zip stores the locale's bytes without the UTF-8 flag, host Unix.
    TempDir dir;
    const QString name = QString::fromUtf8("Grüße čaj.txt");
    dir.Write("src/" + name, "tea");
    const QString archive = dir.File("zip.zip");
    const ToolResult zip = RunTool("/bin/sh", {"-c", "cd \"$1\" && exec zip -q \"$2\" \"$3\"", "sh",
                                               dir.File("src"), archive, name});
    ASSERT_EQ(zip.exitCode, 0) << zip.output.toStdString();
    ZipReader reader;
    ASSERT_TRUE(reader.Open(archive));
    EXPECT_EQ(NamesOf(reader), QStringList{name});
    ASSERT_TRUE(reader.First());
    EXPECT_EQ(reader.Info().flags & (1u << 11), 0u) << "zip began to set the UTF-8 flag";
    EXPECT_EQ(reader.Info().versionMadeBy >> 8, 3);
}

// ---------------------------------------------------------------------------------------
// Walking.

TEST(ZipReaderTest, ExtensionFilterSkipsOtherEntries) {
    TempDir dir;
    const QString file = dir.Write("card", "BEGIN:VCARD");
    ArchiveList list;
    for (const char* name : {"c.vcf.txt", "a.vcf", "b.VCF", "dvcf", "e.vcf/", "x/f.vcf", ".vcf"}) {
        list.Add(QString(name).endsWith('/') ? dir.Path() : file, name, false);
    }
    const QString archive = dir.File("contacts.zip");
    ASSERT_TRUE(WriteArchive(list, archive, 6, {}, StopSignal()));

    ZipReader zip;
    ASSERT_TRUE(zip.Open(archive));
    EXPECT_EQ(NamesOf(zip, "vcf"), QStringList({"a.vcf", "b.VCF", "x/f.vcf", ".vcf"}));
    EXPECT_EQ(NamesOf(zip, "VCF"), QStringList({"a.vcf", "b.VCF", "x/f.vcf", ".vcf"}));
    EXPECT_EQ(NamesOf(zip, "txt"), QStringList({"c.vcf.txt"}));
    EXPECT_EQ(NamesOf(zip, "doc"), QStringList());
    EXPECT_EQ(NamesOf(zip).size(), 7);
    // At the end: no current entry, and Next stays at the end.
    EXPECT_FALSE(zip.Next());
    EXPECT_TRUE(zip.Info().name.isEmpty());
    EXPECT_FALSE(zip.Extract(dir.File("out"), false, {}));
    EXPECT_FALSE(QFileInfo::exists(dir.File("out")));
}

TEST(ZipReaderTest, OpenAndCloseStates) {
    TempDir dir;
    ZipReader zip;
    EXPECT_FALSE(zip.IsOpen());
    EXPECT_EQ(zip.Count(), 0u);
    EXPECT_FALSE(zip.First());
    EXPECT_FALSE(zip.Open(dir.File("missing.zip")));
    EXPECT_FALSE(zip.Open(dir.Write("not.zip", QByteArray("PK but no archive").repeated(100))));
    EXPECT_FALSE(zip.IsOpen());

    ArchiveList list;
    list.Add(dir.Write("a.txt", "a"), "a.txt", false);
    list.Add(dir.Write("b.txt", "b"), "b.txt", false);
    const QString archive = dir.File("backup.2024-05-06.zip");
    ASSERT_TRUE(WriteArchive(list, archive, 6, {}, StopSignal()));
    ASSERT_TRUE(zip.Open(archive));
    EXPECT_EQ(zip.BaseName(), "backup.2024-05-06");
    EXPECT_EQ(zip.Count(), 2u);
    EXPECT_TRUE(zip.Info().name.isEmpty());  // no entry before First
    ASSERT_TRUE(zip.First());
    EXPECT_EQ(zip.Info().name, "a.txt");
    EXPECT_EQ(zip.Info().uncompressedSize, 1u);
    zip.Close();
    EXPECT_FALSE(zip.IsOpen());
    EXPECT_EQ(zip.Count(), 0u);
    EXPECT_TRUE(zip.Info().name.isEmpty());
    EXPECT_FALSE(zip.Next());
}

TEST(ZipReaderTest, UnsupportedMethodFailsWithAnErrorLine) {
    TempDir dir;
    const QString archive = dir.File("bzip2.zip");
    const ToolResult made = Python(
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_BZIP2) as z:\n"
        "    z.writestr('b.txt', 'bzip2 data ' * 100)\n",
        {archive});
    ASSERT_EQ(made.exitCode, 0) << made.output.toStdString();
    const QString live = dir.Write("live/b.txt", "live");
    LogCapture log;
    ZipReader zip;
    ASSERT_TRUE(zip.Open(archive));
    ASSERT_TRUE(zip.First());
    EXPECT_EQ(int(zip.Info().method), 12);
    EXPECT_FALSE(zip.Extract(dir.File("live"), true, {}));
    EXPECT_EQ(log.CountEndingWith("  Error: unsupported compression method 12 in 'b.txt'"), 1);
    EXPECT_EQ(ReadAll(live), "live");
    EXPECT_EQ(TreeOf(dir.File("live")), std::set<QString>{"b.txt"});
    // Nothing is made for an entry that cannot be read, not even its folder.
    EXPECT_FALSE(zip.Extract(dir.File("fresh"), false, {}));
    EXPECT_FALSE(QFileInfo::exists(dir.File("fresh")));
}

TEST(ZipReaderTest, ReadsAZip64ArchiveOfMoreThan65535Entries) {
    // Our writer goes to ZIP64 past 65,535 entries.
    TempDir dir;
    std::vector<QString> sources;
    for (int i = 0; i < 16; ++i) {
        sources.push_back(dir.Write(QString("s%1.txt").arg(i), QByteArray::number(i * 7919)));
    }
    constexpr int kEntries = 70000;
    ArchiveList list;
    for (int i = 0; i < kEntries; ++i) {
        list.Add(sources[size_t(i % 16)], QString("d%1/f%2.txt").arg(i / 1000).arg(i), false);
    }
    const QString archive = dir.File("many.zip");
    ASSERT_TRUE(WriteArchive(list, archive, 1, {}, StopSignal()));

    ZipReader zip;
    ASSERT_TRUE(zip.Open(archive));
    EXPECT_EQ(zip.Count(), quint64(kEntries));
    int walked = 0;
    for (bool more = zip.First(); more; more = zip.Next()) {
        ++walked;
        if (walked == kEntries) {
            EXPECT_EQ(zip.Info().name, QString("d69/f%1.txt").arg(kEntries - 1));
            ASSERT_TRUE(zip.Extract(dir.File("out"), true, {}));
        }
    }
    EXPECT_EQ(walked, kEntries);
    EXPECT_EQ(ReadAll(dir.File(QString("out/f%1.txt").arg(kEntries - 1))),
              QByteArray::number(((kEntries - 1) % 16) * 7919));
}

TEST(ZipReaderTest, TakesSizesAndOffsetsFromTheZip64Block) {
    // Python writes the ZIP64 block for every size and offset above its limit; with the
    // limit lowered, a small archive has 64-bit sizes and local header offsets that only
    // the block holds (the directory's 32-bit fields read 0xFFFFFFFF).
    TempDir dir;
    const QString archive = dir.File("zip64.zip");
    const ToolResult made = Python(
        "import sys, zipfile, random\n"
        "zipfile.ZIP64_LIMIT = 100\n"
        "random.seed(3)\n"
        "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
        "    z.writestr('a.txt', 'first ' * 50, zipfile.ZIP_DEFLATED)\n"
        "    z.writestr('b.bin', bytes(random.randrange(256) for _ in range(5000)),\n"
        "               zipfile.ZIP_STORED)\n"
        "    z.writestr('c.txt', 'x', zipfile.ZIP_DEFLATED)\n"
        "    z.writestr('d.txt', 'second ' * 70, zipfile.ZIP_DEFLATED)\n"
        "for info in zipfile.ZipFile(sys.argv[1]).infolist():\n"
        "    sys.stdout.write('%s %d %d\\n' % (info.filename, info.file_size, "
        "info.header_offset))\n",
        {archive});
    ASSERT_EQ(made.exitCode, 0) << made.output.toStdString();
    EXPECT_TRUE(made.output.contains(QRegularExpression("c.txt 1 [1-9][0-9][0-9]")))
        << made.output.toStdString();  // an offset past the lowered limit

    ZipReader zip;
    ASSERT_TRUE(zip.Open(archive));
    std::vector<std::pair<QString, quint64>> sizes;
    const QString out = dir.File("out");
    for (bool more = zip.First(); more; more = zip.Next()) {
        sizes.emplace_back(zip.Info().name, zip.Info().uncompressedSize);
        EXPECT_TRUE(zip.Extract(out, false, {})) << zip.Info().name.toStdString();
    }
    EXPECT_EQ(sizes, (std::vector<std::pair<QString, quint64>>{
                         {"a.txt", 300}, {"b.bin", 5000}, {"c.txt", 1}, {"d.txt", 490}}));
    EXPECT_EQ(ReadAll(out + "/a.txt"), QByteArray("first ").repeated(50));
    EXPECT_EQ(ReadAll(out + "/b.bin").size(), 5000);
    EXPECT_EQ(ReadAll(out + "/c.txt"), "x");
    EXPECT_EQ(ReadAll(out + "/d.txt"), QByteArray("second ").repeated(70));
}

TEST(ZipReaderTest, ATargetThatIsAFolderFailsWithoutLeftovers) {
    TempDir dir;
    ArchiveList list;
    list.Add(dir.Write("src/data.txt", "data"), "data.txt", false);
    const QString archive = dir.File("backup.zip");
    ASSERT_TRUE(WriteArchive(list, archive, 6, {}, StopSignal()));
    QDir().mkpath(dir.File("live/data.txt/inner"));
    LogCapture log;
    ZipReader zip;
    ASSERT_TRUE(zip.Open(archive));
    ASSERT_TRUE(zip.First());
    EXPECT_FALSE(zip.Extract(dir.File("live"), true, {}));
    EXPECT_EQ(TreeOf(dir.File("live")), (std::set<QString>{"data.txt/", "data.txt/inner/"}));
    EXPECT_EQ(log.Texts().size(), 1);
}

// ---------------------------------------------------------------------------------------
// The decoder on its own: pieces of any size, and no more content than declared.

struct EncodedEntry {
    QByteArray raw;  // header and data as stored
    quint32 crc = 0;
};

EncodedEntry DeflateAndEncrypt(const QByteArray& content, const QByteArray& password) {
    EncodedEntry entry;
    entry.crc =
        quint32(crc32(crc32(0, Z_NULL, 0), reinterpret_cast<const Bytef*>(content.constData()),
                      uInt(content.size())));
    z_stream stream = {};
    EXPECT_EQ(deflateInit2(&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    QByteArray deflated(int(deflateBound(&stream, uLong(content.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.constData()));
    stream.avail_in = uInt(content.size());
    stream.next_out = reinterpret_cast<Bytef*>(deflated.data());
    stream.avail_out = uInt(deflated.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    deflated.truncate(qsizetype(stream.total_out));
    deflateEnd(&stream);
    ZipCrypto crypto(password);
    unsigned char header[ZipCrypto::kHeaderSize];
    const unsigned char random[ZipCrypto::kHeaderSize - 1] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    crypto.EncryptHeader(random, static_cast<unsigned char>(entry.crc >> 24), header);
    crypto.Encrypt(reinterpret_cast<unsigned char*>(deflated.data()), size_t(deflated.size()));
    entry.raw = QByteArray(reinterpret_cast<const char*>(header), sizeof header) + deflated;
    return entry;
}

ZipEntryDecoder::Status Decode(ZipEntryDecoder& decoder, const EncodedEntry& entry,
                               quint64 declaredSize, int pieceSize, QByteArray& content) {
    decoder.Start(true, true, "pw", static_cast<unsigned char>(entry.crc >> 24), declaredSize,
                  entry.crc);
    QByteArray raw = entry.raw;
    auto* bytes = reinterpret_cast<unsigned char*>(raw.data());
    const ZipEntryDecoder::Sink sink = [&](const char* data, size_t size) {
        content.append(data, qsizetype(size));
        return true;
    };
    for (qsizetype at = 0; at < raw.size(); at += pieceSize) {
        const auto size = size_t(std::min<qsizetype>(pieceSize, raw.size() - at));
        const ZipEntryDecoder::Status status = decoder.Feed(bytes + at, size, sink);
        if (status != ZipEntryDecoder::Status::kOk) {
            return status;
        }
    }
    return decoder.Finish();
}

TEST(ZipEntryDecoderTest, PiecesOfAnySizeGiveTheSameContent) {
    const QByteArray content = RandomBytes(3000, 11) + QByteArray("abc").repeated(100000);
    const EncodedEntry entry = DeflateAndEncrypt(content, "pw");
    ZipEntryDecoder decoder;  // one decoder for every round, as the reader uses it
    for (const int piece : {1, 5, 12, 13, 4096, 1 << 20}) {
        QByteArray decoded;
        EXPECT_EQ(Decode(decoder, entry, quint64(content.size()), piece, decoded),
                  ZipEntryDecoder::Status::kOk)
            << piece;
        EXPECT_EQ(decoded, content) << piece;
    }
}

TEST(ZipEntryDecoderTest, ContentBeyondTheDeclaredSizeIsDamage) {
    // A directory that understates the size (a "zip bomb" or a damaged archive) never
    // gets more than the declared bytes through to the file.
    const QByteArray content = QByteArray("z").repeated(1000000);
    const EncodedEntry entry = DeflateAndEncrypt(content, "pw");
    ZipEntryDecoder decoder;
    QByteArray decoded;
    EXPECT_EQ(Decode(decoder, entry, 1000, 4096, decoded), ZipEntryDecoder::Status::kDamaged);
    EXPECT_LE(decoded.size(), 1000);
    // A size the content does not reach is damage too.
    decoded.clear();
    EXPECT_EQ(Decode(decoder, entry, 1000001, 4096, decoded), ZipEntryDecoder::Status::kDamaged);
}

}  // namespace
}  // namespace corvane
