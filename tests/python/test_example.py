"""The example script of examples/python runs as a user runs it."""

import os
import subprocess
import sys

import propagon


def test_the_two_recipes_example_runs(tmp_path):
    script = os.path.join(os.environ["PROPAGON_EXAMPLES"], "python", "two_recipes.py")
    # The package this suite tests, wherever the path given to it pointed.
    env = dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(os.path.abspath(propagon.__file__))))
    done = subprocess.run([sys.executable, script], cwd=tmp_path, env=env, capture_output=True, text=True,
                          timeout=300)
    assert done.returncode == 0, done.stderr
    lines = done.stdout.splitlines()
    assert lines[0].startswith("[I]0 = 0.01 mol/L: conversion 1.000")
    # Twice the initiator, about half the chain length.
    mn = [float(line.split("Mn ")[1].split()[0]) for line in lines[:2]]
    assert 1.8 < mn[0] / mn[1] < 2.2
    try:
        import matplotlib  # noqa: F401
        assert (tmp_path / "two_recipes.png").stat().st_size > 0
    except ImportError:
        assert "matplotlib is not installed" in done.stdout
