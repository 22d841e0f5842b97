#pragma once

// Step 1/2 of the new-restore wizard: finds the task files that backups left in a
// local or network folder ("Browse local folder...") or an FTP folder ("Browse
// FTP..."), lists them, and lets the user pick one ("Next"). The search itself is
// restore/TaskFinder.h and restore/FtpTaskFinder.h; this class only shows it.
//
// Main thread only.

#include <QDialog>
#include <vector>

#include "restore/TaskFinder.h"

class QListWidget;

namespace corvane {

class CRestoreFindStep : public QDialog {
    Q_OBJECT

  public:
    explicit CRestoreFindStep(QWidget* parent = nullptr);

    // The task picked once the dialog was accepted.
    const FoundTask& Chosen() const { return m_chosen; }

    // Next: refuses an empty list ("You must find and select the task first") and a
    // list without a selection ("You must select task from the list"), keeping the
    // step open.
    void accept() override;

    // Lists the tasks found in `folder`, as "Browse local folder..." does with the
    // folder the user chose (the documentation's pictures start from a known one).
    void SearchFolder(const QString& folder);

  private:
    void BrowseLocal();
    void BrowseFtp();
    void ShowFound(std::vector<FoundTask> found);

    QListWidget* m_list = nullptr;
    std::vector<FoundTask> m_found;
    FoundTask m_chosen;
};

}  // namespace corvane
