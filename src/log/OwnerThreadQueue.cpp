#include "log/OwnerThreadQueue.h"

#include <sys/eventfd.h>
#include <unistd.h>
#include <QAbstractEventDispatcher>
#include <QMetaObject>
#include <QSocketNotifier>
#include <cstdint>

namespace corvane {

OwnerThreadQueue::OwnerThreadQueue() : m_owner(std::this_thread::get_id()) {
    // A socket notifier needs the thread's event dispatcher; a thread that has none yet
    // (the main thread before QCoreApplication) is woken by Qt queued calls instead,
    // which wait in its event queue until it has one.
    if (QAbstractEventDispatcher::instance() != nullptr) {
        m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    }
    if (m_wakeFd >= 0) {
        m_notifier = std::make_unique<QSocketNotifier>(m_wakeFd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, &m_context, [this] {
            // Reading resets the counter; wakes that come later notify again.
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t got = read(m_wakeFd, &count, sizeof count);
            RunPending();
        });
    }
}

OwnerThreadQueue::~OwnerThreadQueue() {
    m_notifier.reset();
    if (m_wakeFd >= 0) {
        close(m_wakeFd);
    }
    DeleteList(m_newest.exchange(nullptr, std::memory_order_acquire));
    DeleteList(m_batchFirst);
}

void OwnerThreadQueue::Post(std::function<void()> call) {
    if (IsOwnerThread()) {
        RunPending();
        call();
        return;
    }
    Node* node = new Node{std::move(call), nullptr};
    Node* newest = m_newest.load(std::memory_order_relaxed);
    do {
        node->next = newest;
    } while (!m_newest.compare_exchange_weak(newest, node, std::memory_order_release,
                                             std::memory_order_relaxed));
    // Only the push onto an empty list wakes the owner: RunPending reads the wake-up
    // before it takes the list, so pushes onto a non-empty list are taken with it.
    if (newest == nullptr) {
        Wake();
    }
}

void OwnerThreadQueue::Wake() {
    if (m_wakeFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t put = write(m_wakeFd, &one, sizeof one);
        return;
    }
    QMetaObject::invokeMethod(
        &m_context, [this] { RunPending(); }, Qt::QueuedConnection);
}

void OwnerThreadQueue::RunPending() {
    Node* newest = m_newest.exchange(nullptr, std::memory_order_acquire);
    // The list holds the newest call first: turn it round and add it behind the calls
    // taken before, which a call running now may still be working through.
    Node* first = nullptr;
    Node* last = newest;
    while (newest != nullptr) {
        Node* next = newest->next;
        newest->next = first;
        first = newest;
        newest = next;
    }
    if (first != nullptr) {
        if (m_batchLast != nullptr) {
            m_batchLast->next = first;
        } else {
            m_batchFirst = first;
        }
        m_batchLast = last;
    }
    while (m_batchFirst != nullptr) {
        Node* node = m_batchFirst;
        m_batchFirst = node->next;
        if (m_batchFirst == nullptr) {
            m_batchLast = nullptr;
        }
        node->call();
        delete node;
    }
}

void OwnerThreadQueue::DeleteList(Node* node) {
    while (node != nullptr) {
        Node* next = node->next;
        delete node;
        node = next;
    }
}

}  // namespace corvane
