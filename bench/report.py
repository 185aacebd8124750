#!/usr/bin/python3
"""Run Varnel's benchmark programs and write their results to docs/benchmarks.md.

usage: report.py [--build-dir build/bench] [--section NAME ...] [--quick]
                 [--min-time SECONDS] [--repetitions N] [--filter REGEX]
                 [--from-json NAME=FILE ...] [--output docs/benchmarks.md]

--from-json may name several files for one section (a program's and its
companions'); their benchmarks are merged.

Each section of the report belongs to one benchmark program and lives in the
markdown file between the markers <!-- NAME:begin --> and <!-- NAME:end -->;
a run replaces only the sections that it ran and the machine block at the
top (<!-- machine:begin --> ... <!-- machine:end -->), and leaves the rest
of the file as it was. A section whose markers are missing is appended.

A program reports Google Benchmark JSON. Benchmark names follow
<group>/<implementation>/<size>; each group becomes one table with a row
per size, a column per implementation (the fastest repetition's real time
per call, in the section's unit) and the ratios that the section asks for. A new comparison
is one more entry in SECTIONS. A section may have companion programs whose
results join its tables (the stft section's scipy timings come from a
Python script); a program that is not a Google Benchmark binary only has to
accept the --benchmark_* flags used here and write the same JSON format.

Standard library only.
"""
import argparse
import datetime
import json
import os
import platform
import re
import subprocess
import sys

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


class Section:
    def __init__(self, name, title, program, intro, groups, columns, ratios, unit="ns", companions=(), env=None):
        self.name = name            # marker name
        self.title = title          # markdown heading
        self.program = program      # path under the build directory, or a command list
        self.intro = intro          # paragraph under the heading
        # [(group id, table heading[, columns, ratios])]: a group may name
        # its own columns and ratios, whose entries may be (group, impl)
        # pairs that take values from another group's rows.
        self.groups = groups
        self.columns = columns      # [(implementation id, column heading)]
        self.ratios = ratios        # [(numerator id, denominator id, column heading)]
        self.unit = unit            # unit of the table cells: ns, us or ms
        self.companions = companions  # further command lists whose results join the tables
        self.env = env or {}        # extra environment of every program of the section

    def command(self, build_dir):
        if isinstance(self.program, str):
            return [os.path.join(build_dir, self.program)]
        return list(self.program)

    def commands(self, build_dir):
        return [self.command(build_dir)] + [list(c) for c in self.companions]


SECTIONS = [
    Section(
        name="fft",
        title="FFT: Varnel against FFTW",
        program="bench/varnel_bench_fft",
        intro=(
            "One transform per iteration, plans (and Varnel's transform scratch, "
            "which a routine running many transforms takes once) made before "
            "timing. Varnel's "
            "`cxFft` works on split real/imaginary arrays and is timed against "
            "FFTW's split-array guru interface (`fftw_plan_guru_split_dft`); "
            "`reFft` writes the half-complex `Hc` spectrum and is timed against "
            "`fftw_plan_dft_r2c_1d`. FFTW plans with `FFTW_MEASURE`. Times are "
            "those of the fastest repetition, in nanoseconds per transform; "
            "ratio = Varnel / FFTW, so below 1 means Varnel is faster. The "
            "plan table times `fftPlanCreate` + `fftPlanRelease` of a length "
            "no one else holds, the price every export pays per length since "
            "the plan cache is empty between calls."),
        groups=[
            ("cx", "Complex transform (split arrays, unit stride)"),
            ("re", "Real transform (Varnel: Hc output; FFTW: r2c)"),
            # Every export builds its plans and releases them, since the
            # plan cache is empty between calls: the price in transforms.
            ("plan", "Plan build + release (a plan no one else holds), against one complex transform",
             [("varnel", "plan ns"), (("cx", "varnel"), "cxFft ns")],
             [("varnel", ("cx", "varnel"), "plan / cxFft")]),
        ],
        columns=[("varnel", "varnel ns"), ("fftw_measure", "FFTW_MEASURE ns")],
        ratios=[("varnel", "fftw_measure", "ratio")],
    ),
    Section(
        name="stft",
        title="STFT spectrogram: Varnel against FFTW and scipy",
        program="bench/varnel_bench_stft",
        companions=[[sys.executable, os.path.join(REPO, "bench", "linear", "stft_scipy.py")]],
        intro=(
            "`ReSTFTsp` (the exported real spectrogram) on 2^20 random samples "
            "with a periodic Hann window of length L = M and a hop of M/4; one "
            "call is the whole signal, rows of M/2 values |X|^2/M. FFTW: the "
            "same frames done by hand in the same process (window the frame, "
            "`fftw_plan_dft_r2c_1d` planned once with `FFTW_MEASURE`, |X|^2/M "
            "into the same rows). scipy: `scipy.signal.spectrogram` with the "
            "same signal, window and hop (one-sided, `detrend=False`), timed "
            "by `bench/linear/stft_scipy.py` with `time.perf_counter`, best "
            "call of each repetition. Times are those of the fastest repetition, in "
            "microseconds per call; varnel / FFTW below 1 means Varnel is "
            "faster, scipy / varnel is Varnel's speed-up over scipy. The hop M "
            "table repeats the comparison with every frame new data, up to "
            "one window of 2^20, where Varnel's call includes building its plan."),
        groups=[("sp", "Real spectrogram, L = M, hop M/4, 2^20 samples"),
                ("hop", "Real spectrogram, L = M, hop M (a fresh frame per FFT), 2^20 samples (2^21 at M = 2^20)",
                 [("varnel", "varnel us"), ("fftw_measure", "FFTW_MEASURE us")],
                 [("varnel", "fftw_measure", "varnel / FFTW")])],
        columns=[("varnel", "varnel us"), ("fftw_measure", "FFTW_MEASURE us"), ("scipy", "scipy us")],
        ratios=[("varnel", "fftw_measure", "varnel / FFTW"), ("scipy", "varnel", "scipy / varnel")],
        unit="us",
    ),
    Section(
        name="istft",
        title="Inverse STFT: the Python package against scipy",
        program=[sys.executable, os.path.join(REPO, "bench", "linear", "istft_scipy.py")],
        intro=(
            "`varnel.istft` against `scipy.signal.istft`, each on its own "
            "one-sided frames of the same 2^18 random samples (periodic Hann "
            "window of 256 samples, 256 bins, no boundary extension: the same "
            "frames), giving back the samples the frames cover; both are "
            "checked against the signal before they are timed, by "
            "`bench/linear/istft_scipy.py` with `time.perf_counter`, best call "
            "of each repetition. Varnel's inverse is the least-squares one "
            "(the frames' canonical dual), scipy's the weighted overlap-add "
            "that equals it for these frames. Times are those of the fastest "
            "repetition, in milliseconds per call; scipy / varnel is Varnel's "
            "speed-up over scipy."),
        groups=[("istft", "Real signal, 2^18 samples, Hann L = 256, 256 bins, rows by hop")],
        columns=[("varnel", "varnel ms"), ("scipy", "scipy ms")],
        ratios=[("scipy", "varnel", "scipy / varnel")],
        unit="ms",
    ),
    Section(
        name="dgt",
        title="Discrete Gabor transform: Varnel against FFTW and LTFAT",
        program="bench/varnel_bench_dgt",
        companions=[[sys.executable, os.path.join(REPO, "bench", "linear", "dgt_ltfat.py")]],
        intro=(
            "First table: `ReDGT` (the exported real Gabor transform) on 2^20 "
            "random samples with a periodic Hann window of L = 1024 samples, "
            "time step 256 and 1024 bins: 4096 frames in `Hc` layout per call. "
            "FFTW: the same coefficients done by hand in the same process "
            "(periodic extension, window and rotate each frame, "
            "`fftw_plan_dft_r2c_1d` planned once with `FFTW_MEASURE`, copy into "
            "`Hc`). LTFAT: `ltfatpy.dgtreal` with the same signal and the same "
            "window as a 1024-sample FIR window (rotated by L/2, LTFAT's "
            "centring). The other tables sweep the window length: `ReDGT`, "
            "`CxDGT`, `ReDGE` and `CxDGE` on n = 2^12, 2^14, ... 2^20 random samples "
            "(complex ones for the Cx calls), N = 2^ceil(log2(n)/2) bins and "
            "time step dM = N/4 (n/dM frames), with a Gaussian window "
            "exp(-(j - L/2)^2 / (2 s^2)) of L = N, 4N, 16N, n/4 and n samples, "
            "all L values passed to the call: s = L/14 for the three short "
            "lengths (about 2e-11 at the ends), s = sqrt(dM N / (2 pi)) (13 to "
            "204 samples) for the lengths above 16N. The expansions take the "
            "transform's coefficients of the same problem and write n samples. "
            "Their LTFAT counterparts are `dgtreal`, `dgt`, `idgtreal` and "
            "`idgt` on the same signals and lattice, with the same window "
            "rotated by -L/2 (LTFAT centres a window on index 0): as an "
            "L-sample FIR window for the short lengths, which LTFAT computes "
            "frame by frame, and zero-padded in the middle to a full-length "
            "window for n/4 and n, which LTFAT computes by its factorisation; "
            "the expansions get LTFAT's own coefficients, the same numbers up "
            "to the layout and a sign (-1)^b on bin b when L/N is odd. Each "
            "Varnel call is checked against the definition's sums at a few "
            "frames or samples before it is timed. LTFAT is timed by "
            "`bench/linear/dgt_ltfat.py` with `time.perf_counter`, best call "
            "of each repetition. The last tables time the two-dimensional "
            "transform and expansion of square random images with the same "
            "Gaussian windows of L = N, 4N and the image side in both "
            "dimensions and a time step of N/2; LTFAT's counterpart is "
            "`dgtreal` down the columns and `dgt` along the rows of its "
            "one-sided coefficients (half the rows `DGT2d` transforms, since "
            "it stores all N bins of the first dimension), and `idgt` then "
            "`idgtreal` back, the transposes between the passes included; "
            "Varnel's calls are checked against the definition's sums applied "
            "dimension by dimension. Times are those of the fastest repetition (a single "
            "repetition for the sweep's cases of 2^28 or more frame x window "
            "samples), in milliseconds per call; varnel / FFTW below 1 means "
            "Varnel is faster, LTFAT / varnel is Varnel's speed-up over LTFAT."),
        groups=[("dgt", "Real DGT, Hann window L = 1024, time step 256, 1024 bins, 2^20 samples")] + [
            ("%s-n%d" % (op, 1 << p),
             "%s, n = 2^%d, N = %d bins, time step %d, rows by window length L"
             % (title, p, 1 << (p + 1) // 2, 1 << ((p + 1) // 2 - 2)),
             [("varnel", "varnel ms"), ("ltfatpy", "LTFAT ms")],
             [("ltfatpy", "varnel", "LTFAT / varnel")])
            for p in (12, 14, 16, 18, 20)
            for op, title in (("redgt", "`ReDGT` against `dgtreal`"), ("cxdgt", "`CxDGT` against `dgt`"),
                              ("redge", "`ReDGE` against `idgtreal`"), ("cxdge", "`CxDGE` against `idgt`"))] + [
            ("%s-s%d" % (op, side),
             "%s, %d x %d image, N = %d bins, time step %d in both dimensions, rows by window length L"
             % (title, side, side, bins, bins // 2),
             [("varnel", "varnel ms"), ("ltfatpy", "LTFAT ms")],
             [("ltfatpy", "varnel", "LTFAT / varnel")])
            for side, bins in ((256, 16), (512, 32), (1024, 32))
            for op, title in (("dgt2d", "`DGT2d` against `dgtreal` down the columns, then `dgt` along the rows"),
                              ("dge2d", "`DGE2d` against `idgt` along the rows, then `idgtreal` down the columns"))],
        columns=[("varnel", "varnel ms"), ("fftw_measure", "FFTW_MEASURE ms"), ("ltfatpy", "LTFAT ms")],
        ratios=[("varnel", "fftw_measure", "varnel / FFTW"), ("ltfatpy", "varnel", "LTFAT / varnel")],
        unit="ms",
    ),
    Section(
        name="dual",
        title="Dual windows: Varnel against LTFAT",
        program=[sys.executable, os.path.join(REPO, "bench", "linear", "dual_ltfat.py")],
        intro=(
            "`FastDual` (the export, through ctypes) against `ltfatpy.gabdual` "
            "for Gaussian windows exp(-(j - L/2)^2 / (2 (L/8)^2)) of L samples, "
            "256 bins and a time step of 64 (512 and 128 at L = 2^18), by "
            "`bench/linear/dual_ltfat.py` with `time.perf_counter`, best call "
            "of each repetition. The periodic dual is LTFAT's canonical dual "
            "of the periodic frame, the same window up to a scale, which is "
            "checked before timing; Varnel computes it from Fourier transforms "
            "of the window's samples N apart when the time step divides the "
            "bin count, as here. The aperiodic dual, which LTFAT does not "
            "offer, takes one singular value decomposition per residue of the "
            "time step, work growing as L^3 / N^2. Times are those of the "
            "fastest repetition, in milliseconds per call; LTFAT / varnel is "
            "Varnel's speed-up over LTFAT."),
        groups=[("periodic", "Periodic dual, rows by window length L"),
                ("aperiodic", "Aperiodic dual, rows by window length L",
                 [("varnel", "varnel ms")], [])],
        columns=[("varnel", "varnel ms"), ("ltfatpy", "LTFAT ms")],
        ratios=[("ltfatpy", "varnel", "LTFAT / varnel")],
        unit="ms",
    ),
    Section(
        name="quadratic",
        title="Quadratic distributions: Varnel against numpy",
        program="bench/varnel_bench_quadratic",
        companions=[[sys.executable, os.path.join(REPO, "bench", "quadratic", "wvd_numpy.py")]],
        intro=(
            "`WVD` and `CWD` (the exports) on N random real samples with a time "
            "step of 8 (N/8 slices of nFreq/2 bins). numpy: the same definitions "
            "written with numpy and vectorised over slices and lags "
            "(`bench/quadratic/wvd_numpy.py`: FFT-based analytic signal and "
            "half-sample interpolation, the lag table by fancy indexing, one "
            "`numpy.fft.fft` over the lag axis; for the CWD the Doppler smoothing "
            "and folding per block of 64 lags), best call of each repetition. "
            "FFT floor: what the same call cannot avoid, with its Fourier "
            "transforms done by FFTW (`FFTW_MEASURE`) in the same process: the "
            "two transforms of nextPow2(N) points that make the analysed "
            "sequence (the half-sample grid, or the analytic signal), the N/8 "
            "lag transforms, for the CWD also the Doppler transforms of each "
            "lag, and one store of the N/8 x nFreq/2 output (`memset`): at "
            "N = 16384 and nFreq 1024 that output (8 MB) no longer fits the "
            "second-level cache, and the analytic WVD took a fifth to a third "
            "less time when its output went to a buffer in cache instead. The Gabor "
            "spectrogram `CxGaborSp` runs on random coefficients of a 256 x 64 "
            "lattice (time step 16, K1 = K2 = 2, all 128 bins), orders 0 to the "
            "size column. Both programs run with glibc's allocator told to keep "
            "freed memory (`MALLOC_MMAP_THRESHOLD_`, `MALLOC_TRIM_THRESHOLD_`), "
            "so that neither pays this virtual machine's page faults for memory "
            "that the previous call gave back (without it numpy's WVD measured "
            "up to 10x slower here). Times are those of the fastest repetition, in "
            "milliseconds per call; numpy / varnel is Varnel's speed-up over numpy."),
        groups=[
            ("wvdre512", "WVD, real mode, nFreq 512"),
            ("wvdre1024", "WVD, real mode, nFreq 1024"),
            ("wvdan512", "WVD, analytic mode, nFreq 512"),
            ("wvdan1024", "WVD, analytic mode, nFreq 1024"),
            ("cwd512", "CWD (sigma 0.05), real mode, nFreq 512"),
            ("cwd1024", "CWD (sigma 0.05), real mode, nFreq 1024"),
            ("gaborsp", "Gabor spectrogram, 256 x 64 lattice, by order"),
        ],
        # Both programs allocate megabytes per call. glibc would return such
        # blocks to the system at every free, and on a virtual machine the
        # page faults of the next call can cost more than the computation
        # (numpy's WVD measured up to 10x slower that way); kept in the heap,
        # each side is timed on its arithmetic.
        env={"MALLOC_MMAP_THRESHOLD_": "4294967296", "MALLOC_TRIM_THRESHOLD_": "4294967296"},
        columns=[("varnel", "varnel ms"), ("fftw_floor", "FFT floor ms"), ("numpy", "numpy ms")],
        ratios=[("varnel", "fftw_floor", "varnel / floor"), ("numpy", "varnel", "numpy / varnel")],
        unit="ms",
    ),
    Section(
        name="reassigned",
        title="Reassigned spectrogram: Varnel against the plain spectrogram and numpy",
        program="bench/varnel_bench_reassigned",
        companions=[[sys.executable, os.path.join(REPO, "bench", "adaptive", "reassigned_numpy.py")]],
        intro=(
            "`ReReassignedSTFTSp` and `CxReassignedSTFTSp` (the exports) on 2^20 "
            "random samples, real or complex, with a periodic Hann window of "
            "length L = K and a hop of K/4; one call is the whole signal. The "
            "plain spectrogram of the same grid (`ReSTFTsp`, `CxSTFTsp`) is the "
            "yardstick: a reassigned frame needs three windowed FFTs and a pass "
            "that moves every cell's energy, against one FFT and a squaring. "
            "numpy: the same reassignment written with numpy "
            "(`bench/adaptive/reassigned_numpy.py`: frames as a strided view, "
            "`numpy.fft.rfft`/`fft` of the three windowed frame stacks, offsets "
            "as array expressions, `numpy.add.at` into the output; the same "
            "definition, so the outputs compare value for value), best call of "
            "each repetition. "
            "Both programs run with glibc's allocator told to keep freed memory, "
            "as in the quadratic section, so that numpy's large temporaries do "
            "not pay this virtual machine's page faults on every call. Times are "
            "those of the fastest repetition, in milliseconds per call; reassigned / "
            "STFTsp is the cost of reassignment in plain spectrograms, numpy / "
            "varnel is Varnel's speed-up over numpy."),
        groups=[
            ("rsp", "Real signal, Hann window L = K, hop K/4, 2^20 samples, by K"),
            ("crsp", "Complex signal, Hann window L = K, hop K/4, 2^20 samples, by K"),
        ],
        env={"MALLOC_MMAP_THRESHOLD_": "4294967296", "MALLOC_TRIM_THRESHOLD_": "4294967296"},
        columns=[("varnel", "reassigned ms"), ("stftsp", "STFTsp ms"), ("numpy", "numpy ms")],
        ratios=[("varnel", "stftsp", "reassigned / STFTsp"), ("numpy", "varnel", "numpy / varnel")],
        unit="ms",
    ),
    Section(
        name="adaptive_transform",
        title="Adaptive transform: cost per term",
        program="bench/varnel_bench_adaptive_transform",
        intro=(
            "`ReAdaptiveTransform` (the export) with a longest window of 512 "
            "samples, default refinement and rescan range. Per term: 41 "
            "well-separated real chirplets spread over N samples; the time of "
            "a 41-term decomposition less that of a 1-term one, over 40, so "
            "the first full scan of the signal is not counted; it should "
            "follow the terms' supports and the rescanned frames, not N. "
            "Decomposition: the same chirplets plus white noise of amplitude "
            "0.05, 100 terms (the noise keeps the pursuit going after the "
            "chirplets), per call. Adaptive spectrogram: the work `ReAdaptiveSp` "
            "does per term (painting its ellipse), averaged over 41 terms lying "
            "in the first 100 x 100 cells of a grid (time step 4, 200 bins) of "
            "10^4 or 10^7 cells: a term costs the cells of its ellipse, whatever "
            "the grid (the call also clears and scales the whole grid once). "
            "Times are those of the fastest repetition, in microseconds."),
        groups=[
            ("term", "Time of one more term, by signal length"),
            ("decomposition", "100-term decomposition"),
            ("sp", "Adaptive spectrogram, time of one more term, by grid cells"),
        ],
        columns=[("varnel", "varnel us")],
        ratios=[],
        unit="us",
    ),
]

UNIT_NS = {"ns": 1.0, "us": 1e3, "ms": 1e6}


# ---------------------------------------------------------------- machine

def run_text(cmd):
    try:
        return subprocess.run(cmd, capture_output=True, text=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError):
        return ""


def machine_description():
    fields = {}
    for line in run_text(["lscpu"]).splitlines():
        key, _, value = line.partition(":")
        fields[key.strip()] = value.strip()
    model = fields.get("Model name") or platform.processor() or platform.machine()
    logical = fields.get("CPU(s)") or str(os.cpu_count())
    try:
        cores = int(fields["Core(s) per socket"]) * int(fields.get("Socket(s)", "1"))
        count = "%s cores, %s logical CPUs" % (cores, logical)
    except (KeyError, ValueError):
        count = "%s logical CPUs" % logical
    os_name = platform.system()
    try:
        with open("/etc/os-release", encoding="utf-8") as f:
            for line in f:
                if line.startswith("PRETTY_NAME="):
                    os_name = line.split("=", 1)[1].strip().strip('"')
    except OSError:
        pass
    return "%s (%s)" % (model, count), os_name


def cmake_cache(build_dir):
    values = {}
    try:
        with open(os.path.join(build_dir, "CMakeCache.txt"), encoding="utf-8") as f:
            for line in f:
                m = re.match(r"^([A-Za-z_0-9]+):[A-Z]+=(.*)$", line.rstrip("\n"))
                if m:
                    values[m.group(1)] = m.group(2)
    except OSError:
        pass
    return values


def compiler_description(build_dir, context):
    if context.get("compiler"):
        return context["compiler"]
    # A program that does not say (a Python one): the build's compiler, in
    # the form the C++ programs give.
    compiler = cmake_cache(build_dir).get("CMAKE_CXX_COMPILER", "c++")
    first = run_text([compiler, "--version"]).splitlines()
    version = (run_text([compiler, "-dumpfullversion"]) or run_text([compiler, "-dumpversion"])).strip()
    if not first or not version:
        return compiler
    return "%s %s" % ("clang" if "clang" in first[0] else "gcc", version)


# ---------------------------------------------------------------- running

def run_program(cmd, min_time, repetitions, json_path, name_filter, env=None):
    if not os.path.exists(cmd[0]):
        sys.exit("report.py: %s not found; build with -DVARNEL_BUILD_BENCHMARKS=ON" % cmd[0])
    cmd += [
        "--benchmark_out=%s" % json_path,
        "--benchmark_out_format=json",
        "--benchmark_format=console",
        "--benchmark_min_time=%g" % min_time,
        "--benchmark_repetitions=%d" % repetitions,
        # Every repetition goes to the JSON, where the fastest is taken;
        # the console shows only the aggregates.
        "--benchmark_report_aggregates_only=false",
        "--benchmark_display_aggregates_only=%s" % ("true" if repetitions > 1 else "false"),
    ]
    if name_filter:
        cmd.append("--benchmark_filter=%s" % name_filter)
    shown = " ".join("%s=%s" % item for item in sorted((env or {}).items()))
    print("$ " + (shown + " " if shown else "") + " ".join(cmd), flush=True)
    return subprocess.run(cmd, env=dict(os.environ, **(env or {}))).returncode


def load_results(json_path):
    with open(json_path, encoding="utf-8") as f:
        return json.load(f)


def merge_results(parts):
    """One result set from several programs' JSON: benchmarks joined, the
    first program's context kept and the others' keys added."""
    data = {"context": {}, "benchmarks": []}
    for part in parts:
        for key, value in part.get("context", {}).items():
            data["context"].setdefault(key, value)
        data["benchmarks"] += part.get("benchmarks", [])
    return data


def to_ns(value, unit):
    return value * {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[unit]


def collect(data):
    """{(group, impl, size): ns or error text}, plus the order sizes appeared in.

    The time of a benchmark is its fastest repetition: on a shared machine
    the others differ from it by what other work took, which moved medians
    by a fifth from run to run on the virtual machine of these tables."""
    fastest, errors, order = {}, {}, []
    for b in data.get("benchmarks", []):
        name = b.get("run_name") or b["name"]
        m = re.match(r"^([^/]+)/([^/]+)/(\d+)", name)
        if not m:
            continue
        key = (m.group(1), m.group(2), int(m.group(3)))
        if key[2] not in order:
            order.append(key[2])
        if b.get("error_occurred"):
            errors[key] = b.get("error_message", "error")
            continue
        if b.get("run_type") == "aggregate":
            continue
        ns = to_ns(b["real_time"], b.get("time_unit", "ns"))
        fastest[key] = min(ns, fastest.get(key, ns))
    results = dict(errors)
    for key, ns in fastest.items():
        if key not in errors:
            results[key] = ns
    return results, sorted(order)


# ---------------------------------------------------------------- markdown

def format_time(value):
    """Whole units from 100 on, else three significant digits."""
    if value >= 100:
        return "{:,.0f}".format(value)
    if value >= 10:
        return "{:.1f}".format(value)
    if value >= 1:
        return "{:.2f}".format(value)
    return "{:#.3g}".format(value)


def section_markdown(section, data, build_dir, stamp):
    results, sizes = collect(data)
    context = data.get("context", {})
    lines = ["## " + section.title, "", section.intro, ""]
    # Sections are rerun one at a time, sometimes on another machine than
    # the rest, so each names its own.
    details = ["measured %s on %s" % (stamp, machine_description()[0]),
               "compiler: %s" % compiler_description(build_dir, context)]
    if context.get("varnel_build_type"):
        details.append("build: %s" % context["varnel_build_type"])
    if context.get("fftw_version"):
        details.append(context["fftw_version"])
    if context.get("scipy_version"):
        details.append("scipy %s, numpy %s" % (context["scipy_version"], context.get("numpy_version", "?")))
    if context.get("ltfatpy_version"):
        details.append("ltfatpy %s" % context["ltfatpy_version"])
    lines += ["_" + "; ".join(details) + "._", ""]
    for entry in section.groups:
        group, heading = entry[:2]
        columns, ratios = entry[2:] if len(entry) > 2 else (section.columns, section.ratios)

        def value(ref, size):
            source, impl = ref if isinstance(ref, tuple) else (group, ref)
            return results.get((source, impl, size))

        rows = [s for s in sizes if any((group, impl, s) in results for impl, _ in columns if isinstance(impl, str))]
        if not rows:
            continue
        header = ["size"] + [h for _, h in columns] + [h for _, _, h in ratios]
        lines += ["### " + heading, "",
                  "| " + " | ".join(header) + " |",
                  "|" + "|".join("---:" for _ in header) + "|"]
        for size in rows:
            cells = [str(size)]
            for impl, _ in columns:
                v = value(impl, size)
                if v is None:
                    cells.append("")
                elif isinstance(v, str):
                    cells.append("error: " + v.replace("|", "/"))
                else:
                    cells.append(format_time(v / UNIT_NS[section.unit]))
            for num, den, _ in ratios:
                a, b = value(num, size), value(den, size)
                ok = isinstance(a, float) and isinstance(b, float) and b > 0
                cells.append("{:.2f}".format(a / b) if ok else "")
            lines.append("| " + " | ".join(cells) + " |")
        lines.append("")
    return "\n".join(lines).rstrip("\n")


def machine_markdown(build_dir, contexts, stamp):
    cpu, os_name = machine_description()
    compiler = compiler_description(build_dir, contexts[0] if contexts else {})
    cache = cmake_cache(build_dir)
    build_type = cache.get("CMAKE_BUILD_TYPE") or "unspecified"
    flags = " ".join(x for x in (cache.get("CMAKE_CXX_FLAGS", ""),
                                 cache.get("CMAKE_CXX_FLAGS_" + build_type.upper(), "")) if x)
    return "\n".join([
        "| | |",
        "|---|---|",
        "| Machine | %s |" % cpu,
        "| System | %s |" % os_name,
        "| Compiler | %s |" % compiler,
        "| Build | %s (`%s`), no `-march` flags |" % (build_type, flags or "default flags"),
        "| Last run | %s |" % stamp,
    ])


def replace_block(text, name, body):
    begin, end = "<!-- %s:begin -->" % name, "<!-- %s:end -->" % name
    block = "%s\n%s\n%s" % (begin, body, end)
    pattern = re.compile(re.escape(begin) + r".*?" + re.escape(end), re.S)
    if pattern.search(text):
        return pattern.sub(lambda _: block, text, count=1)
    if name == "machine":  # right under the title
        head, sep, rest = text.partition("\n\n")
        return head + "\n\n" + block + "\n\n" + rest if sep else text.rstrip("\n") + "\n\n" + block + "\n"
    return text.rstrip("\n") + "\n\n" + block + "\n"


NEW_FILE = """# Benchmarks

Varnel's transforms timed against reference libraries on one machine.
Regenerate with `bash scripts/bench.sh` (or `python3 bench/report.py
--build-dir build/bench` on an existing benchmark build); each run rewrites
the sections it measured and the machine block below.
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", default=os.path.join(REPO, "build", "bench"))
    parser.add_argument("--output", default=os.path.join(REPO, "docs", "benchmarks.md"))
    parser.add_argument("--section", action="append", choices=[s.name for s in SECTIONS],
                        help="run only this section (repeatable); default: all")
    parser.add_argument("--min-time", type=float, default=0.1,
                        help="seconds per benchmark repetition (default 0.1)")
    parser.add_argument("--repetitions", type=int, default=3,
                        help="repetitions per benchmark; the fastest is reported (default 3)")
    parser.add_argument("--quick", action="store_true",
                        help="one short repetition per benchmark, for trying the script out")
    parser.add_argument("--filter", metavar="REGEX",
                        help="run only the benchmarks whose names match (Google Benchmark filter)")
    parser.add_argument("--from-json", action="append", default=[], metavar="NAME=FILE",
                        help="use saved Google Benchmark JSON for a section instead of running")
    args = parser.parse_args()
    if args.quick:
        args.min_time, args.repetitions = 0.01, 1

    saved = {}
    for item in args.from_json:
        name, _, path = item.partition("=")
        saved.setdefault(name, []).append(path)
    chosen = [s for s in SECTIONS if (args.section is None and not saved) or
              (args.section and s.name in args.section) or s.name in saved]
    stamp = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")

    failed = False
    rendered, contexts = {}, []
    for section in chosen:
        runs = []  # (json path, exit status)
        if section.name in saved:
            runs = [(path, 0) for path in saved[section.name]]
        else:
            out_dir = os.path.join(args.build_dir, "bench")
            os.makedirs(out_dir, exist_ok=True)
            for index, cmd in enumerate(section.commands(args.build_dir)):
                json_path = os.path.join(out_dir, "%s%s.json" % (section.name, "-%d" % index if index else ""))
                # A Python program that loads the package gets the library
                # of the build being measured, unless the caller names one.
                env = dict(section.env)
                if "VARNEL_LIBRARY" not in os.environ:
                    env["VARNEL_LIBRARY"] = os.path.abspath(os.path.join(args.build_dir, "src", "libvarnel.so"))
                runs.append((json_path, run_program(cmd, args.min_time, args.repetitions, json_path,
                                                    args.filter, env)))
        parts = []
        for json_path, rc in runs:
            try:
                parts.append(load_results(json_path))
            except (OSError, ValueError) as e:
                print("report.py: no results from %s for section %s: %s" % (json_path, section.name, e),
                      file=sys.stderr)
                failed = True
                continue
            if rc != 0:
                print("report.py: %s (section %s) exited with %d; its errors are in the table"
                      % (json_path, section.name, rc), file=sys.stderr)
                failed = True
        if not parts:
            continue
        data = merge_results(parts)
        broken = [b.get("name", "?") for b in data.get("benchmarks", []) if b.get("error_occurred")]
        if broken:
            print("report.py: failed benchmarks: " + ", ".join(broken), file=sys.stderr)
            failed = True
        contexts.append(data.get("context", {}))
        rendered[section.name] = section_markdown(section, data, args.build_dir, stamp)

    if rendered:
        try:
            with open(args.output, encoding="utf-8") as f:
                text = f.read()
        except FileNotFoundError:
            text = NEW_FILE
        text = replace_block(text, "machine", machine_markdown(args.build_dir, contexts, stamp))
        for name, body in rendered.items():
            text = replace_block(text, name, body)
        os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
        with open(args.output, "w", encoding="utf-8") as f:
            f.write(text if text.endswith("\n") else text + "\n")
        print("report.py: wrote %s (%s)" % (args.output, ", ".join(rendered)))
    return 1 if failed or not rendered else 0


if __name__ == "__main__":
    sys.exit(main())
