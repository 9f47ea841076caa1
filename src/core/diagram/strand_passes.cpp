#include "diagram/strand_passes.hpp"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "runtime/cancel.hpp"
#include "runtime/pool.hpp"

namespace skeinlab {
namespace {

constexpr std::uint32_t kNone = UINT32_MAX;

// The faces of a diagram as a graph: the faces on either side of every edge,
// the edges around every face, and the face across each of them.
struct FaceGraph : FaceTable {
    std::vector<std::uint32_t> neighbours;  // the face across edges[k] from its face (a search's next step)

    explicit FaceGraph(const KnotDiagram& d) : FaceTable(face_table(d)), neighbours(edges.size()) {
        for (std::uint32_t f = 0; f < faces(); ++f)
            for (std::uint32_t k = start[f]; k < start[f + 1]; ++k) neighbours[k] = across(edges[k], f);
    }
    std::uint32_t across(std::uint32_t e, std::uint32_t f) const { return left[e] == f ? right[e] : left[e]; }
};

// A strand to lay again: the passages first, first + 1, ..., first + length - 1
// (modulo the walk's length), and the new path's crossings: the edges it
// crosses in order, with the crossing's sign.
struct Move {
    std::uint32_t first = 0, length = 0;
    std::vector<std::uint32_t> crossed;
    std::vector<std::int8_t> signs;
};

// Faces no later path of a sweep may enter (those a move of the sweep
// touched), shared by the searches of several workers: set by one while the
// others read.
class BlockedFaces {
public:
    explicit BlockedFaces(std::size_t faces) : blocked_(new std::atomic<std::uint8_t>[faces]) {
        for (std::size_t f = 0; f < faces; ++f) blocked_[f].store(0, std::memory_order_relaxed);
    }
    void block(std::uint32_t f) { blocked_[f].store(1, std::memory_order_relaxed); }
    bool operator[](std::uint32_t f) const { return blocked_[f].load(std::memory_order_relaxed) != 0; }

private:
    std::unique_ptr<std::atomic<std::uint8_t>[]> blocked_;
};

// Shortest paths between the ends of strands, through faces not yet touched
// by another move of the sweep. A search grows a ball of faces from each
// end, a distance at a time, the smaller first: two balls of half the
// radius hold far fewer faces than one of the whole (most searches find no
// shorter path, and reach every face they may).
class PathSearch {
public:
    PathSearch(const FaceGraph& g, const BlockedFaces& blocked, std::size_t edges)
        : g_(g), blocked_(blocked), faces_(g.faces()), strand_(edges, 0) {}

    // A shortest path from the faces beside edge `from` to those beside edge
    // `to` when it crosses fewer than `limit` edges that are not the strand's
    // own (the strand's edges cost nothing to cross: the strand is lifted
    // off), entering no blocked face: the faces it goes through in
    // `faces`, and each edge it crosses with the face it crosses it from in
    // `crossed`, in order from `from`. False when there is none. With
    // `reached`, the faces the search reached (all it depends on besides the
    // strand: blocking any other face changes nothing about it) are
    // appended there.
    bool find(const std::vector<std::uint32_t>& strand_edges, std::uint32_t from, std::uint32_t to,
              std::uint32_t limit, std::vector<std::uint32_t>& faces,
              std::vector<std::pair<std::uint32_t, std::uint32_t>>& crossed,
              std::vector<std::uint32_t>* reached = nullptr) {
        ++stamp_;
        for (const std::uint32_t e : strand_edges) strand_[e] = stamp_;
        best_ = kNone;
        for (std::size_t side = 0; side < 2; ++side) {
            Ball& ball = balls_[side];
            ball.level = 0;
            ball.current.clear();
            ball.next.clear();
            const std::uint32_t e = side == 0 ? from : to;
            for (const std::uint32_t f : {g_.left[e], g_.right[e]}) reach(f, side, {0, kNone, kNone}, reached);
        }
        // Once both balls are complete below their levels l0 and l1, every
        // path of at most l0 + l1 - 1 crossings is known: its last face at a
        // distance below l0 from `from` is in the first ball, and the face
        // after it (or itself, the last) in the second. A ball with no
        // faces left to reach holds every path's faces.
        grow(0, limit, reached);
        grow(1, limit, reached);
        for (;;) {
            const std::uint32_t known = balls_[0].level + balls_[1].level - 1;
            if (best_ <= known || known + 1 >= limit) break;
            const std::size_t side = balls_[0].current.size() <= balls_[1].current.size() ? 0 : 1;
            if (balls_[side].current.empty()) break;
            grow(side, limit, reached);
        }
        if (best_ >= limit) return false;
        // The path: from `from` through its ball to the meeting, then on
        // through the other ball to `to`.
        faces.clear();
        crossed.clear();
        const auto crosses = [&](std::uint32_t e, std::uint32_t face_from) {
            if (strand_[e] != stamp_) crossed.emplace_back(e, face_from);
        };
        for (std::uint32_t at = meet_[0]; at != kNone; at = faces_[at].at[0].parent) {
            faces.push_back(at);
            if (faces_[at].at[0].parent != kNone) crosses(faces_[at].at[0].edge, faces_[at].at[0].parent);
        }
        std::reverse(faces.begin(), faces.end());
        std::reverse(crossed.begin(), crossed.end());
        std::uint32_t at = meet_[1];
        if (meet_edge_ != kNone) {
            crosses(meet_edge_, meet_[0]);
        } else {  // the meeting face, listed already
            if (faces_[at].at[1].parent != kNone) crosses(faces_[at].at[1].edge, at);
            at = faces_[at].at[1].parent;
        }
        for (; at != kNone; at = faces_[at].at[1].parent) {
            faces.push_back(at);
            if (faces_[at].at[1].parent != kNone) crosses(faces_[at].at[1].edge, at);
        }
        return true;
    }

private:
    struct Step {
        std::uint32_t dist, parent, edge;  // the face it was reached from, across `edge`
    };
    // What a search keeps of a face, together: by the search's stamp, the
    // balls that reached it and how.
    struct FaceState {
        std::uint32_t stamp = 0;
        std::uint32_t balls = 0;  // bit `side`: reached by that ball; bit 2 + `side`: taken
        Step at[2];
    };
    struct Ball {
        std::uint32_t level = 0;  // complete below this distance
        std::vector<std::uint32_t> current, next;  // faces at distance level, and level + 1
    };

    // Face f joins the ball of `side` by `step`, unless it is there at no
    // greater distance; a path through it when the other ball holds it.
    void reach(std::uint32_t f, std::size_t side, Step step, std::vector<std::uint32_t>* reached) {
        FaceState& fs = faces_[f];
        if (fs.stamp != stamp_) {
            if (reached) reached->push_back(f);
            fs = FaceState{};
            fs.stamp = stamp_;
        }
        const std::uint32_t bit = 1u << side;
        if ((fs.balls & bit) && fs.at[side].dist <= step.dist) return;
        fs.balls |= bit;
        fs.at[side] = step;
        (step.dist == balls_[side].level ? balls_[side].current : balls_[side].next).push_back(f);
    }

    // Completes the ball of `side` at its level: the faces across the
    // strand's edges join at the same distance, the others at the next
    // (below `limit`). Each face taken, and each face across an edge from it
    // that the other ball has taken, is a path.
    void grow(std::size_t side, std::uint32_t limit, std::vector<std::uint32_t>* reached) {
        Ball& ball = balls_[side];
        const std::size_t other = 1 - side;
        const std::uint32_t taken = 4u << side, other_taken = 4u << other, dist = ball.level;
        while (!ball.current.empty()) {
            const std::uint32_t f = ball.current.back();
            ball.current.pop_back();
            FaceState& fs = faces_[f];
            if ((fs.balls & taken) || fs.at[side].dist != dist) continue;
            fs.balls |= taken;
            if (fs.balls & other_taken) meet(side, f, f, kNone, dist + fs.at[other].dist);
            for (std::uint32_t k = g_.start[f]; k < g_.start[f + 1]; ++k) {
                const std::uint32_t e = g_.edges[k];
                const std::uint32_t d = dist + (strand_[e] == stamp_ ? 0 : 1);
                if (d >= limit) continue;
                const std::uint32_t h = g_.neighbours[k];
                if (blocked_[h]) continue;
                reach(h, side, {d, f, e}, reached);
                const FaceState& hs = faces_[h];
                if (hs.balls & other_taken) meet(side, f, h, e, d + hs.at[other].dist);
            }
        }
        ball.current.swap(ball.next);
        ++ball.level;
    }
    // A path of `length` crossings through face f of `side`'s ball and face
    // h of the other's, across edge e (kNone when f is h).
    void meet(std::size_t side, std::uint32_t f, std::uint32_t h, std::uint32_t e, std::uint32_t length) {
        if (length >= best_) return;
        best_ = length;
        meet_[side] = f;
        meet_[1 - side] = h;
        meet_edge_ = e;
    }

    const FaceGraph& g_;
    const BlockedFaces& blocked_;
    std::uint32_t stamp_ = 0;
    std::vector<FaceState> faces_;
    std::vector<std::uint32_t> strand_;
    Ball balls_[2];
    std::uint32_t best_ = kNone, meet_[2] = {kNone, kNone}, meet_edge_ = kNone;
};

// The diagram with every move made: each strand's passages replaced by its
// new path's, and the passages of the crossings it no longer makes removed.
KnotDiagram with_moves(const KnotDiagram& d, const std::vector<Move>& moves, bool over) {
    const auto m = static_cast<std::uint32_t>(d.walk.size());
    std::vector<std::uint8_t> removed(d.crossings(), 0);
    std::vector<std::uint32_t> move_at(m, kNone), inserted(m, kNone);
    KnotDiagram out;
    out.signs = d.signs;
    std::vector<std::vector<std::uint32_t>> new_crossings(moves.size());
    for (std::uint32_t x = 0; x < moves.size(); ++x) {
        const Move& mv = moves[x];
        move_at[mv.first] = x;
        for (std::uint32_t k = 0; k < mv.length; ++k) removed[d.walk[(mv.first + k) % m].crossing] = 1;
        for (std::size_t k = 0; k < mv.crossed.size(); ++k) {
            const auto c = static_cast<std::uint32_t>(out.signs.size());
            out.signs.push_back(mv.signs[k]);
            new_crossings[x].push_back(c);
            inserted[mv.crossed[k]] = c;
        }
    }
    // Start right after a strand, so that no strand runs across the start.
    const Move& any = moves.front();
    const std::uint32_t begin = (any.first + any.length) % m;
    out.walk.reserve(m);
    for (std::uint32_t k = 0; k < m;) {
        const std::uint32_t p = (begin + k) % m;
        std::uint32_t last = p;
        if (move_at[p] != kNone) {
            const Move& mv = moves[move_at[p]];
            for (const std::uint32_t c : new_crossings[move_at[p]]) out.walk.push_back({c, over});
            last = (p + mv.length - 1) % m;
            k += mv.length;
        } else {
            if (!removed[d.walk[p].crossing]) out.walk.push_back(d.walk[p]);
            ++k;
        }
        if (inserted[last] != kNone) out.walk.push_back({inserted[last], !over});
    }
    return renumbered(out);
}

// A maximal strand of one kind: from the passage after one of the other kind.
struct Strand {
    std::uint32_t first, length;
};

// The maximal strands of passages over (with `over`) or under, longest first.
std::vector<Strand> maximal_strands(const KnotDiagram& d, bool over) {
    const auto m = static_cast<std::uint32_t>(d.walk.size());
    std::vector<Strand> strands;
    for (std::uint32_t p = 0; p < m; ++p) {
        if (d.walk[p].over != over || d.walk[(p + m - 1) % m].over == over) continue;
        std::uint32_t length = 0;
        while (d.walk[(p + length) % m].over == over) ++length;
        strands.push_back({p, length});
    }
    std::stable_sort(strands.begin(), strands.end(),
                     [](const Strand& a, const Strand& b) { return a.length > b.length; });
    return strands;
}

// One sweep of strand passes. The strands are taken in order, each laid again
// when it is free and a shorter path is found. Another worker, when one is
// idle, searches strands ahead of their turn with the faces blocked so far:
// blocking only takes faces away, so a strand not free, or without a path,
// then has none at its turn either, and a path found is the one its turn
// would find unless a face the search reached has been blocked since (it is
// searched again then). The moves are the same, one by one. Strands are
// claimed in runs of about kRunWork faces' search (a search reaches about
// length^2 faces): most strands are short, and claiming them one by one would
// cost more than searching them.
class StrandSweep {
public:
    StrandSweep(const KnotDiagram& d, bool over, std::vector<Strand> strands, bool share)
        : m_(static_cast<std::uint32_t>(d.walk.size())), over_(over), share_(share), strands_(std::move(strands)),
          g_(d), blocked_(g_.faces()) {
        if (share_) start_runs();
    }

    // The moves of the sweep, in the strands' order.
    std::vector<Move> moves() {
        if (share_)
            run_with_offer([this] { sweep(); }, [this] { search_ahead(); });
        else
            sweep();
        return std::move(moves_);
    }

private:
    static constexpr std::size_t kRunWork = 256;
    struct Found {
        std::vector<std::uint32_t> faces, reached;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> crossed;
    };
    struct Run {
        std::atomic<std::uint8_t> state{0};  // kNotTaken, kTaken or kDone
    };
    enum : std::uint8_t { kNotTaken, kTaken, kDone };

    // Runs of about kRunWork: run r is strands run_start_[r] .. run_start_[r + 1] - 1.
    void start_runs() {
        const std::size_t count = strands_.size();
        std::size_t work = 0;
        for (std::size_t i = 0; i < count; ++i) {
            work += std::size_t{strands_[i].length} * strands_[i].length;
            if (work >= kRunWork) {
                run_start_.push_back(static_cast<std::uint32_t>(i + 1));
                work = 0;
            }
        }
        if (run_start_.back() != count) run_start_.push_back(static_cast<std::uint32_t>(count));
        runs_ = run_start_.size() - 1;
        run_state_ = std::make_unique<Run[]>(runs_);
        found_.resize(count);
    }

    // The strand's edges: from the passage before it to the one after it.
    void edges_of(const Strand& s, std::vector<std::uint32_t>& out) const {
        out.clear();
        for (std::uint32_t k = 0; k <= s.length; ++k) out.push_back((s.first + m_ - 1 + k) % m_);
    }

    bool free(const std::vector<std::uint32_t>& edges) const {
        return std::all_of(edges.begin(), edges.end(),
                           [&](std::uint32_t e) { return !blocked_[g_.left[e]] && !blocked_[g_.right[e]]; });
    }

    void lay(const Strand& s, const std::vector<std::uint32_t>& edges, const std::vector<std::uint32_t>& faces,
             const std::vector<std::pair<std::uint32_t, std::uint32_t>>& crossed) {
        Move mv{s.first, s.length, {}, {}};
        // The new strand crosses each edge from one of its faces to the
        // other: left to right gives a positive crossing when the new strand
        // is over (its direction turned a quarter counterclockwise is then
        // the edge's), a negative one when it is under.
        for (const auto& [e, from] : crossed) {
            mv.crossed.push_back(e);
            mv.signs.push_back(static_cast<std::int8_t>((from == g_.left[e]) == over_ ? 1 : -1));
        }
        moves_.push_back(std::move(mv));
        for (const std::uint32_t e : edges) {
            blocked_.block(g_.left[e]);
            blocked_.block(g_.right[e]);
        }
        for (const std::uint32_t f : faces) blocked_.block(f);
    }

    // Searches the next run no one has taken; false when none is left.
    bool run_ahead(PathSearch& search, std::vector<std::uint32_t>& edges, Found& scratch) {
        for (std::size_t r; (r = next_run_.fetch_add(1)) < runs_;) {
            std::uint8_t open = kNotTaken;
            if (!run_state_[r].state.compare_exchange_strong(open, kTaken, std::memory_order_acq_rel)) continue;
            for (std::uint32_t i = run_start_[r]; i < run_start_[r + 1]; ++i) {
                edges_of(strands_[i], edges);
                scratch.reached.clear();
                if (free(edges) && search.find(edges, edges.front(), edges.back(), strands_[i].length, scratch.faces,
                                               scratch.crossed, &scratch.reached))
                    found_[i] = std::make_unique<Found>(scratch);
            }
            run_state_[r].state.store(kDone, std::memory_order_release);
            return true;
        }
        return false;
    }

    void search_ahead() {
        PathSearch search(g_, blocked_, m_);
        std::vector<std::uint32_t> edges;
        Found scratch;
        while (!finished_.load(std::memory_order_relaxed) && run_ahead(search, edges, scratch)) {
        }
    }

    void sweep() {
        PathSearch search(g_, blocked_, m_);
        std::vector<std::uint32_t> strand_edges, path_faces;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> crossed;
        Found scratch;
        bool searched_ahead = false;  // the current run's strands
        for (std::size_t i = 0, r = 0; i < strands_.size(); ++i) {
            if (i % 64 == 0) cancellation_point();
            const Strand& s = strands_[i];
            if (share_ && i == run_start_[r]) {
                Run& run = run_state_[r++];
                std::uint8_t open = kNotTaken;
                searched_ahead = !run.state.compare_exchange_strong(open, kTaken, std::memory_order_acq_rel);
                // Searched ahead, or being searched: runs further on are
                // searched meanwhile.
                while (searched_ahead && run.state.load(std::memory_order_acquire) != kDone)
                    if (!run_ahead(search, strand_edges, scratch)) std::this_thread::yield();
            }
            edges_of(s, strand_edges);
            if (searched_ahead) {
                const Found* a = found_[i].get();
                if (!a || !free(strand_edges)) continue;
                if (std::none_of(a->reached.begin(), a->reached.end(), [&](std::uint32_t f) { return blocked_[f]; })) {
                    lay(s, strand_edges, a->faces, a->crossed);
                    continue;
                }
            } else if (!free(strand_edges)) {
                continue;
            }
            if (search.find(strand_edges, strand_edges.front(), strand_edges.back(), s.length, path_faces, crossed))
                lay(s, strand_edges, path_faces, crossed);
        }
        finished_.store(true, std::memory_order_relaxed);
    }

    const std::uint32_t m_;
    const bool over_, share_;
    const std::vector<Strand> strands_;
    const FaceGraph g_;
    BlockedFaces blocked_;
    std::vector<Move> moves_;
    std::vector<std::uint32_t> run_start_{0};
    std::size_t runs_ = 0;
    std::unique_ptr<Run[]> run_state_;
    std::vector<std::unique_ptr<Found>> found_;  // set for a path found ahead
    std::atomic<std::size_t> next_run_{0};
    std::atomic<bool> finished_{false};
};

}  // namespace

std::size_t pass_strands(KnotDiagram& d, bool over, std::size_t share_from) {
    if (d.walk.empty()) return 0;
    std::vector<Strand> strands = maximal_strands(d, over);
    // Every passage of one kind: a diagram of crossings none of which can
    // exist (each crossing has one passage of each kind).
    if (strands.empty()) return 0;
    const WorkerPool* pool = WorkerPool::current();
    const bool share = pool && pool->size() > 1 && strands.size() >= share_from;
    const std::vector<Move> moves = StrandSweep(d, over, std::move(strands), share).moves();
    if (moves.empty()) return 0;
    const std::size_t before = d.crossings();
    d = with_moves(d, moves, over);
    return before - d.crossings();
}

}  // namespace skeinlab
