#pragma once

// Settings keys as REGEDIT4 text files: the export a backup stores as "<name>.reg" and the
// import a restore reads back (platform/Registry.h is the tree they come from and go to).
//
// The file: "REGEDIT4", an empty line, then per key "[HIVE\path]", one line per value and
// an empty line; every line ended by CR LF, text in UTF-8. Value lines:
//   "name"="text"          a string ("\" and '"' escaped with "\")
//   "name"=dword:0000000a  a double word, 8 lower-case hex digits
//   "name"=hex:01,02,...   binary; hex(2): expandable string; hex(7): multi-string
//   @=...                  the key's default value
// Byte lists break after every 25th byte of the first line and 24th of the next ones
// with "\", CR LF and two blanks.
//
// Operations answer bool, log their reason where it happens, and leave an errno value
// for LastRegistryFileError() of the calling thread:
//   0        success
//   EBADMSG  the file is not in the format (the line number is logged)
//   EINVAL   an empty path, an unknown hive, a value name together with `recursive`
//   ENOMEM   a buffer could not be had
//   other    the registry's reason (platform/Registry.h) or the file system's

#include <QString>
#include <optional>

#include "platform/Registry.h"

namespace corvane {

// The error of the last export or import on this thread.
int LastRegistryFileError();

// Exports the key `keyPath` ("HKEY_CURRENT_USER\a\b") with its values and every sub-key,
// with the header, into `filePath`.
bool ExportRegistryItem(const QString& keyPath, const QString& filePath);

// Exports one value (`valueName` given, "" being the default value: the key line and the
// value line) or the key with its values and, when `recursive`, all its sub-keys. The file is made
// new, replacing one that exists; a failed export leaves no file behind. Sub-keys that cannot be
// opened for lack of access are left out without failing the export.
bool ExportKey(RegistryHive hive, const QString& subKey, const std::optional<QString>& valueName,
               bool recursive, const QString& filePath, bool header);

// Reads a REGEDIT4 file into the registry. Stops at the first error; what was written
// before it stays written.
bool ImportRegFile(const QString& filePath);

}  // namespace corvane
