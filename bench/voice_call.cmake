# The mouth-to-ear delay of a whole call between two headless clients through PulseAudio,
# each way, with the datagram rate and CPU of each side (no peer program: the figures stand
# against the aims of a live call). The lab's fixtures need GoogleTest; the headless client
# is built here when the tests are not.
find_package(GTest REQUIRED)
if(NOT TARGET orvane-headless)
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/core/headless ${CMAKE_BINARY_DIR}/headless)
endif()
orvane_benchmark(voice_call SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/voice_call_bench.cpp LIBS core GTest::gtest)
add_dependencies(bench_voice_call orvane-headless orvane-server)
target_compile_definitions(bench_voice_call PRIVATE
  ORVANE_SERVER_PROGRAM="$<TARGET_FILE:orvane-server>"
  ORVANE_HEADLESS_PROGRAM="$<TARGET_FILE:orvane-headless>")
