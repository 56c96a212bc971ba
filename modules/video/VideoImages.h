#pragma once

namespace orvane {

// Registers the library's own pictures with its copy of the resource bitmaps; false when
// one failed to decode. Generated at build time from resources/modules/video.
bool registerVideoImages();

} // namespace orvane
