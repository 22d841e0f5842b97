#include "platform/UserVolumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <map>

namespace corvane {
namespace {

bool IsPseudoFileSystem(const QString& type) {
    static const QSet<QString> kTypes = {
        QStringLiteral("proc"),        QStringLiteral("sysfs"),
        QStringLiteral("cgroup"),      QStringLiteral("cgroup2"),
        QStringLiteral("devtmpfs"),    QStringLiteral("devpts"),
        QStringLiteral("tmpfs"),       QStringLiteral("ramfs"),
        QStringLiteral("securityfs"),  QStringLiteral("pstore"),
        QStringLiteral("bpf"),         QStringLiteral("debugfs"),
        QStringLiteral("tracefs"),     QStringLiteral("mqueue"),
        QStringLiteral("hugetlbfs"),   QStringLiteral("fusectl"),
        QStringLiteral("configfs"),    QStringLiteral("autofs"),
        QStringLiteral("binfmt_misc"), QStringLiteral("efivarfs"),
        QStringLiteral("nsfs"),        QStringLiteral("rpc_pipefs"),
        QStringLiteral("overlay"),     QStringLiteral("squashfs"),
        QStringLiteral("selinuxfs"),   QStringLiteral("fuse.portal"),
        QStringLiteral("fuse.lxcfs"),  QStringLiteral("fuse.gvfsd-fuse"),
    };
    return kTypes.contains(type);
}

bool IsNetworkFileSystem(const QString& type) {
    static const QSet<QString> kTypes = {
        QStringLiteral("nfs"),        QStringLiteral("nfs4"),  QStringLiteral("cifs"),
        QStringLiteral("smb3"),       QStringLiteral("smbfs"), QStringLiteral("sshfs"),
        QStringLiteral("fuse.sshfs"), QStringLiteral("9p"),
    };
    return kTypes.contains(type);
}

bool IsBelow(const QString& path, const QString& folder) {
    return path == folder || path.startsWith(folder + u'/');
}

bool IsBelowSystemFolder(const QString& path) {
    static const QStringList kFolders = {
        QStringLiteral("/proc"),
        QStringLiteral("/sys"),
        QStringLiteral("/dev"),
        QStringLiteral("/run"),
        QStringLiteral("/snap"),
        QStringLiteral("/boot"),
        QStringLiteral("/efi"),
        QStringLiteral("/var/lib/docker"),
        QStringLiteral("/var/lib/containers"),
        QStringLiteral("/var/lib/snapd"),
        QStringLiteral("/var/snap"),
    };
    // Removable media are mounted below /run/media by the desktop.
    if (IsBelow(path, QStringLiteral("/run/media"))) {
        return false;
    }
    return std::any_of(kFolders.begin(), kFolders.end(),
                       [&path](const QString& folder) { return IsBelow(path, folder); });
}

// udev names the label links with "\x20" for a blank and likewise for other bytes.
QString DecodeLabelLinkName(const QString& name) {
    const QByteArray bytes = QFile::encodeName(name);
    QByteArray decoded;
    decoded.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\\' && i + 3 < bytes.size() && bytes[i + 1] == 'x') {
            bool ok = false;
            const int value = bytes.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                decoded.append(static_cast<char>(value));
                i += 3;
                continue;
            }
        }
        decoded.append(bytes[i]);
    }
    return QString::fromUtf8(decoded);
}

QString FileSystemLabel(const QString& canonicalDevice, const QString& labelFolder) {
    if (canonicalDevice.isEmpty()) {
        return {};
    }
    const QDir folder(labelFolder);
    for (const QString& name :
         folder.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (QFileInfo(folder.filePath(name)).canonicalFilePath() == canonicalDevice) {
            return DecodeLabelLinkName(name);
        }
    }
    return {};
}

// The removable flag of the disk that holds the device: a partition ("sdb1", "nvme0n1p2",
// "mmcblk0p1") reads the flag of its disk ("sdb", "nvme0n1", "mmcblk0").
bool IsRemovableDevice(const QString& canonicalDevice, const QString& blockFolder) {
    const QString name = QFileInfo(canonicalDevice).fileName();
    if (name.isEmpty()) {
        return false;
    }
    static const QRegularExpression partitionSuffix(QStringLiteral("^p?[0-9]+$"));
    const QDir folder(blockFolder);
    for (const QString& disk : folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        if (name == disk ||
            (name.startsWith(disk) && partitionSuffix.match(name.mid(disk.size())).hasMatch())) {
            QFile flag(folder.filePath(disk + QStringLiteral("/removable")));
            return flag.open(QIODevice::ReadOnly) && flag.read(1) == "1";
        }
    }
    return false;
}

QString DriveTypeName(const MountPoint& mount, const QString& canonicalDevice,
                      const VolumeInfoFolders& folders) {
    if (IsNetworkFileSystem(mount.fileSystemType)) {
        return QStringLiteral("Network drive");
    }
    if (IsOpticalMount(mount)) {
        return QStringLiteral("DVD/CD");
    }
    if (QFileInfo(canonicalDevice).fileName().startsWith(QLatin1String("zram"))) {
        return QStringLiteral("RAM drive");
    }
    if (!mount.device.startsWith(u'/')) {
        return QStringLiteral("Unknown drive");
    }
    return IsRemovableDevice(canonicalDevice, folders.blockDevices)
               ? QStringLiteral("Removable drive")
               : QStringLiteral("Fixed drive");
}

}  // namespace

bool IsSystemMount(const MountPoint& mount) {
    return IsPseudoFileSystem(mount.fileSystemType) || IsBelowSystemFolder(mount.path);
}

std::vector<UserVolume> ListUserVolumes(const VolumeInfoFolders& folders) {
    // A map by mount point: sorted, and a later entry replaces an earlier one.
    std::map<QString, MountPoint> latest;
    for (const MountPoint& mount : ReadMountTable()) {
        latest[mount.path] = mount;
    }
    std::vector<UserVolume> volumes;
    for (const auto& [path, mount] : latest) {
        if (IsSystemMount(mount)) {
            continue;
        }
        const QString device =
            mount.device.startsWith(u'/') ? QFileInfo(mount.device).canonicalFilePath() : QString();
        UserVolume volume;
        volume.mount = mount;
        volume.label = FileSystemLabel(device, folders.labels);
        if (volume.label.isEmpty()) {
            volume.label = DriveTypeName(mount, device, folders);
        }
        volume.text = QStringLiteral("%1 (%2)").arg(volume.label, mount.path);
        volumes.push_back(volume);
    }
    return volumes;
}

}  // namespace corvane
