#!/usr/bin/env python3
"""save() in mexhost writes MAT-files that scipy.io.loadmat reads back exactly.

Usage: save_scipy_check.py MEXHOST. Runs mexhost -e in a scratch folder, then compares every
variable with the values built here. Prints "N passed, N failed" and exits non-zero on failure.
"""
import os
import subprocess
import sys
import tempfile

import numpy as np
import scipy.io

STATEMENTS = (
    "a = [1 2 3; 4 5 6]; z = [1+2i, -3.5i; 0, 4]; s = 'h\u00e9llo'; t = ['ab'; 'cd']; "
    "b = [true false true]; e = zeros(0, 3); n = reshape(1:24, 2, 3, 4); x = NaN; "
    "save('out.mat', 'a', 'z', 's', 't', 'b', 'e', 'n', 'x'); save('all')"
)


def main():
    mexhost = sys.argv[1]
    passed = failed = 0

    def check(name, ok, detail=""):
        nonlocal passed, failed
        if ok:
            passed += 1
        else:
            failed += 1
            print(f"FAIL {name} {detail}")

    with tempfile.TemporaryDirectory() as folder:
        run = subprocess.run([mexhost, "-e", STATEMENTS], cwd=folder, capture_output=True, text=True)
        check("mexhost ran", run.returncode == 0, run.stdout + run.stderr)
        if run.returncode == 0:
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
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
