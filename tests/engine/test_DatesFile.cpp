#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <limits>

#include "engine/DatesFile.h"
#include "model/FileName.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::LogCapture;
using test::ReadAll;
using test::TempDir;

constexpr quint64 kFileTimeOfUnixEpoch = 116444736000000000ULL;
constexpr quint64 kMaxFileTime = std::numeric_limits<quint64>::max();
constexpr qint64 kMaxSeconds = std::numeric_limits<qint64>::max();

// The exact bytes: UTF-16 name in 520 bytes (zero-padded), three file times, the size as
// low and high 32-bit halves, all little-endian; decoding gives the record back.
TEST(DatesRecordLayout, PutsEveryFieldAtItsOffset) {
    const std::pair<QString, QByteArray> cases[] = {
        {"Docs/a.txt", "44006f00630073002f0061002e00740078007400"},
        // Ä, "/", €, then U+1F600 as two units, high one first.
        {"Ä/€😀", "c4002f00ac203dd800de"},
        {QString(259, 'x'), QByteArray("7800").repeated(259)},
    };
    for (const auto& [name, hex] : cases) {
        const DatesRecord record{name, 0x0102030405060708ULL, 0x1112131415161718ULL,
                                 0x2122232425262728ULL, 0x0000000123456789ULL};
        const QByteArray encoded = EncodeDatesRecord(record);
        EXPECT_EQ(encoded.toHex(),
                  hex + QByteArray(1040 - hex.size(), '0') +
                      "0807060504030201181716151413121128272625242322218967452301000000");
        EXPECT_EQ(DecodeDatesRecord(encoded.constData()), record);
    }
    // A damaged record whose name fills all 260 units: read, never past the field.
    QByteArray bytes = QByteArray("A", 2).repeated(260) + QByteArray(32, '\0');
    bytes[520] = 7;
    const DatesRecord record = DecodeDatesRecord(bytes.constData());
    EXPECT_EQ(record.name, QString(260, QLatin1Char('A')));
    EXPECT_EQ(record.creationTime, 7u);
}

TEST(UnixTimeConversion, GivesTheFileTimeAndBackInWholeSeconds) {
    const struct {
        qint64 seconds, nanoseconds;
        quint64 fileTime;
    } cases[] = {
        {0, 0, kFileTimeOfUnixEpoch},
        // 2005-03-07 09:05:00.1234567 UTC; the last 89 ns are below a tick.
        {1110186300, 123456789, 127546599001234567ULL},
        {-11644473600LL, 100, 1},        // 1601-01-01, the first file time, + 1 tick
        {-11644473601LL, 999999999, 0},  // before 1601
        {std::numeric_limits<qint64>::min(), 0, 0},
        {kMaxSeconds, 0, kMaxFileTime},
        // The last representable tick, and one past it.
        {1844674407370LL - 11644473600LL, 955161400, kMaxFileTime - 1},
        {1844674407370LL - 11644473600LL, 955161600, kMaxFileTime},
        // Nanoseconds outside 0..1e9 carry into the seconds.
        {10, -1, kFileTimeOfUnixEpoch + 99999999},
        {0, 2500000000LL, kFileTimeOfUnixEpoch + 25000000},
        // Overflow the fuzzer found: seconds near the top plus carried seconds
        // overflowed the signed sum.
        {kMaxSeconds - 11644473600LL - 1, kMaxSeconds, kMaxFileTime},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UnixToFileTime(c.seconds, c.nanoseconds), c.fileTime) << c.seconds;
    }
    EXPECT_EQ(FileTimeToUnixSeconds(127546599001234567ULL), 1110186300);
    EXPECT_EQ(FileTimeToUnixSeconds(kFileTimeOfUnixEpoch - 1), -1);  // rounded down
    EXPECT_EQ(FileTimeToUnixSeconds(0), -11644473600LL);
}

// A record takes the times and size of the file a link leads to; names of more than 259
// units and what is no readable regular file are refused with a warning.
TEST(DatesRecordFromFile, TakesTheLinkedFilesFieldsAndRefusesWhatItCannotRecord) {
    TempDir dir;
    const QString path = dir.Write("a.txt", QByteArray(1234, 'z'));
    const struct timespec times[2] = {{1000000000, 0}, {1110186300, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, FileNameToBytes(path).constData(), times, 0), 0);
    ASSERT_TRUE(QFile::link(path, dir.File("link")));
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    DatesRecord record;
    LogCapture log;
    ASSERT_TRUE(DatesRecordFromFile(dir.File("link"), QString(259, 'n'), record));
    EXPECT_TRUE(log.Texts().isEmpty());
    EXPECT_EQ(record.name, QString(259, 'n'));
    EXPECT_EQ(record.size, 1234u);
    EXPECT_EQ(record.writeTime, 127546599001234567ULL);
    EXPECT_EQ(record.accessTime, UnixToFileTime(1000000000, 0));
    // Birth time or change time: either way the file came to be during this test.
    EXPECT_GE(FileTimeToUnixSeconds(record.creationTime), before - 5);
    EXPECT_LE(FileTimeToUnixSeconds(record.creationTime), QDateTime::currentSecsSinceEpoch());

    const QString fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(FileNameToBytes(fifo).constData(), 0600), 0);
    QDir().mkdir(dir.File("folder"));
    // 258 units and a character outside the basic plane (two units) make 260: refused,
    // never cut. A FIFO must not block (no writer ever comes) and is no file to upload.
    const std::pair<QString, QString> cases[] = {
        {path, QString(258, 'n') + "😀"}, {path, QString(260, 'n')},
        {dir.File("missing"), "x"},      {fifo, "x"},
        {dir.File("folder"), "x"},
    };
    for (const auto& [file, name] : cases) {
        DatesRecord refused = record;
        LogCapture refusal;
        EXPECT_FALSE(DatesRecordFromFile(file, name, refused)) << file.toStdString();
        EXPECT_TRUE(refused == record || refused == DatesRecord{});
        ASSERT_EQ(refusal.Texts().size(), 1);
        EXPECT_TRUE(refusal.Texts()[0].contains(file == path
                                                    ? "  Warning: name too long for the dates file"
                                                    : "  Warning: cannot read file " + file));
    }
}

TEST(DatesFile, RoundTripReplacesTheEarlierFileAndReadsWholeRecordsOnly) {
    TempDir dir;
    const QString path = dir.File("dates.dat");
    ASSERT_TRUE(WriteDatesFile(path, std::vector<DatesRecord>(200, {"old", 1, 1, 1, 1})));
    std::vector<DatesRecord> records = {{"Döcs/€.txt", 1, 2, 3, 0x8000000000000001ULL},
                                        {QString(259, 'y'), kMaxFileTime, 0, 42, 0},
                                        DatesRecord{}};  // a file that could not be read
    // More records than one read block holds, so records cross block boundaries.
    for (quint64 i = 0; i < 150; ++i) {
        records.push_back({QStringLiteral("f%1").arg(i), i, i + 1, i + 2, i * 1000});
    }
    ASSERT_TRUE(WriteDatesFile(path, records));
    const QByteArray bytes = ReadAll(path);
    ASSERT_EQ(bytes.size(), 153 * 552);
    EXPECT_EQ(bytes.left(552), EncodeDatesRecord(records[0]));
    std::vector<DatesRecord> read = {{"stale", 9, 9, 9, 9}};
    ASSERT_TRUE(ReadDatesFile(path, read));
    EXPECT_EQ(read, records);

    // A damaged or missing file gives the whole records only.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append) && file.write(QByteArray(300, 'x')) == 300);
    file.close();
    ASSERT_TRUE(ReadDatesFile(path, read));
    EXPECT_EQ(read, records);
    EXPECT_TRUE(ReadDatesFile(dir.Write("short.dates", QByteArray(551, '\1')), read));
    EXPECT_TRUE(read.empty());
    read.resize(1);
    EXPECT_FALSE(ReadDatesFile(dir.File("none"), read));
    EXPECT_TRUE(read.empty());
}

TEST(DatesFile, FailedWriteLeavesTheEarlierFileWithTheReason) {
    TempDir dir;
    const QString path = dir.Write("dates.dat", "earlier content");
    LogCapture log;
    EXPECT_FALSE(WriteDatesFile(path, {{"ok", 1, 1, 1, 1}, {QString(260, 'L'), 1, 1, 1, 1}}));
    EXPECT_EQ(ReadAll(path), "earlier content");
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{"dates.dat"});
    const QString nowhere = dir.File("no/such/folder/dates.dat");
    EXPECT_FALSE(WriteDatesFile(nowhere, {{"a", 1, 1, 1, 1}}));
    ASSERT_EQ(log.Texts().size(), 2);
    EXPECT_TRUE(log.Texts()[1].endsWith("  Error: cannot write file " + nowhere +
                                        ": No such file or directory"));
}

}  // namespace
}  // namespace corvane
