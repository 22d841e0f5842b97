#include "app/HeadlessQueue.h"

#include <QEventLoop>

#include "app/ExitCode.h"
#include "app/TaskJobs.h"
#include "log/Log.h"

namespace corvane {

void TerminalObserver::ShowWarning(const QString& text) {
    std::fprintf(m_err, "Warning: %s\n", qUtf8Printable(text));
}

void TerminalObserver::RunFinished(int, RunOutcome outcome) {
    if (outcome == RunOutcome::kFailed) {
        m_anyFailed = true;
    } else if (outcome == RunOutcome::kAborted) {
        m_anyAborted = true;
    }
    // The run may have added to the task's history: keep nothing for later.
    if (!m_session.Save(m_err)) {
        m_anyFailed = true;
    }
    if (afterRun) {
        afterRun();
    }
}

int TerminalObserver::ChooseBackupCopy(const TaskRecord& task) {
    return chooseCopy ? chooseCopy(task) : -1;
}

bool TerminalObserver::ChooseRestoreItems(std::vector<RestoreItem>& items) {
    return chooseItems ? chooseItems(items) : false;
}

HeadlessQueue::HeadlessQueue(const QString& dataFolder, std::FILE* out, std::FILE* err)
    : m_err(err),
      m_session(dataFolder),
      m_console(out, err),
      m_queuedLog(m_console),
      m_queuedProgress(m_console),
      m_observer(m_session, err),
      m_queue(m_session.tasks, m_observer),
      m_signals([this] { m_queue.Stop(); }) {
    SetLogTarget(&m_queuedLog);
    SetProgressTarget(&m_queuedProgress);
    SetTaskJobs(m_queue, m_session.tasks, dataFolder);
    // A signal that came while the run was ending stops the queue before its next task.
    m_observer.afterRun = [this] {
        if (m_signals.Signalled()) {
            m_queue.Stop();
        }
    };
}

HeadlessQueue::~HeadlessQueue() {
    m_queuedLog.DeliverPending();
    m_queuedProgress.DeliverPending();
    SetLogTarget(nullptr);
    SetProgressTarget(nullptr);
}

bool HeadlessQueue::Resolve(const QStringList& names, std::vector<int>& indices) const {
    bool ok = true;
    for (const QString& name : names) {
        const int index = m_session.tasks.FindTaskByName(name);
        if (index < 0) {
            std::fprintf(m_err, "Error: task '%s' not found\n", qUtf8Printable(name));
            ok = false;
        }
        indices.push_back(index);
    }
    return ok;
}

void HeadlessQueue::AskForUnreadPasswords(std::vector<int> indices) {
    TaskList& tasks = m_session.tasks;
    if (indices.empty()) {
        for (int i = 0; i < tasks.TaskCount(); ++i) {
            indices.push_back(i);
        }
    }
    for (int index : indices) {
        TaskRecord* task = index >= 0 && index < tasks.TaskCount() ? tasks.TaskAt(index) : nullptr;
        for (TaskPasswordField field : kPasswordFields) {
            if (task == nullptr ||
                (task->unreadPasswords & PasswordsARunNeeds(*task) & field) == 0) {
                continue;
            }
            const std::optional<QString> typed = m_console.AskHidden(
                QStringLiteral("Password for %1 (%2): ").arg(task->name, PasswordFieldName(field)));
            if (typed && !typed->isEmpty()) {
                TaskPassword(*task, field) = *typed;
                task->unreadPasswords &= ~field;
                m_session.load.typedPasswords.push_back({task->oid, field, *typed});
            }
        }
    }
}

void HeadlessQueue::Wait() {
    if (!m_queue.IsRunning()) {
        return;
    }
    QEventLoop loop;
    QObject::connect(&m_queue, &RunQueue::QueueIdle, &loop, &QEventLoop::quit);
    loop.exec();
}

int HeadlessQueue::ExitStatus() const {
    if (Signalled() || m_observer.AnyAborted()) {
        return kExitStopped;
    }
    return m_observer.AnyFailed() ? kExitFailed : kExitOk;
}

}  // namespace corvane
