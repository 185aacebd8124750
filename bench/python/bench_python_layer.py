#!/usr/bin/python3
"""Time each public transform of the numpy layer against the export it wraps.

usage: bench_python_layer.py [--rounds N] [--budget SECONDS] [--filter REGEX]
                             [--smoke] [--output docs/benchmarks.md]
       (--default-allocator --json FILE: the child run described below)

For every function three calls are timed with the same arguments:

- package: the public function (varnel.stft, ...), as a user calls it;
- raw fresh: the export(s) through varnel.raw, with outputs made by
  np.empty inside each call, as a caller of the C interface who keeps the
  result must make them;
- raw reused: the same exports writing into outputs made once.

The fair baseline is "raw fresh": the package returns arrays the caller
owns, so it cannot write into memory that an earlier call faulted in; the
difference between the two raw columns is what new pages cost on this
machine. The three calls alternate within each round (so that drifting
load hits them alike) and each column is the fastest of the rounds, as in
the other tables: on a shared machine other work only ever adds time (one
run's Gabor spectrogram calls, package and raw alike, took 0.58 to 1.07 s).

The package / raw fresh ratios are then measured once more by a child
process left with glibc's own threshold, and shown in the last column.

Writes the table between <!-- python:begin --> and <!-- python:end --> of
docs/benchmarks.md (appended when missing); pin it to one core:
``taskset -c 0 /usr/bin/python3 bench/python/bench_python_layer.py``.
"""
import argparse
import ctypes
import datetime
import json
import os
import re
import subprocess
import sys
import tempfile
import time

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(REPO, "python"))
sys.path.insert(0, os.path.dirname(HERE))
import report  # noqa: E402
import varnel  # noqa: E402
from varnel import raw  # noqa: E402

LONG = 1 << 20


def p(array, offset=0):
    return raw.pointer(array, offset)


def ok(status):
    if status != 0:
        raise RuntimeError("export returned %d" % status)


def signals(n, seed=7):
    rng = np.random.default_rng(seed)
    x = rng.uniform(-1.0, 1.0, n)
    return x, x + 1j * rng.uniform(-1.0, 1.0, n)


class Case:
    """package(), raw(fresh) -> None; raw(False) reuses outputs made once."""

    def __init__(self, name, size, package, raw_call, note=""):
        self.name, self.size, self.package, self.raw, self.note = name, size, package, raw_call, note


def linear_cases(n):
    x, xc = signals(n)
    hann = varnel.get_window("hann", 256)
    spec = raw.window_spec(hann, 64, 256)
    frames = (n - 256) // 64 + 1
    cases = []

    def outputs(*shapes):
        made = {}

        def get(key, fresh):
            if fresh or key not in made:
                shape, dtype = shapes[key]
                made[key] = np.empty(shape, dtype)
            return made[key]
        return get

    # STFT of a real signal, all bins and one-sided: ReSTFTWithShift's Hc rows.
    out = outputs(((frames, 256), np.float64))

    def re_stft(fresh):
        o = out(0, fresh)
        ok(raw.ReSTFTWithShift(p(x), n, spec, ctypes.byref(ctypes.c_int32(0)), p(o)))
    stft_args = dict(window="hann", nperseg=256, hop=64, bins=256, boundary=None)
    cases.append(Case("stft", n, lambda: varnel.stft(x, **stft_args), re_stft, "real, Hann 256, hop 64, 256 bins"))
    cases.append(Case("stft onesided", n, lambda: varnel.stft(x, onesided=True, **stft_args), re_stft, "real"))

    outc = outputs(((frames, 256), np.complex128))

    def cx_stft(fresh):
        o = outc(0, fresh).view(np.float64)
        xv = xc.view(np.float64)
        ok(raw.CxSTFTExWithShift(p(xv), p(xv, 1), 2, n, spec, ctypes.byref(ctypes.c_int32(0)), p(o), p(o, 1), 2))
    cases.append(Case("stft complex", n, lambda: varnel.stft(xc, **stft_args), cx_stft, "complex"))

    sp = outputs(((frames, 128), np.float64))
    spc = outputs(((frames, 256), np.float64))
    sp_args = dict(window="hann", nperseg=256, hop=64, bins=256)
    cases.append(Case("spectrogram", n, lambda: varnel.spectrogram(x, **sp_args),
                      lambda fresh: ok(raw.ReSTFTsp(p(x), n, spec, p(sp(0, fresh)))), "real"))
    cases.append(Case("spectrogram complex", n, lambda: varnel.spectrogram(xc, **sp_args),
                      lambda fresh: ok(raw.CxSTFTsp(p(xc), n, spec, p(spc(0, fresh)))), "complex"))
    cases.append(Case("reassigned_spectrogram", n, lambda: varnel.reassigned_spectrogram(x, **sp_args),
                      lambda fresh: ok(raw.ReReassignedSTFTSp(p(x), n, spec, p(sp(0, fresh)))), "real"))

    # Gabor transform: Gaussian of 256 samples, its dual, the transform.
    gframes = -(-n // 64)
    dg = outputs(((256,), np.float64), ((256,), np.float64), ((gframes, 256), np.float64),
                 ((gframes, 256), np.complex128))

    def gabor_window(fresh):
        g, h = dg(0, fresh), dg(1, fresh)
        ok(raw.Gaussian(256, 128.0, 1024.0, p(g)))
        ok(raw.FastDual(p(g), 256, 64, 256, 1, p(h)))
        return h

    def re_dgt(fresh):
        h = gabor_window(fresh)
        ok(raw.ReDGT(p(x), n, raw.window_spec(h, 64, 256), p(dg(2, fresh))))

    def cx_dgt(fresh):
        h = gabor_window(fresh)
        ok(raw.CxDGT(p(xc), n, raw.window_spec(h, 64, 256), p(dg(3, fresh))))
    cases.append(Case("dgt", n, lambda: varnel.dgt(x, hop=64, bins=256), re_dgt, "real, Gaussian 256, hop 64"))
    cases.append(Case("dgt complex", n, lambda: varnel.dgt(xc, hop=64, bins=256), cx_dgt, "complex"))

    c_real = np.asarray(varnel.dgt(x, hop=64, bins=256))
    c_cx = np.asarray(varnel.dgt(xc, hop=64, bins=256))
    hc = np.empty((gframes, 256))
    ok(raw.ReDGT(p(x), n, raw.window_spec(gabor_window(True), 64, 256), p(hc)))
    ge = outputs(((256,), np.float64), ((n,), np.float64), ((n,), np.complex128))

    def dge(fresh, real):
        g = ge(0, fresh)
        ok(raw.Gaussian(256, 128.0, 1024.0, p(g)))
        spec_g = raw.window_spec(g, 64, 256)
        if real:
            ok(raw.ReDGE(p(hc), gframes, 256, spec_g, p(ge(1, fresh)), n))
        else:
            ok(raw.CxDGE(p(c_cx), gframes, 256, spec_g, p(ge(2, fresh)), n))
    cases.append(Case("dge", n, lambda: varnel.dge(c_real, hop=64, bins=256, length=n),
                      lambda fresh: dge(fresh, True), "real coefficients"))
    cases.append(Case("dge complex", n, lambda: varnel.dge(c_cx, hop=64, bins=256, length=n),
                      lambda fresh: dge(fresh, False), "complex coefficients"))

    # The 2-D forms on a square image of n samples, the library's Gaussian
    # of 32 samples both ways, hop 16 (32 bins, the window's length).
    side = int(round(n ** 0.5))
    image = x[:side * side].reshape(side, side)
    frames2 = -(-side // 16)
    g2 = dict(window="gaussian", nperseg=32, hop=16)
    made2 = outputs(((32,), np.float64), ((32,), np.float64), ((frames2, 32, frames2, 32), np.complex128),
                    ((side, side), np.float64))

    def spec2(fresh, dual):
        g, h = made2(0, fresh), made2(1, fresh)
        ok(raw.Gaussian(32, 16.0, 16.0, p(g)))
        if not dual:
            return raw.window_spec(g, 16, 32)
        ok(raw.FastDual(p(g), 32, 16, 32, 1, p(h)))
        return raw.window_spec(h, 16, 32)

    def dgt2(fresh):
        spec = spec2(fresh, True)
        ok(raw.DGT2d(p(image), side, side, spec, spec, p(made2(2, fresh))))
    c2 = varnel.dgt2(image, **g2)

    def dge2(fresh):
        spec = spec2(fresh, False)
        ok(raw.DGE2d(p(c2), frames2, 32, frames2, 32, spec, spec, p(made2(3, fresh)), side, side))
    cases.append(Case("dgt2", n, lambda: varnel.dgt2(image, **g2), dgt2,
                      "%d x %d image, Gaussian 32, hop 16 both ways" % (side, side)))
    cases.append(Case("dge2", n, lambda: varnel.dge2(c2, shape=image.shape, **g2), dge2, "its coefficients"))

    S = varnel.spectrogram(x, **sp_args)
    Sv = np.asarray(S)
    fe = outputs(((len(Sv),), np.float64), ((len(Sv),), np.float64))
    cases.append(Case("instantaneous_frequency", n, lambda: varnel.instantaneous_frequency(S),
                      lambda fresh: ok(raw.InstantaneousFrequency(p(Sv), Sv.shape[0], Sv.shape[1], 0, 0,
                                                                  p(fe(0, fresh)), p(fe(1, fresh)))),
                      "of the real spectrogram above"))
    return cases


def gabor_cases(n, hop=16, bins=64, order=2):
    """The Gabor spectrogram and its mean frequency: lattice coefficients
    (Gaussian, dual, CxDGT of the complex signal) and CxGaborSp or
    MIFOfGaborSp on them."""
    x, _ = signals(n)
    g = varnel.gabor_window(hop, bins)
    a = varnel.balanced_variance(hop, bins)
    L = len(g)
    xc = x.astype(np.complex128)
    frames = -(-n // hop)
    made = {}

    def buffer(key, shape, dtype, fresh):
        if fresh or key not in made:
            made[key] = np.empty(shape, dtype)
        return made[key]

    def coefficients(fresh):
        w, h = buffer("g", L, np.float64, fresh), buffer("h", L, np.float64, fresh)
        ok(raw.Gaussian(L, float(L // 2), a, p(w)))
        ok(raw.FastDual(p(w), L, hop, bins, 1, p(h)))
        c = buffer("c", (frames, bins), np.complex128, fresh)
        ok(raw.CxDGT(p(xc), n, raw.window_spec(h, hop, bins), p(c)))
        return c

    def sp(fresh):
        c = coefficients(fresh)
        out = buffer("sp", (frames, bins // 2), np.float64, fresh)
        ok(raw.CxGaborSp(p(c), frames, bins, hop, a, 0, order, 1, 1, 0, bins // 2, p(out)))

    def mif(fresh):
        c = coefficients(fresh)
        out = buffer("mif", frames - 1, np.float64, fresh)
        ok(raw.MIFOfGaborSp(p(c), frames, bins, hop, a, order, 1, p(out)))

    note = "real, hop %d, %d bins, order %d" % (hop, bins, order)
    return [Case("gabor_spectrogram", n, lambda: varnel.gabor_spectrogram(x, hop=hop, bins=bins, order=order),
                 sp, note),
            Case("mean_instantaneous_frequency", n,
                 lambda: varnel.mean_instantaneous_frequency(x, hop=hop, bins=bins, order=order), mif, note)]


def quadratic_cases(n_wvd, n_kernel, bins=256, hop=8):
    cases = []
    x, xc = signals(n_wvd)
    made = {}

    def buffer(key, shape, fresh):
        if fresh or key not in made:
            made[key] = np.empty(shape)
        return made[key]

    re_c, im_c = np.ascontiguousarray(xc.real), np.ascontiguousarray(xc.imag)
    slices = n_wvd // hop
    cases.append(Case("wvd", n_wvd, lambda: varnel.wvd(x, bins=bins, hop=hop),
                      lambda fresh: ok(raw.WVD(p(x), None, n_wvd, bins, hop, 1,
                                               p(buffer("wvd", (slices, bins // 2), fresh)))),
                      "real, analytic, %d bins, hop %d" % (bins, hop)))
    cases.append(Case("wvd complex", n_wvd, lambda: varnel.wvd(xc, bins=bins, hop=hop),
                      lambda fresh: ok(raw.WVD(p(re_c), p(im_c), n_wvd, bins, hop, 1,
                                               p(buffer("wvdc", (slices, bins), fresh)))), "complex"))
    y, _ = signals(n_kernel, 11)
    rows = n_kernel // hop
    width = n_kernel  # a power of two
    kernel = np.ones((bins // 2, width))
    for name, package, export in (
            ("cwd", lambda: varnel.cwd(y, bins=bins, hop=hop, sigma=1e-6),
             lambda out: raw.CWD(p(y), None, n_kernel, bins, hop, 1e-6, 1, p(out))),
            ("csd", lambda: varnel.csd(y, bins=bins, hop=hop, alpha=1e-4),
             lambda out: raw.CSD(p(y), None, n_kernel, bins, hop, 1e-4, 1, p(out))),
            ("cohen", lambda: varnel.cohen(y, kernel, bins=bins, hop=hop),
             lambda out: raw.Cohen(p(y), None, n_kernel, p(kernel), bins, width, hop, 1, p(out)))):
        cases.append(Case(name, n_kernel, package,
                          lambda fresh, export=export, name=name: ok(export(buffer(name, (rows, bins // 2),
                                                                                   fresh))),
                          "real, analytic, %d bins, hop %d" % (bins, hop)))
    return cases


def adaptive_cases(n_transform, n_image):
    cases = []
    x, _ = signals(n_transform)
    t = np.zeros(20, dtype=varnel.TERM_DTYPE)
    c = np.zeros(20, dtype=np.complex128)
    made = {}

    def transform(fresh):
        if fresh or "r" not in made:
            made["r"] = np.empty(n_transform)
        found, percent = ctypes.c_int32(0), ctypes.c_double(0.0)
        ok(raw.ReAdaptiveTransform(p(x), n_transform, 0, 0, 0, 0.0, 0, 20, ctypes.byref(found),
                                   ctypes.byref(percent), p(c), ctypes.cast(t.ctypes.data,
                                                                            ctypes.POINTER(raw.AdaptiveTerm)),
                                   p(made["r"])))
    cases.append(Case("adaptive_transform", n_transform, lambda: varnel.adaptive_transform(x, 20), transform,
                      "real, 20 terms"))

    rng = np.random.default_rng(3)
    count = 200
    terms = varnel.terms(alpha=rng.uniform(1e-6, 1e-4, count), tc=rng.uniform(0, n_image, count),
                         omega=rng.uniform(0.1, 3.0, count), beta=rng.uniform(-1e-5, 1e-5, count))
    coefs = rng.normal(size=count) + 1j * rng.normal(size=count)
    term_p = ctypes.cast(terms.ctypes.data, ctypes.POINTER(raw.AdaptiveTerm))
    hop, bins = 64, 256
    rows = -(-n_image // hop)

    def image(fresh):
        if fresh or "sp" not in made:
            made["sp"] = np.empty((rows, bins // 2))
        ok(raw.ReAdaptiveSp(p(coefs), term_p, count, hop, bins, 0, 0, rows, bins // 2, p(made["sp"])))
    cases.append(Case("adaptive_spectrogram", n_image,
                      lambda: varnel.adaptive_spectrogram(terms, coefs, hop=hop, bins=bins, real=True,
                                                          length=n_image),
                      image, "%d real terms, hop %d, %d bins" % (count, hop, bins)))

    def expansion(fresh, real):
        key = "re" if real else "cx"
        if fresh or key not in made:
            made[key] = np.empty(n_image, np.float64 if real else np.complex128)
        export = raw.ReAdaptiveExpansion if real else raw.CxAdaptiveExpansion
        ok(export(term_p, p(coefs), count, n_image, p(made[key])))
    cases.append(Case("adaptive_expansion", n_image,
                      lambda: varnel.adaptive_expansion(terms, coefs, n_image, real=True),
                      lambda fresh: expansion(fresh, True), "%d real terms" % count))
    cases.append(Case("adaptive_expansion complex", n_image,
                      lambda: varnel.adaptive_expansion(terms, coefs, n_image, real=False),
                      lambda fresh: expansion(fresh, False), "%d complex terms" % count))
    return cases


def all_cases(smoke):
    if smoke:
        return (linear_cases(1 << 12) + gabor_cases(1 << 10) + quadratic_cases(1 << 10, 1 << 10)
                + adaptive_cases(1 << 9, 1 << 12))
    return (linear_cases(LONG) + gabor_cases(LONG) + quadratic_cases(LONG, 1 << 16)
            + adaptive_cases(1 << 15, LONG))


def measure(case, rounds, budget):
    """Fastest seconds of (package, raw fresh, raw reused) over the rounds,
    the three alternating in a rotating order within each round."""
    calls = [case.package, lambda: case.raw(True), lambda: case.raw(False)]
    for call in calls:
        call()  # warm-up: imports, plan caches, the reused outputs
    times = [[], [], []]
    start = time.perf_counter()
    for r in range(rounds):
        for i in range(3):
            k = (r + i) % 3
            t0 = time.perf_counter()
            calls[k]()
            times[k].append(time.perf_counter() - t0)
        if r >= 4 and time.perf_counter() - start > budget:
            break
    return [min(t) for t in times], len(times[0])


def format_ms(seconds):
    ms = seconds * 1e3
    return "{:,.0f}".format(ms) if ms >= 100 else "{:.1f}".format(ms) if ms >= 1 else "{:.3f}".format(ms)


def table(results, ratios, stamp):
    cpu, os_name = report.machine_description()
    lines = [
        "## Python layer: the numpy functions against the exports they wrap",
        "",
        "Each public transform of `python/varnel` is timed against the same work done through "
        "`varnel.raw` (ctypes, the exports as they are) with the same arguments, by "
        "`bench/python/bench_python_layer.py`. *package* is the public call (argument checks, "
        "the finiteness check of the input, output allocation, layout conversion, axes). *raw fresh* "
        "calls the export(s) with outputs made by `np.empty` inside each call, as a caller keeping "
        "the result has to; this is the baseline of the ratio, since the package returns arrays the "
        "caller owns. *raw reused* writes into outputs made once, which shows what touching new "
        "memory costs on this machine. Where a function needs several exports (the dual window "
        "before a Gabor transform, the Gabor coefficients before the Gabor spectrogram) the raw "
        "columns call them all. The three calls alternate within each round, run pinned to one "
        "core (`taskset -c 0`) with glibc's mmap threshold fixed at 128 KiB "
        "(`MALLOC_MMAP_THRESHOLD_=131072`, which the script sets), so that every large array, the "
        "package's and the raw fresh call's alike, is new pages (by default glibc recycles freed "
        "blocks below 32 MiB and maps anew above, which at these sizes would split the two sides "
        "by a few hundred kilobytes of output); times are the fastest of the rounds in milliseconds per call. "
        "The last column repeats the package / raw fresh ratio from a second run with glibc's own "
        "threshold, as a program gets it by default; there it also depends on which side's arrays "
        "glibc happens to recycle (below 32 MiB, and not freed at the top of the heap, which it "
        "trims) and which it maps anew, e.g. the raw STFT's 33.5 MB of `Hc` rows against the "
        "package's 33.8 MB of one-sided bins. "
        "Linear transforms run on 2^20 real random samples (complex: 2^20 complex ones); the "
        "Gabor spectrogram, the kernel distributions and the adaptive transform on the sizes in "
        "the table, which take around a second or less per call.",
        "",
        "Where the package stays above the raw call it is by work the exports leave to it: the real "
        "STFT and Gabor transform write half-complex (`Hc`) rows, which the package unpacks into "
        "complex bins (block by block from a cache-sized buffer for the STFT, and for the Gabor "
        "transform with windows the library folds, whose frames it makes as the STFT frames they "
        "equal; in place for longer Gabor windows), and all bins of a real signal's STFT are twice "
        "the bytes of its `Hc` rows; the "
        "real Gabor expansion packs its one-sided coefficients into `Hc` rows a cache-sized block of "
        "frames at a time, and with windows the library folds expands each block there by "
        "`ReDGEWithIC` (long windows, which it factorises, need all rows before `ReDGE`). Those "
        "conversions, strided numpy copies of about 0.5 ns per value, are what the ratios above 1.2 "
        "measure; ratios near 1.2 move by 0.1 to 0.2 from run to run. The expansions look for "
        "non-finite values in their result rather than in the coefficients, which are several "
        "times its size. The 2-D forms return the library's own coefficient array.",
        "",
        "_measured %s; %s; %s; numpy %s; Python %s._" % (stamp, cpu, os_name, np.__version__,
                                                         sys.version.split()[0]),
        "",
        "| function | samples | arguments | package ms | raw fresh ms | raw reused ms | package / raw fresh "
        "| package / raw reused | rounds | package / raw fresh, glibc's threshold |",
        "|---|---:|---|---:|---:|---:|---:|---:|---:|---:|",
    ]
    for case, (package, fresh, reused), rounds in results:
        lines.append("| `%s` | %d | %s | %s | %s | %s | %.2f | %.2f | %d | %.2f |" % (
            case.name, case.size, case.note, format_ms(package), format_ms(fresh), format_ms(reused),
            package / fresh, package / reused, rounds, ratios[case.name]))
    return "\n".join(lines)


# glibc serves a freed block below 32 MiB to the next request of that size
# (its mmap threshold rises to the largest block freed) and maps new pages
# for anything larger: an output of 33.5 MB would be recycled and one of
# 33.8 MB faulted in anew on every call. A fixed threshold gives every large
# array new pages, the package's and the raw fresh call's alike.
MMAP_THRESHOLD = "131072"


def default_allocator_ratios(args):
    """{function: package / raw fresh} measured by a child process with
    glibc's own mmap threshold, which recycles freed blocks below 32 MiB."""
    environment = {k: v for k, v in os.environ.items() if k != "MALLOC_MMAP_THRESHOLD_"}
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "default.json")
        subprocess.run([sys.executable, os.path.abspath(__file__), "--default-allocator", "--json", path,
                        "--rounds", str(args.rounds), "--budget", str(args.budget)], env=environment, check=True)
        with open(path, encoding="utf-8") as f:
            return json.load(f)


def main():
    default = "--default-allocator" in sys.argv
    if not default and os.environ.get("MALLOC_MMAP_THRESHOLD_") != MMAP_THRESHOLD:
        os.environ["MALLOC_MMAP_THRESHOLD_"] = MMAP_THRESHOLD
        os.execv(sys.executable, [sys.executable] + sys.argv)
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--default-allocator", action="store_true",
                        help="keep glibc's mmap threshold and write the ratios to --json (no table)")
    parser.add_argument("--json", help="where --default-allocator writes its ratios")
    parser.add_argument("--rounds", type=int, default=15, help="most rounds per function (default 15)")
    parser.add_argument("--budget", type=float, default=20.0,
                        help="seconds per function after which no new round starts (at least 5 run)")
    parser.add_argument("--filter", default="", help="only the functions whose names match")
    parser.add_argument("--smoke", action="store_true", help="small sizes, one round, no file written")
    parser.add_argument("--output", default=os.path.join(REPO, "docs", "benchmarks.md"))
    args = parser.parse_args()
    results = []
    for case in all_cases(args.smoke):
        if args.filter and not re.search(args.filter, case.name):
            continue
        fastest, rounds = measure(case, 1 if args.smoke else args.rounds, args.budget)
        results.append((case, fastest, rounds))
        print("%-30s package %10s ms  raw fresh %10s ms  raw reused %10s ms  %5.2f  %5.2f" % (
            case.name, format_ms(fastest[0]), format_ms(fastest[1]), format_ms(fastest[2]),
            fastest[0] / fastest[1], fastest[0] / fastest[2]), flush=True)
    if args.default_allocator:
        with open(args.json, "w", encoding="utf-8") as f:
            json.dump({case.name: fastest[0] / fastest[1] for case, fastest, _ in results}, f)
        return 0
    if args.smoke or args.filter:
        return 0
    print("again with glibc's own mmap threshold:", flush=True)
    ratios = default_allocator_ratios(args)
    stamp = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    with open(args.output, encoding="utf-8") as f:
        text = f.read()
    text = report.replace_block(text, "python", table(results, ratios, stamp))
    with open(args.output, "w", encoding="utf-8") as f:
        f.write(text)
    print("wrote %s" % args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
