"""What the scipy checks of mexhost share: a tally of named checks and a run of statements.

Each check script runs mexhost -e in a scratch folder, then compares what it wrote with values
built in Python; it prints "N passed, N failed" and exits non-zero on failure.
"""
import subprocess


class Checks:
    """Named checks counted as they go; a failure prints its name and detail at once."""

    def __init__(self):
        self.passed = self.failed = 0

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print(f"FAIL {name} {detail}")

    def report(self):
        """Prints the tally; the exit status for it."""
        print(f"{self.passed} passed, {self.failed} failed")
        return 1 if self.failed else 0

    def run_mexhost(self, mexhost, statements, folder):
        """mexhost -e STATEMENTS in folder, checked to succeed; the run, or None on failure."""
        run = subprocess.run([mexhost, "-e", statements], cwd=folder, capture_output=True, text=True)
        self.check("mexhost ran", run.returncode == 0, run.stdout + run.stderr)
        return run if run.returncode == 0 else None
