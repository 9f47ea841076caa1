// Exact orientation predicates on doubles: a floating-point filter answers
// when its error bound proves the sign, and integer arithmetic of any size
// (arithmetic/bigint.hpp) on the exact values decides the rest. The build keeps fused multiply-add off,
// which the filter's error bounds assume.
#pragma once

#include "geometry/geometry.hpp"

namespace skeinlab::exact {

// Sign (-1, 0, +1) of det[a - d; b - d; c - d] for finite coordinates.
int orient3d(const Point3& a, const Point3& b, const Point3& c, const Point3& d);

// Sign (-1, 0, +1) of (b - a) x (c - a) in the plane of the first two
// coordinates (+1: a, b, c counterclockwise), for finite coordinates.
int orient2d(const Point3& a, const Point3& b, const Point3& c);

// True when a, b and c lie on one line (or coincide), exactly.
bool collinear(const Point3& a, const Point3& b, const Point3& c);

}  // namespace skeinlab::exact
