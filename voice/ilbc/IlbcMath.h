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

// The largest of n values (n > 0).
inline float maxOf(const float* x, int n)
{
    int i = 0;
    float m = x[0];
#if defined(__SSE__)
    if (n >= 4) {
        __m128 v = _mm_loadu_ps(x);
        for (i = 4; i + 4 <= n; i += 4)
            v = _mm_max_ps(v, _mm_loadu_ps(x + i));
        float lanes[4];
        _mm_storeu_ps(lanes, v);
        m = lanes[0];
        for (int k = 1; k < 4; ++k)
            m = lanes[k] > m ? lanes[k] : m;
    }
#endif
    for (; i < n; ++i)
        m = x[i] > m ? x[i] : m;
    return m;
}

// The first index in [from, n) whose value exceeds threshold, or n.
inline int firstAbove(const float* x, int from, int n, float threshold)
{
    int i = from;
#if defined(__SSE__)
    const __m128 t = _mm_set1_ps(threshold);
    for (; i + 4 <= n; i += 4) {
        const int mask = _mm_movemask_ps(_mm_cmpgt_ps(_mm_loadu_ps(x + i), t));
        if (mask != 0)
            return i + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    for (; i < n; ++i)
        if (x[i] > threshold)
            return i;
    return n;
}

}  // namespace orvane::ilbc
