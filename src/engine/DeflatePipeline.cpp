#include "engine/DeflatePipeline.h"

#include <algorithm>
#include <system_error>

namespace corvane {

namespace {

constexpr int kMemoryLevel = 8;  // zlib's default
// More threads than this would only cost memory (blocks and compressors) on any
// machine this runs on.
constexpr int kMaxThreads = 32;

bool InitRawDeflate(z_stream& stream, int level) {
    return deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, kMemoryLevel, Z_DEFAULT_STRATEGY) ==
           Z_OK;
}

}  // namespace

DeflatePipeline::DeflatePipeline(int level, int requestedThreads) : m_level(level) {
    const int threads = std::min(requestedThreads, kMaxThreads);
    // Two blocks in flight per worker keep each busy while the caller reads and writes;
    // one thread needs two: the block being filled and the one before, its dictionary.
    const int blockCount = threads <= 1 ? 2 : 2 * threads + 2;
    for (int i = 0; i < blockCount; ++i) {
        m_blocks.push_back(std::make_unique<DeflateBlock>());
        m_free.push_back(m_blocks.back().get());
    }
    for (int i = 0; threads > 1 && i < threads; ++i) {
        try {
            m_workers.emplace_back([this] { Work(); });
        } catch (const std::system_error&) {
            break;  // the system gives no more threads: those there are serve
        }
    }
    if (m_workers.empty()) {
        m_inlineReady = InitRawDeflate(m_inlineStream, m_level);
        m_ready = m_inlineReady;
    }
}

DeflatePipeline::~DeflatePipeline() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
        m_queue.clear();
    }
    m_workAvailable.notify_all();
    for (std::thread& worker : m_workers) {
        worker.join();
    }
    if (m_inlineReady) {
        deflateEnd(&m_inlineStream);
    }
}

DeflateBlock* DeflatePipeline::FreeBlock() {
    if (m_free.empty()) {
        return nullptr;
    }
    DeflateBlock* block = m_free.back();
    m_free.pop_back();
    return block;
}

void DeflatePipeline::Submit(DeflateBlock* block) {
    auto job = std::make_shared<Job>();
    job->block = block;
    m_submitted.push_back(job);
    if (m_workers.empty()) {
        job->deflated = block->Deflate(m_inlineStream);
        job->done = true;
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(job));
    }
    m_workAvailable.notify_one();
}

DeflateBlock* DeflatePipeline::WaitOldest(bool& deflated) {
    if (m_submitted.empty()) {
        return nullptr;
    }
    std::shared_ptr<Job> job = m_submitted.front();
    m_submitted.pop_front();
    std::unique_lock<std::mutex> lock(m_mutex);
    m_jobDone.wait(lock, [&job] { return job->done; });
    deflated = job->deflated;
    return job->block;
}

void DeflatePipeline::Release(DeflateBlock* block) {
    m_free.push_back(block);
}

void DeflatePipeline::Work() {
    z_stream stream = {};
    const bool ready = InitRawDeflate(stream, m_level);
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_workAvailable.wait(lock, [this] { return m_quit || !m_queue.empty(); });
        if (m_quit) {
            break;
        }
        std::shared_ptr<Job> job = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        const bool deflated = ready && job->block->Deflate(stream);
        lock.lock();
        job->deflated = deflated;
        job->done = true;
        m_jobDone.notify_one();
    }
    lock.unlock();
    if (ready) {
        deflateEnd(&stream);
    }
}

}  // namespace corvane
