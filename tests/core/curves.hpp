// Sampled space curves that knot theorists recognise, for geometry tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>

#include "geometry/geometry.hpp"

namespace skeinlab::testing {

inline constexpr double kTwoPi = 6.283185307179586;
// Sample phase chosen so that no projected crossing falls on a sample point.
inline constexpr double kPhase = 0.0123;

// The (p, q) torus knot on a torus of radii 3 and 1.
inline Chain torus_knot(int p, int q, int n, double phase = kPhase) {
    Chain c;
    for (int i = 0; i < n; ++i) {
        const double t = kTwoPi * i / n + phase;
        const double r = 3.0 + std::cos(q * t);
        c.push_back({r * std::cos(p * t), r * std::sin(p * t), std::sin(q * t)});
    }
    return c;
}

// A figure-eight knot (a Lissajous-like parametrisation).
inline Chain figure_eight(int n) {
    Chain c;
    for (int i = 0; i < n; ++i) {
        const double t = kTwoPi * i / n + kPhase;
        c.push_back({(2.0 + std::cos(2 * t)) * std::cos(3 * t), (2.0 + std::cos(2 * t)) * std::sin(3 * t),
                     std::sin(4 * t)});
    }
    return c;
}

inline Chain circle(int n, double radius = 1.0) {
    Chain c;
    for (int i = 0; i < n; ++i) {
        const double t = kTwoPi * i / n;
        c.push_back({radius * std::cos(t), radius * std::sin(t), 0.0});
    }
    return c;
}

// A knot tied in the middle of an open chain with long straight tails along z.
inline Chain with_tails(const Chain& knot, int tail_points, double tail_length) {
    Chain c;
    const Point3 a = knot.front();
    for (int i = tail_points; i >= 1; --i) c.push_back({a.x, a.y, a.z + tail_length * i / tail_points});
    c.insert(c.end(), knot.begin(), knot.end());
    const Point3 b = knot.back();
    for (int i = 1; i <= tail_points; ++i) c.push_back({b.x, b.y, b.z - tail_length * i / tail_points});
    return c;
}

// A ring as the closed polygon typing projects: its first point repeated at
// the end.
inline Chain closed(Chain ring) {
    ring.push_back(ring.front());
    return ring;
}

// The mirror image of a chain (z negated).
inline Chain mirrored(Chain c) {
    for (Point3& p : c) p.z = -p.z;
    return c;
}

// A Gaussian random walk of n points from the origin; `pull` draws each step
// back towards the origin (0: free walk, larger: more compact).
inline Chain seeded_walk(std::size_t n, std::uint64_t seed, double pull) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> normal;
    Chain c;
    Point3 p{0, 0, 0};
    for (std::size_t i = 0; i < n; ++i) {
        c.push_back(p);
        p = {p.x + normal(rng) - pull * p.x, p.y + normal(rng) - pull * p.y, p.z + normal(rng) - pull * p.z};
    }
    return c;
}

}  // namespace skeinlab::testing
