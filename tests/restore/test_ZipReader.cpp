// Reading real archives back (our writer, `zip`, Python's zipfile); every extraction is
// checked in its folder afterwards, down to leftovers of the temporary files.

#include <sys/stat.h>
#include <zlib.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdlib>
#include <map>

#include <gtest/gtest.h>

#include "engine/ArchiveWriter.h"
#include "model/FileName.h"
#include "restore/RestoreTesting.h"
#include "restore/ZipEntryDecoder.h"
#include "restore/ZipNameText.h"
#include "restore/ZipReader.h"
#include "support/LogCapture.h"
#include "support/Tools.h"

namespace corvane {
namespace {

using namespace test;

struct stat StatOf(const QString& path) {
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info;
}

// The names the reader walks, in archive order.
QStringList NamesOf(ZipReader& zip) {
    QStringList names;
    for (bool more = zip.First(); more; more = zip.Next()) {
        names << zip.Info().name;
    }
    return names;
}

// Runs an archiver inside `folder` (zip and 7z store paths relative to it).
ToolResult RunIn(const QString& folder, const QString& program, const QStringList& arguments) {
    return RunTool(
        "/bin/sh",
        QStringList{"-c", "cd \"$1\" && shift && exec \"$0\" \"$@\"", program, folder} + arguments);
}

// Writes dir/name with a Python script that gets its path as argv[1] (and `more` after
// it); answers the path, empty when the script failed.
QString MadeByPython(const TempDir& dir, const QString& name, const QString& script,
                     const QStringList& more = {}) {
    const ToolResult made = RunPython(script, QStringList{dir.File(name)} + more);
    EXPECT_EQ(made.exitCode, 0) << made.output.toStdString();
    return made.exitCode == 0 ? dir.File(name) : QString();
}

// Names below "docs/" and contents: larger than the reader's buffers (to cross chunk
// boundaries), incompressible data, a single byte, an empty file, a nested one and a
// non-ASCII name.
const std::vector<std::pair<QString, QByteArray>> kSamples = {
    {"text.txt", QByteArray("all work and no play makes a dull backup.\n").repeated(9000)},
    {"random.bin", RandomBytes(200000, 7)},
    {"one.txt", "x"},
    {"empty.txt", {}},
    {"sub/deep/nested.txt", "nested content"},
    {QString::fromUtf8("sub/Grüße.txt"), "non-ascii name"},
    {"run.sh", "#!/bin/sh\necho hi\n"},
};
constexpr mode_t kScriptMode = 0750;

enum class Maker { kOurs, kOursAes, kZip, kSevenZipAes, kSevenZipAes128 };

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
    for (const auto& [name, content] : kSamples) {
        SetMtime(dir.Write("src/docs/" + name, content), sourceTime);
        list.Add(source + "/docs/" + name, "docs/" + name, false);
    }
    ::chmod(QFile::encodeName(source + "/docs/run.sh").constData(), kScriptMode);
    const QString archive = dir.File("backup.zip");
    if (how.maker == Maker::kOurs || how.maker == Maker::kOursAes) {
        const QString password = QString::fromUtf8(how.password);
        const ArchiveCipher cipher = how.maker == Maker::kOurs ? kCipherTraditional : kCipherAes256;
        return WriteArchive(list, archive, 6, password, StopSignal(), 0, cipher) ? archive
                                                                                 : QString();
    }
    if (how.maker == Maker::kSevenZipAes || how.maker == Maker::kSevenZipAes128) {
        const QString strength = how.maker == Maker::kSevenZipAes ? "256" : "128";
        const ToolResult seven = RunIn(
            source, "7z",
            {"a", "-tzip", "-mem=AES" + strength, QString("-p") + how.password, archive, "docs"});
        EXPECT_EQ(seven.exitCode, 0) << seven.output.toStdString();
        return seven.exitCode == 0 ? archive : QString();
    }
    QStringList arguments = {"-q", "-r"};
    if (*how.password != '\0') {
        arguments << "-P" << how.password;
    }
    const ToolResult zip = RunIn(source, "zip", arguments << archive << "docs");
    EXPECT_EQ(zip.exitCode, 0) << zip.output.toStdString();
    return zip.exitCode == 0 ? archive : QString();
}

class ZipReaderRoundTripTest : public ::testing::TestWithParam<MakerCase> {};

TEST_P(ZipReaderRoundTripTest, WalksAndExtractsEveryEntry) {
    TempDir dir;
    const time_t sourceTime = 1623752431;  // an odd second
    const QString archive = MakeSampleArchive(dir, GetParam(), sourceTime);
    ASSERT_FALSE(archive.isEmpty());
    ZipReader zip;
    ASSERT_TRUE(zip.Open(archive));
    QStringList names = NamesOf(zip);
    EXPECT_EQ(zip.Count(), quint64(names.size()));
    const QStringList tree = TreeOf(dir.File("src"));  // "docs/", "docs/one.txt=x", ...
    QStringList expectedNames;
    for (const QString& line : tree) {
        expectedNames << line.section('=', 0, 0);
    }
    names.sort();
    expectedNames.sort();
    EXPECT_EQ(names, expectedNames);

    // An empty entry replaces a live file that is not empty.
    const QString out = dir.File("out");
    dir.Write("out/docs/empty.txt", "was not empty");
    LogCapture log;
    std::map<QString, qint64> times;
    for (bool more = zip.First(); more; more = zip.Next()) {
        const ZipEntryInfo& info = zip.Info();
        SCOPED_TRACE(info.name.toStdString());
        EXPECT_EQ(info.isFolder, info.name.endsWith('/'));
        times[info.name] = info.time;
        if (!info.isFolder) {
            EXPECT_EQ(info.encrypted, *GetParam().password != '\0');
            // DOS times have two-second steps: an odd source second becomes a neighbour.
            EXPECT_LE(std::abs(info.time - qint64(sourceTime)), 1);
            EXPECT_EQ((info.time - qint64(sourceTime) + 1) % 2, 0);
        }
        ASSERT_TRUE(zip.Extract(out, false, QString::fromUtf8(GetParam().password)))
            << log.Texts().join('\n').toStdString();
    }

    // Exactly the archive's tree, with its times (read first: reading moves the access
    // time), permission bits and contents.
    for (const auto& sample : kSamples) {
        const QString name = "docs/" + sample.first;
        SCOPED_TRACE(name.toStdString());
        const struct stat stat = StatOf(out + '/' + name);
        EXPECT_TRUE(S_ISREG(stat.st_mode));
        EXPECT_EQ(qint64(stat.st_mtim.tv_sec), times[name]);
        EXPECT_EQ(qint64(stat.st_atim.tv_sec), times[name]);
    }
    EXPECT_EQ(StatOf(out + "/docs/run.sh").st_mode & 0777, kScriptMode);
    EXPECT_EQ(TreeOf(out), tree);
}

INSTANTIATE_TEST_SUITE_P(
    Makers, ZipReaderRoundTripTest,
    ::testing::Values(MakerCase{Maker::kOurs, "Ours", ""},
                      MakerCase{Maker::kOurs, "OursWithPassword", "t\xc3\xafger"},
                      MakerCase{Maker::kZip, "Zip", ""},
                      MakerCase{Maker::kZip, "ZipWithPassword", "tiger"},
                      MakerCase{Maker::kOursAes, "OursAes", "t\xc3\xafger"},
                      MakerCase{Maker::kSevenZipAes, "SevenZipAes", "tiger"},
                      MakerCase{Maker::kSevenZipAes128, "SevenZipAes128", "tiger"}),
    [](const ::testing::TestParamInfo<MakerCase>& info) { return info.param.label; });

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
        const ToolResult zip = RunIn(dir.File("src"), "zip",
                                     {"-q", "-P", c.archivePassword, archive, "docs/data.txt"});
        ASSERT_EQ(zip.exitCode, 0) << zip.output.toStdString();
    } else {
        ArchiveList list;
        list.Add(dir.File("src/docs/data.txt"), "docs/data.txt", false);
        // Level 0 keeps the bytes as they are, so the damage below hits the content.
        const ArchiveCipher cipher =
            c.maker == Maker::kOursAes ? kCipherAes256 : kCipherTraditional;
        ASSERT_TRUE(WriteArchive(list, archive, c.damage ? 0 : 6,
                                 QString::fromUtf8(c.archivePassword), StopSignal(), 0, cipher));
    }
    if (c.damage) {
        // The stored entry is nearly all of the archive: a quarter in is inside its data.
        QByteArray bytes = ReadAll(archive);
        bytes[bytes.size() / 4] = char(bytes[bytes.size() / 4] ^ 0x20);
        dir.Write("backup.zip", bytes);
    }
    const QString live = dir.Write("live/data.txt", "the live file as the user left it");
    SetMtime(live, 1552000000);

    LogCapture log;
    ZipReader zip;
    ASSERT_TRUE(zip.Open(archive));
    ASSERT_TRUE(zip.First());
    EXPECT_EQ(zip.Info().name, "docs/data.txt");  // the walk reads no data: damage or not
    EXPECT_FALSE(zip.Extract(dir.File("live"), true, QString::fromUtf8(c.givenPassword)));
    // What makes a restore say "maybe archive is encrypted".
    EXPECT_EQ(zip.PasswordMayBeWrong(), *c.archivePassword != '\0');
    EXPECT_EQ(TreeOf(dir.File("live")), QStringList{"data.txt=the live file as the user left it"});
    EXPECT_EQ(StatOf(live).st_mtim.tv_sec, 1552000000);
    EXPECT_FALSE(log.Texts().isEmpty());  // the reason is logged
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
                      FailureCase{"DamagedEncryptedData", Maker::kOurs, "right", "right", true},
                      // AE-2 keeps no CRC: only the authentication code finds the damage.
                      FailureCase{"AesWrongPassword", Maker::kOursAes, "right", "Sw0rdf1sh", false},
                      FailureCase{"DamagedAesData", Maker::kOursAes, "right", "right", true}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.label; });

TEST(ZipReaderTest, UnreadableEntryOrAFolderInTheWayFailsWithoutLeftovers) {
    TempDir dir;
    const QString archive =
        MadeByPython(dir, "bzip2.zip",
                     "import sys, zipfile\n"
                     "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_BZIP2) as z:\n"
                     "    z.writestr('b.txt', 'bzip2 data ' * 100)\n"
                     "    z.writestr('data.txt', 'data', zipfile.ZIP_DEFLATED)\n");
    dir.Write("live/b.txt", "live");
    QDir().mkpath(dir.File("live/data.txt/inner"));
    LogCapture log;
    ZipReader zip;
    ASSERT_TRUE(zip.Open(archive));
    ASSERT_TRUE(zip.First());
    EXPECT_FALSE(zip.Extract(dir.File("live"), true, {}));
    EXPECT_EQ(log.CountEndingWith("  Error: unsupported compression method 12 in 'b.txt'"), 1);
    ASSERT_TRUE(zip.Next());
    EXPECT_FALSE(zip.Extract(dir.File("live"), true, {}));
    EXPECT_EQ(log.Texts().size(), 2);
    EXPECT_EQ(TreeOf(dir.File("live")),
              QStringList({"b.txt=live", "data.txt/", "data.txt/inner/"}));
    ASSERT_TRUE(zip.First());
    // Nothing is made for an entry that cannot be read, not even its folder.
    EXPECT_FALSE(zip.Extract(dir.File("fresh"), false, {}));
    EXPECT_FALSE(QFileInfo::exists(dir.File("fresh")));
}

TEST(ZipReaderTest, HostileNamesLandNowhereOutsideTheTarget) {
    TempDir dir;
    // Only "dir\\file.txt" is safe ("dot/." names no file); the reader shows "/" for "\\".
    const QStringList names = {"../evil.txt",   "/abs.txt",    "a/../../x", "a\\..\\..\\y",
                               "dir\\file.txt", "C:drive.txt", "ok/..",     "dot/."};
    const QString archive = MadeByPython(
        dir, "evil.zip",
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
        "    for name in sys.argv[2:]:\n"
        "        z.writestr(zipfile.ZipInfo(name, (2020, 5, 6, 7, 8, 10)), 'data of ' + name)\n",
        names);
    const QString target = dir.File("root/target");
    LogCapture log;
    ZipReader zip;
    ASSERT_TRUE(zip.Open(archive));
    qsizetype index = 0;
    for (bool more = zip.First(); more; more = zip.Next(), ++index) {
        ASSERT_LT(index, names.size());
        const QString name = QString(names[index]).replace('\\', '/');
        const bool written = name == "dir/file.txt";
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(zip.Info().name, name);
        for (const bool flatten : {false, true}) {
            const QString refusal = "  Error: unsafe path '" + name + "' skipped";
            const int before = log.CountEndingWith(refusal);
            EXPECT_EQ(zip.Extract(target, flatten, {}), written);
            EXPECT_EQ(log.CountEndingWith(refusal) - before, written ? 0 : 1);
        }
    }
    EXPECT_EQ(index, names.size());
    // Only the safe entry was written, once under its path and once flattened.
    EXPECT_EQ(TreeOf(dir.File("root")),
              QStringList({"target/", "target/dir/", "target/dir/file.txt=data of dir\\file.txt",
                           "target/file.txt=data of dir\\file.txt"}));
    for (const char* escaped : {"evil.txt", "x", "y"}) {
        EXPECT_FALSE(QFileInfo::exists(dir.File(escaped))) << escaped;
    }
}

TEST(ZipReaderTest, SafeNameRules) {
    // clang-format off
    const std::vector<std::pair<QString, bool>> cases = {
        {"folder/", true}, {"./a", true}, {"..a", true}, {"a..", true}, {"a/.../b", true},
        {"ab:c", true}, {"1:x", true}, {"dot/.", true},
        {"", false}, {"..", false}, {"../a", false}, {"a/..", false}, {"a/../b", false},
        {"a\\..\\b", false}, {"..\\a", false}, {"/a", false}, {"\\a", false}, {"C:a", false},
        {"c:/a", false}, {QString("a") + QChar(0) + "b", false},
    };
    // clang-format on
    for (const auto& [name, safe] : cases) {
        EXPECT_EQ(IsSafeEntryName(name), safe) << name.toStdString();
    }
}

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
        "    (b'caf\\xc3\\xa9.txt', 0, None),\n"
        "    (b'caf\\xc3\\xa9-unix.txt', 3, None),\n"
        "    (b'na\\x8bve-unix.txt', 3, None),\n"
        "    (b'old\\x82.txt', 0, ('new\\u00e9.txt', True)),\n"
        "    (b'old\\x82-stale.txt', 0, ('new\\u00e9.txt', False)),\n"
        "]\n"
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
        "data = open(sys.argv[1], 'rb').read()\n"
        "for i, (raw, _, _) in enumerate(cases):\n"
        "    stand_in = ('@%d@' % i).ljust(len(raw), '#').encode()\n"
        "    assert data.count(stand_in) == 2\n"
        "    data = data.replace(stand_in, raw)\n"
        "open(sys.argv[1], 'wb').write(data)\n");

    ZipReader zip;
    ASSERT_TRUE(zip.Open(archive));
    EXPECT_EQ(NamesOf(zip), QStringList({
                                QString::fromUtf8("café.txt"),
                                QString::fromUtf8("caf├⌐.txt"),  // DOS host: code page 437
                                QString::fromUtf8("café-unix.txt"),
                                FileNameFromBytes("na\x8bve-unix.txt"),  // Unix: the bytes
                                QString::fromUtf8("newé.txt"),           // Unicode Path field
                                QString::fromUtf8("oldé-stale.txt"),     // field for other bytes
                            }));
}

TEST(ZipReaderTest, ReadsAZip64ArchiveOfMoreThan65535Entries) {
    // Our writer goes to ZIP64 past 65,535 entries; Python's zipfile checks every entry.
    TempDir dir;
    const QString source = dir.Write("s.txt", "same content");
    constexpr int kEntries = 70000;
    ArchiveList list;
    for (int i = 0; i < kEntries; ++i) {
        list.Add(source, QString("d%1/f%2.txt").arg(i / 1000).arg(i), false);
    }
    const QString archive = dir.File("many.zip");
    ASSERT_TRUE(WriteArchive(list, archive, 1, {}, StopSignal()));
    const ToolResult python = RunPython(
        "import sys, zipfile\n"
        "assert b'PK\\x06\\x06' in open(sys.argv[1], 'rb').read()[-200:], 'no ZIP64 end record'\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "print(z.testzip(), len(z.infolist()), z.infolist()[-1].filename)\n",
        {archive});
    EXPECT_EQ(python.output.trimmed(),
              QString("None %1 d69/f%2.txt").arg(kEntries).arg(kEntries - 1));

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
    EXPECT_EQ(ReadAll(dir.File(QString("out/f%1.txt").arg(kEntries - 1))), "same content");
}

TEST(ZipReaderTest, TakesSizesAndOffsetsFromTheZip64Block) {
    // Python writes the ZIP64 block for every size and offset above its limit; with the
    // limit lowered, a small archive has 64-bit sizes and local header offsets that only
    // the block holds (the directory's 32-bit fields read 0xFFFFFFFF).
    TempDir dir;
    const QString archive =
        MadeByPython(dir, "zip64.zip",
                     "import sys, zipfile\n"
                     "zipfile.ZIP64_LIMIT = 100\n"
                     "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                     "    z.writestr('a.txt', 'first ' * 50, zipfile.ZIP_DEFLATED)\n"
                     "    z.writestr('b.bin', bytes(range(250)) * 20, zipfile.ZIP_STORED)\n"
                     "    z.writestr('c.txt', 'x', zipfile.ZIP_DEFLATED)\n"
                     "    z.writestr('d.txt', 'second ' * 70, zipfile.ZIP_DEFLATED)\n"
                     "assert zipfile.ZipFile(sys.argv[1]).getinfo('c.txt').header_offset > 100\n");
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
    EXPECT_EQ(ReadAll(out + "/d.txt"), QByteArray("second ").repeated(70));
    // At the end: no current entry, and nothing to extract.
    EXPECT_TRUE(zip.Info().name.isEmpty());
    EXPECT_FALSE(zip.Extract(dir.File("after"), false, {}));
    EXPECT_FALSE(QFileInfo::exists(dir.File("after")));
}

// A directory that understates the size (a "zip bomb" or a damaged archive) never gets
// more than the declared bytes through to the file; one that overstates it is damage too.
TEST(ZipEntryDecoderTest, ContentBeyondTheDeclaredSizeIsDamage) {
    const QByteArray content(1000000, 'z');
    const auto crc = quint32(
        crc32(0, reinterpret_cast<const Bytef*>(content.constData()), uInt(content.size())));
    // qCompress puts a length, zlib's header and its checksum around the raw stream.
    QByteArray raw = qCompress(content, 9).mid(6).chopped(4);
    ZipEntryDecoder decoder;
    for (const quint64 declared : {quint64(1000), quint64(content.size()) + 1}) {
        quint64 received = 0;
        decoder.Start(true, false, {}, 0, declared, crc);
        const ZipEntryDecoder::Status status =
            decoder.Feed(reinterpret_cast<unsigned char*>(raw.data()), size_t(raw.size()),
                         [&received](const char*, size_t size) {
                             received += size;
                             return true;
                         });
        EXPECT_EQ(status == ZipEntryDecoder::Status::kOk ? decoder.Finish() : status,
                  ZipEntryDecoder::Status::kDamaged)
            << declared;
        EXPECT_LE(received, declared);
    }
}

}  // namespace
}  // namespace corvane
