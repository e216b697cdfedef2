#!/usr/bin/python3
"""melceps-extract throughput on a team's cluster, on a local one, against a plain loop, and on
an hour-long recording.

    PYTHONPATH=build/python python3 bench/python_extract.py [--files N] [--scratch DIR]
                                                            [--skip torchaudio,local,hour]
                                                            [--repeats N]

Each time is the best of --repeats runs (3), as the machine's other work only slows a run.

- scaling: a `dask-scheduler` on the loopback address and one, then two, single-threaded
  `dask-worker` processes with their nannies (Dask's default environment), all started and
  warmed up before the clock starts; N files of 10 s at 16 kHz (2,400 by default) through
  `melceps-extract --scheduler`, MFCC to ark; hours of audio per minute of the whole command
  and of the extraction itself (from the first task to the last result, as the program
  reports it: the command adds about a second of start-up, whatever the workers), and the
  ratios;
- the whole program with a local cluster of 1 and 2 workers, start-up included, and the
  start-up alone (cluster up and workers ready);
- a plain Python loop of torchaudio.compliance.kaldi.mfcc (float32) and numpy.save over the
  same files, one process, one thread: the rate of one worker against it;
- a one-hour recording through `--workers 0`: wall time and peak resident memory.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import wave
from pathlib import Path

import numpy as np

FS, SECONDS = 16000, 10.0


def write_corpus(root: Path, count: int) -> Path:
    corpus = root / "corpus"
    corpus.mkdir(parents=True, exist_ok=True)
    r = np.random.default_rng(0)
    t = np.arange(int(SECONDS * FS)) / FS
    for k in range(count):
        f = corpus / f"u{k:04d}.wav"
        if f.exists():
            continue
        y = 3000 * np.sin(2 * np.pi * (150 + k % 200) * t) + 300 * r.standard_normal(t.size)
        with wave.open(str(f), "wb") as w:
            w.setnchannels(1), w.setsampwidth(2), w.setframerate(FS)
            w.writeframes(y.astype("<i2").tobytes())
    return corpus


def extract(args: list[str]) -> tuple[float, float]:
    """(the command's wall time, its extraction's own as the program reports it) in s."""
    from melceps import extract as ex  # the program lies beside the package it runs
    program = Path(ex.__file__).resolve().parents[1] / "melceps-extract"
    t0 = time.perf_counter()
    run = subprocess.run([sys.executable, str(program)] + args, check=True,
                         stderr=subprocess.PIPE, text=True)
    wall = time.perf_counter() - t0
    work = float(re.search(r"h of audio in ([\d.]+) s", run.stderr)[1])
    return wall, work


def loopback_cluster(workers: int, nanny: bool = True):
    """A scheduler and `workers` nanny-managed single-threaded workers, as a team starts them."""
    port = 8786 + 100 + workers + (0 if nanny else 10)
    env = dict(os.environ)
    procs = [subprocess.Popen(["dask-scheduler", "--host", "127.0.0.1", "--port", str(port),
                               "--dashboard-address", ":0"], env=env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)]
    address = f"tcp://127.0.0.1:{port}"
    for _ in range(workers):
        procs.append(subprocess.Popen(["dask-worker", address, "--nthreads", "1",
                                       "--no-dashboard"] + ([] if nanny else ["--no-nanny"]),
                                      env=env,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    from dask.distributed import Client
    with Client(address, timeout=60) as client:
        client.wait_for_workers(workers, timeout=120)
    return address, procs


def stop(procs) -> None:
    for p in reversed(procs):
        p.terminate()
    for p in procs:
        try:
            p.wait(timeout=30)
        except subprocess.TimeoutExpired:
            p.kill()


def torchaudio_loop(files: list[Path], out: Path) -> float:
    import torch
    import torchaudio.compliance.kaldi as kaldi
    torch.set_num_threads(1)
    out.mkdir(parents=True, exist_ok=True)
    t0 = time.perf_counter()
    for f in files:
        with wave.open(str(f)) as w:
            y = np.frombuffer(w.readframes(w.getnframes()), "<i2").astype(np.float32)
        feats = kaldi.mfcc(torch.from_numpy(y)[None], sample_frequency=FS, dither=0.0)
        np.save(out / (f.stem + ".npy"), feats.numpy())
    return time.perf_counter() - t0


def hour(root: Path) -> tuple[float, float]:
    path = root / "hour.wav"
    if not path.exists():
        block = (3000 * np.sin(2 * np.pi * 300 * np.arange(FS * 60) / FS)).astype("<i2").tobytes()
        with wave.open(str(path), "wb") as w:
            w.setnchannels(1), w.setsampwidth(2), w.setframerate(FS)
            for _ in range(60):
                w.writeframes(block)
    # In a process of its own, which reports its own peak (the clusters' processes are
    # children of this one too).
    # VmHWM: ru_maxrss also counts what a forked child had of its parent before exec.
    code = ("import re, sys, time; from melceps import extract; t = time.perf_counter(); "
            "rc = extract.main(sys.argv[1:]); print(time.perf_counter() - t, re.search("
            "r'VmHWM:\\s*(\\d+)', open('/proc/self/status').read())[1]); sys.exit(rc)")
    t0 = time.perf_counter()
    run = subprocess.run([sys.executable, "-c", code, str(path), "-o", str(root / "hour-out"),
                          "--force", "--workers", "0"], check=True, capture_output=True,
                         text=True)
    wall = time.perf_counter() - t0
    seconds, peak_kb = run.stdout.split()[-2:]
    return wall, float(seconds), int(peak_kb) / 1024


def main() -> None:
    ap = argparse.ArgumentParser()
    ap.add_argument("--files", type=int, default=2400)
    ap.add_argument("--scratch", default=None)
    ap.add_argument("--skip", default="")
    ap.add_argument("--repeats", type=int, default=3, help="runs of each, the best reported")
    a = ap.parse_args()
    skip = set(a.skip.split(","))
    root = Path(a.scratch or tempfile.mkdtemp(prefix="melceps-bench-"))
    corpus = write_corpus(root, a.files)
    hours = a.files * SECONDS / 3600
    print(f"{a.files} files of {SECONDS:.0f} s ({hours:.2f} h of audio) in {corpus}", flush=True)

    rates = {}  # (whole command, extraction) in h of audio per minute
    for workers, nanny in ((1, True), (2, True), (1, False)):
        address, procs = loopback_cluster(workers, nanny)
        try:
            out = root / f"sched{workers}"
            extract([str(corpus), "-o", str(out), "--force", "--scheduler", address])  # warm-up
            runs = [extract([str(corpus), "-o", str(out), "--force", "--scheduler", address])
                    for _ in range(a.repeats)]
        finally:
            stop(procs)
        wall, work = min(w for w, _ in runs), min(x for _, x in runs)
        rate = (hours * 60 / wall, hours * 60 / work)
        print(f"dask-scheduler + {workers} dask-worker(s) {'with' if nanny else 'without'} "
              f"nannies: command {wall:.2f} s ({rate[0]:.2f} h of audio per minute), "
              f"extraction {work:.2f} s ({rate[1]:.2f} h/min)", flush=True)
        if nanny:
            rates[workers] = rate
        else:
            print(f"1 worker with its nanny / without: {rates[1][1] / rate[1]:.2f}x "
                  "(extraction rate)", flush=True)
        if workers == 2:
            print(f"2 workers / 1 worker: extraction {rates[2][1] / rates[1][1]:.2f}x, "
                  f"command {rates[2][0] / rates[1][0]:.2f}x", flush=True)

    if "local" not in skip:
        for workers in (1, 2):
            t = min(extract([str(corpus), "-o", str(root / f"local{workers}"), "--force",
                             "--workers", str(workers)])[0] for _ in range(a.repeats))
            from melceps import extract as ex
            t0 = time.perf_counter()
            with ex.local_cluster(workers) as cluster:
                from dask.distributed import Client
                with Client(cluster) as client:
                    client.wait_for_workers(workers)
                    up = time.perf_counter() - t0
            print(f"local cluster of {workers}: whole program {t:.2f} s "
                  f"({hours * 60 / t:.2f} h/min), of which cluster start-up {up:.2f} s",
                  flush=True)

    if "torchaudio" not in skip:
        files = sorted(corpus.glob("*.wav"))
        t = min(torchaudio_loop(files, root / "torchaudio") for _ in range(a.repeats))
        ta = hours * 60 / t
        print(f"torchaudio.compliance.kaldi.mfcc (float32) + numpy.save loop: {t:.2f} s, "
              f"{ta:.2f} h/min; one melceps-extract worker: {rates[1][1] / ta:.2f}x its rate "
              f"(extraction), {rates[1][0] / ta:.2f}x (whole command)", flush=True)

    if "hour" not in skip:
        wall, t, peak = hour(root)
        print(f"one-hour recording (--workers 0): {t:.2f} s in main(), {wall:.2f} s with the "
              f"interpreter's start; peak resident memory {peak:.0f} MB", flush=True)
    if not a.scratch:
        shutil.rmtree(root, ignore_errors=True)


# Dask's workers may run this file again: only the parent runs the benchmark.
if __name__ == "__main__":
    main()
