# Thin wrapper over CMake; every target forwards to cmake/ctest.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX     ?= /usr/local
CMAKE_ARGS ?=

.PHONY: all check demo bench clean install

all: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

$(BUILD)/CMakeCache.txt:
	scripts/install-deps check
	cmake -S . -B $(BUILD) -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_ARGS)

# Every test, twice: the normal build, then under ASan and UBSan.
check:
	scripts/install-deps check
	cmake -S . -B $(BUILD) -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	cmake -S . -B $(ASAN_BUILD) -DTOVEFILT_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

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
	rm -rf $(BUILD) $(ASAN_BUILD)
