#!/usr/bin/python3
"""examples/mfcc.m through mexhost against the front end's library (melceps.mfcc).

Usage: mfcc_script_test.py MEXHOST EXAMPLES_DIR SPEECH_WAV

Each case is a 16-bit WAV file (tones, a chirp, noise, digital silence, a signal shorter
than a frame, and the speech sample) and a list of mfcc options, every option mfcc.m takes.
mexhost reads the file with audioread and prints c with 17 digits; the library computes the
same features from the same samples with the same options by Kaldi's names. Both must agree
within 1e-9 of the largest coefficient. The defaults are also compared with
torchaudio.compliance.kaldi.mfcc (c1..c12) in float64 and in float32 (see
compare_torchaudio).
"""
import os
import subprocess
import sys
import tempfile
import wave

import numpy as np

import melceps

FS = 16000
DEFAULTS = dict(framelength=25.0, frameshift=10.0, preemphasis=0.97, window="povey",
                numchannels=23, numceps=12, lifter=22, scale=32768.0)


def read_wav(path):
    with wave.open(path, "rb") as w:
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2")
        return data.astype(np.float64), w.getframerate()


def write_wav(path, samples, fs=FS):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(fs)
        w.writeframes(np.clip(np.round(samples), -32768, 32767).astype("<i2").tobytes())


def library_mfcc(samples, fs, o):
    """The same features from the front end's library: mfcc.m's options by Kaldi's names,
    c0 computed and left out (mfcc.m starts at c1), the mel bank from 0 Hz to Nyquist, which
    is bandsetup's own."""
    y = samples / 32768.0 * o["scale"]
    c = melceps.mfcc(y, fs, frame_length=o["framelength"], frame_shift=o["frameshift"],
                     preemphasis_coefficient=o["preemphasis"],
                     window_type={"hann": "hanning"}.get(o["window"], o["window"]),
                     num_mel_bins=o["numchannels"], num_ceps=o["numceps"] + 1,
                     cepstral_lifter=float(o["lifter"]), low_freq=0.0)
    return c[:, 1:].T


def library_energies(samples, fs):
    """Each frame's filterbank energies at the defaults, floored as the log floors them."""
    e = melceps.fbank(samples, fs, low_freq=0.0, use_log_fbank=False)
    return np.maximum(e, 2.0 ** -23).T


def option_text(o):
    """The name-value pairs of the options that differ from the defaults; with o["stale"],
    each is given first with another value, which the later pair must override."""
    if o.get("stale"):
        stale = {k: ("rectangular" if isinstance(v, str) else v + 1)
                 for k, v in o.items() if k in DEFAULTS and DEFAULTS[k] != v}
        return option_text(stale) + option_text(dict(o, stale=False))
    parts = []
    for key, value in o.items():
        if key in DEFAULTS and DEFAULTS.get(key) != value:
            parts.append("'%s', %s" % (key, "'%s'" % value if isinstance(value, str) else repr(value)))
    return "".join(", " + p for p in parts)


def run_host(mexhost, examples, workdir, cases):
    lines = []
    for k, (path, o) in enumerate(cases):
        lines.append("[y, fs] = audioread('%s');" % path)
        lines.append("c = mfcc(y, fs%s);" % option_text(o))
        lines.append("fprintf('CASE %d %%d %%d\\n', size(c, 1), size(c, 2));" % k)
        lines.append("fprintf('%.17g\\n', c);")
    script = os.path.join(workdir, "cases.m")
    with open(script, "w") as f:
        f.write("\n".join(lines) + "\n")
    out = subprocess.run([mexhost, "--path", examples, script], capture_output=True, text=True,
                         cwd=workdir, timeout=600)
    if out.returncode != 0:
        sys.exit("mexhost failed:\n" + out.stdout[-2000:] + out.stderr)
    results, current = {}, None
    for line in out.stdout.splitlines():
        if line.startswith("CASE "):
            k, rows, cols = map(int, line.split()[1:])
            current = results[k] = (rows, cols, [])
        elif current is not None and line and (line[0].isdigit() or line[0] in "-+NIi"):
            current[2].append(float(line))
    return {k: np.array(v, dtype=np.float64).reshape(c, r).T for k, (r, c, v) in results.items()}


def signals(workdir, speech):
    t = np.arange(2 * FS) / FS
    rng = np.random.default_rng(7)
    made = {
        "tone 440 Hz": 8000 * np.sin(2 * np.pi * 440 * t),
        "tones 200 + 3100 Hz": 6000 * np.sin(2 * np.pi * 200 * t) + 3000 * np.sin(2 * np.pi * 3100 * t),
        "chirp 50 Hz to 7.9 kHz": 10000 * np.sin(2 * np.pi * (50 * t + (7900 - 50) / 4 * t ** 2)),
        "white noise": rng.normal(0, 3000, len(t)),
        "tone, then digital silence": np.concatenate([8000 * np.sin(2 * np.pi * 1000 * t[:FS // 2]),
                                                      np.zeros(FS // 2)]),
        "one frame exactly": rng.normal(0, 1000, 400),
        "shorter than a frame": rng.normal(0, 1000, 399),
    }
    files = {}
    for name, x in made.items():
        path = os.path.join(workdir, name.replace(" ", "_").replace(",", "").replace("+", "and") + ".wav")
        write_wav(path, x)
        files[name] = path
    files["speech sample"] = speech
    return files


# Calls that must stop with an error, and a part of the message each must give.
BAD_CALLS = [
    ("mfcc(zeros(1000, 1))", "expects a signal and its sampling frequency"),
    ("mfcc(zeros(1000, 1), 16000, 'Lifter')", "name-value pairs"),
    ("mfcc(zeros(1000, 1), 16000, 'Liftre', 22)", "unknown option 'liftre'"),
    ("mfcc(zeros(1000, 1), 16000, 'Window', 'blackman')", "unknown window 'blackman'"),
    ("mfcc(zeros(1000, 1), 16000, 'NumCeps', [12 13])", "'numceps' takes a number"),
    ("mfcc(zeros(1000, 1), 16000, 'FrameLength', 0.01)", "at least 2 samples long"),
]


def check_errors(mexhost, examples, workdir):
    failures = 0
    for call, part in BAD_CALLS:
        out = subprocess.run([mexhost, "--path", examples, "-e", "c = " + call + ";"],
                             capture_output=True, text=True, cwd=workdir, timeout=60)
        ok = out.returncode == 1 and part in out.stderr
        failures += not ok
        print("%s %s stops: %s" % ("ok  " if ok else "FAIL", call, out.stderr.strip()[:120]))
    return failures


def main():
    mexhost, examples, speech = sys.argv[1:4]
    failures = 0
    with tempfile.TemporaryDirectory() as workdir:
        files = signals(workdir, speech)
        variants = [
            ("defaults", {}),
            ("Hamming window, 40 channels, 13 coefficients",
             dict(window="hamming", numchannels=40, numceps=13)),
            ("Hann window, 20 ms every 5 ms, no pre-emphasis",
             dict(window="hann", framelength=20.0, frameshift=5.0, preemphasis=0.0)),
            ("rectangular window, no lifter, samples in [-1, 1)",
             dict(window="rectangular", lifter=0, scale=1.0)),
            ("all eight options, each given twice (sixteen pairs)",
             dict(window="hann", framelength=30.0, frameshift=15.0, preemphasis=0.9,
                  numchannels=30, numceps=14, lifter=10, scale=16384.0, stale=True)),
        ]
        cases, labels = [], []
        for name, path in files.items():
            for vname, changes in variants if name != "shorter than a frame" else variants[:1]:
                o = dict(DEFAULTS, **changes)
                cases.append((path, o))
                labels.append("%s, %s" % (name, vname))
        host = run_host(mexhost, examples, workdir, cases)
        for k, (path, o) in enumerate(cases):
            samples, fs = read_wav(path)
            ref = library_mfcc(samples, fs, o)
            got = host.get(k)
            if got is None or got.shape != ref.shape:
                print("FAIL %s: shape %s, expected %s" % (labels[k], None if got is None else got.shape, ref.shape))
                failures += 1
                continue
            scale = max(1.0, np.abs(ref).max(initial=0.0))
            err = np.abs(got - ref).max(initial=0.0) / scale
            ok = err <= 1e-9
            failures += not ok
            print("%s %s: %d frames, error %.2e of %.3g" % ("ok  " if ok else "FAIL", labels[k],
                                                             ref.shape[1], err, scale))
        checks = len(cases) + len(BAD_CALLS)
        kaldi_checks, kaldi_failures = compare_torchaudio(files, host, cases, labels)
        checks += kaldi_checks
        failures += kaldi_failures + check_errors(mexhost, examples, workdir)
    print("%d passed, %d failed" % (checks - failures, failures))
    return 1 if failures else 0


def compare_torchaudio(files, host, cases, labels):
    """The defaults against torchaudio.compliance.kaldi.mfcc, three ways.

    torchaudio builds its mel banks, DCT matrix and lifter in float32 whatever the input's
    type, so even its float64 chain differs from ours by those constants' rounding (the
    banks' mel values carry about 2e-4 mel of error): mexhost's cepstra must equal its
    float64 mfcc within 1e-3 absolute. In float32, Kaldi's own precision, the spectrum is rounded at
    about 2^-24 of the frame's strongest component, so the weakest channel's energy is
    known to about 2^-24 sqrt(D) relative, D being the frame's ratio of strongest to
    weakest channel energy (1e9 for a pure tone, 1e13 for parts of the chirp): each
    frame's error must stay within 1e-3 + 32 * 2^-24 sqrt(D).
    """
    try:
        import torch
        import torchaudio.compliance.kaldi as kaldi
    except ImportError:
        print("FAIL torchaudio is not importable (scripts/install-deps installs it)")
        return 1, 1
    options = dict(dither=0.0, low_freq=0.0, num_mel_bins=23, energy_floor=0.0)
    checks = failures = 0

    def verdict(ok, text):
        nonlocal checks, failures
        checks += 1
        failures += not ok
        print("%s %s" % ("ok  " if ok else "FAIL", text))

    for k, (path, o) in enumerate(cases):
        if o != DEFAULTS or host[k].shape[1] == 0:
            continue
        samples, fs = read_wav(path)
        ref = {}
        for dtype in (torch.float64, torch.float32):
            wav = torch.tensor(samples, dtype=dtype)[None, :]
            ref[dtype] = kaldi.mfcc(wav, sample_frequency=fs, **options).double().numpy().T[1:13]
        err = np.abs(host[k] - ref[torch.float64]).max()
        verdict(err <= 1e-3, "%s against torchaudio's float64 mfcc: error %.2e" % (labels[k], err))
        energies = library_energies(samples, fs)
        ratio = energies.max(axis=0) / energies.min(axis=0)
        allowed = 1e-3 + 32 * 2.0 ** -24 * np.sqrt(ratio)
        frame_err = np.abs(host[k] - ref[torch.float32]).max(axis=0)
        worst = np.argmax(frame_err / allowed)
        verdict(np.all(frame_err <= allowed),
                "%s against torchaudio's float32 mfcc: worst frame %d, error %.2e of %.2e "
                "allowed (channel range %.1e)" % (labels[k], worst, frame_err[worst],
                                                  allowed[worst], ratio[worst]))
    return checks, failures


if __name__ == "__main__":
    sys.exit(main())
