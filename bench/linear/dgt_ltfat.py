#!/usr/bin/python3
"""Time LTFAT's dgtreal (ltfatpy) on the problem of bench_dgt.cpp.

Same signal (the xorshift64 sequence of bench_dgt.cpp, 2^20 samples), the
same periodic Hann window of 1024 samples given to LTFAT as a FIR window,
time step 256, 1024 channels. LTFAT takes a FIR window with its centre at
index 0, so Varnel's window (centre at L/2) is passed rotated by L/2. One
call is the whole signal. Each repetition times --inner calls one by one
with time.perf_counter and keeps the best; the report takes the median of
the repetitions.

The program accepts the Google Benchmark flags that bench/report.py passes
(--benchmark_out, --benchmark_min_time, --benchmark_repetitions,
--benchmark_filter, ...) and writes the same JSON, with benchmarks named
dgt/ltfatpy/<n>, so that report.py merges it into the dgt section.
"""
import argparse
import json
import re
import statistics
import sys
import time

import numpy as np
import ltfatpy

MASK = (1 << 64) - 1
WINDOW_LENGTH, TIME_STEP, BINS = 1024, 256, 1024


def xorshift_signal(count, seed):
    """bench_dgt.cpp's fillSignal: values in [-1, 1)."""
    s = 0x9E3779B97F4A7C15 ^ ((seed * 0xBF58476D1CE4E5B9) & MASK)
    out = np.empty(count)
    for i in range(count):
        s ^= (s << 13) & MASK
        s ^= s >> 7
        s ^= (s << 17) & MASK
        out[i] = (s >> 11) * 2.0 ** -52 - 1.0
    return out


def ltfat_window():
    j = np.arange(WINDOW_LENGTH)
    hann = 0.5 - 0.5 * np.cos(2.0 * np.pi * j / WINDOW_LENGTH)
    return np.roll(hann, -(WINDOW_LENGTH // 2))


def transform(x, g):
    return ltfatpy.dgtreal(x, g, TIME_STEP, BINS)[0]


def time_repetition(x, g, min_time, inner):
    """Best single-call time of one repetition, after calls worth min_time."""
    best = float("inf")
    calls = 0
    start = time.perf_counter()
    while calls < inner or time.perf_counter() - start < min_time:
        t0 = time.perf_counter()
        transform(x, g)
        best = min(best, time.perf_counter() - t0)
        calls += 1
    return best, calls


def parse_bool(text):
    return text.lower() in ("1", "true", "yes")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--benchmark_out")
    parser.add_argument("--benchmark_out_format", default="json")
    parser.add_argument("--benchmark_format", default="console")
    parser.add_argument("--benchmark_min_time", type=lambda s: float(s.rstrip("s")), default=0.1)
    parser.add_argument("--benchmark_repetitions", type=int, default=3)
    parser.add_argument("--benchmark_report_aggregates_only", type=parse_bool, default=False)
    parser.add_argument("--benchmark_filter", default="")
    parser.add_argument("--inner", type=int, default=3, help="timed calls per repetition at least")
    parser.add_argument("--smoke", action="store_true", help="a small signal, one call")
    args = parser.parse_args()

    n = (1 << 14) if args.smoke else (1 << 20)
    repetitions = 1 if args.smoke else max(1, args.benchmark_repetitions)
    name = "dgt/ltfatpy/%d" % n
    benchmarks = []
    if not args.benchmark_filter or re.search(args.benchmark_filter, name):
        x, g = xorshift_signal(n, 5), ltfat_window()
        transform(x, g)  # warm-up: imports, FFTW plans
        times = []
        for rep in range(repetitions):
            best, calls = time_repetition(x, g, 0.0 if args.smoke else args.benchmark_min_time,
                                          1 if args.smoke else args.inner)
            times.append(best)
            if not (args.benchmark_report_aggregates_only and repetitions > 1):
                benchmarks.append({"name": name, "run_name": name, "run_type": "iteration",
                                   "repetitions": repetitions, "repetition_index": rep,
                                   "iterations": calls, "real_time": best * 1e6, "cpu_time": best * 1e6,
                                   "time_unit": "us"})
        median = statistics.median(times)
        if repetitions > 1:
            for aggregate, value in (("mean", statistics.mean(times)), ("median", median),
                                     ("min", min(times))):
                benchmarks.append({"name": "%s_%s" % (name, aggregate), "run_name": name,
                                   "run_type": "aggregate", "aggregate_name": aggregate,
                                   "repetitions": repetitions, "real_time": value * 1e6,
                                   "cpu_time": value * 1e6, "time_unit": "us"})
        print("%-24s %12.1f us (median of %d, best call each)" % (name, median * 1e6, repetitions),
              flush=True)

    data = {
        "context": {"ltfatpy_version": getattr(ltfatpy, "__version__", "?"), "numpy_version": np.__version__,
                    "python_version": sys.version.split()[0]},
        "benchmarks": benchmarks,
    }
    if args.benchmark_out:
        with open(args.benchmark_out, "w", encoding="utf-8") as f:
            json.dump(data, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
