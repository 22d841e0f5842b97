#include "ui/CRestoreDataDialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "model/FileName.h"
#include "ui/ColumnFitter.h"
#include "ui/ModalDialogScope.h"
#include "ui/WindowPlacement.h"

namespace corvane {
namespace {

QColor ToColor(const RestoreDataModel::Rgb& rgb) {
    return QColor(rgb.red, rgb.green, rgb.blue);
}

// Background of a selected line: a dark caption blue, on which the light grey text of
// a selected line stays readable whatever the desktop theme's selection colour is.
const QColor kSelectedBackground(10, 36, 106);

bool IsPathColumn(int column) {
    return column == RestoreDataModel::kSourceColumn || column == RestoreDataModel::kArchiveColumn;
}

}  // namespace

CRestoreDataDialog::CRestoreDataDialog(const std::vector<RestoreItem>& items, QWidget* parent)
    : QDialog(parent), m_model(items) {
    setWindowTitle(RestoreDataModel::Title());
    auto* layout = new QVBoxLayout(this);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("items"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setColumnCount(RestoreDataModel::kColumnCount);
    QStringList titles;
    for (int column = 0; column < RestoreDataModel::kColumnCount; ++column) {
        titles << RestoreDataModel::ColumnTitle(column);
    }
    m_list->setHeaderLabels(titles);
    new ColumnFitter(m_list, {RestoreDataModel::kSourceColumn, RestoreDataModel::kArchiveColumn});
    m_list->header()->setSectionsClickable(true);
    QPalette palette = m_list->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Highlight, kSelectedBackground);
        palette.setColor(group, QPalette::HighlightedText,
                         ToColor(RestoreDataModel::SelectedTextColour()));
    }
    m_list->setPalette(palette);
    for (int row = 0; row < m_model.LineCount(); ++row) {
        // Not user-checkable: the model decides what a click does (see OnItemClicked).
        auto* item = new QTreeWidgetItem(m_list);
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    }
    connect(m_list, &QTreeWidget::itemClicked, this, &CRestoreDataDialog::OnItemClicked);
    connect(m_list->header(), &QHeaderView::sectionClicked, this,
            &CRestoreDataDialog::OnHeaderClicked);
    // The space bar toggles the current line, as a click in its check column does.
    auto* space = new QShortcut(QKeySequence(Qt::Key_Space), m_list);
    space->setContext(Qt::WidgetShortcut);
    connect(space, &QShortcut::activated, this, &CRestoreDataDialog::ToggleCurrent);
    layout->addWidget(m_list);

    m_caption = new QLabel(this);
    m_caption->setObjectName(QStringLiteral("caption"));
    layout->addWidget(m_caption);

    auto* checkButtons = new QHBoxLayout;
    auto addButton = [this, checkButtons](const QString& text, void (RestoreDataModel::*change)()) {
        auto* button = new QPushButton(text, this);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, change] {
            if (change != nullptr) {
                (m_model.*change)();
            }
            Refill();
        });
        checkButtons->addWidget(button);
    };
    addButton(QStringLiteral("Check all"), &RestoreDataModel::CheckAll);
    addButton(QStringLiteral("Uncheck all"), &RestoreDataModel::UncheckAll);
    addButton(QStringLiteral("Uncheck identical"), &RestoreDataModel::UncheckIdentical);
    addButton(QStringLiteral("Uncheck newer"), &RestoreDataModel::UncheckNewer);
    // The caption always counts afresh, so Refresh only shows it again.
    addButton(QStringLiteral("Refresh"), nullptr);
    checkButtons->addStretch();
    layout->addLayout(checkButtons);

    auto* endButtons = new QHBoxLayout;
    endButtons->addStretch();
    auto* restore = new QPushButton(QStringLiteral("Restore checked"), this);
    restore->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setAutoDefault(false);
    connect(restore, &QPushButton::clicked, this, &CRestoreDataDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &CRestoreDataDialog::reject);
    endButtons->addWidget(restore);
    endButtons->addWidget(cancel);
    layout->addLayout(endButtons);

    Refill();
    KeepDialogSize(this, QStringLiteral("RestoreData"), QSize(760, 420));
}

void CRestoreDataDialog::Refill() {
    for (int row = 0; row < m_model.LineCount(); ++row) {
        QTreeWidgetItem* item = m_list->topLevelItem(row);
        const QBrush foreground(ToColor(m_model.LineColour(row)));
        // The check column's "x" is drawn as a check box.
        item->setCheckState(RestoreDataModel::kCheckColumn,
                            m_model.IsChecked(row) ? Qt::Checked : Qt::Unchecked);
        for (int column = 0; column < RestoreDataModel::kColumnCount; ++column) {
            if (IsPathColumn(column)) {
                // A path may be elided in its column: the tip shows it whole.
                const QString path = FileNameForDisplay(m_model.Text(row, column));
                item->setText(column, path);
                item->setToolTip(column, path);
            } else if (column != RestoreDataModel::kCheckColumn) {
                item->setText(column, m_model.Text(row, column));
            }
            item->setForeground(column, foreground);
        }
    }
    m_caption->setText(m_model.Caption());
}

void CRestoreDataDialog::OnItemClicked(QTreeWidgetItem* item, int column) {
    if (m_model.Click(m_list->indexOfTopLevelItem(item), column)) {
        Refill();
    }
}

void CRestoreDataDialog::ToggleCurrent() {
    const int row = m_list->indexOfTopLevelItem(m_list->currentItem());
    if (row >= 0) {
        m_model.Toggle(row);
        Refill();
    }
}

void CRestoreDataDialog::OnHeaderClicked(int column) {
    // Remember the selected record, not the row: sorting moves the lines.
    const int selectedRow = m_list->indexOfTopLevelItem(m_list->currentItem());
    const int selectedRecord = m_model.ItemIndex(selectedRow);
    m_model.SortBy(column);
    m_list->header()->setSortIndicatorShown(true);
    m_list->header()->setSortIndicator(column, Qt::AscendingOrder);
    Refill();
    for (int row = 0; row < m_model.LineCount(); ++row) {
        if (selectedRecord >= 0 && m_model.ItemIndex(row) == selectedRecord) {
            m_list->setCurrentItem(m_list->topLevelItem(row));
        }
    }
}

bool CRestoreDataDialog::Ask(QWidget* parent, std::vector<RestoreItem>& items) {
    ModalDialogScope modal;
    CRestoreDataDialog dialog(items, parent);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    dialog.Model().ApplyChecks(items);
    return true;
}

}  // namespace corvane
