#!/usr/bin/python3
"""examples/mfcc.m on one minute of 16 kHz speech through mexhost, against the same features
from the front end's library (melceps.mfcc), in one run:
mfcc_compare.py MEXHOST EXAMPLES_DIR SPEECH_WAV [REPEATS].

The minute is the speech sample repeated. Each side reports the best of REPEATS (5) calls
timed inside its own process, so start-up and file reading are left out.
"""
import os
import subprocess
import sys
import tempfile
import time

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples",
                                "tests"))
import mfcc_script_test as model  # noqa: E402


def main():
    mexhost, examples, speech = sys.argv[1:4]
    repeats = int(sys.argv[4]) if len(sys.argv) > 4 else 5
    samples, fs = model.read_wav(speech)
    minute = np.tile(samples, int(np.ceil(60 * fs / len(samples))))[: 60 * fs]
    with tempfile.TemporaryDirectory() as workdir:
        path = os.path.join(workdir, "minute.wav")
        model.write_wav(path, minute, fs)
        script = os.path.join(workdir, "bench.m")
        with open(script, "w") as f:
            f.write("[y, fs] = audioread('%s');\n" % path)
            f.write("best = Inf;\n")
            f.write("for r = 1:%d\n  tic;\n  c = mfcc(y, fs);\n  best = min(best, toc);\nend\n"
                    % repeats)
            f.write("fprintf('FRAMES %d\\n', size(c, 2));\n")
            f.write("fprintf('SECONDS %.6f\\n', best);\n")
        out = subprocess.run([mexhost, "--path", examples, script], capture_output=True,
                             text=True, cwd=workdir, timeout=600)
        if out.returncode != 0:
            print("mfcc: not measured, mexhost cannot run mfcc.m: " + out.stderr.strip())
            return
        fields = dict(line.split()[:2] for line in out.stdout.splitlines()
                      if line.startswith(("FRAMES", "SECONDS")))
    host = float(fields["SECONDS"])
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        c = model.library_mfcc(minute, fs, model.DEFAULTS)
        best = min(best, time.perf_counter() - start)
    print("mfcc, 60 s of 16 kHz audio (%s frames): mexhost %.3f s, libmelceps %.3f s, ratio %.2f"
          % (fields["FRAMES"], host, best, host / best))
    assert int(fields["FRAMES"]) == c.shape[1]


if __name__ == "__main__":
    main()
