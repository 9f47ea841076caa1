#include "geometry/periodic.hpp"

#include <cmath>

namespace skeinlab {

Point3 PeriodicBox::from_fractional(const Point3& s) const {
    return {origin.x + s.x * lx + s.y * xy + s.z * xz, origin.y + s.y * ly + s.z * yz, origin.z + s.z * lz};
}

Point3 PeriodicBox::shifted(const Point3& p, const std::array<std::int32_t, 3>& images) const {
    const double i = images[0], j = images[1], k = images[2];
    return {p.x + i * lx + j * xy + k * xz, p.y + j * ly + k * yz, p.z + k * lz};
}

bool PeriodicBox::valid() const {
    const double lengths[3] = {lx, ly, lz};
    for (int k = 0; k < 3; ++k)
        if (periodic[k] && !(std::isfinite(lengths[k]) && lengths[k] > 0.0)) return false;
    return std::isfinite(xy) && std::isfinite(xz) && std::isfinite(yz);
}

Point3 minimum_image(const Point3& d, const PeriodicBox& box, std::array<std::int64_t, 3>& shift) {
    Point3 r = d;
    shift = {0, 0, 0};
    if (box.periodic[2]) {
        const double k = std::nearbyint(r.z / box.lz);
        shift[2] = static_cast<std::int64_t>(k);
        r = {r.x - k * box.xz, r.y - k * box.yz, r.z - k * box.lz};
    }
    if (box.periodic[1]) {
        const double j = std::nearbyint(r.y / box.ly);
        shift[1] = static_cast<std::int64_t>(j);
        r = {r.x - j * box.xy, r.y - j * box.ly, r.z};
    }
    if (box.periodic[0]) {
        const double i = std::nearbyint(r.x / box.lx);
        shift[0] = static_cast<std::int64_t>(i);
        r = {r.x - i * box.lx, r.y, r.z};
    }
    return r;
}

bool ring_closes(const Chain& ring, const PeriodicBox& box) {
    if (ring.size() < 2) return true;
    std::array<std::int64_t, 3> shift;
    minimum_image(sub(ring.front(), ring.back()), box, shift);
    return shift == std::array<std::int64_t, 3>{0, 0, 0};
}

bool unwrap_by_minimum_image(Chain& chain, const PeriodicBox& box, bool ring) {
    std::array<std::int64_t, 3> shift;
    for (std::size_t i = 1; i < chain.size(); ++i) {
        const Point3 bond = minimum_image(sub(chain[i], chain[i - 1]), box, shift);
        chain[i] = {chain[i - 1].x + bond.x, chain[i - 1].y + bond.y, chain[i - 1].z + bond.z};
    }
    return !ring || ring_closes(chain, box);
}

bool unwrap_present_points(Chain& chain, const PeriodicBox& box, bool ring) {
    std::vector<std::size_t> present;
    for (std::size_t i = 0; i < chain.size(); ++i)
        if (!is_missing(chain[i])) present.push_back(i);
    if (present.size() == chain.size()) return unwrap_by_minimum_image(chain, box, ring);
    Chain compact;
    compact.reserve(present.size());
    for (const std::size_t i : present) compact.push_back(chain[i]);
    const bool closed = unwrap_by_minimum_image(compact, box, ring);
    for (std::size_t k = 0; k < present.size(); ++k) chain[present[k]] = compact[k];
    return closed;
}

bool unwrap_by_images(Chain& chain, const std::vector<std::array<std::int32_t, 3>>& images, const PeriodicBox& box,
                      bool ring) {
    for (std::size_t i = 0; i < chain.size() && i < images.size(); ++i) chain[i] = box.shifted(chain[i], images[i]);
    return !ring || ring_closes(chain, box);
}

}  // namespace skeinlab
