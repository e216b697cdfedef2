"""melceps-extract over corpora as speech teams keep them: a Kaldi data directory to ark/scp
on two workers, statistics per speaker, HTK kinds, resampling, flags from the options
records, a long recording in bounded memory, and a killed run resumed."""

import json
import os
import signal
import subprocess
import sys
import time
import wave
from pathlib import Path

import numpy as np
import pytest

import melceps
from melceps import extract, htk, kaldi_io
from melceps._melceps import Resampler, write_audio


def samples(path) -> tuple[np.ndarray, int]:
    """The first channel of a 16-bit WAV file on the 16-bit integer scale."""
    with wave.open(str(path)) as w:
        x = np.frombuffer(w.readframes(w.getnframes()), "<i2").reshape(-1, w.getnchannels())
        return x[:, 0].astype(np.float64), w.getframerate()


def speechlike(seconds: float, fs: int, seed: int) -> np.ndarray:
    r = np.random.default_rng(seed)
    t = np.arange(int(seconds * fs)) / fs
    f0 = 120 + 40 * np.sin(2 * np.pi * 0.7 * t)
    y = 0.3 * np.sin(2 * np.pi * np.cumsum(f0) / fs) * (1.2 + np.sin(2 * np.pi * 3 * t))
    return 0.3 * y + 0.02 * r.standard_normal(t.size)


def manifest(out: Path) -> dict:
    return {r["utt"]: r for r in map(json.loads, (out / "manifest.jsonl").read_text().splitlines())}


@pytest.fixture(scope="module")
def corpus(tmp_path_factory):
    """Three recordings (one read through a command), five segments, two speakers, and
    bad lines of each kind."""
    root = tmp_path_factory.mktemp("corpus")
    for k in range(3):
        write_audio(str(root / f"r{k}.wav"), speechlike(3.0, 16000, k), 16000)
    d = root / "data"
    d.mkdir()
    (d / "wav.scp").write_text(f"r0 {root}/r0.wav\nr1 cat {root}/r1.wav |\nr2 {root}/r2.wav\n"
                               "nopath\nbroken false |\n")
    (d / "segments").write_text("a0 r0 0 1.5\na1 r0 1.4 3.2\nb0 r1 0.25 2.5\nb1 r1 2.5 -1\n"
                                "a2 r2 0 3\nx0 nowhere 0 1\nx1 r2 2 9\nx2 broken 0 1\n"
                                "a2 r2 1 2\n")
    (d / "utt2spk").write_text("a0 alice\na1 alice\nb0 bob\nb1 bob\na2 alice\nx1 bob\n"
                               "x2 bob\n")
    return root


WANT_PROBLEMS = {  # utterance: words of its message, which names its file and line
    "nopath": "wav.scp:4: no path", "x0": "segments:6: unknown recording",
    "x1": "segments:7: the segment ends at 9 s", "x2": "wav.scp:5: 'false' failed",
}


def expected(corpus, utt: str) -> np.ndarray:
    spans = {"a0": ("r0", 0, 1.5), "a1": ("r0", 1.4, 3.2), "b0": ("r1", 0.25, 2.5),
             "b1": ("r1", 2.5, None), "a2": ("r2", 0, 3)}
    rec, start, end = spans[utt]
    y, fs = samples(corpus / f"{rec}.wav")
    return melceps.mfcc(y[round(start * fs):None if end is None else round(end * fs)], fs)


def test_a_data_directory_to_ark_on_two_workers_and_speaker_statistics(corpus, tmp_path):
    out = tmp_path / "feats"
    assert extract.main([str(corpus / "data"), "-o", str(out), "--workers", "2"]) == 1
    m = manifest(out)
    for utt, words in WANT_PROBLEMS.items():
        assert m[utt]["status"] == "failed" and words in m[utt]["error"], m[utt]
    lines = [json.loads(ln) for ln in (out / "manifest.jsonl").read_text().splitlines()]
    duplicate = [r for r in lines if r["status"] == "failed" and r["utt"] == "a2"]
    assert len(duplicate) == 1 and "segments:9: utterance 'a2' is already on" in \
        duplicate[0]["error"] and "segments:5" in duplicate[0]["error"]
    assert sum(r["status"] == "failed" for r in lines) == len(WANT_PROBLEMS) + 1
    feats = kaldi_io.read_script(out / "feats.scp")
    assert sorted(feats) == ["a0", "a1", "a2", "b0", "b1"]
    for utt, got in feats.items():
        want = expected(corpus, utt)
        assert got.dtype == np.float32 and got.shape == want.shape, utt
        np.testing.assert_allclose(got, want, rtol=1e-5, atol=1e-4, err_msg=utt)
        assert m[utt]["frames"] == want.shape[0] and m[utt]["channel"] == 0
    assert (out / "feats.scp").read_text().split()[::2] == sorted(feats)

    stats_out = tmp_path / "stats"
    assert extract.main([str(corpus / "data"), "-o", str(stats_out), "--cmvn-stats",
                         "--workers", "0"]) == 1
    stats = kaldi_io.read_script(stats_out / "cmvn.scp")
    assert sorted(stats) == ["alice", "bob"] and not list(stats_out.glob("feats*"))
    for speaker, utts in {"alice": ["a0", "a1", "a2"], "bob": ["b0", "b1"]}.items():
        x = np.concatenate([expected(corpus, u) for u in utts])
        want = np.zeros((2, x.shape[1] + 1))
        want[0, :-1], want[0, -1], want[1, :-1] = x.sum(0), x.shape[0], (x * x).sum(0)
        assert stats[speaker].dtype == np.float64
        np.testing.assert_allclose(stats[speaker], want, rtol=1e-9, err_msg=speaker)


HTK_RUNS = [  # (flags, kind, coefficients per frame)
    ([], "MFCC_0", 13),
    (["--use-energy=true"], "MFCC_E", 13),
    (["--add-deltas"], "MFCC_D_A_0", 39),
    (["--add-deltas", "--delta-order=1", "--cmvn", "utterance"], "MFCC_D_Z_0", 26),
    (["--feature-type", "fbank", "--num-mel-bins=40", "--use-energy"], "FBANK_E", 41),
    (["--feature-type", "fbank", "--use-log-fbank=false", "--cmvn", "sliding"], "MELSPEC_Z", 23),
    (["--feature-type", "spectrogram", "--frame-shift=20"], "USER", 257),
]


@pytest.mark.parametrize("flags,kind,dim", HTK_RUNS)
def test_htk_files_carry_the_kind_of_their_features(corpus, tmp_path, flags, kind, dim):
    out = tmp_path / "htk"
    assert extract.main([f"{corpus}/r0.wav", "-o", str(out), "--format", "htk",
                         "--workers", "0"] + flags) == 0
    got, period, code = htk.read(out / "r0.htk")
    shift = 20 if "--frame-shift=20" in flags else 10
    assert (htk.kind_name(code), got.shape[1], period) == (kind, dim, shift * 10000)
    if not flags:  # energy or c0 last, as HTK has it
        y, fs = samples(corpus / "r0.wav")
        np.testing.assert_allclose(got, melceps.mfcc(y, fs, htk_compat=True), rtol=1e-5, atol=1e-4)


@pytest.mark.parametrize("fmt", ["npy", "mat"])
def test_npy_and_mat_hold_the_features(corpus, tmp_path, fmt):
    out = tmp_path / fmt
    assert extract.main([f"{corpus}/r1.wav", "-o", str(out), "--format", fmt, "--double",
                         "--workers", "0"]) == 0
    if fmt == "npy":
        got = np.load(out / "r1.npy")
    else:
        import scipy.io
        got = scipy.io.loadmat(out / "r1.mat")["mfcc"]
    y, fs = samples(corpus / "r1.wav")
    assert got.dtype == np.float64
    np.testing.assert_allclose(got, melceps.mfcc(y, fs), rtol=1e-12, atol=1e-12)


def test_every_option_of_the_front_end_is_a_kaldi_flag():
    for records, prefix in [(melceps.OPTIONS, ""), (melceps.DELTA_OPTIONS, "delta-"),
                            (melceps.CMVN_OPTIONS, "")]:
        for o in records:
            if o.name in extract.OWN_OPTIONS:
                continue
            flag = "--" + prefix + o.name.replace("_", "-")
            value = {bool: "false" if o.default else "true", int: "7", float: "0.25",
                     str: "hamming"}[o.type]
            args = extract.parse_args(["in", "-o", "out", "--add-deltas", "--cmvn", "sliding",
                                       f"{flag}={value}"])
            s = extract.settings_of(args)
            got = {**s["options"], **(s["deltas"] or {}), **s["cmvn_options"]}
            assert got.get(o.name) == o.type(value) if o.type is not bool else \
                got.get(o.name) is (value == "true"), (flag, got)


def test_resampled_to_44100_and_back_gives_the_same_features(tmp_path):
    fs, up = 16000, 44100
    # Below 7 kHz: the high quality setting's passband ends short of 8 kHz, so content above
    # it is rightly lost on the way back down.
    spectrum = np.fft.rfft(speechlike(2.0, fs, 7))
    spectrum[np.fft.rfftfreq(2 * fs, 1 / fs) > 7000] = 0
    y = np.fft.irfft(spectrum, 2 * fs)
    write_audio(str(tmp_path / "orig.wav"), y, fs)
    hi = Resampler(fs, up).process(y, last=True)
    write_audio(str(tmp_path / "hi.wav"), np.stack([0.5 * hi, hi], axis=1), up)
    out = tmp_path / "o"
    assert extract.main([str(tmp_path / "hi.wav"), "-o", str(out), "--format", "npy",
                         "--sample-frequency", "16000", "--channel", "1", "--workers", "0"]) == 0
    rec = manifest(out)["hi"]
    assert (rec["rate"], rec["channel"], rec["channels"]) == (up, 1, 2)
    got = np.load(out / "hi.npy")
    want = melceps.mfcc(samples(tmp_path / "orig.wav")[0], fs)
    assert abs(got.shape[0] - want.shape[0]) <= 1
    n = min(got.shape[0], want.shape[0])
    inner = slice(2, n - 2)  # the resampler's filter settles over the edge frames
    err = np.abs(got[inner] - want[:n][inner])
    assert err.max() < 0.1 and np.median(err) < 0.02, (err.max(), np.median(err))


def test_an_hour_long_recording_in_bounded_memory(tmp_path):
    fs, seconds = 16000, 3600
    path = tmp_path / "hour.wav"
    block = (8000 * np.sin(2 * np.pi * 300 * np.arange(fs * 60) / fs)).astype("<i2").tobytes()
    with wave.open(str(path), "wb") as w:
        w.setnchannels(1), w.setsampwidth(2), w.setframerate(fs)
        for _ in range(seconds // 60):
            w.writeframes(block)
    out = tmp_path / "o"
    # The peak of the process's own memory (VmHWM): ru_maxrss also counts what a forked
    # child had of its parent, here pytest's, before it ran the interpreter.
    code = ("import re, sys; from melceps import extract; rc = extract.main(sys.argv[1:]); "
            "print(re.search(r'VmHWM:\\s*(\\d+)', open('/proc/self/status').read())[1]); "
            "sys.exit(rc)")
    run = subprocess.run([sys.executable, "-c", code, str(path), "-o", str(out), "--workers", "0",
                          "--format", "npy"], capture_output=True, text=True, timeout=240)
    assert run.returncode == 0, run.stderr[-2000:]
    peak_mb = int(run.stdout.split()[-1]) / 1024
    frames = np.load(out / "hour.npy", mmap_mode="r").shape[0]
    assert frames == 1 + (fs * seconds - 400) // 160
    # The audio alone is 115 MB as 16-bit samples and 460 MB as doubles; the output 19 MB.
    assert peak_mb < 250, f"peak resident memory {peak_mb:.0f} MB"


def test_a_killed_run_resumed_loses_and_duplicates_nothing(corpus, tmp_path):
    files = []
    for k in range(12):
        files.append(tmp_path / "c" / f"u{k:02d}.wav")
        files[-1].parent.mkdir(exist_ok=True)
        write_audio(str(files[-1]), speechlike(0.5, 16000, 20 + k), 16000)
    out = tmp_path / "o"
    out.mkdir()
    (out / "feats.1.ark").write_bytes(b"another tool's archive")  # left alone
    cmd = [sys.executable, "-m", "melceps.extract", str(tmp_path / "c"), "-o", str(out),
           "--workers", "0", "--batch-seconds", "1"]
    env = dict(os.environ, MELCEPS_EXTRACT_TASK_DELAY="0.1")
    proc = subprocess.Popen(cmd, env=env, stderr=subprocess.DEVNULL)
    log = out / "manifest.jsonl"
    deadline = time.time() + 60
    while time.time() < deadline and (not log.exists() or len(log.read_text().splitlines()) < 4):
        time.sleep(0.01)
    proc.send_signal(signal.SIGKILL)
    proc.wait()
    done_before = len(log.read_text().splitlines())
    assert 4 <= done_before < 12, "the run was not killed in the middle"
    assert not (out / "feats.scp").exists()
    assert subprocess.run(cmd, stderr=subprocess.DEVNULL).returncode == 0
    m = manifest(out)
    assert sum(r["status"] == "skipped" for r in m.values()) >= 4
    lines = (out / "feats.scp").read_text().splitlines()
    assert [ln.split()[0] for ln in lines] == [f"c/u{k:02d}"[2:] for k in range(12)]
    feats = kaldi_io.read_script(out / "feats.scp")
    for f in files:
        y, fs = samples(f)
        np.testing.assert_allclose(feats[f.stem], melceps.mfcc(y, fs), rtol=1e-5, atol=1e-4)
    archives = {ln.split()[1].rpartition(":")[0] for ln in lines}
    assert {str(p) for p in out.glob("*.ark")} == archives | {str(out / "feats.1.ark")}
    assert not list(out.glob(".*"))
    # Redone with --force: the new archives replace the old ones, another tool's stays.
    assert subprocess.run(cmd + ["--force"], stderr=subprocess.DEVNULL).returncode == 0
    lines = (out / "feats.scp").read_text().splitlines()
    again = {ln.split()[1].rpartition(":")[0] for ln in lines}
    assert len(lines) == 12 and not again & archives
    assert {str(p) for p in out.glob("*.ark")} == again | {str(out / "feats.1.ark")}


FAULTS = """
import resource, sys
from melceps import extract, extract_task
if sys.argv[1] == "prepared":
    extract_task.prepare_worker()
else:
    extract_task._prepared = True  # the set-up left out
out, files = sys.argv[2], sys.argv[3:]
s = extract.settings_of(extract.parse_args(files + ["-o", out, "--add-deltas"]))
items, _ = extract.collect(files)
extract.process_batch(items[:1], out + "/warm.ark", s)
before = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
for k, it in enumerate(items[1:]):
    assert extract.process_batch([it], f"{out}/{k}.ark", s)[0]["status"] == "ok"
print((resource.getrusage(resource.RUSAGE_SELF).ru_minflt - before) / (len(items) - 1))
"""


def test_a_worker_in_the_nannys_environment_keeps_its_memory_from_file_to_file(tmp_path):
    files = []
    for k in range(4):
        files.append(str(tmp_path / f"f{k}.wav"))
        write_audio(files[-1], speechlike(10.0, 16000, k), 16000)
    env = dict(os.environ, MALLOC_TRIM_THRESHOLD_="65536")  # as Dask's nanny sets it
    faults = {}
    for mode in ("prepared", "bare"):
        run = subprocess.run([sys.executable, "-c", FAULTS, mode, str(tmp_path)] + files,
                             env=env, capture_output=True, text=True, timeout=120)
        assert run.returncode == 0, run.stderr[-2000:]
        faults[mode] = float(run.stdout.split()[-1])
    # Without the set-up every block's buffers are mapped and faulted in again.
    assert faults["prepared"] * 4 < faults["bare"], faults


@pytest.mark.parametrize("flags,words", [
    (["--window-type=foo"], "window_type"),
    (["--low-freq=9000", "--high-freq=8000"], "high_freq"),
    (["--sample-frequency", "8000", "--num-mel-bins=200"], "num_mel_bins"),
    (["--add-deltas", "--delta-order=-1"], "order"),
    (["--cmvn", "sliding", "--cmn-window=0"], "cmn_window"),
])
def test_options_the_front_end_refuses_stop_the_run_before_any_file(tmp_path, capsys, flags, words):
    assert extract.main([str(tmp_path / "none.wav"), "-o", str(tmp_path / "o"),
                         "--workers", "0"] + flags) == 2
    assert words in capsys.readouterr().err
    assert not (tmp_path / "o" / "manifest.jsonl").exists()
