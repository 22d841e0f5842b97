#include <gtest/gtest.h>

#include <QDir>

#include "cli/CliTestSupport.h"
#include "support/RecordingCrontab.h"
#include "support/ScopedEnv.h"
#include "support/Tools.h"

namespace corvane {
namespace {

using test::CliResult;

class TaskEditTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir.Write("src/Docs/a.txt", "alpha");
        m_dir.Write("src/notes.txt", "notes");
    }
    QString Src(const QString& name) const { return m_dir.File("src/" + name); }
    CliResult Cli(const QStringList& args) const { return test::RunCli(m_data, args); }
    QByteArray TaskList() const { return test::ReadAll(m_data + "/CorvTasks.bin"); }

    test::TempDir m_dir;
    test::ScopedEnv m_home{"HOME", m_dir.Path().toUtf8()};
    test::ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir.File("config").toUtf8()};
    test::RecordingCrontab m_crontab{m_dir.Path()};
    QString m_data = m_dir.File("data");
    QString m_dest = m_dir.File("dest");
};

TEST_F(TaskEditTest, NewTaskRunsAndEditChangesIt) {
    CliResult made = Cli({"new", "Docs", "--to", m_dest, "--include", "*.txt", "--schedule",
                          "daily@09:30", "--group", "Work", "--shortcut", Src("Docs")});
    ASSERT_TRUE(made.status == 0 && made.out.endsWith("New task added\n"))
        << made.err.toStdString();
    ASSERT_EQ(Cli({"new", "Notes", "--to", m_dest, "--group", "Work", Src("notes.txt")}).status, 0);
    EXPECT_EQ(Cli({"list"}).out,
              QString("group: Work\n  task 0: Docs. Backup items to %1/\n    item: %2/\n"
                      "  task 1: Notes. Backup items to %1/\n    item: %3\n")
                  .arg(m_dest, Src("Docs"), Src("notes.txt")));

    const CliResult run = test::RunProgram(m_data, {"run", "Docs"});
    EXPECT_EQ(run.status, 0) << run.out.toStdString();
    EXPECT_EQ(test::ReadAll(m_dest + "/Docs/a.txt"), "alpha");

    const CliResult changed =
        Cli({"edit", "docs", "--rename", "Papers", "--add", Src("notes.txt"), "--remove",
             Src("Docs"), "--zip", "", "--schedule", "weekly:mon,fri@10:05", "--registry",
             "HKEY_CURRENT_USER\\org\\gnome\\"});
    ASSERT_TRUE(changed.status == 0 && changed.out.endsWith("Task was changed\n"))
        << changed.err.toStdString();
    const QString shown = Cli({"show", "Papers"}).out;
    for (const QString& line : QStringList{
             "itemsCount=2", "SrcFolder1=" + Src("notes.txt"),
             "SrcFolder2=HKEY_CURRENT_USER\\org\\gnome", "DstFolderName2=gnome", "backupMode=2",
             "archiveName=Papers.zip", "RecurMode=2", "RecurDatePattern=34", "InclFilter=*.txt"}) {
        EXPECT_TRUE(shown.contains("\n" + line + "\n")) << line.toStdString();
    }
    EXPECT_EQ(QDir(m_dir.File("Desktop")).entryList(QDir::Files),
              QStringList{"Backup - Papers.desktop"});
}

// Contacts and well-known data sets as the source tree adds them (fixed name in archive).
TEST_F(TaskEditTest, ContactsAndWellKnownSourcesAreAdded) {
    ASSERT_TRUE(QDir(m_dir.Path()).mkpath(".ssh"));
    const CliResult made = Cli({"new", "People", "--to", m_dest, "--all-contacts", "--contact",
                                "Ann||Lee", "--well-known", "SSH keys and settings"});
    ASSERT_EQ(made.status, 0) << made.err.toStdString();
    const QString shown = Cli({"show", "People"}).out;
    for (const QString& line : QStringList{
             "itemsCount=3", "SrcDataType1=4", "SrcDataType2=5", "SrcFN2=Ann",
             "SrcMN2=", "SrcLN2=Lee", "SrcFolder3=" + m_dir.File(".ssh/"), "DstFolderName3=SSH"}) {
        EXPECT_TRUE(shown.contains("\n" + line + "\n")) << line.toStdString();
    }
    // Contact items go as `list` shows them.
    ASSERT_EQ(Cli({"edit", "People", "--remove", "Ann Lee", "--remove", "All contacts"}).status, 0);
    EXPECT_TRUE(Cli({"show", "People"}).out.contains("\nitemsCount=1\n"));
}

// A relative destination on the command line is the current folder's, as the sources are.
TEST_F(TaskEditTest, RelativeDestinationIsBelowTheCurrentFolder) {
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(Src("")));  // not the home folder
    const CliResult made = Cli({"new", "Docs", "--to", "backups", "Docs"});
    QDir::setCurrent(before);
    ASSERT_EQ(made.status, 0) << made.err.toStdString();
    EXPECT_TRUE(Cli({"show", "Docs"}).out.contains("\ndestPath=" + Src("backups/\n")));
}

// Every refusal ends with status 2 and leaves the saved task list as it was.
TEST_F(TaskEditTest, CertificatePinIsKeptForFtpsAndShown) {
    const QString pin = "sha256 Fingerprint=" + QStringList(32, "0C").join(':');
    ASSERT_EQ(Cli({"new", "Docs", "--to", "ftps://nas/b", "--cert-pin", pin, Src("Docs")}).status,
              0);
    EXPECT_TRUE(Cli({"show", "Docs"}).out.contains("\ndestCertPin=" + pin + "\n"));
    ASSERT_EQ(Cli({"edit", "Docs", "--to", "sftp://nas/b"}).status, 0);
    EXPECT_FALSE(Cli({"show", "Docs"}).out.contains("destCertPin"));
}

TEST_F(TaskEditTest, RefusedValuesSaveNothing) {
    ASSERT_EQ(Cli({"new", "Docs", "--to", m_dest, Src("Docs")}).status, 0);
    const QByteArray before = TaskList();
    const QString docs = Src("Docs");
    const struct {
        QStringList args;
        QString message;
    } cases[] = {
        {{"new", "Other", "--to", " ", docs}, "You must add destination path"},
        {{"new", "Other", "--to", "d"}, "You must add at least one item"},
        {{"new", "Other", "--to", "d", Src("missing")}, "Cannot find " + Src("missing")},
        {{"new", "Other", "--to", "d", docs, docs}, "This item was allready added."},
        {{"new", "DOCS", "--to", "d", docs}, "a task named 'DOCS' already exists"},
        {{"new", "Other", "--to", "d", "--include", "(x", docs},
         "Include files filter seem to be not correct"},
        {{"new", "Other", "--to", "d", "--schedule", "weekly:@10:00", docs},
         "You must select at lease one day"},
        {{"new", "Other", "--to", "d", "--schedule", "monthly:0@10:00", docs},
         "Day number is not valid"},
        {{"edit", "Docs", "--rename", ""}, "Task name cannot be empty"},
        {{"edit", "Docs", "--schedule", "monthly:x@01:00"},
         "Day number for sheduling is not valid"},
        {{"edit", "Docs", "--remove", Src("notes.txt")}, "the task has no item"},
        {{"edit", "Docs", "--registry", "HKEY_NOWHERE\\a"}, "does not begin with a registry hive"},
        {{"edit", "Docs", "--registry", "HKEY_DYN_DATA\\a"}, "cannot name HKEY_DYN_DATA"},
        {{"edit", "Docs", "--registry", "HKEY_CURRENT_USER\\a\\\\b"}, "not a valid registry key"},
        {{"edit", "Docs", "--registry", "HKEY_CURRENT_USER\\a", "--registry",
          "HKEY_CURRENT_USER\\a\\"},
         "This item was allready added."},
        {{"edit", "Docs", "--cipher", "des"}, "--cipher needs aes or traditional"},
        {{"edit", "Docs", "--to", "ftps://h/x", "--cert-pin", "AB:CD"},
         "The certificate fingerprint must be a SHA-256 fingerprint"},
        {{"edit", "Docs", "--contact", "Ann Lee"}, "--contact needs FIRST|MIDDLE|LAST"},
        {{"edit", "Docs", "--contact", "||"}, "--contact needs FIRST|MIDDLE|LAST"},
        {{"edit", "Docs", "--well-known", "SSH"}, "--well-known takes one of"},
        {{"edit", "Docs", "--well-known", "GnuPG keys"}, "Cannot find GnuPG keys folder"},
        {{"edit", "Docs", "--well-known", "GNOME desktop settings", "--registry",
          "HKEY_CURRENT_USER\\org\\gnome\\desktop"},
         "This item was allready added."},
    };
    for (const auto& c : cases) {
        const CliResult result = Cli(c.args);
        EXPECT_EQ(result.status, 2) << c.message.toStdString();
        EXPECT_TRUE(result.err.contains(c.message)) << result.err.toStdString();
        EXPECT_EQ(TaskList(), before) << c.message.toStdString();
    }
}

// Passwords come from standard input and reach the task and the archive (AES-256 for a
// new task, traditional when chosen), never the output.
TEST_F(TaskEditTest, PasswordsFromStandardInputNeverShow) {
    const auto create = [&](const QStringList& args, const QByteArray& input) {
        QProcess process;
        test::StartProgram(process, m_data, args);
        process.write(input);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(120000) && process.exitCode() == 0);
        return QString(process.readAllStandardOutput() + process.readAllStandardError());
    };
    const QStringList made = {
        create({"new", "Both", "--to", "ftp://127.0.0.1/x", "--zip", "", "--password-stdin",
                "--ftp-user", "ann", "--ftp-password-stdin", Src("notes.txt")},
               "zip-secret-1\nftp-secret-2\n"),
        create({"new", "Zip", "--to", m_dest, "--zip", "", "--password-stdin", Src("notes.txt")},
               "zip-secret-3\n")};
    EXPECT_TRUE(TaskList().contains("zip-secret-1") && TaskList().contains("ftp-secret-2"));
    const CliResult shown = Cli({"show", "Both"});
    const CliResult run = test::RunProgram(m_data, {"run", "Zip"});
    for (const QString& text : made + QStringList{shown.out, run.out, run.err}) {
        EXPECT_FALSE(text.contains("secret-")) << text.toStdString();
    }
    const auto archived = [&] {
        return test::RunTool("bsdtar", {"-xOf", m_dest + "/Zip.zip", "--passphrase", "zip-secret-3",
                                        "notes.txt"})
            .output;
    };
    const auto method = [&] {
        return test::RunPython(
                   "import sys, zipfile\n"
                   "print(zipfile.ZipFile(sys.argv[1]).getinfo('notes.txt').compress_type)",
                   {m_dest + "/Zip.zip"})
            .output;
    };
    EXPECT_TRUE(Cli({"show", "Zip"}).out.contains("\narchCipher=1\n"));
    EXPECT_EQ(archived(), "notes");
    EXPECT_EQ(method(), "99\n");
    ASSERT_EQ(Cli({"edit", "Zip", "--cipher", "traditional"}).status, 0);
    EXPECT_TRUE(Cli({"show", "Zip"}).out.contains("\narchCipher=0\n"));
    ASSERT_EQ(test::RunProgram(m_data, {"run", "Zip"}).status, 0);
    EXPECT_EQ(archived(), "notes");
    EXPECT_EQ(method(), "8\n");
}

// An s3:// destination is a remote place (not a folder below home) that needs its
// service address; the address and region are shown and go with a folder destination.
TEST_F(TaskEditTest, S3DestinationKeepsItsServiceAndRegionOnlyWhileItIsOne) {
    const QStringList s3 = {"new", "Cloud", "--to", "s3://bucket/docs/#YY", Src("notes.txt")};
    EXPECT_EQ(Cli(s3).status, 2);
    ASSERT_EQ(
        Cli(s3 + QStringList{"--service-url", "http://127.0.0.1:9000", "--region", "eu-1"}).status,
        0);
    const QString shown = Cli({"show", "Cloud"}).out;
    for (const char* line : {"\ndestPath=s3://bucket/docs/#YY\n", "\ndestType=2\n",
                             "\ndestServiceUrl=http://127.0.0.1:9000\n", "\ndestRegion=eu-1\n"}) {
        EXPECT_TRUE(shown.contains(line)) << line;
    }
    ASSERT_EQ(Cli({"edit", "Cloud", "--to", m_dest}).status, 0);
    EXPECT_FALSE(Cli({"show", "Cloud"}).out.contains("destServiceUrl"));
}

}  // namespace
}  // namespace corvane
