// Reading archives back: archives of our writer, of `zip` and of Python's zipfile, with
// and without password, ZIP64, hostile names, old name encodings, damaged data. Every
// archive is real and every extraction lands in a temporary folder that is checked
// afterwards, down to leftovers of the temporary files.

#include <sys/stat.h>
#include <zlib.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdlib>
#include <set>

#include <gtest/gtest.h>

#include "engine/ArchiveWriter.h"
#include "engine/ZipCrypto.h"
#include "model/FileName.h"
#include "restore/ZipEntryDecoder.h"
#include "restore/ZipNameText.h"
#include "restore/ZipReader.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/Times.h"
#include "support/Tools.h"

namespace corvane {
namespace {

using test::LogCapture;
using test::RandomBytes;
using test::ReadAll;
using test::RunPython;
using test::RunTool;
using test::TempDir;
using test::ToolResult;

struct stat StatOf(const QString& path) {
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info;
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

bool GoTo(ZipReader& zip, const QString& name) {
    for (bool more = zip.First(); more; more = zip.Next()) {
        if (zip.Info().name == name) {
            return true;
        }
    }
    return false;
}

// Runs Debian's zip inside `folder` (it stores paths relative to its current folder).
ToolResult ZipIn(const QString& folder, const QStringList& arguments) {
    return RunTool(
        "/bin/sh",
        QStringList{"-c", "cd \"$1\" && shift && exec zip \"$@\"", "sh", folder} + arguments);
}

// Writes dir/name with a Python script that gets its path as argv[1] (and `more` after
// it); answers the path, empty when the script failed.
QString MadeByPython(const TempDir& dir, const QString& name, const QString& script,
                     const QStringList& more = {}) {
    const ToolResult made = RunPython(script, QStringList{dir.File(name)} + more);
    EXPECT_EQ(made.exitCode, 0) << made.output.toStdString();
    return made.exitCode == 0 ? dir.File(name) : QString();
}

// ---------------------------------------------------------------------------------------
// The sample tree, packed five ways.

struct SampleFile {
    QString name;  // below "docs/"
    QByteArray content;
};

// Larger than the reader's buffers (to cross chunk boundaries), incompressible data, a
// single byte, an empty file, a nested one and a non-ASCII name.
const std::vector<SampleFile> kSamples = {
    {"text.txt", QByteArray("all work and no play makes a dull backup.\n").repeated(9000)},
    {"random.bin", RandomBytes(200000, 7)},
    {"one.txt", "x"},
    {"empty.txt", {}},
    {"sub/deep/nested.txt", "nested content"},
    {QString::fromUtf8("sub/Grüße.txt"), "non-ascii name"},
    {"run.sh", "#!/bin/sh\necho hi\n"},
};
constexpr mode_t kScriptMode = 0750;

enum class Maker { kOurs, kZip, kZipForcedZip64 };

struct MakerCase {
    Maker maker;
    const char* label;
    const char* password;  // empty: no encryption
};

// Writes the sample tree below dir/src/docs with an odd-second modification time and
// packs it; answers the archive path (empty on failure).
QString MakeSampleArchive(const TempDir& dir, const MakerCase& how, time_t sourceTime) {
    const QString source = dir.File("src");
    ArchiveList list;
    for (const char* folder : {"", "sub/", "sub/deep/"}) {
        list.Add(source + "/docs/" + folder, QString("docs/") + folder, false);
    }
    for (const SampleFile& sample : kSamples) {
        test::SetMtime(dir.Write("src/docs/" + sample.name, sample.content), sourceTime);
        list.Add(source + "/docs/" + sample.name, "docs/" + sample.name, false);
    }
    ::chmod(QFile::encodeName(source + "/docs/run.sh").constData(), kScriptMode);
    const QString archive = dir.File("backup.zip");
    if (how.maker == Maker::kOurs) {
        const QString password = QString::fromUtf8(how.password);
        return WriteArchive(list, archive, 6, password, StopSignal()) ? archive : QString();
    }
    QStringList arguments = {"-q", "-r"};
    if (*how.password != '\0') {
        arguments << "-P" << how.password;
    }
    if (how.maker == Maker::kZipForcedZip64) {
        arguments << "-fz";
    }
    const ToolResult zip = ZipIn(source, arguments << archive << "docs");
    EXPECT_EQ(zip.exitCode, 0) << zip.output.toStdString();
    return zip.exitCode == 0 ? archive : QString();
}

class ZipReaderRoundTripTest : public ::testing::TestWithParam<MakerCase> {};

TEST_P(ZipReaderRoundTripTest, WalksAndExtractsEveryEntry) {
    TempDir dir;
    const time_t sourceTime = 1623752431;  // an odd second
    const QString archive = MakeSampleArchive(dir, GetParam(), sourceTime);
    ASSERT_FALSE(archive.isEmpty());
    const bool encrypted = *GetParam().password != '\0';

    ZipReader zip;
    ASSERT_TRUE(zip.Open(archive));
    EXPECT_EQ(zip.BaseName(), "backup");
    const QStringList names = NamesOf(zip);
    EXPECT_EQ(zip.Count(), quint64(names.size()));
    std::set<QString> expectedNames = {"docs/", "docs/sub/", "docs/sub/deep/"};
    for (const SampleFile& sample : kSamples) {
        expectedNames.insert("docs/" + sample.name);
    }
    EXPECT_EQ(std::set<QString>(names.begin(), names.end()), expectedNames);

    // An empty entry replaces a live file that is not empty.
    const QString out = dir.File("out");
    dir.Write("out/docs/empty.txt", "was not empty");
    LogCapture log;
    for (bool more = zip.First(); more; more = zip.Next()) {
        const ZipEntryInfo& info = zip.Info();
        SCOPED_TRACE(info.name.toStdString());
        EXPECT_EQ(info.isFolder, info.name.endsWith('/'));
        if (!info.isFolder) {
            EXPECT_EQ(info.encrypted, encrypted);
            // DOS times have two-second steps: an odd source second becomes a neighbour.
            EXPECT_LE(std::abs(info.time - qint64(sourceTime)), 1);
            EXPECT_EQ((info.time - qint64(sourceTime) + 1) % 2, 0);
        }
        ASSERT_TRUE(zip.Extract(out, false, QString::fromUtf8(GetParam().password)))
            << log.Texts().join('\n').toStdString();
    }

    // Exactly the archive's tree, with its contents, times and permission bits.
    EXPECT_EQ(TreeOf(out), expectedNames);
    for (const SampleFile& sample : kSamples) {
        SCOPED_TRACE(sample.name.toStdString());
        const QString path = out + "/docs/" + sample.name;
        const struct stat stat = StatOf(path);  // before the read moves the access time
        EXPECT_EQ(ReadAll(path), sample.content);
        ASSERT_TRUE(GoTo(zip, "docs/" + sample.name));
        EXPECT_TRUE(S_ISREG(stat.st_mode));
        EXPECT_EQ(qint64(stat.st_mtim.tv_sec), zip.Info().time);
        EXPECT_EQ(qint64(stat.st_atim.tv_sec), zip.Info().time);
    }
    EXPECT_EQ(StatOf(out + "/docs/run.sh").st_mode & 0777, kScriptMode);
}

INSTANTIATE_TEST_SUITE_P(
    Makers, ZipReaderRoundTripTest,
    ::testing::Values(MakerCase{Maker::kOurs, "Ours", ""},
                      MakerCase{Maker::kOurs, "OursWithPassword", "t\xc3\xafger"},
                      MakerCase{Maker::kZip, "Zip", ""},
                      MakerCase{Maker::kZip, "ZipWithPassword", "tiger"},
                      MakerCase{Maker::kZipForcedZip64, "ZipForcedZip64", ""}),
    [](const ::testing::TestParamInfo<MakerCase>& info) { return info.param.label; });

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
    dir.Write("src/docs/data.txt",
              QByteArray("precious live data, line after line\n").repeated(5000));
    const QString archive = dir.File("backup.zip");
    if (c.maker == Maker::kZip) {
        const ToolResult zip =
            ZipIn(dir.File("src"), {"-q", "-P", c.archivePassword, archive, "docs/data.txt"});
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
        dir.Write("backup.zip", bytes);
    }
    const QString live = dir.Write("live/data.txt", "the live file as the user left it");
    test::SetMtime(live, 1552000000);

    LogCapture log;
    ZipReader zip;
    ASSERT_TRUE(zip.Open(archive));
    ASSERT_TRUE(zip.First());
    EXPECT_EQ(zip.Info().name, "docs/data.txt");  // the walk reads no data: damage or not
    EXPECT_FALSE(zip.Extract(dir.File("live"), true, QString::fromUtf8(c.givenPassword)));
    EXPECT_EQ(ReadAll(live), "the live file as the user left it");
    EXPECT_EQ(StatOf(live).st_mtim.tv_sec, 1552000000);
    EXPECT_EQ(TreeOf(dir.File("live")), std::set<QString>{"data.txt"});  // no leftovers
    EXPECT_FALSE(log.Texts().isEmpty());                                 // the reason is logged
    if (*c.givenPassword != '\0') {
        EXPECT_FALSE(log.Texts().join('\n').contains(c.givenPassword)) << "password in the log";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ZipReaderFailureTest,
    ::testing::Values(FailureCase{"OursWrongPassword", Maker::kOurs, "right", "Sw0rdf1sh", false},
                      FailureCase{"ZipWrongPassword", Maker::kZip, "right", "Sw0rdf1sh", false},
                      FailureCase{"OursNoPassword", Maker::kOurs, "right", "", false},
                      FailureCase{"ZipNoPassword", Maker::kZip, "right", "", false},
                      FailureCase{"DamagedData", Maker::kOurs, "", "", true},
                      FailureCase{"DamagedEncryptedData", Maker::kOurs, "right", "right", true}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.label; });

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

TEST(ZipReaderTest, UnsupportedMethodFailsWithAnErrorLine) {
    TempDir dir;
    const QString archive =
        MadeByPython(dir, "bzip2.zip",
                     "import sys, zipfile\n"
                     "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_BZIP2) as z:\n"
                     "    z.writestr('b.txt', 'bzip2 data ' * 100)\n");
    const QString live = dir.Write("live/b.txt", "live");
    LogCapture log;
    ZipReader zip;
    ASSERT_TRUE(zip.Open(archive));
    ASSERT_TRUE(zip.First());
    EXPECT_FALSE(zip.Extract(dir.File("live"), true, {}));
    EXPECT_EQ(log.CountEndingWith("  Error: unsupported compression method 12 in 'b.txt'"), 1);
    EXPECT_EQ(ReadAll(live), "live");
    EXPECT_EQ(TreeOf(dir.File("live")), std::set<QString>{"b.txt"});
    // Nothing is made for an entry that cannot be read, not even its folder.
    EXPECT_FALSE(zip.Extract(dir.File("fresh"), false, {}));
    EXPECT_FALSE(QFileInfo::exists(dir.File("fresh")));
}

// ---------------------------------------------------------------------------------------
// Hostile names.

TEST(ZipReaderTest, HostileNamesLandNowhereOutsideTheTarget) {
    TempDir dir;
    const QString archive = MadeByPython(
        dir, "evil.zip",
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
        "    for name in sys.argv[2:]:\n"
        "        z.writestr(zipfile.ZipInfo(name, (2020, 5, 6, 7, 8, 10)), 'data of ' + name)\n",
        {"../evil.txt", "/abs.txt", "a/../../x", "a\\..\\..\\y", "dir\\file.txt", "C:drive.txt",
         "ok/..", "dot/."});

    // The name as the reader shows it; whether a file is written ("." names none).
    const std::vector<std::pair<QString, bool>> expected = {
        {"../evil.txt", false}, {"/abs.txt", false},    {"a/../../x", false}, {"a/../../y", false},
        {"dir/file.txt", true}, {"C:drive.txt", false}, {"ok/..", false},     {"dot/.", false},
    };
    const QString target = dir.File("root/target");
    LogCapture log;
    ZipReader zip;
    ASSERT_TRUE(zip.Open(archive));
    size_t index = 0;
    for (bool more = zip.First(); more; more = zip.Next(), ++index) {
        ASSERT_LT(index, expected.size());
        const auto& [name, written] = expected[index];
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(zip.Info().name, name);
        for (const bool flatten : {false, true}) {
            const QString refusal = "  Error: unsafe path '" + name + "' skipped";
            const int before = log.CountEndingWith(refusal);
            EXPECT_EQ(zip.Extract(target, flatten, {}), written);
            EXPECT_EQ(log.CountEndingWith(refusal) - before, written ? 0 : 1);
        }
    }
    EXPECT_EQ(index, expected.size());
    // Only the safe entry was written, once under its path and once flattened.
    EXPECT_EQ(
        TreeOf(dir.File("root")),
        (std::set<QString>{"target/", "target/dir/", "target/dir/file.txt", "target/file.txt"}));
    EXPECT_EQ(ReadAll(target + "/dir/file.txt"), "data of dir\\file.txt");
    for (const char* escaped : {"evil.txt", "x", "y"}) {
        EXPECT_FALSE(QFileInfo::exists(dir.File(escaped))) << escaped;
    }
}

TEST(ZipReaderTest, SafeNameRules) {
    // clang-format off
    const std::vector<std::pair<QString, bool>> cases = {
        {"a.txt", true}, {"a/b/c.txt", true}, {"folder/", true}, {"./a", true}, {"..a", true},
        {"a..", true}, {"a/.../b", true}, {"ab:c", true}, {"1:x", true}, {"dot/.", true},
        {"", false}, {"..", false}, {"../a", false}, {"a/..", false}, {"a/../b", false},
        {"a\\..\\b", false}, {"..\\a", false}, {"/a", false}, {"\\a", false}, {"C:a", false},
        {"c:/a", false}, {QString("a") + QChar(0) + "b", false},
    };
    // clang-format on
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
    const ToolResult python = RunPython(
        "import sys; sys.stdout.write(bytes(range(256)).decode('cp437').encode('utf-8').hex())");
    ASSERT_EQ(python.exitCode, 0) << python.output.toStdString();
    EXPECT_EQ(Cp437ToString(all).toUtf8().toHex(), python.output.toLatin1());
}

TEST(ZipReaderTest, DecodesNamesByFlagFieldAndHost) {
    // Python writes ASCII names or UTF-8 with the flag; the old encodings are made by
    // writing an ASCII stand-in of the same length and putting the raw bytes in its place
    // (in the local and the central header).
    TempDir dir;
    const QString archive = MadeByPython(
        dir, "names.zip",
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
        "open(sys.argv[1], 'wb').write(data)\n");

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
    EXPECT_FALSE(zip.Open(dir.File("missing.zip")));
    EXPECT_FALSE(zip.Open(dir.Write("not.zip", QByteArray("PK but no archive").repeated(100))));
    ASSERT_TRUE(zip.Open(archive));
    EXPECT_EQ(NamesOf(zip, "vcf"), QStringList({"a.vcf", "b.VCF", "x/f.vcf", ".vcf"}));
    EXPECT_EQ(NamesOf(zip, "VCF"), QStringList({"a.vcf", "b.VCF", "x/f.vcf", ".vcf"}));
    EXPECT_EQ(NamesOf(zip, "txt"), QStringList({"c.vcf.txt"}));
    EXPECT_EQ(NamesOf(zip).size(), 7);
    // At the end: no current entry, and nothing to extract.
    EXPECT_FALSE(zip.Next());
    EXPECT_TRUE(zip.Info().name.isEmpty());
    EXPECT_FALSE(zip.Extract(dir.File("out"), false, {}));
    EXPECT_FALSE(QFileInfo::exists(dir.File("out")));
}

TEST(ZipReaderTest, ReadsAZip64ArchiveOfMoreThan65535Entries) {
    // Our writer goes to ZIP64 past 65,535 entries; Python's zipfile checks every entry.
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
    const ToolResult python = RunPython(
        "import sys, zipfile\n"
        "data = open(sys.argv[1], 'rb').read()\n"
        "assert b'PK\\x06\\x06' in data[-200:], 'no ZIP64 end record'\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "assert z.testzip() is None\n"
        "print(len(z.infolist()), z.infolist()[-1].filename)\n",
        {archive});
    EXPECT_EQ(python.output.trimmed(), QString("%1 d69/f%2.txt").arg(kEntries).arg(kEntries - 1));

    ZipReader zip;
    ASSERT_TRUE(zip.Open(archive));
    EXPECT_EQ(zip.Count(), quint64(kEntries));
    int walked = 0;
    for (bool more = zip.First(); more; more = zip.Next()) {
        if (++walked == kEntries) {
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
    const ToolResult made = RunPython(
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
    EXPECT_EQ(ReadAll(out + "/d.txt"), QByteArray("second ").repeated(70));
}

// ---------------------------------------------------------------------------------------
// The decoder on its own: pieces of any size, and no more content than declared.

struct EncodedEntry {
    QByteArray raw;  // header and data as stored
    quint32 crc = 0;
};

EncodedEntry DeflateAndEncrypt(const QByteArray& content, const QByteArray& password) {
    EncodedEntry entry;
    entry.crc = quint32(
        crc32(0, reinterpret_cast<const Bytef*>(content.constData()), uInt(content.size())));
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
    const EncodedEntry entry = DeflateAndEncrypt(QByteArray("z").repeated(1000000), "pw");
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
