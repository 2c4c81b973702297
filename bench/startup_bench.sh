#!/usr/bin/env bash
# Start-up cost of zarn: `zarn --version` and `zarn migrate --dry-run` on the
# bundled example (in a temporary HOME, as scripts/demo.sh sets it up), and
# `zarn target sync --dry-run` on that example once migrated (it starts the
# adapters' interpreter), against /bin/true; median and best of RUNS runs
# each, in milliseconds.
#
#   bash bench/startup_bench.sh BUILD_DIR [RUNS=200]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:?usage: startup_bench.sh BUILD_DIR [RUNS]}" && pwd)"
runs="${2:-200}"
zarn="$build/zarn"

work="$(mktemp -d "${TMPDIR:-/tmp}/zarn-startup-XXXXXX")"
trap 'rm -rf "$work"' EXIT
for setup in fresh migrated; do
  cp -a "$root/examples/home" "$work/$setup-home"
  cp -a "$root/examples/jaffle_shop" "$work/$setup"
done
(cd "$work/migrated" && HOME="$work/migrated-home" "$zarn" migrate >/dev/null)

python3 - "$runs" "$work" "$zarn" <<'PY'
import os, statistics, subprocess, sys, time

runs, work, zarn = int(sys.argv[1]), sys.argv[2], sys.argv[3]
commands = [
    ("/bin/true", "fresh", ["/bin/true"]),
    ("zarn --version", "fresh", [zarn, "--version"]),
    ("zarn migrate --dry-run", "fresh", [zarn, "migrate", "--dry-run"]),
    ("zarn target sync --dry-run", "migrated", [zarn, "target", "sync", "--dry-run"]),
]
results = {}
for name, setup, command in commands:
    where = dict(cwd=os.path.join(work, setup), stdout=subprocess.DEVNULL,
                 stderr=subprocess.DEVNULL, check=True,
                 env=dict(os.environ, HOME=os.path.join(work, setup + "-home")))
    subprocess.run(command, **where)
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(command, **where)
        times.append((time.perf_counter() - start) * 1000)
    results[name] = (statistics.median(times), min(times))
base = results["/bin/true"][0]
print(f"{'command':<30}{'median ms':>10}{'best ms':>10}{'× true':>8}")
for name, (median, best) in results.items():
    print(f"{name:<30}{median:>10.2f}{best:>10.2f}{median / base:>8.1f}")
PY
