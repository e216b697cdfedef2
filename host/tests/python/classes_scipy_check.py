#!/usr/bin/env python3
"""load and save in mexhost keep the numeric classes of MAT-files that scipy.io writes and reads.

Usage: classes_scipy_check.py MEXHOST. scipy writes one variable of every integer class and
single (limits included), mexhost loads them, reports their classes, computes with them and
saves; scipy reads the results back and compares dtypes and values exactly. Prints
"N passed, N failed" and exits non-zero on failure.
"""
import os
import sys
import tempfile

import numpy as np
import scipy.io

from mexhost_checks import Checks

VALUES = {
    "i8": np.array([[-128, -1, 0, 127]], dtype=np.int8),
    "u8": np.array([[0, 1, 254, 255]], dtype=np.uint8),
    "i16": np.array([[-32768], [7], [32767]], dtype=np.int16),
    "u16": np.array([[0, 65535]], dtype=np.uint16),
    "i32": np.array([[-(2**31), 2**31 - 1]], dtype=np.int32),
    "u32": np.array([[0, 2**32 - 1]], dtype=np.uint32),
    "i64": np.array([[-(2**63), 2**53 + 1, 2**63 - 1]], dtype=np.int64),
    "u64": np.array([[0, 2**53 + 1, 2**64 - 1]], dtype=np.uint64),
    "s": np.array([[0.1, -1.5], [3.25, 1e30]], dtype=np.float32),
    "n": np.arange(24, dtype=np.int16).reshape((2, 3, 4), order="F"),
}

STATEMENTS = (
    "load('in.mat'); "
    "fprintf('%s ', class(i8), class(u8), class(i16), class(u16), class(i32), class(u32), "
    "class(i64), class(u64), class(s), class(n)); "
    "i16plus = i16 + 1; u8half = u8 / 2; i64next = i64 - 1; s2 = s * 2; "
    "save('out.mat', 'i8', 'u8', 'i16', 'u16', 'i32', 'u32', 'i64', 'u64', 's', 'n', "
    "'i16plus', 'u8half', 'i64next', 's2')"
)


def main():
    mexhost = sys.argv[1]
    checks = Checks()
    check = checks.check

    def same(name, got, want):
        check(name, got.dtype == want.dtype and np.array_equal(got, want),
              f"{got.dtype} {got!r} != {want.dtype} {want!r}")

    with tempfile.TemporaryDirectory() as folder:
        scipy.io.savemat(os.path.join(folder, "in.mat"), VALUES)
        run = checks.run_mexhost(mexhost, STATEMENTS, folder)
        if run is None:
            return checks.report()
        classes = run.stdout.split()
        check("classes after load", classes == ["int8", "uint8", "int16", "uint16", "int32",
                                                "uint32", "int64", "uint64", "single", "int16"],
              classes)
        m = scipy.io.loadmat(os.path.join(folder, "out.mat"))
        for name, want in VALUES.items():
            same(name, m[name], want)
        # Results computed in the class: saturated at the limits, halves rounded away from 0.
        same("i16 + 1", m["i16plus"], np.array([[-32767], [8], [32767]], dtype=np.int16))
        same("u8 / 2", m["u8half"], np.array([[0, 1, 127, 128]], dtype=np.uint8))
        same("i64 - 1", m["i64next"], np.array([[-(2**63), 2**53, 2**63 - 2]], dtype=np.int64))
        same("s * 2", m["s2"], VALUES["s"] * np.float32(2))
    return checks.report()


if __name__ == "__main__":
    sys.exit(main())
