#!/usr/bin/env bash
# Runs every test: the layout check of the core (scripts/check_layout.py), the
# core's unit tests under the address and undefined-behaviour sanitizers, the
# fuzz harnesses for a bounded time, a check of the built wheel (it links only
# the C and C++ runtimes, installs and imports in a fresh environment), the
# Python tests against that installed wheel (two at a time), mypy on its type
# stubs, and the documentation (Sphinx, warnings as errors) with its examples
# run as doctests.
#
# The core is compiled twice: optimised for the wheel (scikit-build-core's
# build/<wheel tag>, shared with scripts/example.sh), and with the sanitizers
# in one Clang tree with the core tests and the fuzz harnesses. The core
# tests run in that tree only: the Python tests exercise the optimised build.
# The fresh environment for the wheel gets its test dependencies in the
# background while the core compiles.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/env.sh
jobs=$(nproc)
started=$SECONDS
# Each stage's heading says when it starts, so a slow stage shows.
stage() { echo "== [$((SECONDS - started)) s] $*"; }

stage "layout of the core: folders, include order, no Python headers (ARCHITECTURE.md)"
"$PY" scripts/check_layout.py

ensure_gtest
ensure_build_requirements

# The test environment's dependencies (the package's own and its test extra),
# installed while the core compiles; the wheel goes in when it is built.
rm -rf build/wheel-venv
mkdir -p build
"$PY" - >build/test-requirements.txt <<'PYTHON'
import tomllib
project = tomllib.load(open("pyproject.toml", "rb"))["project"]
extras = project["optional-dependencies"]
print("\n".join(project["dependencies"] + extras["test"] + extras["docs"]))
PYTHON
( python3 -m venv build/wheel-venv &&
  build/wheel-venv/bin/python -m pip install --quiet -r build/test-requirements.txt ) \
  >build/wheel-venv.log 2>&1 & test_venv=$!

stage "building the wheel"
rm -rf build/dist
pip_build wheel --no-deps -w build/dist .
wheel=$(ls build/dist/skeinlab-*.whl)

run_core_tests() {
  local log="$1/ctest.log"
  if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      ctest --test-dir "$1" --output-on-failure -j "$jobs" >"$log" 2>&1; then
    cat "$log"
    return 1
  fi
  tail -n 3 "$log"
}
# One Clang tree for the sanitized core tests and the fuzz harnesses, at -O1
# with line tables only: half the compile time of -O2 -g, and the
# sanitizers' reports still name functions and lines.
stage "core unit tests (address and undefined-behaviour sanitizers, Clang)"
ensure_clang
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DSKEINLAB_BUILD_MODULE=OFF -DSKEINLAB_BUILD_TESTS=ON \
  -DSKEINLAB_BUILD_FUZZERS=ON -DSKEINLAB_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" >/dev/null
cmake --build build/fuzz -j "$jobs"
run_core_tests build/fuzz

# Each libFuzzer harness runs for FUZZ_SECONDS (default 10), all six at once,
# from the seed corpus in tests/fuzz/corpus into a scratch corpus under
# build/fuzz; a crash leaves its input in build/fuzz/crashes and fails.
stage "fuzzing the readers, the table parser and chain input (libFuzzer, ASan/UBSan, ${FUZZ_SECONDS:-10} s each)"
mkdir -p build/fuzz/crashes
fuzz() {
  local harness=$1
  mkdir -p "build/fuzz/corpus-$harness"
  if build/fuzz/fuzz_"$harness" -max_total_time="${FUZZ_SECONDS:-10}" -max_len=4096 -timeout=10 \
      -rss_limit_mb=1024 -artifact_prefix="build/fuzz/crashes/$harness-" \
      "build/fuzz/corpus-$harness" "tests/fuzz/corpus/$harness" >"build/fuzz/$harness.log" 2>&1; then
    echo "   $harness: $(grep -o 'Done [0-9]* runs' "build/fuzz/$harness.log"), no failure"
  else
    echo "!! fuzz_$harness failed; see build/fuzz/$harness.log and build/fuzz/crashes/" >&2
    tail -n 30 "build/fuzz/$harness.log" >&2
    return 1
  fi
}
pids=()
for harness in xyz pdb table chain lammps pd; do
  fuzz "$harness" & pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid"; done

stage "the wheel links nothing outside the manylinux base libraries"
rm -rf build/wheel-contents
"$PY" -m zipfile -e "$wheel" build/wheel-contents
for ext in build/wheel-contents/skeinlab/_core*.so; do
  ldd "$ext"
  outside=$(ldd "$ext" | awk '{print $1}' | grep -v -E \
    '^(linux-vdso|linux-gate)\.so|^/?.*ld-linux[^/]*\.so|^lib(c|m|dl|rt|pthread|util|gcc_s|stdc\+\+)\.so\.[0-9]+$' || true)
  if [ -n "$outside" ]; then
    echo "!! $ext links libraries outside the manylinux base set: $outside" >&2
    exit 1
  fi
done

stage "installing the wheel into a fresh virtual environment (build/wheel-venv)"
if ! wait "$test_venv"; then
  echo "!! installing the test dependencies failed; see build/wheel-venv.log" >&2
  tail -n 20 build/wheel-venv.log >&2
  exit 1
fi
build/wheel-venv/bin/python -m pip install --quiet --no-deps "$wheel"
(cd build && wheel-venv/bin/python -c \
  "import skeinlab; print('imported', skeinlab.__name__, 'from', skeinlab.__file__)")

stage "Python tests"
build/wheel-venv/bin/python -m pytest -q -n "$jobs" tests/python

stage "type stubs of the installed package (mypy --strict), and the documentation (Sphinx, warnings as errors)"
# The documentation builds beside mypy, into build/docs.
rm -rf build/docs
build/wheel-venv/bin/python -m sphinx -W --keep-going -q -b html docs build/docs >build/docs.log 2>&1 & docs=$!
build/wheel-venv/bin/python -m mypy --strict --no-incremental -p skeinlab
build/wheel-venv/bin/python -m mypy --strict --no-incremental tests/typing/usage.py
if ! wait "$docs"; then
  echo "!! the documentation does not build without warnings:" >&2
  cat build/docs.log >&2
  exit 1
fi
echo "   documentation: build/docs/index.html"

echo "== all tests passed in $((SECONDS - started)) s"
