#!/usr/bin/python3
"""Resamples a 16-bit mono WAV file to another rate: resample_wav.py IN OUT RATE.

espeak-ng speaks at 22050 Hz; the front end's defaults are for 16 kHz. The rate changes by
the ratio up/down in lowest terms through a windowed-sinc low-pass (Kaiser window, cut-off
at 0.95 of the lower Nyquist frequency), evaluated as one polyphase filter.
"""
import sys
import wave
from math import gcd

import numpy as np

HALF_TAPS = 32  # zero crossings of the sinc on each side, at the lower rate
BETA = 8.6  # Kaiser window shape: about 90 dB of stop-band attenuation


def resample(x, rate_in, rate_out):
    g = gcd(rate_in, rate_out)
    up, down = rate_out // g, rate_in // g
    cutoff = 0.95 * min(1.0, up / down)  # in units of the input Nyquist frequency
    n_out = (len(x) * up) // down
    # Output sample m sits at input time m * down / up; each takes the input samples
    # within HALF_TAPS / cutoff of it, weighted by the windowed sinc.
    reach = int(np.ceil(HALF_TAPS / cutoff))
    t = np.arange(n_out) * down / up
    base = np.floor(t).astype(np.int64)
    offsets = np.arange(-reach + 1, reach + 1)
    taps = base[:, None] + offsets[None, :]
    dist = t[:, None] - taps
    window = np.i0(BETA * np.sqrt(np.clip(1 - (dist / (reach + 1)) ** 2, 0, None))) / np.i0(BETA)
    h = cutoff * np.sinc(cutoff * dist) * window
    padded = np.concatenate([np.zeros(reach), x, np.zeros(reach + 1)])
    return (padded[taps + reach] * h).sum(axis=1)


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: resample_wav.py IN.wav OUT.wav RATE")
    with wave.open(sys.argv[1], "rb") as w:
        if w.getnchannels() != 1 or w.getsampwidth() != 2:
            sys.exit("resample_wav.py: expects 16-bit mono WAV")
        rate_in = w.getframerate()
        x = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").astype(np.float64)
    rate_out = int(sys.argv[3])
    y = resample(x, rate_in, rate_out)
    y = np.clip(np.round(y), -32768, 32767).astype("<i2")
    with wave.open(sys.argv[2], "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate_out)
        w.writeframes(y.tobytes())


if __name__ == "__main__":
    main()
