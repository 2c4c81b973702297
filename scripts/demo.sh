#!/usr/bin/env bash
# Installs what zarn needs, builds it, and runs it on the bundled example in a
# temporary HOME, so the user's own ~/.pelk and ~/.zarn are never touched.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build --target zarn zarn_python_migrate zarn_python_provell
zarn="$root/build/zarn"

demo="$(mktemp -d "${TMPDIR:-/tmp}/zarn-demo-XXXXXX")"
cp -a examples/home "$demo/home"
cp -a examples/jaffle_shop "$demo/jaffle_shop"
mkdir -p "$demo/analytics_hub"
export HOME="$demo/home"

step() { printf '\n\033[1m$ %s\033[0m\n' "$*"; }

step "cd jaffle_shop && zarn migrate --dry-run"
(cd "$demo/jaffle_shop" && "$zarn" migrate --dry-run)

step "cd jaffle_shop && zarn migrate"
(cd "$demo/jaffle_shop" && "$zarn" migrate)

step "cat ~/.zarn/profiles.yml"
cat "$HOME/.zarn/profiles.yml"

step "cat jaffle_shop/zarn_project.yml"
cat "$demo/jaffle_shop/zarn_project.yml"

# A second ZARN project that imports the PELK project's folders and targets.
cat > "$demo/analytics_hub/zarn_project.yml" <<'YAML'
name: 'analytics_hub'
profile: 'analytics_hub'
YAML
step "cd analytics_hub && zarn migrate ../jaffle_shop"
(cd "$demo/analytics_hub" && "$zarn" migrate ../jaffle_shop)

step "cd jaffle_shop && zarn target list"
(cd "$demo/jaffle_shop" && "$zarn" target list)

# The same task from Python, through the plug-in module, in a minimal
# stand-in for the host's package tree.
host_tree="$demo/python-host"
cp -a tests/python/host "$host_tree"
cp build/python/pelk/task/*.so "$host_tree/pelk/task/"
step "python3 -c 'from pelk.task.provell import ProvellTask; print(ProvellTask().get_connections_info())'"
(cd "$demo/jaffle_shop" && PYTHONPATH="$host_tree" python3 -c \
  'from pelk.task.provell import ProvellTask; print(ProvellTask().get_connections_info())')

step "cd jaffle_shop && zarn target sync --dry-run"
(cd "$demo/jaffle_shop" && "$zarn" target sync --dry-run)

step "zarn cache dir"
"$zarn" cache dir

step "zarn init new_project"
(cd "$demo" && "$zarn" init new_project)

printf '\nThe example ran in %s (HOME=%s).\n' "$demo" "$HOME"
