"""melceps-extract: in process and on a 2-worker LocalCluster, failures, re-runs, lost workers."""

import json
import os
import signal
import subprocess
import sys
import threading
import time
from pathlib import Path

import numpy as np
import pytest

import melceps
from melceps import extract
from melceps._melceps import write_audio


def make_corpus(root: Path, count: int, seconds: float = 0.3, fs: int = 16000) -> list[Path]:
    files = []
    r = np.random.default_rng(3)
    for k in range(count):
        sub = root / f"spk{k % 3}"
        sub.mkdir(parents=True, exist_ok=True)
        y = 0.2 * np.sin(2 * np.pi * (200 + 37 * k) * np.arange(int(fs * seconds)) / fs)
        y += 0.01 * r.standard_normal(y.size)
        f = sub / f"utt{k:02d}.wav"
        write_audio(str(f), y, fs)
        files.append(f)
    return files


def int16_mfcc(path, **options) -> np.ndarray:
    """The front end on a file's first channel at the 16-bit integer scale, as the tool reads it."""
    y, fs = melceps.read_audio(path, int16_scale=True)
    return melceps.mfcc(y[:, 0], fs, **options)


def manifest(out: Path) -> dict:
    return {r["file"]: r for r in map(json.loads, (out / "manifest.jsonl").read_text().splitlines())}


def test_cluster_equals_in_process_and_rerun_does_nothing(tmp_path):
    files = make_corpus(tmp_path / "corpus", 20)
    (tmp_path / "corpus" / "bad.wav").write_bytes(b"RIFF nonsense that libsndfile refuses")
    out = tmp_path / "out"
    assert extract.main([str(tmp_path / "corpus"), "-o", str(out), "--workers", "2",
                         "--format", "npy"]) == 1
    m = manifest(out)
    assert len(m) == 21
    bad = m[str(tmp_path / "corpus" / "bad.wav")]
    assert bad["status"] == "failed" and bad["error"]
    for f in files:
        rec = m[str(f)]
        assert rec["status"] == "ok", rec
        want = int16_mfcc(f)
        got = np.load(rec["output"])
        assert rec["frames"] == got.shape[0] and abs(rec["seconds"] - 0.3) < 1e-9
        assert got.dtype == np.float32
        np.testing.assert_allclose(got, want, rtol=1e-5, atol=1e-4)
    stamps = {f: os.stat(m[str(f)]["output"]).st_mtime_ns for f in files}
    # a re-run redoes only the failed file
    assert extract.main([str(tmp_path / "corpus"), "-o", str(out), "--workers", "0",
                         "--format", "npy"]) == 1
    m2 = manifest(out)
    assert all(m2[str(f)]["status"] == "skipped" for f in files)
    assert m2[str(tmp_path / "corpus" / "bad.wav")]["status"] == "failed"
    assert stamps == {f: os.stat(m[str(f)]["output"]).st_mtime_ns for f in files}
    assert not list(out.rglob(".*tmp*"))


@pytest.mark.parametrize("fmt", ["npy", "mat", "htk"])
def test_formats_and_list_file(tmp_path, fmt):
    files = make_corpus(tmp_path / "c", 2)
    short = tmp_path / "c" / "short.wav"
    write_audio(str(short), np.zeros(100), 16000)
    lst = tmp_path / "files.lst"
    lst.write_text("\n".join(str(f) for f in files + [short, tmp_path / "missing.wav"]) + "\n")
    out = tmp_path / "o"
    assert extract.main([str(lst), "-o", str(out), "--format", fmt, "--workers", "0"]) == 1
    m = manifest(out)
    assert m[str(short)]["status"] == "failed" and "too short" in m[str(short)]["error"]
    assert m[str(tmp_path / "missing.wav")]["status"] == "failed"
    want = int16_mfcc(files[0], htk_compat=fmt == "htk")
    path = m[str(files[0])]["output"]
    if fmt == "npy":
        got = np.load(path)
    elif fmt == "mat":
        import scipy.io
        got = scipy.io.loadmat(path)["mfcc"]
    else:
        got, period, kind = extract.read_htk(path)
        assert (period, kind) == (100000, 6 | 0o20000)  # MFCC_0: c0 last
    np.testing.assert_allclose(got, want, rtol=1e-5, atol=1e-4)


def test_force_redoes_and_module_entry(tmp_path):
    files = make_corpus(tmp_path / "c", 2)
    out = tmp_path / "o"
    env = dict(os.environ)
    cmd = [sys.executable, "-m", "melceps.extract", str(files[0]), "-o", str(out), "--workers", "0",
           "--format", "npy"]
    assert subprocess.run(cmd, env=env).returncode == 0
    first = os.stat(out / "utt00.npy").st_mtime_ns
    time.sleep(0.01)
    assert subprocess.run(cmd + ["--force"], env=env).returncode == 0
    assert os.stat(out / "utt00.npy").st_mtime_ns != first
    assert manifest(out)[str(files[0])]["status"] == "ok"


def test_nothing_to_do_starts_no_cluster(tmp_path, monkeypatch):
    files = make_corpus(tmp_path / "c", 2)
    out = tmp_path / "o"
    assert extract.main([str(tmp_path / "c"), "-o", str(out), "--workers", "0"]) == 0
    assert (out / "feats.scp").read_text().count("\n") == len(files)

    def no_cluster(workers):
        raise AssertionError("a cluster was started with nothing to do")
    monkeypatch.setattr(extract, "local_cluster", no_cluster)
    assert extract.main([str(tmp_path / "c"), "-o", str(out), "--workers", "2"]) == 0
    assert all(r["status"] == "skipped" for r in manifest(out).values())
    assert len(manifest(out)) == len(files)


def running_task_pids(client) -> list[int]:
    """The process ids of the workers that are running a task now."""
    def probe():
        from distributed import get_worker
        return os.getpid(), len(get_worker().state.executing)
    return [pid for pid, executing in client.run(probe).values() if executing]


def test_a_killed_worker_loses_no_file(tmp_path):
    # Two workers without a nanny, as dask-worker starts them on other machines: the killed
    # one stays dead (nothing restarts it, so nothing races the cluster's close) and the
    # scheduler gives its files to the other.
    from dask.distributed import Client, LocalCluster
    make_corpus(tmp_path / "c", 12)
    out = tmp_path / "o"
    log = out / "manifest.jsonl"
    cluster = LocalCluster(n_workers=0, dashboard_address=":0", silence_logs=50)
    env = dict(os.environ, MELCEPS_EXTRACT_TASK_DELAY="0.3")
    workers = [subprocess.Popen([sys.executable, "-m", "distributed.cli.dask_worker",
                                 cluster.scheduler_address, "--no-nanny", "--nthreads", "1",
                                 "--no-dashboard"], env=env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL) for _ in range(2)]
    killed: dict = {}
    try:
        client = Client(cluster)
        client.wait_for_workers(2, timeout=120)

        def kill_one():  # once some files are done, a worker in the middle of one
            deadline = time.time() + 120
            while time.time() < deadline and "pid" not in killed:
                done = len(log.read_text().splitlines()) if log.exists() else 0
                try:
                    pids = running_task_pids(client) if done >= 2 else []
                except Exception as e:  # a probe that fails is tried again
                    killed["probe"] = repr(e)
                    pids = []
                if pids:
                    os.kill(pids[0], signal.SIGKILL)
                    killed.update(pid=pids[0], done=done)
                time.sleep(0.02)

        killer = threading.Thread(target=kill_one)
        killer.start()
        rc = extract.main([str(tmp_path / "c"), "-o", str(out),
                           "--scheduler", cluster.scheduler_address])
        killer.join()
        client.close()
    finally:
        for w in workers:
            w.kill()
            w.wait()
        cluster.close()
    assert killed.get("done", 12) < 12, f"no worker was killed while files remained: {killed}"
    assert killed["pid"] in [w.pid for w in workers]
    assert rc == 0
    m = manifest(out)
    assert len(m) == 12 and all(r["status"] == "ok" for r in m.values())


@pytest.mark.skipif(not os.environ.get("MELCEPS_EXTRACT_PROGRAM"), reason="program not known")
def test_the_program_itself_on_a_local_cluster(tmp_path):
    # Workers are spawned and run the program's file again; only the parent may start a
    # cluster, or every worker starts one of its own without end.
    files = make_corpus(tmp_path / "c", 4)
    out = tmp_path / "o"
    run = subprocess.run([os.environ["MELCEPS_EXTRACT_PROGRAM"], str(tmp_path / "c"), "-o",
                          str(out), "--workers", "2"], capture_output=True, text=True,
                         timeout=120)
    assert run.returncode == 0, run.stderr[-2000:]
    m = manifest(out)
    assert len(m) == 4 and all(m[str(f)]["status"] == "ok" for f in files)
