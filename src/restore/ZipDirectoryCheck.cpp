#include "restore/ZipDirectoryCheck.h"

#include <unistd.h>

#include <QByteArray>
#include <QSet>
#include <algorithm>
#include <cerrno>

#include "io/DescriptorIo.h"
#include "model/FileName.h"
#include "restore/ZipExtraField.h"
#include "restore/ZipNameText.h"

namespace corvane {

namespace {

constexpr quint32 kFlagDataDescriptor = 1u << 3;
constexpr quint64 kOverflow32 = 0xFFFFFFFFu;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kZip64EndRecordSize = 56;
constexpr size_t kDirectoryHeaderSize = 46;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kMaxComment = 65535;
// A name and an extra field of at most 65535 bytes each.
constexpr size_t kFieldsSize = 2 * 65535;

quint64 Le(const unsigned char* p, int bytes) {
    quint64 value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = (value << 8) | p[i];
    }
    return value;
}

bool HasSignature(const unsigned char* p, unsigned char third, unsigned char fourth) {
    return p[0] == 'P' && p[1] == 'K' && p[2] == third && p[3] == fourth;
}

struct Extent {
    quint64 start = 0;
    quint64 end = 0;
    size_t entry = 0;
};

// Where the central directory lies and how many entries the end record counts.
struct EndRecord {
    quint64 entries = 0;
    quint64 directoryOffset = 0;
    quint64 directorySize = 0;
    quint64 recordsEnd = 0;  // where the directory must end: the (ZIP64) end record
};

bool ReadEndRecord(int fd, quint64 fileSize, EndRecord& end, QString& damage) {
    const size_t tailSize = size_t(std::min<quint64>(fileSize, kEndRecordSize + kMaxComment));
    std::vector<unsigned char> tail(tailSize);
    if (tailSize < kEndRecordSize || !ReadAllAt(fd, tail.data(), tailSize, fileSize - tailSize)) {
        damage = QStringLiteral("the end record is missing");
        return false;
    }
    // The last signature, as minizip finds it.
    size_t at = tailSize - kEndRecordSize + 1;
    do {
        --at;
    } while (at > 0 && !HasSignature(&tail[at], 5, 6));
    if (!HasSignature(&tail[at], 5, 6)) {
        damage = QStringLiteral("the end record is missing");
        return false;
    }
    const unsigned char* record = &tail[at];
    end.entries = Le(record + 10, 2);
    end.directorySize = Le(record + 12, 4);
    end.directoryOffset = Le(record + 16, 4);
    end.recordsEnd = fileSize - tailSize + at;
    unsigned char locator[kZip64LocatorSize];
    if (end.recordsEnd < kZip64LocatorSize ||
        !ReadAllAt(fd, locator, sizeof locator, end.recordsEnd - kZip64LocatorSize) ||
        !HasSignature(locator, 6, 7)) {
        return true;
    }
    const quint64 zip64At = Le(locator + 8, 8);
    unsigned char zip64[kZip64EndRecordSize];
    if (!ReadAllAt(fd, zip64, sizeof zip64, zip64At) || !HasSignature(zip64, 6, 6)) {
        damage = QStringLiteral("the ZIP64 end record is missing");
        return false;
    }
    end.entries = Le(zip64 + 32, 8);
    end.directorySize = Le(zip64 + 40, 8);
    end.directoryOffset = Le(zip64 + 48, 8);
    end.recordsEnd = zip64At;
    return true;
}

class DirectoryWalk {
  public:
    DirectoryWalk(int fd, ZipDirectoryCheck& result)
        : m_fd(fd),
          m_result(result),
          m_buffer(kDirectoryHeaderSize + kFieldsSize),
          m_localFields(kFieldsSize) {}

    bool Run(const EndRecord& end);

  private:
    bool Fail(const QString& damage) {
        m_result.damage = damage;
        return false;
    }
    bool CheckLocalHeader(quint64 offset, const QByteArray& rawName, quint32 flags, quint32 crc,
                          const Zip64Values& sizes, Extent& extent);

    int m_fd;
    ZipDirectoryCheck& m_result;
    std::vector<unsigned char> m_buffer;       // a directory header with its name and extra
    std::vector<unsigned char> m_localFields;  // a local header's name and extra
    std::vector<QString> m_names;
    quint64 m_base = 0;
};

bool DirectoryWalk::Run(const EndRecord& end) {
    if (end.directoryOffset > end.recordsEnd ||
        end.directorySize > end.recordsEnd - end.directoryOffset) {
        return Fail(QStringLiteral("the central directory runs past the end record"));
    }
    // Bytes in front of the archive shift every offset it records.
    m_base = end.recordsEnd - end.directoryOffset - end.directorySize;
    const quint64 directoryStart = m_base + end.directoryOffset;
    const quint64 directoryEnd = directoryStart + end.directorySize;
    QSet<QString> seen;
    std::vector<Extent> extents;
    for (quint64 at = directoryStart; at < directoryEnd;) {
        unsigned char* header = m_buffer.data();
        if (directoryEnd - at < kDirectoryHeaderSize ||
            !ReadAllAt(m_fd, header, kDirectoryHeaderSize, at) || !HasSignature(header, 1, 2)) {
            return Fail(QStringLiteral("the central directory is damaged after %1 entries")
                            .arg(m_names.size()));
        }
        const size_t nameSize = size_t(Le(header + 28, 2));
        const size_t extraSize = size_t(Le(header + 30, 2));
        const quint64 recordSize = kDirectoryHeaderSize + nameSize + extraSize + Le(header + 32, 2);
        const quint32 flags = quint32(Le(header + 8, 2));
        const quint32 madeBy = quint32(Le(header + 4, 2));
        const quint32 crc = quint32(Le(header + 16, 4));
        const quint64 compressed = Le(header + 20, 4);
        const quint64 uncompressed = Le(header + 24, 4);
        quint64 offset = Le(header + 42, 4);
        unsigned char* fields = header + kDirectoryHeaderSize;
        if (recordSize > directoryEnd - at ||
            !ReadAllAt(m_fd, fields, nameSize + extraSize, at + kDirectoryHeaderSize)) {
            return Fail(QStringLiteral("the central directory is damaged after %1 entries")
                            .arg(m_names.size()));
        }
        const QByteArray rawName(reinterpret_cast<const char*>(fields), qsizetype(nameSize));
        const QByteArray extra(reinterpret_cast<const char*>(fields + nameSize),
                               qsizetype(extraSize));
        const Zip64Values sizes = ApplyZip64Extra(extra, uncompressed, compressed);
        if (offset == kOverflow32 && sizes.localHeaderOffset) {
            offset = *sizes.localHeaderOffset;
        }
        m_names.push_back(ZipEntryNameText(rawName, flags, madeBy, extra));
        m_result.repeated.push_back(seen.contains(m_names.back()));
        seen.insert(m_names.back());
        Extent extent;
        extent.entry = m_names.size() - 1;
        if (!CheckLocalHeader(offset, rawName, flags, crc, sizes, extent)) {
            return false;
        }
        if (extent.end > directoryStart) {
            return Fail(QStringLiteral("the data of %1 runs into the central directory")
                            .arg(FileNameForDisplay(m_names.back())));
        }
        extents.push_back(extent);
        at += recordSize;
    }
    if (m_names.size() != end.entries) {
        return Fail(QStringLiteral("the end record counts %1 entries, the central directory "
                                   "holds %2")
                        .arg(end.entries)
                        .arg(m_names.size()));
    }
    std::sort(extents.begin(), extents.end(),
              [](const Extent& a, const Extent& b) { return a.start < b.start; });
    for (size_t i = 1; i < extents.size(); ++i) {
        if (extents[i].start < extents[i - 1].end) {
            return Fail(QStringLiteral("the records of %1 and %2 overlap")
                            .arg(FileNameForDisplay(m_names[extents[i - 1].entry]),
                                 FileNameForDisplay(m_names[extents[i].entry])));
        }
    }
    return true;
}

bool DirectoryWalk::CheckLocalHeader(quint64 offset, const QByteArray& rawName, quint32 flags,
                                     quint32 crc, const Zip64Values& sizes, Extent& extent) {
    const QString shown = FileNameForDisplay(m_names.back());
    unsigned char header[kLocalHeaderSize];
    const quint64 at = m_base + offset;
    if (at < offset || !ReadAllAt(m_fd, header, sizeof header, at) || !HasSignature(header, 3, 4)) {
        return Fail(QStringLiteral("the local header of %1 is missing").arg(shown));
    }
    const size_t nameSize = size_t(Le(header + 26, 2));
    const size_t extraSize = size_t(Le(header + 28, 2));
    unsigned char* fields = m_localFields.data();
    if (!ReadAllAt(m_fd, fields, nameSize + extraSize, at + kLocalHeaderSize) ||
        QByteArrayView(reinterpret_cast<const char*>(fields), qsizetype(nameSize)) != rawName) {
        return Fail(QStringLiteral("the local header of %1 names another entry").arg(shown));
    }
    if ((flags & kFlagDataDescriptor) == 0) {
        const QByteArray localExtra(reinterpret_cast<const char*>(fields + nameSize),
                                    qsizetype(extraSize));
        const Zip64Values localSizes =
            ApplyZip64Extra(localExtra, Le(header + 22, 4), Le(header + 18, 4));
        if (quint32(Le(header + 14, 4)) != crc ||
            localSizes.compressedSize != sizes.compressedSize ||
            localSizes.uncompressedSize != sizes.uncompressedSize) {
            return Fail(QStringLiteral("the local header of %1 differs from the central directory")
                            .arg(shown));
        }
    }
    extent.start = at;
    m_result.dataStart.push_back(at + kLocalHeaderSize + nameSize + extraSize);
    extent.end = m_result.dataStart.back() + sizes.compressedSize;
    if (extent.end < at) {
        return Fail(QStringLiteral("the size of %1 is damaged").arg(shown));
    }
    return true;
}

}  // namespace

ZipDirectoryCheck CheckZipDirectory(int fd, quint64 fileSize) {
    ZipDirectoryCheck result;
    EndRecord end;
    if (ReadEndRecord(fd, fileSize, end, result.damage)) {
        DirectoryWalk(fd, result).Run(end);
    }
    return result;
}

}  // namespace corvane
