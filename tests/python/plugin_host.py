"""Test support: a host package tree holding the built plug-in modules, a
temporary HOME, the zarn executable for comparison, a loopback repository."""
import contextlib
import http.server
import io
import os
import shutil
import subprocess
import sys
import tempfile
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
ZARN = os.environ["ZARN_BINARY"]


def _host_tree():
    """The stand-in host package with the two modules dropped into pelk/task/."""
    tree = tempfile.mkdtemp(prefix="zarn-host-")
    shutil.copytree(os.path.join(HERE, "host"), tree, dirs_exist_ok=True)
    modules = os.environ["ZARN_PLUGIN_DIR"]
    for name in os.listdir(modules):
        shutil.copy(os.path.join(modules, name), os.path.join(tree, "pelk", "task"))
    return tree


TREE = _host_tree()
sys.path.insert(0, TREE)
# The driver cache follows each workspace's HOME unless a test names one: never the user's own.
os.environ.pop("ZARN_CACHE_DIR", None)
os.environ.pop("XDG_CACHE_HOME", None)


class Workspace:
    """A fresh HOME and project folder, HOME set for this process."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="zarn-py-")
        self.home = os.path.join(self.root, "home")
        self.project = os.path.join(self.root, "project")
        os.makedirs(self.home)
        os.makedirs(self.project)
        self._old_home = os.environ.get("HOME")
        os.environ["HOME"] = self.home

    def write(self, relative, text):
        path = os.path.join(self.root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as file:
            file.write(text)
        return path

    def read(self, relative):
        with open(os.path.join(self.root, relative)) as file:
            return file.read()

    def copy(self):
        """A second workspace holding the same files."""
        other = Workspace()
        shutil.copytree(self.root, other.root, dirs_exist_ok=True, symlinks=True)
        os.environ["HOME"] = self.home
        return other

    def close(self):
        if self._old_home is None:
            os.environ.pop("HOME", None)
        else:
            os.environ["HOME"] = self._old_home
        shutil.rmtree(self.root, ignore_errors=True)


def in_child(source, timeout=120):
    """Runs source in a fresh interpreter that imports the plug-in as this one
    does, so a crash or a hang fails one case: (exit status, stdout)."""
    environment = dict(os.environ, PYTHONPATH=os.pathsep.join([HERE, TREE]))
    try:
        result = subprocess.run([sys.executable, "-c", source], env=environment,
                                capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return "hung", ""
    return result.returncode, result.stdout


def run_zarn(workspace, *args, env=None):
    """Runs the executable in the workspace's project; its stdout, with the root as {root}."""
    environment = dict(os.environ, HOME=workspace.home, ZARN_PYTHON=sys.executable, **(env or {}))
    result = subprocess.run([ZARN, *args], cwd=workspace.project, env=environment,
                            capture_output=True, text=True, timeout=120)
    return result.returncode, result.stdout.replace(workspace.root, "{root}")


def captured(workspace, call):
    """What call printed to sys.stdout, with the root as {root}, and its result."""
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        result = call()
    return result, out.getvalue().replace(workspace.root, "{root}")


class Repository:
    """A loopback Maven repository serving files from a folder; a path under
    /stall/ never answers (stalled is set once one has arrived)."""

    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="zarn-repo-")
        self.release = threading.Event()
        self.stalled = threading.Event()
        self.requests = []
        folder, release, stalled, requests = self.folder, self.release, self.stalled, self.requests

        class Handler(http.server.SimpleHTTPRequestHandler):
            def __init__(self, *args, **kwargs):
                super().__init__(*args, directory=folder, **kwargs)

            def do_GET(self):
                requests.append(self.path)
                if self.path.startswith("/stall/"):
                    stalled.set()
                    release.wait(30)
                    return
                super().do_GET()

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.server.daemon_threads = True
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.url = "http://127.0.0.1:%d" % self.server.server_address[1]

    def put(self, relative, data):
        path = os.path.join(self.folder, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as file:
            file.write(data)

    def close(self):
        self.release.set()
        self.server.shutdown()
        self.server.server_close()
        shutil.rmtree(self.folder, ignore_errors=True)


def provell_setup(test, profiles):
    """For a test of the sync task: a workspace whose HOME has profiles as
    ~/.zarn/profiles.yml, and a repository that provell.MAVEN_REPO names
    until the test ends. Both are closed when it ends."""
    import pelk.task.provell as provell

    space = Workspace()
    test.addCleanup(space.close)
    space.write("home/.zarn/profiles.yml", profiles)
    repo = Repository()
    test.addCleanup(repo.close)
    test.addCleanup(setattr, provell, "MAVEN_REPO", provell.MAVEN_REPO)
    provell.MAVEN_REPO = repo.url
    return space, repo
