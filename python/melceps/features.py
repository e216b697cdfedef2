"""The front end: MFCC, filterbank and spectrogram features through libmelceps.

Every option is read from the library's own option records (:data:`OPTIONS`,
:data:`DELTA_OPTIONS`, :data:`CMVN_OPTIONS`): names, types and defaults are Kaldi's, as
``torchaudio.compliance.kaldi`` has them (no dither, energy floor 1). Samples are used as
given; Kaldi's values come from samples on the 16-bit integer scale (-32768 .. 32767), which
:func:`melceps.read_audio` gives with ``int16_scale=True``.
"""

from __future__ import annotations

from typing import Any, NamedTuple

import numpy as np

from . import _melceps


class Option(NamedTuple):
    """One option of the front end: its name, Python type, default and one-line help."""

    name: str
    type: type
    default: Any
    help: str


_TYPES = {"bool": bool, "int": int, "float": float, "str": str}


def _table(group: str) -> tuple[Option, ...]:
    return tuple(Option(n, _TYPES[t], d, h) for n, t, d, h in _melceps.option_table(group))


#: The options of framing, spectra, filterbanks and cepstra.
OPTIONS: tuple[Option, ...] = _table("features")
#: The options of :func:`add_deltas` (order, window).
DELTA_OPTIONS: tuple[Option, ...] = _table("deltas")
#: The options of :func:`sliding_cmvn` (cmn_window, min_cmn_window, center, norm_vars).
CMVN_OPTIONS: tuple[Option, ...] = _table("cmvn")

_DEFAULT = {o.name: o.default for o in OPTIONS + DELTA_OPTIONS + CMVN_OPTIONS}


def _signal(y: Any) -> np.ndarray:
    if type(y) is np.ndarray and y.dtype == np.float64 and y.ndim == 1 and y.flags.c_contiguous:
        return y  # as it is: the common case of a stream's chunks
    y = np.asarray(y)
    if y.dtype.kind == "c":
        raise TypeError("the signal must be real")
    if y.dtype.kind not in "fiub":
        raise TypeError(f"the signal must be numeric, not {y.dtype}")
    if y.ndim == 2 and 1 in y.shape:
        y = y.reshape(-1)
    if y.ndim != 1:
        raise ValueError(f"the signal must be 1-D (one channel), not of shape {y.shape}")
    return np.ascontiguousarray(y, dtype=np.float64)  # no copy of a contiguous float64 signal


def _single(dtype: Any) -> bool:
    dtype = np.dtype(dtype)
    if dtype == np.float64:
        return False
    if dtype == np.float32:
        return True
    raise TypeError(f"dtype must be float64 or float32, not {dtype}")


def _options(fs: float, options: dict[str, Any]) -> dict[str, Any]:
    if "sample_frequency" in options:
        raise TypeError("give the sampling frequency as fs, not as sample_frequency")
    if isinstance(fs, bool) or not isinstance(fs, (int, float, np.integer, np.floating)):
        raise TypeError("fs must be a number of Hz")
    return {"sample_frequency": float(fs), **options}


def _compute(kind: str, y: Any, fs: float, dtype: Any, options: dict[str, Any]) -> np.ndarray:
    return _melceps.compute(kind, _signal(y), _options(fs, options), None, None, _single(dtype))


def mfcc(y: Any, fs: float, *, dtype: Any = np.float64, **options: Any) -> np.ndarray:
    """Mel-frequency cepstral coefficients of a signal, as Kaldi's compute-mfcc-feats.

    Parameters
    ----------
    y : array_like
        The samples, 1-D. Used as given: for Kaldi's values, samples on the 16-bit integer
        scale (``read_audio(path, int16_scale=True)``).
    fs : float
        Sampling frequency in Hz.
    dtype : {numpy.float64, numpy.float32}
        Element type of the result.
    **options
        Any of :data:`OPTIONS` by name (``num_ceps=13``, ``num_mel_bins=23``,
        ``use_energy=False``, ``snip_edges=True``, ``window_type='povey'``, ...).

    Returns
    -------
    numpy.ndarray
        frames x num_ceps, c0 first (last with ``htk_compat``).

    Examples
    --------
    >>> import numpy as np, melceps
    >>> y = np.random.default_rng(0).normal(0, 1000, 16000)
    >>> melceps.mfcc(y, 16000).shape
    (98, 13)
    """
    return _compute("mfcc", y, fs, dtype, options)


def fbank(y: Any, fs: float, *, dtype: Any = np.float64, **options: Any) -> np.ndarray:
    """Mel filterbank energies of a signal, as Kaldi's compute-fbank-feats.

    Parameters
    ----------
    y : array_like
        The samples, 1-D, used as given (Kaldi's scale is that of 16-bit integers).
    fs : float
        Sampling frequency in Hz.
    dtype : {numpy.float64, numpy.float32}
        Element type of the result.
    **options
        Any of :data:`OPTIONS`; ``use_log_fbank`` (log or linear energies), ``use_power``
        (power or magnitude spectrum), ``use_energy`` (log energy as an extra column).

    Returns
    -------
    numpy.ndarray
        frames x num_mel_bins (+1 with ``use_energy``).

    Examples
    --------
    >>> melceps.fbank(np.ones(400) * 100.0, 16000, num_mel_bins=40).shape
    (1, 40)
    """
    return _compute("fbank", y, fs, dtype, options)


def spectrogram(y: Any, fs: float, *, dtype: Any = np.float64, **options: Any) -> np.ndarray:
    """Log power spectra of a signal, as Kaldi's compute-spectrogram-feats.

    Parameters
    ----------
    y : array_like
        The samples, 1-D, used as given.
    fs : float
        Sampling frequency in Hz.
    dtype : {numpy.float64, numpy.float32}
        Element type of the result.
    **options
        Any of :data:`OPTIONS` that concern frames and spectra.

    Returns
    -------
    numpy.ndarray
        frames x (FFT size / 2 + 1): the log power of each bin, column 0 the log energy.

    Examples
    --------
    >>> melceps.spectrogram(np.ones(400) * 100.0, 16000).shape
    (1, 257)
    """
    return _compute("spectrogram", y, fs, dtype, options)


def _matrix(feats: Any) -> np.ndarray:
    feats = np.asarray(feats)
    if feats.dtype.kind not in "fiu":
        raise TypeError(f"features must be real numbers, not {feats.dtype}")
    if feats.ndim != 2:
        raise ValueError(f"features must be 2-D, frames x dims, not of shape {feats.shape}")
    return np.ascontiguousarray(feats, dtype=np.float64)


def add_deltas(feats: Any, order: int = _DEFAULT["order"],
               window: int = _DEFAULT["window"]) -> np.ndarray:
    """Appends deltas and accelerations, as Kaldi's add-deltas.

    Parameters
    ----------
    feats : array_like
        frames x dims.
    order : int
        Highest order: 1 adds deltas, 2 also accelerations.
    window : int
        Frames on each side of the regression window; the window is convolved with itself
        once per order, and frames beyond the edges repeat the edge frames.

    Returns
    -------
    numpy.ndarray
        frames x dims * (order + 1): the features, then each order's deltas.

    Examples
    --------
    >>> melceps.add_deltas(np.zeros((10, 13))).shape
    (10, 39)
    """
    return _melceps.add_deltas(_matrix(feats), {"order": order, "window": window})


def sliding_cmvn(feats: Any, cmn_window: int = _DEFAULT["cmn_window"],
                 min_cmn_window: int = _DEFAULT["min_cmn_window"],
                 center: bool = _DEFAULT["center"],
                 norm_vars: bool = _DEFAULT["norm_vars"]) -> np.ndarray:
    """Mean (and variance) normalisation over a sliding window, as Kaldi's apply-cmvn-sliding.

    Parameters
    ----------
    feats : array_like
        frames x dims.
    cmn_window : int
        Frames in the window.
    min_cmn_window : int
        Least frames of the window at the start, when it is not centred.
    center : bool
        A window centred on each frame; else the frames up to it (causal).
    norm_vars : bool
        Also scale each dimension to unit variance.

    Returns
    -------
    numpy.ndarray
        frames x dims.

    Examples
    --------
    >>> melceps.sliding_cmvn(np.ones((5, 2))).max()
    0.0
    """
    return _melceps.sliding_cmvn(_matrix(feats), {
        "cmn_window": cmn_window, "min_cmn_window": min_cmn_window, "center": center,
        "norm_vars": norm_vars})


def cmvn_stats(feats: Any, stats: np.ndarray | None = None) -> np.ndarray:
    """Statistics for mean and variance normalisation, in Kaldi's layout.

    Parameters
    ----------
    feats : array_like
        frames x dims.
    stats : numpy.ndarray, optional
        Statistics to add to (2 x (dims + 1) float64), changed in place, as when a speaker's
        utterances are accumulated.

    Returns
    -------
    numpy.ndarray
        2 x (dims + 1): row 0 the sums of each dimension and the frame count, row 1 the sums
        of squares and 0 (Kaldi's cmvn.ark matrices).

    Examples
    --------
    >>> melceps.cmvn_stats(np.ones((4, 2)))
    array([[4., 4., 4.],
           [4., 4., 0.]])
    """
    feats = _matrix(feats)
    if stats is None:
        stats = np.zeros((2, feats.shape[1] + 1))
    elif not (isinstance(stats, np.ndarray) and stats.dtype == np.float64
              and stats.flags.c_contiguous and stats.flags.writeable):
        raise TypeError("stats must be a writeable C-ordered float64 array")
    _melceps.accumulate_cmvn_stats(feats, stats)
    return stats


def apply_cmvn(feats: Any, stats: Any, norm_vars: bool = False) -> np.ndarray:
    """Normalises features by statistics (:func:`cmvn_stats`), as Kaldi's apply-cmvn.

    Parameters
    ----------
    feats : array_like
        frames x dims.
    stats : array_like
        2 x (dims + 1) statistics, made here or read from Kaldi's cmvn.ark.
    norm_vars : bool
        Also scale each dimension to unit variance.

    Returns
    -------
    numpy.ndarray
        frames x dims, less the statistics' mean (over their standard deviation).

    Examples
    --------
    >>> f = np.arange(6.0).reshape(3, 2)
    >>> melceps.apply_cmvn(f, melceps.cmvn_stats(f))[:, 0]
    array([-2.,  0.,  2.])
    """
    return _melceps.apply_cmvn(_matrix(feats), _matrix(stats), bool(norm_vars))


def cmvn(feats: Any, norm_vars: bool = False) -> np.ndarray:
    """Mean (and variance) normalisation over the whole utterance.

    Parameters
    ----------
    feats : array_like
        frames x dims.
    norm_vars : bool
        Also scale each dimension to unit variance.

    Returns
    -------
    numpy.ndarray
        frames x dims.

    Examples
    --------
    >>> melceps.cmvn(np.arange(6.0).reshape(3, 2))[:, 1]
    array([-2.,  0.,  2.])
    """
    feats = _matrix(feats)
    return apply_cmvn(feats, cmvn_stats(feats), norm_vars)


class OnlineFeatures:
    """Features of a stream: samples in chunks of any size, frames as soon as they can be.

    The frames equal those of :func:`mfcc`, :func:`fbank` or :func:`spectrogram` on the
    whole signal, for every option and any chunking. A frame is ready once its last sample
    has arrived (with ``snip_edges=False`` the last frames come at :meth:`input_finished`);
    deltas wait only for the frames their window needs; sliding normalisation is causal
    when not centred; with ``subtract_mean`` every frame waits for the end of input.

    Parameters
    ----------
    kind : {'mfcc', 'fbank', 'spectrogram'}
    fs : float
        Sampling frequency in Hz.
    deltas : dict, optional
        Options of :data:`DELTA_OPTIONS` (``{}`` for the defaults): deltas after the frames.
    sliding_cmvn : dict, optional
        Options of :data:`CMVN_OPTIONS`: sliding normalisation, before any deltas.
    dtype : {numpy.float64, numpy.float32}
        Element type of :meth:`get_frames`.
    **options
        Any of :data:`OPTIONS`.

    Examples
    --------
    >>> f = melceps.OnlineFeatures("mfcc", 16000)
    >>> f.accept_waveform(np.ones(800) * 10.0)
    >>> f.num_frames_ready
    3
    >>> f.get_frames(0, 2).shape
    (2, 13)
    >>> f.discard_frames(2)
    """

    def __init__(self, kind: str, fs: float, *, deltas: dict[str, Any] | None = None,
                 sliding_cmvn: dict[str, Any] | None = None, dtype: Any = np.float64,
                 **options: Any) -> None:
        self._single = _single(dtype)
        self._online = _melceps.Online(kind, _options(fs, options), sliding_cmvn, deltas)

    def accept_waveform(self, samples: Any) -> None:
        """Takes the next samples (1-D); a NaN or infinite sample is a ValueError."""
        self._online.accept(_signal(samples))

    def input_finished(self) -> None:
        """No more samples: the frames still held back come out."""
        self._online.finish()

    @property
    def num_frames_ready(self) -> int:
        """Frames ready, counted from the stream's first frame (dropped ones included)."""
        return self._online.ready

    @property
    def num_frames_discarded(self) -> int:
        """Frames dropped so far: the index of the first frame still held."""
        return self._online.discarded

    @property
    def dim(self) -> int:
        """Values in one frame."""
        return self._online.dim

    def get_frames(self, start: int, count: int) -> np.ndarray:
        """Frames start .. start + count - 1, by their index in the stream: count x dim."""
        return self._online.frames(int(start), int(count), self._single)

    def discard_frames(self, upto: int) -> None:
        """Drops the frames below ``upto`` (they can no longer be read)."""
        self._online.discard(int(upto))

    def process(self, samples: Any) -> np.ndarray:
        """Takes the next samples and returns the frames they complete, then drops them.

        The frames come in order, each once: a stream read this way gives the offline
        frames, in one Python call per chunk. Frames read this way can no longer be asked
        for with :meth:`get_frames`; after :meth:`input_finished`, ``process([])`` gives the
        last ones.

        Parameters
        ----------
        samples : array_like
            The next samples, 1-D (may be empty).

        Returns
        -------
        ndarray
            New frames x dim, in the computer's dtype.

        Examples
        --------
        >>> f = melceps.OnlineFeatures("mfcc", 16000)
        >>> f.process(np.ones(800) * 10.0).shape
        (3, 13)
        >>> f.process(np.ones(160) * 10.0).shape
        (1, 13)
        """
        return self._online.process(_signal(samples), self._single)
