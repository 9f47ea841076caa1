#include "arithmetic/interpolation.hpp"

namespace skeinlab {

std::uint64_t NewtonInterpolation::add(std::uint64_t y, std::uint64_t v) {
    std::uint64_t acc = 0, prod = 1;
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
        acc = f_.add(acc, f_.mul(coeffs_[i], prod));
        prod = f_.mul(prod, f_.sub(y, nodes_[i]));
    }
    const std::uint64_t c = f_.mul(f_.sub(v, acc), f_.inv(prod));
    nodes_.push_back(y);
    coeffs_.push_back(c);
    return c;
}

std::vector<std::uint64_t> NewtonInterpolation::monomial(std::size_t count) const {
    std::vector<std::uint64_t> poly;
    for (std::size_t i = count; i-- > 0;) {
        // poly = poly * (y - nodes_[i]) + coeffs_[i]
        std::vector<std::uint64_t> next(poly.size() + 1, 0);
        for (std::size_t k = 0; k < poly.size(); ++k) {
            next[k + 1] = f_.add(next[k + 1], poly[k]);
            next[k] = f_.sub(next[k], f_.mul(poly[k], nodes_[i]));
        }
        next[0] = f_.add(next[0], coeffs_[i]);
        poly.swap(next);
    }
    return poly;
}

std::vector<std::uint64_t> laurent_of_symmetric(const modular::Field& f, const std::vector<std::uint64_t>& q) {
    const std::size_t m = q.empty() ? 0 : q.size() - 1;
    std::vector<std::uint64_t> out(2 * m + 1, 0), power(2 * m + 1, 0), next(2 * m + 1, 0);
    power[m] = 1;  // (x + 1/x)^0
    for (std::size_t j = 0; j < q.size(); ++j) {
        for (std::size_t k = 0; k < out.size(); ++k) out[k] = f.add(out[k], f.mul(q[j], power[k]));
        for (std::size_t k = 0; k < next.size(); ++k)
            next[k] = f.add(k > 0 ? power[k - 1] : 0, k + 1 < power.size() ? power[k + 1] : 0);
        power.swap(next);
    }
    return out;
}

}  // namespace skeinlab
