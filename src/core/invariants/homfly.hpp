// The HOMFLY-PT polynomial of a knot diagram, exact, and the Jones polynomial
// by specialisation.
//
// Variables and skein relation (those of the KnotInfo database):
//     v^-1 P(L+) - v P(L-) = z P(L0),   P(unknot) = 1,
// with L+, L- and L0 diagrams that differ only at one crossing, positive,
// negative and smoothed. The right-handed trefoil (three positive crossings)
// has P = 2*v^2 - v^4 + v^2*z^2; the mirror image of a knot has P(v^-1, z).
// The Jones polynomial is V(t) = P(v = t, z = t^(1/2) - t^(-1/2)), so that
// the right-handed trefoil has V = t + t^3 - t^4.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "diagram/knot_diagram.hpp"

namespace skeinlab {

// A Laurent polynomial in two variables with 64-bit integer coefficients:
// each term's exponent of the first and the second variable, and its nonzero
// coefficient. Arithmetic that would overflow 64 bits throws
// std::overflow_error.
class Laurent2 {
public:
    using Exponents = std::pair<std::int32_t, std::int32_t>;

    Laurent2() = default;
    static Laurent2 monomial(std::int64_t coefficient, std::int32_t first, std::int32_t second);

    const std::map<Exponents, std::int64_t>& terms() const { return terms_; }
    bool is_zero() const { return terms_.empty(); }

    Laurent2& operator+=(const Laurent2& other);
    friend Laurent2 operator*(const Laurent2& a, const Laurent2& b);
    // The polynomial times coefficient * x^first * y^second.
    Laurent2 times(std::int64_t coefficient, std::int32_t first, std::int32_t second) const;
    friend bool operator==(const Laurent2&, const Laurent2&) = default;

    // Terms by increasing exponent of the second variable, then of the first,
    // as "2*v^2-v^4+v^2*z^2" (names given); "0" for the zero polynomial.
    std::string text(const char* first = "v", const char* second = "z") const;

private:
    void add_term(const Exponents& e, std::int64_t c);
    std::map<Exponents, std::int64_t> terms_;
};

// The polynomial of a text as Laurent2::text writes it (first and second the
// variables' names): terms "c*x^a*y^b" joined by + and -, with a coefficient
// of 1 and exponents of 1 left out. Nothing for any other text.
std::optional<Laurent2> parse_laurent2(std::string_view text, char first, char second);

// The HOMFLY-PT polynomial of a planar knot diagram in v (first) and z
// (second), by the skein tree of descending diagrams: walking the diagram
// from a base point, the first crossing met first from below is switched
// (one branch) and smoothed (the other), until every diagram is descending,
// that is, an unlink of c components with P = ((v^-1 - v) / z)^(c - 1).
// The cost grows with 2 to the number of crossings: meant for diagrams of up
// to about 20 crossings. Nothing when a coefficient would not fit 64 bits.
// Checks for cancellation every few thousand diagrams.
std::optional<Laurent2> homfly_polynomial(const KnotDiagram& diagram);

// The HOMFLY-PT polynomial of the mirror image: P(v^-1, -z).
Laurent2 mirror_homfly(const Laurent2& homfly);

// The Jones polynomial V(t) of a knot from its HOMFLY-PT polynomial, as a
// Laurent polynomial in t (first variable; the second exponent is 0).
// Knots have only even powers of z, so t stays integral.
Laurent2 jones_from_homfly(const Laurent2& homfly);

}  // namespace skeinlab
