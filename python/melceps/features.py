"""The mel-cepstral front end: framing and power spectra in numpy, the rest in the toolbox."""

from __future__ import annotations

import contextlib
import functools
import io
from typing import Any

import numpy as np

WINDOWS = ("povey", "hamming", "hann", "rectangular")


def frame_window(kind: str, n: int) -> np.ndarray:
    """The analysis window of ``n`` samples: povey (symmetric Hann to the power 0.85),
    hamming, hann (both symmetric) or rectangular."""
    if n < 1:
        raise ValueError("the frame must hold at least one sample")
    if kind == "rectangular" or n == 1:
        return np.ones(n)
    a = 2.0 * np.pi * np.arange(n) / (n - 1)
    if kind == "povey":
        return (0.5 - 0.5 * np.cos(a)) ** 0.85
    if kind == "hann":
        return 0.5 - 0.5 * np.cos(a)
    if kind == "hamming":
        return 0.54 - 0.46 * np.cos(a)
    raise ValueError(f"unknown window {kind!r}; choose one of {', '.join(WINDOWS)}")


# Frames are transformed this many at a time: the block's temporaries stay in the cache and
# are reused from one block to the next, while whole-signal temporaries of several MiB would be
# handed back to the system and faulted in again on every call.
_BLOCK_FRAMES = 64


def power_spectra(y: np.ndarray, framelen: int, shift: int, preemph: float,
                  window: str) -> np.ndarray:
    """Power spectra of the whole frames of ``y``: frames x (fftN // 2), fftN being the
    frame length zero-padded up to a power of two (the Nyquist bin left out, as bandsetup's
    filterbank has no column for it)."""
    y = np.ascontiguousarray(y, dtype=np.float64)
    n = y.shape[0]
    count = 0 if n < framelen else 1 + (n - framelen) // shift
    fft_n = 1 << max(0, int(framelen - 1).bit_length())
    half = fft_n // 2
    power = np.empty((count, half))
    if count == 0:
        return power
    # Overlapping frames as a read-only view of the signal, one row each.
    step = y.strides[0]
    frames = np.lib.stride_tricks.as_strided(y, shape=(count, framelen),
                                             strides=(shift * step, step), writeable=False)
    win = frame_window(window, framelen)
    padded = np.zeros((min(_BLOCK_FRAMES, count), fft_n))  # the tail stays zero
    for start in range(0, count, _BLOCK_FRAMES):
        block = frames[start:start + _BLOCK_FRAMES]
        k = block.shape[0]
        centred = block - block.mean(axis=1, keepdims=True)
        body = padded[:k, :framelen]
        if preemph != 0.0:  # x[j] - p x[j-1], the first sample against itself
            np.multiply(centred[:, :-1], -preemph, out=body[:, 1:])
            body[:, 1:] += centred[:, 1:]
            body[:, 0] = centred[:, 0] - preemph * centred[:, 0]
        else:
            body[...] = centred
        body *= win
        spectra = np.fft.rfft(padded[:k], axis=1)[:, :half]
        rows = power[start:start + k]
        np.multiply(spectra.real, spectra.real, out=rows)
        rows += spectra.imag * spectra.imag
    return power


@functools.lru_cache(maxsize=16)
def _filterbank(framelen: int, numchans: int, fs: float) -> np.ndarray:
    from . import bandsetup
    with contextlib.redirect_stdout(io.StringIO()):  # its two report lines, once per design
        return bandsetup(framelen, numchans, fs)


def mfcc(y: Any, fs: float, *, frame_length: float = 25.0, frame_shift: float = 10.0,
         preemphasis: float = 0.97, window: str = "povey", num_chans: int = 23,
         num_ceps: int = 12, lifter: float = 22.0, scale: float = 32768.0) -> np.ndarray:
    """Mel-frequency cepstral coefficients of one signal, Kaldi's defaults without dither.

    ``y`` is a 1-D signal (or samples x channels, of which the first channel is used) on the
    scale -1 .. 1, as :func:`melceps.read_audio` gives it; ``scale`` (32768) brings it to the
    16-bit integer scale (give ``scale=1`` for integer samples). ``fs`` is the sampling
    frequency in Hz. Frames of ``frame_length`` ms every ``frame_shift`` ms (whole frames
    only) have their mean removed, are pre-emphasised by ``preemphasis`` (the first sample
    scaled by 1 - preemphasis), windowed (povey, hamming, hann or rectangular) and
    transformed; the power spectrum goes through ``bandsetup``'s filterbank of
    ``num_chans`` channels, the natural log of each energy (floored at 2^-23) through
    ``chan2qf`` for coefficients 1 .. ``num_ceps`` and ``quefwind`` with L = ``lifter``.

    Returns float64 of shape ``(frames, num_ceps)``: one row per frame, c1 first (the
    transpose of the host's one column per frame).
    """
    from . import chan2qf, quefwind
    y = np.asarray(y)
    if y.ndim == 2:
        y = y[:, 0]
    elif y.ndim != 1:
        raise ValueError("y must be a 1-D signal or samples x channels")
    if np.iscomplexobj(y):
        raise ValueError("y must be real")
    y = np.multiply(y, float(scale), dtype=np.float64)
    framelen = int(round(frame_length * fs / 1000.0))
    shift = int(round(frame_shift * fs / 1000.0))
    if framelen < 2 or shift < 1:
        raise ValueError("the frame length must be at least 2 samples and the shift at least 1")
    if window not in WINDOWS:
        raise ValueError(f"unknown window {window!r}; choose one of {', '.join(WINDOWS)}")
    power = power_spectra(y, framelen, shift, preemphasis, window)
    if power.shape[0] == 0:
        return np.zeros((0, int(num_ceps)))
    fbank = _filterbank(framelen, int(num_chans), float(fs))
    # channels x frames, column-major (the transpose of a row-major product) so that it
    # crosses into the toolbox as it is
    energies = (power @ fbank.T).T
    logfb = np.log(np.maximum(energies, 2.0 ** -23))
    ceps = quefwind(chan2qf(logfb, int(num_ceps)), lifter)
    return np.ascontiguousarray(ceps.T)
