// The two dialogs of a restore, "Restore data" and "Several backups found", as wiring:
// clicks reach their models and Ask writes the answer back. The rules are tested with
// the models in tests/restore.

#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

#include "WindowTesting.h"
#include "ui/CBackupChoiceDialog.h"
#include "ui/CRestoreDataDialog.h"

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

class TestRestoreDialogs : public QObject {
    Q_OBJECT

  private slots:
    void init() { m_watchers = std::make_unique<QObject>(); }
    void cleanup() { m_watchers.reset(); }

    // Rows sorted by a header click, a button and a click in the check column reach the
    // records they show: only the checks are written back.
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

        WhenModal<CBackupChoiceDialog>(m_watchers.get(),
                                       [](CBackupChoiceDialog* dialog) { dialog->reject(); });
        QCOMPARE(CBackupChoiceDialog::Ask(nullptr, task), -1);
    }

  private:
    static TaskRecord DatedTask() {
        TaskRecord task;
        task.name = QStringLiteral("Docs");
        for (int day = 1; day <= 2; ++day) {
            const QDateTime time(QDate(2024, 1, day), QTime(9, 30));
            task.history.push_back({QStringLiteral("/media/usb/%1/").arg(day), QString(),
                                    CalendarTimeFromDateTime(time)});
        }
        return task;
    }

    std::unique_ptr<QObject> m_watchers;
};

QTEST_MAIN(TestRestoreDialogs)
#include "tst_RestoreDialogs.moc"
