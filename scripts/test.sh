#!/usr/bin/env bash
# Runs every test: the core's unit tests (optimised, then under the address and
# undefined-behaviour sanitizers), a check of the built wheel (it links only
# the C and C++ runtimes, installs and imports in a fresh environment) and the
# Python tests against that installed wheel, and mypy on its type stubs.
#
# The optimised core tests are built in the same build tree as the module
# (scikit-build-core's build/<wheel tag>, shared with scripts/example.sh), so
# the core is compiled once for both.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/env.sh
jobs=$(nproc)
started=$SECONDS

ensure_gtest
ensure_build_requirements

echo "== building the wheel and the optimised core tests"
rm -rf build/dist
pip_build wheel --no-deps -w build/dist -Ccmake.define.SKEINLAB_BUILD_TESTS=ON .
wheel=$(ls build/dist/skeinlab-*.whl)
tag=$(basename "$wheel" .whl | cut -d- -f3-)

run_core_tests() {
  local log="$1/ctest.log"
  if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      ctest --test-dir "$1" --output-on-failure -j "$jobs" >"$log" 2>&1; then
    cat "$log"
    return 1
  fi
  tail -n 3 "$log"
}
echo "== core unit tests (optimised)"
run_core_tests "build/$tag"

# -O1 with line tables only: half the compile time of -O2 -g, and the
# sanitizers' reports still name functions and lines.
echo "== core unit tests (address and undefined-behaviour sanitizers)"
cmake -S . -B build/tests-sanitize -G Ninja -DSKEINLAB_BUILD_MODULE=OFF -DSKEINLAB_BUILD_TESTS=ON \
  -DSKEINLAB_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" >/dev/null
cmake --build build/tests-sanitize -j "$jobs"
run_core_tests build/tests-sanitize

echo "== the wheel links nothing outside the manylinux base libraries"
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

echo "== installing the wheel into a fresh virtual environment (build/wheel-venv)"
python3 -m venv --clear build/wheel-venv
build/wheel-venv/bin/python -m pip install --quiet "$wheel[test]"
(cd build && wheel-venv/bin/python -c \
  "import skeinlab; print('imported', skeinlab.__name__, 'from', skeinlab.__file__)")

echo "== Python tests"
build/wheel-venv/bin/python -m pytest -q tests/python

echo "== type stubs of the installed package (mypy --strict)"
build/wheel-venv/bin/python -m mypy --strict --no-incremental -p skeinlab
build/wheel-venv/bin/python -m mypy --strict --no-incremental tests/typing/usage.py

echo "== all tests passed in $((SECONDS - started)) s"
