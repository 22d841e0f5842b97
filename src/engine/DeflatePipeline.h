#pragma once

// Deflates blocks (engine/DeflateBlock.h) on worker threads and gives them back in the
// order they were handed over.
//
// A fixed set of blocks circulates: the caller takes a free one, fills it, submits it,
// and takes back the oldest submitted block when it is deflated, to write it out and
// release it. Memory is the blocks and one compressor per thread, whatever the data.
// With one thread no worker starts: Submit deflates on the calling thread.
//
// Every member function is called from one thread, the caller's; the workers only see
// blocks between Submit and the moment WaitOldest returns them. The destructor drops
// blocks not yet started and joins the workers, each of which finishes at most the one
// block it holds.

#include <zlib.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/DeflateBlock.h"

namespace corvane {

class DeflatePipeline {
  public:
    // `level` 0..9; `threads` >= 1 (more than 32 count as 32).
    DeflatePipeline(int level, int requestedThreads);
    ~DeflatePipeline();
    DeflatePipeline(const DeflatePipeline&) = delete;
    DeflatePipeline& operator=(const DeflatePipeline&) = delete;

    // False when a compressor could not be made (no memory).
    bool Ready() const { return m_ready; }

    // A block to fill, or nullptr when every block is in flight (write out the oldest).
    DeflateBlock* FreeBlock();
    void Submit(DeflateBlock* block);
    bool HasSubmitted() const { return !m_submitted.empty(); }
    // Waits for the oldest submitted block to be deflated and gives it; it stays out of
    // circulation until Release. `deflated` is false when zlib refused it.
    DeflateBlock* WaitOldest(bool& deflated);
    // Gives the block WaitOldest gave back to the free ones.
    void Release(DeflateBlock* block);

  private:
    struct Job {
        DeflateBlock* block = nullptr;
        bool done = false;
        bool deflated = false;
    };
    void Work();

    int m_level;
    bool m_ready = true;
    std::vector<std::unique_ptr<DeflateBlock>> m_blocks;
    std::vector<DeflateBlock*> m_free;
    std::deque<std::shared_ptr<Job>> m_submitted;  // in order; the caller's alone
    z_stream m_inlineStream = {};                  // one thread: the caller deflates
    bool m_inlineReady = false;

    std::mutex m_mutex;
    std::condition_variable m_workAvailable;
    std::condition_variable m_jobDone;
    std::deque<std::shared_ptr<Job>> m_queue;  // submitted, not yet taken by a worker
    bool m_quit = false;
    std::vector<std::thread> m_workers;
};

}  // namespace corvane
