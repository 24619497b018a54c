#!/usr/bin/env python3
"""The same search as the route wave, done by scikit-image's MCP_Geometric.

Usage: mcp_compare.py COSTS WIDTH HEIGHT X1 Y1 [X2 Y2 ...] [--runs N]

COSTS is a raw little-endian float64 grid of HEIGHT rows of WIDTH cells, row
after row: 1 for a road pixel, 10 for a congestion pixel, -1 where the wave
never goes (MCP skips negative costs). The starts are the evacuation places,
as (x, y) pixel positions. Prints the best time of the search alone
(find_costs) over the runs and the number of cells it reached.
"""
import sys
import time

import numpy as np
from skimage.graph import MCP_Geometric


def main(argv):
    runs = 3
    if "--runs" in argv:
        at = argv.index("--runs")
        runs = int(argv[at + 1])
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


if __name__ == "__main__":
    sys.exit(main(sys.argv))
