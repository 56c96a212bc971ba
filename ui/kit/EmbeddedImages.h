#pragma once

#include <cstddef>

namespace orvane {

// One PNG file carried in the executable or library under its resource id. The build makes
// the tables (cmake/EmbedImages.cmake); each set has a function that hands its table here.
struct EmbeddedImage {
    int id;
    const unsigned char* bytes;
    std::size_t size;
};

// Decodes each image and registers it with the resource bitmaps (ResourceBitmaps.h),
// replacing what an id held before. Installs wx's PNG decoder when the program has not done
// so. User-interface thread, after wx has started. False when an image failed to decode;
// every other one is registered all the same, and the failed id stays unknown.
bool registerEmbeddedImages(const EmbeddedImage* images, std::size_t count);

} // namespace orvane
