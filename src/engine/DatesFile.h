#pragma once

// The dates file of an FTP copy: the times and sizes of the uploaded files, which the
// transfer itself loses, so that a restore can put the times back and a compare can
// judge the files. doc/formats/dates-file.md gives the bytes.
//
// A sequence of 552-byte little-endian records without header:
//   0   520  name: UTF-16 of at most 259 code units, a NUL, zero bytes after it
//   520   8  creation time    (file time: 100 ns units since 1601-01-01 UTC)
//   528   8  last-access time
//   536   8  last-write time
//   544   4  size, low 32 bits
//   548   4  size, high 32 bits
// A blank record (empty name, all else zero) stands for a listed file that could not
// be read.
//
// Functions only; any thread may call them on its own records and files.

#include <QString>
#include <QtGlobal>
#include <vector>

namespace corvane {

inline constexpr int kDatesRecordSize = 552;
// Longest name a record holds, in UTF-16 code units (a NUL follows it).
inline constexpr int kDatesNameMaxUnits = 259;

struct DatesRecord {
    QString name;
    quint64 creationTime = 0, accessTime = 0, writeTime = 0;
    quint64 size = 0;

    bool operator==(const DatesRecord&) const = default;
};

// File time of a Unix time; 0 for times before 1601, the largest value for times
// beyond what 64 bits hold.
quint64 UnixToFileTime(qint64 seconds, qint64 nanoseconds);
// Whole Unix seconds of a file time (rounded down).
qint64 FileTimeToUnixSeconds(quint64 fileTime);

// Fills `record` with the times and the 64-bit size of the local file (a link to a
// regular file gives that file's) and `remoteName`. The creation time is the birth
// time where the file system keeps one, else the change time. Answers false, with a
// warning line and `record` unchanged, when the name has more than 259 UTF-16 units
// (a name is never cut) or it is no regular file that can be opened for reading.
bool DatesRecordFromFile(const QString& localPath, const QString& remoteName, DatesRecord& record);

// The 552 bytes of a record. Precondition: the name fits (at most 259 units).
QByteArray EncodeDatesRecord(const DatesRecord& record);
// The record of 552 bytes. The name ends at its first NUL, or at the end of the field
// when a damaged record has none.
DatesRecord DecodeDatesRecord(const char* bytes);

// Writes the records in order, replacing the file atomically (a temporary file beside
// it, renamed when complete). Answers false with an error line when a name does not
// fit (nothing is written then) or the file cannot be written.
bool WriteDatesFile(const QString& path, const std::vector<DatesRecord>& records);

// Replaces `records` with the whole records of the file, in order; a cut record at
// the end (a size that is no multiple of 552) is ignored. Reads through a fixed
// buffer. Answers false, `records` empty, when the file cannot be opened or read.
bool ReadDatesFile(const QString& path, std::vector<DatesRecord>& records);

}  // namespace corvane
