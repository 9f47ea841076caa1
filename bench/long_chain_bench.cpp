// Typing long and compact rings, stage by stage: KMT reduction, crossing
// search and the exact determinant, with the size of the diagram before and
// after KMT.
//
// usage: long_chain_bench [--quick | walk N | globule N | --write walk|globule N FILE]
//
// --write saves one chain as an XYZ frame, to time other builds on the same input.
//
// Chains come from a fixed-seed generator: random-walk rings of unit Gaussian
// steps, and compact globules (random walks pulled toward their centre, the
// shape of a collapsed polymer). Times are wall-clock on one thread.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "analysis/knottype.hpp"
#include "geometry/crossings.hpp"
#include "invariants/alexander.hpp"
#include "io/xyz.hpp"
#include "reduction/kmt.hpp"

using namespace skeinlab;

namespace {

Chain random_walk(std::size_t n, std::uint64_t seed, double pull) {
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

// A pull of n^(-2/3) keeps the walk within a ball of radius about n^(1/3).
Chain globule(std::size_t n, std::uint64_t seed) { return random_walk(n, seed, 10 * std::pow(double(n), -2.0 / 3.0)); }

std::size_t count_crossings(const Chain& closed) {
    Chain p = closed;
    choose_projection(p);
    std::size_t total = 0;
    for (const auto& row : find_crossings(p)) total += row.size();
    return total / 2;
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void run(const char* kind, const Chain& chain) {
    Chain closed = chain;
    closed.push_back(closed.front());
    const std::size_t before = chain.size() <= 20000 ? count_crossings(closed) : 0;

    auto t0 = std::chrono::steady_clock::now();
    Chain work = chain;
    kmt_ring(work);
    work.push_back(work.front());
    const double t_kmt = seconds_since(t0);

    t0 = std::chrono::steady_clock::now();
    Chain projected = work;
    choose_projection(projected);
    const auto records = find_crossings(projected);
    const double t_cross = seconds_since(t0);

    t0 = std::chrono::steady_clock::now();
    const AlexanderMatrix matrix = alexander_matrix(projected);
    AlexanderStats stats;
    const ExactPolynomial poly = alexander_polynomial(matrix, &stats);
    const double t_det = seconds_since(t0);
    const std::string text = poly.text();
    const std::size_t degree = poly.small ? (poly.small->coeffs.empty() ? 0 : poly.small->coeffs.size() - 1)
                                          : poly.big.size() - 1;
    char before_text[32];
    if (before) std::snprintf(before_text, sizeof before_text, "%zu", before);
    else std::snprintf(before_text, sizeof before_text, "-");
    std::printf("%-8s %7zu %6zu %10s %9zu %8.3f %8.3f %8.3f %8.3f %6zu %6zu %5zu  %s\n", kind, chain.size(),
                work.size() - 1, before_text, matrix.crossings, t_kmt, t_cross, t_det, t_kmt + t_cross + t_det,
                degree, stats.evaluations, stats.primes, stats.dense ? "dense" : (stats.symmetric ? "t+1/t" : "t"));
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    if (argc == 5 && std::strcmp(argv[1], "--write") == 0) {
        const std::size_t n = std::stoul(argv[3]);
        const Chain chain = std::strcmp(argv[2], "walk") == 0 ? random_walk(n, 1, 0.0) : globule(n, 1);
        Result<FileWriter> writer = FileWriter::open(argv[4], false);
        if (!writer || !write_data_xyz(chain, writer.value()) || !writer.value().close()) return 1;
        return 0;
    }
    const bool single = argc > 2;
    std::printf("%-8s %7s %6s %10s %9s %8s %8s %8s %8s %6s %6s %5s  %s\n", "chain", "points", "kmt", "cross-in",
                "cross-kmt", "kmt s", "cross s", "det s", "total s", "degree", "evals", "primes", "method");
    if (single) {
        const std::size_t n = std::stoul(argv[2]);
        run(argv[1], std::strcmp(argv[1], "walk") == 0 ? random_walk(n, 1, 0.0) : globule(n, 1));
        return 0;
    }
    for (const std::size_t n : {1000u, 10000u, 100000u}) {
        if (quick && n > 10000) continue;
        run("walk", random_walk(n, 1, 0.0));
    }
    for (const std::size_t n : {300u, 500u, 1000u, 2000u}) {
        if (quick && n > 1000) continue;
        run("globule", globule(n, 1));
    }
    return 0;
}
