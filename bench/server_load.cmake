# The stand-in server under a burst of sign-ins and under stalled connections, measured from
# outside (no peer: its figures stand against the server's earlier thread-per-connection
# design). It starts the release orvane-server and drives it with the server tests' load
# clients; their program fixture needs GoogleTest.
find_package(GTest REQUIRED)
orvane_benchmark(server_load SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/server_load_bench.cpp
                 LIBS orvane_server_lib GTest::gtest)
target_include_directories(bench_server_load PRIVATE ${PROJECT_SOURCE_DIR}/tests/server)
add_dependencies(bench_server_load orvane-server)
target_compile_definitions(bench_server_load PRIVATE ORVANE_SERVER_PROGRAM="$<TARGET_FILE:orvane-server>")
