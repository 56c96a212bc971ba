# The channel relay of the release orvane-server against socat relaying the same traffic:
# one TCP stream's bytes/s, and the UDP datagram rate one way and both ways. The server's
# program fixture and the relay tests' frame helpers need GoogleTest.
find_package(GTest REQUIRED)
find_package(ZLIB REQUIRED)
orvane_benchmark(relay SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/relay_bench.cpp
                 LIBS orvane_server_lib GTest::gtest ZLIB::ZLIB)
target_include_directories(bench_relay PRIVATE ${PROJECT_SOURCE_DIR}/tests/server)
add_dependencies(bench_relay orvane-server)
target_compile_definitions(bench_relay PRIVATE ORVANE_SERVER_PROGRAM="$<TARGET_FILE:orvane-server>")
