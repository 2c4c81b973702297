#!/usr/bin/env bash
# Builds the fuzz targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# if needed and runs them one after the other for MINUTES in total, split
# evenly. Prints each target's executions and any crash; exits non-zero when
# a target found one.
#
#   bench/fuzz.sh MINUTES [TARGET...]     TARGET: yaml_fuzz, pom_fuzz (default both)
#
# Environment: FUZZ_BUILD_DIR (default build-fuzz in the source tree).
# Inputs that reach new code are kept in $FUZZ_BUILD_DIR/corpus/<name>; the
# seeds in bench/corpus/<name> are only read. Crashing inputs are written to
# $FUZZ_BUILD_DIR/crashes/.
set -euo pipefail

if [[ $# -lt 1 || ! $1 =~ ^[0-9]+([.][0-9]+)?$ ]]; then
  echo "usage: $0 MINUTES [yaml_fuzz|pom_fuzz ...]" >&2
  exit 2
fi
minutes=$1
shift
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(yaml_fuzz pom_fuzz)

source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${FUZZ_BUILD_DIR:-$source_dir/build-fuzz}

if [[ ! -f $build_dir/build.ninja ]]; then
  CC=clang-14 CXX=clang++-14 cmake -S "$source_dir" -B "$build_dir" -G Ninja \
    -DZARN_BUILD_BENCH=ON -DZARN_BUILD_FUZZ=ON -DZARN_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build_dir" -j2 --target "${targets[@]}"

seconds=$(awk -v m="$minutes" -v n="${#targets[@]}" 'BEGIN { s = int(m * 60 / n); print s < 1 ? 1 : s }')
mkdir -p "$build_dir/crashes"
status=0
for target in "${targets[@]}"; do
  name=${target%_fuzz}
  corpus=$build_dir/corpus/$name
  log=$build_dir/$target.log
  mkdir -p "$corpus"
  echo "== $target: $seconds s"
  # A nonzero exit is a finding (crash, leak, timeout, out of memory); it is
  # reported below rather than ending the script.
  set +e
  "$build_dir/bench/$target" "$corpus" "$source_dir/bench/corpus/$name" \
    -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build_dir/crashes/$name-" >"$log" 2>&1
  rc=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  echo "executions: ${runs:-unknown}"
  if [[ $rc -ne 0 ]]; then
    status=1
    echo "FOUND A FAULT (exit $rc); log: $log"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|artifact_prefix|Test unit written|.*runtime error)' "$log" |
      head -n 20 || true
  else
    echo "no crash"
  fi
done
exit $status
