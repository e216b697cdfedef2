"""melceps-extract: mel cepstra of a corpus, one task per file on a Dask cluster.

    melceps-extract [options] INPUT... -o OUTDIR

An input is an audio file, a folder (searched recursively for the formats libsndfile reads)
or a list file with one path a line. Each utterance's features (frames x coefficients) go to
OUTDIR in the chosen format, written under a temporary name and renamed when complete, and
OUTDIR/manifest.jsonl records every file. Files whose output exists are skipped unless
--force is given. The exit status is 1 when any file failed.
"""

from __future__ import annotations

import argparse
import contextlib
import json
import os
import struct
import sys
from pathlib import Path
from typing import Any, Iterable, Iterator

import numpy as np

FORMATS = {"npy": ".npy", "mat": ".mat", "htk": ".htk"}
HTK_MFCC = 6  # HTK parameter kind MFCC


def audio_extensions() -> set[str]:
    from . import _melceps
    return {"." + e.lower() for e in _melceps.audio_extensions()} | {".wav", ".flac", ".ogg"}


def collect(inputs: Iterable[str]) -> list[tuple[Path, Path]]:
    """(audio file, output name relative to OUTDIR without suffix) for every input."""
    exts = audio_extensions()
    found: list[tuple[Path, Path]] = []

    def add_file(p: Path) -> None:
        found.append((p, Path(p.stem)))

    for item in inputs:
        p = Path(item)
        if p.is_dir():
            for f in sorted(p.rglob("*")):
                if f.is_file() and f.suffix.lower() in exts:
                    found.append((f, f.relative_to(p).with_suffix("")))
        elif p.suffix.lower() in exts or not p.is_file():
            add_file(p)  # a missing file is recorded as failed
        else:
            for line in p.read_text().splitlines():
                line = line.strip()
                if line and not line.startswith("#"):
                    q = Path(line)
                    add_file(q if q.is_absolute() else p.parent / q)
    return found


def write_features(path: Path, feats: np.ndarray, fmt: str, shift_ms: float) -> None:
    """Writes one utterance's features under a temporary name, then renames it into place.

    A killed run leaves no output half written under its own name. Outputs are not synced to
    the disk one by one: that wait, for every file, is the same with one worker as with many.
    """
    path.parent.mkdir(parents=True, exist_ok=True)
    tmp = path.with_name(f".{path.name}.tmp{os.getpid()}")
    try:
        with open(tmp, "wb") as f:
            if fmt == "npy":
                np.save(f, feats)
            elif fmt == "mat":
                import scipy.io
                scipy.io.savemat(f, {"mfcc": feats})
            else:
                frames, ncoef = feats.shape
                f.write(struct.pack(">iihh", frames, int(round(shift_ms * 1e4)), 4 * ncoef,
                                    HTK_MFCC))
                f.write(feats.astype(">f4").tobytes())
        os.replace(tmp, path)
    finally:
        if tmp.exists():
            tmp.unlink()


def read_htk(path: str | os.PathLike) -> tuple[np.ndarray, int, int]:
    """(frames x coefficients float32, sample period in 100 ns, parameter kind) of a file."""
    data = Path(path).read_bytes()
    frames, period, size, kind = struct.unpack(">iihh", data[:12])
    feats = np.frombuffer(data[12:], dtype=">f4").reshape(frames, size // 4)
    return feats.astype(np.float32), period, kind


def process(audio: str, output: str, fmt: str, options: dict[str, Any]) -> dict[str, Any]:
    """Extracts one file; never raises: failures come back as a record with the message."""
    record: dict[str, Any] = {"file": audio, "output": output, "frames": 0, "seconds": 0.0,
                              "status": "ok", "error": None}
    try:
        delay = os.environ.get("MELCEPS_EXTRACT_TASK_DELAY")  # seconds; for testing lost workers
        if delay:
            import time
            time.sleep(float(delay))
        from . import mfcc, read_audio
        y, fs = read_audio(audio, int16_scale=True)
        record["seconds"] = y.shape[0] / fs
        feats = mfcc(y[:, 0], fs, **options)
        if feats.shape[0] == 0:
            raise ValueError(f"too short: {y.shape[0]} samples give no whole frame")
        write_features(Path(output), feats, fmt, options.get("frame_shift", 10.0))
        record["frames"] = int(feats.shape[0])
    except Exception as e:  # every failure is recorded and the batch goes on
        record["status"] = "failed"
        from . import Error
        record["error"] = str(e) if isinstance(e, (Error, ValueError)) else f"{type(e).__name__}: {e}"
    return record


def parse_args(argv: list[str] | None) -> argparse.Namespace:
    ap = argparse.ArgumentParser(
        prog="melceps-extract",
        description="Mel-frequency cepstra of audio files, one task per file on a Dask "
                    "cluster (a local one of --workers processes, or --scheduler's). Writes "
                    "OUTDIR/NAME.npy|.mat|.htk per file (frames x coefficients) and "
                    "OUTDIR/manifest.jsonl; skips files already done; exits 1 if any failed.",
        epilog="Across machines: run `dask-scheduler` on one, `dask-worker tcp://HOST:8786` on "
               "each over shared storage, then melceps-extract --scheduler tcp://HOST:8786 ...")
    from ._version import __version__
    ap.add_argument("--version", action="version", version=f"melceps-extract {__version__}")
    ap.add_argument("inputs", nargs="+", metavar="INPUT",
                    help="audio file, folder (searched recursively) or list file")
    ap.add_argument("-o", "--output", required=True, metavar="OUTDIR", help="output folder")
    ap.add_argument("--format", choices=sorted(FORMATS), default="npy",
                    help="npy (default), mat (variable mfcc) or htk")
    ap.add_argument("--workers", type=int, default=os.cpu_count() or 1,
                    help="worker processes of a local cluster (default: the number of cores; "
                         "0 runs in this process)")
    ap.add_argument("--scheduler", metavar="ADDRESS",
                    help="submit to an existing Dask scheduler, e.g. tcp://HOST:8786")
    ap.add_argument("--force", action="store_true", help="redo files whose output exists")
    from .features import OPTIONS
    for o in OPTIONS:  # the front end's options, as Kaldi's flags
        if o.name == "sample_frequency":
            continue
        kind = (lambda v: v.lower() in ("true", "1")) if o.type is bool else o.type
        ap.add_argument("--" + o.name.replace("_", "-"), dest=o.name, type=kind,
                        default=o.default, metavar=o.type.__name__.upper(), help=o.help)
    return ap.parse_args(argv)


@contextlib.contextmanager
def local_cluster(workers: int) -> Iterator[Any]:
    """A ``LocalCluster`` of ``workers`` single-threaded worker processes, quiet but for
    errors, closed on leaving the block.

    Workers are forked from a server process that has imported Dask once, instead of each
    starting a new interpreter: a cluster of two starts as fast as one of one, and a lost
    worker is replaced as fast. Their environment is Dask's, one BLAS thread each, but
    without MALLOC_TRIM_THRESHOLD_: with it the C library hands every large numpy temporary
    back to the system and faults it in again for the next file.
    """
    import logging
    import dask
    from dask.distributed import LocalCluster
    logging.getLogger("distributed").setLevel(logging.ERROR)
    one_thread = {"OMP_NUM_THREADS": 1, "MKL_NUM_THREADS": 1, "OPENBLAS_NUM_THREADS": 1}
    with dask.config.set({"distributed.nanny.pre-spawn-environ": one_thread,
                          "distributed.worker.multiprocessing-method": "forkserver"}):
        # The HTTP server on any free port: 8787, its default, is taken by any other cluster
        # on the machine, which Dask warns about.
        cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                               dashboard_address=":0", silence_logs=logging.ERROR)
        try:
            yield cluster
        finally:
            cluster.close()


def run_on_cluster(client, tasks: list[tuple[str, str]], fmt: str, options: dict[str, Any],
                   on_done, bar) -> None:
    """Runs every task on the client's cluster and hands each record to ``on_done``."""
    from dask.distributed import as_completed
    # One message submits every task and results come back in batches: per file the
    # scheduler, which shares the cores with the workers, does as little as it can.
    futures = client.map(process, [a for a, _ in tasks], [o for _, o in tasks], fmt=fmt,
                         options=options, pure=False,
                         key=[f"melceps-{k}-{os.getpid()}" for k in range(len(tasks))])
    task_of = {fut.key: task for fut, task in zip(futures, tasks)}
    for fut, rec in as_completed(futures, with_results=True, raise_errors=False):
        if fut.status != "finished":  # the task died (its workers kept dying)
            error = rec[1] if isinstance(rec, tuple) else rec  # (type, value, traceback)
            audio, out = task_of[fut.key]
            rec = {"file": audio, "output": out, "frames": 0, "seconds": 0.0,
                   "status": "failed", "error": str(error)}
        on_done(rec)
        if bar:
            bar.update()


def run_tasks(tasks: list[tuple[str, str]], fmt: str, options: dict[str, Any],
              args: argparse.Namespace, on_done) -> None:
    show = sys.stderr.isatty()
    bar = None
    if show:
        try:
            from tqdm import tqdm
            bar = tqdm(total=len(tasks), unit="file", file=sys.stderr)
        except ImportError:
            bar = None
    if args.scheduler is None and args.workers <= 0:
        for audio, out in tasks:
            on_done(process(audio, out, fmt, options))
            if bar:
                bar.update()
    elif args.scheduler:
        from dask.distributed import Client
        with Client(args.scheduler) as client:
            run_on_cluster(client, tasks, fmt, options, on_done, bar)
    elif tasks:  # nothing to do starts no cluster
        with local_cluster(args.workers) as cluster:
            from dask.distributed import Client
            with Client(cluster) as client:
                run_on_cluster(client, tasks, fmt, options, on_done, bar)
    if bar:
        bar.close()


def main(argv: list[str] | None = None) -> int:
    args = parse_args(argv)
    outdir = Path(args.output)
    outdir.mkdir(parents=True, exist_ok=True)
    fmt = args.format
    from .features import OPTIONS
    options = {o.name: getattr(args, o.name) for o in OPTIONS if o.name != "sample_frequency"}
    manifest = outdir / "manifest.jsonl"
    previous: dict[str, dict[str, Any]] = {}
    if manifest.exists():
        for line in manifest.read_text().splitlines():
            try:
                rec = json.loads(line)
                previous[rec["output"]] = rec
            except (ValueError, KeyError):
                continue  # a line cut short by a killed run
    records: dict[str, dict[str, Any]] = {}
    tasks: list[tuple[str, str]] = []
    for audio, rel in collect(args.inputs):
        out = str(outdir / (str(rel) + FORMATS[fmt]))
        if not args.force and os.path.exists(out):
            rec = dict(previous.get(out) or {"file": str(audio), "output": out, "frames": None,
                                              "seconds": None, "error": None})
            rec["status"] = "skipped"
            records[out] = rec
        else:
            tasks.append((str(audio), out))
    with open(manifest, "a") as log:
        def on_done(rec: dict[str, Any]) -> None:
            records[rec["output"]] = rec
            log.write(json.dumps(rec) + "\n")
            log.flush()
        run_tasks(tasks, fmt, options, args, on_done)
    # The manifest of this run, one line per file, replaces the running log.
    tmp = manifest.with_name(".manifest.jsonl.tmp")
    with open(tmp, "w") as f:
        for rec in records.values():
            f.write(json.dumps(rec) + "\n")
    os.replace(tmp, manifest)
    failed = [r for r in records.values() if r["status"] == "failed"]
    for r in failed:
        print(f"melceps-extract: {r['file']}: {r['error']}", file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
