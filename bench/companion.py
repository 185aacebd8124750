"""Shared frame of the Python benchmark companions in bench/<area>/.

A companion times a Python library (scipy, LTFAT, numpy) on the problems of
a Google Benchmark program and reports in that program's JSON format, so
that bench/report.py merges both into one table. It accepts the
--benchmark_* flags that report.py passes. Each repetition times --inner
calls one by one with time.perf_counter and keeps the best; the report takes
the fastest repetition.

A companion script builds a list of Case objects and calls run(); nothing
else is needed.
"""
import argparse
import json
import re
import statistics
import sys
import time

import numpy as np

MASK = (1 << 64) - 1


def xorshift_signal(count, seed):
    """The C++ benchmarks' fillSignal (xorshift64): values in [-1, 1)."""
    s = 0x9E3779B97F4A7C15 ^ ((seed * 0xBF58476D1CE4E5B9) & MASK)
    out = np.empty(count)
    for i in range(count):
        s ^= (s << 13) & MASK
        s ^= s >> 7
        s ^= (s << 17) & MASK
        out[i] = (s >> 11) * 2.0 ** -52 - 1.0
    return out


class Case:
    """One benchmark: its report name and a zero-argument call to time.

    prepare, if given, runs once before the case is timed and returns the
    call; that keeps large inputs of cases that the filter skips from being
    built at all.
    """

    def __init__(self, name, call=None, prepare=None):
        self.name = name
        self.call = call
        self.prepare = prepare

    def resolve(self):
        return self.prepare() if self.prepare else self.call


def parse_arguments(description, smoke_help):
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--benchmark_out")
    parser.add_argument("--benchmark_out_format", default="json")
    parser.add_argument("--benchmark_format", default="console")
    parser.add_argument("--benchmark_min_time", type=lambda s: float(s.rstrip("s")), default=0.1)
    parser.add_argument("--benchmark_repetitions", type=int, default=3)
    parser.add_argument("--benchmark_report_aggregates_only", type=_parse_bool, default=False)
    parser.add_argument("--benchmark_display_aggregates_only", type=_parse_bool, default=False)
    parser.add_argument("--benchmark_filter", default="")
    parser.add_argument("--inner", type=int, default=3, help="timed calls per repetition at least")
    parser.add_argument("--smoke", action="store_true", help=smoke_help)
    return parser.parse_args()


def _parse_bool(text):
    return text.lower() in ("1", "true", "yes")


def _best_call(call, min_time, inner):
    """Best single-call time of one repetition, after calls worth min_time."""
    best = float("inf")
    calls = 0
    start = time.perf_counter()
    while calls < inner or time.perf_counter() - start < min_time:
        t0 = time.perf_counter()
        call()
        best = min(best, time.perf_counter() - t0)
        calls += 1
    return best, calls


def _entries(name, times, calls, args, repetitions):
    out = []
    if not (args.benchmark_report_aggregates_only and repetitions > 1):
        for rep, (best, count) in enumerate(zip(times, calls)):
            out.append({"name": name, "run_name": name, "run_type": "iteration",
                        "repetitions": repetitions, "repetition_index": rep,
                        "iterations": count, "real_time": best * 1e6, "cpu_time": best * 1e6,
                        "time_unit": "us"})
    if repetitions > 1:
        for aggregate, value in (("mean", statistics.mean(times)), ("median", statistics.median(times)),
                                 ("min", min(times))):
            out.append({"name": "%s_%s" % (name, aggregate), "run_name": name,
                        "run_type": "aggregate", "aggregate_name": aggregate,
                        "repetitions": repetitions, "real_time": value * 1e6,
                        "cpu_time": value * 1e6, "time_unit": "us"})
    return out


def run(cases, context, args):
    """Times the cases that pass the filter and writes the JSON report."""
    repetitions = 1 if args.smoke else max(1, args.benchmark_repetitions)
    min_time = 0.0 if args.smoke else args.benchmark_min_time
    inner = 1 if args.smoke else args.inner
    benchmarks = []
    for case in cases:
        if args.benchmark_filter and not re.search(args.benchmark_filter, case.name):
            continue
        call = case.resolve()
        call()  # warm-up: imports, plan caches, first-touch of the buffers
        times, counts = [], []
        for _ in range(repetitions):
            best, count = _best_call(call, min_time, inner)
            times.append(best)
            counts.append(count)
        benchmarks += _entries(case.name, times, counts, args, repetitions)
        print("%-32s %12.1f us (best call of %d repetitions)"
              % (case.name, min(times) * 1e6, repetitions), flush=True)
    data = {"context": dict(context, numpy_version=np.__version__,
                            python_version=sys.version.split()[0]),
            "benchmarks": benchmarks}
    if args.benchmark_out:
        with open(args.benchmark_out, "w", encoding="utf-8") as f:
            json.dump(data, f, indent=1)
    return 0
