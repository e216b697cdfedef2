#!/usr/bin/python3
"""examples/demo.m through mexhost as make demo runs it, checked against the front end's library.

Usage: demo_test.py MEXHOST EXAMPLES_DIR SPEECH_WAV

The demo runs in a scratch folder holding demo/speech.wav. Its front-end step must print
the library's frame count and each coefficient's range, save demo/features.mat with the
library's cepstra (within 1e-9 of the largest) and the rate, and draw two figures.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

import numpy as np
import scipy.io

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import mfcc_script_test as model  # noqa: E402


def main():
    mexhost, examples, speech = sys.argv[1:4]
    failures = []

    def check(ok, text):
        print("%s %s" % ("ok  " if ok else "FAIL", text))
        if not ok:
            failures.append(text)

    samples, fs = model.read_wav(speech)
    ref = model.library_mfcc(samples, fs, model.DEFAULTS)
    with tempfile.TemporaryDirectory() as workdir:
        os.mkdir(os.path.join(workdir, "demo"))
        shutil.copy(speech, os.path.join(workdir, "demo", "speech.wav"))
        out = subprocess.run([mexhost, "--figures", "demo", os.path.join(examples, "demo.m")],
                             capture_output=True, text=True, cwd=workdir, timeout=300)
        check(out.returncode == 0, "the demo runs: %s" % out.stderr.strip()[-300:])
        found = re.search(r"^7\. .*: (\d+) frames of (\d+) coefficients\.$", out.stdout, re.M)
        check(found is not None and tuple(map(int, found.groups())) == (ref.shape[1], ref.shape[0]),
              "it prints %d frames of %d coefficients" % (ref.shape[1], ref.shape[0]))
        ranges = re.findall(r"^   c(\d+) +from +(\S+) to +(\S+)$", out.stdout, re.M)
        expected = [(str(k + 1), "%.3f" % ref[k].min(), "%.3f" % ref[k].max())
                    for k in range(ref.shape[0])]
        check(ranges == expected, "it prints each coefficient's range: %s" % ranges[:2])
        mat = os.path.join(workdir, "demo", "features.mat")
        if os.path.exists(mat):
            saved = scipy.io.loadmat(mat)
            feats = saved.get("feats")
            ok = feats is not None and feats.shape == ref.shape and \
                np.abs(feats - ref).max() <= 1e-9 * np.abs(ref).max()
            check(ok, "demo/features.mat holds the library's cepstra as feats")
            check(saved.get("fs") is not None and saved["fs"].item() == fs,
                  "demo/features.mat holds the rate as fs")
        else:
            check(False, "the demo saved demo/features.mat")
        for k in (1, 2):
            png = os.path.join(workdir, "demo", "figure%d.png" % k)
            check(os.path.getsize(png) > 0 if os.path.exists(png) else False,
                  "it draws figure %d" % k)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
