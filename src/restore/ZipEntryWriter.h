#pragma once

// Writes the data of one ZIP entry, found beforehand by a ZipReader, from the archive's
// descriptor: read by position (pread), so several writers may share one descriptor and
// run on their own threads while the reader walks on. The reader's thread alone touches
// minizip; a writer needs only the entry's directory values and where its data starts.
//
// A file goes to a temporary beside its name and replaces it only once its length and
// CRC proved right (see ZipReader::ExtractTo for the rules a restored file follows).
// One writer holds one decoder and one read buffer, reused for every entry: it belongs
// to one thread.

#include <sys/types.h>

#include <QByteArray>
#include <QString>
#include <memory>

#include "restore/ZipEntryDecoder.h"
#include "restore/ZipReader.h"

namespace corvane {

class RestoreTarget;

// One entry as a writer needs it.
struct ZipEntryData {
    ZipEntryInfo info;
    quint64 start = 0;  // the first stored byte, after the local header
};

// The permission bits of an entry made on Unix whose type is `type` (or left unset);
// 0 for other entries.
mode_t ZipUnixPermissions(const ZipEntryInfo& info, mode_t type);

class ZipEntryWriter {
  public:
    ZipEntryWriter();
    ~ZipEntryWriter();
    ZipEntryWriter(const ZipEntryWriter&) = delete;
    ZipEntryWriter& operator=(const ZipEntryWriter&) = delete;

    // Writes the file entry at `relative` below the target, with its time and Unix
    // permission bits. A failure is logged ("  ..." lines), except when the target's
    // stop cut the file short: its temporary is removed then, and nothing is said.
    [[nodiscard]] bool WriteFile(int archiveFd, const ZipEntryData& entry,
                                 const QByteArray& password, RestoreTarget& target,
                                 const QString& relative);
    // The content of a link entry: its target's bytes. A failure is logged.
    [[nodiscard]] bool ReadLink(int archiveFd, const ZipEntryData& entry,
                                const QByteArray& password, QByteArray& linkTarget);
    // After a failure: whether a wrong or missing password may be the cause.
    bool PasswordMayBeWrong() const { return m_passwordMayBeWrong; }

  private:
    bool Decode(int archiveFd, const ZipEntryData& entry, const QByteArray& password,
                const ZipEntryDecoder::Sink& sink, int& writeError, QString& reason);

    ZipEntryDecoder m_decoder;
    std::unique_ptr<unsigned char[]> m_readBuffer;  // made on the first entry
    bool m_passwordMayBeWrong = false;
};

}  // namespace corvane
