#include "arithmetic/sparse_determinant.hpp"

#include <algorithm>
#include <bit>
#include <functional>
#include <set>
#include <type_traits>
#include <utility>

#include "base/error.hpp"
#include "runtime/cancel.hpp"
#include "runtime/memory.hpp"
#include "runtime/pool.hpp"

#include "arithmetic/vector_residues.hpp"

namespace skeinlab {
namespace {

// Columns examined per pivot search: a few on small matrices, where the
// recording's cost counts (diagrams typed by the thousand), many on large
// ones, where the fill decides the cost of every replay (on globules of
// 4,000 to 11,000 crossings, 256 columns instead of 8 halve the operations
// and the time of each evaluation).
constexpr std::size_t kMarkowitzColumns = 8;
constexpr std::size_t kWideMarkowitzColumns = 256;
constexpr std::size_t kWideSearchRows = 512;

// Replays run on several workers only while each worker's buffer is at most
// this large (each holds every value of the program for eight points, four
// in a compact program replayed in words).
constexpr std::size_t kParallelBufferBytes = std::size_t{256} << 20;
// ... and only for programs long enough that a batch outweighs handing it to
// another worker (small diagrams, typed by the thousand, stay on their thread).
constexpr std::size_t kParallelOps = std::size_t{1} << 16;

// A recording reads the memory available once it takes this much.
constexpr std::size_t kMemoryReadAbove = std::size_t{64} << 20;

// A recorded program keeps every value it makes, eight points at a time; one
// whose values would take more than its budget (set_plain_program_bytes) is
// recorded again in compact form (slots reused): far less memory. Replayed
// with vector arithmetic, compact programs are also the faster (a globule's
// 12,380 crossings: 25% less time per point, 40 MB instead of 121 MB); with
// word arithmetic about 1.5 times slower per operation.

// The inverses of a[0], ..., a[n - 1], non-zero residues in Montgomery form,
// in place, with one exponentiation: the inverse of their product, then back
// through the prefix products (kept in `prefix`).
void invert_all(const modular::Montgomery& m, std::uint64_t* a, std::size_t n, std::vector<std::uint64_t>& prefix) {
    if (n == 0) return;
    prefix.resize(n);
    prefix[0] = a[0];
    for (std::size_t i = 1; i < n; ++i) prefix[i] = m.mul(prefix[i - 1], a[i]);
    std::uint64_t inv = m.pow(prefix[n - 1], m.p() - 2);
    for (std::size_t i = n; i-- > 1;) {
        const std::uint64_t ai = a[i];
        a[i] = m.mul(inv, prefix[i - 1]);
        inv = m.mul(inv, ai);
    }
    a[0] = inv;
}

#ifdef SKEINLAB_VECTOR_RESIDUES
using vector_residues::cpu_has_vector_residues;
using vector_residues::sub_mul;

// The row updates of one step on L lanes, updates[u] for u in [u, end):
// factor = (the update's factor value) * inverse, then for each of its
// operations a - factor * b (a left out where it is missing), written to
// slots[o], or to slot k without slots; o and k advance past them.
template <std::size_t L, class Update, class Op>
__attribute__((target("avx2,fma"))) void vector_step(std::uint64_t* values, const Update* updates, std::size_t u,
                                                     std::size_t end, const Op* ops, const std::uint32_t* slots,
                                                     std::size_t& o_ref, std::size_t& k_ref,
                                                     const double* inverse, double prime, std::uint32_t zero_slot) {
    // (Counters in registers: the vector stores may alias any memory.)
    std::size_t o = o_ref, k = k_ref;
    constexpr std::size_t V = L / 4;
    double* v = reinterpret_cast<double*>(values);  // read and written through vector loads and stores only
    const __m256d p = _mm256_set1_pd(prime), p_inverse = _mm256_set1_pd(1.0 / prime);
    const __m256d zero = _mm256_setzero_pd();
    __m256d inv[V], f[V];
    for (std::size_t j = 0; j < V; ++j) inv[j] = _mm256_loadu_pd(inverse + 4 * j);
    for (; u < end; ++u) {
        if (u % 1024 == 0) cancellation_point();
        const double* fv = v + L * std::size_t{updates[u].factor};
        for (std::size_t j = 0; j < V; ++j)
            f[j] = _mm256_sub_pd(zero, sub_mul(zero, _mm256_loadu_pd(fv + 4 * j), inv[j], p, p_inverse));
        for (; o < updates[u].end; ++o, ++k) {
            const Op& op = ops[o];
            double* dst = v + L * (slots ? std::size_t{slots[o]} : k);
            const double* b = v + L * std::size_t{op.b};
            // A missing a reads the zero value kept after the last slot
            // (a select, not a branch: fills and updates alternate).
            const double* a = v + L * std::size_t{op.a == UINT32_MAX ? zero_slot : op.a};
            for (std::size_t j = 0; j < V; ++j)
                _mm256_storeu_pd(dst + 4 * j,
                                 sub_mul(_mm256_loadu_pd(a + 4 * j), f[j], _mm256_loadu_pd(b + 4 * j), p, p_inverse));
        }
    }
    o_ref = o;
    k_ref = k;
}

// product[l] = product[l] * factor[l] reduced into (-p, p), on L lanes.
template <std::size_t L>
__attribute__((target("avx2,fma"))) void vector_multiply(double* product, const double* factor, double prime) {
    const __m256d p = _mm256_set1_pd(prime), p_inverse = _mm256_set1_pd(1.0 / prime);
    const __m256d zero = _mm256_setzero_pd();
    for (std::size_t j = 0; j < L; j += 4) {
        const __m256d negated = sub_mul(zero, _mm256_loadu_pd(product + j), _mm256_loadu_pd(factor + j), p, p_inverse);
        _mm256_storeu_pd(product + j, _mm256_sub_pd(zero, negated));
    }
}

#endif

}  // namespace

SparseDeterminant::SparseDeterminant(std::size_t n, std::vector<std::vector<LinearEntry>> rows)
    : n_(n), pattern_(std::move(rows)) {
#ifdef SKEINLAB_VECTOR_RESIDUES
    vector_replays_allowed_ = cpu_has_vector_residues();
#else
    vector_replays_allowed_ = false;
#endif
    plain_program_bytes_ = vector_replays_allowed_ ? 0 : std::size_t{1} << 30;
}

std::uint64_t SparseDeterminant::evaluate(const modular::Field& f, std::uint64_t x) {
    std::uint64_t out = 0;
    evaluate(f, &x, &out, 1);
    return out;
}

void SparseDeterminant::evaluate(const modular::Field& f, const std::uint64_t* xs, std::uint64_t* out,
                                 std::size_t count) {
    cancellation_point();
    std::size_t i = 0;
    if (n_ == 0) {
        for (; i < count; ++i) out[i] = 1 % f.p;
        return;
    }
    if (!recorded_) {
        recorded_ = true;
        out[0] = eliminate(f, xs[0], true);
        i = 1;
    }
    if (!have_program_) {
        for (; i < count; ++i) out[i] = eliminate(f, xs[i], false);
        return;
    }
    // Batches of points, spread over the pool when the extra buffers fit the
    // budget: eight at a time, four in a compact program replayed in words
    // (half the memory) or whose values are large (replay_lanes) and for a
    // last batch of four or fewer. A point where a recorded pivot is zero is
    // eliminated afresh afterwards, on this thread (the elimination's work
    // space is shared).
    const std::size_t lanes = replay_lanes();
    std::vector<std::pair<std::size_t, std::size_t>> batches;  // (first point, points)
    for (std::size_t at = i; at < count; at += lanes) batches.emplace_back(at, std::min(lanes, count - at));
    const std::size_t buffer_bytes = lanes * std::size_t{total_slots_} * sizeof(std::uint64_t);
    std::vector<std::uint8_t> failed(count, 0);
    const bool vector = vector_replays(f);
    const auto run_batch = [&](std::size_t batch) {
        const auto [at, points] = batches[batch];
        std::uint64_t value[kLanes];
        bool ok[kLanes];
        std::vector<std::uint64_t> buffer = take_buffer();
        if (vector && points > kLanes / 2)
            replay_vector<kLanes>(f, xs + at, points, value, ok, buffer);
        else if (vector)
            replay_vector<kLanes / 2>(f, xs + at, points, value, ok, buffer);
        else if (points > kLanes / 2)
            replay<kLanes>(f, xs + at, points, value, ok, buffer);
        else
            replay<kLanes / 2>(f, xs + at, points, value, ok, buffer);
        give_back(std::move(buffer));
        for (std::size_t l = 0; l < points; ++l) {
            out[at + l] = value[l];
            failed[at + l] = !ok[l];
        }
    };
    if (batches.size() > 1 && ops_.size() >= kParallelOps && buffer_bytes <= kParallelBufferBytes) {
        parallel_for_here(batches.size(), run_batch);
    } else {
        for (std::size_t batch = 0; batch < batches.size(); ++batch) run_batch(batch);
    }
    for (std::size_t k = i; k < count; ++k)
        if (failed[k]) out[k] = eliminate(f, xs[k], false);
}

std::vector<std::uint64_t> SparseDeterminant::take_buffer() {
    const std::lock_guard<std::mutex> lock(spare_mutex_);
    if (spare_.empty()) return {};
    std::vector<std::uint64_t> buffer = std::move(spare_.back());
    spare_.pop_back();
    return buffer;
}

void SparseDeterminant::give_back(std::vector<std::uint64_t> buffer) {
    const std::lock_guard<std::mutex> lock(spare_mutex_);
    spare_.push_back(std::move(buffer));
}

template <std::size_t L>
void SparseDeterminant::replay(const modular::Field& f, const std::uint64_t* xs, std::size_t points,
                               std::uint64_t* out, bool* ok, std::vector<std::uint64_t>& values) const {
    const modular::Montgomery m(f.p);
    std::uint64_t xm[L];
    for (std::size_t l = 0; l < L; ++l) xm[l] = m.to(xs[l < points ? l : 0]);
    values.resize(L * std::size_t{total_slots_});
    std::uint64_t* v = values.data();
    std::size_t k = 0;
    for (const auto& row : pattern_) {
        for (const LinearEntry& e : row) {
            const std::uint64_t c0 = m.to(f.from_signed(e.c0));
            const std::uint64_t c1 = m.to(f.from_signed(e.c1));
            for (std::size_t l = 0; l < L; ++l) v[L * k + l] = m.add(c0, m.mul(c1, xm[l]));
            ++k;
        }
    }
    // Row updates divide by the pivot (row - (factor / pivot) * pivot row):
    // one multiplication per operation, and the entries the pivot row does
    // not reach stay as they are (the recording gives them no operation).
    // The determinant is then the product of the pivots. Pivots are inverted
    // a batch of steps at a time (inverse_batches_), unless the pivot is an
    // entry +-1 of the matrix (many are).
    std::uint64_t det[L], pv[L], factor[L];
    bool zero[L] = {};
    for (std::size_t l = 0; l < L; ++l) det[l] = m.one();
    std::size_t u = 0, o = 0;
    InverseCursor cursor;
    const auto pivot_of = [&](std::uint32_t slot, std::size_t l) {
        const std::uint64_t r = v[L * slot + l];
        return r == 0 ? m.one() : r;
    };
    for (std::size_t s = 0; s < steps_.size(); ++s) {
        const Step& step = steps_[s];
        start_step<L>(m, s, pivot_of, cursor);
        for (std::size_t l = 0; l < L; ++l) {
            pv[l] = v[L * step.pivot + l];
            if (pv[l] == 0) {
                // Carry on with a harmless pivot; this lane's value is discarded.
                zero[l] = true;
                pv[l] = m.one();
            }
            det[l] = m.mul(det[l], pv[l]);
        }
        if (u == step.end) continue;  // a pivot row that updates nothing
        const std::uint64_t* inv = pv;
        if (!step.unit) inv = cursor.inverses.data() + L * cursor.next++;
        for (; u < step.end; ++u) {
            if (u % 1024 == 0) cancellation_point();
            for (std::size_t l = 0; l < L; ++l) factor[l] = m.mul(v[L * updates_[u].factor + l], inv[l]);
            // The operations of the update (compact or not: the slot test
            // stays out of the loop).
            const auto run = [&](auto compact) {
                for (; o < updates_[u].end; ++o, ++k) {
                    const Op& op = ops_[o];
                    std::uint64_t* dst = v + L * (decltype(compact)::value ? op_slots_[o] : k);
                    const std::uint64_t* b = v + L * op.b;
                    if (op.a == kNone) {
                        for (std::size_t l = 0; l < L; ++l) dst[l] = m.sub(0, m.mul(factor[l], b[l]));
                    } else {
                        const std::uint64_t* a = v + L * op.a;
                        for (std::size_t l = 0; l < L; ++l) dst[l] = m.sub(a[l], m.mul(factor[l], b[l]));
                    }
                }
            };
            if (compact_)
                run(std::true_type{});
            else
                run(std::false_type{});
        }
    }
    for (std::size_t l = 0; l < points; ++l) {
        ok[l] = !zero[l];
        const std::uint64_t value = m.from(det[l]);
        out[l] = odd_permutation_ ? f.neg(value) : value;
    }
}

template <std::size_t L, class PivotOf>
void SparseDeterminant::start_step(const modular::Montgomery& m, std::size_t s, const PivotOf& pivot_of,
                                   InverseCursor& cursor) const {
    if (cursor.batch >= inverse_batches_.size() || s != inverse_batches_[cursor.batch]) return;
    // The pivots of the batch's steps that divide (not +-1, with updates),
    // final at its first step, inverted together.
    const std::size_t first = inverse_batches_[cursor.batch];
    ++cursor.batch;
    const std::size_t last = cursor.batch < inverse_batches_.size() ? inverse_batches_[cursor.batch] : steps_.size();
    cursor.inverses.clear();
    cursor.next = 0;
    for (std::size_t t = first; t < last; ++t) {
        const Step& step = steps_[t];
        const std::uint32_t updates_from = t == 0 ? 0 : steps_[t - 1].end;
        if (step.unit || step.end == updates_from) continue;
        for (std::size_t l = 0; l < L; ++l) cursor.inverses.push_back(pivot_of(step.pivot, l));
    }
    invert_all(m, cursor.inverses.data(), cursor.inverses.size(), cursor.prefix);
}

bool SparseDeterminant::vector_replays(const modular::Field& f) const {
#ifdef SKEINLAB_VECTOR_RESIDUES
    return vector_replays_allowed_ && f.p < (std::uint64_t{1} << modular::kPrimeBits);
#else
    (void)f;
    return false;
#endif
}

template <std::size_t L>
void SparseDeterminant::replay_vector(const modular::Field& f, const std::uint64_t* xs, std::size_t points,
                                      std::uint64_t* out, bool* ok, std::vector<std::uint64_t>& values) const {
#ifdef SKEINLAB_VECTOR_RESIDUES
    // As replay, with the values as doubles (their bits in the buffer's
    // words) and every step's operations vectorised; only the inverses of
    // the pivots are computed in words (Montgomery form), a batch at a time.
    const modular::Montgomery m(f.p);
    const auto word = [](std::uint64_t r) { return std::bit_cast<std::uint64_t>(static_cast<double>(r)); };
    const auto residue = [&f](std::uint64_t w) {
        const auto r = static_cast<std::int64_t>(std::bit_cast<double>(w));  // in (-p, p)
        return r < 0 ? static_cast<std::uint64_t>(r) + f.p : static_cast<std::uint64_t>(r);
    };
    std::uint64_t x[L];
    for (std::size_t l = 0; l < L; ++l) x[l] = xs[l < points ? l : 0] % f.p;
    // Each value's L words start a cache line (a vector load or store never
    // straddles two).
    values.resize(L * (std::size_t{total_slots_} + 1) + 8);
    std::uint64_t* v = values.data();
    v += (64 - reinterpret_cast<std::uintptr_t>(v) % 64) % 64 / sizeof(std::uint64_t);
    for (std::size_t l = 0; l < L; ++l) v[L * std::size_t{total_slots_} + l] = word(0);
    std::size_t k = 0;
    for (const auto& row : pattern_) {
        for (const LinearEntry& e : row) {
            // m.mul of a Montgomery form and a plain residue is their plain product.
            const std::uint64_t c0 = f.from_signed(e.c0);
            const std::uint64_t c1 = m.to(f.from_signed(e.c1));
            for (std::size_t l = 0; l < L; ++l) v[L * k + l] = word(f.add(c0, m.mul(c1, x[l])));
            ++k;
        }
    }
    // The determinant's product and the pivots in doubles too; only the
    // pivots that divide go through Montgomery form, a batch at a time.
    double det[L], pv[L], inverse[L];
    bool zero[L] = {};
    for (std::size_t l = 0; l < L; ++l) det[l] = 1.0;
    std::size_t u = 0, o = 0;
    const double prime = static_cast<double>(f.p);
    InverseCursor cursor;
    const auto pivot_of = [&](std::uint32_t slot, std::size_t l) {
        const std::uint64_t r = residue(v[L * slot + l]);
        return r == 0 ? m.one() : m.to_reduced(r);
    };
    for (std::size_t s = 0; s < steps_.size(); ++s) {
        const Step& step = steps_[s];
        start_step<L>(m, s, pivot_of, cursor);
        for (std::size_t l = 0; l < L; ++l) {
            pv[l] = std::bit_cast<double>(v[L * step.pivot + l]);
            if (pv[l] == 0) {
                zero[l] = true;  // this lane's value is discarded
                pv[l] = 1.0;
            }
        }
        vector_multiply<L>(det, pv, prime);
        if (u == step.end) continue;
        if (step.unit) {
            for (std::size_t l = 0; l < L; ++l) inverse[l] = pv[l];  // +-1, its own inverse
        } else {
            const std::uint64_t* inv = cursor.inverses.data() + L * cursor.next++;
            for (std::size_t l = 0; l < L; ++l) inverse[l] = static_cast<double>(m.from(inv[l]));
        }
        vector_step<L>(v, updates_.data(), u, step.end, ops_.data(), compact_ ? op_slots_.data() : nullptr, o, k,
                       inverse, prime, total_slots_);
        u = step.end;
    }
    for (std::size_t l = 0; l < points; ++l) {
        ok[l] = !zero[l];
        const std::uint64_t value = residue(std::bit_cast<std::uint64_t>(det[l]));
        out[l] = odd_permutation_ ? f.neg(value) : value;
    }
#else
    replay<L>(f, xs, points, out, ok, values);
#endif
}

std::uint64_t SparseDeterminant::eliminate(const modular::Field& f, std::uint64_t x, bool record) {
    // (compact_ describes the recorded program: only a recording changes it.)
    if (record) compact_ = false;
    outgrown_ = false;
    const std::uint64_t value = eliminate_once(f, x, record ? Mode::record : Mode::plain);
    if (!record || (!outgrown_ && (!have_program_ || program_lanes() * std::size_t{total_slots_} * sizeof(std::uint64_t) <=
                                                         plain_program_bytes_)))
        return value;
    // The plain recording stopped when its operations outgrew the budget, or
    // finished above it: release what it made before recording again, with
    // the slots reused (only what is alive kept) and the same pivot search.
    // (Nested dissection, tried here, made ten times more operations than the
    // pivot search on simplified diagrams, whose long strands join distant
    // rows.)
    std::vector<Op>().swap(ops_);
    compact_ = true;
    return eliminate_once(f, x, Mode::record);
}

bool SparseDeterminant::find_pivot_order(const modular::Field& f, std::uint64_t x) {
    if (recorded_) throw InternalError("a pivot order is found before the first evaluation");
    eliminate_once(f, x, Mode::order);
    have_order_ = pivots_.size() == n_;
    if (!have_order_) pivots_.clear();
    // The rows, now the factors' size, are not needed until an evaluation.
    std::vector<std::vector<Entry>>().swap(rows_);
    std::vector<std::vector<std::uint32_t>>().swap(col_rows_);
    return have_order_;
}

std::size_t SparseDeterminant::recording_bytes(std::size_t slots) const {
    // The program (its operations, their slots, updates and steps), the
    // elimination's work space (at most every live value with its column
    // list place) and one replay buffer of the values.
    const std::size_t program = ops_.size() * (sizeof(Op) + (compact_ ? sizeof(std::uint32_t) : 0)) +
                                updates_.size() * sizeof(Update) + steps_.size() * sizeof(Step);
    return program + slots * (sizeof(Entry) + sizeof(std::uint32_t) + program_lanes() * sizeof(std::uint64_t));
}

std::uint64_t SparseDeterminant::eliminate_once(const modular::Field& f, std::uint64_t x, Mode mode) {
    cancellation_point();
    const bool record = mode == Mode::record;
    const bool keep_zeros = mode != Mode::plain;
    const std::size_t n = n_;
    // Arithmetic in Montgomery form. Rows are updated as pivot * row - a * pivot
    // row, which needs no inverse per pivot: every such update multiplies the
    // determinant by the pivot, and `scale` collects those factors.
    const modular::Montgomery m(f.p);
    const std::uint64_t xm = m.to(x);
    rows_.assign(n, {});
    col_rows_.assign(n, {});
    col_count_.assign(n, 0);
    row_done_.assign(n, 0);
    std::uint32_t slots = 0;
    std::size_t live = 0;  // entries in the rows
    // Per first slot: the matrix's entry there is +-1 and still unchanged (a
    // pivot that needs no inverse in the replays).
    std::vector<std::uint8_t> unit_slot;
    for (std::size_t r = 0; r < n; ++r) {
        std::vector<Entry>& row = rows_[r];
        row.reserve(pattern_[r].size());
        for (const LinearEntry& e : pattern_[r]) {
            const std::uint64_t v = m.add(m.to(f.from_signed(e.c0)), m.mul(m.to(f.from_signed(e.c1)), xm));
            const std::uint32_t slot = slots++;
            if (record) unit_slot.push_back(e.c1 == 0 && (e.c0 == 1 || e.c0 == -1));
            if (v == 0 && !keep_zeros) continue;
            row.push_back({e.col, slot, v});
            ++live;
            col_rows_[e.col].push_back(static_cast<std::uint32_t>(r));
            ++col_count_[e.col];
        }
    }
    std::size_t available = 0;  // not read yet
    const std::size_t check_above = keep_zeros ? std::min(kMemoryReadAbove, environment_memory_limit()) : 0;
    if (record) {
        // Until this recording ends, there is no program to replay.
        have_program_ = false;
        initial_slots_ = slots;
        ops_.clear();
        op_slots_.clear();
        pivots_.clear();
        updates_.clear();
        steps_.clear();
        inverse_batches_.assign(1, 0);
    }
    if (mode == Mode::order) {
        pivots_.clear();
        order_operations_ = 0;
    }
    // Slots no longer read (a used factor, a finished pivot row's entries),
    // given to new entries.
    std::vector<std::uint32_t> free_slots;
    // Per slot: 1 + the step that last wrote it (0: the matrix's own entry).
    // A batch of steps shares one inversion of their pivots when none of
    // those pivots is written within the batch (each is final at its start).
    std::vector<std::uint32_t> written_at(record ? slots : 0, 0);
    std::uint32_t tag = 0;
    std::size_t batch_start = 0;
    auto next_slot = [&](std::uint32_t a, std::uint32_t b) {
        if (!record) {
            if (mode == Mode::order) ++order_operations_;
            return slots++;
        }
        ops_.push_back({a, b});
        std::uint32_t dst = a;
        if (!compact_) {
            dst = slots++;
        } else {
            if (dst == kNone) {
                if (free_slots.empty()) {
                    dst = slots++;
                } else {
                    dst = free_slots.back();
                    free_slots.pop_back();
                }
            }
            op_slots_.push_back(dst);
            if (dst < unit_slot.size()) unit_slot[dst] = 0;
        }
        if (dst >= written_at.size()) written_at.resize(std::size_t{dst} + 1, 0);
        written_at[dst] = tag;
        return dst;
    };

    // The columns not yet eliminated, by their current count (then index):
    // a step moves only the few whose count it changes.
    using Item = std::pair<std::uint32_t, std::uint32_t>;  // (count, column)
    std::set<Item> order;
    for (std::size_t c = 0; c < n; ++c) order.insert({col_count_[c], static_cast<std::uint32_t>(c)});
    const auto recount = [&](std::uint32_t col, int delta) {
        order.erase({col_count_[col], col});
        col_count_[col] = static_cast<std::uint32_t>(static_cast<int>(col_count_[col]) + delta);
        order.insert({col_count_[col], col});
    };
    // Per column, its best pivot as last weighed (cost and row), weighed
    // again only after a step changed one of its rows (a pivot row or an
    // updated row holds it): the search looks at the same few hundred
    // columns step after step.
    std::vector<std::uint64_t> col_cost(n, UINT64_MAX);
    std::vector<std::uint32_t> col_row(n, kNone);
    std::vector<std::uint8_t> col_changed(n, 1);
    std::vector<std::uint32_t> pivot_col(n, 0);
    std::vector<std::uint32_t> candidates;
    std::uint64_t det = m.one();
    std::uint64_t scale = m.one();
    auto find = [](const std::vector<Entry>& row, std::uint32_t col) -> const Entry* {
        auto it = std::lower_bound(row.begin(), row.end(), col,
                                   [](const Entry& e, std::uint32_t c) { return e.col < c; });
        return it != row.end() && it->col == col ? &*it : nullptr;
    };

    const std::size_t columns = n >= kWideSearchRows ? kWideMarkowitzColumns : kMarkowitzColumns;
    std::size_t updates_done = 0;
    for (std::size_t step = 0; step < n; ++step) {
        cancellation_point();
        tag = static_cast<std::uint32_t>(step + 1);
        // A plain recording that outgrows its budget stops here: the caller
        // records the program compact instead (before its values are ever
        // allocated).
        if (record && !compact_ && program_lanes() * std::size_t{slots} * sizeof(std::uint64_t) > plain_program_bytes_) {
            outgrown_ = true;
            return 0;
        }
        // A recording, or a search for the pivot order, stops before it
        // takes more memory than there is (read once it grows large: small
        // diagrams, typed by the thousand, never read it).
        if (keep_zeros) {
            const std::size_t bytes =
                record ? recording_bytes(slots) : live * (sizeof(Entry) + sizeof(std::uint32_t));
            if (bytes > check_above) {
                if (available == 0) available = available_memory();
                if (bytes > available)
                    throw MemoryNeeded("the exact determinant of this diagram's matrix (" + std::to_string(n_) +
                                       " rows) needs more memory than the " + memory_text(available) +
                                       " available: its " + (record ? "program and values" : "rows") +
                                       " had grown to " + memory_text(bytes) + " at pivot " +
                                       std::to_string(step + 1) + " of " + std::to_string(n_));
            }
        }
        // Markowitz: among the few columns with the fewest entries, the
        // non-zero entry whose row and column lengths (r - 1)(c - 1) promise
        // the least fill.
        std::uint32_t c = kNone;
        std::uint32_t pivot = kNone;
        std::uint64_t best_cost = UINT64_MAX;
        std::size_t looked = 0;
        // Drops stale and repeated holders of a column. With zeros kept, an
        // entry leaves a row only when its column is eliminated, and a row
        // is added to a column's holders only when it gains an entry there:
        // the rows done are the only stale holders, and none is repeated.
        const auto clean_holders = [&](std::uint32_t col) {
            std::vector<std::uint32_t>& holders = col_rows_[col];
            if (keep_zeros) return std::erase_if(holders, [&](std::uint32_t r) { return row_done_[r] != 0; });
            std::size_t kept = 0;
            for (const std::uint32_t r : holders) {
                if (row_done_[r] || !find(rows_[r], col)) continue;
                if (std::find(holders.begin(), holders.begin() + static_cast<std::ptrdiff_t>(kept), r) !=
                    holders.begin() + static_cast<std::ptrdiff_t>(kept))
                    continue;
                holders[kept++] = r;
            }
            holders.resize(kept);
            return std::size_t{0};
        };
        for (auto it = order.begin(); looked < columns && it != order.end(); ++it) {
            const std::uint32_t count = it->first, col = it->second;
            if (best_cost != UINT64_MAX && static_cast<std::uint64_t>(count) * count > best_cost * 4 + 4) break;
            ++looked;
            if (col_changed[col]) {
                // The column's own best: the least cost, then the first row,
                // among its non-zero entries (weighed without their values
                // first: the best is almost never zero).
                clean_holders(col);
                const std::vector<std::uint32_t>& holders = col_rows_[col];
                const auto weigh = [&](bool nonzero_only) {
                    col_cost[col] = UINT64_MAX;
                    col_row[col] = kNone;
                    for (const std::uint32_t r : holders) {
                        if (nonzero_only && find(rows_[r], col)->value == 0) continue;
                        const std::uint64_t cost =
                            static_cast<std::uint64_t>(holders.size() - 1) * (rows_[r].size() - 1);
                        if (cost < col_cost[col] || (cost == col_cost[col] && r < col_row[col])) {
                            col_cost[col] = cost;
                            col_row[col] = r;
                        }
                    }
                };
                weigh(false);
                if (col_row[col] != kNone && find(rows_[col_row[col]], col)->value == 0) weigh(true);
                col_changed[col] = 0;
            }
            if (col_row[col] != kNone &&
                (col_cost[col] < best_cost || (col_cost[col] == best_cost && col < c))) {
                best_cost = col_cost[col];
                c = col;
                pivot = col_row[col];
            }
            if (best_cost == 0) break;
        }
        if (pivot == kNone) {
            // Only zeros in the columns looked at. Without kept zeros an empty
            // column makes the matrix singular; otherwise a recording gives up
            // and leaves later evaluations to the plain elimination.
            if (mode == Mode::order) return 0;  // no order: pivots_ is short
            return record ? eliminate(f, x, false) : 0;
        }
        std::vector<std::uint32_t>& holders = col_rows_[c];
        candidates.assign(holders.begin(), holders.end());
        holders.clear();
        const std::vector<Entry>& prow = rows_[pivot];
        const Entry& pe_c = *find(prow, c);
        const std::uint64_t pv = pe_c.value;
        det = m.mul(det, pv);
        pivot_col[pivot] = c;
        if (keep_zeros) pivots_.push_back({pivot, c});
        row_done_[pivot] = 1;
        order.erase({col_count_[c], c});
        for (const Entry& e : prow) {
            if (e.col == c) continue;
            col_changed[e.col] = 1;
            recount(e.col, -1);
        }

        for (const std::uint32_t r : candidates) {
            if (r == pivot) continue;
            if (++updates_done % 256 == 0) cancellation_point();
            std::vector<Entry>& row = rows_[r];
            const Entry& fe = *find(row, c);
            const std::uint64_t factor = fe.value;
            scale = m.mul(scale, pv);
            scratch_.clear();
            for (const Entry& e : row) col_changed[e.col] = 1;
            std::size_t a = 0, b = 0;
            while (a < row.size() || b < prow.size()) {
                if (b == prow.size() || (a < row.size() && row[a].col < prow[b].col)) {
                    // Untouched by the pivot row: the replay (which divides
                    // by the pivot) keeps this value where it is.
                    if (row[a].col != c) scratch_.push_back({row[a].col, row[a].slot, m.mul(pv, row[a].value)});
                    ++a;
                } else if (a == row.size() || prow[b].col < row[a].col) {
                    const Entry& pe = prow[b++];
                    if (pe.col == c) continue;
                    // Fill: a new entry in this row.
                    scratch_.push_back({pe.col, next_slot(kNone, pe.slot), m.sub(0, m.mul(factor, pe.value))});
                    col_rows_[pe.col].push_back(r);
                    recount(pe.col, +1);
                } else {
                    const std::uint32_t col = row[a].col;
                    if (col != c) {
                        const std::uint64_t v = m.sub(m.mul(pv, row[a].value), m.mul(factor, prow[b].value));
                        if (v != 0 || keep_zeros) {
                            scratch_.push_back({col, next_slot(row[a].slot, prow[b].slot), v});
                        } else {
                            recount(col, -1);
                        }
                    }
                    ++a;
                    ++b;
                }
            }
            const std::uint32_t factor_slot = fe.slot;
            live = live - row.size() + scratch_.size();
            row.swap(scratch_);
            if (record) {
                updates_.push_back({factor_slot, static_cast<std::uint32_t>(ops_.size())});
                if (compact_) free_slots.push_back(factor_slot);
            }
        }
        if (record) {
            const bool unit = pe_c.slot < unit_slot.size() && unit_slot[pe_c.slot];
            const std::size_t updates_from = steps_.empty() ? 0 : steps_.back().end;
            if (!unit && updates_.size() != updates_from && written_at[pe_c.slot] > batch_start) {
                batch_start = step;
                inverse_batches_.push_back(static_cast<std::uint32_t>(step));
            }
            steps_.push_back({pe_c.slot, static_cast<std::uint32_t>(updates_.size()), unit});
            if (compact_)
                for (const Entry& e : prow) free_slots.push_back(e.slot);
        }
    }

    // det(A) = sign(row -> pivot column) * product of the pivots / scale.
    std::vector<std::uint8_t> seen(n, 0);
    std::size_t cycles = 0;
    for (std::size_t r = 0; r < n; ++r) {
        if (seen[r]) continue;
        ++cycles;
        for (std::size_t k = r; !seen[k]; k = pivot_col[k]) seen[k] = 1;
    }
    const bool odd = (n - cycles) % 2;
    if (record) {
        odd_permutation_ = odd;
        total_slots_ = slots;
        have_program_ = true;
    }
    const std::uint64_t value = f.mul(m.from(det), f.inv(m.from(scale)));
    return odd ? f.neg(value) : value;
}

}  // namespace skeinlab
