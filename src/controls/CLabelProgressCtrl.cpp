#include "controls/CLabelProgressCtrl.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

namespace corvane {

CLabelProgressCtrl::CLabelProgressCtrl(QWidget* parent) : QWidget(parent) {
    // Hidden until an operation shows it.
    QWidget::setVisible(false);
}

void CLabelProgressCtrl::Show() {
    m_model.Show();
    setVisible(true);
    update();
    emit ShownChanged(true);
}

void CLabelProgressCtrl::SetLabel(const QString& label) {
    m_model.SetLabel(label);
    update();
}

void CLabelProgressCtrl::SetRange(int lower, int upper) {
    m_model.SetRange(lower, upper);
    update();
}

void CLabelProgressCtrl::SetPosition(int position) {
    m_model.SetPosition(position);
    update();
}

void CLabelProgressCtrl::Hide() {
    m_model.Hide();
    setVisible(false);
    emit ShownChanged(false);
}

int CLabelProgressCtrl::SetStep(int step) {
    const int previous = m_step;
    m_step = step;
    return previous;
}

int CLabelProgressCtrl::StepIt() {
    const int previous = m_model.Position();
    const int lower = m_model.Lower();
    const int upper = m_model.Upper();
    if (lower < upper) {
        qint64 next = qint64{previous} + m_step;
        if (next > upper) {
            // Past the end the bar starts over from the beginning.
            next = lower + (next - lower) % (upper - lower);
        }
        SetPosition(static_cast<int>(next));
    }
    return previous;
}

int CLabelProgressCtrl::OffsetPos(int delta) {
    const int previous = m_model.Position();
    SetPosition(
        static_cast<int>(std::clamp<qint64>(qint64{previous} + delta, 0, kMaxProgressBound)));
    return previous;
}

void CLabelProgressCtrl::SetShowText(bool on) {
    m_model.SetShowText(on);
    update();
}

void CLabelProgressCtrl::SetBarColour(const QColor& colour) {
    m_barColour = colour.isValid() ? std::optional<QColor>(colour) : std::nullopt;
    update();
}

void CLabelProgressCtrl::SetBackgroundColour(const QColor& colour) {
    m_backColour = colour.isValid() ? std::optional<QColor>(colour) : std::nullopt;
    update();
}

void CLabelProgressCtrl::SetTextColour(const QColor& colour) {
    m_textColour = colour.isValid() ? std::optional<QColor>(colour) : std::nullopt;
    update();
}

QColor CLabelProgressCtrl::BarColour() const {
    return m_barColour.value_or(palette().color(QPalette::Highlight));
}

QColor CLabelProgressCtrl::BackgroundColour() const {
    return m_backColour.value_or(palette().color(QPalette::Base));
}

QSize CLabelProgressCtrl::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(QStringLiteral("Task estimate, stage 10/10: 100%")) + 8,
            metrics.height() + 4};
}

void CLabelProgressCtrl::paintEvent(QPaintEvent*) {
    const int lower = m_model.Lower();
    const int upper = m_model.Upper();
    if (lower >= upper) {
        return;  // an empty range shows nothing, not even the background
    }
    const QRect whole = rect();
    const int filled = m_model.FilledWidth(whole.width());
    const QRect filledRect(whole.left(), whole.top(), filled, whole.height());
    const QRect restRect(whole.left() + filled, whole.top(), whole.width() - filled,
                         whole.height());
    const QColor bar = BarColour();
    const QColor back = BackgroundColour();

    // The widget paints into Qt's back buffer, so the two passes never flicker.
    QPainter painter(this);
    painter.fillRect(filledRect, bar);
    painter.fillRect(restRect, back);

    const QString text = m_model.Text();
    if (text.isEmpty()) {
        return;
    }
    // The text is drawn twice, each time clipped to one part, in the colour that
    // contrasts with that part.
    painter.setFont(font());
    const int flags = Qt::AlignCenter | Qt::TextSingleLine;
    painter.setClipRect(filledRect);
    painter.setPen(m_textColour.value_or(back));
    painter.drawText(whole, flags, text);
    painter.setClipRect(restRect);
    painter.setPen(m_textColour.value_or(bar));
    painter.drawText(whole, flags, text);
}

}  // namespace corvane
