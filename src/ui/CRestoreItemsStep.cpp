#include "ui/CRestoreItemsStep.h"

#include <QDir>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "restore/TaskFinder.h"
#include "ui/FolderChooser.h"
#include "ui/TreeImages.h"

namespace corvane {
namespace {

constexpr int kItemIndexRole = Qt::UserRole;
constexpr int kArchiveColumnWidth = 100;

}  // namespace

CRestoreItemsStep::CRestoreItemsStep(TaskRecord& task, QWidget* parent)
    : QDialog(parent), m_task(task) {
    setWindowTitle(QStringLiteral("New restore wizard, step 2/2"));
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("itemsList"));
    m_list->setColumnCount(2);
    m_list->setHeaderLabels({QStringLiteral("Path in archive"), QStringLiteral("Source path")});
    m_list->setRootIsDecorated(false);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setColumnWidth(0, kArchiveColumnWidth);
    m_list->viewport()->installEventFilter(this);
    auto* next = new QPushButton(QStringLiteral("Next"), this);
    next->setObjectName(QStringLiteral("nextButton"));
    next->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(next);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("Select where the data will be placed, double-click to change parameters."),
        this));
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
    resize(520, 360);

    connect(next, &QPushButton::clicked, this, &CRestoreItemsStep::accept);
    connect(cancel, &QPushButton::clicked, this, &CRestoreItemsStep::reject);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* line) { ChangeItem(line); });
    FillList();
}

void CRestoreItemsStep::FillList() {
    m_list->clear();
    for (const StepTwoLine& line : StepTwoLines(m_task)) {
        auto* item = new QTreeWidgetItem(m_list, {line.pathInArchive, line.sourcePath});
        item->setIcon(0, TreeImageIcon(line.icon));
        item->setData(0, kItemIndexRole, line.itemIndex);
    }
}

void CRestoreItemsStep::ChangeItem(QTreeWidgetItem* line) {
    const int index = line->data(0, kItemIndexRole).toInt();
    const qint32 kind = m_task.items[static_cast<size_t>(index)].kind;
    if (kind != kItemFolder && kind != kItemFile) {
        QMessageBox::information(this, QStringLiteral("Information"),
                                 QStringLiteral("You cannot change settings of this item."));
        return;
    }
    const QString chosen =
        ChooseFolder(this, QStringLiteral("Select folder where this items will be restored"),
                     QDir::homePath(), QFileDialog::ReadOnly);
    if (chosen.isNull()) {
        return;
    }
    if (!RedirectItem(m_task, index, chosen)) {
        ShowNotAFolderWarning(this);
        return;
    }
    line->setText(1, DescribeItem(m_task.items[static_cast<size_t>(index)]));
}

void CRestoreItemsStep::accept() {
    // A task file from a backup medium may name places of the system; restoring there
    // would overwrite the system's files, so that is done only when the user says so.
    QString systemPlace = SystemFolderItemPath(m_task);
    if (systemPlace.isNull()) {
        QDialog::accept();
        return;
    }
    // The path comes from that file too: shown as plain text on one line, so it cannot
    // dress up the question.
    for (QChar& c : systemPlace) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            c = QLatin1Char('?');
        }
    }
    QMessageBox question(
        QMessageBox::Question, QStringLiteral("Warning"),
        QStringLiteral("This task restores into the system folder %1.\nRestore there anyway? "
                       "Choose \"No\" and double-click the item to restore it into another "
                       "folder.")
            .arg(systemPlace),
        QMessageBox::Yes | QMessageBox::No, this);
    question.setTextFormat(Qt::PlainText);
    question.setDefaultButton(QMessageBox::No);
    if (question.exec() == QMessageBox::Yes) {
        QDialog::accept();
    }
}

bool CRestoreItemsStep::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list->viewport() && event->type() == QEvent::Resize) {
        m_list->setColumnWidth(1, qMax(0, m_list->viewport()->width() - m_list->columnWidth(0)));
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace corvane
