"""Kaldi data directories: recordings from ``wav.scp``, utterances from ``segments``, speakers
from ``utt2spk``, and the audio of a ``wav.scp`` entry (a file, or a command's output).

A directory is read whole before any audio is: a bad line becomes a :class:`Problem` naming
its file and line, and every other utterance stays usable.
"""

from __future__ import annotations

import os
import shlex
import subprocess
from dataclasses import dataclass, field
from pathlib import Path

# Kaldi's extract-segments clips a segment that ends at most this far beyond its recording.
MAX_OVERSHOOT = 0.5  # seconds

# A command with any of these is given to /bin/sh; one of plain words is run directly.
_SHELL_SYNTAX = set("|&;<>()$`\\\"'*?[]#~{}!=%\n")


@dataclass
class Recording:
    id: str
    source: str           # a path, or a command without its trailing '|'
    piped: bool
    where: str            # "FILE:LINE" of its wav.scp line


@dataclass
class Utterance:
    id: str
    recording: Recording
    start: float = 0.0           # seconds into the recording
    end: float | None = None     # seconds; None: to the end of the recording
    speaker: str | None = None
    where: str = ""               # "FILE:LINE" of the line that made it


@dataclass
class Problem:
    id: str        # the utterance (or recording) the line was about
    where: str     # "FILE:LINE"
    message: str

    def __str__(self) -> str:
        return f"{self.where}: {self.message}"


@dataclass
class DataDir:
    path: Path
    utterances: list[Utterance] = field(default_factory=list)
    problems: list[Problem] = field(default_factory=list)
    has_speakers: bool = False


def is_data_dir(path: str | os.PathLike) -> bool:
    return (Path(path) / "wav.scp").is_file()


def _lines(path: Path):
    """(\"FILE:LINE\", fields) of every line that is not blank."""
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        for number, line in enumerate(f, 1):
            if line.strip():
                yield f"{path}:{number}", line


def read_data_dir(path: str | os.PathLike) -> DataDir:
    root = Path(path)
    d = DataDir(root)
    recordings: dict[str, Recording] = {}
    for where, line in _lines(root / "wav.scp"):
        rec_id, *rest = line.strip().split(None, 1)
        rest = rest[0] if rest else ""
        if not rest:
            d.problems.append(Problem(rec_id, where, f"no path or command after {rec_id!r}"))
            continue
        if rec_id in recordings:
            d.problems.append(Problem(rec_id, where, f"recording {rec_id!r} is already on "
                                                     f"{recordings[rec_id].where}"))
            continue
        piped = rest.endswith("|")
        source = rest[:-1].strip() if piped else rest
        if piped and not source:
            d.problems.append(Problem(rec_id, where, "an empty command before '|'"))
            continue
        recordings[rec_id] = Recording(rec_id, source, piped, where)

    utterances: dict[str, Utterance] = {}

    def add(utt: Utterance) -> None:
        if utt.id in utterances:
            d.problems.append(Problem(utt.id, utt.where, f"utterance {utt.id!r} is already on "
                                                         f"{utterances[utt.id].where}"))
        else:
            utterances[utt.id] = utt

    segments = root / "segments"
    if segments.is_file():
        for where, line in _lines(segments):
            fields = line.split()
            uid = fields[0]
            if len(fields) != 4:
                d.problems.append(Problem(uid, where, "a segments line is 'utt recording start "
                                                      f"end', not {len(fields)} fields"))
                continue
            rec = recordings.get(fields[1])
            if rec is None:
                d.problems.append(Problem(uid, where, f"unknown recording {fields[1]!r} (not "
                                                      "in wav.scp, or its line is bad)"))
                continue
            try:
                start, end = float(fields[2]), float(fields[3])
            except ValueError:
                d.problems.append(Problem(uid, where, "start and end must be numbers of seconds"))
                continue
            if not (start >= 0 and start < float("inf")):
                d.problems.append(Problem(uid, where, f"start {fields[2]} is not a time"))
                continue
            if end == -1:  # Kaldi's "to the end of the recording"
                add(Utterance(uid, rec, start, None, where=where))
                continue
            if not end > start or end == float("inf"):
                d.problems.append(Problem(uid, where, f"end {fields[3]} is not after start "
                                                      f"{fields[2]}"))
                continue
            add(Utterance(uid, rec, start, end, where=where))
    else:
        for rec in recordings.values():
            add(Utterance(rec.id, rec, where=rec.where))

    utt2spk = root / "utt2spk"
    if utt2spk.is_file():
        d.has_speakers = True
        speaker_of: dict[str, tuple[str, str]] = {}
        for where, line in _lines(utt2spk):
            fields = line.split()
            if len(fields) != 2:
                d.problems.append(Problem(fields[0], where, "a utt2spk line is 'utt speaker'"))
                continue
            if fields[0] in speaker_of:
                d.problems.append(Problem(fields[0], where, f"utterance {fields[0]!r} is "
                                                            f"already on {speaker_of[fields[0]][1]}"))
                continue
            speaker_of[fields[0]] = (fields[1], where)
        for uid in list(utterances):
            if uid in speaker_of:
                utterances[uid].speaker = speaker_of[uid][0]
            else:
                utt = utterances.pop(uid)
                d.problems.append(Problem(uid, utt.where, f"utterance {uid!r} is not in {utt2spk}"))
    d.utterances = list(utterances.values())
    return d


def command_argv(command: str) -> list[str] | None:
    """The argument vector of a command of plain words, or None when it needs a shell."""
    if any(c in _SHELL_SYNTAX for c in command):
        return None
    return shlex.split(command)


def run_command(command: str, where: str) -> bytes:
    """The standard output of a wav.scp command; a failure or no output raises ValueError
    with the command's standard error."""
    argv = command_argv(command)
    try:
        done = subprocess.run(argv if argv is not None else command, shell=argv is None,
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, check=False)
    except OSError as e:
        raise ValueError(f"{where}: cannot run {command!r}: {e.strerror}") from None
    err = done.stderr.decode(errors="replace").strip()
    if done.returncode != 0:
        status = (f"signal {-done.returncode}" if done.returncode < 0
                  else f"exit status {done.returncode}")
        raise ValueError(f"{where}: {command!r} failed with {status}"
                         + (f": {err[-2000:]}" if err else ""))
    if not done.stdout:
        raise ValueError(f"{where}: {command!r} produced no audio"
                         + (f": {err[-2000:]}" if err else ""))
    return done.stdout


def wav_sizes_fixed(data: bytes) -> bytes:
    """A WAV stream whose sizes are those of the bytes that came. A program writing WAV to
    a pipe cannot go back to fill in its sizes, and leaves 0 or a guess larger than what
    follows there; like Kaldi, the data then runs to the end of the stream."""
    if len(data) < 12 or data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        return data
    pos = 12
    while pos + 8 <= len(data):
        size = int.from_bytes(data[pos + 4:pos + 8], "little")
        if data[pos:pos + 4] == b"data":
            actual = len(data) - pos - 8
            if 0 < size <= actual:  # what follows may be another chunk
                return data
            fixed = bytearray(data)
            fixed[4:8] = (len(data) - 8).to_bytes(4, "little")
            fixed[pos + 4:pos + 8] = actual.to_bytes(4, "little")
            return bytes(fixed)
        pos += 8 + size + (size & 1)
    return data


def open_recording(rec: Recording, channel: int):
    """An AudioSource over the recording's audio: its file, or its command's output."""
    from ._melceps import AudioSource
    try:
        if rec.piped:
            return AudioSource.from_bytes(wav_sizes_fixed(run_command(rec.source, rec.where)),
                                          f"{rec.where}: output of {rec.source!r}", channel)
        return AudioSource.open(rec.source, channel)
    except RuntimeError as e:
        raise ValueError(str(e)) from None
