#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>

#include "io/xyz.hpp"

namespace skeinlab::xyz_test {
namespace {

Result<FrameSet> parse(std::string_view text) {
    LineReader reader = LineReader::from_text(text);
    return read_data_xyz_frames(reader);
}

std::string failure(std::string_view text) {
    const Result<FrameSet> r = parse(text);
    return r ? "<ok>" : r.error().display();
}

TEST(XyzRead, Frames) {
    const Result<FrameSet> r = parse("\n\n3\ncomment\nC 1 2 3\nC 4 5 6 extra\nC nan -Infinity 1e3\n\n2\n\nX .5 +1. -0\nY 1 1 1\n\n");
    ASSERT_TRUE(r.ok()) << r.error().display();
    ASSERT_EQ(r.value().size(), 2u);
    EXPECT_EQ(r.value()[0][1], (Point3{4, 5, 6}));
    EXPECT_TRUE(std::isnan(r.value()[0][2].x));
    EXPECT_EQ(r.value()[0][2].y, -INFINITY);
    EXPECT_EQ(r.value()[0][2].z, 1000.0);
    EXPECT_EQ(r.value()[1][0], (Point3{0.5, 1.0, 0.0}));
    EXPECT_TRUE(parse("").value().empty());
    EXPECT_TRUE(parse(" \n\t\n").value().empty());
    EXPECT_TRUE(parse("0\ncomment\n").value()[0].empty());
    EXPECT_EQ(parse("+1\n\nC 1 2 3").value()[0].size(), 1u);
}

TEST(XyzRead, Messages) {
    const std::pair<const char*, const char*> cases[] = {
        {"0", "unexpected EOF after XYZ point count"},
        {"-3\n\n", "invalid point count: invalid digit found in string"},
        {"3.0\n\n", "invalid point count: invalid digit found in string"},
        {"3 atoms\n\n", "invalid point count: invalid digit found in string"},
        {"0x3\n\n", "invalid point count: invalid digit found in string"},
        {"18446744073709551616\n\n", "invalid point count: number too large to fit in target type"},
        {"3\n\nC 1 2 3\nC 1 2 3\n", "unexpected EOF in XYZ data line 3"},
        {"3\n\nC 1 2 3\n C 1 2 \nC 1 2 3\n", "line 4: expected 'type x y z', got 'C 1 2'"},
        {"2\n\nC 1 2 3\n\n", "line 4: expected 'type x y z', got ''"},
        {"1\n\nC 1 y 3\n", "bad y at line 3: invalid float literal"},
        {"1\n\nC 1,5 2 3\n", "bad x at line 3: invalid float literal"},
        {"1\n\nC 1 2 0x10\n", "bad z at line 3: invalid float literal"},
    };
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(failure(text), std::string("failed to parse data: ") + message);
    }
}

TEST(XyzRead, HugeCountDoesNotReserveEverything) {
    EXPECT_EQ(failure("18446744073709551615\n\nC 1 2 3\n"), "failed to parse data: unexpected EOF in XYZ data line 2");
}

TEST(XyzWrite, CoordinateFormat) {
    const std::pair<double, const char*> cases[] = {
        {1.5, "   1.50000"}, {-1.25, "  -1.25000"}, {1e6, "1000000.00000"}, {-0.0, "  -0.00000"},
        {std::numeric_limits<double>::quiet_NaN(), "       NaN"}, {INFINITY, "       inf"}, {-INFINITY, "      -inf"},
        {0.000005, "   0.00001"},   // 5e-6 is slightly above the tie in binary
        {2.5e-6, "   0.00000"},
        {0.015625, "   0.01562"},   // exact binary ties round half to even
        {0.046875, "   0.04688"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(format_coordinate(value), text) << value;
}

TEST(XyzWrite, RoundTrip) {
    const std::string path = ::testing::TempDir() + "roundtrip.xyz";
    {
        Result<FileWriter> w = FileWriter::open(path, false);
        ASSERT_TRUE(w.ok());
        ASSERT_TRUE(write_data_xyz({{1.234567, -2, 3}, {0, 0, 0}}, w.value()).ok());
        ASSERT_TRUE(write_data_xyz({}, w.value()).ok());
        ASSERT_TRUE(w.value().close().ok());
    }
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    EXPECT_EQ(text.str(), "2\n\n1\t   1.23457\t  -2.00000\t   3.00000\n1\t   0.00000\t   0.00000\t   0.00000\n0\n\n");
    Result<LineReader> reader = LineReader::open(path);
    ASSERT_TRUE(reader.ok());
    const Result<FrameSet> back = read_data_xyz_frames(reader.value());
    ASSERT_TRUE(back.ok());
    ASSERT_EQ(back.value().size(), 2u);
    EXPECT_EQ(back.value()[0][0].x, 1.23457);
    EXPECT_TRUE(back.value()[1].empty());
    std::remove(path.c_str());
}

TEST(XyzRead, LongLinesAcrossBufferBoundaries) {
    std::string text = "3\n" + std::string(20000, 'c') + "\n";
    for (int i = 0; i < 3; ++i) text += "C " + std::string(9000, '0') + "1 2 3\n";
    const std::string path = ::testing::TempDir() + "long_lines.xyz";
    std::ofstream(path) << text;
    Result<LineReader> reader = LineReader::open(path);
    ASSERT_TRUE(reader.ok());
    const Result<FrameSet> r = read_data_xyz_frames(reader.value());
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value()[0][2], (Point3{1, 2, 3}));
    std::remove(path.c_str());
}

}  // namespace
}  // namespace skeinlab::xyz_test
