# The voice engine's added latency from a filled input buffer to its encoded frame, against
# the codec called directly on the reading thread (the least any engine could add).
orvane_benchmark(voice_engine SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/voice_engine_bench.cpp LIBS voice_engine)
