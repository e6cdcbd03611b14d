"""Propagon from Python: molecule-by-molecule Monte Carlo simulation of
polymerization processes, with the engine of the desktop program and of
``polykin-cli``.

    import propagon
    file = propagon.prepare("examples/living-caprolactone.kpx", **{"Components/InitiatorAmount": 0.02})
    result = propagon.run(file, seed=1)
    result.checkpoints["conversion"]        # numpy arrays, one entry per check point
    log10_m, signal = result.sec()          # the SEC trace at the chart's initial broadening

The same seed gives the same numbers as ``polykin-cli run --seed``. One run
at a time per process (the simulation state is program-wide); a run releases
the GIL, Ctrl+C stops it as the Stop button does (the KeyboardInterrupt then
carries the result up to the stop in its ``result`` attribute).
"""

import numbers
import os
import tempfile

import numpy as np

from . import _core
from ._location import BIN_DIR
from ._tables import read_table

__all__ = ["ParameterFile", "Result", "Chains", "Ensemble", "prepare", "run", "run_replicas", "read_table"]


def _program(name):
    path = os.path.join(BIN_DIR, name)
    if not os.path.exists(path):
        raise RuntimeError(f"{name} is not where the build or the installation put it: {path}")
    return path


class ParameterFile:
    """A prepared, runnable parameter file (.kpx) on disk.

    Files that prepare() writes into a temporary folder live as long as this
    object; ``path`` names the file, ``messages`` holds what prepare reported.
    """

    def __init__(self, path, messages="", _folder=None):
        self.path = os.fspath(path)
        self.messages = messages
        self._folder = _folder

    def __fspath__(self):
        return self.path

    def __repr__(self):
        return f"ParameterFile({self.path!r})"

    def text(self):
        with open(self.path, "rb") as f:
            data = f.read()
        try:
            return data.decode("utf-8-sig")
        except UnicodeDecodeError:
            return data.decode("cp1252")

    def value(self, name):
        """The text of "Section/Key" as the program reads it (first one wins,
        names without regard to case), or None."""
        section, _, key = name.partition("/")
        current = None
        for line in self.text().splitlines():
            stripped = line.strip()
            if stripped.startswith("[") and stripped.endswith("]"):
                current = stripped[1:-1].strip().lower()
            elif current == section.lower() and "=" in line:
                k, _, v = line.partition("=")
                if k.strip().lower() == key.lower():
                    return v.strip()
        return None


def _override_text(name, value):
    if isinstance(value, bool) or not isinstance(value, (numbers.Real, str)):
        raise TypeError(f"{name}: give a number or a text, not {type(value).__name__}")
    if isinstance(value, str):
        return value
    if isinstance(value, numbers.Integral):
        return str(int(value))
    return repr(float(value))


def prepare(source, out=None, **overrides):
    """Validate a parameter file written by hand (a path, or the text itself)
    and save it runnable, exactly as ``polykin-cli prepare`` does.

    Keyword arguments change typed values first: ``**{"ChemicalRates/A*A": 350}``.
    The result is written to ``out``, or to a temporary file that lives as long
    as the returned ParameterFile. Messages and errors are the program's own:
    ValueError for parameters that do not validate (or an unknown key),
    FileNotFoundError for a missing file, OSError for an output refused.
    """
    folder = tempfile.TemporaryDirectory(prefix="propagon-")
    if isinstance(source, ParameterFile):
        path = source.path
    elif isinstance(source, (str, os.PathLike)) and os.path.isfile(source):
        path = os.fspath(source)
    elif isinstance(source, str) and ("\n" in source or "=" in source):
        path = os.path.join(folder.name, "input.kpx")
        with open(path, "w", encoding="utf-8") as f:
            f.write(source)
    else:
        raise FileNotFoundError(f"Cannot read the parameter file \"{os.fspath(source)}\"")
    output = os.fspath(out) if out is not None else os.path.join(folder.name, "prepared.kpx")
    pairs = [(name, _override_text(name, value)) for name, value in overrides.items()]
    messages = _core.prepare(path, output, pairs, os.path.join(BIN_DIR, "libMaldi.so"))
    return ParameterFile(output, messages, None if out is not None else folder)


class Chains:
    """Every chain's sequence as letters A and B (bytes 65 and 66), in one flat
    array: chain number i + 1 is ``sequences[offsets[i]:offsets[i + 1]]``,
    also ``chains[i]``. ``dp`` and ``head`` (head byte) per chain."""

    def __init__(self, d):
        self.sequences = d["sequences"]
        self.offsets = d["offsets"]
        self.dp = d["DP"]
        self.head = d["head"]

    def __len__(self):
        return len(self.dp)

    def __getitem__(self, i):
        if i < 0:
            i += len(self)
        if not 0 <= i < len(self):
            raise IndexError("chain index out of range")
        return self.sequences[self.offsets[i]:self.offsets[i + 1]]


class Result:
    """The outcome of one run: what ``polykin-cli run`` writes into its folder.

    checkpoints        dict of numpy arrays, the columns of checkpoints.tsv
    dp_distribution    {"DP", "chains"}: the final DP histogram
    mass_distribution  {"mass", "number", "weight"}: the non-empty bins
    summary            the figures of summary.json (seed, status, Mn, ...)
    log                the message log, one line per entry
    chains             Chains with run(..., chains=True), else None
    """

    def __init__(self, d):
        self.checkpoints = d["checkpoints"]
        self.dp_distribution = d["dp_distribution"]
        self.mass_distribution = d["mass_distribution"]
        self.summary = d["summary"]
        self.log = d["log"]
        self.chains = Chains(d["chains"]) if d["chains"] is not None else None
        self._sec = d["sec"]

    @property
    def seed(self):
        return self.summary["seed"]

    @property
    def status(self):
        return self.summary["status"]

    def sec(self, broadening=100, sigma=None):
        """The simulated SEC trace (log10 M, signal, highest point 1) at the
        chart's broadening track-bar position (1..200; 100 is sec.tsv's), or
        at a Gaussian width of ``sigma`` decades. Empty while no chain grew."""
        return self._sec(broadening, sigma)

    def to_pandas(self):
        """The check-point table as a pandas DataFrame (pandas is optional)."""
        try:
            import pandas
        except ImportError as e:
            raise ImportError("Result.to_pandas() needs pandas (apt install python3-pandas)") from e
        return pandas.DataFrame(self.checkpoints)

    def __repr__(self):
        return (f"<propagon.Result {self.status}, seed {self.seed}, {len(self.checkpoints['checkpoint'])} check points, "
                f"conversion {self.summary['conversion']:.4g}>")


def _path_of(file):
    if isinstance(file, ParameterFile):
        return file.path
    return os.fspath(file)


def _seed_value(seed):
    if seed is None:
        return None
    if isinstance(seed, bool) or not isinstance(seed, numbers.Integral) or not 0 <= seed <= 0xFFFFFFFF:
        raise ValueError(f"seed must be a whole number from 0 to 4294967295, not {seed!r}")
    return int(seed)


def run(file, seed=None, chains=False, progress=None):
    """Simulate a prepared parameter file (a ParameterFile or a path).

    ``seed`` fixes the random generator (default: the millisecond tick counter;
    ``result.seed`` tells which). ``progress``, if given, is called a few times
    a second with a dict (fraction, time, last_time, events_per_second,
    summary); an exception it raises stops the run and is raised again.
    """
    d = _core.run(_path_of(file), _seed_value(seed), bool(chains), progress)
    result = Result(d)
    if d["stop_error"] is not None:
        error = d["stop_error"]
        error.result = result
        raise error
    if d["failure"] is not None:
        error = RuntimeError("The simulation ended early: " + d["failure"])
        error.result = result
        raise error
    return result


class Ensemble:
    """Replicas of one parameter file, as ``polykin-cli run --replicas`` writes them.

    mean, sem          dicts of numpy arrays: for every column C of the
                       check-point table, its mean over the replicas and the
                       standard error of that mean (checkpoint, time_s and
                       replicas, the count per row, are in both)
    dp_distribution    {"DP", "chains"}, the replicas' histograms added up
    mass_distribution  {"mass", "number", "weight"}, likewise
    replicas           {"replica", "seed", "exit_code", "status", "folder"}
    folder             the output folder; folders: each replica's
    """

    def __init__(self, d):
        self.folder = os.path.dirname(d["ensemble"])
        self.folders = list(d["folders"])
        ensemble = d["ensemble"]
        table = read_table(os.path.join(ensemble, "checkpoints_mean.tsv"))
        keys = ("checkpoint", "time_s", "replicas")
        self.mean = {k: table[k] for k in keys}
        self.sem = {k: table[k] for k in keys}
        for name, column in table.items():
            if name.endswith("_mean"):
                self.mean[name[:-5]] = column.astype(np.float64)
            elif name.endswith("_sem"):
                self.sem[name[:-4]] = column.astype(np.float64)
        self.dp_distribution = read_table(os.path.join(ensemble, "dp_distribution.tsv"))
        self.mass_distribution = read_table(os.path.join(ensemble, "mass_distribution.tsv"))
        self.replicas = read_table(os.path.join(ensemble, "replicas.tsv"))
        self._folder = None

    def replica_checkpoints(self, k):
        """The check-point table of replica k (from 1)."""
        return read_table(os.path.join(self.folders[k - 1], "checkpoints.tsv"))

    def to_pandas(self):
        """Mean and standard error as one pandas DataFrame (columns C_mean, C_sem)."""
        try:
            import pandas
        except ImportError as e:
            raise ImportError("Ensemble.to_pandas() needs pandas (apt install python3-pandas)") from e
        return pandas.DataFrame(read_table(os.path.join(self.folder, "ensemble", "checkpoints_mean.tsv")))


def run_replicas(file, n, jobs=None, seed=None, out=None, chains=False):
    """Run ``n`` independent replicas of a prepared parameter file with the
    seeds seed, seed+1, ... (default: drawn from the tick counter), ``jobs`` at a
    time (default: the number of cores), each in its own polykin-cli process,
    into ``out`` (default: a temporary folder that lives as long as the
    returned Ensemble). Failed replicas raise RuntimeError (its ``ensemble``
    holds the others); Ctrl+C stops them and raises KeyboardInterrupt."""
    folder = None
    if out is None:
        folder = tempfile.TemporaryDirectory(prefix="propagon-replicas-")
        out = folder.name
    path = _path_of(file)
    if not os.path.isfile(path):
        raise FileNotFoundError(f"Cannot open \"{path}\": no such file")
    d = _core.run_replicas(path, int(n), None if jobs is None else int(jobs), _seed_value(seed), os.fspath(out),
                           bool(chains), _program("polykin-cli"))
    ensemble = None
    if d["ensemble"]:
        ensemble = Ensemble(d)
        ensemble._folder = folder
    if d["stop_error"] is not None:
        error = d["stop_error"]
        error.ensemble = ensemble
        raise error
    if d["code"] == 2:
        raise ValueError(d["messages"])
    if d["code"] != 0:
        error = RuntimeError(d["messages"] or f"The replicas ended with exit code {d['code']}")
        error.ensemble = ensemble
        raise error
    return ensemble
