// The Options dialogs and the shutdown countdown: what reaches the settings (only on
// Save), what the folder chooser may hand back, and a countdown that stops when ended.

#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QSettings>
#include <QtTest>
#include <memory>

#include "WindowTesting.h"
#include "platform/SoundSettings.h"
#include "platform/UserSettings.h"
#include "support/TempDir.h"
#include "ui/CDefaultFolderDialog.h"
#include "ui/CShutdownDialog.h"
#include "ui/CSoundsDialog.h"

namespace corvane {
namespace {

const test::WidgetTestEnvironment g_environment;

}  // namespace

class OptionsDialogsTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        QSettings("Tarnis", "Tarnis").clear();
        m_watchers = std::make_unique<QObject>();
    }
    void cleanup() { m_watchers.reset(); }

    void soundsDialogStoresOnlyOnSave() {
        SetSoundEnabled(3, false);
        SetSoundFile(3, "/snd/done.wav");
        for (const bool save : {false, true}) {
            CSoundsDialog dialog;
            QVERIFY(!dialog.EnabledBox(3)->isChecked());
            QCOMPARE(dialog.PathField(3)->text(), QString("/snd/done.wav"));
            dialog.EnabledBox(4)->click();
            dialog.PathField(1)->setText("/snd/hello.wav");
            (save ? dialog.SaveButton() : dialog.CancelButton())->click();
            QCOMPARE(IsSoundEnabled(4), !save);
            QCOMPARE(GetSoundFile(1), save ? QString("/snd/hello.wav") : QString());
        }
    }

    // A chooser that hands back something other than a folder is refused with a notice.
    void defaultFolderTakesOnlyFolders() {
        test::TempDir files;
        files.Write("notes.txt", "x");
        CDefaultFolderDialog dialog;
        dialog.PathField()->setText("/kept");
        test::SeenDialog notice;
        test::WhenModal<QFileDialog>(m_watchers.get(), [&](QFileDialog* chooser) {
            chooser->selectFile(files.File("notes.txt"));
            test::AnswerNextDialog(m_watchers.get(), notice);
            static_cast<QDialog*>(chooser)->done(QDialog::Accepted);
        });
        dialog.BrowseButton()->click();
        QCOMPARE(notice.text,
                 QString("Cannot select this item, you can select only local or network folders"));
        QCOMPARE(dialog.PathField()->text(), QString("/kept"));
        dialog.SaveButton()->click();
        QCOMPARE(UserSettings::DefaultBackupFolder(), QString("/kept"));
    }

    void countdownStopsWhenEnded_data() {
        QTest::addColumn<int>("pressAt");  // 0: never pressed
        QTest::addColumn<bool>("pressShutdown");
        QTest::addColumn<int>("expectedResult");
        QTest::addColumn<int>("expectedSounds");
        QTest::newRow("runs out") << 0 << false << int(QDialog::Accepted) << 2;
        QTest::newRow("cancel before the first sound") << 2 << false << int(QDialog::Rejected) << 0;
        QTest::newRow("cancel between the sounds") << 4 << false << int(QDialog::Rejected) << 1;
        QTest::newRow("shutdown pressed at once") << 1 << true << int(QDialog::Accepted) << 0;
    }
    void countdownStopsWhenEnded() {
        QFETCH(int, pressAt);
        QFETCH(bool, pressShutdown);
        QFETCH(int, expectedResult);
        QFETCH(int, expectedSounds);
        int sounds = 0;
        int ticks = 0;
        CShutdownDialog dialog(nullptr, 5, [&](int) { ++sounds; });
        connect(&dialog, &CShutdownDialog::Ticked, [&](int tick) {
            ++ticks;
            if (tick == pressAt) {
                (pressShutdown ? dialog.ShutdownButton() : dialog.CancelButton())->click();
            }
        });
        QCOMPARE(dialog.exec(), expectedResult);
        QCOMPARE(sounds, expectedSounds);
        // The timer is stopped: many intervals later no tick has come.
        const int ended = ticks;
        QTest::qWait(100);
        QCOMPARE(ticks, ended);
        QCOMPARE(ended, pressAt == 0 ? CShutdownDialog::kCountdownTicks : pressAt);
    }

  private:
    std::unique_ptr<QObject> m_watchers;
};

}  // namespace corvane

QTEST_MAIN(corvane::OptionsDialogsTest)
#include "tst_OptionsDialogs.moc"
