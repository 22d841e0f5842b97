// The docking log window inside the main window: where it docks, and the size it keeps
// for each place (docked at the top or bottom, docked left or right, floating), saved
// in its settings section and given back.

#include <QMainWindow>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "controls/CLogBar.h"
#include "controls/CLogListBox.h"
#include "model/TaskList.h"
#include "support/WidgetTesting.h"
#include "ui/CMainFrame.h"

using namespace corvane;

namespace {

const test::WidgetTestEnvironment g_environment;

QSettings Settings() {
    return QSettings("Tarnis", "Tarnis");
}

}  // namespace

class TestLogBar : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        Settings().clear();
        m_data = std::make_unique<QTemporaryDir>();
        m_tasks = std::make_unique<TaskList>();
        MakeFrame(false);
    }
    void cleanup() {
        m_frame.reset();
        m_tasks.reset();
        m_data.reset();
    }

    // Each place keeps its own size: moving the bar away and back brings it back.
    void eachPlaceKeepsItsSize() {
        CLogBar* bar = m_frame->LogBar();
        m_frame->resizeDocks({bar}, {160}, Qt::Vertical);
        QTRY_COMPARE(bar->height(), 160);
        QCOMPARE(bar->HorizontalSize().height(), 160);

        m_frame->addDockWidget(Qt::LeftDockWidgetArea, bar);
        QTRY_COMPARE(m_frame->dockWidgetArea(bar), Qt::LeftDockWidgetArea);
        QTest::qWait(20);  // the move settles on the event loop
        m_frame->resizeDocks({bar}, {210}, Qt::Horizontal);

        QTRY_COMPARE(bar->width(), 210);
        QCOMPARE(bar->VerticalSize().width(), 210);
        QCOMPARE(bar->HorizontalSize().height(), 160);

        m_frame->addDockWidget(Qt::BottomDockWidgetArea, bar);
        QTRY_COMPARE(bar->height(), 160);

        m_frame->addDockWidget(Qt::RightDockWidgetArea, bar);
        QTRY_COMPARE(bar->width(), 210);

        bar->setFloating(true);
        QTest::qWait(20);
        bar->resize(320, 240);
        QTRY_COMPARE(bar->FloatingSize(), QSize(320, 240));
        bar->setFloating(false);
        QTRY_COMPARE(bar->width(), 210);
        bar->setFloating(true);
        QTRY_COMPARE(bar->size(), QSize(320, 240));
    }

    void sizesAreSavedInTheirSectionAndGivenBack() {
        CLogBar* bar = m_frame->LogBar();
        m_frame->resizeDocks({bar}, {170}, Qt::Vertical);
        QTRY_COMPARE(bar->height(), 170);
        const int width = bar->width();
        QVERIFY(m_frame->close());
        m_frame.reset();

        QSettings settings = Settings();
        QCOMPARE(settings.value("LogState-SCBar-114/sizeHorzCY").toInt(), 170);
        QCOMPARE(settings.value("LogState-SCBar-114/sizeHorzCX").toInt(), width);

        // The sizes alone, without the bar layout, give the bar its height back.
        settings.remove("BarStates");
        settings.sync();
        MakeFrame(false);
        QTRY_COMPARE(m_frame->LogBar()->height(), 170);
    }

    void unusableStoredSizesAreIgnored() {
        CLogBar* bar = m_frame->LogBar();
        m_frame->resizeDocks({bar}, {150}, Qt::Vertical);
        QTRY_COMPARE(bar->HorizontalSize().height(), 150);
        const QSize before = bar->HorizontalSize();

        QSettings settings = Settings();
        settings.setValue("LogState-SCBar-114/sizeHorzCX", "wide");
        settings.setValue("LogState-SCBar-114/sizeHorzCY", 300);
        settings.setValue("LogState-SCBar-114/sizeFloatCX", -5);
        settings.setValue("LogState-SCBar-114/sizeFloatCY", 100);
        bar->LoadSizes(settings, "LogState");
        QCOMPARE(bar->HorizontalSize(), before);
        QVERIFY(!bar->FloatingSize().isValid());  // it never floated
        QCOMPARE(bar->height(), 150);
    }

  private:
    void MakeFrame(bool ignoreSavedLayout) {
        CMainFrame::Options options;
        options.dataFolder = m_data->path();
        options.showSplash = false;
        options.ignoreSavedLayout = ignoreSavedLayout;
        m_frame = std::make_unique<CMainFrame>(*m_tasks, options);
        m_frame->resize(800, 600);
        m_frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_frame.get()));
    }

    std::unique_ptr<QTemporaryDir> m_data;
    std::unique_ptr<TaskList> m_tasks;
    std::unique_ptr<CMainFrame> m_frame;
};

QTEST_MAIN(TestLogBar)
#include "tst_LogBar.moc"
