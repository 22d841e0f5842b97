#include "model/TaskList.h"

#include <QFile>
#include <ctime>
#include <unordered_set>

#include "log/Log.h"

namespace corvane {
namespace {

// The generator the task files have always drawn OIDs from: C's rand() of the
// platform the files come from, 15-bit values from a 32-bit linear congruence.
class CRandom {
  public:
    void Seed(quint32 seed) { m_state = seed; }
    int Next() {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int>((m_state >> 16) & 0x7fff);
    }

  private:
    quint32 m_state = 1;
};

}  // namespace

TaskRecord* TaskList::NewTask(const QString& name, qint32 taskType) {
    auto task = std::make_unique<TaskRecord>();
    task->name = name;
    task->taskType = taskType;
    task->oid = NewOid();
    return Append(std::move(task));
}

TaskRecord* TaskList::Append(std::unique_ptr<TaskRecord> task) {
    m_slots.push_back(std::move(task));
    return m_slots.back().get();
}

int TaskList::LiveTaskCount() const {
    int count = 0;
    for (const auto& slot : m_slots) {
        count += slot ? 1 : 0;
    }
    return count;
}

TaskRecord* TaskList::TaskAt(int index) const {
    if (index < 0 || index >= TaskCount()) {
        // Callers may read through the answer without checking the index; they get a
        // record that belongs to no list. Each thread has its own, so no caller can
        // see another's changes to it.
        static thread_local TaskRecord outside;
        outside = TaskRecord();
        return &outside;
    }
    return m_slots[static_cast<size_t>(index)].get();
}

int TaskList::IndexOfTask(const TaskRecord* task) const {
    if (task == nullptr) {
        return -1;
    }
    for (size_t i = 0; i < m_slots.size(); ++i) {
        if (m_slots[i].get() == task) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

TaskRecord* TaskList::FindTaskByOID(qint32 oid) const {
    for (const auto& slot : m_slots) {
        if (slot && slot->oid == oid) {
            return slot.get();
        }
    }
    return nullptr;
}

int TaskList::FindTaskByName(const QString& name) const {
    for (size_t i = 0; i < m_slots.size(); ++i) {
        if (m_slots[i] && m_slots[i]->name.compare(name, Qt::CaseInsensitive) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void TaskList::DeleteTask(int index) {
    if (index < 0 || index >= TaskCount() || !m_slots[static_cast<size_t>(index)]) {
        return;
    }
    std::unique_ptr<TaskRecord>& slot = m_slots[static_cast<size_t>(index)];
    if (!slot->desktopShortcut.isEmpty()) {
        QFile::remove(slot->desktopShortcut);
    }
    if (slot->scheduleMode != kScheduleNone && m_scheduleRemover && !m_scheduleRemover(*slot)) {
        Log("Warning: cannot delete task activation settings from the system scheduler");
    }
    slot.reset();
}

bool TaskList::OidInUse(qint32 oid) const {
    return FindTaskByOID(oid) != nullptr;
}

qint32 TaskList::NewOid() {
    CRandom random;
    random.Seed(static_cast<quint32>(std::time(nullptr)));
    const qint32 drawn = random.Next() * kMaxOid / 32767;
    if (!OidInUse(drawn)) {
        return drawn;
    }
    // Two tasks made within the same second would draw the same OID, and the group
    // list file, which names tasks only by OID, could then no longer tell them apart.
    // Take the next free OID instead.
    std::unordered_set<qint32> used;
    for (const auto& slot : m_slots) {
        if (slot) {
            used.insert(slot->oid);
        }
    }
    for (qint32 step = 1; step <= kMaxOid; ++step) {
        const qint32 candidate = (drawn + step) % (kMaxOid + 1);
        if (used.count(candidate) == 0) {
            return candidate;
        }
    }
    return drawn;  // every OID is taken
}

}  // namespace corvane
