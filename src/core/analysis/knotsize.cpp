#include "analysis/knotsize.hpp"

#include <algorithm>
#include <climits>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "io/xyz.hpp"
#include "reduction/kmt_windows.hpp"
#include "runtime/cancel.hpp"
#include "runtime/pool.hpp"

namespace skeinlab {
namespace {

bool window_valid(const Chain& chain, std::int32_t s, std::int32_t e) {
    return s >= 0 && s <= e && static_cast<std::size_t>(e) < chain.size();
}

Chain copy_window(const Chain& chain, std::int32_t s, std::int32_t e) {
    return Chain(chain.begin() + s, chain.begin() + e + 1);
}

void debug_failure(const char* what, std::int32_t s, std::int32_t e, const KnotError& error) {
    write_debug_line(std::string("debug: ") + what + " [" + std::to_string(s) + "," + std::to_string(e) +
                     "] failed: " + error.display());
}

// Types windows of one working chain as open chains, with the results of
// window_knottype_open: the KMT reduction of a window is made by a
// WindowReducer of the chain, each window following the first passes of the
// few windows typed before it.
class WindowTyper {
public:
    // Without a reducer (or without KMT), every window is typed from scratch.
    WindowTyper(const Chain& chain, const AlexanderTable& table, const KnotTypeOptions& open_options,
                std::optional<WindowReducer> reducer)
        : chain_(chain), table_(table), open_(open_options) {
        if (open_.use_kmt) reducer_ = std::move(reducer);
    }

    // The name of the valid window [s, e] (s <= e < n).
    Result<std::string> type(std::int32_t s, std::int32_t e) const {
        if (!reducer_) return get_knottype(copy_window(chain_, s, e), table_, open_);
        // Windows typed at once (by other workers) follow the same ones.
        std::deque<std::shared_ptr<const WindowTrace>> earlier;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            earlier = latest_;
        }
        std::vector<const WindowTrace*> traces;
        for (const auto& t : earlier) traces.push_back(t.get());
        auto trace = std::make_shared<WindowTrace>();
        Chain reduced =
            reducer_->reduce_window(static_cast<std::size_t>(s), static_cast<std::size_t>(e), traces, trace.get());
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            latest_.push_front(std::move(trace));
            if (latest_.size() > kTraces) latest_.pop_back();
        }
        if (open_.debug)
            for (const Point3& p : reduced) write_debug_line(format_xyz_point_line(p));
        return type_reduced_open_chain(std::move(reduced), table_, open_);
    }

private:
    const Chain& chain_;
    const AlexanderTable& table_;
    const KnotTypeOptions& open_;
    std::optional<WindowReducer> reducer_;
    // The first passes of the windows typed last, the latest first.
    static constexpr std::size_t kTraces = 4;
    mutable std::mutex mutex_;
    mutable std::deque<std::shared_ptr<const WindowTrace>> latest_;
};

// The search over one working chain (the frame itself, or one rotation of a
// ring); W is the open-chain typing of a window compared with the target.
class CoreSearch {
public:
    CoreSearch(const Chain& chain, const std::string& target, const AlexanderTable& table,
               const KnotTypeOptions& open_options, bool ring, std::optional<WindowReducer> reducer)
        : target_(target),
          open_(open_options),
          typer_(chain, table, open_options, std::move(reducer)),
          ring_(ring),
          n_(static_cast<std::int32_t>(chain.size())) {}

    // As window_is_type.
    bool w(std::int32_t s, std::int32_t e) const {
        cancellation_point();
        if (s < 0 || s > e || e >= n_) return false;
        const Result<std::string> name = typer_.type(s, e);
        if (!name) {
            if (open_.debug) debug_failure("window_is_type", s, e, name.error());
            return false;
        }
        return name.value() == target_;
    }

    // As window_knottype_open.
    std::string name_of(std::int32_t s, std::int32_t e) const {
        cancellation_point();
        if (s < 0 || s > e || e >= n_) return {};
        Result<std::string> name = typer_.type(s, e);
        if (!name) {
            if (open_.debug) debug_failure("window_knottype_open", s, e, name.error());
            return {};
        }
        return std::move(name).value();
    }

    // Runs the two independent searches a() and b(): at once on the calling
    // worker's pool, or one after the other when diagnostics are on (so that
    // their lines keep their order).
    template <class A, class B>
    void both(A a, B b) const {
        if (open_.debug) {
            a();
            b();
            return;
        }
        parallel_for_here(2, [&](std::size_t i) { i == 0 ? a() : b(); });
    }

    struct Interval {
        std::int32_t lo, hi;
    };

    // A binary search: while open(iv), iv = next(iv, mid, test(mid)) with
    // mid = (lo + hi) / 2. While test(mid) runs, an idle worker of the pool
    // may test the mid that comes next if the answer is `true`; when the
    // search gets there, it takes that answer instead of testing again. A
    // test's answer does not depend on who computes it, so the search takes
    // the same steps; with no idle worker nothing more is computed.
    template <class Open, class Test, class Next>
    Interval bisect(Interval iv, Open open, Test test, Next next) const {
        std::optional<std::pair<std::int32_t, bool>> ahead;
        while (open(iv)) {
            const std::int32_t mid = (iv.lo + iv.hi) / 2;
            bool answer = false;
            if (ahead && ahead->first == mid) {
                answer = ahead->second;
                ahead.reset();
            } else {
                ahead.reset();
                const Interval guess = next(iv, mid, true);
                if (open_.debug || !open(guess)) {
                    answer = test(mid);
                } else {
                    const std::int32_t guess_mid = (guess.lo + guess.hi) / 2;
                    bool guess_answer = false;
                    if (run_with_offer([&] { answer = test(mid); }, [&] { guess_answer = test(guess_mid); }))
                        ahead.emplace(guess_mid, guess_answer);
                }
            }
            iv = next(iv, mid, answer);
        }
        return iv;
    }

    // Search steps shared by rings and open chains: the first window, then growth.
    std::pair<std::int32_t, std::int32_t> first_window_grown() const {
        const std::int32_t last = n_ - 1;
        const auto strictly_open = [](Interval iv) { return iv.lo < iv.hi; };
        const auto open_by_two = [](Interval iv) { return iv.lo < iv.hi - 1; };
        std::int32_t e_min = 0, s_max = 0;
        both(
            [&] {
                e_min = bisect(
                            {0, last}, strictly_open, [&](std::int32_t mid) { return w(0, mid); },
                            [](Interval iv, std::int32_t mid, bool yes) {
                                return yes ? Interval{iv.lo, mid} : Interval{mid + 1, iv.hi};
                            })
                            .lo;
            },
            [&] {
                s_max = bisect(
                            {0, last}, open_by_two, [&](std::int32_t mid) { return w(mid, last); },
                            [](Interval iv, std::int32_t mid, bool yes) {
                                return yes ? Interval{mid, iv.hi} : Interval{iv.lo, mid};
                            })
                            .lo;
            });

        std::int32_t s = s_max, e = e_min;
        if (!(s_max < e_min)) {
            std::int32_t e1 = 0, s2 = 0;
            both(
                [&] {
                    // The lower bound, by design.
                    e1 = bisect(
                             {s_max, last}, open_by_two, [&](std::int32_t mid) { return w(s_max, mid); },
                             [](Interval iv, std::int32_t mid, bool yes) {
                                 return yes ? Interval{iv.lo, mid} : Interval{mid + 1, iv.hi};
                             })
                             .lo;
                },
                [&] {
                    s2 = bisect(
                             {0, e_min}, open_by_two, [&](std::int32_t mid) { return w(mid, e_min); },
                             [](Interval iv, std::int32_t mid, bool yes) {
                                 return yes ? Interval{mid, iv.hi} : Interval{iv.lo, mid};
                             })
                             .lo;
                });
            if ((e1 - s_max) > (e_min - s2)) {
                s = s2;
                e = e_min;
            } else {
                s = s_max;
                e = e1;
            }
        }

        // Growth: failing windows widen one point to the left, then one to
        // the right. While a window is tested, an idle worker may test the
        // one that comes next should it fail (as in bisect).
        const auto grows = [&](std::int32_t gs, std::int32_t ge) {
            return gs >= 1 && ge <= n_ - 2 && (ring_ ? gs <= ge : gs < ge);
        };
        if (grows(s, e)) {
            bool flag = true;
            std::optional<bool> ahead;
            do {
                std::int32_t s_next = s, e_next = e;
                bool flag_next = flag;
                if (flag_next) s_next -= 1;
                flag_next = !flag_next;
                if (flag_next) e_next += 1;
                bool answer = false;
                std::optional<bool> next_answer;
                if (ahead) {
                    answer = *ahead;
                } else if (open_.debug || !grows(s_next, e_next)) {
                    answer = w(s, e);
                } else {
                    bool guess = false;
                    if (run_with_offer([&] { answer = w(s, e); }, [&] { guess = w(s_next, e_next); }))
                        next_answer = guess;
                }
                ahead = next_answer;
                if (answer) break;
                s = s_next;
                e = e_next;
                flag = flag_next;
            } while (grows(s, e));
        }
        return {s, e};
    }

    // Trimming accepts windows typed as the target or as a knot at least as
    // complex (crossing number, then index).
    bool holds(std::int32_t s, std::int32_t e) const {
        std::string name;
        if (open_.debug) {
            // Two typings, so that each probe writes its own diagnostic line.
            if (w(s, e)) return true;
            name = name_of(s, e);
        } else {
            name = name_of(s, e);
            if (name == target_) return true;
        }
        const auto window_key = parse_knot_name(name);
        const auto target_key = parse_knot_name(target_);
        return window_key && target_key && *window_key >= *target_key;
    }

    std::pair<std::int32_t, std::int32_t> trimmed(std::int32_t s, std::int32_t e) const {
        const auto open_by_two = [](Interval iv) { return iv.lo < iv.hi - 1; };
        std::int32_t s_trim = s;
        if (s < e - 1) {
            s_trim = bisect(
                         {s, e}, open_by_two, [&](std::int32_t mid) { return holds(mid, e); },
                         [](Interval iv, std::int32_t mid, bool yes) {
                             return yes ? Interval{mid, iv.hi} : Interval{iv.lo, mid};
                         })
                         .lo;
        }
        std::int32_t e_trim = e;
        if (s_trim < e - 1) {
            e_trim = bisect(
                         {s_trim, e}, open_by_two, [&](std::int32_t mid) { return holds(s_trim, mid); },
                         [](Interval iv, std::int32_t mid, bool yes) {
                             return yes ? Interval{iv.lo, mid} : Interval{mid, iv.hi};
                         })
                         .hi;
        }
        return {s_trim, e_trim};
    }

private:
    const std::string& target_;
    const KnotTypeOptions& open_;
    WindowTyper typer_;
    bool ring_;
    std::int32_t n_;
};

}  // namespace

bool window_is_type(const Chain& chain, std::int32_t s, std::int32_t e, const std::string& target,
                    const AlexanderTable& table, const KnotTypeOptions& options) {
    if (!window_valid(chain, s, e)) return false;
    const Result<std::string> name = get_knottype(copy_window(chain, s, e), table, options);
    if (!name) {
        if (options.debug) debug_failure("window_is_type", s, e, name.error());
        return false;
    }
    return name.value() == target;
}

std::string window_knottype_open(const Chain& chain, std::int32_t s, std::int32_t e, const AlexanderTable& table,
                                 const KnotTypeOptions& options) {
    if (!window_valid(chain, s, e)) return {};
    KnotTypeOptions open = options;
    open.is_ring = false;
    Result<std::string> name = get_knottype(copy_window(chain, s, e), table, open);
    if (!name) {
        if (options.debug) debug_failure("window_knottype_open", s, e, name.error());
        return {};
    }
    return std::move(name).value();
}

namespace {

// The ring `chain` started at its point `off`.
Chain rotation(const Chain& chain, std::int64_t off) {
    const std::int64_t n = static_cast<std::int64_t>(chain.size());
    Chain rotated(chain.size());
    for (std::int64_t i = 0; i < n; ++i)
        rotated[static_cast<std::size_t>(i)] = chain[static_cast<std::size_t>((i + off) % n)];
    return rotated;
}

// The start of a ring's rotation k.
std::int64_t rotation_start(std::size_t n, std::int32_t rotations, std::size_t k) {
    const std::int64_t step = static_cast<std::int64_t>(n) / rotations;
    return step * static_cast<std::int64_t>(k);
}

std::int32_t rotations_of(const KnotTypeOptions& options) {
    return options.ring_rotations >= 2 ? options.ring_rotations : 1;
}

// find_knot_core; `second` is the typing of the ring's second rotation when
// it has been done already (without diagnostics).
Result<KnotCore> find_core(const Chain& chain, const std::string& target, const AlexanderTable& table,
                           const KnotTypeOptions& options, bool replay, bool typed_as_target,
                           const std::optional<Result<std::string>>& second) {
    KnotCore none;
    // Window bounds are 32-bit; a chain too long for them has no searchable core.
    if (chain.empty() || chain.size() > static_cast<std::size_t>(INT32_MAX)) return none;
    const std::int32_t n = static_cast<std::int32_t>(chain.size());
    KnotTypeOptions open = options;
    open.is_ring = false;

    // The reducer of a working chain's windows; the reducers of a ring's
    // rotations share the first blockers ahead of their triangles.
    std::unique_ptr<RingBlockers> blockers;
    if (replay && options.use_kmt) blockers = std::make_unique<RingBlockers>(chain);
    const auto reducer_of = [&](const Chain& working, std::size_t offset) {
        std::optional<WindowReducer> reducer;
        if (blockers) reducer.emplace(working, blockers.get(), offset);
        return reducer;
    };

    if (!options.is_ring) {
        const CoreSearch search(chain, target, table, open, false, reducer_of(chain, 0));
        if (!search.w(0, n - 1)) return none;
        const auto [s, e] = search.first_window_grown();
        return KnotCore{true, s, e, e - s + 1, target};
    }

    KnotTypeOptions ring = options;
    ring.is_ring = true;
    const std::int32_t rotations = rotations_of(options);
    // The rotations are independent: they run at once on the calling worker's
    // pool (in order when diagnostics are on) and are collected in order.
    std::vector<std::optional<CoreTriple>> found(static_cast<std::size_t>(rotations));
    const auto search_rotation = [&](std::size_t k) {
        const std::int64_t off = rotation_start(chain.size(), rotations, k);
        const Chain rotated = rotation(chain, off);
        // The first rotation is the chain itself, which the caller may have
        // just typed, and the caller may have typed the second too
        // (diagnostics write those typings' lines again).
        bool knotted = false;
        if (k == 0 && typed_as_target && !options.debug)
            knotted = true;
        else if (k == 1 && second && !options.debug)
            knotted = second->ok() && second->value() == target;
        else
            knotted = window_is_type(rotated, 0, n - 1, target, table, ring);
        if (!knotted) return;
        const CoreSearch search(rotated, target, table, open, true,
                                reducer_of(rotated, static_cast<std::size_t>(off)));
        const auto [s, e] = search.first_window_grown();
        const auto [s_trim, e_trim] = search.trimmed(s, e);
        found[k] = CoreTriple{static_cast<std::int32_t>((s_trim + off) % n),
                              static_cast<std::int32_t>((e_trim + off) % n), e_trim - s_trim + 1};
    };
    if (options.debug) {
        for (std::size_t k = 0; k < found.size(); ++k) search_rotation(k);
    } else {
        // Handed out last first: the first rotations skip their ring typing
        // (the caller's, or typed while the frame was), so they are the
        // shorter ones to finish with.
        parallel_for_here(found.size(), [&](std::size_t i) { search_rotation(found.size() - 1 - i); });
    }
    std::vector<CoreTriple> candidates;
    for (const std::optional<CoreTriple>& c : found)
        if (c) candidates.push_back(*c);
    if (candidates.empty()) return none;
    const CoreTriple* chosen = nullptr;
    for (const CoreTriple& c : candidates)
        if (c[2] > 0 && (!chosen || c[2] < (*chosen)[2])) chosen = &c;
    if (!chosen) chosen = &candidates.front();
    return KnotCore{true, (*chosen)[0], (*chosen)[1], (*chosen)[2], target};
}

}  // namespace

Result<KnotCore> find_knot_core(const Chain& chain, const std::string& target, const AlexanderTable& table,
                                const KnotTypeOptions& options, bool replay, bool typed_as_target) {
    return find_core(chain, target, table, options, replay, typed_as_target, std::nullopt);
}

Outcome<std::pair<std::string, CoreTriple>> knot_size_of_frame(const Chain& chain, const AlexanderTable& table,
                                                               const KnotTypeOptions& options) {
    // Missing points are left out of the search. The core's ends are given
    // as positions in the frame; its length counts the points it holds, so a
    // frame padded at its end gives the core of the frame without padding.
    if (chain.size() <= static_cast<std::size_t>(INT32_MAX) && std::any_of(chain.begin(), chain.end(), is_missing)) {
        Chain present;
        std::vector<std::int32_t> position;
        for (std::size_t i = 0; i < chain.size(); ++i) {
            if (is_missing(chain[i])) continue;
            present.push_back(chain[i]);
            position.push_back(static_cast<std::int32_t>(i));
        }
        auto outcome = knot_size_of_frame(present, table, options);
        if (auto* found = std::get_if<std::pair<std::string, CoreTriple>>(&outcome); found && found->second != kNoCore) {
            CoreTriple& core = found->second;
            core[0] = position[static_cast<std::size_t>(core[0])];
            core[1] = position[static_cast<std::size_t>(core[1])];
        }
        return outcome;
    }
    // Cores are indices, so the whole search runs on the chain scaled into the unit range.
    if (const int k = unit_exponent(chain); k != 0) {
        Chain scaled = chain;
        scale_by_power_of_two(scaled, k);
        return knot_size_of_frame(scaled, table, options);
    }
    // While the frame is typed, an idle worker types the ring from its second
    // rotation's start, which the core search needs (wasted when the frame
    // turns out unknotted).
    Outcome<std::string> typed = Failure{};
    std::optional<Result<std::string>> second;
    const auto classify = [&] { typed = classify_frame(chain, table, options); };
    if (options.is_ring && !options.debug && rotations_of(options) >= 2 && chain.size() >= 3) {
        run_with_offer(classify, [&] {
            second = get_knottype(rotation(chain, rotation_start(chain.size(), rotations_of(options), 1)), table,
                                  options);
        });
    } else {
        classify();
    }
    if (auto* failure = std::get_if<Failure>(&typed)) return std::move(*failure);
    std::string name = std::get<std::string>(std::move(typed));
    if (name.find('_') == std::string::npos) return std::make_pair(std::move(name), kNoCore);
    const Result<KnotCore> core = find_core(chain, name, table, options, true, true, second);
    if (!core) return Failure{core.error().display()};
    const KnotCore& c = core.value();
    const CoreTriple triple = c.found ? CoreTriple{c.start, c.end, c.length} : kNoCore;
    return std::make_pair(std::move(name), triple);
}

}  // namespace skeinlab
