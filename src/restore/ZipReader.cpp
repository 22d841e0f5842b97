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
#include "engine/ZipAes.h"
#include "engine/ZipStreamSeek.h"
#include "io/DescriptorIo.h"
#include "log/Log.h"
#include "model/FileName.h"
#include "restore/RestoreTarget.h"
#include "restore/ZipDirectoryCheck.h"
#include "restore/ZipEntryWriter.h"
#include "restore/ZipExtraField.h"
#include "restore/ZipNameText.h"

namespace corvane {

namespace {

constexpr quint32 kFlagEncrypted = 1u << 0;
constexpr quint32 kFlagStrongEncryption = 1u << 6;
constexpr int kMethodStored = 0;
constexpr int kMethodDeflated = 8;
constexpr quint32 kHostUnix = 3;

// A name field holds at most 65535 bytes, an extra field as many.
constexpr uLong kFieldBufferSize = 65536;

QString Shown(const QString& name) {
    return FileNameForDisplay(name);
}

QString LastComponent(const QString& name) {
    return name.mid(name.lastIndexOf(u'/') + 1);
}

}  // namespace

struct ZipReader::State {
    unzFile zip = nullptr;
    // Our own handle on the archive for entry data (see ExtractFile).
    int fd = -1;
    QString baseName;
    QString openFailure;
    quint64 count = 0;
    bool hasEntry = false;
    // The position of the current entry in the directory, and what the check found.
    size_t index = 0;
    ZipDirectoryCheck check;
    bool passwordMayBeWrong = false;
    ZipEntryInfo info;
    ZipEntryInfo emptyInfo;
    QByteArray nameBuffer;
    QByteArray extraBuffer;
    // Entry data read on the reader's own thread.
    ZipEntryWriter writer;

    bool ReadEntryInfo();
    bool Matches(const QString& extension) const;
    bool LocateData(quint64& start);
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
    info.crc = quint32(raw.crc);
    info.encrypted = (raw.flag & kFlagEncrypted) != 0;
    info.isFolder = info.name.endsWith(u'/');
    info.method = quint16(raw.compression_method);
    // An AES entry names its real method in its "AE" block; one without a readable block
    // keeps method 99, which is not extracted.
    if (info.method == ZipAes::kMethod && info.encrypted) {
        if (const std::optional<ZipAesValues> aes = ReadZipAesExtra(extra)) {
            info.method = aes->method;
            info.aesVersion = quint8(aes->version);
            info.aesStrength = quint8(aes->strength);
        }
    }
    info.flags = quint16(raw.flag);
    info.versionMadeBy = quint16(raw.version);
    info.externalAttributes = quint32(raw.external_fa);
    info.isSymlink = (info.versionMadeBy >> 8) == kHostUnix &&
                     ((info.externalAttributes >> 16) & S_IFMT) == S_IFLNK;
    info.repeated = index < check.repeated.size() && check.repeated[index];
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
            const ssize_t got = ReadSomeAt(file->fd, out + done, size - done, at);
            if (got <= 0) {
                break;
            }
            done += uLong(got);
            file->position += quint64(got);
            continue;
        }
        const ssize_t got = ReadSomeAt(file->fd, file->block, InputFile::kBlockSize, at);
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
    State& s = *m_state;
    const QByteArray pathBytes = FileNameToBytes(path);
    zlib_filefunc64_def io = {OpenInput, ReadInput,  WriteInput, TellInput,
                              SeekInput, CloseInput, ErrorInput, nullptr};
    unzFile zip = unzOpen2_64(pathBytes.constData(), &io);
    unz_global_info64 global = {};
    if (zip == nullptr || unzGetGlobalInfo64(zip, &global) != UNZ_OK) {
        s.openFailure = QStringLiteral("%1 is missing or no ZIP archive").arg(Shown(path));
        if (zip != nullptr) {
            unzClose(zip);
        }
        return false;
    }
    const int fd = ::open(pathBytes.constData(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        s.openFailure =
            QStringLiteral("cannot read %1: %2").arg(Shown(path), qt_error_string(errno));
        if (fd >= 0) {
            ::close(fd);
        }
        unzClose(zip);
        return false;
    }
    s.check = CheckZipDirectory(fd, quint64(status.st_size));
    if (!s.check.damage.isEmpty()) {
        s.openFailure = QStringLiteral("the archive is damaged: %1").arg(s.check.damage);
        ::close(fd);
        unzClose(zip);
        return false;
    }
    s.zip = zip;
    s.fd = fd;
    s.count = global.number_entry;
    s.baseName = QFileInfo(path).completeBaseName();
    s.openFailure.clear();
    return true;
}

QString ZipReader::OpenFailure() const {
    return m_state->openFailure;
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
    m_state->check = ZipDirectoryCheck();
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
    s.index = 0;
    if (s.zip == nullptr || unzGoToFirstFile(s.zip) != UNZ_OK || !s.ReadEntryInfo()) {
        return false;
    }
    return s.Matches(extension) || Next(extension);
}

bool ZipReader::Next(const QString& extension) {
    State& s = *m_state;
    while (s.zip != nullptr && s.hasEntry) {
        ++s.index;
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
    RestoreTarget target(folder);
    const QString& name = Info().name;
    return ExtractTo(target, flatten ? LastComponent(name) : name, password);
}

bool ZipReader::PasswordMayBeWrong() const {
    return m_state->passwordMayBeWrong;
}

bool ZipReader::ExtractTo(RestoreTarget& target, const QString& relative, const QString& password) {
    ZipEntryData data;
    switch (PrepareExtract(target, relative, password, data)) {
        case Prepared::kDone:
            return true;
        case Prepared::kFailed:
            return false;
        case Prepared::kFile:
            break;
    }
    State& s = *m_state;
    const bool written = s.writer.WriteFile(s.fd, data, password.toUtf8(), target, relative);
    s.passwordMayBeWrong = s.writer.PasswordMayBeWrong();
    return written;
}

int ZipReader::ArchiveFd() const {
    return m_state->fd;
}

ZipReader::Prepared ZipReader::PrepareExtract(RestoreTarget& target, const QString& relative,
                                              const QString& password, ZipEntryData& data) {
    State& s = *m_state;
    s.passwordMayBeWrong = false;
    if (s.zip == nullptr || !s.hasEntry) {
        return Prepared::kFailed;
    }
    const ZipEntryInfo& info = s.info;
    if (!IsSafeEntryName(info.name) || (!relative.isEmpty() && !IsSafeEntryName(relative))) {
        LogUnsafePath(info.name);
        return Prepared::kFailed;
    }
    if (info.isFolder) {
        if (target.Folder(relative) < 0) {
            return Prepared::kFailed;
        }
        // Applied by the restore once the folder's contents are written.
        if (const mode_t bits = ZipUnixPermissions(info, S_IFDIR); bits != 0) {
            const timespec time =
                info.time >= 0 ? timespec{time_t(info.time), 0} : timespec{0, UTIME_OMIT};
            target.KeepFolderLook(relative, bits, time, time);
        }
        return Prepared::kDone;
    }
    // What cannot be read is refused before any folder is made for it.
    const QString last = LastComponent(relative);
    if (last.isEmpty() || last == u"." || last == u"..") {
        LogUnsafePath(info.name);
        return Prepared::kFailed;
    }
    if (info.method != kMethodStored && info.method != kMethodDeflated) {
        Log("  Error: unsupported compression method %d in '%s'", int(info.method),
            qUtf8Printable(Shown(info.name)));
        return Prepared::kFailed;
    }
    if ((info.flags & kFlagStrongEncryption) != 0) {
        Log("  Error: unsupported encryption in '%s'", qUtf8Printable(Shown(info.name)));
        return Prepared::kFailed;
    }
    if (info.encrypted && password.isEmpty()) {
        s.passwordMayBeWrong = true;
        Log("  ...'%s' is encrypted and no password was given", qUtf8Printable(Shown(info.name)));
        return Prepared::kFailed;
    }
    data.info = info;
    if (info.isSymlink) {
        // A link entry's data is the link's target; it is made only when the target
        // stays inside the restore target.
        QByteArray linkTarget;
        if (!s.LocateData(data.start)) {
            Log("  ...cannot read '%s' from the archive", qUtf8Printable(Shown(info.name)));
            return Prepared::kFailed;
        }
        if (!s.writer.ReadLink(s.fd, data, password.toUtf8(), linkTarget)) {
            s.passwordMayBeWrong = s.writer.PasswordMayBeWrong();
            return Prepared::kFailed;
        }
        return target.MakeLink(relative, linkTarget) ? Prepared::kDone : Prepared::kFailed;
    }
    // The file's folder is made here, in the order of the entries, so that the threads
    // writing files never race to make one.
    QString folder;
    QString name;
    SplitRelative(relative, folder, name);
    if (target.Folder(folder) < 0) {
        return Prepared::kFailed;
    }
    if (!s.LocateData(data.start)) {
        Log("  ...cannot read '%s' from the archive", qUtf8Printable(Shown(info.name)));
        return Prepared::kFailed;
    }
    return Prepared::kFile;
}

// Where the current entry's stored bytes begin, as the directory check found them behind
// the local header (minizip would refuse to open an AES entry, method 99, for this).
bool ZipReader::State::LocateData(quint64& start) {
    if (index >= check.dataStart.size()) {
        return false;
    }
    start = check.dataStart[index];
    return true;
}

}  // namespace corvane
