#include "ui/CRestoreFindStep.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/CFtpFolderDialog.h"
#include "ui/FolderChooser.h"
#include "ui/WaitCursor.h"

namespace corvane {
namespace {

// What the folder under the chooser's cursor holds, counted as the list will show it.
QString FolderStatus(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).isDir()) {
        return QStringLiteral("Folder is not selected");
    }
    const size_t count = FindStoredTasks(path).size();
    return count > 0 ? QStringLiteral("%1 task(s) found in %2").arg(count).arg(path)
                     : QStringLiteral("No tasks found in %1").arg(path);
}

// A status line below the chooser's own controls.
void AddStatusLine(QFileDialog& chooser) {
    auto* status = new QLabel(&chooser);
    status->setObjectName(QStringLiteral("folderStatus"));
    status->setTextFormat(Qt::PlainText);  // folder names are no markup
    if (auto* grid = qobject_cast<QGridLayout*>(chooser.layout())) {
        grid->addWidget(status, grid->rowCount(), 0, 1, grid->columnCount());
    }
    auto show = [status](const QString& path) { status->setText(FolderStatus(path)); };
    QObject::connect(&chooser, &QFileDialog::currentChanged, status, show);
    // The folder shown changes with the model's root, however the user got there.
    if (auto* model = chooser.findChild<QFileSystemModel*>()) {
        QObject::connect(model, &QFileSystemModel::rootPathChanged, status, show);
    }
    show(chooser.directory().absolutePath());
}

}  // namespace

CRestoreFindStep::CRestoreFindStep(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("New restore wizard, step 1/2"));
    auto* browseLocal = new QPushButton(QStringLiteral("Browse local folder..."), this);
    browseLocal->setObjectName(QStringLiteral("browseLocalButton"));
    auto* browseFtp = new QPushButton(QStringLiteral("Browse FTP..."), this);
    browseFtp->setObjectName(QStringLiteral("browseFtpButton"));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("tasksList"));
    auto* next = new QPushButton(QStringLiteral("Next"), this);
    next->setObjectName(QStringLiteral("nextButton"));
    next->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);

    auto* browse = new QHBoxLayout;
    browse->addWidget(browseLocal);
    browse->addWidget(browseFtp);
    browse->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(next);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Select location where the data was saved"), this));
    layout->addLayout(browse);
    layout->addWidget(new QLabel(QStringLiteral("Tasks found:"), this));
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
    resize(480, 360);

    connect(browseLocal, &QPushButton::clicked, this, &CRestoreFindStep::BrowseLocal);
    connect(browseFtp, &QPushButton::clicked, this, &CRestoreFindStep::BrowseFtp);
    connect(next, &QPushButton::clicked, this, &CRestoreFindStep::accept);
    connect(cancel, &QPushButton::clicked, this, &CRestoreFindStep::reject);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &CRestoreFindStep::accept);
}

void CRestoreFindStep::BrowseLocal() {
    // Qt's own chooser (the same on every desktop), so that its layout takes the status
    // line; read only, so it offers no button for new folders.
    const QString chosen = ChooseFolder(
        this, QStringLiteral("Select folder, where the task was stored..."), QDir::homePath(),
        QFileDialog::DontUseNativeDialog | QFileDialog::ReadOnly, AddStatusLine);
    if (!chosen.isNull()) {
        SearchFolder(chosen);
    }
}

void CRestoreFindStep::SearchFolder(const QString& folder) {
    const WaitCursor wait;
    ShowFound(FindStoredTasks(folder));
}

void CRestoreFindStep::BrowseFtp() {
    CFtpFolderDialog dialog(CFtpFolderDialog::Mode::kRestore, this);
    if (dialog.exec() == QDialog::Accepted) {
        ShowFound(dialog.FoundTasks());
    }
}

void CRestoreFindStep::ShowFound(std::vector<FoundTask> found) {
    m_found = std::move(found);
    m_list->clear();
    for (const FoundTask& task : m_found) {
        m_list->addItem(task.listLine);
    }
}

void CRestoreFindStep::accept() {
    if (m_list->count() == 0) {
        QMessageBox::information(this, QStringLiteral("Nothing selected"),
                                 QStringLiteral("You must find and select the task first"));
        return;
    }
    const int row = m_list->currentItem() != nullptr && m_list->currentItem()->isSelected()
                        ? m_list->currentRow()
                        : -1;
    if (row < 0) {
        QMessageBox::information(this, QStringLiteral("No tasks selected"),
                                 QStringLiteral("You must select task from the list"));
        return;
    }
    m_chosen = m_found[static_cast<size_t>(row)];
    QDialog::accept();
}

}  // namespace corvane
