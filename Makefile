# The two commands a newcomer needs: `make test` and `make run`.
# Both install missing packages first, then build with CMake and Ninja into build/.

BUILD      := build
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja
CLANG      := -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++

# `make run USER=bob`: USER only counts when given on the command line (the shell's own
# USER names the login).
RUN_USER := $(if $(filter command line,$(origin USER)),$(USER),alice)

.PHONY: all deps run test test-asan test-tsan fuzz bench bench-build clean

all: deps
	cmake -S . -B $(BUILD)/asan $(CMAKE_GEN) $(CLANG) -DCMAKE_BUILD_TYPE=Debug -DORVANE_SANITIZE=ON
	cmake --build $(BUILD)/asan -j $(JOBS)

deps:
	@bash scripts/install-deps

# The program against the stand-in server on loopback, signed in as a demo account.
run: deps
	cmake -S . -B $(BUILD)/asan $(CMAKE_GEN) $(CLANG) -DCMAKE_BUILD_TYPE=Debug -DORVANE_SANITIZE=ON
	cmake --build $(BUILD)/asan -j $(JOBS) --target orvane orvane-server
	ASAN_OPTIONS=detect_leaks=0 bash scripts/run-orvane $(RUN_USER)

# The test build: AddressSanitizer and UndefinedBehaviorSanitizer, every test, then the
# ThreadSanitizer build of the thread, socket, event loop and server tests, then the
# bounded fuzz runs; the benchmarks are compiled too, so that they keep building.
test: deps test-asan test-tsan fuzz bench-build

test-asan:
	cmake -S . -B $(BUILD)/asan $(CMAKE_GEN) $(CLANG) -DCMAKE_BUILD_TYPE=Debug -DORVANE_SANITIZE=ON
	cmake --build $(BUILD)/asan -j $(JOBS)
	cd $(BUILD)/asan && $(CURDIR)/scripts/with-xvfb ctest --output-on-failure -j $(JOBS) --timeout 600

test-tsan:
	cmake -S . -B $(BUILD)/tsan $(CMAKE_GEN) $(CLANG) -DCMAKE_BUILD_TYPE=Debug -DORVANE_TSAN=ON
	cmake --build $(BUILD)/tsan -j $(JOBS)
	cd $(BUILD)/tsan && ctest --output-on-failure -j $(JOBS) --timeout 600 -L tsan

FUZZ_SECONDS ?= 30
fuzz:
	cmake -S . -B $(BUILD)/fuzz $(CMAKE_GEN) $(CLANG) -DCMAKE_BUILD_TYPE=Debug -DORVANE_FUZZ=ON -DORVANE_TESTS=OFF
	cmake --build $(BUILD)/fuzz -j $(JOBS)
	bash scripts/run-fuzzers $(BUILD)/fuzz $(FUZZ_SECONDS)

bench-build:
	cmake -S . -B $(BUILD)/release $(CMAKE_GEN) $(CLANG) -DCMAKE_BUILD_TYPE=Release -DORVANE_TESTS=OFF -DORVANE_BENCH=ON
	cmake --build $(BUILD)/release -j $(JOBS)

bench: deps bench-build
	bash scripts/run-benchmarks $(BUILD)/release

clean:
	rm -rf $(BUILD)
