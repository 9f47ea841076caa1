// Krylov images (arithmetic/wiedemann) of a sparse determinant's matrix
// modulo the primes drawn one after another, computed ahead over the pool's
// workers: the factors they run on at t = 1 where the matrix allows, the
// primes in groups side by side in vector arithmetic, and no further ahead
// than the primes still needed once the coefficients known so far show how
// many those are. With one worker, a batch at a time; with several, the
// other workers compute the next groups as they become free while the
// caller takes the images in order, and a worker with no group to start
// takes half of each step of one in flight (arithmetic/shared_steps). An
// image depends only on its prime's draw (its own stream), never on who
// computes it or when.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "arithmetic/bigint.hpp"
#include "arithmetic/sparse_lu.hpp"
#include "arithmetic/wiedemann.hpp"

namespace skeinlab {

// The widths of a Krylov batch's groups for `primes` primes on `workers`
// workers: four primes side by side, or two (a group of two takes about
// two thirds of the time of one of four, and one prime alone, in words,
// about as long as two), spread as evenly as these widths allow.
std::vector<std::size_t> batch_widths(std::size_t primes, std::size_t workers);

// The primes still needed after those whose product has `modulus_bits`, read
// off the coefficients known so far (a symmetric polynomial's, lowest power
// first): a knot's coefficients grow like a Gaussian from both ends towards
// the middle, so that their bit lengths lie close to a parabola about the
// middle. Those already well below the modulus (from the ends inwards) give
// the parabola, hence the length of the largest coefficient and the primes
// the recovery's stopping rule will want (8 bits of room above every
// coefficient). A guess: too few primes cost one more batch, too many the
// images left unused. Nothing before enough coefficients are known.
std::optional<std::size_t> primes_still_needed(const std::vector<BigInteger>& values, std::size_t modulus_bits,
                                               std::size_t bits_per_prime);

// LU factors at t = 1 of the n x n matrix `rows` (as for SparseDeterminant)
// in the order of an elimination of its entries at 1, when it is invertible
// there; nothing otherwise. A knot's matrix always is, with determinant
// +-1: its entries at 1 are those of the under-passages, a path's incidence
// matrix, whose factors in that order have no fill (arithmetic/unit_forest),
// so that a solve takes a few operations per row instead of a pass over the
// fill of a random point's factors.
std::optional<SparseLU> factors_at_one(std::size_t n, const std::vector<std::vector<LinearEntry>>& rows);

class ImagesAhead;

class KrylovBatches {
public:
    // The Krylov image modulo the prime drawn `draw`-th, from factors at t0
    // (0 and no pencil when no factors were found; no pencil when the
    // sequence passed the degree allowed).
    struct Pending {
        std::size_t draw = 0;
        std::uint64_t t0 = 0;
        std::optional<PencilImage> pencil;
    };

    // Computes the images of the primes drawn `draw`, `draw` + 1, ... on
    // `lu` (at its point, or random points), replacing those kept: a group
    // on every worker, full while the primes still needed are unknown, then
    // only as wide as `primes_hint`; `beside` (if any) runs in the place of
    // one worker's group (with one worker, before its group). Images kept
    // before `draw` stay. With several workers it returns once `beside` has
    // run, the other workers' groups going on (take() waits for them, and
    // `lu` must outlive them: clear() or the destructor stops them).
    void launch(const SparseLU& lu, std::size_t draw, std::size_t max_degree, std::optional<std::size_t> primes_hint,
                const std::function<void()>& beside);
    // Keeps `images` (of the first primes drawn, computed ahead on another
    // matrix) as if computed here, their values det A(1) replaced by
    // `values_at_one` (this matrix's, one per image).
    void adopt(std::vector<Pending> images, const std::vector<std::uint64_t>& values_at_one);
    // The same for the images of the draws [0, values_at_one.size()) that
    // `ahead` computes (ImagesAhead::promised()), `values_at_one` by draw:
    // taken from it (and waited for) when take() first needs one of them.
    void adopt(std::shared_ptr<ImagesAhead> ahead, std::vector<std::uint64_t> values_at_one);
    // The image of the prime drawn `draw`-th: one computed ahead, or the
    // first of a new batch.
    Pending take(const SparseLU& lu, std::size_t draw, std::size_t max_degree, std::optional<std::size_t> primes_hint);
    // Drops the images kept (and stops those being computed).
    void clear();

    KrylovBatches() = default;
    ~KrylovBatches();
    KrylovBatches(const KrylovBatches&) = delete;
    KrylovBatches& operator=(const KrylovBatches&) = delete;

private:
    std::deque<Pending> pending_;
    // With several workers, batches do not end together: the other workers
    // compute groups of the next primes as they become free, up to a limit
    // the images taken so far set, and the caller computes one while the
    // image it needs is still being computed (see launch()).
    struct Producers;
    std::shared_ptr<Producers> producers_;
    void stop_producers();
    // Images still being computed ahead, and this matrix's values at 1 by draw.
    std::shared_ptr<ImagesAhead> ahead_;
    std::vector<std::uint64_t> ahead_values_;
};

// The first Krylov images at t = 1 of a matrix (on its factors_at_one, made
// by `factors`), computed on the pool's other workers (a group on each)
// while the caller goes on with other work: the rest of a simplification,
// say. Another diagram of the same knot has the same images but for the
// value at 1 (+-1) and the power of t: its recovery adopts them
// (KrylovBatches::adopt), so that the workers idle while the diagram is
// still being simplified compute its first images, and the caller, once
// done, goes on with its own work until it needs them. Which images these
// are depends on the number of workers only.
class ImagesAhead {
public:
    // Posts the computation to the calling worker's pool; nothing outside a
    // pool or on a pool of one worker.
    static std::shared_ptr<ImagesAhead> start(std::function<std::optional<SparseLU>()> factors);
    // Stops the computation (at its next cancellation point) and waits for
    // it to end.
    ~ImagesAhead();
    ImagesAhead(const ImagesAhead&) = delete;
    ImagesAhead& operator=(const ImagesAhead&) = delete;

    // The images are of the draws [0, promised()) once a worker has begun
    // computing them. 0 when none has (every worker was busy): the
    // computation is then dropped and never runs.
    std::size_t promised();
    // Whether a worker has begun the computation (which promised() then
    // counts rather than drops).
    bool begun() const;
    // The images, waited for (the caller takes half of each step of theirs
    // meanwhile): none when the computation was dropped or the matrix has no
    // factors at 1. Rethrows what the computation threw.
    std::vector<KrylovBatches::Pending> take();

private:
    struct State;
    explicit ImagesAhead(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::shared_ptr<State> state_;
};

}  // namespace skeinlab
