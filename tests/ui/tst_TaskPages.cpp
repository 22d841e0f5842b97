// The task pages in their two frames: the wizard's and the sheet's messages reached
// through the real widgets, values kept across Previous, the path history and the main
// view's Modify and New task commands.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>

#include "WindowTesting.h"
#include "app/TaskDraft.h"
#include "controls/CHistoryCombo.h"
#include "platform/UserSettings.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "ui/CNewTaskWizard.h"
#include "ui/CSelectTaskTypeDialog.h"
#include "ui/CTarnisView.h"
#include "ui/CTaskPropertySheet.h"

using namespace corvane;
using test::AnswerNextDialog;
using test::Child;
using test::Click;
using test::SeenDialog;

namespace {

const test::WidgetTestEnvironment g_environment;

// True when the focus was last put on the named control or inside it.
bool HasFocus(QWidget* window, const QString& name) {
    QWidget* focused = window->focusWidget();
    auto* expected = window->findChild<QWidget*>(name);
    return focused != nullptr && expected != nullptr &&
           (focused == expected || expected->isAncestorOf(focused));
}

// What a wizard step is filled with before Next.
struct StepValues {
    QString destination = QStringLiteral("/tmp/backups");
    QString certificatePin;
    const char* destinationRadio = "folderRadio";
    bool zip = false;
    QString password;
    QString passwordAgain;
    QString include;
    QString exclude;
    const char* scheduleRadio = "manualRadio";
    bool noWeekDays = false;
    QString monthDay;
};

}  // namespace

Q_DECLARE_METATYPE(StepValues)

namespace {

void Fill(QWidget* wizard, int step, const StepValues& values) {
    if (step == 1) {
        Click(wizard, values.destinationRadio);
        Child<QComboBox>(wizard, "destinationCombo")->setEditText(values.destination);
        Child<QLineEdit>(wizard, "certPinEdit")->setText(values.certificatePin);
    } else if (step == 2) {
        Click(wizard, values.zip ? "zipRadio" : "copyRadio");
        Child<QLineEdit>(wizard, "archivePasswordEdit")->setText(values.password);
        Child<QLineEdit>(wizard, "archivePasswordAgainEdit")->setText(values.passwordAgain);
        Child<QComboBox>(wizard, "includeCombo")->setEditText(values.include);
        Child<QComboBox>(wizard, "excludeCombo")->setEditText(values.exclude);
    } else if (step == 3) {
        Click(wizard, values.scheduleRadio);
        for (QCheckBox* day : wizard->findChildren<QCheckBox*>()) {
            if (values.noWeekDays && day->objectName().startsWith(QStringLiteral("dayCheck"))) {
                day->setChecked(false);
            }
        }
        Child<QLineEdit>(wizard, "monthDayEdit")->setText(values.monthDay);
    }
}

// Presses Next (Finish on the last step) and answers the message box it may show.
QString PressNext(CNewTaskWizard& wizard) {
    SeenDialog seen;
    QObject owner;
    const int step = wizard.CurrentStep();
    AnswerNextDialog(&owner, seen);
    Click(&wizard, step == 3 ? "finishButton" : "nextButton");
    return seen.text;
}

TaskRecord Draft(const QString& name) {
    TaskRecord draft = NewTaskDraft(QString(), CurrentLocalTime());
    draft.name = name;
    return draft;
}

}  // namespace

class TestTaskPages : public QObject {
    Q_OBJECT

  private slots:
    void wizardRefuses_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("withItem");
        QTest::addColumn<int>("step");
        QTest::addColumn<StepValues>("values");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");

        auto row = [](const char* tag, const QString& name, bool withItem, int step,
                      StepValues values, const char* message, const char* focus) {
            QTest::newRow(tag) << name << withItem << step << values << QString::fromUtf8(message)
                               << QString::fromUtf8(focus);
        };
        const QString docs = QStringLiteral("Docs");
        row("no name", QString(), true, 0, {}, "Task name cannot be empty", "taskNameEdit");
        row("no item", docs, false, 0, {}, "You must add at least one item", "sourceTree");
        StepValues blank;
        blank.destination = QStringLiteral("   ");
        row("no destination", docs, true, 1, blank, "You must add destination path",
            "destinationCombo");
        StepValues s3;
        s3.destination = QStringLiteral("s3://bucket/docs");
        s3.destinationRadio = "ftpRadio";
        row("S3 without service", docs, true, 1, s3,
            "An S3 destination needs the service address (https://...)", "destinationCombo");
        StepValues pin;
        pin.destination = QStringLiteral("ftps://nas.local/docs");
        pin.destinationRadio = "ftpRadio";
        pin.certificatePin = QStringLiteral("AB:CD");
        row("pin not SHA-256", docs, true, 1, pin,
            "The certificate fingerprint must be a SHA-256 fingerprint (64 hex digits)",
            "certPinEdit");
        StepValues passwords;
        passwords.zip = true;
        passwords.password = QStringLiteral("one");
        passwords.passwordAgain = QStringLiteral("two");
        row("passwords differ", docs, true, 2, passwords,
            "Password strings are not identical, please type them again", "archivePasswordEdit");
        StepValues include;
        include.include = QStringLiteral("Text (*.txt");
        row("include not closed", docs, true, 2, include,
            "Include files filter seem to be not correct", "includeCombo");
        StepValues exclude;
        exclude.exclude = QStringLiteral("Temp )*.tmp(");
        row("exclude reversed", docs, true, 2, exclude,
            "Exclude files filter seem to be not correct", "excludeCombo");
        StepValues weekly;
        weekly.scheduleRadio = "weeklyRadio";
        weekly.noWeekDays = true;
        row("no week day", docs, true, 3, weekly, "You must select at lease one day", "dayCheck0");
        StepValues monthly;
        monthly.scheduleRadio = "monthlyRadio";
        row("no month day", docs, true, 3, monthly, "Day number is not valid", "monthDayEdit");
    }

    void wizardRefuses() {
        QFETCH(QString, name);
        QFETCH(bool, withItem);
        QFETCH(int, step);
        QFETCH(StepValues, values);
        QFETCH(QString, message);
        QFETCH(QString, focus);

        test::TempDir dir;
        dir.Write("docs/a.txt", "a");
        const QStringList items = withItem ? QStringList{dir.Path() + "/docs"} : QStringList{};
        CNewTaskWizard wizard(Draft(name), items);
        wizard.show();
        // The first item names an unnamed task; the name field holds what the row wants.
        Child<QLineEdit>(&wizard, "taskNameEdit")->setText(name);
        for (int before = 0; before < step; ++before) {
            Fill(&wizard, before, StepValues{});
            QCOMPARE(PressNext(wizard), QString());
        }
        QCOMPARE(wizard.windowTitle(),
                 QStringLiteral("New backup wizard, step %1/4").arg(step + 1));
        Fill(&wizard, step, values);
        QCOMPARE(PressNext(wizard), message);
        QCOMPARE(wizard.CurrentStep(), step);
        QVERIFY(wizard.isVisible());
        if (!focus.isEmpty()) {
            QVERIFY2(HasFocus(&wizard, focus), qPrintable(wizard.focusWidget()->objectName()));
        }
    }

    // Previous keeps what was typed on both steps, and Finish hands it all over.
    void previousKeepsValues() {
        test::TempDir dir;
        dir.Write("docs/a.txt", "a");
        CNewTaskWizard wizard(Draft(QStringLiteral("My Docs #1")), {dir.Path() + "/docs"});
        wizard.show();
        QCOMPARE(PressNext(wizard), QString());
        Fill(&wizard, 1, {});
        QCOMPARE(PressNext(wizard), QString());
        StepValues method;
        method.zip = true;
        method.include = QStringLiteral("Text (*.txt)");
        Fill(&wizard, 2, method);
        // Choosing ZIP proposes the task name without blanks and number signs.
        QCOMPARE(Child<QLineEdit>(&wizard, "archiveNameEdit")->text(),
                 QStringLiteral("MyDocs1.zip"));
        Click(&wizard, "previousButton");
        QCOMPARE(wizard.CurrentStep(), 1);
        QCOMPARE(Child<QComboBox>(&wizard, "destinationCombo")->currentText(),
                 QStringLiteral("/tmp/backups/"));
        QCOMPARE(PressNext(wizard), QString());
        QCOMPARE(Child<QComboBox>(&wizard, "includeCombo")->currentText(), method.include);
        QVERIFY(Child<QRadioButton>(&wizard, "zipRadio")->isChecked());
        QCOMPARE(PressNext(wizard), QString());
        QCOMPARE(PressNext(wizard), QString());
        QCOMPARE(wizard.result(), int(QDialog::Accepted));
        QCOMPARE(wizard.Task().includeFilter, method.include);
        QCOMPARE(wizard.Task().archiveName, QStringLiteral("MyDocs1.zip"));
        QCOMPARE(wizard.Task().destination.path, QStringLiteral("/tmp/backups/"));
        QCOMPARE(wizard.Task().archiveCipher, int(kCipherAes256));  // new tasks: AES
    }

    // The cipher choice waits for a password; a task read from a file keeps its own.
    void cipherFollowsThePassword() {
        TaskRecord task = Draft(QStringLiteral("Docs"));
        task.backupMode = kMethodZip;
        task.archiveCipher = kCipherTraditional;
        CTaskPropertySheet sheet(task);
        sheet.show();
        auto* cipher = Child<QComboBox>(&sheet, "cipherCombo");
        QVERIFY(!cipher->isEnabled());
        QCOMPARE(cipher->currentText(), QStringLiteral("Traditional ZIP (opens in any tool)"));
        Child<QLineEdit>(&sheet, "archivePasswordEdit")->setText(QStringLiteral("pw"));
        Child<QLineEdit>(&sheet, "archivePasswordAgainEdit")->setText(QStringLiteral("pw"));
        QVERIFY(cipher->isEnabled());
        cipher->setCurrentText(QStringLiteral("AES-256 (recommended)"));
        Click(&sheet, "saveButton");
        QCOMPARE(sheet.Task().archiveCipher, int(kCipherAes256));
        QCOMPARE(sheet.Task().archivePassword, QStringLiteral("pw"));
    }

    // The same destination entered twice is one entry, at the top; ten are kept.
    void historyKeepsOneEntryAtTop() {
        for (int i = 0; i < 12; ++i) {
            UserSettings::RememberPath(QStringLiteral("/old/%1").arg(i));
        }
        test::TempDir dir;
        dir.Write("docs/a.txt", "a");
        CNewTaskWizard wizard(Draft(QStringLiteral("Docs")), {dir.Path() + "/docs"});
        wizard.show();
        QCOMPARE(PressNext(wizard), QString());
        for (int pass = 0; pass < 2; ++pass) {
            Fill(&wizard, 1, {});
            QCOMPARE(PressNext(wizard), QString());
            Click(&wizard, "previousButton");
        }
        QStringList expected = {QStringLiteral("/tmp/backups/")};
        for (int i = 11; i >= 3; --i) {
            expected << QStringLiteral("/old/%1").arg(i);
        }
        QCOMPARE(UserSettings::PathHistory(), expected);
        QCOMPARE(Child<CHistoryCombo>(&wizard, "destinationCombo")->History(), expected);
    }

    void sheetRefuses_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("passwordAgain");
        QTest::addColumn<int>("scheduleMode");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("focus");

        QTest::newRow("no name") << QString() << QStringLiteral("pw") << int(kScheduleNone)
                                 << QStringLiteral("Task name cannot be empty") << 0 << QString();
        QTest::newRow("passwords differ")
            << QStringLiteral("Docs") << QStringLiteral("other") << int(kScheduleNone)
            << QStringLiteral("Password strings are not identical, please type them again") << 2
            << QStringLiteral("archivePasswordEdit");
        QTest::newRow("no month day")
            << QStringLiteral("Docs") << QStringLiteral("pw") << int(kScheduleMonthly)
            << QStringLiteral("Day number for sheduling is not valid") << 3
            << QStringLiteral("monthDayEdit");
        // The sheet does not repeat the wizard's week-day check.
        QTest::newRow("weekly without days") << QStringLiteral("Docs") << QStringLiteral("pw")
                                             << int(kScheduleWeekly) << QString() << 0 << QString();
    }

    void sheetRefuses() {
        QFETCH(QString, name);
        QFETCH(QString, passwordAgain);
        QFETCH(int, scheduleMode);
        QFETCH(QString, message);
        QFETCH(int, tab);
        QFETCH(QString, focus);

        TaskRecord task = Draft(name);
        task.backupMode = kMethodZip;
        task.archivePassword = QStringLiteral("pw");
        task.scheduleMode = scheduleMode;
        task.schedulePattern = 0;
        task.scheduleDay = 0;
        CTaskPropertySheet sheet(task);
        sheet.show();
        Child<QLineEdit>(&sheet, "archivePasswordAgainEdit")->setText(passwordAgain);
        SeenDialog seen;
        QObject owner;
        AnswerNextDialog(&owner, seen);
        Click(&sheet, "saveButton");
        QCOMPARE(seen.text, message);
        QCOMPARE(sheet.result(), int(message.isEmpty() ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(Child<QTabWidget>(&sheet, "taskTabs")->currentIndex(), tab);
        if (!focus.isEmpty()) {
            QVERIFY(HasFocus(&sheet, focus));
        }
    }

    // Modify opens the sheet on the selected task, whose Cancel changes nothing (Save is
    // part of the task journey); New task and dropped files open the wizard, whose Cancel
    // adds nothing.
    void viewCommandsReachTheSheetAndWizard() {
        test::TempDir dir;
        dir.Write("docs/a.txt", "a");
        TaskList tasks;
        test::ViewObserver observer;
        CTarnisView view(tasks, dir.Path(), observer);
        TaskRecord* task = tasks.NewTask(QStringLiteral("Docs"), kTaskBackup);
        view.PlaceNewTask(tasks.IndexOfTask(task));
        test::LogCapture log;

        const TaskDestination before = task->destination;
        QObject owner;
        bool sheetShown = false;
        test::WhenModal<CTaskPropertySheet>(&owner, [&sheetShown](CTaskPropertySheet* sheet) {
            sheetShown = sheet->Task().name == QStringLiteral("Docs");
            Child<QComboBox>(sheet, "destinationCombo")->setEditText(QStringLiteral("/tmp/x"));
            Click(sheet, "cancelButton");
        });
        view.Action(ViewCommand::kModify)->trigger();
        QVERIFY(sheetShown);
        QVERIFY(task->destination == before);
        QCOMPARE(log.CountEndingWith(QStringLiteral("Task was changed")), 0);

        int wizardItems = -1;
        auto cancelWizard = [&wizardItems](CNewTaskWizard* wizard) {
            wizardItems = static_cast<int>(wizard->Task().items.size());
            Click(wizard, "cancelButton");
        };
        test::WhenModal<CSelectTaskTypeDialog>(&owner, [&](CSelectTaskTypeDialog* dialog) {
            test::WhenModal<CNewTaskWizard>(&owner, cancelWizard);
            dialog->accept();
        });
        view.Action(ViewCommand::kNewTask)->trigger();
        QCOMPARE(wizardItems, 0);

        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(dir.Path() + "/docs")});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, {});
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &files, Qt::LeftButton, {});
        test::WhenModal<CNewTaskWizard>(&owner, cancelWizard);
        QApplication::sendEvent(view.viewport(), &enter);
        QApplication::sendEvent(view.viewport(), &drop);
        QTRY_COMPARE(wizardItems, 1);
        QCOMPARE(tasks.LiveTaskCount(), 1);
        QCOMPARE(log.CountEndingWith(QStringLiteral("New task added")), 0);
    }

    // A run that starts while the sheet is open (a task handed over by another program)
    // reads the task on the worker thread: the saved change waits for the run to end.
    void taskChangedDuringARunWaitsForItsEnd() {
        test::TempDir dir;
        TaskList tasks;
        test::ViewObserver observer;
        CTarnisView view(tasks, dir.Path(), observer);
        TaskRecord* task = tasks.NewTask(QStringLiteral("Docs"), kTaskBackup);
        task->destination.path = QStringLiteral("/tmp/first/");
        view.PlaceNewTask(tasks.IndexOfTask(task));
        test::HeldJob job;
        view.Queue().SetBackupJob(job.Job());
        test::LogCapture log;

        QObject owner;
        test::WhenModal<CTaskPropertySheet>(&owner, [&view](CTaskPropertySheet* sheet) {
            view.RunTaskByName(QStringLiteral("Docs"));
            Child<QComboBox>(sheet, "destinationCombo")->setEditText(QStringLiteral("/tmp/x"));
            Click(sheet, "saveButton");
        });
        view.Action(ViewCommand::kModify)->trigger();
        QVERIFY(view.Queue().IsRunning());
        QVERIFY(!view.Action(ViewCommand::kModify)->isEnabled());
        QCOMPARE(task->destination.path, QStringLiteral("/tmp/first/"));
        job.Open();
        QTRY_COMPARE(task->destination.path, QStringLiteral("/tmp/x/"));
        QCOMPARE(log.CountEndingWith(QStringLiteral("Task was changed")), 1);
    }
};

QTEST_MAIN(TestTaskPages)
#include "tst_TaskPages.moc"
