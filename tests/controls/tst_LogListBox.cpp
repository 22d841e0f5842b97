// The list of the log window: the colours it draws, and its rows following the list when
// the oldest lines are dropped. The rules are the log list's, tested in tests/log.

#include <QImage>
#include <QtTest>

#include "controls/CLogListBox.h"
#include "log/Log.h"

using corvane::CLogListBox;

namespace {

// Pixels of a row whose colour leans clearly towards one hue.
struct HueCount {
    int red = 0;
    int green = 0;
    int blue = 0;
    int grey = 0;  // every other pixel that is not white
};

HueCount CountHues(const QImage& image, const QRect& row) {
    HueCount count;
    for (int y = row.top(); y <= row.bottom(); ++y) {
        for (int x = row.left(); x <= row.right(); ++x) {
            const QColor c(image.pixel(x, y));
            if (c.red() > c.green() + 60 && c.red() > c.blue() + 60) {
                ++count.red;
            } else if (c.green() > c.red() + 40 && c.green() > c.blue() + 40) {
                ++count.green;
            } else if (c.blue() > c.red() + 60 && c.blue() > c.green() + 60) {
                ++count.blue;
            } else if (c != QColor(Qt::white)) {
                ++count.grey;
            }
        }
    }
    return count;
}

}  // namespace

class TestLogListBox : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        m_box = std::make_unique<CLogListBox>();
        m_box->resize(400, 200);
        m_box->show();
        corvane::SetLogTarget(m_box.get());
    }
    void cleanup() {
        corvane::SetLogTarget(nullptr);
        m_box.reset();
    }

    // Each line is drawn in the colour its text earns, on white.
    void linesAreDrawnInTheirColours() {
        corvane::Log("  Error: task failed");     // red, though it begins with two blanks
        corvane::Log("  Add task 'a' to queue");  // blue
        corvane::Log("  Warning: Error: both");   // dark green wins over red
        corvane::Log("Starting task...");         // black, stamped
        QCOMPARE(m_box->LineCount(), 4);

        const QImage image = m_box->viewport()->grab().toImage();
        auto row = [&](int r) {
            return CountHues(image, m_box->visualRect(m_box->model()->index(r, 0)));
        };
        struct Expect {
            int row;
            bool red, green, blue;
        };
        const Expect expected[] = {{0, true, false, false},
                                   {1, false, false, true},
                                   {2, false, true, false},
                                   {3, false, false, false}};
        for (const Expect& e : expected) {
            const HueCount hues = row(e.row);
            QVERIFY2((hues.red > 0) == e.red, qPrintable(QString("row %1 red").arg(e.row)));
            QVERIFY2((hues.green > 0) == e.green, qPrintable(QString("row %1 green").arg(e.row)));
            QVERIFY2((hues.blue > 0) == e.blue, qPrintable(QString("row %1 blue").arg(e.row)));
        }
    }

    // A full list drops its 20 oldest lines (all but one when it holds fewer), and the
    // view's rows follow the list.
    void fullListDropsTheOldestLines_data() {
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("logged");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("firstNumber");
        QTest::newRow("twenty dropped") << 25 << 26 << 6 << 20;
        QTest::newRow("fewer than twenty") << 5 << 6 << 2 << 4;
    }
    void fullListDropsTheOldestLines() {
        QFETCH(int, capacity);
        QFETCH(int, logged);
        QFETCH(int, count);
        QFETCH(int, firstNumber);
        CLogListBox box(nullptr, capacity);
        box.resize(300, 100);
        box.show();
        corvane::SetLogTarget(&box);
        for (int i = 0; i < logged; ++i) {
            corvane::Log("  %d", i);
        }
        corvane::SetLogTarget(m_box.get());
        QCOMPARE(box.LineCount(), count);
        QCOMPARE(box.model()->rowCount(), count);
        QCOMPARE(box.model()->index(0, 0).data().toString(), QString("  %1").arg(firstNumber));
        for (int r = 0; r < count; ++r) {
            QCOMPARE(box.model()->index(r, 0).data().toString(), box.Lines().Line(r).text);
        }
    }

  private:
    std::unique_ptr<CLogListBox> m_box;
};

QTEST_MAIN(TestLogListBox)
#include "tst_LogListBox.moc"
