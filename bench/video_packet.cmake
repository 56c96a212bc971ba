# What a video call costs per picture: the frame codec alone against the codec with the peer
# links' frame on loopback, and the CPU of one side of a call between two session threads.
# The loopback socket fixtures need GoogleTest.
find_package(GTest REQUIRED)
orvane_benchmark(video_packet SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/video_packet_bench.cpp
                 LIBS video_core core GTest::gtest)
