#!/usr/bin/env python3
"""Timings of `zarn target sync` against a loopback Maven repository.

Cold: a hive-jdbc-like tree of 40 descriptors and 40 archives (about 60 MB),
compared with one curl process fetching the same addresses over one
connection. Warm: every archive cached. Memory: peak RSS while downloading a
300 MB archive.

Usage: bench/sync_bench.py BUILD_DIR [WORK_PARENT]
BUILD_DIR holds zarn and, from -DZARN_BUILD_BENCH=ON, bench/maven_bench_server.
WORK_PARENT (default: the system's temporary folder) holds the repository and
the project.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

POM_NS = "http://maven.apache.org/POM/4.0.0"
ARCHIVE_SIZE = 1536 * 1024  # 40 of them: 60 MB
BIG_SIZE = 300 * 1024 * 1024
RUNS = 7


def pom(deps):
    body = "".join(
        f"<dependency><groupId>{g}</groupId><artifactId>{a}</artifactId>"
        f"<version>{v}</version></dependency>" for g, a, v in deps)
    return f'<project xmlns="{POM_NS}"><dependencies>{body}</dependencies></project>'


def path_of(coord, extension):
    g, a, v = coord.split(":")
    return f"{g.replace('.', '/')}/{a}/{v}/{a}-{v}.{extension}"


def write(root, relative, content):
    target = os.path.join(root, relative)
    os.makedirs(os.path.dirname(target), exist_ok=True)
    with open(target, "wb") as out:
        out.write(content)


def hive_tree(root):
    """hive-jdbc with 6 + 30 + 3 dependencies below it: 40 coordinates."""
    tree = {"org.apache.hive:hive-jdbc:3.1.3": [f"bench.l1:d{i}:1" for i in range(6)]}
    for i in range(6):
        tree[f"bench.l1:d{i}:1"] = [f"bench.l2:d{i}x{k}:1" for k in range(5)]
    for i in range(3):
        tree[f"bench.l2:d{i}x0:1"] = [f"bench.l3:d{i}:1"]
    coords = set(tree) | {c for deps in tree.values() for c in deps}
    for coord in coords:
        deps = [tuple(d.split(":")) for d in tree.get(coord, [])]
        write(root, path_of(coord, "pom"), pom(deps).encode())
        write(root, path_of(coord, "jar"), os.urandom(ARCHIVE_SIZE))
    return sorted(coords)


def timed(command, env, runs=RUNS, before=None):
    times = []
    for _ in range(runs):
        if before:
            before()
        start = time.perf_counter()
        subprocess.run(command, env=env, check=True, stdout=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    return min(times)  # the machine may be shared: the least disturbed run


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    zarn = os.path.join(build, "zarn")
    server_bin = os.path.join(build, "bench", "maven_bench_server")
    work = tempfile.mkdtemp(prefix="zarn-sync-bench-",
                            dir=sys.argv[2] if len(sys.argv) > 2 else None)
    repo = os.path.join(work, "repo")
    log = os.path.join(work, "requests.log")
    coords = hive_tree(repo)
    write(repo, path_of("org.postgresql:postgresql:42.7.4", "jar"), b"\0" * BIG_SIZE)

    port_file = os.path.join(work, "port")
    server = subprocess.Popen([server_bin, repo, port_file, log])
    try:
        while not os.path.exists(port_file) or not open(port_file).read().strip():
            time.sleep(0.01)
        base = f"http://127.0.0.1:{open(port_file).read().strip()}/maven2"
        run(work, zarn, base, coords, log)
    finally:
        server.terminate()
        server.wait()
        shutil.rmtree(work)


def sync_command(zarn, project, profiles):
    return [zarn, "target", "sync", "--quiet", "--project-dir", project,
            "--profiles-dir", profiles, "--profile", "bench"]


def requests_during(log, action):
    time.sleep(0.3)  # the server logs a request after answering it
    before = sum(1 for _ in open(log)) if os.path.exists(log) else 0
    action()
    time.sleep(0.3)
    return [line.strip() for line in open(log)][before:]


def run(work, zarn, base, coords, log):
    env = dict(os.environ, ZARN_MAVEN_REPO=base, ZARN_PYTHON="/usr/bin/python3",
               no_proxy="127.0.0.1", NO_PROXY="127.0.0.1", HOME=work)
    env.pop("PYTHONPATH", None)
    hive_profiles = os.path.join(work, "hive-profiles")
    write(hive_profiles, "profiles.yml", b"bench:\n  outputs:\n    h: {type: hive}\n")
    project = os.path.join(work, "project")
    jars = os.path.join(project, ".zarn", "jdbc_jars")
    command = sync_command(zarn, project, hive_profiles)
    clear = lambda: shutil.rmtree(jars, ignore_errors=True)

    cold = timed(command, env, before=clear)
    config = os.path.join(work, "curl.cfg")
    fetched = os.path.join(work, "curl-out")
    with open(config, "w") as out:
        for i, coord in enumerate(coords):
            for extension in ("pom", "jar"):
                out.write(f'url = "{base}/{path_of(coord, extension)}"\n'
                          f'output = "{fetched}/{i}.{extension}"\n')
    curl = timed(["curl", "-s", "--fail", "--create-dirs", "-A", "ZARN-Core/0.5.95",
                  "-K", config], env, before=lambda: shutil.rmtree(fetched, True))
    print(f"cold sync, 40 descriptors + 40 archives: {cold * 1000:.0f} ms; "
          f"one curl over one connection: {curl * 1000:.0f} ms; ratio {cold / curl:.2f}")

    warm = timed(command, env)
    seen = requests_during(log, lambda: subprocess.run(command, env=env, check=True))
    archives = sum(1 for path in seen if path.endswith(".jar"))
    print(f"warm sync (all cached): {warm * 1000:.0f} ms, {len(seen)} requests "
          f"({archives} archives)")

    pg_profiles = os.path.join(work, "pg-profiles")
    write(pg_profiles, "profiles.yml", b"bench:\n  outputs:\n    p: {type: postgres}\n")
    pg_project = os.path.join(work, "pg-project")
    pg_command = sync_command(zarn, pg_project, pg_profiles)
    rss_file = os.path.join(work, "rss")
    seen = requests_during(log, lambda: subprocess.run(
        ["/usr/bin/time", "-o", rss_file, "-f", "%M"] + pg_command, env=env, check=True))
    peak_kb = int(open(rss_file).read().split()[-1])
    size = os.path.getsize(os.path.join(pg_project, ".zarn", "jdbc_jars",
                                        "postgresql-42.7.4.jar"))
    print(f"300 MB archive ({size} bytes, {len(seen)} request): "
          f"peak RSS {peak_kb / 1024:.1f} MB")

    self_contained = timed(pg_command, env, runs=11)
    seen = requests_during(log, lambda: subprocess.run(pg_command, env=env, check=True))
    interpreter = timed(["/usr/bin/python3", "-c", "pass"], env, runs=11)
    print(f"warm sync, self-contained drivers only: {self_contained * 1000:.1f} ms, "
          f"{len(seen)} requests; one interpreter start: {interpreter * 1000:.1f} ms; "
          f"difference {(self_contained - interpreter) * 1000:.1f} ms")


if __name__ == "__main__":
    main()
