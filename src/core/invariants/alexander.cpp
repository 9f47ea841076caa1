#include "invariants/alexander.hpp"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "geometry/crossings.hpp"

namespace skeinlab {
namespace {

struct CrossingEntry {
    std::size_t number;
    std::int32_t sign;
};

inline std::uint64_t pair_key(std::size_t i, std::size_t j) {
    const std::size_t lo = std::min(i, j);
    const std::size_t hi = std::max(i, j);
    return (static_cast<std::uint64_t>(lo) << 32) | static_cast<std::uint64_t>(hi);
}

void add_entry(std::vector<LinearEntry>& row, std::size_t col, std::int64_t c0, std::int64_t c1) {
    for (LinearEntry& e : row) {
        if (e.col == col) {
            e.c0 += c0;
            e.c1 += c1;
            return;
        }
    }
    row.push_back({static_cast<std::uint32_t>(col), c0, c1});
}

// The entries of one passage in its crossing's row: arc a is the arc the
// passage lies on, b the next; `sign` is the record's (+1 when the row
// segment is over and the column runs to its left), the opposite of the
// crossing's handedness.
void add_passage(std::vector<LinearEntry>& row, std::size_t a, std::size_t b, bool over, std::int32_t sign) {
    if (over) {
        add_entry(row, a, 1, -1);
    } else if (sign == 1) {
        add_entry(row, a, -1, 0);
        add_entry(row, b, 0, 1);
    } else {
        add_entry(row, a, 0, 1);
        add_entry(row, b, -1, 0);
    }
}

void sort_rows(AlexanderMatrix& m) {
    for (std::vector<LinearEntry>& row : m.rows)
        std::sort(row.begin(), row.end(), [](const LinearEntry& p, const LinearEntry& q) { return p.col < q.col; });
}

}  // namespace

AlexanderMatrix alexander_matrix(const Chain& pts) {
    bool dropped = false;
    const std::vector<std::vector<CrossingRecord>> records = find_crossings(pts, &dropped);

    // Walk: number the crossings in the order they are first met, take each
    // crossing's sign from that first record, and list the under-passages.
    std::unordered_map<std::uint64_t, CrossingEntry> crossings;
    std::vector<std::size_t> under;
    for (std::size_t i = 0; i < records.size(); ++i) {
        for (const CrossingRecord& rec : records[i]) {
            const std::uint64_t key = pair_key(i, rec.other);
            if (crossings.find(key) == crossings.end()) {
                const std::int32_t sign = rec.record.signed_position > 0.0 ? 1 : -1;
                crossings.emplace(key, CrossingEntry{crossings.size(), sign});
            }
            if (!rec.record.is_over) under.push_back(i);
        }
    }
    AlexanderMatrix m;
    m.dropped_crossing = dropped;
    const std::size_t g = crossings.size();
    m.crossings = g;
    m.rows.assign(g, {});

    // Arcs run from one under-passage to the next, modulo g, so the stretch
    // after the last under-passage and the one before the first are one arc.
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].empty()) continue;
        const std::size_t base =
            static_cast<std::size_t>(std::lower_bound(under.begin(), under.end(), i) - under.begin());
        std::size_t k = 0;
        for (const CrossingRecord& rec : records[i]) {
            const CrossingEntry& entry = crossings.at(pair_key(i, rec.other));
            std::vector<LinearEntry>& row = m.rows[entry.number];
            add_passage(row, (base + k) % g, (base + k + 1) % g, rec.record.is_over, entry.sign);
            if (!rec.record.is_over) ++k;
        }
    }
    sort_rows(m);
    return m;
}

AlexanderMatrix alexander_matrix(const KnotDiagram& diagram) {
    AlexanderMatrix m;
    const std::size_t g = diagram.crossings();
    m.crossings = g;
    m.rows.assign(g, {});
    // Arc a runs from the a-th under-passage of the walk to the next; the
    // matrix of a projection takes its signs with the opposite orientation.
    std::size_t under_before = 0;
    for (const Passage& p : diagram.walk) {
        add_passage(m.rows[p.crossing], under_before % g, (under_before + 1) % g, p.over,
                    -diagram.signs[p.crossing]);
        if (!p.over) ++under_before;
    }
    sort_rows(m);
    return m;
}

std::string ExactPolynomial::text() const {
    if (small) return fmt(*small);
    // fmt()'s rules, with coefficients of any size.
    std::string out;
    bool first = true;
    for (std::size_t e = 0; e < big.size(); ++e) {
        const BigInteger& c = big[e];
        if (c.is_zero()) continue;
        if (!first && !c.negative) out += '+';
        first = false;
        out += c.decimal();
        if (e > 0) {
            out += "*t";
            if (e >= 2) {
                out += '^';
                out += std::to_string(e);
            }
        }
    }
    return out.empty() ? "0" : out;
}

namespace {

ExactPolynomial normalized(std::vector<BigInteger> coeffs) {
    std::size_t lo = 0;
    while (lo < coeffs.size() && coeffs[lo].is_zero()) ++lo;
    std::size_t hi = coeffs.size();
    while (hi > lo && coeffs[hi - 1].is_zero()) --hi;
    std::vector<BigInteger> c(coeffs.begin() + static_cast<std::ptrdiff_t>(lo),
                              coeffs.begin() + static_cast<std::ptrdiff_t>(hi));
    if (!c.empty() && c.back().negative)
        for (BigInteger& v : c) v.negative = !v.negative && !v.is_zero();
    ExactPolynomial out;
    Polynomial small;
    for (const BigInteger& v : c) {
        const std::optional<std::int64_t> s = v.to_i64();
        if (!s) {
            out.big = std::move(c);
            return out;
        }
        small.coeffs.push_back(*s);
    }
    out.small = std::move(small);
    return out;
}

}  // namespace

namespace {

// The rows of the minor without the last row and column.
std::vector<std::vector<LinearEntry>> minor_rows(const AlexanderMatrix& matrix) {
    const std::size_t n = matrix.crossings - 1;
    std::vector<std::vector<LinearEntry>> minor(n);
    for (std::size_t r = 0; r < n; ++r)
        for (const LinearEntry& e : matrix.rows[r])
            if (e.col < n && (e.c0 != 0 || e.c1 != 0)) minor[r].push_back(e);
    return minor;
}

}  // namespace

std::shared_ptr<ImagesAhead> alexander_images_ahead(const KnotDiagram& diagram) {
    return ImagesAhead::start([copy = diagram]() -> std::optional<SparseLU> {
        const AlexanderMatrix matrix = alexander_matrix(copy);
        if (matrix.crossings < 2) return std::nullopt;
        return factors_at_one(matrix.crossings - 1, minor_rows(matrix));
    });
}

ExactPolynomial alexander_polynomial(const AlexanderMatrix& matrix, AlexanderStats* stats, std::size_t dense_limit,
                                     KrylovImages krylov, std::shared_ptr<ImagesAhead> ahead) {
    const std::size_t g = matrix.crossings;
    if (g == 0) return ExactPolynomial{Polynomial{{1}}, {}};
    const std::size_t n = g - 1;  // the minor drops the last row and column
    if (n <= dense_limit) {
        std::vector<std::vector<Polynomial>> dense(n, std::vector<Polynomial>(n));
        for (std::size_t r = 0; r < n; ++r) {
            for (const LinearEntry& e : matrix.rows[r]) {
                if (e.col >= n) continue;
                Polynomial p{{e.c0, e.c1}};
                while (!p.coeffs.empty() && p.coeffs.back() == 0) p.coeffs.pop_back();
                dense[r][e.col] = std::move(p);
            }
        }
        if (const std::optional<Polynomial> d = checked_determinant(dense)) {
            if (stats) stats->dense = true;
            return ExactPolynomial{normalize(*d), {}};
        }
    }
    return normalized(recover_determinant(n, minor_rows(matrix), stats, krylov, std::move(ahead)));
}

}  // namespace skeinlab
