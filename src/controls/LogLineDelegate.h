#pragma once

// Draws one log line of the log window: the palette colours of the line (or the
// selection colours while it is selected) over the whole row, the text 2 pixels from
// the left edge with tabs expanded at stops 8 widths of "c" apart, and the focus frame.
//
// Main thread only.

#include <QStyledItemDelegate>

namespace corvane {

class LogLineDelegate : public QStyledItemDelegate {
    Q_OBJECT

  public:
    // Tab stops lie this many widths of "c" apart.
    static constexpr int kTabWidthInChars = 8;
    // The text starts this many pixels right of the row's left edge.
    static constexpr int kTextIndent = 2;

    explicit LogLineDelegate(QObject* parent = nullptr);

    // With colours off every line is black on white.
    void SetColoursOn(bool on) { m_coloursOn = on; }
    bool ColoursOn() const { return m_coloursOn; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  private:
    bool m_coloursOn = true;
};

}  // namespace corvane
