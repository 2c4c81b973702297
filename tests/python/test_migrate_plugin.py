import os
import pathlib
import unittest

import plugin_host
from pelk.task.migrate import MigrateTask, MigrationResult
from pelk.task import migrate

PROFILES = """shop:
  target: dev
  outputs:
    dev: {type: postgres, port: 5432, password: "x'y", since: 2024-01-31}
    blob:
      type: duckdb
      key: !!binary aGVsbG8gd29ybGQ=
      roles: !!set {admin: null, reader: null}
other:
  outputs: {}
"""


class MigratePlugin(unittest.TestCase):
    def setUp(self):
        self.space = plugin_host.Workspace()
        self.addCleanup(self.space.close)
        self.space.write("home/.pelk/profiles.yml", PROFILES)
        self.space.write("project/pelk_project.yml", "name: shop\nprofile: shop\n")

    def test_conversion_matches_the_executable(self):
        twin = self.space.copy()
        self.addCleanup(twin.close)
        status, expected = plugin_host.run_zarn(twin, "migrate")
        result, printed = plugin_host.captured(
            self.space, lambda: MigrateTask(project_dir=self.space.project).run())
        self.assertEqual((result, printed), (status == 0, expected))
        import yaml  # the host tools' reader must read the same values back
        self.assertEqual(yaml.safe_load(self.space.read("home/.zarn/profiles.yml"))["shop"],
                         yaml.safe_load(PROFILES)["shop"])
        for name in ("home/.zarn/profiles.yml", "project/zarn_project.yml",
                     "project/pelk_project.yml.bak", "project/flatfiles/.gitignore"):
            self.assertEqual(self.space.read(name), twin.read(name), name)

    def test_arguments_fields_and_results_cross_as_python_values(self):
        default = MigrateTask()
        self.assertEqual((default.source_path, default.project_dir, default.dry_run),
                         (None, pathlib.Path.cwd(), False))
        task = MigrateTask("../src", True, dry_run=1, project_dir="")
        self.assertEqual((task.source_path, task.profiles_only, task.dry_run, task.project_dir),
                         (pathlib.Path("../src"), True, True, pathlib.Path.cwd()))
        self.assertEqual(MigrationResult(True, "done"), MigrationResult(True, "done", 0))
        self.assertNotEqual(MigrationResult(True, "done"), MigrationResult(True, "done", 2))
        self.assertTrue(MigrateTask.__doc__.startswith("ZARN Migration Task."))
        self.assertTrue(migrate.__doc__.startswith("ZARN Migration Task - Migrate"))
        self.assertEqual(MigrateTask._migrate_profiles.__doc__,
                         "Migrate project-specific profile from ~/.pelk/profiles.yml to "
                         "~/.zarn/profiles.yml.")

    def test_lines_go_to_sys_stdout_in_order_with_the_hosts_own(self):
        task = MigrateTask(project_dir=self.space.project)

        def call():
            print("host before")
            task._show_summary([None, MigrationResult(False, "no"), MigrationResult(True, "yes")])
            print("host after")

        _, printed = plugin_host.captured(self.space, call)
        lines = printed.splitlines()
        self.assertEqual((lines[0], lines[5], lines[-1]), ("host before", "  yes", "host after"))

    def test_import_summary_reads_folders_from_a_hand_made_list(self):
        task = MigrateTask(project_dir=self.space.project)
        results = [None, MigrationResult(False, "tests/"), MigrationResult(True, "seeds/", 2),
                   MigrationResult(True, "Merged 1 targets", 1), MigrationResult(True, "a/b/")]
        _, printed = plugin_host.captured(
            self.space, lambda: task._show_import_summary("shop", results))
        lines = printed.splitlines()
        self.assertEqual(lines[5:8], ["  Seeds: seeds/shop/", "  A/b: a/b/shop/", ""])
        self.assertIn("  1. Review seeds/shop/ for ref() adjustments", lines)

    def test_errors_reach_python_as_python_exceptions(self):
        self.space.write("home/.pelk/profiles.yml", "shop: [a\n")
        with self.assertRaises(migrate.YAMLError) as caught:
            plugin_host.captured(self.space,
                                 lambda: MigrateTask(project_dir=self.space.project)._migrate_profiles())
        self.assertRegex(str(caught.exception), r"profiles\.yml:2:1: ")
        self.space.write("project/zarn_project.yml", "name: hub\nprofile: hub\n")
        self.space.write("project/models", "a file where a folder should be")
        self.space.write("src/models/a.sql", "select 1")
        task = MigrateTask(os.path.join(self.space.root, "src"), project_dir=self.space.project)
        with self.assertRaises(NotADirectoryError) as caught:
            plugin_host.captured(self.space, lambda: task._copy_directory("models", "src"))
        self.assertIn("project/models", caught.exception.filename)


if __name__ == "__main__":
    unittest.main()
