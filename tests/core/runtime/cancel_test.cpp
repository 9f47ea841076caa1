// Cancellation: a requested token ends a call with a Cancelled failure, from
// before the first frame or from the caller's poll while workers run, and the
// shared pool keeps working.
#include <gtest/gtest.h>

#include <atomic>

#include "curves.hpp"
#include "drivers/frames.hpp"
#include "fixtures.hpp"

namespace skeinlab::cancel_test {
namespace {

using namespace skeinlab::testing;

FrameSet many_trefoils(int count, int points) {
    FrameSet frames;
    for (int i = 0; i < count; ++i) frames.push_back(torus_knot(2, 3, points, kPhase + 0.001 * i));
    return frames;
}

bool cancelled(const Failure& failure) { return failure.kind == Failure::Kind::Cancelled; }

TEST(Cancellation, ATokenWithAParentStopsWithItAndAlone) {
    CancelToken call;
    CancelToken child(&call);
    EXPECT_FALSE(child.requested());
    child.request();
    EXPECT_TRUE(child.requested());
    EXPECT_FALSE(call.requested());  // the child stopped alone
    CancelToken other(&call);
    call.request();
    EXPECT_TRUE(other.requested());
    const TokenScope scope(&other);
    EXPECT_THROW(cancellation_point(), Cancelled);
}

TEST(Cancellation, ARequestedTokenStopsTheCall) {
    CancelToken token;
    token.request();
    const CallControl control{&token, {}};
    const auto typed = classify_frames(many_trefoils(4, 100), builtin_table(), options_for(true), std::nullopt,
                                       control);
    ASSERT_TRUE(std::holds_alternative<Failure>(typed));
    EXPECT_TRUE(cancelled(std::get<Failure>(typed)));
    const auto sized = compute_knot_size(many_trefoils(2, 100), builtin_table(), options_for(true), 2, control);
    EXPECT_TRUE(cancelled(std::get<Failure>(sized)));
}

TEST(Cancellation, ThePollOfTheWaitingCallerCancelsRunningWork) {
    CancelToken token;
    std::atomic<int> polls{0};
    const CallControl control{&token, [&] {
                                  if (++polls == 2) token.request();
                              }};
    // Long enough that the caller polls while the workers run (one 20,000-point core search).
    const auto sized =
        compute_knot_size({torus_knot(2, 3, 20000)}, builtin_table(), options_for(true), std::nullopt, control);
    ASSERT_TRUE(std::holds_alternative<Failure>(sized));
    EXPECT_TRUE(cancelled(std::get<Failure>(sized)));
    EXPECT_GE(polls.load(), 2);
    // The same shared pool then types as usual.
    const auto after = classify_frames(many_trefoils(3, 100), builtin_table(), options_for(true), std::nullopt);
    EXPECT_EQ(std::get<std::vector<std::string>>(after), (std::vector<std::string>{"3_1", "3_1", "3_1"}));
}

}  // namespace
}  // namespace skeinlab::cancel_test
