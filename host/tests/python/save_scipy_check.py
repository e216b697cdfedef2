#!/usr/bin/env python3
"""save() in mexhost writes MAT-files that scipy.io.loadmat reads back exactly.

Usage: save_scipy_check.py MEXHOST. Runs mexhost -e in a scratch folder, then compares every
variable with the values built here. Prints "N passed, N failed" and exits non-zero on failure.
"""
import os
import sys
import tempfile

import numpy as np
import scipy.io

from mexhost_checks import Checks

STATEMENTS = (
    "a = [1 2 3; 4 5 6]; z = [1+2i, -3.5i; 0, 4]; s = 'h\u00e9llo'; t = ['ab'; 'cd']; "
    "b = [true false true]; e = zeros(0, 3); n = reshape(1:24, 2, 3, 4); x = NaN; "
    "save('out.mat', 'a', 'z', 's', 't', 'b', 'e', 'n', 'x'); save('all')"
)


def main():
    mexhost = sys.argv[1]
    checks = Checks()
    check = checks.check

    with tempfile.TemporaryDirectory() as folder:
        if checks.run_mexhost(mexhost, STATEMENTS, folder):
            # Characters are stored as UTF-16 code units; scipy decodes them with the
            # locale's codec unless told.
            m = scipy.io.loadmat(os.path.join(folder, "out.mat"), uint16_codec="utf-16-le")
            check("a", np.array_equal(m["a"], np.array([[1.0, 2, 3], [4, 5, 6]])), m["a"])
            z = np.array([[1 + 2j, -3.5j], [0, 4]])
            check("z", m["z"].dtype.kind == "c" and np.array_equal(m["z"], z), m["z"])
            check("s", list(m["s"]) == ["h\u00e9llo"], m["s"])
            check("t", list(m["t"]) == ["ab", "cd"], m["t"])
            check("b", np.array_equal(m["b"], np.array([[1, 0, 1]])), m["b"])
            check("e", m["e"].shape == (0, 3), m["e"].shape)
            n = np.arange(1, 25, dtype=float).reshape((2, 3, 4), order="F")
            check("n", np.array_equal(m["n"], n), m["n"].shape)
            check("x", np.isnan(m["x"][0, 0]))
            every = scipy.io.loadmat(os.path.join(folder, "all.mat"))
            names = {k for k in every if not k.startswith("__")}
            check("save(file) holds every variable", names == set("azstbenx"), names)
            files = sorted(os.listdir(folder))
            check("no temporary left", files == ["all.mat", "out.mat"], files)
    return checks.report()


if __name__ == "__main__":
    sys.exit(main())
