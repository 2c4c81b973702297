#!/usr/bin/env bash
# Times the folder copy of a project import (`zarn migrate PATH` inside a ZARN
# project) against `cp -a` of the same tree on the same disk, and prints the
# ratio of the best times. The tree: 10,000 files of 20 KiB (200 MB) in 100
# folders.
#
# Usage: bench/copy_bench.sh [ZARN_BINARY] [WORK_FOLDER]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
zarn="$(realpath "${1:-$root/build/zarn}")"
parent="${2:-${TMPDIR:-/tmp}}"
rounds="${ROUNDS:-5}"
[[ -x "$zarn" ]] || { echo "copy_bench: no zarn binary at $zarn" >&2; exit 1; }

work="$(mktemp -d "$parent/zarn-copy-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT

source="$work/pelk/shop"
mkdir -p "$source/models" "$work/home/.zarn" "$work/hub" "$work/cp"
printf 'name: shop\nprofile: shop\n' >"$source/pelk_project.yml"
printf 'profile: hub\n' >"$work/hub/zarn_project.yml"
printf 'hub:\n  target: dev\n' >"$work/home/.zarn/profiles.yml"

echo "Building 10000 files (200 MB) in $source/models ..."
mkdir "$source/models/f00"
for file in $(seq -w 0 99); do
  head -c $((20 * 1024)) /dev/urandom >"$source/models/f00/m$file.sql"
done
for folder in $(seq -w 1 99); do cp -a "$source/models/f00" "$source/models/f$folder"; done
sync

now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }
best_cp=""
best_zarn=""
# Both copies land in the page cache (200 MB stays far below the dirty
# limits), so the times compare the copying itself, not the disk's write-back,
# which on a shared disk varies by an order of magnitude. SYNC=1 flushes
# before each copy instead. The order alternates between rounds.
settle() { if [[ "${SYNC:-0}" == 1 ]]; then sync; fi; }
time_cp() {
  settle
  local start
  start=$(now)
  cp -a "$source/models" "$work/cp/models"
  cp_time=$(calc "$(now) - $start")
}
time_zarn() {
  settle
  local start
  start=$(now)
  (cd "$work/hub" && HOME="$work/home" "$zarn" migrate "$source" >/dev/null)
  zarn_time=$(calc "$(now) - $start")
}
for round in $(seq 1 "$rounds"); do
  rm -rf "$work/cp/models" "$work/hub/models"
  if ((round % 2)); then time_cp; time_zarn; else time_zarn; time_cp; fi
  diff -r "$work/cp/models" "$work/hub/models/shop" >/dev/null ||
    { echo "copy_bench: the copies differ" >&2; exit 1; }
  printf 'round %d: cp -a %.3f s, zarn migrate %.3f s\n' "$round" "$cp_time" "$zarn_time"
  if [[ -z "$best_cp" ]] || (($(calc "$cp_time < $best_cp"))); then best_cp=$cp_time; fi
  if [[ -z "$best_zarn" ]] || (($(calc "$zarn_time < $best_zarn"))); then best_zarn=$zarn_time; fi
done

printf 'best: cp -a %.3f s, zarn migrate %.3f s, ratio %.2f\n' "$best_cp" "$best_zarn" \
  "$(calc "$best_zarn / $best_cp")"
