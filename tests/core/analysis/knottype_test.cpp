#include <gtest/gtest.h>

#include "analysis/knottype.hpp"
#include "invariants/alexander.hpp"
#include "curves.hpp"
#include "fixtures.hpp"

namespace skeinlab::knottype_test {
namespace {

using namespace skeinlab::testing;

KnotTypeOptions ring_options() { return options_for(true); }
KnotTypeOptions open_options() { return options_for(false); }

std::string ring_name(const Chain& c, bool use_kmt = true) {
    KnotTypeOptions o = ring_options();
    o.use_kmt = use_kmt;
    const Result<std::string> r = get_knottype(c, builtin_table(), o);
    return r ? r.value() : "error: " + r.error().display();
}

Chain transformed(Chain c, double scale, Point3 shift, bool mirror, bool reverse) {
    for (Point3& p : c) {
        p = {p.x * scale + shift.x, p.y * scale + shift.y, p.z * scale + shift.z};
        if (mirror) p.z = -p.z;
    }
    if (reverse) std::reverse(c.begin(), c.end());
    return c;
}

TEST(KnotType, RecognisesKnots) {
    struct Case {
        const char* name;
        Chain chain;
    };
    const Case cases[] = {
        {"1", circle(60)},
        {"3_1", torus_knot(2, 3, 150)},
        {"4_1", figure_eight(200)},
        {"5_1", torus_knot(2, 5, 200)},
        {"7_1", torus_knot(2, 7, 300)},
        {"8_19", torus_knot(3, 4, 300)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ring_name(c.chain), c.name);
        EXPECT_EQ(ring_name(c.chain, false), c.name);
        for (int variant = 0; variant < 8; ++variant) {
            const Chain t = transformed(c.chain, variant & 1 ? 2.5 : 0.1, {variant * 3.0, -7.0, 1.0}, variant & 2,
                                        variant & 4);
            EXPECT_EQ(ring_name(t), c.name) << "variant " << variant;
        }
    }
}

TEST(KnotType, TrivialInputs) {
    EXPECT_EQ(ring_name({}), "1");
    EXPECT_EQ(ring_name({{0, 0, 0}, {1, 1, 1}}), "1");
    const Result<std::string> two = compute_knottype_from_chain({{0, 0, 0}, {1, 0, 0}}, builtin_table(), false);
    EXPECT_EQ(two.value(), "1");
    // A ring whose last point repeats its first is closed again; nothing changes.
    Chain closed = torus_knot(2, 3, 100);
    closed.push_back(closed.front());
    EXPECT_EQ(ring_name(closed), "3_1");
}

TEST(KnotType, CrossingsOnVerticesSendTheTypingToAnotherProjection) {
    // The (2, 3) torus knot projects its crossings at t = pi/6 + k pi/3; with
    // 120 samples and no phase every crossing falls on a sample point, where
    // both segments see it at an end and reject it: the projection's
    // polynomial, 1, is that of a knot, but the crossing test saw the pairs
    // meet at their ends, so a fallback projection types the chain.
    Chain on_vertices = torus_knot(2, 3, 120, 0.0);
    on_vertices.push_back(on_vertices.front());
    Chain projected = on_vertices;
    choose_projection(projected);
    EXPECT_TRUE(alexander_matrix(projected).dropped_crossing);
    EXPECT_EQ(compute_knottype_from_chain(on_vertices, builtin_table(), false).value(), "3_1");
    Chain off_vertices = torus_knot(2, 3, 120);
    off_vertices.push_back(off_vertices.front());
    projected = off_vertices;
    choose_projection(projected);
    EXPECT_FALSE(alexander_matrix(projected).dropped_crossing);
    EXPECT_EQ(compute_knottype_from_chain(off_vertices, builtin_table(), false).value(), "3_1");
}

TEST(KnotType, MissingPolynomialIsNotFound) {
    AlexanderTable only_unknot;
    only_unknot.entries[Polynomial{{1}}] = {"1"};
    Chain c = torus_knot(2, 3, 120);
    c.push_back(c.front());
    const Result<std::string> r = compute_knottype_from_chain(c, only_unknot, false);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().kind(), KnotError::Kind::NotFound);
    EXPECT_EQ(r.error().message(), "1-t+t^2");
    EXPECT_EQ(r.error().display(), "knot type not found for computed polynomial: 1-t+t^2");
}

TEST(KnotType, OpenChains) {
    const Result<std::string> tied = get_knottype(with_tails(torus_knot(2, 3, 120), 30, 20.0), builtin_table(), open_options());
    EXPECT_EQ(tied.value(), "3_1");
    const Result<std::string> tied52 = get_knottype(with_tails(torus_knot(2, 5, 200), 30, 20.0), builtin_table(), open_options());
    EXPECT_EQ(tied52.value(), "5_1");
    // A loose open chain: a helix.
    Chain helix;
    for (int i = 0; i < 200; ++i) helix.push_back({std::cos(0.3 * i), std::sin(0.3 * i), 0.05 * i});
    EXPECT_EQ(get_knottype(helix, builtin_table(), open_options()).value(), "1");
    // Planar open chains cannot be closed through a hull: typed unclosed.
    Chain planar = circle(40);
    planar.pop_back();
    EXPECT_EQ(get_knottype(planar, builtin_table(), open_options()).value(), "1");
    const Chain sticks = torus_knot(2, 3, 12);
    for (std::ptrdiff_t n = 0; n <= 4; ++n)
        EXPECT_EQ(get_knottype(Chain(sticks.begin(), sticks.begin() + n), builtin_table(), open_options()).value(), "1");
}

TEST(KnotType, DebugLinesGoToStandardError) {
    KnotTypeOptions o = open_options();
    o.debug = true;
    ::testing::internal::CaptureStderr();
    Chain planar = circle(40);
    planar.pop_back();
    (void)get_knottype(planar, builtin_table(), o);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("warning: hull_ends failed, using infinity-closure fallback (no head-tail segment)\n"),
              std::string::npos);
    EXPECT_NE(err.find("knot type: 1\n"), std::string::npos);
    EXPECT_NE(err.find("1\t   1.00000\t   0.00000\t   0.00000\n"), std::string::npos);

    KnotTypeOptions r = ring_options();
    r.debug = true;
    ::testing::internal::CaptureStderr();
    (void)get_knottype({}, builtin_table(), r);
    (void)get_knottype(circle(30), builtin_table(), r);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ::testing::internal::CaptureStderr();
    (void)get_knottype(torus_knot(2, 3, 100), builtin_table(), r);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "ring knot type: 3_1\n");
}

}  // namespace
}  // namespace skeinlab::knottype_test
