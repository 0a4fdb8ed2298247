#!/usr/bin/env python3
"""The same net, grids, labels and symbols as ternova-plot, drawn by matplotlib to SVG or PDF.

Used by bench/run to compare end-to-end times: python3 bench/matplotlib_net.py DATA OUT.svg|OUT.pdf
"""
import sys

import matplotlib

matplotlib.use("svg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

SIO2, ALCA, MGO = (1433, 1000), (1000, 250), (567, 1000)
FEO1, FEO2, FEO3 = (1866, 250), (134, 250), (1000, 1750)
FACES = [((SIO2, ALCA, MGO), (0, 1, 2)), ((SIO2, ALCA, FEO1), (0, 1, 3)),
         ((ALCA, MGO, FEO2), (1, 2, 3)), ((SIO2, MGO, FEO3), (0, 2, 3))]


def grid(ax, n, colour):
    for (va, vb, vc), _ in FACES:
        verts = [va, vb, vc]
        for i in range(1, n + 1):
            for j in range(3):
                a, b, c = verts[j], verts[(j + 1) % 3], verts[(j + 2) % 3]
                u, w = i / (n + 1), (n + 1 - i) / (n + 1)
                p = (u * a[0] + w * b[0], u * a[1] + w * b[1])
                q = (w * b[0] + u * c[0], w * b[1] + u * c[1])
                ax.plot([p[0], q[0]], [p[1], q[1]], color=colour, linewidth=0.3)


def main(data, out):
    values = np.loadtxt(data, delimiter="\t", usecols=(0, 1, 2, 3), ndmin=2)
    fig = plt.figure(figsize=(5, 5))
    ax = fig.add_axes([0, 0, 1, 1])
    ax.set_xlim(0, 2000)
    ax.set_ylim(2000, 0)
    ax.axis("off")
    path = [SIO2, ALCA, MGO, SIO2, FEO1, ALCA, FEO2, MGO, FEO3, SIO2]
    ax.plot([p[0] for p in path], [p[1] for p in path], color="black", linewidth=1)
    grid(ax, 9, "grey")
    grid(ax, 1, "black")
    for text, (x, y) in [("SiO2", (1483, 1000)), ("Al2O3+CaO", (1000, 150)), ("MgO", (417, 1000)),
                         ("FeO", (1866, 150)), ("FeO", (134, 150)), ("FeO", (1000, 1750))]:
        ax.text(x, y, text, va="top", ha="left", backgroundcolor="white")
    for verts, comps in FACES:
        w = values[:, comps]
        s = w.sum(axis=1)
        x = (w[:, 0] * verts[0][0] + w[:, 1] * verts[1][0] + w[:, 2] * verts[2][0]) / s
        y = (w[:, 0] * verts[0][1] + w[:, 1] * verts[1][1] + w[:, 2] * verts[2][1]) / s
        ax.scatter(np.round(x), np.round(y), s=1, color="blue", linewidths=0)
    fig.savefig(out)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
