#include "audio/WavFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

namespace {

constexpr uint16_t FormatPcm = 1;
constexpr uint16_t FormatExtensible = 0xFFFE;
// The tail shared by every KSDATAFORMAT_SUBTYPE GUID; the PCM one starts 01 00 00 00.
constexpr uint8_t SubFormatTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint16_t le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

void put16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

WavError readFormat(const uint8_t* chunk, uint32_t length, AudioFormat& format)
{
    if (length < 16)
        return WavError::NoFormat;
    const uint16_t tag = le16(chunk);
    if (tag == FormatExtensible) {
        // cbSize (2), valid bits (2), channel mask (4), then the sub-format GUID.
        if (length < 40 || le16(chunk + 16) < 22)
            return WavError::NotPcm;
        const uint8_t* guid = chunk + 24;
        if (le32(guid) != FormatPcm || std::memcmp(guid + 4, SubFormatTail, sizeof SubFormatTail) != 0)
            return WavError::NotPcm;
    } else if (tag != FormatPcm) {
        return WavError::NotPcm;
    }
    format.channels = le16(chunk + 2);
    const uint32_t rate = le32(chunk + 4);
    const uint16_t blockAlign = le16(chunk + 12);
    format.bitsPerSample = le16(chunk + 14);
    // The rate is checked before it becomes an int.
    if (rate < static_cast<uint32_t>(AudioFormat::MinSampleRate) || rate > static_cast<uint32_t>(AudioFormat::MaxSampleRate))
        return WavError::BadFormat;
    format.sampleRate = static_cast<int>(rate);
    if (!format.isValid() || blockAlign != format.bytesPerFrame())
        return WavError::BadFormat;
    return WavError::None;
}

} // namespace

const char* wavErrorText(WavError error)
{
    switch (error) {
    case WavError::None:
        return "no error";
    case WavError::Unreadable:
        return "the file cannot be read";
    case WavError::TooLarge:
        return "the file is too large";
    case WavError::NotRiffWave:
        return "not a RIFF/WAVE file";
    case WavError::BadChunk:
        return "a chunk runs past the end of the file";
    case WavError::NoFormat:
        return "no format chunk";
    case WavError::NotPcm:
        return "not linear PCM";
    case WavError::BadFormat:
        return "unsupported channels, rate or sample width";
    case WavError::NoData:
        return "no data chunk";
    }
    return "unknown";
}

WavError parseWav(const uint8_t* data, size_t size, WavSound& out)
{
    if (!data || size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
        return WavError::NotRiffWave;

    AudioFormat format;
    bool haveFormat = false;
    size_t pos = 12;
    while (pos < size) {
        if (size - pos < 8)
            return WavError::BadChunk;
        const uint8_t* header = data + pos;
        const uint32_t length = le32(header + 4);
        pos += 8;
        if (length > size - pos)
            return WavError::BadChunk;
        const uint8_t* body = data + pos;
        if (std::memcmp(header, "fmt ", 4) == 0 && !haveFormat) {
            const WavError error = readFormat(body, length, format);
            if (error != WavError::None)
                return error;
            haveFormat = true;
        } else if (std::memcmp(header, "data", 4) == 0) {
            if (!haveFormat)
                return WavError::NoFormat;
            const size_t frame = static_cast<size_t>(format.bytesPerFrame());
            const size_t usable = length - length % frame;
            out.format = format;
            out.samples.assign(body, body + usable);
            return WavError::None;
        }
        pos += length;
        // The pad byte of an odd-sized chunk; a file may end without it.
        if ((length & 1) && pos < size)
            ++pos;
    }
    return haveFormat ? WavError::NoData : WavError::NoFormat;
}

WavError loadWavFile(const char* path, WavSound& out)
{
    if (!path || !*path)
        return WavError::Unreadable;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return WavError::Unreadable;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return WavError::Unreadable;
    }
    if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) > MaxWavFileBytes) {
        ::close(fd);
        return WavError::TooLarge;
    }
    // A file that changes meanwhile is read up to the size it had, or to its new end.
    std::vector<uint8_t> image(static_cast<size_t>(st.st_size));
    size_t have = 0;
    while (have < image.size()) {
        const ssize_t n = ::read(fd, image.data() + have, image.size() - have);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return WavError::Unreadable;
        }
        if (n == 0)
            break;
        have += static_cast<size_t>(n);
    }
    ::close(fd);
    image.resize(have);
    return parseWav(image.data(), image.size(), out);
}

std::array<uint8_t, WavHeaderBytes> wavHeader(const AudioFormat& format, uint64_t dataBytes)
{
    constexpr uint64_t Largest = 0xFFFFFFFFu - (WavHeaderBytes - 8) - 1;
    if (dataBytes > Largest)
        dataBytes = Largest;
    const uint32_t data32 = static_cast<uint32_t>(dataBytes);
    const uint32_t frame = static_cast<uint32_t>(format.bytesPerFrame());
    std::array<uint8_t, WavHeaderBytes> h{};
    std::memcpy(h.data(), "RIFF", 4);
    put32(h.data() + 4, static_cast<uint32_t>(WavHeaderBytes - 8) + data32 + (data32 & 1));
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    put32(h.data() + 16, 16);
    put16(h.data() + 20, FormatPcm);
    put16(h.data() + 22, static_cast<uint32_t>(format.channels));
    put32(h.data() + 24, static_cast<uint32_t>(format.sampleRate));
    put32(h.data() + 28, static_cast<uint32_t>(format.sampleRate) * frame);
    put16(h.data() + 32, frame);
    put16(h.data() + 34, static_cast<uint32_t>(format.bitsPerSample));
    std::memcpy(h.data() + 36, "data", 4);
    put32(h.data() + 40, data32);
    return h;
}

} // namespace orvane
