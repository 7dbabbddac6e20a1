# The two commands of the README: `make run` and `make test`.
# Both install what is missing, configure and build first.
#
#   make run      build (without the benchmarks) and start the program
#   make test     the layering and format checks, then every test, in a
#                 RelWithDebInfo build and again under ASan/UBSan with -Werror
#   make bench    build the Google Benchmark programs (bench/) in $(BUILD)
#   make check    only the layering and format checks
#   make format   lay out every C++ file with clang-format 14

BUILD      ?= build
ASAN_BUILD ?= build-asan
CMAKE_FLAGS ?=
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
FORMATTER  := $(shell command -v clang-format-14 2>/dev/null || echo clang-format)

.PHONY: run test deps build bench check format

deps:
	@bash scripts/install-deps.sh

check: deps
	python3 scripts/check-layers.py
	bash scripts/check-format.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQLY_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/run.sh $(BUILD)

test: check build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQLY_SANITIZE=ON -DQLY_WERROR=ON \
	  -DQLY_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# The benchmarks are programs, not tests: run them by hand from $(BUILD)/bench.
bench: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQLY_BENCH=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)
	@echo "Benchmarks built in $(BUILD)/bench (for example $(BUILD)/bench/engine/engine_bench)."

format:
	find src tests bench fuzz \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 $(FORMATTER) -i
