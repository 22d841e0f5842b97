#pragma once

// The "Restore data" dialog: the restore list with a check per line, the buttons that
// check and uncheck lines, the caption with the count of checked lines, sorting by a
// click on a column header, and the line colours. Everything it shows and every rule
// comes from RestoreDataModel; this class draws the model and forwards clicks to it.
//
// Main thread only. The dialog works on its own copy of the lines; only Ask writes back,
// and only the records' checked flags, when the user pressed "Restore checked".

#include <QDialog>
#include <vector>

#include "model/RestoreItem.h"
#include "restore/RestoreDataModel.h"

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace corvane {

class CRestoreDataDialog : public QDialog {
    Q_OBJECT

  public:
    explicit CRestoreDataDialog(const std::vector<RestoreItem>& items, QWidget* parent = nullptr);

    const RestoreDataModel& Model() const { return m_model; }

    // Shows the dialog modally (under the modal-dialog flag). On "Restore checked" each
    // record's checked flag takes its line's check and the answer is true; on Cancel the
    // records stay as they were and the answer is false.
    static bool Ask(QWidget* parent, std::vector<RestoreItem>& items);

  private:
    // Shows the model's lines, checks, colours and caption again.
    void Refill();
    void OnItemClicked(QTreeWidgetItem* item, int column);
    void OnHeaderClicked(int column);
    void ToggleCurrent();

    RestoreDataModel m_model;
    QTreeWidget* m_list = nullptr;
    QLabel* m_caption = nullptr;
};

}  // namespace corvane
