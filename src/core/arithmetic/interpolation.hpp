// Interpolation over a prime field: Newton's form, one point at a time (its
// coefficients show when the points so far already determine the
// polynomial), and the Laurent coefficients of a polynomial in x + 1/x.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "arithmetic/modular.hpp"

namespace skeinlab {

// Newton interpolation over a prime field, one point at a time.
class NewtonInterpolation {
public:
    explicit NewtonInterpolation(const modular::Field& f) : f_(f) {}
    std::size_t size() const { return nodes_.size(); }
    bool has_node(std::uint64_t y) const { return std::find(nodes_.begin(), nodes_.end(), y) != nodes_.end(); }
    // Adds (y, v) and returns the new Newton coefficient: zero exactly when the
    // interpolant of the earlier points already takes v at y.
    std::uint64_t add(std::uint64_t y, std::uint64_t v);
    // The interpolant of the first `count` points in the monomial basis.
    std::vector<std::uint64_t> monomial(std::size_t count) const;

private:
    modular::Field f_;
    std::vector<std::uint64_t> nodes_;
    std::vector<std::uint64_t> coeffs_;
};

// The coefficients of x^-m .. x^m of q(x + 1/x), for q of degree m.
std::vector<std::uint64_t> laurent_of_symmetric(const modular::Field& f, const std::vector<std::uint64_t>& q);

}  // namespace skeinlab
