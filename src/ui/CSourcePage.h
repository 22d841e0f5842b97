#pragma once

// The source page: "New backup wizard, step 1/4" and the "Source data" tab of the task
// settings sheet. On the left the tree of what can be backed up ("File system" with the
// documents folder, one node per mounted file system a user would back up, and the home
// folder; folders are read when they are opened, files follow folders; "Registry items"
// with the settings keys, read as they are opened; "Contacts", the contact store, read
// when opened; "Program settings", the well-known data sets); on the right
// the items of the task ("Items added", "Name in archive"). Add, Remove and a drag from
// the tree onto the list change the draft's items at once (app/SourceItems.h); the task
// name and "&Put task icon on desktop" are read on Store.
//
// Main thread only.

#include <QStringList>

#include "ui/CTaskPage.h"

namespace corvane {

class CSourcePage : public CTaskPage {
    Q_OBJECT

  public:
    CSourcePage(TaskRecord& draft, bool inSheet, QWidget* parent = nullptr);
    ~CSourcePage() override;

    // Files and folders dropped on the main window: each becomes an item as if picked in
    // the tree (duplicates and missing paths are left out without a message).
    void AddPaths(const QStringList& paths);

    // "&Put task icon on desktop" as the user left it (the draft keeps only the path of
    // a shortcut that exists, so the flag lives here until Finish or Save).
    bool DesktopIconWanted() const;
    void SetDesktopIconWanted(bool wanted);

    QString StepTitle() const override;
    QString TabLabel() const override;
    void Load() override;
    void Store() override;
    bool Leave() override;
    void FocusField(DraftField field) override;

  private:
    class Impl;
    Impl* m_impl;  // owned through Qt's parent chain of its widgets; deleted in ~CSourcePage
};

}  // namespace corvane
