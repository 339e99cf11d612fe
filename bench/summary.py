#!/usr/bin/env python3
"""The figures the program is held to, from one run of bench_program.

    bench/summary.py BENCH_PROGRAM_JSON

Reads Google Benchmark's JSON output (with repetitions, so medians exist) and
prints the medians that matter and their ratios: the whole day's extra export
time against reading its files once with `cat | wc -l`, a repaint of the
whole day against the sample's, files read per repaint, and peak memory.
Standard library only.
"""
import json
import sys


def medians(path):
    with open(path) as f:
        runs = json.load(f)["benchmarks"]
    out = {}
    for run in runs:
        if run.get("aggregate_name") == "median":
            out[run["run_name"]] = run
    return out


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    m = medians(sys.argv[1])

    def ms(name):
        run = m.get(name)
        if run is None:
            sys.exit(f"summary: no median of {name} in {sys.argv[1]}")
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[run["time_unit"]]
        return run["real_time"] * scale

    print("== medians (ms)")
    for name in ("BM_FirstPaint/sample", "BM_FirstPaint/whole_day", "BM_Repaint/sample", "BM_Repaint/whole_day",
                 "BM_Export/sample", "BM_Export/whole_day", "BM_ExportProcess/sample/real_time",
                 "BM_ExportProcess/whole_day/real_time", "BM_CatWcWholeDay/real_time"):
        print(f"  {name:38s} {ms(name):9.2f}")
    extra = ms("BM_ExportProcess/whole_day/real_time") - ms("BM_ExportProcess/sample/real_time")
    floor = ms("BM_CatWcWholeDay/real_time")
    repaint = ms("BM_Repaint/whole_day") / ms("BM_Repaint/sample")
    print("== ratios")
    print(f"  whole-day export minus sample export / (cat | wc -l): {extra / floor:5.2f}   (at most 2)")
    print(f"  repaint, whole day / sample:                          {repaint:5.2f}   (at most 1.2)")
    for name in ("BM_Repaint/sample", "BM_Repaint/whole_day"):
        print(f"  files read per repaint, {name.split('/')[1]:9s}:                   {m[name].get('files_read', 0):5.2f}")
    for name in ("BM_ExportProcess/sample/real_time", "BM_ExportProcess/whole_day/real_time"):
        peak = m[name].get("peak_rss_MiB")
        if peak is not None:
            print(f"  peak memory of --export, {name.split('/')[1]:9s}:                {peak:5.1f} MiB")


if __name__ == "__main__":
    main()
