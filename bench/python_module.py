#!/usr/bin/env python3
"""The Python module's figures at a million samples, beside the peers measured in the same run:
pandas.read_csv and numpy.loadtxt for the load, numpy's barycentric projection for project(),
and (in bench/run) matplotlib drawing the same net for the SVG.

    PYTHONPATH=BUILD/python python3 bench/python_module.py DATAFILE OUT.json

Writes one JSON object of figures (seconds, bytes).
"""
import json
import os
import resource
import statistics
import subprocess
import sys
import time

import numpy as np


def timed(work, runs):
    times = []
    for _ in range(runs):
        t0 = time.perf_counter()
        result = work()
        times.append(time.perf_counter() - t0)
        del result
    return statistics.median(times), min(times), max(times)


def numpy_projection(values):
    # The projection as one would write it in numpy: each face's barycentric combination, rounded.
    faces = [((1433, 1000), (1000, 250), (567, 1000), (0, 1, 2)), ((1433, 1000), (1000, 250), (1866, 250), (0, 1, 3)),
             ((1000, 250), (567, 1000), (134, 250), (1, 2, 3)), ((1433, 1000), (567, 1000), (1000, 1750), (0, 2, 3))]
    out = np.empty((len(values), 4, 2), dtype=np.int32)
    for f, (a, b, c, comps) in enumerate(faces):
        w = values[:, comps]
        s = w.sum(axis=1)
        out[:, f, 0] = np.round((w[:, 0] * a[0] + w[:, 1] * b[0] + w[:, 2] * c[0]) / s)
        out[:, f, 1] = np.round((w[:, 0] * a[1] + w[:, 1] * b[1] + w[:, 2] * c[1]) / s)
    return out


def rss():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) * 1024
    return 0


def child(data, what):
    """Runs in a fresh interpreter: the memory of one loaded table, or one save with its peak."""
    import ternova

    if what == "memory":
        before = rss()
        t = ternova.load(data)
        values, points = t.values, t.points  # views: they add nothing
        after = rss()
        copies = values.flags.owndata or points.flags.owndata
        print(json.dumps({"growth": after - before, "rows": len(t), "views": not copies}))
    else:
        t = ternova.load(data)
        t0 = time.perf_counter()
        ternova.Diagram(t).save(what)
        seconds = time.perf_counter() - t0
        print(json.dumps({"seconds": seconds, "peak": resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024}))


def main(data, out):
    import pandas as pd

    import ternova

    figures = {"file_bytes": os.path.getsize(data)}
    figures["load"] = timed(lambda: ternova.load(data), 5)
    figures["pandas_read_csv"] = timed(lambda: pd.read_csv(data, sep="\t", header=None), 3)
    figures["numpy_loadtxt"] = timed(lambda: np.loadtxt(data, delimiter="\t", usecols=(0, 1, 2, 3)), 1)
    values = np.ascontiguousarray(ternova.load(data).values)
    figures["project"] = timed(lambda: ternova.project(values), 9)
    figures["numpy_projection"] = timed(lambda: numpy_projection(values), 3)
    assert np.array_equal(ternova.project(values), ternova.load(data).points)

    def run_child(what):
        line = subprocess.run([sys.executable, __file__, "--child", data, what], capture_output=True, text=True,
                              check=True).stdout
        return json.loads(line)

    figures["memory"] = run_child("memory")
    svg = os.path.join(os.path.dirname(os.path.abspath(out)), "python-net.svg")
    saves = [run_child(svg) for _ in range(3)]
    os.unlink(svg)
    secs = sorted(s["seconds"] for s in saves)
    figures["save_svg"] = (secs[1], secs[0], secs[-1])
    figures["save_svg_peak"] = max(s["peak"] for s in saves)
    with open(out, "w") as f:
        json.dump(figures, f)


if __name__ == "__main__":
    if sys.argv[1] == "--child":
        child(sys.argv[2], sys.argv[3])
    else:
        main(sys.argv[1], sys.argv[2])
