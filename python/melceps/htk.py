"""HTK parameter files: a 12-byte big-endian header (frames int32, frame period int32 in
units of 100 ns, bytes per frame int16, parameter kind int16), then float32 frames.

The kind is a base (MFCC, FBANK, MELSPEC, USER) with qualifier bits: _E energy, _0 c0 (both
the last static coefficient, as Kaldi's ``htk_compat`` places them), _D deltas, _A
accelerations, _T third differentials, _Z mean removed.
"""

from __future__ import annotations

import struct
from pathlib import Path
from typing import IO

import numpy as np

BASE = {"MFCC": 6, "FBANK": 7, "MELSPEC": 8, "USER": 9}
QUALIFIERS = {"E": 0o100, "N": 0o200, "D": 0o400, "A": 0o1000, "C": 0o2000, "Z": 0o4000,
              "K": 0o10000, "0": 0o20000, "V": 0o40000, "T": 0o100000}
_DELTA_QUALIFIERS = ("D", "A", "T")  # for delta orders 1, 2, 3


def kind_name(kind: int) -> str:
    """The kind as HTK spells it, e.g. MFCC_E_D_A."""
    base = {v: k for k, v in BASE.items()}.get(kind & 0o77, str(kind & 0o77))
    return base + "".join(f"_{q}" for q, bit in QUALIFIERS.items() if kind & bit)


def kind_of(feature_type: str, options: dict, delta_order: int = 0,
            mean_removed: bool = False) -> int:
    """The parameter kind of the features the front end computes with ``options`` (its full
    set, defaults included), ``delta_order`` orders of deltas appended."""
    if feature_type == "mfcc":
        base = "MFCC"
    elif feature_type == "fbank":
        base = "FBANK" if options["use_log_fbank"] else "MELSPEC"
    else:
        base = "USER"
    qualifiers = []
    if base != "USER" and options["use_energy"]:
        qualifiers.append("E")
    elif base == "MFCC":
        qualifiers.append("0")  # Kaldi's cepstra always hold c0
    if delta_order > len(_DELTA_QUALIFIERS):
        raise ValueError(f"HTK has no qualifier for deltas of order {delta_order}")
    qualifiers += _DELTA_QUALIFIERS[:delta_order]
    if mean_removed:
        qualifiers.append("Z")
    return BASE[base] | sum(QUALIFIERS[q] for q in qualifiers)


def write(f: IO[bytes], feats: np.ndarray, period_ms: float, kind: int) -> None:
    frames, dim = feats.shape
    if 4 * dim > 0x7FFF:
        raise ValueError(f"HTK frames hold at most {0x7FFF // 4} coefficients, not {dim}")
    f.write(struct.pack(">iihH", frames, int(round(period_ms * 1e4)), 4 * dim, kind))
    f.write(np.ascontiguousarray(feats, dtype=">f4").tobytes())


def read(path: str | Path) -> tuple[np.ndarray, int, int]:
    """(frames x coefficients float32, frame period in 100 ns, parameter kind) of a file."""
    data = Path(path).read_bytes()
    frames, period, size, kind = struct.unpack(">iihH", data[:12])
    feats = np.frombuffer(data[12:], dtype=">f4").reshape(frames, size // 4)
    return feats.astype(np.float32), period, kind
