#include "invariants/seifert.hpp"

#include <algorithm>
#include <numeric>
#include <tuple>

namespace skeinlab {
namespace {

constexpr std::uint32_t kNoFace = UINT32_MAX;

// One end of an edge at a crossing: half-edge 2 e is edge e's tail (leaving
// passage e), 2 e + 1 its head (arriving at passage e + 1), as the face
// tracing numbers them.
struct End {
    bool in = false;  // arriving at the crossing
    bool alpha = false;
};

// Seen with both strands heading up the page, alpha runs from bottom left to
// top right and beta from bottom right to top left; alpha is the over strand
// of a positive crossing and the under strand of a negative one. The faces at
// a crossing are then: between the two incoming ends (below), between the two
// outgoing ends (above), and the two where an incoming end meets an outgoing
// one (left: alpha in, beta out; right: beta in, alpha out).
End end_of(const KnotDiagram& d, std::uint32_t half_edge) {
    const std::size_t m = d.walk.size();
    const std::uint32_t edge = half_edge / 2;
    const bool in = (half_edge & 1) == 1;
    const Passage& p = d.walk[in ? (edge + 1) % m : edge];
    return {in, p.over == (d.signs[p.crossing] > 0)};
}

// The side of an edge, at one of its ends, on which the face that does not
// lie between the two strands (the disk's side after the local isotopy) is:
// true for the edge's left.
bool disk_on_left(const End& e) { return e.in == e.alpha; }

struct Roles {
    std::uint32_t above = kNoFace, below = kNoFace;  // between the outgoing / the incoming ends
};

class Entries {
public:
    void add(std::uint32_t i, std::uint32_t j, std::int64_t v) { entries_.emplace_back(i, j, v); }
    // The entries summed, in row-major order, zeros dropped.
    std::vector<std::tuple<std::uint32_t, std::uint32_t, std::int64_t>> summed() {
        std::sort(entries_.begin(), entries_.end(), [](const auto& a, const auto& b) {
            return std::tie(std::get<0>(a), std::get<1>(a)) < std::tie(std::get<0>(b), std::get<1>(b));
        });
        std::vector<std::tuple<std::uint32_t, std::uint32_t, std::int64_t>> out;
        for (const auto& e : entries_) {
            if (!out.empty() && std::get<0>(out.back()) == std::get<0>(e) && std::get<1>(out.back()) == std::get<1>(e))
                std::get<2>(out.back()) += std::get<2>(e);
            else
                out.push_back(e);
        }
        std::erase_if(out, [](const auto& e) { return std::get<2>(e) == 0; });
        return out;
    }

private:
    std::vector<std::tuple<std::uint32_t, std::uint32_t, std::int64_t>> entries_;
};

std::uint32_t find_root(std::vector<std::uint32_t>& parent, std::uint32_t x) {
    while (parent[x] != x) x = parent[x] = parent[parent[x]];
    return x;
}

}  // namespace

SeifertMatrix seifert_matrix(const KnotDiagram& d) {
    SeifertMatrix out;
    if (d.crossings() == 0) return out;
    const std::size_t m = d.walk.size();

    // Faces, each edge's faces on its left and right, and the faces above and
    // below every crossing's band. Faces are traced with the face on the
    // right of the direction they are walked.
    std::vector<std::uint32_t> left(m, kNoFace), right(m, kNoFace);
    std::vector<Roles> roles(d.crossings());
    std::uint32_t faces = 0;
    for_each_face(d, [&](const Face& face) {
        const std::uint32_t f = faces++;
        for (std::size_t i = 0; i < face.size(); ++i) {
            (face[i].forward ? right : left)[face[i].edge] = f;
            // The corner between arriving along face[i] and leaving along
            // face[i + 1].
            const FaceEdge& next = face[(i + 1) % face.size()];
            const std::uint32_t arrive = 2 * face[i].edge + (face[i].forward ? 1 : 0);
            const std::uint32_t leave = 2 * next.edge + (next.forward ? 0 : 1);
            const End a = end_of(d, arrive), b = end_of(d, leave);
            if (a.in != b.in) continue;
            const std::uint32_t c = d.walk[a.in ? (face[i].edge + 1) % m : face[i].edge].crossing;
            (a.in ? roles[c].below : roles[c].above) = f;
        }
    });

    Entries v;
    // Every band: the curves of the faces above and below it cross on the
    // left disk and in the band; a curve through the band links its own
    // push-off by the band's half twist.
    for (std::uint32_t c = 0; c < d.crossings(); ++c) {
        const Roles& r = roles[c];
        if (d.signs[c] > 0) {
            v.add(r.above, r.below, 1);
            v.add(r.below, r.below, -1);
        } else {
            v.add(r.below, r.above, -1);
            v.add(r.above, r.above, 1);
        }
    }
    // Every edge whose ends turn the disk's rim to different sides: a half
    // twist of the rim, across which the curves of its two faces trade places.
    for (std::uint32_t e = 0; e < m; ++e) {
        const bool start = disk_on_left(end_of(d, 2 * e));
        const bool end = disk_on_left(end_of(d, 2 * e + 1));
        if (start == end) continue;
        const std::int64_t s = start ? 1 : -1;
        v.add(right[e], left[e], -s);
        v.add(left[e], left[e], s);
    }

    // One face of each group joined by bands is left out of the basis (a face
    // no band reaches is a group of its own).
    std::vector<std::uint32_t> parent(faces);
    std::iota(parent.begin(), parent.end(), 0u);
    for (const Roles& r : roles) parent[find_root(parent, r.above)] = find_root(parent, r.below);
    std::vector<std::uint32_t> index(faces, kNoFace);
    std::vector<bool> group_seen(faces, false);
    std::uint32_t kept = 0;
    for (std::uint32_t f = 0; f < faces; ++f) {
        const std::uint32_t g = find_root(parent, f);
        if (group_seen[g]) index[f] = kept++;
        group_seen[g] = true;
    }
    out.size = kept;
    out.rows.resize(kept);
    for (const auto& [i, j, value] : v.summed())
        if (index[i] != kNoFace && index[j] != kNoFace) out.rows[index[i]].emplace_back(index[j], value);
    return out;
}

std::vector<std::vector<LinearEntry>> seifert_pencil(const SeifertMatrix& v) {
    std::vector<std::vector<LinearEntry>> rows(v.size);
    for (std::uint32_t i = 0; i < v.size; ++i)
        for (const auto& [j, value] : v.rows[i]) {
            rows[i].push_back({j, 0, -value});
            rows[j].push_back({i, value, 0});
        }
    for (std::vector<LinearEntry>& row : rows) {
        std::sort(row.begin(), row.end(), [](const LinearEntry& a, const LinearEntry& b) { return a.col < b.col; });
        std::size_t kept = 0;
        for (const LinearEntry& e : row) {
            if (kept > 0 && row[kept - 1].col == e.col) {
                row[kept - 1].c0 += e.c0;
                row[kept - 1].c1 += e.c1;
            } else {
                row[kept++] = e;
            }
        }
        row.resize(kept);
        std::erase_if(row, [](const LinearEntry& e) { return e.c0 == 0 && e.c1 == 0; });
    }
    return rows;
}

}  // namespace skeinlab
