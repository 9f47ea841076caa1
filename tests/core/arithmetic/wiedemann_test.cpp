// Wiedemann's method on a pencil: the image is the determinant up to a power of the ratio of points.
#include <gtest/gtest.h>

#include "analysis/knottype.hpp"
#include "arithmetic/wiedemann.hpp"
#include "curves.hpp"
#include "matrices.hpp"

namespace skeinlab::wiedemann_test {
namespace {

using modular::Field;
using testing::seeded_walk;
using testing::minor_of;
using testing::diagram_of_ring;
using testing::Rows;

TEST(Wiedemann, ThePencilImageIsTheDeterminantUpToAPowerOfTheRatioOfPoints) {
    const Rows minor = minor_of(alexander_matrix(diagram_of_ring(seeded_walk(300, 3, 0.2))));
    const std::size_t k = minor.size();
    SparseDeterminant det(k, minor);
    const Field f{modular::drawn_prime(4)};
    det.evaluate(f, 777);
    const SparseLU lu(k, det.rows(), det.pivot_order());
    const modular::Montgomery m(f.p);
    SparseLU::Factors factors;
    const std::uint64_t t0 = 123456789;
    ASSERT_TRUE(lu.factor(m, t0, factors));
    Stream stream(7);
    const std::optional<PencilImage> pencil = pencil_image(lu, factors, f, t0, stream, k);
    ASSERT_TRUE(pencil);
    EXPECT_GT(pencil->factor.size(), 10u);
    // det(x) = value * P(x) * (x / t0)^j for one j, the same at every x.
    std::optional<std::size_t> power;
    for (const std::uint64_t x : {std::uint64_t{2}, std::uint64_t{99991}, f.p - 3}) {
        std::uint64_t p = 0;
        for (std::size_t i = pencil->factor.size(); i-- > 0;) p = f.add(f.mul(p, x), pencil->factor[i]);
        const std::uint64_t ratio = f.mul(x, f.inv(t0));
        std::uint64_t value = f.mul(pencil->value, p);
        const std::uint64_t expected = det.evaluate(f, x);
        std::optional<std::size_t> found;
        for (std::size_t j = 0; j <= k && !found; ++j, value = f.mul(value, ratio))
            if (value == expected) found = j;
        ASSERT_TRUE(found) << "x " << x;
        if (!power) power = found;
        EXPECT_EQ(*found, *power) << "x " << x;
    }
    // A bound below the minimal polynomial's degree gives nothing.
    EXPECT_FALSE(pencil_image(lu, factors, f, t0, stream, pencil->factor.size() / 2));
}

}  // namespace
}  // namespace skeinlab::wiedemann_test
