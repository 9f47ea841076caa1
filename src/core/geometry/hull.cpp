#include "geometry/hull.hpp"

#include <cmath>
#include <cstdint>

#include "geometry/exact.hpp"

namespace skeinlab {
namespace {

constexpr int kNoFace = -1;

// trunc(x / 2^-52) * 2^-52, exactly: doubles of magnitude 2^52 or more are
// integers already; smaller ones are scaled, truncated and scaled back, each
// step exact.
double truncate_to_grid(double x) {
    if (std::fabs(x) >= 4503599627370496.0) return x;
    return std::trunc(std::ldexp(x, 52)) * 0x1p-52;
}

struct Face {
    int v[3];
    int neighbour[3];  // across edge (v[i], v[(i + 1) % 3])
    bool alive = true;
    std::uint32_t stamp = 0;  // iteration of the last visibility test
    bool visible = false;
    std::vector<int> conflicts;  // points not yet inserted that see this face
};

class HullBuilder {
public:
    explicit HullBuilder(std::vector<Point3> pts) : pts_(std::move(pts)) {}

    bool build() {
        int simplex[4];
        if (!initial_simplex(simplex)) return false;
        make_tetrahedron(simplex);

        // A fixed pseudo-random insertion order keeps the expected cost at
        // O(n log n) and the output reproducible.
        std::vector<int> order;
        order.reserve(pts_.size());
        for (int i = 0; i < static_cast<int>(pts_.size()); ++i)
            if (i != simplex[0] && i != simplex[1] && i != simplex[2] && i != simplex[3]) order.push_back(i);
        std::uint64_t state = 0x9E3779B97F4A7C15ull;
        for (std::size_t i = order.size(); i > 1; --i) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            const std::size_t j = static_cast<std::size_t>((state >> 33) % i);
            std::swap(order[i - 1], order[j]);
        }

        conflict_face_.assign(pts_.size(), kNoFace);
        for (const int p : order) assign_conflict(p, 0, faces_.size());
        for (const int p : order)
            if (conflict_face_[p] != kNoFace) insert(p);
        return true;
    }

    Hull result() && {
        Hull hull;
        hull.vertices = std::move(pts_);
        for (const Face& f : faces_)
            if (f.alive)
                for (const int v : f.v) hull.facets.push_back(static_cast<std::size_t>(v));
        return hull;
    }

private:
    bool sees(const Face& f, int p) const {
        return exact::orient3d(pts_[f.v[0]], pts_[f.v[1]], pts_[f.v[2]], pts_[p]) < 0;
    }

    bool initial_simplex(int (&s)[4]) const {
        const int n = static_cast<int>(pts_.size());
        s[0] = 0;
        s[1] = s[2] = s[3] = -1;
        for (int i = 1; i < n && s[1] < 0; ++i)
            if (!(pts_[i] == pts_[0])) s[1] = i;
        if (s[1] < 0) return false;
        for (int i = s[1] + 1; i < n && s[2] < 0; ++i)
            if (!exact::collinear(pts_[s[0]], pts_[s[1]], pts_[i])) s[2] = i;
        if (s[2] < 0) return false;
        for (int i = s[2] + 1; i < n && s[3] < 0; ++i)
            if (exact::orient3d(pts_[s[0]], pts_[s[1]], pts_[s[2]], pts_[i]) != 0) s[3] = i;
        return s[3] >= 0;
    }

    int add_face(int a, int b, int c) {
        Face f;
        f.v[0] = a;
        f.v[1] = b;
        f.v[2] = c;
        f.neighbour[0] = f.neighbour[1] = f.neighbour[2] = kNoFace;
        faces_.push_back(std::move(f));
        return static_cast<int>(faces_.size()) - 1;
    }

    void make_tetrahedron(const int (&s)[4]) {
        // Each face is oriented so that the opposite vertex lies on its inner side.
        const int tri[4][4] = {{s[0], s[1], s[2], s[3]},
                               {s[0], s[1], s[3], s[2]},
                               {s[0], s[2], s[3], s[1]},
                               {s[1], s[2], s[3], s[0]}};
        for (const auto& t : tri) {
            if (exact::orient3d(pts_[t[0]], pts_[t[1]], pts_[t[2]], pts_[t[3]]) > 0)
                add_face(t[0], t[1], t[2]);
            else
                add_face(t[1], t[0], t[2]);
        }
        // Link faces that share an edge (u, v) traversed in opposite directions.
        for (int f = 0; f < 4; ++f)
            for (int e = 0; e < 3; ++e)
                for (int g = 0; g < 4; ++g)
                    for (int k = 0; k < 3; ++k)
                        if (g != f && faces_[g].v[k] == faces_[f].v[(e + 1) % 3] &&
                            faces_[g].v[(k + 1) % 3] == faces_[f].v[e])
                            faces_[f].neighbour[e] = g;
    }

    // Gives p to the first face in [first, last) that it sees, if any.
    void assign_conflict(int p, std::size_t first, std::size_t last) {
        conflict_face_[p] = kNoFace;
        for (std::size_t f = first; f < last; ++f) {
            if (faces_[f].alive && sees(faces_[f], p)) {
                conflict_face_[p] = static_cast<int>(f);
                faces_[f].conflicts.push_back(p);
                return;
            }
        }
    }

    void insert(int p) {
        ++stamp_;
        // The faces p sees form a connected cap around its conflict face.
        std::vector<int> visible{conflict_face_[p]};
        faces_[visible[0]].stamp = stamp_;
        faces_[visible[0]].visible = true;
        struct HorizonEdge {
            int face, edge;
        };
        std::vector<HorizonEdge> horizon;
        for (std::size_t k = 0; k < visible.size(); ++k) {
            const int f = visible[k];
            for (int e = 0; e < 3; ++e) {
                const int g = faces_[f].neighbour[e];
                if (faces_[g].stamp != stamp_) {
                    faces_[g].stamp = stamp_;
                    faces_[g].visible = sees(faces_[g], p);
                    if (faces_[g].visible) visible.push_back(g);
                }
                if (!faces_[g].visible) horizon.push_back({f, e});
            }
        }

        // One new face per horizon edge, keeping the edge's direction.
        const std::size_t first_new = faces_.size();
        if (start_face_.size() < pts_.size()) start_face_.assign(pts_.size(), kNoFace);
        for (const HorizonEdge& h : horizon) {
            const Face& old = faces_[h.face];
            const int a = old.v[h.edge];
            const int b = old.v[(h.edge + 1) % 3];
            const int outer = old.neighbour[h.edge];
            const int nf = add_face(a, b, p);
            faces_[nf].neighbour[0] = outer;
            for (int k = 0; k < 3; ++k)
                if (faces_[outer].neighbour[k] == h.face) faces_[outer].neighbour[k] = nf;
            start_face_[a] = nf;
        }
        for (std::size_t f = first_new; f < faces_.size(); ++f) {
            const int b = faces_[f].v[1];
            const int next = start_face_[b];
            faces_[f].neighbour[1] = next;
            faces_[next].neighbour[2] = static_cast<int>(f);
        }

        // Retire the cap and hand its waiting points to the new faces.
        std::vector<int> orphans;
        for (const int f : visible) {
            faces_[f].alive = false;
            for (const int q : faces_[f].conflicts)
                if (q != p) orphans.push_back(q);
            faces_[f].conflicts.clear();
            faces_[f].conflicts.shrink_to_fit();
        }
        conflict_face_[p] = kNoFace;
        for (const int q : orphans) assign_conflict(q, first_new, faces_.size());
    }

    std::vector<Point3> pts_;
    std::vector<Face> faces_;
    std::vector<int> conflict_face_;
    std::vector<int> start_face_;
    std::uint32_t stamp_ = 0;
};

}  // namespace

std::optional<Hull> build_hull(const std::vector<Point3>& points) {
    if (points.size() < 4) return std::nullopt;
    std::vector<Point3> grid;
    grid.reserve(points.size());
    for (const Point3& p : points) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return std::nullopt;
        grid.push_back({truncate_to_grid(p.x), truncate_to_grid(p.y), truncate_to_grid(p.z)});
    }
    HullBuilder builder(std::move(grid));
    if (!builder.build()) return std::nullopt;
    return std::move(builder).result();
}

}  // namespace skeinlab
