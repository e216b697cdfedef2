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
    # Element by element: the input's shape (a float for a number), although the module
    # folds trailing dimensions and makes a 1-D input a row.
    m = melceps.mel(f)
    expected = mel_model(f)
    if np.ndim(f) == 0:
        assert isinstance(m, float)
    else:
        assert m.shape == np.shape(f)
    np.testing.assert_allclose(m, expected, rtol=1e-14)


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
    np.testing.assert_allclose(melceps.db(x), expected, atol=1e-12)


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
    assert isinstance(melceps.db("a"), float)  # char codes become numbers in the runtime
    with pytest.raises(TypeError):
        melceps.db(object())
    with pytest.raises(TypeError):
        melceps.db(np.array(["x"], dtype=object))


@pytest.mark.skipif("probe" not in melceps.functions(), reason="test module not on the path")
def test_warnings_go_through_python_warnings():
    with pytest.warns(melceps.ToolboxWarning, match='Output argument "y" was not assigned'):
        melceps.call("probe", False)
    assert melceps.call("probe", True, nargout=1)[0, 0] == 1
