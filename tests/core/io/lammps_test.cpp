// LAMMPS text dumps: columns in any order, ids out of order, scaled and
// unwrapped coordinates, triclinic boxes, the chains of a frame, and errors
// naming the line (the frames before a bad one read).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "base/text.hpp"
#include "io/frame_chains.hpp"
#include "io/lammps.hpp"

namespace skeinlab::lammps_test {
namespace {

struct Parsed {
    std::vector<LammpsFrame> frames;
    std::string error;  // empty when the whole text was read
    std::uint64_t line = 0;
};

Parsed parse_lammps(std::string_view text) {
    LineReader lines = LineReader::from_text(text);
    LammpsReader reader(lines);
    Parsed out;
    LammpsFrame frame;
    for (;;) {
        Result<bool> more = reader.next(frame);
        if (!more) {
            out.error = more.error().display();
            out.line = reader.lines_read();
            return out;
        }
        if (!more.value()) return out;
        out.frames.push_back(frame);
    }
}

const char* const kHeader =
    "ITEM: TIMESTEP\n100\nITEM: NUMBER OF ATOMS\n4\nITEM: BOX BOUNDS pp pp ff\n0 10\n0 20\n-5 5\n";

TEST(Lammps, ColumnsInAnyOrderAtomsInIdOrder) {
    const std::string text = std::string(kHeader) +
                             "ITEM: ATOMS type z id y mol x\n"
                             "1 0.3 3 0.2 2 0.1\n"
                             "2 1.3 1 1.2 1 1.1\n"
                             "1 3.3 4 3.2 2 3.1\n"
                             "2 2.3 2 2.2 1 2.1\n";
    const Parsed p = parse_lammps(text);
    ASSERT_EQ(p.error, "");
    ASSERT_EQ(p.frames.size(), 1u);
    const LammpsFrame& f = p.frames[0];
    EXPECT_EQ(f.timestep, 100);
    EXPECT_EQ(f.ids, (std::vector<std::int64_t>{1, 2, 3, 4}));
    EXPECT_EQ(f.molecules, (std::vector<std::int64_t>{1, 1, 2, 2}));
    EXPECT_EQ(f.types, (std::vector<std::int64_t>{2, 2, 1, 1}));
    EXPECT_EQ(f.positions[0], (Point3{1.1, 1.2, 1.3}));
    EXPECT_EQ(f.positions[3], (Point3{3.1, 3.2, 3.3}));
    EXPECT_TRUE(f.images.empty());
    EXPECT_FALSE(f.unwrapped);
    EXPECT_EQ(f.box.lx, 10.0);
    EXPECT_EQ(f.box.ly, 20.0);
    EXPECT_EQ(f.box.origin.z, -5.0);
    EXPECT_EQ(f.box.periodic, (std::array<bool, 3>{true, true, false}));
}

TEST(Lammps, ScaledUnwrappedAndTriclinic) {
    // Triclinic bounds enclose the tilted box: xlo_bound = xlo + min(0, xy,
    // xz, xy + xz), xhi_bound = xhi + max(...), likewise y with yz.
    const std::string text =
        "ITEM: UNITS\nlj\nITEM: TIME\n0.5\n"
        "ITEM: TIMESTEP\n7\nITEM: NUMBER OF ATOMS\n2\nITEM: BOX BOUNDS xy xz yz pp pp pp\n"
        "-1 12 2\n0 10 -1\n0 10 1\n"
        "ITEM: ATOMS id xsu ysu zsu ix iy iz\n"
        "1 0.5 0.5 0.5 0 0 0\n"
        "2 1.5 0 0 1 2 3\n";
    const Parsed p = parse_lammps(text);
    ASSERT_EQ(p.error, "");
    const LammpsFrame& f = p.frames[0];
    EXPECT_TRUE(f.unwrapped);
    EXPECT_EQ(f.box.xy, 2.0);
    EXPECT_EQ(f.box.xz, -1.0);
    EXPECT_EQ(f.box.yz, 1.0);
    EXPECT_EQ(f.box.origin.x, 0.0);  // -1 - min(0, 2, -1, 1)
    EXPECT_EQ(f.box.lx, 10.0);       // (12 - 2) - 0
    EXPECT_EQ(f.box.origin.y, 0.0);
    EXPECT_EQ(f.box.ly, 9.0);
    EXPECT_EQ(f.positions[0], (Point3{5.0 + 1.0 - 0.5, 4.5 + 5.0 * 1.0 / 10.0 * 1.0, 5.0}));
    EXPECT_EQ(f.positions[1], (Point3{15.0, 0.0, 0.0}));
    EXPECT_EQ(f.images[1], (std::array<std::int32_t, 3>{1, 2, 3}));
}

struct BadDump {
    const char* name;
    std::string text;
    std::size_t frames_before;
    const char* error;
    std::uint64_t line;
};

class Errors : public ::testing::TestWithParam<BadDump> {};

TEST_P(Errors, NameTheLineAndKeepTheFramesBefore) {
    const Parsed p = parse_lammps(GetParam().text);
    EXPECT_EQ(p.frames.size(), GetParam().frames_before);
    EXPECT_NE(p.error.find(GetParam().error), std::string::npos) << p.error;
    EXPECT_EQ(p.line, GetParam().line);
}

const std::string kGood = std::string(kHeader) + "ITEM: ATOMS id x y z\n1 0 0 0\n2 1 0 0\n3 1 1 0\n4 0 1 0\n";

INSTANTIATE_TEST_SUITE_P(
    Lammps, Errors,
    ::testing::Values(
        BadDump{"truncated", kGood + kGood.substr(0, kGood.size() - 16), 1, "unexpected end of file in frame 1", 24},
        BadDump{"bad_value", kGood + std::string(kHeader) + "ITEM: ATOMS id x y z\n1 0 0 0\n2 1 q 0\n", 1,
                "line 24: bad y: invalid float literal", 24},
        BadDump{"few_columns", std::string(kHeader) + "ITEM: ATOMS id x y z\n1 0 0\n", 0,
                "line 10: expected 4 columns, got 3", 10},
        BadDump{"no_positions", std::string(kHeader) + "ITEM: ATOMS id vx vy vz\n", 0,
                "line 9: the atoms have no x y z", 9},
        BadDump{"not_a_dump", "3\ncomment\nC 0 0 0\n", 0, "line 1: expected 'ITEM: TIMESTEP', got '3'", 1},
        BadDump{"bad_count", "ITEM: TIMESTEP\n1\nITEM: NUMBER OF ATOMS\nmany\n", 0, "line 4: bad atom count", 4},
        BadDump{"bad_box", "ITEM: TIMESTEP\n1\nITEM: NUMBER OF ATOMS\n1\nITEM: BOX BOUNDS pp pp pp\n0 1\n0\n", 0,
                "line 7: bad box bounds: '0'", 7},
        BadDump{"duplicate_id", std::string(kHeader) + "ITEM: ATOMS id x y z\n1 0 0 0\n2 1 0 0\n1 1 1 0\n4 0 1 0\n", 0,
                "duplicate atom id 1", 13}),
    [](const ::testing::TestParamInfo<BadDump>& p) { return std::string(p.param.name); });

TEST(Lammps, EmptyInputHasNoFrames) {
    const Parsed p = parse_lammps("\n\n");
    EXPECT_EQ(p.error, "");
    EXPECT_TRUE(p.frames.empty());
}

LammpsFrame melt_frame() {
    // Two molecules of three atoms, type 2 the backbone, ids shuffled.
    const Parsed p = parse_lammps(std::string("ITEM: TIMESTEP\n0\nITEM: NUMBER OF ATOMS\n6\nITEM: BOX BOUNDS pp pp pp\n") +
                           "0 4\n0 4\n0 4\nITEM: ATOMS id mol type x y z\n"
                           "4 7 2 3.9 0 0\n1 3 2 0.1 0 0\n6 7 1 0.2 0 0\n2 3 2 0.5 0 0\n5 7 2 0.3 0 0\n"
                           "3 3 1 0.9 0 0\n");
    EXPECT_EQ(p.error, "");
    return p.frames.at(0);
}

TEST(FrameChains, ByMoleculeTypeAndLength) {
    const LammpsFrame f = melt_frame();
    ChainSelection open;
    open.ring = false;
    Result<FrameChains> by_molecule = chains_of_frame(f, open);
    ASSERT_TRUE(by_molecule) << by_molecule.error().display();
    EXPECT_EQ(by_molecule.value().molecules, (std::vector<std::int64_t>{3, 7}));
    // Molecule 7 (ids 4, 5, 6) crosses the box edge at x = 4: unwrapped by
    // minimum image, 3.9 -> 4.3 -> 4.2.
    const Chain& seven = by_molecule.value().chains[1];
    ASSERT_EQ(seven.size(), 3u);
    EXPECT_NEAR(seven[1].x, 4.3, 1e-12);
    EXPECT_NEAR(seven[2].x, 4.2, 1e-12);

    ChainSelection backbone = open;
    backbone.types = {2};
    backbone.molecules = {7};
    Result<FrameChains> kept = chains_of_frame(f, backbone);
    ASSERT_TRUE(kept);
    ASSERT_EQ(kept.value().chains.size(), 1u);
    EXPECT_EQ(kept.value().chains[0].size(), 2u);

    ChainSelection by_length = open;
    by_length.chain_length = 2;
    Result<FrameChains> pairs = chains_of_frame(f, by_length);
    ASSERT_TRUE(pairs);
    EXPECT_EQ(pairs.value().molecules, (std::vector<std::int64_t>{1, 2, 3}));
    EXPECT_EQ(pairs.value().chains[2][0].x, 0.3);  // ids 5 and 6

    by_length.chain_length = 4;
    Result<FrameChains> bad = chains_of_frame(f, by_length);
    ASSERT_FALSE(bad);
    EXPECT_NE(bad.error().display().find("6 atoms are not a whole number of chains of 4"), std::string::npos);
}

TEST(FrameChains, WindingRingsAreMarked) {
    // A ring of four atoms along x through the whole box: closed only through
    // the boundary.
    const Parsed p = parse_lammps(std::string("ITEM: TIMESTEP\n0\nITEM: NUMBER OF ATOMS\n4\nITEM: BOX BOUNDS pp pp pp\n") +
                           "0 4\n0 4\n0 4\nITEM: ATOMS id x y z\n1 0.5 1 1\n2 1.5 1 1\n3 2.5 1 1\n4 3.5 1 1\n");
    ASSERT_EQ(p.error, "");
    Result<FrameChains> rings = chains_of_frame(p.frames[0], ChainSelection{});
    ASSERT_TRUE(rings);
    EXPECT_EQ(rings.value().winding, std::vector<bool>{true});
    ChainSelection open;
    open.ring = false;
    EXPECT_EQ(chains_of_frame(p.frames[0], open).value().winding, std::vector<bool>{false});
}

}  // namespace
}  // namespace skeinlab::lammps_test

namespace skeinlab::lammps_test {
namespace {

TEST(Lammps, EveryNumberReadsAsTheCoordinateGrammarReadsIt) {
    // Plain decimals (read in one pass, up to seven digits on each side of
    // the point eight at a time), exponents, more than 15 digits, signs, and
    // a line with a non-ASCII space (the general path).
    const char* const numbers[] = {"0.1",        "-2.5",         "+3",       ".5",         "7.",
                                   "1e-3",       "-0",           "0.12345678901234567",  "12345678901234567890",
                                   "2.5E+2",     "-1.000000000000001",     "1234567.1234567", "12345678.5",
                                   "1.12345678", "-00000001.50", "9999999",  "inf"};
    std::string text = "ITEM: TIMESTEP\n0\nITEM: NUMBER OF ATOMS\n" + std::to_string(std::size(numbers)) +
                       "\nITEM: BOX BOUNDS ff ff ff\n0 1\n0 1\n0 1\nITEM: ATOMS id x y z\n";
    for (std::size_t k = 0; k < std::size(numbers); ++k)
        text += std::to_string(k + 1) + (k == 3 ? "\u00a0" : " ") + numbers[k] + " " + numbers[k] + " 0\n";
    const Parsed p = parse_lammps(text);
    ASSERT_EQ(p.error, "");
    for (std::size_t k = 0; k < std::size(numbers); ++k) {
        const double expected = *text::parse_f64(numbers[k]).value;
        const double got = p.frames[0].positions[k].x;
        EXPECT_TRUE(got == expected && std::signbit(got) == std::signbit(expected)) << numbers[k];
    }
}

TEST(Lammps, AFileReadInBlocksGivesWhatItsTextGives) {
    // Over a megabyte of atoms, so that lines cross the reader's buffer:
    // random plain decimals, now and then a line only the general path reads
    // (an exponent, a non-ASCII name in a column not read, tabs and a
    // carriage return), the last line without a line break.
    std::mt19937_64 rng(5);
    const std::size_t atoms = 30000;
    std::string text = "ITEM: TIMESTEP\n0\nITEM: NUMBER OF ATOMS\n" + std::to_string(atoms) +
                       "\nITEM: BOX BOUNDS pp pp pp\n0 1\n0 1\n0 1\nITEM: ATOMS id element mol x y z ix iy iz\n";
    std::vector<double> expected;
    std::vector<std::int64_t> image;
    for (std::size_t a = 0; a < atoms; ++a) {
        std::string number[3];
        for (std::string& s : number) {
            s = rng() % 2 ? "-" : "";
            s += std::to_string(rng() % 100000);
            if (rng() % 4) s += "." + std::to_string(rng() % 10000000);
            if (rng() % 97 == 0) s += "e-2";
            expected.push_back(*text::parse_f64(s).value);
        }
        image.push_back(static_cast<std::int64_t>(rng() % 2001) - 1000);
        const char* const element = rng() % 89 == 0 ? "\u00c5" : "C";
        const char* const blank = rng() % 83 == 0 ? "\t " : " ";
        text += std::to_string(a + 1) + blank + element + " " + std::to_string(1 + a / 100) + " " + number[0] + " " +
                number[1] + blank + number[2] + " " + std::to_string(image.back()) + " 0 -1" + (a % 71 == 0 ? "\r\n" : "\n");
    }
    text.pop_back();
    const std::string path = ::testing::TempDir() + "lammps_blocks.lammpstrj";
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    Result<LineReader> opened = LineReader::open(path);
    ASSERT_TRUE(opened);
    LineReader lines = std::move(opened).value();
    LammpsReader reader(lines);
    LammpsFrame frame;
    Result<bool> more = reader.next(frame);
    ASSERT_TRUE(more && more.value()) << (more ? "" : more.error().display());
    std::remove(path.c_str());
    ASSERT_EQ(frame.positions.size(), atoms);
    for (std::size_t a = 0; a < atoms; ++a) {
        const Point3& p = frame.positions[a];
        ASSERT_TRUE(p.x == expected[3 * a] && p.y == expected[3 * a + 1] && p.z == expected[3 * a + 2]) << a;
        ASSERT_EQ(frame.molecules[a], static_cast<std::int64_t>(1 + a / 100));
        ASSERT_EQ(frame.images.size(), atoms);
        ASSERT_EQ(frame.images[a][0], image[a]);
        ASSERT_EQ(frame.images[a][2], -1);
    }
    EXPECT_EQ(reader.lines_read(), 9 + atoms);
    EXPECT_EQ(reader.bytes_read(), text.size());
    more = reader.next(frame);
    EXPECT_TRUE(more && !more.value());
}

}  // namespace
}  // namespace skeinlab::lammps_test
