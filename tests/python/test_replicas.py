"""propagon.run_replicas: the replicas of polykin-cli run --replicas, from Python."""

import numpy as np
import pytest

import propagon
from conftest import cli, data, prepared  # noqa: F401  (fixture)


def test_the_ensemble_is_the_mean_of_single_runs_with_the_seeds(prepared, tmp_path):
    ensemble = propagon.run_replicas(prepared[1], 4, jobs=2, seed=70, out=tmp_path / "ens")
    np.testing.assert_array_equal(ensemble.replicas["seed"], [70, 71, 72, 73])
    assert list(ensemble.replicas["status"]) == ["completed"] * 4
    runs = [propagon.run(prepared[1], seed=s) for s in (70, 71, 72, 73)]
    for column in ("conversion", "DPn", "Mn"):
        values = np.array([r.checkpoints[column] for r in runs])
        np.testing.assert_allclose(ensemble.mean[column], values.mean(axis=0), rtol=1e-12, err_msg=column)
        np.testing.assert_allclose(ensemble.sem[column], values.std(axis=0, ddof=1) / 2.0, rtol=1e-9, atol=1e-12,
                                   err_msg=column)
    pooled = sum(r.dp_distribution["chains"].sum() for r in runs)
    assert ensemble.dp_distribution["chains"].sum() == pooled
    np.testing.assert_array_equal(ensemble.replica_checkpoints(2)["Mn"], runs[1].checkpoints["Mn"])


def test_the_same_call_gives_the_tables_of_the_command_line(prepared, tmp_path):
    propagon.run_replicas(prepared[0], 3, jobs=1, seed=9, out=tmp_path / "py")
    cli("run", prepared[0], "--replicas", 3, "--jobs", 2, "--seed", 9, "--out", tmp_path / "cli", "--quiet")
    for table in ("checkpoints_mean.tsv", "dp_distribution.tsv", "mass_distribution.tsv"):
        assert (tmp_path / "py/ensemble" / table).read_bytes() == (tmp_path / "cli/ensemble" / table).read_bytes()


def test_bad_replica_requests_raise():
    with pytest.raises(ValueError, match="is not a Valid Parameters File!"):
        propagon.run_replicas(data("run-invalid-marker.kpx"), 2)
    with pytest.raises(FileNotFoundError):
        propagon.run_replicas(data("no-such-file.kpx"), 2)
    with pytest.raises(ValueError, match="at least 1"):
        propagon.run_replicas(data("run-endless.kpx"), 0)
    with pytest.raises(RuntimeError, match="exited with code 1") as caught:
        propagon.run_replicas(data("run-unreadable-rate.kpx"), 2, seed=1)
    assert caught.value.ensemble is None or list(caught.value.ensemble.replicas["status"]) == ["failed"] * 2


def test_ctrl_c_stops_every_replica(tmp_path):
    import os
    import signal
    import threading
    import time

    timer = threading.Timer(0.7, lambda: os.kill(os.getpid(), signal.SIGINT))
    timer.start()
    started = time.monotonic()
    with pytest.raises(KeyboardInterrupt):
        propagon.run_replicas(data("run-endless.kpx"), 3, jobs=2, seed=1, out=tmp_path / "stopped")
    assert time.monotonic() - started < 15
    listed = propagon.read_table(tmp_path / "stopped/ensemble/replicas.tsv")
    assert list(listed["status"]) == ["stopped", "stopped", "not run"]
