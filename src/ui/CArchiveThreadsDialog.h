#pragma once

// Options > "Archive &threads...": how many threads compress the entries of a ZIP
// archive, kept in the user setting that corvane-cli reads too (where --threads does
// not override it). A spin box from 0 to 64, where 0 reads "All cores (N)"; "Save"
// stores the count and closes, "Cancel" closes without storing. A count takes effect
// with the next archive, not the one being written.
//
// Main thread only. The caller raises the modal-dialog flag around exec().

#include <QDialog>

class QPushButton;
class QSpinBox;

namespace corvane {

class CArchiveThreadsDialog : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kMostThreads = 64;

    explicit CArchiveThreadsDialog(QWidget* parent = nullptr);

    QSpinBox* ThreadsField() const { return m_threads; }
    QPushButton* SaveButton() const { return m_save; }
    QPushButton* CancelButton() const { return m_cancel; }

  private:
    // On Save, after the dialog was accepted.
    void Save();

    QSpinBox* m_threads = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_cancel = nullptr;
};

}  // namespace corvane
