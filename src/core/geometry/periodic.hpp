// Periodic simulation boxes: the minimum image of a bond, and chains unwrapped
// across the box so that no bond jumps from one face to the other.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "geometry/geometry.hpp"

namespace skeinlab {

// A box as simulation programs give it (LAMMPS' restricted triclinic form,
// also what an orthogonal box or lengths and angles become): the corner
// origin and the edge vectors a = (lx, 0, 0), b = (xy, ly, 0), c = (xz, yz, lz),
// each periodic or not.
struct PeriodicBox {
    Point3 origin;
    double lx = 0.0, ly = 0.0, lz = 0.0;
    double xy = 0.0, xz = 0.0, yz = 0.0;
    std::array<bool, 3> periodic{true, true, true};

    // The point at fractional coordinates (s1, s2, s3).
    Point3 from_fractional(const Point3& s) const;
    // p + i a + j b + k c.
    Point3 shifted(const Point3& p, const std::array<std::int32_t, 3>& images) const;
    // Whether every periodic edge is a positive finite length.
    bool valid() const;
};

// The image of displacement d closest to it under the box's periodic
// directions, by whole box vectors along c, then b, then a (LAMMPS' order),
// each a count rounded half to even; `shift` receives the counts subtracted.
Point3 minimum_image(const Point3& d, const PeriodicBox& box, std::array<std::int64_t, 3>& shift);

// Whether a ring's closing bond (last point to first) is its own minimum
// image: false when the ring winds around the periodic box.
bool ring_closes(const Chain& ring, const PeriodicBox& box);

// Unwraps a chain in place: each point moved by whole box vectors so that its
// bond from the point before is the minimum image. For a ring, returns false
// when its closing bond (last point to first) is then not its own minimum
// image: the ring winds around the periodic box and is not closed in space.
bool unwrap_by_minimum_image(Chain& chain, const PeriodicBox& box, bool ring);

// unwrap_by_minimum_image over the points that are present (finite ones),
// in order; missing points stay as they are.
bool unwrap_present_points(Chain& chain, const PeriodicBox& box, bool ring);

// Unwraps a chain by its image flags (point i moved by images[i] box
// vectors). For a ring, returns false as unwrap_by_minimum_image does when
// the closing bond is not its own minimum image.
bool unwrap_by_images(Chain& chain, const std::vector<std::array<std::int32_t, 3>>& images, const PeriodicBox& box,
                      bool ring);

}  // namespace skeinlab
