#!/usr/bin/env bash
# Installs what is missing, builds Brivet twice (normal and address+undefined sanitizers)
# and runs the whole test suite (unit and end-to-end under Xvfb) on both builds.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --with-tests

jobs=${BRIVET_JOBS:-2}
# ccache, where installed, keeps compiled objects across clones and builds of this tree: paths
# are taken relative to the checkout, so another clone of the same sources hits the same cache.
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
build() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

# Options spelled out: scripts/run.sh shares build/ and turns the tests and benchmarks off.
build build -DBRIVET_BUILD_TESTS=ON -DBRIVET_BUILD_BENCH=ON
build build-asan -DBRIVET_SANITIZE=ON -DBRIVET_BUILD_TESTS=ON -DBRIVET_BUILD_BENCH=OFF

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

status=0
echo "== tests: normal build"
ctest --test-dir build --output-on-failure --timeout 300 || status=1
echo "== tests: sanitizer build"
ctest --test-dir build-asan --output-on-failure --timeout 300 || status=1
exit $status
