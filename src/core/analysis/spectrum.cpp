#include "analysis/spectrum.hpp"

#include "analysis/identify.hpp"
#include "runtime/cancel.hpp"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>

namespace skeinlab {
namespace {

// A point (a, b) uniform in the unit disc by rejection, without its centre
// when `no_centre`; returns a^2 + b^2.
double point_in_disc(Stream& stream, double& a, double& b, bool no_centre) {
    double s = 0.0;
    do {
        a = stream.symmetric_unit();
        b = stream.symmetric_unit();
        s = a * a + b * b;
    } while (s >= 1.0 || (no_centre && s == 0.0));
    return s;
}

}  // namespace

Rotation random_rotation(Stream& stream) {
    // (a, b) uniform in the unit disc, (c, d) uniform in the unit disc without
    // its centre; (a, b, c f, d f) with f = sqrt((1 - s1) / s2) is uniform on
    // the unit 3-sphere, and a unit quaternion uniform on the sphere is a
    // rotation uniform over all rotations.
    double a = 0.0, b = 0.0, c = 0.0, d = 0.0;
    const double s1 = point_in_disc(stream, a, b, false);
    const double s2 = point_in_disc(stream, c, d, true);
    const double f = std::sqrt((1.0 - s1) / s2);
    return quaternion_rotation(a, b, c * f, d * f);
}

Point3 random_direction(Stream& stream) {
    double a = 0.0, b = 0.0;
    const double s = point_in_disc(stream, a, b, false);
    const double r = 2.0 * std::sqrt(1.0 - s);
    return {a * r, b * r, 1.0 - 2.0 * s};
}

ChainExtent chain_extent(const Chain& chain) {
    ChainExtent extent;
    if (chain.empty()) return extent;
    Point3 sum;
    for (const Point3& p : chain) {
        sum.x += p.x;
        sum.y += p.y;
        sum.z += p.z;
    }
    const double count = static_cast<double>(chain.size());
    extent.centre = {sum.x / count, sum.y / count, sum.z / count};
    for (const Point3& p : chain) {
        const double distance = length(sub(p, extent.centre));
        if (distance > extent.radius) extent.radius = distance;  // NaN distances are passed over
    }
    return extent;
}

Point3 far_point(const ChainExtent& extent, const Point3& direction, double reach) {
    const double f = reach * extent.radius;
    return {extent.centre.x + direction.x * f, extent.centre.y + direction.y * f,
            extent.centre.z + direction.z * f};
}

SampledChain::SampledChain(Chain chain, bool is_ring, const KnotTypeOptions& options)
    : is_ring_(is_ring), options_(options) {
    drop_missing_points(chain);
    scale_by_power_of_two(chain, unit_exponent(chain));
    options_.is_ring = true;  // every sample is typed as a closed polygon
    if (is_ring) {
        reduced_ = std::move(chain);
        if (options.use_kmt) kmt_ring(reduced_);
        return;
    }
    extent_ = chain_extent(chain);
    reduced_ = chain;
    if (options.use_kmt) kmt_open_chain(reduced_, &moves_);
    original_ = std::move(chain);
}

Chain SampledChain::replay(const Point3& far, std::size_t* applied) const {
    const std::size_t n = original_.size();
    const Point3& first = original_.front();
    const Point3& last = original_.back();
    std::vector<std::size_t> prev(n), next(n);
    for (std::size_t i = 0; i < n; ++i) {
        prev[i] = i - 1;  // wraps for i = 0, never read: the ends are never deleted
        next[i] = i + 1;
    }
    std::vector<std::uint8_t> deleted(n, 0);
    std::vector<std::size_t> skipped;
    std::size_t done = 0;
    for (const KmtMove& m : moves_) {
        // The side test first, as judge_triangle evaluates it: most segments
        // lie on one side of the plane and need no more.
        const auto blocks = [&](const Point3& s, const Point3& t) {
            return !(m.plane.signed_distance(s) * m.plane.signed_distance(t) > kKmtEpsilon) &&
                   judge_triangle(m.p, m.q, m.r, m.plane, s, t);
        };
        bool valid = prev[m.vertex] == m.before && next[m.vertex] == m.after && !blocks(last, far) &&
                     !blocks(far, first);
        for (std::size_t k = 0; valid && k < skipped.size(); ++k) {
            const std::size_t v = skipped[k];
            valid = !blocks(original_[prev[v]], original_[v]) && !blocks(original_[v], original_[next[v]]);
        }
        if (valid) {
            next[m.before] = m.after;
            prev[m.after] = m.before;
            deleted[m.vertex] = 1;
            ++done;
        } else {
            if (skipped.size() == kMaxSkipped) break;
            skipped.push_back(m.vertex);
        }
    }
    if (applied) *applied = done;
    Chain chain;
    chain.reserve(n - done + 1);
    for (std::size_t i = 0; i < n; ++i)
        if (!deleted[i]) chain.push_back(original_[i]);
    return chain;
}

Chain SampledChain::sample_polygon(Stream& stream, std::size_t* applied) const {
    const Rotation rotation = random_rotation(stream);
    Chain polygon;
    if (is_ring_) {
        polygon.reserve(reduced_.size());
        for (const Point3& p : reduced_) polygon.push_back(rotation.apply(p));
        if (applied) *applied = 0;
        return polygon;
    }
    if (original_.empty()) return polygon;
    const Point3 far = far_point(extent_, random_direction(stream), options_.hull_scale);
    polygon = replay(far, applied);
    for (Point3& p : polygon) p = rotation.apply(p);
    polygon.push_back(rotation.apply(far));
    return polygon;
}

Result<std::string> SampledChain::sample(Stream stream, const AlexanderTable& table) const {
    if (options_.invariant == KnotInvariant::Homfly) return identify_knot(sample_polygon(stream), options_).name;
    return get_knottype(sample_polygon(stream), table, options_);
}

void Spectrum::add(const std::string& name, bool named, std::uint64_t count) {
    for (SpectrumEntry& e : entries_)
        if (e.name == name && e.named == named) {
            e.count += count;
            return;
        }
    entries_.push_back({name, count, named});
}

void Spectrum::merge(const Spectrum& other) {
    for (const SpectrumEntry& e : other.entries_) add(e.name, e.named, e.count);
}

std::uint64_t Spectrum::total() const {
    std::uint64_t total = 0;
    for (const SpectrumEntry& e : entries_) total += e.count;
    return total;
}

std::vector<SpectrumEntry> Spectrum::sorted() const {
    std::vector<SpectrumEntry> entries = entries_;
    const auto rank = [](const SpectrumEntry& e) {
        const int group = e.named ? (e.name == "1" ? 0 : 1) : 2;
        // Identified names sort by their first prime summand, its sign and
        // brackets passed over ("+3_1#4_1" as 3_1).
        const std::string_view first = std::string_view(e.name).substr(std::min(e.name.find_first_not_of("(+-"), e.name.size()));
        const auto key = e.named ? knot_sort_key(first.substr(0, first.find_first_of("|#)")))
                                 : std::pair<std::uint32_t, std::uint32_t>{0, 0};
        return std::make_tuple(group, key, std::string_view(e.name));
    };
    std::sort(entries.begin(), entries.end(), [&](const SpectrumEntry& l, const SpectrumEntry& r) {
        if (l.count != r.count) return l.count > r.count;
        return rank(l) < rank(r);
    });
    return entries;
}

Result<Spectrum> sample_spectrum(const SampledChain& chain, const std::vector<std::uint64_t>& key,
                                 std::uint64_t first, std::uint64_t last, const AlexanderTable& table) {
    std::vector<std::uint64_t> sample_key = key;
    sample_key.push_back(0);
    Spectrum spectrum;
    for (std::uint64_t k = first; k < last; ++k) {
        cancellation_point();
        sample_key.back() = k;
        Result<std::string> name = chain.sample(Stream::keyed(sample_key.data(), sample_key.size()), table);
        if (name) {
            spectrum.add(name.value(), true);
        } else if (name.error().kind() == KnotError::Kind::NotFound) {
            spectrum.add(name.error().message(), false);
        } else {
            return name.error();
        }
    }
    return spectrum;
}

std::vector<std::array<std::size_t, 2>> fingerprint_windows(std::size_t n, std::size_t step) {
    std::vector<std::size_t> grid;
    for (std::size_t i = 0; i < n; i += step) {
        grid.push_back(i);
        if (n - 1 - i < step) break;  // the next grid point would pass the end
    }
    if (n > 0 && grid.back() != n - 1) grid.push_back(n - 1);
    std::vector<std::array<std::size_t, 2>> windows;
    for (std::size_t a = 0; a < grid.size(); ++a)
        for (std::size_t b = a + 1; b < grid.size(); ++b)
            if (grid[b] - grid[a] >= 4) windows.push_back({grid[a], grid[b]});
    return windows;
}

}  // namespace skeinlab
