# Thin wrapper over CMake; every target forwards to cmake/ctest.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX     ?= /usr/local
CMAKE_ARGS ?=

# Folders of our own code that the static checks cover; `make lint` adds the
# tests (slow to analyse for their gtest headers), `make check` runs the rest.
LINT_DIRS  ?= attr proc pklib filter modules fuzz bench
LINT_TESTS ?= tests
SPACE      := $(subst ,, )

.PHONY: all check check-full demo bench clean install lint lint-quick format fuzz

all: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

$(BUILD)/CMakeCache.txt:
	scripts/install-deps check
	cmake -S . -B $(BUILD) -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_ARGS)

# Every test, twice: the normal build, then under ASan and UBSan.
check:
	scripts/install-deps check
	cmake -S . -B $(BUILD) -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_ARGS)
	$(MAKE) --no-print-directory lint-quick
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	cmake -S . -B $(ASAN_BUILD) -DTOVEFILT_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# As check, with every real PPD file instead of a sample.
check-full:
	TOVEFILT_REAL_PPDS=0 $(MAKE) --no-print-directory check

# Static checks; any finding fails. Needs the build's compile_commands.json.
lint:
	scripts/install-deps lint
	cmake -S . -B $(BUILD) -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_ARGS)
	$(MAKE) --no-print-directory lint-quick LINT_DIRS="$(LINT_DIRS) $(LINT_TESTS)"

lint-quick:
	run-clang-tidy -quiet -p $(BUILD) -j $(JOBS) \
	  '$(CURDIR)/($(subst $(SPACE),|,$(strip $(LINT_DIRS))))/[^/]*\.cpp$$' >$(BUILD)/clang-tidy.log 2>&1 \
	  || { grep -E -A3 'warning:|error:' $(BUILD)/clang-tidy.log; exit 1; }
	cppcheck --error-exitcode=1 --quiet --std=c++20 --inline-suppr \
	  --enable=warning,performance,portability --library=posix --library=googletest \
	  --suppress=missingIncludeSystem --suppress=readdirCalled \
	  -I attr -I proc -I pklib -I filter -I modules \
	  $(wildcard $(addsuffix /*.cpp,$(LINT_DIRS)))

# Lays out our sources with the committed .clang-format.
format:
	clang-format -i $(wildcard $(addsuffix /*.cpp,$(LINT_DIRS) $(LINT_TESTS)) \
	  $(addsuffix /*.h,$(LINT_DIRS) $(LINT_TESTS)))

# Each fuzz target for FUZZ_SECONDS, from its seed corpus; new inputs are kept
# in $(FUZZ_BUILD)/corpus/<target>, crashes in $(FUZZ_BUILD)/artifacts/.
FUZZ_SAN := -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
fuzz:
	scripts/install-deps fuzz
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVEFILT_FUZZ=ON -DTOVEFILT_TESTS=OFF \
	  -DCMAKE_CXX_FLAGS="$(FUZZ_SAN)" -DCMAKE_C_FLAGS="$(FUZZ_SAN)" \
	  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" $(CMAKE_ARGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	mkdir -p $(FUZZ_BUILD)/artifacts
	for dir in fuzz/corpus/*/; do t=$$(basename $$dir); \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$t; \
	  $(FUZZ_BUILD)/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD)/artifacts/$$t- $(FUZZ_BUILD)/corpus/$$t $$dir || exit 1; \
	done

demo:
	scripts/install-deps demo
	cmake -S . -B $(BUILD) -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS)
	@if [ -x scripts/demo ]; then scripts/demo $(BUILD); else \
	  echo "make demo: runs one print job through tovefilt once the filter is built"; fi

# Speed, per-job cost and memory against their limits; never part of check.
bench:
	scripts/install-deps bench
	cmake -S . -B $(BUILD) -DTOVEFILT_BENCH=ON -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS)
	scripts/bench $(BUILD)

install: all
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
