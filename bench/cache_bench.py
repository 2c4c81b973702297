#!/usr/bin/env python3
"""The per-user driver cache on the tree of sync_bench.py (hive-jdbc and 149
dependencies, 1 MB archives with their .sha1 files) from a loopback
repository that waits 50 ms before every answer.

Times (best of 3): the first project's cold sync into an empty cache; a
second project's cold sync once the first is synced; the same with
--offline; and today's downloading sync (--no-cache) for reference. Requests
counted by the server. Disk: `du` of the two projects and the cache together
(hard links counted once) against two projects synced with --no-cache.

Usage: bench/cache_bench.py BUILD_DIR [WORK_PARENT]
BUILD_DIR holds zarn and, from -DZARN_BUILD_BENCH=ON, bench/maven_bench_server.
"""

import os
import shutil
import subprocess
import sys
import time

from sync_bench import Server, bench_arguments, environment, hive_tree, sync_command, write

DELAY_MS = 50
RUNS = 3


def du_kb(*paths):
    """Disk used by paths together; du counts a file with several links once."""
    result = subprocess.run(["du", "-s", "-k", "-c", *paths], check=True, capture_output=True,
                            text=True)
    return int(result.stdout.splitlines()[-1].split()[0])


def main():
    build, zarn, work = bench_arguments("zarn-cache-bench-")
    server_bin = os.path.join(build, "bench", "maven_bench_server")
    server = None
    try:
        repo = os.path.join(work, "repo")
        coords = hive_tree(repo)
        profiles = os.path.join(work, "profiles")
        write(profiles, "profiles.yml", b"bench:\n  outputs:\n    h: {type: hive}\n")
        server = Server(server_bin, work, "cache", repo, DELAY_MS)
        env = environment(work, server.base)  # HOME=work: the cache is work/.cache/zarn
        cache = os.path.join(work, ".cache", "zarn")
        one, two = os.path.join(work, "one"), os.path.join(work, "two")

        def run(project, option):
            """Seconds of one quiet sync, and the requests it made."""
            before = server.requests()
            start = time.perf_counter()
            subprocess.run(sync_command(zarn, project, profiles, 8, option), env=env, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            elapsed = time.perf_counter() - start
            return elapsed, server.requests() - before

        def best(project, option, before_each):
            results = []
            for _ in range(RUNS):
                before_each()
                results.append(run(project, option))
            return min(results)

        def empty_all():
            for folder in (one, two, cache):
                shutil.rmtree(folder, ignore_errors=True)

        today = best(one, "--no-cache", empty_all)
        first = best(one, None, empty_all)
        # The first project stays synced and the cache full from here on.
        second = best(two, None, lambda: shutil.rmtree(two, ignore_errors=True))
        offline = best(two, "--offline", lambda: shutil.rmtree(two, ignore_errors=True))
        with_cache_kb = du_kb(one, two, cache)
        empty_all()
        run(one, "--no-cache")
        run(two, "--no-cache")
        today_kb = du_kb(one, two)

        print(f"{len(coords)} coordinates, {DELAY_MS} ms before every answer, best of {RUNS}")
        print("| sync | time | requests | vs first |")
        print("|---|---|---|---|")
        for name, (seconds, requests) in (("today (--no-cache), cold", today),
                                          ("first project, empty cache", first),
                                          ("second project, cache filled", second),
                                          ("second project, --offline", offline)):
            print(f"| {name} | {seconds:.2f} s | {requests} | {seconds / first[0]:.1%} |")
        print(f"disk, two synced projects: {today_kb / 1024:.1f} MB today, "
              f"{with_cache_kb / 1024:.1f} MB with the cache (both projects and the cache)")
    finally:
        if server:
            server.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
