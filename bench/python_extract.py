#!/usr/bin/python3
"""melceps-extract throughput: 100 files of 10 s at 16 kHz, with 1 and with 2 workers.

    PYTHONPATH=build/python python3 bench/python_extract.py [SCRATCH [REPEATS]]

For 1 worker and 2 workers in turn, REPEATS times (3), and from the median of each figure:

- throughput: melceps-extract --scheduler on a local cluster whose workers are up and have
  loaded the modules (a corpus run on a standing cluster), in files per second and as a
  real-time factor (seconds of audio per second of wall clock), and the speed-up of 2 workers
  over 1;
- the whole program, melceps-extract --workers N run as a command, which also starts the
  interpreter, starts its cluster and closes it: fixed costs, whatever the number of workers.
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np

from melceps import extract
from melceps._melceps import write_audio

FILES, SECONDS, FS = 100, 10.0, 16000


def loaded() -> int:
    import melceps
    melceps._ensure_loaded()
    return os.getpid()


def main() -> None:
    from dask.distributed import Client
    root = Path(sys.argv[1] if len(sys.argv) > 1 else tempfile.mkdtemp(prefix="melceps-bench-"))
    corpus = root / "corpus"
    corpus.mkdir(parents=True, exist_ok=True)
    r = np.random.default_rng(0)
    for k in range(FILES):
        f = corpus / f"u{k:03d}.wav"
        if not f.exists():
            write_audio(str(f), 0.1 * r.standard_normal(int(SECONDS * FS)), FS)

    program = Path(extract.__file__).resolve().parents[1] / "melceps-extract"
    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    figures = {w: {"start": [], "run": [], "close": [], "program": []} for w in (1, 2)}
    for _ in range(repeats):
        for workers in (1, 2):
            out = str(root / f"out{workers}")
            fig = figures[workers]
            t0 = time.perf_counter()
            with extract.local_cluster(workers) as cluster:
                with Client(cluster) as client:
                    client.run(loaded)  # every worker in parallel
                    t1 = time.perf_counter()
                    rc = extract.main([str(corpus), "-o", out, "--force",
                                       "--scheduler", cluster.scheduler_address])
                    t2 = time.perf_counter()
            t3 = time.perf_counter()
            assert rc == 0
            fig["start"].append(t1 - t0)
            fig["run"].append(t2 - t1)
            fig["close"].append(t3 - t2)
            t0 = time.perf_counter()
            subprocess.run([sys.executable, str(program), str(corpus), "-o", out, "--force",
                            "--workers", str(workers)], check=True)
            fig["program"].append(time.perf_counter() - t0)
            print(f"{workers} worker(s): extraction {fig['run'][-1]:.2f} s (cluster start "
                  f"{fig['start'][-1]:.2f} s, close {fig['close'][-1]:.2f} s); whole program "
                  f"{fig['program'][-1]:.2f} s", flush=True)
    med = {w: {k: statistics.median(v) for k, v in fig.items()} for w, fig in figures.items()}
    print(f"median of {repeats}, {FILES} files of {SECONDS:.0f} s:")
    for workers, m in med.items():
        print(f"{workers} worker(s): throughput {FILES / m['run']:.1f} files/s, real-time factor "
              f"{FILES * SECONDS / m['run']:.0f}x ({m['run']:.2f} s); whole program "
              f"{m['program']:.2f} s, {FILES / m['program']:.1f} files/s (cluster start "
              f"{m['start']:.2f} s, close {m['close']:.2f} s)")
    print(f"2 workers / 1 worker: throughput {med[1]['run'] / med[2]['run']:.2f}x, whole program "
          f"{med[1]['program'] / med[2]['program']:.2f}x")


# Dask's workers are spawned and run this file again: only the parent runs the benchmark.
if __name__ == "__main__":
    main()
