// Error values of the core. Core operations return Result<T>: either a value
// or a KnotError. Broken internal invariants (which only a 64-bit coefficient
// wrap-around can cause) are not KnotErrors: they throw InternalError, which
// the frame drivers and the Python boundary catch.
#pragma once

#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

namespace skeinlab {

class KnotError {
public:
    enum class Kind { Io, PolynomialParse, DataParse, NotFound };

    static KnotError io(std::string system_text) { return {Kind::Io, std::move(system_text)}; }
    static KnotError polynomial_parse(std::string m) { return {Kind::PolynomialParse, std::move(m)}; }
    static KnotError data_parse(std::string m) { return {Kind::DataParse, std::move(m)}; }
    static KnotError not_found(std::string polynomial_text) { return {Kind::NotFound, std::move(polynomial_text)}; }

    Kind kind() const { return kind_; }
    // The payload: the system text, the parse message, or the polynomial text.
    const std::string& message() const { return message_; }
    // The text the error displays, e.g. "failed to parse data: line 3: ...".
    std::string display() const;

    // Context given beside the message without changing it: which line of a
    // file is not valid UTF-8 ("" when none).
    const std::string& note() const { return note_; }
    KnotError with_note(std::string note) && {
        note_ = std::move(note);
        return std::move(*this);
    }

private:
    KnotError(Kind kind, std::string message) : kind_(kind), message_(std::move(message)) {}
    Kind kind_;
    std::string message_;
    std::string note_;
};

// A value or a KnotError.
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
    Result(KnotError error) : v_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() & { return std::get<0>(v_); }
    const T& value() const& { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    const KnotError& error() const { return std::get<1>(v_); }

private:
    std::variant<T, KnotError> v_;
};

struct Unit {};
using Status = Result<Unit>;
inline Status ok_status() { return Unit{}; }

// Thrown when an invariant of the core is broken; carries the internal message.
class InternalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Thrown before a computation allocates memory it cannot have: a kind of
// std::bad_alloc (whoever handles running out of memory handles it), whose
// message says how much the computation needs and how much is available.
class MemoryNeeded : public std::bad_alloc {
public:
    explicit MemoryNeeded(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// "{description} (os error {errnum})", the description being the C library's.
std::string os_error_text(int errnum);

// Writes one diagnostic line and its newline to standard error in a single
// write, so that lines from several worker threads never mix.
void write_debug_line(std::string line);

}  // namespace skeinlab
