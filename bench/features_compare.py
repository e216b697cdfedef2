#!/usr/bin/python3
"""The front end's speed: MFCC (13) with deltas and accelerations from 16 kHz samples, ten
minutes of speech, against torchaudio's Kaldi MFCC in float32 plus compute_deltas twice, in
one run, alternating, best of several runs each; then the stream in 10 ms chunks and the
C++ call (bench/features_bench, when its path is given) on the same samples.

    features_compare.py SPEECH_WAV [FEATURES_BENCH] [REPEATS]

One thread, as the issue asks: torch.set_num_threads(1) (the library uses one); torchaudio is
also timed at the thread count torch takes by default, as a user gets it.
"""
import os
import subprocess
import sys
import tempfile
import time
import wave

import numpy as np  # noqa: E402

import melceps  # noqa: E402
from melceps import _melceps  # noqa: E402

FS = 16000
SECONDS = 600


def ten_minutes(path):
    with wave.open(path, "rb") as w:
        y = np.frombuffer(w.readframes(w.getnframes()), "<i2").astype(np.float64)
    return np.resize(y, SECONDS * FS)  # the sentence repeated


def best(f, repeats):
    times = []
    for _ in range(repeats):
        t = time.perf_counter()
        out = f()
        float(out[-1, -1])  # read the result
        times.append(time.perf_counter() - t)
    return min(times), out


def main():
    wav = sys.argv[1]
    cxx = sys.argv[2] if len(sys.argv) > 2 and sys.argv[2] else None
    repeats = int(sys.argv[3]) if len(sys.argv) > 3 else 7
    y = ten_minutes(wav)
    import torch
    import torchaudio
    from torchaudio.compliance import kaldi
    default_threads = torch.get_num_threads()
    y32 = torch.tensor(y, dtype=torch.float32)[None, :]

    def ours():  # the public calls, as a user makes them
        return melceps.add_deltas(melceps.mfcc(y, FS))

    def theirs():
        m = kaldi.mfcc(y32, sample_frequency=FS).T  # 13 x frames for compute_deltas
        d1 = torchaudio.functional.compute_deltas(m)
        d2 = torchaudio.functional.compute_deltas(d1)
        return torch.cat([m, d1, d2]).T.numpy()

    frames = _melceps.frame_count({"sample_frequency": float(FS)}, len(y))

    def stream():
        f = melceps.OnlineFeatures("mfcc", FS, deltas={})
        out = np.empty((frames, 39))
        read = 0
        for at in range(0, len(y), 160):
            f.accept_waveform(y[at:at + 160])
            ready = f.num_frames_ready
            if ready > read:
                out[read:ready] = f.get_frames(read, ready - read)
                f.discard_frames(ready)
                read = ready
        f.input_finished()
        out[read:] = f.get_frames(read, f.num_frames_ready - read)
        return out

    def stream_process():
        f = melceps.OnlineFeatures("mfcc", FS, deltas={})
        out = np.empty((frames, 39))
        read = 0
        for at in range(0, len(y), 160):
            new = f.process(y[at:at + 160])
            out[read:read + len(new)] = new
            read += len(new)
        f.input_finished()
        out[read:] = f.process(y[:0])
        return out

    t_ours = t_theirs = t_stream = t_default = t_process = float("inf")
    for _ in range(repeats):  # alternating
        a, got = best(ours, 1)
        torch.set_num_threads(1)
        b, _ = best(theirs, 1)
        torch.set_num_threads(default_threads)
        d, _ = best(theirs, 1)
        c, streamed = best(stream, 1)
        e, processed = best(stream_process, 1)
        t_ours, t_theirs, t_stream = min(t_ours, a), min(t_theirs, b), min(t_stream, c)
        t_process = min(t_process, e)
        t_default = min(t_default, d)
    assert np.array_equal(got, streamed) and np.array_equal(got, processed)
    print(f"MFCC + deltas + accelerations, {SECONDS} s of 16 kHz speech ({frames} frames x 39), "
          f"one thread, best of {repeats}:")
    print(f"  melceps.add_deltas(melceps.mfcc(y, fs))  {t_ours * 1e3:8.1f} ms  {SECONDS / t_ours:9.0f}x real time")
    print(f"  torchaudio kaldi.mfcc f32 + compute_deltas x2  {t_theirs * 1e3:8.1f} ms  "
          f"{SECONDS / t_theirs:9.0f}x real time")
    print(f"  ratio torchaudio / melceps: {t_theirs / t_ours:.2f}x")
    print(f"  torchaudio at its default {default_threads} threads  {t_default * 1e3:8.1f} ms: "
          f"ratio {t_default / t_ours:.2f}x")
    print(f"  melceps stream, 10 ms chunks  {t_stream * 1e3:8.1f} ms  "
          f"{SECONDS / t_stream:9.0f}x real time, {t_ours / t_stream:.2f}x the offline throughput")
    print(f"  melceps stream, 10 ms chunks, one process() call each  {t_process * 1e3:8.1f} ms  "
          f"{SECONDS / t_process:9.0f}x real time, {t_ours / t_process:.2f}x the offline throughput")
    with tempfile.NamedTemporaryFile(suffix=".f64") as raw:
        y.tofile(raw.name)
        if cxx:
            times = []
            for chunk in (0, 160):
                out = subprocess.run([cxx, raw.name, str(repeats), str(chunk)], capture_output=True,
                                     text=True, check=True).stdout.strip()
                times.append(float(out.split()[0]))
            print(f"  C++ call (same samples)  {times[0] * 1e3:8.1f} ms  "
                  f"{SECONDS / times[0]:9.0f}x real time: Python / C++ {t_ours / times[0]:.2f}x")
            print(f"  C++ stream, 10 ms chunks  {times[1] * 1e3:8.1f} ms  "
                  f"{SECONDS / times[1]:9.0f}x real time, {times[0] / times[1]:.2f}x the offline "
                  f"throughput")
        # Peak memory of melceps.mfcc in a fresh process: its growth over the input.
        probe = ("import numpy as np, melceps\n"
                 "def hwm():\n"
                 "    for line in open('/proc/self/status'):\n"
                 "        if line.startswith('VmHWM'): return int(line.split()[1])\n"
                 f"y = np.fromfile({raw.name!r})\n"
                 f"melceps.mfcc(y[:16000], {FS})\n"
                 "open('/proc/self/clear_refs', 'w').write('5')  # the peak from here on\n"
                 f"r0 = hwm(); c = melceps.mfcc(y, {FS}); r1 = hwm()\n"
                 "print(r0, r1, c.nbytes, y.nbytes)")
        r0, r1, out_bytes, in_bytes = map(int, subprocess.run(
            [sys.executable, "-c", probe], capture_output=True, text=True, check=True,
            env=os.environ).stdout.split())
        print(f"  peak memory of the offline call: +{(r1 - r0) / 1024:.1f} MiB over the "
              f"{in_bytes / 2**20:.1f} MiB input, for an output of {out_bytes / 2**20:.1f} MiB")


if __name__ == "__main__":
    main()
