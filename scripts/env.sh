# Sourced by the scripts in this folder. Chooses the Python environment they
# build into: the active virtual environment when there is one, otherwise the
# checkout's own .venv, created on first use. Defines:
#   PY               the environment's interpreter
#   pip_quiet ARGS   pip install without the chatter
#   ensure_build_requirements [MORE]
#                    installs what building the package needs (and MORE)
#   pip_build ARGS   runs pip ARGS on this checkout, showing build progress
#   ensure_gtest     installs GoogleTest from Debian's packages when missing
#   ensure_clang     installs Clang (for libFuzzer) from Debian's packages when missing

if [ -n "${VIRTUAL_ENV:-}" ]; then
  PY="$VIRTUAL_ENV/bin/python"
  echo "== using the active virtual environment $VIRTUAL_ENV"
else
  if [ ! -x .venv/bin/python ]; then
    echo "== creating the virtual environment .venv (python3 -m venv)"
    python3 -m venv .venv
  fi
  PY="$PWD/.venv/bin/python"
  echo "== using the virtual environment .venv"
fi

export PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_ROOT_USER_ACTION=ignore
pip_quiet() {
  "$PY" -m pip install --quiet "$@"
}

# The build runs in this environment rather than an isolated one, so that
# scikit-build-core finds the same compiler paths and NumPy headers every time
# and its build tree (build/<wheel tag>) is reused instead of rebuilt.
ensure_build_requirements() {
  echo "== installing the build requirements into $("$PY" -c 'import sys; print(sys.prefix)')"
  pip_quiet "scikit-build-core>=0.10" "numpy>=2.0" cmake ninja "$@"
}

# Runs a pip command that builds the package (the arguments name the
# checkout, e.g. "." or ".[cli]"); shows only the compiler's
# progress lines ([3/25] Building CXX object ...) and scikit-build-core's
# own messages, keeps the whole output in build/pip-build.log, and prints its
# end when the build fails.
pip_build() {
  mkdir -p build
  local log=build/pip-build.log status=0
  "$PY" -m pip "$@" --no-build-isolation -v 2>&1 | tee "$log" |
    { grep --line-buffered -E '^ *\[[0-9]+/[0-9]+\] |^ *\*\*\* ' || true; } || status=$?
  if [ "$status" -ne 0 ]; then
    echo "!! the build failed; the end of $log:" >&2
    tail -n 40 "$log" >&2
    return "$status"
  fi
}

ensure_clang() {
  if command -v clang++ >/dev/null 2>&1; then return; fi
  echo "== installing Clang, for libFuzzer (Debian package clang, apt-get)"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq clang >/dev/null
}

ensure_gtest() {
  if echo "#include <gtest/gtest.h>" | g++ -E -x c++ - >/dev/null 2>&1; then return; fi
  echo "== installing GoogleTest (Debian package libgtest-dev, apt-get)"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq libgtest-dev >/dev/null
}
