// The dialogs as wiring: Options store only on Save, the countdown stops when ended, the
// restore dialogs reach their models and write the answer back.

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSpinBox>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

#include "WindowTesting.h"
#include "model/FileName.h"
#include "platform/ContactStore.h"
#include "platform/SoundSettings.h"
#include "platform/UserSettings.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "ui/CArchiveThreadsDialog.h"
#include "ui/CBackupChoiceDialog.h"
#include "ui/CContactsFolderDialog.h"
#include "ui/CDefaultFolderDialog.h"
#include "ui/CRestoreDataDialog.h"
#include "ui/CShutdownDialog.h"
#include "ui/CSoundsDialog.h"

using namespace corvane;
using test::WhenModal;

namespace {

const test::WidgetTestEnvironment g_environment;

QPushButton* Button(QWidget* dialog, const QString& text) {
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (button->text() == text) {
            return button;
        }
    }
    return nullptr;
}

void ClickCell(QTreeWidget* list, int row, int column) {
    const QRect rect = list->visualRect(list->model()->index(row, column));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

void ClickHeader(QTreeWidget* list, int column) {
    QHeaderView* header = list->header();
    const QPoint point(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                       header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, point);
}

// Stored at one time; on disk identical, newer and older.
std::vector<RestoreItem> SampleItems() {
    std::vector<RestoreItem> items;
    for (const auto& [name, age] :
         {std::pair("same.txt", 0), {"Changed.txt", 60}, {"old.txt", -60}}) {
        RestoreItem item;
        item.sourceName = QStringLiteral("/home/ann/Docs/") + name;
        item.archiveName = QStringLiteral("docs.zip:Docs/") + name;
        item.sourceTime = 1700000000 + age;
        item.archiveTime = 1700000000;
        item.sourceSize = item.archiveSize = 10;
        items.push_back(item);
    }
    return items;
}

}  // namespace

class TestDialogs : public QObject {
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

    // 0 reads as every core; only Save stores.
    void archiveThreadsStoresOnlyOnSave() {
        QSettings("Tarnis", "Tarnis").setValue("Main/ArchiveThreads", 3);
        for (const bool save : {false, true}) {
            CArchiveThreadsDialog dialog;
            QSpinBox* field = dialog.ThreadsField();
            QCOMPARE(field->value(), 3);
            field->setValue(0);
            QVERIFY(field->text().startsWith("All cores ("));
            (save ? dialog.SaveButton() : dialog.CancelButton())->click();
            QCOMPARE(UserSettings::ArchiveThreads(), save ? 0 : 3);
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

    void contactsFolderOffersAddressBooksAndKeepsAnyFolder() {
        test::TempDir data;
        test::ScopedEnv dataHome("XDG_DATA_HOME", data.Path().toUtf8());
        QVERIFY(QDir().mkpath(data.File("contacts/work/")) &&
                QDir().mkpath(data.File("contacts/default")));
        CContactsFolderDialog dialog;
        QComboBox* field = dialog.FolderField();
        QCOMPARE(field->itemText(1) + '|' + field->currentText(),
                 data.File("contacts/work") + '|' + data.File("contacts/default"));
        field->setEditText("/books/other/");
        dialog.SaveButton()->click();
        QCOMPARE(ContactStore::ConfiguredFolder(), QString("/books/other"));
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

    // Rows sorted by a header click, a button and a click in the check column reach the
    // records they show: only the checks are written back.
    void askWritesTheChecksBackToTheirRecords() {
        std::vector<RestoreItem> items = SampleItems();
        const std::vector<RestoreItem> before = items;
        bool flagRaised = false;
        WhenModal<CRestoreDataDialog>(m_watchers.get(), [&](CRestoreDataDialog* dialog) {
            flagRaised = ModalDialogScope::IsRaised();
            QTreeWidget* list = dialog->findChild<QTreeWidget*>();
            ClickHeader(list, RestoreDataModel::kSourceColumn);  // rows no longer in list order
            Button(dialog, "Uncheck identical")->click();
            ClickCell(list, 1, RestoreDataModel::kCheckColumn);  // old.txt after sorting
            Button(dialog, "Restore checked")->click();
        });
        QVERIFY(CRestoreDataDialog::Ask(nullptr, items));
        QVERIFY(flagRaised);
        QVERIFY(!ModalDialogScope::IsRaised());

        // Cancelled, the records stay as they were.
        WhenModal<CRestoreDataDialog>(m_watchers.get(), [](CRestoreDataDialog* dialog) {
            Button(dialog, "Check all")->click();
            Button(dialog, "Cancel")->click();
        });
        QVERIFY(!CRestoreDataDialog::Ask(nullptr, items));
        const bool expected[] = {false, true, false};
        for (size_t i = 0; i < items.size(); ++i) {
            QCOMPARE(items[i].checked, expected[i]);
            RestoreItem unchanged = items[i];
            unchanged.checked = before[i].checked;
            QCOMPARE(unchanged, before[i]);
        }
    }

    void backupChoiceNeedsASelectedLine() {
        TaskRecord task;
        for (int day = 1; day <= 2; ++day) {
            const QDateTime time(QDate(2024, 1, day), QTime(9, 30));
            task.history.push_back({QStringLiteral("/media/usb/%1/").arg(day), QString(),
                                    CalendarTimeFromDateTime(time)});
        }
        QString refusal;
        bool stayedOpen = false;
        WhenModal<CBackupChoiceDialog>(m_watchers.get(), [&](CBackupChoiceDialog* dialog) {
            WhenModal<QMessageBox>(m_watchers.get(), [&, dialog](QMessageBox* box) {
                refusal = box->text();
                box->accept();
                // Still open after the refusal: choose a line now.
                QTimer::singleShot(0, dialog, [&, dialog] {
                    stayedOpen = dialog->isVisible();
                    QTreeWidget* list = dialog->findChild<QTreeWidget*>();
                    list->setCurrentItem(list->topLevelItem(1));
                    dialog->accept();
                });
            });
            dialog->accept();  // OK without a selection
        });
        QCOMPARE(CBackupChoiceDialog::Ask(nullptr, task), 1);
        QCOMPARE(refusal, QStringLiteral("You must select item from the list"));
        QVERIFY(stayedOpen);

        WhenModal<CBackupChoiceDialog>(m_watchers.get(),
                                       [](CBackupChoiceDialog* dialog) { dialog->reject(); });
        QCOMPARE(CBackupChoiceDialog::Ask(nullptr, task), -1);
    }

    // A long path (with a byte that is no UTF-8) is elided in the middle of its column
    // and shown whole in its tip; the times keep their width, the columns fill the list
    // without scrolling, and the size the user gave the dialog is where it opens next.
    void restoreListFitsItsPathsAndKeepsItsSize() {
        std::vector<RestoreItem> items = SampleItems();
        items[0].sourceName =
            FileNameFromBytes("/home/ann/" + QByteArray("a rather long folder name/").repeated(12) +
                              "re\xffport.txt");
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        for (const bool first : {true, false}) {
            CRestoreDataDialog dialog(items);
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            if (first) {
                QVERIFY(dialog.width() >= screen.width() * 2 / 3);
                QVERIFY(dialog.width() <= screen.width());
            } else {
                QCOMPARE(dialog.size(), QSize(640, 380));
            }
            auto* list = dialog.findChild<QTreeWidget*>("items");
            const QAbstractItemView* view = list;  // the tree view hides the content width
            QCOMPARE(list->textElideMode(), Qt::ElideMiddle);
            const QModelIndex path = list->model()->index(0, RestoreDataModel::kSourceColumn);
            QCOMPARE(path.data(Qt::ToolTipRole).toString(),
                     FileNameForDisplay(items[0].sourceName));
            QVERIFY(path.data().toString().endsWith("re\\xFFport.txt"));
            int widths = 0;
            for (int column = 0; column < RestoreDataModel::kColumnCount; ++column) {
                widths += list->columnWidth(column);
            }
            QTRY_COMPARE(widths, list->viewport()->width());
            QVERIFY(list->columnWidth(RestoreDataModel::kSourceColumn) <
                    view->sizeHintForColumn(RestoreDataModel::kSourceColumn));
            QVERIFY(list->columnWidth(RestoreDataModel::kArchiveTimeColumn) >=
                    view->sizeHintForColumn(RestoreDataModel::kArchiveTimeColumn));
            dialog.resize(640, 380);
            QTRY_COMPARE(dialog.size(), QSize(640, 380));
            dialog.reject();
        }
    }

  private:
    std::unique_ptr<QObject> m_watchers;
};

QTEST_MAIN(TestDialogs)
#include "tst_Dialogs.moc"
