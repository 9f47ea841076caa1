// Residues modulo primes below 2^50 held exactly in doubles, as integers in
// (-p, p), four to an AVX2 vector (with FMA): every operation is exact, so
// the values are the same on every machine. Available on x86-64 with GCC or
// Clang (SKEINLAB_VECTOR_RESIDUES), to be used only where
// cpu_has_vector_residues().
#pragma once

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define SKEINLAB_VECTOR_RESIDUES 1
#include <immintrin.h>

#include <cstddef>

namespace skeinlab::vector_residues {

inline bool cpu_has_vector_residues() {
    static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return has;
}

// The same on two lanes (128-bit vectors, FMA) or four (AVX2), for code
// written once for both: L::V holds L::lanes residues.
#define SKEINLAB_VECTOR_TARGET __attribute__((target("avx2,fma")))
struct TwoLanes {
    using V = __m128d;
    static constexpr std::size_t lanes = 2;
    SKEINLAB_VECTOR_TARGET static V load(const double* p) { return _mm_loadu_pd(p); }
    SKEINLAB_VECTOR_TARGET static void store(double* p, V v) { _mm_storeu_pd(p, v); }
    SKEINLAB_VECTOR_TARGET static V zero() { return _mm_setzero_pd(); }
    SKEINLAB_VECTOR_TARGET static V add(V a, V b) { return _mm_add_pd(a, b); }
    SKEINLAB_VECTOR_TARGET static V sub(V a, V b) { return _mm_sub_pd(a, b); }
    SKEINLAB_VECTOR_TARGET static V mul(V a, V b) { return _mm_mul_pd(a, b); }
    SKEINLAB_VECTOR_TARGET static V fmsub(V a, V b, V c) { return _mm_fmsub_pd(a, b, c); }
    SKEINLAB_VECTOR_TARGET static V fnmadd(V a, V b, V c) { return _mm_fnmadd_pd(a, b, c); }
    SKEINLAB_VECTOR_TARGET static V fmadd(V a, V b, V c) { return _mm_fmadd_pd(a, b, c); }
    SKEINLAB_VECTOR_TARGET static V broadcast(double x) { return _mm_set1_pd(x); }
    SKEINLAB_VECTOR_TARGET static V nearest(V a) {
        return _mm_round_pd(a, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    }
};
struct FourLanes {
    using V = __m256d;
    static constexpr std::size_t lanes = 4;
    SKEINLAB_VECTOR_TARGET static V load(const double* p) { return _mm256_loadu_pd(p); }
    SKEINLAB_VECTOR_TARGET static void store(double* p, V v) { _mm256_storeu_pd(p, v); }
    SKEINLAB_VECTOR_TARGET static V zero() { return _mm256_setzero_pd(); }
    SKEINLAB_VECTOR_TARGET static V add(V a, V b) { return _mm256_add_pd(a, b); }
    SKEINLAB_VECTOR_TARGET static V sub(V a, V b) { return _mm256_sub_pd(a, b); }
    SKEINLAB_VECTOR_TARGET static V mul(V a, V b) { return _mm256_mul_pd(a, b); }
    SKEINLAB_VECTOR_TARGET static V fmsub(V a, V b, V c) { return _mm256_fmsub_pd(a, b, c); }
    SKEINLAB_VECTOR_TARGET static V fnmadd(V a, V b, V c) { return _mm256_fnmadd_pd(a, b, c); }
    SKEINLAB_VECTOR_TARGET static V fmadd(V a, V b, V c) { return _mm256_fmadd_pd(a, b, c); }
    SKEINLAB_VECTOR_TARGET static V broadcast(double x) { return _mm256_set1_pd(x); }
    SKEINLAB_VECTOR_TARGET static V nearest(V a) {
        return _mm256_round_pd(a, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    }
};

// reduce() and mul() below, on L's vectors.
template <class L>
SKEINLAB_VECTOR_TARGET inline typename L::V reduce_lanes(typename L::V d, typename L::V p, typename L::V p_inverse) {
    return L::fnmadd(L::nearest(L::mul(d, p_inverse)), p, d);
}
template <class L>
SKEINLAB_VECTOR_TARGET inline typename L::V mul_lanes(typename L::V f, typename L::V b, typename L::V p,
                                                      typename L::V p_inverse) {
    const typename L::V h = L::mul(f, b);
    const typename L::V l = L::fmsub(f, b, h);
    return L::add(L::fnmadd(L::nearest(L::mul(h, p_inverse)), p, h), l);
}

// An integer d with |d| < 2^53 (exact in a double), reduced into (-p, p):
// d - q p with q the integer nearest d / p (or its neighbour, when the
// rounding of d / p, below 2^-40 here, crosses a half: then |d - q p| is
// still below p), computed exactly by the fused multiply-add.
SKEINLAB_VECTOR_TARGET inline __m256d reduce(__m256d d, __m256d p, __m256d p_inverse) {
    return reduce_lanes<FourLanes>(d, p, p_inverse);
}

// f * b in (-p, p), for f, b in (-p, p), not reduced further: the product is
// h + l exactly (h rounded, l by a fused multiply-add), q is the integer
// nearest h / p, and h - q p (exact) + l lies in (-p, p).
SKEINLAB_VECTOR_TARGET inline __m256d mul(__m256d f, __m256d b, __m256d p, __m256d p_inverse) {
    return mul_lanes<FourLanes>(f, b, p, p_inverse);
}

// a - f * b reduced into (-p, p), for a, f, b in (-p, p): a minus the
// product lies in (-2p, 2p), reduced once more.
SKEINLAB_VECTOR_TARGET inline __m256d sub_mul(__m256d a, __m256d f, __m256d b, __m256d p, __m256d p_inverse) {
    return reduce(_mm256_sub_pd(a, mul(f, b, p, p_inverse)), p, p_inverse);
}

}  // namespace skeinlab::vector_residues
#endif
