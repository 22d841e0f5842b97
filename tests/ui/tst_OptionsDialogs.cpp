#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <utility>
#include <vector>

#include "platform/SoundSettings.h"
#include "platform/UserSettings.h"
#include "ui/CDefaultFolderDialog.h"
#include "ui/CShutdownDialog.h"
#include "ui/CSoundsDialog.h"

namespace corvane {
namespace {

// The settings folder is fixed before QApplication exists (QSettings keeps the folder it
// found first); the shutdown layer is never asked for real.
QTemporaryDir g_configHome(QDir::tempPath() + "/corvane-config-XXXXXX");
const bool g_environmentSet = [] {
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(g_configHome.path()));
    qputenv("CORVANE_NO_SHUTDOWN", "1");
    return true;
}();

QString ConfigFile() {
    return g_configHome.path() + "/Tarnis/Tarnis.conf";
}

QByteArray ConfigBytes() {
    QFile file(ConfigFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs `handle` on the modal dialog of type T as soon as it is up (the code under test
// is inside exec() then). Gives up after a few seconds, so a dialog that never appears
// fails the test instead of hanging it.
template <typename T>
void WhenModal(std::function<void(T*)> handle) {
    auto* poll = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, tries, handle] {
        if (T* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            handle(dialog);
        } else if (++*tries > 500) {
            poll->stop();
            poll->deleteLater();
            qWarning("no modal dialog of the expected type appeared");
        }
    });
    poll->start(10);
}

}  // namespace

class OptionsDialogsTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        QSettings settings(QStringLiteral("Tarnis"), QStringLiteral("Tarnis"));
        settings.clear();
        m_files.reset(new QTemporaryDir);
        QVERIFY(m_files->isValid());
    }

    void soundsDialogShowsTheStoredChoices() {
        SetSoundEnabled(2, false);
        SetSoundEnabled(5, false);
        SetSoundFile(3, "/snd/done.wav");
        SetSoundFile(5, "/snd/bye.wav");

        CSoundsDialog dialog;
        QCOMPARE(dialog.windowTitle(), QString("Sounds"));
        const QStringList labels = {"Program started", "Task added", "Task completed",
                                    "Task failed", "Shutdown now"};
        const std::vector<bool> checked = {true, false, true, true, false};
        const QStringList paths = {"", "", "/snd/done.wav", "", "/snd/bye.wav"};
        for (int event = 1; event <= 5; ++event) {
            const int i = event - 1;
            QVERIFY(dialog.EnabledBox(event) != nullptr);
            QCOMPARE(dialog.EnabledBox(event)->text(), labels[i]);
            QCOMPARE(dialog.EnabledBox(event)->isChecked(), checked[static_cast<size_t>(i)]);
            QCOMPARE(dialog.PathField(event)->text(), paths[i]);
            QCOMPARE(dialog.BrowseButton(event)->text(), QString("..."));
            QCOMPARE(dialog.PlayButton(event)->text(), QString("Play"));
        }
        QVERIFY(dialog.EnabledBox(0) == nullptr);
        QVERIFY(dialog.PathField(6) == nullptr);
        QCOMPARE(dialog.SaveButton()->text(), QString("Save"));
        QCOMPARE(dialog.CancelButton()->text(), QString("Cancel"));
    }

    void soundsDialogSaveWritesAllPathsAndFlags() {
        SetSoundFile(2, "/snd/old-add.wav");
        CSoundsDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::mouseClick(dialog.EnabledBox(4), Qt::LeftButton);  // untick "Task failed"
        dialog.PathField(1)->setText("/snd/hello.wav");
        dialog.PathField(2)->clear();
        QTest::mouseClick(dialog.SaveButton(), Qt::LeftButton);

        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(IsSoundEnabled(4), false);
        for (int event : {1, 2, 3, 5}) {
            QCOMPARE(IsSoundEnabled(event), true);
        }
        QCOMPARE(GetSoundFile(1), QString("/snd/hello.wav"));
        QCOMPARE(GetSoundFile(2), QString());

        // Every one of the ten values is written, the untouched ones too.
        const QStringList lines = QString::fromUtf8(ConfigBytes()).split('\n');
        QVERIFY(lines.contains("SndItem4Play=0"));
        for (int event = 1; event <= 5; ++event) {
            bool hasPlay = false;
            bool hasFile = false;
            for (const QString& line : lines) {
                hasPlay = hasPlay || line.startsWith(QString("SndItem%1Play=").arg(event));
                hasFile = hasFile || line.startsWith(QString("SndItem%1File=").arg(event));
            }
            QVERIFY2(hasPlay && hasFile, qPrintable(QString::number(event)));
        }
    }

    void soundsDialogCancelWritesNothing() {
        SetSoundEnabled(3, false);
        SetSoundFile(3, "/snd/done.wav");
        const QByteArray before = ConfigBytes();

        CSoundsDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::mouseClick(dialog.EnabledBox(3), Qt::LeftButton);
        QTest::mouseClick(dialog.EnabledBox(1), Qt::LeftButton);
        dialog.PathField(3)->setText("/snd/other.wav");
        // Playing a row stores nothing either (and a row without a file plays nothing).
        QTest::mouseClick(dialog.PlayButton(2), Qt::LeftButton);
        QTest::mouseClick(dialog.PlayButton(3), Qt::LeftButton);
        QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);

        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(ConfigBytes(), before);
        QCOMPARE(IsSoundEnabled(1), true);
        QCOMPARE(IsSoundEnabled(3), false);
        QCOMPARE(GetSoundFile(3), QString("/snd/done.wav"));
    }

    void soundsDialogBrowseTakesTheChosenWavFile() {
        const QString wav = m_files->filePath("shutdown.wav");
        QFile file(wav);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();

        CSoundsDialog dialog;
        QString title;
        QStringList filters;
        WhenModal<QFileDialog>([&](QFileDialog* chooser) {
            title = chooser->windowTitle();
            filters = chooser->nameFilters();
            chooser->selectFile(wav);
            static_cast<QDialog*>(chooser)->accept();
        });
        dialog.BrowseButton(5)->click();
        QCOMPARE(title, QString("Select sound file"));
        QCOMPARE(filters, QStringList{"WAV Files (*.wav)"});
        QCOMPARE(dialog.PathField(5)->text(), wav);
        QCOMPARE(dialog.PathField(4)->text(), QString());

        // Cancelling the chooser keeps the path.
        WhenModal<QFileDialog>([](QFileDialog* chooser) { chooser->reject(); });
        dialog.BrowseButton(5)->click();
        QCOMPARE(dialog.PathField(5)->text(), wav);
        // Nothing reaches the settings before Save.
        QCOMPARE(GetSoundFile(5), QString());
    }

    void defaultFolderDialogLoadsAndSavesTheFieldUnchanged() {
        UserSettings::SetDefaultBackupFolder("/media/usb/Backups");
        CDefaultFolderDialog dialog;
        QCOMPARE(dialog.windowTitle(),
                 QString("Select folder, where backups will be placed by default"));
        QCOMPARE(dialog.PathField()->text(), QString("/media/usb/Backups"));
        QCOMPARE(dialog.SaveButton()->text(), QString("Save"));

        // No check: a folder that does not exist (yet) and blanks are kept as typed.
        dialog.PathField()->setText("  /no/such/folder/#DD  ");
        QTest::mouseClick(dialog.SaveButton(), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(UserSettings::DefaultBackupFolder(), QString("  /no/such/folder/#DD  "));

        // An emptied field stores the empty folder.
        CDefaultFolderDialog again;
        QCOMPARE(again.PathField()->text(), QString("  /no/such/folder/#DD  "));
        again.PathField()->clear();
        QTest::mouseClick(again.SaveButton(), Qt::LeftButton);
        QCOMPARE(UserSettings::DefaultBackupFolder(), QString());
    }

    void defaultFolderDialogBrowseTakesOnlyFolders() {
        const QString folder = m_files->filePath("Backups");
        QVERIFY(QDir().mkpath(folder));
        const QString plainFile = m_files->filePath("notes.txt");
        QFile file(plainFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();

        CDefaultFolderDialog dialog;
        dialog.PathField()->setText(m_files->path());
        QString title;
        WhenModal<QFileDialog>([&](QFileDialog* chooser) {
            title = chooser->windowTitle();
            chooser->selectFile(folder);
            static_cast<QDialog*>(chooser)->accept();
        });
        dialog.BrowseButton()->click();
        QCOMPARE(title, QString("Select folder where data will be placed"));
        QCOMPARE(QDir::cleanPath(dialog.PathField()->text()), folder);

        // A chooser that hands back something other than a folder: refused with a
        // notice, the field stays.
        dialog.PathField()->setText("/kept");
        QString boxTitle;
        QString boxText;
        WhenModal<QFileDialog>([&](QFileDialog* chooser) {
            chooser->selectFile(plainFile);
            WhenModal<QMessageBox>([&](QMessageBox* box) {
                boxTitle = box->windowTitle();
                boxText = box->text();
                box->accept();
            });
            static_cast<QDialog*>(chooser)->done(QDialog::Accepted);
        });
        dialog.BrowseButton()->click();
        QCOMPARE(boxTitle, QString("Warning"));
        QCOMPARE(boxText,
                 QString("Cannot select this item, you can select only local or network folders"));
        QCOMPARE(dialog.PathField()->text(), QString("/kept"));

        // Cancelling the chooser changes nothing; nothing is stored without Save.
        WhenModal<QFileDialog>([](QFileDialog* chooser) { chooser->reject(); });
        dialog.BrowseButton()->click();
        QCOMPARE(dialog.PathField()->text(), QString("/kept"));
        QCOMPARE(UserSettings::DefaultBackupFolder(), QString());
    }

    void countdownRunsDownAndPressesShutdown() {
        std::vector<std::pair<int, int>> sounds;  // (tick, event)
        QStringList shown;
        CShutdownDialog* dialogPtr = nullptr;
        CShutdownDialog dialog(nullptr, 5,
                               [&](int event) { sounds.emplace_back(dialogPtr->Ticks(), event); });
        dialogPtr = &dialog;
        QCOMPARE(dialog.windowTitle(), QString("Prepare to shutdown..."));
        QVERIFY(!dialog.findChildren<QLabel*>().isEmpty());
        QCOMPARE(dialog.findChildren<QLabel*>().first()->text(),
                 QString("Your computer will be shutdown now"));
        QCOMPARE(dialog.CancelButton()->text(), QString("Cancel"));
        shown << dialog.ShutdownButton()->text();
        connect(&dialog, &CShutdownDialog::Ticked,
                [&] { shown << dialog.ShutdownButton()->text(); });

        QCOMPARE(dialog.exec(), int(QDialog::Accepted));

        QStringList expected;
        for (int remaining = 15; remaining >= 0; --remaining) {
            expected << QString("Shutdown (after %1 seconds)").arg(remaining);
        }
        QCOMPARE(shown, expected);
        QCOMPARE(dialog.Ticks(), 15);
        const std::vector<std::pair<int, int>> twice = {{3, 5}, {10, 5}};
        QVERIFY(sounds == twice);
    }

    void countdownStopsWhenEndedEarly_data() {
        QTest::addColumn<int>("pressAt");
        QTest::addColumn<bool>("pressShutdown");
        QTest::addColumn<int>("expectedResult");
        QTest::addColumn<int>("expectedSounds");
        QTest::newRow("cancel before the first sound") << 2 << false << int(QDialog::Rejected) << 0;
        QTest::newRow("cancel between the sounds") << 4 << false << int(QDialog::Rejected) << 1;
        QTest::newRow("cancel after both sounds") << 12 << false << int(QDialog::Rejected) << 2;
        QTest::newRow("shutdown pressed at once") << 1 << true << int(QDialog::Accepted) << 0;
    }

    void countdownStopsWhenEndedEarly() {
        QFETCH(int, pressAt);
        QFETCH(bool, pressShutdown);
        QFETCH(int, expectedResult);
        QFETCH(int, expectedSounds);

        int soundCount = 0;
        int tickSignals = 0;
        CShutdownDialog dialog(nullptr, 5, [&](int) { ++soundCount; });
        connect(&dialog, &CShutdownDialog::Ticked, [&](int tick) {
            ++tickSignals;
            if (tick == pressAt) {
                (pressShutdown ? dialog.ShutdownButton() : dialog.CancelButton())->click();
            }
        });
        QCOMPARE(dialog.exec(), expectedResult);
        QCOMPARE(dialog.Ticks(), pressAt);
        QCOMPARE(soundCount, expectedSounds);

        // The timer is stopped: many intervals later no tick has come.
        QTest::qWait(100);
        QCOMPARE(tickSignals, pressAt);
        QCOMPARE(dialog.Ticks(), pressAt);
    }

    void askAnswersWhichButtonEndedTheCountdown() {
        QString title;
        WhenModal<CShutdownDialog>([&](CShutdownDialog* dialog) {
            title = dialog->windowTitle();
            dialog->CancelButton()->click();
        });
        QCOMPARE(CShutdownDialog::Ask(nullptr), false);
        QCOMPARE(title, QString("Prepare to shutdown..."));

        WhenModal<CShutdownDialog>([](CShutdownDialog* dialog) {
            QCOMPARE(dialog->ShutdownButton()->text(), QString("Shutdown (after 15 seconds)"));
            dialog->ShutdownButton()->click();
        });
        QCOMPARE(CShutdownDialog::Ask(nullptr), true);

        // Escape cancels like the button.
        WhenModal<CShutdownDialog>(
            [](CShutdownDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
        QCOMPARE(CShutdownDialog::Ask(nullptr), false);
    }

  private:
    std::unique_ptr<QTemporaryDir> m_files;
};

}  // namespace corvane

QTEST_MAIN(corvane::OptionsDialogsTest)
#include "tst_OptionsDialogs.moc"
