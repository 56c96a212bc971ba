# HttpClient against libcurl, both fetching a small page from a local nginx.
find_package(CURL REQUIRED)
orvane_benchmark(http SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/http_bench.cpp LIBS network CURL::libcurl)
