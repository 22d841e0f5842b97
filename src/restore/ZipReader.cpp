#include "restore/ZipReader.h"

#include <fcntl.h>
#include <minizip/unzip.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "engine/DosTime.h"
#include "engine/FolderPath.h"
#include "engine/TemporaryFile.h"
#include "engine/ZipStreamSeek.h"
#include "log/Log.h"
#include "restore/ZipEntryDecoder.h"
#include "restore/ZipExtraField.h"
#include "restore/ZipNameText.h"

namespace corvane {

namespace {

constexpr quint32 kFlagEncrypted = 1u << 0;
constexpr quint32 kFlagDataDescriptor = 1u << 3;
constexpr quint32 kFlagStrongEncryption = 1u << 6;
constexpr int kMethodStored = 0;
constexpr int kMethodDeflated = 8;
constexpr quint32 kHostUnix = 3;

// One read of raw entry data.
constexpr size_t kReadSize = 64 * 1024;
// A name field holds at most 65535 bytes, an extra field as many.
constexpr uLong kFieldBufferSize = 65536;
// Room left for the temporary name's decoration within the 255-byte name limit.

QString WithSlash(const QString& folder) {
    return folder.isEmpty() || folder.endsWith(u'/') ? folder : folder + u'/';
}

QString LastComponent(const QString& name) {
    return name.mid(name.lastIndexOf(u'/') + 1);
}

bool WriteAll(int fd, const char* data, size_t size, int& error) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            return false;
        }
        data += written;
        size -= size_t(written);
    }
    return true;
}

}  // namespace

bool IsSafeEntryName(const QString& name) {
    QString path = name;
    path.replace(u'\\', u'/');
    if (path.isEmpty() || path.startsWith(u'/') || path.contains(QChar(0))) {
        return false;
    }
    // "C:x" names the current folder of drive C on the system the archive came from;
    // such a name is no path below the target.
    const char16_t first = path[0].unicode();
    if (path.size() >= 2 && path[1] == u':' &&
        ((first >= u'A' && first <= u'Z') || (first >= u'a' && first <= u'z'))) {
        return false;
    }
    for (const QStringView component : QStringView(path).split(u'/')) {
        if (component == u"..") {
            return false;
        }
    }
    return true;
}

struct ZipReader::State {
    unzFile zip = nullptr;
    // Our own handle on the archive for entry data (see ExtractFile).
    int fd = -1;
    QString baseName;
    quint64 count = 0;
    bool hasEntry = false;
    ZipEntryInfo info;
    // Where the current entry's local header lies, when a ZIP64 block says so.
    std::optional<quint64> zip64HeaderOffset;
    ZipEntryInfo emptyInfo;
    QByteArray nameBuffer;
    QByteArray extraBuffer;
    // The folder the last Extract made sure of: entries of one folder follow each other,
    // and each would otherwise ask the file system again.
    QString madeFolder;
    // Raw entry data passes through this buffer; made on the first Extract and kept.
    std::unique_ptr<unsigned char[]> readBuffer;
    ZipEntryDecoder decoder;

    bool ReadEntryInfo();
    bool Matches(const QString& extension) const;
    bool LocateData(quint64& start);
    bool ExtractFile(const QString& target, const QByteArray& password);
};

// Fills `info` from the central directory entry minizip stands on; no entry data is read.
bool ZipReader::State::ReadEntryInfo() {
    hasEntry = false;
    if (nameBuffer.isEmpty()) {
        nameBuffer.resize(qsizetype(kFieldBufferSize));
        extraBuffer.resize(qsizetype(kFieldBufferSize));
    }
    unz_file_info64 raw = {};
    if (unzGetCurrentFileInfo64(zip, &raw, nameBuffer.data(), kFieldBufferSize, extraBuffer.data(),
                                kFieldBufferSize, nullptr, 0) != UNZ_OK) {
        return false;
    }
    const QByteArray rawName =
        nameBuffer.left(qsizetype(std::min<uLong>(raw.size_filename, kFieldBufferSize)));
    const QByteArray extra =
        extraBuffer.left(qsizetype(std::min<uLong>(raw.size_file_extra, kFieldBufferSize)));
    info = ZipEntryInfo();
    info.name = ZipEntryNameText(rawName, quint32(raw.flag), quint32(raw.version), extra);
    info.dosDateTime = quint32(raw.dosDate);
    info.time = qint64(UnixFromDosDateTime(info.dosDateTime));
    // Debian's minizip leaves the 32-bit fields of a ZIP64 entry at 0xFFFFFFFF (its test
    // for the overflow value compares with a 64-bit -1): the block is read here.
    const Zip64Values values = ApplyZip64Extra(extra, raw.uncompressed_size, raw.compressed_size);
    info.compressedSize = values.compressedSize;
    info.uncompressedSize = values.uncompressedSize;
    zip64HeaderOffset = values.localHeaderOffset;
    info.crc = quint32(raw.crc);
    info.encrypted = (raw.flag & kFlagEncrypted) != 0;
    info.isFolder = info.name.endsWith(u'/');
    info.method = quint16(raw.compression_method);
    info.flags = quint16(raw.flag);
    info.versionMadeBy = quint16(raw.version);
    info.externalAttributes = quint32(raw.external_fa);
    hasEntry = true;
    return true;
}

bool ZipReader::State::Matches(const QString& extension) const {
    if (extension.isEmpty()) {
        return true;
    }
    const qsizetype dot = info.name.size() - extension.size() - 1;
    return dot >= 0 && info.name[dot] == u'.' &&
           QStringView(info.name).mid(dot + 1).compare(extension, Qt::CaseInsensitive) == 0;
}

namespace {

// The archive under minizip: a file descriptor read with pread through one block
// buffer. minizip reads the directory and the local headers in small pieces with a seek
// before each; stdio would turn every seek into a system call, this keeps them in memory.
struct InputFile {
    static constexpr size_t kBlockSize = 16384;

    int fd = -1;
    quint64 position = 0;
    quint64 size = 0;
    quint64 blockStart = 0;
    size_t blockLength = 0;
    unsigned char block[kBlockSize];
};

voidpf ZCALLBACK OpenInput(voidpf, const void* filename, int mode) {
    if ((mode & ZLIB_FILEFUNC_MODE_READ) == 0) {
        return nullptr;
    }
    const int fd = ::open(static_cast<const char*>(filename), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return nullptr;
    }
    auto* file = new InputFile;
    file->fd = fd;
    file->size = quint64(info.st_size);
    return file;
}

uLong ZCALLBACK ReadInput(voidpf, voidpf stream, void* buf, uLong size) {
    auto* file = static_cast<InputFile*>(stream);
    auto* out = static_cast<unsigned char*>(buf);
    uLong done = 0;
    while (done < size) {
        const quint64 at = file->position;
        if (at >= file->blockStart && at < file->blockStart + file->blockLength) {
            const size_t offset = size_t(at - file->blockStart);
            const size_t take = std::min<size_t>(file->blockLength - offset, size - done);
            std::memcpy(out + done, file->block + offset, take);
            done += uLong(take);
            file->position += take;
            continue;
        }
        if (size - done >= InputFile::kBlockSize) {
            const ssize_t got = ::pread(file->fd, out + done, size - done, off_t(at));
            if (got <= 0) {
                break;
            }
            done += uLong(got);
            file->position += quint64(got);
            continue;
        }
        const ssize_t got = ::pread(file->fd, file->block, InputFile::kBlockSize, off_t(at));
        if (got <= 0) {
            break;
        }
        file->blockStart = at;
        file->blockLength = size_t(got);
    }
    return done;
}

uLong ZCALLBACK WriteInput(voidpf, voidpf, const void*, uLong) {
    return 0;
}

ZPOS64_T ZCALLBACK TellInput(voidpf, voidpf stream) {
    return static_cast<InputFile*>(stream)->position;
}

long ZCALLBACK SeekInput(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* file = static_cast<InputFile*>(stream);
    return SeekZipStream(file->position, file->size, offset, origin);
}

int ZCALLBACK CloseInput(voidpf, voidpf stream) {
    auto* file = static_cast<InputFile*>(stream);
    const int result = ::close(file->fd);
    delete file;
    return result;
}

int ZCALLBACK ErrorInput(voidpf, voidpf) {
    return 0;
}

}  // namespace

ZipReader::ZipReader() : m_state(std::make_unique<State>()) {}

ZipReader::~ZipReader() {
    Close();
}

bool ZipReader::Open(const QString& path) {
    Close();
    zlib_filefunc64_def io = {OpenInput, ReadInput,  WriteInput, TellInput,
                              SeekInput, CloseInput, ErrorInput, nullptr};
    unzFile zip = unzOpen2_64(QFile::encodeName(path).constData(), &io);
    if (zip == nullptr) {
        return false;
    }
    unz_global_info64 global = {};
    if (unzGetGlobalInfo64(zip, &global) != UNZ_OK) {
        unzClose(zip);
        return false;
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        unzClose(zip);
        return false;
    }
    m_state->zip = zip;
    m_state->fd = fd;
    m_state->count = global.number_entry;
    m_state->baseName = QFileInfo(path).completeBaseName();
    return true;
}

void ZipReader::Close() {
    if (m_state->zip != nullptr) {
        unzClose(m_state->zip);
        m_state->zip = nullptr;
    }
    if (m_state->fd >= 0) {
        ::close(m_state->fd);
        m_state->fd = -1;
    }
    m_state->count = 0;
    m_state->hasEntry = false;
    m_state->info = ZipEntryInfo();
}

bool ZipReader::IsOpen() const {
    return m_state->zip != nullptr;
}

QString ZipReader::BaseName() const {
    return m_state->baseName;
}

quint64 ZipReader::Count() const {
    return m_state->zip != nullptr ? m_state->count : 0;
}

bool ZipReader::First(const QString& extension) {
    State& s = *m_state;
    s.hasEntry = false;
    if (s.zip == nullptr || unzGoToFirstFile(s.zip) != UNZ_OK || !s.ReadEntryInfo()) {
        return false;
    }
    return s.Matches(extension) || Next(extension);
}

bool ZipReader::Next(const QString& extension) {
    State& s = *m_state;
    while (s.zip != nullptr && s.hasEntry) {
        if (unzGoToNextFile(s.zip) != UNZ_OK || !s.ReadEntryInfo()) {
            s.hasEntry = false;
            return false;
        }
        if (s.Matches(extension)) {
            return true;
        }
    }
    return false;
}

const ZipEntryInfo& ZipReader::Info() const {
    return m_state->hasEntry ? m_state->info : m_state->emptyInfo;
}

bool ZipReader::Extract(const QString& folder, bool flatten, const QString& password) {
    State& s = *m_state;
    if (s.zip == nullptr || !s.hasEntry) {
        return false;
    }
    const ZipEntryInfo& info = s.info;
    if (!IsSafeEntryName(info.name)) {
        Log("  Error: unsafe path '%s' skipped", qUtf8Printable(info.name));
        return false;
    }
    const QString relative = flatten ? LastComponent(info.name) : info.name;
    if (!info.isFolder) {
        // What cannot be read is refused before any folder is made for it.
        const QString last = LastComponent(relative);
        if (last.isEmpty() || last == u"." || last == u"..") {
            Log("  Error: unsafe path '%s' skipped", qUtf8Printable(info.name));
            return false;
        }
        if (info.method != kMethodStored && info.method != kMethodDeflated) {
            Log("  Error: unsupported compression method %d in '%s'", int(info.method),
                qUtf8Printable(info.name));
            return false;
        }
        if ((info.flags & kFlagStrongEncryption) != 0) {
            Log("  Error: unsupported encryption in '%s'", qUtf8Printable(info.name));
            return false;
        }
        if (info.encrypted && password.isEmpty()) {
            Log("  ...'%s' is encrypted and no password was given", qUtf8Printable(info.name));
            return false;
        }
    }
    if (folder != s.madeFolder) {
        if (!CreateFolderPath(folder)) {
            Log("  ...cannot create folder %s", qUtf8Printable(folder));
            return false;
        }
        s.madeFolder = folder;
    }
    const QString target = WithSlash(folder) + relative;
    if (info.isFolder) {
        // Flattened, a folder entry has nothing below the target folder to make.
        if (!flatten && !CreateFolderPath(target)) {
            Log("  ...cannot create folder %s", qUtf8Printable(target));
            return false;
        }
        return true;
    }
    if (!flatten && relative.contains(u'/')) {
        const QString parent = target.left(target.lastIndexOf(u'/'));
        if (!CreateFolderPath(parent)) {
            Log("  ...cannot create folder %s", qUtf8Printable(parent));
            return false;
        }
    }
    return s.ExtractFile(target, password.toUtf8());
}

// Where the current entry's stored bytes begin. minizip finds them from the local
// header and checks that header against the directory (raw mode: nothing is decoded);
// for an entry whose header offset only the ZIP64 block holds, minizip would look at
// offset 0xFFFFFFFF, so that header is read here.
bool ZipReader::State::LocateData(quint64& start) {
    if (zip64HeaderOffset) {
        unsigned char header[30];
        const quint64 offset = *zip64HeaderOffset;
        if (::pread(fd, header, sizeof header, off_t(offset)) == ssize_t(sizeof header) &&
            header[0] == 'P' && header[1] == 'K' && header[2] == 3 && header[3] == 4) {
            const quint64 nameLength = header[26] | (header[27] << 8);
            const quint64 extraLength = header[28] | (header[29] << 8);
            start = offset + sizeof header + nameLength + extraLength;
            return true;
        }
    }
    int method = 0;
    int level = 0;
    if (unzOpenCurrentFile3(zip, &method, &level, 1, nullptr) != UNZ_OK) {
        return false;
    }
    start = unzGetCurrentFileZStreamPos64(zip);
    unzCloseCurrentFile(zip);
    return true;
}

// Streams the current entry into a new file beside `target` and renames it over the
// target once the content proved whole; every failure removes the new file. The stored
// bytes are read from our own handle by position, with the directory's (ZIP64-aware)
// compressed size.
bool ZipReader::State::ExtractFile(const QString& target, const QByteArray& password) {
    quint64 position = 0;
    if (!LocateData(position)) {
        Log("  ...cannot read '%s' from the archive", qUtf8Printable(info.name));
        return false;
    }
    const QByteArray targetBytes = QFile::encodeName(target);
    QByteArray tempPath;
    FileDescriptor out(CreateTempBeside(targetBytes, tempPath));
    if (out.Get() < 0) {
        const int error = errno;
        Log("  ...cannot write %s: %s", qUtf8Printable(target),
            qUtf8Printable(qt_error_string(error)));
        return false;
    }
    auto fail = [&](const QString& reason) {
        out.Close();
        ::unlink(tempPath.constData());
        Log("  ...%s", qUtf8Printable(reason));
        return false;
    };

    // With a data descriptor (flag bit 3) the writer did not know the CRC when it wrote
    // the encryption header, so the check byte is the high byte of the DOS time.
    const unsigned char checkByte = (info.flags & kFlagDataDescriptor) != 0
                                        ? static_cast<unsigned char>(info.dosDateTime >> 8)
                                        : static_cast<unsigned char>(info.crc >> 24);
    decoder.Start(info.method == kMethodDeflated, info.encrypted, password, checkByte,
                  info.uncompressedSize, info.crc);
    if (!readBuffer) {
        readBuffer = std::make_unique_for_overwrite<unsigned char[]>(kReadSize);
    }
    int writeError = 0;
    const ZipEntryDecoder::Sink sink = [&](const char* data, size_t size) {
        return WriteAll(out.Get(), data, size, writeError);
    };
    const QString wrongPassword =
        QStringLiteral("wrong password or damaged data in '%1'").arg(info.name);
    const QString damaged =
        info.encrypted ? wrongPassword : QStringLiteral("damaged data in '%1'").arg(info.name);
    auto reasonOf = [&](ZipEntryDecoder::Status status) {
        switch (status) {
            case ZipEntryDecoder::Status::kWrongPassword:
                return QStringLiteral("wrong password for '%1'").arg(info.name);
            case ZipEntryDecoder::Status::kSinkFailed:
                return QStringLiteral("cannot write %1: %2")
                    .arg(target, qt_error_string(writeError));
            default:
                return damaged;
        }
    };
    for (quint64 left = info.compressedSize; left > 0;) {
        const ssize_t got = ::pread(fd, readBuffer.get(),
                                    size_t(std::min<quint64>(left, kReadSize)), off_t(position));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return fail(QStringLiteral("cannot read '%1' from the archive: %2")
                            .arg(info.name, qt_error_string(errno)));
        }
        if (got == 0) {
            return fail(QStringLiteral("the archive ends inside '%1'").arg(info.name));
        }
        position += quint64(got);
        left -= quint64(got);
        const ZipEntryDecoder::Status status = decoder.Feed(readBuffer.get(), size_t(got), sink);
        if (status != ZipEntryDecoder::Status::kOk) {
            return fail(reasonOf(status));
        }
    }
    const ZipEntryDecoder::Status status = decoder.Finish();
    if (status != ZipEntryDecoder::Status::kOk) {
        return fail(reasonOf(status));
    }

    // An entry made on Unix carries its permission bits; the restored file stays
    // readable and writable by its owner whatever they say.
    const quint32 mode = info.externalAttributes >> 16;
    if ((info.versionMadeBy >> 8) == kHostUnix && mode != 0 &&
        ((mode & S_IFMT) == 0 || (mode & S_IFMT) == S_IFREG)) {
        ::fchmod(out.Get(), mode_t((mode & 0777) | S_IRUSR | S_IWUSR));
    }
    if (info.time >= 0) {
        const struct timespec times[2] = {{time_t(info.time), 0}, {time_t(info.time), 0}};
        if (::futimens(out.Get(), times) != 0) {
            return fail(QStringLiteral("cannot set the time of %1: %2")
                            .arg(target, qt_error_string(errno)));
        }
    }
    if (!out.Close()) {
        return fail(QStringLiteral("cannot write %1: %2").arg(target, qt_error_string(errno)));
    }
    if (::rename(tempPath.constData(), targetBytes.constData()) != 0) {
        return fail(QStringLiteral("cannot replace %1: %2").arg(target, qt_error_string(errno)));
    }
    return true;
}

}  // namespace corvane
