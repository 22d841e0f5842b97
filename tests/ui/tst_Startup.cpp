#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "platform/DataFolderLock.h"
#include "support/RecordingCrontab.h"
#include "support/TempDir.h"
#include "support/WidgetTesting.h"
#include "ui/CMainFrame.h"
#include "ui/CTarnisApp.h"
#include "ui/CTarnisView.h"

using corvane::CTarnisApp;
using corvane::test::ReadAll;

namespace {

// The programs these tests start bring the jobs in step with their task lists: never
// with the user's own.
const QTemporaryDir g_schedulerFolder;
const corvane::test::RecordingCrontab g_scheduler(g_schedulerFolder.path());

// Settings and sockets of this test only, in place before the application object
// exists.
QTemporaryDir& Home() {
    static QTemporaryDir home;
    return home;
}

const bool kEnvironmentReady = [] {
    QDir(Home().path()).mkpath(QStringLiteral("config"));
    QDir(Home().path()).mkpath(QStringLiteral("run"));
    QFile::setPermissions(Home().path() + "/run",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(Home().path() + "/config"));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(Home().path() + "/run"));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    return true;
}();

// The built program, named by the build.
const QString kProgram = QStringLiteral(CORVANE_PATH);

struct Child {
    int status = -1;
    QString out;
    QString err;
};

}  // namespace

// Start-up of the window program: one program per data folder, a second one hands its
// argument over and ends; without a display a task runs on the terminal.
class StartupTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        QVERIFY(kEnvironmentReady);
        QVERIFY2(QFileInfo(kProgram).isExecutable(), qPrintable(kProgram));
        m_dir = std::make_unique<corvane::test::TempDir>();
        m_dir->Write("src/Docs/a.txt", "alpha");
        m_dir->Write("data/CorvTasks.bin",
                     ("<TasksList><Main TasksCount=\"1\"/>"
                      "<Task0 taskName=\"My Docs\" taskOID=\"1\" backupMode=\"1\" destPath=\"" +
                      m_dir->File("dst") + "/\" itemsCount=\"1\" SrcDataType1=\"1\" SrcFolder1=\"" +
                      m_dir->File("src/Docs") + "\" DstFolderName1=\"Docs\"/></TasksList>")
                         .toUtf8());
        qputenv("CORVANE_HOME", QFile::encodeName(Data()));
    }
    void cleanup() {
        m_app.reset();
        m_dir.reset();
    }

    // The window's own argument waits until the tasks are in and the window is up; a
    // second program hands its argument over (or only raises the window) and ends.
    void secondProgramHandsOverAndEnds() {
        QVERIFY(StartApp({"/\"my docs\""}));
        QVERIFY(m_app->Frame()->isVisible());
        QCOMPARE(m_app->DataFolder(), Data());
        QTRY_COMPARE_WITH_TIMEOUT(ReadAll(CopiedFile()), QByteArray("alpha"), 60000);
        corvane::DataFolderLock lock;  // the window owns the folder
        QVERIFY(!lock.TryLock(Data()));

        // The launcher's form of the name, in other letter case.
        QFile::remove(CopiedFile());
        const Child handed = RunProgram({"/\"MY DOCS\""}, ChildEnv());
        QCOMPARE(handed.status, 0);
        QVERIFY2(handed.err.isEmpty(), qPrintable(handed.err));
        QTRY_COMPARE_WITH_TIMEOUT(ReadAll(CopiedFile()), QByteArray("alpha"), 60000);

        const Child unknown = RunProgram({"/Nothing"}, ChildEnv());
        QCOMPARE(unknown.status, 1);
        QVERIFY2(unknown.err.contains("Error: task 'Nothing' not found"), qPrintable(unknown.err));
        // No second window was ever made: none saved its settings.
        QVERIFY(!QFileInfo::exists(m_dir->File("child-config/Tarnis/Tarnis.conf")));

        // Started again with other than one argument, the program only brings the window up.
        QFile::remove(CopiedFile());
        m_app->Frame()->hide();  // as in the tray
        QCOMPARE(RunProgram({"My", "Docs"}, ChildEnv()).status, 0);
        QTRY_VERIFY(m_app->Frame()->isVisible());
        QVERIFY(!QFileInfo::exists(CopiedFile()));
    }

    void withoutDisplayTheTaskRunsOnTheTerminal() {
        QProcessEnvironment env = ChildEnv();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");

        const Child none = RunProgram({}, env);
        QCOMPARE(none.status, 1);
        QVERIFY2(none.err.contains("no display"), qPrintable(none.err));
        // The options answer; a task named like one is reached with the slash.
        const Child version = RunProgram({"--version"}, env);
        QCOMPARE(version.status, 0);
        QVERIFY2(version.out.startsWith("corvane 0.") && version.err.isEmpty(),
                 qPrintable(version.out + version.err));
        QVERIFY(RunProgram({"--help"}, env).out.contains("corvane /--help"));
        const Child named = RunProgram({"/--help"}, env);
        QVERIFY2(named.err.contains("'--help' not found"), qPrintable(named.err));

        const Child run = RunProgram({"/\"my docs\""}, env);
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains("Starting task...\n") && run.out.contains("  Task completed\n"),
                 qPrintable(run.out));
        QCOMPARE(ReadAll(CopiedFile()), QByteArray("alpha"));

        // While a window owns the folder, the name goes to it instead.
        QFile::remove(CopiedFile());
        QVERIFY(StartApp({}));
        const Child handed = RunProgram({"/My Docs"}, env);
        QCOMPARE(handed.status, 0);
        QCOMPARE(handed.out,
                 QStringLiteral("Task 'My Docs' handed over to the running Corvane window\n"));
        QTRY_COMPARE_WITH_TIMEOUT(ReadAll(CopiedFile()), QByteArray("alpha"), 60000);
    }

    void damagedTaskListIsKeptWhateverTheAnswer_data() {
        QTest::addColumn<QString>("answer");
        QTest::newRow("quit") << "Quit";
        QTest::newRow("fresh start") << "Start with an empty list";
    }
    // A damaged task list was read as an empty one, and the window saved that over it.
    void damagedTaskListIsKeptWhateverTheAnswer() {
        QFETCH(QString, answer);
        const QByteArray broken = "<TasksList><Main TasksCount=\"1\"></TasksList>";
        m_dir->Write("data/CorvTasks.bin", broken);
        QString text;
        corvane::test::WhenModal<QMessageBox>(this, [&](QMessageBox* box) {
            text = box->text();
            for (QAbstractButton* button : box->buttons()) {
                button->text() == answer ? button->click() : void();
            }
        });
        const bool fresh = answer != "Quit";
        QCOMPARE(StartApp({}), fresh);
        QVERIFY2(text.startsWith("Error: cannot read the task list " + Data() +
                                 "/CorvTasks.bin: Opening and ending tag mismatch at line 1, "
                                 "column 45\n"),
                 qPrintable(text));
        const QStringList aside = QDir(Data()).entryList({"CorvTasks.bin.damaged-*"}, QDir::Files);
        QCOMPARE(aside.size(), fresh ? 1 : 0);
        QCOMPARE(ReadAll(Data() + "/" + (fresh ? aside.front() : "CorvTasks.bin")), broken);
        QVERIFY(fresh || !QFile::exists(Data() + "/CorvGroups.bin"));  // Quit writes nothing
        QVERIFY(!fresh || m_app->Frame()->View()->Tree().TopLevel().empty());
    }

  private:
    QProcessEnvironment ChildEnv() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        // A window made by the second program would leave its settings here when it ends.
        env.insert("XDG_CONFIG_HOME", m_dir->File("child-config"));
        return env;
    }
    // Makes the window program of this process with `args` after its name and starts it.
    bool StartApp(const QByteArrayList& args) {
        m_argStore = QByteArrayList{"corvane"} + args;
        m_argv.clear();
        for (QByteArray& arg : m_argStore) {
            m_argv.push_back(arg.data());
        }
        m_argv.push_back(nullptr);
        m_argc = int(m_argStore.size());
        m_app = std::make_unique<CTarnisApp>(m_argc, m_argv.data());
        return m_app->Start(m_exitCode);
    }
    // Starts corvane, waits for its end while this process serves its window.
    Child RunProgram(const QStringList& args, const QProcessEnvironment& env) const {
        QProcess process;
        process.setProcessEnvironment(env);
        process.setStandardInputFile(QProcess::nullDevice());
        QSignalSpy finished(&process, &QProcess::finished);
        process.start(kProgram, args);
        Child child;
        if (!finished.wait(120000)) {
            process.kill();
            process.waitForFinished();
            return child;
        }
        child.out = QString::fromUtf8(process.readAllStandardOutput());
        child.err = QString::fromUtf8(process.readAllStandardError());
        child.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return child;
    }
    QString Data() const { return m_dir->File("data"); }
    QString CopiedFile() const { return m_dir->File("dst/Docs/a.txt"); }

    std::unique_ptr<corvane::test::TempDir> m_dir;
    std::unique_ptr<CTarnisApp> m_app;
    int m_argc = 1;
    QByteArrayList m_argStore;
    std::vector<char*> m_argv;
    int m_exitCode = -1;
};

QTEST_MAIN(StartupTest)
#include "tst_Startup.moc"
