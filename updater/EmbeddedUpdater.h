#pragma once

#include <cstddef>

namespace orvane {

// The update program's file, carried inside the main program since the build.
const unsigned char* embeddedUpdater();
size_t embeddedUpdaterSize();

} // namespace orvane
