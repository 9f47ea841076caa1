// Cancellation of a running call: the caller's thread requests it on a
// token; the work of that call, on whichever worker runs it, stops at its
// next cancellation point by throwing Cancelled, which the frame drivers turn
// into the call's outcome.
#pragma once

#include <atomic>
#include <exception>

namespace skeinlab {

class CancelToken {
public:
    CancelToken() = default;
    // A token also requested whenever `parent` (if any) is: work that the
    // call may stop early on its own, and that stops with the call.
    explicit CancelToken(const CancelToken* parent) : parent_(parent) {}
    void request() { requested_.store(true, std::memory_order_relaxed); }
    bool requested() const {
        return requested_.load(std::memory_order_relaxed) || (parent_ && parent_->requested());
    }

private:
    std::atomic<bool> requested_{false};
    const CancelToken* parent_ = nullptr;
};

// Thrown at a cancellation point of work whose token was requested.
struct Cancelled : std::exception {
    const char* what() const noexcept override { return "cancelled"; }
};

namespace cancel_detail {
inline thread_local const CancelToken* t_token = nullptr;
}

// The token of the work running on this thread, or nullptr.
inline const CancelToken* current_token() { return cancel_detail::t_token; }

// Makes `token` the current one on this thread for the scope's lifetime.
class TokenScope {
public:
    explicit TokenScope(const CancelToken* token) : saved_(cancel_detail::t_token) { cancel_detail::t_token = token; }
    ~TokenScope() { cancel_detail::t_token = saved_; }
    TokenScope(const TokenScope&) = delete;
    TokenScope& operator=(const TokenScope&) = delete;

private:
    const CancelToken* saved_;
};

// Throws Cancelled when the current work's call has been cancelled. Cheap: a
// thread-local read and a relaxed atomic load; long loops call it every few
// hundred steps.
inline void cancellation_point() {
    const CancelToken* token = cancel_detail::t_token;
    if (token && token->requested()) throw Cancelled();
}

}  // namespace skeinlab
