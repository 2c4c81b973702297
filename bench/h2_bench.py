#!/usr/bin/env python3
"""Timings of `zarn target sync` against an HTTP/2 repository over TLS that is
a round trip away: Debian's nghttpd serves the generated tree with its .sha1
files, behind bench/delay_proxy.py, which holds every chunk for half the round
trip in each direction. zarn is timed cold against
`curl --http2 --parallel` over the same URL list with 8 and with 100 streams,
and against its own `--jobs 1`. The proxy counts the connections each run
opens.

Trees: the 150-coordinate hive tree of sync_bench.py with 1 MB archives, and
the same tree with small archives (20-200 KB), where latency is all that
counts.

Usage: bench/h2_bench.py BUILD_DIR [WORK_PARENT] [RTT_MS ...]
BUILD_DIR holds zarn. Needs nghttpd (package nghttp2-server), openssl and
curl. Round trips default to 20 and 50 ms.
"""

import os
import random
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from sync_bench import (bench_arguments, curl_config, hive_tree, timed, user_agent,  # noqa: E402
                        write)

HERE = os.path.dirname(os.path.abspath(__file__))


def wait_for(path):
    for _ in range(500):
        if os.path.exists(path) and open(path).read().strip():
            return open(path).read().strip()
        time.sleep(0.01)
    raise RuntimeError(f"{path} never appeared")


def free_port():
    import socket
    with socket.socket() as sock:
        sock.bind(("127.0.0.1", 0))
        return sock.getsockname()[1]


class Repository:
    """nghttpd over TLS on docroot, behind the delay proxy."""

    def __init__(self, work, docroot, rtt_ms):
        self.key, self.cert = os.path.join(work, "key.pem"), os.path.join(work, "cert.pem")
        if not os.path.exists(self.cert):
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days",
                            "2", "-subj", "/CN=127.0.0.1", "-addext",
                            "subjectAltName=IP:127.0.0.1,DNS:localhost", "-keyout", self.key,
                            "-out", self.cert], check=True, capture_output=True)
        port = free_port()
        self.server = subprocess.Popen(["nghttpd", "-d", docroot, "-a", "127.0.0.1",
                                        str(port), self.key, self.cert],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port_file = os.path.join(work, f"proxy-{rtt_ms}.port")
        if os.path.exists(port_file):
            os.remove(port_file)  # an earlier proxy's port
        self.connections = os.path.join(work, f"proxy-{rtt_ms}.log")
        self.proxy = subprocess.Popen([sys.executable, os.path.join(HERE, "delay_proxy.py"),
                                       str(port), port_file, str(rtt_ms / 2), self.connections])
        self.base = f"https://127.0.0.1:{wait_for(port_file)}/maven2"
        time.sleep(0.2)  # nghttpd listening

    def connection_count(self):
        return sum(1 for _ in open(self.connections)) if os.path.exists(self.connections) else 0

    def stop(self):
        for process in (self.proxy, self.server):
            process.terminate()
            process.wait()


def environment(work, repository):
    env = dict(os.environ, ZARN_MAVEN_REPO=repository.base, ZARN_PYTHON="/usr/bin/python3",
               SSL_CERT_FILE=repository.cert, CURL_CA_BUNDLE=repository.cert,
               no_proxy="127.0.0.1", NO_PROXY="127.0.0.1", HOME=work)
    env.pop("PYTHONPATH", None)
    return env


def peak_rss_kb(command, env):
    """The peak resident set of one run of command, in KiB."""
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        raise RuntimeError(f"{command} failed")
    return usage.ru_maxrss


def sync_command(zarn, project, profiles, jobs=None):
    # Past the driver cache: a cold sync downloads.
    command = [zarn, "target", "sync", "--quiet", "--no-cache", "--project-dir", project,
               "--profiles-dir", profiles, "--profile", "bench"]
    return command + (["--jobs", str(jobs)] if jobs else [])


def measure(work, zarn, name, docroot, coords, profiles, rtt_ms):
    repository = Repository(work, docroot, rtt_ms)
    try:
        env = environment(work, repository)
        project = os.path.join(work, f"project-{name}-{rtt_ms}")
        clear = lambda: shutil.rmtree(os.path.join(project, ".zarn"), ignore_errors=True)
        before = repository.connection_count()
        cold = timed(sync_command(zarn, project, profiles), env, 3, clear)
        connections = (repository.connection_count() - before) / 3
        clear()
        rss_mb = peak_rss_kb(sync_command(zarn, project, profiles), env) / 1024
        sequential = timed(sync_command(zarn, project, profiles, 1), env, 1, clear)
        warm = timed(sync_command(zarn, project, profiles), env, 3)
        config = curl_config(work, repository.base, coords)
        fetched = lambda: shutil.rmtree(os.path.join(work, "curl-out"), True)
        curl = {}
        for streams in (8, 100):
            curl[streams] = timed(["curl", "-s", "-S", "--no-progress-meter", "--fail", "--create-dirs", "--http2",
                                   "--cacert", repository.cert, "-A", user_agent(zarn),
                                   "--parallel", "--parallel-max", str(streams), "-K", config],
                                  env, 3, fetched)
        fetched()
        clear()
        print(f"| {name} | {rtt_ms} ms | {cold:.2f} s | {curl[8]:.2f} s | {curl[100]:.2f} s | "
              f"{cold / curl[8]:.2f} / {cold / curl[100]:.2f} | {sequential:.2f} s | "
              f"{warm:.2f} s | {connections:.1f} | {rss_mb:.1f} MB |", flush=True)
    finally:
        repository.stop()


def main():
    _, zarn, work = bench_arguments("zarn-h2-bench-")
    rtts = [int(r) for r in sys.argv[3:]] or [20, 50]
    try:
        profiles = os.path.join(work, "profiles")
        write(profiles, "profiles.yml", b"bench:\n  outputs:\n    h: {type: hive}\n")
        rng = random.Random(7)
        trees = {}
        for name, size in (("1 MB", lambda: 1 << 20),
                           ("20-200 KB", lambda: rng.randint(20 << 10, 200 << 10))):
            docroot = os.path.join(work, f"docroot-{len(trees)}")
            trees[name] = (docroot, hive_tree(os.path.join(docroot, "maven2"), size))
        print("| archives | round trip | zarn cold | curl 8 streams | curl 100 streams | "
              "ratio 8 / 100 | zarn --jobs 1 | zarn warm | connections | peak RSS |")
        print("|---|---|---|---|---|---|---|---|---|---|")
        for name, (docroot, coords) in trees.items():
            for rtt_ms in rtts:
                measure(work, zarn, name, docroot, coords, profiles, rtt_ms)
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
