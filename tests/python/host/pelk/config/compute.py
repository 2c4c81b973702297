"""Stand-in for the host's compute registry: a JSON file, and a log of calls."""
import json
import os

calls = []


class ComputeEntry:
    def __init__(self, config):
        self.config = config


class ComputeRegistry:
    def __init__(self, project_dir):
        calls.append(("init", project_dir))
        self.path = os.path.join(project_dir, ".zarn", "computes.json")
        self.entries = {}
        if os.path.exists(self.path):
            with open(self.path) as file:
                self.entries = {name: ComputeEntry(entry["config"]) for name, entry in json.load(file).items()}

    def get(self, name):
        calls.append(("get", name))
        return self.entries.get(name)

    def _save(self):
        calls.append(("_save",))
        with open(self.path, "w") as file:
            json.dump({name: {"config": entry.config} for name, entry in self.entries.items()}, file)
