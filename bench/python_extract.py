#!/usr/bin/python3
"""melceps-extract throughput: 100 files of 10 s at 16 kHz, with 1 and with 2 workers.

    PYTHONPATH=build/python python3 bench/python_extract.py [SCRATCH [REPEATS]]

Runs 1 worker and 2 workers in turn REPEATS times (3) and prints, from the median time of
each, files per second and the real-time factor (seconds of audio per second of wall
clock), and the speed-up of 2 workers over 1. The cluster's start is timed too (it is part
of a run).
"""
import statistics
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

    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    times: dict[int, list[float]] = {1: [], 2: []}
    for _ in range(repeats):
        for workers in (1, 2):
            out = root / f"out{workers}"
            t0 = time.perf_counter()
            rc = extract.main([str(corpus), "-o", str(out), "--workers", str(workers), "--force"])
            times[workers].append(time.perf_counter() - t0)
            assert rc == 0
            print(f"{workers} worker(s): {times[workers][-1]:.2f} s", flush=True)
    rates = {}
    for workers, t in times.items():
        dt = statistics.median(t)
        rates[workers] = FILES / dt
        print(f"{workers} worker(s), median of {repeats}: {dt:.2f} s, {FILES / dt:.2f} files/s, "
              f"real-time factor {FILES * SECONDS / dt:.0f}x")
    print(f"2 workers / 1 worker: {rates[2] / rates[1]:.2f}x")

# Dask's workers are spawned and run this file again: only the parent runs the benchmark.
if __name__ == "__main__":
    main()
