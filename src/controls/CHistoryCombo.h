#pragma once

// An editable combo box that offers the paths typed last (the destination field of the
// task pages). It only shows a history; the caller reads and writes it where the
// user's settings live, so the widget layer knows nothing of the settings file.
//
// Main thread only.

#include <QComboBox>
#include <QStringList>

namespace corvane {

class CHistoryCombo : public QComboBox {
    Q_OBJECT

  public:
    explicit CHistoryCombo(QWidget* parent = nullptr);

    // Replaces the list by `history` (newest first) and keeps the text in the field.
    void ShowHistory(const QStringList& history);

    // The list as shown, top first.
    QStringList History() const;
};

}  // namespace corvane
