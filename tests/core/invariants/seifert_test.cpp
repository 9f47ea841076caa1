#include "invariants/seifert.hpp"

#include <gtest/gtest.h>

#include "arithmetic/modular.hpp"
#include "curves.hpp"
#include "diagrams.hpp"
#include "geometry/geometry.hpp"

namespace skeinlab {
namespace {

// The Alexander polynomial as det(V^T - t V) gives it, normalized as text.
std::string seifert_alexander_text(const KnotDiagram& d) {
    const SeifertMatrix v = seifert_matrix(d);
    if (v.size == 0) return "1";
    return normalized_polynomial(recover_determinant(v.size, seifert_pencil(v), nullptr, KrylovImages::never)).text();
}

// The number of Seifert circles: the cycles of the oriented smoothing, which
// leaves every crossing along the edge that leaves its other passage.
std::size_t seifert_circles(const KnotDiagram& d) {
    const std::size_t m = d.walk.size();
    std::vector<std::size_t> other(m), first(d.crossings(), m);
    for (std::size_t i = 0; i < m; ++i) {
        const std::uint32_t c = d.walk[i].crossing;
        if (first[c] == m) {
            first[c] = i;
        } else {
            other[i] = first[c];
            other[first[c]] = i;
        }
    }
    std::vector<bool> seen(m, false);
    std::size_t circles = 0;
    for (std::size_t e = 0; e < m; ++e) {
        if (seen[e]) continue;
        ++circles;
        for (std::size_t x = e; !seen[x]; x = other[(x + 1) % m]) seen[x] = true;
    }
    return circles;
}

// The determinant of V - V^T modulo a prime, by elimination.
std::uint64_t intersection_determinant(const SeifertMatrix& v, const modular::Field& f) {
    std::vector<std::vector<LinearEntry>> rows = seifert_pencil(v);
    for (std::vector<LinearEntry>& row : rows)
        for (LinearEntry& e : row) {
            e.c0 = -e.c0 - e.c1;  // V - V^T is -(V^T - t V) at t = 1
            e.c1 = 0;
        }
    SparseDeterminant det(v.size, std::move(rows));
    return det.evaluate(f, 0);
}

void expect_a_seifert_matrix(const KnotDiagram& d) {
    const SeifertMatrix v = seifert_matrix(d);
    EXPECT_EQ(v.size, d.crossings() == 0 ? 0 : d.crossings() - seifert_circles(d) + 1);
    EXPECT_EQ(seifert_alexander_text(d), testing::alexander_text(d));
    if (v.size == 0) return;
    // The intersection form of a surface with one boundary circle is unimodular.
    const modular::Field f{modular::drawn_prime(0)};
    const std::uint64_t det = intersection_determinant(v, f);
    EXPECT_TRUE(det == 1 || det == f.p - 1) << det;
}

TEST(SeifertMatrix, OfSmallKnotsTheirMirrorImagesAndSums) {
    const KnotDiagram trefoil = testing::kTrefoil;
    const KnotDiagram eight = testing::figure_eight();
    for (const KnotDiagram& d :
         {trefoil, mirror_image(trefoil), eight, testing::joined(trefoil, trefoil, 0),
          testing::joined(trefoil, mirror_image(trefoil), 1), testing::joined(eight, trefoil, 3)}) {
        expect_a_seifert_matrix(d);
    }
    EXPECT_EQ(seifert_matrix(trefoil).size, 2u);
    EXPECT_EQ(seifert_alexander_text(trefoil), "1-t+t^2");
}

TEST(SeifertMatrix, OfADiagramWithoutCrossingsIsEmpty) {
    const SeifertMatrix v = seifert_matrix(KnotDiagram{});
    EXPECT_EQ(v.size, 0u);
    EXPECT_TRUE(v.rows.empty());
}

// Projections of random walks, free and compact (whose Seifert circles nest
// deeply), and their mirror images: the polynomial of the crossing matrix.
class SeifertOfWalks : public ::testing::TestWithParam<std::tuple<std::size_t, double, std::uint64_t>> {};

TEST_P(SeifertOfWalks, GivesTheAlexanderPolynomial) {
    const auto [n, pull, seed] = GetParam();
    Chain chain = testing::closed(testing::seeded_walk(n, seed, pull));
    const std::optional<KnotDiagram> d = diagram_of_projection(chain);
    ASSERT_TRUE(d.has_value());
    expect_a_seifert_matrix(*d);
    expect_a_seifert_matrix(mirror_image(*d));
}

INSTANTIATE_TEST_SUITE_P(FreeAndCompact, SeifertOfWalks,
                         ::testing::Combine(::testing::Values(std::size_t{40}, std::size_t{150}, std::size_t{250}),
                                            ::testing::Values(0.0, 0.3), ::testing::Values(1u, 2u, 3u)));

}  // namespace
}  // namespace skeinlab
