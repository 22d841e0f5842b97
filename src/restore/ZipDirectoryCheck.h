#pragma once

// The structure of a ZIP archive, checked before anything of it is restored, as strictly
// as `unzip -t` checks it: the end record (ZIP64 too) and the central directory must
// agree on the number of entries; every entry's local header must carry the directory's
// name bytes and, unless flag bit 3 defers them to a data descriptor, its CRC and sizes;
// no two entries' records (header and data) may overlap, and no data may run into the
// central directory. Bytes before the archive (a self-extracting stub) are allowed.
//
// Entries that repeat an earlier entry's name (as decoded, see ZipNameText.h) are
// marked, so that a restore can take the first copy and say so.
//
// Reads headers only, through buffers of fixed size (no entry data); the offsets of the
// records are kept for the overlap test, 24 bytes per entry, and where each entry's data
// starts, 8 bytes. Pure: keeps no state.

#include <QString>
#include <QtGlobal>
#include <vector>

namespace corvane {

struct ZipDirectoryCheck {
    QString damage;                  // empty when the structure is sound; else what is wrong
    std::vector<bool> repeated;      // per directory entry in order: an earlier one has its name
    std::vector<quint64> dataStart;  // per entry: the file offset of its first stored byte
};

// Checks the archive open on `fd`, a file of `fileSize` bytes.
ZipDirectoryCheck CheckZipDirectory(int fd, quint64 fileSize);

}  // namespace corvane
