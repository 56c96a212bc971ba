#pragma once

namespace orvane {

// Registers the main program's embedded pictures (resources/images, ids in
// resources/ResourceIds.h) with the resource bitmaps. Once at start-up, on the
// user-interface thread after wx has started and before the first window asks for one.
// False when a picture failed to decode (see registerEmbeddedImages).
bool registerProgramImages();

} // namespace orvane
