#include "arithmetic/wiedemann.hpp"

#include "arithmetic/berlekamp_massey.hpp"
#include "runtime/cancel.hpp"

namespace skeinlab {
namespace {

// P from the recurrence of a sequence (see the header).
PencilImage image_of(const std::vector<std::uint64_t>& c, const modular::Montgomery& m, const modular::Field& f,
                     std::uint64_t t0) {
    PencilImage out;
    // The minimal polynomial mu^L C(1/mu), without its roots 0 and 1/t0.
    const std::size_t length = c.size() - 1;
    std::size_t zeros = 0;
    while (zeros < length && c[length - zeros] == 0) ++zeros;
    std::vector<std::uint64_t> r;  // lowest power first
    for (std::size_t k = zeros; k <= length; ++k) r.push_back(c[length - k]);
    const std::uint64_t root = f.inv(t0);
    for (;;) {
        cancellation_point();
        // r = (mu - root) q + remainder
        if (r.size() < 2) break;
        std::vector<std::uint64_t> q(r.size() - 1);
        std::uint64_t carry = 0;
        for (std::size_t i = r.size(); i-- > 1;) {
            carry = f.add(r[i], f.mul(carry, root));
            q[i - 1] = carry;
        }
        if (f.add(r[0], f.mul(carry, root)) != 0) break;
        r.swap(q);
    }
    // prod (1 + s mu_i) over R's roots = sum_j (-1)^j r[D - j] s^j (R monic),
    // then s = t - t0 by Horner's rule, in place (Montgomery form).
    const std::size_t degree = r.size() - 1;
    const std::uint64_t t0m = m.to(t0);
    std::vector<std::uint64_t> p;
    for (std::size_t j = degree + 1; j-- > 0;) {
        if (j % 64 == 0) cancellation_point();
        // p = p * (t - t0) + coefficient of s^j
        p.push_back(0);
        for (std::size_t i = p.size() - 1; i > 0; --i) p[i] = m.sub(p[i - 1], m.mul(t0m, p[i]));
        const std::uint64_t coefficient = m.to_reduced(r[degree - j]);
        p[0] = m.sub(j % 2 ? m.sub(0, coefficient) : coefficient, m.mul(t0m, p[0]));
    }
    for (std::uint64_t& x : p) x = m.from(x);
    out.factor = std::move(p);
    return out;
}

// u and w drawn from a task's stream (residues, in Montgomery form).
void draw_vectors(const PencilTask& task, std::size_t n, const modular::Montgomery& m, std::vector<std::uint64_t>& u,
                  std::vector<std::uint64_t>& w) {
    u.resize(n);
    w.resize(n);
    for (std::uint64_t& x : u) x = m.to_reduced(task.stream->below(0, task.f.p));
    for (std::uint64_t& x : w) x = m.to_reduced(task.stream->below(0, task.f.p));
}

// A task's image from its sequence's recurrence (nothing when it failed).
std::optional<PencilImage> finish(bool failed, const std::vector<std::uint64_t>& recurrence, std::size_t solves,
                                  const modular::Montgomery& m, const PencilTask& task) {
    if (failed) return std::nullopt;
    PencilImage out = image_of(recurrence, m, task.f, task.t0);
    out.value = m.from(task.factors->determinant);
    out.iterations = solves;
    return out;
}

// One prime, in words.
std::optional<PencilImage> one_pencil(const SparseLU& lu, const PencilTask& task, std::size_t max_degree) {
    const modular::Montgomery m(task.f.p);
    const std::size_t n = lu.size();
    std::vector<std::uint64_t> u, w, y(n);
    draw_vectors(task, n, m, u, w);
    Recurrence r(m);
    for (std::size_t solved = 0;; ++solved) {
        cancellation_point();
        modular::u128 sum = 0;
        for (std::size_t i = 0; i < n; ++i) sum += static_cast<modular::u128>(u[i]) * w[i];
        r.add(m.reduce_sum(sum), solved, max_degree);
        if (r.done) break;
        // w = B^-1 A1 w.
        lu.multiply_t_part(*task.factors, w.data(), y.data());
        lu.solve(*task.factors, y.data());
        w.swap(y);
    }
    return finish(r.failed, r.bm.recurrence(), r.solves, m, task);
}

// Two or four primes in vector arithmetic: the same vectors, terms and
// results as one_pencil() on each (residues out of Montgomery form, in
// doubles).
std::vector<std::optional<PencilImage>> pencils_side_by_side(const SparseLU& lu, const std::vector<PencilTask>& tasks,
                                                             std::size_t max_degree, SharedSteps* shared) {
    const std::size_t n = lu.size(), lanes = tasks.size();
    std::vector<const SparseLU::Factors*> factors;
    for (const PencilTask& task : tasks) factors.push_back(task.factors);
    const SparseLU::PrimeLanes side = lu.side_by_side(factors);
    std::vector<double> u(lanes * n), w(lanes * n), y(lanes * n);
    std::vector<modular::Montgomery> ms;
    for (std::size_t i = 0; i < lanes; ++i) {
        ms.emplace_back(tasks[i].f.p);
        std::vector<std::uint64_t> ui, wi;
        draw_vectors(tasks[i], n, ms[i], ui, wi);
        for (std::size_t k = 0; k < n; ++k) {
            u[lanes * k + i] = static_cast<double>(ms[i].from(ui[k]));
            w[lanes * k + i] = static_cast<double>(ms[i].from(wi[k]));
        }
    }
    LaneRecurrences rs(ms, side.p, side.p_inverse);
    std::uint64_t terms[4];
    const auto add = [&](std::size_t solved) {
        rs.add(terms, solved, max_degree);
        bool all = true;
        for (std::size_t i = 0; i < lanes; ++i) all = all && rs.done(i);
        return all;
    };
    lu.dot(side, u.data(), w.data(), terms);
    if (const UnitForest* forest = lu.forest()) {
        // Vectors kept as the forest's walks and anchors: one pass a step,
        // the dot product taken in it.
        const LaneModuli m{lanes, side.p, side.p_inverse};
        const std::vector<double> u_anchors = forest->anchor_dots(m, u.data());
        UnitForest::Vector from{std::move(w), std::vector<double>(lanes * forest->anchors(), 0.0)}, to;
        for (std::size_t solved = 0; !add(solved); ++solved) {
            if (shared) shared->step(*forest, m, u.data(), u_anchors, from, to, terms);
            else forest->step(m, u.data(), u_anchors, from, to, terms);
            std::swap(from, to);
        }
    } else {
        for (std::size_t solved = 0; !add(solved); ++solved) {
            cancellation_point();
            lu.solve_t_part(side, w.data(), y.data());
            w.swap(y);
            lu.dot(side, u.data(), w.data(), terms);
        }
    }
    std::vector<std::optional<PencilImage>> out;
    for (std::size_t i = 0; i < lanes; ++i)
        out.push_back(finish(rs.failed(i), rs.recurrence(i), rs.solves(i), ms[i], tasks[i]));
    return out;
}

}  // namespace

std::optional<PencilImage> pencil_image(const SparseLU& lu, const SparseLU::Factors& factors, const modular::Field& f,
                                        std::uint64_t t0, Stream& stream, std::size_t max_degree) {
    return one_pencil(lu, PencilTask{&factors, f, t0, &stream}, max_degree);
}

std::vector<std::optional<PencilImage>> pencil_images(const SparseLU& lu, const std::vector<PencilTask>& tasks,
                                                      std::size_t max_degree, SharedSteps* shared) {
    // No helper is inside a step once this returns, or throws.
    struct Ending {
        SharedSteps* shared;
        ~Ending() {
            if (shared) shared->end();
        }
    } ending{shared};
    if ((tasks.size() == 2 || tasks.size() == 4) && SparseLU::prime_lanes_available())
        return pencils_side_by_side(lu, tasks, max_degree, shared);
    std::vector<std::optional<PencilImage>> out;
    for (const PencilTask& task : tasks) out.push_back(one_pencil(lu, task, max_degree));
    return out;
}

}  // namespace skeinlab
