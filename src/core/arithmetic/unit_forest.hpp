// Solves with sparse LU factors that are a forest's, several primes side by
// side in vector arithmetic (arithmetic/vector_residues): every step has at
// most one entry off the diagonal, all in L or all in U, and every pivot and
// entry is +1 or -1. A knot's matrix at t = 1 is such a matrix: its entries
// there are its under-passages', a path's incidence matrix, and an order
// along the path factors it without fill (arithmetic/sparse_lu finds it).
//
// A solve is then a walk along trees, x_s = eps_s b_s + eta_s x_parent(s),
// each step waiting on the one before. The walk's positions (the steps
// upwards for L, downwards for U) are cut into blocks whose walks run side by
// side, each leaving out what enters its block: z_s. Then x_s = z_s + c_s
// a_slot(s), with a the true values at the anchors (the last steps before a
// block on the walks that enter it: a few) and c_s +-1 or 0. A Krylov
// sequence keeps its vectors that way, z and a, and never needs the second
// pass a true vector takes: the next step reads its two entries of A1 w
// through a, and the dot product u . x is u . z plus one term per anchor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace skeinlab {

// The primes of a vector's lanes (two or four) and their inverses, as
// SparseLU::PrimeLanes holds them.
struct LaneModuli {
    std::size_t lanes;
    const double* p;
    const double* p_inverse;
};

class UnitForest {
public:
    static constexpr std::uint32_t kNone = UINT32_MAX;
    // Step s of the factors: its pivot (+-1), its entry off the diagonal
    // (+-1, at step `other_step`; 0 and kNone without one) and its row of A1
    // (+1 at step `plus`, -1 at step `minus`, kNone where absent). Steps
    // are numbered as SparseLU numbers them.
    struct Step {
        std::int64_t pivot;
        std::int64_t other;
        std::uint32_t other_step;
        std::uint32_t plus, minus;
    };
    // Nothing unless every pivot and entry is +-1, the entries off the
    // diagonal lie on one side of it (`backward`: above, in U) and the walks
    // enter blocks at few enough anchors.
    static std::optional<UnitForest> make(bool backward, const std::vector<Step>& steps);

    std::size_t size() const { return n_; }
    std::size_t anchors() const { return anchors_.size(); }

    // A vector as a Krylov sequence keeps it: entry s is z_s + c_s a_slot(s)
    // (z: lanes * size() residues by step, a: lanes * anchors()). A true
    // vector is its z with a = 0.
    struct Vector {
        std::vector<double> z, a;
    };
    // y = A^-1 A1 w, and the residues in [0, p) of u . y, one per lane.
    // `u_anchors` from anchor_dots(u).
    void step(const LaneModuli& m, const double* u, const std::vector<double>& u_anchors, const Vector& w, Vector& y,
              std::uint64_t* terms) const;
    // The same step in two halves that threads may take at once:
    // step_halves() readies y, step_half(k) walks the k-th half of the blocks
    // (its share of u . y into sums + lanes * k), and step_end(), once both
    // halves are done, completes y and the terms. The same y and terms as
    // step().
    static constexpr std::size_t kHalves = 2;
    void step_halves(const LaneModuli& m, Vector& y) const;
    void step_half(const LaneModuli& m, const double* u, const Vector& w, Vector& y, std::size_t half,
                   double* sums) const;
    void step_end(const LaneModuli& m, const std::vector<double>& u_anchors, Vector& y, const double* sums,
                  std::uint64_t* terms) const;
    // For each anchor, the sum of c_s u_s over the steps s that read it.
    std::vector<double> anchor_dots(const LaneModuli& m, const double* u) const;

    // The same on true vectors (by step, residues in (-p, p)): x = A^-1 b in
    // place, and v = A^-1 A1 w.
    void solve(const LaneModuli& m, double* v) const;
    void solve_t_part(const LaneModuli& m, const double* w, double* v) const;

private:
    UnitForest() = default;

    static constexpr std::size_t kBlocks = 8;  // walks side by side: enough to hide one step's latency
    // A sign as a code: 0 for 0, 1 for +1, 2 for -1.
    static std::uint8_t code(std::int64_t sign) { return sign == 0 ? 0 : sign > 0 ? 1 : 2; }

    // What a step reads, by step: its entries of A1 (with the anchor slot and
    // sign through which each is read) and its own terms.
    struct Row {
        std::uint32_t plus, minus;
        std::uint8_t plus_slot = 0, minus_slot = 0, plus_c = 0, minus_c = 0, eta = 0;
        std::uint8_t flags = 0;  // kHasPlus, kHasMinus, kEpsNegative, kFarParent
    };
    static constexpr std::uint8_t kHasPlus = 1, kHasMinus = 2, kEpsNegative = 4;
    static constexpr std::uint8_t kFarParent = 8;  // the parent is not the step before on the walk
    struct Fix {
        std::uint8_t slot, c;  // entry s is z_s + c a_slot
    };

    struct Kernels;  // the walks in vector arithmetic

    std::size_t n_ = 0;
    bool backward_ = false;
    std::uint32_t block_start_[kBlocks + 1] = {};
    std::vector<Row> rows_;
    std::vector<std::uint32_t> parent_;   // read only for far parents
    std::vector<Fix> fix_;                // each step's own
    std::vector<std::uint32_t> anchors_;  // steps, in the walk's order
};

}  // namespace skeinlab
