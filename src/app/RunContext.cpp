#include "app/RunContext.h"

#include "app/RunQueue.h"

namespace corvane {

RunContext::RunContext(RunQueue& queue, int taskIndex, std::vector<int> estimateTasks)
    : m_queue(queue), m_taskIndex(taskIndex), m_estimateTasks(std::move(estimateTasks)) {}

bool RunContext::StopRequested() const {
    return m_queue.m_stop.load();
}

StopSignal RunContext::Stop() const {
    return StopSignal(&m_queue.m_stop);
}

void RunContext::RequestStop() {
    m_queue.m_stop.store(true);
}

int RunContext::AskBackupCopy(const TaskRecord& task) {
    return m_queue.AskBackupCopy(task);
}

bool RunContext::AskRestoreItems(std::vector<RestoreItem>& items) {
    return m_queue.AskRestoreItems(items);
}

}  // namespace corvane
