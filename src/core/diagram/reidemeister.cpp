#include "diagram/reidemeister.hpp"

#include <algorithm>
#include <utility>

#include "runtime/cancel.hpp"

namespace skeinlab {
namespace {

// The walk as a cyclic doubly linked list of passage positions, from which
// reductions unlink passages.
class LinkedWalk {
public:
    explicit LinkedWalk(const KnotDiagram& d) : LinkedWalk(&d.walk, 1, d.crossings()) {}

    // The walks of several components, each a cycle of its own.
    LinkedWalk(const std::vector<std::vector<Passage>>& walks, std::size_t crossings)
        : LinkedWalk(walks.data(), walks.size(), crossings) {}

    LinkedWalk(const std::vector<Passage>* walks, std::size_t count, std::size_t crossings) {
        std::size_t total = 0;
        for (std::size_t c = 0; c < count; ++c) total += walks[c].size();
        walk_.resize(total);
        component_.resize(total);
        next_.resize(total);
        prev_.resize(total);
        std::uint32_t start = 0;
        for (std::size_t c = 0; c < count; ++c) {
            const std::vector<Passage>& walk = walks[c];
            const auto m = static_cast<std::uint32_t>(walk.size());
            starts_.push_back(start);
            alive_in_.push_back(m);
            std::copy(walk.begin(), walk.end(), walk_.begin() + start);
            std::fill_n(component_.begin() + start, m, static_cast<std::uint32_t>(c));
            for (std::uint32_t k = 0; k < m; ++k) {
                next_[start + k] = start + k + 1;
                prev_[start + k] = start + k - 1;
            }
            if (m > 0) {
                next_[start + m - 1] = start;
                prev_[start] = start + m - 1;
            }
            start += m;
        }
        starts_.push_back(start);
        alive_.assign(walk_.size(), true);
        partner_.resize(walk_.size());
        left_ = walk_.size();
        std::vector<std::uint32_t> first(crossings, UINT32_MAX);
        for (std::uint32_t k = 0; k < walk_.size(); ++k) {
            std::uint32_t& f = first[walk_[k].crossing];
            if (f == UINT32_MAX) {
                f = k;
            } else {
                partner_[k] = f;
                partner_[f] = k;
            }
        }
    }

    std::size_t left() const { return left_; }
    std::size_t size() const { return walk_.size(); }
    bool alive(std::uint32_t p) const { return alive_[p]; }
    std::uint32_t next(std::uint32_t p) const { return next_[p]; }
    std::uint32_t prev(std::uint32_t p) const { return prev_[p]; }
    // The other passage of the same crossing.
    std::uint32_t partner(std::uint32_t p) const { return partner_[p]; }
    const Passage& at(std::uint32_t p) const { return walk_[p]; }

    void unlink(std::uint32_t p) {
        alive_[p] = false;
        --alive_in_[component_[p]];
        next_[prev_[p]] = next_[p];
        prev_[next_[p]] = prev_[p];
        --left_;
    }

    // The nearest live passage at or before p (p itself when alive). Removed
    // passages keep the links they had when removed, which lead to passages
    // removed earlier or still alive, so the search ends while any is alive.
    // UINT32_MAX when p's component has none left.
    std::uint32_t live_at_or_before(std::uint32_t p) const {
        if (alive_in_[component_[p]] == 0) return UINT32_MAX;
        while (!alive_[p]) p = prev_[p];
        return p;
    }

    // The live passages of component c in walk order from its first live one
    // (unlinking never reorders them: that is the order of their places).
    std::vector<Passage> walk(std::size_t c) const {
        std::vector<Passage> out;
        out.reserve(alive_in_[c]);
        for (std::uint32_t p = starts_[c]; p < starts_[c + 1]; ++p)
            if (alive_[p]) out.push_back(walk_[p]);
        return out;
    }

    // The live passages in walk order from the first live one, crossings
    // renumbered as met (renumbered()).
    KnotDiagram diagram(const std::vector<std::int8_t>& signs) const {
        LinkWalks one = link(signs);
        return {std::move(one.walks.front()), std::move(one.signs)};
    }

    // The live passages of every component, crossings renumbered as met.
    LinkWalks link(const std::vector<std::int8_t>& signs) const {
        LinkWalks out;
        std::vector<std::uint32_t> number(signs.size(), UINT32_MAX);
        for (std::size_t c = 0; c + 1 < starts_.size(); ++c) {
            std::vector<Passage>& walk_out = out.walks.emplace_back(walk(c));
            for (Passage& p : walk_out) {
                if (number[p.crossing] == UINT32_MAX) {
                    number[p.crossing] = static_cast<std::uint32_t>(out.signs.size());
                    out.signs.push_back(signs[p.crossing]);
                }
                p.crossing = number[p.crossing];
            }
        }
        return out;
    }

private:
    std::vector<Passage> walk_;
    std::vector<std::uint32_t> next_, prev_;
    std::vector<bool> alive_;
    std::vector<std::uint32_t> partner_;
    std::vector<std::uint32_t> starts_;  // where each component's passages begin, and the end
    std::vector<std::uint32_t> component_;  // by passage
    std::vector<std::size_t> alive_in_;     // live passages by component
    std::size_t left_ = 0;
};

// The place of a half-edge around its crossing, counterclockwise from the
// incoming under strand (0): the outgoing under strand is at 2; the over
// strand goes out at 1 and in at 3 on a positive crossing, the other way round
// on a negative one.
int place_around(bool over, bool incoming, int sign) {
    if (!over) return incoming ? 0 : 2;
    return (sign > 0) == incoming ? 3 : 1;
}

// True when the edge from passage p to q (crossings x to y) and the edge
// joining x's other passage p2 and y's other passage q2 bound a face of two
// edges: traced from the first edge turning the same way at both crossings,
// the second edge leads back to where the trace started. Both ways of turning
// are tried (the face may lie on either side).
bool bounds_bigon(const LinkedWalk& w, const std::vector<std::int8_t>& signs, std::uint32_t p, std::uint32_t q,
                  std::uint32_t p2, std::uint32_t q2) {
    const int sx = signs[w.at(p).crossing], sy = signs[w.at(q).crossing];
    const bool parallel = w.next(p2) == q2;  // the second edge runs from p2 to q2, else from q2 to p2
    const int first_at_x = place_around(w.at(p).over, false, sx);
    const int first_at_y = place_around(w.at(q).over, true, sy);
    const int second_at_x = place_around(w.at(p2).over, !parallel, sx);
    const int second_at_y = place_around(w.at(q2).over, parallel, sy);
    for (const int turn : {1, 3})
        if ((first_at_y + turn) % 4 == second_at_y && (second_at_x + turn) % 4 == first_at_x) return true;
    return false;
}

}  // namespace

namespace {

// Removes R1 loops and R2 bigons from the walks until none is left. With
// `around` (the passages, ascending, where walks reduced before have
// changed since, with the passage before each), only those are checked, in
// the order a full check meets them, once: a removal is found from the
// passage before a place where new neighbours meet, and each removal checks
// again around itself, so that the rest cannot have become removable (a
// second full check after the first never found more, on every diagram of
// the tests and benchmarks).
void reduce_walks(LinkedWalk& w, const std::vector<std::int8_t>& signs,
                  const std::vector<std::uint32_t>* around = nullptr) {
    std::vector<std::uint32_t> work;
    // After a removal, the places where new neighbours met are checked again,
    // and so are the partners of those neighbours (an R2 bigon is found from
    // either of its two strands, each checked from its first passage).
    const auto recheck_around = [&](std::uint32_t removed) {
        const std::uint32_t a = w.live_at_or_before(removed);
        if (a == UINT32_MAX) return;
        for (const std::uint32_t p : {a, w.next(a)}) {
            work.push_back(p);
            work.push_back(w.prev(p));
            work.push_back(w.partner(p));
            work.push_back(w.prev(w.partner(p)));
        }
    };
    bool removed_any = true;
    while (removed_any && w.left() > 0) {
        removed_any = false;
        if (around) {
            work.assign(around->rbegin(), around->rend());
        } else {
            for (std::uint32_t k = static_cast<std::uint32_t>(w.size()); k-- > 0;) work.push_back(k);
        }
        while (!work.empty() && w.left() > 0) {
            const std::uint32_t p = work.back();
            work.pop_back();
            if (!w.alive(p)) continue;
            const std::uint32_t q = w.next(p);
            if (q == p) continue;  // the last passage of a component (its partner is elsewhere)
            if (w.at(p).crossing == w.at(q).crossing) {
                // R1: the loop between the two passages holds nothing.
                w.unlink(p);
                w.unlink(q);
                recheck_around(q);
                removed_any = true;
                continue;
            }
            if (w.at(p).over != w.at(q).over) continue;
            const std::uint32_t p2 = w.partner(p), q2 = w.partner(q);
            if (w.next(p2) != q2 && w.next(q2) != p2) continue;
            if (!bounds_bigon(w, signs, p, q, p2, q2)) continue;
            // R2: the strand over both crossings and the strand under both,
            // bounding a face between them.
            for (const std::uint32_t r : {p, q, p2, q2}) w.unlink(r);
            for (const std::uint32_t r : {p, q, p2, q2}) recheck_around(r);
            removed_any = true;
        }
        work.clear();
        if (around) return;
    }
}

}  // namespace

std::size_t reduce_diagram(KnotDiagram& d) {
    const std::size_t before = d.crossings();
    if (d.walk.empty()) return 0;
    LinkedWalk w(d);
    reduce_walks(w, d.signs);
    d = w.diagram(d.signs);
    return before - d.crossings();
}

void reduce_diagram_around(KnotDiagram& d, const std::vector<std::uint32_t>& around) {
    if (d.walk.empty()) return;
    LinkedWalk w(d);
    reduce_walks(w, d.signs, &around);
    d = w.diagram(d.signs);
}

std::size_t reduce_link(LinkWalks& link) {
    const std::size_t before = link.crossings();
    LinkedWalk w(link.walks, link.crossings());
    reduce_walks(w, link.signs);
    link = w.link(link.signs);
    return before - link.crossings();
}

std::vector<std::array<std::uint32_t, 3>> r3_triangles(const KnotDiagram& d) {
    std::vector<std::array<std::uint32_t, 3>> out;
    const std::size_t m = d.walk.size();
    for (const std::array<FaceEdge, 3>& face : triangles(d)) {
        int both_over = 0, both_under = 0;
        std::array<std::uint32_t, 6> met{};
        for (std::size_t i = 0; i < 3; ++i) {
            const std::uint32_t e = face[i].edge;
            const Passage& tail = d.walk[e];
            const Passage& head = d.walk[(e + 1) % m];
            both_over += tail.over && head.over;
            both_under += !tail.over && !head.over;
            met[2 * i] = tail.crossing;
            met[2 * i + 1] = head.crossing;
        }
        std::sort(met.begin(), met.end());
        const bool three_crossings = met[0] == met[1] && met[2] == met[3] && met[4] == met[5] &&
                                     met[1] != met[2] && met[3] != met[4];
        if (three_crossings && both_over == 1 && both_under == 1)
            out.push_back({face[0].edge, face[1].edge, face[2].edge});
    }
    return out;
}

void apply_r3(KnotDiagram& d, const std::array<std::uint32_t, 3>& triangle) {
    const std::size_t m = d.walk.size();
    for (const std::uint32_t e : triangle) std::swap(d.walk[e], d.walk[(e + 1) % m]);
}

}  // namespace skeinlab
