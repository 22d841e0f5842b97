#include "restore/ZipEntryWriter.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "io/DescriptorIo.h"
#include "io/ReplacingFile.h"
#include "log/Log.h"
#include "model/FileName.h"
#include "restore/RestoreTarget.h"

namespace corvane {

namespace {

constexpr quint32 kFlagDataDescriptor = 1u << 3;
constexpr int kMethodDeflated = 8;
constexpr quint32 kHostUnix = 3;
// One read of raw entry data.
constexpr size_t kReadSize = 64 * 1024;
// A link target longer than a path can be is damage.
constexpr size_t kMaxLinkTarget = 4095;

QString Shown(const QString& name) {
    return FileNameForDisplay(name);
}

}  // namespace

mode_t ZipUnixPermissions(const ZipEntryInfo& info, mode_t type) {
    const quint32 mode = info.externalAttributes >> 16;
    if ((info.versionMadeBy >> 8) != kHostUnix ||
        ((mode & S_IFMT) != 0 && (mode & S_IFMT) != type)) {
        return 0;
    }
    return mode_t(mode & 07777);
}

ZipEntryWriter::ZipEntryWriter() = default;
ZipEntryWriter::~ZipEntryWriter() = default;

// Streams the entry's content to `sink`: the stored bytes are read by position, with the
// directory's (ZIP64-aware) compressed size. On failure `reason` says why, for a "  ..."
// line.
bool ZipEntryWriter::Decode(int archiveFd, const ZipEntryData& entry, const QByteArray& password,
                            const ZipEntryDecoder::Sink& sink, int& writeError, QString& reason) {
    const ZipEntryInfo& info = entry.info;
    const QString name = Shown(info.name);
    // With a data descriptor (flag bit 3) the writer did not know the CRC when it wrote
    // the encryption header, so the check byte is the high byte of the DOS time.
    const unsigned char checkByte = (info.flags & kFlagDataDescriptor) != 0
                                        ? static_cast<unsigned char>(info.dosDateTime >> 8)
                                        : static_cast<unsigned char>(info.crc >> 24);
    if (info.aesVersion != 0) {
        m_decoder.StartAes(info.method == kMethodDeflated, password, info.aesVersion,
                           info.aesStrength, info.compressedSize, info.uncompressedSize, info.crc);
    } else {
        m_decoder.Start(info.method == kMethodDeflated, info.encrypted, password, checkByte,
                        info.uncompressedSize, info.crc);
    }
    if (!m_readBuffer) {
        m_readBuffer = std::make_unique_for_overwrite<unsigned char[]>(kReadSize);
    }
    auto failed = [&](ZipEntryDecoder::Status status) {
        // Without the right key the data decrypts to noise: its inflate or CRC fails.
        m_passwordMayBeWrong = info.encrypted && status != ZipEntryDecoder::Status::kSinkFailed;
        switch (status) {
            case ZipEntryDecoder::Status::kWrongPassword:
                reason = QStringLiteral("wrong password for '%1'").arg(name);
                break;
            case ZipEntryDecoder::Status::kSinkFailed:
                reason = qt_error_string(writeError);
                break;
            default:
                reason = info.encrypted
                             ? QStringLiteral("wrong password or damaged data in '%1'").arg(name)
                             : QStringLiteral("damaged data in '%1'").arg(name);
        }
        return false;
    };
    quint64 position = entry.start;
    for (quint64 left = info.compressedSize; left > 0;) {
        const ssize_t got = ReadSomeAt(archiveFd, m_readBuffer.get(),
                                       size_t(std::min<quint64>(left, kReadSize)), position);
        if (got <= 0) {
            reason = got < 0 ? QStringLiteral("cannot read '%1' from the archive: %2")
                                   .arg(name, qt_error_string(errno))
                             : QStringLiteral("the archive ends inside '%1'").arg(name);
            return false;
        }
        position += quint64(got);
        left -= quint64(got);
        const ZipEntryDecoder::Status status =
            m_decoder.Feed(m_readBuffer.get(), size_t(got), sink);
        if (status != ZipEntryDecoder::Status::kOk) {
            return failed(status);
        }
    }
    const ZipEntryDecoder::Status status = m_decoder.Finish();
    return status == ZipEntryDecoder::Status::kOk || failed(status);
}

// Streams the entry into a new file beside its target and renames it over the target
// once the content proved whole; every failure removes the new file.
bool ZipEntryWriter::WriteFile(int archiveFd, const ZipEntryData& entry, const QByteArray& password,
                               RestoreTarget& target, const QString& relative) {
    m_passwordMayBeWrong = false;
    QString folder;
    QString name;
    SplitRelative(relative, folder, name);
    const int folderFd = target.Folder(folder);
    if (folderFd < 0) {
        return false;
    }
    const QString shown = Shown(target.PathOf(relative));
    ReplacingFile out;
    if (!out.Create(folderFd, FileNameToBytes(name))) {
        Log("  ...cannot write %s: %s", qUtf8Printable(shown),
            qUtf8Printable(qt_error_string(errno)));
        return false;
    }
    int writeError = 0;
    const ZipEntryDecoder::Sink sink = [&](const char* data, size_t size) {
        // A stop ends a long file between two pieces; it stays a temporary.
        if (target.Stopped()) {
            writeError = ECANCELED;
            return false;
        }
        if (WriteAll(out.Fd(), data, size)) {
            return true;
        }
        writeError = errno;
        return false;
    };
    QString reason;
    if (!Decode(archiveFd, entry, password, sink, writeError, reason)) {
        if (writeError != ECANCELED) {
            Log("  ...%s",
                qUtf8Printable(writeError != 0
                                   ? QStringLiteral("cannot write %1: %2").arg(shown, reason)
                                   : reason));
        }
        return false;
    }
    // An entry made on Unix carries its permission bits; the restored file stays
    // readable and writable by its owner whatever they say.
    if (const mode_t bits = ZipUnixPermissions(entry.info, S_IFREG); bits != 0) {
        ::fchmod(out.Fd(), (bits & 0777) | S_IRUSR | S_IWUSR);
    }
    if (entry.info.time >= 0) {
        const qint64 time = entry.info.time;
        const struct timespec times[2] = {{time_t(time), 0}, {time_t(time), 0}};
        if (::futimens(out.Fd(), times) != 0) {
            Log("  ...cannot set the time of %s: %s", qUtf8Printable(shown),
                qUtf8Printable(qt_error_string(errno)));
            return false;
        }
    }
    if (!out.Commit()) {
        Log("  ...cannot replace %s: %s", qUtf8Printable(shown),
            qUtf8Printable(qt_error_string(errno)));
        return false;
    }
    return true;
}

bool ZipEntryWriter::ReadLink(int archiveFd, const ZipEntryData& entry, const QByteArray& password,
                              QByteArray& linkTarget) {
    m_passwordMayBeWrong = false;
    linkTarget.clear();
    int writeError = 0;
    const ZipEntryDecoder::Sink sink = [&](const char* data, size_t size) {
        if (size_t(linkTarget.size()) + size > kMaxLinkTarget) {
            writeError = ENAMETOOLONG;
            return false;
        }
        linkTarget.append(data, qsizetype(size));
        return true;
    };
    QString reason;
    if (!Decode(archiveFd, entry, password, sink, writeError, reason)) {
        Log("  ...%s", qUtf8Printable(writeError != 0 ? QStringLiteral("the target of link '%1' "
                                                                       "is too long")
                                                            .arg(Shown(entry.info.name))
                                                      : reason));
        return false;
    }
    return true;
}

}  // namespace corvane
