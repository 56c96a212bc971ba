// Feeds arbitrary bytes to the WAV reader: every image is either refused or gives a valid
// format and whole frames that lie within the image, and nothing is read past its end.
#include "audio/WavFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A copy of exactly the input's size, so that a read past the end is one past a heap
    // block and AddressSanitizer sees it.
    const std::vector<uint8_t> image(data, data + size);
    WavSound sound;
    if (parseWav(image.data(), image.size(), sound) != WavError::None)
        return 0;
    if (!sound.format.isValid() || sound.samples.size() > size ||
        sound.samples.size() % static_cast<size_t>(sound.format.bytesPerFrame()) != 0)
        std::abort();
    return 0;
}
