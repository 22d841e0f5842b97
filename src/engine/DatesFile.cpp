#include "engine/DatesFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <limits>

#include "io/DescriptorIo.h"
#include "io/ReplacingFile.h"
#include "log/Log.h"
#include "model/FileName.h"

namespace corvane {
namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr qint64 kUnixEpochInFileTimeSeconds = 11644473600LL;
constexpr qint64 kTicksPerSecond = 10000000;
constexpr qint64 kNanosecondsPerTick = 100;
constexpr qint64 kNanosecondsPerSecond = 1000000000;

constexpr int kNameBytes = 520;
constexpr int kCreationOffset = 520;
constexpr int kAccessOffset = 528;
constexpr int kWriteOffset = 536;
constexpr int kSizeLowOffset = 544;
constexpr int kSizeHighOffset = 548;

// Records read per block: the buffer is reused for the whole file.
constexpr int kRecordsPerBlock = 64;

bool NameFits(const QString& name) {
    return name.size() <= kDatesNameMaxUnits;
}

quint64 FileTimeOf(const struct statx_timestamp& stamp) {
    return UnixToFileTime(stamp.tv_sec, stamp.tv_nsec);
}

}  // namespace

quint64 UnixToFileTime(qint64 seconds, qint64 nanoseconds) {
    // Carry whole seconds out of the nanoseconds so 0 <= nanoseconds < 1e9.
    qint64 carry = nanoseconds / kNanosecondsPerSecond;
    nanoseconds %= kNanosecondsPerSecond;
    if (nanoseconds < 0) {
        nanoseconds += kNanosecondsPerSecond;
        --carry;
    }
    constexpr quint64 kMax = std::numeric_limits<quint64>::max();
    constexpr qint64 kMaxSeconds = static_cast<qint64>(kMax / kTicksPerSecond);
    if (seconds > std::numeric_limits<qint64>::max() - kUnixEpochInFileTimeSeconds - 1) {
        return kMax;
    }
    qint64 since1601 = seconds + kUnixEpochInFileTimeSeconds;
    if (carry < 0 && since1601 < std::numeric_limits<qint64>::min() - carry) {
        return 0;
    }
    if (carry > 0 && since1601 > std::numeric_limits<qint64>::max() - carry) {
        return kMax;
    }
    since1601 += carry;
    if (since1601 < 0) {
        return 0;
    }
    if (since1601 > kMaxSeconds) {
        return kMax;
    }
    const quint64 ticks = static_cast<quint64>(since1601) * kTicksPerSecond;
    const quint64 fraction = static_cast<quint64>(nanoseconds / kNanosecondsPerTick);
    return ticks > kMax - fraction ? kMax : ticks + fraction;
}

qint64 FileTimeToUnixSeconds(quint64 fileTime) {
    return static_cast<qint64>(fileTime / kTicksPerSecond) - kUnixEpochInFileTimeSeconds;
}

bool DatesRecordFromFile(const QString& localPath, const QString& remoteName, DatesRecord& record) {
    if (!NameFits(remoteName)) {
        Log("  Warning: name too long for the dates file: %s",
            qUtf8Printable(FileNameForDisplay(remoteName)));
        return false;
    }
    // Opened for reading as the upload reads it: a file that cannot be read gets no
    // record. The times come from the open file, so a rename in between cannot mix
    // two files.
    const QByteArray encoded = FileNameToBytes(localPath);
    // O_NONBLOCK: a FIFO put in the file's place must not hang the run.
    const int fd = ::open(encoded.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct statx info {};
    const bool ok = fd >= 0 &&
                    ::statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &info) == 0 &&
                    S_ISREG(info.stx_mode);
    if (fd >= 0) {
        ::close(fd);
    }
    if (!ok) {
        Log("  Warning: cannot read file %s", qUtf8Printable(FileNameForDisplay(localPath)));
        return false;
    }
    record.name = remoteName;
    record.creationTime =
        FileTimeOf((info.stx_mask & STATX_BTIME) != 0 ? info.stx_btime : info.stx_ctime);
    record.accessTime = FileTimeOf(info.stx_atime);
    record.writeTime = FileTimeOf(info.stx_mtime);
    record.size = info.stx_size;
    return true;
}

QByteArray EncodeDatesRecord(const DatesRecord& record) {
    Q_ASSERT(NameFits(record.name));
    QByteArray bytes(kDatesRecordSize, '\0');
    uchar* data = reinterpret_cast<uchar*>(bytes.data());
    const qsizetype units = std::min<qsizetype>(record.name.size(), kDatesNameMaxUnits);
    for (qsizetype i = 0; i < units; ++i) {
        qToLittleEndian<quint16>(record.name.at(i).unicode(), data + 2 * i);
    }
    qToLittleEndian<quint64>(record.creationTime, data + kCreationOffset);
    qToLittleEndian<quint64>(record.accessTime, data + kAccessOffset);
    qToLittleEndian<quint64>(record.writeTime, data + kWriteOffset);
    qToLittleEndian<quint32>(static_cast<quint32>(record.size), data + kSizeLowOffset);
    qToLittleEndian<quint32>(static_cast<quint32>(record.size >> 32), data + kSizeHighOffset);
    return bytes;
}

DatesRecord DecodeDatesRecord(const char* bytes) {
    const uchar* data = reinterpret_cast<const uchar*>(bytes);
    DatesRecord record;
    QString name;
    for (int i = 0; i < kNameBytes / 2; ++i) {
        const quint16 unit = qFromLittleEndian<quint16>(data + 2 * i);
        if (unit == 0) {
            break;
        }
        name.append(QChar(unit));
    }
    record.name = name;
    record.creationTime = qFromLittleEndian<quint64>(data + kCreationOffset);
    record.accessTime = qFromLittleEndian<quint64>(data + kAccessOffset);
    record.writeTime = qFromLittleEndian<quint64>(data + kWriteOffset);
    record.size = qFromLittleEndian<quint32>(data + kSizeLowOffset) |
                  (static_cast<quint64>(qFromLittleEndian<quint32>(data + kSizeHighOffset)) << 32);
    return record;
}

bool WriteDatesFile(const QString& path, const std::vector<DatesRecord>& records) {
    for (const DatesRecord& record : records) {
        if (!NameFits(record.name)) {
            Log("  Error: name too long for the dates file: %s",
                qUtf8Printable(FileNameForDisplay(record.name)));
            return false;
        }
    }
    // Written beside the file and renamed over it when complete.
    ReplacingFile file;
    bool ok = file.Create(AT_FDCWD, FileNameToBytes(path));
    for (size_t i = 0; ok && i < records.size(); ++i) {
        ok = WriteAll(file.Fd(), EncodeDatesRecord(records[i]).constData(), kDatesRecordSize);
    }
    ok = ok && file.Commit();
    if (!ok) {
        const QString reason = qt_error_string(errno);
        file.Discard();
        Log("  Error: cannot write file %s: %s", qUtf8Printable(FileNameForDisplay(path)),
            qUtf8Printable(reason));
    }
    return ok;
}

bool ReadDatesFile(const QString& path, std::vector<DatesRecord>& records) {
    records.clear();
    FileDescriptor file(::open(FileNameToBytes(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!file.IsOpen()) {
        return false;
    }
    QByteArray buffer(kRecordsPerBlock * kDatesRecordSize, '\0');
    qsizetype filled = 0;
    for (;;) {
        const ssize_t got = ReadSome(file.Get(), buffer.data() + filled,
                                     static_cast<size_t>(buffer.size() - filled));
        if (got < 0) {
            records.clear();
            return false;
        }
        filled += got;
        const qsizetype whole = filled / kDatesRecordSize;
        for (qsizetype i = 0; i < whole; ++i) {
            records.push_back(DecodeDatesRecord(buffer.constData() + i * kDatesRecordSize));
        }
        // Keep the start of a record that the next read completes.
        const qsizetype rest = filled - whole * kDatesRecordSize;
        std::memmove(buffer.data(), buffer.constData() + whole * kDatesRecordSize,
                     static_cast<size_t>(rest));
        filled = rest;
        if (got == 0) {
            return true;  // what is left is a cut record
        }
    }
}

}  // namespace corvane
