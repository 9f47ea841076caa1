#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "invariants/alexander_table.hpp"

namespace skeinlab::alexander_table_test {
namespace {

Polynomial P(std::vector<std::int64_t> c) { return Polynomial{std::move(c)}; }

std::string name_of(const AlexanderTable& table, std::vector<std::int64_t> c) {
    const std::string* name = table.lookup(P(std::move(c)));
    return name ? *name : "<none>";
}

TEST(AlexanderTable, BuiltinText) {
    const std::string_view text = builtin_table_text();
    EXPECT_EQ(text.size(), 2617u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 85);
    EXPECT_EQ(AlexanderTable::builtin().entries.size(), 160u);
}

TEST(AlexanderTable, BuiltinLookups) {
    const AlexanderTable table = AlexanderTable::builtin();
    const std::pair<std::vector<std::int64_t>, const char*> cases[] = {
        {{1}, "1"}, {{-1}, "1"}, {{1, -1, 1}, "3_1"}, {{-1, 1, -1}, "3_1"}, {{1, -3, 1}, "4_1"},
        {{2, -5, 2}, "6_1"}, {{-2, 5, -2}, "6_1"}, {{4, -7, 4}, "7_4"}, {{1, -5, 12, -15, 12, -5, 1}, "9_28"},
        {{3, -6, 7, -6, 3}, "9_49"}, {{2, -8, 11, -8, 2}, "8_14"}, {{1, -5, 10, -13, 10, -5, 1}, "8_18"},
        {{}, "<none>"}, {{0, 1, -1, 1}, "<none>"},
    };
    for (const auto& [coeffs, name] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(name_of(table, coeffs), name);
    }
}

TEST(AlexanderTable, SortKey) {
    using Key = std::pair<std::uint32_t, std::uint32_t>;
    EXPECT_EQ(knot_sort_key("9_49"), Key(9, 49));
    EXPECT_EQ(knot_sort_key("+3_1"), Key(3, 1));
    for (const char* odd : {"1", "trefoil", "3_1_2", "3_", "_1", "K3_1", "-3_1", "4294967296_1"})
        EXPECT_EQ(knot_sort_key(odd), Key(0, 0)) << odd;
    EXPECT_LT(knot_sort_key("8_9"), knot_sort_key("8_10"));
}

TEST(AlexanderTable, TextFormatErrors) {
    const std::pair<const char*, const char*> cases[] = {
        {"3_1", "failed to parse data: line 1: expected 'knot_name polynomial', got '3_1'"},
        {"\n\n  4_1  \n", "failed to parse data: line 3: expected 'knot_name polynomial', got '4_1'"},
        {"# knots", "failed to parse polynomial: bad coefficient 'kno': invalid digit found in string"},
        {"3_1 -1 + t - t^2", "failed to parse polynomial: bad coefficient '+ ': invalid digit found in string"},
    };
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(text);
        const Result<AlexanderTable> table = AlexanderTable::from_text(text);
        ASSERT_FALSE(table.ok());
        EXPECT_EQ(table.error().display(), message);
    }
}

TEST(AlexanderTable, RowsWithTabsSpacesAndCarriageReturns) {
    const Result<AlexanderTable> table = AlexanderTable::from_text("a_1\t 1-t+t^2\r\nb_1    2-3*t+2*t^2\n\n");
    ASSERT_TRUE(table.ok());
    EXPECT_EQ(name_of(table.value(), {1, -1, 1}), "a_1");
    EXPECT_EQ(name_of(table.value(), {2, -3, 2}), "b_1");
}

AlexanderTable merged(const char* rows) {
    AlexanderTable table = AlexanderTable::builtin();
    Result<AlexanderTable> file = AlexanderTable::from_text(rows);
    EXPECT_TRUE(file.ok());
    table.merge(std::move(file).value());
    return table;
}

TEST(AlexanderTable, MergeRules) {
    EXPECT_EQ(name_of(merged("trefoil 1-t+t^2"), {1, -1, 1}), "trefoil");
    EXPECT_EQ(name_of(merged("10_1 1-t+t^2"), {1, -1, 1}), "3_1");
    AlexanderTable same = merged("3_1 1-t+t^2");
    EXPECT_EQ(same.entries.at(P({1, -1, 1})).size(), 1u);
    AlexanderTable zero = merged("x_1 0");
    EXPECT_EQ(zero.entries.at(P({})), std::vector<std::string>{"x_1"});
    EXPECT_EQ(name_of(zero, {}), "x_1");
    AlexanderTable with_t = merged("k t-t^2+t^3");
    EXPECT_EQ(name_of(with_t, {1, -1, 1}), "3_1");
    EXPECT_EQ(with_t.entries.at(P({0, 1, -1, 1})), std::vector<std::string>{"k"});
    EXPECT_EQ(merged("").entries.size(), 160u);
}

TEST(AlexanderTable, FileErrors) {
    const Result<AlexanderTable> missing = AlexanderTable::builtin_with_file("/nonexistent/table.txt");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().display(), "I/O error: No such file or directory (os error 2)");
    const Result<AlexanderTable> directory = AlexanderTable::from_file("/");
    ASSERT_FALSE(directory.ok());
    EXPECT_EQ(directory.error().display(), "I/O error: Is a directory (os error 21)");

    const std::string path = ::testing::TempDir() + "bad_utf8_table.txt";
    std::ofstream(path) << "ok_1 1-t+t^2\nbad\xff 1\n";
    const Result<AlexanderTable> bad = AlexanderTable::from_file(path);
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error().display(), "I/O error: stream did not contain valid UTF-8");
    std::remove(path.c_str());
}

}  // namespace
}  // namespace skeinlab::alexander_table_test
