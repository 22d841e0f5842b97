#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "app/InstanceChannel.h"
#include "platform/DataFolderLock.h"
#include "support/TempDir.h"
#include "support/WidgetTesting.h"
#include "ui/CMainFrame.h"
#include "ui/CTarnisApp.h"
#include "ui/CTarnisView.h"

using corvane::CMainFrame;
using corvane::CTarnisApp;
using corvane::test::ReadAll;

namespace {

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

// The built program: named by the build, else found beside this test in the build tree.
QString ProgramPath() {
#ifdef CORVANE_PATH
    return QStringLiteral(CORVANE_PATH);
#else
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return QDir::cleanPath(QFileInfo(self).absolutePath() + "/../../src/ui/corvane");
#endif
}

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
    void init();
    void cleanup();
    void argumentStartsAtFirstActivation();
    void secondProgramHandsOverAndEnds();
    void handedOverToAWindowThatWasHidden();
    void withoutDisplayTheTaskRunsOnTheTerminal();
    void damagedTaskListIsKeptWhateverTheAnswer_data();
    void damagedTaskListIsKeptWhateverTheAnswer();

  private:
    // A data folder with the task "My Docs" that copies src/Docs into dst/.
    void MakeDataFolder(const QString& name);
    // Starts corvane, waits for its end while this process serves its window.
    Child RunProgram(const QStringList& args, const QProcessEnvironment& env) const;
    QProcessEnvironment ChildEnv() const;
    // Makes the window program of this process with `args` after its name and starts it.
    bool StartApp(const QByteArrayList& args);
    QString Data() const { return m_dir->File("data"); }
    QString CopiedFile() const { return m_dir->File("dst/Docs/a.txt"); }

    std::unique_ptr<corvane::test::TempDir> m_dir;
    std::unique_ptr<CTarnisApp> m_app;
    int m_argc = 1;
    QByteArrayList m_argStore;
    std::vector<char*> m_argv;
    int m_exitCode = -1;
};

void StartupTest::init() {
    QVERIFY(kEnvironmentReady);
    QVERIFY2(QFileInfo(ProgramPath()).isExecutable(), qPrintable(ProgramPath()));
    m_dir = std::make_unique<corvane::test::TempDir>();
    MakeDataFolder("data");
    qputenv("CORVANE_HOME", QFile::encodeName(Data()));
}

void StartupTest::cleanup() {
    m_app.reset();
    m_dir.reset();
}

void StartupTest::MakeDataFolder(const QString& name) {
    m_dir->Write("src/Docs/a.txt", "alpha");
    m_dir->Write(name + "/CorvTasks.bin",
                 ("<TasksList><Main TasksCount=\"1\"/>"
                  "<Task0 taskName=\"My Docs\" taskOID=\"1\" backupMode=\"1\" destPath=\"" +
                  m_dir->File("dst") + "/\" itemsCount=\"1\" SrcDataType1=\"1\" SrcFolder1=\"" +
                  m_dir->File("src/Docs") + "\" DstFolderName1=\"Docs\"/></TasksList>")
                     .toUtf8());
}

QProcessEnvironment StartupTest::ChildEnv() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    // A window made by the second program would leave its settings here when it ends.
    env.insert("XDG_CONFIG_HOME", m_dir->File("child-config"));
    return env;
}

bool StartupTest::StartApp(const QByteArrayList& args) {
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

Child StartupTest::RunProgram(const QStringList& args, const QProcessEnvironment& env) const {
    QProcess process;
    process.setProcessEnvironment(env);
    process.setStandardInputFile(QProcess::nullDevice());
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(ProgramPath(), args);
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

// The window's own argument waits until the tasks are in and the window is up.
void StartupTest::argumentStartsAtFirstActivation() {
    QVERIFY(StartApp({"/\"my docs\""}));
    QVERIFY(m_app->Frame() != nullptr);
    QVERIFY(m_app->Frame()->isVisible());
    QCOMPARE(m_app->DataFolder(), Data());
    QTRY_COMPARE_WITH_TIMEOUT(ReadAll(CopiedFile()), QByteArray("alpha"), 60000);

    // The window owns the folder: nobody else may take it.
    corvane::DataFolderLock lock;
    QVERIFY(!lock.TryLock(Data()));
}

void StartupTest::secondProgramHandsOverAndEnds() {
    QVERIFY(StartApp({}));
    QVERIFY(!QFileInfo::exists(CopiedFile()));

    // The launcher's form of the name, in other letter case.
    const Child handed = RunProgram({"/\"MY DOCS\""}, ChildEnv());
    QCOMPARE(handed.status, 0);
    QVERIFY2(handed.err.isEmpty(), qPrintable(handed.err));
    // The first program has queued the task by the time the second one ends, and runs it.
    QTRY_COMPARE_WITH_TIMEOUT(ReadAll(CopiedFile()), QByteArray("alpha"), 60000);

    // An unknown name is reported by both.
    const Child unknown = RunProgram({"/Nothing"}, ChildEnv());
    QCOMPARE(unknown.status, 1);
    QVERIFY2(unknown.err.contains("Error: task 'Nothing' not found"), qPrintable(unknown.err));

    // No second window was ever made: none saved its settings.
    QVERIFY(!QFileInfo::exists(m_dir->File("child-config/Tarnis/Tarnis.conf")));
}

void StartupTest::handedOverToAWindowThatWasHidden() {
    QVERIFY(StartApp({"one", "two"}));  // more than one argument: no task
    CMainFrame* frame = m_app->Frame();
    QTest::qWait(0);
    frame->hide();  // as in the tray
    QVERIFY(!frame->isVisible());

    // Started again without an argument, the program only brings the window up.
    const Child raise = RunProgram({}, ChildEnv());
    QCOMPARE(raise.status, 0);
    QTRY_VERIFY(frame->isVisible());

    // Several arguments name no task either.
    frame->hide();
    const Child several = RunProgram({"My", "Docs"}, ChildEnv());
    QCOMPARE(several.status, 0);
    QTRY_VERIFY(frame->isVisible());
    QVERIFY(!QFileInfo::exists(CopiedFile()));
}

void StartupTest::withoutDisplayTheTaskRunsOnTheTerminal() {
    QProcessEnvironment env = ChildEnv();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");

    const Child none = RunProgram({}, env);
    QCOMPARE(none.status, 1);
    QVERIFY2(none.err.contains("no display"), qPrintable(none.err));

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

QTEST_MAIN(StartupTest)
#include "tst_Startup.moc"

void StartupTest::damagedTaskListIsKeptWhateverTheAnswer_data() {
    QTest::addColumn<QString>("answer");
    QTest::newRow("quit") << "Quit";
    QTest::newRow("fresh start") << "Start with an empty list";
}

// A damaged task list was read as an empty one, and the window saved that over it.
void StartupTest::damagedTaskListIsKeptWhateverTheAnswer() {
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
    QVERIFY2(
        text.startsWith("Error: cannot read the task list " + Data() +
                        "/CorvTasks.bin: Opening and ending tag mismatch at line 1, column 45\n"),
        qPrintable(text));
    const QStringList aside = QDir(Data()).entryList({"CorvTasks.bin.damaged-*"}, QDir::Files);
    QCOMPARE(aside.size(), fresh ? 1 : 0);
    QCOMPARE(ReadAll(Data() + "/" + (fresh ? aside.front() : "CorvTasks.bin")), broken);
    QVERIFY(fresh || !QFile::exists(Data() + "/CorvGroups.bin"));  // Quit writes nothing
    QVERIFY(!fresh || m_app->Frame()->View()->Tree().TopLevel().empty());
}
