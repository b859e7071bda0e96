# Convenience targets over CMake. `make test` is what CI runs.
BUILD      ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
COVERAGE_BUILD ?= build-coverage
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
STAGE      := $(abspath $(BUILD))/stage

# Debian packages the build, tests and benchmarks need; installed only when missing.
DEB_PACKAGES := cmake make g++ clang libclang-rt-dev libgtest-dev libbenchmark-dev \
                libexpat1-dev pkg-config valgrind
# And those that `make coverage` and `make bench` need besides.
COVERAGE_PACKAGES := gcovr
BENCH_PACKAGES := time
SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

SANITIZER_ENV := ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1 \
                 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: all deps configure build run test test-normal configure-asan test-asan test-valgrind \
        consumer bench fuzz coverage symbols clean format

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

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQORUTILS_WERROR=ON \
	    -DQORUTILS_BUILD_FUZZ=ON

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

test: test-normal test-asan consumer test-valgrind

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

# Runs each fuzz target for SECONDS seconds, one after the other, from its seed corpus in
# fuzz/corpus/NAME. New inputs go to $(ASAN_BUILD)/fuzz/corpus/NAME and crashes to
# $(ASAN_BUILD)/fuzz/crashes/NAME/; a crash fails the target.
SECONDS ?= 60
FUZZ_TARGETS := xml attribute notify
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

# qorxml on the sample model and on a hostile document, the example module, and a host that
# uses the library from its exit handler and a global's destructor, under valgrind: a memory
# error or any leak, even of memory still reachable at exit, fails with status 99.
# qorxml refuses the hostile document with its own status 1, which is expected.
VALGRIND := valgrind --quiet --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all \
            --error-exitcode=99
HOSTILE := tests/data/qorxml/hostile.xml
test-valgrind: build
	$(VALGRIND) $(BUILD)/tools/qorxml --stats --log $(BUILD)/valgrind.log $(SAMPLE) > /dev/null
	$(VALGRIND) $(BUILD)/tools/qorxml --log $(BUILD)/valgrind.log $(HOSTILE) > /dev/null; \
	    status=$$?; [ $$status -eq 1 ] || { echo "qorxml $(HOSTILE): status $$status, not 1"; exit 1; }
	cd $(BUILD) && $(VALGRIND) examples/flowsheet $(abspath $(SAMPLE)) > /dev/null
	$(VALGRIND) $(BUILD)/tests/qorutils_ExitTimeHost > /dev/null

# Installs the library into a staging prefix and builds a host project against it, once
# through find_package and once through pkg-config.
consumer: build
	rm -rf $(STAGE) $(BUILD)/consumer
	cmake --install $(BUILD) --prefix $(STAGE)
	cmake -S tests/consumer -B $(BUILD)/consumer -DCMAKE_PREFIX_PATH=$(STAGE) \
	    -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD)/consumer
	$(BUILD)/consumer/consumer
	PKG_CONFIG_PATH=$$(dirname $$(find $(STAGE) -name QorUtils.pc)) sh -c \
	    'c++ tests/consumer/main.cpp $$(pkg-config --cflags --libs QorUtils) \
	        -o $(BUILD)/consumer/consumer-pc && \
	     LD_LIBRARY_PATH=$$(pkg-config --variable=libdir QorUtils) $(BUILD)/consumer/consumer-pc'

# Builds the benchmarks in Release and runs every bench program and every bench/run-*.sh script
# in turn; each adds its rows to one table file, printed whole at the end. A failed identity
# check fails the target; a missed speed target shows as "NOT met" in the table.
BENCH_TABLE := $(abspath $(BENCH_BUILD))/bench-table.tsv
bench: deps
	$(call install-missing,$(BENCH_PACKAGES))
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DQORUTILS_BUILD_BENCH=ON -DQORUTILS_WERROR=ON \
	    -DQORUTILS_BUILD_TESTS=OFF -DQORUTILS_BUILD_EXAMPLES=OFF
	cmake --build $(BENCH_BUILD) -j$(JOBS)
	rm -f $(BENCH_TABLE)
	status=0; \
	for program in $(BENCH_BUILD)/bench/qorbench_*; do \
	    QORBENCH_TABLE=$(BENCH_TABLE) $$program || status=1; \
	done; \
	for script in bench/run-*.sh; do \
	    [ -e "$$script" ] || continue; \
	    QORBENCH_TABLE=$(BENCH_TABLE) sh $$script $(abspath $(BENCH_BUILD)) || status=1; \
	done; \
	sh bench/print-table.sh $(BENCH_TABLE); \
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
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(COVERAGE_BUILD)
