# Pictures a second between two video session threads over a TCP channel on loopback, with
# a plain stop-and-wait exchange of whole pictures on bare sockets as the floor of the link.
# The loopback socket fixtures need GoogleTest.
find_package(GTest REQUIRED)
orvane_benchmark(video_session SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/video_session_bench.cpp
                 LIBS video_core core GTest::gtest)
