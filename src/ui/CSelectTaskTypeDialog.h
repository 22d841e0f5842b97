#pragma once

// "Select task type": a backup task (preselected) or a restore from a previous backup
// session, each with its explanation.
//
// Main thread only.

#include <QDialog>

class QRadioButton;

namespace corvane {

class CSelectTaskTypeDialog : public QDialog {
    Q_OBJECT

  public:
    enum class Choice { kBackup, kRestore };

    explicit CSelectTaskTypeDialog(QWidget* parent = nullptr);

    Choice Chosen() const;

    // Runs the dialog modally; false when cancelled.
    static bool Ask(QWidget* parent, Choice& choice);

  private:
    QRadioButton* m_backup;
};

}  // namespace corvane
