#include "engine/CdBurnArea.h"

#include "platform/DataFolder.h"
#include "platform/Volumes.h"

namespace corvane {

QString CdBurnArea() {
    return ResolveDataFolder() + QLatin1String("/cd-burn/");
}

bool IsCdDrivePath(const QString& path) {
    const std::optional<MountPoint> mount = MountPointOf(path);
    return mount && IsOpticalMount(*mount);
}

QString MapToCdBurnArea(const QString& path) {
    QString below = CleanAbsolutePath(path);
    const std::optional<MountPoint> mount = MountPointOf(path);
    const QString mountPath = mount ? mount->path : QStringLiteral("/");
    // MountPointOf answered for this same clean form, so the mount point is its prefix.
    below = mountPath == QLatin1String("/") ? below.mid(1) : below.mid(mountPath.size() + 1);
    QString mapped = CdBurnArea() + below;
    if (!below.isEmpty() && path.endsWith(QLatin1Char('/'))) {
        mapped += QLatin1Char('/');
    }
    return mapped;
}

}  // namespace corvane
