"""The front end through Python: Kaldi's features (torchaudio.compliance.kaldi in float64 as
the reference), streams against whole signals, deltas, normalisation, dither and bad input.

torchaudio builds its mel banks and DCT matrix in float32 whatever the input's type, so its
float64 features differ from ours by the rounding of those constants: about 1e-6 of the
largest value for mfcc (the transform adds the rounding of 23 weights), 1e-6 for fbank;
spectrograms involve no such constant and agree to 1e-9 (the log of the weakest bins).
"""
from __future__ import annotations

import wave
import os
from pathlib import Path

import numpy as np
import pytest

import melceps

torch = pytest.importorskip("torch")
kaldi = pytest.importorskip("torchaudio.compliance.kaldi")
import torchaudio.functional as taf  # noqa: E402

FS = 16000
TOLERANCE = {"mfcc": 2e-5, "fbank": 5e-6, "spectrogram": 1e-9}


def speech() -> np.ndarray:
    """The spoken sample of the build on the 16-bit scale, or noise shaped like speech."""
    path = Path(os.environ.get("MELCEPS_SPEECH_WAV", ""))
    if path.is_file():
        with wave.open(str(path), "rb") as w:
            return np.frombuffer(w.readframes(w.getnframes()), "<i2").astype(np.float64)[:FS]
    rng = np.random.default_rng(3)
    return np.convolve(rng.normal(0, 2000, FS), np.hanning(6), "same")


def signals() -> dict[str, np.ndarray]:
    t = np.arange(FS) / FS
    rng = np.random.default_rng(5)
    return {"speech": speech(),
            "tone": 8000 * np.sin(2 * np.pi * 440 * t) + rng.normal(0, 1, FS),
            "noise": rng.normal(0, 3000, FS)}


COMMON = [{}, {"snip_edges": False}, {"raw_energy": False}, {"window_type": "hamming"},
          {"window_type": "hanning"}, {"window_type": "rectangular"},
          {"window_type": "blackman", "blackman_coeff": 0.4}, {"preemphasis_coefficient": 0.0},
          {"remove_dc_offset": False}, {"subtract_mean": True},
          {"frame_length": 25.0, "round_to_power_of_two": False},
          {"frame_length": 20.0, "frame_shift": 7.5, "snip_edges": False}]
MEL = [{"use_energy": True}, {"use_energy": True, "raw_energy": False},
       {"use_energy": True, "htk_compat": True}, {"low_freq": 0.0},
       {"low_freq": 300.0, "high_freq": -500.0, "num_mel_bins": 40},
       {"low_freq": 64.0, "high_freq": 7000.0, "num_mel_bins": 15},
       {"energy_floor": 0.0, "use_energy": True}]
EXTRA = {"mfcc": [{"htk_compat": True}, {"num_ceps": 23, "cepstral_lifter": 0.0},
                  {"num_ceps": 20, "cepstral_lifter": 30.0}],
         "fbank": [{"use_log_fbank": False}, {"use_power": False},
                   {"use_power": False, "use_log_fbank": False}],
         "spectrogram": []}
CASES = [(kind, opts) for kind in ("mfcc", "fbank", "spectrogram")
         for opts in COMMON + (MEL if kind != "spectrogram" else []) + EXTRA[kind]]


@pytest.mark.parametrize("kind, opts", CASES, ids=[f"{k}-{o}" for k, o in CASES])
def test_features_equal_kaldis(kind, opts):
    ours, theirs = getattr(melceps, kind), getattr(kaldi, kind)
    for name, y in signals().items():
        got = ours(y, FS, **opts)
        want = theirs(torch.tensor(y)[None, :], sample_frequency=FS, **opts).numpy()
        assert got.shape == want.shape, (name, got.shape, want.shape)
        scale = max(1.0, np.abs(want).max())
        err = np.abs(got - want).max() / scale
        assert err < TOLERANCE[kind], f"{name}: error {err:.2e} of {scale:.3g}"


def test_bandsetup_is_the_bank_from_0_hz_to_nyquist():
    # With these cut-offs the mel channels are bandsetup's, so an impulse's fbank (flat
    # power 1 over every bin) is the sum of each bandsetup row.
    y = np.zeros(400)
    y[0] = 1.0
    got = melceps.fbank(y, FS, low_freq=0.0, use_log_fbank=False, preemphasis_coefficient=0.0,
                        remove_dc_offset=False, window_type="rectangular")
    bank = melceps.bandsetup(400, 23, FS)
    np.testing.assert_allclose(got[0], bank.sum(axis=1), rtol=1e-12)


@pytest.mark.parametrize("kind, opts", [
    ("mfcc", {}), ("mfcc", {"snip_edges": False, "use_energy": True}),
    ("fbank", {"snip_edges": False, "dither": 1.0, "dither_seed": 9}),
    ("spectrogram", {"subtract_mean": True}), ("mfcc", {"frame_shift": 30.0})])
def test_streams_equal_whole_signals(kind, opts):
    y = speech()[:6000]
    deltas, cmvn = {"order": 2, "window": 2}, {"cmn_window": 50, "min_cmn_window": 10}
    for post in ({}, {"deltas": deltas}, {"sliding_cmvn": cmvn},
                 {"deltas": deltas, "sliding_cmvn": dict(cmvn, center=True, norm_vars=True)}):
        whole = melceps.OnlineFeatures(kind, FS, **post, **opts)
        whole.accept_waveform(y)
        whole.input_finished()
        want = whole.get_frames(0, whole.num_frames_ready)
        if not post:
            np.testing.assert_array_equal(want, getattr(melceps, kind)(y, FS, **opts))
        rng = np.random.default_rng(1)
        for chunking in ("ones", "random", "10 ms"):
            f = melceps.OnlineFeatures(kind, FS, **post, **opts)
            got, at, read = [], 0, 0
            while at < len(y):
                step = {"ones": 1, "random": int(rng.integers(1, 700)), "10 ms": 160}[chunking]
                f.accept_waveform(y[at:at + step])
                at += step
                ready = f.num_frames_ready
                got.append(f.get_frames(read, ready - read))
                f.discard_frames(ready)  # memory stays bounded
                read = ready
            f.input_finished()
            got.append(f.get_frames(read, f.num_frames_ready - read))
            np.testing.assert_array_equal(np.vstack(got), want, err_msg=f"{post} {chunking}")
        # One call a chunk: the frames each chunk completes, then those the end releases.
        f = melceps.OnlineFeatures(kind, FS, **post, **opts)
        got = [f.process(y[at:at + 160]) for at in range(0, len(y), 160)]
        f.input_finished()
        got.append(f.process([]))
        assert f.process([]).shape == (0, f.dim)
        np.testing.assert_array_equal(np.vstack(got), want, err_msg=f"{post} process")


@pytest.mark.parametrize("kind, opts", CASES, ids=[f"{k}-{o}" for k, o in CASES])
def test_every_option_set_streams_as_the_whole_signal_computes(kind, opts):
    y = speech()[:6000]
    want = getattr(melceps, kind)(y, FS, **opts)
    f = melceps.OnlineFeatures(kind, FS, **opts)
    rng = np.random.default_rng(len(CASES))
    at = 0
    while at < len(y):
        step = int(rng.integers(1, 500))
        f.accept_waveform(y[at:at + step])
        at += step
    f.input_finished()
    np.testing.assert_array_equal(f.get_frames(0, f.num_frames_ready), want)


def test_frames_come_as_soon_as_they_can():
    f = melceps.OnlineFeatures("mfcc", FS, deltas={"order": 1, "window": 2})
    f.accept_waveform(np.ones(400 + 160 * 4) * 100.0)  # 5 frames: frame 2 has its window
    assert f.num_frames_ready == 3
    g = melceps.OnlineFeatures("mfcc", FS, snip_edges=False)
    g.accept_waveform(np.ones(1000) * 100.0)
    assert g.num_frames_ready == 5  # frames ending by sample 1000
    g.input_finished()
    assert g.num_frames_ready == (1000 + 80) // 160
    with pytest.raises(melceps.FeatureError, match="after the end of input"):
        g.accept_waveform(np.ones(10))
    g.discard_frames(3)
    with pytest.raises(melceps.FeatureError, match="not held"):
        g.get_frames(2, 1)


def kaldi_deltas(x, order, window):
    """Kaldi's add-deltas evaluated directly: each order's deltas of the previous order's
    scale vector, edge frames replicated."""
    scales = [np.array([1.0])]
    norm = sum(j * j for j in range(-window, window + 1))
    for _ in range(order):
        prev = scales[-1]
        cur = np.zeros(len(prev) + 2 * window)
        for j in range(-window, window + 1):
            cur[j + window: j + window + len(prev)] += j * prev
        scales.append(cur / norm)
    out = []
    for s in scales:
        half = (len(s) - 1) // 2
        idx = np.clip(np.arange(len(x))[:, None] + np.arange(-half, half + 1)[None, :], 0, len(x) - 1)
        out.append(np.einsum("tjd,j->td", x[idx], s))
    return np.hstack(out)


@pytest.mark.parametrize("frames, order, window", [(50, 2, 2), (3, 2, 2), (1, 1, 3), (9, 3, 1)])
def test_deltas_are_kaldis(frames, order, window):
    x = np.random.default_rng(frames).normal(size=(frames, 4))
    np.testing.assert_allclose(melceps.add_deltas(x, order, window),
                               kaldi_deltas(x, order, window), rtol=1e-12, atol=1e-12)


@pytest.mark.parametrize("frames", [1, 30, 700])
@pytest.mark.parametrize("center", [False, True])
@pytest.mark.parametrize("norm_vars", [False, True])
def test_sliding_cmvn_equals_torchaudios(frames, center, norm_vars):
    x = np.random.default_rng(frames).normal(3.0, 2.0, size=(frames, 5))
    got = melceps.sliding_cmvn(x, cmn_window=200, min_cmn_window=50, center=center,
                               norm_vars=norm_vars)
    want = taf.sliding_window_cmn(torch.tensor(x), cmn_window=200, min_cmn_window=50,
                                  center=center, norm_vars=norm_vars).numpy()
    want = want.reshape(got.shape)  # torchaudio drops the frame axis of a single frame
    np.testing.assert_allclose(got, want, rtol=1e-9, atol=1e-9)


def test_statistics_in_kaldis_layout():
    a, b = np.random.default_rng(2).normal(1.0, 3.0, size=(2, 40, 6))
    stats = melceps.cmvn_stats(a)
    melceps.cmvn_stats(b, stats)  # a speaker's two utterances
    both = np.vstack([a, b])
    np.testing.assert_allclose(stats[0, :6], both.sum(0))
    np.testing.assert_allclose(stats[1, :6], (both ** 2).sum(0))
    assert stats[0, 6] == 80 and stats[1, 6] == 0
    got = melceps.apply_cmvn(a, stats, norm_vars=True)
    np.testing.assert_allclose(got, (a - both.mean(0)) / both.std(0), rtol=1e-10)
    np.testing.assert_allclose(melceps.cmvn(a).mean(0), 0, atol=1e-12)
    with pytest.raises(melceps.FeatureError, match="at least one frame"):
        melceps.apply_cmvn(a, np.zeros((2, 7)))


def test_dither_is_reproducible_and_small():
    y = speech()
    plain = melceps.fbank(y, FS)
    one = melceps.fbank(y, FS, dither=1.0, dither_seed=4)
    np.testing.assert_array_equal(one, melceps.fbank(y, FS, dither=1.0, dither_seed=4))
    other = melceps.fbank(y, FS, dither=1.0, dither_seed=5)
    assert not np.array_equal(one, other)
    # Noise of one unit against speech of thousands: where there is speech (not digital
    # silence, which the dither lifts off the floor) the log energies move very little.
    loud = plain.min(axis=1) > 5.0
    assert loud.sum() > 10
    change = np.abs(one - plain)[loud]
    assert 0 < np.median(change) < 0.01 and change.max() < 2.0, (np.median(change), change.max())


@pytest.mark.parametrize("call, error, match", [
    (lambda: melceps.mfcc([1.0, np.nan, 2.0] * 300, FS), ValueError, "Sample 1 is NaN"),
    (lambda: melceps.mfcc(np.r_[np.ones(500), np.inf], FS), ValueError, "Sample 500 is infinite"),
    (lambda: melceps.mfcc(np.ones(800), 0), ValueError, "sample_frequency"),
    (lambda: melceps.mfcc(np.ones(800), FS, window_type="kaiser"), ValueError, "window_type"),
    (lambda: melceps.OnlineFeatures("mfccs", FS), ValueError, "kind"),
    (lambda: melceps.fbank(np.ones(800), FS, num_mel_bins=200), ValueError, "too many"),
    (lambda: melceps.fbank(np.ones(800), FS, low_freq=9000.0), ValueError, "low_freq"),
    (lambda: melceps.fbank(np.ones(800), FS, low_freq=4000.0, high_freq=3000.0), ValueError,
     "above low_freq"),
    (lambda: melceps.mfcc(np.ones(800), FS, num_ceps=-1), ValueError, "num_ceps"),
    (lambda: melceps.add_deltas(np.ones((3, 2)), order=-1), ValueError, "order"),
    (lambda: melceps.mfcc(np.ones(800), FS, num_ceps=13.0), TypeError, "whole number"),
    (lambda: melceps.mfcc(np.ones(800), FS, use_energy=1), TypeError, "True or False"),
    (lambda: melceps.mfcc(np.ones(800), FS, no_such_option=1), TypeError, "no_such_option"),
    (lambda: melceps.mfcc(np.ones((800, 2)), FS), ValueError, "1-D"),
])
def test_bad_input_is_a_clear_error(call, error, match):
    with pytest.raises(error, match=match):
        call()


def test_short_and_empty_signals_give_no_frames_of_the_right_width():
    for n in (0, 1, 399):
        assert melceps.mfcc(np.zeros(n), FS).shape == (0, 13)
        assert melceps.fbank(np.zeros(n), FS, use_energy=True).shape == (0, 24)
    assert melceps.mfcc(np.zeros(0), FS, snip_edges=False).shape == (0, 13)
    assert melceps.mfcc(np.zeros(5), FS, snip_edges=False).shape == (0, 13)
    assert melceps.mfcc(np.ones(100), FS, snip_edges=False).shape == (1, 13)  # reflected twice


def test_float32_and_no_copy_of_the_input():
    y = speech()
    single = melceps.mfcc(y, FS, dtype=np.float32)
    assert single.dtype == np.float32
    np.testing.assert_allclose(single, melceps.mfcc(y, FS), rtol=1e-5, atol=1e-4)
    assert melceps.mfcc(y.astype(np.int16), FS).shape == single.shape


def test_options_come_from_the_library():
    names = [o.name for o in melceps.OPTIONS]
    assert names[:3] == ["sample_frequency", "frame_length", "frame_shift"]
    defaults = {o.name: o.default for o in melceps.OPTIONS}
    assert defaults["num_ceps"] == 13 and defaults["window_type"] == "povey"
    assert defaults["energy_floor"] == 1.0 and defaults["dither"] == 0.0
    assert {o.name for o in melceps.DELTA_OPTIONS} == {"order", "window"}
    assert all(o.help for o in melceps.OPTIONS + melceps.CMVN_OPTIONS)


MEXHOST = os.environ.get("MELCEPS_MEXHOST")


@pytest.mark.skipif(not MEXHOST, reason="MELCEPS_MEXHOST names no host program")
def test_the_hosts_builtin_is_the_same_front_end(tmp_path):
    import subprocess
    import scipy.io
    y = speech()[:8000]
    scipy.io.savemat(tmp_path / "in.mat", {"y": y[:, None]})
    calls = {
        "a": ("mfcc", "", {}),
        "b": ("fbank", ", 'num_mel_bins', 40, 'snip_edges', false, 'use_energy', true",
              dict(num_mel_bins=40, snip_edges=False, use_energy=True)),
        "c": ("spectrogram", ", 'window_type', 'hamming'", dict(window_type="hamming")),
        "d": ("mfcc", ", 'order', 2, 'cmn_window', 50, 'norm_vars', true", {}),
    }
    code = "load('in.mat'); " + " ".join(
        f"{k} = features('{kind}', y, 16000{args});" for k, (kind, args, _) in calls.items())
    code += " save('out.mat', 'a', 'b', 'c', 'd');"
    run = subprocess.run([MEXHOST, "-e", code], cwd=tmp_path, capture_output=True, text=True,
                         timeout=120)
    assert run.returncode == 0, run.stderr
    out = scipy.io.loadmat(tmp_path / "out.mat")
    for k, (kind, _, opts) in calls.items():
        want = getattr(melceps, kind)(y, FS, **opts)
        if k == "d":
            want = melceps.add_deltas(melceps.sliding_cmvn(want, cmn_window=50, norm_vars=True))
        # One column per frame; another process may plan its FFTs otherwise (last bits).
        np.testing.assert_allclose(out[k].T, want, rtol=1e-11, atol=1e-11, err_msg=k)
    bad = subprocess.run([MEXHOST, "-e", "features('mfcc', zeros(1, 800), 16000, 'num_ceps', 0)"],
                         capture_output=True, text=True, timeout=60)
    assert bad.returncode == 1 and "features: num_ceps must lie in 1 .. num_mel_bins" in bad.stderr
