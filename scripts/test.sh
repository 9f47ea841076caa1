#!/usr/bin/env bash
# Runs every test: the core's unit tests (optimised, then under the address and
# undefined-behaviour sanitizers) and the Python tests against a fresh install.
set -euo pipefail
cd "$(dirname "$0")/.."

have_header() { echo "#include <$1>" | g++ -E -x c++ - >/dev/null 2>&1; }
if ! have_header gtest/gtest.h; then
  echo "== installing GoogleTest (Debian package libgtest-dev)"
  if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq libgtest-dev >/dev/null
fi

jobs=$(nproc)
for variant in release sanitize; do
  dir="build/tests-$variant"
  flags=(-DSKEINLAB_BUILD_MODULE=OFF -DSKEINLAB_BUILD_TESTS=ON -DCMAKE_BUILD_TYPE=Release)
  if [ "$variant" = sanitize ]; then
    flags=(-DSKEINLAB_BUILD_MODULE=OFF -DSKEINLAB_BUILD_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSKEINLAB_SANITIZE=ON)
  fi
  echo "== core unit tests ($variant)"
  cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
done

echo "== Python tests"
python3 -m pip install --quiet --disable-pip-version-check --root-user-action=ignore ".[test]"
python3 -m pytest -q tests/python
