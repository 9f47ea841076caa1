#include "arithmetic/determinant_recovery.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>

#include "arithmetic/interpolation.hpp"
#include "arithmetic/krylov_batches.hpp"
#include "arithmetic/modular.hpp"
#include "arithmetic/sparse_lu.hpp"
#include "arithmetic/wiedemann.hpp"
#include "base/error.hpp"
#include "runtime/pool.hpp"

namespace skeinlab {
namespace {

using modular::Field;

// A residue image of the determinant: its value at x is
// x^offset * (c[0] + c[1] x + ... ) modulo the image's prime. Negative offsets
// stand for powers of 1/x.
struct Image {
    std::int64_t offset = 0;
    std::vector<std::uint64_t> coeffs;
};

// Krylov images (arithmetic/wiedemann) are tried on matrices of this many
// rows or more whose elimination makes this many times more operations than
// a solve with its factors and a product with A1 touch entries: a Krylov
// image takes about four solves per point an evaluated image takes (four
// primes side by side in vector arithmetic), so the two break even at a
// ratio of about 3.5; compact rings, the matrices that need it, lie far
// above. A knot's factors at t = 1 have about one entry a row, so the rule
// asks for 16 operations a row or more, which compact chains pass and free
// walks do not (bench/README.md, "Krylov images", has the measurements).
constexpr std::size_t kKrylovRows = 512;
constexpr std::size_t kKrylovAdvantage = 4;
// The minimal polynomial's roots 0 and 1/t0 (the determinant's at infinity
// and 0) may add this much to its degree before a Krylov image is given up.
constexpr std::size_t kKrylovSlack = 256;
// Matrices of this many rows or more (always worth Krylov images so far)
// find their pivot order without recording the elimination's program, which
// on the largest compact diagrams takes gigabytes; while their Krylov images
// hold, single values (the symmetry's, the checks') come from LU factors at
// the point, and a program is recorded only if the evaluations take over.
// Below it the program is kept: its replays give those values faster than
// factorisations, and at that size its memory is affordable.
constexpr std::size_t kOrderOnlyRows = 20000;

// Matrices of this many rows or more (below kOrderOnlyRows) record their
// elimination's program while the first Krylov images at t = 1 are computed
// beside it: compact diagrams of this size take them (globules of 3,000
// beads, 7,500 rows); a free walk's first batch, dropped when its
// elimination turns out cheap, costs a few percent of its evaluations.
constexpr std::size_t kSpeculativeRows = 4096;

// Points evaluated together while the degree is still unknown (two batches
// of the replay, which workers of the pool may take at once).
constexpr std::size_t kBatch = 16;

class ModularDeterminant {
public:
    ModularDeterminant(std::size_t n, std::vector<std::vector<LinearEntry>> rows, AlexanderStats* stats,
                       KrylovImages krylov, std::shared_ptr<ImagesAhead> ahead)
        : n_(n), det_(n, std::move(rows)), stream_(0x5EED5EED2026ull), stats_(stats), krylov_(krylov),
          ahead_(std::move(ahead)) {}

    std::vector<BigInteger> run() {
        start();
        for (int attempt = 0; attempt < 4; ++attempt) {
            if (auto c = recover(true)) return *c;
            if (auto c = recover(false)) return *c;
        }
        throw InternalError("the Alexander determinant could not be verified");
    }

private:
    // What the evaluations need before the first value, and the first batch
    // of Krylov images at t = 1 beside it (on the pool's other workers; they
    // need neither), dropped if it shows them not worth it: for a large
    // matrix (or with Krylov images always), the pivot order of an
    // elimination that records no program (single values then come from LU
    // factors in that order, when Krylov images are worth it); for one of
    // kSpeculativeRows rows or more, the recording of the elimination's
    // program (at a point of its own: a program holds at every point).
    void start() {
        adopt_ahead();
        const bool order_only = krylov_ == KrylovImages::always || n_ >= kOrderOnlyRows;
        if (krylov_ == KrylovImages::never || (!order_only && n_ < kSpeculativeRows)) return;
        const Field f{modular::drawn_prime(0)};
        Stream stream = Stream::keyed({0x4F52444552ull, 0});
        const std::uint64_t x = stream.below(2, f.p - 1);
        std::function<void()> first;
        if (order_only) {
            first = [this, f, x] {
                if (!det_.find_pivot_order(f, x)) return;
                lu_values_ = factors() != nullptr;
                evaluate_first_points();
            };
        } else {
            first = [this, f, x] { det_.evaluate(f, x); };
        }
        const SparseLU* lu = at_one();
        if (!lu) return first();
        batches_.launch(*lu, primes_drawn_ + ahead_count_, n_, std::nullopt, first);
        if (!worth(*lu)) {
            krylov_off_ = true;
            batches_.clear();
        }
    }

    // Images computed ahead on another matrix of the same knot (see
    // ImagesAhead), adopted with this matrix's value at 1 in each field; the
    // first batch starts after them, and take() waits for them only when it
    // needs the first of them.
    void adopt_ahead() {
        if (!ahead_) return;
        const SparseLU* lu = krylov_ == KrylovImages::never ? nullptr : at_one();
        const std::size_t count = lu ? ahead_->promised() : 0;
        if (count == 0) return ahead_.reset();
        std::vector<std::uint64_t> values;
        SparseLU::Factors factors;
        for (std::size_t draw = 0; draw < count; ++draw) {
            const Field f{modular::drawn_prime(draw)};
            const modular::Montgomery m(f.p);
            values.push_back(lu->factor(m, 1, factors) ? m.from(factors.determinant) : 0);
        }
        ahead_count_ = count;
        batches_.adopt(std::move(ahead_), std::move(values));
    }

    std::uint64_t evaluate(const Field& f, std::uint64_t x) {
        if (stats_) ++stats_->evaluations;
        for (std::size_t i = 0; i < first_values_.size(); ++i) {
            if (first_values_[i].p != f.p || first_values_[i].x != x) continue;
            const std::uint64_t value = first_values_[i].value;
            first_values_.erase(first_values_.begin() + static_cast<std::ptrdiff_t>(i));
            return value;
        }
        if (lu_values_ && factors_) return value_from_factors(f, x, scratch_factors_);
        return det_.evaluate(f, x);
    }
    // No program recorded: the factors at x, or (a pivot zero there) an
    // elimination of its own.
    std::uint64_t value_from_factors(const Field& f, std::uint64_t x, SparseLU::Factors& scratch) {
        const modular::Montgomery m(f.p);
        if (factors_->factor(m, x, scratch)) return m.from(scratch.determinant);
        return det_.evaluate_once(f, x);
    }

    // The values at the points the recovery draws first when single values
    // come from factors (the symmetry's x and 1/x and the first Krylov
    // image's check, at the first prime), computed beside the first batch
    // of Krylov images by the worker that found the pivot order, which would
    // otherwise wait for that batch; evaluate() takes them from here. The
    // same values as evaluate() would compute.
    void evaluate_first_points() {
        if (!(lu_values_ && factors_)) return;
        const Field f{modular::drawn_prime(primes_drawn_)};
        Stream draws = stream_;
        const std::uint64_t x = draws.below(2, f.p - 1);
        const std::uint64_t y = draws.below(2, f.p - 1);
        SparseLU::Factors scratch;
        for (const std::uint64_t point : {x, f.inv(x), y})
            first_values_.push_back({f.p, point, value_from_factors(f, point, scratch)});
    }
    void evaluate(const Field& f, const std::vector<std::uint64_t>& xs, std::vector<std::uint64_t>& out) {
        if (stats_) stats_->evaluations += xs.size();
        det_.evaluate(f, xs.data(), out.data(), xs.size());
    }
    // Values at several points: from LU factors one by one where single
    // values come from them (no program recorded), else by the replays.
    void values_at(const Field& f, const std::vector<std::uint64_t>& xs, std::vector<std::uint64_t>& out) {
        if (!(lu_values_ && factors_)) return evaluate(f, xs, out);
        for (std::size_t i = 0; i < xs.size(); ++i) out[i] = evaluate(f, xs[i]);
    }
    std::uint64_t point(const Field& f) { return stream_.below(2, f.p - 1); }
    std::uint64_t next_prime() { return modular::drawn_prime(primes_drawn_++); }

    // The value x^offset * sum c_i x^i of an image's polynomial at x.
    static std::uint64_t image_value(const Field& f, std::int64_t offset, const std::vector<std::uint64_t>& c,
                                     std::uint64_t x) {
        std::uint64_t acc = 0;
        for (std::size_t i = c.size(); i-- > 0;) acc = f.add(f.mul(acc, x), c[i]);
        const std::uint64_t base = offset >= 0 ? x : f.inv(x);
        return f.mul(acc, f.pow(base, static_cast<std::uint64_t>(offset >= 0 ? offset : -offset)));
    }

    // The exponent h with D(x) = x^h F(x), F(1/x) = F(x), read from the ratio
    // D(x)/D(1/x) = x^(2h); nothing when D is zero at every point tried
    // (zero_suspected) or has no such form.
    std::optional<std::int64_t> symmetric_shift(const Field& f, bool& zero_suspected) {
        zero_suspected = false;
        int zeros = 0;
        for (int attempt = 0; attempt < 8; ++attempt) {
            const std::uint64_t x = point(f);
            const std::uint64_t a = evaluate(f, x);
            const std::uint64_t b = a == 0 ? 0 : evaluate(f, f.inv(x));
            if (a == 0 || b == 0) {
                if (++zeros >= 3) {
                    zero_suspected = true;
                    return std::nullopt;
                }
                continue;
            }
            const std::uint64_t ratio = f.mul(a, f.inv(b));
            std::int64_t found = -1;
            bool unique = true;
            std::uint64_t power = 1;
            for (std::size_t k = 0; k <= 2 * n_; ++k) {
                if (power == ratio) {
                    if (found >= 0) unique = false;
                    found = static_cast<std::int64_t>(k);
                }
                power = f.mul(power, x);
            }
            if (!unique) continue;  // x of small order: try another
            if (found < 0 || found % 2) return std::nullopt;
            return found / 2;
        }
        return std::nullopt;
    }

    // The factors for Krylov images, when this matrix is worth them (decided
    // once its elimination is recorded).
    const SparseLU* factors() {
        if (!factors_decided_) {
            factors_decided_ = true;
            const std::vector<SparseDeterminant::Pivot>& order = det_.pivot_order();
            const bool large = krylov_ == KrylovImages::always || n_ >= kKrylovRows;
            if (krylov_ != KrylovImages::never && !order.empty() && large) {
                SparseLU lu(n_, det_.rows(), order);
                if (krylov_ == KrylovImages::always ||
                    det_.program_operations() > kKrylovAdvantage * (lu.entries() + 3 * n_))
                    factors_.emplace(std::move(lu));
            }
        }
        return factors_ ? &*factors_ : nullptr;
    }

    // Whether Krylov images on `lu` cost less than evaluations: a Krylov
    // image takes about four solves per point an evaluated image takes.
    bool worth(const SparseLU& lu) const {
        return krylov_ == KrylovImages::always || det_.program_operations() > kKrylovAdvantage * (lu.entries() + 3 * n_);
    }

    // The factors at t = 1 (krylov_batches), for a matrix large enough.
    const SparseLU* at_one() {
        if (!at_one_decided_) {
            at_one_decided_ = true;
            const bool large = krylov_ == KrylovImages::always || n_ >= kKrylovRows;
            if (krylov_ != KrylovImages::never && large) factors_at_one_ = factors_at_one(n_, det_.rows());
        }
        return factors_at_one_ ? &*factors_at_one_ : nullptr;
    }

    // The factors Krylov sequences run on: those at t = 1 when there are
    // some and they are worth it, else factors().
    const SparseLU* krylov_factors() {
        if (krylov_off_) return nullptr;
        if (const SparseLU* lu = at_one(); lu && worth(*lu)) return lu;
        return factors();
    }

    // The symmetric image modulo f (the prime drawn last) from one
    // factorisation and its Krylov sequence: x^(shift - D/2) times a
    // palindromic polynomial of degree D (D fixed by `known` points, as
    // image() counts them). Nothing when the matrix is not worth it, or the
    // sequence does not show the whole polynomial (its module is not cyclic
    // modulo f.p); then the evaluations give the image. The sequences of the
    // next primes are computed at the same time by the pool's other workers
    // (most are needed; those that are not are dropped, so that the primes
    // used are the same for every number of workers).
    std::optional<Image> krylov_image(const Field& f, std::int64_t shift, std::optional<std::size_t> known) {
        const SparseLU* lu = krylov_factors();
        if (!lu) return std::nullopt;
        const std::size_t draw = primes_drawn_ - 1;
        const std::size_t max_degree = known ? 2 * (*known - 1) + kKrylovSlack : n_;
        const KrylovBatches::Pending pending = batches_.take(*lu, draw, max_degree, primes_hint_);
        std::optional<Image> out = image_of(f, shift, known, pending);
        if (!out && pending.pencil) {
            // The module is not cyclic (or not modulo this prime): the next
            // primes' sequences would show no more (and no longer run on the
            // factors once cleared).
            batches_.clear();
            factors_.reset();
            krylov_off_ = true;
        }
        return out;
    }

    // The image a Krylov sequence gives, if it passes its checks: the
    // degree (even, and that of the first prime's when known), the symmetry
    // of the coefficients, and for the first prime one evaluation at a fresh
    // point, which tells whether the sequence shows the whole polynomial (the
    // module is cyclic). Later primes' images of that degree come from the
    // same module; a wrong one would keep the coefficients from settling or
    // fail the final checks (each evaluation here is a factorisation on the
    // largest matrices, one per prime, on the worker that gathers the
    // images: too dear to repeat for every prime). An image that shows less
    // is completed by its cofactor (completed()), the first prime's checked
    // at one more fresh point.
    std::optional<Image> image_of(const Field& f, std::int64_t shift, std::optional<std::size_t> known,
                                  const KrylovBatches::Pending& pending) {
        if (!pending.pencil) return std::nullopt;
        const PencilImage& pencil = *pending.pencil;
        if (stats_) {
            ++stats_->krylov_images;
            stats_->solves += pencil.iterations;
        }
        const std::size_t degree = pencil.factor.size() - 1;
        if (degree % 2) return std::nullopt;
        const bool whole = !known || degree == 2 * (*known - 1);
        if (!whole && (!cofactor_points_ || degree + 2 * (*cofactor_points_ - 1) != 2 * (*known - 1)))
            return std::nullopt;
        Image out;
        out.offset = shift - static_cast<std::int64_t>(degree / 2);
        // det = value * (x / t0)^offset * P(x)
        const std::uint64_t t0 = pending.t0;
        const std::uint64_t base = out.offset >= 0 ? f.inv(t0) : t0;
        const std::uint64_t scale =
            f.mul(pencil.value, f.pow(base, static_cast<std::uint64_t>(out.offset >= 0 ? out.offset : -out.offset)));
        out.coeffs.resize(degree + 1);
        for (std::size_t i = 0; i <= degree; ++i) out.coeffs[i] = f.mul(scale, pencil.factor[i]);
        for (std::size_t i = 0; i < degree - i; ++i)
            if (out.coeffs[i] != out.coeffs[degree - i]) return std::nullopt;
        if (!whole) return completed(f, shift, out, cofactor_points_);
        if (known) return out;
        const std::uint64_t x = point(f);
        if (evaluate(f, x) == image_value(f, out.offset, out.coeffs, x)) return out;
        std::optional<Image> full = completed(f, shift, out, std::nullopt);
        if (!full) return std::nullopt;
        const std::uint64_t y = point(f);
        if (evaluate(f, y) != image_value(f, full->offset, full->coeffs, y)) return std::nullopt;
        cofactor_points_ = (full->coeffs.size() - out.coeffs.size()) / 2 + 1;
        return full;
    }

    // A Krylov image that shows less than the whole polynomial (the module
    // is not cyclic: a knot summed with itself, whose repeated factors the
    // sequence sees once) is a symmetric factor P of F = x^-shift D, and the
    // cofactor R = F / P is symmetric too (the module's invariant factors
    // are): R(x) = r(x + 1/x), interpolated from values of F / P at fresh
    // points, `count` of them when known, else until one more adds nothing:
    // half R's degree in evaluations at every prime, where F by evaluations
    // alone takes half F's. F = P R, in the image's layout.
    std::optional<Image> completed(const Field& f, std::int64_t shift, const Image& partial,
                                   std::optional<std::size_t> count) {
        const std::size_t degree = partial.coeffs.size() - 1;
        const auto half = static_cast<std::int64_t>(degree / 2);
        NewtonInterpolation newton(f);
        const std::size_t limit = n_ / 2 + 1;
        std::size_t points = 0;
        std::vector<std::uint64_t> xs, ys, ps, values;
        while (!points) {
            // A batch of fresh points with distinct nodes where P is not zero.
            const std::size_t want = count ? *count - newton.size() : std::min(kBatch, limit - newton.size());
            if (want == 0) return std::nullopt;
            xs.clear();
            ys.clear();
            ps.clear();
            while (xs.size() < want) {
                const std::uint64_t x = point(f);
                const std::uint64_t y = f.add(x, f.inv(x));
                const std::uint64_t p = image_value(f, -half, partial.coeffs, x);
                if (p == 0 || newton.has_node(y) || std::find(ys.begin(), ys.end(), y) != ys.end()) continue;
                xs.push_back(x);
                ys.push_back(y);
                ps.push_back(p);
            }
            values.resize(xs.size());
            values_at(f, xs, values);
            for (std::size_t i = 0; i < xs.size() && !points; ++i) {
                const std::uint64_t v = f.mul(f.mul(values[i], f.pow(f.inv(xs[i]), static_cast<std::uint64_t>(shift))),
                                              f.inv(ps[i]));
                if (newton.add(ys[i], v) == 0 && !count && newton.size() > 1) points = newton.size() - 1;
            }
            if (count && newton.size() == *count) points = *count;
        }
        std::vector<std::uint64_t> q = newton.monomial(points);
        q.resize(points, 0);
        const std::vector<std::uint64_t> r = laurent_of_symmetric(f, q);
        Image out;
        out.offset = shift - half - static_cast<std::int64_t>(points - 1);
        out.coeffs.assign(degree + r.size(), 0);
        for (std::size_t i = 0; i <= degree; ++i)
            for (std::size_t j = 0; j < r.size(); ++j)
                out.coeffs[i + j] = f.add(out.coeffs[i + j], f.mul(partial.coeffs[i], r[j]));
        return out;
    }

    // The image modulo f of F (symmetric) or D (general), with `known` the
    // number of interpolation points when the degree is already known.
    Image image(const Field& f, bool symmetric, std::int64_t shift, std::optional<std::size_t> known) {
        if (symmetric)
            if (std::optional<Image> krylov = krylov_image(f, shift, known)) return *std::move(krylov);
        NewtonInterpolation newton(f);
        const std::size_t limit = (symmetric ? n_ / 2 : n_) + 1;
        std::size_t zeros_in_a_row = 0;
        std::size_t count = 0;
        std::vector<std::uint64_t> xs, ys, values;
        for (bool done = false; !done;) {
            // A batch of fresh points with distinct interpolation nodes.
            const std::size_t want = known ? *known - newton.size() : std::min(kBatch, limit - newton.size());
            xs.clear();
            ys.clear();
            while (xs.size() < want) {
                const std::uint64_t x = point(f);
                const std::uint64_t y = symmetric ? f.add(x, f.inv(x)) : x;
                if (newton.has_node(y) || std::find(ys.begin(), ys.end(), y) != ys.end()) continue;
                xs.push_back(x);
                ys.push_back(y);
            }
            values.resize(xs.size());
            evaluate(f, xs, values);
            for (std::size_t i = 0; i < xs.size(); ++i) {
                std::uint64_t v = values[i];
                if (symmetric) v = f.mul(v, f.pow(f.inv(xs[i]), static_cast<std::uint64_t>(shift)));
                const std::uint64_t c = newton.add(ys[i], v);
                zeros_in_a_row = c == 0 && newton.size() > 1 ? zeros_in_a_row + 1 : 0;
                if (!known && (zeros_in_a_row == 1 || newton.size() == limit)) {
                    count = newton.size() - zeros_in_a_row;
                    done = true;
                    break;
                }
            }
            if (known) {
                count = *known;
                done = true;
            }
        }
        std::vector<std::uint64_t> q = newton.monomial(count);
        while (!q.empty() && q.back() == 0) q.pop_back();
        Image out;
        if (!symmetric) {
            out.coeffs = std::move(q);
            return out;
        }
        if (known && q.size() < *known) q.resize(*known, 0);  // keep the layout of the other primes
        out.offset = shift - static_cast<std::int64_t>(q.empty() ? 0 : q.size() - 1);
        out.coeffs = laurent_of_symmetric(f, q);
        return out;
    }

    // Recovers the integer coefficients by Chinese remaindering until they are
    // stable, then checks them at fresh random primes and points.
    std::optional<std::vector<BigInteger>> recover(bool symmetric) {
        primes_hint_.reset();
        cofactor_points_.reset();
        Field f{next_prime()};
        std::vector<std::uint64_t> used{f.p};
        std::int64_t shift = 0;
        std::int64_t offset = 0;
        std::vector<ChineseRemainder> crt;
        bool zero = false;
        if (symmetric) {
            const std::optional<std::int64_t> h = symmetric_shift(f, zero);
            if (!h && !zero) return std::nullopt;
            shift = h.value_or(0);
        }
        if (zero) {
            if (!verified({}, 0, 64)) return std::nullopt;
            return finish(symmetric, used.size(), {});
        }
        const Image first = image(f, symmetric, shift, std::nullopt);
        offset = first.offset;
        for (const std::uint64_t r : first.coeffs) crt.emplace_back(r, f.p);
        const std::optional<std::size_t> points = symmetric ? (first.coeffs.size() + 1) / 2 : first.coeffs.size();
        constexpr std::size_t kBitsPerPrime = modular::kPrimeBits - 1;
        std::size_t modulus_bits = kBitsPerPrime;
        bool stable = false;
        for (;;) {
            // Candidates are checked once they stop changing, or once the
            // product of the primes leaves 8 bits of room above every
            // coefficient (a wrong value would be spread over the whole range).
            std::vector<BigInteger> values;
            values.reserve(crt.size());
            std::size_t bits = 0;
            for (const ChineseRemainder& c : crt) {
                values.push_back(c.value());
                bits = std::max(bits, values.back().magnitude.bits());
            }
            if ((stable || bits + 8 <= modulus_bits) && verified(values, offset, std::max<std::size_t>(bits, 64)))
                return finish(symmetric, used.size(), std::move(values));
            if (stable) return std::nullopt;
            // Images that disagree never settle: the coefficients are below
            // 4^n (see verified()), so more primes cannot help.
            if (modulus_bits > 2 * n_ + 72) return std::nullopt;
            if (symmetric) primes_hint_ = primes_still_needed(values, modulus_bits, kBitsPerPrime);
            do f = Field{next_prime()};
            while (std::find(used.begin(), used.end(), f.p) != used.end());
            used.push_back(f.p);
            modulus_bits += kBitsPerPrime;
            const Image next = image(f, symmetric, shift, points);
            if (next.coeffs.size() != crt.size() || next.offset != offset) return std::nullopt;
            stable = true;
            for (std::size_t i = 0; i < crt.size(); ++i) stable &= crt[i].add(next.coeffs[i], f.p);
        }
    }

    std::vector<BigInteger> finish(bool symmetric, std::size_t primes, std::vector<BigInteger> values) {
        if (stats_) {
            stats_->symmetric = symmetric;
            stats_->primes = primes;
            stats_->operations = det_.program_operations();
        }
        return values;
    }

    // Each check draws a prime q in [2^(b - 1), 2^b) (b = kPrimeBits) and a
    // point x. A wrong claim differs from the determinant by a non-zero
    // integer polynomial Z of degree at most 2n + 2 whose coefficients have
    // at most 2n + bits + 2 bits (the determinant's coefficients are bounded
    // by 4^n). q divides all of them with probability at most
    // (2n + bits + 2) / (b - 1) / 2^(b - 6.5) (there are more than 2^(b - 6.5)
    // such primes for b = 50); otherwise Z(x) = 0 mod q with probability at
    // most (2n + 2) / 2^(b - 1). Checks are added until the product is below
    // 2^-60.
    bool verified(const std::vector<BigInteger>& values, std::int64_t offset, std::size_t bits) {
        const double nn = static_cast<double>(n_);
        const double b = modular::kPrimeBits;
        const double per_check = (2 * nn + static_cast<double>(bits) + 2) / (b - 1) / std::exp2(b - 6.5) +
                                 (2 * nn + 2) / std::exp2(b - 1);
        struct Check {
            Field f;
            std::uint64_t x, expected, value = 0;
            bool factored = false;
        };
        std::vector<Check> checks;
        for (double bound = 1.0; bound >= std::exp2(-60); bound *= per_check) {
            const Field f{next_prime()};
            std::vector<std::uint64_t> residues(values.size());
            for (std::size_t i = 0; i < values.size(); ++i) residues[i] = values[i].mod(f.p);
            const std::uint64_t x = point(f);
            checks.push_back({f, x, image_value(f, offset, residues, x)});
        }
        // No more images are wanted (should a check fail, the next batch is
        // launched again): the groups still being computed stop, and the
        // checks take every worker where single values come from factors.
        batches_.clear();
        if (lu_values_ && factors_)
            parallel_for_here(checks.size(), [&](std::size_t i) {
                SparseLU::Factors scratch;
                const modular::Montgomery m(checks[i].f.p);
                checks[i].factored = factors_->factor(m, checks[i].x, scratch);
                if (checks[i].factored) checks[i].value = m.from(scratch.determinant);
            });
        for (Check& c : checks) {
            if (c.factored) {
                if (stats_) ++stats_->evaluations;
            } else {
                c.value = evaluate(c.f, c.x);
            }
            if (c.value != c.expected) return false;
        }
        return true;
    }

    std::size_t n_;
    SparseDeterminant det_;
    modular::Stream stream_;
    std::size_t primes_drawn_ = 0;
    AlexanderStats* stats_;
    KrylovImages krylov_;
    bool factors_decided_ = false;
    std::optional<SparseLU> factors_;
    bool at_one_decided_ = false;
    std::optional<SparseLU> factors_at_one_;  // see at_one()
    bool krylov_off_ = false;                 // a Krylov image showed less than the whole polynomial
    bool lu_values_ = false;             // single values from factors_ (see start())
    SparseLU::Factors scratch_factors_;  // their work space
    KrylovBatches batches_;              // Krylov images of the next primes
    std::optional<std::size_t> primes_hint_;  // primes_still_needed() at the last prime
    std::optional<std::size_t> cofactor_points_;  // see completed(), once the first prime's image needed one
    std::shared_ptr<ImagesAhead> ahead_;          // see adopt_ahead()
    struct PointValue {
        std::uint64_t p, x, value;
    };
    std::vector<PointValue> first_values_;  // see evaluate_first_points()
    std::size_t ahead_count_ = 0;
};

}  // namespace

std::vector<BigInteger> recover_determinant(std::size_t n, std::vector<std::vector<LinearEntry>> rows,
                                            AlexanderStats* stats, KrylovImages krylov,
                                            std::shared_ptr<ImagesAhead> ahead) {
    ModularDeterminant md(n, std::move(rows), stats, krylov, std::move(ahead));
    return md.run();
}

}  // namespace skeinlab
