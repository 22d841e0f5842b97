#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <algorithm>

#include "platform/UserVolumes.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::TempDir;

// Each line of a mount table with the node text it gives, or nothing when the mount is
// left out. "%1" is a folder of fake devices.
struct MountCase {
    const char* line;
    const char* text;
};

const MountCase kCases[] = {
    {"%1/sda1 / ext4 rw 0 0", "Fixed drive (/)"},
    {"%1/nvme0n1p2 /media/ssd ext4 rw 0 0", "Removable drive (/media/ssd)"},
    {"%1/sdb1 /media/ann/stick vfat rw 0 0", "My Stick (/media/ann/stick)"},
    {"%1/sdc1 /run/media/ann/USB\\040disk ext4 rw 0 0",
     "Removable drive (/run/media/ann/USB disk)"},
    {"server:/export /mnt/nfs nfs4 rw 0 0", "Network drive (/mnt/nfs)"},
    {"%1/zram0 /mnt/scratch ext4 rw 0 0", "RAM drive (/mnt/scratch)"},
    {"/dev/sr0 /media/cd iso9660 ro 0 0", "DVD/CD (/media/cd)"},
    {"gvfs /mnt/odd fuseblk rw 0 0", "Unknown drive (/mnt/odd)"},
    {"tmpfs /mnt/x tmpfs rw 0 0", nullptr},  // hidden by the next entry
    {"%1/sda4 /mnt/x ext4 rw 0 0", "Fixed drive (/mnt/x)"},
    {"%1/sdd1 /mnt/data ext4 rw 0 0", nullptr},  // hidden by the next entry
    {"tmpfs /mnt/data tmpfs rw 0 0", nullptr},
    {"overlay /var/lib/docker/overlay2/a/merged overlay rw 0 0", nullptr},
    {"%1/loop3 /snap/core/123 squashfs ro 0 0", nullptr},
    {"%1/sda3 /run/mnt ext4 rw 0 0", nullptr},
};

TEST(UserVolumes, KeepsTheMountsOfUserDataWithLabelOrDriveType) {
    TempDir dir;
    for (const char* device :
         {"sda1", "sda3", "sda4", "sdb1", "sdc1", "sdd1", "nvme0n1p2", "zram0", "loop3"}) {
        dir.Write(QStringLiteral("dev/") + device, {});
    }
    dir.Write("block/sdb/removable", "1\n");
    dir.Write("block/sdc/removable", "1\n");
    dir.Write("block/nvme0n1/removable", "1\n");
    QDir().mkpath(dir.File("by-label"));
    ASSERT_TRUE(QFile::link(dir.File("dev/sdb1"), dir.File("by-label/My\\x20Stick")));
    QByteArray table;
    QStringList expected;
    for (const MountCase& mount : kCases) {
        table += QString::fromLatin1(mount.line).replace("%1", dir.File("dev")).toUtf8() + '\n';
        if (mount.text != nullptr) {
            expected << QString::fromLatin1(mount.text);
        }
    }
    SetMountTableFile(dir.Write("mounts", table));

    QStringList texts;
    QStringList mountPoints;
    for (const UserVolume& volume : ListUserVolumes({dir.File("by-label"), dir.File("block")})) {
        texts << volume.text;
        mountPoints << volume.mount.path;
    }
    SetMountTableFile(QString());
    EXPECT_TRUE(std::is_sorted(mountPoints.begin(), mountPoints.end()));
    texts.sort();
    expected.sort();
    EXPECT_EQ(texts, expected);
}

}  // namespace
}  // namespace corvane
