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
# CMake's own makefiles run below this one: no line for every folder they
# enter.
MAKEFLAGS += --no-print-directory

.PHONY: all configure demo test test-asan test-tsan bench bench-python package clean

configure:
	@cmake -S . -B build -DCMAKE_BUILD_TYPE=Release $(CONFIG) --log-level=WARNING

all: configure
	cmake --build build -j $(JOBS)

# Builds the programs alone, then compresses and restores one file and
# prints the sizes.
demo: configure
	@cmake --build build -j $(JOBS) --target vorn unvorn >build/demo-build.log || { cat build/demo-build.log; exit 1; }
	@./scripts/demo.sh build/programs $(EXAMPLE)

test: all
	ctest --test-dir build --output-on-failure -j $(JOBS)

test-asan:
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_BENCH=OFF -DVORN_PYTHON=OFF $(CONFIG) --log-level=WARNING \
	  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
	cmake --build build-asan -j $(JOBS)
	ctest --test-dir build-asan --output-on-failure -j $(JOBS)

# The suites labelled `threads` (streams with a second thread, several
# streams at once, the programs, the transforms run by two threads at once)
# under the thread sanitizer; the core's other tests run on one thread and
# gain nothing here.
test-tsan:
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_BENCH=OFF -DVORN_PYTHON=OFF $(CONFIG) --log-level=WARNING \
	  -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer"
	cmake --build build-tsan -j $(JOBS)
	TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan --output-on-failure -j $(JOBS) -L threads

# The Python module against the programs and bz2, then speed (wall and
# processor time), ratio and memory against peer compressors (several
# minutes; see bench/README.md).
bench: bench-python
	CORPUS=$(abspath $(CORPUS)) bench/run.sh

bench-python: all
	bench/python_run.sh build $(abspath $(CORPUS))

# The Debian packages vorn, libvorn1 and libvorn-dev, in build-deb/packages.
package:
	packaging/build.sh build-deb build-deb/packages

clean:
	rm -rf build build-asan build-tsan build-deb
