#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <limits>

#include "engine/DatesFile.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::LogCapture;
using test::ReadAll;
using test::TempDir;

constexpr quint64 kFileTimeOfUnixEpoch = 116444736000000000ULL;

QByteArray Hex(const char* hex) {
    return QByteArray::fromHex(hex);
}

// ---- Byte layout -------------------------------------------------------------------

struct LayoutCase {
    const char* label;
    DatesRecord record;
    // Expected bytes at offsets; every byte of the name field after `nameEnd` is zero.
    std::vector<std::pair<int, QByteArray>> bytes;
    int nameEnd;
};

class DatesRecordLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(DatesRecordLayout, PutsEveryFieldAtItsOffset) {
    const LayoutCase& c = GetParam();
    const QByteArray encoded = EncodeDatesRecord(c.record);
    ASSERT_EQ(encoded.size(), 552);
    for (const auto& [offset, expected] : c.bytes) {
        EXPECT_EQ(encoded.mid(offset, expected.size()).toHex(' '), expected.toHex(' '))
            << "at offset " << offset;
    }
    for (int i = c.nameEnd; i < 520; ++i) {
        ASSERT_EQ(encoded.at(i), '\0') << "name padding at offset " << i;
    }
    EXPECT_EQ(DecodeDatesRecord(encoded.constData()), c.record);
}

DatesRecord Record(const QString& name, quint64 creation, quint64 access, quint64 write,
                   quint64 size) {
    DatesRecord record;
    record.name = name;
    record.creationTime = creation;
    record.accessTime = access;
    record.writeTime = write;
    record.size = size;
    return record;
}

INSTANTIATE_TEST_SUITE_P(
    Records, DatesRecordLayout,
    ::testing::Values(LayoutCase{"AsciiName",
                                 Record("Docs/a.txt", 0x0102030405060708ULL, 0x1112131415161718ULL,
                                        0x2122232425262728ULL, 0x0000000123456789ULL),
                                 {{0, Hex("44006f00630073002f0061002e00740078007400")},
                                  {20, Hex("0000")},
                                  {520, Hex("0807060504030201")},
                                  {528, Hex("1817161514131211")},
                                  {536, Hex("2827262524232221")},
                                  {544, Hex("89674523")},
                                  {548, Hex("01000000")}},
                                 22},
                      LayoutCase{"NonAsciiNameAndSurrogatePair",
                                 Record(QString::fromUtf8("\xC3\x84/\xE2\x82\xAC\xF0\x9F\x98\x80"),
                                        1, 2, 3, 0xFFFFFFFFULL),
                                 // Ä, "/", €, then U+1F600 as two units, high one first.
                                 {{0, Hex("c4002f00ac203dd800de0000")},
                                  {520, Hex("0100000000000000")},
                                  {528, Hex("0200000000000000")},
                                  {536, Hex("0300000000000000")},
                                  {544, Hex("ffffffff")},
                                  {548, Hex("00000000")}},
                                 12},
                      LayoutCase{"LongestName",
                                 Record(QString(259, QLatin1Char('x')), 0, 0, 0, 0),
                                 {{0, Hex("7800")}, {516, Hex("7800")}, {518, Hex("0000")}},
                                 520},
                      LayoutCase{"BlankRecord", DatesRecord{}, {{520, QByteArray(32, '\0')}}, 0}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(DatesRecordLayout, NameWithoutTerminatorEndsAtTheField) {
    // A damaged record whose name fills all 260 units: read, never past the field.
    QByteArray bytes(552, '\0');
    for (int i = 0; i < 260; ++i) {
        bytes[2 * i] = 'A';
    }
    bytes[520] = 7;
    const DatesRecord record = DecodeDatesRecord(bytes.constData());
    EXPECT_EQ(record.name, QString(260, QLatin1Char('A')));
    EXPECT_EQ(record.creationTime, 7u);
}

// ---- Times -------------------------------------------------------------------------

struct TimeCase {
    qint64 seconds;
    qint64 nanoseconds;
    quint64 fileTime;
};

class UnixTimeConversion : public ::testing::TestWithParam<TimeCase> {};

TEST_P(UnixTimeConversion, GivesTheFileTime) {
    const TimeCase& c = GetParam();
    EXPECT_EQ(UnixToFileTime(c.seconds, c.nanoseconds), c.fileTime);
}

constexpr quint64 kMaxFileTime = std::numeric_limits<quint64>::max();

INSTANTIATE_TEST_SUITE_P(
    Times, UnixTimeConversion,
    ::testing::Values(TimeCase{0, 0, kFileTimeOfUnixEpoch},
                      // 2005-03-07 09:05:00.1234567 UTC; the last 89 ns are below a tick.
                      TimeCase{1110186300, 123456789, 127546599001234567ULL},
                      TimeCase{-11644473600LL, 0, 0},  // 1601-01-01, the first file time
                      TimeCase{-11644473600LL, 100, 1},
                      TimeCase{-11644473601LL, 999999999, 0},  // still before 1601
                      TimeCase{-11644473601LL, 0, 0},          // before 1601
                      TimeCase{std::numeric_limits<qint64>::min(), 0, 0},
                      TimeCase{std::numeric_limits<qint64>::max(), 0, kMaxFileTime},
                      // The last representable tick, and one past it.
                      TimeCase{1844674407370LL - 11644473600LL, 955161400, kMaxFileTime - 1},
                      TimeCase{1844674407370LL - 11644473600LL, 955161600, kMaxFileTime},
                      TimeCase{1844674407371LL - 11644473600LL, 0, kMaxFileTime},
                      // Nanoseconds outside 0..1e9 carry into the seconds.
                      TimeCase{10, -1, kFileTimeOfUnixEpoch + 99999999},
                      TimeCase{0, 2500000000LL, kFileTimeOfUnixEpoch + 25000000},
                      // Overflow the fuzzer found: seconds near the top plus carried
                      // seconds overflowed the signed sum.
                      TimeCase{std::numeric_limits<qint64>::max() - 11644473600LL - 1,
                               std::numeric_limits<qint64>::max(), kMaxFileTime}));

TEST(UnixTimeConversion, FileTimeGivesWholeSecondsBack) {
    EXPECT_EQ(FileTimeToUnixSeconds(kFileTimeOfUnixEpoch), 0);
    EXPECT_EQ(FileTimeToUnixSeconds(127546599001234567ULL), 1110186300);
    EXPECT_EQ(FileTimeToUnixSeconds(kFileTimeOfUnixEpoch - 1), -1);  // rounded down
    EXPECT_EQ(FileTimeToUnixSeconds(0), -11644473600LL);
    EXPECT_EQ(FileTimeToUnixSeconds(UnixToFileTime(4102444800LL, 0)), 4102444800LL);
}

// ---- Records from files --------------------------------------------------------------

void SetFileTimes(const QString& path, qint64 accessSeconds, qint64 writeSeconds,
                  long writeNanoseconds) {
    const struct timespec times[2] = {{static_cast<time_t>(accessSeconds), 0},
                                      {static_cast<time_t>(writeSeconds), writeNanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

TEST(DatesRecordFromFile, TakesTimesAndSizeOfTheLocalFile) {
    TempDir dir;
    const QString path = dir.Write("a.txt", QByteArray(1234, 'z'));
    SetFileTimes(path, 1000000000, 1110186300, 123456789);
    const qint64 before = QDateTime::currentSecsSinceEpoch();

    DatesRecord record;
    LogCapture log;
    ASSERT_TRUE(DatesRecordFromFile(path, "Docs/a.txt", record));
    EXPECT_TRUE(log.Texts().isEmpty());
    EXPECT_EQ(record.name, "Docs/a.txt");
    EXPECT_EQ(record.size, 1234u);
    EXPECT_EQ(record.writeTime, 127546599001234567ULL);
    EXPECT_EQ(record.accessTime, UnixToFileTime(1000000000, 0));
    // Birth time or change time: either way the file came to be during this test.
    EXPECT_GE(FileTimeToUnixSeconds(record.creationTime), before - 5);
    EXPECT_LE(FileTimeToUnixSeconds(record.creationTime), QDateTime::currentSecsSinceEpoch());
}

TEST(DatesRecordFromFile, LinkToAFileGivesThatFile) {
    TempDir dir;
    const QString target = dir.Write("target.bin", QByteArray(77, 'q'));
    const QString link = dir.File("link.bin");
    ASSERT_TRUE(QFile::link(target, link));
    DatesRecord record;
    ASSERT_TRUE(DatesRecordFromFile(link, "link.bin", record));
    EXPECT_EQ(record.size, 77u);
}

TEST(DatesRecordFromFile, TakesANameOf259UnitsAndRefuses260WithoutCutting) {
    TempDir dir;
    const QString path = dir.Write("f", "data");
    const QString fits(259, QLatin1Char('n'));
    // 258 units and a character outside the basic plane (two units) make 260.
    const QString tooLong = QString(258, QLatin1Char('n')) + QString::fromUtf8("\xF0\x9F\x98\x80");
    ASSERT_EQ(tooLong.size(), 260);

    DatesRecord record;
    ASSERT_TRUE(DatesRecordFromFile(path, fits, record));
    EXPECT_EQ(record.name, fits);

    const DatesRecord before = record;
    for (const QString& name : {tooLong, QString(260, QLatin1Char('n'))}) {
        LogCapture log;
        EXPECT_FALSE(DatesRecordFromFile(path, name, record));
        EXPECT_EQ(record, before);
        ASSERT_EQ(log.Texts().size(), 1);
        EXPECT_TRUE(log.Texts().front().contains("  Warning: name too long for the dates file"));
    }
}

TEST(DatesRecordFromFile, RefusesWhatIsNoReadableRegularFile) {
    TempDir dir;
    const QString fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QDir().mkdir(dir.File("folder"));
    // A FIFO must not block (no writer ever comes) and is no file to upload.
    for (const QString& path : {dir.File("missing"), fifo, dir.File("folder")}) {
        DatesRecord record;
        LogCapture log;
        EXPECT_FALSE(DatesRecordFromFile(path, "x", record)) << path.toStdString();
        EXPECT_EQ(record, DatesRecord{});
        EXPECT_EQ(log.CountEndingWith("  Warning: cannot read file " + path), 1);
    }
}

// ---- Files -------------------------------------------------------------------------

TEST(DatesFile, TwoRecordsMakeOneThousandAndFourBytes) {
    TempDir dir;
    const std::vector<DatesRecord> records = {Record("Docs/a.txt", 1, 2, 3, 4),
                                              Record("Docs/sub/b.txt", 5, 6, 7, 8)};
    const QString path = dir.File("file.dates");
    ASSERT_TRUE(WriteDatesFile(path, records));
    const QByteArray bytes = ReadAll(path);
    ASSERT_EQ(bytes.size(), 1104);
    EXPECT_EQ(bytes.left(552), EncodeDatesRecord(records[0]));
    EXPECT_EQ(bytes.mid(552), EncodeDatesRecord(records[1]));
}

TEST(DatesFile, RoundTripKeepsEveryRecordInOrder) {
    TempDir dir;
    std::vector<DatesRecord> records;
    records.push_back(Record(QString::fromUtf8("D\xC3\xB6"
                                               "cs/\xE2\x82\xAC.txt"),
                             1, 2, 3, 0x8000000000000001ULL));
    records.push_back(Record(QString(259, QLatin1Char('y')), kMaxFileTime, 0, 42, 0));
    records.push_back(DatesRecord{});  // a file that could not be read
    // More records than one read block holds, so records cross block boundaries.
    for (int i = 0; i < 150; ++i) {
        records.push_back(Record(QStringLiteral("f%1").arg(i), i, i + 1, i + 2, i * 1000));
    }
    const QString path = dir.File("dates.dat");
    ASSERT_TRUE(WriteDatesFile(path, records));
    std::vector<DatesRecord> read = {Record("stale", 9, 9, 9, 9)};
    ASSERT_TRUE(ReadDatesFile(path, read));
    EXPECT_EQ(read, records);
}

TEST(DatesFile, SizeNotAMultipleOfTheRecordReadsTheWholeRecords) {
    TempDir dir;
    std::vector<DatesRecord> records;
    for (int i = 0; i < 70; ++i) {
        records.push_back(Record(QStringLiteral("n%1").arg(i), 1, 2, 3, i));
    }
    const QString path = dir.File("cut.dates");
    ASSERT_TRUE(WriteDatesFile(path, records));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(QByteArray(300, 'x'));
    file.close();

    std::vector<DatesRecord> read;
    ASSERT_TRUE(ReadDatesFile(path, read));
    EXPECT_EQ(read, records);

    const QString shortFile = dir.Write("short.dates", QByteArray(551, '\1'));
    EXPECT_TRUE(ReadDatesFile(shortFile, read));
    EXPECT_TRUE(read.empty());
}

TEST(DatesFile, MissingFileReadsAsFailure) {
    TempDir dir;
    std::vector<DatesRecord> read = {DatesRecord{}};
    EXPECT_FALSE(ReadDatesFile(dir.File("none"), read));
    EXPECT_TRUE(read.empty());
}

TEST(DatesFile, NameTooLongWritesNothing) {
    TempDir dir;
    const QString path = dir.Write("dates.dat", "earlier content");
    LogCapture log;
    EXPECT_FALSE(WriteDatesFile(
        path, {Record("ok", 1, 1, 1, 1), Record(QString(260, QLatin1Char('L')), 1, 1, 1, 1)}));
    EXPECT_EQ(ReadAll(path), "earlier content");
    EXPECT_EQ(log.Texts().size(), 1);
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::Files), QStringList{"dates.dat"});
}

TEST(DatesFile, UnwritablePlaceIsReported) {
    TempDir dir;
    const QString path = dir.File("no/such/folder/dates.dat");
    LogCapture log;
    EXPECT_FALSE(WriteDatesFile(path, {Record("a", 1, 1, 1, 1)}));
    EXPECT_EQ(
        log.CountEndingWith("  Error: cannot write file " + path + ": No such file or directory"),
        1);
}

TEST(DatesFile, ReplacesAnEarlierFileWhole) {
    TempDir dir;
    const QString path = dir.File("dates.dat");
    ASSERT_TRUE(WriteDatesFile(path, {Record("a", 1, 1, 1, 1), Record("b", 2, 2, 2, 2)}));
    ASSERT_TRUE(WriteDatesFile(path, {Record("c", 3, 3, 3, 3)}));
    std::vector<DatesRecord> read;
    ASSERT_TRUE(ReadDatesFile(path, read));
    EXPECT_EQ(read, std::vector<DatesRecord>{Record("c", 3, 3, 3, 3)});
    ASSERT_TRUE(WriteDatesFile(path, {}));
    EXPECT_EQ(QFileInfo(path).size(), 0);
}

}  // namespace
}  // namespace corvane
