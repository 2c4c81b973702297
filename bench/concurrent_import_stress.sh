#!/usr/bin/env bash
# Two `zarn migrate PATH` imports at once, from two ZARN projects into one
# shared ~/.zarn/profiles.yml (large, so the read-modify-write takes a while):
# after every round both imports' targets must be in the file, no temporary
# file may be left in ~/.zarn, and both runs must succeed.
#
# Usage: bash bench/concurrent_import_stress.sh path/to/zarn [rounds] [work-folder]
set -euo pipefail

zarn=$(realpath "$1")
rounds=${2:-20}
work=${3:-$(mktemp -d)}
home=$work/home
mkdir -p "$home/.pelk" "$home/.zarn"

python3 - "$home" <<'PY'
import sys
home = sys.argv[1]
with open(f"{home}/.pelk/profiles.yml", "w") as out:
    for name in ("pelk_a", "pelk_b"):
        out.write(f"{name}:\n  target: dev\n  outputs:\n    dev:\n      type: postgres\n")
with open(f"{home}/base_profiles.yml", "w") as out:
    out.write("# ZARN Profiles Configuration\n\n")
    for i in range(5000):
        out.write(f"p{i:05d}:\n  target: dev\n  outputs:\n    dev:\n"
                  f"      type: duckdb\n      path: /data/p{i:05d}.duckdb\n")
    for name in ("hub_a", "hub_b"):
        out.write(f"{name}:\n  target: dev\n  outputs:\n    dev:\n      type: duckdb\n")
PY

for side in a b; do
  mkdir -p "$work/zarn_$side" "$work/src_$side/models"
  printf 'name: hub_%s\nprofile: hub_%s\n' "$side" "$side" > "$work/zarn_$side/zarn_project.yml"
  printf 'name: proj_%s\nprofile: pelk_%s\n' "$side" "$side" > "$work/src_$side/pelk_project.yml"
  echo "select 1" > "$work/src_$side/models/m.sql"
done

lost=0
for round in $(seq 1 "$rounds"); do
  cp "$home/base_profiles.yml" "$home/.zarn/profiles.yml"
  for side in a b; do
    (cd "$work/zarn_$side" && HOME=$home "$zarn" migrate "$work/src_$side" \
      > "$work/out_$side" 2> "$work/err_$side"; echo $? > "$work/status_$side") &
  done
  wait
  problems=()
  for side in a b; do
    [[ $(cat "$work/status_$side") == 0 ]] || problems+=("run $side failed: $(cat "$work/err_$side")")
    grep -q "proj_${side}_dev:" "$home/.zarn/profiles.yml" || problems+=("target proj_${side}_dev lost")
  done
  leftovers=$(find "$home/.zarn" -name '.*zarn-tmp-*' | wc -l)
  ((leftovers == 0)) || problems+=("$leftovers temporary file(s) left")
  if ((${#problems[@]} > 0)); then
    lost=$((lost + 1))
    echo "round $round: ${problems[*]}"
  fi
done

echo "concurrent imports: $lost of $rounds rounds lost something"
((lost == 0))
