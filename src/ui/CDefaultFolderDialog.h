#pragma once

// The dialog "Select folder, where backups will be placed by default": the folder that
// the new task wizard offers as a destination. A path field loaded from the settings,
// "..." to pick a folder, and "Save", which stores the field exactly as typed (no check:
// the folder may be one that exists only later, such as a removable disk) and closes.
//
// Main thread only. The caller raises the modal-dialog flag around exec().

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace corvane {

class CDefaultFolderDialog : public QDialog {
    Q_OBJECT

  public:
    explicit CDefaultFolderDialog(QWidget* parent = nullptr);

    QLineEdit* PathField() const { return m_path; }
    QPushButton* BrowseButton() const { return m_browse; }
    QPushButton* SaveButton() const { return m_save; }

  private:
    void Browse();
    void Save();

    QLineEdit* m_path = nullptr;
    QPushButton* m_browse = nullptr;
    QPushButton* m_save = nullptr;
};

}  // namespace corvane
