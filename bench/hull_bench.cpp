// Time of the exact convex hull from 100 to 100,000 points, for points inside
// a ball (few hull vertices) and on a sphere (every point a vertex).
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>

#include "geometry/hull.hpp"

using skeinlab::Point3;

namespace {

std::vector<Point3> cloud(std::size_t n, bool on_sphere, std::mt19937_64& rng) {
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> uniform;
    std::vector<Point3> pts;
    pts.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        Point3 p{normal(rng), normal(rng), normal(rng)};
        const double len = skeinlab::length(p);
        const double r = on_sphere ? 50.0 : 50.0 * std::cbrt(uniform(rng));
        pts.push_back({p.x / len * r, p.y / len * r, p.z / len * r});
    }
    return pts;
}

}  // namespace

int main() {
    std::mt19937_64 rng(42);
    std::printf("%-8s %10s %14s %14s\n", "shape", "points", "ms per hull", "facets");
    for (const bool on_sphere : {false, true}) {
        for (const std::size_t n : {100u, 1000u, 10000u, 100000u}) {
            const std::vector<Point3> pts = cloud(n, on_sphere, rng);
            const int repeats = n <= 1000 ? 200 : (n <= 10000 ? 20 : 3);
            std::size_t facets = 0;
            const auto start = std::chrono::steady_clock::now();
            for (int r = 0; r < repeats; ++r) facets = skeinlab::build_hull(pts)->facets.size() / 3;
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / repeats;
            std::printf("%-8s %10zu %14.3f %14zu\n", on_sphere ? "sphere" : "ball", n, ms, facets);
        }
    }
    return 0;
}
