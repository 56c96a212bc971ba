#pragma once

#include "audio/AudioFormat.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace orvane {

// A sound read from a RIFF/WAVE file: its format and its sample bytes, whole frames only.
struct WavSound {
    AudioFormat format;
    std::vector<uint8_t> samples;

    size_t frameCount() const
    {
        const int frame = format.bytesPerFrame();
        return frame > 0 ? samples.size() / static_cast<size_t>(frame) : 0;
    }
};

// Why a file was not taken; None for a good one.
enum class WavError {
    None,
    Unreadable,      // missing, a folder, or a read failed
    TooLarge,        // larger than MaxWavFileBytes
    NotRiffWave,     // no "RIFF" ... "WAVE" header
    BadChunk,        // a chunk header cut off, or a chunk that runs past the end
    NoFormat,        // no "fmt " chunk before the end, or one shorter than 16 bytes
    NotPcm,          // a coding other than linear integer PCM
    BadFormat,       // channels, rate, width or block alignment outside what is played
    NoData,          // no "data" chunk
};

const char* wavErrorText(WavError error);

// Files are read whole; a sound file of the program is a few hundred kilobytes, and the
// bound keeps a stray large file from being taken into memory.
constexpr size_t MaxWavFileBytes = 16u << 20;

// Reads linear PCM out of a RIFF/WAVE image of `size` bytes. Every chunk length is checked
// against what is left before it is used, so nothing is read or sized beyond the image:
// a chunk that claims more than is there fails the whole file (BadChunk). Accepted: format
// tag 1, or the extensible tag 0xFFFE with the PCM sub-format; 1 to 8 channels; 8, 16,
// 24 or 32 bits; the block alignment equal to channels × bytes per sample. Chunks other
// than "fmt " and "data" are skipped, with the pad byte after an odd-sized chunk; the
// first "data" chunk is taken, cut down to whole frames (it may be empty). The RIFF size
// in the header is not trusted: the image's own size bounds the walk.
WavError parseWav(const uint8_t* data, size_t size, WavSound& out);

// The file at path through parseWav; files over MaxWavFileBytes are not read.
WavError loadWavFile(const char* path, WavSound& out);

// The 44-byte header of a canonical PCM file holding dataBytes of samples (a pad byte for
// an odd count is counted in the RIFF size). Counts too large for the 32-bit fields are
// capped at the largest the fields hold.
constexpr size_t WavHeaderBytes = 44;
std::array<uint8_t, WavHeaderBytes> wavHeader(const AudioFormat& format, uint64_t dataBytes);

} // namespace orvane
