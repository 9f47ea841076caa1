// Topologies: the chains a bond graph draws (rings, paths, what is left out),
// LAMMPS data files (styles, type labels, bonds by id, errors naming the line),
// chains gathered by a layout, and the gaps that make a chain no chain.
#include <gtest/gtest.h>

#include <string>

#include "geometry/periodic.hpp"
#include "io/bonded_chains.hpp"
#include "io/frame_chains.hpp"
#include "io/lammps_data.hpp"

namespace skeinlab::topology_test {
namespace topology_test {

using Bonds = std::vector<std::array<std::int64_t, 2>>;

TEST(BondedChains, CyclesAreRingsPathsAreOpenChainsOrderedAlongTheirBonds) {
    // A ring 0-5-2-7 listed out of order and twice, a path 3-1-6-4, water 8-9-10, an ion 11.
    const Bonds bonds{{5, 2}, {0, 5}, {7, 0}, {2, 7}, {2, 5}, {1, 6}, {3, 1}, {6, 4}, {8, 9}, {8, 10}, {11, 11}};
    Result<BondedChains> chains = bonded_chains(12, bonds, 4);
    ASSERT_TRUE(chains);
    const BondedChains& c = chains.value();
    EXPECT_EQ(c.atoms, (std::vector<std::int64_t>{0, 5, 2, 7, 3, 1, 6, 4}));
    EXPECT_EQ(c.offsets, (std::vector<std::int64_t>{0, 4, 8}));
    EXPECT_EQ(c.rings, (std::vector<bool>{true, false}));
    EXPECT_EQ(c.small, 2u);
    EXPECT_EQ(c.small_atoms, 4u);
    EXPECT_EQ(c.branched, 0u);
}

TEST(BondedChains, BranchesAreLeftOutAndKeepCutsTheGraph) {
    // A star: 0 bonded to 1, 2, 3, then 3-4-5: branched; without atom 0 kept, 3-4-5 is too small and
    // 1, 2 alone; keeping the backbone 0-3-4-5 gives a path.
    const Bonds bonds{{0, 1}, {0, 2}, {0, 3}, {3, 4}, {4, 5}};
    Result<BondedChains> all = bonded_chains(6, bonds, 4);
    ASSERT_TRUE(all);
    EXPECT_TRUE(all.value().atoms.empty());
    EXPECT_EQ(all.value().branched, 1u);
    EXPECT_EQ(all.value().branched_atoms, 6u);
    Result<BondedChains> backbone = bonded_chains(6, bonds, 4, {true, false, false, true, true, true});
    ASSERT_TRUE(backbone);
    EXPECT_EQ(backbone.value().atoms, (std::vector<std::int64_t>{0, 3, 4, 5}));
    EXPECT_EQ(backbone.value().rings, std::vector<bool>{false});
}

TEST(BondedChains, BondsBeyondTheAtomsAreErrors) {
    Result<BondedChains> chains = bonded_chains(3, Bonds{{0, 1}, {1, 3}}, 2);
    ASSERT_FALSE(chains);
    EXPECT_EQ(chains.error().message(), "bond 1 joins atom 3, but there are 3 atoms");
    EXPECT_FALSE(bonded_chains(3, Bonds{}, 2, {true}));
}

Result<LammpsTopology> parse_data(std::string_view text) {
    LineReader lines = LineReader::from_text(text);
    return read_lammps_data(lines);
}

constexpr std::string_view kData =
    "title\n\n5 atoms\n3 bonds\n2 atom types\n0 10 xlo xhi\n\nAtom Type Labels\n\n1 C\n2 OW\n\n"
    "Masses\n\n1 12\n2 16\n\nAtoms # full\n\n"
    "3 7 C 0.0 3 0 0\n1 7 1 0.0 1 0 0 0 0 0\n2 7 1 0.0 2 0 0\n5 8 OW 0.0 5 0 0\n4 7 1 0.0 4 0 0\n\n"
    "Velocities\n\n1 0 0 0\n2 0 0 0\n3 0 0 0\n4 0 0 0\n5 0 0 0\n\nBonds\n\n1 1 1 2\n2 1 3 2\n3 1 4 3\n";

TEST(LammpsData, AtomsInIdOrderTypesByLabelBondsAsIndices) {
    Result<LammpsTopology> data = parse_data(kData);
    ASSERT_TRUE(data) << data.error().display();
    const LammpsTopology& t = data.value();
    EXPECT_EQ(t.style, "full");
    EXPECT_EQ(t.ids, (std::vector<std::int64_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(t.molecules, (std::vector<std::int64_t>{7, 7, 7, 7, 8}));
    EXPECT_EQ(t.types, (std::vector<std::int64_t>{1, 1, 1, 1, 2}));
    EXPECT_EQ(t.type_labels, (std::vector<std::string>{"", "C", "OW"}));
    EXPECT_EQ(t.positions[2].x, 3.0);
    EXPECT_EQ(t.bonds, (Bonds{{0, 1}, {2, 1}, {3, 2}}));
}

TEST(LammpsData, StylesNamedOrToldFromTheColumns) {
    struct Case {
        std::string atoms;
        std::string style;
        bool molecules;
    };
    for (const Case& c : {Case{"Atoms # molecular\n\n1 4 1 0 0 0\n", "molecular", true},
                          Case{"Atoms\n\n1 4 1 0 0 0\n", "molecular", true},
                          Case{"Atoms\n\n1 1 0.5 0 0 0\n", "charge", false},
                          Case{"Atoms # I like comments\n\n1 1 0 0 0\n", "atomic", false},
                          Case{"Atoms # template\n\n1 1 4 1 1 0 0 0\n", "template", true}}) {
        Result<LammpsTopology> data = parse_data("t\n1 atoms\n1 atom types\n" + c.atoms);
        ASSERT_TRUE(data) << c.atoms << data.error().display();
        EXPECT_EQ(data.value().style, c.style) << c.atoms;
        EXPECT_EQ(data.value().molecules.empty(), !c.molecules) << c.atoms;
    }
    Result<LammpsTopology> templated = parse_data("t\n1 atoms\n1 atom types\nAtoms # template\n\n1 1 4 1 1 0 0 0\n");
    EXPECT_EQ(templated.value().molecules, std::vector<std::int64_t>{4});
}

TEST(LammpsData, ErrorsNameTheLine) {
    struct Case {
        std::string text;
        std::string message;
    };
    for (const Case& c : {
             Case{"t\n2 atoms\nAtoms # full\n\n1 1 1 0 0 0 0\n", "unexpected end of file in the Atoms section"},
             Case{"t\n1 atoms\nAtoms # full\n\n1 1 X 0 0 0 0\n", "line 5: unknown atom type 'X'"},
             Case{"t\n1 atoms\nAtoms # full\n\n1 1 1 0 0 zero 0\n", "line 5: bad coordinate: 'zero'"},
             Case{"t\n1 atoms\nAtoms\n\n1 1 1 0\n", "line 5: the Atoms section has 4 columns"},
             Case{"t\n1 atoms\n1 bonds\nAtoms # full\n\n1 1 1 0 0 0 0\n\nBonds\n\n1 1 1 9\n",
                  "line 10: bond 1 joins atom id 9, which is not in the Atoms section"},
             Case{"t\n2 atoms\nAtoms # full\n\n1 1 1 0 0 0 0\n1 1 1 0 0 0 0\n", "duplicate atom id 1"},
             Case{"t\n1 atoms\nMasses\n\n1 1\n", "no Atoms section"},
         }) {
        Result<LammpsTopology> data = parse_data(c.text);
        ASSERT_FALSE(data) << c.text;
        EXPECT_NE(data.error().message().find(c.message), std::string::npos) << data.error().message();
    }
}

Chain line(std::size_t n, double step) {
    Chain chain;
    for (std::size_t i = 0; i < n; ++i) chain.push_back({step * static_cast<double>(i), 0.0, 0.0});
    return chain;
}

TEST(FrameChains, TheFirstBondLongerThanThreeMediansIsAGap) {
    Chain chain = line(10, 1.0);
    EXPECT_EQ(first_gap(chain).index, -1);
    for (std::size_t i = 6; i < 10; ++i) chain[i].x += 3.5;  // bond 5-6 is 4.5 long
    const ChainGap gap = first_gap(chain);
    EXPECT_EQ(gap.index, 5);
    EXPECT_DOUBLE_EQ(gap.distance, 4.5);
    EXPECT_DOUBLE_EQ(gap.median, 1.0);
    chain[9].x -= 3.5 - 2.0;  // just under three medians: no gap beyond the first
    EXPECT_EQ(first_gap(line(2, 5.0)).index, -1);  // too short to judge
}

TEST(FrameChains, AtomsScatteredAtRandomAreNoChainAChainsAtomsAre) {
    // Points on a lattice of spacing 1 visited in a scrambled order: every
    // bond long, each atom's nearest atom 1 away. Visited in order: a chain.
    Chain scrambled, ordered;
    for (std::size_t k = 0; k < 64; ++k) {
        const std::size_t s = (k * 37) % 64;  // 37 is prime to 64: a permutation
        scrambled.push_back({static_cast<double>(s % 4), static_cast<double>(s / 4 % 4), static_cast<double>(s / 16)});
        ordered.push_back({static_cast<double>(k), 0.0, 0.0});
    }
    const ChainGap gap = scattered_atoms(scrambled);
    EXPECT_TRUE(gap.scattered);
    EXPECT_DOUBLE_EQ(gap.distance, 1.0);
    EXPECT_GT(gap.median, 2.0);
    EXPECT_FALSE(scattered_atoms(ordered).scattered);
    EXPECT_FALSE(scattered_atoms(Chain(scrambled.begin(), scrambled.begin() + 7)).scattered);  // too few to judge
}

TEST(FrameChains, ALayoutGathersUnwrapsAndChecksItsChains) {
    // Two chains by index, the second wrapped across a box of 10.
    Chain positions = line(8, 1.0);
    positions[5] = {9.5, 0.0, 0.0};
    positions[6] = {0.5, 0.0, 0.0};
    positions[7] = {1.5, 0.0, 0.0};
    ChainLayout layout;
    layout.atoms = {3, 2, 1, 0, 5, 6, 7};
    layout.offsets = {0, 4, 7};
    layout.labels = {11, 12};
    layout.rings = {false, false};
    PeriodicBox box;
    box.lx = box.ly = box.lz = 10.0;
    Result<FrameChains> chains = gather_chains(positions, layout, &box, true);
    ASSERT_TRUE(chains);
    ASSERT_EQ(chains.value().chains.size(), 2u);
    EXPECT_EQ(chains.value().chains[0][0].x, 3.0);
    EXPECT_EQ(chains.value().chains[1][2].x, 11.5);
    EXPECT_EQ(chains.value().molecules, (std::vector<std::int64_t>{11, 12}));
    EXPECT_EQ(chains.value().gaps[1].index, -1);
    layout.atoms[0] = 8;
    EXPECT_FALSE(gather_chains(positions, layout, &box, false));
}

}  // namespace topology_test
}  // namespace skeinlab::topology_test
