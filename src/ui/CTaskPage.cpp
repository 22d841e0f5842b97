#include "ui/CTaskPage.h"

#include <QMessageBox>

#include "ui/ModalDialogScope.h"
#include "ui/TaskPageCheck.h"

namespace corvane {

void ShowDraftProblem(QWidget* parent, const DraftProblem& problem) {
    ModalDialogScope modal;
    // A message without a title of its own is a plain note under the program's name.
    const bool plain = problem.title.isEmpty();
    QMessageBox box(plain ? QMessageBox::NoIcon : QMessageBox::Information,
                    plain ? QStringLiteral("Corvane") : problem.title, problem.message,
                    QMessageBox::Ok, parent);
    box.exec();
}

bool ShowCheckResult(CTaskPage& page, bool passed, const DraftProblem& problem) {
    if (!passed) {
        ShowDraftProblem(&page, problem);
        page.FocusField(problem.field);
    }
    return passed;
}

}  // namespace corvane
