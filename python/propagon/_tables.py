"""Reading the tab-separated tables polykin-cli writes."""

import numpy as np


def _column(values):
    try:
        return np.array([int(v) for v in values], dtype=np.int64)
    except ValueError:
        pass
    try:
        return np.array([float(v) for v in values], dtype=np.float64)
    except ValueError:
        return np.array(values, dtype=object)


def read_table(path):
    """A table of polykin-cli (header line, tab-separated rows) as a dict of
    numpy arrays: whole numbers as int64, other numbers ("nan" included) as
    float64, anything else as text."""
    with open(path, encoding="utf-8") as f:
        lines = [line.rstrip("\n") for line in f if line.strip()]
    if not lines:
        raise ValueError(f"{path}: empty table")
    header = lines[0].split("\t")
    rows = [line.split("\t") for line in lines[1:]]
    for number, row in enumerate(rows, start=2):
        if len(row) != len(header):
            raise ValueError(f"{path}, line {number}: {len(row)} fields, the header has {len(header)}")
    return {name: _column([row[i] for row in rows]) for i, name in enumerate(header)}
