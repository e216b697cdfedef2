#!/usr/bin/python3
"""Times the same work in this project and in numpy/scipy in one run, and prints the ratios.

The project's side runs in a worker process (bench/compare/worker.cpp) that this script
drives over a pipe; numpy's side runs here. Both sides work on the same arrays (written by
this script, loaded by the worker), take turns round by round, and each row reports the
median over the rounds. Before timing, each pair of results is checked to agree.

To add a row, add a Work to the table in work_items(): the worker's item name (an entry
of its item table), the inputs it needs, and the peer's work as a function of no arguments.

Usage: compare_numpy.py --worker PATH [--rounds N] [--only NAME ...]
(OPENBLAS_NUM_THREADS=N sets the BLAS threads of both sides; one by default.)
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field
from typing import Callable, Dict, List, Optional

# Both sides call the same OpenBLAS; unless the caller says otherwise, each with one thread, as
# the rest of the work runs. On a shared machine, threads of one side that spin after a call
# steal the cores of the other, and the ratios measure the neighbours. The worker inherits this.
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

import numpy as np  # noqa: E402  (numpy reads the thread count when it loads)
import scipy.fft  # noqa: E402


@dataclass
class Work:
    """One row: the project's work item against one peer doing the same work."""

    name: str  # what the row measures
    item: str  # the worker's work item
    peer_name: str  # what the peer runs
    peer: Optional[Callable[[], object]]  # the peer's work; None when the peer is unavailable
    inputs: Dict[str, np.ndarray] = field(default_factory=dict)  # loaded into the worker
    target: str = ""  # the ratio this row should meet, as text
    limit: Optional[float] = None  # the largest ratio that meets the target
    calls: int = 1  # calls per timing (many for work that takes microseconds)
    unit: str = "ms"  # "ms", "us" or "ns" per call
    check: Optional[Callable[[np.ndarray], np.ndarray]] = None  # peer result as ours, to compare
    tolerance: float = 1e-12  # relative to the largest magnitude of the result


class Worker:
    """The project's side: a worker process that runs work items on request."""

    def __init__(self, path: str, folder: str):
        self.folder = folder
        self.loaded = set()
        self.proc = subprocess.Popen(
            [path], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1
        )

    def ask(self, line: str) -> List[str]:
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()
        reply = self.proc.stdout.readline().split()
        if not reply or reply[0] != "ok":
            raise RuntimeError(f"worker: {line!r}: {' '.join(reply) or 'no reply'}")
        return reply[1:]

    def load(self, name: str, array: np.ndarray) -> None:
        if name in self.loaded:
            return
        rows, cols = array.shape if array.ndim == 2 else (array.size, 1)
        file = os.path.join(self.folder, name + ".f64")
        np.asarray(array, dtype=np.float64).ravel(order="F").tofile(file)
        self.ask(f"load {name} {rows} {cols} {file}")
        os.remove(file)
        self.loaded.add(name)

    def seconds(self, item: str, calls: int) -> float:
        return float(self.ask(f"time {item} {calls}")[0])

    def result(self, item: str) -> np.ndarray:
        file = os.path.join(self.folder, "result.f64")
        rows, cols = (int(v) for v in self.ask(f"save {item} {file}"))
        data = np.fromfile(file, dtype=np.float64).reshape((rows, cols), order="F")
        os.remove(file)
        return data

    def close(self) -> None:
        self.proc.stdin.write("quit\n")
        self.proc.stdin.close()
        self.proc.wait()


def peer_seconds(work: Callable[[], object], calls: int) -> float:
    start = time.perf_counter()
    for _ in range(calls):
        work()  # the result is freed at once, as the worker frees its own
    return (time.perf_counter() - start) / calls


def cosine_matrix(numchans: int, numceps: int) -> np.ndarray:
    """The type-II cosine terms of coefficients 1..numceps, scaled to be orthonormal."""
    n = np.arange(1, numceps + 1)[:, None]
    k = np.arange(1, numchans + 1)[None, :]
    return np.sqrt(2.0 / numchans) * np.cos(n * (np.pi / numchans) * (k - 0.5))


def lifter_weights(numceps: int, lifter: int) -> np.ndarray:
    return 1 + (lifter / 2) * np.sin((np.pi / lifter) * np.arange(1, numceps + 1))


def kaldi_mel_banks() -> Optional[Callable[[], object]]:
    """torchaudio's Kaldi mel banks for 128 channels of a 65536-point frame at 48 kHz."""
    try:
        import torch
        import torchaudio.compliance.kaldi as kaldi
    except ImportError:
        return None
    torch.set_num_threads(1)
    return lambda: kaldi.get_mel_banks(128, 65536, 48000.0, 0.0, 0.0, 100.0, -500.0, 1.0)


def work_items() -> List[Work]:
    rng = np.random.default_rng(20240617)
    channels, ceps, frames = 26, 12, 1_000_000
    logfbout = np.asfortranarray(rng.normal(2.0, 3.0, (channels, frames)))
    cosines = cosine_matrix(channels, ceps)
    cepstra = np.asfortranarray(rng.normal(0.0, 5.0, (ceps, frames)))
    weights = lifter_weights(ceps, 22)
    magnitudes = rng.uniform(1e-3, 1e3, 10_000_000)
    cepstra_small = np.asfortranarray(rng.normal(0.0, 5.0, (ceps, 10)))
    x1 = np.float64(31.6)
    frames = np.asfortranarray(rng.normal(0.0, 1.0, (400, 20_000)))
    frame = np.asfortranarray(frames[:, :1])
    chan2qf_inputs = {"logfbout": logfbout}
    quefwind_inputs = {"cepstra": cepstra}
    return [
        Work("chan2qf 26 x 10^6, 12 coefficients", "chan2qf", "cosine matrix @ data (numpy)",
             lambda: cosines @ logfbout, chan2qf_inputs, "<= 1.2", 1.2,
             check=lambda r: r),
        Work("chan2qf 26 x 10^6, 12 coefficients", "chan2qf",
             'scipy.fft.dct(type=2, norm="ortho", axis=0)',
             lambda: scipy.fft.dct(logfbout, type=2, norm="ortho", axis=0)[1:ceps + 1],
             chan2qf_inputs, "< 1.0", 1.0, check=lambda r: r),
        Work("quefwind 12 x 10^6, L = 22", "quefwind", "weights[:, None] * c (numpy)",
             lambda: weights[:, None] * cepstra, quefwind_inputs, "<= 1.5", 1.5,
             check=lambda r: r),
        Work("quefwind 12 x 10^6, pass-through (L = 0)", "quefwind_pass", "c itself (numpy view)",
             lambda: cepstra.view(), quefwind_inputs, "O(1)", None, calls=100, unit="us",
             check=lambda r: cepstra),
        Work("quefwind 12 x 10, pass-through (L = 0)", "quefwind_pass_small",
             "c itself (numpy view)", lambda: cepstra_small.view(), {"cepstra_small": cepstra_small},
             "as 12 x 10^6", None, calls=100, unit="us", check=lambda r: cepstra_small),
        Work("mlfDb 10^7", "db", "20 * np.log10(y)", lambda: 20 * np.log10(magnitudes),
             {"magnitudes": magnitudes}, "<= 1.0", 1.0,
             check=lambda r: r.reshape(-1, 1), tolerance=4e-16),
        Work("mlfDb 1 x 1, per call", "db_scalar", "20 * np.log10(x) on a float64",
             lambda: 20 * np.log10(x1), {}, "<= 150 ns", None, calls=20000, unit="ns"),
        Work("bandsetup(65536, 128, 48000)", "bandsetup", "torchaudio kaldi.get_mel_banks",
             kaldi_mel_banks(), {}, "<= 0.5", 0.5),
        Work("fft of 2 x 10^4 frames of 400 padded to 512", "fft512",
             "np.fft.fft(x, 512, axis=0)", lambda: np.fft.fft(frames, 512, axis=0),
             {"frames": frames}, "<= 1.0", 1.0, check=lambda r: r.real, tolerance=1e-13),
        # rfft gives the first 257 terms only; the others are their conjugates.
        Work("fft of 2 x 10^4 frames of 400 padded to 512", "fft512",
             "np.fft.rfft(x, 512, axis=0)", lambda: np.fft.rfft(frames, 512, axis=0),
             {"frames": frames}, "reported", None,
             check=lambda r: np.vstack([r.real, r.real[-2:0:-1]]), tolerance=1e-13),
        Work("fft of one frame of 400 padded to 512, per call", "fft512_one",
             "np.fft.fft(x, 512, axis=0)", lambda: np.fft.fft(frame, 512, axis=0),
             {"frame": frame}, "reported", None, calls=2000, unit="us",
             check=lambda r: r.real, tolerance=1e-13),
    ]


UNITS = {"ms": 1e3, "us": 1e6, "ns": 1e9}


def agree(ours: np.ndarray, theirs: np.ndarray, tolerance: float) -> bool:
    theirs = np.asarray(theirs)
    if ours.shape != theirs.shape:
        return False
    scale = max(np.max(np.abs(theirs)), np.finfo(float).tiny)
    return bool(np.max(np.abs(ours - theirs)) <= tolerance * scale)


def run_row(worker: Worker, work: Work, rounds: int) -> Dict[str, object]:
    for name, array in work.inputs.items():
        worker.load(name, array)
    row = {"work": work.name, "peer": work.peer_name, "target": work.target}
    if work.check is not None and work.peer is not None:
        row["agree"] = agree(worker.result(work.item), work.check(work.peer()), work.tolerance)
    ours, theirs = [], []
    worker.seconds(work.item, work.calls)  # warm: caches, buffers, the peer's plans
    if work.peer is not None:
        peer_seconds(work.peer, work.calls)
    for r in range(rounds):
        # Alternate who goes first, so that drift on a shared machine hits both sides alike.
        sides = [lambda: ours.append(worker.seconds(work.item, work.calls))]
        if work.peer is not None:
            sides.append(lambda: theirs.append(peer_seconds(work.peer, work.calls)))
        for side in sides if r % 2 == 0 else reversed(sides):
            side()
    row["ours"] = statistics.median(ours)
    row["theirs"] = statistics.median(theirs) if theirs else None
    ratios = [a / b for a, b in zip(ours, theirs)] if theirs else []
    row["ratio"] = statistics.median(ratios) if ratios else None
    if len(ratios) >= 4:
        q = statistics.quantiles(ratios, n=4)
        row["spread"] = f"{q[0]:.2f}-{q[2]:.2f}"
    met = None
    if work.limit is not None and row["ratio"] is not None:
        met = row["ratio"] <= work.limit
    elif work.unit == "ns" and work.target.startswith("<="):
        met = row["ours"] * 1e9 <= float(work.target.split()[1])
    row["met"] = met
    row["unit"] = work.unit
    return row


def print_table(rows: List[Dict[str, object]], rounds: int) -> None:
    print(f"\n| work | this project | peer | peer time | ratio (quartiles over {rounds} rounds)"
          " | target | met | results agree |")
    print("|---|---|---|---|---|---|---|---|")
    for row in rows:
        scale = UNITS[row["unit"]]
        unit = row["unit"]
        ours = f"{row['ours'] * scale:.3g} {unit}"
        theirs = f"{row['theirs'] * scale:.3g} {unit}" if row["theirs"] is not None else "n/a"
        ratio = f"{row['ratio']:.2f}x ({row.get('spread', '-')})" if row["ratio"] is not None else "-"
        met = {True: "yes", False: "NO", None: "-"}[row["met"]]
        agreed = {True: "yes", False: "NO", None: "-"}[row.get("agree")]
        print(f"| {row['work']} | {ours} | {row['peer']} | {theirs} | {ratio} | {row['target']}"
              f" | {met} | {agreed} |")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--worker", required=True, help="the built bench_compare_worker")
    parser.add_argument("--rounds", type=int, default=15, help="timings per side and row")
    parser.add_argument("--only", nargs="*", help="run only the rows whose work item is named")
    args = parser.parse_args()
    print(f"numpy {np.__version__}, scipy {scipy.__version__}, {os.cpu_count()} processors,"
          f" OPENBLAS_NUM_THREADS={os.environ['OPENBLAS_NUM_THREADS']} on both sides,"
          f" load average {os.getloadavg()[0]:.1f} at the start")
    items = [w for w in work_items() if not args.only or w.item in args.only]
    rows = []
    with tempfile.TemporaryDirectory() as folder:
        worker = Worker(args.worker, folder)
        try:
            for work in items:
                rows.append(run_row(worker, work, args.rounds))
                print(f"  {work.name} vs {work.peer_name}: done", file=sys.stderr)
        finally:
            worker.close()
    print_table(rows, args.rounds)
    print(f"\nload average {os.getloadavg()[0]:.1f} at the end")
    return 1 if any(row.get("agree") is False for row in rows) else 0


if __name__ == "__main__":
    sys.exit(main())
