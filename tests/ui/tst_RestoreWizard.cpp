// The new-restore wizard and the FTP folder browser as wiring: real task files in
// temporary folders and on a real FTP server on 127.0.0.1.

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

#include "WindowTesting.h"
#include "engine/FtpTaskSession.h"
#include "engine/TaskParameterFile.h"
#include "restore/FtpTaskFinder.h"
#include "support/FtpTestServer.h"
#include "support/S3TestServer.h"
#include "support/TempDir.h"
#include "support/TlsTestCertificate.h"
#include "transport/RemoteSession.h"
#include "ui/CFtpFolderDialog.h"
#include "ui/CRestoreWizard.h"

using namespace corvane;
using Mode = CFtpFolderDialog::Mode;
using test::Child;
using test::WhenTitled;

namespace {

const test::WidgetTestEnvironment g_environment;

void SaveTask(const QString& path, const QString& name, const std::vector<SourceItem>& items) {
    TaskRecord task;
    task.name = name;
    task.items = items;
    QVERIFY(SaveTaskParameterFile(task, path));
}

QTreeWidgetItem* TopFolder(QTreeWidget* tree, const QString& name) {
    const auto found = tree->findItems(name, Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.front();
}

}  // namespace

class TestRestoreWizard : public QObject {
    Q_OBJECT

  private slots:
    void init() { m_watchers = std::make_unique<QObject>(); }
    void cleanup() { m_watchers.reset(); }

    void ftpDialogBrowsesAndSelects_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("status");  // %1: the folder's address without password
        QTest::addColumn<int>("found");
        QTest::newRow("destination") << int(Mode::kDestination) << "backups"
                                     << "Ready" << 0;
        QTest::newRow("restore, tasks") << int(Mode::kRestore) << "backups"
                                        << "2 tasks found at %1" << 2;
        QTest::newRow("restore, none") << int(Mode::kRestore) << "empty"
                                       << "No tasks found at %1" << 0;
    }
    void ftpDialogBrowsesAndSelects() {
        QFETCH(int, mode);
        QFETCH(QString, folder);
        QFETCH(QString, status);
        QFETCH(int, found);
        test::FtpTestServer server;
        QString why;
        QVERIFY2(server.Start(&why), qPrintable(why));
        QVERIFY(QDir().mkpath(server.Home() + "/backups/old/deeper"));
        QVERIFY(QDir().mkpath(server.Home() + "/empty"));
        SaveTask(server.Home() + "/backups/Docs.tsk", "Docs", {});
        SaveTask(server.Home() + "/backups/MAIL.TSK", "Mail", {});
        CFtpFolderDialog dialog(static_cast<Mode>(mode));
        auto* statusLabel = Child<QLabel>(&dialog, "statusLabel");
        QCOMPARE(statusLabel->text(), QString("FTP not connected"));
        dialog.SetAddress(server.Address(), server.User(), server.Password(), 0);
        QTest::keyClick(Child<QLineEdit>(&dialog, "addressEdit"), Qt::Key_Return);
        auto* tree = Child<QTreeWidget>(&dialog, "folderTree");
        QCOMPARE(tree->topLevelItemCount(), 2);
        QTreeWidgetItem* backups = TopFolder(tree, "backups");
        QVERIFY(backups != nullptr && TopFolder(tree, "empty")->childCount() == 0);
        QCOMPARE(backups->child(0)->text(0), QString("#SUB_FLD"));
        backups->setExpanded(true);
        QCOMPARE(backups->child(0)->text(0), QString("old"));
        QCOMPARE(backups->child(0)->child(0)->text(0), QString("#SUB_FLD"));
        tree->setCurrentItem(TopFolder(tree, folder));
        FtpAddress address{"127.0.0.1", server.Port(), server.User(), server.Password(),
                           "/" + folder};
        const QString url = FtpAddressText(address);
        QCOMPARE(statusLabel->text(), status.replace("%1", FtpAddressForDisplay(url)));
        Child<QPushButton>(&dialog, "selectButton")->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.ResultUrl(), url);
        QCOMPARE(int(dialog.FoundTasks().size()), found);
    }

    void ftpDialogRefusals() {
        test::FtpTestServer server;
        QString why;
        QVERIFY2(server.Start(&why), qPrintable(why));
        CFtpFolderDialog dialog(Mode::kDestination);
        dialog.SetAddress(server.Address(), server.User(), "wrong s3cret", 0);
        Child<QPushButton>(&dialog, "connectButton")->click();
        const QString status = Child<QLabel>(&dialog, "statusLabel")->text();
        QVERIFY2(status.startsWith("FTP connection error: ") && !status.contains("s3cret"),
                 qPrintable(status));
        test::SeenDialog warning;
        test::AnswerNextDialog(m_watchers.get(), warning);
        Child<QPushButton>(&dialog, "selectButton")->click();
        QCOMPARE(warning.text, QString("You must select item from the list"));
    }

    // An FTPS server with a self-signed certificate and an S3 bucket are only reached
    // with what their address cannot hold; the tasks found there keep it, so the task
    // file read afterwards and the restore task reach the same place.
    void remoteDialogFindsTasksWithWhatTheAddressCannotHold_data() {
        QTest::addColumn<bool>("s3");
        QTest::newRow("ftps, pinned certificate") << false;
        QTest::newRow("s3, service and region") << true;
    }
    void remoteDialogFindsTasksWithWhatTheAddressCannotHold() {
        QFETCH(bool, s3);
        test::FtpTestServer ftps(
            test::FtpTestServer::Options{false, {}, false, test::TlsTestCertificate()});
        test::S3TestServer bucket;
        QString why;
        QVERIFY2(s3 ? bucket.Start(&why) : ftps.Start(&why), qPrintable(why));
        test::TempDir local;
        TaskRecord stored;
        stored.name = "Docs";
        stored.destination.type = kDestFtp;
        stored.destination.path =
            s3 ? "s3://" + bucket.Bucket() + "/backups" : "ftps://127.0.0.1/backups";
        QVERIFY(SaveTaskParameterFile(stored, local.Path() + "/Docs.tsk"));
        RemoteAccess access;
        if (s3) {
            access = {QString(), bucket.ServiceUrl(), "eu-west-1"};
            const auto session = NewRemoteSession(RemoteProtocol::kS3);
            QVERIFY(session->Connect(bucket.Endpoint("backups")));
            QVERIFY(session->Upload(local.Path() + "/Docs.tsk", "Docs.tsk"));
        } else {
            access.certificatePin = test::TlsTestFingerprint();
            QVERIFY(QDir().mkpath(ftps.Home() + "/backups"));
            QVERIFY(QFile::copy(local.Path() + "/Docs.tsk", ftps.Home() + "/backups/Docs.tsk"));
        }
        CFtpFolderDialog dialog(Mode::kRestore);
        if (s3) {
            dialog.SetAddress("s3://" + bucket.Bucket(), bucket.AccessKey(), bucket.Secret(), 0);
        } else {
            dialog.SetAddress(QString(ftps.Address()).replace("ftp://", "ftps://"), ftps.User(),
                              ftps.Password(), 0);
        }
        QCOMPARE(Child<QLineEdit>(&dialog, "certPinEdit")->isHidden(), s3);
        QCOMPARE(Child<QLineEdit>(&dialog, "serviceUrlEdit")->isHidden(), !s3);
        QCOMPARE(Child<QLineEdit>(&dialog, "regionEdit")->isHidden(), !s3);
        if (!s3) {  // a self-signed certificate without its pin is refused
            Child<QPushButton>(&dialog, "connectButton")->click();
            QVERIFY(
                Child<QLabel>(&dialog, "statusLabel")->text().startsWith("FTP connection error"));
        }
        dialog.SetAccess(access);
        Child<QPushButton>(&dialog, "connectButton")->click();
        auto* tree = Child<QTreeWidget>(&dialog, "folderTree");
        QVERIFY2(TopFolder(tree, "backups") != nullptr,
                 qPrintable(Child<QLabel>(&dialog, "statusLabel")->text()));
        tree->setCurrentItem(TopFolder(tree, "backups"));
        Child<QPushButton>(&dialog, "selectButton")->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(int(dialog.FoundTasks().size()), 1);
        const FoundTask& found = dialog.FoundTasks().front();
        QCOMPARE(found.access.certificatePin, access.certificatePin);
        QCOMPARE(found.access.serviceUrl, access.serviceUrl);
        QCOMPARE(found.access.region, access.region);
        TaskRecord task;
        QVERIFY(ReadRestoreTask(task, found.path, found.access));
        QCOMPARE(task.name, QString("Docs"));
        QCOMPARE(task.destination.serviceUrl, access.serviceUrl);
        QCOMPARE(task.destination.certificatePin, access.certificatePin);
    }

    void stepOneRefusesNext_data() {
        QTest::addColumn<bool>("browse");
        QTest::addColumn<QString>("message");
        QTest::newRow("nothing found") << false << "You must find and select the task first";
        QTest::newRow("nothing selected") << true << "You must select task from the list";
    }
    void stepOneRefusesNext() {
        QFETCH(bool, browse);
        QFETCH(QString, message);
        test::TempDir folder;
        SaveTask(folder.File("Docs.tsk"), "Docs", {});
        SaveTask(folder.File("nameless.TSK"), "", {});
        test::SeenDialog box;
        QStringList listed;
        QString chooserStatus;
        WhenTitled(m_watchers.get(), "New restore wizard, step 1/2", [&](QDialog* step) {
            if (browse) {
                test::WhenModal<QFileDialog>(m_watchers.get(), [&](QFileDialog* chooser) {
                    chooser->setDirectory(folder.Path());
                    chooserStatus = Child<QLabel>(chooser, "folderStatus")->text();
                    chooser->selectFile(folder.Path());
                    static_cast<QDialog*>(chooser)->accept();
                });
                Child<QPushButton>(step, "browseLocalButton")->click();
            }
            auto* list = Child<QListWidget>(step, "tasksList");
            for (int row = 0; row < list->count(); ++row) {
                listed << list->item(row)->text();
            }
            test::AnswerNextDialog(m_watchers.get(), box);
            Child<QPushButton>(step, "nextButton")->click();
            step->reject();
        });
        TaskRecord task;
        QVERIFY(!RunRestoreWizard(nullptr, task));
        QCOMPARE(box.text, message);
        if (browse) {
            QCOMPARE(listed, QStringList{QString("Task \"Docs\" in %1").arg(folder.Path())});
            QCOMPARE(chooserStatus, QString("1 task(s) found in %1").arg(folder.Path()));
        }
    }

    void stepTwoRedirectsItemsAndNeverTakesSystemFolderSilently() {
        test::TempDir folder;
        test::TempDir target;
        SaveTask(folder.File("Docs.tsk"), "Docs",
                 {MakePathItem("/home/ann/notes.txt", kItemFile, "notes.txt"),
                  MakeContactItem("Ann", "", "Lee"), MakeRegistryItem("/org/app", "app"),
                  MakePathItem("/etc/app/", kItemFolder, "app")});
        QStringList refusals;
        test::SeenDialog systemQuestion;
        WhenTitled(m_watchers.get(), "New restore wizard, step 1/2", [&](QDialog* step) {
            test::WhenModal<QFileDialog>(m_watchers.get(), [&](QFileDialog* chooser) {
                chooser->selectFile(folder.Path());
                static_cast<QDialog*>(chooser)->accept();
            });
            Child<QPushButton>(step, "browseLocalButton")->click();
            Child<QListWidget>(step, "tasksList")->setCurrentRow(0);
            Child<QPushButton>(step, "nextButton")->click();
        });
        WhenTitled(m_watchers.get(), "New restore wizard, step 2/2", [&](QDialog* step) {
            auto* list = Child<QTreeWidget>(step, "itemsList");
            auto doubleClick = [list](int row) {
                // An item view takes a double-click only on the item the press was on.
                const QPoint point = list->visualItemRect(list->topLevelItem(row)).center();
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, point);
                QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, point);
                QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, point);
            };
            for (int row : {1, 2}) {  // the contact and the registry key
                test::SeenDialog box;
                test::AnswerNextDialog(m_watchers.get(), box);
                doubleClick(row);
                refusals << box.text;
            }
            test::WhenModal<QFileDialog>(m_watchers.get(), [&](QFileDialog* chooser) {
                chooser->selectFile(target.Path());
                static_cast<QDialog*>(chooser)->accept();
            });
            doubleClick(0);
            test::AnswerNextDialog(m_watchers.get(), systemQuestion, QMessageBox::No);
            Child<QPushButton>(step, "nextButton")->click();
            QVERIFY(step->isVisible());  // the system folder was not taken silently
            test::AnswerNextDialog(m_watchers.get(), systemQuestion, QMessageBox::Yes);
            Child<QPushButton>(step, "nextButton")->click();
        });
        TaskRecord task;
        QVERIFY(RunRestoreWizard(nullptr, task));
        QCOMPARE(refusals, QStringList(2, "You cannot change settings of this item."));
        QVERIFY2(systemQuestion.text.contains("/etc/app/"), qPrintable(systemQuestion.text));
        QCOMPARE(task.taskType, kTaskRestore);
        QCOMPARE(task.items[0].path, target.Path() + "/notes.txt");
        QCOMPARE(task.items[3].path, QString("/etc/app/"));
    }

  private:
    std::unique_ptr<QObject> m_watchers;
};

QTEST_MAIN(TestRestoreWizard)
#include "tst_RestoreWizard.moc"
