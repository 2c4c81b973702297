#!/usr/bin/env bash
# The house gates: clang-format over src, tests and bench (a file that would
# change fails), the layers of src/ (no include goes to a higher layer,
# scripts/layers.sh), then clang-tidy over src/ with .clang-tidy, run by a
# build of the sources alone. `gates.sh format`, `gates.sh layers` or
# `gates.sh tidy` runs one of them.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

check_format() {
  echo "== clang-format =="
  git ls-files -z -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' |
    xargs -0 clang-format --dry-run -Werror
  echo "clang-format: every file is formatted"
}

check_layers() {
  echo "== layers =="
  bash scripts/layers.sh
}

check_tidy() {
  echo "== clang-tidy =="
  local started=$SECONDS
  cmake -S . -B build-tidy -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZARN_BUILD_TESTS=OFF \
    -DZARN_WERROR=ON -DZARN_CLANG_TIDY=ON -DZARN_BUILD_PYTHON=ON
  cmake --build build-tidy -j "$(nproc)"
  echo "clang-tidy: no finding that fails the gate ($((SECONDS - started)) s)"
}

case "${1:-all}" in
  format) check_format ;;
  layers) check_layers ;;
  tidy) check_tidy ;;
  all) check_format && check_layers && check_tidy ;;
  *) echo "usage: gates.sh [format|layers|tidy|all]" >&2 && exit 2 ;;
esac
