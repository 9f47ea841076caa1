#include <gtest/gtest.h>

#include "analysis/knotsize.hpp"
#include "curves.hpp"
#include "drivers/frames.hpp"
#include "fixtures.hpp"

namespace skeinlab::knotsize_test {
namespace {

using namespace skeinlab::testing;

KnotTypeOptions options(bool ring) { return options_for(ring); }

TEST(KnotSize, ParseKnotName) {
    using Key = std::pair<std::uint32_t, std::uint32_t>;
    EXPECT_EQ(parse_knot_name("3_1"), Key(3, 1));
    EXPECT_EQ(parse_knot_name("+10_123"), Key(10, 123));
    for (const char* bad : {"1", "3_1_2", "3_", "_1", "a_1", "3_-1", "1-t+t^2", "", "4294967296_1"})
        EXPECT_FALSE(parse_knot_name(bad)) << bad;
}

TEST(KnotSize, WindowsOutsideTheChainAreFalse) {
    const Chain c = torus_knot(2, 3, 50);
    EXPECT_FALSE(window_is_type(c, 5, 4, "1", builtin_table(), options(false)));
    EXPECT_FALSE(window_is_type(c, 0, 50, "1", builtin_table(), options(false)));
    EXPECT_TRUE(window_is_type(c, 0, 3, "1", builtin_table(), options(false)));
    EXPECT_EQ(window_knottype_open(c, 3, 2, builtin_table(), options(false)), "");
}

TEST(KnotSize, EmptyChainHasNoCore) {
    for (bool ring : {true, false}) {
        const Result<KnotCore> core = find_knot_core({}, "3_1", builtin_table(), options(ring));
        ASSERT_TRUE(core.ok());
        EXPECT_FALSE(core.value().found);
        EXPECT_EQ(core.value().start, -1);
        EXPECT_EQ(core.value().length, 0);
    }
}

TEST(KnotSize, UnknotAndPolynomialTextsAreNotSearched) {
    const auto unknot = knot_size_of_frame(circle(30), builtin_table(), options(true));
    ASSERT_EQ(unknot.index(), 0u);
    EXPECT_EQ(std::get<0>(unknot).first, "1");
    EXPECT_EQ(std::get<0>(unknot).second, kNoCore);
    AlexanderTable only_unknot;
    only_unknot.entries[Polynomial{{1}}] = {"1"};
    const auto text = knot_size_of_frame(torus_knot(2, 3, 100), only_unknot, options(true));
    EXPECT_EQ(std::get<0>(text).first, "1-t+t^2");
    EXPECT_EQ(std::get<0>(text).second, kNoCore);
}

TEST(KnotSize, OpenChainCoreLiesInTheKnottedStretch) {
    const int tail = 60;
    const Chain knot = torus_knot(2, 3, 120);
    const Chain chain = with_tails(knot, tail, 40.0);
    const Result<KnotCore> core = find_knot_core(chain, "3_1", builtin_table(), options(false));
    ASSERT_TRUE(core.ok());
    ASSERT_TRUE(core.value().found);
    EXPECT_GE(core.value().start, tail - 1);
    EXPECT_LE(core.value().end, tail + 120);
    EXPECT_EQ(core.value().length, core.value().end - core.value().start + 1);
    EXPECT_LT(core.value().length, 130);
}

TEST(KnotSize, OpenChainThatIsNotTheTargetHasNoCore) {
    const Result<KnotCore> core = find_knot_core(with_tails(torus_knot(2, 3, 90), 10, 10.0), "4_1", builtin_table(),
                                                 options(false));
    EXPECT_FALSE(core.value().found);
}

TEST(KnotSize, RingCoreIsReportedInTheFrameNumbering) {
    // Rotate a trefoil tied into a larger loop so that the knot straddles point 0.
    Chain ring;
    const Chain knot = torus_knot(2, 3, 120);
    for (const Point3& p : knot) ring.push_back(p);
    const Point3 a = knot.back(), b = knot.front();
    for (int i = 1; i < 80; ++i) {
        const double f = static_cast<double>(i) / 80.0;
        ring.push_back({a.x + (b.x - a.x) * f + 15.0 * std::sin(3.14159265 * f), a.y + (b.y - a.y) * f,
                        a.z + (b.z - a.z) * f});
    }
    std::rotate(ring.begin(), ring.begin() + 60, ring.end());
    const auto sized = knot_size_of_frame(ring, builtin_table(), options(true));
    ASSERT_EQ(sized.index(), 0u);
    const auto& [name, core] = std::get<0>(sized);
    EXPECT_EQ(name, "3_1");
    const int n = static_cast<int>(ring.size());
    ASSERT_GT(core[2], 0);
    EXPECT_LT(core[2], n);
    EXPECT_EQ(((core[1] - core[0] + n) % n) + 1, core[2]);
    EXPECT_TRUE(core[0] >= 0 && core[0] < n && core[1] >= 0 && core[1] < n);
}

TEST(Drivers, ResultsInFrameOrderForAnyThreadCount) {
    FrameSet frames;
    for (int i = 0; i < 12; ++i)
        frames.push_back(i % 3 == 0 ? torus_knot(2, 3, 90) : (i % 3 == 1 ? circle(40) : figure_eight(160)));
    const auto shared = classify_frames(frames, builtin_table(), options(true), std::nullopt);
    ASSERT_TRUE(std::holds_alternative<std::vector<std::string>>(shared));
    const auto& names = std::get<0>(shared);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(names[i], i % 3 == 0 ? "3_1" : (i % 3 == 1 ? "1" : "4_1"));
    for (std::uint64_t threads : {1u, 3u, 8u, 100000u}) {
        const auto dedicated = classify_frames(frames, builtin_table(), options(true), threads);
        EXPECT_EQ(std::get<0>(dedicated), names) << threads;
    }
    const auto zero = classify_frames(frames, builtin_table(), options(true), 0);
    EXPECT_EQ(std::get<Failure>(zero).message, "threads must be >= 1");
    EXPECT_TRUE(std::get<0>(classify_frames({}, builtin_table(), options(true), 4)).empty());
}

}  // namespace
}  // namespace skeinlab::knotsize_test

namespace skeinlab::knotsize_test {
namespace {

TEST(KnotSize, FailedProbesWriteDebugLines) {
    AlexanderTable only_unknot;
    only_unknot.entries[Polynomial{{1}}] = {"1"};
    KnotTypeOptions o = testing::options_for(false);
    o.debug = true;
    ::testing::internal::CaptureStderr();
    const Chain c = testing::torus_knot(2, 3, 60);
    EXPECT_FALSE(window_is_type(c, 0, 59, "3_1", only_unknot, o));
    EXPECT_EQ(window_knottype_open(c, 0, 59, only_unknot, o), "");
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("debug: window_is_type [0,59] failed: knot type not found for computed polynomial: "),
              std::string::npos);
    EXPECT_NE(err.find("debug: window_knottype_open [0,59] failed: "), std::string::npos);
}

}  // namespace
}  // namespace skeinlab::knotsize_test
