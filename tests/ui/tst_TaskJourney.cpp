// The whole way a user takes through the window, with real files and a real FTP server
// on 127.0.0.1: two tasks made with the wizard (a copy of a folder; a ZIP with a
// password, a filter and a date pattern sent to FTP), both run, one changed in the
// settings sheet and run again, then restored, and the restore wizard finding the task
// files the runs left in a folder and in an FTP folder.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

#include "WindowTesting.h"
#include "scheduler/Scheduler.h"
#include "support/FtpTestServer.h"
#include "support/TempDir.h"
#include "support/Tools.h"
#include "ui/CDatePatternDialog.h"
#include "ui/CFtpFolderDialog.h"
#include "ui/CNewTaskWizard.h"
#include "ui/CSelectTaskTypeDialog.h"
#include "ui/CSourcePage.h"
#include "ui/CTarnisView.h"
#include "ui/CTaskPropertySheet.h"

using namespace corvane;
using test::Child;
using test::Click;
using test::TempDir;
using test::WhenTitled;

namespace {

const test::WidgetTestEnvironment g_environment;

void SetText(QWidget* parent, const char* name, const QString& text) {
    QWidget* field = Child<QWidget>(parent, name);
    if (auto* combo = qobject_cast<QComboBox*>(field)) {
        combo->setEditText(text);
    } else {
        qobject_cast<QLineEdit*>(field)->setText(text);
    }
}

// What one wizard run fills in.
struct NewTask {
    QString source;
    QString name;
    QString destination;
    QString user;
    QString password;
    QString port;
    bool zip = false;
    QString archivePassword;
    QString include;
    bool desktopIcon = false;
};

}  // namespace

class TestTaskJourney : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QString why;
        QVERIFY2(m_server.Start(&why), qPrintable(why));
        m_log = std::make_unique<test::WorkerLogCapture>();
        // Launchers go to a desktop folder of the test, never the user's.
        m_dir.Write("config/user-dirs.dirs",
                    ("XDG_DESKTOP_DIR=\"" + m_dir.File("Desktop") + "\"\n").toUtf8());
        qputenv("XDG_CONFIG_HOME", m_dir.File("config").toUtf8());
        m_dir.Write("docs/a.txt", "letter");
        m_dir.Write("docs/sub/b.txt", "notes");
        m_dir.Write("docs/.draft/c.txt", "a dot-folder is backed up like any other");
        m_dir.Write("docs/d.tmp", "scratch");
        m_dir.Write("photos/beach.jpg", test::RandomBytes(40000, 1));
        m_dir.Write("photos/list.txt", "not a picture");
        m_view = std::make_unique<CTarnisView>(m_tasks, m_dir.File("data"), m_observer);
        m_observer.view = m_view.get();
        m_observer.backupCopy = 0;
        m_observer.restoreAll = true;
        m_view->show();
    }
    void cleanupTestCase() {
        m_view.reset();
        m_log.reset();
    }
    void init() { m_watchers = std::make_unique<QObject>(); }
    void cleanup() { m_watchers.reset(); }

    void wizardMakesACopyTask() {
        NewTask task;
        task.source = m_dir.File("docs");
        task.name = QStringLiteral("Docs");
        task.destination = m_dir.File("backups");
        task.desktopIcon = true;
        MakeTask(task);
        const TaskRecord* made = Task("Docs");
        QVERIFY(made != nullptr);
        QCOMPARE(made->backupMode, qint32(kMethodCopy));
        QCOMPARE(made->destination.path, m_dir.File("backups") + "/");
        QCOMPARE(made->items.size(), size_t(1));
        QCOMPARE(LogCount("New task added"), 1);
        QCOMPARE(made->desktopShortcut, m_dir.File("Desktop/Backup - Docs.desktop"));
        QVERIFY(QFile::exists(made->desktopShortcut));
        // Saved at once: a second program sees the task.
        QVERIFY(QFile(m_dir.File("data/CorvTasks.bin")).size() > 0);
    }

    void wizardMakesAZipTaskOnFtp() {
        NewTask task;
        task.source = m_dir.File("photos");
        task.name = QStringLiteral("My photos");
        task.destination = QStringLiteral("ftp://127.0.0.1/backups");
        task.user = m_server.User();
        task.password = m_server.Password();
        task.port = QString::number(m_server.Port());
        task.zip = true;
        task.archivePassword = QStringLiteral("zip secret");
        task.include = QStringLiteral("Pictures (*.jpg)");
        MakeTask(task);
        const TaskRecord* made = Task("My photos");
        QVERIFY(made != nullptr);
        QCOMPARE(made->destination.type, qint32(kDestFtp));
        QCOMPARE(made->archiveName, QStringLiteral("Myphotos #YY_#MM_#DD.zip"));
        QCOMPARE(made->archivePassword, QStringLiteral("zip secret"));
        QCOMPARE(made->includeFilter, QStringLiteral("Pictures (*.jpg)"));
    }

    void bothTasksRun() {
        Run("Docs");
        QCOMPARE(test::ReadAll(m_dir.File("backups/docs/a.txt")), QByteArray("letter"));
        QVERIFY(QFile::exists(m_dir.File("backups/docs/.draft/c.txt")));
        Run("My photos");
        const QStringList archives =
            QDir(m_server.Home() + "/backups").entryList({QStringLiteral("Myphotos *.zip")});
        QCOMPARE(archives.size(), 1);
        // A new task encrypts with AES-256, which 7z checks and bsdtar lists.
        const QString archive = m_server.Home() + "/backups/" + archives.front();
        const test::ToolResult tested = test::RunTool("7z", {"t", archive, "-pzip secret"});
        QVERIFY2(tested.output.contains("Everything is Ok"), qPrintable(tested.output));
        const test::ToolResult listed = test::RunTool("bsdtar", {"-tf", archive});
        QCOMPARE(listed.output.trimmed(), QStringLiteral("photos/beach.jpg"));
        QVERIFY2(m_observer.warnings.isEmpty(), qPrintable(m_observer.warnings.join('\n')));
    }

    // The settings sheet changes the filter and the destination; the next run follows.
    void settingsSheetChangesATask() {
        Select("Docs");
        WhenTitled(m_watchers.get(), "Task settings", [this](QDialog* sheet) {
            auto* tabs = Child<QTabWidget>(sheet, "taskTabs");
            tabs->setCurrentIndex(kPageDestination);
            SetText(sheet, "destinationCombo", m_dir.File("backups2"));
            tabs->setCurrentIndex(kPageMethod);
            SetText(sheet, "excludeCombo", QStringLiteral("Scratch (*.tmp)"));
            tabs->setCurrentIndex(kPageSource);
            Child<QCheckBox>(sheet, "desktopIconBox")->setChecked(false);
            Click(sheet, "saveButton");
        });
        m_view->Action(ViewCommand::kModify)->trigger();
        QCOMPARE(LogCount("Task was changed"), 1);
        QCOMPARE(Task("Docs")->excludeFilter, QStringLiteral("Scratch (*.tmp)"));
        QVERIFY(Task("Docs")->desktopShortcut.isEmpty());
        QVERIFY(!QFile::exists(m_dir.File("Desktop/Backup - Docs.desktop")));
        Run("Docs");
        QVERIFY(QFile::exists(m_dir.File("backups2/docs/sub/b.txt")));
        QVERIFY(!QFile::exists(m_dir.File("backups2/docs/d.tmp")));
    }

    // Save with a weekly schedule registers the task's job with the system scheduler.
    void settingsSheetRegistersAWeeklySchedule() {
        Select("Docs");
        WhenTitled(m_watchers.get(), "Task settings", [](QDialog* sheet) {
            Child<QTabWidget>(sheet, "taskTabs")->setCurrentIndex(kPageSchedule);
            // Monday and Friday, whichever day the draft proposed; the radio reads them.
            for (int day = 0; day < 7; ++day) {
                Child<QCheckBox>(sheet, qPrintable(QString("dayCheck%1").arg(day)))
                    ->setChecked(day == 0 || day == 4);
            }
            Click(sheet, "weeklyRadio");
            Child<QTimeEdit>(sheet, "runTimeEdit")->setTime(QTime(7, 5));
            Click(sheet, "saveButton");
        });
        m_view->Action(ViewCommand::kModify)->trigger();
        QCOMPARE(LogCount("  Activation task has been added to the system scheduler"), 1);
        QVERIFY(g_environment.scheduler.Table().contains(WorkItemName("Docs") + "\n5 7 * * 1,5 "));
    }

    void restoreBringsBackADeletedFile() {
        QVERIFY(QFile::remove(m_dir.File("docs/a.txt")));
        Select("Docs");
        m_view->Action(ViewCommand::kRestore)->trigger();
        WaitForIdle();
        QCOMPARE(test::ReadAll(m_dir.File("docs/a.txt")), QByteArray("letter"));
    }

    // The runs left task files beside their data: the restore wizard finds the task of a
    // local folder and that of an FTP folder.
    void restoreWizardFindsTaskFiles_data() {
        QTest::addColumn<bool>("ftp");
        QTest::addColumn<QString>("name");
        QTest::newRow("local folder") << false << "Docs";
        QTest::newRow("FTP folder") << true << "My photos";
    }
    void restoreWizardFindsTaskFiles() {
        QFETCH(bool, ftp);
        QFETCH(QString, name);
        QStringList listed;
        test::WhenModal<CSelectTaskTypeDialog>(m_watchers.get(), [](CSelectTaskTypeDialog* d) {
            d->findChildren<QRadioButton*>().at(1)->click();
            d->accept();
        });
        WhenTitled(m_watchers.get(), "New restore wizard, step 1/2", [&](QDialog* step) {
            if (ftp) {
                test::WhenModal<CFtpFolderDialog>(m_watchers.get(), [this](CFtpFolderDialog* d) {
                    d->SetAddress(m_server.Address(), m_server.User(), m_server.Password(),
                                  m_server.Port());
                    Click(d, "connectButton");
                    auto* tree = Child<QTreeWidget>(d, "folderTree");
                    const auto found = tree->findItems("backups", Qt::MatchExactly);
                    QVERIFY(!found.isEmpty());
                    tree->setCurrentItem(found.front());
                    Click(d, "selectButton");
                });
                Click(step, "browseFtpButton");
            } else {
                test::WhenModal<QFileDialog>(m_watchers.get(), [this](QFileDialog* chooser) {
                    chooser->selectFile(m_dir.File("backups2"));
                    static_cast<QDialog*>(chooser)->accept();
                });
                Click(step, "browseLocalButton");
            }
            auto* list = Child<QListWidget>(step, "tasksList");
            for (int row = 0; row < list->count(); ++row) {
                listed << list->item(row)->text();
            }
            list->setCurrentRow(0);
            WhenTitled(m_watchers.get(), "New restore wizard, step 2/2",
                       [](QDialog* items) { Click(items, "nextButton"); });
            Click(step, "nextButton");
        });
        const int before = LogCount("New task added");
        m_view->Action(ViewCommand::kNewTask)->trigger();
        QCOMPARE(listed.size(), 1);
        QVERIFY2(listed.front().startsWith("Task \"" + name + "\" in "),
                 qPrintable(listed.front()));
        QVERIFY2(!listed.front().contains(m_server.Password()), "the list shows no password");
        QCOMPARE(LogCount("New task added"), before + 1);
        QCOMPARE(m_tasks.TaskAt(m_tasks.TaskCount() - 1)->taskType, qint32(kTaskRestore));
    }

  private:
    // New task -> backup -> the four steps -> Finish.
    void MakeTask(const NewTask& task) {
        bool finished = false;
        test::WhenModal<CSelectTaskTypeDialog>(m_watchers.get(), [&](CSelectTaskTypeDialog* d) {
            test::WhenModal<CNewTaskWizard>(m_watchers.get(), [&](CNewTaskWizard* wizard) {
                wizard->findChild<CSourcePage*>()->AddPaths({task.source});
                SetText(wizard, "taskNameEdit", task.name);
                Child<QCheckBox>(wizard, "desktopIconBox")->setChecked(task.desktopIcon);
                Click(wizard, "nextButton");
                SetText(wizard, "destinationCombo", task.destination);
                SetText(wizard, "destUserEdit", task.user);
                SetText(wizard, "destPasswordEdit", task.password);
                SetText(wizard, "portEdit", task.port);
                Click(wizard, "nextButton");
                if (task.zip) {
                    Click(wizard, "zipRadio");
                    test::WhenModal<CDatePatternDialog>(
                        m_watchers.get(), [](CDatePatternDialog* dialog) {
                            Child<QListWidget>(dialog, "accuracyList")->setCurrentRow(3);
                            Child<QListWidget>(dialog, "sampleList")->setCurrentRow(0);
                            Click(dialog, "saveButton");
                        });
                    Click(wizard, "datePatternButton");
                    SetText(wizard, "archivePasswordEdit", task.archivePassword);
                    SetText(wizard, "archivePasswordAgainEdit", task.archivePassword);
                    SetText(wizard, "includeCombo", task.include);
                }
                Click(wizard, "nextButton");
                QCOMPARE(wizard->CurrentStep(), kPageSchedule);
                Click(wizard, "finishButton");
                finished = !wizard->isVisible();
            });
            d->accept();
        });
        m_view->Action(ViewCommand::kNewTask)->trigger();
        QVERIFY(finished);
    }

    const TaskRecord* Task(const char* name) {
        const int index = m_tasks.FindTaskByName(QString::fromUtf8(name));
        return index < 0 ? nullptr : m_tasks.TaskAt(index);
    }

    void Select(const char* name) {
        const int index = m_tasks.FindTaskByName(QString::fromUtf8(name));
        for (const TreeEntry* entry : m_view->Tree().InDisplayOrder()) {
            if (entry->IsTask() && entry->value == index) {
                m_view->setCurrentItem(m_view->ItemOf(entry));
                return;
            }
        }
        QFAIL("task not in the tree");
    }

    void Run(const char* name) {
        Select(name);
        m_view->Action(ViewCommand::kStartTask)->trigger();
        WaitForIdle();
    }

    void WaitForIdle() { QTRY_VERIFY_WITH_TIMEOUT(!m_view->Queue().IsRunning(), 60000); }

    int LogCount(const QString& text) { return m_log->CountEndingWith(text); }

    TempDir m_dir;
    test::FtpTestServer m_server;
    std::unique_ptr<test::WorkerLogCapture> m_log;
    TaskList m_tasks;
    test::ViewObserver m_observer;
    std::unique_ptr<CTarnisView> m_view;
    std::unique_ptr<QObject> m_watchers;
};

QTEST_MAIN(TestTaskJourney)
#include "tst_TaskJourney.moc"
