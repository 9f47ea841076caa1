// The fast paths of the knot-core search against the straightforward ones:
// window reductions of a WindowReducer against kmt_open_chain on a copy,
// whole searches with and without the reducer, in parallel and in order,
// and nested work on the worker pool.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "analysis/knotsize.hpp"
#include "curves.hpp"
#include "drivers/frames.hpp"
#include "fixtures.hpp"
#include "io/lines.hpp"
#include "io/xyz.hpp"
#include "reduction/kmt.hpp"
#include "reduction/kmt_windows.hpp"
#include "runtime/pool.hpp"

namespace skeinlab::kmt_windows_test {
namespace {

using namespace skeinlab::testing;

Chain noisy(Chain c, double noise, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> normal(0.0, noise);
    for (Point3& p : c) p = {p.x + normal(rng), p.y + normal(rng), p.z + normal(rng)};
    return c;
}

struct ChainKind {
    const char* name;
    std::function<Chain(std::uint64_t)> make;
};

// Chains with every kind of decision: free and compact walks, knots with
// noise, a planar chain (every segment coplanar), repeated points and
// straight runs (degenerate triangles), and a point that is not a number.
const ChainKind kKinds[] = {
    {"free walk", [](std::uint64_t seed) { return seeded_walk(150 + seed % 50, seed, 0.0); }},
    {"compact walk", [](std::uint64_t seed) { return seeded_walk(120 + seed % 80, seed, 0.3); }},
    {"noisy trefoil",
     [](std::uint64_t seed) { return noisy(torus_knot(2, 3, 200 + 40 * static_cast<int>(seed % 5)), 1e-3, seed); }},
    {"noisy figure-eight", [](std::uint64_t seed) { return noisy(figure_eight(300), 0.02, seed); }},
    {"planar", [](std::uint64_t seed) {
         Chain c = seeded_walk(100, seed, 0.2);
         for (Point3& p : c) p.z = 0.0;
         return c;
     }},
    {"repeats and straight runs", [](std::uint64_t seed) {
         Chain c;
         for (const Point3& p : seeded_walk(60, seed, 0.1)) {
             c.push_back(p);
             c.push_back(p);
             c.push_back({p.x + 0.5, p.y, p.z});
             c.push_back({p.x + 1.0, p.y, p.z});
         }
         return c;
     }},
    {"not a number", [](std::uint64_t seed) {
         Chain c = seeded_walk(100, seed, 0.1);
         c[37].y = std::numeric_limits<double>::quiet_NaN();
         return c;
     }},
};

class ReducedWindows : public ::testing::TestWithParam<ChainKind> {};

TEST_P(ReducedWindows, ReduceExactlyAsKmtOnACopy) {
    for (std::uint64_t seed = 0; seed < 6; ++seed) {
        const Chain chain = GetParam().make(seed);
        const WindowReducer reducer(chain);
        std::mt19937_64 rng(seed + 100);
        const std::size_t n = chain.size();
        for (int k = 0; k < 60; ++k) {
            std::size_t s = rng() % n, e = rng() % n;
            if (s > e) std::swap(s, e);
            if (k % 4 == 0) s = 0;      // the families of the core search:
            if (k % 4 == 1) e = n - 1;  // fixed start, fixed end, both free
            if (k == 2) s = 0, e = n - 1;
            if (k == 3) e = std::min(n - 1, s + static_cast<std::size_t>(rng() % 3));  // 1 to 3 points
            Chain direct(chain.begin() + static_cast<std::ptrdiff_t>(s),
                         chain.begin() + static_cast<std::ptrdiff_t>(e) + 1);
            kmt_open_chain(direct);
            const Chain reduced = reducer.reduce_window(s, e);
            // Compared bit for bit (a NaN point compares unequal to itself).
            ASSERT_EQ(reduced.size(), direct.size()) << "seed " << seed << " [" << s << ", " << e << "]";
            EXPECT_EQ(std::memcmp(reduced.data(), direct.data(), direct.size() * sizeof(Point3)), 0)
                << "seed " << seed << " [" << s << ", " << e << "]";
        }
    }
}

TEST_P(ReducedWindows, FollowingTheWindowsBeforeReduceExactlyAsKmtOnACopy) {
    // Runs of windows as the core search makes them, each following the
    // first passes of the ones before: one end and a bisected start, one
    // start and a bisected end, growth one point at a time, and jumps between.
    for (std::uint64_t seed = 0; seed < 4; ++seed) {
        const Chain chain = GetParam().make(seed);
        const WindowReducer reducer(chain);
        const std::size_t n = chain.size();
        std::mt19937_64 rng(seed + 200);
        std::vector<std::pair<std::size_t, std::size_t>> windows;
        for (int run = 0; run < 6; ++run) {
            std::size_t lo = rng() % (n / 2), hi = n / 2 + rng() % (n - n / 2);
            const std::size_t fixed = run % 2 ? lo : hi;
            for (int k = 0; k < 8; ++k) {
                const std::size_t mid = (lo + hi) / 2;
                windows.push_back(run % 2 ? std::pair{fixed, std::max(fixed, mid)}
                                          : std::pair{std::min(mid, fixed), fixed});
                (rng() % 2 ? lo : hi) = mid;
            }
            auto [s, e] = windows.back();
            for (int k = 0; k < 10 && s > 0 && e + 1 < n; ++k) {
                k % 2 ? ++e : --s;
                windows.emplace_back(s, e);
            }
        }
        // Each follows the windows before it, the latest first (up to three).
        std::deque<std::shared_ptr<WindowTrace>> latest;
        for (const auto& [s, e] : windows) {
            std::vector<const WindowTrace*> earlier;
            for (const auto& t : latest) earlier.push_back(t.get());
            auto trace = std::make_shared<WindowTrace>();
            Chain direct(chain.begin() + static_cast<std::ptrdiff_t>(s),
                         chain.begin() + static_cast<std::ptrdiff_t>(e) + 1);
            kmt_open_chain(direct);
            const Chain followed = reducer.reduce_window(s, e, earlier, trace.get());
            ASSERT_EQ(followed.size(), direct.size()) << "seed " << seed << " [" << s << ", " << e << "]";
            EXPECT_EQ(std::memcmp(followed.data(), direct.data(), direct.size() * sizeof(Point3)), 0)
                << "seed " << seed << " [" << s << ", " << e << "]";
            latest.push_front(trace);
            if (latest.size() > 3) latest.pop_back();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Chains, ReducedWindows, ::testing::ValuesIn(kKinds),
                         [](const auto& test) {
                             std::string name = test.param.name;
                             for (char& c : name)
                                 if (c == ' ' || c == '-') c = '_';
                             return name;
                         });

// A knot tied in a ring or an open chain, in varied sizes, noise and places
// (rings rotated so that the knot often straddles the first point).
Chain knotted(std::uint64_t seed, bool ring) {
    const int points = 60 + static_cast<int>(seed % 7) * 25;
    Chain knot = seed % 3 == 0 ? figure_eight(points) : torus_knot(2, seed % 3 == 1 ? 3 : 5, points);
    knot = noisy(knot, seed % 2 ? 1e-3 : 0.03, seed);
    if (!ring) return with_tails(knot, 5 + static_cast<int>(seed % 11), 6.0 + static_cast<double>(seed % 5));
    Chain loop = knot;
    const Point3 a = knot.back(), b = knot.front();
    for (int i = 1; i < 30; ++i) {
        const double f = i / 30.0;
        loop.push_back({a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f + 8.0 * std::sin(3.14159 * f), a.z});
    }
    std::rotate(loop.begin(), loop.begin() + static_cast<std::ptrdiff_t>(seed * 37 % loop.size()), loop.end());
    return loop;
}

TEST(CoreSearch, TheReducerGivesTheStraightforwardCores) {
    std::size_t found = 0, compared = 0;
    for (const bool ring : {true, false}) {
        for (std::uint64_t seed = 0; seed < 70; ++seed) {
            const Chain chain = seed % 10 == 9 ? seeded_walk(150, seed, 0.25) : knotted(seed, ring);
            const auto typed = classify_frame(chain, builtin_table(), options_for(ring));
            const std::string name = std::get<std::string>(typed);
            if (name.find('_') == std::string::npos) continue;
            const Result<KnotCore> direct = find_knot_core(chain, name, builtin_table(), options_for(ring), false);
            // The whole chain was just typed `name`: the first rotation's typing is skipped.
            const Result<KnotCore> replayed =
                find_knot_core(chain, name, builtin_table(), options_for(ring), true, true);
            ASSERT_TRUE(direct.ok() && replayed.ok());
            const KnotCore &a = direct.value(), &b = replayed.value();
            EXPECT_EQ(std::make_tuple(a.found, a.start, a.end, a.length), std::make_tuple(b.found, b.start, b.end, b.length))
                << (ring ? "ring" : "open") << " seed " << seed << " " << name;
            found += a.found;
            ++compared;
        }
    }
    EXPECT_GT(compared, 100u);
    EXPECT_GT(found, compared / 2);
}

TEST(CoreSearch, TheReducerGivesTheStraightforwardCoresOfTheShippedExamples) {
    for (const auto& [file, ring] : {std::pair{"rings.xyz", true}, std::pair{"open_chains.xyz", false}}) {
        Result<LineReader> reader = LineReader::open(std::string(SKEINLAB_SOURCE_DIR) + "/examples/" + file);
        ASSERT_TRUE(reader.ok()) << file;
        const Result<FrameSet> frames = read_data_xyz_frames(reader.value());
        ASSERT_TRUE(frames.ok()) << file;
        for (std::size_t f = 0; f < frames.value().size(); f += 3) {
            const Chain& chain = frames.value()[f];
            const std::string name = std::get<std::string>(classify_frame(chain, builtin_table(), options_for(ring)));
            if (name.find('_') == std::string::npos) continue;
            const KnotCore a = find_knot_core(chain, name, builtin_table(), options_for(ring), false).value();
            const KnotCore b = find_knot_core(chain, name, builtin_table(), options_for(ring), true).value();
            EXPECT_EQ(std::make_tuple(a.found, a.start, a.end), std::make_tuple(b.found, b.start, b.end))
                << file << " frame " << f;
        }
    }
}

TEST(CoreSearch, AllWorkersGiveTheSequentialCores) {
    FrameSet frames;
    for (std::uint64_t seed = 0; seed < 6; ++seed) frames.push_back(knotted(seed, true));
    const KnotTypeOptions ring = options_for(true);
    const Outcome<KnotSizes> sequential = compute_knot_size(frames, builtin_table(), ring, 1);
    ASSERT_TRUE(std::holds_alternative<KnotSizes>(sequential));
    using Threads = std::optional<std::uint64_t>;
    for (const Threads threads : {Threads{2}, Threads{5}, Threads{}}) {
        const Outcome<KnotSizes> parallel = compute_knot_size(frames, builtin_table(), ring, threads);
        EXPECT_EQ(std::get<KnotSizes>(parallel).cores, std::get<KnotSizes>(sequential).cores);
        // One frame alone: its rotations, bisections and growth spread over the workers.
        for (std::size_t f = 0; f < frames.size(); ++f) {
            const Outcome<KnotSizes> single = compute_knot_size({frames[f]}, builtin_table(), ring, threads);
            EXPECT_EQ(std::get<KnotSizes>(single).cores[0], std::get<KnotSizes>(sequential).cores[f]) << "frame " << f;
        }
    }
}

TEST(WorkerPool, AWorkerWaitingForNestedItemsTakesOfferedWork) {
    // Of two nested items, one returns soon and the other offers work while
    // it runs: the worker done with its item takes the offer, whether it is
    // the one that started the nested work (and waits for it) or not.
    WorkerPool pool(2);
    for (int round = 0; round < 20; ++round) {
        std::atomic<bool> taken{false};
        pool.parallel_for(1, [&](std::size_t) {
            parallel_for_here(2, [&](std::size_t i) {
                if (i == 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    return;
                }
                std::atomic<bool> extra_ran{false};
                const bool took = run_with_offer(
                    [&] {
                        for (int k = 0; k < 2000 && !extra_ran.load(); ++k)
                            std::this_thread::sleep_for(std::chrono::microseconds(100));
                    },
                    [&] { extra_ran.store(true); });
                taken.store(took);
            });
        });
        EXPECT_TRUE(taken.load()) << "round " << round;
    }
}

TEST(WorkerPool, NestedWorkNeverDeadlocksAndOneWorkerKeepsOrder) {
    for (const std::size_t workers : {1u, 2u, 4u}) {
        WorkerPool pool(workers);
        std::atomic<int> inner{0};
        pool.parallel_for(6, [&](std::size_t) {
            parallel_for_here(5, [&](std::size_t) {
                parallel_for_here(3, [&](std::size_t) { inner.fetch_add(1); });
            });
        });
        EXPECT_EQ(inner.load(), 6 * 5 * 3);
    }
    WorkerPool one(1);
    std::vector<std::size_t> order;
    one.parallel_for(1, [&](std::size_t) {
        parallel_for_here(8, [&](std::size_t i) { order.push_back(i); });
    });
    EXPECT_EQ(order, (std::vector<std::size_t>{0, 1, 2, 3, 4, 5, 6, 7}));
    std::vector<std::size_t> outside;
    parallel_for_here(3, [&](std::size_t i) { outside.push_back(i); });  // no pool: in order here
    EXPECT_EQ(outside, (std::vector<std::size_t>{0, 1, 2}));
}

TEST(WorkerPool, NestedFailuresReachTheCaller) {
    WorkerPool pool(2);
    EXPECT_THROW(pool.parallel_for(3,
                                   [&](std::size_t) {
                                       parallel_for_here(4, [](std::size_t i) {
                                           if (i == 2) throw std::runtime_error("inner");
                                       });
                                   }),
                 std::runtime_error);
    std::atomic<int> after{0};
    pool.parallel_for(4, [&](std::size_t) { after.fetch_add(1); });  // the pool still works
    EXPECT_EQ(after.load(), 4);
}

}  // namespace
}  // namespace skeinlab::kmt_windows_test
