# make demo  - build and run the demo report on the bundled sample data
# make test  - build and run the whole test suite
# make bench - build and run the benchmarks
# make bench-dist - every series function against its conversion floor at 2x10^5 bars
#                   (BENCH_ARGS="--table --json FILE --against ../baseline/build/python ...")
# make bench-windows - every window parameter long against 20, and the streams per update
#                   (BENCH_ARGS="--sizes long --only py_sma,py_slope" for a subset)
# make sanitize - the whole suite on a build with AddressSanitizer and UndefinedBehaviorSanitizer,
#                 assertions on, in build-sanitize/
# The build is an in-place CMake/Ninja build in build/; a second run recompiles only what changed.
PYTHON ?= python3
VENV := .venv
VPY := $(VENV)/bin/python
BUILD := build
STAMP := $(VENV)/.deps-installed
SYSTEM_PACKAGES := libeigen3-dev
export PYTHONPATH := $(CURDIR)/$(BUILD)/python

.PHONY: all build demo test bench bench-dist bench-windows sanitize clean system-deps

all: build

# Debian and Ubuntu leave venv's ensurepip to a package of its own (python3-venv); without it
# `python3 -m venv` fails half-way, leaving a .venv with no pip. So ensurepip is looked for first,
# and a .venv without pip (a first attempt's) is made again: venv keeps it and adds pip.
$(VENV)/bin/pip:
	@$(PYTHON) -c "import venv, ensurepip; ensurepip.version()" 2> /dev/null || { \
	  v=$$($(PYTHON) -c 'import sys; print("%d.%d" % sys.version_info[:2])') || exit 1; \
	  echo "error: $(PYTHON) (Python $$v) cannot create a virtual environment: its venv or ensurepip module is missing." >&2; \
	  echo "       On Debian or Ubuntu install python3-venv (python$$v-venv): apt-get install python3-venv" >&2; \
	  exit 1; }
	$(PYTHON) -m venv $(VENV)

# Python tools and the test extras declared in pyproject.toml.
$(STAMP): pyproject.toml | $(VENV)/bin/pip
	$(VPY) -m pip install -q --upgrade pip
	$(VPY) -m pip install -q cmake ninja $$($(VPY) -c "import tomllib; d = tomllib.load(open('pyproject.toml', 'rb')); print(' '.join(repr(x) for x in d['project']['optional-dependencies']['test']))" | tr -d "'")
	touch $@

# apt through .ci/apt-get-waiting, which waits while another apt (a daily update job, a second
# build) holds a lock, where apt-get alone would fail at once.
system-deps:
	@missing=""; for p in $(SYSTEM_PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  if command -v apt-get >/dev/null 2>&1 && [ "$$(id -u)" = 0 ]; then \
	    echo "installing$$missing (apt-get)"; log=$$(mktemp); \
	    .ci/apt-get-waiting -qq update && .ci/apt-get-waiting -qq install -y $$missing > $$log; \
	    status=$$?; [ $$status = 0 ] || cat $$log; rm -f $$log; [ $$status = 0 ] || exit $$status; \
	  else echo "note: missing system packages:$$missing (install them with apt-get)"; fi; \
	fi

# Extra configure options, e.g. `make test CMAKE_ARGS=-DVORN_WERROR=ON` (what CI runs); given on the
# command line they are applied to an existing build directory too, and stay in its cache.
CMAKE_ARGS ?=

$(BUILD)/build.ninja: CMakeLists.txt | $(STAMP)
	$(VENV)/bin/cmake -S . -B $(BUILD) -G Ninja -DCMAKE_MAKE_PROGRAM=$(CURDIR)/$(VENV)/bin/ninja -DPython_EXECUTABLE=$(CURDIR)/$(VPY) $(CMAKE_ARGS)

build: system-deps $(STAMP) $(BUILD)/build.ninja
ifneq ($(strip $(CMAKE_ARGS)),)
	$(VENV)/bin/cmake -S . -B $(BUILD) $(CMAKE_ARGS)
endif
	$(VENV)/bin/ninja -C $(BUILD)

demo: build
	$(VPY) examples/demo.py

test: build
	$(VPY) -m pytest -q tests

bench: build
	$(VPY) bench/run.py
	$(VPY) bench/zero_runs.py
	$(VPY) bench/moments_hostile.py
	$(VPY) bench/streaming_windows.py

bench-dist: build
	$(VPY) bench/distribution.py $(BENCH_ARGS)

bench-windows: build
	$(VPY) bench/window_sweep.py $(BENCH_ARGS)

# The interpreter is not instrumented, so the sanitizer runtimes are preloaded into it. Python
# keeps its objects to the end, so leaks are not reported; allocations beyond the machine
# return null (MemoryError) as they do without the sanitizer. VORN_SANITIZE tells the tests
# that need a real address-space limit or a real crash signal to skip.
SANITIZE_BUILD := build-sanitize
sanitize: system-deps $(STAMP)
	$(VENV)/bin/cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_MAKE_PROGRAM=$(CURDIR)/$(VENV)/bin/ninja \
	  -DPython_EXECUTABLE=$(CURDIR)/$(VPY) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O2 -g" -DVORN_SANITIZE=ON
	$(VENV)/bin/ninja -C $(SANITIZE_BUILD)
	VORN_SANITIZE=1 PYTHONPATH=$(CURDIR)/$(SANITIZE_BUILD)/python \
	  LD_PRELOAD="$$(c++ -print-file-name=libasan.so) $$(c++ -print-file-name=libubsan.so)" \
	  ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  $(VPY) -m pytest -q tests

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) dist
