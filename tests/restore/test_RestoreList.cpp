// The restore list builder against real backups: ZIP archives written by the engine's
// archive writer and folder copies, with the live tree changed after the backup.

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <vector>

#include <gtest/gtest.h>

#include "engine/ArchiveList.h"
#include "engine/ArchiveWriter.h"
#include "restore/RestoreList.h"
#include "restore/RestoreStatus.h"
#include "restore/RestoreTesting.h"
#include "support/LogCapture.h"

namespace corvane {
namespace {

using namespace test;

// ZIP entry times are local times: one fixed zone makes the expected values plain.
[[maybe_unused]] const bool g_fixedZone = [] {
    setenv("TZ", "UTC", 1);
    tzset();
    return true;
}();

constexpr qint64 kOdd = 1684058407;  // 2023-05-14 10:00:07, an odd second
constexpr qint64 kEven = kOdd - 1;   // what a ZIP entry keeps of it
constexpr quint64 kFourGiB = quint64{1} << 32;

// The record whose archive name is `name`; nullptr when there is none.
const RestoreItem* Find(const std::vector<RestoreItem>& list, const QString& name) {
    const auto it = std::find_if(list.begin(), list.end(), [&name](const RestoreItem& item) {
        return item.archiveName == name;
    });
    return it == list.end() ? nullptr : &*it;
}

QStringList ArchiveNames(const std::vector<RestoreItem>& list) {
    QStringList names;
    for (const RestoreItem& item : list) {
        names << item.archiveName;
    }
    names.sort();
    return names;
}

// A live tree, its backup under "backup/" and the items of the task that made it.
class RestoreListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteDocsTree(m_dir, kOdd, 3000);
        m_destination.path = m_dir.File("backup");
        QDir().mkpath(m_destination.path);
    }

    QString Live(const QString& name, const QByteArray& bytes, qint64 time = kOdd) {
        const QString path = m_dir.Write("live/" + name, bytes);
        SetMtime(path, time);
        return path;
    }
    QString LivePath(const QString& name) const { return m_dir.File("live/" + name); }
    QString Stored(const QString& name) const { return m_dir.File("backup/" + name); }

    // The archive a ZIP backup of the task's items writes, plus `extra` entries (source
    // path, name in archive).
    void WriteZip(const std::vector<std::pair<QString, QString>>& extra = {}) {
        ArchiveList list;
        for (const QString& name :
             QStringList{"Docs/", "Docs/sub/", "Docs/nothing/"} + kDocsFiles) {
            list.Add(LivePath(name), name, false);
        }
        for (const auto& [source, name] : extra) {
            list.Add(source, name, false);
        }
        ASSERT_TRUE(WriteArchive(list, ArchivePathOf(m_destination, "data.zip"), 6, "", {}));
    }

    // What a copy-as-is backup of the same items leaves in the destination folder.
    void WriteCopies() {
        for (const QString& name : kDocsFiles) {
            SetMtime(m_dir.Write("backup/" + name, ReadAll(LivePath(name))), kOdd);
        }
        QDir().mkpath(Stored("Docs/nothing"));
    }

    std::vector<RestoreItem> Build(const SourceItem& item, qint32 method) {
        std::vector<RestoreItem> list;
        (void)BuildRestoreList(list, item, m_destination, method, "data.zip");
        return list;
    }

    SourceItem FolderItem() const { return DocsItems(m_dir)[0]; }
    SourceItem FileItem() const { return DocsItems(m_dir)[1]; }

    TempDir m_dir;
    TaskDestination m_destination;
    LogCapture m_log;
};

TEST_F(RestoreListTest, ZipItemsListTheirOwnSafeEntriesBesideTheirLiveFiles) {
    WriteZip({{LivePath("Docs/a.txt"), "single.cfg.bak"},
              {LivePath("Docs/a.txt"), "Docs/../../evil.txt"},
              {LivePath("Docs/a.txt"), "Docs/sub/../../../../etc/x"},
              {LivePath("Docs/a.txt"), "Docs/fine..txt"}});
    const std::vector<RestoreItem> list = Build(FolderItem(), kMethodZip);
    const std::vector<RestoreItem> expected = {
        Item(LivePath("Docs/a.txt"), "data.zip:Docs/a.txt", kEven, kEven, 5, 5),
        Item(LivePath("Docs/sub/b.txt"), "data.zip:Docs/sub/b.txt", kEven, kEven, 4, 4),
        Item(LivePath("Docs/sub/c.txt"), "data.zip:Docs/sub/c.txt", kEven, kEven, 3000, 3000),
        Item(LivePath("Docs/empty.txt"), "data.zip:Docs/empty.txt", kEven, kEven, 0, 0),
        Item("", "data.zip:Docs/fine..txt", {}, kEven, 0, 5),
    };
    EXPECT_EQ(list, expected);
    for (const RestoreItem& item : list) {
        EXPECT_EQ(StatusOf(item),
                  item.sourceName.isEmpty() ? RestoreStatus::kDeleted : RestoreStatus::kIdentical);
    }
    EXPECT_EQ(m_log.CountEndingWith("  Test files from data.zip:/Docs/..."), 1)
        << m_log.Texts().join('\n').toStdString();
    EXPECT_EQ(m_log.CountEndingWith("  Error: unsafe path 'Docs/../../evil.txt' skipped"), 1);
    EXPECT_EQ(m_log.CountEndingWith("  Error: unsafe path 'Docs/sub/../../../../etc/x' skipped"),
              1);
    // The item's path without its final "/" names the same live files.
    EXPECT_EQ(Build(MakePathItem(LivePath("Docs"), kItemFolder, "Docs"), kMethodZip), expected);

    // A file item is its own entry alone, not one whose name only begins with it, and
    // makes no "Test files" line.
    const int lines = int(m_log.Texts().size());
    EXPECT_EQ(Build(FileItem(), kMethodZip),
              std::vector<RestoreItem>{
                  Item(LivePath("single.cfg"), "data.zip:single.cfg", kEven, kEven, 9, 9)});
    EXPECT_EQ(m_log.Texts().size(), lines);
}

// How one live file compared with its stored copy, by method: ZIP keeps even seconds,
// copies keep the second.
struct ChangeCase {
    const char* name;
    bool remove;
    const char* content;  // the live file's new content (ignored when removed)
    qint64 time;          // its new modification time
    RestoreStatus zipStatus;
    RestoreStatus copyStatus;
};

class RestoreListChangeTest : public RestoreListTest,
                              public testing::WithParamInterface<ChangeCase> {};

TEST_P(RestoreListChangeTest, LiveFileComparesWithItsStoredCopy) {
    const ChangeCase& c = GetParam();
    WriteZip();
    WriteCopies();
    const QString live = LivePath("Docs/a.txt");
    if (c.remove) {
        ASSERT_TRUE(QFile::remove(live));
    } else {
        Live("Docs/a.txt", c.content, c.time);
    }
    // A new live file is not part of the backup and makes no line.
    Live("Docs/added.txt", "new");

    const std::vector<RestoreItem> zip = Build(FolderItem(), kMethodZip);
    const RestoreItem* zipped = Find(zip, "data.zip:Docs/a.txt");
    ASSERT_NE(zipped, nullptr);
    EXPECT_EQ(StatusOf(*zipped), c.zipStatus);
    EXPECT_EQ(zip.size(), 4u);

    const std::vector<RestoreItem> copies = Build(FolderItem(), kMethodCopy);
    const RestoreItem* copied = Find(copies, Stored("Docs/a.txt"));
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(StatusOf(*copied), c.copyStatus);
    EXPECT_EQ(copies.size(), 4u);

    if (c.remove) {
        // The stored side is still described.
        EXPECT_EQ(*zipped, Item("", "data.zip:Docs/a.txt", {}, kEven, 0, 5));
        EXPECT_EQ(*copied, Item("", Stored("Docs/a.txt"), {}, kOdd, 0, 5));
    }
}

using S = RestoreStatus;
const ChangeCase kChangeCases[] = {
    {"Unchanged", false, "alpha", kOdd, S::kIdentical, S::kIdentical},
    // 10:00:06 live against an entry stored at 10:00:06 (made from 10:00:07).
    {"OneSecondEarlier", false, "alpha", kOdd - 1, S::kIdentical, S::kOlder},
    {"OneSecondLater", false, "alpha", kOdd + 1, S::kNewer, S::kNewer},
    {"RestoredOlder", false, "alph", kOdd - 3600, S::kOlder, S::kOlder},
    {"SameTimeOtherSize", false, "alpha!", kOdd, S::kNone, S::kNone},
    {"Deleted", true, "", 0, S::kDeleted, S::kDeleted},
};

INSTANTIATE_TEST_SUITE_P(Changes, RestoreListChangeTest, testing::ValuesIn(kChangeCases),
                         [](const testing::TestParamInfo<ChangeCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(RestoreListTest, AllContactsListsTheVcardEntriesOfEitherMethod) {
    ArchiveList archive;
    for (const char* name : {"Ann Lee.vcf", "BOB.VCF", "notes.txt", "vcf", "Docs/a.vcf.txt"}) {
        archive.Add(m_dir.Write(QString("backup/") + name, "BEGIN:VCARD\r\nEND:VCARD\r\n"), name,
                    false);
    }
    ASSERT_TRUE(WriteArchive(archive, ArchivePathOf(m_destination, "data.zip"), 6, "", {}));
    // The copy method looks at the destination's own files only.
    QDir().mkpath(Stored("folder.vcf"));
    m_dir.Write("backup/Docs/deep.vcf", "");

    for (const qint32 method : {kMethodZip, kMethodCopy}) {
        const std::vector<RestoreItem> list = Build(MakeAllContactsItem(), method);
        EXPECT_EQ(ArchiveNames(list), QStringList({"Ann Lee.vcf", "BOB.VCF"})) << method;
        for (const RestoreItem& item : list) {
            EXPECT_EQ(item, Item("Contacts: all", item.archiveName, {}, {}, 0, 0));
        }
    }
}

// Registry keys and single contacts: lines from the task alone, for every method and
// destination, without touching the backup.
TEST_F(RestoreListTest, RegistryAndContactLinesComeFromTheTaskAlone) {
    for (const qint32 type : {kDestFolder, kDestFtp}) {
        for (const qint32 method : {kMethodZip, kMethodCopy}) {
            m_destination.type = type;
            std::vector<RestoreItem> list;
            for (const SourceItem& item :
                 {MakeRegistryItem("HKEY_CURRENT_USER\\Software\\Ed", "Ed"),
                  MakeContactItem("Ann", "", "Lee"), MakeContactItem(" Bo ", "B.", "")}) {
                EXPECT_TRUE(BuildRestoreList(list, item, m_destination, method, "data.zip"));
            }
            EXPECT_EQ(list, (std::vector<RestoreItem>{
                                Item("HKEY_CURRENT_USER\\Software\\Ed", "Ed.reg", {}, {}, 0, 0),
                                Item("Contact: Ann Lee", "Ann Lee.vcf", {}, {}, 0, 0),
                                Item("Contact: Bo  B.", "Bo  B..vcf", {}, {}, 0, 0)}));
        }
    }
    // No server was asked and no backup read.
    EXPECT_TRUE(m_log.Texts().isEmpty()) << m_log.Texts().join('\n').toStdString();
}

TEST_F(RestoreListTest, CopyFolderItemListsStoredFilesWithBothSidesExact) {
    WriteCopies();
    SetMtime(Stored("Docs/sub/b.txt"), kOdd - 7);
    const std::vector<RestoreItem> list = Build(FolderItem(), kMethodCopy);
    ASSERT_EQ(ArchiveNames(list),
              QStringList({Stored("Docs/a.txt"), Stored("Docs/empty.txt"), Stored("Docs/sub/b.txt"),
                           Stored("Docs/sub/c.txt")}));
    EXPECT_EQ(*Find(list, Stored("Docs/sub/b.txt")),
              Item(LivePath("Docs/sub/b.txt"), Stored("Docs/sub/b.txt"), kOdd, kOdd - 7, 4, 4));
    EXPECT_TRUE(m_log.Texts().isEmpty()) << m_log.Texts().join('\n').toStdString();

    // A destination given with a final "/" names the same stored files.
    m_destination.path += '/';
    EXPECT_EQ(Build(FolderItem(), kMethodCopy), list);

    // A file item is its stored copy alone.
    Live("single.cfg", "setting=22", kOdd + 60);
    EXPECT_EQ(Build(FileItem(), kMethodCopy),
              std::vector<RestoreItem>{
                  Item(LivePath("single.cfg"), Stored("single.cfg"), kOdd + 60, kOdd, 10, 9)});
}

TEST_F(RestoreListTest, CopySizesCompareAs64Bit) {
    WriteCopies();
    const QString stored = Stored("Docs/a.txt");
    ASSERT_EQ(::truncate(QFile::encodeName(stored).constData(), off_t(kFourGiB + 5)), 0);
    SetMtime(stored, kOdd);
    std::vector<RestoreItem> list = Build(FolderItem(), kMethodCopy);
    ASSERT_NE(Find(list, stored), nullptr);
    EXPECT_EQ(*Find(list, stored),
              Item(LivePath("Docs/a.txt"), stored, kOdd, kOdd, 5, kFourGiB + 5));
    EXPECT_EQ(StatusOf(*Find(list, stored)), RestoreStatus::kNone);

    const QString live = LivePath("Docs/a.txt");
    ASSERT_EQ(::truncate(QFile::encodeName(live).constData(), off_t(kFourGiB + 5)), 0);
    SetMtime(live, kOdd);
    list = Build(FolderItem(), kMethodCopy);
    EXPECT_EQ(StatusOf(*Find(list, stored)), RestoreStatus::kIdentical);
}

TEST_F(RestoreListTest, CopyRefusesANameInArchiveOutsideTheDestination) {
    WriteCopies();
    m_dir.Write("outside/secret.txt", "not part of any backup");
    for (const QString& name : {QString("../outside"), QString("/etc"), QString("Docs/../..")}) {
        EXPECT_TRUE(Build(MakePathItem(LivePath("Docs/"), kItemFolder, name), kMethodCopy).empty())
            << name.toStdString();
        EXPECT_EQ(m_log.CountEndingWith("  Error: unsafe path '" + name + "' skipped"), 1)
            << name.toStdString();
    }
    EXPECT_TRUE(
        Build(MakePathItem(LivePath("x.txt"), kItemFile, "../outside/secret.txt"), kMethodCopy)
            .empty());
}

TEST_F(RestoreListTest, MissingBackupsOtherMethodsAndFtpFilesListNothing) {
    EXPECT_TRUE(Build(FolderItem(), kMethodZip).empty());
    EXPECT_EQ(m_log.CountEndingWith("  Test files from data.zip:/Docs/..."), 1);
    EXPECT_TRUE(Build(FolderItem(), kMethodCopy).empty());
    // Something that is no ZIP archive at all.
    m_dir.Write("backup/data.zip", "PK but not really an archive");
    EXPECT_TRUE(Build(FileItem(), kMethodZip).empty());
    EXPECT_EQ(m_log.CountEndingWith("  Error: cannot open ZIP file"), 2);

    WriteZip();
    WriteCopies();
    const int lines = int(m_log.Texts().size());
    EXPECT_TRUE(Build(FolderItem(), kMethodThird).empty());
    EXPECT_TRUE(Build(MakeRegistryItem("HKEY_CURRENT_USER\\X", "X"), kMethodThird).empty());
    EXPECT_EQ(m_log.Texts().size(), lines);

    // A local folder named as an FTP destination: no server answers, nothing is listed.
    m_destination.type = kDestFtp;
    EXPECT_TRUE(Build(FolderItem(), kMethodZip).empty());
    EXPECT_TRUE(Build(FileItem(), kMethodCopy).empty());
    EXPECT_EQ(m_log.Texts().filter(QRegularExpression("^  FTP connection error: ")).size(), 2)
        << m_log.Texts().join('\n').toStdString();
}

}  // namespace
}  // namespace corvane
