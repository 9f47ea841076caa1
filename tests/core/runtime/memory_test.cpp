// Memory sizes as SKEINLAB_MAX_MEMORY gives them, and their text.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "runtime/memory.hpp"

namespace skeinlab::memory_test {
namespace {

struct Size {
    const char* text;
    std::optional<std::size_t> bytes;
};

class MemorySize : public ::testing::TestWithParam<Size> {};

TEST_P(MemorySize, ParsesDigitsWithAPowerOf1024) { EXPECT_EQ(parse_memory_size(GetParam().text), GetParam().bytes); }

INSTANTIATE_TEST_SUITE_P(
    Texts, MemorySize,
    ::testing::Values(Size{"0", 0}, Size{"4096", 4096}, Size{" 64K\n", 65536}, Size{"3M", 3u << 20},
                      Size{"2G", std::size_t{2} << 30}, Size{"1T", std::size_t{1} << 40},
                      Size{"18446744073709551615", 18446744073709551615ull}, Size{"18446744073709551616", {}},
                      Size{"16777216T", {}}, Size{"", {}}, Size{"G", {}}, Size{"1.5G", {}}, Size{"-1", {}},
                      Size{"2g", {}}, Size{"max", {}}));

TEST(MemorySize, TextInDecimalUnits) {
    EXPECT_EQ(memory_text(65536), "0.1 MB");
    EXPECT_EQ(memory_text(25'000'000), "25 MB");
    EXPECT_EQ(memory_text(1'340'000'000), "1.3 GB");
    EXPECT_EQ(memory_text(26'000'000'000), "26 GB");
}

TEST(MemorySize, TheEnvironmentLimitBoundsWhatIsAvailable) {
    ASSERT_EQ(setenv("SKEINLAB_MAX_MEMORY", "5M", 1), 0);
    EXPECT_EQ(environment_memory_limit(), std::size_t{5} << 20);
    EXPECT_LE(available_memory(), std::size_t{5} << 20);
    ASSERT_EQ(setenv("SKEINLAB_MAX_MEMORY", "not a size", 1), 0);
    EXPECT_EQ(environment_memory_limit(), SIZE_MAX);
    EXPECT_GT(available_memory(), std::size_t{5} << 20) << "an unreadable limit is ignored";
    unsetenv("SKEINLAB_MAX_MEMORY");
}

}  // namespace
}  // namespace skeinlab::memory_test
