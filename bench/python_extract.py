#!/usr/bin/python3
"""melceps-extract throughput: 100 files of 10 s at 16 kHz, with 1 and with 2 workers.

    PYTHONPATH=build/python python3 bench/python_extract.py [SCRATCH]

Prints files per second and the real-time factor (seconds of audio per second of wall
clock) for each worker count, and the speed-up of 2 workers over 1. The cluster's start is
timed too (it is part of a run).
"""
import sys
import tempfile
import time
from pathlib import Path

import numpy as np

from melceps import extract
from melceps._melceps import write_audio

FILES, SECONDS, FS = 100, 10.0, 16000


def main() -> None:
    root = Path(sys.argv[1] if len(sys.argv) > 1 else tempfile.mkdtemp(prefix="melceps-bench-"))
    corpus = root / "corpus"
    corpus.mkdir(parents=True, exist_ok=True)
    r = np.random.default_rng(0)
    for k in range(FILES):
        f = corpus / f"u{k:03d}.wav"
        if not f.exists():
            write_audio(str(f), 0.1 * r.standard_normal(int(SECONDS * FS)), FS)

    rates = {}
    for workers in (1, 2):
        out = root / f"out{workers}"
        t0 = time.perf_counter()
        rc = extract.main([str(corpus), "-o", str(out), "--workers", str(workers), "--force"])
        dt = time.perf_counter() - t0
        assert rc == 0
        rates[workers] = FILES / dt
        print(f"{workers} worker(s): {dt:.2f} s, {FILES / dt:.2f} files/s, "
              f"real-time factor {FILES * SECONDS / dt:.0f}x")
    print(f"2 workers / 1 worker: {rates[2] / rates[1]:.2f}x")


# Dask's workers are spawned and run this file again: only the parent runs the benchmark.
if __name__ == "__main__":
    main()
