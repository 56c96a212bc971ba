# ProxyClient against libcurl: CONNECT through squid with Basic authentication and SOCKS 5
# through dante. The proxies are started by the network tests' peer fixtures.
find_package(CURL REQUIRED)
find_package(GTest REQUIRED)
orvane_benchmark(proxy SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/proxy_bench.cpp
                 ${PROJECT_SOURCE_DIR}/tests/network/ProxyPeers.cpp
                 LIBS network crypt CURL::libcurl GTest::gtest)
target_include_directories(bench_proxy PRIVATE ${PROJECT_SOURCE_DIR}/tests/network)
target_compile_definitions(bench_proxy PRIVATE
  ORVANE_PEER_TEMPLATES="${PROJECT_SOURCE_DIR}/tests/network/peers")
