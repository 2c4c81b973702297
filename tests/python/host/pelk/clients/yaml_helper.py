"""Stand-in for the host's YAML helper."""
import yaml


def load_yaml_text(text):
    return yaml.safe_load(text)
