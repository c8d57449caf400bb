# vorna: build, test and demo. `make test` and `make demo` work on a fresh
# machine: they install what is missing (apt packages, a virtualenv with the
# pip packages) before building.

SHELL := /bin/bash
.DEFAULT_GOAL := test

PYENV_ROOT ?= $(shell pyenv root 2>/dev/null)
PYTHON ?= $(firstword $(wildcard $(PYENV_ROOT)/versions/3.9.*/bin/python3.9) $(shell command -v python3))
VENV ?= .venv
BUILD ?= build
JOBS ?= 2
CORPUS ?= ../shared/corpus/versions.txt
BENCH_VENV ?= .venv-bench
# Peers measured side by side; packaging pinned to the release line the goals
# were set against.
BENCH_PACKAGES := "packaging>=26,<27" semver pep440_rs matplotlib

VPY := $(VENV)/bin/python
CMAKE := $(VENV)/bin/cmake
APT_PACKAGES := libgtest-dev
SUDO := $(if $(filter 0,$(shell id -u)),,sudo)

.PHONY: typecheck stubs py-test-default test demo deps apt-deps venv cpp-test install py-test test-asan test-windows fuzz bench corpus-run clean

test: cpp-test py-test typecheck py-test-default

# The suite once more on the machine's default python3 when it is another
# interpreter than $(PYTHON).
DEFAULT_PYTHON := $(shell python3 -c 'import sys; print(sys.executable)' 2>/dev/null)

demo: install
	$(VPY) demo/tour.py

# --- setup -------------------------------------------------------------------

apt-deps:
	@missing=""; for p in $(APT_PACKAGES) $(EXTRA_APT_PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $(APT_INSTALL_FLAGS) $$missing; \
	fi

venv: $(VENV)/.ready

$(VENV)/.ready: pyproject.toml
	@test -n "$(PYTHON)" || { echo "no Python interpreter found; set PYTHON=..."; exit 1; }
	$(PYTHON) -m venv $(VENV)
	$(VPY) -m pip install -q --upgrade pip
	$(VPY) -m pip install -q "scikit-build-core>=0.10" "pytest>=7" cmake ninja packaging mypy
	touch $@

deps: apt-deps venv

# --- C++ core ----------------------------------------------------------------

$(BUILD)/cpp/build.ninja: | deps
	$(CMAKE) -S . -B $(BUILD)/cpp -G Ninja -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV))/bin/ninja \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORNA_BUILD_TESTS=ON -DVORNA_BUILD_EXTENSION=OFF -DVORNA_WERROR=ON

cpp-test: $(BUILD)/cpp/build.ninja
	$(CMAKE) --build $(BUILD)/cpp -j $(JOBS)
	cd $(BUILD)/cpp && $(abspath $(VENV))/bin/ctest --output-on-failure -j $(JOBS)

corpus-run: $(BUILD)/cpp/build.ninja
	$(CMAKE) --build $(BUILD)/cpp -j $(JOBS) --target vorna_corpus_run
	$(BUILD)/cpp/vorna_corpus_run $(CORPUS)

# --- Python extension --------------------------------------------------------

install: deps
	PATH=$(abspath $(VENV))/bin:$$PATH $(VPY) -m pip install -q --no-build-isolation --no-deps . \
	  -Ccmake.define.VORNA_WERROR=ON -Cbuild.verbose=false

py-test: install
	$(VPY) -m pytest -q tests/python

# The installed stub against the runtime (stubtest) and against the tour and
# the README's examples (mypy --strict).
typecheck: install
	$(VPY) tools/typecheck.py

# Regenerates the committed stub from the built extension's API records.
stubs: install
	$(VPY) tools/gen_stubs.py

py-test-default:
	@if [ -n "$(DEFAULT_PYTHON)" ] && [ "$$(realpath $(DEFAULT_PYTHON))" != "$$(realpath $(PYTHON))" ]; then \
	  $(MAKE) --no-print-directory py-test typecheck PYTHON=$(DEFAULT_PYTHON) VENV=$(VENV)-default; \
	else echo "the default python3 is $(PYTHON): already tested"; fi

# The extension built with AddressSanitizer and UBSan, the suite run under it.
test-asan: deps
	$(CMAKE) -S . -B $(BUILD)/asan -G Ninja -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV))/bin/ninja \
	  -DCMAKE_BUILD_TYPE=Debug -DVORNA_SANITIZE=ON -DVORNA_WERROR=ON -DPython_EXECUTABLE=$(abspath $(VPY))
	$(CMAKE) --build $(BUILD)/asan -j $(JOBS) --target vorna
	LD_PRELOAD="$$(g++ -print-file-name=libasan.so) $$(g++ -print-file-name=libubsan.so)" \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  PYTHONMALLOC=malloc PYTHONPATH=$(BUILD)/asan VORNA_ASAN=1 \
	  $(VPY) -m pytest -q -p no:cacheprovider tests/python

# --- Windows --------------------------------------------------------------------

# The core and its GoogleTest suite cross-built for 64-bit Windows with
# mingw-w64 (static runtime) and run once under Wine, headless.
WINDOWS_APT_PACKAGES := g++-mingw-w64-x86-64-posix wine wine64

test-windows: venv
	$(MAKE) --no-print-directory apt-deps EXTRA_APT_PACKAGES="$(WINDOWS_APT_PACKAGES)" APT_INSTALL_FLAGS=--no-install-recommends
	$(CMAKE) -S . -B $(BUILD)/windows -G Ninja -Wno-deprecated -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV))/bin/ninja \
	  -DCMAKE_TOOLCHAIN_FILE=$(abspath cmake/mingw-w64-x86_64.cmake) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVORNA_BUILD_TESTS=ON -DVORNA_BUILD_EXTENSION=OFF -DVORNA_WERROR=ON -DVORNA_GTEST_SOURCE_DIR=/usr/src/googletest
	$(CMAKE) --build $(BUILD)/windows -j $(JOBS) --target vorna_core_tests
	WINEPREFIX=$(abspath $(BUILD))/wineprefix tools/run_under_wine.sh $(BUILD)/windows/vorna_core_tests.exe --gtest_brief=1

# --- robustness and speed ----------------------------------------------------

fuzz:
	$(MAKE) apt-deps EXTRA_APT_PACKAGES="clang-14 libclang-rt-14-dev"
	fuzz/build_and_run.sh

# Its own virtualenv, so that the peers never leak into the test environment.
# BENCH_ARGS=--quick gives a shorter, rougher run.
bench:
	$(MAKE) --no-print-directory apt-deps EXTRA_APT_PACKAGES=valgrind
	$(MAKE) --no-print-directory install VENV=$(BENCH_VENV)
	$(MAKE) --no-print-directory $(BENCH_VENV)/.bench-ready
	$(BENCH_VENV)/bin/python bench/bench.py --corpus $(CORPUS) $(BENCH_ARGS)

$(BENCH_VENV)/.bench-ready: Makefile
	$(BENCH_VENV)/bin/python -m pip install -q $(BENCH_PACKAGES)
	touch $@

clean:
	rm -rf $(BUILD) $(VENV) $(BENCH_VENV)
