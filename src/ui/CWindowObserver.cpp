#include "ui/CWindowObserver.h"

#include <QCoreApplication>
#include <QMessageBox>

#include "platform/desktop/Shutdown.h"
#include "platform/desktop/SoundPlayer.h"
#include "ui/CBackupChoiceDialog.h"
#include "ui/CMainFrame.h"
#include "ui/CRestoreDataDialog.h"
#include "ui/CShutdownDialog.h"
#include "ui/CTarnisView.h"
#include "ui/ModalDialogScope.h"

namespace corvane {

void CWindowObserver::SetQueueStatusText(const QString& text) {
    m_frame.SetQueueStatusText(text);
}

void CWindowObserver::SetTrayBusy() {
    m_frame.SetTrayBusy();
}

void CWindowObserver::SetTrayIdle() {
    m_frame.SetTrayIdle();
}

void CWindowObserver::PlayEventSound(int event) {
    corvane::PlayEventSound(event);
}

void CWindowObserver::ShowWarning(const QString& text) {
    ModalDialogScope modal;
    QMessageBox box(QMessageBox::Information, QStringLiteral("Warning"), text, QMessageBox::Ok,
                    &m_frame);
    box.exec();
}

void CWindowObserver::RequestShutdown() {
    m_frame.ShowMainWindow();
    bool confirmed = false;
    {
        ModalDialogScope modal;
        confirmed = CShutdownDialog::Ask(&m_frame);
    }
    if (confirmed && ShutdownComputer()) {
        // The system goes down; the program ends like a normal exit (its files are
        // saved after every change, so nothing is left to lose).
        QCoreApplication::exit(0);
    }
}

void CWindowObserver::RunFinished(int taskIndex, RunOutcome outcome) {
    if (CTarnisView* view = m_frame.View()) {
        view->OnRunFinished(taskIndex, outcome);
    }
}

void CWindowObserver::EstimateFinished(const QString& sizeText) {
    ModalDialogScope modal;
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Task info"), sizeText, QMessageBox::Ok,
                    &m_frame);
    box.exec();
}

int CWindowObserver::ChooseBackupCopy(const TaskRecord& task) {
    ModalDialogScope modal;
    return CBackupChoiceDialog::Ask(&m_frame, task);
}

bool CWindowObserver::ChooseRestoreItems(std::vector<RestoreItem>& items) {
    ModalDialogScope modal;
    return CRestoreDataDialog::Ask(&m_frame, items);
}

}  // namespace corvane
