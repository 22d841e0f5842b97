// The list of the log window: the colours it draws, tab stops, the newest line kept in
// view, the oldest lines dropped when full (the view's rows following the list),
// clearing and copying to the clipboard.

#include <QClipboard>
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

    // Each line is drawn in the colour its text earns, on white; with colours off all
    // in black.
    void linesAreDrawnInTheirColours() {
        corvane::Log("  Error: task failed");     // red, though it begins with two blanks
        corvane::Log("  Add task 'a' to queue");  // blue
        corvane::Log("  Warning: Error: both");   // dark green wins over red
        corvane::Log("Starting task...");         // black, stamped
        corvane::Log("error: lower case");        // red
        corvane::Log("ERROR: upper case");        // black
        QCOMPARE(m_box->LineCount(), 6);

        const QImage image = m_box->viewport()->grab().toImage();
        auto row = [&](int r) {
            return CountHues(image, m_box->visualRect(m_box->model()->index(r, 0)));
        };
        struct Expect {
            int row;
            bool red, green, blue;
        };
        const Expect expected[] = {{0, true, false, false}, {1, false, false, true},
                                   {2, false, true, false}, {3, false, false, false},
                                   {4, true, false, false}, {5, false, false, false}};
        for (const Expect& e : expected) {
            const HueCount hues = row(e.row);
            QVERIFY2((hues.red > 0) == e.red, qPrintable(QString("row %1 red").arg(e.row)));
            QVERIFY2((hues.green > 0) == e.green, qPrintable(QString("row %1 green").arg(e.row)));
            QVERIFY2((hues.blue > 0) == e.blue, qPrintable(QString("row %1 blue").arg(e.row)));
        }
        // The black lines have text.
        QVERIFY(row(3).grey > 0);

        m_box->SetColoursOn(false);
        const QImage plain = m_box->viewport()->grab().toImage();
        for (int r = 0; r < 6; ++r) {
            const HueCount hues = CountHues(plain, m_box->visualRect(m_box->model()->index(r, 0)));
            QCOMPARE(hues.red + hues.green + hues.blue, 0);
            QVERIFY(hues.grey > 0);
        }
    }

    void selectedLineUsesTheSelectionColours() {
        corvane::Log("  first");
        corvane::Log("  second");
        m_box->setCurrentIndex(m_box->model()->index(0, 0));
        const QImage image = m_box->viewport()->grab().toImage();
        const QRect row = m_box->visualRect(m_box->model()->index(0, 0));
        // The right end of the row is background only.
        const QColor highlight = m_box->palette().color(QPalette::Highlight);
        QCOMPARE(QColor(image.pixel(row.right() - 1, row.center().y())), highlight);
        const QRect other = m_box->visualRect(m_box->model()->index(1, 0));
        QCOMPARE(QColor(image.pixel(other.right() - 1, other.center().y())), QColor(Qt::white));

        // A new line clears the selection.
        corvane::Log("  third");
        QVERIFY(!m_box->selectionModel()->hasSelection());
    }

    // Text starts 2 pixels in; a tab moves it to the next stop, 8 widths of "c" apart.
    void tabsExpandAtStopsOfEightCharacters() {
        corvane::Log("  \tX");
        corvane::Log("  X");
        const QImage image = m_box->viewport()->grab().toImage();
        auto firstInk = [&](int r) {
            const QRect row = m_box->visualRect(m_box->model()->index(r, 0));
            for (int x = row.left(); x <= row.right(); ++x) {
                for (int y = row.top(); y <= row.bottom(); ++y) {
                    if (QColor(image.pixel(x, y)) != QColor(Qt::white)) {
                        return x - row.left();
                    }
                }
            }
            return -1;
        };
        const int stop = 8 * m_box->fontMetrics().horizontalAdvance(QLatin1Char('c'));
        const int space = m_box->fontMetrics().horizontalAdvance(QLatin1Char(' '));
        const int plain = firstInk(1);
        QVERIFY(plain >= 2 + 2 * space - 1 && plain < 2 + 2 * space + space);
        const int tabbed = firstInk(0);
        QVERIFY2(tabbed >= 2 + stop - 1 && tabbed < 2 + stop + space,
                 qPrintable(QString("ink at %1, stop at %2").arg(tabbed).arg(2 + stop)));
    }

    void newestLineStaysInView() {
        for (int i = 0; i < 200; ++i) {
            corvane::Log("  line %d", i);
        }
        const QRect viewport = m_box->viewport()->rect();
        QVERIFY(viewport.intersects(m_box->visualRect(m_box->model()->index(199, 0))));
        QVERIFY(!viewport.intersects(m_box->visualRect(m_box->model()->index(0, 0))));
    }

    // A full list drops its 20 oldest lines (all but one when it holds fewer), and the
    // view's rows follow the list.
    void fullListDropsTheOldestLines_data() {
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("logged");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("firstNumber");
        QTest::newRow("not yet full") << 25 << 25 << 25 << 0;
        QTest::newRow("twenty dropped") << 25 << 26 << 6 << 20;
        QTest::newRow("dropped twice") << 25 << 46 << 6 << 40;
        QTest::newRow("fewer than twenty") << 5 << 6 << 2 << 4;
        QTest::newRow("one line only keeps it") << 1 << 3 << 1 << 0;
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

    void clearEmptiesTheList() {
        corvane::Log("  a");
        corvane::Log("  b");
        corvane::ClearLog();
        QCOMPARE(m_box->LineCount(), 0);
        QCOMPARE(m_box->model()->rowCount(), 0);
        corvane::Log("  c");
        QCOMPARE(m_box->model()->rowCount(), 1);
    }

    void copyPutsEveryLineOnTheClipboard() {
        QGuiApplication::clipboard()->setText("old");
        corvane::Log("  first");
        corvane::Log("  second\tcolumn");
        corvane::Log("%s", "");
        m_box->CopyToClipboard();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QString("  first\r\n  second\tcolumn\r\n\r\n"));
        QVERIFY(m_box->Lines().Line(3).text.endsWith(": Log text was stored in clipboard"));
    }

    void copyOfAnEmptyLog() {
        QGuiApplication::clipboard()->setText("old");
        m_box->CopyToClipboard();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString());
        QCOMPARE(m_box->LineCount(), 1);
        QVERIFY(m_box->Lines().Line(0).text.endsWith("Log text was stored in clipboard"));
    }

  private:
    std::unique_ptr<CLogListBox> m_box;
};

QTEST_MAIN(TestLogListBox)
#include "tst_LogListBox.moc"
