#pragma once

// Options > "C&ontacts folder...": the address book the contacts are read from and
// restored into (platform/ContactStore.h). An editable list offers the address books
// below $XDG_DATA_HOME/contacts/ (one sub-folder each, as khard and vdirsyncer keep
// them) and takes any other folder typed or picked with "..."; "Save" keeps the choice
// in the user settings. Nothing is checked on Save: a folder that a sync tool fills
// later is as good a choice as one that exists.
//
// Main thread only. The caller raises the modal-dialog flag around exec().

#include <QDialog>

class QComboBox;
class QPushButton;

namespace corvane {

class CContactsFolderDialog : public QDialog {
    Q_OBJECT

  public:
    explicit CContactsFolderDialog(QWidget* parent = nullptr);

    QComboBox* FolderField() const { return m_folder; }
    QPushButton* SaveButton() const { return m_save; }

  private:
    void Browse();
    void Save();

    QComboBox* m_folder = nullptr;
    QPushButton* m_browse = nullptr;
    QPushButton* m_save = nullptr;
};

}  // namespace corvane
