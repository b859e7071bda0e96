# Convenience targets over CMake. `make test` is what CI runs.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
BENCH_BUILD ?= build-bench
COVERAGE_BUILD ?= build-coverage
STATIC_BUILD ?= build-static
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
# $(abspath) would split a path with spaces into words; this keeps it whole.
abs = $(if $(filter /%,$(1)),$(1),$(CURDIR)/$(1))
# The consumer's staging prefix has a space in it, as some hosts' prefixes and checkouts do.
STAGE      := $(call abs,$(BUILD))/staged prefix

# Debian packages the build, tests and benchmarks need; installed only when missing.
DEB_PACKAGES := cmake make g++ clang libclang-rt-dev libgtest-dev libbenchmark-dev \
                libexpat1-dev pkg-config valgrind locales
# And those that `make package` (CPack runs dpkg-shlibdeps and file), its check (lintian),
# `make coverage` and `make bench` need besides.
PACKAGE_PACKAGES := dpkg-dev file lintian
COVERAGE_PACKAGES := gcovr
BENCH_PACKAGES := time
SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

ASAN_CHECKS := detect_leaks=1:check_initialization_order=1:detect_stack_use_after_return=1
SANITIZER_ENV := ASAN_OPTIONS=$(ASAN_CHECKS) \
                 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: all deps configure build run test test-normal configure-asan test-asan test-tsan \
        test-valgrind consumer package test-package test-static test-subproject bench fuzz \
        coverage symbols clean format

all: build

# Installs the Debian packages among $(1) that are missing, and only those.
define install-missing
	@missing=""; \
	for p in $(1); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' \
	        || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	    echo "Installing missing packages:$$missing"; \
	    $(SUDO) apt-get update && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi
endef

deps:
	$(call install-missing,$(DEB_PACKAGES))

# Installed under /usr, the paths are those of the Debian packages; `cmake --install --prefix`
# puts the same tree elsewhere.
configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQORUTILS_WERROR=ON \
	    -DQORUTILS_BUILD_FUZZ=ON -DCMAKE_INSTALL_PREFIX=/usr

build: configure
	cmake --build $(BUILD) -j$(JOBS)

# Shows the library at work on the bundled sample model: qorxml's outline of it (and its counts
# on standard error), then the example module reading it, solving it and telling its observer.
SAMPLE := examples/flowsheet/model.xml
run: build
	@echo "== qorxml --stats $(SAMPLE)"
	@$(BUILD)/tools/qorxml --stats $(SAMPLE)
	@echo
	@echo "== flowsheet $(SAMPLE)"
	@$(BUILD)/examples/flowsheet $(SAMPLE)

test: test-normal test-asan test-tsan consumer test-package test-static test-subproject \
      test-valgrind

test-normal: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# The same tests under AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer, built
# with clang so that both compilers are held to zero warnings. The fuzz targets are libFuzzer
# programs here; ctest runs each for 20 seconds.
configure-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQORUTILS_WERROR=ON \
	    -DQORUTILS_SANITIZE=ON -DQORUTILS_BUILD_FUZZ=ON \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++

test-asan: configure-asan
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && $(SANITIZER_ENV) ctest --output-on-failure -j$(JOBS)

# The tests of what threads share (documents read on several threads at once, the empty objects
# read while the process exits), built with clang under ThreadSanitizer in $(TSAN_BUILD): the
# library and that one program, nothing else. A report of ThreadSanitizer fails it.
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQORUTILS_WERROR=ON \
	    -DQORUTILS_SANITIZE_THREAD=ON -DQORUTILS_BUILD_TOOLS=OFF -DQORUTILS_BUILD_EXAMPLES=OFF \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(TSAN_BUILD) -j$(JOBS) --target qorutils_threads_tests
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 $(TSAN_BUILD)/tests/qorutils_threads_tests

# Runs each fuzz target for SECONDS seconds, one after the other, from its seed corpus in
# fuzz/corpus/NAME. New inputs go to $(ASAN_BUILD)/fuzz/corpus/NAME and crashes to
# $(ASAN_BUILD)/fuzz/crashes/NAME/; a crash fails the target.
SECONDS ?= 60
FUZZ_TARGETS := xml attribute notify text
fuzz: configure-asan
	cmake --build $(ASAN_BUILD) -j$(JOBS) --target $(addprefix qorfuzz_,$(FUZZ_TARGETS))
	status=0; \
	for name in $(FUZZ_TARGETS); do \
	    echo "== fuzz $$name for $(SECONDS) s"; \
	    mkdir -p $(ASAN_BUILD)/fuzz/corpus/$$name $(ASAN_BUILD)/fuzz/crashes/$$name; \
	    dict=""; [ -f fuzz/$$name.dict ] && dict=-dict=fuzz/$$name.dict; \
	    $(SANITIZER_ENV) $(ASAN_BUILD)/fuzz/qorfuzz_$$name -max_total_time=$(SECONDS) \
	        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 $$dict \
	        -artifact_prefix=$(ASAN_BUILD)/fuzz/crashes/$$name/ \
	        $(ASAN_BUILD)/fuzz/corpus/$$name fuzz/corpus/$$name || status=1; \
	done; \
	exit $$status

# qorxml on the sample model, and on a hostile document beside it on two threads, the example
# module, and a host that uses the library from its exit handler and a global's destructor, under
# valgrind: a memory error or any leak, even of memory still reachable at exit, fails with status
# 99. qorxml refuses the hostile document with its own status 1, which is expected.
VALGRIND := valgrind --quiet --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all \
            --error-exitcode=99
HOSTILE := tests/data/qorxml/hostile.xml
test-valgrind: build
	$(VALGRIND) $(BUILD)/tools/qorxml --stats --log $(BUILD)/valgrind.log $(SAMPLE) > /dev/null
	$(VALGRIND) $(BUILD)/tools/qorxml -j 2 --log $(BUILD)/valgrind.log $(HOSTILE) $(SAMPLE) \
	    > /dev/null; \
	    status=$$?; [ $$status -eq 1 ] || { echo "qorxml $(HOSTILE): status $$status, not 1"; exit 1; }
	cd $(BUILD) && $(VALGRIND) examples/flowsheet "$(CURDIR)/$(SAMPLE)" > /dev/null
	$(VALGRIND) $(BUILD)/tests/qorutils_ExitTimeHost > /dev/null

# Installs the library into a staging prefix and builds a host project against it, once
# through find_package and once through pkg-config; the staged qorxml finds its library there.
consumer: build
	rm -rf "$(STAGE)"
	cmake --install $(BUILD) --prefix "$(STAGE)"
	sh tests/consumer/check.sh "$(STAGE)" $(BUILD)/consumer
	"$(STAGE)/bin/qorxml" --version

# The Debian packages libqorutils1, libqorutils-dev and qorutils-tools, in $(BUILD)/packages.
package: build
	$(call install-missing,$(PACKAGE_PACKAGES))
	rm -rf $(BUILD)/packages
	cd $(BUILD) && cpack -G DEB

# lintian, the packages' files and dependencies, and the host project against them unpacked.
test-package: package
	sh tests/packaging/check-packages.sh $(BUILD)

# The static library, installed with its CMake package and QorUtils.pc: the host project builds
# against it with the same commands, and its programs need no libQorUtils.so. The archive's
# interface is hidden, so that a host's shared module does not export it. Configured as the
# README says, with no build type, which must give an optimised build, and with the library's
# directory given as an absolute path, as some layouts give it.
test-static: deps
	rm -f $(STATIC_BUILD)/CMakeCache.txt
	cmake -S . -B $(STATIC_BUILD) -DBUILD_SHARED_LIBS=OFF \
	    -DQORUTILS_WERROR=ON -DQORUTILS_BUILD_TESTS=OFF -DQORUTILS_BUILD_EXAMPLES=OFF \
	    "-DCMAKE_INSTALL_PREFIX=$(call abs,$(STATIC_BUILD))/stage" \
	    "-DCMAKE_INSTALL_LIBDIR=$(call abs,$(STATIC_BUILD))/stage/lib"
	grep -q '^CMAKE_BUILD_TYPE:STRING=RelWithDebInfo$$' $(STATIC_BUILD)/CMakeCache.txt
	cmake --build $(STATIC_BUILD) -j$(JOBS)
	rm -rf $(STATIC_BUILD)/stage
	cmake --install $(STATIC_BUILD) --prefix $(STATIC_BUILD)/stage
	sh tests/consumer/check.sh $(STATIC_BUILD)/stage $(STATIC_BUILD)/consumer
	$(STATIC_BUILD)/stage/bin/qorxml --version
	! readelf -d $(STATIC_BUILD)/consumer/consumer $(STATIC_BUILD)/consumer/consumer-pc \
	    $(STATIC_BUILD)/stage/bin/qorxml | grep 'NEEDED.*libQorUtils'
	readelf -sW $(STATIC_BUILD)/libQorUtils.a | grep -q 'GLOBAL HIDDEN .* _Z15QorUtilsVersionv$$'

# The source tree built inside a host project (FetchContent): the host gets QorUtils::QorUtils,
# builds no program of QorUtils' own, and installs only what it installs itself. The host asks
# for a unity build, as large projects do, which must not merge the library's sources.
SUBPROJECT := $(BUILD)/subproject
test-subproject: deps
	rm -rf $(SUBPROJECT)
	cmake -S tests/consumer -B $(SUBPROJECT) -DQORUTILS_SOURCE_DIR="$(CURDIR)" \
	    -DCMAKE_BUILD_TYPE=Release -DCMAKE_UNITY_BUILD=ON
	cmake --build $(SUBPROJECT) -j$(JOBS)
	$(SUBPROJECT)/consumer
	programs=$$(find $(SUBPROJECT) -path '*/CMakeFiles' -prune -o -type f -perm -u+x \
	    ! -name 'libQorUtils.so*' ! -path $(SUBPROJECT)/consumer -print); \
	    [ -z "$$programs" ] || { echo "programs besides the host's: $$programs"; exit 1; }
	cmake --install $(SUBPROJECT) --prefix $(SUBPROJECT)/stage
	installed=$$(cd $(SUBPROJECT)/stage && find . ! -type d); \
	    [ "$$installed" = "./bin/consumer" ] || { echo "installed: $$installed"; exit 1; }

# Builds the benchmarks in Release and runs every bench program and every bench/run-*.sh script
# in turn; each adds its rows to one table file, printed whole at the end. A failed identity
# check fails the target; a missed speed target shows as "NOT met" in the table.
BENCH_DIR := $(call abs,$(BENCH_BUILD))
BENCH_TABLE := $(BENCH_DIR)/bench-table.tsv
bench: deps
	$(call install-missing,$(BENCH_PACKAGES))
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DQORUTILS_BUILD_BENCH=ON -DQORUTILS_WERROR=ON \
	    -DQORUTILS_BUILD_TESTS=OFF -DQORUTILS_BUILD_EXAMPLES=OFF
	cmake --build $(BENCH_BUILD) -j$(JOBS)
	rm -f "$(BENCH_TABLE)"
	status=0; \
	for program in $(BENCH_BUILD)/bench/qorbench_*; do \
	    QORBENCH_TABLE="$(BENCH_TABLE)" "$$program" || status=1; \
	done; \
	for script in bench/run-*.sh; do \
	    [ -e "$$script" ] || continue; \
	    QORBENCH_TABLE="$(BENCH_TABLE)" sh "$$script" "$(BENCH_DIR)" || status=1; \
	done; \
	sh bench/print-table.sh "$(BENCH_TABLE)"; \
	exit $$status

# Line coverage of src/ by the whole test suite and the fuzz seed replays, built with g++ and
# gcov in $(COVERAGE_BUILD). Prints the summary, writes coverage.txt (lines not run, file by
# file) and coverage.html there, and fails below 95% of the lines.
coverage: deps
	$(call install-missing,$(COVERAGE_PACKAGES))
	cmake -S . -B $(COVERAGE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQORUTILS_WERROR=ON \
	    -DQORUTILS_COVERAGE=ON -DQORUTILS_BUILD_FUZZ=ON
	cmake --build $(COVERAGE_BUILD) -j$(JOBS)
	find $(COVERAGE_BUILD) -name '*.gcda' -delete
	cd $(COVERAGE_BUILD) && ctest --output-on-failure -j$(JOBS)
	gcovr --root . --filter 'src/' --object-directory $(COVERAGE_BUILD) \
	    --txt $(COVERAGE_BUILD)/coverage.txt --html-details $(COVERAGE_BUILD)/coverage.html \
	    --print-summary --fail-under-line 95

# Rewrites tests/data/abi/exported-symbols.txt from the library just built: run it when a change
# of the exported interface is meant, and commit the list with the change.
symbols: build
	cmake -DLIBRARY=$$(realpath $(BUILD)/libQorUtils.so) -DUPDATE=ON \
	    -DLIST=tests/data/abi/exported-symbols.txt -P cmake/CheckExportedSymbols.cmake

format:
	git ls-files '*.h' '*.cpp' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(BENCH_BUILD) $(COVERAGE_BUILD) $(STATIC_BUILD)
