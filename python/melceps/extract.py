"""melceps-extract: features of a corpus through the front end, in batches on a Dask cluster
(the program: its inputs, flags, cluster and outputs over the whole run; extract_task holds
what a task runs in a worker).

    melceps-extract [options] INPUT... -o OUTDIR

An input is a Kaldi data directory (one with a ``wav.scp``; ``segments`` and ``utt2spk`` are
read when present), an audio file, a folder (searched recursively for the formats libsndfile
reads) or a list file with one path a line. Features go to OUTDIR as Kaldi archives with
``feats.scp``, or one npy, mat or HTK file per utterance; ``--cmvn-stats`` writes the
statistics of each speaker (or utterance) to ``cmvn.ark`` and ``cmvn.scp`` instead. Every
output is written under a temporary name and renamed when complete; OUTDIR/manifest.jsonl
records every utterance. A re-run does only what is missing unless --force is given. The
exit status is 1 when any utterance failed.
"""

from __future__ import annotations

import argparse
import contextlib
import json
import os
import re
import sys
import time
from pathlib import Path
from typing import Any, Callable, Iterable, Iterator

import numpy as np

from . import datadir, htk, kaldi_io
from .extract_task import Item, failed, process_batch
from .htk import read as read_htk  # noqa: F401  (read back in the tests)

FORMATS = {"npy": ".npy", "mat": ".mat", "htk": ".htk", "ark": ".ark"}
FEATURE_TYPES = ("mfcc", "fbank", "spectrogram")
CMVN_MODES = ("none", "utterance", "sliding")
# Audio per Dask task by default: scheduling a task then costs a small share of its work.
BATCH_SECONDS = 300.0
ARCHIVE = re.compile(r"feats\.(\d+)\.ark")


# ---- inputs ------------------------------------------------------------------------------

def audio_extensions() -> set[str]:
    from . import _melceps
    return {"." + e.lower() for e in _melceps.audio_extensions()} | {".wav", ".flac", ".ogg"}


def collect(inputs: Iterable[str]) -> tuple[list[Item], list[dict[str, Any]]]:
    """The utterances of every input, and the records of the lines that give none."""
    exts = audio_extensions()
    items: list[Item] = []
    problems: list[dict[str, Any]] = []

    def add_file(p: Path, utt: Path) -> None:
        where = str(p)
        items.append(Item(str(utt), datadir.Recording(str(utt), str(p), False, where),
                          where=where))

    for entry in inputs:
        p = Path(entry)
        if datadir.is_data_dir(p):
            d = datadir.read_data_dir(p)
            for u in d.utterances:
                items.append(Item(u.id, u.recording, u.start, u.end, u.speaker, where=u.where))
            for pr in d.problems:
                problems.append(failed({"utt": pr.id, "file": pr.where, "speaker": None,
                                        "output": None, "seconds": 0.0}, str(pr)))
        elif p.is_dir():
            for f in sorted(p.rglob("*")):
                if f.is_file() and f.suffix.lower() in exts:
                    add_file(f, f.relative_to(p).with_suffix(""))
        elif p.suffix.lower() in exts or not p.is_file():
            add_file(p, Path(p.stem))  # a missing file is recorded as failed
        else:
            for line in p.read_text().splitlines():
                line = line.strip()
                if line and not line.startswith("#"):
                    q = Path(line)
                    q = q if q.is_absolute() else p.parent / q
                    add_file(q, Path(q.stem))
    return items, problems


def expected_seconds(items: list[Item]) -> None:
    """Each item's duration as far as it is known without reading audio: a segment's own, a
    file's from its header; a command's output counts as the mean of the others."""
    from ._melceps import AudioSource
    known = []
    for it in items:
        if it.end is not None:
            it.seconds = it.end - it.start
        elif not it.recording.piped:
            try:
                a = AudioSource.open(it.recording.source)
                it.seconds = max(a.frames / a.rate - it.start, 0.0)
            except RuntimeError:
                it.seconds = 0.0  # the worker reports it
        else:
            continue
        known.append(it.seconds)
    guess = float(np.mean(known)) if known else 10.0
    for it in items:
        if it.end is None and it.recording.piped:
            it.seconds = guess


def batches(items: list[Item], seconds: float) -> list[list[Item]]:
    """Consecutive items in batches of about ``seconds`` of audio; the segments of one
    recording stay in one batch, so that it is read (or its command run) once."""
    out: list[list[Item]] = []
    current: list[Item] = []
    total = 0.0
    for k, it in enumerate(items):
        current.append(it)
        total += it.seconds
        same_next = k + 1 < len(items) and items[k + 1].recording is it.recording
        if total >= seconds and not same_next:
            out.append(current)
            current, total = [], 0.0
    if current:
        out.append(current)
    return out


# ---- options -----------------------------------------------------------------------------

def kaldi_bool(text: str) -> bool:
    t = text.lower()
    if t in ("true", "t", "1", "yes"):
        return True
    if t in ("false", "f", "0", "no"):
        return False
    raise argparse.ArgumentTypeError(f"expected true or false, not {text!r}")


# Options the tool sets itself: --sample-frequency is the rate the features are made for,
# and a file at another rate is resampled to it.
OWN_OPTIONS = {"sample_frequency"}


def add_option_flags(group, options, prefix: str = "") -> None:
    """One Kaldi-style flag per option of a front end's options record: ``--num-mel-bins
    23``, ``--snip-edges=false`` (a bare boolean flag is true). Unset flags stay None."""
    for o in options:
        if o.name in OWN_OPTIONS:
            continue
        dest = prefix + o.name
        flag = "--" + dest.replace("_", "-")
        if o.type is bool:
            group.add_argument(flag, dest=dest, type=kaldi_bool, nargs="?", const=True,
                               metavar="true|false", help=o.help)
        else:
            group.add_argument(flag, dest=dest, type=o.type, metavar=o.type.__name__.upper(),
                               help=o.help)


def given(args: argparse.Namespace, options, prefix: str = "") -> dict[str, Any]:
    out = {}
    for o in options:
        if o.name in OWN_OPTIONS:
            continue
        v = getattr(args, prefix + o.name)
        if v is not None:
            out[o.name] = v
    return out


def parse_args(argv: list[str] | None) -> argparse.Namespace:
    import melceps
    ap = argparse.ArgumentParser(
        prog="melceps-extract",
        description="Features of a corpus (a Kaldi data directory, audio files, folders or "
                    "list files) in batches on a Dask cluster (a local one of --workers "
                    "processes, or --scheduler's). Writes Kaldi archives and feats.scp, or "
                    "OUTDIR/UTT.npy|.mat|.htk, and OUTDIR/manifest.jsonl; does only what is "
                    "missing; exits 1 if any utterance failed.",
        epilog="Across machines: run `dask-scheduler` on one, `dask-worker tcp://HOST:8786` on "
               "each over shared storage, then melceps-extract --scheduler tcp://HOST:8786 ...")
    from ._version import __version__
    ap.add_argument("--version", action="version", version=f"melceps-extract {__version__}")
    ap.add_argument("inputs", nargs="+", metavar="INPUT",
                    help="Kaldi data directory, audio file, folder or list file")
    ap.add_argument("-o", "--output", required=True, metavar="OUTDIR", help="output folder")
    ap.add_argument("--format", choices=sorted(FORMATS), default="ark",
                    help="ark (default: Kaldi archives and feats.scp), npy, mat or htk")
    ap.add_argument("--double", action="store_true", help="write float64 instead of float32")
    ap.add_argument("--feature-type", choices=FEATURE_TYPES, default="mfcc", help="(mfcc)")
    ap.add_argument("--sample-frequency", type=float, metavar="HZ",
                    help="the rate the features are made for; other rates are resampled "
                         "(default: each file's own rate)")
    ap.add_argument("--channel", type=int, default=0,
                    help="channel of multichannel files, from 0 (0)")
    ap.add_argument("--add-deltas", action="store_true", help="append deltas")
    ap.add_argument("--cmvn", choices=CMVN_MODES, default="none",
                    help="mean (and variance) normalisation at extraction (none)")
    ap.add_argument("--cmvn-stats", action="store_true",
                    help="write cmvn.ark and cmvn.scp (per speaker with utt2spk, else per "
                         "utterance) instead of features")
    ap.add_argument("--workers", type=int, default=os.cpu_count() or 1,
                    help="worker processes of a local cluster (default: the number of cores; "
                         "0 runs in this process)")
    ap.add_argument("--scheduler", metavar="ADDRESS",
                    help="submit to an existing Dask scheduler, e.g. tcp://HOST:8786")
    ap.add_argument("--batch-seconds", type=float, default=BATCH_SECONDS,
                    help=f"seconds of audio a task carries at most ({BATCH_SECONDS:.0f})")
    ap.add_argument("--force", action="store_true", help="redo utterances already done")
    add_option_flags(ap.add_argument_group("front end"), melceps.OPTIONS)
    add_option_flags(ap.add_argument_group("deltas (with --add-deltas)"),
                     melceps.DELTA_OPTIONS, "delta_")
    add_option_flags(ap.add_argument_group("normalisation (with --cmvn)"), melceps.CMVN_OPTIONS)
    args = ap.parse_args(argv)
    if args.cmvn_stats and args.cmvn != "none":
        ap.error("--cmvn-stats gathers statistics of features before normalisation; "
                 "give --cmvn none")
    if args.format == "htk":
        if args.htk_compat is False:
            ap.error("--format htk keeps energy or c0 last: it needs --htk-compat=true")
        if args.feature_type != "spectrogram":  # whose layout has no energy or c0 to move
            args.htk_compat = True
    if args.sample_frequency is not None and not args.sample_frequency > 0:
        ap.error("--sample-frequency must be positive")
    if args.channel < 0:
        ap.error("--channel counts from 0")
    return args


def settings_of(args: argparse.Namespace) -> dict[str, Any]:
    """What a worker needs to compute and write an utterance."""
    import melceps
    options = given(args, melceps.OPTIONS)
    deltas = ({o.name: o.default for o in melceps.DELTA_OPTIONS}
              | given(args, melceps.DELTA_OPTIONS, "delta_") if args.add_deltas else None)
    cmvn = given(args, melceps.CMVN_OPTIONS)
    if args.cmvn == "utterance":
        cmvn = {"norm_vars": cmvn.get("norm_vars", False)}
    full = {o.name: o.default for o in melceps.OPTIONS} | options
    s = {"kind": args.feature_type, "options": options, "deltas": deltas,
         "cmvn": args.cmvn, "cmvn_options": cmvn, "stats": args.cmvn_stats,
         "format": args.format, "dtype": "float64" if args.double else "float32",
         "channel": args.channel, "sample_frequency": args.sample_frequency,
         "frame_shift": full["frame_shift"]}
    if args.format == "htk":
        s["htk_kind"] = htk.kind_of(args.feature_type, full, deltas["order"] if deltas else 0,
                                    args.cmvn != "none" or full.get("subtract_mean", False))
    return s


# ---- on the cluster ----------------------------------------------------------------------

@contextlib.contextmanager
def local_cluster(workers: int) -> Iterator[Any]:
    """A ``LocalCluster`` of ``workers`` single-threaded worker processes with Dask's own
    environment, quiet but for errors, its dashboard's address printed, closed on leaving.

    Workers are forked from a server process that has imported Dask once, instead of each
    starting a new interpreter: a cluster of two starts as fast as one of one.
    """
    import logging
    import dask
    from dask.distributed import LocalCluster
    logging.getLogger("distributed").setLevel(logging.ERROR)
    with dask.config.set({"distributed.worker.multiprocessing-method": "forkserver"}):
        # The HTTP server on any free port: 8787, its default, is taken by any other cluster
        # on the machine, which Dask warns about.
        cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                               dashboard_address=":0", silence_logs=logging.ERROR)
        try:
            print(f"melceps-extract: {workers} worker(s), dashboard at {cluster.dashboard_link}",
                  file=sys.stderr, flush=True)
            yield cluster
        finally:
            cluster.close()


class Progress:
    """Hours of audio done and the rate, on standard error when it is a terminal."""

    def __init__(self, seconds: float):
        self.bar = None
        self.t0 = time.perf_counter()
        self.done = 0.0
        if sys.stderr.isatty() and seconds > 0:
            try:
                from tqdm import tqdm
                self.bar = tqdm(total=seconds / 3600, unit="h", file=sys.stderr,
                                bar_format="{l_bar}{bar}| {n:.2f}/{total:.2f} h of audio "
                                           "[{elapsed}<{remaining}{postfix}]")
            except ImportError:
                pass

    def start(self) -> None:
        """The clock starts with the work (after a local cluster has started)."""
        self.t0 = time.perf_counter()
        if self.bar:
            self.bar.reset(total=self.bar.total)

    def update(self, records: list[dict[str, Any]]) -> None:
        seconds = sum(r.get("seconds") or 0.0 for r in records)
        self.done += seconds
        if self.bar:
            self.bar.update(seconds / 3600)
            rate = self.done / 3600 / max(time.perf_counter() - self.t0, 1e-9) * 60
            self.bar.set_postfix_str(f"{rate:.2f} h/min", refresh=False)

    def close(self) -> None:
        if self.bar:
            self.bar.close()


def workers_of(client) -> int:
    return max(len(client.scheduler_info().get("workers", {})), 1)


def run_on_cluster(client, tasks: list[tuple[list[Item], str | None]], s: dict[str, Any],
                   on_done: Callable[[list[dict[str, Any]]], None]) -> None:
    from dask.distributed import as_completed
    # One message submits every task and results come back in batches.
    futures = client.map(process_batch, [b for b, _ in tasks], [a for _, a in tasks], s=s,
                         pure=False,
                         key=[f"melceps-{k}-{os.getpid()}" for k in range(len(tasks))])
    task_of = {fut.key: task for fut, task in zip(futures, tasks)}
    for fut, result in as_completed(futures, with_results=True, raise_errors=False):
        if fut.status != "finished":  # the task died (its workers kept dying)
            error = result[1] if isinstance(result, tuple) else result  # (type, value, tb)
            result = [failed(it.record(), f"the task failed: {error}") for it in task_of[fut.key][0]]
        on_done(result)


def split(items: list[Item], seconds: float, workers: int) -> list[list[Item]]:
    """Batches of at most ``seconds`` of audio (as expected_seconds found it), and at least
    two a worker when the corpus is smaller than that."""
    total = sum(it.seconds for it in items)
    return batches(items, min(seconds, total / (2 * max(workers, 1))))


def run_tasks(todo: list[Item], s: dict[str, Any], args: argparse.Namespace,
              next_archive: int, on_done, on_start) -> None:
    """Runs every item in batches, in this process, on a local cluster or on --scheduler's,
    handing the archives' names to ``on_start`` as the work starts, before any is written,
    and the records of each batch to ``on_done`` as it ends."""
    if not todo:
        return  # nothing to do starts no cluster
    out = Path(args.output).resolve()

    def tasks(workers: int) -> list[tuple[list[Item], str | None]]:
        bs = split(todo, args.batch_seconds, workers)
        ark = s["format"] == "ark" and not s["stats"]
        names = [f"feats.{next_archive + k}.ark" for k in range(len(bs))] if ark else []
        on_start(names)
        return [(b, str(out / name) if ark else None) for b, name in zip(bs, names or bs)]

    if args.scheduler is None and args.workers <= 0:
        for b, archive in tasks(1):
            on_done(process_batch(b, archive, s))
        return
    from dask.distributed import Client
    with contextlib.ExitStack() as stack:
        if args.scheduler:
            client = stack.enter_context(Client(args.scheduler))
        else:
            client = stack.enter_context(Client(stack.enter_context(local_cluster(args.workers))))
        run_on_cluster(client, tasks(workers_of(client)), s, on_done)


# ---- the run -----------------------------------------------------------------------------

def read_manifest(path: Path) -> tuple[dict[str, dict[str, Any]], set[str]]:
    """The records of earlier runs by utterance, and the names of the archives they made."""
    previous: dict[str, dict[str, Any]] = {}
    archives: set[str] = set()
    if path.exists():
        for line in path.read_text().splitlines():
            try:
                rec = json.loads(line)
                if "archives" in rec:
                    archives.update(rec["archives"])
                    continue
                if rec.get("output") and ARCHIVE.fullmatch(
                        Path(rec["output"].rpartition(":")[0]).name):
                    archives.add(Path(rec["output"].rpartition(":")[0]).name)
                if rec["status"] != "failed" or rec["utt"] not in previous:
                    previous[rec["utt"]] = rec
            except (ValueError, KeyError, TypeError):
                continue  # a line cut short by a killed run, or of an older manifest
    return previous, archives


def done_before(rec: dict[str, Any] | None, s: dict[str, Any]) -> bool:
    if not rec or rec.get("status") not in ("ok", "skipped"):
        return False
    if s["stats"]:
        return "stats" in rec
    if "stats" in rec or not rec.get("output"):
        return False
    path = rec["output"].rpartition(":")[0] if s["format"] == "ark" else rec["output"]
    return os.path.exists(path) and path.endswith(FORMATS[s["format"]])


def finish_outputs(outdir: Path, records: dict[str, dict[str, Any]], s: dict[str, Any],
                   has_speakers: bool, ours: set[str]) -> None:
    """feats.scp over every archive, or cmvn.ark and cmvn.scp. Archives of this tool's runs
    (``ours``) that no line refers to any more, of a run redone with --force or written by
    a killed one before its records were, are removed once the new feats.scp is in place;
    other files are left alone."""
    ok = [r for r in records.values() if r["status"] in ("ok", "skipped")]
    if s["stats"]:
        sums: dict[str, np.ndarray] = {}
        for r in ok:
            key = r["speaker"] if has_speakers else r["utt"]
            st = np.asarray(r["stats"], dtype=np.float64)
            sums[key] = sums[key] + st if key in sums else st
        kaldi_io.write_script(outdir / "cmvn.scp",
                              kaldi_io.write_archive(outdir / "cmvn.ark", sums))
        return
    if s["format"] != "ark":
        return
    kaldi_io.write_script(outdir / "feats.scp", {r["utt"]: r["output"] for r in ok})
    used = {Path(r["output"].rpartition(":")[0]).name for r in ok}
    for f in outdir.iterdir():
        if (f.name in ours and f.name not in used) or \
                re.fullmatch(r"\.feats\.\d+\.ark\.tmp\d+", f.name):
            f.unlink()


def check_settings(s: dict[str, Any]) -> str | None:
    """The front end's message for options it refuses, before any file is read. Without
    --sample-frequency they are tried at 48 kHz, where cut-offs and bin counts are least
    bound; what only a lower rate refuses is each file's own failure."""
    import melceps
    if not (s["options"] or s["deltas"] or s["cmvn_options"] or s["sample_frequency"]):
        return None  # the defaults (its first computer would load the library here)
    try:
        melceps.OnlineFeatures(s["kind"], s["sample_frequency"] or 48000.0, deltas=s["deltas"],
                               sliding_cmvn=s["cmvn_options"] if s["cmvn"] == "sliding" else None,
                               **s["options"])
        if s["cmvn"] == "utterance":
            melceps.cmvn(np.zeros((1, 1)), **s["cmvn_options"])
    except (ValueError, TypeError) as e:
        return str(e)
    return None


def main(argv: list[str] | None = None) -> int:
    args = parse_args(argv)
    s = settings_of(args)
    refused = check_settings(s)
    if refused:
        print(f"melceps-extract: {refused}", file=sys.stderr)
        return 2
    outdir = Path(args.output)
    outdir.mkdir(parents=True, exist_ok=True)
    items, problems = collect(args.inputs)
    has_speakers = any(it.speaker is not None for it in items)
    # Records by utterance; a bad line of a data directory by its place.
    records: dict[str, dict[str, Any]] = {r["file"]: r for r in problems}
    manifest = outdir / "manifest.jsonl"
    previous, ours = read_manifest(manifest)
    todo: list[Item] = []
    for it in items:
        if it.utt in records:
            records[it.where] = failed(it.record(), f"{it.where}: utterance id {it.utt!r} is "
                                                    f"also {records[it.utt]['file']}")
            continue
        if s["format"] != "ark" and not s["stats"]:
            it.output = str(outdir / (it.utt + FORMATS[s["format"]]))
        elif any(c.isspace() for c in it.utt):
            records[it.utt] = failed(it.record(), f"a Kaldi key has no spaces: {it.utt!r}")
            continue
        prev = previous.get(it.utt)
        if not args.force and done_before(prev, s):
            records[it.utt] = dict(prev, status="skipped")
        elif not args.force and it.output and os.path.exists(it.output):
            records[it.utt] = dict(prev or it.record(), status="skipped", output=it.output)
        else:
            records[it.utt] = it.record()  # until the worker's record replaces it
            todo.append(it)
    numbers = [int(m.group(1)) for f in outdir.iterdir() if (m := ARCHIVE.fullmatch(f.name))]
    expected_seconds(todo)
    progress = Progress(sum(it.seconds for it in todo))
    with open(manifest, "a") as log:
        def on_done(batch: list[dict[str, Any]]) -> None:
            for rec in batch:
                records[rec["utt"]] = rec
                log.write(json.dumps(rec) + "\n")
            log.flush()
            progress.update(batch)

        def on_start(archives: list[str]) -> None:
            progress.start()
            if archives:
                ours.update(archives)
                log.write(json.dumps({"archives": archives}) + "\n")
                log.flush()

        run_tasks(todo, s, args, max(numbers, default=0) + 1, on_done, on_start)
    progress.close()
    elapsed = time.perf_counter() - progress.t0
    finish_outputs(outdir, records, s, has_speakers, ours)
    # The manifest of this run, one line per utterance, replaces the running log.
    kaldi_io.write_text_atomic(manifest, [json.dumps(r) for r in records.values()])
    bad = [r for r in records.values() if r["status"] == "failed"]
    for r in bad:
        print(f"melceps-extract: {r['utt']}: {r['error']}", file=sys.stderr)
    if todo:  # the rate of the extraction itself, as the progress bar gives it
        count = {k: sum(r["status"] == k for r in records.values())
                 for k in ("ok", "skipped", "failed")}
        hours = progress.done / 3600
        print(f"melceps-extract: {count['ok']} done, {count['skipped']} skipped, "
              f"{count['failed']} failed; {hours:.2f} h of audio in {elapsed:.2f} s "
              f"({hours * 60 / max(elapsed, 1e-9):.2f} h/min)", file=sys.stderr)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
