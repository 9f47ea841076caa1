// The HOMFLY-PT polynomial by the sweep over the crossings: equal to the
// skein tree's on random diagrams of up to 20 crossings (simplified or not,
// and their mirror images), on composites beyond the skein tree's reach
// (the product of the summands' polynomials), and within its state limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "curves.hpp"
#include "diagram/connected_sum.hpp"
#include "diagram/link_diagram.hpp"
#include "diagram/simplify.hpp"
#include "invariants/homfly.hpp"
#include "invariants/homfly_sweep.hpp"

namespace skeinlab::homfly_sweep_test {
namespace {

using testing::closed;
using testing::mirrored;
using testing::seeded_walk;
using testing::torus_knot;

KnotDiagram diagram_of(const Chain& ring) { return *diagram_of_projection(closed(ring)); }

// Joins b into a at the start of a's walk: their connected sum.
KnotDiagram connected_sum(const KnotDiagram& a, const KnotDiagram& b) {
    KnotDiagram d = a;
    for (const Passage& p : b.walk) d.walk.push_back({p.crossing + static_cast<std::uint32_t>(a.crossings()), p.over});
    d.signs.insert(d.signs.end(), b.signs.begin(), b.signs.end());
    return d;
}

TEST(HomflySweep, EqualsTheSkeinTreeOnRandomDiagrams) {
    std::size_t tested = 0;
    for (std::uint64_t seed = 1; seed <= 600 && tested < 60; ++seed) {
        SCOPED_TRACE(seed);
        KnotDiagram d = diagram_of(seeded_walk(30 + seed % 30, seed, 0.05));
        // Kinks and bigons left in every other one.
        if (seed % 2 == 0) simplify_diagram(d, seed);
        if (d.crossings() < 3 || d.crossings() > 20) continue;
        ++tested;
        const Laurent2 tree = homfly_polynomial(d).value();
        EXPECT_EQ(homfly_polynomial_sweep(d).value(), tree);
        EXPECT_EQ(homfly_polynomial_sweep(mirror_image(d)).value(), mirror_homfly(tree));
    }
    EXPECT_EQ(tested, 60u);
}

TEST(HomflySweep, TorusKnotsOfBothHands) {
    for (const auto& [p, q] : {std::pair{2, 3}, {2, 5}, {3, 4}, {2, 9}, {3, 5}}) {
        SCOPED_TRACE(std::to_string(p) + "," + std::to_string(q));
        const KnotDiagram d = diagram_of(torus_knot(p, q, 40 * q));
        const Laurent2 tree = homfly_polynomial(d).value();
        EXPECT_EQ(homfly_polynomial_sweep(d).value(), tree);
        EXPECT_EQ(homfly_polynomial_sweep(mirror_image(d)).value(), mirror_homfly(tree));
    }
}

// P of the (2, n) torus knots and links by the skein relation at one
// (positive) crossing: P(T(2, n)) = v^2 P(T(2, n - 2)) + v z P(T(2, n - 1)),
// with T(2, 1) the unknot and T(2, 0) the unlink of two components.
Laurent2 two_strand_torus(int n) {
    Laurent2 before = Laurent2::monomial(1, -1, -1);  // mu = (v^-1 - v) / z
    before += Laurent2::monomial(-1, 1, -1);
    Laurent2 current = Laurent2::monomial(1, 0, 0);
    for (int k = 2; k <= n; ++k) {
        Laurent2 next = before.times(1, 2, 0);
        next += current.times(1, 1, 1);
        before = current;
        current = next;
    }
    return current;
}

TEST(HomflySweep, APrimeDiagramOfFortyOneCrossings) {
    KnotDiagram d = diagram_of(torus_knot(2, 41, 41 * 24));
    simplify_diagram(d, 1);
    ASSERT_EQ(d.crossings(), 41u);
    const Laurent2 p = homfly_polynomial_sweep(d).value();
    const Laurent2 right = two_strand_torus(41);
    EXPECT_TRUE(p == right || p == mirror_homfly(right)) << p.text();
    EXPECT_EQ(two_strand_torus(3).text(), "2*v^2-v^4+v^2*z^2");
}

// The closure of the two-strand braid sigma_1^n: crossing k takes the strand
// at position 1 over to position 2 and the one at position 2 under to 1;
// edge 2 k + p enters crossing k at position p (0 or 1).
OrientedDiagram two_strand_closure(int n, std::int8_t sign) {
    OrientedDiagram d;
    const auto edge = [n](int k, int position) { return static_cast<std::uint32_t>(2 * (k % n) + position); };
    for (int k = 0; k < n; ++k) {
        // Under in, under out, over in, over out.
        d.crossings.push_back({edge(k, 1), edge(k + 1, 0), edge(k, 0), edge(k + 1, 1)});
        d.signs.push_back(sign);
    }
    return d;
}

TEST(HomflySweep, TwoStrandTorusLinksAndKnots) {
    // (2, n) torus links (n even: two components) and knots (n odd) against
    // the skein recurrence; negative crossings give the mirror image.
    for (int n = 2; n <= 12; ++n) {
        SCOPED_TRACE(n);
        const Laurent2 right = two_strand_torus(n);
        EXPECT_EQ(homfly_polynomial_sweep(two_strand_closure(n, 1)).value(), right);
        EXPECT_EQ(homfly_polynomial_sweep(two_strand_closure(n, -1)).value(), mirror_homfly(right));
    }
    // The positive Hopf link: v z + (v - v^3) / z.
    EXPECT_EQ(two_strand_torus(2).text(), "v*z^-1-v^3*z^-1+v*z");
}

Chain circle_in(int plane, Point3 centre, int n = 60) {
    Chain c;
    for (int i = 0; i < n; ++i) {
        const double t = testing::kTwoPi * i / n + 0.0123, u = std::cos(t), w = std::sin(t);
        c.push_back(plane == 0 ? Point3{centre.x + u, centre.y + w, centre.z} : Point3{centre.x + u, centre.y, centre.z + w});
    }
    return c;
}

Laurent2 of_rings(const std::vector<Chain>& rings) { return link_homfly(link_diagram(rings).value()).value(); }

TEST(LinkHomfly, LinksProjectedFromRings) {
    Laurent2 mu = Laurent2::monomial(1, -1, -1);
    mu += Laurent2::monomial(-1, 1, -1);
    // A Hopf link, and its mirror image.
    const std::vector<Chain> hopf{circle_in(0, {0, 0, 0}), circle_in(1, {1, 0, 0})};
    const Laurent2 h = of_rings(hopf);
    EXPECT_TRUE(h == two_strand_torus(2) || h == mirror_homfly(two_strand_torus(2))) << h.text();
    EXPECT_EQ(of_rings({mirrored(hopf[0]), mirrored(hopf[1])}), mirror_homfly(h));
    // The (2, 4) torus link from its two components on a torus.
    std::vector<Chain> torus(2);
    for (int j = 0; j < 2; ++j)
        for (int i = 0; i < 400; ++i) {
            const double t = testing::kTwoPi * i / 400 + 0.0123, phase = 2 * t + j * 3.141592653589793;
            torus[j].push_back({(3 + std::cos(phase)) * std::cos(t), (3 + std::cos(phase)) * std::sin(t), std::sin(phase)});
        }
    const Laurent2 t4 = of_rings(torus);
    EXPECT_TRUE(t4 == two_strand_torus(4) || t4 == mirror_homfly(two_strand_torus(4))) << t4.text();
    // Split unions: apart, and crossing in projection at different heights.
    EXPECT_EQ(of_rings({circle_in(0, {0, 0, 0}), circle_in(0, {5, 0, 0})}), mu);
    Chain tilted = circle_in(0, {1, 0, 3});
    for (Point3& p : tilted) p.z += 0.3 * p.x;
    EXPECT_EQ(of_rings({circle_in(0, {0, 0, 0}), tilted}), mu);
    // A knotted ring alone, and beside a circle.
    Chain trefoil = closed(torus_knot(2, 3, 120));
    trefoil.pop_back();
    const Laurent2 knot = homfly_polynomial(*diagram_of_projection(closed(trefoil))).value();
    EXPECT_EQ(of_rings({trefoil}), knot);
    EXPECT_EQ(of_rings({trefoil, circle_in(0, {20, 0, 0})}), knot * mu);
}

TEST(HomflySweep, MalformedDiagramsGiveNothing) {
    OrientedDiagram d = two_strand_closure(3, 1);
    d.crossings[0][1] = d.crossings[1][1];  // an edge left twice
    EXPECT_FALSE(homfly_polynomial_sweep(d).has_value());
    EXPECT_FALSE(homfly_polynomial_sweep(OrientedDiagram{}).has_value());
}

TEST(HomflySweep, CompositesBeyondTheSkeinTree) {
    // Six summands of 9 to 16 crossings each: 50 and more crossings in all.
    std::vector<KnotDiagram> parts;
    for (std::uint64_t seed = 1; parts.size() < 6; ++seed) {
        KnotDiagram d = diagram_of(seeded_walk(40, seed, 0.05));
        simplify_diagram(d, seed);
        if (d.crossings() >= 9 && d.crossings() <= 16) parts.push_back(std::move(d));
    }
    KnotDiagram whole = parts.front();
    Laurent2 product = homfly_polynomial(parts.front()).value();
    for (std::size_t k = 1; k < parts.size(); ++k) {
        whole = connected_sum(whole, parts[k]);
        product = product * homfly_polynomial(parts[k]).value();
    }
    ASSERT_GE(whole.crossings(), 50u);
    EXPECT_EQ(homfly_polynomial_sweep(whole).value(), product);
}

TEST(HomflySweep, GivesUpBeyondItsStateLimit) {
    const KnotDiagram d = diagram_of(seeded_walk(120, 7, 0.05));
    ASSERT_GE(d.crossings(), 30u);
    EXPECT_FALSE(homfly_polynomial_sweep(d, SweepLimits{.max_states = 4}).has_value());
}

TEST(HomflySweep, OrderCoversEveryCrossingOnce) {
    const KnotDiagram d = diagram_of(seeded_walk(200, 3, 0.05));
    SweepOrder order = sweep_order(d);
    ASSERT_EQ(order.crossings.size(), d.crossings());
    std::sort(order.crossings.begin(), order.crossings.end());
    for (std::size_t k = 0; k < order.crossings.size(); ++k) EXPECT_EQ(order.crossings[k], k);
    EXPECT_GT(order.width, 0u);
    EXPECT_LT(order.width, d.crossings());
}

TEST(HomflySweep, UnknotDiagrams) {
    EXPECT_EQ(homfly_polynomial_sweep(KnotDiagram{}).value().text(), "1");
    // A single kink.
    KnotDiagram kink{{{0, true}, {0, false}}, {1}};
    EXPECT_EQ(homfly_polynomial_sweep(kink).value().text(), "1");
}

}  // namespace
}  // namespace skeinlab::homfly_sweep_test
