#pragma once

// Inner products, the codec's hot loop: two independent four-lane partial sums where SSE
// is there (every x86-64), a plain loop elsewhere. The sum's order differs from a strict
// left-to-right sum only in the last bits.

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace orvane::ilbc {

inline float dot(const float* a, const float* b, int n)
{
    int i = 0;
    float s = 0.0f;
#if defined(__SSE__)
    __m128 s0 = _mm_setzero_ps();
    __m128 s1 = _mm_setzero_ps();
    for (; i + 8 <= n; i += 8) {
        s0 = _mm_add_ps(s0, _mm_mul_ps(_mm_loadu_ps(a + i), _mm_loadu_ps(b + i)));
        s1 = _mm_add_ps(s1, _mm_mul_ps(_mm_loadu_ps(a + i + 4), _mm_loadu_ps(b + i + 4)));
    }
    float lanes[4];
    _mm_storeu_ps(lanes, _mm_add_ps(s0, s1));
    s = (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
#endif
    for (; i < n; ++i)
        s += a[i] * b[i];
    return s;
}

}  // namespace orvane::ilbc
