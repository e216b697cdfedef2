"""melceps against numpy models of each function, its errors, warnings, printing and shapes."""

import contextlib
import io
import os
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

import melceps


def mel_model(f):
    return 1127.0 * np.log(1.0 + np.asarray(f, float) / 700.0)


def bandsetup_model(framelen, numchans, fs):
    fft_n = 1 << int(framelen - 1).bit_length()
    melfft = mel_model(np.arange(fft_n // 2) / fft_n * fs)
    melhi = mel_model(fs / 2)
    cent = np.arange(1, numchans + 1) / (numchans + 1) * melhi
    edges = np.concatenate([[0.0], cent, [melhi]])
    fb = np.zeros((numchans, fft_n // 2))
    for k in range(numchans):
        lo, c, hi = edges[k], edges[k + 1], edges[k + 2]
        up = (melfft - lo) / (c - lo)
        down = (hi - melfft) / (hi - c)
        fb[k] = np.where((melfft > lo) & (melfft <= c), up,
                         np.where((melfft > c) & (melfft < hi), down, 0.0))
    fb[:, 0] = 0.0
    return fb


def chan2qf_model(x, numceps):
    n = x.shape[0]
    k = np.arange(1, n + 1)
    m = np.cos(np.outer(np.arange(1, numceps + 1), np.pi / n * (k - 0.5)))
    return np.sqrt(2.0 / n) * m @ x


def quefwind_model(c, L):
    if L == 0 or L != int(L):
        return c
    w = 1 + abs(L) / 2 * np.sin(np.pi * np.arange(1, c.shape[0] + 1) / abs(L))
    return c * w[:, None] if L > 0 else c / w[:, None]


RNG = np.random.default_rng(7)


@pytest.mark.parametrize("framelen, numchans, fs", [(8, 2, 800), (400, 23, 16000),
                                                     (200, 26, 8000), (257, 10, 22050)])
def test_bandsetup_matches_model_and_prints_its_report(framelen, numchans, fs):
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        fb = melceps.bandsetup(framelen, numchans, fs)
    fft_n = 1 << int(framelen - 1).bit_length()
    assert out.getvalue() == (f"Designing a mel-spaced filterbank with {numchans} channels.\n"
                              f"Frame length will be {fft_n} (zero padded up from {framelen}).\n")
    assert fb.shape == (numchans, fft_n // 2) and fb.dtype == np.float64
    np.testing.assert_allclose(fb, bandsetup_model(framelen, numchans, fs), atol=1e-12)


def test_bandsetup_small_case_figures():
    with contextlib.redirect_stdout(io.StringIO()):
        fb = melceps.bandsetup(8, 2, 800)
    np.testing.assert_allclose(fb, [[0, 0.89, 0.33, 0], [0, 0, 0.67, 0.63]], atol=0.01)


@pytest.mark.parametrize("f", [0.0, 700.0, np.array([0, 100, 1000, 8000.0]),
                               np.array([[1, 2], [3, 4]], dtype=np.int16),
                               np.arange(24.0).reshape(2, 3, 4)])
def test_mel_shapes_and_values(f):
    m = melceps.mel(f)
    expected = mel_model(f)
    shape = expected.shape if expected.ndim >= 2 else (1, expected.size)
    if expected.ndim > 2:  # the module folds trailing dimensions, in mexhost too
        shape = (shape[0], int(np.prod(shape[1:])))
    assert m.shape == shape
    np.testing.assert_allclose(m, expected.reshape(shape, order="F"), rtol=1e-14)


@pytest.mark.parametrize("chans, frames, numceps", [(23, 50, 12), (2, 1, 2), (1, 5, 6),
                                                    (26, 1000, 13)])
def test_chan2qf_matches_dct_model(chans, frames, numceps):
    x = RNG.standard_normal((chans, frames))
    np.testing.assert_allclose(melceps.chan2qf(x, numceps), chan2qf_model(x, numceps),
                               atol=1e-12)


def test_chan2qf_zero_ceps_is_empty():
    assert melceps.chan2qf(np.ones((4, 3)), 0).shape == (0, 3)


@pytest.mark.parametrize("L", [22, -22, 0, 2.5, 1])
def test_quefwind_matches_lifter_model(L):
    c = RNG.standard_normal((12, 7))
    np.testing.assert_allclose(melceps.quefwind(c, L), quefwind_model(c, L), rtol=1e-13,
                               atol=1e-15)


@pytest.mark.parametrize("x, expected", [(1, 0.0), (10, 20.0), (100.0, 40.0), (1e-3, -60.0)])
def test_db_reference_values(x, expected):
    np.testing.assert_allclose(melceps.db(x), [[expected]], atol=1e-12)


def test_db_of_complex_is_complex():
    z = np.array([[-1.0 + 0j, 1j]])
    r = melceps.db(z)
    assert r.dtype == np.complex128 and r.shape == (1, 2)
    np.testing.assert_allclose(r, 20 * np.log10(z.astype(complex)), atol=1e-12)


@pytest.mark.parametrize("dtype", [np.float32, np.int32, np.uint8, np.int64, bool])
def test_numeric_dtypes_arrive_as_doubles(dtype):
    x = np.array([[1, 0], [1, 1]]).astype(dtype)
    np.testing.assert_allclose(melceps.db(x), 20 * np.log10(x.astype(float)))


def test_results_are_column_major_views_of_the_runtime():
    r = melceps.chan2qf(np.asfortranarray(RNG.standard_normal((23, 10))), 12)
    assert r.flags.f_contiguous and r.shape == (12, 10)


def unaligned(a):
    """a's float64 elements at an address that is not a multiple of 8."""
    raw = np.frombuffer(bytearray(a.nbytes + 1), dtype=np.uint8)[1:]
    out = raw.view(np.float64).reshape(a.shape, order="F")
    out[...] = a
    return out


def test_inputs_are_read_in_place_never_written_aliased_or_kept():
    base = RNG.uniform(0.5, 2.0, (12, 9))
    inputs = {"Fortran float64": np.asfortranarray(base), "C-ordered": np.ascontiguousarray(base),
              "strided view": np.asfortranarray(np.repeat(base, 2, axis=1))[:, ::2],
              "big-endian": base.astype(">f8"), "unaligned": unaligned(base),
              "1-D": base[:, 0].copy()}
    calls = {"db": melceps.db, "mel": melceps.mel, "chan2qf": lambda x: melceps.chan2qf(x, 5),
             **{f"quefwind L={L}": (lambda x, L=L: melceps.quefwind(x, L))
                for L in (22, -22, 0, 2.5)}}
    for kind, x in inputs.items():
        before = x.copy()
        refs = sys.getrefcount(x)
        for name, f in calls.items():
            r = f(x)
            case = f"{name} of a {kind} array"
            assert np.array_equal(x, before), f"{case}: the input was written"
            assert not np.shares_memory(r, x), f"{case}: the result is the input's memory"
            r[...] = 0  # a result is the caller's own
            assert np.array_equal(x, before), f"{case}: writing the result wrote the input"
            del r
            assert sys.getrefcount(x) == refs, f"{case}: the input is still held"
        np.testing.assert_allclose(melceps.quefwind(x, 22),
                                   quefwind_model(np.atleast_2d(before), 22), rtol=1e-13,
                                   err_msg=kind)


def test_call_by_name_tonegrid_and_assert():
    g = melceps.call("tonegrid")
    assert isinstance(g, np.ndarray) and g.ndim >= 2
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        assert melceps.call("assert", False, "no good", nargout=0) is None
        melceps.call("assert", True, "fine", nargout=0)
    assert "no good" in out.getvalue() and "fine" not in out.getvalue()
    assert {"bandsetup", "mel", "assert", "chan2qf", "quefwind", "tonegrid", "db"} <= set(
        melceps.functions())


@pytest.mark.parametrize("name, args, message", [
    ("bandsetup", (1, 2, 3, 4),
     'Run-time Error: File: bandsetup Line: 1 Column: 1 The function "bandsetup" was called '
     'with more than the declared number of inputs (3).'),
    ("nosuchfunction", (), "Undefined function or variable 'nosuchfunction'."),
])
def test_errors_carry_the_system_message(name, args, message):
    with pytest.raises(melceps.Error) as e:
        melceps.call(name, *args)
    assert str(e.value) == message
    assert isinstance(e.value, RuntimeError)


def test_error_from_a_missing_argument_and_after_printing():
    out = io.StringIO()
    with contextlib.redirect_stdout(out), pytest.raises(melceps.Error):
        melceps.call("bandsetup", 400, 23)
    assert out.getvalue().count("\n") == 2  # both report lines, then the error
    assert melceps.chan2qf(np.ones((3, 2)), 2).shape == (2, 2)  # still usable


def test_too_many_outputs_raise():
    with pytest.raises(melceps.Error, match="more than the declared number of outputs"):
        melceps.call("mel", 1.0, nargout=2)


def test_strings_and_unsupported_arguments():
    assert melceps.db("a").shape == (1, 1)  # char codes become numbers in the runtime
    with pytest.raises(TypeError):
        melceps.db(object())
    with pytest.raises(TypeError):
        melceps.db(np.array(["x"], dtype=object))


@pytest.mark.skipif("probe" not in melceps.functions(), reason="test module not on the path")
def test_warnings_go_through_python_warnings():
    with pytest.warns(melceps.Warning, match='Output argument "y" was not assigned'):
        melceps.call("probe", False)
    assert melceps.call("probe", True, nargout=1)[0, 0] == 1


# --- mfcc against an independent model of the chain ---

def mfcc_model(y, fs, L=22, numceps=12, numchans=23, window="povey"):
    x = y * 32768.0
    n = int(round(0.025 * fs))
    s = int(round(0.010 * fs))
    count = 1 + (len(x) - n) // s
    fft_n = 1 << (n - 1).bit_length()
    i = np.arange(n)
    win = {"povey": (0.5 - 0.5 * np.cos(2 * np.pi * i / (n - 1))) ** 0.85,
           "hamming": 0.54 - 0.46 * np.cos(2 * np.pi * i / (n - 1)),
           "hann": 0.5 - 0.5 * np.cos(2 * np.pi * i / (n - 1)),
           "rectangular": np.ones(n)}[window]
    fb = bandsetup_model(n, numchans, fs)
    rows = []
    for f in range(count):
        fr = x[f * s: f * s + n].copy()
        fr -= fr.mean()
        fr = np.concatenate([[fr[0] * 0.03], fr[1:] - 0.97 * fr[:-1]])
        p = np.abs(np.fft.fft(fr * win, fft_n)[: fft_n // 2]) ** 2
        logfb = np.log(np.maximum(fb @ p, 2.0 ** -23))
        rows.append(quefwind_model(chan2qf_model(logfb[:, None], numceps), L)[:, 0])
    return np.array(rows)


def signal(fs=16000, seconds=0.5, seed=1):
    r = np.random.default_rng(seed)
    t = np.arange(int(fs * seconds)) / fs
    return 0.3 * np.sin(2 * np.pi * 440 * t) + 0.05 * r.standard_normal(t.size)


@pytest.mark.parametrize("fs, window", [(16000, "povey"), (8000, "hamming"),
                                        (16000, "hann"), (22050, "rectangular")])
def test_mfcc_matches_numpy_model(fs, window):
    y = signal(fs)
    got = melceps.mfcc(y, fs, window=window)
    want = mfcc_model(y, fs, window=window)
    assert got.shape == want.shape == (1 + (len(y) - round(0.025 * fs)) // round(0.01 * fs), 12)
    np.testing.assert_allclose(got, want, rtol=1e-9, atol=1e-9)


def test_mfcc_edges():
    assert melceps.mfcc(np.zeros(399), 16000).shape == (0, 12)
    assert melceps.mfcc(np.zeros(400), 16000).shape == (1, 12)
    silent = melceps.mfcc(np.zeros(1600), 16000)
    assert np.all(np.isfinite(silent))  # the floor keeps log finite
    two = np.stack([signal(), np.zeros(8000)], axis=1)
    np.testing.assert_array_equal(melceps.mfcc(two, 16000), melceps.mfcc(signal(), 16000))
    with pytest.raises(ValueError):
        melceps.mfcc(signal(), 16000, window="blackman")
    assert melceps.mfcc(signal(), 16000, num_ceps=5, num_chans=10).shape[1] == 5


def test_mfcc_against_torchaudio_kaldi():
    kaldi = pytest.importorskip("torchaudio.compliance.kaldi")
    import torch
    y = signal(16000, 1.0)
    ref = kaldi.mfcc(torch.tensor(y * 32768.0, dtype=torch.float32)[None, :],
                     sample_frequency=16000, dither=0.0, low_freq=0.0, num_mel_bins=23,
                     num_ceps=13, use_energy=False, cepstral_lifter=22.0).numpy()
    # torchaudio's column 0 is c0 (the DCT's zeroth term, which chan2qf never makes)
    np.testing.assert_allclose(melceps.mfcc(y, 16000), ref[:, 1:13], atol=1e-3)


HOST_SCRIPT = Path(os.environ.get("MELCEPS_SOURCE_DIR", Path(__file__).parents[2])) / \
    "examples" / "mfcc.m"


@pytest.mark.skipif(not HOST_SCRIPT.exists(), reason="examples/mfcc.m is not there yet")
def test_mfcc_equals_the_host_script(tmp_path):
    mexhost = os.environ.get("MELCEPS_MEXHOST")
    if not mexhost:
        pytest.skip("mexhost not known")
    import scipy.io
    y = signal(16000, 0.5)
    mat = tmp_path / "x.mat"
    scipy.io.savemat(mat, {"y": y[:, None], "fs": 16000.0})
    out = tmp_path / "c.mat"
    # The result goes through a MAT-file: the script's filterbank prints its own lines.
    code = f"load('{mat}'); c = mfcc(y, fs); save('{out}', 'c');"
    run = subprocess.run([mexhost, "--path", str(HOST_SCRIPT.parent), "-e", code],
                         capture_output=True, text=True, cwd=tmp_path)
    if "Undefined function or variable 'mfcc'" in run.stderr:
        pytest.skip("this mexhost does not call function files yet")
    assert run.returncode == 0, run.stderr
    host = scipy.io.loadmat(out)["c"].T  # one row per frame
    np.testing.assert_allclose(melceps.mfcc(y, 16000), host, rtol=1e-9, atol=1e-9)
