#include "arithmetic/krylov_batches.hpp"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>

#include "runtime/cancel.hpp"
#include "runtime/pool.hpp"

namespace skeinlab {
namespace {

using modular::Field;

// Krylov images computed side by side by one worker (in vector arithmetic).
constexpr std::size_t kPrimesSideBySide = 4;

// The images of the primes drawn `draw`, draw + 1, ..., `count` of them
// (four at once in vector arithmetic where the processor has it), each
// sequence from its own stream.
std::vector<KrylovBatches::Pending> pencils_for(const SparseLU& lu, std::size_t draw, std::size_t count,
                                                std::size_t max_degree, SharedSteps* shared = nullptr) {
    std::vector<KrylovBatches::Pending> out(count);
    std::vector<SparseLU::Factors> factors(count);
    std::vector<Stream> streams;
    std::vector<PencilTask> tasks;
    std::vector<std::size_t> task_of;
    for (std::size_t i = 0; i < count; ++i) streams.push_back(Stream::keyed({0x4B52594C4F56ull, draw + i}));
    for (std::size_t i = 0; i < count; ++i) {
        out[i].draw = draw + i;
        const Field f{modular::drawn_prime(draw + i)};
        const modular::Montgomery m(f.p);
        if (lu.point()) {
            const std::uint64_t x = f.from_signed(*lu.point());
            if (lu.factor(m, x, factors[i])) out[i].t0 = x;
        }
        for (int attempt = 0; attempt < 3 && out[i].t0 == 0 && !lu.point(); ++attempt) {
            const std::uint64_t x = streams[i].below(2, f.p - 1);
            if (lu.factor(m, x, factors[i])) out[i].t0 = x;
        }
        if (out[i].t0 == 0) continue;
        tasks.push_back({&factors[i], f, out[i].t0, &streams[i]});
        task_of.push_back(i);
    }
    std::vector<std::optional<PencilImage>> images = pencil_images(lu, tasks, max_degree, shared);
    for (std::size_t k = 0; k < tasks.size(); ++k) out[task_of[k]].pencil = std::move(images[k]);
    return out;
}

}  // namespace

std::vector<std::size_t> batch_widths(std::size_t primes, std::size_t workers) {
    const std::size_t per = (primes + workers - 1) / workers <= 2 ? 2 : 4;
    std::vector<std::size_t> widths;
    for (std::size_t left = primes; left > 0 && widths.size() < workers;) {
        widths.push_back(std::min(per, left) <= 2 ? 2 : 4);
        left -= std::min(widths.back(), left);
    }
    return widths;
}

std::optional<std::size_t> primes_still_needed(const std::vector<BigInteger>& values, std::size_t modulus_bits,
                                               std::size_t bits_per_prime) {
    const std::size_t n = values.size();
    std::size_t known = 0;
    while (known < n / 2 && values[known].magnitude.bits() + 8 <= modulus_bits) ++known;
    if (known < 16 || known >= n / 2) return std::nullopt;
    // Least squares on bits(i) = top - k (middle - i)^2 over the known half
    // nearest the middle.
    const double middle = static_cast<double>(n - 1) / 2;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    const std::size_t from = known / 2;
    for (std::size_t i = from; i < known; ++i) {
        const double x = (middle - static_cast<double>(i)) * (middle - static_cast<double>(i));
        const auto y = static_cast<double>(values[i].magnitude.bits());
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    const auto m = static_cast<double>(known - from);
    const double variance = sxx - sx * sx / m;
    if (!(variance > 0)) return std::nullopt;
    const double slope = (sxy - sx * sy / m) / variance;
    if (!(slope < 0)) return std::nullopt;
    const double top = (sy - slope * sx) / m;
    // The stopping rule's 8 bits of room, and a few more for the guess.
    const double total = std::ceil((top + 8 + 4) / static_cast<double>(bits_per_prime));
    const double used = static_cast<double>(modulus_bits / bits_per_prime);
    if (!(total < 1e6)) return std::nullopt;
    return static_cast<std::size_t>(std::max(1.0, total - used));
}

std::optional<SparseLU> factors_at_one(std::size_t n, const std::vector<std::vector<LinearEntry>>& rows) {
    std::vector<std::vector<LinearEntry>> at_one(n);
    for (std::size_t r = 0; r < n; ++r)
        for (const LinearEntry& e : rows[r])
            if (e.c0 + e.c1 != 0) at_one[r].push_back({e.col, e.c0 + e.c1, 0});
    SparseDeterminant order(n, std::move(at_one));
    const Field f{modular::drawn_prime(0)};
    if (!order.find_pivot_order(f, 1)) return std::nullopt;
    SparseLU lu(n, rows, order.pivot_order(), 1);
    SparseLU::Factors check;
    if (!lu.factor(modular::Montgomery(f.p), 1, check)) return std::nullopt;
    return lu;
}

// The state the caller shares with the tasks that compute groups of images
// on the pool's other workers. A task posted to a pool whose workers are
// all busy may start long after: it then finds `stop` and ends. The tasks
// run under a token of their own, requested with the caller's or when the
// caller needs no more images (a group in flight then stops at once). A
// task, or the caller, with no group left to start takes half of each step
// of one in flight (arithmetic/shared_steps) rather than idle.
struct KrylovBatches::Producers {
    explicit Producers(const CancelToken* caller) : token(caller) {}
    CancelToken token;
    std::mutex mutex;
    std::condition_variable changed;
    WorkerPool* pool = nullptr;
    std::size_t helpers = 0;  // the pool's workers besides the caller
    std::size_t group = 0;    // primes side by side
    const SparseLU* lu = nullptr;
    std::size_t max_degree = 0;
    std::size_t next = 0;   // the first draw no group has taken
    std::size_t limit = 0;  // groups start below it
    // The end of the primes the recovery's guess says it needs: a group
    // reaching past it starts narrow, or is not started while a group in
    // flight may be joined. (The limit, a window ahead of the caller, may
    // cut a group short of it: such a group still starts whole.)
    std::size_t guess_end = SIZE_MAX;
    std::size_t tasks = 0;  // posted and not ended
    struct Group {
        std::size_t first = 0, end = 0;  // draws [first, end)
        std::shared_ptr<SharedSteps> steps;
    };
    std::vector<Group> computing;
    std::vector<Pending> done;
    std::exception_ptr error;
    bool stop = false;

    // The next group, taken; nothing when none may start.
    std::optional<Group> claim() {
        if (stop || next >= limit) return std::nullopt;
        const std::size_t width = group > 2 && guess_end - next <= 2 ? 2 : group;
        return start(next, width);
    }
    Group start(std::size_t first, std::size_t width) {
        computing.push_back({first, first + width, std::make_shared<SharedSteps>()});
        next = std::max(next, first + width);
        return computing.back();
    }
    // The steps of a group in flight that another thread may join (the one
    // holding `draw`, if given).
    std::shared_ptr<SharedSteps> joinable(std::optional<std::size_t> draw) const {
        for (const Group& g : computing)
            if ((!draw || (g.first <= *draw && *draw < g.end)) && g.steps->open()) return g.steps;
        return nullptr;
    }
    // Computes the group claimed, the lock released meanwhile.
    void compute(std::unique_lock<std::mutex>& lock, const Group& claimed) {
        const SparseLU& factors = *lu;
        const std::size_t degree = max_degree;
        claimed.steps->begin();
        lock.unlock();
        std::vector<Pending> images;
        std::exception_ptr failed;
        try {
            images = pencils_for(factors, claimed.first, claimed.end - claimed.first, degree, claimed.steps.get());
        } catch (...) {
            failed = std::current_exception();
        }
        claimed.steps->end();  // also when stopped before its sequences began
        lock.lock();
        std::erase_if(computing, [&](const Group& g) { return g.first == claimed.first; });
        if (failed) {
            if (!error) error = failed;
            stop = true;
        }
        done.insert(done.end(), std::make_move_iterator(images.begin()), std::make_move_iterator(images.end()));
        changed.notify_all();
    }
    // Posts tasks for the idle workers while groups may start or be joined.
    void post(const std::shared_ptr<Producers>& self, std::unique_lock<std::mutex>&) {
        std::size_t left = stop || limit <= next ? 0 : (limit - next + group - 1) / group;
        if (left == 0 && joinable(std::nullopt)) left = 1;
        for (; tasks < helpers && left > 0; --left) {
            ++tasks;
            pool->post([self] {
                const TokenScope scope(&self->token);
                std::unique_lock<std::mutex> lock(self->mutex);
                for (;;) {
                    // A group in flight is joined rather than a narrower one
                    // started: the primes last in the guess, often not needed.
                    std::shared_ptr<SharedSteps> steps = self->joinable(std::nullopt);
                    const bool narrow = self->next + self->group > self->guess_end;
                    if (!(steps && narrow))
                        if (const auto claimed = self->claim()) {
                            self->compute(lock, *claimed);
                            continue;
                        }
                    if (!steps) break;
                    lock.unlock();
                    const bool stayed = steps->help([pool = self->pool] { return pool->has_queued_tasks(); });
                    lock.lock();
                    if (!stayed) break;  // other work waits for this worker
                }
                --self->tasks;
                self->changed.notify_all();
            });
        }
    }
};

KrylovBatches::~KrylovBatches() { stop_producers(); }

void KrylovBatches::stop_producers() {
    if (!producers_) return;
    std::unique_lock<std::mutex> lock(producers_->mutex);
    producers_->stop = true;
    producers_->token.request();
    // Groups being computed end at their next cancellation point; tasks not
    // started yet never touch the factors.
    producers_->changed.wait(lock, [this] { return producers_->computing.empty(); });
    lock.unlock();
    producers_.reset();
}

void KrylovBatches::clear() {
    stop_producers();
    ahead_.reset();
    pending_.clear();
}

void KrylovBatches::launch(const SparseLU& lu, std::size_t draw, std::size_t max_degree,
                           std::optional<std::size_t> primes_hint, const std::function<void()>& beside) {
    WorkerPool* pool = WorkerPool::current();
    const std::size_t workers = pool ? pool->size() : 1;
    if (workers > 1) {
        stop_producers();
        std::erase_if(pending_, [&](const Pending& p) { return p.draw >= draw; });
        auto s = std::make_shared<Producers>(current_token());
        s->pool = pool;
        s->helpers = workers - 1;
        s->group = SparseLU::prime_lanes_available() ? kPrimesSideBySide : 1;
        s->lu = &lu;
        s->max_degree = max_degree;
        s->next = draw;
        // Beside `beside` (which takes less time than a group: the pivot
        // order and the first values), a group for each other worker;
        // without it, the caller's too. take() extends the limit.
        const std::size_t groups = beside ? s->helpers : workers;
        s->limit = draw + (primes_hint ? std::min(*primes_hint, groups * s->group) : groups * s->group);
        s->guess_end = primes_hint ? draw + *primes_hint : SIZE_MAX;
        s->done = {pending_.begin(), pending_.end()};
        pending_.clear();
        producers_ = s;
        {
            std::unique_lock<std::mutex> lock(s->mutex);
            s->post(s, lock);
        }
        if (beside) beside();
        return;
    }
    // One worker: `beside`, then a group.
    const std::size_t group = SparseLU::prime_lanes_available() ? kPrimesSideBySide : 1;
    std::vector<std::size_t> widths{group};
    if (group > 1 && primes_hint) widths = batch_widths(std::min(*primes_hint, group), 1);
    std::vector<std::size_t> starts(widths.size(), draw);
    for (std::size_t i = 1; i < widths.size(); ++i) starts[i] = starts[i - 1] + widths[i - 1];
    std::vector<std::vector<Pending>> batch(widths.size());
    const std::size_t first = beside ? 1 : 0;
    parallel_for_here(first + widths.size(), [&](std::size_t i) {
        if (i < first) return beside();
        batch[i - first] = pencils_for(lu, starts[i - first], widths[i - first], max_degree);
    });
    std::erase_if(pending_, [&](const Pending& p) { return p.draw >= draw; });
    for (const std::vector<Pending>& part : batch) pending_.insert(pending_.end(), part.begin(), part.end());
}

void KrylovBatches::adopt(std::vector<Pending> images, const std::vector<std::uint64_t>& values_at_one) {
    for (std::size_t i = 0; i < images.size(); ++i)
        if (images[i].pencil) images[i].pencil->value = values_at_one[i];
    if (producers_) {
        std::lock_guard<std::mutex> lock(producers_->mutex);
        producers_->done.insert(producers_->done.end(), images.begin(), images.end());
        return;
    }
    pending_.insert(pending_.end(), images.begin(), images.end());
    std::sort(pending_.begin(), pending_.end(), [](const Pending& a, const Pending& b) { return a.draw < b.draw; });
}

struct ImagesAhead::State {
    State(const CancelToken* caller, std::function<std::optional<SparseLU>()> make, std::size_t count)
        : token(caller), factors(std::move(make)), steps(count), groups(count) {}
    CancelToken token;
    std::function<std::optional<SparseLU>()> factors;
    std::mutex mutex;
    std::condition_variable changed;
    bool begun = false, dropped = false, ended = false;
    std::vector<SharedSteps> steps;  // a group's each
    std::vector<std::vector<KrylovBatches::Pending>> groups;
    std::exception_ptr error;

    // The task a worker runs: nothing once dropped.
    void run() {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (dropped) return;
            begun = true;
        }
        const std::size_t group = SparseLU::prime_lanes_available() ? kPrimesSideBySide : 1;
        try {
            const TokenScope scope(&token);
            if (const std::optional<SparseLU> lu = factors())
                parallel_for_here(groups.size(), [&](std::size_t k) {
                    steps[k].begin();
                    groups[k] = pencils_for(*lu, k * group, group, lu->size(), &steps[k]);
                });
        } catch (...) {
            error = std::current_exception();
        }
        // Also for groups that never began: a helper then leaves them.
        for (SharedSteps& s : steps) s.end();
        const std::lock_guard<std::mutex> lock(mutex);
        ended = true;
        changed.notify_all();
    }
};

std::shared_ptr<ImagesAhead> ImagesAhead::start(std::function<std::optional<SparseLU>()> factors) {
    WorkerPool* pool = WorkerPool::current();
    if (!pool || pool->size() < 2) return nullptr;
    auto state = std::make_shared<State>(current_token(), std::move(factors), pool->size() - 1);
    // The task keeps the state: once dropped it may still run, long after.
    pool->post([state] { state->run(); });
    return std::shared_ptr<ImagesAhead>(new ImagesAhead(std::move(state)));
}

ImagesAhead::~ImagesAhead() {
    State& s = *state_;
    s.token.request();
    std::unique_lock<std::mutex> lock(s.mutex);
    // A task not begun is dropped, not waited for: the workers may all be
    // waiting on tasks like it.
    if (!s.begun) {
        s.dropped = true;
        return;
    }
    s.changed.wait(lock, [&] { return s.ended; });
}

std::size_t ImagesAhead::promised() {
    State& s = *state_;
    const std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.begun) {
        s.dropped = true;
        return 0;
    }
    return s.groups.size() * (SparseLU::prime_lanes_available() ? kPrimesSideBySide : 1);
}

bool ImagesAhead::begun() const {
    const std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->begun;
}

std::vector<KrylovBatches::Pending> ImagesAhead::take() {
    State& s = *state_;
    std::unique_lock<std::mutex> lock(s.mutex);
    if (!s.begun) {
        s.dropped = true;
        return {};
    }
    if (!s.ended) {
        lock.unlock();
        for (SharedSteps& steps : s.steps) steps.help([] { return false; });
        lock.lock();
        s.changed.wait(lock, [&] { return s.ended; });
    }
    if (s.error) std::rethrow_exception(s.error);
    std::vector<KrylovBatches::Pending> out;
    for (std::vector<KrylovBatches::Pending>& g : s.groups) out.insert(out.end(), g.begin(), g.end());
    return out;
}

void KrylovBatches::adopt(std::shared_ptr<ImagesAhead> ahead, std::vector<std::uint64_t> values_at_one) {
    ahead_ = std::move(ahead);
    ahead_values_ = std::move(values_at_one);
}

KrylovBatches::Pending KrylovBatches::take(const SparseLU& lu, std::size_t draw, std::size_t max_degree,
                                           std::optional<std::size_t> primes_hint) {
    if (ahead_ && draw < ahead_values_.size()) {
        // The images computed ahead, now needed; a draw they miss is
        // computed here as one dropped is.
        std::vector<Pending> images = ahead_->take();
        ahead_.reset();
        std::vector<std::uint64_t> values;
        for (const Pending& image : images) values.push_back(ahead_values_.at(image.draw));
        adopt(std::move(images), values);
    }
    if (!producers_ || producers_->lu != &lu) {
        if (producers_) {
            stop_producers();
            launch(lu, draw, max_degree, primes_hint, nullptr);
        } else if (const WorkerPool* pool = WorkerPool::current(); pool && pool->size() > 1) {
            launch(lu, draw, max_degree, primes_hint, nullptr);
        }
    }
    if (const std::shared_ptr<Producers> s = producers_) {
        std::unique_lock<std::mutex> lock(s->mutex);
        s->max_degree = max_degree;
        // Draws passed over (the checks' primes) are never computed; groups
        // start up to a group beyond one on every worker, or as far as the
        // primes still needed go.
        s->next = std::max(s->next, draw);
        const std::size_t ahead = (s->helpers + 2) * s->group;
        s->limit = draw + (primes_hint ? std::min(*primes_hint, ahead) : ahead);
        s->guess_end = primes_hint ? draw + *primes_hint : SIZE_MAX;
        s->post(s, lock);
        for (;;) {
            if (s->error) std::rethrow_exception(s->error);
            std::erase_if(s->done, [&](const Pending& p) { return p.draw < draw; });
            const auto found =
                std::find_if(s->done.begin(), s->done.end(), [&](const Pending& p) { return p.draw == draw; });
            if (found != s->done.end()) {
                Pending out = std::move(*found);
                s->done.erase(found);
                return out;
            }
            const bool in_flight = std::any_of(s->computing.begin(), s->computing.end(), [&](const auto& g) {
                return g.first <= draw && draw < g.end;
            });
            std::optional<Producers::Group> mine;
            if (!in_flight && draw < s->next) mine = s->start(draw, 1);  // taken before and dropped: again, alone
            else mine = s->claim();
            if (mine) {
                s->post(s, lock);  // an idle worker may join it
                s->compute(lock, *mine);
            } else if (const std::shared_ptr<SharedSteps> steps = s->joinable(draw)) {
                lock.unlock();
                steps->help([] { return false; });
                lock.lock();
            } else {
                s->changed.wait(lock);
            }
        }
    }
    while (!pending_.empty() && pending_.front().draw < draw) pending_.pop_front();
    if (pending_.empty() || pending_.front().draw != draw) launch(lu, draw, max_degree, primes_hint, nullptr);
    Pending out = std::move(pending_.front());
    pending_.pop_front();
    return out;
}

}  // namespace skeinlab
