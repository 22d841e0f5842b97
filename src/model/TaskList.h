#pragma once

// The program's task list: an ordered array of task slots. A task's slot index is its
// handle while the program runs (the tree and the run queue store it); deleting a task
// leaves an empty slot so that no other index changes. Slots are compacted only when
// the list is saved and loaded again.
//
// Threads: the list is changed on the main thread only. A running job reads its task
// (and appends to its history) from the worker thread; the main thread must not delete
// or edit that task meanwhile (the run queue refuses to).

#include <functional>
#include <memory>
#include <vector>

#include "model/TaskRecord.h"

namespace corvane {

class TaskList {
  public:
    TaskList() = default;
    TaskList(const TaskList&) = delete;
    TaskList& operator=(const TaskList&) = delete;

    // Appends a task with the defaults of a new record, the given name and type and a
    // new OID, and returns it. The list keeps ownership.
    TaskRecord* NewTask(const QString& name, qint32 taskType);

    // Appends a record as it stands (used when loading); returns it.
    TaskRecord* Append(std::unique_ptr<TaskRecord> task);

    // Number of slots, empty ones included, and number of tasks.
    int TaskCount() const { return static_cast<int>(m_slots.size()); }
    int LiveTaskCount() const;

    // The task in a slot, null for an empty slot. An index outside the list yields a
    // shared default record that belongs to no list.
    TaskRecord* TaskAt(int index) const;

    // Slot of a record, -1 when it is not in the list.
    int IndexOfTask(const TaskRecord* task) const;

    // First task in slot order whose OID is `oid`; null when none.
    TaskRecord* FindTaskByOID(qint32 oid) const;

    // First task in slot order whose name equals `name` without regard to case; -1
    // when none.
    int FindTaskByName(const QString& name) const;

    // Deletes the task's desktop shortcut file, removes its schedule through the
    // remover (when it has one and the remover is set), frees the record and empties
    // the slot. An empty slot or an index outside the list is left alone.
    void DeleteTask(int index);

    // Removes the scheduled activation of a task; answers false when it failed. Set where
    // the task list is loaded (the model knows no scheduler).
    using ScheduleRemover = std::function<bool(const TaskRecord&)>;
    void SetScheduleRemover(ScheduleRemover remover) { m_scheduleRemover = std::move(remover); }

    // A new OID (0..kMaxOid) drawn as the program always has, from the C library
    // generator reseeded with the current time, but never one a task already carries
    // while a free one exists.
    qint32 NewOid();

    // Removes every slot.
    void Clear() { m_slots.clear(); }

  private:
    bool OidInUse(qint32 oid) const;

    std::vector<std::unique_ptr<TaskRecord>> m_slots;
    ScheduleRemover m_scheduleRemover;
};

}  // namespace corvane
