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
        const char* const expected[] = {"r--", "--b", "-g-", "---"};  // hues seen in each row
        for (int r = 0; r < 4; ++r) {
            const HueCount h = CountHues(image, m_box->visualRect(m_box->model()->index(r, 0)));
            const QString seen = QString(h.red > 0 ? "r" : "-") + (h.green > 0 ? "g" : "-") +
                                 (h.blue > 0 ? "b" : "-");
            QCOMPARE(seen, QString(expected[r]));
        }
    }

    // A full list drops its 20 oldest lines, and the view's rows follow the list (which
    // lines go is the log list's rule, tested in tests/log).
    void fullListDropsTheOldestLines() {
        CLogListBox box(nullptr, 25);
        box.resize(300, 100);
        box.show();
        corvane::SetLogTarget(&box);
        for (int i = 0; i < 26; ++i) {
            corvane::Log("  %d", i);
        }
        corvane::SetLogTarget(m_box.get());
        QCOMPARE(box.LineCount(), 6);
        QCOMPARE(box.model()->rowCount(), 6);
        QCOMPARE(box.model()->index(0, 0).data().toString(), QString("  20"));
        for (int r = 0; r < 6; ++r) {
            QCOMPARE(box.model()->index(r, 0).data().toString(), box.Lines().Line(r).text);
        }
    }

  private:
    std::unique_ptr<CLogListBox> m_box;
};

QTEST_MAIN(TestLogListBox)
#include "tst_LogListBox.moc"
