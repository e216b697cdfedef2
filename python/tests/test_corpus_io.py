"""Corpus input and output without the front end: data directories and their bad lines,
Kaldi archives, HTK kinds, audio read in blocks, resampling."""

import io
import os
import re
import struct
import wave

import numpy as np
import pytest

from melceps import datadir, htk, kaldi_io
from melceps._melceps import AudioSource, Resampler, write_audio


def write_dir(root, **files):
    root.mkdir(parents=True, exist_ok=True)
    for name, text in files.items():
        (root / name).write_text(text)
    return root


BAD_LINES = [  # (files, utterances kept, (utterance, place, words of the message) of each problem)
    ({"wav.scp": "a a.wav\nb\n"}, ["a"], [("b", "wav.scp:2", "no path")]),
    ({"wav.scp": "a a.wav\na b.wav\n"}, ["a"], [("a", "wav.scp:2", "already on")]),
    ({"wav.scp": "a a.wav\n", "segments": "u1 a 0 1\nu2 z 0 1\n"}, ["u1"],
     [("u2", "segments:2", "unknown recording 'z'")]),
    ({"wav.scp": "a a.wav\n", "segments": "u1 a 2 1\n"}, [], [("u1", "segments:1", "not after")]),
    ({"wav.scp": "a a.wav\n", "segments": "u1 a 1 1\n"}, [], [("u1", "segments:1", "not after")]),
    ({"wav.scp": "a a.wav\n", "segments": "u1 a x 1\n"}, [], [("u1", "segments:1", "numbers")]),
    ({"wav.scp": "a a.wav\n", "segments": "u1 a 0\n"}, [], [("u1", "segments:1", "not 3 fields")]),
    ({"wav.scp": "a a.wav\n", "segments": "u1 a 0 1\nu1 a 1 2\n"}, ["u1"],
     [("u1", "segments:2", "already on")]),
    ({"wav.scp": "a a.wav\nb b.wav\n", "utt2spk": "a s1\n"}, ["a"],
     [("b", "wav.scp:2", "not in")]),
    ({"wav.scp": "a a.wav\n", "utt2spk": "a s1\na s2\n"}, ["a"],
     [("a", "utt2spk:2", "already on")]),
    ({"wav.scp": "a  |\n"}, [], [("a", "wav.scp:1", "empty command")]),
]


@pytest.mark.parametrize("files,kept,problems", BAD_LINES)
def test_bad_lines_are_problems_naming_file_and_line(tmp_path, files, kept, problems):
    d = datadir.read_data_dir(write_dir(tmp_path / "d", **files))
    assert [u.id for u in d.utterances] == kept
    assert len(d.problems) == len(problems), d.problems
    for p, (uid, place, words) in zip(d.problems, problems):
        assert p.id == uid and str(p).startswith(f"{tmp_path / 'd' / place}: "), str(p)
        assert words in p.message, str(p)


def test_data_dir_entries(tmp_path):
    d = datadir.read_data_dir(write_dir(
        tmp_path / "d", **{"wav.scp": "r1\t/x/r1.wav\nr2 sox r2.flac -t wav - |\n",
                           "segments": "u1 r1 0.5 1.25\nu2 r2 0 -1\n",
                           "utt2spk": "u1 s1\nu2 s2\n"}))
    assert not d.problems and d.has_speakers
    u1, u2 = d.utterances
    assert (u1.recording.source, u1.recording.piped, u1.start, u1.end, u1.speaker) == \
        ("/x/r1.wav", False, 0.5, 1.25, "s1")
    assert (u2.recording.source, u2.recording.piped, u2.end) == ("sox r2.flac -t wav -", True, None)


@pytest.mark.parametrize("command,argv", [
    ("sox a.wav -t wav -", ["sox", "a.wav", "-t", "wav", "-"]),
    ("cat 'a b.wav'", None), ("flac -dc x.flac | sox - -t wav -", None), ("cat $HOME/x", None),
])
def test_a_command_without_shell_syntax_runs_without_a_shell(command, argv):
    assert datadir.command_argv(command) == argv


@pytest.mark.parametrize("command,words", [
    ("false", "exit status 1"), ("sh -c 'echo broken >&2; exit 3'", "exit status 3: broken"),
    ("true", "produced no audio"), ("/no/such/program", "cannot run"),
])
def test_a_failing_command_is_reported_with_its_standard_error(command, words):
    with pytest.raises(ValueError, match="wav.scp:7: ") as e:
        datadir.run_command(command, "wav.scp:7")
    assert words in str(e.value)


def test_archives_and_scripts_read_back(tmp_path):
    r = np.random.default_rng(1)
    mats = {"u2": r.standard_normal((7, 13)).astype(np.float32),
            "u1": r.standard_normal((3, 4)), "u3": np.zeros((0, 5), np.float32)}
    where = kaldi_io.write_archive(tmp_path / "a.ark", mats)
    kaldi_io.write_script(tmp_path / "a.scp", where)
    assert [ln.split()[0] for ln in (tmp_path / "a.scp").read_text().splitlines()] == \
        ["u1", "u2", "u3"]
    for table in (dict(kaldi_io.read_archive(tmp_path / "a.ark")),
                  kaldi_io.read_script(tmp_path / "a.scp")):
        for k, m in mats.items():
            assert table[k].dtype == m.dtype and np.array_equal(table[k], m), k
    # the bytes of one float matrix, as Kaldi writes it
    f = io.BytesIO()
    kaldi_io.write_matrix(f, np.array([[1.5, -2]], np.float32))
    assert f.getvalue() == b"\0BFM \x04\x01\x00\x00\x00\x04\x02\x00\x00\x00" + \
        struct.pack("<ff", 1.5, -2)
    assert not list(tmp_path.glob(".*"))


def test_an_archive_left_unfinished_leaves_nothing(tmp_path):
    with pytest.raises(RuntimeError):
        with kaldi_io.ArchiveWriter(tmp_path / "a.ark") as w:
            w.add("u", np.ones((2, 2), np.float32))
            raise RuntimeError("killed")
    assert not list(tmp_path.iterdir())
    with pytest.raises(ValueError):
        kaldi_io.check_key("two words")


FULL = {"use_energy": False, "use_log_fbank": True}
HTK_KINDS = [  # (type, options, delta order, mean removed, kind)
    ("mfcc", {}, 0, False, "MFCC_0"),
    ("mfcc", {"use_energy": True}, 0, False, "MFCC_E"),
    ("mfcc", {}, 1, False, "MFCC_D_0"),
    ("mfcc", {"use_energy": True}, 2, True, "MFCC_E_D_A_Z"),
    ("mfcc", {}, 3, True, "MFCC_D_A_Z_0_T"),
    ("fbank", {}, 0, False, "FBANK"),
    ("fbank", {"use_energy": True}, 2, False, "FBANK_E_D_A"),
    ("fbank", {"use_log_fbank": False}, 0, True, "MELSPEC_Z"),
    ("spectrogram", {}, 0, False, "USER"),
    ("spectrogram", {"use_energy": True}, 1, True, "USER_D_Z"),
]


@pytest.mark.parametrize("kind,options,order,mean,name", HTK_KINDS)
def test_htk_kinds_and_headers(tmp_path, kind, options, order, mean, name):
    code = htk.kind_of(kind, FULL | options, order, mean)
    assert htk.kind_name(code) == name
    feats = np.arange(12, dtype=np.float64).reshape(3, 4)
    with open(tmp_path / "f.htk", "wb") as f:
        htk.write(f, feats, 10.0, code)
    data = (tmp_path / "f.htk").read_bytes()
    assert struct.unpack(">iihH", data[:12]) == (3, 100000, 16, code)
    got, period, k = htk.read(tmp_path / "f.htk")
    assert (period, k) == (100000, code) and np.array_equal(got, feats)


def test_audio_blocks_channels_and_scale(tmp_path):
    fs = 8000
    y = np.stack([np.linspace(-0.5, 0.5, 1000), np.linspace(0.25, -0.25, 1000)], axis=1)
    path = str(tmp_path / "s.wav")
    write_audio(path, y, fs)
    with wave.open(path) as w:  # what the 16-bit file holds
        pcm = np.frombuffer(w.readframes(1000), "<i2").reshape(-1, 2)
    for channel in (0, 1):
        a = AudioSource.open(path, channel)
        assert (a.rate, a.channels, a.frames) == (fs, 2, 1000)
        a.seek(300)
        got = np.concatenate([a.read(256), a.read(256), a.read(5000)])
        assert np.array_equal(got, pcm[300:, channel].astype(np.float64)), channel
        assert a.read(10).shape == (0,)
    m = AudioSource.from_bytes(open(path, "rb").read(), "cmd", 1)
    assert np.array_equal(m.read(1000), pcm[:, 1].astype(np.float64))
    for make, words in [(lambda: AudioSource.open(path, 2), "no channel 2"),
                        (lambda: AudioSource.from_bytes(b"RIFF0000WAVE", "cmd", 0), "cmd: "),
                        (lambda: AudioSource.open(str(tmp_path / "none.wav"), 0), "none.wav")]:
        with pytest.raises(RuntimeError, match=words):
            make()


def test_resampling_streams_and_round_trips():
    fs, up = 16000, 44100
    t = np.arange(fs) / fs
    y = np.sin(2 * np.pi * 440 * t) + 0.5 * np.sin(2 * np.pi * 3000 * t)
    whole = Resampler(fs, up).process(y, last=True)
    assert abs(whole.size - fs * up / fs) <= 1
    r = Resampler(fs, up)
    parts = [r.process(y[k:k + 777], last=k + 777 >= y.size) for k in range(0, y.size, 777)]
    assert np.allclose(np.concatenate(parts), whole, atol=1e-9)
    back = Resampler(up, fs).process(whole, last=True)
    assert abs(back.size - fs) <= 1
    inner = slice(200, fs - 200)  # away from the edges' filter transients
    assert np.max(np.abs(back[inner] - y[inner])) < 1e-3
    with pytest.raises(RuntimeError, match="after the last"):
        r.process(y[:10])


@pytest.mark.parametrize("bad, shown", [(1e37, "1e+37"), (np.nan, "NaN"), (-np.inf, "-inf")])
def test_resampler_refuses_what_it_would_turn_into_nan(bad, shown):
    # The filter runs in single precision: such a sample would come out as NaN over many
    # output samples, far from where it was.
    r = Resampler(16000, 8000)
    r.process(np.ones(1000))
    x = np.ones(500)
    x[123] = bad
    with pytest.raises(ValueError, match=re.escape(f"Sample 1123 is {shown}; ")):
        r.process(x)
    assert np.all(np.isfinite(Resampler(16000, 8000).process(np.full(4096, Resampler.LARGEST), last=True)))


def test_the_corpus_fuzzer_runs(tmp_path):
    # A few hundred of its inputs, so that the harness `make fuzz` runs stays in step with the code.
    import importlib.util
    source = os.path.join(os.environ.get("MELCEPS_SOURCE_DIR", os.path.join(
        os.path.dirname(__file__), "..", "..")), "fuzz", "fuzz_corpus.py")
    found = importlib.util.spec_from_file_location("fuzz_corpus", source)
    fuzz = importlib.util.module_from_spec(found)
    found.loader.exec_module(fuzz)
    assert fuzz.main(["--runs", "400", "--seed", "1", "--out", str(tmp_path)]) == 0


@pytest.mark.parametrize("data_size,frames", [(0, 1000), (0xFFFFFFFF, 1000), (0x7FFFF000, 1000),
                                              (500, 250)])  # the last: a chunk may follow
def test_a_wav_stream_without_its_sizes_runs_to_its_end(tmp_path, data_size, frames):
    # What a program writing WAV to a pipe leaves in the header: 0, -1 or a guess.
    path = tmp_path / "s.wav"
    write_audio(str(path), np.linspace(-0.5, 0.5, 1000), 16000)
    b = bytearray(path.read_bytes())
    at = b.find(b"data")
    b[4:8] = struct.pack("<I", 0xFFFFFFFF if data_size else 0)
    b[at + 4:at + 8] = struct.pack("<I", data_size)
    a = AudioSource.from_bytes(datadir.wav_sizes_fixed(bytes(b)), "cmd", 0)
    assert a.frames == frames and a.read(frames).size == frames


def test_a_matrix_that_fails_to_write_leaves_the_archive_as_it_was(tmp_path):
    with kaldi_io.ArchiveWriter(tmp_path / "a.ark") as w:
        w.add("u1", np.ones((2, 3), np.float32))
        with pytest.raises(ValueError):
            w.add("u2", np.ones((2, 3), np.int32))  # refused after its key was written
        w.add("u3", np.zeros((1, 3), np.float32))
        w.commit()
    assert [k for k, _ in kaldi_io.read_archive(tmp_path / "a.ark")] == ["u1", "u3"]
