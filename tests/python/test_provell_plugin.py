import contextlib
import datetime
import hashlib
import inspect
import io
import json
import os
import signal
import subprocess
import sys
import threading
import time
import unittest

import plugin_host
import pelk.clients.yaml_helper as yaml_helper
import pelk.config.compute as compute
from pelk.task import provell
from pelk.task.provell import ProvellTask
from pelk_common.exceptions import PelkRuntimeError

PROFILES = """shop:
  target: dev
  outputs:
    dev: {type: postgres}
    lake: {type: hive}
    wh: {type: postgres}
dated:
  outputs:
    when: {type: 2024-01-31}
    n: {type: 5}
"""

# Archives the repository has no checksum for are kept only when they are zip archives.
ZIP = b"PK\x03\x04"

HIVE_POM = b"""<project xmlns="http://maven.apache.org/POM/4.0.0"><dependencies>
<dependency><groupId>org.example</groupId><artifactId>thrift</artifactId><version>1</version></dependency>
</dependencies></project>"""


def interrupt_when(ready):
    """Sends this process SIGINT from another thread once ready() holds (or,
    so that nothing hangs, after a minute)."""
    def wait_and_interrupt():
        deadline = time.monotonic() + 60
        while not ready() and time.monotonic() < deadline:
            time.sleep(0.01)
        os.kill(os.getpid(), signal.SIGINT)

    threading.Thread(target=wait_and_interrupt, daemon=True).start()


class ProvellPlugin(unittest.TestCase):
    def setUp(self):
        self.space, self.repo = plugin_host.provell_setup(self, PROFILES)
        self.repo.put("org/postgresql/postgresql/42.7.4/postgresql-42.7.4.jar", ZIP + b"p" * 996)
        self.repo.put("org/apache/hive/hive-jdbc/3.1.3/hive-jdbc-3.1.3.pom", HIVE_POM)
        self.repo.put("org/apache/hive/hive-jdbc/3.1.3/hive-jdbc-3.1.3.jar", ZIP + b"h" * 2996)
        self.repo.put("org/example/thrift/1/thrift-1.jar", ZIP + b"t" * 6)
        compute.calls.clear()

    def task(self, profile_name="shop"):
        return ProvellTask(self.space.project, None, profile_name)

    def test_sync_matches_the_executable(self):
        computes = {"spark-local": {"config": {"spark.jars": "x", "keep": 1}}}
        self.space.write("project/.zarn/computes.json", json.dumps(computes))  # the stand-in's
        self.space.write("project/.zarn/computes.yml", json.dumps(computes))  # the executable's
        twin = self.space.copy()
        self.addCleanup(twin.close)
        status, expected = plugin_host.run_zarn(
            twin, "target", "sync", "--profile", "shop", env={"ZARN_MAVEN_REPO": self.repo.url})
        result, printed = plugin_host.captured(self.space, lambda: self.task().sync())
        self.assertEqual((result, printed), (status == 0, expected))
        jars = "project/.zarn/jdbc_jars"
        self.assertEqual(sorted(os.listdir(os.path.join(self.space.root, jars))),
                         sorted(os.listdir(os.path.join(twin.root, jars))))
        # The host's registry: looked up once, saved once, only the obsolete key gone.
        self.assertEqual([call[0] for call in compute.calls], ["init", "get", "_save"])
        self.assertEqual(json.loads(self.space.read("project/.zarn/computes.json")),
                         {"spark-local": {"config": {"keep": 1}}})

    def test_sync_shares_the_executables_driver_cache(self):
        for path in ("org/postgresql/postgresql/42.7.4/postgresql-42.7.4.jar",
                     "org/apache/hive/hive-jdbc/3.1.3/hive-jdbc-3.1.3.jar",
                     "org/example/thrift/1/thrift-1.jar"):
            with open(os.path.join(self.repo.folder, path), "rb") as archive:
                self.repo.put(path + ".sha1", hashlib.sha1(archive.read()).hexdigest().encode())
        cache = os.path.join(self.space.root, "cache")
        twin = self.space.copy()
        self.addCleanup(twin.close)
        status, expected = plugin_host.run_zarn(
            twin, "target", "sync", "--profile", "shop",
            env={"ZARN_MAVEN_REPO": self.repo.url, "ZARN_CACHE_DIR": cache})
        self.repo.requests.clear()
        os.environ["ZARN_CACHE_DIR"] = cache
        self.addCleanup(os.environ.pop, "ZARN_CACHE_DIR")
        err = io.StringIO()
        with contextlib.redirect_stderr(err):
            result, printed = plugin_host.captured(self.space, lambda: self.task().sync())
        self.assertEqual((result, printed), (status == 0, expected))
        self.assertEqual(self.repo.requests, [])
        self.assertEqual(err.getvalue(), "zarn: 3 of 3 archives from the cache (%s)\n" % cache)

    def test_values_cross_as_python_values(self):
        task = self.task(None)
        self.assertEqual((task.project_dir, task.profiles_dir, task.profile_name),
                         (self.space.project, os.path.join(self.space.home, ".zarn"), None))
        self.assertIsInstance(task.compute_registry, compute.ComputeRegistry)
        connections = task.get_connections_info()
        self.assertEqual(list(connections), ["shop.dev", "shop.lake", "shop.wh", "dated.when", "dated.n"])
        self.assertEqual(connections["dated.when"], {"type": datetime.date(2024, 1, 31), "profile": "dated"})
        self.assertEqual(task.get_required_adapter_types(),
                         {"postgres", "hive", datetime.date(2024, 1, 31), 5})
        self.assertEqual(self.task().get_required_adapter_types(), {"postgres", "hive"})
        given = {"a:b:c"}
        self.assertIs(task._resolve_transitive_deps("x:y:1", given, 4), given)
        self.assertEqual(given, {"a:b:c"})
        self.assertEqual(task._resolve_transitive_deps(coord="x:y:1"), {"x:y:1"})
        with self.assertRaisesRegex(ValueError, "^Invalid Maven coordinate: a:b$"):
            task._maven_coord_to_url("a:b")
        self.assertEqual(task.download_jdbc_jars({"hive"}, verbose=False),
                         (["hive-jdbc-3.1.3.jar", "thrift-1.jar"], []))

    def test_host_pieces_come_from_the_host_at_call_time(self):
        probe = ("import sys, pelk.task.provell, pelk.task.migrate;"
                 "print(sorted(m for m in sys.modules if m.startswith(('pelk_common', 'pelk.c'))))")
        out = subprocess.run([sys.executable, "-c", probe], capture_output=True, text=True,
                             env=dict(os.environ, PYTHONPATH=plugin_host.TREE)).stdout
        self.assertEqual(out, "[]\n")

        self.space.write("home/.zarn/profiles.yml", "shop: [a\n")
        with self.assertRaises(PelkRuntimeError) as caught:
            self.task()._load_profiles()
        self.assertTrue(str(caught.exception).startswith("Failed to load profiles.yml: "))
        self.assertEqual(type(caught.exception.__cause__).__name__, "ParserError")

        original = yaml_helper.load_yaml_text
        self.addCleanup(setattr, yaml_helper, "load_yaml_text", original)
        yaml_helper.load_yaml_text = lambda text: {"shop": {"outputs": {"x": {"type": "duckdb"}}}}
        self.assertEqual(self.task().get_connections_info(), {"x": {"type": "duckdb", "profile": "shop"}})

        self.addCleanup(sys.modules.__setitem__, "pelk.config.compute", compute)
        sys.modules["pelk.config.compute"] = None
        with self.assertRaises(ImportError):
            self.task()

    def test_the_running_interpreter_is_the_one_asked(self):
        adapters = os.path.join(plugin_host.TREE, "pelk", "adapters")
        os.makedirs(adapters, exist_ok=True)
        self.addCleanup(lambda: __import__("shutil").rmtree(adapters))
        for name in ("__init__.py", "mysql.py"):
            open(os.path.join(adapters, name), "w").close()
        os.environ["ZARN_PYTHON"] = "/nonexistent/python"
        self.addCleanup(os.environ.pop, "ZARN_PYTHON")
        self.assertEqual(self.task().get_installed_adapters(), {"mysql", "mariadb"})

        python = sys.executable
        log = self.space.write("argv.log", "")
        fake = self.space.write("fake-python", "#!/bin/sh\necho \"$@\" >> %s\n" % log)
        os.chmod(fake, 0o755)
        self.addCleanup(setattr, sys, "executable", sys.executable)
        sys.executable = fake
        self.assertEqual(self.task().install_adapters({"trino"}, False), (["pelk-trino"], []))
        self.assertEqual(self.space.read("argv.log"), "-m pip install pelk-trino --quiet\n")

        probe = "import pelk.task.provell as p; print(p.MAVEN_REPO)"
        out = subprocess.run([python, "-c", probe],
                             capture_output=True, text=True,
                             env=dict(os.environ, PYTHONPATH=plugin_host.TREE,
                                      ZARN_MAVEN_REPO="http://mirror.test/repo//")).stdout
        self.assertEqual(out, "http://mirror.test/repo\n")

    def test_update_jdbc_jars_still_takes_and_checks_the_types(self):
        task = self.task()
        self.assertEqual(list(inspect.signature(task.update_jdbc_jars).parameters),
                         ["adapter_types", "verbose"])
        with contextlib.redirect_stdout(io.StringIO()):
            self.assertFalse(task.update_jdbc_jars({"postgres"}, False))
        with self.assertRaises(TypeError):
            task.update_jdbc_jars(5)

    def test_transfers_keyword_sets_the_downloads_at_once(self):
        self.assertEqual(inspect.signature(ProvellTask).parameters["transfers"].default, 8)
        for wrong, error in ((0, ValueError), (65, ValueError), (10**30, ValueError),
                             ("2", TypeError), (True, TypeError)):
            with self.assertRaises(error, msg=repr(wrong)):
                ProvellTask(self.space.project, transfers=wrong)
        with self.assertRaises(TypeError):  # by name only: the three arguments stay as they are
            ProvellTask(self.space.project, None, "shop", 1)
        task = ProvellTask(self.space.project, None, "shop", transfers=1)
        with contextlib.redirect_stdout(io.StringIO()), contextlib.redirect_stderr(io.StringIO()):
            self.assertEqual(task.download_jdbc_jars({"hive"}, False),
                             (["hive-jdbc-3.1.3.jar", "thrift-1.jar"], []))
        # One file at a time, in the order of the report.
        hive, thrift = "/org/apache/hive/hive-jdbc/3.1.3/hive-jdbc-3.1.3", "/org/example/thrift/1/thrift-1"
        self.assertEqual(self.repo.requests, [hive + ".pom", thrift + ".pom", hive + ".jar",
                                              hive + ".jar.sha1", thrift + ".jar", thrift + ".jar.sha1"])

    def test_ctrl_c_during_an_install_stops_the_installer(self):
        pid_file = os.path.join(self.space.root, "installer.pid")
        fake = self.space.write("slow-python", "#!/bin/sh\necho $$ > %s.part\nmv %s.part %s\nexec sleep 300\n"
                                % (pid_file, pid_file, pid_file))
        os.chmod(fake, 0o755)
        self.addCleanup(setattr, sys, "executable", sys.executable)
        sys.executable = fake
        interrupt_when(lambda: os.path.exists(pid_file))
        with self.assertRaises(KeyboardInterrupt):
            with contextlib.redirect_stdout(io.StringIO()):
                self.task().install_adapters({"trino"})
        with open(pid_file) as file:
            installer = int(file.read())
        # Stopped and reaped before the call returned, not left running.
        with self.assertRaises(ProcessLookupError):
            os.kill(installer, 0)

    def test_ctrl_c_raises_keyboard_interrupt_and_leaves_no_temporary_file(self):
        provell.MAVEN_REPO = self.repo.url + "/stall"
        handler = signal.getsignal(signal.SIGINT)
        interrupt_when(self.repo.stalled.is_set)
        out = io.StringIO()
        with self.assertRaises(KeyboardInterrupt):
            with contextlib.redirect_stdout(out):
                self.task().download_jdbc_jars({"postgres"})
        # Stopped inside the transfer, not after a time-out ended it.
        self.assertTrue(out.getvalue().endswith("Downloading postgresql-42.7.4.jar...\n"))
        self.assertIs(signal.getsignal(signal.SIGINT), handler)
        self.assertEqual(os.listdir(os.path.join(self.space.project, ".zarn", "jdbc_jars")), [])


if __name__ == "__main__":
    unittest.main()
