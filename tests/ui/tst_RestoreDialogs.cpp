// The two dialogs of a restore: "Restore data" (what to restore) and "Several backups
// found" (which dated backup), driven through their widgets and their Ask functions.

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <functional>
#include <memory>

#include "restore/BackupChoiceModel.h"
#include "support/WidgetTesting.h"
#include "ui/CBackupChoiceDialog.h"
#include "ui/CRestoreDataDialog.h"
#include "ui/ModalDialogScope.h"

using namespace corvane;

namespace {

using test::WhenModal;

QPushButton* Button(QWidget* dialog, const QString& text) {
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (button->text() == text) {
            return button;
        }
    }
    return nullptr;
}

QTreeWidget* List(QWidget* dialog) {
    return dialog->findChild<QTreeWidget*>();
}

QString Caption(QWidget* dialog) {
    return dialog->findChild<QLabel*>(QStringLiteral("caption"))->text();
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

QStringList Column(QTreeWidget* list, int column) {
    QStringList texts;
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        texts << list->topLevelItem(row)->text(column);
    }
    return texts;
}

QStringList CheckedSources(QTreeWidget* list) {
    QStringList texts;
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = list->topLevelItem(row);
        if (item->checkState(RestoreDataModel::kCheckColumn) == Qt::Checked) {
            texts << item->text(RestoreDataModel::kSourceColumn);
        }
    }
    return texts;
}

RestoreItem FileItem(const QString& source, qint64 sourceTime, quint64 sourceSize,
                     qint64 archiveTime, quint64 archiveSize) {
    RestoreItem item;
    item.sourceName = source;
    item.archiveName = QStringLiteral("docs.zip:Docs/") + source.section('/', -1);
    if (!source.isEmpty()) {
        item.sourceTime = sourceTime;
        item.sourceSize = sourceSize;
    }
    item.archiveTime = archiveTime;
    item.archiveSize = archiveSize;
    return item;
}

constexpr qint64 kStored = 1700000000;

// One line of each kind: identical, newer, deleted, a registry key, older.
std::vector<RestoreItem> SampleItems() {
    RestoreItem key;
    key.sourceName = QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarnis");
    key.archiveName = QStringLiteral("Tarnis.reg");
    return {
        FileItem("/home/ann/Docs/same.txt", kStored, 10, kStored, 10),
        FileItem("/home/ann/Docs/Changed.txt", kStored + 60, 12, kStored, 10),
        FileItem("", 0, 0, kStored, 7),
        key,
        FileItem("/home/ann/Docs/old.txt", kStored - 60, 10, kStored, 10),
    };
}

QColor Rgb(int r, int g, int b) {
    return QColor(r, g, b);
}

}  // namespace

class TestRestoreDialogs : public QObject {
    Q_OBJECT

  private slots:
    void init() { m_watchers = std::make_unique<QObject>(); }
    void cleanup() { m_watchers.reset(); }

    void restoreDataShowsLinesColumnsAndColours() {
        CRestoreDataDialog dialog(SampleItems());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Restore data"));
        QTreeWidget* list = List(&dialog);
        QCOMPARE(list->columnCount(), 6);
        QCOMPARE(list->headerItem()->text(0), QString());
        QCOMPARE(list->headerItem()->text(1), QStringLiteral("Source file name"));
        QCOMPARE(list->headerItem()->text(5), QStringLiteral("Status"));
        QCOMPARE(list->columnWidth(1), 200);
        for (const char* text : {"Check all", "Uncheck all", "Uncheck identical", "Uncheck newer",
                                 "Refresh", "Restore checked", "Cancel"}) {
            QVERIFY2(Button(&dialog, text) != nullptr, qPrintable(text));
        }
        QCOMPARE(Column(list, RestoreDataModel::kStatusColumn),
                 QStringList({"identical", "newer", "deleted", "", "older"}));
        QCOMPARE(list->topLevelItem(2)->text(RestoreDataModel::kSourceColumn),
                 QStringLiteral("file not found"));
        // Registry lines show no times.
        QCOMPARE(list->topLevelItem(3)->text(RestoreDataModel::kSourceTimeColumn), QString());
        QVERIFY(!list->topLevelItem(0)->text(RestoreDataModel::kSourceTimeColumn).isEmpty());
        // Every line starts checked, drawn as a check box.
        QCOMPARE(CheckedSources(list).size(), 5);
        QCOMPARE(Caption(&dialog), QStringLiteral("5 items checked"));

        const QColor expected[] = {Rgb(0, 200, 0), Rgb(220, 0, 0), Rgb(220, 0, 0), Rgb(0, 0, 200),
                                   Rgb(0, 200, 0)};
        for (int row = 0; row < 5; ++row) {
            for (int column = 0; column < 6; ++column) {
                QCOMPARE(list->topLevelItem(row)->foreground(column).color(), expected[row]);
            }
        }
        QCOMPARE(list->palette().color(QPalette::Active, QPalette::HighlightedText),
                 Rgb(200, 200, 200));
    }

    void restoreDataButtonsChangeChecksAndCaption() {
        CRestoreDataDialog dialog(SampleItems());
        QTreeWidget* list = List(&dialog);
        Button(&dialog, "Uncheck identical")->click();
        QCOMPARE(Caption(&dialog), QStringLiteral("4 items checked"));
        QVERIFY(!CheckedSources(list).contains("/home/ann/Docs/same.txt"));
        Button(&dialog, "Uncheck newer")->click();
        QCOMPARE(Caption(&dialog), QStringLiteral("3 items checked"));
        QCOMPARE(CheckedSources(list),
                 QStringList({"file not found", "HKEY_CURRENT_USER\\Software\\Tarnis",
                              "/home/ann/Docs/old.txt"}));
        Button(&dialog, "Uncheck all")->click();
        QCOMPARE(Caption(&dialog), QStringLiteral("No items checked"));
        QVERIFY(CheckedSources(list).isEmpty());
        Button(&dialog, "Check all")->click();
        QCOMPARE(Caption(&dialog), QStringLiteral("5 items checked"));
        Button(&dialog, "Refresh")->click();
        QCOMPARE(Caption(&dialog), QStringLiteral("5 items checked"));
    }

    void restoreDataClickTogglesOnlyInTheCheckColumn() {
        CRestoreDataDialog dialog(SampleItems());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTreeWidget* list = List(&dialog);
        ClickCell(list, 1, RestoreDataModel::kSourceColumn);
        QCOMPARE(list->topLevelItem(1)->checkState(0), Qt::Checked);
        QCOMPARE(Caption(&dialog), QStringLiteral("5 items checked"));
        ClickCell(list, 1, RestoreDataModel::kCheckColumn);
        QCOMPARE(list->topLevelItem(1)->checkState(0), Qt::Unchecked);
        QCOMPARE(Caption(&dialog), QStringLiteral("4 items checked"));
        ClickCell(list, 1, RestoreDataModel::kCheckColumn);
        QCOMPARE(list->topLevelItem(1)->checkState(0), Qt::Checked);
        // The space bar toggles the current line.
        list->setFocus();
        list->setCurrentItem(list->topLevelItem(4));
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(list->topLevelItem(4)->checkState(0), Qt::Unchecked);
        QCOMPARE(Caption(&dialog), QStringLiteral("4 items checked"));
    }

    void restoreDataSortsByTheClickedColumn() {
        CRestoreDataDialog dialog(SampleItems());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTreeWidget* list = List(&dialog);
        ClickHeader(list, RestoreDataModel::kStatusColumn);
        // Lower-cased ascending, lines without a status last.
        QCOMPARE(Column(list, RestoreDataModel::kStatusColumn),
                 QStringList({"deleted", "identical", "newer", "older", ""}));
        ClickHeader(list, RestoreDataModel::kSourceColumn);
        QCOMPARE(Column(list, RestoreDataModel::kSourceColumn),
                 QStringList({"/home/ann/Docs/Changed.txt", "/home/ann/Docs/old.txt",
                              "/home/ann/Docs/same.txt", "file not found",
                              "HKEY_CURRENT_USER\\Software\\Tarnis"}));
        // Colours and checks move with their lines.
        QCOMPARE(list->topLevelItem(0)->foreground(1).color(), Rgb(220, 0, 0));
        QCOMPARE(list->topLevelItem(4)->foreground(1).color(), Rgb(0, 0, 200));
    }

    void askWritesTheChecksBackToTheirRecords() {
        std::vector<RestoreItem> items = SampleItems();
        const std::vector<RestoreItem> before = items;
        bool flagRaised = false;
        WhenModal<CRestoreDataDialog>(m_watchers.get(), [&](CRestoreDataDialog* dialog) {
            flagRaised = ModalDialogScope::IsRaised();
            QTreeWidget* list = List(dialog);
            ClickHeader(list, RestoreDataModel::kSourceColumn);  // rows no longer in list order
            Button(dialog, "Uncheck identical")->click();
            ClickCell(list, 1, RestoreDataModel::kCheckColumn);  // old.txt after sorting
            Button(dialog, "Restore checked")->click();
        });
        QVERIFY(CRestoreDataDialog::Ask(nullptr, items));
        QVERIFY(flagRaised);
        QVERIFY(!ModalDialogScope::IsRaised());
        const bool expected[] = {false, true, true, true, false};
        for (size_t i = 0; i < items.size(); ++i) {
            QCOMPARE(items[i].checked, expected[i]);
            RestoreItem unchanged = items[i];
            unchanged.checked = before[i].checked;
            QCOMPARE(unchanged, before[i]);
        }
    }

    void askCancelledLeavesTheRecords() {
        std::vector<RestoreItem> items = SampleItems();
        WhenModal<CRestoreDataDialog>(m_watchers.get(), [](CRestoreDataDialog* dialog) {
            Button(dialog, "Uncheck all")->click();
            Button(dialog, "Cancel")->click();
        });
        QVERIFY(!CRestoreDataDialog::Ask(nullptr, items));
        for (const RestoreItem& item : items) {
            QVERIFY(item.checked);
        }
    }

    void backupChoiceShowsTheHistory() {
        const TaskRecord task = DatedTask();
        CBackupChoiceDialog dialog(task);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Several backups found"));
        bool promptShown = false;
        for (QLabel* label : dialog.findChildren<QLabel*>()) {
            promptShown = promptShown || label->text() == BackupChoiceModel::Prompt();
        }
        QVERIFY(promptShown);
        QTreeWidget* list = List(&dialog);
        QCOMPARE(list->headerItem()->text(0), QStringLiteral("Backup date and time"));
        QCOMPARE(list->headerItem()->text(1), QStringLiteral("Storage folder"));
        QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(Column(list, 1),
                 QStringList({"/media/usb/2024_01/docs 01.zip", "/media/usb/2024_02/docs 02.zip",
                              "/media/usb/2024_03/"}));
        const BackupChoiceModel model(task.history);
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(list->topLevelItem(row)->text(0), model.Text(row, 0));
        }
        dialog.resize(600, 300);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(list->columnWidth(0), 140);
        QCOMPARE(list->columnWidth(1), list->viewport()->width() - 141);
    }

    void backupChoiceNeedsASelectedLine() {
        const TaskRecord task = DatedTask();
        QString refusalTitle;
        QString refusalText;
        bool stayedOpen = false;
        WhenModal<CBackupChoiceDialog>(m_watchers.get(), [&](CBackupChoiceDialog* dialog) {
            WhenModal<QMessageBox>(m_watchers.get(), [&, dialog](QMessageBox* box) {
                refusalTitle = box->windowTitle();
                refusalText = box->text();
                box->accept();
                // Still open after the refusal: choose a line now.
                QTimer::singleShot(0, dialog, [&, dialog] {
                    stayedOpen = dialog->isVisible();
                    QTreeWidget* list = List(dialog);
                    list->setCurrentItem(list->topLevelItem(1));
                    dialog->accept();
                });
            });
            dialog->accept();  // OK without a selection
        });
        QCOMPARE(CBackupChoiceDialog::Ask(nullptr, task), 1);
        QCOMPARE(refusalTitle, QStringLiteral("Warning"));
        QCOMPARE(refusalText, QStringLiteral("You must select item from the list"));
        QVERIFY(stayedOpen);
    }

    void backupChoiceCancelledAnswersMinusOne() {
        const TaskRecord task = DatedTask();
        WhenModal<CBackupChoiceDialog>(m_watchers.get(), [](CBackupChoiceDialog* dialog) {
            QTreeWidget* list = List(dialog);
            list->setCurrentItem(list->topLevelItem(2));
            dialog->reject();
        });
        QCOMPARE(CBackupChoiceDialog::Ask(nullptr, task), -1);
    }

  private:
    static TaskRecord DatedTask() {
        TaskRecord task;
        task.name = QStringLiteral("Docs");
        task.backupMode = kMethodZip;
        for (int month = 1; month <= 3; ++month) {
            BackupHistoryEntry entry;
            entry.folder = QStringLiteral("/media/usb/2024_%1").arg(month, 2, 10, QLatin1Char('0'));
            if (month < 3) {
                entry.archiveName =
                    QStringLiteral("docs %1.zip").arg(month, 2, 10, QLatin1Char('0'));
            } else {
                entry.folder += QLatin1Char('/');
            }
            entry.time = CalendarTimeFromDateTime(QDateTime(QDate(2024, month, 5), QTime(9, 30)));
            task.history.push_back(entry);
        }
        return task;
    }

    std::unique_ptr<QObject> m_watchers;
};

QTEST_MAIN(TestRestoreDialogs)
#include "tst_RestoreDialogs.moc"
