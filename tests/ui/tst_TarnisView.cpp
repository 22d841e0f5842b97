// The main view over real task files in a temporary data folder: how the tree is built,
// its commands and their enabled states, drag and drop, and runs through the real
// backup, restore and estimate jobs on the queue's worker.

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "app/TaskFiles.h"
#include "log/Log.h"
#include "log/LogList.h"
#include "log/QueuedLogTarget.h"
#include "model/GroupListFile.h"
#include "model/TimeText.h"
#include "support/TempDir.h"
#include "support/WidgetTesting.h"
#include "ui/CGroupNameDialog.h"
#include "ui/CTarnisView.h"
#include "ui/ModalDialogScope.h"
#include "ui/TreeImages.h"

using namespace corvane;
using corvane::test::TempDir;

namespace {

using test::WhenModal;

const test::WidgetTestEnvironment g_environment;

struct BoxSeen {
    QString title;
    QString text;
    bool modalFlag = false;
};

// Answers the next message box with `button`, recording what it said.
void AnswerBox(QObject* owner, BoxSeen& seen, QMessageBox::StandardButton button) {
    WhenModal<QMessageBox>(owner, [&seen, button](QMessageBox* box) {
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.modalFlag = ModalDialogScope::IsRaised();
        box->button(button)->click();
    });
}

// The log of a test, safe for lines of the worker thread.
class LogLines {
  public:
    LogLines() : m_queued(m_list) { SetLogTarget(&m_queued); }
    ~LogLines() { SetLogTarget(nullptr); }

    QStringList Texts() {
        m_queued.DeliverPending();
        QStringList texts;
        for (int i = 0; i < m_list.Count(); ++i) {
            texts << m_list.Line(i).text;
        }
        return texts;
    }
    int Count(const QString& text) {
        int count = 0;
        for (const QString& line : Texts()) {
            count += line.endsWith(text) ? 1 : 0;
        }
        return count;
    }
    // The lines that end with one of `texts`, in log order, without their stamps.
    QStringList Matching(const QStringList& texts) {
        QStringList found;
        for (const QString& line : Texts()) {
            for (const QString& text : texts) {
                if (line.endsWith(text)) {
                    found << text;
                }
            }
        }
        return found;
    }

  private:
    LogList m_list;
    QueuedLogTarget m_queued;
};

// What the frame would do with the queue's calls, recorded.
class TestObserver : public RunObserver {
  public:
    void SetQueueStatusText(const QString& text) override { statusTexts << text; }
    void SetTrayBusy() override {}
    void SetTrayIdle() override {}
    void PlayEventSound(int) override {}
    void ShowWarning(const QString& text) override {
        warnings << text;
        warningUnderModalFlag = ModalDialogScope::IsRaised();
    }
    void RequestShutdown() override { ++shutdownRequests; }
    void RunFinished(int taskIndex, RunOutcome outcome) override {
        finished.emplace_back(taskIndex, outcome);
        if (view != nullptr) {
            view->OnRunFinished(taskIndex, outcome);
        }
    }
    void EstimateFinished(const QString& sizeText) override { estimates << sizeText; }
    int ChooseBackupCopy(const TaskRecord&) override { return -1; }
    bool ChooseRestoreItems(std::vector<RestoreItem>& items) override {
        offeredItems = static_cast<int>(items.size());
        return false;
    }

    CTarnisView* view = nullptr;
    QStringList statusTexts;
    QStringList warnings;
    QStringList estimates;
    bool warningUnderModalFlag = false;
    int shutdownRequests = 0;
    int offeredItems = -1;
    std::vector<std::pair<int, RunOutcome>> finished;
};

// A backup job that holds the worker until opened (or until Stop).
class Gate {
  public:
    RunQueue::Job Job() {
        return [this](int, RunContext& context) {
            std::unique_lock lock(m_mutex);
            while (!m_open && !context.StopRequested()) {
                m_cv.wait_for(lock, std::chrono::milliseconds(5));
            }
            return true;
        };
    }
    void Open() {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_cv.notify_all();
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_open = false;
};

// Slots: 0 Docs, 1 Mail (ZIP), 2 Old (restore only), 3 Music, 4 Photos, 5 Videos, 6 Loose.
// Tree: Home {Mail, Docs}, Old, Work {Music, Photos, Videos}, Empty {}, then Loose, which
// the group list does not name.
void WriteFixture(const TempDir& dir, bool withGroups = true) {
    const QString root = dir.Path();
    dir.Write("src/docs/a.txt", QByteArray(100, 'a'));
    dir.Write("src/docs/sub/b.txt", QByteArray(200, 'b'));
    dir.Write("src/note.txt", "note");
    dir.Write("src/mail/inbox", QByteArray(300, 'm'));
    for (int i = 0; i < 3; ++i) {
        dir.Write(QString("src/music/%1.ogg").arg(i), QByteArray(1000, 'x'));
    }
    auto plainTask = [&root](int slot, const QString& name, int oid) {
        const QString key = name.toLower();
        return QString(R"(  <Task%1 taskName="%2" taskType="1" taskOID="%3" backupMode="1"
         destPath="%4/dest/%5/" destType="1" itemsCount="1" SrcDataType1="1"
         SrcFolder1="%4/src/%5" DstFolderName1="%5"/>
)")
            .arg(slot)
            .arg(name)
            .arg(oid)
            .arg(root, key);
    };
    QString tasks = QString(R"(<TasksList>
  <Main TasksCount="7"/>
  <Task0 taskName="Docs" taskType="1" taskOID="11" backupMode="1" destPath="%1/dest/docs/"
         destType="1" itemsCount="2" SrcDataType1="1" SrcFolder1="%1/src/docs" DstFolderName1="docs"
         SrcDataType2="3" SrcFolder2="%1/src/note.txt" DstFolderName2="note.txt"
         PrevBackupsNmb="1" PrevBackup1DestFld="%1/dest/docs/"
         PrevBackup1TimeLo="-1112259072" PrevBackup1TimeHi="29696756"/>
  <Task1 taskName="Mail" taskType="1" taskOID="12" backupMode="2" destPath="%1/dest/mail/"
         destType="1" archiveName="mail.zip" archiveCmpVal="6" itemsCount="1" SrcDataType1="1"
         SrcFolder1="%1/src/mail" DstFolderName1="mail"/>
  <Task2 taskName="Old" taskType="2" taskOID="13" backupMode="1" destPath="%1/old/"
         itemsCount="2" SrcDataType1="6" SrcFolder1="HKEY_CURRENT_USER\Software\Tarnis"
         DstFolderName1="Tarnis" SrcDataType2="5" SrcFN2="Ann" SrcLN2="Cole"/>
)")
                        .arg(root);
    tasks += plainTask(3, "Music", 14) + plainTask(4, "Photos", 15) + plainTask(5, "Videos", 16) +
             plainTask(6, "Loose", 17) + "</TasksList>\n";
    dir.Write("CorvTasks.bin", tasks.toUtf8());
    if (withGroups) {
        dir.Write("CorvGroups.bin", R"(<GroupsData>
  <ItemsCount Number="4"/>
  <Item0 Type="Group" Name="Home" ItemsCount="3" Task0OID="12" Task1OID="11" Task2OID="999"/>
  <Item1 Type="Task" TaskOID="13"/>
  <Item2 Type="Group" Name="Work" ItemsCount="3" Task0OID="14" Task1OID="15" Task2OID="16"/>
  <Item3 Type="Group" Name="Empty" ItemsCount="0"/>
</GroupsData>
)");
    }
}

// The tree as text, one line per group or task, tasks under groups indented.
QStringList Shape(const QTreeWidget& view) {
    QStringList lines;
    for (int i = 0; i < view.topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = view.topLevelItem(i);
        if (top->data(0, Qt::UserRole).toInt() == kGroupEntryValue) {
            lines << "G:" + top->text(0);
            for (int j = 0; j < top->childCount(); ++j) {
                lines << "  " + top->child(j)->text(0).section('.', 0, 0);
            }
        } else {
            lines << top->text(0).section('.', 0, 0);
        }
    }
    return lines;
}

// The tree the files in `folder` hold, read afresh.
QStringList StoredShape(const QString& folder) {
    TaskList tasks;
    TaskTree tree(tasks);
    QStringList lines;
    if (LoadTasksAndTree(tasks, tree, folder).TaskListDamaged()) {
        return {"damaged"};
    }
    for (const auto& top : tree.TopLevel()) {
        if (top->IsGroup()) {
            lines << "G:" + top->label;
            for (const auto& child : top->children) {
                lines << "  " + tasks.TaskAt(child->value)->name;
            }
        } else {
            lines << tasks.TaskAt(top->value)->name;
        }
    }
    return lines;
}

QTreeWidgetItem* Find(const QTreeWidget& view, const QString& name) {
    const QList<QTreeWidgetItem*> items =
        view.findItems(name, Qt::MatchStartsWith | Qt::MatchRecursive);
    return items.isEmpty() ? nullptr : items.front();
}

void SendDrag(CTarnisView& view, const QMimeData* data, const std::vector<QPoint>& path) {
    QDragEnterEvent enter(path.front(), Qt::MoveAction | Qt::CopyAction, data, Qt::LeftButton, {});
    QApplication::sendEvent(view.viewport(), &enter);
    for (const QPoint& point : path) {
        QDragMoveEvent move(point, Qt::MoveAction | Qt::CopyAction, data, Qt::LeftButton, {});
        QApplication::sendEvent(view.viewport(), &move);
    }
    QDropEvent drop(path.back(), Qt::MoveAction | Qt::CopyAction, data, Qt::LeftButton, {});
    QApplication::sendEvent(view.viewport(), &drop);
}

QPoint CentreOf(CTarnisView& view, QTreeWidgetItem* item) {
    return view.visualItemRect(item).center();
}

QPoint EmptySpace(CTarnisView& view) {
    return QPoint(20, view.viewport()->height() - 3);
}

bool WaitIdle(CTarnisView& view) {
    return QTest::qWaitFor([&view] { return !view.Queue().IsRunning(); }, 20000);
}

}  // namespace

class TestTarnisView : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        m_watchers = std::make_unique<QObject>();
        m_dir = std::make_unique<TempDir>();
        m_log = std::make_unique<LogLines>();
        QSettings("Tarnis", "Tarnis").clear();
    }
    void cleanup() {
        m_view.reset();
        m_tasks.reset();
        m_observer.reset();
        m_log.reset();
        m_watchers.reset();
        m_dir.reset();
    }

    void buildsTheTreeFromTheFiles() {
        WriteFixture(*m_dir);
        Open();
        CTarnisView& view = *m_view;
        QCOMPARE(Shape(view), QStringList({"G:Home", "  Mail", "  Docs", "Old", "G:Work", "  Music",
                                           "  Photos", "  Videos", "G:Empty", "Loose"}));
        QTreeWidgetItem* home = view.topLevelItem(0);
        QTreeWidgetItem* docs = home->child(1);
        QVERIFY(home->isExpanded());
        QVERIFY(docs->isExpanded());
        QCOMPARE(home->data(0, Qt::UserRole).toInt(), kGroupEntryValue);
        QCOMPARE(docs->data(0, Qt::UserRole).toInt(), 0);
        QCOMPARE(docs->text(0),
                 QStringLiteral("Docs. Backup items to %1/dest/docs/").arg(m_dir->Path()));
        QCOMPARE(docs->childCount(), 2);
        QCOMPARE(docs->child(0)->text(0), m_dir->Path() + "/src/docs");
        QCOMPARE(docs->child(1)->data(0, Qt::UserRole).toInt(), kItemRowValue);

        // Tips.
        QCOMPARE(home->toolTip(0),
                 QStringLiteral("You can create tasks in this group, move tasks between groups"));
        const CalendarTime last = m_tasks->TaskAt(0)->history.front().time;
        QCOMPARE(docs->toolTip(0), "Backup 2 items to local/network folder\nLast backup was at " +
                                       ShortDateTimeText(last));
        QCOMPARE(home->child(0)->toolTip(0),
                 QStringLiteral("Backup 1 items to local/network folder"));
        QCOMPARE(docs->child(0)->toolTip(0), QString());
        QTreeWidgetItem* old = view.topLevelItem(1);
        QCOMPARE(old->toolTip(0), QStringLiteral("Restore 2 items"));

        // Images: the restore task and its rows of registry key and contact.
        auto shows = [](QTreeWidgetItem* item, int image) {
            return item->icon(0).pixmap(16, 16).toImage() == TreeImagePixmap(image, 16).toImage();
        };
        QVERIFY(shows(old, kImageRestoreTask));
        QVERIFY(shows(old->child(0), kImageRegistryKey));
        QVERIFY(shows(old->child(1), kImageContact));
        QVERIFY(shows(home, kImageGroup));
        QVERIFY(shows(home->child(0), kImageArchiveTask));
        QVERIFY(shows(docs, kImageCopyTask));
        QVERIFY(shows(docs->child(0), kImageFolder));
        QVERIFY(shows(docs->child(1), kImageFile));
    }

    void withoutAGroupListEveryTaskIsAtTheTopLevel() {
        WriteFixture(*m_dir, false);
        Open();
        QCOMPARE(Shape(*m_view),
                 QStringList({"Docs", "Mail", "Old", "Music", "Photos", "Videos", "Loose"}));
        // Nothing changed, but a save writes the group list of what is shown.
        QVERIFY(m_view->Save());
        std::vector<GroupListEntry> entries;
        QVERIFY(LoadGroupListFile(m_dir->File("CorvGroups.bin"), entries));
        QCOMPARE(entries.size(), size_t{7});
    }

    void treeImagesAreDistinctAndTransparent() {
        QList<QImage> images;
        for (int index = 0; index < kTreeImageCount; ++index) {
            const QImage image = TreeImagePixmap(index, 16).toImage();
            QCOMPARE(image.size(), QSize(16, 16));
            int opaque = 0;
            for (int y = 0; y < 16; ++y) {
                for (int x = 0; x < 16; ++x) {
                    opaque += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
                }
            }
            // Something to see, and a background that lets the tree through.
            QVERIFY2(opaque > 20 && opaque < 256, qPrintable(QString::number(index)));
            for (const QImage& other : images) {
                QVERIFY2(other != image, qPrintable(QString::number(index)));
            }
            images << image;
        }
        QVERIFY(TreeImagePixmap(kTreeImageCount).isNull());
        QVERIFY(TreeImageIcon(-1).isNull());
        QVERIFY(!TreeImageIcon(kImageGroup).isNull());
    }

    void newGroupIsTrimmedSelectedLoggedAndSaved() {
        WriteFixture(*m_dir);
        Open();
        bool flagRaised = false;
        WhenModal<CGroupNameDialog>(m_watchers.get(), [&](CGroupNameDialog* dialog) {
            flagRaised = ModalDialogScope::IsRaised();
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Enter group name:"));
            auto* field = dialog->findChild<QLineEdit*>();
            QCOMPARE(field->text(), QStringLiteral("Group"));
            field->setText("  Team B  ");
            dialog->accept();
        });
        m_view->Action(ViewCommand::kNewGroup)->trigger();
        QVERIFY(flagRaised);
        QVERIFY(!ModalDialogScope::IsRaised());
        QCOMPARE(m_log->Count("Group 'Team B' was created, now you can create tasks in it"), 1);
        QTreeWidgetItem* last = m_view->topLevelItem(m_view->topLevelItemCount() - 1);
        QCOMPARE(last->text(0), QStringLiteral("Team B"));
        QVERIFY(last->isSelected());
        QCOMPARE(StoredShape(m_dir->Path()).last(), QStringLiteral("G:Team B"));
        QCOMPARE(StoredShape(m_dir->Path()), Shape(*m_view));
    }

    void groupNameDialogRefusesAnEmptyNameAndCancelAddsNothing() {
        WriteFixture(*m_dir);
        Open();
        const QStringList before = Shape(*m_view);
        BoxSeen refusal;
        WhenModal<CGroupNameDialog>(m_watchers.get(), [&](CGroupNameDialog* dialog) {
            dialog->findChild<QLineEdit*>()->setText("   ");
            AnswerBox(m_watchers.get(), refusal, QMessageBox::Ok);
            dialog->accept();
            // Still open after the refusal.
            QVERIFY(dialog->isVisible());
            dialog->reject();
        });
        m_view->Action(ViewCommand::kNewGroup)->trigger();
        QCOMPARE(refusal.title, QStringLiteral("Warning"));
        QCOMPARE(refusal.text, QStringLiteral("Group name cannot be empty"));
        QCOMPARE(Shape(*m_view), before);
        QCOMPARE(m_log->Count("now you can create tasks in it"), 0);
    }

    void deletingAGroupDeletesEveryTaskInIt() {
        WriteFixture(*m_dir);
        Open();
        m_view->setCurrentItem(Find(*m_view, "Work"));

        BoxSeen no;
        AnswerBox(m_watchers.get(), no, QMessageBox::No);
        m_view->Action(ViewCommand::kDelete)->trigger();
        QCOMPARE(no.text, QStringLiteral("Do you really want to delete this group of tasks?"));
        QCOMPARE(no.title, QStringLiteral("Warning"));
        QVERIFY(no.modalFlag);
        QCOMPARE(m_tasks->LiveTaskCount(), 7);
        QCOMPARE(m_log->Count("Task was deleted"), 0);

        BoxSeen yes;
        AnswerBox(m_watchers.get(), yes, QMessageBox::Yes);
        m_view->Action(ViewCommand::kDelete)->trigger();
        QCOMPARE(m_log->Count("Task was deleted"), 3);
        QCOMPARE(Shape(*m_view),
                 QStringList({"G:Home", "  Mail", "  Docs", "Old", "G:Empty", "Loose"}));
        QCOMPARE(StoredShape(m_dir->Path()), Shape(*m_view));
        TaskList stored;
        TaskTree storedTree(stored);
        QVERIFY(!LoadTasksAndTree(stored, storedTree, m_dir->Path()).TaskListDamaged());
        QCOMPARE(stored.LiveTaskCount(), 4);
        QCOMPARE(stored.FindTaskByName("Photos"), -1);
    }

    void deletingAnItemRowDeletesItsTaskAndNothingSelectedDeletesNothing() {
        WriteFixture(*m_dir);
        Open();
        m_view->setCurrentItem(Find(*m_view, "Docs")->child(1));
        BoxSeen yes;
        AnswerBox(m_watchers.get(), yes, QMessageBox::Yes);
        // The Delete key does what the command does.
        QTest::keyClick(m_view.get(), Qt::Key_Delete);
        QCOMPARE(yes.text, QStringLiteral("Do you really want to delete this task?"));
        QCOMPARE(m_log->Count("Task was deleted"), 1);
        QCOMPARE(Shape(*m_view).mid(0, 3), QStringList({"G:Home", "  Mail", "Old"}));
        QCOMPARE(StoredShape(m_dir->Path()), Shape(*m_view));

        m_view->clearSelection();
        m_view->Action(ViewCommand::kDelete)->trigger();
        QCOMPARE(m_log->Count("  Nothing to delete"), 1);
        QCOMPARE(m_tasks->LiveTaskCount(), 6);
    }

    void deleteIsRefusedWhileATaskRuns() {
        WriteFixture(*m_dir);
        Open();
        Gate gate;
        m_view->Queue().SetBackupJob(gate.Job());
        m_view->setCurrentItem(Find(*m_view, "Music"));
        m_view->Action(ViewCommand::kStartTask)->trigger();
        QVERIFY(m_view->Queue().IsRunning());
        QVERIFY(!m_view->Action(ViewCommand::kDelete)->isEnabled());
        BoxSeen unexpected;
        AnswerBox(m_watchers.get(), unexpected, QMessageBox::Yes);
        QTest::keyClick(m_view.get(), Qt::Key_Delete);
        QCoreApplication::processEvents();
        QCOMPARE(unexpected.text, QString());
        gate.Open();
        QVERIFY(WaitIdle(*m_view));
        m_watchers = std::make_unique<QObject>();

        // A task handed over while the question is open starts running: nothing is
        // deleted under it.
        Gate second;
        m_view->Queue().SetBackupJob(second.Job());
        m_view->setCurrentItem(Find(*m_view, "Photos"));
        WhenModal<QMessageBox>(m_watchers.get(), [this](QMessageBox* box) {
            m_view->RunTaskByName("photos");
            box->button(QMessageBox::Yes)->click();
        });
        m_view->Action(ViewCommand::kDelete)->trigger();
        QVERIFY(m_view->Queue().IsRunning());
        QCOMPARE(m_tasks->LiveTaskCount(), 7);
        QCOMPARE(m_log->Count("Task was deleted"), 0);
        second.Open();
        QVERIFY(WaitIdle(*m_view));
    }

    void dragMovesATaskToTheHighlightedGroupOrTheTopLevel() {
        WriteFixture(*m_dir);
        Open();
        CTarnisView& view = *m_view;

        // Over the group Work, then over the task Old: released there, Docs lands in Work.
        std::unique_ptr<QMimeData> docs(view.MakeDragData(Find(view, "Docs")));
        QVERIFY(docs != nullptr);
        SendDrag(view, docs.get(),
                 {CentreOf(view, Find(view, "Work")), CentreOf(view, Find(view, "Old"))});
        QCOMPARE(Shape(view), QStringList({"G:Home", "  Mail", "Old", "G:Work", "  Music",
                                           "  Photos", "  Videos", "  Docs", "G:Empty", "Loose"}));
        QVERIFY(Find(view, "Docs")->isSelected());
        QCOMPARE(StoredShape(m_dir->Path()), Shape(view));

        // Over a group, then an item row: the group takes it.
        std::unique_ptr<QMimeData> loose(view.MakeDragData(Find(view, "Loose")));
        SendDrag(
            view, loose.get(),
            {CentreOf(view, Find(view, "Empty")), CentreOf(view, Find(view, "Docs")->child(0))});
        QCOMPARE(Shape(view).mid(8), QStringList({"G:Empty", "  Loose"}));

        // Empty space: the end of the top level.
        std::unique_ptr<QMimeData> mail(view.MakeDragData(Find(view, "Mail")));
        SendDrag(view, mail.get(), {CentreOf(view, Find(view, "Work")), EmptySpace(view)});
        QCOMPARE(Shape(view).first(), QStringLiteral("G:Home"));
        QCOMPARE(Shape(view).last(), QStringLiteral("Mail"));
        QCOMPARE(StoredShape(m_dir->Path()), Shape(view));
    }

    void droppingATaskOnItsOwnGroupChangesNothing() {
        WriteFixture(*m_dir);
        Open();
        CTarnisView& view = *m_view;
        const QStringList before = Shape(view);
        std::unique_ptr<QMimeData> music(view.MakeDragData(Find(view, "Music")));
        SendDrag(view, music.get(), {CentreOf(view, Find(view, "Work"))});
        QCOMPARE(Shape(view), before);  // not moved behind Videos

        // Groups and item rows are never dragged.
        QVERIFY(view.MakeDragData(Find(view, "Work")) == nullptr);
        QVERIFY(view.MakeDragData(Find(view, "Docs")->child(0)) == nullptr);
        QVERIFY(!(Find(view, "Work")->flags() & Qt::ItemIsDragEnabled));
        QVERIFY(Find(view, "Music")->flags() & Qt::ItemIsDragEnabled);
    }

    void droppedFilesAreCollectedForANewTask() {
        WriteFixture(*m_dir);
        Open();
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(m_dir->File("src/docs")),
                       QUrl::fromLocalFile(m_dir->File("src/note.txt"))});
        BoxSeen box;
        AnswerBox(m_watchers.get(), box, QMessageBox::Ok);
        SendDrag(*m_view, &files, {CentreOf(*m_view, Find(*m_view, "Old"))});
        QCOMPARE(m_view->DroppedFiles(),
                 QStringList({m_dir->File("src/docs"), m_dir->File("src/note.txt")}));
        QVERIFY(QTest::qWaitFor([&box] { return !box.text.isEmpty(); }, 5000));
        QCOMPARE(box.title, QStringLiteral("Information"));
        QCOMPARE(box.text, QStringLiteral("This command is not available yet."));
        QVERIFY(box.modalFlag);

        // A later drop replaces the collection.
        QMimeData one;
        one.setUrls({QUrl::fromLocalFile(m_dir->File("src/music"))});
        BoxSeen again;
        AnswerBox(m_watchers.get(), again, QMessageBox::Ok);
        SendDrag(*m_view, &one, {EmptySpace(*m_view)});
        QCOMPARE(m_view->DroppedFiles(), QStringList({m_dir->File("src/music")}));
        QVERIFY(QTest::qWaitFor([&again] { return !again.text.isEmpty(); }, 5000));
    }

    void placeNewTaskFollowsTheSelection() {
        WriteFixture(*m_dir);
        Open();
        CTarnisView& view = *m_view;
        auto place = [&](const QString& name) {
            const int index = m_tasks->IndexOfTask(m_tasks->NewTask(name, kTaskBackup));
            QTreeWidgetItem* item = view.PlaceNewTask(index);
            QVERIFY(item != nullptr && item->isSelected());
        };
        view.setCurrentItem(Find(view, "Docs")->child(0));  // an item row of a task in Home
        place("N1");
        view.setCurrentItem(Find(view, "Empty"));  // a group
        place("N2");
        view.setCurrentItem(Find(view, "Old"));  // a task at the top level
        place("N3");
        view.clearSelection();
        place("N4");
        QCOMPARE(Shape(view),
                 QStringList({"G:Home", "  Mail", "  Docs", "  N1", "Old", "G:Work", "  Music",
                              "  Photos", "  Videos", "G:Empty", "  N2", "Loose", "N3", "N4"}));
        QCOMPARE(StoredShape(m_dir->Path()), Shape(view));
    }

    void commandsAreEnabledByTheSelection() {
        WriteFixture(*m_dir);
        Open();
        CTarnisView& view = *m_view;
        const ViewCommand bySelection[] = {ViewCommand::kStartTask, ViewCommand::kStop,
                                           ViewCommand::kRestore, ViewCommand::kEstimate};
        auto enabled = [&view, &bySelection] {
            QList<bool> states;
            for (const ViewCommand command : bySelection) {
                states << view.Action(command)->isEnabled();
            }
            return states;
        };
        const QList<bool> off = {false, false, false, false};
        const QList<bool> on = {true, true, true, true};
        view.clearSelection();
        QCOMPARE(enabled(), off);
        QVERIFY(view.Action(ViewCommand::kStartAll)->isEnabled());
        QVERIFY(view.Action(ViewCommand::kNewGroup)->isEnabled());
        view.setCurrentItem(Find(view, "Empty"));
        QCOMPARE(enabled(), off);
        view.setCurrentItem(Find(view, "Home"));
        QCOMPARE(enabled(), on);
        view.setCurrentItem(Find(view, "Docs")->child(0));
        QCOMPARE(enabled(), on);

        QAction* start = view.Action(ViewCommand::kStartTask);
        QCOMPARE(start->text(), QStringLiteral("Start task/group"));
        QCOMPARE(start->statusTip(), QStringLiteral("Start backup process for the task or group"));
        QCOMPARE(start->toolTip(), QStringLiteral("Backup"));
        QCOMPARE(view.Action(ViewCommand::kNewTask)->shortcut(), QKeySequence("Ctrl+N"));
        QVERIFY(view.Action(ViewCommand::kStop)->isCheckable());
        QVERIFY(view.Action(ViewCommand::kShutdownWhenComplete)->isCheckable());

        // Without tasks there is nothing to start.
        m_view.reset();
        m_tasks.reset();
        TempDir empty;
        m_tasks = std::make_unique<TaskList>();
        m_view = std::make_unique<CTarnisView>(*m_tasks, empty.Path(), *m_observer);
        QVERIFY(!m_view->Action(ViewCommand::kStartAll)->isEnabled());
    }

    void groupStartQueuesEachChildAndTheRunsAreSaved() {
        WriteFixture(*m_dir);
        Open();
        CTarnisView& view = *m_view;
        view.setCurrentItem(Find(view, "Home"));
        view.Action(ViewCommand::kStartTask)->trigger();
        QVERIFY(WaitIdle(view));
        QCOMPARE(m_log->Matching({"Starting group of tasks...", "  Add task 'Mail' to queue",
                                  "  Add task 'Docs' to queue"}),
                 QStringList({"Starting group of tasks...", "  Add task 'Mail' to queue",
                              "  Add task 'Docs' to queue"}));
        QCOMPARE(m_log->Count("  Task completed"), 2);
        QCOMPARE(m_observer->finished.size(), size_t{2});
        QVERIFY(QFile::exists(m_dir->File("dest/docs/docs/sub/b.txt")));
        QVERIFY(QFile::exists(m_dir->File("dest/mail/mail.zip")));

        // The new history is in the file and in the tip.
        TaskList stored;
        TaskTree storedTree(stored);
        QVERIFY(!LoadTasksAndTree(stored, storedTree, m_dir->Path()).TaskListDamaged());
        // Docs went to the folder of its earlier backup: that entry has the new time.
        QCOMPARE(stored.TaskAt(0)->history.size(), size_t{1});
        QVERIFY(stored.TaskAt(0)->history.front().time.year >= 2024);
        QCOMPARE(stored.TaskAt(1)->history.size(), size_t{1});
        QVERIFY(Find(view, "Mail")->toolTip(0).contains("\nLast backup was at "));

        // A restore of Docs offers the stored files; cancelling it ends the run.
        view.setCurrentItem(Find(view, "Docs"));
        view.Action(ViewCommand::kRestore)->trigger();
        QVERIFY(WaitIdle(view));
        QCOMPARE(m_observer->offeredItems, 3);
        QCOMPARE(m_log->Count("  Restore canceled by user"), 1);
    }

    void restoreOnlyTasksAndGroupsAreRefused() {
        WriteFixture(*m_dir);
        Open();
        CTarnisView& view = *m_view;
        view.setCurrentItem(Find(view, "Old")->child(1));
        view.Action(ViewCommand::kStartTask)->trigger();
        QCOMPARE(m_log->Count("  Error: this task can be used only for data restore"), 1);
        QCOMPARE(m_observer->warnings,
                 QStringList({"This task can be used only for data restore."}));
        QVERIFY(m_observer->warningUnderModalFlag);
        QVERIFY(!view.Queue().IsRunning());
        QVERIFY(view.Queue().Entries().empty());

        view.setCurrentItem(Find(view, "Work"));
        view.Action(ViewCommand::kRestore)->trigger();
        QCOMPARE(m_observer->warnings.last(),
                 QStringLiteral("You must select the task for restore."));
        QVERIFY(!view.Queue().IsRunning());

        // With nothing selected the commands are off and do nothing.
        view.clearSelection();
        const int warnings = m_observer->warnings.size();
        for (const ViewCommand command :
             {ViewCommand::kRestore, ViewCommand::kStartTask, ViewCommand::kEstimate}) {
            QVERIFY(!view.Action(command)->isEnabled());
            view.Action(command)->trigger();
        }
        QVERIFY(!view.Queue().IsRunning());
        QCOMPARE(m_observer->warnings.size(), warnings);
    }

    void stopIsCheckedWhileStopping() {
        WriteFixture(*m_dir);
        Open();
        CTarnisView& view = *m_view;
        Gate gate;
        view.Queue().SetBackupJob(gate.Job());
        view.setCurrentItem(Find(view, "Music"));
        view.Action(ViewCommand::kStartAll)->trigger();
        QVERIFY(view.Queue().IsRunning());
        QAction* stop = view.Action(ViewCommand::kStop);
        QVERIFY(!stop->isChecked());
        stop->trigger();
        QVERIFY(stop->isChecked());
        stop->trigger();  // a second press changes nothing
        QVERIFY(stop->isChecked());
        QVERIFY(WaitIdle(view));
        QCOMPARE(m_log->Count("  Task has been aborted"), 1);
        QCOMPARE(m_log->Count("Starting task..."), 1);
        QVERIFY(!stop->isChecked());
    }

    void estimateOfATaskAndOfAGroup() {
        WriteFixture(*m_dir);
        Open();
        CTarnisView& view = *m_view;
        view.setCurrentItem(Find(view, "Music"));
        view.Action(ViewCommand::kEstimate)->trigger();
        QVERIFY(WaitIdle(view));
        QCOMPARE(m_observer->estimates,
                 QStringList({"  Unpacked size of selected task(s) data: 2 KBytes"}));

        view.setCurrentItem(Find(view, "Home"));
        view.Action(ViewCommand::kEstimate)->trigger();
        QVERIFY(WaitIdle(view));
        QCOMPARE(m_log->Count("Estimating group of tasks..."), 1);
        QCOMPARE(m_log->Count("Estimating task..."), 3);
        QCOMPARE(m_observer->estimates.size(), 2);
    }

    void taskByNameRunsIt() {
        WriteFixture(*m_dir);
        Open();
        m_view->RunTaskByName("music");
        QVERIFY(WaitIdle(*m_view));
        QCOMPARE(m_observer->finished.size(), size_t{1});
        QCOMPARE(m_observer->finished.front().first, 3);
        QVERIFY(QFile::exists(m_dir->File("dest/music/music/2.ogg")));
    }

    void commandsNotThereYetSaySo() {
        WriteFixture(*m_dir);
        Open();
        for (const ViewCommand command : {ViewCommand::kNewTask, ViewCommand::kModify}) {
            m_view->setCurrentItem(Find(*m_view, "Docs"));
            BoxSeen box;
            AnswerBox(m_watchers.get(), box, QMessageBox::Ok);
            m_view->Action(command)->trigger();
            QCOMPARE(box.title, QStringLiteral("Information"));
            QCOMPARE(box.text, QStringLiteral("This command is not available yet."));
            QVERIFY(box.modalFlag);
        }
    }

    void shutdownToggleIsKeptInTheSettings() {
        WriteFixture(*m_dir);
        QSettings("Tarnis", "Tarnis").setValue("Main/ShutdownWhenComplete", 1);
        Open();
        QAction* toggle = m_view->Action(ViewCommand::kShutdownWhenComplete);
        QVERIFY(toggle->isChecked());
        QVERIFY(m_view->Queue().ShutdownWhenComplete());
        toggle->trigger();
        QVERIFY(!m_view->Queue().ShutdownWhenComplete());
        QCOMPARE(QSettings("Tarnis", "Tarnis").value("Main/ShutdownWhenComplete").toInt(), 0);
        toggle->trigger();
        QCOMPARE(QSettings("Tarnis", "Tarnis").value("Main/ShutdownWhenComplete").toInt(), 1);
        // Written again when the view goes.
        QSettings("Tarnis", "Tarnis").setValue("Main/ShutdownWhenComplete", 0);
        m_view.reset();
        QCOMPARE(QSettings("Tarnis", "Tarnis").value("Main/ShutdownWhenComplete").toInt(), 1);
    }

  private:
    void Open() {
        m_tasks = std::make_unique<TaskList>();
        m_observer = std::make_unique<TestObserver>();
        m_view = std::make_unique<CTarnisView>(*m_tasks, m_dir->Path(), *m_observer);
        m_observer->view = m_view.get();
        m_view->resize(500, 700);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }

    std::unique_ptr<QObject> m_watchers;
    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<LogLines> m_log;
    std::unique_ptr<TaskList> m_tasks;
    std::unique_ptr<TestObserver> m_observer;
    std::unique_ptr<CTarnisView> m_view;
};

QTEST_MAIN(TestTarnisView)
#include "tst_TarnisView.moc"
