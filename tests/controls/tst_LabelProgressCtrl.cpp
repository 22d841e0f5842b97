// The status bar's progress bar: the fill it paints for the model's state, and the
// progress operations of the log driving it. The text and fill rules are the model's,
// tested in tests/log.

#include <QImage>
#include <QtTest>

#include "controls/CLabelProgressCtrl.h"
#include "log/Log.h"

using corvane::CLabelProgressCtrl;

namespace {

const QColor kBar(255, 0, 0);
const QColor kBack(0, 0, 255);

QImage Picture(CLabelProgressCtrl& control) {
    return control.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Columns of the top row in the bar colour, counted from the left until the first that
// is not.
int FilledColumns(const QImage& image) {
    int x = 0;
    while (x < image.width() && QColor(image.pixel(x, 0)) == kBar) {
        ++x;
    }
    return x;
}

}  // namespace

class TestLabelProgressCtrl : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        m_control = std::make_unique<CLabelProgressCtrl>();
        m_control->resize(200, 24);
        m_control->SetBarColour(kBar);
        m_control->SetBackgroundColour(kBack);
        m_control->Show();
    }
    void cleanup() {
        corvane::SetProgressTarget(nullptr);
        m_control.reset();
    }

    void fill_data() {
        QTest::addColumn<int>("lower");
        QTest::addColumn<int>("upper");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("filled");  // of 200 columns
        QTest::newRow("half") << 0 << 100 << 50 << 100;
        QTest::newRow("end of the widest range") << 0 << 65535 << 65535 << 200;
    }
    void fill() {
        QFETCH(int, lower);
        QFETCH(int, upper);
        QFETCH(int, position);
        QFETCH(int, filled);

        m_control->SetLabel("Copying");
        m_control->SetRange(lower, upper);
        m_control->SetPosition(position);

        // The top row holds no text: it shows the two parts alone.
        const QImage image = Picture(*m_control);
        QCOMPARE(FilledColumns(image), filled);
        for (int x = filled; x < image.width(); ++x) {
            QCOMPARE(QColor(image.pixel(x, 0)), kBack);
        }
    }

    // The progress operations of the log reach the bar: shown at 0, range and position
    // taken only while shown, hidden again.
    void drivenByTheProgressOperations() {
        CLabelProgressCtrl control;
        corvane::SetProgressTarget(&control);
        QVERIFY(!control.IsShown());

        corvane::ShowProgress();
        QVERIFY(control.IsShown());
        QVERIFY(!control.isHidden());
        corvane::SetProgressLabel("Task estimate");
        corvane::SetProgressRange(0, 4);
        corvane::SetProgressPos(3);
        QCOMPARE(control.Model().Text(), QString("Task estimate: 75%"));

        corvane::HideProgress();
        QVERIFY(!control.IsShown());
        QVERIFY(control.isHidden());
    }

  private:
    std::unique_ptr<CLabelProgressCtrl> m_control;
};

QTEST_MAIN(TestLabelProgressCtrl)
#include "tst_LabelProgressCtrl.moc"
