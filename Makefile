# Entry points: `make demo` runs the server on a generated demo world, `make test` runs
# everything CI runs. Both install the dependencies first.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build/asan
DEMO_DIR ?= build/demo-world

.PHONY: deps build programs demo test check asan-check tsan-check format format-check bench clean

deps:
	@scripts/install-deps

$(BUILD)/Makefile: CMakeLists.txt | deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: deps $(BUILD)/Makefile
	@cmake --build $(BUILD) -j$(JOBS)

programs: deps $(BUILD)/Makefile
	@cmake --build $(BUILD) -j$(JOBS) --target zqosrv zqo-mkworld zqo-bot

demo: programs
	@test -d $(DEMO_DIR) || $(BUILD)/zqo-mkworld $(DEMO_DIR)
	$(BUILD)/zqosrv --headless --game-dir $(DEMO_DIR)

# The normal build's tests.
check: build
	@cd $(BUILD) && ctest --output-on-failure -j$(JOBS) --timeout 300

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
asan-check: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DZQ_SANITIZE=ON -DZQ_BENCH=OFF >/dev/null
	@cmake --build $(ASAN_BUILD) -j$(JOBS)
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j$(JOBS) --timeout 600

# The plain-C++ threaded tests (queues, dispatch, game thread, login worker, job thread)
# under ThreadSanitizer.
TSAN_BUILD ?= build/tsan
tsan-check: deps
	@cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DZQ_TSAN=ON -DZQ_BENCH=OFF >/dev/null
	@cmake --build $(TSAN_BUILD) -j$(JOBS) --target protocol_tests game_tests accounts_tests platform_tests
	@TSAN_OPTIONS=halt_on_error=1 $(TSAN_BUILD)/protocol_tests --gtest_brief=1
	@TSAN_OPTIONS=halt_on_error=1 $(TSAN_BUILD)/platform_tests --gtest_brief=1 --gtest_filter='JobThread*'
	@TSAN_OPTIONS=halt_on_error=1 $(TSAN_BUILD)/game_tests --gtest_brief=1
	@TSAN_OPTIONS=halt_on_error=1 $(TSAN_BUILD)/accounts_tests --gtest_brief=1

FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h')

format:
	@clang-format-14 -i $(FORMAT_FILES)

format-check:
	@clang-format-14 --dry-run --Werror $(FORMAT_FILES)

test: deps format-check tsan-check check asan-check

bench: build
	@for b in $(BUILD)/bench_*; do echo "== $$b"; $$b; done

clean:
	rm -rf $(BUILD)
