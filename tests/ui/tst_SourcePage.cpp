// The source page on real folders: the tree as read, the buttons, drops and messages.

#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>
#include <cstdio>
#include <fstream>

#include "model/FileName.h"
#include "platform/ContactStore.h"
#include "platform/Volumes.h"
#include "support/DconfSandbox.h"
#include "support/LogCapture.h"
#include "support/ScopedEnv.h"
#include "support/Tools.h"
#include "ui/CSourcePage.h"
#include "ui/CSourceTree.h"
#include "ui/WindowTesting.h"

using namespace corvane;

namespace {

// HOME is a fresh folder and the mount table is missing, so the tree holds only what the
// test made. Global, so that it exists before the application reads HOME.
struct HomeEnvironment : test::WidgetTestEnvironment {
    HomeEnvironment() {
        qputenv("HOME", QFile::encodeName(Path()));
        qputenv("CORVANE_MOUNTS", QFile::encodeName(home.filePath("mounts")));
        test::DconfSandbox::Get();  // before glib reads its folders
        for (const char* folder : {"Docs/Inner", ".dot", "Empty", "Documents/Docs"}) {
            QDir(Path()).mkpath(folder);
        }
        for (const char* file : {"b.txt", "A.txt", "caf\xe9.txt", "Docs/note.txt"}) {
            std::ofstream(QFile::encodeName(Path()).toStdString() + '/' + file);
        }
    }
    QString Path() const { return home.filePath("home"); }
} g_env;

QStringList ChildTexts(const QTreeWidgetItem* node) {
    QStringList texts;
    for (int i = 0; i < node->childCount(); ++i) {
        texts << node->child(i)->text(0);
    }
    return texts;
}

QTreeWidgetItem* Child(QTreeWidgetItem* node, const QString& text) {
    return node->child(ChildTexts(node).indexOf(text));
}

// A vdir of `count` cards as vobject writes them: "Ann<i> Lee".
bool WriteContacts(const QString& folder, int count) {
    return test::RunPython(
               "import sys, vobject\n"
               "for i in range(int(sys.argv[2])):\n"
               "    c = vobject.vCard()\n"
               "    c.add('uid').value = 'u%d' % i\n"
               "    c.add('n').value = vobject.vcard.Name(family='Lee', given='Ann%d' % i)\n"
               "    c.add('fn').value = 'Ann%d Lee' % i\n"
               "    open('%s/%05d.vcf' % (sys.argv[1], i), 'w').write(c.serialize())\n",
               {folder, QString::number(count)})
               .exitCode == 0;
}

enum Step { kAddNothing, kAddRootGroup, kRemoveNothing, kAddTwice };

}  // namespace

class TestSourcePage : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        m_draft = TaskRecord();
        m_page = std::make_unique<CSourcePage>(m_draft, false);
        m_page->show();
        m_tree = m_page->findChild<CSourceTree*>("sourceTree");
        m_list = m_page->findChild<QTreeWidget*>("itemList");
        m_name = m_page->findChild<QLineEdit*>("taskNameEdit");
        m_home = Child(m_tree->topLevelItem(0), "Home folder");
    }
    void cleanup() { m_page.reset(); }
    void cleanupTestCase() {  // QTemporaryDir cannot remove a name that is not UTF-8
        std::remove((QFile::encodeName(g_env.Path()) + "/caf\xe9.txt").constData());
    }

    void treeListsFoldersThenFilesAndFillsOnExpand() {
        QCOMPARE(ChildTexts(m_tree->topLevelItem(0)), QStringList({"My documents", "Home folder"}));
        QCOMPARE(ChildTexts(m_home), QStringList({".dot", "Docs", "Documents", "Empty", "A.txt",
                                                  "b.txt", "caf\\xE9.txt"}));
        QCOMPARE(FileNameToBytes(CSourceTree::NodePath(m_home->child(6))),
                 QFile::encodeName(g_env.Path()) + "/caf\xe9.txt");
        QTreeWidgetItem* docs = Child(m_home, "Docs");
        QCOMPARE(ChildTexts(docs), QStringList{"Sub dir ###"});
        QCOMPARE(Child(m_home, "Empty")->childCount(), 0);
        docs->setExpanded(true);
        QCOMPARE(ChildTexts(docs), QStringList({"Inner", "note.txt"}));
    }

    void messages_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<QString>("message");
        QTest::newRow("nothing selected") << int(kAddNothing) << "At first you must select item";
        QTest::newRow("root group") << int(kAddRootGroup) << "You cannot select this item";
        QTest::newRow("no row") << int(kRemoveNothing)
                                << "You must select item from the right list";
        QTest::newRow("duplicate") << int(kAddTwice) << "This item was allready added.";
    }
    void messages() {
        QFETCH(int, step);
        QFETCH(QString, message);
        if (step == kAddRootGroup) {
            m_tree->setCurrentItem(m_tree->topLevelItem(0));
        }
        if (step == kAddTwice) {
            AddNode(Child(m_home, "Docs"));
        }
        test::SeenDialog seen;
        test::AnswerNextDialog(this, seen);
        Click(step == kRemoveNothing ? "removeButton" : "addButton");
        QCOMPARE(seen.text, message);
    }

    void addNamesTheTaskAndRemoveRenumbersRows() {
        AddNode(Child(m_home, "Docs"));
        QCOMPARE(m_name->selectedText(), QString("Docs"));
        AddNode(Child(Child(m_tree->topLevelItem(0), "My documents"), "Docs"));
        QCOMPARE(m_list->topLevelItem(1)->text(1), QString("Docs~1"));
        m_list->setCurrentItem(m_list->topLevelItem(0));
        Click("removeButton");
        QCOMPARE(m_list->topLevelItemCount(), 1);
        QCOMPARE(m_list->topLevelItem(0)->data(0, Qt::UserRole).toInt(), 0);
        QCOMPARE(m_draft.items.at(0).path, g_env.Path() + "/Documents/Docs/");
        QVERIFY(m_page->Leave());
    }

    // A name typed but not yet stored is the task's: the first item must not replace it.
    void typedTaskNameIsNotReplacedByTheFirstItem() {
        m_name->setText("Mine");
        AddNode(Child(m_home, "Docs"));
        QCOMPARE(m_name->text(), QString("Mine"));
    }

    // A node dragged from the tree, then a file from a file manager, dropped on the list.
    void dropsAndAddedPathsBecomeItems() {
        m_tree->setCurrentItem(Child(m_home, "b.txt"));
        std::unique_ptr<QMimeData> node(m_tree->model()->mimeData({m_tree->currentIndex()}));
        QMimeData files;
        files.setUrls({QUrl::fromEncoded(
            "file://" + QFile::encodeName(g_env.Path()).toPercentEncoding("/") + "/caf%E9.txt")});
        for (const QMimeData* data : {node.get(), static_cast<QMimeData*>(&files)}) {
            // The drop goes where the drag was accepted on entering; Shift offers a move.
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data, Qt::LeftButton, {});
            QApplication::sendEvent(m_list->viewport(), &enter);
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton,
                            Qt::ShiftModifier);
            QApplication::sendEvent(m_list->viewport(), &drop);
            QCOMPARE(drop.dropAction(), Qt::CopyAction);
        }
        const QString home = g_env.Path();
        m_page->AddPaths({home + "/A.txt", home + "/missing", home + "/A.txt"});
        QCOMPARE(ChildTexts(m_list->invisibleRootItem()),
                 QStringList({home + "/b.txt", home + "/caf\\xE9.txt", home + "/A.txt"}));
    }

    // Keys are read as they are opened; Add lists the key's path and its name with ".reg".
    // More contacts than the store's node kinds could number: every one carries its names.
    void contactsAreReadOnFirstOpenAndEachIsAddable() {
        QTemporaryDir store;
        QVERIFY(WriteContacts(store.path(), 1100));
        ContactStore::SetConfiguredFolder(store.path());
        QTreeWidgetItem* contacts = m_tree->topLevelItem(1);
        QCOMPARE(ChildTexts(m_tree->invisibleRootItem()) + ChildTexts(contacts),
                 QStringList({"File system", "Contacts", "Registry items", "Program settings",
                              "Contact ###"}));
        contacts->setExpanded(true);
        QCOMPARE(contacts->childCount(), 1100);
        for (int i : {0, 1023, 1099}) {
            AddNode(contacts->child(i));
        }
        AddNode(contacts);
        AddNode(contacts);
        QCOMPARE(m_draft.name, QString("Ann0 Lee"));
        QCOMPARE(m_draft.items.at(2), MakeContactItem("Ann1099", "", "Lee"));
        QCOMPARE(m_list->topLevelItem(1)->text(1) + '/' + m_list->topLevelItem(4)->text(0) + '/' +
                     m_list->topLevelItem(4)->text(1),
                 QString("Ann1023 Lee/All contacts/Contacts"));
        ContactStore::SetConfiguredFolder(QString());
    }

    void emptyOrUnreadableStoreShowsNoContacts_data() {
        QTest::addColumn<bool>("folderIsFile");
        QTest::newRow("empty store") << false;
        QTest::newRow("store is a file") << true;
    }
    void emptyOrUnreadableStoreShowsNoContacts() {
        QFETCH(bool, folderIsFile);
        QTemporaryDir store;
        const QString folder = store.filePath("book");
        QVERIFY(folderIsFile ? QFile(folder).open(QIODevice::WriteOnly) : QDir().mkpath(folder));
        ContactStore::SetConfiguredFolder(folder);
        test::LogCapture log;
        QTreeWidgetItem* contacts = m_tree->topLevelItem(1);
        contacts->setExpanded(true);
        ContactStore::SetConfiguredFolder(QString());
        QCOMPARE(ChildTexts(contacts), QStringList{"no contacts"});
        QCOMPARE(log.Texts().join('\n').contains("cannot read contacts folder"), folderIsFile);
        AddNode(contacts->child(0));  // nothing to add, nothing to say
        QVERIFY(m_draft.items.empty());
    }

    // Each node resolves in the home folder of the moment; a fixed name is never numbered.
    void programSettingsAddWithFixedNames() {
        const struct {
            const char* node;
            const char* made;      // folders made in the home folder first
            const char* expected;  // the new row ("<home>": the home folder), or the message
        } cases[] = {
            {"SSH keys and settings", ".ssh", "<home>/.ssh/|SSH"},
            {"GNOME desktop settings", "",
             "HKEY_CURRENT_USER\\org\\gnome\\desktop|GNOME Desktop Settings.reg"},
            {"GnuPG keys", "", "Warning|Cannot find GnuPG keys folder"},
            {"SSH keys and settings", "", "Information|This item was allready added."},
        };
        QTemporaryDir home;
        test::ScopedEnv homeEnv("HOME", QFile::encodeName(home.path()));
        m_draft.items.push_back(MakePathItem("/elsewhere/SSH/", kItemFolder, "SSH"));
        m_page->Load();
        for (const auto& c : cases) {
            for (const QString& folder : QString(c.made).split(' ', Qt::SkipEmptyParts)) {
                QVERIFY(QDir(home.path()).mkpath(folder));
            }
            const int rows = m_list->topLevelItemCount();
            const bool refused = QStringList{"Warning", "Information"}.contains(
                QString(c.expected).section('|', 0, 0));
            test::SeenDialog seen;
            if (refused) {
                test::AnswerNextDialog(this, seen);
            }
            AddNode(Child(m_tree->topLevelItem(3), c.node));
            const QTreeWidgetItem* last = m_list->topLevelItem(m_list->topLevelItemCount() - 1);
            QCOMPARE(refused ? seen.title + '|' + seen.text : last->text(0) + '|' + last->text(1),
                     QString(c.expected).replace("<home>", home.path()));
            QCOMPARE(m_list->topLevelItemCount(), rows + (refused ? 0 : 1));
        }
        QCOMPARE(m_draft.name, QString("SSH Keys"));
    }

    void registryKeysAreReadWhenOpenedAndAddedAsReg() {
        const test::DconfSandbox& dconf = test::DconfSandbox::Get();
        QVERIFY2(dconf.Write("/corvane-tree/a/b/x", "1") && dconf.Write("/corvane-tree/c/y", "2"),
                 qPrintable(dconf.Problem()));
        QTreeWidgetItem* registry = m_tree->topLevelItem(2);
        QCOMPARE(registry->text(0) + ChildTexts(registry).join(',') +
                     ChildTexts(registry->child(0)).join(','),
                 QString("Registry itemsHKEY_CURRENT_USER,HKEY_LOCAL_MACHINESub reg ###"));
        registry->child(0)->setExpanded(true);
        QTreeWidgetItem* top = Child(registry->child(0), "corvane-tree");
        top->setExpanded(true);
        QCOMPARE(ChildTexts(top) + ChildTexts(top->child(0)) + ChildTexts(top->child(1)),
                 QStringList({"a", "c", "Sub reg ###"}));
        AddNode(top->child(0));
        QCOMPARE(ChildTexts(m_list->invisibleRootItem()) << m_list->topLevelItem(0)->text(1),
                 QStringList({"HKEY_CURRENT_USER\\corvane-tree\\a", "a.reg"}));
    }

  private:
    void AddNode(QTreeWidgetItem* node) {
        m_tree->setCurrentItem(node);
        Click("addButton");
    }
    void Click(const char* button) { m_page->findChild<QPushButton*>(button)->click(); }

    TaskRecord m_draft;
    std::unique_ptr<CSourcePage> m_page;
    CSourceTree* m_tree = nullptr;
    QTreeWidget* m_list = nullptr;
    QLineEdit* m_name = nullptr;
    QTreeWidgetItem* m_home = nullptr;
};

QTEST_MAIN(TestSourcePage)
#include "tst_SourcePage.moc"
