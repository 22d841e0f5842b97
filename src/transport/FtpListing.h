#pragma once

// Reading the lines of FTP folder listings: MLSD lines ("type=dir;size=0; name") and
// the LIST lines of Unix servers ("drwxr-xr-x 2 u g 4096 Jan 1 12:00 name") and of DOS
// style servers ("01-02-20  10:00AM  <DIR>  name").
//
// A name from a server is used as a path component on this computer later, so only a
// name that names one entry inside the listed folder is accepted: never empty, ".",
// "..", nor holding "/", "\" (read as "/" everywhere in this program) or a control
// character.
//
// Pure functions; any thread may call them.

#include <QString>

namespace corvane {

enum class FtpListingLine {
    kFile,     // a file (a symbolic link counts as a file)
    kFolder,   // a sub-folder
    kIgnored,  // no entry: "." and "..", a "total" line, a device, an unreadable line
    kRefused,  // an entry whose name cannot be used safely
};

// True when a name from a listing may be used as one path component.
bool IsUsableListingName(const QString& name);

// Reads one MLSD line (without its line end); `name` is set for kFile and kFolder.
FtpListingLine ParseMlsdLine(const QString& line, QString& name);

// Reads one LIST line in Unix or DOS form (without its line end); `name` is set for
// kFile and kFolder. A symbolic link "a -> b" yields the name "a".
FtpListingLine ParseListLine(const QString& line, QString& name);

}  // namespace corvane
