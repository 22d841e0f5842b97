// The status bar's progress bar: what it shows for a range and a position, how it
// paints the two parts and its text, and how the progress operations of the log drive
// it.

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

// Pixels inside `area` that are neither of the two part colours: the text.
int TextPixels(const QImage& image, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor colour(image.pixel(x, y));
            count += (colour != kBar && colour != kBack) ? 1 : 0;
        }
    }
    return count;
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

    void textAndFill_data() {
        QTest::addColumn<int>("lower");
        QTest::addColumn<int>("upper");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("filled");  // of 200 columns
        QTest::newRow("half with a label") << 0 << 100 << 50 << "Copying"
                                           << "Copying: 50%" << 100;
        QTest::newRow("half without a label") << 0 << 100 << 50 << ""
                                              << "50%" << 100;
        QTest::newRow("thirds truncate") << 0 << 3 << 1 << ""
                                         << "33%" << 66;
        QTest::newRow("shifted range") << 10 << 20 << 15 << "Stage"
                                       << "Stage: 50%" << 100;
        QTest::newRow("start") << 0 << 7 << 0 << ""
                               << "0%" << 0;
        QTest::newRow("end of the widest range") << 0 << 65535 << 65535 << ""
                                                 << "100%" << 200;
        QTest::newRow("just below the end") << 0 << 1000 << 999 << ""
                                            << "99%" << 199;
    }
    void textAndFill() {
        QFETCH(int, lower);
        QFETCH(int, upper);
        QFETCH(int, position);
        QFETCH(QString, label);
        QFETCH(QString, text);
        QFETCH(int, filled);

        m_control->SetLabel(label);
        m_control->SetRange(lower, upper);
        m_control->SetPosition(position);
        QCOMPARE(m_control->Model().Text(), text);

        // The top row holds no text: it shows the two parts alone.
        const QImage image = Picture(*m_control);
        QCOMPARE(FilledColumns(image), filled);
        for (int x = filled; x < image.width(); ++x) {
            QCOMPARE(QColor(image.pixel(x, 0)), kBack);
        }
    }

    void textIsDrawnInTheContrastingColourOfEachPart() {
        m_control->SetLabel("Copying");
        m_control->SetRange(0, 100);
        m_control->SetPosition(50);
        QImage image = Picture(*m_control);
        const int middle = image.width() / 2;
        const QRect leftPart(0, 0, middle, image.height());
        const QRect rightPart(middle, 0, image.width() - middle, image.height());
        // Without a text colour the text over the bar takes the background colour and
        // the text over the rest the bar colour: so it shows as pixels of the other
        // colour, and neither part holds a third colour except where glyphs are smoothed.
        int backOverBar = 0;
        int barOverBack = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor colour(image.pixel(x, y));
                backOverBar += (x < middle && colour == kBack) ? 1 : 0;
                barOverBack += (x >= middle && colour == kBar) ? 1 : 0;
            }
        }
        QVERIFY(backOverBar > 0);
        QVERIFY(barOverBack > 0);

        // A text colour of its own is used over both parts.
        const QColor green(0, 255, 0);
        m_control->SetTextColour(green);
        image = Picture(*m_control);
        int greenLeft = 0;
        int greenRight = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (QColor(image.pixel(x, y)) == green) {
                    (x < middle ? greenLeft : greenRight) += 1;
                }
            }
        }
        QVERIFY(greenLeft > 0);
        QVERIFY(greenRight > 0);

        // With the text switched off the bar shows the two parts alone.
        m_control->SetShowText(false);
        image = Picture(*m_control);
        QCOMPARE(TextPixels(image, leftPart), 0);
        QCOMPARE(TextPixels(image, rightPart), 0);
        QCOMPARE(m_control->Model().Text(), QString());
    }

    void emptyRangeDrawsNothing_data() {
        QTest::addColumn<int>("lower");
        QTest::addColumn<int>("upper");
        QTest::newRow("5..5") << 5 << 5;
        QTest::newRow("reversed") << 9 << 3;
    }
    void emptyRangeDrawsNothing() {
        QFETCH(int, lower);
        QFETCH(int, upper);
        m_control->SetRange(lower, upper);
        m_control->SetPosition(lower);
        const QImage image = Picture(*m_control);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor colour(image.pixel(x, y));
                QVERIFY2(colour != kBar && colour != kBack, "the bar painted an empty range");
            }
        }
        QCOMPARE(m_control->Model().Text(), QString());
    }

    // The progress operations of the log reach the bar: shown at 0, range and position
    // taken only while shown, hidden again.
    void drivenByTheProgressOperations() {
        CLabelProgressCtrl control;
        corvane::SetProgressTarget(&control);
        QVERIFY(!control.IsShown());

        corvane::SetProgressRange(0, 10);  // hidden: ignored
        corvane::SetProgressPos(5);
        QCOMPARE(control.Model().Upper(), 100);
        QCOMPARE(control.Model().Position(), 0);

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
        corvane::SetProgressPos(1);
        QCOMPARE(control.Model().Position(), 3);

        // Showing again starts over at 0.
        corvane::ShowProgress();
        QCOMPARE(control.Model().Position(), 0);
    }

    void stepAndOffset() {
        m_control->SetRange(0, 10);
        QCOMPARE(m_control->SetStep(4), 1);
        QCOMPARE(m_control->StepIt(), 0);
        QCOMPARE(m_control->StepIt(), 4);
        QCOMPARE(m_control->Model().Position(), 8);
        // Past the end the bar starts over from the beginning.
        m_control->StepIt();
        QCOMPARE(m_control->Model().Position(), 2);

        // An offset stays inside the range.
        QCOMPARE(m_control->OffsetPos(5), 2);
        QCOMPARE(m_control->Model().Position(), 7);
        m_control->OffsetPos(100);
        QCOMPARE(m_control->Model().Position(), 10);
        m_control->OffsetPos(-100);
        QCOMPARE(m_control->Model().Position(), 0);
    }

  private:
    std::unique_ptr<CLabelProgressCtrl> m_control;
};

QTEST_MAIN(TestLabelProgressCtrl)
#include "tst_LabelProgressCtrl.moc"
