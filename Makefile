# The two commands the README leads with: `make demo` and `make check`.
# `make check SANITIZE=1` builds and runs the tests under ASan and UBSan.
# The plain `make check` also runs each fuzz target of fuzz/ for a few seconds;
# `make fuzz` runs them for FUZZ_TIME seconds each (in parallel) and keeps what
# they find in $(FUZZ_BUILD)/fuzz/runs/<target>/crashes.
JOBS    ?= $(shell nproc)
MAKEFLAGS += --no-print-directory
ifeq ($(SANITIZE),1)
BUILD   ?= build-asan
CMAKEFLAGS += -DTARVO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
else
BUILD   ?= build
endif

# The fuzz targets: a clang build of their own.
FUZZ_BUILD ?= build-fuzz
FUZZ_TIME  ?= 300
FUZZ_CHECK_TIME ?= 5
FUZZ_CMAKEFLAGS = -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTARVO_FUZZ=ON -DTARVO_WERROR=OFF

.PHONY: all deps configure build check demo install uninstall bench bench-mime bench-cost clean fuzz fuzz-build fuzz-check bench-mimetree bench-mail

all: build

deps:
	@tools/setup-deps

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKEFLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

check: build
	@cd $(BUILD) && ctest --output-on-failure -j$(JOBS) --timeout 300 $(CTESTFLAGS)
ifneq ($(SANITIZE),1)
	@$(MAKE) fuzz-check
endif

fuzz-build: deps
	@cmake -S . -B $(FUZZ_BUILD) $(FUZZ_CMAKEFLAGS) >/dev/null
	@cmake --build $(FUZZ_BUILD) -j$(JOBS) --target tarvo_fuzz

fuzz-check: fuzz-build
	@cd $(FUZZ_BUILD) && TARVO_FUZZ_TIME=$(FUZZ_CHECK_TIME) TARVO_FUZZ_FRESH=1 ctest --output-on-failure -j$(JOBS) -L fuzz --timeout 300

fuzz: fuzz-build
	@cd $(FUZZ_BUILD) && TARVO_FUZZ_TIME=$(FUZZ_TIME) ctest --output-on-failure -j$(JOBS) -L fuzz \
		--timeout $$(( $(FUZZ_TIME) + 300 ))

demo: build
	@if [ -x tools/demo ]; then tools/demo $(BUILD); else echo "demo: the daemon does not exist yet"; fi

# Installs the daemon and tarvo-scan with the commands that run them, the engine module, the demo
# bases, the configuration with its folders, the man pages, the logrotate file and the systemd unit
# (tools/install-layout; PREFIX=/usr/local by default, DESTDIR honoured; TARVO_USER: the account a new
# configuration names, tarvo by default). uninstall takes the same PREFIX and DESTDIR.
install: build
	@DESTDIR="$(DESTDIR)" TARVO_USER="$(TARVO_USER)" cmake --install $(BUILD) $(if $(PREFIX),--prefix $(PREFIX))

uninstall:
	@DESTDIR="$(DESTDIR)" tools/install-layout uninstall --prefix "$(or $(PREFIX),$(shell \
		sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' $(BUILD)/CMakeCache.txt 2>/dev/null),/usr/local)"

# Benchmarks against the baseline daemon and an echo server (bench/README.md); QUICK=1: a small matrix.
bench: configure
	@bench/run $(if $(filter 1,$(QUICK)),--quick) $(BUILD)

# Throughput of the MIME body codecs, decoding and encoding, next to Python's and GMime 3's (bench/README.md); MB=4 per case.
bench-mime: configure
	@cmake --build $(BUILD) -j$(JOBS) --target tarvo-mimebench
	@$(BUILD)/bench/tarvo-mimebench $(MB)

# System calls per request by type, child and master (bench/README.md): counts, not times.
bench-cost: build
	@bench/syscall-cost $(BUILD)

# Parse and parse+assemble throughput and peak memory of the MIME tree next to Python's email and GMime 3,
# in a program of the host's width, then in a 32-bit one as the daemon runs (32-bit builds); MB=8 for the
# mixed corpus, SHAPES="corpus nested" to run some shapes only.
bench-mimetree: configure
	@cmake --build $(BUILD) -j$(JOBS) --target tarvo-mimetreebench
	@$(BUILD)/bench/tarvo-mimetreebench $(or $(MB),8) $(SHAPES)
	@if grep -q '^tarvo-mimetreebench32:' $(BUILD)/bench/Makefile; then \
		emulator=$$(sed -n 's/^TARVO_EMULATOR:[A-Z]*=//p' $(BUILD)/CMakeCache.txt); \
		cmake --build $(BUILD) -j$(JOBS) --target tarvo-mimetreebench32 && \
		{ [ -z "$$emulator" ] || echo "The 32-bit program runs under $$emulator here:" \
			"its times and ratios are the emulator's, not the tree's."; } && \
		$$emulator $(BUILD)/bench/tarvo-mimetreebench32 $(or $(MB),8) $(SHAPES); fi

# The mail walk next to the same messages scanned whole, in-process with the stand-in engine (SECONDS=2 a row);
# COUNT=1: counted in instructions instead (callgrind, or qemu-i386 where the program runs emulated).
bench-mail: configure
	@cmake --build $(BUILD) -j$(JOBS) --target tarvo-mailbench tarvo_engine tarvo_demo_bases
	@$$(sed -n 's/^TARVO_EMULATOR:[A-Z]*=//p' $(BUILD)/CMakeCache.txt) $(BUILD)/bench/tarvo-mailbench \
		$(if $(filter 1,$(COUNT)),--instructions,$(SECONDS))

clean:
	rm -rf build build-asan $(FUZZ_BUILD)
