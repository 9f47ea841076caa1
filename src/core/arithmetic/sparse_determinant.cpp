#include "arithmetic/sparse_determinant.hpp"

#include <algorithm>
#include <bit>
#include <functional>
#include <type_traits>
#include <utility>

#include "runtime/cancel.hpp"
#include "runtime/pool.hpp"

#include "arithmetic/vector_residues.hpp"

namespace skeinlab {
namespace {

// Replays run on several workers only while each worker's buffer is at most
// this large (each holds every value of the program for eight points, four
// in a compact program replayed in words).
constexpr std::size_t kParallelBufferBytes = std::size_t{256} << 20;
// ... and only for programs long enough that a batch outweighs handing it to
// another worker (small diagrams, typed by the thousand, stay on their thread).
constexpr std::size_t kParallelOps = std::size_t{1} << 16;

// A recorded program keeps every value it makes, eight points at a time; one
// whose values would take more than its budget (set_plain_program_bytes) is
// recorded again in compact form (slots reused): far less memory. Replayed
// with vector arithmetic, compact programs are also the faster (fewer values
// to stream through the caches); with word arithmetic they are slower per
// operation, so a small program stays plain (bench/README.md has the figures).

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

}  // namespace skeinlab
