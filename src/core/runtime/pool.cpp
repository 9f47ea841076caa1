#include "runtime/pool.hpp"

#include "runtime/cancel.hpp"

#include <atomic>
#include <exception>
#include <memory>
#include <pthread.h>
#include <sched.h>

namespace skeinlab {
namespace {

thread_local WorkerPool* t_current_pool = nullptr;

}  // namespace

std::size_t available_processors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0) return static_cast<std::size_t>(count);
    }
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware > 0 ? hardware : 1;
}

WorkerPool::WorkerPool(std::size_t workers) {
    if (workers == 0) workers = 1;
    threads_.reserve(workers);
    try {
        for (std::size_t i = 0; i < workers; ++i) threads_.emplace_back([this] { work(); });
    } catch (...) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : threads_) t.join();
        throw;
    }
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
}

WorkerPool* WorkerPool::current() { return t_current_pool; }

void WorkerPool::work() {
    t_current_pool = this;
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (tasks_.empty()) return;  // stopping and nothing left
            task = std::move(tasks_.front());
            tasks_.pop_front();
            queued_.store(tasks_.size(), std::memory_order_relaxed);
        }
        task();
    }
}

void WorkerPool::nested_for(std::size_t count, const std::function<void(std::size_t)>& body) {
    // Shared with helper tasks that may start after the call has returned:
    // those find no item left and touch nothing but this record.
    struct Job {
        std::atomic<std::size_t> next{0};
        std::size_t done = 0;
        std::mutex mutex;
        std::condition_variable finished;
        std::exception_ptr error;
        const std::function<void(std::size_t)>* body = nullptr;
        std::size_t count = 0;
    };
    auto job = std::make_shared<Job>();
    job->body = &body;
    job->count = count;
    const CancelToken* token = current_token();
    auto run = [job, token] {
        const TokenScope scope(token);
        for (;;) {
            const std::size_t i = job->next.fetch_add(1);
            if (i >= job->count) return;
            std::exception_ptr error;
            try {
                (*job->body)(i);
            } catch (...) {
                error = std::current_exception();
            }
            std::lock_guard<std::mutex> lock(job->mutex);
            if (error && !job->error) job->error = error;
            if (++job->done == job->count) job->finished.notify_all();
        }
    };
    const std::size_t helpers = std::min(count, threads_.size()) - 1;
    if (helpers > 0) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (std::size_t h = 0; h < helpers; ++h) tasks_.emplace_back(run);
            queued_.store(tasks_.size(), std::memory_order_relaxed);
        }
        wake_.notify_all();
    }
    run();
    // While other workers finish their items, this one takes queued tasks
    // (offered work of those items, for one) rather than sleep.
    const auto finished = [&job] { return job->done == job->count; };
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(job->mutex);
            if (finished()) break;
        }
        if (run_queued()) continue;
        std::unique_lock<std::mutex> lock(job->mutex);
        if (job->finished.wait_for(lock, std::chrono::microseconds(200), finished)) break;
    }
    std::lock_guard<std::mutex> lock(job->mutex);
    if (job->error) std::rethrow_exception(job->error);
}

bool WorkerPool::run_queued() {
    std::function<void()> task;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (tasks_.empty()) return false;
        task = std::move(tasks_.front());
        tasks_.pop_front();
        queued_.store(tasks_.size(), std::memory_order_relaxed);
    }
    task();
    return true;
}

void WorkerPool::post(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back(std::move(task));
        queued_.store(tasks_.size(), std::memory_order_relaxed);
    }
    wake_.notify_one();
}

bool run_with_offer(const std::function<void()>& main, const std::function<void()>& extra) {
    WorkerPool* pool = WorkerPool::current();
    if (!pool || pool->size() < 2) {
        main();
        return false;
    }
    // Shared with the offered task, which may start after this call returned:
    // it then finds the offer withdrawn and touches nothing but this record.
    struct Offer {
        enum : int { kOpen, kTaken, kWithdrawn };
        std::atomic<int> state{kOpen};
        bool done = false;
        std::exception_ptr error;
        std::mutex mutex;
        std::condition_variable finished;
    };
    auto offer = std::make_shared<Offer>();
    const std::function<void()>* task = &extra;
    const CancelToken* token = current_token();
    pool->post([offer, task, token] {
        int open = Offer::kOpen;
        if (!offer->state.compare_exchange_strong(open, Offer::kTaken)) return;
        const TokenScope scope(token);
        std::exception_ptr error;
        try {
            (*task)();
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(offer->mutex);
        offer->error = error;
        offer->done = true;
        offer->finished.notify_all();
    });
    std::exception_ptr main_error;
    try {
        main();
    } catch (...) {
        main_error = std::current_exception();
    }
    int open = Offer::kOpen;
    const bool taken = !offer->state.compare_exchange_strong(open, Offer::kWithdrawn);
    if (taken) {
        std::unique_lock<std::mutex> lock(offer->mutex);
        offer->finished.wait(lock, [&offer] { return offer->done; });
    }
    if (main_error) std::rethrow_exception(main_error);
    if (taken && offer->error) std::rethrow_exception(offer->error);
    return taken;
}

void parallel_for_here(std::size_t count, const std::function<void(std::size_t)>& body) {
    if (WorkerPool* pool = WorkerPool::current()) {
        pool->parallel_for(count, body);
        return;
    }
    for (std::size_t i = 0; i < count; ++i) body(i);
}

void WorkerPool::parallel_for(std::size_t count, const std::function<void(std::size_t)>& body) {
    parallel_for(count, body, {}, std::chrono::milliseconds(0));
}

void WorkerPool::parallel_for(std::size_t count, const std::function<void(std::size_t)>& body,
                              const std::function<void()>& poll, std::chrono::milliseconds interval) {
    if (count == 0) return;
    if (t_current_pool == this) {
        nested_for(count, body);
        return;
    }
    struct Job {
        std::atomic<std::size_t> next{0};
        std::size_t running = 0;
        std::mutex mutex;
        std::condition_variable done;
        std::exception_ptr error;
    } job;
    const std::size_t runners = std::min(count, threads_.size());
    job.running = runners;
    const CancelToken* token = current_token();
    auto runner = [&job, &body, count, token] {
        const TokenScope scope(token);
        for (;;) {
            const std::size_t i = job.next.fetch_add(1);
            if (i >= count) break;
            try {
                body(i);
            } catch (...) {
                std::lock_guard<std::mutex> lock(job.mutex);
                if (!job.error) job.error = std::current_exception();
            }
        }
        std::lock_guard<std::mutex> lock(job.mutex);
        if (--job.running == 0) job.done.notify_all();
    };
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::size_t r = 0; r < runners; ++r) tasks_.emplace_back(runner);
        queued_.store(tasks_.size(), std::memory_order_relaxed);
    }
    wake_.notify_all();
    std::unique_lock<std::mutex> lock(job.mutex);
    if (poll) {
        while (!job.done.wait_for(lock, interval, [&job] { return job.running == 0; })) {
            lock.unlock();
            poll();
            lock.lock();
        }
    } else {
        job.done.wait(lock, [&job] { return job.running == 0; });
    }
    if (job.error) std::rethrow_exception(job.error);
}

namespace {

std::mutex g_shared_mutex;
WorkerPool* g_shared = nullptr;

// A forked child has none of the parent's threads: it builds a pool of its
// own on first use. The parent's pool object is abandoned in the child, since
// its locks may be held by threads that do not exist there.
void forget_shared_pool_in_child() {
    new (&g_shared_mutex) std::mutex();
    g_shared = nullptr;
}

}  // namespace

WorkerPool& WorkerPool::shared() {
    static const int registered = pthread_atfork(nullptr, nullptr, forget_shared_pool_in_child);
    (void)registered;
    std::lock_guard<std::mutex> lock(g_shared_mutex);
    // Never destroyed: it lives until the process ends.
    if (!g_shared) g_shared = new WorkerPool(available_processors());
    return *g_shared;
}

}  // namespace skeinlab
