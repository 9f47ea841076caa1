// Worker threads for the per-frame work: a process-wide shared pool created on
// first use, and dedicated pools that live for one call.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace skeinlab {

class WorkerPool {
public:
    // Starts `workers` threads (at least 1). Throws std::system_error when the
    // system refuses to start a thread, after stopping the ones it started.
    explicit WorkerPool(std::size_t workers);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    std::size_t size() const { return threads_.size(); }

    // Calls body(i) for every i in [0, count) on the workers and returns when
    // all calls are done. Items are handed out one at a time as workers become
    // free, so uneven items balance. The first exception thrown by body is
    // rethrown here after every item has run. Called from one of this pool's
    // own workers (nested work), the calling worker takes items too and the
    // other workers help as they become free, so nesting never deadlocks and
    // a pool of one worker runs the items in order on it.
    void parallel_for(std::size_t count, const std::function<void(std::size_t)>& body);

    // As parallel_for; a caller that is not one of the pool's workers also
    // calls poll() about every `interval` while it waits (to check for
    // signals and request cancellation, for example).
    void parallel_for(std::size_t count, const std::function<void(std::size_t)>& body,
                      const std::function<void()>& poll, std::chrono::milliseconds interval);

    // The pool whose worker is the calling thread, or nullptr.
    static WorkerPool* current();

    // The process-wide pool: one worker per processor available to the
    // process (its CPU affinity mask), created on first use.
    static WorkerPool& shared();

    // Appends a task for any idle worker.
    void post(std::function<void()> task);
    // Whether tasks wait for a worker (a worker helping with work that would
    // run without it asks this to leave it for them).
    bool has_queued_tasks() const { return queued_.load(std::memory_order_relaxed) > 0; }

private:
    void work();
    void nested_for(std::size_t count, const std::function<void(std::size_t)>& body);
    // Runs the task at the head of the queue, if any; returns whether it did.
    bool run_queued();

    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    std::atomic<std::size_t> queued_{0};  // tasks_.size(), read without the lock
    bool stopping_ = false;
};

// Number of logical processors this process may run on (at least 1).
std::size_t available_processors();

// Runs body(i) for every i in [0, count): on the calling worker's pool when
// called from a pool worker (see WorkerPool::parallel_for), otherwise in
// order on the calling thread. Helpers run with the caller's cancellation
// token.
void parallel_for_here(std::size_t count, const std::function<void(std::size_t)>& body);

// Runs main() on the calling thread and offers extra() to an idle worker of
// the calling worker's pool. Returns true when a worker took extra() (it has
// then finished, and what it threw is rethrown here); false when none did
// before main() returned: extra() is then dropped and never runs. Outside a
// pool, or on a pool of one worker, only main() runs.
bool run_with_offer(const std::function<void()>& main, const std::function<void()>& extra);

}  // namespace skeinlab
