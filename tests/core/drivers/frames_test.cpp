// The frame drivers: results in frame order whatever the workers, the lowest
// failing frame deciding a failure, a bad thread count and a cancelled call
// reported as failures, never as results.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "curves.hpp"
#include "drivers/frames.hpp"
#include "fixtures.hpp"

namespace skeinlab::frames_test {
namespace {

using testing::builtin_table;
using testing::circle;
using testing::figure_eight;
using testing::mirrored;
using testing::torus_knot;

FrameSet knots() {
    FrameSet frames;
    for (int k = 0; k < 6; ++k) {
        frames.push_back(torus_knot(2, 3 + 2 * (k % 3), 90 + 10 * k));
        frames.push_back(k % 2 ? figure_eight(120) : mirrored(torus_knot(2, 3, 100)));
        frames.push_back(circle(20 + k));
    }
    return frames;
}

template <class T>
const T& value_of(const Outcome<T>& outcome) {
    if (const Failure* failure = std::get_if<Failure>(&outcome)) ADD_FAILURE() << failure->message;
    return std::get<T>(outcome);
}

TEST(Frames, ResultsComeInFrameOrderForEveryNumberOfWorkers) {
    const FrameSet frames = knots();
    const KnotTypeOptions options;
    const Outcome<std::vector<std::string>> shared = classify_frames(frames, builtin_table(), options, std::nullopt);
    const std::vector<std::string>& names = value_of(shared);
    ASSERT_EQ(names.size(), frames.size());
    EXPECT_EQ(names[0], "3_1");
    EXPECT_EQ(names[1], "3_1");
    EXPECT_EQ(names[2], "1");
    EXPECT_EQ(names[3], "5_1");
    EXPECT_EQ(names[4], "4_1");
    for (const std::uint64_t threads : {1u, 2u, 3u, 7u}) {
        SCOPED_TRACE(threads);
        EXPECT_EQ(value_of(classify_frames(frames, builtin_table(), options, threads)), names);
        const Outcome<std::vector<std::string>> identified = identify_frames(frames, options, threads);
        const std::vector<std::string>& chiral = value_of(identified);
        ASSERT_EQ(chiral.size(), frames.size());
        EXPECT_EQ(chiral[0], "-3_1");  // the curve turns left
        EXPECT_EQ(chiral[1], "+3_1");  // its mirror image
    }
}

TEST(Frames, TheLowestFailingFrameDecidesTheFailure) {
    // A bridge 2-30 fits the first frame only: frames 1 and 2 both fail.
    const FrameSet frames = {circle(40), circle(12), circle(8)};
    for (const std::uint64_t threads : {1u, 3u}) {
        const auto outcome = lasso_frames(frames, {{{2, 30}}}, threads);
        const Failure* failure = std::get_if<Failure>(&outcome);
        ASSERT_NE(failure, nullptr);
        EXPECT_EQ(failure->kind, Failure::Kind::Error);
        EXPECT_EQ(failure->message.rfind("frame 1: bridge 2-30: beyond the chain's 12 points", 0), 0u)
            << failure->message;
    }
}

TEST(Frames, NoThreadsAndACancelledCallAreFailures) {
    const FrameSet frames = knots();
    const auto none = classify_frames(frames, builtin_table(), KnotTypeOptions{}, 0);
    ASSERT_TRUE(std::holds_alternative<Failure>(none));
    EXPECT_EQ(std::get<Failure>(none).message, "threads must be >= 1");
    CancelToken token;
    token.request();
    const auto cancelled = classify_frames(frames, builtin_table(), KnotTypeOptions{}, 2, CallControl{&token, {}});
    ASSERT_TRUE(std::holds_alternative<Failure>(cancelled));
    EXPECT_EQ(std::get<Failure>(cancelled).kind, Failure::Kind::Cancelled);
}

}  // namespace
}  // namespace skeinlab::frames_test
