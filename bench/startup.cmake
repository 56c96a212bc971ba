# Start-up of the program to its first painted main window, against a bare wx frame
# program; needs a display (scripts/run-benchmarks gives it a virtual one).
if(TARGET orvane)
  find_package(X11 REQUIRED)
  add_executable(bare-frame-program bare_frame.cpp)
  target_link_libraries(bare-frame-program PRIVATE ${wxWidgets_LIBRARIES})
  target_include_directories(bare-frame-program SYSTEM PRIVATE ${wxWidgets_INCLUDE_DIRS})
  target_compile_definitions(bare-frame-program PRIVATE ${wxWidgets_DEFINITIONS})
  target_compile_options(bare-frame-program PRIVATE ${wxWidgets_CXX_FLAGS})
  orvane_benchmark(startup SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/startup_bench.cpp LIBS X11::X11)
  target_compile_definitions(bench_startup PRIVATE ORVANE_PROGRAM="$<TARGET_FILE:orvane>"
                             BARE_FRAME_PROGRAM="$<TARGET_FILE:bare-frame-program>")
  add_dependencies(bench_startup orvane bare-frame-program)
endif()
