#pragma once

// The mounted volumes of the machine, read from the kernel's mount table. This is
// where the program learns whether a path lies on an optical disc (a CD or DVD drive
// in the destination) and below which mount point.
//
// The table is read afresh on every call, so a disc inserted or removed while the
// program runs is seen at the next call. Any thread may call these functions; the
// table file can be replaced for tests (SetMountTableFile, or $CORVANE_MOUNTS), which
// is done before other threads start.

#include <QString>
#include <optional>
#include <vector>

namespace corvane {

struct MountPoint {
    QString device;          // first field of the table: "/dev/sr0", "tmpfs", ...
    QString path;            // the mount point, absolute, no trailing "/" except for "/"
    QString fileSystemType;  // "iso9660", "udf", "ext4", ...

    bool operator==(const MountPoint&) const = default;
};

// The table file read by the functions below: the file set by SetMountTableFile when
// not empty, else $CORVANE_MOUNTS when set, else /proc/self/mounts.
QString MountTableFile();
// Replaces the table file (an empty path restores the default choice).
void SetMountTableFile(const QString& path);

// The entries of the table in file order, with the octal escapes of the kernel
// ("\040" for a blank) decoded. Empty when the table cannot be read.
std::vector<MountPoint> ReadMountTable();

// The form in which paths are compared with mount points: absolute (relative paths are
// taken from the current folder), without ".", ".." or empty components, without a
// trailing "/" except for "/" itself. Symbolic links are not followed.
QString CleanAbsolutePath(const QString& path);

// The mount that holds `path`: the entry whose mount point is the longest whole-
// component prefix of CleanAbsolutePath(path) ("/media/cd" holds
// "/media/cd/x" but not "/media/cdrom"); of two entries with the same mount point the
// later one, which hides the earlier. Nothing for an empty path or when no entry holds
// it. The path need not exist; symbolic links in it are not followed.
std::optional<MountPoint> MountPointOf(const QString& path);

// True for a file system of an optical disc (iso9660 or udf) on a CD device (/dev/sr*,
// /dev/scd*, /dev/cdrom*, also when the device is a link to one of those).
bool IsOpticalMount(const MountPoint& mount);

}  // namespace corvane
