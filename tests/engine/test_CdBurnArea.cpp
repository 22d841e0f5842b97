#include <gtest/gtest.h>

#include <QFile>

#include "engine/CdBurnArea.h"
#include "model/FileName.h"
#include "platform/Volumes.h"
#include "support/LogCapture.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::TempDir;

// A mount table of our own and a data folder of our own for each test. The mount points
// lie below a temporary folder and need not exist; the kernel writes a blank as "\040".
const char kMounts[] =
    "/dev/sda1 / ext4 rw,relatime 0 0\n/dev/sr0 %1/cd iso9660 ro,nosuid,nodev 0 0\n"
    "/dev/sdb1 %1/cd/inner ext4 rw 0 0\n/dev/sdc1 %1/cdrom ext4 rw 0 0\n"
    "/dev/sr1 %1/dvd udf ro 0 0\n/dev/scd0 %1/old iso9660 ro 0 0\n"
    "/dev/cdrom %1/link iso9660 ro 0 0\n/dev/sdd1 %1/usb vfat rw 0 0\n"
    "/dev/loop3 %1/image iso9660 ro 0 0\n/dev/sde1 %1/tagged udf rw 0 0\n"
    "/dev/sr0 %1/with\\040space iso9660 ro 0 0\n/dev/sdf1 %1/stack ext4 rw 0 0\n"
    "/dev/sr2 %1/stack iso9660 ro 0 0\n/dev/sr3 %1/hidden iso9660 ro 0 0\n"
    "/dev/sdg1 %1/hidden ext4 rw 0 0\n/dev/sr12 %1/sr12 udf ro 0 0\n"
    "/dev/cdrom1 %1/cdrom1 udf ro 0 0\n/dev/sr0p1 %1/part iso9660 ro 0 0\n"
    "/dev/srx %1/srx iso9660 ro 0 0\nsr0 %1/bare iso9660 ro 0 0\n";

class CdStaging : public ::testing::Test {
  protected:
    void SetUp() override {
        SetMountTableFile(m_dir.Write("mounts", QString(kMounts).arg(m_root).toUtf8()));
    }
    void TearDown() override { SetMountTableFile(QString()); }

    QString Mnt(const QString& rest) const { return m_root + rest; }
    QString Area() const { return m_data + "/cd-burn/"; }

    TempDir m_dir;
    QString m_root = m_dir.File("mnt");
    QString m_data = m_dir.File("data");
    test::ScopedEnv m_home{"CORVANE_HOME", FileNameToBytes(m_data)};
};

TEST_F(CdStaging, TellsPathsOnAnOpticalDiscFromOthers) {
    // udf, /dev/scd*, /dev/cdrom*, /dev/srN are drives; a prefix of a name is no mount
    // point; the later of two mounts on one folder hides the earlier.
    for (const char* onDisc : {"/cd", "/cd/", "/cd/Backup/2005_03/", "/cd/Backup/2005_03",
                               "/cd/innerer/x", "/dvd/x", "/old/x", "/link/x", "/with space/a",
                               "/stack/a", "/sr12/a", "/cdrom1/a", "/usb/../cd/x", "//cd///x/./"}) {
        EXPECT_TRUE(IsCdDrivePath(Mnt(onDisc))) << onDisc;
    }
    // A disk mounted inside the disc's folder, an ISO image on a loop device, udf on a
    // hard disk, a partition or an odd name of a device: no drive.
    for (const char* elsewhere :
         {"/cd/inner", "/cd/inner/x/", "/cdrom/Backup", "/usb/Backup/", "/image/x", "/tagged/x",
          "/hidden/a", "/part/a", "/srx/a", "/bare/a", "/cd/../usb/x", ""}) {
        EXPECT_FALSE(IsCdDrivePath(Mnt(elsewhere))) << elsewhere;
    }
    EXPECT_FALSE(IsCdDrivePath(QString()) || IsCdDrivePath(QStringLiteral("/")));
}

TEST_F(CdStaging, MapsTheSamePlaceBelowTheStagingFolder) {
    // Each row: a path on a disc ">" the same place below the staging folder.
    for (const QString row :
         {"/cd/Backup/>Backup/", "/cd/B/Docs.TSK>B/Docs.TSK", "/cd/Backup>Backup", "/cd/>", "/cd>",
          "/cd//a/./b/>a/b/", "/with space/a b/>a b/", "/dvd/x/y/>x/y/"}) {
        EXPECT_EQ(MapToCdBurnArea(Mnt(row.section('>', 0, 0))), Area() + row.section('>', 1))
            << row.toStdString();
    }
}

TEST_F(CdStaging, WithoutARootEntryAPathOnNoMountIsNotOnADisc) {
    const QString table =
        "/dev/sr0 %1/cd iso9660 ro 0 0\ngarbage\n\n/dev/sr1 relative iso9660 ro 0 0\n";
    SetMountTableFile(m_dir.Write("mounts2", table.arg(m_root).toUtf8()));
    EXPECT_FALSE(MountPointOf(Mnt("/usb/x")));
    EXPECT_FALSE(IsCdDrivePath(Mnt("/usb/x")));
    EXPECT_FALSE(IsCdDrivePath(QStringLiteral("relative/x")));
    EXPECT_TRUE(IsCdDrivePath(Mnt("/cd/x")));
    EXPECT_EQ(ReadMountTable().size(), 1u);
    SetMountTableFile(m_dir.File("no-such-table"));
    EXPECT_TRUE(ReadMountTable().empty());
    EXPECT_FALSE(IsCdDrivePath(Mnt("/cd/x")));
}

// The kernel's table reports a size of 0: it must be read to its end all the same.
TEST_F(CdStaging, ReadsTheKernelTableAndDecodesItsEscapes) {
    SetMountTableFile(m_dir.Write("escaped",
                                  "/dev/sr0 /media/a\\040b\\011c\\134d\\012e iso9660 ro 0 0\n"
                                  "/dev/sr1 /media/\\04x iso9660 ro 0 0\n"));
    const std::vector<MountPoint> table = ReadMountTable();
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0].path, "/media/a b\tc\\d\ne");
    EXPECT_EQ(table[1].path, "/media/\\04x");  // not three octal digits: kept as it is
    SetMountTableFile(QStringLiteral("/proc/self/mounts"));
    EXPECT_EQ(MountPointOf("/").value_or(MountPoint{}).path, "/");
}

}  // namespace
}  // namespace corvane
