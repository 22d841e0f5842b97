#include <gtest/gtest.h>

#include <QFile>

#include "engine/CdBurnArea.h"
#include "engine/NetworkConnection.h"
#include "model/FileName.h"
#include "platform/Volumes.h"
#include "support/LogCapture.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace corvane {
namespace {

using test::TempDir;

// A mount table of our own and a data folder of our own for each test. The mount
// points lie below a temporary folder; they need not exist.
class CdStaging : public ::testing::Test {
  protected:
    void SetUp() override {
        m_root = m_dir.File("mnt");
        // The kernel writes a blank in a mount point as "\040".
        const QString table = QStringLiteral(
                                  "/dev/sda1 / ext4 rw,relatime 0 0\n"
                                  "/dev/sr0 %1/cd iso9660 ro,nosuid,nodev 0 0\n"
                                  "/dev/sdb1 %1/cd/inner ext4 rw 0 0\n"
                                  "/dev/sdc1 %1/cdrom ext4 rw 0 0\n"
                                  "/dev/sr1 %1/dvd udf ro 0 0\n"
                                  "/dev/scd0 %1/old iso9660 ro 0 0\n"
                                  "/dev/cdrom %1/link iso9660 ro 0 0\n"
                                  "/dev/sdd1 %1/usb vfat rw 0 0\n"
                                  "/dev/loop3 %1/image iso9660 ro 0 0\n"
                                  "/dev/sde1 %1/tagged udf rw 0 0\n"
                                  "/dev/sr0 %1/with\\040space iso9660 ro 0 0\n"
                                  "/dev/sdf1 %1/stack ext4 rw 0 0\n"
                                  "/dev/sr2 %1/stack iso9660 ro 0 0\n"
                                  "/dev/sr3 %1/hidden iso9660 ro 0 0\n"
                                  "/dev/sdg1 %1/hidden ext4 rw 0 0\n"
                                  "/dev/sr12 %1/sr12 udf ro 0 0\n"
                                  "/dev/cdrom1 %1/cdrom1 udf ro 0 0\n"
                                  "/dev/sr0p1 %1/part iso9660 ro 0 0\n"
                                  "/dev/srx %1/srx iso9660 ro 0 0\n"
                                  "sr0 %1/bare iso9660 ro 0 0\n")
                                  .arg(m_root);
        SetMountTableFile(m_dir.Write("mounts", table.toUtf8()));
    }
    void TearDown() override { SetMountTableFile(QString()); }

    QString Mnt(const QString& rest) const { return m_root + rest; }
    QString Area() const { return m_data + "/cd-burn/"; }

    TempDir m_dir;
    QString m_root;
    QString m_data = m_dir.File("data");
    test::ScopedEnv m_home{"CORVANE_HOME", FileNameToBytes(m_data)};
};

TEST_F(CdStaging, TellsPathsOnAnOpticalDiscFromOthers) {
    const struct {
        QString path;
        bool onDisc;
    } cases[] = {
        {QString(), false},
        {Mnt("/cd"), true},
        {Mnt("/cd/"), true},
        {Mnt("/cd/Backup/2005_03/"), true},
        {Mnt("/cd/Backup/2005_03"), true},
        {Mnt("/cd/inner"), false},  // a disk mounted inside the disc's folder
        {Mnt("/cd/inner/x/"), false},
        {Mnt("/cd/innerer/x"), true},  // a prefix of a name is no mount point
        {Mnt("/cdrom/Backup"), false},
        {Mnt("/dvd/x"), true},   // udf
        {Mnt("/old/x"), true},   // /dev/scd*
        {Mnt("/link/x"), true},  // /dev/cdrom
        {Mnt("/usb/Backup/"), false},
        {Mnt("/image/x"), false},   // an ISO image on a loop device is no drive
        {Mnt("/tagged/x"), false},  // udf on a hard disk
        {Mnt("/with space/a"), true},
        {Mnt("/stack/a"), true},    // the later mount hides the earlier one
        {Mnt("/hidden/a"), false},  // ... either way round
        {Mnt("/sr12/a"), true},
        {Mnt("/cdrom1/a"), true},
        {Mnt("/part/a"), false},  // only whole devices are drives
        {Mnt("/srx/a"), false},
        {Mnt("/bare/a"), false},
        {Mnt("/cd/../usb/x"), false},
        {Mnt("/usb/../cd/x"), true},
        {Mnt("//cd///x/./"), true},
        {m_root, false},
        {QStringLiteral("/"), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsCdDrivePath(c.path), c.onDisc) << c.path.toStdString();
    }
}

TEST_F(CdStaging, MapsTheSamePlaceBelowTheStagingFolder) {
    const struct {
        QString path;
        QString mapped;
    } cases[] = {
        {Mnt("/cd/Backup/2005_03/"), Area() + "Backup/2005_03/"},
        {Mnt("/cd/Backup/2005_03/Docs.TSK"), Area() + "Backup/2005_03/Docs.TSK"},
        {Mnt("/cd/Backup"), Area() + "Backup"},
        {Mnt("/cd/"), Area()},
        {Mnt("/cd"), Area()},
        {Mnt("/cd//a/./b/"), Area() + "a/b/"},
        {Mnt("/with space/a b/"), Area() + "a b/"},
        {Mnt("/dvd/x/y/"), Area() + "x/y/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MapToCdBurnArea(c.path), c.mapped) << c.path.toStdString();
    }
}

TEST_F(CdStaging, MountPointOfGivesTheEntryThatHoldsThePath) {
    const std::optional<MountPoint> mount = MountPointOf(Mnt("/with space/deep/file"));
    ASSERT_TRUE(mount);
    EXPECT_EQ(*mount, (MountPoint{"/dev/sr0", Mnt("/with space"), "iso9660"}));
    EXPECT_EQ(MountPointOf(Mnt("/cdrom"))->device, "/dev/sdc1");
    EXPECT_EQ(MountPointOf(Mnt("/elsewhere"))->path, "/");
    EXPECT_FALSE(MountPointOf(QString()));
}

TEST_F(CdStaging, WithoutARootEntryAPathOnNoMountIsNotOnADisc) {
    SetMountTableFile(m_dir.Write("mounts2", QStringLiteral("/dev/sr0 %1/cd iso9660 ro 0 0\n"
                                                            "garbage\n"
                                                            "\n"
                                                            "/dev/sr1 relative iso9660 ro 0 0\n")
                                                 .arg(m_root)
                                                 .toUtf8()));
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

// ---- The other destination service of a run: the network connection ------------------

TEST(NetworkConnection, TaskWithCredentialsIsRefusedBeforeTheRun) {
    // A user name or a password alone asks for a connection, which this build cannot
    // make: the run must stop rather than write to a share it never reached.
    for (const auto& [user, password] :
         {std::pair<QString, QString>{"", ""}, {"backup", "pw"}, {"backup", ""}, {"", "pw"}}) {
        TaskRecord task;
        task.destination.path = "//nas/backup/daily";
        task.destination.userName = user;
        task.destination.password = password;
        test::LogCapture log;
        const bool applied = ApplyNetworkConnection(task);
        CancelNetworkConnection(task);  // nothing to drop
        EXPECT_EQ(applied, user.isEmpty() && password.isEmpty());
        EXPECT_EQ(log.Texts().size(), applied ? 0 : 2);
        if (!applied) {
            EXPECT_TRUE(log.Texts()[0].endsWith("  Apply network connection..."));
            EXPECT_TRUE(
                log.Texts()[1].endsWith("  ...Error: network connections are not supported yet"));
            EXPECT_FALSE(log.Texts().join("\n").contains("pw"));
        }
    }
}

}  // namespace
}  // namespace corvane
