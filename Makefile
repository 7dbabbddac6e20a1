# The two commands of the README: `make run` and `make test`.
# Both install what is missing, configure and build first.

BUILD      ?= build
ASAN_BUILD ?= build-asan
CMAKE_FLAGS ?=

.PHONY: run test deps build format

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build $(BUILD)

run: build
	@bash scripts/run.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQLY_SANITIZE=ON -DQLY_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure

format:
	find src tests bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format -i
