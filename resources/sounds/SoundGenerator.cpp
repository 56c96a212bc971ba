// Writes the program's sound files: short tones made here from a few notes each, so that
// the sounds are the program's own and need no recorded material.
//
// usage: sound-generator FOLDER NAME.wav...
// Each NAME must be one of the sounds below; the files are 22050 Hz, 16-bit mono PCM.

#include "audio/WavFile.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using orvane::AudioFormat;

constexpr int Rate = 22050;
constexpr double Pi = 3.14159265358979323846;

// One note: a sine with a little of its octave, struck at `startMs`, fading with a time
// constant of `decayMs` (0: held level), cut off after `lengthMs`.
struct Note {
    double frequency;
    int startMs;
    int lengthMs;
    double decayMs;
};

struct Sound {
    const char* name;
    int lengthMs;
    std::vector<Note> notes;
};

// A ring burst: two tones alternating every 40 ms, for a warble that carries.
std::vector<Note> trill(int startMs, int lengthMs)
{
    std::vector<Note> notes;
    for (int t = 0, i = 0; t < lengthMs; t += 40, ++i)
        notes.push_back({i % 2 ? 1320.0 : 1050.0, startMs + t, 40, 0});
    return notes;
}

std::vector<Sound> sounds()
{
    std::vector<Note> ring = trill(0, 800);
    const std::vector<Note> second = trill(1100, 800);
    ring.insert(ring.end(), second.begin(), second.end());
    return {
        // A contact comes online: two notes going up.
        {"online.wav", 420, {{659.25, 0, 140, 120}, {880.0, 130, 290, 160}}},
        // A contact goes offline: the same going down.
        {"offline.wav", 420, {{880.0, 0, 140, 120}, {587.33, 130, 290, 160}}},
        // Something went wrong: two short, low, held beeps.
        {"warning.wav", 430, {{523.25, 0, 150, 0}, {392.0, 0, 150, 0}, {523.25, 250, 150, 0}, {392.0, 250, 150, 0}}},
        // A call rings: two bursts within the 4-second period of the ring.
        {"ring.wav", 1900, ring},
        // A call is answered: a quick rising pip.
        {"answer.wav", 220, {{1046.5, 0, 90, 60}, {1568.0, 80, 140, 80}}},
        // A call ends: three notes falling.
        {"hang.wav", 380, {{783.99, 0, 120, 90}, {659.25, 120, 120, 90}, {523.25, 240, 140, 90}}},
        // A video request: three rising notes.
        {"video.wav", 520, {{587.33, 0, 170, 150}, {739.99, 150, 170, 150}, {880.0, 300, 220, 180}}},
        // A shared-browsing request: a two-note chime.
        {"webjoin.wav", 560, {{1174.66, 0, 260, 200}, {880.0, 220, 340, 240}}},
    };
}

std::vector<int16_t> render(const Sound& sound)
{
    const size_t frames = static_cast<size_t>(sound.lengthMs) * Rate / 1000;
    std::vector<double> mix(frames, 0.0);
    for (const Note& note : sound.notes) {
        const size_t start = static_cast<size_t>(note.startMs) * Rate / 1000;
        const size_t length = static_cast<size_t>(note.lengthMs) * Rate / 1000;
        // 4 ms in and 8 ms out: no clicks at the edges of a note.
        const double attack = 0.004 * Rate;
        const double release = 0.008 * Rate;
        for (size_t i = 0; i < length && start + i < frames; ++i) {
            const double t = static_cast<double>(i) / Rate;
            double level = note.decayMs > 0 ? std::exp(-t * 1000.0 / note.decayMs) : 1.0;
            level *= std::fmin(1.0, static_cast<double>(i) / attack);
            level *= std::fmin(1.0, static_cast<double>(length - i) / release);
            const double phase = 2 * Pi * note.frequency * t;
            mix[start + i] += level * (std::sin(phase) + 0.25 * std::sin(2 * phase));
        }
    }
    double peak = 0;
    for (double v : mix)
        peak = std::fmax(peak, std::fabs(v));
    const double scale = peak > 0 ? 0.6 * 32767 / peak : 0;
    std::vector<int16_t> samples(frames);
    for (size_t i = 0; i < frames; ++i)
        samples[i] = static_cast<int16_t>(std::lround(mix[i] * scale));
    return samples;
}

bool writeSound(const std::string& path, const std::vector<int16_t>& samples)
{
    const AudioFormat format{Rate, 1, 16};
    std::vector<uint8_t> bytes;
    bytes.reserve(samples.size() * 2);
    for (int16_t s : samples) {
        const auto u = static_cast<uint16_t>(s);
        bytes.push_back(static_cast<uint8_t>(u & 0xFF));
        bytes.push_back(static_cast<uint8_t>(u >> 8));
    }
    const auto header = orvane::wavHeader(format, bytes.size());
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size() &&
              std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = std::fclose(file) == 0 && ok;
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FOLDER NAME.wav...\n", argv[0]);
        return 2;
    }
    const std::vector<Sound> all = sounds();
    for (int i = 2; i < argc; ++i) {
        const Sound* found = nullptr;
        for (const Sound& sound : all)
            if (std::strcmp(sound.name, argv[i]) == 0)
                found = &sound;
        if (!found) {
            std::fprintf(stderr, "%s: no sound is called %s\n", argv[0], argv[i]);
            return 1;
        }
        const std::string path = std::string(argv[1]) + "/" + argv[i];
        if (!writeSound(path, render(*found))) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], path.c_str());
            return 1;
        }
    }
    return 0;
}
