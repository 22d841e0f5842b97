// The main view's wiring over real task files: commands reach the tree, the queue and the
// files, drag and drop moves tasks, real backup and estimate jobs run on the worker.

#include <QApplication>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QSettings>
#include <QtTest>
#include <memory>

#include "WindowTesting.h"
#include "app/TaskFiles.h"
#include "log/LogList.h"
#include "log/QueuedLogTarget.h"
#include "support/TempDir.h"
#include "ui/CGroupNameDialog.h"
#include "ui/CTarnisView.h"

using namespace corvane;
using test::AnswerNextDialog;
using test::SeenDialog;
using test::TempDir;

namespace {

const test::WidgetTestEnvironment g_environment;

// Slots: 0 Docs, 1 Mail (ZIP), 2 Old (restore only), 3 Music, 4 Loose. Tree: Home {Mail,
// Docs}, Old, Work {Music}, Empty {}, then Loose, which the group list does not name.
void WriteFixture(const TempDir& dir) {
    dir.Write("src/docs/sub/b.txt", QByteArray(200, 'b'));
    dir.Write("src/note.txt", "note");
    dir.Write("src/mail/inbox", QByteArray(300, 'm'));
    dir.Write("src/music/1.ogg", QByteArray(3000, 'x'));
    dir.Write("src/loose/1.txt", "x");
    auto task = [&dir](int slot, const QString& name, int type, int mode, const QString& more) {
        return QString(R"(<Task%1 taskName="%2" taskType="%3" taskOID="%4" backupMode="%5"
            destType="1" destPath="%6/dest/%7/" archiveName="%7.zip" itemsCount="%8"
            SrcDataType1="1" SrcFolder1="%6/src/%7" DstFolderName1="%7" %9/>)")
            .arg(slot)
            .arg(name)
            .arg(type)
            .arg(11 + slot)
            .arg(mode)
            .arg(dir.Path(), name.toLower())
            .arg(more.isEmpty() ? 1 : 2)
            .arg(more);
    };
    const QString note = QString(R"(SrcDataType2="3" SrcFolder2="%1" DstFolderName2="note.txt")")
                             .arg(dir.File("src/note.txt"));
    dir.Write("CorvTasks.bin",
              ("<TasksList><Main TasksCount=\"5\"/>" + task(0, "Docs", 1, 1, note) +
               task(1, "Mail", 1, 2, {}) + task(2, "Old", 2, 1, {}) + task(3, "Music", 1, 1, {}) +
               task(4, "Loose", 1, 1, {}) + "</TasksList>")
                  .toUtf8());
    dir.Write("CorvGroups.bin", R"(<GroupsData><ItemsCount Number="4"/>
  <Item0 Type="Group" Name="Home" ItemsCount="3" Task0OID="12" Task1OID="11" Task2OID="999"/>
  <Item1 Type="Task" TaskOID="13"/>
  <Item2 Type="Group" Name="Work" ItemsCount="1" Task0OID="14"/>
  <Item3 Type="Group" Name="Empty" ItemsCount="0"/>
</GroupsData>)");
}

// The tree as text, "|" between groups and tasks, tasks under groups indented.
QString Shape(const QTreeWidget& view) {
    QStringList lines;
    for (int i = 0; i < view.topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = view.topLevelItem(i);
        const bool group = top->data(0, Qt::UserRole).toInt() == kGroupEntryValue;
        lines << (group ? "G:" + top->text(0) : top->text(0).section('.', 0, 0));
        for (int j = 0; group && j < top->childCount(); ++j) {
            lines << "  " + top->child(j)->text(0).section('.', 0, 0);
        }
    }
    return lines.join('|');
}

// The tree the files in `folder` hold, read afresh, in the same text.
QString StoredShape(const QString& folder) {
    TaskList tasks;
    TaskTree tree(tasks);
    if (LoadTasksAndTree(tasks, tree, folder).TaskListDamaged()) {
        return "damaged";
    }
    QStringList lines;
    for (const auto& top : tree.TopLevel()) {
        if (!top->IsGroup()) {
            lines << tasks.TaskAt(top->value)->name;
            continue;
        }
        lines << "G:" + top->label;
        for (const auto& child : top->children) {
            lines << "  " + tasks.TaskAt(child->value)->name;
        }
    }
    return lines.join('|');
}

// "Name" finds a group or task, "Name/0" the first item row of a task.
QTreeWidgetItem* Find(const QTreeWidget& view, const QString& path) {
    const QList<QTreeWidgetItem*> items =
        view.findItems(path.section('/', 0, 0), Qt::MatchStartsWith | Qt::MatchRecursive);
    QTreeWidgetItem* item = items.isEmpty() ? nullptr : items.front();
    return item != nullptr && path.contains('/') ? item->child(path.section('/', 1).toInt()) : item;
}

// Drags `data` over the items named in `path` ("" is empty space) and drops it at the
// last place.
void SendDrag(CTarnisView& view, const QMimeData* data, const QStringList& path) {
    const auto actions = Qt::MoveAction | Qt::CopyAction;
    auto at = [&view](const QString& name) {
        return name.isEmpty() ? QPoint(20, view.viewport()->height() - 3)
                              : view.visualItemRect(Find(view, name)).center();
    };
    QDragEnterEvent enter(at(path.front()), actions, data, Qt::LeftButton, {});
    QApplication::sendEvent(view.viewport(), &enter);
    for (const QString& name : path) {
        QDragMoveEvent move(at(name), actions, data, Qt::LeftButton, {});
        QApplication::sendEvent(view.viewport(), &move);
    }
    QDropEvent drop(at(path.back()), actions, data, Qt::LeftButton, {});
    QApplication::sendEvent(view.viewport(), &drop);
}

}  // namespace

class TestTarnisView : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        QSettings("Tarnis", "Tarnis").clear();
        m_watchers = std::make_unique<QObject>();
        m_dir = std::make_unique<TempDir>();
        m_log = std::make_unique<test::WorkerLogCapture>();
        WriteFixture(*m_dir);
        m_tasks = std::make_unique<TaskList>();
        m_observer = std::make_unique<test::ViewObserver>();
        m_view = std::make_unique<CTarnisView>(*m_tasks, m_dir->Path(), *m_observer);
        m_observer->view = m_view.get();
        m_view->resize(500, 700);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }
    void cleanup() {
        m_view.reset();
        m_log.reset();
        m_watchers.reset();
        m_dir.reset();
    }

    // An empty name is refused and the dialog stays open.
    void newGroupIsAskedForAndSaved() {
        SeenDialog refusal;
        test::WhenModal<CGroupNameDialog>(m_watchers.get(), [&](CGroupNameDialog* dialog) {
            auto* field = dialog->findChild<QLineEdit*>();
            field->setText("   ");
            AnswerNextDialog(m_watchers.get(), refusal);
            dialog->accept();
            QVERIFY(dialog->isVisible());
            field->setText("  Team B  ");
            dialog->accept();
        });
        m_view->Action(ViewCommand::kNewGroup)->trigger();
        QCOMPARE(refusal.text, QString("Group name cannot be empty"));
        QTreeWidgetItem* last = m_view->topLevelItem(m_view->topLevelItemCount() - 1);
        QCOMPARE(last->text(0), QString("Team B"));
        QVERIFY(last->isSelected());
        QCOMPARE(StoredShape(m_dir->Path()), Shape(*m_view));
    }

    void deleteAsksFirst_data() {
        QTest::addColumn<QString>("selected");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("shape");
        QTest::newRow("group, no")
            << "Work" << int(QMessageBox::No) << "Do you really want to delete this group of tasks?"
            << "G:Home|  Mail|  Docs|Old|G:Work|  Music|G:Empty|Loose";
        QTest::newRow("item row") << "Docs/1" << int(QMessageBox::Yes)
                                  << "Do you really want to delete this task?"
                                  << "G:Home|  Mail|Old|G:Work|  Music|G:Empty|Loose";
    }
    // The Delete key does what the command does.
    void deleteAsksFirst() {
        QFETCH(QString, selected);
        QFETCH(int, answer);
        QFETCH(QString, question);
        QFETCH(QString, shape);
        m_view->setCurrentItem(Find(*m_view, selected));
        SeenDialog box;
        AnswerNextDialog(m_watchers.get(), box, QMessageBox::StandardButton(answer));
        QTest::keyClick(m_view.get(), Qt::Key_Delete);
        QCOMPARE(box.text, question);
        QVERIFY(box.modalFlagRaised);
        QCOMPARE(Shape(*m_view), shape);
        QCOMPARE(StoredShape(m_dir->Path()), shape);
    }

    // No record may be freed under the worker thread: a task handed over while the
    // question is open starts running, and nothing is deleted under it.
    void deleteIsRefusedWhileATaskRuns() {
        test::HeldJob job;
        m_view->Queue().SetBackupJob(job.Job());
        m_view->setCurrentItem(Find(*m_view, "Loose"));
        test::WhenModal<QMessageBox>(m_watchers.get(), [this](QMessageBox* box) {
            m_view->RunTaskByName("loose");
            box->button(QMessageBox::Yes)->click();
        });
        m_view->Action(ViewCommand::kDelete)->trigger();
        QVERIFY(m_view->Queue().IsRunning());
        QVERIFY(!m_view->Action(ViewCommand::kDelete)->isEnabled());
        QCOMPARE(m_tasks->LiveTaskCount(), 5);
        job.Open();
        QTRY_VERIFY(!m_view->Queue().IsRunning());
    }

    // A drop lands on the group last highlighted: passing over a task or an item row
    // keeps the highlight, empty space clears it (the end of the top level).
    void dragMovesATaskToTheHighlightedGroup_data() {
        QTest::addColumn<QString>("dragged");
        QTest::addColumn<QStringList>("path");
        QTest::addColumn<QString>("shape");
        QTest::newRow("group, then a task")
            << "Docs" << QStringList({"Work", "Old"})
            << "G:Home|  Mail|Old|G:Work|  Music|  Docs|G:Empty|Loose";
        QTest::newRow("group, then an item row")
            << "Loose" << QStringList({"Empty", "Docs/0"})
            << "G:Home|  Mail|  Docs|Old|G:Work|  Music|G:Empty|  Loose";
        QTest::newRow("group, then empty space")
            << "Mail" << QStringList({"Work", ""})
            << "G:Home|  Docs|Old|G:Work|  Music|G:Empty|Loose|Mail";
    }
    void dragMovesATaskToTheHighlightedGroup() {
        QFETCH(QString, dragged);
        QFETCH(QStringList, path);
        QFETCH(QString, shape);
        std::unique_ptr<QMimeData> data(m_view->MakeDragData(Find(*m_view, dragged)));
        QVERIFY(data != nullptr);
        SendDrag(*m_view, data.get(), path);
        QCOMPARE(Shape(*m_view), shape);
        QVERIFY(Find(*m_view, dragged)->isSelected());
        QCOMPARE(StoredShape(m_dir->Path()), shape);
    }

    // A real run of a group: its history reaches the file and the tip once the run has
    // ended.
    void groupStartRunsEachTaskAndSavesTheHistory() {
        m_view->setCurrentItem(Find(*m_view, "Home"));
        m_view->Action(ViewCommand::kStartTask)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!m_view->Queue().IsRunning(), 20000);
        QCOMPARE(m_log->CountEndingWith("  Task completed"), 2);
        QVERIFY(QFile::exists(m_dir->File("dest/docs/docs/sub/b.txt")));
        QVERIFY(QFile::exists(m_dir->File("dest/mail/mail.zip")));
        TaskList stored;
        TaskTree storedTree(stored);
        QVERIFY(!LoadTasksAndTree(stored, storedTree, m_dir->Path()).TaskListDamaged());
        QCOMPARE(stored.TaskAt(1)->history.size(), size_t{1});
        QVERIFY(Find(*m_view, "Mail")->toolTip(0).contains("\nLast backup was at "));
    }

    void groupsAreEstimatedNotRestoredAndShutdownReachesTheQueue() {
        m_view->setCurrentItem(Find(*m_view, "Work"));
        m_view->Action(ViewCommand::kRestore)->trigger();
        QCOMPARE(m_observer->warnings, QStringList({"You must select the task for restore."}));
        m_view->Action(ViewCommand::kEstimate)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!m_view->Queue().IsRunning(), 20000);
        QCOMPARE(m_log->CountEndingWith("Estimating group of tasks..."), 1);
        QCOMPARE(m_observer->estimates,
                 QStringList({"  Unpacked size of selected task(s) data: 2 KBytes"}));
        m_view->Action(ViewCommand::kShutdownWhenComplete)->trigger();
        QVERIFY(m_view->Queue().ShutdownWhenComplete());
    }

  private:
    std::unique_ptr<QObject> m_watchers;
    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<test::WorkerLogCapture> m_log;
    std::unique_ptr<TaskList> m_tasks;
    std::unique_ptr<test::ViewObserver> m_observer;
    std::unique_ptr<CTarnisView> m_view;
};

QTEST_MAIN(TestTarnisView)
#include "tst_TarnisView.moc"
