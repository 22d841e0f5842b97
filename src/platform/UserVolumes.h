#pragma once

// The mounted file systems a person would back up: the drives of the source tree. Out
// of the mount table (platform/Volumes.h) go the kernel's pseudo file systems, memory
// file systems, container layers and snaps, and everything mounted below the system's
// own folders (/proc, /sys, /dev, /run except /run/media, /boot, /snap, ...). "/"
// itself stays.
//
// Pure reading: any thread may call ListUserVolumes; the folders it looks into are
// parameters so that tests give their own.

#include <QString>
#include <vector>

#include "platform/Volumes.h"

namespace corvane {

// Where the names of file systems and the removable flags of disks are read.
struct VolumeInfoFolders {
    QString labels = QStringLiteral("/dev/disk/by-label");  // links named by the label
    QString blockDevices = QStringLiteral("/sys/block");    // <disk>/removable holds "1"
};

struct UserVolume {
    MountPoint mount;
    // The file system's label, else the kind of drive ("Fixed drive", "Removable drive",
    // "Network drive", "DVD/CD", "RAM drive", "Unknown drive").
    QString label;
    // "%s (%s)" of label and mount point, as the tree shows it.
    QString text;
};

// True for a mount that holds no user data: a pseudo or memory file system, a
// container layer or snap, or a mount point below a system folder.
bool IsSystemMount(const MountPoint& mount);

// The drives of the source tree, sorted by mount point. A mount point mounted twice
// counts once, with its later entry (which hides the earlier one), so a system file
// system mounted over a user's one removes it.
std::vector<UserVolume> ListUserVolumes(const VolumeInfoFolders& folders = {});

}  // namespace corvane
