# The two commands a newcomer needs: `make test` and `make run`.
# Both install missing packages first, then build with CMake and Ninja into build/.

BUILD      := build
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja
CLANG      := -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++

# `make run USER=bob`: USER only counts when given on the command line (the shell's own
# USER names the login).
RUN_USER := $(if $(filter command line,$(origin USER)),$(USER),alice)

# The plain build: Debian's default compiler, optimised (CMakeLists.txt makes Release the
# default), no sanitizer, tests and benchmarks included. It is what `make run` starts and
# what `make bench` measures; `make test` compiles it so that it keeps building.
PLAIN := $(BUILD)/plain
# What `make run` needs: the program, the server and the module libraries beside them.
RUN_TARGETS := orvane orvane-server video webjoin

.PHONY: all deps run test test-asan test-tsan fuzz plain bench clean

all: deps
	cmake -S . -B $(BUILD)/asan $(CMAKE_GEN) $(CLANG) -DCMAKE_BUILD_TYPE=Debug -DORVANE_SANITIZE=ON
	cmake --build $(BUILD)/asan -j $(JOBS)

deps:
	@bash scripts/install-deps

# The program against the stand-in server on loopback, signed in as a demo account. CMake is
# configured once; after that the build itself notices changed CMake files.
run: deps
	@test -f $(PLAIN)/build.ninja || cmake -S . -B $(PLAIN) $(CMAKE_GEN)
	cmake --build $(PLAIN) -j $(JOBS) --target $(RUN_TARGETS)
	ORVANE_BUILD=$(PLAIN) bash scripts/run-orvane $(RUN_USER)

# The test build: AddressSanitizer and UndefinedBehaviorSanitizer, every test, then the
# ThreadSanitizer build of the thread, socket, event loop and server tests, then the
# bounded fuzz runs, then the plain build, so that it and the benchmarks keep building.
# Each phase prints how long it took.
test: deps
	@bash scripts/timed-phase "sanitizer build and tests" $(MAKE) --no-print-directory test-asan
	@bash scripts/timed-phase "ThreadSanitizer build and tests" $(MAKE) --no-print-directory test-tsan
	@bash scripts/timed-phase "fuzz build and runs" $(MAKE) --no-print-directory fuzz
	@bash scripts/timed-phase "plain build" $(MAKE) --no-print-directory plain

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

# CI compiles the plain build's deliverables and benchmarks (the tests are the sanitizer
# build's); `make plain TARGET=all` builds its tests too.
TARGET ?= deliverables
plain:
	cmake -S . -B $(PLAIN) $(CMAKE_GEN)
	cmake --build $(PLAIN) -j $(JOBS) --target $(TARGET)

bench: deps plain
	bash scripts/run-benchmarks $(PLAIN)

clean:
	rm -rf $(BUILD)
