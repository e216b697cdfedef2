#!/usr/bin/python3
"""chan2qf on 26 x 10^6 through melceps against the same call in mexhost.

    PYTHONPATH=build/python python3 bench/python_chan2qf.py build/bin/mexhost

mexhost's figure is the time of a script that makes the input and calls chan2qf, less the
time of the same script without the call (best of the repeats); Python's is the call alone.
"""
import subprocess
import sys
import time

import numpy as np

import melceps

REPEATS = 5
x = np.asfortranarray(np.ones((26, 10**6)))
melceps.chan2qf(x[:, :10], 12)  # load the modules
best = min((lambda t0: (melceps.chan2qf(x, 12), time.perf_counter() - t0)[1])(time.perf_counter())
           for _ in range(REPEATS))


def host(code: str) -> float:
    times = []
    for _ in range(REPEATS):
        t0 = time.perf_counter()
        subprocess.run([sys.argv[1], "-e", code], check=True, stdout=subprocess.DEVNULL)
        times.append(time.perf_counter() - t0)
    return min(times)


# Reading one element makes the deferred product happen, as handing it to numpy does.
with_call = host("x = ones(26, 1000000); y = chan2qf(x, 12); z = y(12, 1000000);")
without = host("x = ones(26, 1000000);")
print(f"melceps.chan2qf 26 x 10^6: {best * 1e3:.1f} ms")
print(f"mexhost chan2qf 26 x 10^6: {(with_call - without) * 1e3:.1f} ms "
      f"({with_call * 1e3:.1f} - {without * 1e3:.1f})")
print(f"ratio: {best / (with_call - without):.3f}")
