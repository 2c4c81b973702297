#!/usr/bin/env bash
# The whole test suite: the format and clang-tidy gates, then zarn built and
# tested twice, an optimised g++ build (with the Python plug-in modules and
# their tests) and a clang build with AddressSanitizer and
# UndefinedBehaviorSanitizer. Both treat warnings as errors, as development
# builds should.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/install-deps.sh
bash scripts/gates.sh

jobs="$(nproc)"
run_suite() {
  local build_dir="$1"
  shift
  cmake -S . -B "$build_dir" -G Ninja -DZARN_BUILD_TESTS=ON -DZARN_WERROR=ON "$@"
  cmake --build "$build_dir" -j "$jobs"
  ctest --test-dir "$build_dir" --output-on-failure -j "$jobs"
}

echo "== g++ Release build =="
run_suite build -DCMAKE_BUILD_TYPE=Release

echo "== clang build with AddressSanitizer and UndefinedBehaviorSanitizer =="
CC=clang-14 CXX=clang++-14 run_suite build-sanitize -DCMAKE_BUILD_TYPE=Debug -DZARN_SANITIZE=ON
