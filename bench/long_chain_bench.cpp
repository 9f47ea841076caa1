// Typing long and compact rings, stage by stage, as knot typing does it: KMT
// reduction, crossing search, the simplification of large diagrams
// (Reidemeister moves and strand passes) and the exact determinant, with the
// size of the diagram after each and the peak memory of each chain.
//
// usage: long_chain_bench [--evaluations | --krylov] [--quick | KIND N [SEED] | --write KIND N FILE [SEED]]
//
// KIND is walk, globule or confined. --write saves one chain as an XYZ frame,
// to time other builds on the same input. --evaluations finds every image of
// the determinant modulo a prime by evaluations (no Krylov images), --krylov
// by Krylov sequences wherever it can, to compare the two in one build.
//
// Chains come from fixed-seed generators (seed 1 unless given): random-walk
// rings of unit Gaussian steps; globules, random walks pulled toward their
// centre (the shape of a collapsed polymer); confined walks, each position
// 0.9 times the last plus a random unit step (a ring squeezed into a ball of
// a few bond lengths whatever its length: the densest of the three). Times are
// wall-clock on one thread; `ops` is the work of each evaluation of the
// determinant (the operations of its recorded elimination), `kry` the images
// found from one factorisation and a Krylov sequence each (and `solves` their
// solves with the factors); peak memory is the process's resident peak, reset
// before each chain.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "analysis/knottype.hpp"
#include "diagram/knot_diagram.hpp"
#include "diagram/reidemeister.hpp"
#include "geometry/crossings.hpp"
#include "invariants/alexander.hpp"
#include "io/xyz.hpp"
#include "reduction/kmt.hpp"

using namespace skeinlab;

namespace {

KrylovImages krylov_images = KrylovImages::automatic;

// n points from the origin, each the last moved by next(last, three normal
// draws), the draws from a fixed-seed generator.
template <class Next>
Chain walk(std::size_t n, std::uint64_t seed, Next next) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> normal;
    Chain c;
    Point3 p{0, 0, 0};
    for (std::size_t i = 0; i < n; ++i) {
        c.push_back(p);
        const double x = normal(rng), y = normal(rng), z = normal(rng);
        p = next(p, x, y, z);
    }
    return c;
}

Chain random_walk(std::size_t n, std::uint64_t seed, double pull) {
    return walk(n, seed, [pull](const Point3& p, double x, double y, double z) {
        return Point3{p.x + x - pull * p.x, p.y + y - pull * p.y, p.z + z - pull * p.z};
    });
}

// A pull of n^(-2/3) keeps the walk within a ball of radius about n^(1/3).
Chain globule(std::size_t n, std::uint64_t seed) { return random_walk(n, seed, 10 * std::pow(double(n), -2.0 / 3.0)); }

Chain confined(std::size_t n, std::uint64_t seed) {
    return walk(n, seed, [](const Point3& p, double x, double y, double z) {
        const double r = std::sqrt(x * x + y * y + z * z);
        return Point3{0.9 * p.x + x / r, 0.9 * p.y + y / r, 0.9 * p.z + z / r};
    });
}

Chain make_chain(const char* kind, std::size_t n, std::uint64_t seed) {
    if (std::strcmp(kind, "walk") == 0) return random_walk(n, seed, 0.0);
    if (std::strcmp(kind, "confined") == 0) return confined(n, seed);
    return globule(n, seed);
}

// The process's resident peak in MB since the last reset.
long peak_mb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6)) / 1024;
    return -1;
}
void reset_peak() { std::ofstream("/proc/self/clear_refs") << "5"; }

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

void run(const char* kind, std::uint64_t seed, const Chain& chain) {
    reset_peak();
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
    std::optional<KnotDiagram> diagram = diagram_of_projection(projected);
    const double t_cross = seconds_since(t0);
    if (!diagram) {
        std::printf("%-8s %7zu: no knot diagram in this projection\n", kind, chain.size());
        return;
    }
    const std::size_t crossings = diagram->crossings();

    // As knot typing does: large diagrams simplified first.
    t0 = std::chrono::steady_clock::now();
    if (crossings >= kSimplifiedCrossings) simplify_for_determinant(*diagram);
    const double t_simplify = seconds_since(t0);

    t0 = std::chrono::steady_clock::now();
    AlexanderStats stats;
    const ExactPolynomial poly =
        alexander_polynomial(alexander_matrix(*diagram), &stats, kDenseMinorLimit, krylov_images);
    const double t_det = seconds_since(t0);
    const std::size_t degree = poly.small ? (poly.small->coeffs.empty() ? 0 : poly.small->coeffs.size() - 1)
                                          : poly.big.size() - 1;
    char before_text[32];
    if (before) std::snprintf(before_text, sizeof before_text, "%zu", before);
    else std::snprintf(before_text, sizeof before_text, "-");
    std::printf(
        "%-8s %4llu %7zu %6zu %10s %9zu %10zu %7.3f %7.3f %8.3f %8.3f %8.3f %6zu %6zu %4zu %7zu %5zu %6s %9zu %7ld\n",
        kind, static_cast<unsigned long long>(seed), chain.size(), work.size() - 1, before_text, crossings,
        diagram->crossings(), t_kmt, t_cross, t_simplify, t_det, t_kmt + t_cross + t_simplify + t_det, degree,
        stats.evaluations, stats.krylov_images, stats.solves, stats.primes,
        stats.dense ? "dense" : (stats.symmetric ? "t+1/t" : "t"), stats.operations, peak_mb());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--evaluations") == 0 || std::strcmp(argv[1], "--krylov") == 0)) {
        krylov_images = argv[1][2] == 'e' ? KrylovImages::never : KrylovImages::always;
        --argc;
        ++argv;
    }
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    if ((argc == 5 || argc == 6) && std::strcmp(argv[1], "--write") == 0) {
        const std::uint64_t seed = argc == 6 ? std::stoull(argv[5]) : 1;
        const Chain chain = make_chain(argv[2], std::stoul(argv[3]), seed);
        Result<FileWriter> writer = FileWriter::open(argv[4], false);
        if (!writer || !write_data_xyz(chain, writer.value()) || !writer.value().close()) return 1;
        return 0;
    }
    std::printf("%-8s %4s %7s %6s %10s %9s %9s %7s %7s %8s %8s %8s %6s %6s %4s %7s %5s %6s %9s %7s\n", "chain",
                "seed", "points", "kmt", "cross-in", "cross-kmt", "simplified", "kmt s", "cross s", "simpl s", "det s",
                "total s", "degree", "evals", "kry", "solves", "primes", "method", "ops", "peak MB");
    if (argc > 2 && !quick) {
        const std::uint64_t seed = argc > 3 ? std::stoull(argv[3]) : 1;
        run(argv[1], seed, make_chain(argv[1], std::stoul(argv[2]), seed));
        return 0;
    }
    for (const std::size_t n : {1000u, 10000u, 100000u}) {
        if (quick && n > 10000) continue;
        run("walk", 1, random_walk(n, 1, 0.0));
    }
    for (const std::size_t n : {300u, 500u, 1000u, 2000u}) {
        if (quick && n > 1000) continue;
        run("globule", 1, globule(n, 1));
    }
    for (const std::size_t n : {500u, 1000u}) run("confined", 1, confined(n, 1));
    return 0;
}
