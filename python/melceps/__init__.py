"""melceps: the mel-cepstrum toolbox and its front end for Python.

Features: :func:`mfcc`, :func:`fbank` and :func:`spectrogram` compute Kaldi's features with
Kaldi's options through the front end's library (frames x dims); :func:`add_deltas`,
:func:`sliding_cmvn`, :func:`cmvn`, :func:`cmvn_stats` and :func:`apply_cmvn` follow them;
:class:`OnlineFeatures` streams. Their options are listed in :data:`OPTIONS`,
:data:`DELTA_OPTIONS` and :data:`CMVN_OPTIONS`.

The toolbox's functions: its compiled modules are loaded once per process through the
project's loader and called through their gateway entries, exactly as ``mexhost`` calls them.
Arguments may be numpy arrays of any real or complex numeric dtype, Python numbers, strings
or booleans; a 1-D array is passed as one row. A Fortran-ordered float64 array is read in
place, without a copy, and never written. :func:`mel` and :func:`db` give the input's shape;
the matrix functions and :func:`call` give arrays in the host's shape (at least 2-D,
column-major), complex where the result is complex, and a tuple when several are asked for.

Errors raise :class:`melceps.Error` with the system's message (:class:`FeatureError`, also a
``ValueError``, for the front end's); warnings are issued as :class:`ToolboxWarning`; printed
text goes to ``sys.stdout``.
"""

from __future__ import annotations

import os
import sys
import warnings as _warnings
from pathlib import Path
from typing import Any

import numpy as np

from . import _melceps

__all__ = ["Error", "FeatureError", "ToolboxWarning", "bandsetup", "mel", "chan2qf", "quefwind",
           "db", "call", "mfcc", "fbank", "spectrogram", "add_deltas", "sliding_cmvn", "cmvn",
           "cmvn_stats", "apply_cmvn", "OnlineFeatures", "Option", "OPTIONS", "DELTA_OPTIONS",
           "CMVN_OPTIONS", "read_audio", "functions"]


class Error(RuntimeError):
    """An error raised by a function of the toolbox; the message is the system's own."""


class ToolboxWarning(UserWarning):
    """A warning issued by a function of the toolbox."""


Warning = ToolboxWarning  # noqa: A001 - the earlier name, kept for callers; not star-exported


def _module_dirs() -> list[str]:
    dirs = []
    extra = os.environ.get("MELCEPS_MODULE_PATH")
    if extra:
        dirs += [d for d in extra.split(os.pathsep) if d]
    installed = Path(__file__).resolve().parents[3] / "mex"  # PREFIX/lib/mex
    if installed.is_dir():
        dirs.append(str(installed))
    else:
        try:
            from ._paths import MODULE_DIRS
            dirs += MODULE_DIRS
        except ImportError:
            pass
    return dirs


_loaded = False


def _ensure_loaded() -> None:
    global _loaded
    if not _loaded:
        _melceps.load_path(_module_dirs())
        _loaded = True
        _replay(_melceps.events())  # warnings of the loading itself


def _replay(events) -> None:
    for is_warning, text in events:
        if is_warning:
            _warnings.warn(text, ToolboxWarning, stacklevel=3)
        else:
            sys.stdout.write(text)


def functions() -> list[str]:
    """The names of every function that :func:`call` can reach.

    Returns
    -------
    list of str
        Sorted names, those of the loaded modules and ``db``.

    Examples
    --------
    >>> "bandsetup" in melceps.functions()
    True
    """
    _ensure_loaded()
    return sorted(set(_melceps.names()))


def call(name: str, *args: Any, nargout: int = 1) -> Any:
    """Calls a function of a loaded module (or ``db``) through its gateway entry.

    Parameters
    ----------
    name : str
        The function's name, as :func:`functions` lists it.
    *args
        Numbers, strings, booleans or arrays of any real or complex numeric dtype; a 1-D
        array is passed as one row.
    nargout : int
        Results asked for: 0 runs the function for its effect.

    Returns
    -------
    None, numpy.ndarray or tuple
        None for ``nargout=0``, the result itself for 1, a tuple for more; arrays in the
        host's shape (at least 2-D), of the class the function gives.

    Raises
    ------
    Error
        With the system's message.

    Examples
    --------
    >>> melceps.call("mel", 700.0)
    array([[781.17...]])
    """
    if not isinstance(name, str):
        raise TypeError("the function's name must be a str")
    if isinstance(nargout, bool) or not isinstance(nargout, int):
        raise TypeError("nargout must be an int")
    _ensure_loaded()
    results, events, error = _melceps.call(name, *args, nargout=nargout)
    _replay(events)
    if error is not None:
        raise Error(error)
    if nargout <= 0:
        return None
    if nargout == 1:
        return results[0] if results else None
    return tuple(results)


def _elementwise(name: str, x: Any) -> Any:
    """An element-wise function: the input's shape, a float (or complex) for a number."""
    shape = np.shape(x)
    out = call(name, x)
    if shape == ():
        return out.reshape(()).item()
    return out.reshape(shape, order="F")


def bandsetup(framelen: int, numchans: int, fsamp: float) -> np.ndarray:
    """Designs a bank of triangular filters spaced evenly on the mel scale.

    Prints two lines that report the design (to ``sys.stdout``).

    Parameters
    ----------
    framelen : int
        Frame length in samples; the transform size fftN is it zero-padded up to a power
        of two.
    numchans : int
        Number of channels.
    fsamp : float
        Sampling frequency in Hz.

    Returns
    -------
    numpy.ndarray
        float64, ``(numchans, fftN // 2)``: row k is channel k's triangle over the FFT bins
        0 .. fftN/2 - 1, peaking at 1 at its centre.

    Examples
    --------
    >>> melceps.bandsetup(400, 23, 16000).shape
    Designing a mel-spaced filterbank with 23 channels.
    Frame length will be 512 (zero padded up from 400).
    (23, 256)
    """
    return call("bandsetup", framelen, numchans, fsamp)


def mel(f: Any) -> Any:
    """Converts frequencies in Hz to mels, 1127 ln(1 + f / 700), element by element.

    Parameters
    ----------
    f : float or array_like
        Frequencies in Hz.

    Returns
    -------
    float or numpy.ndarray
        Mels, in the shape of ``f`` (a float for a number).

    Examples
    --------
    >>> round(melceps.mel(1000.0), 3)
    999.985
    """
    return _elementwise("mel", f)


def chan2qf(logfbout: Any, numceps: int) -> np.ndarray:
    """Cepstral coefficients 1 .. numceps of log filterbank outputs.

    Parameters
    ----------
    logfbout : array_like
        Log filterbank outputs, channels x frames.
    numceps : int
        Coefficients per frame.

    Returns
    -------
    numpy.ndarray
        ``(numceps, frames)``: the type-II cosine transform of each column, scaled by
        sqrt(2 / channels), without the zeroth coefficient.

    Examples
    --------
    >>> melceps.chan2qf(np.array([[1.0], [0.0]]), 2).round(6)
    array([[0.707107],
           [0.      ]])
    """
    return call("chan2qf", logfbout, numceps)


def quefwind(cepsin: Any, L: float) -> np.ndarray:
    """Lifters cepstra: coefficient n of every frame times 1 + (L / 2) sin(pi n / L).

    Parameters
    ----------
    cepsin : array_like
        Coefficients x frames.
    L : float
        Lifter length: a negative whole L divides by the weights of |L| (undoing a
        liftering); zero or a fractional L returns the input.

    Returns
    -------
    numpy.ndarray
        The shape of ``cepsin``.

    Examples
    --------
    >>> melceps.quefwind(np.ones((3, 1)), 2).round(6).ravel()
    array([2., 1., 0.])
    """
    return call("quefwind", cepsin, L)


def db(x: Any) -> Any:
    """Decibels, 20 log10(x), element by element, through libzeta.

    Parameters
    ----------
    x : float or array_like
        Magnitudes (negative ones give complex decibels).

    Returns
    -------
    float, complex or numpy.ndarray
        In the shape of ``x`` (a number for a number).

    Examples
    --------
    >>> melceps.db(100.0)
    40.0
    """
    return _elementwise("db", x)


def read_audio(path: str | os.PathLike, *, int16_scale: bool = False) -> tuple[np.ndarray, int]:
    """Reads an audio file through libsndfile.

    Parameters
    ----------
    path : str or os.PathLike
        Any format libsndfile reads.
    int16_scale : bool
        Samples on the 16-bit integer scale (-32768 .. 32767), from which the front end
        gives Kaldi's values; else on the scale -1 .. 1.

    Returns
    -------
    (numpy.ndarray, int)
        The samples, float64 of shape ``(frames, channels)``, and the rate in Hz.

    Raises :class:`Error` when the file cannot be read.
    """
    try:
        samples, rate = _melceps.read_audio(os.fspath(path))
    except RuntimeError as e:
        raise Error(str(e)) from None
    if int16_scale:
        samples *= 32768.0
    return samples, rate


from .features import (  # noqa: E402
    CMVN_OPTIONS, DELTA_OPTIONS, OPTIONS, OnlineFeatures, Option, add_deltas, apply_cmvn, cmvn,
    cmvn_stats, fbank, mfcc, sliding_cmvn, spectrogram)



class FeatureError(Error, ValueError):
    """A bad option or sample given to the front end: the library's message."""


_melceps.set_feature_error(FeatureError)
