"""propagon.run against polykin-cli run, and how a run behaves from Python."""

import json
import os
import signal
import threading
import time

import numpy as np
import pytest

import propagon
from conftest import cli, data, prepared  # noqa: F401  (fixture)


@pytest.mark.parametrize("kind", [0, 1, 2, 3])
def test_same_seed_gives_the_numbers_of_polykin_cli(prepared, kind, tmp_path):
    path = prepared[kind]
    out = tmp_path / "cli"
    cli("run", path, "--out", out, "--seed", 11, "--chains", "--quiet")
    result = propagon.run(path, seed=11, chains=True)

    table = propagon.read_table(out / "checkpoints.tsv")
    assert list(result.checkpoints) == list(table)
    for name, column in table.items():
        np.testing.assert_array_equal(result.checkpoints[name], column, err_msg=name)

    dp = propagon.read_table(out / "dp_distribution.tsv")
    np.testing.assert_array_equal(result.dp_distribution["DP"], dp["DP"])
    np.testing.assert_array_equal(result.dp_distribution["chains"], dp["chains"])
    mass = propagon.read_table(out / "mass_distribution.tsv")
    for name in ("mass", "number", "weight"):
        np.testing.assert_array_equal(result.mass_distribution[name], mass[name], err_msg=name)
    sec = propagon.read_table(out / "sec.tsv")
    x, y = result.sec()
    np.testing.assert_array_equal(x, sec["log10_M"])
    np.testing.assert_array_equal(y, sec["signal"])

    chains = propagon.read_table(out / "chains.tsv")
    assert len(result.chains) == len(chains["chain"])
    np.testing.assert_array_equal(result.chains.dp, chains["DP"])
    np.testing.assert_array_equal(result.chains.head, chains["head"])
    for i in range(0, len(result.chains), 97):
        assert bytes(result.chains[i]).decode() == (chains["sequence"][i] if chains["DP"][i] else "")

    summary = json.loads((out / "summary.json").read_text())
    for key in ("process_type", "chains", "checkpoints", "seed", "steps", "events", "conversion", "Mn", "Mw", "DPn",
                "dispersity", "status"):
        assert result.summary[key] == summary[key], key
    assert result.summary["process_type"] == kind
    assert "Random Seed: 11" in result.log


def test_the_flat_chain_arrays_hold_every_unit(prepared):
    result = propagon.run(prepared[1], seed=3, chains=True)
    c = result.chains
    np.testing.assert_array_equal(np.diff(c.offsets), c.dp)
    assert c.offsets[-1] == len(c.sequences) == int(np.dot(result.dp_distribution["DP"], result.dp_distribution["chains"]))
    assert set(np.unique(c.sequences)) <= {ord("A"), ord("B")}
    assert propagon.run(prepared[1], seed=3).chains is None


def test_the_broadening_widens_the_sec_trace(prepared):
    result = propagon.run(prepared[0], seed=5)
    _, narrow = result.sec(broadening=1)
    _, wide = result.sec(broadening=200)
    _, custom = result.sec(sigma=0.1)
    assert narrow.max() == wide.max() == 1.0
    assert np.count_nonzero(wide > 0.5) > np.count_nonzero(narrow > 0.5)
    np.testing.assert_allclose(custom, wide, rtol=0, atol=1e-12)
    with pytest.raises(ValueError, match="from 1 to 200"):
        result.sec(broadening=0)
    with pytest.raises(ValueError, match="positive"):
        result.sec(sigma=-1)


def test_a_file_without_the_validity_marker_is_refused_with_its_message():
    with pytest.raises(ValueError, match="is not a Valid Parameters File!"):
        propagon.run(data("run-invalid-marker.kpx"))
    with pytest.raises(FileNotFoundError, match="no such file"):
        propagon.run(data("no-such-file.kpx"))
    with pytest.raises(MemoryError):
        propagon.run(data("run-memory-too-high.kpx"))
    with pytest.raises(ValueError, match="seed"):
        propagon.run(data("run-endless.kpx"), seed=-1)


def test_an_unreadable_rate_fails_the_run_and_keeps_what_it_recorded():
    with pytest.raises(RuntimeError, match="ended early") as caught:
        propagon.run(data("run-unreadable-rate.kpx"), seed=1)
    assert caught.value.result.status == "failed"


def test_progress_is_reported_a_few_times_a_second_and_its_exception_stops_the_run():
    reports = []

    def progress(report):
        reports.append((time.monotonic(), report))
        if len(reports) == 3:
            raise ArithmeticError("enough")

    started = time.monotonic()
    with pytest.raises(ArithmeticError, match="enough") as caught:
        propagon.run(data("run-endless.kpx"), seed=1, progress=progress)
    assert time.monotonic() - started < 10
    assert caught.value.result.status == "stopped"
    times = [t for t, _ in reports]
    assert min(np.diff(times)) >= 0.2
    assert set(reports[0][1]) == {"fraction", "time", "last_time", "events_per_second", "summary"}
    assert 0.0 <= reports[-1][1]["fraction"] <= 1.0


def test_ctrl_c_stops_the_run_as_stop_does_and_keeps_the_result():
    timer = threading.Timer(0.5, lambda: os.kill(os.getpid(), signal.SIGINT))
    timer.start()
    started = time.monotonic()
    with pytest.raises(KeyboardInterrupt) as caught:
        propagon.run(data("run-endless.kpx"), seed=1)
    assert time.monotonic() - started < 10
    result = caught.value.result
    assert result.status == "stopped"
    assert "Simulation Terminated by User!" in result.log
    assert len(result.checkpoints["checkpoint"]) >= 1


def test_the_run_releases_the_gil_and_refuses_a_second_run_meanwhile():
    stop = threading.Event()
    reports = []
    outcome = {}

    def progress(report):
        reports.append(report)
        if stop.is_set():
            raise InterruptedError("stopped by the test")

    def background():
        try:
            propagon.run(data("run-endless.kpx"), seed=1, progress=progress)
        except InterruptedError as e:
            outcome["result"] = e.result

    thread = threading.Thread(target=background)
    thread.start()
    ticks = 0
    deadline = time.monotonic() + 1.0
    while time.monotonic() < deadline:
        ticks += 1
    with pytest.raises(RuntimeError, match="still running"):
        propagon.run(data("run-endless.kpx"))
    stop.set()
    thread.join(timeout=10)
    assert not thread.is_alive()
    assert ticks > 100000  # this thread ran Python while the simulation did
    assert reports and outcome["result"].status == "stopped"


def test_to_pandas_gives_the_check_point_table_or_says_what_is_missing(prepared):
    result = propagon.run(prepared[0], seed=2)
    try:
        import pandas
    except ImportError:
        # pandas stays optional: the call says what to install.
        with pytest.raises(ImportError, match="needs pandas"):
            result.to_pandas()
        return
    frame = result.to_pandas()
    assert isinstance(frame, pandas.DataFrame)
    assert list(frame.columns)[:3] == ["checkpoint", "time_s", "initiator"]
    np.testing.assert_array_equal(frame["Mn"].to_numpy(), result.checkpoints["Mn"])


def test_a_process_type_without_a_kernel_is_refused_before_any_run(prepared, tmp_path):
    text = open(prepared[0], "rb").read().replace(b"ProcessType=0", b"ProcessType=7", 1)
    typed = tmp_path / "typed.kpx"
    typed.write_bytes(text)
    with pytest.raises(ValueError, match="ProcessType 7 is not a Process Type"):
        propagon.run(typed, seed=1)
    with pytest.raises(ValueError, match="ProcessType 7 is not a Process Type"):
        propagon.run_replicas(typed, 2, out=tmp_path / "replicas")
    assert not (tmp_path / "replicas" / "replica_1").exists()
