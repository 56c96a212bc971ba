# How long opening a peer channel takes on each path, between two headless clients in the
# NAT lab (no peer program: the figures stand against the aim for a direct channel on one
# LAN). The lab's fixtures need GoogleTest; the headless client is built here when the
# tests are not.
find_package(GTest REQUIRED)
if(NOT TARGET orvane-headless)
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/core/headless ${CMAKE_BINARY_DIR}/headless)
endif()
orvane_benchmark(channel_setup SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/channel_setup_bench.cpp
                 LIBS core GTest::gtest)
add_dependencies(bench_channel_setup orvane-headless orvane-server)
target_compile_definitions(bench_channel_setup PRIVATE
  ORVANE_SERVER_PROGRAM="$<TARGET_FILE:orvane-server>"
  ORVANE_HEADLESS_PROGRAM="$<TARGET_FILE:orvane-headless>"
  ORVANE_NAT_LAB_SCRIPT="${PROJECT_SOURCE_DIR}/scripts/nat-lab")
