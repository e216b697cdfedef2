#!/usr/bin/python3
"""chan2qf on 26 x 10^6 through melceps against the same call in mexhost.

    PYTHONPATH=build/python python3 bench/python_chan2qf.py build/bin/mexhost

Both sides time the call alone inside one process, repeated, on an input made once: Python
from the Fortran-ordered float64 array to the numpy result, mexhost with tic and toc around
the call and the read of one element, as a caller reads the result. Prints the best and the median of each and their ratios.
"""
import statistics
import subprocess
import sys
import time

import numpy as np

import melceps

REPEATS = 15
x = np.asfortranarray(np.ones((26, 10**6)))
melceps.chan2qf(x[:, :10], 12)  # load the modules


def python_times() -> list[float]:
    times = []
    for _ in range(REPEATS):
        t0 = time.perf_counter()
        y = melceps.chan2qf(x, 12)
        times.append(time.perf_counter() - t0)
        del y
    return times


def host_times() -> list[float]:
    script = (f"x = ones(26, 1000000); for k = 1:{REPEATS}, tic; y = chan2qf(x, 12); "
              "z = y(12, 1000000); t = toc; fprintf('%.9f\\n', t); y = []; end")
    out = subprocess.run([sys.argv[1], "-e", script], check=True, capture_output=True, text=True)
    return [float(v) for v in out.stdout.split()]


py, host = python_times(), host_times()
for name, t in (("melceps", py), ("mexhost", host)):
    print(f"{name} chan2qf 26 x 10^6: best {min(t) * 1e3:.1f} ms, "
          f"median {statistics.median(t) * 1e3:.1f} ms")
print(f"ratio: best {min(py) / min(host):.3f}, "
      f"median {statistics.median(py) / statistics.median(host):.3f}")
