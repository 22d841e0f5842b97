#include "controls/CHistoryCombo.h"

#include <QLineEdit>

namespace corvane {

CHistoryCombo::CHistoryCombo(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    // Typing never adds entries by itself: the history changes when a page is left.
    setInsertPolicy(QComboBox::NoInsert);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
}

void CHistoryCombo::ShowHistory(const QStringList& history) {
    const QString text = currentText();
    clear();
    addItems(history);
    // The field shows what the user typed or what the task holds, not the top entry.
    setEditText(text);
}

QStringList CHistoryCombo::History() const {
    QStringList entries;
    for (int index = 0; index < count(); ++index) {
        entries << itemText(index);
    }
    return entries;
}

}  // namespace corvane
