// Krylov steps shared between two threads: a step walked in halves is the
// whole step, and a helper that joins a sequence at any point, or leaves it,
// changes none of its images.
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "analysis/knottype.hpp"
#include "arithmetic/krylov_batches.hpp"
#include "arithmetic/modular.hpp"
#include "arithmetic/shared_steps.hpp"
#include "arithmetic/sparse_lu.hpp"
#include "arithmetic/wiedemann.hpp"
#include "curves.hpp"
#include "diagram/knot_diagram.hpp"
#include "invariants/alexander.hpp"
#include "reduction/kmt.hpp"

namespace skeinlab::shared_steps_test {
namespace {

using modular::Field;
using testing::seeded_walk;

using Rows = std::vector<std::vector<LinearEntry>>;

// A knot's minor (its last row and column left out) and its factors at
// t = 1, a forest's.
struct KnotFactors {
    Rows minor;
    SparseLU lu;
};

KnotFactors knot_factors(std::size_t steps, std::uint64_t seed, double pull) {
    Chain c = seeded_walk(steps, seed, pull);
    kmt_ring(c);
    c.push_back(c.front());
    choose_projection(c);
    const AlexanderMatrix m = alexander_matrix(*diagram_of_projection(c));
    const std::size_t k = m.crossings - 1;
    Rows minor(k);
    for (std::size_t r = 0; r < k; ++r)
        for (const LinearEntry& e : m.rows[r])
            if (e.col < k) minor[r].push_back(e);
    std::optional<SparseLU> lu = factors_at_one(k, minor);
    if (!lu || !lu->forest()) throw std::runtime_error("no forest");
    return {std::move(minor), std::move(*lu)};
}

// The images of the primes drawn `draw`, ... (one lane each), their
// sequences' steps offered to `shared` when given.
std::vector<std::optional<PencilImage>> images_of(const SparseLU& lu, std::size_t draw, std::size_t lanes,
                                                  SharedSteps* shared) {
    std::vector<SparseLU::Factors> factors(lanes);
    std::vector<Stream> streams;
    std::vector<PencilTask> tasks;
    for (std::size_t i = 0; i < lanes; ++i) streams.emplace_back(Stream::keyed({77, draw + i}));
    for (std::size_t i = 0; i < lanes; ++i) {
        const Field f{modular::drawn_prime(draw + i)};
        if (!lu.factor(modular::Montgomery(f.p), 1, factors[i])) throw std::runtime_error("singular at 1");
        tasks.push_back({&factors[i], f, 1, &streams[i]});
    }
    return pencil_images(lu, tasks, lu.size(), shared);
}

TEST(SharedSteps, AStepWalkedInHalvesIsTheWholeStep) {
    if (!SparseLU::prime_lanes_available()) GTEST_SKIP() << "no AVX2 and FMA here";
    const KnotFactors knot = knot_factors(1500, 4, 0.1);
    const UnitForest& forest = *knot.lu.forest();
    const std::size_t n = forest.size();
    ASSERT_GT(forest.anchors(), 0u);
    for (const std::size_t lanes : {2u, 4u}) {
        SCOPED_TRACE(std::to_string(lanes) + " lanes");
        double p[4], p_inverse[4];
        for (std::size_t i = 0; i < lanes; ++i) {
            p[i] = static_cast<double>(modular::drawn_prime(i));
            p_inverse[i] = 1.0 / p[i];
        }
        const LaneModuli m{lanes, p, p_inverse};
        // Residues in (-p, p), the anchors' values among them.
        Stream draws = Stream::keyed({78, lanes});
        const auto residue = [&](std::size_t lane) {
            const auto q = static_cast<std::uint64_t>(p[lane]);
            return static_cast<double>(draws.below(0, 2 * q - 1)) - static_cast<double>(q - 1);
        };
        std::vector<double> u(lanes * n);
        UnitForest::Vector w{std::vector<double>(lanes * n), std::vector<double>(lanes * forest.anchors())};
        for (std::size_t i = 0; i < u.size(); ++i) u[i] = residue(i % lanes);
        for (std::size_t i = 0; i < w.z.size(); ++i) w.z[i] = residue(i % lanes);
        for (std::size_t i = 0; i < w.a.size(); ++i) w.a[i] = residue(i % lanes);
        const std::vector<double> u_anchors = forest.anchor_dots(m, u.data());

        UnitForest::Vector whole, halves;
        std::uint64_t whole_terms[4] = {}, half_terms[4] = {};
        forest.step(m, u.data(), u_anchors, w, whole, whole_terms);
        forest.step_halves(m, halves);
        double sums[UnitForest::kHalves * 4];
        for (std::size_t half = UnitForest::kHalves; half-- > 0;)  // in either order
            forest.step_half(m, u.data(), w, halves, half, sums);
        forest.step_end(m, u_anchors, halves, sums, half_terms);
        EXPECT_EQ(halves.z, whole.z);
        EXPECT_EQ(halves.a, whole.a);
        for (std::size_t i = 0; i < lanes; ++i) {
            EXPECT_EQ(half_terms[i], whole_terms[i]) << "lane " << i;
            EXPECT_LT(whole_terms[i], static_cast<std::uint64_t>(p[i]));
        }
    }
}

// A helper that joins before the first step, after some, that leaves after
// taking a few halves (and another that joins then), whose halves the owner
// declines (as too slow), or none at all: the same images, side by side by
// two and by four.
TEST(SharedSteps, HelpersJoiningOrLeavingAnywhereChangeNoImage) {
    if (!SparseLU::prime_lanes_available()) GTEST_SKIP() << "no AVX2 and FMA here";
    const KnotFactors knot = knot_factors(1200, 9, 0.15);
    enum class Helper { before, later, leaving, declined, none };
    for (const std::size_t lanes : {2u, 4u}) {
        const std::vector<std::optional<PencilImage>> alone = images_of(knot.lu, 10, lanes, nullptr);
        for (const Helper helper :
             {Helper::before, Helper::later, Helper::leaving, Helper::declined, Helper::none}) {
            SCOPED_TRACE(std::to_string(lanes) + " lanes, helper " + std::to_string(static_cast<int>(helper)));
            SharedSteps shared(helper == Helper::declined ? 0.0 : 0.9);
            shared.begin();
            std::thread helping([&] {
                if (helper == Helper::none) return;
                if (helper == Helper::later) std::this_thread::sleep_for(std::chrono::milliseconds(3));
                int asked = 0;
                const bool stayed = shared.help([&] { return helper == Helper::leaving && ++asked == 3; });
                if (!stayed) shared.help([] { return false; });  // joins again
                if (helper == Helper::declined) {
                    EXPECT_TRUE(stayed);
                }
            });
            const std::vector<std::optional<PencilImage>> images = images_of(knot.lu, 10, lanes, &shared);
            helping.join();
            EXPECT_FALSE(shared.open());
            if (helper == Helper::declined) {
                EXPECT_TRUE(shared.declined());
                EXPECT_GT(images[0]->iterations, 400u);  // the halves declined at step 152
            }
            ASSERT_EQ(images.size(), alone.size());
            for (std::size_t i = 0; i < images.size(); ++i) {
                ASSERT_TRUE(images[i] && alone[i]) << "lane " << i;
                EXPECT_GT(images[i]->factor.size(), 100u);
                EXPECT_EQ(images[i]->factor, alone[i]->factor) << "lane " << i;
                EXPECT_EQ(images[i]->value, alone[i]->value) << "lane " << i;
                EXPECT_EQ(images[i]->iterations, alone[i]->iterations) << "lane " << i;
            }
        }
    }
}

// A sequence that never begins (its owner stopped before it) is not open,
// and a helper asked to join it returns at once; one that has ended lets
// none join either.
TEST(SharedSteps, NoHelperWaitsOnASequenceNotBegunOrEnded) {
    SharedSteps unbegun;
    EXPECT_FALSE(unbegun.open());
    EXPECT_TRUE(unbegun.help([] { return false; }));
    SharedSteps ended;
    ended.begin();
    EXPECT_TRUE(ended.open());
    ended.end();
    EXPECT_FALSE(ended.open());
    EXPECT_TRUE(ended.help([] { return false; }));
    ended.end();  // a second end does nothing
}

}  // namespace
}  // namespace skeinlab::shared_steps_test
