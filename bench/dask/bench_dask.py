"""varnel.dask against one process: a long signal's spectrogram and a batch
of files, in this process (one call / a plain loop) and on a local cluster
of two worker processes with one thread each.

    python3 bench/dask/bench_dask.py [--log2 26] [--files 200] [--docs docs/benchmarks.md]

Long signal: 2^log2 real samples made block by block (the same blocks in
this process and on the workers, so that nothing is shipped), the
spectrogram of varnel.spectrogram with a periodic Hann of 1024, hop 256,
1024 bins; timed gathering the whole map into this process, and reducing
it to its mean spectrum on the workers (what a long analysis usually
keeps). Batch: --files WAV files of 2^17 samples generated in a temporary
folder, each analysed as `python3 -m varnel batch --method spectrogram`
does; overhead per task is the cluster's wall time beyond half the plain
loop's, in worker seconds per file. With --docs the table replaces the
section between <!-- dask:begin --> and <!-- dask:end --> of that file.
"""
import argparse
import datetime
import os
import pathlib
import platform
import re
import sys
import tempfile
import time

import numpy as np

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "python"))

import dask  # noqa: E402
import dask.array as da  # noqa: E402
import distributed  # noqa: E402

import varnel  # noqa: E402
import varnel.dask as vd  # noqa: E402

GRID = dict(nperseg=1024, hop=256, bins=1024)
FS = 48000.0
BLOCK = 1 << 22


def piece(index, size):
    """Block index of the test signal: a slow chirp in noise."""
    t = (index * BLOCK + np.arange(size)) / FS
    rng = np.random.default_rng(index)
    return np.sin(2 * np.pi * (200 + 5 * t) * t) + 0.1 * rng.standard_normal(size)


def signal(n):
    return np.concatenate([piece(i, min(BLOCK, n - i * BLOCK)) for i in range(-(-n // BLOCK))])


def lazy_signal(n):
    parts = [da.from_delayed(dask.delayed(piece)(i, min(BLOCK, n - i * BLOCK)), shape=(min(BLOCK, n - i * BLOCK),),
                             dtype=np.float64) for i in range(-(-n // BLOCK))]
    return da.concatenate(parts)


def timed(call):
    started = time.perf_counter()
    result = call()
    return time.perf_counter() - started, result


def long_signal(n, rows):
    made, x = timed(lambda: signal(n))
    one, S = timed(lambda: varnel.spectrogram(x, FS, **GRID))
    averaged, mean = timed(lambda: np.asarray(S).mean(axis=0))
    one, mean_one = made + one, made + one + averaged
    x = None  # the memory back before the cluster runs
    lazy = vd.spectrogram(lazy_signal(n), FS, **GRID)
    gathered, D = timed(lazy.compute)
    error = np.max(np.abs(np.asarray(D) - np.asarray(S))) / np.max(S)
    D = S = None
    reduced, m = timed(lambda: lazy.data.mean(axis=0).compute())
    assert np.max(np.abs(m - mean)) <= 1e-12 * np.max(mean)
    blocks = len(lazy.chunks[0])
    name = "spectrogram of 2^%d samples" % (n.bit_length() - 1)
    rows.append(("%s, map gathered (%d block%s)" % (name, blocks, "s" * (blocks > 1)), one, gathered,
                 "max difference %.1e of the peak" % error))
    rows.append((name + ", mean spectrum", mean_one, reduced, ""))


def batch(files, client, rows):
    import soundfile
    with tempfile.TemporaryDirectory() as folder:
        paths = []
        for i in range(files):
            paths.append(os.path.join(folder, "rec%03d.wav" % i))
            soundfile.write(paths[-1], piece(i, 1 << 17) / 2, 16000, subtype="FLOAT")
        loop, _ = timed(lambda: [vd.analyse_one(p, "spectrogram", {}, os.path.join(folder, "loop.npy"))
                                 for p in paths])
        out = os.path.join(folder, "out")
        cluster, result = timed(lambda: vd.batch(paths, "spectrogram", out, client=client, progress=None))
        assert all(r["status"] == "done" for r in result)
        rerun, _ = timed(lambda: vd.batch(paths, "spectrogram", out, client=client, progress=None))
    overhead = (cluster - loop / 2) * 2 / files
    rows.append(("batch of %d files of 2^17 samples" % files, loop, cluster,
                 "overhead %.1f ms per task; rerun (all done) %.2f s" % (1e3 * overhead, rerun)))


DESCRIPTION = """\
`python3 bench/dask/bench_dask.py --log2 {log2} --files {files} --docs docs/benchmarks.md`, on its own (not from
`scripts/bench.sh`: the cluster needs every core). One process: the one call (or a plain loop over the files) in the
benchmark's own process. Cluster: `varnel.dask` on the batch command's local cluster (`varnel.dask.local_cluster`)
of 2 worker processes of 1 thread each, started ({started:.1f} s) and, as this process, warmed up before timing
(modules imported, library loaded). Long signal: making the signal (block by block, where it is analysed) and its
spectrogram with a periodic Hann of 1024, hop 256, 1024 bins; map gathered = the whole map brought back into one
array, mean spectrum = the map reduced on the workers. Batch: WAV files analysed as the `batch` command does (read,
spectrogram, .npy written, index updated); overhead per task = (cluster time - loop time / 2) x 2 / files, the
worker time each file costs beyond its analysis. Wall times in seconds, one run each."""


def machine():
    try:
        with open("/proc/cpuinfo") as f:
            model = next(line.split(":", 1)[1].strip() for line in f if line.startswith("model name"))
    except (OSError, StopIteration):
        model = platform.machine()
    return "%s, %d logical CPUs" % (model, os.cpu_count())


def table(rows, started, log2, files):
    lines = ["## Dask: one process against a local cluster of two workers", "",
             DESCRIPTION.format(log2=log2, files=files, started=started).replace("\n", " "), "",
             "_measured %s; %s; dask %s, distributed %s._"
             % (datetime.datetime.utcnow().strftime("%Y-%m-%d %H:%M UTC"), machine(), dask.__version__,
                distributed.__version__), "",
             "| case | one process s | cluster s | speed-up | notes |", "|---|---:|---:|---:|---|"]
    for name, one, cluster, note in rows:
        lines.append("| %s | %.2f | %.2f | %.2f | %s |" % (name, one, cluster, one / cluster, note))
    return "\n".join(lines)


def warm():
    """What a worker imports and loads on its first task."""
    import soundfile  # noqa: F401
    from varnel import cli  # noqa: F401
    varnel.spectrogram(np.zeros(4096), FS, **GRID)  # binds the library's functions
    return varnel.load_library()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--log2", type=int, default=26, help="signal length, a power of two (default 26)")
    parser.add_argument("--files", type=int, default=200, help="files of the batch (default 200)")
    parser.add_argument("--docs", help="benchmarks page whose dask section to rewrite")
    args = parser.parse_args()
    rows = []
    started, cluster = timed(lambda: vd.local_cluster(2))
    with cluster, distributed.Client(cluster) as client:
        warm()
        client.run(warm)
        long_signal(1 << args.log2, rows)
        batch(args.files, client, rows)
    text = table(rows, started, args.log2, args.files)
    print(text)
    if args.docs:
        page = pathlib.Path(args.docs)
        section = "<!-- dask:begin -->\n%s\n<!-- dask:end -->" % text
        old = page.read_text()
        new, count = re.subn(r"<!-- dask:begin -->.*?<!-- dask:end -->", lambda _: section, old, flags=re.S)
        page.write_text(new if count else old.rstrip("\n") + "\n\n" + section + "\n")


if __name__ == "__main__":
    main()
