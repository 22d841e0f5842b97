#include "ui/DamagedTaskFiles.h"

#include <QMessageBox>
#include <QPushButton>
#include <cstdio>

#include "app/TaskFiles.h"
#include "ui/ModalDialogScope.h"

namespace corvane {

QString DamagedTaskFilesText(const TaskFilesLoad& load) {
    QStringList lines;
    for (const QString& error : {load.taskListError, load.groupListError}) {
        if (!error.isEmpty()) {
            lines << QStringLiteral("Error: ") + error;
        }
    }
    lines << QString()
          << (load.TaskListDamaged() ? QStringLiteral("Start with an empty task list?")
                                     : QStringLiteral("Start with every task at the top level?"))
          << QStringLiteral(
                 "The damaged file is kept beside it, renamed to <name>.damaged-YYYYMMDD-HHMMSS. "
                 "Quit leaves every file as it is.");
    return lines.join(QLatin1Char('\n'));
}

bool AcceptDamagedTaskFiles(const QString& dataFolder) {
    TaskFilesLoad load;
    {
        TaskList tasks;
        TaskTree tree(tasks);
        load = LoadTasksAndTree(tasks, tree, dataFolder, KeyringRead::kSkip);
    }
    if (!load.TaskListDamaged() && !load.GroupListDamaged()) {
        return true;
    }
    const QString text = DamagedTaskFilesText(load);
    std::fprintf(stderr, "corvane: %s\n", qUtf8Printable(text));
    ModalDialogScope modal;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), text);
    QPushButton* fresh =
        box.addButton(load.TaskListDamaged() ? QStringLiteral("Start with an empty list")
                                             : QStringLiteral("Start without groups"),
                      QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("Quit"), QMessageBox::RejectRole);
    box.setDefaultButton(fresh);
    box.exec();
    if (box.clickedButton() != fresh) {
        return false;
    }
    const QString damaged[] = {load.TaskListDamaged() ? TaskListPath(dataFolder) : QString(),
                               load.GroupListDamaged() ? GroupListPath(dataFolder) : QString()};
    for (const QString& path : damaged) {
        QString error;
        if (!path.isEmpty() && !SetDamagedFileAside(path, nullptr, &error)) {
            std::fprintf(stderr, "corvane: %s\n", qUtf8Printable(error));
            QMessageBox::warning(nullptr, QStringLiteral("Warning"), error);
            return false;
        }
    }
    return true;
}

}  // namespace corvane
