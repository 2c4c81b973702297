#!/usr/bin/env python3
"""The plug-in modules from Python against the zarn executable.

1. get_installed_adapters(): in-process module lookup against the
   executable's way, one child interpreter asked for every module.
2. A Mode A conversion of a profiles file with 2,000 targets:
   MigrateTask(...).run() from Python, `zarn migrate` run as a process, and
   what a Python implementation pays for yaml.safe_load + yaml.dump of the
   same file (PyYAML with its C loader and dumper when present).

Usage: bench/plugin_bench.py BUILD_DIR [RUNS]
"""

import contextlib
import io
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

BUILD = os.path.abspath(sys.argv[1])
RUNS = int(sys.argv[2]) if len(sys.argv) > 2 else 15
HOST = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "python", "host")
FIND_SCRIPT = ("import sys, importlib.util\n"
               "for n in sys.argv[1:]:\n"
               "    try:\n        s = importlib.util.find_spec(n)\n"
               "    except ModuleNotFoundError:\n        s = None\n"
               "    if s is not None: print(n)\n")


def host_tree():
    tree = tempfile.mkdtemp(prefix="zarn-bench-host-")
    shutil.copytree(HOST, tree, dirs_exist_ok=True)
    modules = os.path.join(BUILD, "python", "pelk", "task")
    for name in os.listdir(modules):
        shutil.copy(os.path.join(modules, name), os.path.join(tree, "pelk", "task"))
    sys.path.insert(0, tree)
    return tree


def median_ms(work, runs=RUNS):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        work()
        times.append((time.perf_counter() - start) * 1000)
    return statistics.median(times)


def profiles_text(targets):
    lines = ["shop:", "  target: t0", "  outputs:"]
    for i in range(targets):
        lines += [f"    t{i}:", "      type: postgres", f"      host: db{i}.example.com",
                  "      port: 5432", f"      user: user{i}", "      password: 'not-a-secret'",
                  "      threads: 4"]
    return "\n".join(lines) + "\n"


def fresh_setup(root, text):
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(os.path.join(root, "home", ".pelk"))
    os.makedirs(os.path.join(root, "project"))
    with open(os.path.join(root, "home", ".pelk", "profiles.yml"), "w") as f:
        f.write(text)
    with open(os.path.join(root, "project", "pelk_project.yml"), "w") as f:
        f.write("name: shop\nprofile: shop\n")


def main():
    tree = host_tree()
    from pelk.task.migrate import MigrateTask
    from pelk.task.provell import ProvellTask

    work = tempfile.mkdtemp(prefix="zarn-bench-")
    os.environ["HOME"] = os.path.join(work, "home")
    task = ProvellTask(work, work)
    modules = [f"pelk.adapters.{name}" for name in ("postgres", "mysql", "duckdb")] * 10
    in_process = median_ms(task.get_installed_adapters, RUNS * 10)
    child = median_ms(lambda: subprocess.run([sys.executable, "-c", FIND_SCRIPT, *modules],
                                             capture_output=True, check=True))
    print(f"get_installed_adapters: in-process {in_process:.2f} ms, "
          f"one interpreter child {child:.1f} ms (median of {RUNS})")

    text = profiles_text(2000)
    root = os.path.join(work, "mode-a")
    os.environ["HOME"] = os.path.join(root, "home")

    def plugin_run():
        fresh_setup(root, text)
        with contextlib.redirect_stdout(io.StringIO()):
            MigrateTask(project_only=False, profiles_only=True,
                        project_dir=os.path.join(root, "project")).run()

    def binary_run():
        fresh_setup(root, text)
        subprocess.run([os.path.join(BUILD, "zarn"), "migrate", "--profiles-only"],
                       cwd=os.path.join(root, "project"), capture_output=True, check=True,
                       env=dict(os.environ, HOME=os.path.join(root, "home")))

    setup_only = median_ms(lambda: fresh_setup(root, text))
    plugin = median_ms(plugin_run) - setup_only
    binary = median_ms(binary_run) - setup_only
    print(f"Mode A profile migration, {len(text) / 1e6:.2f} MB, 2,000 targets: "
          f"plug-in {plugin:.1f} ms, executable {binary:.1f} ms")
    try:
        import yaml
    except ImportError:
        print("PyYAML not installed: no Python comparison")
        return
    loader = getattr(yaml, "CSafeLoader", yaml.SafeLoader)
    dumper = getattr(yaml, "CDumper", yaml.Dumper)
    pure = median_ms(lambda: yaml.dump(yaml.safe_load(text)))
    fast = median_ms(lambda: yaml.dump(yaml.load(text, Loader=loader), Dumper=dumper))
    print(f"PyYAML safe_load + dump of the same file: {pure:.1f} ms "
          f"(with the C loader and dumper: {fast:.1f} ms)")
    shutil.rmtree(work, ignore_errors=True)
    shutil.rmtree(tree, ignore_errors=True)


if __name__ == "__main__":
    main()
