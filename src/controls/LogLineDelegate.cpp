#include "controls/LogLineDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QTextOption>

#include "controls/LogListModel.h"
#include "log/LogPalette.h"

namespace corvane {

namespace {

QColor PaletteColour(int index) {
    const LogColour colour = LogPaletteColour(index);
    return QColor(colour.red, colour.green, colour.blue);
}

}  // namespace

LogLineDelegate::LogLineDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

void LogLineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    QColor text;
    QColor back;
    if (option.state & QStyle::State_Selected) {
        text = option.palette.color(QPalette::HighlightedText);
        back = option.palette.color(QPalette::Highlight);
    } else if (m_coloursOn) {
        text = PaletteColour(index.data(LogListModel::kTextColourRole).toInt());
        back = PaletteColour(index.data(LogListModel::kBackColourRole).toInt());
    } else {
        text = PaletteColour(kLogBlack);
        back = PaletteColour(kLogWhite);
    }

    painter->save();
    painter->fillRect(option.rect, back);
    painter->setFont(option.font);
    painter->setPen(text);
    QTextOption textOption(Qt::AlignLeft | Qt::AlignVCenter);
    textOption.setWrapMode(QTextOption::NoWrap);
    textOption.setTabStopDistance(kTabWidthInChars *
                                  option.fontMetrics.horizontalAdvance(QLatin1Char('c')));
    const QRectF textRect = QRectF(option.rect).adjusted(kTextIndent, 0, 0, 0);
    painter->drawText(textRect, index.data(Qt::DisplayRole).toString(), textOption);
    painter->restore();

    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.backgroundColor = back;
        const QWidget* widget = option.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
}

QSize LogLineDelegate::sizeHint(const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    const QString text = index.data(Qt::DisplayRole).toString();
    return {kTextIndent + option.fontMetrics.horizontalAdvance(text), option.fontMetrics.height()};
}

}  // namespace corvane
