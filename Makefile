# Convenience targets around CMake. Build folders: build/ (release),
# build-asan/ (address and undefined-behaviour sanitizers), build-tsan/
# (thread sanitizer).
#
# CORPUS names the folder of the large test corpus; the tests that need it
# skip themselves where it is absent. Everything else comes with the
# repository.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
EXAMPLE ?= tests/data/golden/alice29.txt
CORPUS ?= ../shared/corpus
CONFIG = -DVORN_CORPUS_DIR=$(abspath $(CORPUS))

.PHONY: all demo test test-asan test-tsan bench clean

all:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release $(CONFIG)
	cmake --build build -j $(JOBS)

# Compresses and restores one file and prints the sizes.
demo: all
	@./scripts/demo.sh build/programs $(EXAMPLE)

test: all
	ctest --test-dir build --output-on-failure -j $(JOBS)

test-asan:
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_BENCH=OFF $(CONFIG) \
	  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
	cmake --build build-asan -j $(JOBS)
	ctest --test-dir build-asan --output-on-failure -j $(JOBS)

# The tests of the library's streams with one and two threads, of streams
# in several threads at once, and of the programs, under the thread
# sanitizer, and of the transforms run by two threads at once (the core's
# other tests run on one thread and gain nothing here).
TSAN_TESTS = ^(Threads|LibraryThreads|TransformThreads|Golden|Stability|Reject|Programs|DamagedStreams|StreamEnd|Finish)\.|^fuzz_decompress

test-tsan:
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_BENCH=OFF $(CONFIG) \
	  -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer"
	cmake --build build-tsan -j $(JOBS)
	TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -j $(JOBS) -R '$(TSAN_TESTS)'

# Speed (wall and processor time), ratio and memory against peer
# compressors (several minutes; see bench/README.md).
bench:
	CORPUS=$(abspath $(CORPUS)) bench/run.sh

clean:
	rm -rf build build-asan build-tsan
