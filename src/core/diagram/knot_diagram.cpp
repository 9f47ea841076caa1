#include "diagram/knot_diagram.hpp"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "geometry/crossings.hpp"

namespace skeinlab {
namespace {

constexpr std::uint32_t kUnset = UINT32_MAX;

// Where each crossing's under and over passages sit in the walk; kUnset when
// a crossing is not met exactly once over and once under.
struct PassagePositions {
    std::vector<std::uint32_t> under, over;
    bool valid = true;
};

PassagePositions passage_positions(const KnotDiagram& d) {
    PassagePositions p;
    p.under.assign(d.crossings(), kUnset);
    p.over.assign(d.crossings(), kUnset);
    if (d.walk.size() != 2 * d.crossings()) p.valid = false;
    for (std::uint32_t k = 0; k < d.walk.size(); ++k) {
        const Passage& pass = d.walk[k];
        if (pass.crossing >= d.crossings()) {
            p.valid = false;
            continue;
        }
        std::uint32_t& slot = pass.over ? p.over[pass.crossing] : p.under[pass.crossing];
        if (slot != kUnset) p.valid = false;
        slot = k;
    }
    return p;
}

inline std::uint64_t pair_key(std::size_t i, std::size_t j) {
    const std::size_t lo = std::min(i, j);
    const std::size_t hi = std::max(i, j);
    return (static_cast<std::uint64_t>(lo) << 32) | static_cast<std::uint64_t>(hi);
}

}  // namespace

std::int64_t KnotDiagram::writhe() const {
    std::int64_t w = 0;
    for (const std::int8_t s : signs) w += s;
    return w;
}

std::vector<PdCrossing> pd_code(const KnotDiagram& d) {
    const PassagePositions pos = passage_positions(d);
    const std::uint32_t edges = static_cast<std::uint32_t>(d.walk.size());
    // Passage p lies between edge p (in, numbered p, or 2 n for p = 0) and
    // edge p + 1 (out).
    const auto in = [&](std::uint32_t p) { return p == 0 ? edges : p; };
    const auto out = [](std::uint32_t p) { return p + 1; };
    std::vector<PdCrossing> pd(d.crossings());
    for (std::size_t c = 0; c < d.crossings(); ++c) {
        const std::uint32_t u = pos.under[c], o = pos.over[c];
        pd[c] = d.signs[c] > 0 ? PdCrossing{in(u), out(o), out(u), in(o)} : PdCrossing{in(u), in(o), out(u), out(o)};
    }
    return pd;
}

Result<std::vector<PdCrossing>> parse_pd_code(std::string_view text) {
    const auto fail = [](const char* what, std::size_t at) {
        return KnotError::data_parse(std::string("PD code: ") + what + " at byte " + std::to_string(at));
    };
    std::vector<PdCrossing> out;
    PdCrossing crossing{};
    std::size_t depth = 0, numbers = 0, opened = 0;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            if (depth != 2) return fail("a number outside a crossing", i);
            if (numbers == 4) return fail("a crossing of more than four edges", i);
            std::uint64_t value = 0;
            const std::size_t start = i;
            while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
                value = value * 10 + static_cast<unsigned>(text[i] - '0');
                if (value > 100000000) return fail("an edge number too large", start);
                ++i;
            }
            crossing[numbers++] = static_cast<std::uint32_t>(value);
            continue;
        }
        if (c == '[' || c == '(') {
            if (++depth > 2) return fail("brackets nested too deep", i);
            if (depth == 2) numbers = 0;
            ++opened;
        } else if (c == ']' || c == ')') {
            if (depth == 0) return fail("an unmatched bracket", i);
            if (depth == 2) {
                if (numbers != 4) return fail("a crossing of fewer than four edges", i);
                out.push_back(crossing);
            }
            --depth;
        } else if (!(c == ',' || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == 'X' || c == 'P' || c == 'D')) {
            return fail("an unexpected character", i);
        }
        ++i;
    }
    if (depth != 0 || opened == 0) return fail("unclosed brackets", text.size());
    return out;
}

Result<KnotDiagram> diagram_from_pd(const std::vector<PdCrossing>& pd) {
    const std::size_t n = pd.size();
    if (n == 0) return KnotDiagram{};
    const std::size_t edges = 2 * n;
    // Each edge number's two places (crossing, slot).
    std::vector<std::vector<std::pair<std::uint32_t, std::uint32_t>>> places(edges + 1);
    for (std::uint32_t c = 0; c < n; ++c) {
        for (std::uint32_t s = 0; s < 4; ++s) {
            const std::uint32_t e = pd[c][s];
            if (e == 0 || e > edges)
                return KnotError::data_parse("PD code: edges are not numbered 1 to " + std::to_string(edges));
            places[e].emplace_back(c, s);
        }
    }
    for (std::size_t e = 1; e <= edges; ++e)
        if (places[e].size() != 2)
            return KnotError::data_parse("PD code: edge " + std::to_string(e) + " occurs " +
                                         std::to_string(places[e].size()) + " times");

    // Walk from the under strand of crossing 0: leave each crossing opposite
    // the slot it was entered by, and enter the next at the other place of
    // that edge. The under strand is entered on slot 0 only.
    KnotDiagram d;
    d.signs.assign(n, 0);
    std::vector<bool> under_met(n, false), over_met(n, false);
    std::uint32_t c = 0, s = 0;
    do {
        const bool over = (s % 2) == 1;
        if (s == 2 || (over ? over_met[c] : under_met[c]))
            return KnotError::data_parse("PD code: the strands are not consistently oriented at crossing " +
                                         std::to_string(c + 1));
        (over ? over_met : under_met)[c] = true;
        if (over) d.signs[c] = s == 3 ? 1 : -1;
        d.walk.push_back({c, over});
        const std::uint32_t exit = (s + 2) % 4;
        const auto& two = places[pd[c][exit]];
        const auto next = two[0] == std::make_pair(c, exit) ? two[1] : two[0];
        c = next.first;
        s = next.second;
    } while (!(c == 0 && s == 0));
    if (d.walk.size() != edges) return KnotError::data_parse("PD code: more than one component");
    d = renumbered(d);
    if (!is_planar(d)) return KnotError::data_parse("PD code: not a planar diagram");
    return d;
}

std::optional<KnotDiagram> diagram_of_projection(const Chain& projected) {
    const std::vector<std::vector<CrossingRecord>> records = find_crossings(projected);
    std::unordered_map<std::uint64_t, std::uint32_t> numbers;
    KnotDiagram d;
    for (std::size_t i = 0; i < records.size(); ++i) {
        for (const CrossingRecord& rec : records[i]) {
            const auto [it, added] =
                numbers.emplace(pair_key(i, rec.other), static_cast<std::uint32_t>(numbers.size()));
            // The record's sign is positive when the row segment is over and
            // the column segment runs to its left (or under and to its right):
            // the opposite of the crossing's handedness.
            if (added) d.signs.push_back(rec.record.signed_position > 0.0 ? -1 : 1);
            d.walk.push_back({it->second, rec.record.is_over});
        }
    }
    // Two strands at equal height (or a height that is not a number) give a
    // crossing met twice from below: no diagram.
    if (!passage_positions(d).valid) return std::nullopt;
    return d;
}

namespace {

// The half-edges around every crossing. Half-edge 2 e is edge e's tail (at
// passage e), 2 e + 1 its head (at passage e + 1). Around each crossing,
// counterclockwise: under in, then (positive) over out, under out, over in; a
// negative crossing has the over strand reversed. A face is traced by
// arriving at a crossing along a half-edge, leaving along the next half-edge
// counterclockwise, and arriving at that edge's other end.
std::array<std::uint32_t, 4> around_crossing(const KnotDiagram& d, const PassagePositions& pos, std::uint32_t c) {
    const auto edges = static_cast<std::uint32_t>(d.walk.size());
    const auto in = [&](std::uint32_t p) { return 2 * (p == 0 ? edges - 1 : p - 1) + 1; };
    const auto out = [](std::uint32_t p) { return 2 * p; };
    const std::uint32_t u = pos.under[c], o = pos.over[c];
    return d.signs[c] > 0 ? std::array<std::uint32_t, 4>{in(u), out(o), out(u), in(o)}
                          : std::array<std::uint32_t, 4>{in(u), in(o), out(u), out(o)};
}

// The half-edge that follows each half-edge around its face.
std::vector<std::uint32_t> successors(const KnotDiagram& d) {
    const PassagePositions pos = passage_positions(d);
    std::vector<std::uint32_t> next(2 * d.walk.size());
    for (std::uint32_t c = 0; c < d.crossings(); ++c) {
        const std::array<std::uint32_t, 4> around = around_crossing(d, pos, c);
        for (std::uint32_t r = 0; r < 4; ++r) next[around[r]] = around[(r + 1) % 4] ^ 1;
    }
    return next;
}

FaceEdge side(std::uint32_t h) { return {h / 2, (h & 1) == 1}; }

}  // namespace

void for_each_face(const KnotDiagram& d, const std::function<void(const Face&)>& visit) {
    if (d.crossings() == 0) return;
    const std::vector<std::uint32_t> next = successors(d);
    std::vector<bool> used(next.size(), false);
    Face face;
    for (std::uint32_t start = 0; start < next.size(); ++start) {
        if (used[start]) continue;
        face.clear();
        std::uint32_t h = start;
        do {
            used[h] = true;
            face.push_back(side(h));
            h = next[h];
        } while (h != start);
        visit(face);
    }
}

FaceTable face_table(const KnotDiagram& d) {
    FaceTable t;
    if (d.crossings() == 0) return t;
    const std::vector<std::uint32_t> next = successors(d);
    constexpr std::uint32_t kNoFace = UINT32_MAX;
    t.left.assign(d.walk.size(), kNoFace);
    t.right.assign(d.walk.size(), kNoFace);
    t.edges.reserve(next.size());
    t.start.reserve(d.crossings() + 3);
    // Half-edge h walks its edge forward when it is the edge's head.
    const auto face_of = [&t](std::uint32_t h) -> std::uint32_t& { return (h & 1 ? t.right : t.left)[h / 2]; };
    for (std::uint32_t start = 0; start < next.size(); ++start) {
        if (face_of(start) != kNoFace) continue;
        const auto f = static_cast<std::uint32_t>(t.start.size() - 1);
        std::uint32_t h = start;
        do {
            face_of(h) = f;
            t.edges.push_back(h / 2);
            h = next[h];
        } while (h != start);
        t.start.push_back(static_cast<std::uint32_t>(t.edges.size()));
    }
    return t;
}

std::vector<std::array<FaceEdge, 3>> triangles(const KnotDiagram& d) {
    std::vector<std::array<FaceEdge, 3>> out;
    if (d.crossings() == 0) return out;
    const std::vector<std::uint32_t> next = successors(d);
    // A face of three half-edges, listed from the first of them (as faces()
    // does): three steps lead back to the start, which is the least.
    for (std::uint32_t h = 0; h < next.size(); ++h) {
        const std::uint32_t h1 = next[h];
        if (h1 < h) continue;
        const std::uint32_t h2 = next[h1];
        if (h2 < h || next[h2] != h || h2 == h) continue;
        out.push_back({side(h), side(h1), side(h2)});
    }
    return out;
}

std::vector<Face> faces(const KnotDiagram& d) {
    if (d.crossings() == 0) return {Face{}, Face{}};
    std::vector<Face> out;
    for_each_face(d, [&](const Face& f) { out.push_back(f); });
    return out;
}

bool is_planar(const KnotDiagram& d) {
    if (!passage_positions(d).valid) return false;
    for (const std::int8_t s : d.signs)
        if (s != 1 && s != -1) return false;
    return faces(d).size() == d.crossings() + 2;
}

KnotDiagram mirror_image(KnotDiagram d) {
    for (std::int8_t& s : d.signs) s = static_cast<std::int8_t>(-s);
    for (Passage& p : d.walk) p.over = !p.over;
    return d;
}

KnotDiagram renumbered(const KnotDiagram& d) {
    std::vector<std::uint32_t> number(d.crossings(), kUnset);
    KnotDiagram out;
    out.walk.reserve(d.walk.size());
    for (const Passage& p : d.walk) {
        if (number[p.crossing] == kUnset) {
            number[p.crossing] = static_cast<std::uint32_t>(out.signs.size());
            out.signs.push_back(d.signs[p.crossing]);
        }
        out.walk.push_back({number[p.crossing], p.over});
    }
    return out;
}

}  // namespace skeinlab
