#pragma once

// Reading ZIP archives: ours and those of other tools, ZIP64 included. A thin layer over
// minizip's unzip calls: minizip walks the central directory, the directory check (see
// ZipDirectoryCheck.h) finds each entry's data; decryption (the traditional cipher and
// AES: Debian's minizip decrypts neither), inflate and the CRC check are ours. The 64-bit sizes and
// offsets of ZIP64 entries are taken from their extra field, which Debian's minizip fails to read
// on 64-bit systems.
//
// Entry names come back with "/" separators whatever the archive used ("\" is turned
// into "/"); see ZipNameText.h for how the bytes become text (names made on Unix keep
// their exact bytes). A name that is absolute or holds a ".." component is never
// written: Extract refuses it. Nothing is written through a symbolic link (see
// RestoreTarget.h).
//
// Open refuses a damaged archive (see ZipDirectoryCheck.h): nothing of it is listed or
// restored. Walking the entries (First, Next, Info, Count) reads only the central
// directory; entry data is read by Extract alone. Open and the walk log nothing (the
// caller says what a missing archive means to it; OpenFailure says why); Extract logs
// the reason of every failure.
//
// One reader belongs to one thread. The data of a file entry may be written on other
// threads: PrepareExtract does the reader's part, a ZipEntryWriter the rest.

#include <QString>
#include <QtGlobal>
#include <memory>

#include "restore/SafePath.h"

namespace corvane {

class RestoreTarget;
struct ZipEntryData;

struct ZipEntryInfo {
    QString name;             // "/" separators; a folder entry ends in "/"
    quint32 dosDateTime = 0;  // DOS date (high 16 bits) and time (low 16 bits)
    qint64 time = 0;          // the DOS date and time as local time, seconds since the epoch;
                              // -1 when the fields are no valid date
    quint64 compressedSize = 0;
    quint64 uncompressedSize = 0;
    quint32 crc = 0;
    bool encrypted = false;
    bool isFolder = false;
    quint16 method = 0;              // 0 stored, 8 deflated; others are not extracted
                                     // (an AES entry: the method inside its encryption)
    quint8 aesVersion = 0;           // an AES entry: 1 (AE-1) or 2 (AE-2); else 0
    quint8 aesStrength = 0;          // an AES entry: 1..3 (AES-128, -192, -256)
    quint16 flags = 0;               // the general-purpose bit flag
    quint16 versionMadeBy = 0;       // host id in the high byte (3 = Unix)
    quint32 externalAttributes = 0;  // Unix mode in the high 16 bits when made on Unix
    bool isSymlink = false;          // made on Unix with the link type: the data is the target
    bool repeated = false;           // an earlier entry has the same name
};

class ZipReader {
  public:
    ZipReader();
    ~ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    // Opens the archive (ZIP64 too), closing any archive opened before; false when the
    // file is missing, no ZIP archive or damaged. No entry is current until First.
    [[nodiscard]] bool Open(const QString& path);
    // Why the last Open failed, for the log.
    QString OpenFailure() const;
    void Close();
    bool IsOpen() const;
    // The archive's base name without extension (as opened).
    QString BaseName() const;

    // Number of entries; 0 when not open.
    quint64 Count() const;
    // Move to the first / next entry; with a non-empty extension (e.g. "vcf"), entries
    // whose name does not end in "." and that extension (any case) are skipped. False
    // at the end.
    bool First(const QString& extension = QString());
    bool Next(const QString& extension = QString());
    // The current entry.
    const ZipEntryInfo& Info() const;

    // Writes the current entry at `relative` below the target (folders made as needed,
    // none followed if it is a link). A folder entry only makes its folder; a symbolic
    // link entry becomes a link when its target stays inside the target (else it is
    // refused). The data goes to a temporary file beside the file and replaces it only
    // when complete and its CRC checked, so a wrong password or damaged data never
    // creates or truncates the live file; an empty entry gives an empty file. The file
    // gets the entry's time (modification and access) and, for an entry made on Unix,
    // its permission bits (always readable and writable by the owner); a folder entry
    // made on Unix leaves its bits and time with the target's FinishFolders. Stored (0) and
    // deflated (8) entries are extracted, encrypted or not; the password is used only
    // for encrypted entries (traditional or AES; AES data is authenticated before the
    // file is renamed into place). An unsafe name or `relative` (and a last component that is
    // empty, "." or "..") is refused with "  Error: unsafe path '%s' skipped" before
    // anything is written. Answers false on any failure (logged); false also when there
    // is no current entry.
    [[nodiscard]] bool ExtractTo(RestoreTarget& target, const QString& relative,
                                 const QString& password);
    // ExtractTo in two halves. This one does everything but write a regular file's data
    // (the checks, a folder entry, a link entry, the file's folder, where its data
    // starts): kFile leaves `data` for ZipEntryWriter::WriteFile on any thread with
    // ArchiveFd, which must stay open until it is done.
    enum class Prepared { kDone, kFailed, kFile };
    [[nodiscard]] Prepared PrepareExtract(RestoreTarget& target, const QString& relative,
                                          const QString& password, ZipEntryData& data);
    // The archive's descriptor, read by position only; -1 when not open.
    int ArchiveFd() const;
    // ExtractTo with `folder` as the target: the entry under its whole name, or with
    // `flatten` under the part after its last "/".
    [[nodiscard]] bool Extract(const QString& folder, bool flatten, const QString& password);
    // After a failed extraction: whether a wrong or missing password may be the cause
    // (an encrypted entry whose check byte, verifier, data, code or CRC did not match).
    bool PasswordMayBeWrong() const;

  private:
    struct State;
    std::unique_ptr<State> m_state;
};

}  // namespace corvane
