"""What a task of melceps-extract runs in a Dask worker: the worker's set-up, once, then the
utterances of a batch read, resampled and computed block by block through the front end's
online computer, and written to one archive or one file each."""

from __future__ import annotations

import contextlib
import ctypes
import os
import time
from dataclasses import dataclass
from pathlib import Path
from typing import Any

import numpy as np

from . import datadir, htk, kaldi_io

# Samples read, resampled and computed at a time: memory is this block and the output.
BLOCK_SAMPLES = 1 << 16


@dataclass
class Item:
    """One utterance to extract: the whole of a recording or a segment of it."""
    utt: str
    recording: datadir.Recording
    start: float = 0.0
    end: float | None = None
    speaker: str | None = None
    output: str | None = None  # the file of a per-utterance format
    seconds: float = 0.0       # expected duration, for batching
    where: str = ""            # the path, or "FILE:LINE" of the line that made it

    def record(self) -> dict[str, Any]:
        rec = self.recording
        return {"utt": self.utt, "file": (rec.source + " |") if rec.piped else rec.source,
                "speaker": self.speaker, "output": self.output, "frames": 0, "seconds": 0.0,
                "rate": None, "channel": None, "status": "ok", "error": None}


def failed(rec: dict[str, Any], message: str) -> dict[str, Any]:
    rec.update(status="failed", error=message, frames=0)
    return rec


_prepared = False


def set_blas_threads(n: int) -> None:
    """Sets the threads of every BLAS (and OpenMP) library the process has loaded, whatever
    the environment said when it started."""
    with open("/proc/self/maps") as f:
        paths = {fields[5] for fields in map(str.split, f)
                 if len(fields) >= 6 and ".so" in os.path.basename(fields[5])}
    for path in sorted(paths):
        calls = (("openblas_set_num_threads",) if "blas" in path
                 else ("omp_set_num_threads",) if "libgomp" in path else ())
        for call in calls:
            try:
                getattr(ctypes.CDLL(path), call)(ctypes.c_int(n))
            except (OSError, AttributeError):
                continue


def prepare_worker() -> None:
    """Once per process: loads the library, keeps freed memory in the process and runs BLAS
    on the calling thread.

    Dask's nanny starts workers with MALLOC_TRIM_THRESHOLD_ set, which also fixes glibc's
    mmap threshold at 128 KiB: every block's buffers would be mapped, handed back on free
    and faulted in again for the next block. Allocations below 32 MiB come from the heap
    here, and up to 256 MiB of free heap stays with the process.
    """
    global _prepared
    if _prepared:
        return
    _prepared = True
    import melceps  # noqa: F401  (the library, once)
    try:
        libc = ctypes.CDLL(None)
        m_trim_threshold, m_mmap_threshold = -1, -3
        libc.mallopt(m_mmap_threshold, 32 << 20)
        libc.mallopt(m_trim_threshold, 256 << 20)
    except (OSError, AttributeError):
        pass  # not glibc
    set_blas_threads(1)


def compute(item: Item, source, s: dict[str, Any], rec: dict[str, Any]) -> np.ndarray:
    """The features of one utterance, its audio read and computed block by block."""
    import melceps
    from ._melceps import Resampler
    rate = source.rate
    rec.update(rate=rate, channel=s["channel"], channels=source.channels)
    # Sample numbers rounded, as Kaldi's extract-segments takes them.
    first = int(round(item.start * rate))
    last = source.frames if item.end is None else int(round(item.end * rate))
    if last > source.frames:
        over = (last - source.frames) / rate
        if over > datadir.MAX_OVERSHOOT:
            raise ValueError(f"the segment ends at {item.end:g} s, beyond the recording's "
                             f"{source.frames / rate:g} s")
        last = source.frames
    if source.frames == 0:
        raise ValueError("the recording holds no samples")
    if first >= last:
        raise ValueError(f"the segment starts at {item.start:g} s, at or beyond the "
                         f"recording's end ({source.frames / rate:g} s)")
    rec["seconds"] = (last - first) / rate
    fs = s["sample_frequency"] or rate
    resampler = Resampler(rate, fs) if fs != rate else None
    post = s["cmvn"] == "utterance" or s["stats"]
    online_deltas = s["deltas"] if s["cmvn"] != "utterance" else None
    sliding = s["cmvn_options"] if s["cmvn"] == "sliding" else None
    dtype = np.float64 if post or s["dtype"] == "float64" else np.float32
    online = melceps.OnlineFeatures(s["kind"], fs, deltas=online_deltas, sliding_cmvn=sliding,
                                    dtype=dtype, **s["options"])
    source.seek(first)
    blocks, done, remaining = [], 0, last - first
    while remaining > 0:
        x = source.read(min(BLOCK_SAMPLES, remaining))
        remaining -= x.shape[0]
        if resampler is not None:
            x = resampler.process(x, remaining == 0)
        online.accept_waveform(x)
        if remaining == 0:
            online.input_finished()
        ready = online.num_frames_ready
        if ready > done:
            blocks.append(online.get_frames(done, ready - done))
            online.discard_frames(ready)
            done = ready
    if done == 0:
        raise ValueError(f"too short: {rec['seconds']:g} s give no frame")
    feats = blocks[0] if len(blocks) == 1 else np.concatenate(blocks)
    if s["cmvn"] == "utterance":
        feats = melceps.cmvn(feats, **s["cmvn_options"])
        if s["deltas"]:
            feats = melceps.add_deltas(feats, **s["deltas"])
    return feats


def write_file(path: Path, feats: np.ndarray, s: dict[str, Any]) -> None:
    """One utterance's file under a temporary name, renamed into place when complete.

    Outputs are not synced to the disk one by one: that wait, for every file, is the same
    with one worker as with many.
    """
    path.parent.mkdir(parents=True, exist_ok=True)
    tmp = kaldi_io.temporary_beside(path)
    try:
        with open(tmp, "wb") as f:
            if s["format"] == "npy":
                np.save(f, feats)
            elif s["format"] == "mat":
                import scipy.io
                scipy.io.savemat(f, {s["kind"]: feats})
            else:
                htk.write(f, feats, s["frame_shift"], s["htk_kind"])
        os.replace(tmp, path)
    finally:
        if tmp.exists():
            tmp.unlink()


def message_of(e: Exception) -> str:
    from . import Error
    return str(e) if isinstance(e, (Error, ValueError)) else f"{type(e).__name__}: {e}"


def process_batch(items: list[Item], archive: str | None,
                  s: dict[str, Any]) -> list[dict[str, Any]]:
    """Extracts a batch (into the archive, an absolute path, for ark); never raises: each
    failure is the record of its utterance, and the others go on."""
    prepare_worker()
    delay = float(os.environ.get("MELCEPS_EXTRACT_TASK_DELAY", "0") or 0)  # testing lost workers
    records = []
    writer = kaldi_io.ArchiveWriter(archive) if archive else contextlib.nullcontext()
    with writer:
        # The recording read last, its source or the message of its failure: the segments
        # of a recording come together, and it is opened (its command run) once for them.
        recording, source, error = None, None, None
        for item in items:
            rec = item.record()
            records.append(rec)
            try:
                if delay:
                    time.sleep(delay)
                if item.recording is not recording:
                    recording, source, error = item.recording, None, None
                    try:
                        source = datadir.open_recording(recording, s["channel"])
                    except ValueError as e:
                        error = str(e)
                if error is not None:
                    raise ValueError(error)
                feats = compute(item, source, s, rec)
                rec["frames"] = int(feats.shape[0])
                if s["stats"]:
                    import melceps
                    rec["stats"] = melceps.cmvn_stats(feats).tolist()
                    continue
                feats = feats.astype(s["dtype"], copy=False)
                if archive:
                    offset = writer.add(item.utt, feats)
                    rec["output"] = f"{archive}:{offset}"
                else:
                    write_file(Path(item.output), feats, s)
            except Exception as e:  # every failure is recorded and the batch goes on
                message = message_of(e)
                if not message.startswith(item.where):
                    message = f"{item.where}: {message}"
                failed(rec, message)
        if archive and writer.count:
            writer.commit()
    return records
