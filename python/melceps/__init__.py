"""melceps: the mel-cepstrum toolbox for Python.

The toolbox's compiled modules are loaded once per process through the project's loader and
called through their gateway entries, exactly as ``mexhost`` calls them. Arguments may be
numpy arrays of any real or complex numeric dtype, Python numbers, strings or booleans; a 1-D
array is passed as one row. A Fortran-ordered float64 array is read in place, without a copy,
and never written. Results are numpy arrays in the host's shape (at least 2-D,
column-major), complex where the result is complex, and a tuple when several are asked for.

Errors raise :class:`melceps.Error` with the system's message; warnings are issued as
:class:`melceps.Warning`; printed text goes to ``sys.stdout``.
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
    """The names of every function that :func:`call` can reach."""
    _ensure_loaded()
    return sorted(set(_melceps.names()))


def call(name: str, *args: Any, nargout: int = 1) -> Any:
    """Calls the function ``name`` of a loaded module (or ``db``) through its gateway entry.

    ``nargout`` results are asked for: with 0 the function runs for its effect and None is
    returned, with 1 the result itself, with more a tuple of results.
    """
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


def bandsetup(framelen: float, numchans: float, fsamp: float) -> np.ndarray:
    """Designs a bank of triangular filters spaced evenly on the mel scale.

    ``framelen`` is the frame length in samples (zero-padded up to a power of two, fftN),
    ``numchans`` the number of channels and ``fsamp`` the sampling frequency in Hz. Prints
    two lines that report the design. Returns a float64 array of shape
    ``(numchans, fftN // 2)``: row k is channel k's triangle over the FFT bins 0 ..
    fftN/2 - 1, peaking at 1 at its centre.
    """
    return call("bandsetup", framelen, numchans, fsamp)


def mel(f: Any) -> np.ndarray:
    """Converts frequencies in Hz to mels, 1127 * ln(1 + f / 700), element by element.

    The result has the shape of ``f`` (a scalar gives 1 x 1, a 1-D array one row).
    """
    return call("mel", f)


def chan2qf(logfbout: Any, numceps: int) -> np.ndarray:
    """Cepstral coefficients 1 .. numceps of log filterbank outputs.

    ``logfbout`` has one row per channel and one column per frame (channels x frames); the
    result has shape ``(numceps, frames)``: the type-II cosine transform of each column,
    scaled by sqrt(2 / channels), without the zeroth coefficient.
    """
    return call("chan2qf", logfbout, numceps)


def quefwind(cepsin: Any, L: float) -> np.ndarray:
    """Lifters cepstra: coefficient n of every frame times 1 + (L / 2) sin(pi n / L).

    ``cepsin`` is coefficients x frames; the result has its shape. A negative whole L divides
    by the weights of |L| (undoing a liftering); zero or a fractional L returns the input.
    """
    return call("quefwind", cepsin, L)


def db(x: Any) -> np.ndarray:
    """Decibels, 20 * log10(x), element by element, through libzeta; the shape of ``x``."""
    return call("db", x)


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
