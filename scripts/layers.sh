#!/usr/bin/env bash
# The layer gate: an #include "folder/file.h" in src/ goes to the including
# file's own folder or to one its layer may use, as the table below says. A
# layer may only name layers above it in the table, so no include goes back
# up and there is no circle. The network's implementation is reached from
# below only at link time (net::network()), never by an include.
#
#   bash scripts/layers.sh [tree]   (default: this repository; checks tree/src)
set -euo pipefail
root="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
cd "$root/src"

# layer: the layers it may include (zarn: the generated version header)
table=(
  "text:"
  "yaml: text"
  "os: text"
  "terminal: os text"
  "net: os text"
  "cache: net os text"
  "host: terminal os yaml text"
  "net/curl: net os text zarn"
  "net/linked: net/curl net"
  "net/module: net/curl net"
  "task/migrate: host cache net terminal os yaml text"
  "task/provell: host cache net terminal os yaml text"
  "python: task/migrate task/provell host cache net terminal os yaml text"
  "cli: task/migrate task/provell host cache net terminal os yaml text zarn"
)

declare -A allowed=()
layers=()
failed=0
for row in "${table[@]}"; do
  layer="${row%%:*}"
  for used in ${row#*:}; do
    if [ "$used" != zarn ] && [ -z "${allowed[$used]+set}" ]; then
      echo "layers.sh: $layer may use $used, which is not above it in the table" >&2
      failed=1
    fi
  done
  allowed[$layer]=" ${row#*:} "
  layers+=("$layer")
done

# The layer a path in src/ belongs to: the longest layer folder it lies in.
layer_of() {
  local best=""
  for layer in "${layers[@]}" zarn; do
    case "$1/" in
      "$layer"/*) [ ${#layer} -gt ${#best} ] && best="$layer" ;;
    esac
  done
  echo "$best"
}

while IFS= read -r file; do
  from="$(layer_of "$file")"
  if [ -z "$from" ]; then
    echo "src/$file: in no layer of scripts/layers.sh" >&2
    failed=1
    continue
  fi
  while IFS= read -r match; do
    line="${match%%:*}"
    included="${match#*\"}"
    included="${included%%\"*}"
    to="$(layer_of "$included")"
    [ "$to" = "$from" ] && continue
    case "${allowed[$from]}" in *" $to "*) [ -n "$to" ] && continue ;; esac
    echo "src/$file:$line: $from may not include \"$included\" (${to:-no layer})" >&2
    failed=1
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
done < <(find . -name '*.cpp' -o -name '*.h' | sed 's|^\./||' | sort)

if [ "$failed" -ne 0 ]; then
  echo "layers: an include goes against the layers (scripts/layers.sh)" >&2
  exit 1
fi
echo "layers: every include in src/ goes down"
