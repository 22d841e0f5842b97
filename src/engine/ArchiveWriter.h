#pragma once

// The archive step of a ZIP run: packs the pending archive list into one ZIP archive.
//
// Entries are written in list order with UTF-8 names ("/" separators, general-purpose
// flag bit 11; a name that is not UTF-8, see model/FileName.h, goes in as its exact
// bytes without bit 11), "version made by" Unix, deflate at the run's level, the local DOS time
// of the source's modification time and the Unix mode in the external attributes.
// With a password every file entry is encrypted, with AES-256 (method 99, AE-2: the
// CRC field is 0, a code authenticates the data; see engine/ZipAes.h) or with the
// traditional PKWARE cipher, which encrypts link entries too; folder entries never are. Archives
// past 4 GiB or with more than 65,535 entries are ZIP64.
//
// The archive is built under its temporary name (TemporaryArchivePath) and renamed onto
// the final path only when every entry went in; a failed or stopped archive removes the
// temporary file and leaves an older archive of the final name as it was. Every failure
// is logged where it happens.
//
// Entry data is deflated in blocks of 128 KiB on `threads` worker threads (each block
// primed with the 32 KiB before it, so the compression stays close to one stream) and
// written in list order by the calling thread, which also reads the sources. The
// archive holds the same bytes whatever the thread count (with a password: the same
// content behind fresh random cipher headers). Memory stays flat whatever the sizes: a
// fixed number of blocks in flight and one compressor per thread.
//
// Called on the worker thread of a run; no shared state, so calls on several threads
// for different archives do not disturb each other (the log aside).

#include <QString>
#include <QtGlobal>

#include "engine/ArchiveList.h"
#include "engine/StopSignal.h"
#include "model/TaskRecord.h"

namespace corvane {

// Packs the list into the archive: entries in list order, written under the temporary
// name (extension replaced by ".zi~") and renamed onto archivePath only when complete.
// A name ending in "/" is a folder entry taken from the folder at its source path; an
// entry added with ArchiveList::AddLink is a symbolic link entry (mode 0120777 in the
// Unix half of the external attributes, the link's text as data, as zip -y writes it).
// `level` is the deflate level 0..9; any other value is taken as 9. An empty password
// means no encryption. The folder of archivePath must exist. Polls `stop` after every
// block read: a stop ends the archive, every worker after the block it holds, and
// answers false. `threads` 0 takes ArchiveThreads() (engine/ArchiveThreads.h); 1
// deflates on the calling thread. `cipher` chooses the encryption a password gets.
bool WriteArchive(const ArchiveList& list, const QString& archivePath, int level,
                  const QString& password, const StopSignal& stop, int threads = 0,
                  ArchiveCipher cipher = kCipherTraditional);

// The CRC-32 of a whole regular file, read in 128 KiB blocks; false when the file cannot
// be opened or read to its end (nothing is logged).
bool FileCrc32(const QString& path, quint32& crc);

// Where an archive is built before it is renamed into place: the path with the
// extension of its file name replaced by ".zi~" ("a/b.zip" -> "a/b.zi~"; a name
// without extension, or one that only starts with a dot, gets ".zi~" appended). Never
// the archive path itself.
QString TemporaryArchivePath(const QString& archivePath);

}  // namespace corvane
