#!/usr/bin/env python3
"""The same search as the route wave, done by scikit-image's MCP_Geometric
or by scipy's Dijkstra.

Usage: mcp_compare.py COSTS WIDTH HEIGHT X1 Y1 [X2 Y2 ...] [--runs N] [--peer mcp|dijkstra]

COSTS is a raw little-endian float64 grid of HEIGHT rows of WIDTH cells, row
after row: 1 for a road pixel, 10 for a congestion pixel, -1 where the wave
never goes (MCP skips negative costs). The starts are the evacuation places,
as (x, y) pixel positions. Prints the best time of the search alone
(find_costs) over the runs and the number of cells it reached.

With --peer dijkstra the same grid becomes a graph for
scipy.sparse.csgraph.dijkstra: each cell with a cost of 0 or more is a node,
joined to its eight neighbours by an edge in each direction whose weight is
MCP_Geometric's step cost (the mean of the two cells' costs times the step's
length, 1 or the square root of 2). Building the graph is not timed; the time
is the search from all the starts at once (min_only) alone.
"""
import sys
import time

import numpy as np


def main(argv):
    runs = 3
    peer = "mcp"
    if "--runs" in argv:
        at = argv.index("--runs")
        runs = int(argv[at + 1])
        del argv[at:at + 2]
    if "--peer" in argv:
        at = argv.index("--peer")
        peer = argv[at + 1]
        del argv[at:at + 2]
    if len(argv) < 6 or (len(argv) - 4) % 2:
        sys.stderr.write(__doc__)
        return 2
    path, width, height = argv[1], int(argv[2]), int(argv[3])
    coords = [int(v) for v in argv[4:]]
    starts = [(coords[i + 1], coords[i]) for i in range(0, len(coords), 2)]  # (row, column)
    costs = np.fromfile(path, dtype="<f8")
    if costs.size != width * height:
        sys.stderr.write("mcp_compare: %s holds %d cells, not %d x %d\n" % (path, costs.size, width, height))
        return 2
    costs = costs.reshape(height, width)
    if peer == "dijkstra":
        return dijkstra_peer(costs, starts, runs)
    from skimage.graph import MCP_Geometric
    mcp = MCP_Geometric(costs, fully_connected=True)
    best = None
    reached = 0
    for _ in range(runs):
        t0 = time.perf_counter()
        cumulative, _ = mcp.find_costs(starts)
        elapsed = time.perf_counter() - t0
        best = elapsed if best is None else min(best, elapsed)
        reached = int(np.count_nonzero(np.isfinite(cumulative)))
    print("seconds %.6f" % best)
    print("reached %d" % reached)
    return 0


def dijkstra_peer(costs, starts, runs):
    from scipy.sparse import csr_matrix
    from scipy.sparse.csgraph import dijkstra
    height, width = costs.shape
    valid = costs >= 0
    node = np.full(costs.shape, -1, dtype=np.int64)
    count = int(np.count_nonzero(valid))
    node[valid] = np.arange(count)
    rows, cols, weights = [], [], []
    for dy, dx in ((0, 1), (1, 0), (1, 1), (1, -1)):
        ya, yb = slice(0, height - dy), slice(dy, height)
        xa = slice(max(0, -dx), width - max(0, dx))
        xb = slice(max(0, dx), width - max(0, -dx))
        both = valid[ya, xa] & valid[yb, xb]
        a, b = node[ya, xa][both], node[yb, xb][both]
        w = (costs[ya, xa][both] + costs[yb, xb][both]) * 0.5 * (np.sqrt(2.0) if dx and dy else 1.0)
        rows += [a, b]
        cols += [b, a]
        weights += [w, w]
    graph = csr_matrix((np.concatenate(weights), (np.concatenate(rows), np.concatenate(cols))), shape=(count, count))
    del rows, cols, weights
    sources = [int(node[r, c]) for r, c in starts]
    if min(sources) < 0:
        sys.stderr.write("mcp_compare: a start is not on the grid\n")
        return 2
    best = None
    reached = 0
    for _ in range(runs):
        t0 = time.perf_counter()
        dist = dijkstra(graph, directed=True, indices=sources, min_only=True)
        elapsed = time.perf_counter() - t0
        best = elapsed if best is None else min(best, elapsed)
        reached = int(np.count_nonzero(np.isfinite(dist)))
    print("seconds %.6f" % best)
    print("reached %d" % reached)
    print("edges %d" % graph.nnz)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
