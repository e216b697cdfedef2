"""Kaldi's binary tables: archives of float or double matrices (``.ark``), the script files
that index them (``utt path:offset``), written under a temporary name and renamed when whole,
and a reader of both.

A binary matrix is ``\\0B``, then ``FM `` (float) or ``DM `` (double), then the rows and the
columns, each an int32 after its size byte 4, then the elements row by row, little-endian.
In an archive each matrix follows its key and a space; an offset in a script file points at
the ``\\0B``.
"""

from __future__ import annotations

import os
import struct
from pathlib import Path
from typing import IO, Iterator

import numpy as np

_TOKENS = {np.dtype(np.float32): b"FM ", np.dtype(np.float64): b"DM "}
_DTYPES = {b"FM ": np.dtype("<f4"), b"DM ": np.dtype("<f8")}


def check_key(key: str) -> None:
    if not key or any(c.isspace() for c in key):
        raise ValueError(f"a Kaldi key must be non-empty and without spaces: {key!r}")


def write_matrix(f: IO[bytes], m: np.ndarray) -> None:
    """One binary matrix (float32 or float64) at the file's position."""
    m = np.asarray(m)
    if m.ndim != 2 or m.dtype not in _TOKENS:
        raise ValueError("a matrix is 2-D float32 or float64")
    f.write(b"\0B" + _TOKENS[m.dtype] + struct.pack("<bibi", 4, m.shape[0], 4, m.shape[1]))
    f.write(np.ascontiguousarray(m, dtype=m.dtype.newbyteorder("<")).tobytes())


def temporary_beside(path: Path) -> Path:
    return path.with_name(f".{path.name}.tmp{os.getpid()}")


class ArchiveWriter:
    """Writes an archive under a temporary name; :meth:`commit` renames it into place, and
    leaving the block without it removes the temporary. Offsets are those of the final file."""

    def __init__(self, path: str | os.PathLike):
        self.path = Path(path)
        self.tmp = temporary_beside(self.path)
        self.count = 0
        self._f: IO[bytes] | None = None

    def __enter__(self) -> "ArchiveWriter":
        self.path.parent.mkdir(parents=True, exist_ok=True)
        self._f = open(self.tmp, "wb")
        return self

    def add(self, key: str, m: np.ndarray) -> int:
        """Appends ``key``'s matrix; returns its offset (for ``path:offset``)."""
        check_key(key)
        assert self._f is not None
        start = self._f.tell()
        try:
            self._f.write(key.encode() + b" ")
            offset = self._f.tell()
            write_matrix(self._f, m)
        except BaseException:
            # A matrix cut short (a full disk) would shift every later one: it goes whole.
            self._f.seek(start)
            self._f.truncate()
            raise
        self.count += 1
        return offset

    def commit(self) -> None:
        assert self._f is not None
        self._f.close()
        os.replace(self.tmp, self.path)

    def __exit__(self, *exc) -> None:
        if self._f is not None:
            self._f.close()
        if self.tmp.exists():
            self.tmp.unlink()


def write_text_atomic(path: str | os.PathLike, lines: list[str]) -> None:
    """A text file of lines, under a temporary name renamed into place."""
    path = Path(path)
    tmp = temporary_beside(path)
    try:
        with open(tmp, "w") as f:
            f.writelines(line + "\n" for line in lines)
        os.replace(tmp, path)
    finally:
        if tmp.exists():
            tmp.unlink()


def write_script(path: str | os.PathLike, entries: dict[str, str]) -> None:
    """A script file of ``key location`` lines sorted by key as bytes, as Kaldi's sorted
    tables need them."""
    keys = sorted(entries, key=lambda k: k.encode())
    write_text_atomic(path, [f"{k} {entries[k]}" for k in keys])


def write_archive(path: str | os.PathLike, items: dict[str, np.ndarray]) -> dict[str, str]:
    """An archive of the matrices in key order; returns each key's ``path:offset``."""
    where = {}
    with ArchiveWriter(path) as ark:
        for key in sorted(items, key=lambda k: k.encode()):
            where[key] = f"{Path(path).resolve()}:{ark.add(key, items[key])}"
        ark.commit()
    return where


def read_matrix(f: IO[bytes]) -> np.ndarray:
    head = f.read(2 + 3 + 10)
    if len(head) != 15 or head[:2] != b"\0B" or head[2:5] not in _DTYPES:
        raise ValueError("not a binary float or double matrix")
    size1, rows, size2, cols = struct.unpack("<bibi", head[5:])
    if size1 != 4 or size2 != 4 or rows < 0 or cols < 0:
        raise ValueError("bad matrix dimensions")
    dtype = _DTYPES[head[2:5]]
    data = f.read(rows * cols * dtype.itemsize)
    if len(data) != rows * cols * dtype.itemsize:
        raise ValueError("matrix cut short")
    return np.frombuffer(data, dtype=dtype).reshape(rows, cols).astype(dtype.newbyteorder("="))


def read_archive(path: str | os.PathLike) -> Iterator[tuple[str, np.ndarray]]:
    with open(path, "rb") as f:
        while True:
            key = b""
            while (c := f.read(1)) not in (b" ", b""):
                key += c
            if not key:
                return
            yield key.decode(), read_matrix(f)


def read_script(path: str | os.PathLike) -> dict[str, np.ndarray]:
    """Every matrix of a script file of ``key path:offset`` lines, by key."""
    out = {}
    for line in Path(path).read_text().splitlines():
        key, location = line.split(None, 1)
        file, _, offset = location.rpartition(":")
        with open(file, "rb") as f:
            f.seek(int(offset))
            out[key] = read_matrix(f)
    return out
