#include "engine/ArchiveWriter.h"

#include <errno.h>
#include <fcntl.h>
#include <minizip/zip.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <random>

#include "engine/ArchiveThreads.h"
#include "engine/DeflateBlock.h"
#include "engine/DeflatePipeline.h"
#include "engine/DosTime.h"
#include "engine/LocalPath.h"
#include "engine/ZipAes.h"
#include "engine/ZipAesKeyQueue.h"
#include "engine/ZipCrypto.h"
#include "engine/ZipStreamSeek.h"
#include "io/DescriptorIo.h"
#include "log/Log.h"
#include "model/FileName.h"

namespace corvane {

namespace {

constexpr size_t kCrcBlockSize = 131072;      // one read of the CRC pass
constexpr size_t kOutputBufferSize = 262144;  // archive bytes gathered before a write
constexpr int kMaxProgressBound = 65535;      // the progress bar's bounds are 16-bit
constexpr quint64 kZip32Limit = 0xFFFFFFFFu;

constexpr uLong kMadeByUnix20 = 0x0314;     // host 3 (Unix), ZIP 2.0
constexpr uLong kMadeByUnixZip64 = 0x032D;  // host 3 (Unix), ZIP 4.5
constexpr uLong kFlagEncrypted = 1u << 0;
constexpr uLong kFlagUtf8Name = 1u << 11;
constexpr quint32 kDosDirectoryAttribute = 0x10;

// Little-endian fields of ZIP records.
quint16 Get16(const unsigned char* p) {
    return quint16(p[0] | p[1] << 8);
}
quint32 Get32(const unsigned char* p) {
    return quint32(Get16(p)) | quint32(Get16(p + 2)) << 16;
}

void Put16(unsigned char* p, quint64 value) {
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
}
void Put32(unsigned char* p, quint64 value) {
    Put16(p, value);
    Put16(p + 2, value >> 16);
}
void Put64(unsigned char* p, quint64 value) {
    Put32(p, value);
    Put32(p + 4, value >> 32);
}

// ---------------------------------------------------------------------------------------
// The archive file under minizip: a file descriptor behind one write buffer. minizip
// writes headers in small pieces and, after each entry, seeks back to the entry's local
// header to fill in CRC and sizes; with the buffer, a small entry costs no system call
// of its own, and the seek back lands in memory. Write errors stick, so minizip's next
// call fails and the archive is given up; the system's reason is kept for the log.

struct OutputFile {
    int fd = -1;
    bool failed = false;
    int error = 0;            // errno of the call that failed
    quint64 position = 0;     // where minizip writes next
    quint64 bufferStart = 0;  // file offset of buffer[0]
    size_t bufferLength = 0;  // bytes of the buffer not yet written to the file
    quint64 end = 0;          // file size, buffered bytes included
    std::unique_ptr<unsigned char[]> buffer;
};

// Marks the file failed with the reason in errno; answers false for the caller.
bool OutputFailed(OutputFile& file) {
    if (!file.failed) {
        file.failed = true;
        file.error = errno;
    }
    return false;
}

bool FlushOutput(OutputFile& file) {
    if (file.bufferLength > 0 && !file.failed &&
        !WriteAllAt(file.fd, file.buffer.get(), file.bufferLength, file.bufferStart)) {
        OutputFailed(file);
    }
    file.bufferStart += file.bufferLength;
    file.bufferLength = 0;
    return !file.failed;
}

voidpf ZCALLBACK OpenOutput(voidpf opaque, const void* filename, int mode) {
    auto* file = static_cast<OutputFile*>(opaque);
    if ((mode & ZLIB_FILEFUNC_MODE_CREATE) == 0) {
        return nullptr;  // only new archives are written here
    }
    // An earlier file of this name (a temporary left by a crash) is replaced.
    file->fd = ::open(static_cast<const char*>(filename),
                      O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
    if (file->fd < 0) {
        OutputFailed(*file);
        return nullptr;
    }
    file->buffer.reset(new unsigned char[kOutputBufferSize]);
    return file;
}

uLong ZCALLBACK ReadOutput(voidpf, voidpf stream, void* buf, uLong size) {
    auto* file = static_cast<OutputFile*>(stream);
    if (!FlushOutput(*file)) {
        return 0;
    }
    const ssize_t got = ReadSomeAt(file->fd, buf, size, file->position);
    if (got <= 0) {
        return 0;
    }
    file->position += quint64(got);
    return uLong(got);
}

uLong ZCALLBACK WriteOutput(voidpf, voidpf stream, const void* buf, uLong size) {
    auto* file = static_cast<OutputFile*>(stream);
    if (file->failed) {
        return 0;
    }
    const auto* bytes = static_cast<const unsigned char*>(buf);
    const quint64 bufferEnd = file->bufferStart + file->bufferLength;
    if (file->position >= file->bufferStart && file->position <= bufferEnd &&
        file->position - file->bufferStart + size <= kOutputBufferSize) {
        // Continues or overwrites the buffered bytes.
        const size_t at = size_t(file->position - file->bufferStart);
        std::memcpy(file->buffer.get() + at, bytes, size);
        file->bufferLength = std::max(file->bufferLength, at + size_t(size));
    } else {
        if (!FlushOutput(*file)) {
            return 0;
        }
        file->bufferStart = file->position;
        if (size >= kOutputBufferSize) {
            if (!WriteAllAt(file->fd, bytes, size, file->position)) {
                OutputFailed(*file);
                return 0;
            }
            file->bufferStart += size;
        } else {
            std::memcpy(file->buffer.get(), bytes, size);
            file->bufferLength = size;
        }
    }
    file->position += size;
    file->end = std::max(file->end, file->position);
    return size;
}

ZPOS64_T ZCALLBACK TellOutput(voidpf, voidpf stream) {
    return static_cast<OutputFile*>(stream)->position;
}

long ZCALLBACK SeekOutput(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* file = static_cast<OutputFile*>(stream);
    return SeekZipStream(file->position, file->end, offset, origin);
}

int ZCALLBACK CloseOutput(voidpf, voidpf stream) {
    auto* file = static_cast<OutputFile*>(stream);
    FlushOutput(*file);
    if (::close(file->fd) != 0) {
        OutputFailed(*file);
    }
    file->fd = -1;
    file->buffer.reset();
    return file->failed ? -1 : 0;
}

int ZCALLBACK ErrorOutput(voidpf, voidpf stream) {
    return static_cast<OutputFile*>(stream)->failed ? 1 : 0;
}

// ---------------------------------------------------------------------------------------
// Reading sources.

// Opens a regular file for reading. O_NONBLOCK keeps a FIFO that took the file's place
// from blocking the run; it has no effect on regular files.
bool OpenRegularFile(const QString& path, FileDescriptor& source, struct stat& status) {
    const QByteArray nativePath = FileNameToBytes(path);
    source.Reset(::open(nativePath.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    return source.IsOpen() && ::fstat(source.Get(), &status) == 0 && S_ISREG(status.st_mode);
}

// One read; -1 on a read error.
ssize_t ReadSource(int fd, unsigned char* buffer, size_t size) {
    const ssize_t got = ReadSome(fd, buffer, size);
    if (got >= 0 || errno != EAGAIN) {
        return got;
    }
    // A file system that honours O_NONBLOCK for regular files: read blocking.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return -1;
    }
    return ReadSome(fd, buffer, size);
}

// The CRC-32 and length of everything from the file's current position to its end.
bool CrcOfRest(int fd, unsigned char* buffer, quint32& crc, quint64& size) {
    uLong sum = crc32(0, Z_NULL, 0);
    size = 0;
    for (;;) {
        const ssize_t got = ReadSource(fd, buffer, kCrcBlockSize);
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            break;
        }
        sum = crc32(sum, buffer, uInt(got));
        size += quint64(got);
    }
    crc = quint32(sum);
    return true;
}

// Reads up to `want` bytes onto the end of the block's data; fewer where the file ends.
bool FillBlock(int fd, DeflateBlock& block, size_t want, quint64 statSize, quint64& read) {
    while (want > 0) {
        const ssize_t got = ReadSource(fd, block.Data() + block.Size(), want);
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            break;
        }
        block.SetSize(block.Size() + size_t(got));
        read += quint64(got);
        // A short read of a regular file that reached its known size is its end; this
        // saves the read that would answer 0. (Files of size 0 in /proc and the like
        // are read until a read answers 0.)
        if (size_t(got) < want && statSize > 0 && read >= statSize) {
            break;
        }
        want -= size_t(got);
    }
    return true;
}

bool MayReach4GiB(quint64 size) {
    // Each block's output is at most its input plus zlib's bound for incompressible data
    // and the sync flush's empty stored block; a cipher adds its header (and code).
    const quint64 blocks = size / DeflateBlock::kBlockSize + 1;
    const quint64 blockMargin =
        compressBound(DeflateBlock::kBlockSize) - DeflateBlock::kBlockSize + 5;
    const quint64 cipherMargin = std::max<quint64>(ZipCrypto::kHeaderSize, ZipAes::kOverhead256);
    return size + blocks * blockMargin + cipherMargin >= kZip32Limit;
}

// ---------------------------------------------------------------------------------------
// One WriteArchive call.
//
// The calling thread reads the sources and writes the archive; the pipeline's workers
// deflate the blocks of data in between. Reading runs ahead of writing by at most the
// pipeline's blocks: an entry waits in m_pending from its first block read to its last
// written, and blocks go into the archive in the order they were read. Every failure is
// found and logged on the calling thread.

class ArchiveJob {
  public:
    ArchiveJob(int level, const QString& password, ArchiveCipher cipher, int threads);
    ~ArchiveJob();
    ArchiveJob(const ArchiveJob&) = delete;
    ArchiveJob& operator=(const ArchiveJob&) = delete;

    bool Run(const ArchiveList& list, const QString& archivePath, const StopSignal& stop);

  private:
    // An entry read, or being read, whose last block is not written yet.
    struct PendingEntry {
        QString sourcePath;
        size_t index = 0;  // in the list
        QByteArray name;
        bool utf8Name = true;  // the name's bytes are UTF-8 (else a file name's raw bytes)
        quint32 dosDateTime = 0;
        quint32 attributes = 0;
        bool encrypted = false;
        bool crcFirst = false;  // traditional cipher: the header needs the CRC before the data
        bool zip64 = false;
        quint64 statSize = 0;      // the size fstat gave when the file was opened
        quint64 expectedSize = 0;  // bytes the CRC pass read (crcFirst entries)
        quint32 expectedCrc = 0;   // their CRC-32
        quint64 total = 0;         // bytes read for the data, known with the last block
        quint32 crc = 0;           // CRC-32 of the data written so far
    };
    enum class DataPass { kDone, kReadFailed, kWriteFailed, kStopped };

    bool AddFolder(const ArchiveListEntry& entry, size_t index);
    bool AddFile(const ArchiveListEntry& entry, size_t index, const StopSignal& stop);
    bool AddLink(const ArchiveListEntry& entry, size_t index);
    bool CheckName(const ArchiveListEntry& entry, size_t index, PendingEntry& pending);
    bool ReadCrcFirst(int fd, PendingEntry& entry);
    DataPass QueueFileData(int fd, PendingEntry& entry, const StopSignal& stop);
    // Data known in full (a link's text, nothing for a folder): one block.
    bool QueueWhole(PendingEntry&& entry, const QByteArray& data);
    // A free block, writing out the oldest deflated ones while there is none.
    DeflateBlock* AcquireBlock();
    bool WriteOldest();
    bool EntryIsTheFile(const PendingEntry& entry) const;
    // The 12-byte header that starts a traditionally encrypted entry's data; `crc` of
    // the plain data.
    bool WriteEncryptionHeader(quint32 crc);
    // Salt and password verifier in front of an AES entry's data, with fresh keys.
    bool WriteAesHeader();
    // Writes `size` bytes at `offset` of the archive, then goes on where it was.
    void Overwrite(quint64 offset, const unsigned char* data, size_t size);
    // The reason of the output's failure for a log line: ": " and the system's text,
    // or nothing when the system gave none.
    QString OutputReason() const;
    bool OpenEntry(const PendingEntry& entry);
    // Encrypts (in place) when the entry is encrypted, then writes.
    bool WriteToEntry(unsigned char* data, size_t size);
    bool WriteRawToEntry(const unsigned char* data, size_t size);
    bool CloseEntry(quint64 size, quint32 crc);
    bool WriteFailed();
    bool CipherFailed();
    void RandomBytes(unsigned char* out, size_t count);
    bool CompleteDirectory(const QString& path);
    bool MendCentralHeaders(int fd, quint64 directorySize);

    int m_level = 9;
    int m_threads = 1;
    std::optional<ZipCrypto> m_crypto;          // the traditional cipher
    std::unique_ptr<ZipAes> m_aes;              // or AES
    QByteArray m_password;                      // as AES hashes it, with every entry's salt
    std::unique_ptr<ZipAesKeyQueue> m_aesKeys;  // made with the first AES entry
    bool m_hasAesEntry = false;                 // the central directory must say method 99
    std::unique_ptr<DeflatePipeline> m_pipeline;
    std::deque<PendingEntry> m_pending;
    // The CRC pass of encrypted entries reads into it.
    std::unique_ptr<unsigned char[]> m_crcBuffer;
    OutputFile m_output;
    zipFile m_zip = nullptr;
    QString m_archivePath;
    size_t m_listSize = 0;
    bool m_writeErrorLogged = false;
    bool m_entryEncrypted = false;
    quint64 m_entryCompressed = 0;  // bytes written to the current entry
    quint64 m_entryStart = 0;       // offset of the current entry's local header
    bool m_hasZip64Entry = false;   // an entry with ZIP64 fields
    quint64 m_entryCount = 0;       // entries written
    quint64 m_directoryOffset = 0;  // where the central directory starts
    unsigned char m_random[256] = {};
    size_t m_randomLeft = 0;
};

ArchiveJob::ArchiveJob(int level, const QString& password, ArchiveCipher cipher, int threads)
    // zlib refuses other levels; the task's default level is 9.
    : m_level(level >= 0 && level <= 9 ? level : 9),
      m_threads(threads > 0 ? threads : ArchiveThreads()),
      m_crcBuffer(new unsigned char[kCrcBlockSize]) {
    if (password.isEmpty()) {
        return;
    }
    if (cipher == kCipherAes256) {
        m_aes = std::make_unique<ZipAes>();
        m_password = password.toUtf8();
    } else {
        m_crypto.emplace(password.toUtf8());
    }
}

ArchiveJob::~ArchiveJob() {
    if (m_zip != nullptr) {
        zipClose(m_zip, nullptr);
    }
}

bool ArchiveJob::Run(const ArchiveList& list, const QString& archivePath, const StopSignal& stop) {
    m_archivePath = archivePath;
    const QString tempPath = TemporaryArchivePath(archivePath);
    const QByteArray nativeTemp = FileNameToBytes(tempPath);

    // Entries are deflated by us in raw mode rather than by minizip, so blocks can be
    // deflated on several threads, and encrypted entries can carry our own cipher
    // (minizip 1.1's own writes unreadable entries).
    m_pipeline = std::make_unique<DeflatePipeline>(m_level, m_threads);
    zlib_filefunc64_def io = {OpenOutput, ReadOutput,  WriteOutput, TellOutput,
                              SeekOutput, CloseOutput, ErrorOutput, &m_output};
    if (m_pipeline->Ready()) {
        m_zip = zipOpen2_64(nativeTemp.constData(), APPEND_STATUS_CREATE, nullptr, &io);
    }
    if (m_zip == nullptr) {
        Log("  Error: cannot create file %s%s", qUtf8Printable(FileNameForDisplay(tempPath)),
            qUtf8Printable(OutputReason()));
        return false;
    }

    const std::vector<ArchiveListEntry>& entries = list.Entries();
    m_listSize = entries.size();
    // Long lists are scaled onto the bar's 16-bit range (see WriteOldest).
    SetProgressRange(0,
                     m_listSize > size_t(kMaxProgressBound) ? kMaxProgressBound : int(m_listSize));

    bool ok = true;
    for (size_t i = 0; i < m_listSize && ok && !stop.IsSet(); ++i) {
        const ArchiveListEntry& entry = entries[i];
        if (entry.link) {
            ok = AddLink(entry, i);
        } else if (entry.nameInArchive.endsWith(QLatin1Char('/'))) {
            ok = AddFolder(entry, i);
        } else {
            ok = AddFile(entry, i, stop);
        }
    }
    while (ok && !stop.IsSet() && m_pipeline->HasSubmitted()) {
        ok = WriteOldest();
    }
    // Blocks still on their way are dropped; each worker ends after the one it holds.
    m_pipeline.reset();

    m_directoryOffset = m_output.position;  // zipClose writes the directory from here
    const int closed = zipClose(m_zip, nullptr);
    m_zip = nullptr;
    if (closed != ZIP_OK && ok) {
        ok = WriteFailed();
    }
    if (ok && !stop.IsSet() &&
        (m_hasZip64Entry || m_hasAesEntry || m_entryCount >= 0xFFFF ||
         m_directoryOffset >= kZip32Limit)) {
        ok = CompleteDirectory(tempPath);
    }

    if (ok && !stop.IsSet()) {
        if (::rename(nativeTemp.constData(), FileNameToBytes(archivePath).constData()) == 0) {
            return true;
        }
        const QString reason = qt_error_string(errno);
        Log("  Error: cannot move %s to %s: %s", qUtf8Printable(FileNameForDisplay(tempPath)),
            qUtf8Printable(FileNameForDisplay(archivePath)), qUtf8Printable(reason));
    }
    ::unlink(nativeTemp.constData());
    return false;
}

bool ArchiveJob::CheckName(const ArchiveListEntry& entry, size_t index, PendingEntry& pending) {
    // The exact bytes of the source's name: a name that is not UTF-8 goes in as it is
    // (without the UTF-8 flag).
    pending.name = FileNameToBytes(entry.nameInArchive);
    pending.utf8Name = !FileNameIsRaw(entry.nameInArchive);
    pending.sourcePath = entry.sourcePath;
    pending.index = index;
    // A ZIP header holds 16 bits of name length.
    if (pending.name.size() > 0xFFFF || pending.name.contains('\0')) {
        Log("  Error: cannot add %s to zip", qUtf8Printable(FileNameForDisplay(entry.sourcePath)));
        return false;
    }
    return true;
}

bool ArchiveJob::AddFolder(const ArchiveListEntry& entry, size_t index) {
    PendingEntry pending;
    if (!CheckName(entry, index, pending)) {
        return false;
    }
    const QString folder = WithoutTrailingSlash(entry.sourcePath);
    struct stat status = {};
    if (::stat(FileNameToBytes(folder).constData(), &status) != 0) {
        Log("  Error: cannot add %s to zip", qUtf8Printable(FileNameForDisplay(entry.sourcePath)));
        return false;
    }
    // "Made by" Unix: the high 16 bits hold the mode, so extracting tools restore the
    // folder's permissions; the low byte keeps the MS-DOS folder bit for DOS readers.
    pending.attributes =
        (quint32(S_IFDIR | (status.st_mode & 07777)) << 16) | kDosDirectoryAttribute;
    pending.dosDateTime = DosDateTimeFromUnix(status.st_mtime);
    // A folder entry holds no data: only the compressor's end marker.
    return QueueWhole(std::move(pending), QByteArray());
}

bool ArchiveJob::AddFile(const ArchiveListEntry& entry, size_t index, const StopSignal& stop) {
    PendingEntry pending;
    if (!CheckName(entry, index, pending)) {
        return false;
    }
    FileDescriptor source;
    struct stat status = {};
    if (!OpenRegularFile(entry.sourcePath, source, status)) {
        Log("  Error: cannot add %s to zip", qUtf8Printable(FileNameForDisplay(entry.sourcePath)));
        return false;
    }
    pending.statSize = quint64(std::max<off_t>(status.st_size, 0));
    pending.encrypted = m_crypto.has_value() || m_aes;
    pending.crcFirst = m_crypto.has_value();
    if (pending.crcFirst && !ReadCrcFirst(source.Get(), pending)) {
        Log("  Error: cannot read file %s", qUtf8Printable(FileNameForDisplay(entry.sourcePath)));
        return false;
    }
    pending.zip64 = MayReach4GiB(pending.crcFirst ? pending.expectedSize : pending.statSize);
    pending.dosDateTime = DosDateTimeFromUnix(status.st_mtime);
    pending.attributes = quint32(S_IFREG | (status.st_mode & 07777)) << 16;
    m_pending.push_back(std::move(pending));
    switch (QueueFileData(source.Get(), m_pending.back(), stop)) {
        case DataPass::kReadFailed:
            Log("  Error: cannot read file %s",
                qUtf8Printable(FileNameForDisplay(entry.sourcePath)));
            return false;
        case DataPass::kWriteFailed:
        case DataPass::kStopped:
            return false;
        case DataPass::kDone:
            break;
    }
    return true;
}

// An encrypted entry's header needs the CRC before the data: a first pass over the
// file. The data pass then takes exactly that many bytes and must see the same CRC,
// else the entry would open with no password.
bool ArchiveJob::ReadCrcFirst(int fd, PendingEntry& entry) {
    return CrcOfRest(fd, m_crcBuffer.get(), entry.expectedCrc, entry.expectedSize) &&
           ::lseek(fd, 0, SEEK_SET) == 0;
}

ArchiveJob::DataPass ArchiveJob::QueueFileData(int fd, PendingEntry& entry,
                                               const StopSignal& stop) {
    DeflateBlock* block = AcquireBlock();
    if (block == nullptr) {
        return DataPass::kWriteFailed;
    }
    block->StartFirst();
    quint64 read = 0;
    for (;;) {
        // One byte past the block, to know whether the data goes on.
        quint64 want = DeflateBlock::kInputCapacity - block->Size();
        if (entry.crcFirst) {
            want = std::min(want, entry.expectedSize - read);
        }
        if (!FillBlock(fd, *block, size_t(want), entry.statSize, read)) {
            return DataPass::kReadFailed;
        }
        block->last = block->Size() <= DeflateBlock::kBlockSize;
        DeflateBlock* next = nullptr;
        if (block->last) {
            entry.total = read;
        } else {
            next = AcquireBlock();
            if (next == nullptr) {
                return DataPass::kWriteFailed;
            }
            next->ContinueFrom(*block);
        }
        m_pipeline->Submit(block);
        if (next == nullptr) {
            return DataPass::kDone;
        }
        if (stop.IsSet()) {
            return DataPass::kStopped;
        }
        block = next;
    }
}

bool ArchiveJob::QueueWhole(PendingEntry&& entry, const QByteArray& data) {
    DeflateBlock* block = AcquireBlock();
    if (block == nullptr) {
        return false;
    }
    block->StartFirst();
    block->last = true;
    std::memcpy(block->Data(), data.constData(), size_t(data.size()));
    block->SetSize(size_t(data.size()));
    entry.total = quint64(data.size());
    m_pending.push_back(std::move(entry));
    m_pipeline->Submit(block);
    return true;
}

DeflateBlock* ArchiveJob::AcquireBlock() {
    for (;;) {
        if (DeflateBlock* block = m_pipeline->FreeBlock()) {
            return block;
        }
        if (!m_pipeline->HasSubmitted() || !WriteOldest()) {
            return nullptr;
        }
    }
}

bool ArchiveJob::WriteOldest() {
    bool deflated = false;
    DeflateBlock* block = m_pipeline->WaitOldest(deflated);
    if (block == nullptr || !deflated) {
        return WriteFailed();
    }
    PendingEntry& entry = m_pending.front();
    const bool written =
        (!block->first || OpenEntry(entry)) && WriteToEntry(block->Output(), block->OutputSize());
    entry.crc = quint32(crc32_combine(entry.crc, block->Crc(), z_off_t(block->Size())));
    const bool last = block->last;
    m_pipeline->Release(block);
    if (!written || !last) {
        return written;
    }
    if (!EntryIsTheFile(entry)) {
        Log("  Error: file %s changed while it was archived",
            qUtf8Printable(FileNameForDisplay(entry.sourcePath)));
        return false;
    }
    if (!CloseEntry(entry.total, entry.crc)) {
        return false;
    }
    const quint64 index = entry.index;
    SetProgressPos(m_listSize > size_t(kMaxProgressBound)
                       ? int(index * kMaxProgressBound / m_listSize)
                       : int(index));
    m_pending.pop_front();
    return true;
}

// Shorter than its size said or than the CRC pass saw, or (traditional cipher) other
// bytes than the CRC pass saw, or grown past 4 GiB after it was opened as a small entry: the entry
// would not be the file.
bool ArchiveJob::EntryIsTheFile(const PendingEntry& entry) const {
    const bool shrank = entry.total < std::max(entry.statSize, entry.expectedSize);
    const bool differs = entry.crcFirst && entry.crc != entry.expectedCrc;
    const bool outgrew =
        !entry.zip64 && (entry.total >= kZip32Limit || m_entryCompressed >= kZip32Limit);
    return !shrank && !differs && !outgrew;
}

bool ArchiveJob::WriteEncryptionHeader(quint32 crc) {
    unsigned char header[ZipCrypto::kHeaderSize];
    unsigned char random[ZipCrypto::kHeaderSize - 1];
    RandomBytes(random, sizeof random);
    m_crypto->Restart();
    m_crypto->EncryptHeader(random, static_cast<unsigned char>(crc >> 24), header);
    return WriteRawToEntry(header, sizeof header);
}

bool ArchiveJob::WriteAesHeader() {
    if (!m_aesKeys) {
        m_aesKeys = std::make_unique<ZipAesKeyQueue>(m_password, ZipAes::kStrength256, m_threads);
    }
    ZipAesKeys keys;
    if (!m_aesKeys->Next(keys) || !m_aes->Start(keys)) {
        return CipherFailed();
    }
    unsigned char header[ZipAes::kMaxSaltSize + ZipAes::kVerifierSize];
    std::memcpy(header, keys.salt, ZipAes::kMaxSaltSize);
    std::memcpy(header + ZipAes::kMaxSaltSize, keys.verifier, ZipAes::kVerifierSize);
    return WriteRawToEntry(header, sizeof header);
}

void ArchiveJob::Overwrite(quint64 offset, const unsigned char* data, size_t size) {
    const quint64 position = m_output.position;
    m_output.position = offset;
    WriteOutput(nullptr, &m_output, data, uLong(size));
    m_output.position = position;
}

// A link goes in as zip -y stores it: S_IFLNK and its permission bits in the Unix half
// of the external attributes, the link's text as the entry's data. Its target is never
// read, so a link out of the tree, a dangling one or a loop is stored like any other.
bool ArchiveJob::AddLink(const ArchiveListEntry& entry, size_t index) {
    PendingEntry pending;
    if (!CheckName(entry, index, pending)) {
        return false;
    }
    QByteArray text;
    struct stat status = {};
    // A link's text is at most a path; one that fills a block is no link of this system.
    if (::lstat(FileNameToBytes(entry.sourcePath).constData(), &status) != 0 ||
        !S_ISLNK(status.st_mode) || !ReadLinkText(entry.sourcePath, text) ||
        size_t(text.size()) > DeflateBlock::kBlockSize) {
        Log("  Error: cannot add %s to zip", qUtf8Printable(FileNameForDisplay(entry.sourcePath)));
        return false;
    }
    pending.dosDateTime = DosDateTimeFromUnix(status.st_mtime);
    pending.attributes = quint32(S_IFLNK | (status.st_mode & 07777)) << 16;
    // With AES a link stays plain: its text is a path, kept as open as the entry names,
    // and archivers that read AES files (bsdtar) cannot read an encrypted link.
    pending.encrypted = m_crypto.has_value();
    pending.crcFirst = m_crypto.has_value();
    pending.expectedSize = quint64(text.size());
    pending.expectedCrc = quint32(crc32(
        crc32(0, Z_NULL, 0), reinterpret_cast<const Bytef*>(text.constData()), uInt(text.size())));
    return QueueWhole(std::move(pending), text);
}

bool ArchiveJob::OpenEntry(const PendingEntry& entry) {
    zip_fileinfo info = {};
    info.dosDate = entry.dosDateTime;
    info.external_fa = entry.attributes;
    m_entryEncrypted = entry.encrypted;
    m_entryStart = m_output.position;
    m_entryCompressed = 0;
    // Raw mode: the data arrives deflated (and encrypted) from us; the level only sets
    // the level bits of the flags. zip64 is asked only for an entry that may reach
    // 4 GiB: a ZIP64 field on a small entry makes some readers report a header error.
    // Bit 11 promises UTF-8; raw bytes of a name that is not UTF-8 go without it, for
    // readers to take as the bytes they are.
    const uLong nameFlag = entry.utf8Name ? kFlagUtf8Name : 0;
    // An AES entry (AE-2: no CRC) names its real method in its extra field.
    const bool aes = entry.encrypted && m_aes;
    const QByteArray extra =
        aes ? ZipAes::ExtraBlock(2, ZipAes::kStrength256, Z_DEFLATED) : QByteArray();
    const int result = zipOpenNewFileInZip4_64(
        m_zip, entry.name.constData(), &info, extra.constData(), uInt(extra.size()),
        extra.constData(), uInt(extra.size()), nullptr, Z_DEFLATED, m_level, 1, -MAX_WBITS,
        DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, kMadeByUnix20,
        nameFlag | (entry.encrypted ? kFlagEncrypted : 0), entry.zip64 ? 1 : 0);
    if (result != ZIP_OK) {
        return WriteFailed();
    }
    if (aes) {
        // minizip knows no method 99: the local header gets it here, the central
        // directory in CompleteDirectory.
        unsigned char method[2];
        Put16(method, ZipAes::kMethod);
        Overwrite(m_entryStart + 8, method, sizeof method);
        m_hasAesEntry = true;
        return WriteAesHeader();
    }
    return !entry.encrypted || WriteEncryptionHeader(entry.expectedCrc);
}

bool ArchiveJob::WriteToEntry(unsigned char* data, size_t size) {
    if (m_entryEncrypted && m_aes) {
        if (!m_aes->Encrypt(data, size)) {
            return CipherFailed();
        }
    } else if (m_entryEncrypted) {
        m_crypto->Encrypt(data, size);
    }
    return WriteRawToEntry(data, size);
}

bool ArchiveJob::WriteRawToEntry(const unsigned char* data, size_t size) {
    m_entryCompressed += size;
    if (zipWriteInFileInZip(m_zip, data, unsigned(size)) != ZIP_OK) {
        return WriteFailed();
    }
    return true;
}

bool ArchiveJob::CloseEntry(quint64 size, quint32 crc) {
    if (m_entryEncrypted && m_aes) {
        // The code ends the data; an AE-2 entry's CRC field stays 0.
        unsigned char mac[ZipAes::kMacSize];
        if (!m_aes->Mac(mac)) {
            return CipherFailed();
        }
        if (!WriteRawToEntry(mac, sizeof mac)) {
            return false;
        }
        crc = 0;
    }
    if (zipCloseFileInZipRaw64(m_zip, size, crc) != ZIP_OK) {
        return WriteFailed();
    }
    ++m_entryCount;
    // minizip marks an entry that needed ZIP64 fields as made by MS-DOS; see
    // CompleteDirectory.
    if (m_entryStart >= kZip32Limit || size >= kZip32Limit || m_entryCompressed >= kZip32Limit) {
        m_hasZip64Entry = true;
    }
    return true;
}

bool ArchiveJob::WriteFailed() {
    if (!m_writeErrorLogged) {
        m_writeErrorLogged = true;
        Log("  Error: cannot write file %s%s", qUtf8Printable(FileNameForDisplay(m_archivePath)),
            qUtf8Printable(OutputReason()));
    }
    return false;
}

// The cipher library failed (no random bytes, no memory): said once, like a write error.
bool ArchiveJob::CipherFailed() {
    if (!m_writeErrorLogged) {
        m_writeErrorLogged = true;
        Log("  Error: cannot encrypt file %s", qUtf8Printable(FileNameForDisplay(m_archivePath)));
    }
    return false;
}

QString ArchiveJob::OutputReason() const {
    return m_output.error != 0 ? QStringLiteral(": ") + qt_error_string(m_output.error) : QString();
}

void ArchiveJob::RandomBytes(unsigned char* out, size_t count) {
    while (count > 0) {
        if (m_randomLeft == 0) {
            const ssize_t got = ::getrandom(m_random, sizeof m_random, 0);
            if (got > 0) {
                m_randomLeft = size_t(got);
            } else {
                // No getrandom (old kernel, seccomp): the library's own source.
                std::random_device device;
                for (unsigned char& byte : m_random) {
                    byte = static_cast<unsigned char>(device());
                }
                m_randomLeft = sizeof m_random;
            }
        }
        const size_t take = std::min(count, m_randomLeft);
        std::memcpy(out, m_random + (sizeof m_random - m_randomLeft), take);
        m_randomLeft -= take;
        out += take;
        count -= take;
    }
}

// Debian's minizip 1.1 falls short in three places, mended here in the finished archive
// (which has no comment, so its end record is its last 22 bytes):
// - it writes the ZIP64 end records only for a central directory past 4 GiB, not for
//   more than 65,535 entries: the end record then says 65535 and readers miss the rest;
// - it sets "version made by" to 45 (host MS-DOS) in the central header of an entry that
//   needs ZIP64 fields, so readers ignore the entry's Unix mode;
// - it refuses method 99, so AES entries are opened as deflated and their central
//   headers get method 99 here (their local headers got it in OpenEntry).
bool ArchiveJob::CompleteDirectory(const QString& path) {
    FileDescriptor archive(::open(FileNameToBytes(path).constData(), O_RDWR | O_CLOEXEC));
    struct stat status = {};
    if (archive.Get() < 0 || ::fstat(archive.Get(), &status) != 0) {
        return WriteFailed();
    }
    const quint64 fileSize = quint64(status.st_size);
    unsigned char end[22];
    if (fileSize < sizeof end || !ReadAllAt(archive.Get(), end, sizeof end, fileSize - 22) ||
        Get32(end) != 0x06054b50u) {
        return WriteFailed();
    }
    const quint64 directorySize = Get32(end + 12);
    unsigned char locator[20];
    const bool hasZip64End = fileSize >= 22 + 20 &&
                             ReadAllAt(archive.Get(), locator, sizeof locator, fileSize - 42) &&
                             Get32(locator) == 0x07064b50u;
    if (!hasZip64End && (m_entryCount >= 0xFFFF || m_directoryOffset >= kZip32Limit)) {
        // ZIP64 end record, its locator, and the end record with saturated fields, in
        // place of the old end record right after the central directory.
        unsigned char records[56 + 20 + 22] = {};
        unsigned char* zip64End = records;
        Put32(zip64End, 0x06064b50u);
        Put64(zip64End + 4, 44);  // size of the rest of the record
        Put16(zip64End + 12, kMadeByUnixZip64);
        Put16(zip64End + 14, 45);
        Put64(zip64End + 24, m_entryCount);
        Put64(zip64End + 32, m_entryCount);
        Put64(zip64End + 40, directorySize);
        Put64(zip64End + 48, m_directoryOffset);
        unsigned char* zip64Locator = records + 56;
        Put32(zip64Locator, 0x07064b50u);
        Put64(zip64Locator + 8, m_directoryOffset + directorySize);
        Put32(zip64Locator + 16, 1);  // one disk
        unsigned char* newEnd = records + 56 + 20;
        Put32(newEnd, 0x06054b50u);
        Put16(newEnd + 8, std::min<quint64>(m_entryCount, 0xFFFF));
        Put16(newEnd + 10, std::min<quint64>(m_entryCount, 0xFFFF));
        Put32(newEnd + 12, directorySize);
        Put32(newEnd + 16, std::min(m_directoryOffset, kZip32Limit));
        if (!WriteAllAt(archive.Get(), records, sizeof records,
                        m_directoryOffset + directorySize)) {
            return WriteFailed();
        }
    }

    if (m_hasZip64Entry || m_hasAesEntry) {
        return MendCentralHeaders(archive.Get(), directorySize);
    }
    return true;
}

// Walks the central directory through one buffer: each header's fixed part is mended in
// memory and a buffer that changed is written back whole.
bool ArchiveJob::MendCentralHeaders(int fd, quint64 directorySize) {
    constexpr size_t kFixedSize = 46;
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kOutputBufferSize]);
    const quint64 directoryEnd = m_directoryOffset + directorySize;
    quint64 bufferStart = 0;
    size_t bufferLength = 0;
    bool changed = false;
    auto writeBack = [&] {
        return !changed || WriteAllAt(fd, buffer.get(), bufferLength, bufferStart);
    };
    quint64 offset = m_directoryOffset;
    for (quint64 i = 0; i < m_entryCount; ++i) {
        if (offset < bufferStart || offset + kFixedSize > bufferStart + bufferLength) {
            if (!writeBack() || offset + kFixedSize > directoryEnd) {
                return WriteFailed();
            }
            changed = false;
            bufferStart = offset;
            bufferLength = size_t(std::min<quint64>(kOutputBufferSize, directoryEnd - offset));
            if (!ReadAllAt(fd, buffer.get(), bufferLength, bufferStart)) {
                return WriteFailed();
            }
        }
        unsigned char* header = buffer.get() + (offset - bufferStart);
        if (Get32(header) != 0x02014b50u) {
            return WriteFailed();
        }
        if (Get16(header + 4) == 45) {
            Put16(header + 4, kMadeByUnixZip64);
            changed = true;
        }
        // Only AES entries are encrypted in an archive that has them.
        if (m_hasAesEntry && (Get16(header + 8) & kFlagEncrypted) != 0) {
            Put16(header + 10, ZipAes::kMethod);
            changed = true;
        }
        offset += kFixedSize + Get16(header + 28) + Get16(header + 30) + Get16(header + 32);
    }
    return writeBack() || WriteFailed();
}

}  // namespace

bool WriteArchive(const ArchiveList& list, const QString& archivePath, int level,
                  const QString& password, const StopSignal& stop, int threads,
                  ArchiveCipher cipher) {
    ArchiveJob job(level, password, cipher, threads);
    return job.Run(list, archivePath, stop);
}

bool FileCrc32(const QString& path, quint32& crc) {
    FileDescriptor source;
    struct stat status = {};
    if (!OpenRegularFile(path, source, status)) {
        return false;
    }
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kCrcBlockSize]);
    quint64 size = 0;
    return CrcOfRest(source.Get(), buffer.get(), crc, size);
}

QString TemporaryArchivePath(const QString& archivePath) {
    const qsizetype nameStart = archivePath.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = archivePath.lastIndexOf(QLatin1Char('.'));
    // A dot that starts the name marks a hidden file, not an extension.
    QString temp = dot > nameStart ? archivePath.left(dot) : archivePath;
    temp += QStringLiteral(".zi~");
    if (temp == archivePath) {
        temp += QLatin1Char('~');  // an archive that is itself named "*.zi~"
    }
    return temp;
}

}  // namespace corvane
