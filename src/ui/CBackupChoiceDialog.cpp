#include "ui/CBackupChoiceDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "model/FileName.h"
#include "ui/ColumnFitter.h"
#include "ui/ModalDialogScope.h"
#include "ui/WindowPlacement.h"

namespace corvane {

CBackupChoiceDialog::CBackupChoiceDialog(const TaskRecord& task, QWidget* parent)
    : QDialog(parent), m_model(task.history) {
    setWindowTitle(QStringLiteral("Several backups found"));
    auto* layout = new QVBoxLayout(this);
    auto* prompt = new QLabel(BackupChoiceModel::Prompt(), this);
    prompt->setWordWrap(true);
    layout->addWidget(prompt);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("backups"));
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setColumnCount(BackupChoiceModel::kColumnCount);
    QStringList titles;
    for (int column = 0; column < BackupChoiceModel::kColumnCount; ++column) {
        titles << BackupChoiceModel::ColumnTitle(column);
    }
    m_list->setHeaderLabels(titles);
    new ColumnFitter(m_list, {BackupChoiceModel::kFolderColumn});
    for (int row = 0; row < m_model.LineCount(); ++row) {
        auto* item = new QTreeWidgetItem(m_list);
        item->setText(BackupChoiceModel::kTimeColumn,
                      m_model.Text(row, BackupChoiceModel::kTimeColumn));
        // The place may be elided in its column: the tip shows it whole.
        const QString place =
            FileNameForDisplay(m_model.Text(row, BackupChoiceModel::kFolderColumn));
        item->setText(BackupChoiceModel::kFolderColumn, place);
        item->setToolTip(BackupChoiceModel::kFolderColumn, place);
    }
    layout->addWidget(m_list);

    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CBackupChoiceDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CBackupChoiceDialog::reject);
    // A double click on a line chooses it.
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, &CBackupChoiceDialog::accept);
    layout->addWidget(buttons);
    KeepDialogSize(this, QStringLiteral("BackupChoice"), QSize(520, 300));
}

void CBackupChoiceDialog::accept() {
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    const int row = selected.isEmpty() ? -1 : m_list->indexOfTopLevelItem(selected.front());
    int historyIndex = -1;
    QString refusal;
    if (!m_model.Choose(row, historyIndex, refusal)) {
        QMessageBox::warning(this, BackupChoiceModel::RefusalTitle(), refusal);
        return;
    }
    m_chosen = historyIndex;
    QDialog::accept();
}

int CBackupChoiceDialog::Ask(QWidget* parent, const TaskRecord& task) {
    ModalDialogScope modal;
    CBackupChoiceDialog dialog(task, parent);
    if (dialog.exec() != QDialog::Accepted) {
        return -1;
    }
    return dialog.ChosenIndex();
}

}  // namespace corvane
