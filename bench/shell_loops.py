#!/usr/bin/python3
"""Times loops of statements in the shell (mexhost) against the same loops in CPython, in
one run, taking turns round by round; each row reports the median over the rounds.

Each side times its own loop (tic/toc in the shell, perf_counter in Python), so that neither
start-up nor the pipe is measured. A row may also compare two shell loops (a store into a
cell's array against a store into a plain array).

Usage: shell_loops.py --mexhost PATH [--rounds N] [--only NAME ...]
"""

import argparse
import statistics
import subprocess
import sys
from dataclasses import dataclass
from typing import List


@dataclass
class Loop:
    """A timed loop: the statements before it, and the loop itself."""

    language: str  # "shell" or "python"
    setup: str
    loop: str


@dataclass
class Row:
    name: str
    ours: Loop
    peer: Loop
    peer_name: str


N = 2_000_000
M = 200_000

ROWS = [
    Row(
        "scalar loop, 2e6 turns",
        Loop("shell", "s = 0;", f"for k = 1:{N}, s = s + k * 2; end"),
        Loop("python", "s = 0", f"for k in range(1, {N} + 1):\n    s = s + k * 2"),
        "CPython",
    ),
    Row(
        "store c{1}(j) = j, 2e5 turns",
        Loop("shell", f"c = {{zeros(1, {M})}};", f"for j = 1:{M}, c{{1}}(j) = j; end"),
        Loop("shell", f"x = zeros(1, {M});", f"for j = 1:{M}, x(j) = j; end"),
        "x(j) = j",
    ),
    Row(
        "store s.a.b(j) = j, 2e5 turns",
        Loop("shell", f"s.a.b = zeros(1, {M});", f"for j = 1:{M}, s.a.b(j) = j; end"),
        Loop("shell", f"x = zeros(1, {M});", f"for j = 1:{M}, x(j) = j; end"),
        "x(j) = j",
    ),
]


def seconds(loop: Loop, mexhost: str) -> float:
    if loop.language == "shell":
        text = f"{loop.setup} t__ = tic; {loop.loop}; fprintf('%.9f\\n', toc(t__));"
        out = subprocess.run([mexhost, "-e", text], check=True, capture_output=True, text=True)
    else:
        body = "\n".join("    " + line for line in loop.loop.splitlines())
        text = (f"import time\n{loop.setup}\nt__ = time.perf_counter()\nif True:\n{body}\n"
                "print('%.9f' % (time.perf_counter() - t__))\n")
        out = subprocess.run([sys.executable, "-c", text], check=True, capture_output=True,
                             text=True)
    return float(out.stdout.strip().splitlines()[-1])


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--mexhost", required=True)
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--only", nargs="*", default=[])
    args = parser.parse_args()
    rows = [r for r in ROWS if not args.only or any(o in r.name for o in args.only)]
    print(f"CPython {sys.version.split()[0]} ({sys.executable}), {args.rounds} rounds, medians")
    print(f"{'row':34} {'ours s':>9} {'peer s':>9} {'ratio':>7}  peer")
    for row in rows:
        ours: List[float] = []
        peer: List[float] = []
        for k in range(args.rounds):
            # Alternate which side goes first, so neither always runs on a warmer machine.
            if k % 2 == 0:
                ours.append(seconds(row.ours, args.mexhost))
                peer.append(seconds(row.peer, args.mexhost))
            else:
                peer.append(seconds(row.peer, args.mexhost))
                ours.append(seconds(row.ours, args.mexhost))
        o, p = statistics.median(ours), statistics.median(peer)
        print(f"{row.name:34} {o:9.4f} {p:9.4f} {o / p:7.2f}  {row.peer_name}")


if __name__ == "__main__":
    main()
