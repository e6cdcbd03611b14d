"""Shared fixtures of the Python module's tests: the programs of the build
and the test data, passed by ctest through the environment."""

import os
import subprocess

import pytest

CLI = os.environ.get("PROPAGON_CLI", "")
DATA = os.environ.get("PROPAGON_TEST_DATA", "")
EXAMPLES = os.environ.get("PROPAGON_EXAMPLES", "")

# One hand-written file per process type (0 living, 1 free radical, 2 ATRP, 3 living reversible).
HANDWRITTEN = {
    0: "prepare-living-handwritten.kpx",
    1: "prepare-freeradical-handwritten.kpx",
    2: "prepare-atrp-handwritten.kpx",
    3: "prepare-reversible-handwritten.kpx",
}


def data(name):
    return os.path.join(DATA, name)


def cli(*args, check=True, **kwargs):
    """polykin-cli as a user runs it; returns the completed process."""
    done = subprocess.run([CLI, *map(str, args)], capture_output=True, text=True, **kwargs)
    if check and done.returncode != 0:
        raise AssertionError(f"polykin-cli {' '.join(map(str, args))} exited {done.returncode}:\n{done.stderr}")
    return done


@pytest.fixture(scope="session")
def prepared(tmp_path_factory):
    """The four hand-written files, prepared by polykin-cli prepare."""
    folder = tmp_path_factory.mktemp("prepared")
    files = {}
    for kind, name in HANDWRITTEN.items():
        out = folder / name
        cli("prepare", data(name), "--out", out)
        files[kind] = str(out)
    return files
