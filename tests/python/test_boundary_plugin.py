"""The plug-in as its host uses it: threads, Ctrl-C, the host's own
exceptions, odd arguments. A case that could crash or hang runs in a child."""
import contextlib
import copy
import inspect
import io
import os
import pickle
import signal
import stat
import threading
import unittest

import plugin_host
import pelk.clients.yaml_helper as yaml_helper
from pelk.task import migrate, provell
from pelk.task.migrate import MigrateTask, MigrationResult
from pelk.task.provell import ProvellTask
from pelk_common.exceptions import PelkRuntimeError

PROFILES = "shop:\n  outputs:\n    dev: {type: postgres}\n"
JAR = "org/postgresql/postgresql/42.7.4/postgresql-42.7.4.jar"

# Each child prints its outcome as its last line.
CHILD_CASES = [
    ("one task in two threads", """
import os, threading, plugin_host
from pelk.task import provell
repo = plugin_host.Repository()
repo.put("%s", b"p" * 100000)
provell.MAVEN_REPO = repo.url
task = provell.ProvellTask(plugin_host.Workspace().project, None, "shop")
dest = os.path.join(task.project_dir, "d.jar")
def work():
    for _ in range(30):
        task._download_jar(repo.url + "/%s", dest, False)
        task._resolve_transitive_deps("org.postgresql:postgresql:42.7.4")
threads = [threading.Thread(target=work) for _ in range(3)]
for t in threads: t.start()
for t in threads: t.join()
print("ok")
""" % (JAR, JAR), "ok"),
    ("None where a path is required", """
from pelk.task.provell import ProvellTask
try:
    ProvellTask()._download_jar("http://127.0.0.1:9/x.jar", None)
except TypeError:
    print("TypeError")
""", "TypeError"),
    ("a loader's 30,000-level list", """
import pelk.clients.yaml_helper as yaml_helper, plugin_host
from pelk.task.provell import ProvellTask
space = plugin_host.Workspace()
space.write("home/.zarn/profiles.yml", "a: 1\\n")
deep = []
for _ in range(30000): deep = [deep]
yaml_helper.load_yaml_text = lambda text: {"shop": deep}
try:
    ProvellTask(space.project)._load_profiles()
except Exception as error:
    print(type(error.__cause__).__name__)
""", "ValueError"),
    ("pickle at every protocol", """
import copy, pickle
from pelk.task.migrate import MigrateTask, MigrationResult
from pelk.task.provell import ProvellTask
result = MigrationResult(True, "models/", 3)
outcome = set()
for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
    outcome.add(pickle.loads(pickle.dumps(result, protocol)) == result)
    for task in (MigrateTask(), ProvellTask()):
        try:
            pickle.dumps(task, protocol)
        except TypeError:
            outcome.add("refused")
outcome.add(copy.copy(result) == result and copy.deepcopy(result) == result)
print(sorted(map(str, outcome)))
""", "['True', 'refused']"),
    ("an import in a subinterpreter", """
import _xxsubinterpreters as interpreters
interpreter = interpreters.create()
try:
    interpreters.run_string(interpreter, "import pelk.task.provell")
except interpreters.RunFailedError as error:
    print("ImportError" in str(error))
""", "True"),
    ("os.environ changed while a task reads the environment", """
import os, threading
from pelk.task.provell import ProvellTask
task = ProvellTask()
def churn():
    for i in range(200000):
        os.environ["ZARN_CHURN_%d" % (i % 3000)] = "x" * (i % 50)
thread = threading.Thread(target=churn)
thread.start()
while thread.is_alive():
    task._maven_coord_to_url("a:b:1")
print("ok")
""", "ok"),
]


class Boundary(unittest.TestCase):
    def setUp(self):
        self.space = plugin_host.Workspace()
        self.addCleanup(self.space.close)
        self.space.write("home/.zarn/profiles.yml", PROFILES)
        self.repo = plugin_host.Repository()
        self.addCleanup(self.repo.close)
        self.repo.put(JAR, b"p" * 1000)
        self.addCleanup(setattr, provell, "MAVEN_REPO", provell.MAVEN_REPO)
        provell.MAVEN_REPO = self.repo.url
        self.jars = os.path.join(self.space.project, ".zarn", "jdbc_jars")

    def task(self):
        return ProvellTask(self.space.project, None, "shop")

    def test_what_crashed_or_hung_the_host_now_raises_or_works(self):
        for name, source, expected in CHILD_CASES:
            with self.subTest(name):
                status, out = plugin_host.in_child(source)
                self.assertEqual((status, out.splitlines()[-1:]), (0, [expected]))

    def test_an_interrupt_ends_its_own_call_only(self):
        task = self.task()
        provell.MAVEN_REPO = self.repo.url + "/stall"
        threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT)).start()
        with self.assertRaises(KeyboardInterrupt):
            task.download_jdbc_jars({"postgres"}, False)
        provell.MAVEN_REPO = self.repo.url
        self.assertEqual(task.download_jdbc_jars({"postgres"}, False),
                         (["postgresql-42.7.4.jar"], []))

        # Ctrl-C between two packages: no partial success, and the next call works.
        log = self.space.write("argv.log", "")
        fake = self.space.write("pip", "#!/bin/sh\necho \"$4\" >> %s\n"
                                       "[ \"$4\" = pelk-postgres ] && kill -INT $PPID\nexit 0\n" % log)
        os.chmod(fake, 0o755)
        self.addCleanup(setattr, __import__("sys"), "executable", __import__("sys").executable)
        __import__("sys").executable = fake
        with self.assertRaises(KeyboardInterrupt):
            task.install_adapters({"postgres", "trino"}, False)
        self.assertEqual(task.install_adapters({"trino"}, False), (["pelk-trino"], []))
        self.assertEqual(self.space.read("argv.log"), "pelk-postgres\npelk-trino\n")

    def test_host_exceptions_reach_the_caller_unchanged(self):
        original = yaml_helper.load_yaml_text
        self.addCleanup(setattr, yaml_helper, "load_yaml_text", original)
        self.space.write("project/pelk_project.yml", "profile: shop\n")

        def raising(error, when):
            def load(text):
                if when in text:
                    raise error
                return original(text)
            return load

        out = io.StringIO()
        for error, when, call in [
                (KeyboardInterrupt, "outputs", lambda: ProvellTask(self.space.project).sync()),
                (SystemExit(3), "profile:", lambda: ProvellTask(self.space.project)._get_profile_name()),
        ]:
            yaml_helper.load_yaml_text = raising(error, when)
            with self.subTest(error), contextlib.redirect_stdout(out):
                with self.assertRaises(type(error) if isinstance(error, BaseException) else error):
                    call()
        self.assertNotIn("Error", out.getvalue())
        yaml_helper.load_yaml_text = original

        adapters = os.path.join(plugin_host.TREE, "pelk", "adapters")
        os.makedirs(adapters)
        self.addCleanup(__import__("shutil").rmtree, adapters)
        for raised, expected in [("ValueError('broken')", RuntimeError),
                                 ("KeyboardInterrupt", KeyboardInterrupt)]:
            with open(os.path.join(adapters, "__init__.py"), "w") as file:
                file.write("raise %s\n" % raised)
            with self.subTest(raised), self.assertRaises(expected) as caught:
                self.task().get_installed_adapters()
            if expected is RuntimeError:
                self.assertEqual(str(caught.exception.__cause__), "broken")

    def test_a_failing_stdout_never_fails_a_stored_archive(self):
        class Closed(io.StringIO):
            def write(self, text):
                raise BrokenPipeError(32, "Broken pipe")

        with self.assertRaises(BrokenPipeError), contextlib.redirect_stdout(Closed()):
            self.task().download_jdbc_jars({"postgres"})
        self.assertEqual(os.listdir(self.jars), ["postgresql-42.7.4.jar"])

    def test_arguments_are_checked_as_python_checks_them(self):
        odd = os.fsdecode(os.path.join(os.fsencode(self.space.root), b"caf\xff"))
        os.makedirs(odd)
        with open(os.path.join(odd, "pelk_project.yml"), "w") as file:
            file.write("profile: shop\n")
        task = ProvellTask(os.fsencode(odd))
        self.assertEqual((task.project_dir, task._get_profile_name()), (odd, "shop"))

        def repo_set_to(value):
            provell.MAVEN_REPO = value
            return self.task()._maven_coord_to_url("a:b:1")

        for call, error, text in [
                (lambda: MigrateTask(project_dir=self.space.project + "\0/elsewhere"),
                 ValueError, "^embedded null byte$"),
                (lambda: ProvellTask(project_dir=5), TypeError, "not int"),
                (lambda: self.task()._maven_coord_to_url(None), TypeError, "coord"),
                (lambda: repo_set_to(5), TypeError, "MAVEN_REPO"),
        ]:
            with self.subTest(text), self.assertRaisesRegex(error, text):
                call()

    def test_file_failures_are_os_errors(self):
        profiles = os.path.join(self.space.home, ".zarn", "profiles.yml")
        os.remove(profiles)
        for make, errno_name in [(os.mkdir, "EISDIR"), (os.mkfifo, "EINVAL"),
                                 (lambda path: os.truncate(open(path, "w").name, 65 << 20), "EFBIG")]:
            make(profiles)
            with self.subTest(errno_name), self.assertRaises(PelkRuntimeError) as caught:
                self.task()._load_profiles()
            cause = caught.exception.__cause__
            self.assertIsInstance(cause, OSError)
            self.assertEqual((cause.errno, cause.filename), (getattr(__import__("errno"), errno_name), profiles))
            os.rmdir(profiles) if stat.S_ISDIR(os.lstat(profiles).st_mode) else os.remove(profiles)
        self.assertIsInstance(caught.exception.__cause__, OSError)

        self.space.write("project/pelk_project.yml", "name: p\n")
        outside = os.path.join(self.space.root, "escape")
        self.space.write("project/home/a.sql", "x")
        task = MigrateTask(self.space.project, project_dir=self.space.project)
        for names in [("home", "../../escape"), ("..", "p")]:
            with self.subTest(names), self.assertRaises(ValueError):
                task._copy_directory(*names)
        self.assertFalse(os.path.exists(outside))

    def test_type_lists_and_descriptor_look_ahead(self):
        self.space.write("home/.zarn/profiles.yml", "shop:\n  outputs:\n    dev: {type: [postgres]}\n")
        with self.assertRaisesRegex(TypeError, "'dev'"):
            self.task().get_required_adapter_types()
        self.space.write("home/.zarn/profiles.yml", PROFILES)
        self.task().download_jdbc_jars({"postgres"}, False)
        self.assertEqual([path for path in self.repo.requests if path.endswith(".pom")], [])

    def test_help_shows_parameters_and_what_it_does(self):
        operations = [ProvellTask.sync, ProvellTask.get_connections_info,
                      ProvellTask.get_required_adapter_types, ProvellTask.get_installed_adapters,
                      ProvellTask.install_adapters, ProvellTask.uninstall_adapters,
                      ProvellTask.download_jdbc_jars, ProvellTask.update_jdbc_jars,
                      ProvellTask.__init__, MigrateTask.__init__, MigrateTask.run,
                      MigrationResult.__init__, provell.get_zarn_dir]
        for operation in operations:
            with self.subTest(operation.__qualname__):
                self.assertTrue(operation.__doc__.strip())
                inspect.signature(operation)
        self.assertEqual(list(inspect.signature(ProvellTask.sync).parameters),
                         ["self", "verbose", "clean", "dry_run"])
        self.assertEqual(repr(copy.copy(MigrationResult(True, "x"))),
                         "MigrationResult(success=True, message='x', files_copied=0)")


if __name__ == "__main__":
    unittest.main()
