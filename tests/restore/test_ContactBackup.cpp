// Contacts of a real vdir (written by vobject, listed by khard) backed up to every place,
// all of them or one; the store damaged, restored twice and read back.

#include "engine/BackupRun.h"
#include "platform/ContactStore.h"
#include "restore/RestoreTesting.h"
#include "support/FtpServerTest.h"
#include "support/Tools.h"

namespace corvane {
namespace {

// Two contacts share the display text "Ann Lee" (one is "Dr."); each card holds a UID
// and a property no backup carries.
const char* kMakeBook = R"(
import sys, vobject
for uid, given, family, prefix, org in [('uid-ann', 'Ann', 'Lee', '', 'Acme'),
        ('uid-dr', 'Ann', 'Lee', 'Dr.', 'Clinic'), ('uid-bob', 'Bob', 'Stone', '', 'Quarry')]:
    c = vobject.vCard()
    c.add('uid').value = uid
    c.add('n').value = vobject.vcard.Name(family=family, given=given, prefix=prefix)
    c.add('fn').value = given + ' ' + family
    c.add('org').value = [org]
    c.add('x-kept').value = 'kept'
    open('%s/%s.vcf' % (sys.argv[1], uid), 'w', newline='').write(c.serialize())
)";

// "<org> <uid, or 'new'> <x-kept or '-'>" of every card, sorted.
const char* kReadBook = R"(
import sys, glob, vobject
rows = []
for path in glob.glob(sys.argv[1] + '/*.vcf'):
    c = vobject.readOne(open(path, encoding='utf-8').read())
    uid = c.uid.value if c.uid.value.startswith('uid-') else 'new'
    rows.append('%s %s %s' % (c.org.value[0], uid, c.x_kept.value if 'x-kept' in c.contents else '-'))
print(' | '.join(sorted(rows)))
)";

const char* kZipNames = R"(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1]); z.setpassword(b's3cret pw')
print(z.testzip() or ' | '.join(sorted(n for n in z.namelist() if n.endswith('.vcf'))))
)";

struct Place {
    const char* name;
    qint32 method;
    bool ftp;
};

class ContactItemTest : public test::FtpServerTest,
                        public ::testing::WithParamInterface<std::tuple<Place, bool>> {
  protected:
    void SetUp() override {
        FtpServerTest::SetUp();
        ContactStore::SetConfiguredFolder(m_book);
    }
    void MakeBook() {
        ASSERT_TRUE(QDir().mkpath(m_book));
        const test::ToolResult made = test::RunPython(kMakeBook, {m_book});
        ASSERT_EQ(made.exitCode, 0) << made.output.toStdString();
    }
    QString ReadBook() const { return test::RunPython(kReadBook, {m_book}).output.trimmed(); }
    // The UIDs khard lists, each once.
    int KhardUniqueCount() const {
        const QString config = m_dir.Write(
            "khard.conf", ("[addressbooks]\n[[book]]\npath = " + m_book + "\n").toUtf8());
        const QStringList lines = test::RunTool("khard", {"--config", config, "list", "-p"})
                                      .output.split('\n', Qt::SkipEmptyParts);
        QSet<QString> uids;
        for (const QString& line : lines) {
            uids.insert(line.section('\t', 0, 0));
        }
        return uids.size() == lines.size() ? int(uids.size()) : -1;
    }
    TaskRecord* NewTask() {
        const auto& [place, all] = GetParam();
        TaskRecord* task = m_tasks.NewTask(place.name, kTaskBackup);
        task->backupMode = place.method;
        task->destination.path = m_dir.File(QString("dest/") + place.name);
        if (place.ftp) {
            task->destination = m_server.Destination(QString("ftp://127.0.0.1/") + place.name);
        }
        task->archiveName = "contacts.zip";
        task->archivePassword = "s3cret pw";
        task->items.push_back(all ? MakeAllContactsItem() : MakeContactItem("Ann", "", "Lee"));
        return task;
    }
    // The card names the backup stored.
    QString Stored() const {
        const Place& place = std::get<0>(GetParam());
        const QString folder = place.ftp ? Remote(place.name) : m_dir.File("dest/") + place.name;
        if (place.method == kMethodZip) {
            return test::RunPython(kZipNames, {folder + "/contacts.zip"}).output.trimmed();
        }
        return QDir(folder).entryList({"*.vcf"}, QDir::Files, QDir::Name).join(" | ");
    }

    QString m_book = m_dir.File("book");
    test::ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir.File("config").toUtf8()};
    TaskList m_tasks;
    test::ScriptedQuestions m_questions;
};

// Once, a second contact named like the first replaced its card in the backup.
TEST_P(ContactItemTest, ContactsComeBackOnceWithTheirUidsAndOldValues) {
    const bool all = std::get<1>(GetParam());
    MakeBook();
    NewTask();
    ASSERT_TRUE(RunBackup(m_tasks, 0, StopSignal()));
    EXPECT_EQ(Stored(), all ? "Ann Lee.vcf | Ann Lee~1.vcf | Bob Stone.vcf" : "Ann Lee.vcf");

    ASSERT_TRUE(QFile::remove(m_book + "/uid-bob.vcf"));
    m_dir.Write("book/uid-ann.vcf",
                test::ReadAll(m_book + "/uid-ann.vcf").replace("ORG:Acme", "ORG:Changed"));
    const QString restored =
        QString("Acme uid-ann kept | Clinic uid-dr kept") + (all ? " | Quarry new -" : "");
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(RunRestore(m_tasks, 0, m_questions, StopSignal())) << round;
        EXPECT_EQ(ReadBook(), restored) << round;
        EXPECT_EQ(KhardUniqueCount(), all ? 3 : 2) << round;
    }
    EXPECT_EQ(m_questions.seen.at(0).sourceName, all ? "Contacts: all" : "Contact: Ann Lee");
    ExpectNoTemporaries();
    ExpectNoPasswordInLog();
}

// Once, the run warned and said it completed while no contact was stored.
TEST_P(ContactItemTest, UnreadableStoreOrMissingContactFailsTheRun) {
    m_dir.Write("book", "a file where the address book folder should be");
    const TaskRecord* task = NewTask();
    EXPECT_FALSE(RunBackup(m_tasks, 0, StopSignal()));
    EXPECT_EQ(
        m_log.CountEndingWith("  Error: cannot read contacts from the contact store " + m_book), 1);
    EXPECT_TRUE(task->history.empty());
    // An empty store holds no contact to back up alone: that fails too, all contacts do not.
    ASSERT_TRUE(QFile::remove(m_book) && QDir().mkpath(m_book));
    const bool all = std::get<1>(GetParam());
    EXPECT_EQ(RunBackup(m_tasks, 0, StopSignal()), all);
    EXPECT_EQ(m_log.CountEndingWith("  Error: cannot find contact 'Ann Lee' in the contact store"),
              all ? 0 : 1);
    ExpectNoTemporaries();
}

// Entry names come from an archive of all contacts: ZIP places only.
class HostileContactArchiveTest : public ContactItemTest {};

// Names with ".." in a hostile archive are refused; the one sound card is restored.
TEST_P(HostileContactArchiveTest, EntryNamesNeverLeaveTheTemporaryFolder) {
    const Place& place = std::get<0>(GetParam());
    ASSERT_TRUE(QDir().mkpath(m_book));
    const QString folder = place.ftp ? Remote(place.name) : m_dir.File("dest/") + place.name;
    ASSERT_TRUE(QDir().mkpath(folder));
    const test::ToolResult made = test::RunPython(
        "import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1], 'w')\n"
        "for n in ['../escape.vcf', 'a/../../up.vcf', 'Eve Evil.vcf']:\n"
        "    z.writestr(n, 'BEGIN:VCARD\\nVERSION:2.1\\nN:Evil;Eve\\nORG:Eden\\nEND:VCARD\\n')\n",
        {folder + "/contacts.zip"});
    ASSERT_EQ(made.exitCode, 0) << made.output.toStdString();
    NewTask();
    EXPECT_FALSE(RunRestore(m_tasks, 0, m_questions, StopSignal()));
    EXPECT_EQ(m_log.CountEndingWith("  Restore 'Eve Evil.vcf' to the contact store..."), 1);
    EXPECT_EQ(ReadBook(), "Eden new -");
    EXPECT_FALSE(QFileInfo::exists(m_dir.File("escape.vcf")) ||
                 QFileInfo::exists(folder + "/../up.vcf"));
    ExpectNoTemporaries();
}

INSTANTIATE_TEST_SUITE_P(
    Places, ContactItemTest,
    ::testing::Combine(::testing::Values(Place{"CopyToFolder", kMethodCopy, false},
                                         Place{"ZipInFolder", kMethodZip, false},
                                         Place{"CopyToFtp", kMethodCopy, true},
                                         Place{"ZipOnFtp", kMethodZip, true}),
                       ::testing::Bool()),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) ? "AllContacts" : "OneContact");
    });

INSTANTIATE_TEST_SUITE_P(Zip, HostileContactArchiveTest,
                         ::testing::Combine(::testing::Values(Place{"InFolder", kMethodZip, false},
                                                              Place{"OnFtp", kMethodZip, true}),
                                            ::testing::Values(true)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name);
                         });

}  // namespace
}  // namespace corvane
