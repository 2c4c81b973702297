#!/usr/bin/env python3
"""Timings of `zarn target sync` against a loopback Maven repository that
waits a fixed delay before answering each request (0, 20 and 50 ms: a
repository that far away).

Tree: hive-jdbc with 7 + 42 + 100 dependencies below it (150 coordinates,
depth 3, explicit versions), each with a 1 MB archive and its .sha1 file.
Cold: zarn with the default --jobs 8 and with --jobs 1, against
`curl --parallel --parallel-max 8` fetching the same addresses (descriptors,
archives, checksums). Warm: every archive present, --jobs 8 against
--jobs 1. Memory: peak RSS of a cold sync of eight 500 MB archives, eight at
once.

Usage: bench/sync_bench.py BUILD_DIR [WORK_PARENT]
BUILD_DIR holds zarn and, from -DZARN_BUILD_BENCH=ON, bench/maven_bench_server.
WORK_PARENT (default: the system's temporary folder) holds the repositories
and the projects (about 5 GB during the memory run).
"""

import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

POM_NS = "http://maven.apache.org/POM/4.0.0"
HIVE = "org.apache.hive:hive-jdbc:3.1.3"
ARCHIVE_SIZE = 1024 * 1024  # 150 of them: 150 MB
BIG_SIZE = 500 * 1024 * 1024
DELAYS_MS = (0, 20, 50)


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


def add_archive(root, coord, content):
    write(root, path_of(coord, "jar"), content)
    write(root, path_of(coord, "jar") + ".sha1", hashlib.sha1(content).hexdigest().encode())


def hive_tree(root, archive_size=lambda: ARCHIVE_SIZE):
    """hive-jdbc, 7 dependencies, 6 below each, 100 below those: 150 coordinates;
    archive_size() gives the size of each archive."""
    # Artifact ids differ across levels: equal archive names would be fetched once.
    tree = {HIVE: [f"bench.l1:a{i}:1" for i in range(7)]}
    level2 = []
    for i in range(7):
        tree[f"bench.l1:a{i}:1"] = [f"bench.l2:b{i}x{k}:1" for k in range(6)]
        level2 += tree[f"bench.l1:a{i}:1"]
    for n in range(100):
        tree.setdefault(level2[n % len(level2)], []).append(f"bench.l3:c{n}:1")
    coords = set(tree) | {c for deps in tree.values() for c in deps}
    for coord in coords:
        deps = [tuple(d.split(":")) for d in tree.get(coord, [])]
        write(root, path_of(coord, "pom"), pom(deps).encode())
        add_archive(root, coord, os.urandom(archive_size()))
    return sorted(coords)


def big_tree(root):
    """hive-jdbc and 7 dependencies, each a 500 MB archive (sparse on disk)."""
    deps = [f"bench.big:b{i}:1" for i in range(7)]
    write(root, path_of(HIVE, "pom"), pom([tuple(d.split(":")) for d in deps]).encode())
    digest = hashlib.sha1()
    chunk = b"\0" * (1 << 20)
    for _ in range(BIG_SIZE >> 20):
        digest.update(chunk)
    for coord in [HIVE] + deps:
        target = os.path.join(root, path_of(coord, "jar"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as out:
            out.truncate(BIG_SIZE)
        write(root, path_of(coord, "jar") + ".sha1", digest.hexdigest().encode())


class Server:
    def __init__(self, binary, work, name, root, delay_ms):
        self.log = os.path.join(work, f"{name}.log")
        port_file = os.path.join(work, f"{name}.port")
        self.process = subprocess.Popen([binary, root, port_file, self.log, str(delay_ms)])
        while not os.path.exists(port_file) or not open(port_file).read().strip():
            time.sleep(0.01)
        self.base = f"http://127.0.0.1:{open(port_file).read().strip()}/maven2"

    def requests(self):
        time.sleep(0.3)  # the server logs a request after answering it
        return sum(1 for _ in open(self.log)) if os.path.exists(self.log) else 0

    def stop(self):
        self.process.terminate()
        self.process.wait()


def timed(command, env, runs, before=None):
    times = []
    for _ in range(runs):
        if before:
            before()
        start = time.perf_counter()
        subprocess.run(command, env=env, check=True, stdout=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    return min(times)  # the machine may be shared: the least disturbed run


def sync_command(zarn, project, profiles, jobs, cache="--no-cache"):
    """A quiet sync; by default past the driver cache, so "cold" means downloading."""
    return [zarn, "target", "sync", "--quiet", "--jobs", str(jobs), "--project-dir", project,
            "--profiles-dir", profiles, "--profile", "bench"] + ([cache] if cache else [])


def environment(work, base):
    env = dict(os.environ, ZARN_MAVEN_REPO=base, ZARN_PYTHON="/usr/bin/python3",
               no_proxy="127.0.0.1", NO_PROXY="127.0.0.1", HOME=work)
    env.pop("PYTHONPATH", None)
    return env


def user_agent(zarn):
    """The agent zarn sends, so curl is timed under the same name."""
    version = subprocess.run([zarn, "--version"], check=True, capture_output=True, text=True)
    return "ZARN-Core/" + version.stdout.split()[-1]


def measure_delay(work, zarn, server_bin, repo, coords, profiles, delay_ms):
    server = Server(server_bin, work, f"tree-{delay_ms}", repo, delay_ms)
    try:
        env = environment(work, server.base)
        project = os.path.join(work, f"project-{delay_ms}")
        jars = os.path.join(project, ".zarn", "jdbc_jars")
        clear = lambda: shutil.rmtree(jars, ignore_errors=True)
        runs = 5 if delay_ms == 0 else 3
        parallel = timed(sync_command(zarn, project, profiles, 8), env, runs, clear)
        sequential = timed(sync_command(zarn, project, profiles, 1), env, 1 if delay_ms else 3,
                           clear)
        cold_requests = []
        for jobs in (8, 1):
            clear()
            before = server.requests()
            subprocess.run(sync_command(zarn, project, profiles, jobs), env=env, check=True,
                           stdout=subprocess.DEVNULL)
            cold_requests.append(server.requests() - before)
        warm = timed(sync_command(zarn, project, profiles, 8), env, runs)
        warm_sequential = timed(sync_command(zarn, project, profiles, 1), env, 1)

        config = curl_config(work, server.base, coords)
        fetched = os.path.join(work, "curl-out")
        curl = timed(["curl", "-s", "-S", "--no-progress-meter", "--fail", "--create-dirs",
                      "-A", user_agent(zarn), "--parallel", "--parallel-max", "8", "-K", config],
                     env, runs,
                     lambda: shutil.rmtree(fetched, True))
        shutil.rmtree(fetched, True)
        clear()
        print(f"| {delay_ms} ms | {parallel:.2f} s | {curl:.2f} s | {parallel / curl:.2f} | "
              f"{sequential:.2f} s | {sequential / parallel:.1f}x | {warm:.2f} s | "
              f"{warm_sequential:.2f} s | {warm_sequential / warm:.1f}x | "
              f"{cold_requests[0]} / {cold_requests[1]} |", flush=True)
    finally:
        server.stop()


def measure_memory(work, zarn, server_bin):
    root = os.path.join(work, "big-repo")
    big_tree(root)
    server = Server(server_bin, work, "big", root, 0)
    try:
        env = environment(work, server.base)
        profiles = os.path.join(work, "profiles")
        project = os.path.join(work, "big-project")
        rss_file = os.path.join(work, "rss")
        start = time.perf_counter()
        subprocess.run(["/usr/bin/time", "-o", rss_file, "-f", "%M"] +
                       sync_command(zarn, project, profiles, 8), env=env, check=True)
        elapsed = time.perf_counter() - start
        peak_kb = int(open(rss_file).read().split()[-1])
        jars = os.path.join(project, ".zarn", "jdbc_jars")
        sizes = [os.path.getsize(os.path.join(jars, n)) for n in os.listdir(jars)]
        print(f"peak RSS, 8 archives of 500 MB ({len(sizes)} stored, "
              f"{sum(sizes) >> 20} MB) 8 at once: {peak_kb / 1024:.1f} MB in {elapsed:.1f} s")
        shutil.rmtree(project)
    finally:
        server.stop()


def curl_config(work, base, coords):
    """A curl config that fetches every descriptor, archive and checksum of
    coords from base into work/curl-out."""
    config = os.path.join(work, "curl.cfg")
    with open(config, "w") as out:
        for i, coord in enumerate(coords):
            for extension in ("pom", "jar", "jar.sha1"):
                out.write(f'url = "{base}/{path_of(coord, extension)}"\n'
                          f'output = "{work}/curl-out/{i}.{extension}"\n')
    return config


def bench_arguments(prefix):
    """The build folder (argument 1), its zarn, and a fresh work folder under
    argument 2 (the system's temporary folder when absent or empty)."""
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    under = sys.argv[2] if len(sys.argv) > 2 and sys.argv[2] else None
    return build, os.path.join(build, "zarn"), tempfile.mkdtemp(prefix=prefix, dir=under)


def main():
    build, zarn, work = bench_arguments("zarn-sync-bench-")
    server_bin = os.path.join(build, "bench", "maven_bench_server")
    try:
        repo = os.path.join(work, "repo")
        coords = hive_tree(repo)
        profiles = os.path.join(work, "profiles")
        write(profiles, "profiles.yml", b"bench:\n  outputs:\n    h: {type: hive}\n")
        print(f"{len(coords)} coordinates, {len(coords)} archives of {ARCHIVE_SIZE >> 20} MB")
        print("| delay | cold --jobs 8 | curl --parallel 8 | ratio | cold --jobs 1 | speed-up "
              "| warm --jobs 8 | warm --jobs 1 | speed-up | cold requests, 8 / 1 |")
        print("|---|---|---|---|---|---|---|---|---|---|")
        for delay_ms in DELAYS_MS:
            measure_delay(work, zarn, server_bin, repo, coords, profiles, delay_ms)
        measure_memory(work, zarn, server_bin)
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
