# The video frame codec (key frames, change runs) against zlib's deflate of the frame's
# difference, the general-purpose way to send only what changed.
find_package(ZLIB REQUIRED)
orvane_benchmark(video_codec SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/video_codec_bench.cpp
                 LIBS video_core ZLIB::ZLIB)
