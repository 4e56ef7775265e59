# The two commands the README leads with: `make demo` and `make check`.
# `make check SANITIZE=1` builds and runs the tests under ASan and UBSan.
JOBS    ?= $(shell nproc)
MAKEFLAGS += --no-print-directory
ifeq ($(SANITIZE),1)
BUILD   ?= build-asan
CMAKEFLAGS += -DTARVO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
else
BUILD   ?= build
endif

.PHONY: all deps configure build check demo install bench clean

all: build

deps:
	@tools/setup-deps

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKEFLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

check: build
	@cd $(BUILD) && ctest --output-on-failure -j$(JOBS) --timeout 300 $(CTESTFLAGS)

demo: build
	@if [ -x tools/demo ]; then tools/demo $(BUILD); else echo "demo: the daemon does not exist yet"; fi

# Installs the daemon and the sample configuration (PREFIX=/usr/local by default, DESTDIR honoured).
install: build
	@cmake --install $(BUILD) $(if $(PREFIX),--prefix $(PREFIX))

# Benchmarks against the baseline daemon and an echo server (bench/README.md); QUICK=1: a small matrix.
bench: configure
	@bench/run $(if $(filter 1,$(QUICK)),--quick) $(BUILD)

clean:
	rm -rf build build-asan
