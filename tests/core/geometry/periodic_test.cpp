// Periodic boxes: minimum images, and knotted chains wrapped into boxes
// smaller than themselves unwrapped back (by minimum image and by image
// flags, orthogonal and triclinic); rings that wind around the box.
#include <gtest/gtest.h>

#include <cmath>

#include "curves.hpp"
#include "geometry/periodic.hpp"

namespace skeinlab::periodic_test {
namespace {

using testing::torus_knot;

PeriodicBox orthogonal() {
    PeriodicBox box;
    box.origin = {-1.0, -1.5, -0.5};
    box.lx = 2.0;
    box.ly = 2.5;
    box.lz = 1.5;
    return box;
}

PeriodicBox triclinic() {
    PeriodicBox box = orthogonal();
    box.xy = 0.6;
    box.xz = -0.4;
    box.yz = 0.5;
    return box;
}

// Fractional coordinates of p in the box.
Point3 fractional(const Point3& p, const PeriodicBox& box) {
    const double dz = p.z - box.origin.z, s3 = dz / box.lz;
    const double dy = p.y - box.origin.y - s3 * box.yz, s2 = dy / box.ly;
    const double s1 = (p.x - box.origin.x - s2 * box.xy - s3 * box.xz) / box.lx;
    return {s1, s2, s3};
}

// Every point moved into the box by whole box vectors, with its image flags.
Chain wrapped(const Chain& chain, const PeriodicBox& box, std::vector<std::array<std::int32_t, 3>>& images) {
    Chain out;
    images.clear();
    for (const Point3& p : chain) {
        const Point3 s = fractional(p, box);
        const std::array<std::int32_t, 3> image{static_cast<std::int32_t>(std::floor(s.x)),
                                                static_cast<std::int32_t>(std::floor(s.y)),
                                                static_cast<std::int32_t>(std::floor(s.z))};
        images.push_back(image);
        out.push_back(box.shifted(p, {-image[0], -image[1], -image[2]}));
    }
    return out;
}

void expect_translate_of(const Chain& got, const Chain& original) {
    ASSERT_EQ(got.size(), original.size());
    const Point3 t = sub(got[0], original[0]);
    for (std::size_t i = 0; i < got.size(); ++i) {
        const Point3 d = sub(sub(got[i], original[i]), t);
        ASSERT_LT(length(d), 1e-9) << "point " << i;
    }
}

class Boxes : public ::testing::TestWithParam<bool> {
protected:
    PeriodicBox box() const { return GetParam() ? triclinic() : orthogonal(); }
};

TEST_P(Boxes, MinimumImageIsShortestAndCountsTheShift) {
    const PeriodicBox b = box();
    std::array<std::int64_t, 3> shift;
    const Point3 d{0.3, -0.2, 0.1};
    const Point3 far = b.shifted(d, {2, -1, 3});
    const Point3 r = minimum_image(far, b, shift);
    EXPECT_LT(length(sub(r, d)), 1e-12);
    EXPECT_EQ(shift, (std::array<std::int64_t, 3>{2, -1, 3}));
}

TEST_P(Boxes, AWrappedTrefoilUnwrapsByMinimumImageAndByImages) {
    const PeriodicBox b = box();
    const Chain knot = torus_knot(2, 3, 600);  // 8 wide, 2 high; bonds under 0.06
    std::vector<std::array<std::int32_t, 3>> images;
    Chain by_min = wrapped(knot, b, images);
    Chain by_images = by_min;
    EXPECT_TRUE(unwrap_by_minimum_image(by_min, b, true));
    expect_translate_of(by_min, knot);
    EXPECT_TRUE(unwrap_by_images(by_images, images, b, true));
    expect_translate_of(by_images, knot);
}

TEST_P(Boxes, ARingAroundTheBoxWinds) {
    const PeriodicBox b = box();
    // Along a: from the origin to one box length, in 40 steps; closed only
    // through the periodic boundary.
    Chain ring;
    for (int i = 0; i < 40; ++i) ring.push_back({b.origin.x + b.lx * i / 40.0, 0.0, 0.0});
    std::vector<std::array<std::int32_t, 3>> images;
    Chain w = wrapped(ring, b, images);
    EXPECT_FALSE(unwrap_by_minimum_image(w, b, true));
    EXPECT_FALSE(ring_closes(ring, b));
    // As an open chain nothing is amiss.
    w = wrapped(ring, b, images);
    EXPECT_TRUE(unwrap_by_minimum_image(w, b, false));
}

INSTANTIATE_TEST_SUITE_P(Periodic, Boxes, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "triclinic" : "orthogonal"; });

TEST(Periodic, NonPeriodicDirectionsAreLeftAlone) {
    PeriodicBox b = orthogonal();
    b.periodic = {true, false, true};
    std::array<std::int64_t, 3> shift;
    const Point3 r = minimum_image({5.0, 5.0, 5.0}, b, shift);
    EXPECT_EQ(r.y, 5.0);
    EXPECT_EQ(shift[1], 0);
    EXPECT_NEAR(r.x, 1.0, 1e-12);
    EXPECT_NEAR(r.z, 0.5, 1e-12);
    b.lx = 0.0;
    EXPECT_FALSE(b.valid());
}

}  // namespace
}  // namespace skeinlab::periodic_test
