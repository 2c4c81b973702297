#!/usr/bin/env bash
# The layer gate over small trees: an include down or within a folder passes;
# one up, one into a folder of no layer and one beside the seam fail.
set -uo pipefail
gate="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/scripts/layers.sh"
tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT
failures=0

# expect PASS|FAIL FILE INCLUDE
expect() {
  rm -rf "$tree/src" && mkdir -p "$tree/src/$(dirname "$2")"
  printf '#include "%s"\n' "$3" >"$tree/src/$2"
  if bash "$gate" "$tree" >/dev/null 2>&1; then got=PASS; else got=FAIL; fi
  if [ "$got" != "$1" ]; then
    echo "expected $1, got $got: $2 including \"$3\"" >&2
    failures=$((failures + 1))
  fi
}

expect PASS os/files.cpp os/file_error.h
expect PASS host/host.h os/interrupt.h
expect PASS task/provell/sync.cpp net/transfer_engine.h
expect PASS net/curl/curl_job.cpp zarn/version.h
expect PASS net/linked/network.cpp net/curl/curl_network.h
expect FAIL os/file_lock.cpp host/host.h
expect FAIL net/transfer_engine.h host/host.h
expect FAIL text/printable.cpp os/files.h
expect FAIL task/migrate/import.cpp task/provell/sync.h
expect FAIL task/provell/sync.cpp net/curl/curl_network.h
expect FAIL cli/main.cpp support/temp_dir.h
expect FAIL tools/x.cpp os/files.h

[ "$failures" -eq 0 ] && echo "layers gate: all cases as expected"
exit $((failures > 0))
