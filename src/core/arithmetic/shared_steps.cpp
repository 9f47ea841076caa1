#include "arithmetic/shared_steps.hpp"

#include <chrono>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SKEINLAB_PAUSE() _mm_pause()
#else
#define SKEINLAB_PAUSE() ((void)0)
#endif

namespace skeinlab {
namespace {

// Polls of a helper that sees no new step between two questions whether to
// leave: a few milliseconds once its waits yield (a step's half takes about
// a tenth of a millisecond on the largest diagrams).
constexpr unsigned kPollsBeforeLeaving = 4096;

// Steps the owner takes alone before it accepts halves: the first few
// (fresh vectors, cold caches) untimed, then enough for its time a step
// alone, an average that follows its latest steps alone. Halved steps it
// times before each comparison.
constexpr std::uint64_t kColdSteps = 8, kStepsAlone = 24, kHalvedSteps = 64;
constexpr double kAverageWeight = 1.0 / 16;

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A wait that spins briefly, then gives the processor up between polls: with
// more threads than processors the thread waited for may need this one's.
class Backoff {
public:
    void wait() {
        if (++polls_ < kSpins) SKEINLAB_PAUSE();
        else std::this_thread::yield();
    }
    void reset() { polls_ = 0; }

private:
    static constexpr unsigned kSpins = 256;
    unsigned polls_ = 0;
};

}  // namespace

void SharedSteps::step(const UnitForest& forest, const LaneModuli& m, const double* u,
                       const std::vector<double>& u_anchors, const UnitForest::Vector& w, UnitForest::Vector& y,
                       std::uint64_t* terms) {
    const auto start = std::chrono::steady_clock::now();
    if (alone_ < kStepsAlone || declined_.load(std::memory_order_relaxed) ||
        !helped_.load(std::memory_order_acquire)) {
        forest.step(m, u, u_anchors, w, y, terms);
        if (++alone_ > kColdSteps) {
            const double took = seconds_since(start);
            alone_time_ = alone_ == kColdSteps + 1 ? took : alone_time_ + kAverageWeight * (took - alone_time_);
        }
        return;
    }
    forest.step_halves(m, y);
    const std::uint64_t k = ++steps_;
    job_ = {&forest, m, u, &w, &y};
    published_.store(k, std::memory_order_release);
    forest.step_half(m, u, w, y, 0, sums_);
    std::uint64_t before = k - 1;
    if (taken_.compare_exchange_strong(before, k, std::memory_order_acq_rel)) {
        forest.step_half(m, u, w, y, 1, sums_);
    } else {
        Backoff backoff;
        while (finished_.load(std::memory_order_acquire) != k) backoff.wait();
    }
    forest.step_end(m, u_anchors, y, sums_, terms);
    halved_time_ += seconds_since(start);
    if (++halved_ == kHalvedSteps) {
        const double halved = halved_time_ / static_cast<double>(halved_);
        // Two slow comparisons in a row: one may have held a preempted thread.
        slow_ = halved > decline_above_ * alone_time_ ? slow_ + 1 : 0;
        if (slow_ == 2) declined_.store(true);
        halved_ = 0;
        halved_time_ = 0;
    }
}

void SharedSteps::end() {
    ended_.store(true);
    Backoff backoff;
    while (inside_.load()) backoff.wait();
}

bool SharedSteps::open() const {
    return begun_.load() && !ended_.load() && !helped_.load() && !declined_.load();
}

bool SharedSteps::help(const std::function<bool()>& leave) {
    bool joined = false;
    if (!begun_.load() || !helped_.compare_exchange_strong(joined, true)) return true;
    std::uint64_t seen = 0;
    Backoff backoff;
    for (unsigned polls = 0;;) {
        if (ended_.load(std::memory_order_acquire) || declined_.load(std::memory_order_acquire)) return true;
        const std::uint64_t k = published_.load(std::memory_order_acquire);
        if (k == seen) {
            if (++polls % kPollsBeforeLeaving == 0 && leave()) {
                helped_.store(false);
                return false;
            }
            backoff.wait();
            continue;
        }
        backoff.reset();
        seen = k;
        // Inside before looking at ended_ (both sequentially consistent): the
        // owner that ends either sees this helper inside, and waits, or is
        // seen here to have ended.
        inside_.store(true);
        if (ended_.load()) {
            inside_.store(false);
            return true;
        }
        std::uint64_t before = k - 1;
        if (taken_.compare_exchange_strong(before, k, std::memory_order_acq_rel)) {
            job_.forest->step_half(job_.m, job_.u, *job_.w, *job_.y, 1, sums_);
            finished_.store(k, std::memory_order_release);
        }
        inside_.store(false);
    }
}

}  // namespace skeinlab
