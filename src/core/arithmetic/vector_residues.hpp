// Residues modulo primes below 2^50 held exactly in doubles, as integers in
// (-p, p), four to an AVX2 vector (with FMA): every operation is exact, so
// the values are the same on every machine. Available on x86-64 with GCC or
// Clang (SKEINLAB_VECTOR_RESIDUES), to be used only where
// cpu_has_vector_residues().
#pragma once

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define SKEINLAB_VECTOR_RESIDUES 1
#include <immintrin.h>

namespace skeinlab::vector_residues {

inline bool cpu_has_vector_residues() {
    static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return has;
}

// An integer d with |d| < 2^52, reduced into (-p, p): d - q p with q the
// integer nearest d / p (q is within one half of d / p but for the rounding
// of d / p, far below one half here).
__attribute__((target("avx2,fma"))) inline __m256d reduce(__m256d d, __m256d p, __m256d p_inverse) {
    const __m256d q = _mm256_round_pd(_mm256_mul_pd(d, p_inverse), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    return _mm256_fnmadd_pd(q, p, d);
}

// f * b in (-p, p), for f, b in (-p, p), not reduced further: the product is
// h + l exactly (h rounded, l by a fused multiply-add), q is the integer
// nearest h / p, and h - q p (exact) + l lies in (-p, p).
__attribute__((target("avx2,fma"))) inline __m256d mul(__m256d f, __m256d b, __m256d p, __m256d p_inverse) {
    const __m256d h = _mm256_mul_pd(f, b);
    const __m256d l = _mm256_fmsub_pd(f, b, h);
    const __m256d q = _mm256_round_pd(_mm256_mul_pd(h, p_inverse), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    return _mm256_add_pd(_mm256_fnmadd_pd(q, p, h), l);
}

// a - f * b reduced into (-p, p), for a, f, b in (-p, p): a minus the
// product lies in (-2p, 2p), reduced once more.
__attribute__((target("avx2,fma"))) inline __m256d sub_mul(__m256d a, __m256d f, __m256d b, __m256d p,
                                                          __m256d p_inverse) {
    return reduce(_mm256_sub_pd(a, mul(f, b, p, p_inverse)), p, p_inverse);
}

}  // namespace skeinlab::vector_residues
#endif
