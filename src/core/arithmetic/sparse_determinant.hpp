// The determinant, modulo a prime, of a sparse square matrix whose entries are
// polynomials c0 + c1 t evaluated at one point: sparse Gaussian elimination
// with Markowitz pivoting (the column with the fewest entries, then its
// shortest row), which keeps the fill low on the nearly planar sparsity of
// knot diagrams.
//
// The first evaluation records its elimination as a straight-line program
// (every entry it creates, from which two entries and by which pivot); later
// evaluations at other points and primes replay it on a flat array, and fall
// back to a fresh elimination when one of its pivots is zero there. A program
// too large for its budget is recorded compact (only live values kept), and a
// recording that would take more memory than is available stops with
// MemoryNeeded, saying how much it needs. Called on a pool worker, the
// replays of a batch of points are spread over the pool (idle workers help),
// each worker with its own buffer when the buffers fit the memory budget; the
// values are the same whoever computes them.
#pragma once

#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "arithmetic/modular.hpp"

namespace skeinlab {

// One matrix entry: c0 + c1 t in column `col`.
struct LinearEntry {
    std::uint32_t col;
    std::int64_t c0;
    std::int64_t c1;
};

class SparseDeterminant {
public:
    // `rows` is an n x n matrix: each row's entries in increasing column order,
    // columns below n, no column twice in a row.
    SparseDeterminant(std::size_t n, std::vector<std::vector<LinearEntry>> rows);

    std::size_t size() const { return n_; }
    const std::vector<std::vector<LinearEntry>>& rows() const { return pattern_; }
    // The recorded program's operations (entries it computes), or those of
    // the elimination find_pivot_order() followed; 0 before either.
    std::size_t program_operations() const { return have_program_ ? ops_.size() : order_operations_; }
    // The recorded program's pivots, (row, column) step by step: an order
    // that holds at every point where its pivots are non-zero (the recording
    // keeps entries that happen to be zero); or find_pivot_order()'s. Empty
    // without either.
    struct Pivot {
        std::uint32_t row;
        std::uint32_t col;
    };
    const std::vector<Pivot>& pivot_order() const { return have_program_ || have_order_ ? pivots_ : no_pivots_; }
    // The pivot order (and the operations) of an elimination at t = x modulo
    // f.p that keeps entries which happen to be zero, as a recording does,
    // without recording its program (which can take gigabytes: only the
    // elimination's current rows are kept, and released at the end). Before
    // the first evaluation, which still records a program. False when the
    // pivot search found only zeros (no order then).
    bool find_pivot_order(const modular::Field& f, std::uint64_t x);
    // The determinant at t = x modulo f.p by an elimination of its own,
    // recording nothing.
    std::uint64_t evaluate_once(const modular::Field& f, std::uint64_t x) { return eliminate(f, x, false); }

    // A program whose values (eight points at a time) would take more than
    // this many bytes is recorded in compact form; set before the first
    // evaluation (0 makes every program compact: the default where replays
    // use vector arithmetic, whose compact programs are also the faster;
    // else 1 GiB). Evaluations
    // throw MemoryNeeded (a std::bad_alloc) when even the compact program
    // outgrows the memory available (runtime/memory.hpp).
    void set_plain_program_bytes(std::size_t bytes) { plain_program_bytes_ = bytes; }
    // Replays use vector arithmetic where the processor has it (AVX2 and
    // FMA) unless this is false; the values are the same either way. Set
    // before the first evaluation.
    void set_vector_replays(bool allowed) { vector_replays_allowed_ = allowed && vector_replays_allowed_; }
    // Compact programs replayed with vector arithmetic take eight points at a
    // time while the values of eight take at most this many bytes, four
    // beyond (the default, 4 MiB: past it eight points at a time wait on
    // memory; a confined 3,000-bead ring's 105,903 slots replay a fifth
    // faster four at a time, and two workers no longer slow each other).
    void set_eight_lane_bytes(std::size_t bytes) { eight_lane_bytes_ = bytes; }

    // The determinant at t = x, modulo f.p.
    std::uint64_t evaluate(const modular::Field& f, std::uint64_t x);
    // The determinants at t = xs[0], ..., xs[count - 1]: the recorded program
    // runs on several points at once, which keeps the multipliers busy.
    void evaluate(const modular::Field& f, const std::uint64_t* xs, std::uint64_t* out, std::size_t count);

private:
    static constexpr std::uint32_t kNone = UINT32_MAX;
    struct Entry {
        std::uint32_t col;
        std::uint32_t slot;  // where the recorded program keeps this value
        std::uint64_t value;
    };
    // A value of the program: a - (factor / pivot) * b, with a missing a
    // (kNone) left out (b is always there: entries the pivot row does not
    // reach keep their values and slots). It goes to the next slot, or in a
    // compact program to its slot in op_slots_ (a's own when there is an a:
    // a row's entry is updated in place; else a slot freed before, so that
    // the slots hold what is alive, not every value ever made).
    struct Op {
        std::uint32_t a;
        std::uint32_t b;
    };
    // One row update: the factor's slot and the ops writing the new row.
    struct Update {
        std::uint32_t factor;
        std::uint32_t end;  // ops of this update end here
    };
    struct Step {
        std::uint32_t pivot;
        std::uint32_t end;  // updates of this step end here
        bool unit;          // the pivot is an entry +-1 of the matrix itself (its own inverse)
    };

    // Gaussian elimination with pivot search; records the program when asked
    // (keeping entries that happen to be zero, so that the program holds at
    // every point), compact when the plain one outgrows its budget.
    std::uint64_t eliminate(const modular::Field& f, std::uint64_t x, bool record);
    // What an elimination keeps: only its value (plain), its program
    // (record), or its pivots and the number of operations a program would
    // have (order; zeros kept as when recording).
    enum class Mode { plain, record, order };
    // One elimination with pivot search in that mode; a plain recording stops
    // and sets outgrown_ when its values would pass plain_program_bytes_.
    std::uint64_t eliminate_once(const modular::Field& f, std::uint64_t x, Mode mode);
    // The state of one elimination, its pivot search and row updates shared
    // by the modes (arithmetic/sparse_elimination.cpp).
    struct Elimination;
    // The memory of a recording so far, with `slots` values.
    std::size_t recording_bytes(std::size_t slots) const;
    // Runs the program on L points at once (xs[0], ..., xs[points - 1], the
    // first repeated in the lanes left); ok[i] is false where a pivot is zero
    // at xs[i]. The pivots' inverses are shared by the lanes, and L words of
    // each value lie together.
    static constexpr std::size_t kLanes = 8;
    template <std::size_t L>
    void replay(const modular::Field& f, const std::uint64_t* xs, std::size_t points, std::uint64_t* out, bool* ok,
                std::vector<std::uint64_t>& values) const;
    // The same on L points with the values in doubles, vectorised: for
    // primes below 2^kPrimeBits on processors with AVX2 and FMA.
    template <std::size_t L>
    void replay_vector(const modular::Field& f, const std::uint64_t* xs, std::size_t points, std::uint64_t* out,
                       bool* ok, std::vector<std::uint64_t>& values) const;
    bool vector_replays(const modular::Field& f) const;
    // The pivots' inverses a replay uses (Montgomery form, L lanes per
    // step that divides), computed a batch at a time; `next` is the next
    // step's.
    struct InverseCursor {
        std::vector<std::uint64_t> inverses, prefix;
        std::size_t batch = 0, next = 0;
    };
    // At step s of a replay: when s starts an inverse batch, the inverses
    // of its pivots that need one, read by pivot_of(slot, lane).
    template <std::size_t L, class PivotOf>
    void start_step(const modular::Montgomery& m, std::size_t s, const PivotOf& pivot_of,
                    InverseCursor& cursor) const;
    // Points per replay of the recorded program: four in a compact one
    // replayed in words (half the memory), else eight.
    std::size_t program_lanes() const { return compact_ && !vector_replays_allowed_ ? kLanes / 2 : kLanes; }
    // Points per replay once the program is recorded: program_lanes(), or
    // four in a compact program whose values of eight points would pass
    // eight_lane_bytes_.
    std::size_t replay_lanes() const {
        const bool large = compact_ && kLanes * std::size_t{total_slots_} * sizeof(std::uint64_t) > eight_lane_bytes_;
        return large ? kLanes / 2 : program_lanes();
    }
    // A replay buffer for one worker: taken from the spare ones or made.
    std::vector<std::uint64_t> take_buffer();
    void give_back(std::vector<std::uint64_t> buffer);

    std::size_t n_;
    std::vector<std::vector<LinearEntry>> pattern_;
    // Work space kept between evaluations.
    std::vector<std::vector<Entry>> rows_;
    std::vector<std::vector<std::uint32_t>> col_rows_;
    std::vector<std::uint32_t> col_count_;
    std::vector<std::uint8_t> row_done_;
    std::vector<Entry> scratch_;
    // The recorded program.
    bool recorded_ = false;
    bool have_program_ = false;
    bool have_order_ = false;  // pivots_ from find_pivot_order()
    std::size_t order_operations_ = 0;
    std::uint32_t initial_slots_ = 0;
    std::uint32_t total_slots_ = 0;  // slots the program uses
    bool compact_ = false;           // recording reuses slots
    bool outgrown_ = false;          // the last plain recording stopped over its budget
    bool vector_replays_allowed_;  // the processor has the arithmetic, and it is allowed
    std::size_t plain_program_bytes_;
    std::size_t eight_lane_bytes_ = std::size_t{4} << 20;
    std::vector<Op> ops_;
    std::vector<std::uint32_t> op_slots_;  // compact programs only
    std::vector<Update> updates_;
    std::vector<Step> steps_;
    std::vector<Pivot> pivots_;
    const std::vector<Pivot> no_pivots_;
    // The first step of each batch of steps whose pivots are inverted
    // together (none of them written within the batch).
    std::vector<std::uint32_t> inverse_batches_;
    bool odd_permutation_ = false;
    // Replay buffers not in use (one per worker that has replayed), kept for
    // the next evaluations of this matrix.
    std::mutex spare_mutex_;
    std::vector<std::vector<std::uint64_t>> spare_;
};

}  // namespace skeinlab
