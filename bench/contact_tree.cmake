# The contact tree's full rebuild against a plain wxTreeCtrl filled in one pass; needs a
# display (run it under scripts/with-xvfb), and says so and skips without one.
orvane_benchmark(contact_tree SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/contact_tree_bench.cpp
                 LIBS orvane_ui program_images)
