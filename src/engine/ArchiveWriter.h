#pragma once

// The archive step of a ZIP run: packs the pending archive list into one ZIP archive.
//
// Entries are written in list order with UTF-8 names ("/" separators, general-purpose
// flag bit 11; a name that is not UTF-8, see model/FileName.h, goes in as its exact
// bytes without bit 11), "version made by" Unix, deflate at the run's level, the local DOS time
// of the source's modification time and the Unix mode in the external attributes.
// With a password every file entry carries the traditional PKWARE encryption; folder
// entries never do. Archives past 4 GiB or with more than 65,535 entries are ZIP64.
//
// The archive is built under its temporary name (TemporaryArchivePath) and renamed onto
// the final path only when every entry went in; a failed or stopped archive removes the
// temporary file and leaves an older archive of the final name as it was. Every failure
// is logged where it happens.
//
// Memory stays flat whatever the sizes: one 65535-byte read buffer, one 128 KiB buffer,
// one compressor and one output buffer per call, reused for every entry.
//
// Called on the worker thread of a run; no shared state, so calls on several threads
// for different archives do not disturb each other (the log aside).

#include <QString>
#include <QtGlobal>

#include "engine/ArchiveList.h"
#include "engine/StopSignal.h"

namespace corvane {

// Packs the list into the archive: entries in list order, written under the temporary
// name (extension replaced by ".zi~") and renamed onto archivePath only when complete.
// A name ending in "/" is a folder entry taken from the folder at its source path; an
// entry added with ArchiveList::AddLink is a symbolic link entry (mode 0120777 in the
// Unix half of the external attributes, the link's text as data, as zip -y writes it).
// `level` is the deflate level 0..9; any other value is taken as 9. An empty password
// means no encryption. The folder of archivePath must exist. Polls `stop` after every
// entry: a stop ends the archive after the current entry and answers false.
bool WriteArchive(const ArchiveList& list, const QString& archivePath, int level,
                  const QString& password, const StopSignal& stop);

// The CRC-32 of a whole regular file, read in 128 KiB blocks; false when the file cannot
// be opened or read to its end (nothing is logged).
bool FileCrc32(const QString& path, quint32& crc);

// Where an archive is built before it is renamed into place: the path with the
// extension of its file name replaced by ".zi~" ("a/b.zip" -> "a/b.zi~"; a name
// without extension, or one that only starts with a dot, gets ".zi~" appended). Never
// the archive path itself.
QString TemporaryArchivePath(const QString& archivePath);

}  // namespace corvane
