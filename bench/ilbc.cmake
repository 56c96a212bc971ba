# Our iLBC encoder and decoder against libavcodec's iLBC decoder and libgsm (GSM 06.10).
find_package(PkgConfig REQUIRED)
pkg_check_modules(BENCH_AVCODEC REQUIRED IMPORTED_TARGET libavcodec libavutil)
find_library(BENCH_GSM_LIBRARY gsm REQUIRED)
orvane_benchmark(ilbc SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ilbc_bench.cpp
  LIBS ilbc PkgConfig::BENCH_AVCODEC ${BENCH_GSM_LIBRARY})
target_include_directories(bench_ilbc PRIVATE ${PROJECT_SOURCE_DIR})
