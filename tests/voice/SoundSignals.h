#pragma once

// Test sounds and measures for the voice tests: tones made here, independent of the code
// under test, and the correlation that says whether one sound follows another.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace orvane::testing {

// `count` samples of a tone of `hz` at 8000 samples a second, peak `amplitude`; two
// partials, so that a codec's pitch search has something to find.
inline std::vector<int16_t> voiceLikeTone(size_t count, double hz = 300.0, double amplitude = 8000.0,
                                          int rate = 8000, size_t offset = 0)
{
    std::vector<int16_t> out(count);
    for (size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i + offset) / rate;
        const double v = 0.7 * std::sin(2 * M_PI * hz * t) + 0.3 * std::sin(2 * M_PI * 2.5 * hz * t);
        out[i] = static_cast<int16_t>(std::lround(amplitude * v));
    }
    return out;
}

// Pearson correlation of a and b (equal lengths).
inline double correlation(const int16_t* a, const int16_t* b, size_t n)
{
    double sa = 0, sb = 0;
    for (size_t i = 0; i < n; ++i) {
        sa += a[i];
        sb += b[i];
    }
    const double ma = sa / static_cast<double>(n), mb = sb / static_cast<double>(n);
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < n; ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

// The best correlation of `b` against `a` over shifts of 0 to maxShift samples (b late).
inline double bestCorrelation(const std::vector<int16_t>& a, const std::vector<int16_t>& b, size_t window,
                              size_t maxShift, size_t* shiftFound = nullptr)
{
    double best = -1;
    for (size_t s = 0; s <= maxShift && s + window <= b.size() && window <= a.size(); ++s) {
        const double c = correlation(a.data(), b.data() + s, window);
        if (c > best) {
            best = c;
            if (shiftFound)
                *shiftFound = s;
        }
    }
    return best;
}

inline double rms(const int16_t* s, size_t n)
{
    double sum = 0;
    for (size_t i = 0; i < n; ++i)
        sum += static_cast<double>(s[i]) * s[i];
    return n ? std::sqrt(sum / static_cast<double>(n)) : 0.0;
}

// The first sample from which 30 ms hold more than a quiet level; -1 when none.
inline long onsetOf(const std::vector<int16_t>& s)
{
    const size_t window = 240;
    for (size_t i = 0; i + window <= s.size(); i += 40)
        if (rms(s.data() + i, window) > 1000)
            return static_cast<long>(i);
    return -1;
}

// How well a recording carries a tone whose start it has at `onset`: the tone is looked
// for in stretches of its first second and the best counts, because a busy machine's sound
// server may drop or repeat a few milliseconds in one of them. Each stretch is looked for
// up to 60 ms early and 25 ms late: to keep a call's delay bounded the voice path drops a
// whole 30 ms frame now and then, and what follows a dropped frame comes that much early.
// -1 when the recording ends too soon.
inline double toneCarried(const std::vector<int16_t>& tone, const std::vector<int16_t>& heard, size_t onset)
{
    const size_t window = 1600, early = 480, late = 200;
    double best = -1;
    for (size_t at = 800; at + window + late <= 8000 && at + window <= tone.size(); at += 1600) {
        if (heard.size() < onset + at + window + late)
            return -1;
        const std::vector<int16_t> arrived(heard.begin() + static_cast<long>(onset + at - early), heard.end());
        best = std::max(best, bestCorrelation(std::vector<int16_t>(tone.begin() + static_cast<long>(at), tone.end()),
                                              arrived, window, early + late));
    }
    return best;
}

inline std::string bytesOfSamples(const std::vector<int16_t>& samples)
{
    return std::string(reinterpret_cast<const char*>(samples.data()), samples.size() * 2);
}

} // namespace orvane::testing
