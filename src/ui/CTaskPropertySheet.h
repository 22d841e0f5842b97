#pragma once

// "Task settings": the four task pages as tabs ("Source data", "Destination",
// "Compressing and filters", "Scheduling") over a copy of one task. Save stores every
// tab and runs the sheet's checks; a problem shows its message and the tab and field
// it belongs to. Cancel leaves the task as it was. The caller copies the result over
// the task.
//
// Main thread only.

#include <QDialog>
#include <array>

#include "model/TaskRecord.h"

class QTabWidget;

namespace corvane {

class CTaskPage;
class CSourcePage;
class CMethodPage;

class CTaskPropertySheet : public QDialog {
    Q_OBJECT

  public:
    explicit CTaskPropertySheet(const TaskRecord& task, QWidget* parent = nullptr);

    // After Save: the changed copy, and whether the task should have a desktop launcher.
    const TaskRecord& Task() const { return m_copy; }
    bool DesktopIconWanted() const;

    void accept() override;

  private:
    TaskRecord m_copy;
    CSourcePage* m_sourcePage;
    CMethodPage* m_methodPage;
    std::array<CTaskPage*, 4> m_pages{};
    QTabWidget* m_tabs;
};

}  // namespace corvane
