#!/usr/bin/python3
"""Fuzzing of what melceps-extract reads from outside: data-directory files (wav.scp,
segments, utt2spk) and audio bytes (a piped command's output) read in blocks, channel by
channel, and resampled.

    PYTHONPATH=build/python python3 fuzz/fuzz_corpus.py [--seconds N] [--runs N] [--out DIR]

Inputs are mutations (bit flips, byte runs, insertions, deletions, splices of two seeds) of
the seeds below. A clear error (ValueError, or the reader's RuntimeError) is the expected
way to refuse an input; any other exception is a finding, saved in OUTDIR with its
traceback, and the run exits 1. Before each input runs it is written to OUTDIR/current, so
that an input that crashes the process is left there.
"""
import argparse
import io
import random
import sys
import tempfile
import time
import traceback
import wave
from pathlib import Path

import numpy as np

from melceps import datadir
from melceps._melceps import AudioSource, Resampler

DATA_SEEDS = [
    b"r1 /a/r1.wav\nr2 sox /a/r2.flac -t wav - |\nr3 cat 'x y.wav' |\n",
    b"u1 r1 0 1.5\nu2 r1 1.5 -1\nu3 r2 0.25 3e2\nu4 r9 0 1\nu5 r1 2 1\n",
    b"u1 s1\nu2 s1\nu3 s2\nu1 s3\nu9\n",
    b"r1\n\n \t\nr1 x |\n\xff\xfe r\xc3\xa9 \xe2\x80\x8b.wav\n",
]


def wav_bytes(frames: int, channels: int, rate: int, width: int) -> bytes:
    f = io.BytesIO()
    with wave.open(f, "wb") as w:
        w.setnchannels(channels), w.setsampwidth(width), w.setframerate(rate)
        r = np.random.default_rng(frames)
        w.writeframes(r.integers(0, 256, frames * channels * width, dtype=np.uint8).tobytes())
    return f.getvalue()


AUDIO_SEEDS = [wav_bytes(300, 1, 16000, 2), wav_bytes(200, 2, 44100, 2),
               wav_bytes(100, 3, 8000, 1), wav_bytes(50, 1, 22050, 4)]


def mutate(data: bytes, seeds: list[bytes], r: random.Random) -> bytes:
    b = bytearray(data)
    for _ in range(r.randint(1, 8)):
        op = r.randrange(6)
        pos = r.randrange(len(b) + 1)
        if op == 0 and b:
            b[min(pos, len(b) - 1)] ^= 1 << r.randrange(8)
        elif op == 1:
            b[pos:pos] = bytes([r.choice([0, 0xFF, 0x7F, 0x80, 32, 10, ord("|"), ord("-")])]
                               * r.randint(1, 16))
        elif op == 2:
            del b[pos:pos + r.randint(1, 32)]
        elif op == 3:
            other = r.choice(seeds)
            start = r.randrange(len(other))
            b[pos:pos] = other[start:start + r.randint(1, 64)]
        elif op == 4 and len(b) >= 4:
            b[pos:pos + 4] = r.choice([b"\0\0\0\0", b"\xff\xff\xff\x7f", b"\0\0\0\x80",
                                       b"\x01\0\0\0"])
        else:
            b = b[:pos]
    return bytes(b)


def run_data_dir(data: bytes, r: random.Random, root: Path) -> None:
    names = ["wav.scp", "segments", "utt2spk"]
    parts = data.split(b"\x00", 2) + [b""] * 2
    for name, part in zip(names, parts):
        if name == "wav.scp" or r.random() < 0.7:
            (root / name).write_bytes(part)
        elif (root / name).exists():
            (root / name).unlink()
    d = datadir.read_data_dir(root)
    for p in d.problems:
        assert str(p).startswith(str(root)), str(p)
    for u in d.utterances:
        assert u.end is None or u.end > u.start >= 0
        datadir.command_argv(u.recording.source)  # never run: the commands are random


def is_float(data: bytes) -> bool:
    """Whether a WAV header says IEEE float (format 3) or something libsndfile may decode
    to any value (an extensible or other container)."""
    at = data.find(b"fmt ")
    return at < 0 or data[at + 8:at + 10] != b"\x01\x00"


def run_audio(data: bytes, r: random.Random) -> None:
    channel = r.randrange(4)
    try:
        a = AudioSource.from_bytes(data, "input", channel)
    except RuntimeError:
        return
    assert a.rate > 0 and 0 <= channel < a.channels
    if a.frames > 1 << 24:
        return  # a claim of more frames than a fuzzed input holds: read only a little
    a.seek(r.randrange(a.frames + 1))
    rs = Resampler(a.rate, r.choice([8000, 16000, 44100]))
    try:
        while True:
            x = a.read(r.randint(1, 4096))
            # A float file may hold any value, NaN too, which the resampler refuses by
            # index; an integer one stays on the 16-bit scale.
            assert a.channels and (np.all(np.abs(x) <= 32768) or is_float(data))
            try:
                y = rs.process(x, last=x.size == 0)
            except ValueError as e:
                assert not np.all(np.abs(x) <= Resampler.LARGEST) and "the resampler takes" in str(e)
                return
            assert np.all(np.isfinite(y))
            if x.size == 0:
                break
    except RuntimeError as e:  # a file cut short of what its header says
        assert "ends at sample" in str(e) or "cannot seek" in str(e), str(e)


def main(argv=None) -> int:
    ap = argparse.ArgumentParser()
    ap.add_argument("--seconds", type=float, default=60)
    ap.add_argument("--runs", type=int, default=0, help="stop after this many inputs")
    ap.add_argument("--out", default="build-fuzz/corpus-findings")
    ap.add_argument("--seed", type=int, default=None)
    a = ap.parse_args(argv)
    out = Path(a.out)
    out.mkdir(parents=True, exist_ok=True)
    r = random.Random(a.seed)
    t_end = time.time() + a.seconds
    runs = 0
    with tempfile.TemporaryDirectory() as tmp:
        root = Path(tmp)
        while time.time() < t_end and (not a.runs or runs < a.runs):
            audio = runs % 2 == 1
            seeds = AUDIO_SEEDS if audio else DATA_SEEDS
            data = mutate(r.choice(seeds) if audio else b"\x00".join(
                r.sample(DATA_SEEDS, 3)), seeds, r)
            (out / "current").write_bytes(data)
            try:
                run_audio(data, r) if audio else run_data_dir(data, r, root)
            except (ValueError, AssertionError, Exception):  # noqa: B014 - any is a finding
                finding = out / f"finding-{runs}"
                finding.write_bytes(data)
                finding.with_suffix(".txt").write_text(traceback.format_exc())
                print(f"fuzz_corpus: finding in {finding}:\n{traceback.format_exc()}",
                      file=sys.stderr)
                return 1
            runs += 1
    (out / "current").unlink(missing_ok=True)
    print(f"fuzz_corpus: {runs} inputs, no finding")
    return 0


if __name__ == "__main__":
    sys.exit(main())
