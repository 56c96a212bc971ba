#include "voice/ilbc/IlbcLpc.h"

#include "voice/ilbc/IlbcMath.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orvane::ilbc {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kHalf = kOrder / 2;
constexpr int kGrid = 128;

// Sum of c[k] * cos((kHalf - k) w) for k < kHalf, plus c[kHalf] / 2: the symmetric sum or
// difference polynomial with its trivial root removed, on the unit circle, as a polynomial
// in x = cos(w) (Chebyshev recursion, no trigonometry).
double evalSymmetric(const double* c, double x)
{
    double tPrev = 1.0, t = x;  // T0, T1
    double s = 0.5 * c[kHalf] + c[kHalf - 1] * t;
    for (int m = 2; m <= kHalf; ++m) {
        const double next = 2.0 * x * t - tPrev;
        tPrev = t;
        t = next;
        s += c[kHalf - m] * t;
    }
    return s;
}

// cos(pi g / kGrid) for g = 0..kGrid.
const double* gridCosines()
{
    static const struct Grid {
        double x[kGrid + 1];
        Grid()
        {
            for (int g = 0; g <= kGrid; ++g)
                x[g] = std::cos(kPi * g / kGrid);
        }
    } grid;
    return grid.x;
}

// Roots of one symmetric polynomial in (0, pi), found on a grid and refined by bisection.
int findRoots(const double* c, double* roots)
{
    const double* grid = gridCosines();
    int found = 0;
    double prevX = grid[0];
    double prev = evalSymmetric(c, prevX);
    for (int g = 1; g <= kGrid && found < kHalf; ++g) {
        const double x = grid[g];
        const double v = evalSymmetric(c, x);
        if ((prev <= 0.0 && v > 0.0) || (prev >= 0.0 && v < 0.0)) {
            double lo = prevX, hi = x, flo = prev, fhi = v;
            for (int it = 0; it < 8; ++it) {
                const double mid = 0.5 * (lo + hi);
                const double fm = evalSymmetric(c, mid);
                if ((flo <= 0.0) == (fm <= 0.0)) {
                    lo = mid;
                    flo = fm;
                } else {
                    hi = mid;
                    fhi = fm;
                }
            }
            // The last step linear between the bracket's ends.
            const double root = (flo != fhi) ? lo + (hi - lo) * flo / (flo - fhi) : 0.5 * (lo + hi);
            roots[found++] = std::acos(std::clamp(root, -1.0, 1.0));
        }
        prevX = x;
        prev = v;
    }
    return found;
}

// Product of (1 - 2 cos(w) z^-1 + z^-2) over five frequencies: 11 coefficients.
void productOfPairs(const double* w, double* p)
{
    double q[kOrder + 1] = {1.0};
    int len = 1;
    for (int k = 0; k < kHalf; ++k) {
        const double c = -2.0 * std::cos(w[k]);
        double next[kOrder + 1] = {};
        for (int i = 0; i < len; ++i) {
            next[i] += q[i];
            next[i + 1] += c * q[i];
            next[i + 2] += q[i];
        }
        len += 2;
        std::memcpy(q, next, sizeof(q));
    }
    std::memcpy(p, q, sizeof(q));
}

}  // namespace

void autocorrelation(const float* x, int n, float* r)
{
    for (int lag = 0; lag <= kOrder; ++lag)
        r[lag] = dot(x, x + lag, n - lag);
}

void levinson(const float* r, float* a)
{
    double acc[kLpcSize] = {1.0};
    double err = r[0];
    for (int i = 1; i <= kOrder; ++i) {
        if (err <= 0.0)
            break;
        double k = -r[i];
        for (int j = 1; j < i; ++j)
            k -= acc[j] * r[i - j];
        k /= err;
        double next[kLpcSize];
        std::memcpy(next, acc, sizeof(next));
        for (int j = 1; j < i; ++j)
            next[j] = acc[j] + k * acc[i - j];
        next[i] = k;
        std::memcpy(acc, next, sizeof(acc));
        err *= (1.0 - k * k);
    }
    for (int i = 0; i <= kOrder; ++i)
        a[i] = static_cast<float>(acc[i]);
}

void bandwidthExpand(const float* a, float chirp, float* out)
{
    float f = 1.0f;
    for (int i = 0; i <= kOrder; ++i) {
        out[i] = a[i] * f;
        f *= chirp;
    }
}

bool lpcToLsf(const float* a, float* lsf)
{
    // P(z) = A(z) + z^-11 A(1/z) has a root at z = -1, Q(z) = A(z) - z^-11 A(1/z) at z = 1.
    double p[kOrder + 2], q[kOrder + 2];
    for (int k = 0; k <= kOrder + 1; ++k) {
        const double ak = k <= kOrder ? a[k] : 0.0;
        const double ar = (kOrder + 1 - k) <= kOrder ? a[kOrder + 1 - k] : 0.0;
        p[k] = ak + ar;
        q[k] = ak - ar;
    }
    double pr[kOrder + 1], qr[kOrder + 1];
    pr[0] = p[0];
    qr[0] = q[0];
    for (int k = 1; k <= kOrder; ++k) {
        pr[k] = p[k] - pr[k - 1];
        qr[k] = q[k] + qr[k - 1];
    }
    double rp[kHalf], rq[kHalf];
    if (findRoots(pr, rp) != kHalf || findRoots(qr, rq) != kHalf)
        return false;
    for (int k = 0; k < kHalf; ++k) {
        if (rp[k] >= rq[k] || (k > 0 && rq[k - 1] >= rp[k]))
            return false;
        lsf[2 * k] = static_cast<float>(rp[k]);
        lsf[2 * k + 1] = static_cast<float>(rq[k]);
    }
    return true;
}

void lsfToLpc(const float* lsf, float* a)
{
    double wp[kHalf], wq[kHalf];
    for (int k = 0; k < kHalf; ++k) {
        wp[k] = lsf[2 * k];
        wq[k] = lsf[2 * k + 1];
    }
    double pp[kOrder + 1], qq[kOrder + 1];
    productOfPairs(wp, pp);
    productOfPairs(wq, qq);
    // Multiply by (1 + z^-1) and (1 - z^-1); A is their mean.
    for (int i = 0; i <= kOrder; ++i) {
        const double pi = pp[i] + (i > 0 ? pp[i - 1] : 0.0);
        const double qi = qq[i] - (i > 0 ? qq[i - 1] : 0.0);
        a[i] = static_cast<float>(0.5 * (pi + qi));
    }
    a[0] = 1.0f;
}

void quantizeLsf(const float* lsf, float* qlsf, int* index)
{
    const float* cb = kLsfCodebook;
    int pos = 0;
    for (int s = 0; s < kLsfSplits; ++s) {
        const int dim = kLsfSplitDim[s];
        int best = 0;
        float bestErr = 1e30f;
        for (int e = 0; e < kLsfSplitSize[s]; ++e) {
            float err = 0.0f;
            for (int d = 0; d < dim; ++d) {
                const float diff = lsf[pos + d] - cb[e * dim + d];
                err += diff * diff;
            }
            if (err < bestErr) {
                bestErr = err;
                best = e;
            }
        }
        index[s] = best;
        for (int d = 0; d < dim; ++d)
            qlsf[pos + d] = cb[best * dim + d];
        cb += kLsfSplitSize[s] * dim;
        pos += dim;
    }
}

void dequantizeLsf(const int* index, float* qlsf)
{
    const float* cb = kLsfCodebook;
    int pos = 0;
    for (int s = 0; s < kLsfSplits; ++s) {
        const int dim = kLsfSplitDim[s];
        for (int d = 0; d < dim; ++d)
            qlsf[pos + d] = cb[index[s] * dim + d];
        cb += kLsfSplitSize[s] * dim;
        pos += dim;
    }
}

void stabilizeLsf(float* lsf)
{
    constexpr float kLow = 0.01f;
    constexpr float kHigh = 3.14f;
    for (int pass = 0; pass < 4; ++pass) {
        bool moved = false;
        for (int i = 0; i < kOrder - 1; ++i) {
            if (lsf[i + 1] - lsf[i] < kMinLsfDistance) {
                const float mid = 0.5f * (lsf[i] + lsf[i + 1]);
                lsf[i] = mid - 0.5f * kMinLsfDistance;
                lsf[i + 1] = mid + 0.5f * kMinLsfDistance;
                moved = true;
            }
        }
        for (int i = 0; i < kOrder; ++i) {
            if (lsf[i] < kLow) {
                lsf[i] = kLow;
                moved = true;
            } else if (lsf[i] > kHigh) {
                lsf[i] = kHigh;
                moved = true;
            }
        }
        if (!moved)
            break;
    }
}

void interpolateLpc(const Mode& mode, const float* previous, const float* lsf, float* lpc)
{
    float mixed[kOrder];
    for (int sub = 0; sub < mode.subBlocks; ++sub) {
        const float* first;
        const float* second;
        float w;
        if (mode.lpcSets == 1) {
            first = previous;
            second = lsf;
            w = kLsfWeight20[sub];
        } else {
            first = sub == 0 ? previous : lsf;
            second = sub == 0 ? lsf : lsf + kOrder;
            w = kLsfWeight30[sub];
        }
        for (int i = 0; i < kOrder; ++i)
            mixed[i] = w * first[i] + (1.0f - w) * second[i];
        lsfToLpc(mixed, lpc + sub * kLpcSize);
    }
}

void analysisFilter(const float* x, int n, const float* a, float* mem, float* y)
{
    for (int i = 0; i < n; ++i) {
        float s = x[i];
        for (int j = 1; j <= kOrder; ++j) {
            const int k = i - j;
            s += a[j] * (k >= 0 ? x[k] : mem[kOrder + k]);
        }
        y[i] = s;
    }
    for (int j = 0; j < kOrder; ++j) {
        const int k = n - kOrder + j;
        mem[j] = k >= 0 ? x[k] : mem[j + n];
    }
}

void synthesisFilter(float* x, int n, const float* a, float* mem)
{
    float hist[kOrder + kMaxBlock];
    std::memcpy(hist, mem, sizeof(float) * kOrder);
    float* out = hist + kOrder;
    for (int i = 0; i < n; ++i) {
        // Two partial sums halve the chain of dependent additions.
        const float* o = out + i;
        float even = x[i] - a[2] * o[-2] - a[4] * o[-4] - a[6] * o[-6] - a[8] * o[-8] - a[10] * o[-10];
        const float odd = a[3] * o[-3] + a[5] * o[-5] + a[7] * o[-7] + a[9] * o[-9];
        even -= odd;
        const float s = even - a[1] * o[-1];
        out[i] = s;
        x[i] = s;
    }
    std::memcpy(mem, hist + n, sizeof(float) * kOrder);
}

void biquad(const float* in, int n, const float* b, const float* a, float* mem, float* out)
{
    for (int i = 0; i < n; ++i) {
        const float x = in[i];
        const float y = b[0] * x + b[1] * mem[0] + b[2] * mem[1] - a[1] * mem[2] - a[2] * mem[3];
        mem[1] = mem[0];
        mem[0] = x;
        mem[3] = mem[2];
        mem[2] = y;
        out[i] = y;
    }
}

}  // namespace orvane::ilbc
