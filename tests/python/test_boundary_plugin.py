"""The plug-in as its host uses it: threads, Ctrl-C, the host's own
exceptions, odd arguments. A case that could crash or hang runs in a child."""
import contextlib
import errno
import inspect
import io
import os
import shutil
import signal
import sys
import threading
import unittest

import plugin_host
import pelk.clients.yaml_helper as yaml_helper
from pelk.task import provell
from pelk.task.migrate import MigrateTask, MigrationResult
from pelk.task.provell import ProvellTask
from pelk_common.exceptions import PelkRuntimeError

PROFILES = "shop:\n  outputs:\n    dev: {type: postgres}\n"
JAR = "org/postgresql/postgresql/42.7.4/postgresql-42.7.4.jar"
SETUP = """import os, threading, pickle, copy, plugin_host, pelk.clients.yaml_helper as yaml_helper
from pelk.task import provell
from pelk.task.migrate import MigrateTask, MigrationResult
space = plugin_host.Workspace()
space.write("home/.zarn/profiles.yml", "a: 1\\n")
repo = plugin_host.Repository()
repo.put("%s", b"PK\\x03\\x04" + b"p" * 99996)
provell.MAVEN_REPO = repo.url
task = provell.ProvellTask(space.project, None, "shop")
""" % JAR

# (case, source run after SETUP, its last line of output)
CHILD_CASES = [
    ("one task in three threads", """
def work():
    for _ in range(30):
        task._download_jar(repo.url + "/%s", space.project + "/d.jar", False)
        task._resolve_transitive_deps("org.postgresql:postgresql:42.7.4")
threads = [threading.Thread(target=work) for _ in range(3)]
[t.start() for t in threads]; [t.join() for t in threads]
print("ok")""" % JAR, "ok"),
    ("None where a path is required", """
try: task._download_jar(repo.url, None)
except TypeError: print("TypeError")""", "TypeError"),
    ("a loader's 30,000-level list", """
deep = []
for _ in range(30000): deep = [deep]
yaml_helper.load_yaml_text = lambda text: {"shop": deep}
try: task._load_profiles()
except Exception as error: print(type(error.__cause__).__name__)""", "ValueError"),
    ("pickle and copy at every protocol", """
result, seen = MigrationResult(True, "models/", 3), set()
for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
    seen.add(pickle.loads(pickle.dumps(result, protocol)) == result)
    for other in (MigrateTask(), task):
        try: pickle.dumps(other, protocol)
        except TypeError: seen.add("refused")
seen.add(copy.copy(result) == result == copy.deepcopy(result))
print(sorted(map(str, seen)))""", "['True', 'refused']"),
    ("an import in a subinterpreter", """
import _xxsubinterpreters as interpreters
try: interpreters.run_string(interpreters.create(), "import pelk.task.provell")
except interpreters.RunFailedError as error: print("ImportError" in str(error))""", "True"),
    ("os.environ changed while a task reads the environment", """
def churn():  # every new name makes the C library grow, and move, environ
    for _ in range(40):
        for i in range(2000): os.environ["ZARN_CHURN_%d" % i] = "x"
        for i in range(2000): del os.environ["ZARN_CHURN_%d" % i]
thread = threading.Thread(target=churn)
thread.start()
while thread.is_alive(): task._maven_coord_to_url("a:b:1")
print("ok")""", "ok"),
]


class Boundary(unittest.TestCase):
    def setUp(self):
        self.space, self.repo = plugin_host.provell_setup(self, PROFILES)
        self.repo.put(JAR, b"PK\x03\x04" + b"p" * 996)  # no checksum: it must be a zip archive
        self.addCleanup(setattr, yaml_helper, "load_yaml_text", yaml_helper.load_yaml_text)
        self.addCleanup(setattr, sys, "executable", sys.executable)
        self.task = ProvellTask(self.space.project, None, "shop")

    def test_what_crashed_or_hung_the_host_now_raises_or_works(self):
        for name, source, expected in CHILD_CASES:
            with self.subTest(name):
                status, out = plugin_host.in_child(SETUP + source)
                self.assertEqual((status, out.splitlines()[-1:]), (0, [expected]))

    def test_an_interrupt_ends_its_own_call_only(self):
        provell.MAVEN_REPO = self.repo.url + "/stall"
        threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT)).start()
        with self.assertRaises(KeyboardInterrupt):
            self.task.download_jdbc_jars({"postgres"}, False)
        provell.MAVEN_REPO = self.repo.url
        log = self.space.write("argv.log", "")
        sys.executable = self.space.write(
            "pip", '#!/bin/sh\necho "$4" >> %s\n[ "$4" = pelk-postgres ] && kill -INT $PPID\n'
                   "exit 0\n" % log)
        os.chmod(sys.executable, 0o755)
        try:
            self.assertEqual(self.task.download_jdbc_jars({"postgres"}, False),
                             (["postgresql-42.7.4.jar"], []))
            with self.assertRaises(KeyboardInterrupt):  # between two packages: no partial list
                self.task.install_adapters({"postgres", "trino"}, False)
            self.assertEqual(self.task.install_adapters({"trino"}, False), (["pelk-trino"], []))
        except KeyboardInterrupt:
            self.fail("a call after the interrupted one was interrupted too")

    def test_host_exceptions_reach_the_caller_unchanged(self):
        self.space.write("project/pelk_project.yml", "profile: shop\n")
        original = yaml_helper.load_yaml_text

        def loader_raising(error, when):
            def load(text):
                if when in text:
                    raise error
                return original(text)
            return load

        class Stdout(io.StringIO):
            def write(self, text):
                raise KeyboardInterrupt

        out = io.StringIO()
        for error, when, call in [
                (KeyboardInterrupt, "outputs", self.task.sync),
                (SystemExit, "profile:", ProvellTask(self.space.project)._get_profile_name)]:
            yaml_helper.load_yaml_text = loader_raising(error, when)
            with self.subTest(error), self.assertRaises(error), contextlib.redirect_stdout(out):
                call()
        self.assertNotIn("Error", out.getvalue())
        yaml_helper.load_yaml_text = original
        with self.assertRaises(KeyboardInterrupt), contextlib.redirect_stdout(Stdout()):
            self.task.download_jdbc_jars({"postgres"})

        adapters = os.path.join(plugin_host.TREE, "pelk", "adapters")
        os.makedirs(adapters)
        self.addCleanup(shutil.rmtree, adapters)
        for raised, expected, cause in [("ValueError('broken')", RuntimeError, "broken"),
                                        ("KeyboardInterrupt", KeyboardInterrupt, "None")]:
            self.space.write(os.path.join(adapters, "__init__.py"), "raise %s\n" % raised)
            with self.subTest(raised), self.assertRaises(expected) as caught:
                self.task.get_installed_adapters()
            self.assertEqual(str(caught.exception.__cause__), cause)

    def test_a_failing_stdout_never_fails_a_stored_archive(self):
        class Closed(io.StringIO):
            def write(self, text):
                raise BrokenPipeError(32, "Broken pipe")

        with self.assertRaises(BrokenPipeError), contextlib.redirect_stdout(Closed()):
            self.task.download_jdbc_jars({"postgres"})
        self.assertEqual(os.listdir(os.path.join(self.space.project, ".zarn", "jdbc_jars")),
                         ["postgresql-42.7.4.jar"])

    def test_arguments_are_checked_as_python_checks_them(self):
        odd = os.fsdecode(os.path.join(os.fsencode(self.space.root), b"caf\xff"))
        self.space.write(os.path.join(odd, "pelk_project.yml"), "profile: shop\n")
        task = ProvellTask(os.fsencode(odd))
        self.assertEqual((task.project_dir, task._get_profile_name()), (odd, "shop"))

        def repo_set_to(value):
            provell.MAVEN_REPO = value
            return self.task._maven_coord_to_url("a:b:1")

        for call, error, text in [
                (lambda: MigrateTask(project_dir=self.space.project + "\0/elsewhere"),
                 ValueError, "^embedded null byte$"),
                (lambda: ProvellTask(project_dir=5), TypeError, "not int"),
                (lambda: self.task._maven_coord_to_url(None), TypeError, "coord"),
                (lambda: repo_set_to(5), TypeError, "MAVEN_REPO"),
                (lambda: MigrateTask(self.space.project)._copy_directory("home", "../../escape"),
                 ValueError, "folder name"),
        ]:
            with self.subTest(text), self.assertRaisesRegex(error, text):
                call()
        provell.MAVEN_REPO = self.repo.url
        self.space.write("home/.zarn/profiles.yml", "shop:\n  outputs:\n    dev: {type: [postgres]}\n")
        with self.assertRaisesRegex(TypeError, "'dev'"):
            self.task.get_required_adapter_types()

    def test_file_failures_are_os_errors(self):
        profiles = os.path.join(self.space.home, ".zarn", "profiles.yml")
        os.remove(profiles)
        for make, code in [(os.mkdir, errno.EISDIR), (os.mkfifo, errno.EINVAL),
                           (lambda path: os.truncate(open(path, "w").name, 65 << 20), errno.EFBIG)]:
            make(profiles)
            with self.subTest(code), self.assertRaises(PelkRuntimeError) as caught:
                self.task._load_profiles()
            cause = caught.exception.__cause__
            with self.subTest(code):
                self.assertIsInstance(cause, OSError)
                self.assertEqual((cause.errno, cause.filename), (code, profiles))
            (os.rmdir if os.path.isdir(profiles) else os.remove)(profiles)

    def test_the_look_ahead_never_asks_for_a_self_contained_descriptor(self):
        self.task.download_jdbc_jars({"postgres"}, False)
        self.assertEqual([path for path in self.repo.requests if path.endswith(".pom")], [])

    def test_help_shows_parameters_and_what_it_does(self):
        operations = [getattr(ProvellTask, name) for name in (
            "sync", "get_connections_info", "get_required_adapter_types", "get_installed_adapters",
            "install_adapters", "uninstall_adapters", "download_jdbc_jars", "update_jdbc_jars",
            "__init__")] + [MigrateTask.__init__, MigrateTask.run, MigrationResult.__init__,
                            provell.get_zarn_dir]
        for operation in operations:
            with self.subTest(operation.__name__):
                self.assertTrue(operation.__doc__.strip())
                inspect.signature(operation)
        self.assertEqual(list(inspect.signature(self.task.sync).parameters),
                         ["verbose", "clean", "dry_run"])


if __name__ == "__main__":
    unittest.main()
