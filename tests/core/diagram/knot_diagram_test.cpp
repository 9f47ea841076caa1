// Knot diagrams from projections and PD codes: crossing signs, the round trip
// through PD codes, faces and planarity, and the Alexander matrix of a diagram
// against the one built from the projected chain.
#include <gtest/gtest.h>

#include <string>

#include "curves.hpp"
#include "diagrams.hpp"
#include "diagram/knot_diagram.hpp"
#include "invariants/alexander.hpp"

namespace skeinlab::knot_diagram_test {
namespace {

using testing::alexander_text;

using testing::closed;
using testing::mirrored;
using testing::seeded_walk;
using testing::torus_knot;

TEST(KnotDiagram, ACrossingIsPositiveWhenTheOverStrandTurnedCounterclockwiseGivesTheUnderStrand) {
    // One crossing: the over strand runs along +x at height 1, the under strand along +y at height 0.
    const Chain loop{{-1, 0, 1}, {1, 0, 1}, {0, -1, 0}, {0, 1, 0}, {-1, 0, 1}};
    const std::optional<KnotDiagram> d = diagram_of_projection(loop);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->signs, std::vector<std::int8_t>{1});
    EXPECT_EQ(d->walk, (std::vector<Passage>{{0, true}, {0, false}}));
    EXPECT_EQ(diagram_of_projection(mirrored(loop))->signs, std::vector<std::int8_t>{-1});
}

TEST(KnotDiagram, TrefoilsHaveThreeCrossingsOfOneSignAndTheirMirrorsTheOther) {
    for (const int q : {3, -3}) {
        SCOPED_TRACE(q);
        const std::optional<KnotDiagram> d = diagram_of_projection(closed(torus_knot(2, q, 150)));
        ASSERT_TRUE(d);
        ASSERT_EQ(d->crossings(), 3u);
        EXPECT_TRUE(is_planar(*d));
        EXPECT_EQ(faces(*d).size(), 5u);
        EXPECT_EQ(std::abs(d->writhe()), 3);
        const std::optional<KnotDiagram> m = diagram_of_projection(mirrored(closed(torus_knot(2, q, 150))));
        ASSERT_TRUE(m);
        EXPECT_EQ(m->writhe(), -d->writhe());
        EXPECT_EQ(alexander_text(*d), "1-t+t^2");
    }
}

TEST(KnotDiagram, EqualHeightsAtACrossingGiveNoDiagram) {
    const Chain flat{{-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {-1, 0, 0}};
    EXPECT_FALSE(diagram_of_projection(flat));
}

TEST(KnotDiagram, TheMatrixOfTheDiagramIsTheMatrixOfTheProjectedChain) {
    for (std::uint64_t seed = 1; seed <= 8; ++seed) {
        SCOPED_TRACE(seed);
        const Chain chain = closed(seeded_walk(150 + 40 * seed, seed, seed % 2 ? 0.0 : 0.1));
        const std::optional<KnotDiagram> d = diagram_of_projection(chain);
        ASSERT_TRUE(d);
        EXPECT_TRUE(is_planar(*d));
        const AlexanderMatrix expected = alexander_matrix(chain);
        const AlexanderMatrix got = alexander_matrix(*d);
        ASSERT_EQ(got.crossings, expected.crossings);
        for (std::size_t r = 0; r < got.rows.size(); ++r) {
            ASSERT_EQ(got.rows[r].size(), expected.rows[r].size()) << "row " << r;
            for (std::size_t k = 0; k < got.rows[r].size(); ++k) {
                EXPECT_EQ(got.rows[r][k].col, expected.rows[r][k].col);
                EXPECT_EQ(got.rows[r][k].c0, expected.rows[r][k].c0);
                EXPECT_EQ(got.rows[r][k].c1, expected.rows[r][k].c1);
            }
        }
    }
}

TEST(KnotDiagram, PdCodesGiveBackTheDiagramTheyWereWrittenFrom) {
    for (std::uint64_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        std::optional<KnotDiagram> d = diagram_of_projection(closed(seeded_walk(120, seed, 0.05)));
        ASSERT_TRUE(d);
        // Start the walk on an under passage, as the reading of a PD code does.
        std::size_t k = 0;
        while (d->walk[k].over) ++k;
        std::rotate(d->walk.begin(), d->walk.begin() + static_cast<std::ptrdiff_t>(k), d->walk.end());
        const KnotDiagram start = renumbered(*d);
        const Result<KnotDiagram> back = diagram_from_pd(pd_code(start));
        ASSERT_TRUE(back) << back.error().display();
        EXPECT_EQ(back.value(), start);
    }
}

TEST(KnotDiagram, ReadsTheStandardTrefoilCode) {
    // X[i, j, k, l] with the over strand coming in on l: three positive crossings.
    const Result<KnotDiagram> d = diagram_from_pd({{1, 5, 2, 4}, {3, 1, 4, 6}, {5, 3, 6, 2}});
    ASSERT_TRUE(d);
    EXPECT_EQ(d.value().signs, (std::vector<std::int8_t>{1, 1, 1}));
    EXPECT_EQ(alexander_text(d.value()), "1-t+t^2");
    const Result<KnotDiagram> figure_eight = diagram_from_pd({{4, 2, 5, 1}, {8, 6, 1, 5}, {6, 3, 7, 4}, {2, 7, 3, 8}});
    ASSERT_TRUE(figure_eight);
    EXPECT_EQ(figure_eight.value().writhe(), 0);
    EXPECT_EQ(alexander_text(figure_eight.value()), "1-3*t+t^2");
}

struct BadPd {
    const char* name;
    std::vector<PdCrossing> pd;
    const char* message;
};

class PdErrors : public ::testing::TestWithParam<BadPd> {};

TEST_P(PdErrors, NameWhatIsWrong) {
    const Result<KnotDiagram> d = diagram_from_pd(GetParam().pd);
    ASSERT_FALSE(d);
    EXPECT_EQ(d.error().kind(), KnotError::Kind::DataParse);
    EXPECT_EQ(d.error().message(), GetParam().message);
}

// The virtual trefoil: Gauss code O1 O2 U1 U2 with two positive crossings.
std::vector<PdCrossing> virtual_trefoil() {
    KnotDiagram d{{{0, false}, {1, false}, {0, true}, {1, true}}, {1, 1}};
    return pd_code(d);
}

INSTANTIATE_TEST_SUITE_P(
    KnotDiagram, PdErrors,
    ::testing::Values(BadPd{"edge_three_times", {{1, 5, 2, 4}, {3, 1, 4, 6}, {5, 3, 5, 2}}, "PD code: edge 5 occurs 3 times"},
                      BadPd{"edge_out_of_range", {{1, 5, 2, 4}, {3, 1, 4, 6}, {5, 3, 7, 2}},
                            "PD code: edges are not numbered 1 to 6"},
                      BadPd{"edge_zero", {{0, 1, 1, 0}}, "PD code: edges are not numbered 1 to 2"},
                      BadPd{"under_strand_reversed", {{2, 5, 1, 4}, {3, 1, 4, 6}, {5, 3, 6, 2}},
                            "PD code: the strands are not consistently oriented at crossing 3"},
                      BadPd{"hopf_link", {{4, 1, 3, 2}, {2, 3, 1, 4}}, "PD code: more than one component"},
                      BadPd{"virtual_trefoil", virtual_trefoil(), "PD code: not a planar diagram"}),
    [](const ::testing::TestParamInfo<BadPd>& p) { return std::string(p.param.name); });

TEST(KnotDiagram, EveryEdgeSideLiesOnOneFace) {
    const std::optional<KnotDiagram> d = diagram_of_projection(closed(seeded_walk(300, 11, 0.0)));
    ASSERT_TRUE(d);
    std::vector<int> seen(2 * d->walk.size(), 0);
    for (const Face& f : faces(*d))
        for (const FaceEdge& e : f) ++seen[2 * e.edge + e.forward];
    for (const int s : seen) EXPECT_EQ(s, 1);
    EXPECT_EQ(faces(KnotDiagram{}).size(), 2u);
    EXPECT_TRUE(is_planar(KnotDiagram{}));
}

TEST(KnotDiagram, TrianglesAreTheFacesOfThreeEdgesInTheirOrder) {
    std::size_t found = 0;
    for (std::uint64_t seed = 1; seed <= 4; ++seed) {
        const std::optional<KnotDiagram> d = diagram_of_projection(closed(seeded_walk(200 * seed, seed, 0.05)));
        ASSERT_TRUE(d);
        std::vector<Face> expected;
        for (const Face& f : faces(*d))
            if (f.size() == 3) expected.push_back(f);
        const std::vector<std::array<FaceEdge, 3>> got = triangles(*d);
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t i = 0; i < got.size(); ++i)
            for (std::size_t k = 0; k < 3; ++k) {
                EXPECT_EQ(got[i][k].edge, expected[i][k].edge);
                EXPECT_EQ(got[i][k].forward, expected[i][k].forward);
            }
        found += got.size();
    }
    EXPECT_GT(found, 20u);
    EXPECT_TRUE(triangles(KnotDiagram{}).empty());
}

TEST(KnotDiagram, FaceTableListsTheFacesAsFacesDoes) {
    for (std::uint64_t seed = 1; seed <= 3; ++seed) {
        SCOPED_TRACE(seed);
        const std::optional<KnotDiagram> d = diagram_of_projection(closed(seeded_walk(250 * seed, seed, 0.05)));
        ASSERT_TRUE(d);
        const std::vector<Face> expected = faces(*d);
        const FaceTable table = face_table(*d);
        ASSERT_EQ(table.faces(), expected.size());
        for (std::uint32_t f = 0; f < expected.size(); ++f) {
            ASSERT_EQ(table.start[f + 1] - table.start[f], expected[f].size());
            for (std::size_t k = 0; k < expected[f].size(); ++k) {
                const FaceEdge& side = expected[f][k];
                EXPECT_EQ(table.edges[table.start[f] + k], side.edge);
                EXPECT_EQ((side.forward ? table.right : table.left)[side.edge], f);
            }
        }
    }
    EXPECT_EQ(face_table(KnotDiagram{}).faces(), 0u);
}

}  // namespace
}  // namespace skeinlab::knot_diagram_test

namespace skeinlab::knot_diagram_test {
namespace pd_text_test {

TEST(ParsePdCode, ReadsKnotInfoSnapPyAndReginaAndNamesWhatIsWrong) {
    const std::vector<PdCrossing> trefoil{{1, 5, 2, 4}, {3, 1, 4, 6}, {5, 3, 6, 2}};
    for (const char* text : {"[[1,5,2,4],[3,1,4,6],[5,3,6,2]]", "[(1, 5, 2, 4), (3, 1, 4, 6), (5, 3, 6, 2)]",
                             "PD[X[1,5,2,4], X[3,1,4,6], X[5,3,6,2]]", " [ [1 5 2 4] [3 1 4 6] [5 3 6 2] ]\n"}) {
        const Result<std::vector<PdCrossing>> code = parse_pd_code(text);
        ASSERT_TRUE(code) << text << ": " << code.error().display();
        EXPECT_EQ(code.value(), trefoil) << text;
    }
    EXPECT_TRUE(parse_pd_code("[]").value().empty());
    struct Bad {
        const char* text;
        const char* message;
    };
    for (const Bad& bad : {Bad{"[[1,5,2]]", "PD code: a crossing of fewer than four edges at byte 7"},
                           Bad{"[[1,5,2,4,6]]", "PD code: a crossing of more than four edges at byte 10"},
                           Bad{"[1,5,2,4]", "PD code: a number outside a crossing at byte 1"},
                           Bad{"[[[1]]]", "PD code: brackets nested too deep at byte 2"},
                           Bad{"[[1,5,2,4]", "PD code: unclosed brackets at byte 10"},
                           Bad{"]", "PD code: an unmatched bracket at byte 0"},
                           Bad{"[[1,5,2,a]]", "PD code: an unexpected character at byte 8"},
                           Bad{"", "PD code: unclosed brackets at byte 0"},
                           Bad{"[[999999999,1,1,1]]", "PD code: an edge number too large at byte 2"}}) {
        const Result<std::vector<PdCrossing>> code = parse_pd_code(bad.text);
        ASSERT_FALSE(code) << bad.text;
        EXPECT_EQ(code.error().message(), bad.message) << bad.text;
    }
}

}  // namespace pd_text_test
}  // namespace skeinlab::knot_diagram_test
