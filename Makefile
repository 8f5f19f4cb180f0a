# Entry points: `make demo` runs the server on a generated demo world, `make test` runs
# everything CI runs. Both install the dependencies first; on a machine without make,
# scripts/demo and scripts/test do the same.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build/asan
DEMO_DIR ?= build/demo-world
# The demo server's TCP port (`make demo PORT=13000`); empty: the default, 12578.
PORT ?=

.PHONY: deps build programs demo test check asan-build asan-check tsan-check fuzz soak soak-asan \
	package-check shell-check format format-check bench clean

deps:
	@scripts/install-deps

$(BUILD)/Makefile: CMakeLists.txt | deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: deps $(BUILD)/Makefile
	@cmake --build $(BUILD) -j$(JOBS)

programs: deps $(BUILD)/Makefile
	@cmake --build $(BUILD) -j$(JOBS) --target zqosrv zqo-mkworld zqo-bot zqo-soak

demo: programs
	@test -d $(DEMO_DIR) || $(BUILD)/zqo-mkworld $(DEMO_DIR)
	$(BUILD)/zqosrv --headless --game-dir $(DEMO_DIR) $(if $(PORT),--tcp-port $(PORT))

# The normal build's tests.
check: build
	@cd $(BUILD) && ctest --output-on-failure -j$(JOBS) --timeout 300

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
asan-build: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DZQ_SANITIZE=ON -DZQ_BENCH=OFF >/dev/null
	@cmake --build $(ASAN_BUILD) -j$(JOBS)

asan-check: asan-build
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j$(JOBS) --timeout 600

# The threaded tests under ThreadSanitizer: the Qt-free ones (thread primitives and the job
# thread, queues, dispatch, game thread, login worker), and the event-loop ones with reports
# from inside the uninstrumented Qt libraries suppressed (tests/tsan.supp).
TSAN_BUILD ?= build/tsan
tsan-check: deps
	@cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DZQ_TSAN=ON -DZQ_BENCH=OFF >/dev/null
	@cmake --build $(TSAN_BUILD) -j$(JOBS) --target threads_tests protocol_tests game_tests accounts_tests platform_tests
	@TSAN_OPTIONS=halt_on_error=1 $(TSAN_BUILD)/threads_tests --gtest_brief=1
	@TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/tsan.supp" QT_QPA_PLATFORM=offscreen \
		$(TSAN_BUILD)/platform_tests --gtest_brief=1
	@TSAN_OPTIONS=halt_on_error=1 $(TSAN_BUILD)/protocol_tests --gtest_brief=1
	@TSAN_OPTIONS=halt_on_error=1 $(TSAN_BUILD)/game_tests --gtest_brief=1
	@TSAN_OPTIONS=halt_on_error=1 $(TSAN_BUILD)/accounts_tests --gtest_brief=1

# The libFuzzer targets of fuzz/ (clang, ASan + UBSan), each run FUZZ_SECONDS on its corpus.
FUZZ_BUILD ?= build/fuzz
FUZZ_SECONDS ?= 20
fuzz: deps
	@cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
		-DZQ_FUZZ=ON -DZQ_BENCH=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j$(JOBS) --target fuzz_targets
	@FUZZ_SECONDS=$(FUZZ_SECONDS) fuzz/run $(FUZZ_BUILD)

# Client churn against a running server (bench/soak.sh, see bench/README.md): SOAK_SECONDS
# against the normal build; CI runs 60 s against the sanitizer build.
SOAK_SECONDS ?= 600
soak: programs
	@bench/soak.sh $(SOAK_SECONDS) $(BUILD)

soak-asan: asan-build
	@bench/soak.sh 60 $(ASAN_BUILD)

# The Debian package of the normal build: lintian, mandoc, the files unpacked into a temporary
# root, the maintainer scripts in a throwaway copy of the system (packaging/check-package).
package-check: build shell-check
	@cmake -S . -B $(BUILD) -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
	@packaging/check-package $(BUILD)

# shellcheck over every shell script of scripts/, packaging/ (the maintainer scripts too) and
# bench/*.sh: a file there is one when its first line names a shell.
SHELL_SCRIPTS = $(shell for f in scripts/* packaging/* packaging/debian/* bench/*.sh; do \
	[ -f "$$f" ] && head -n1 "$$f" | grep -q '^\#!.*sh$$' && echo "$$f"; done)

shell-check: deps
	@shellcheck $(SHELL_SCRIPTS)

FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h')

format:
	@clang-format-14 -i $(FORMAT_FILES)

format-check:
	@clang-format-14 --dry-run --Werror $(FORMAT_FILES)

test: deps format-check tsan-check check package-check asan-check soak-asan fuzz

bench: build
	@for b in $(BUILD)/bench_*; do echo "== $$b"; $$b; done

clean:
	rm -rf $(BUILD)
