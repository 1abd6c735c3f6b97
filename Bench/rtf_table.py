#!/usr/bin/env python3
"""Cost table of the plug-in: real-time factor per sample rate, oversampling
factor and limiter mode, the resident memory one instance adds, and instance
start time.

Each cell renders the demo programme (stereo, music-like: kick, bass, noise
bursts, partials) at a rate through the plug-in bundle with tamblor-render,
+6 dB in, Out Gain -1 dB, 10 ms release, 512-frame blocks. RTF is seconds of
audio per CPU second spent inside the plug-in's process calls (the tool's own
"rtf"); "RSS" is the peak resident set of the whole render process (the tool
holds the input and the output too: about 2 x 8 bytes per stereo frame).
"inst MB" comes from BM_PluginResident in tamblor_bench: the resident memory
one more instance adds once it has run a second of programme at that rate,
factor and mode. The start rows come from BM_PluginStart (creation through
the factory to the first processed block, wall and CPU time).

Several builds can be compared in one run: each --variant LABEL=DIR names a
build tree (or a directory holding Tamblor.vst3 and tamblor_bench); the cells
are measured interleaved, variant after variant, so that the load of a shared
machine falls on all of them alike. The median of --repeat runs is printed.

    Bench/rtf_table.py                                  # the build tree ./build
    Bench/rtf_table.py --variant before=/tmp/old --variant after=build
"""

import argparse
import json
import os
import statistics
import subprocess
import sys

FACTORS = ["1X", "4X", "8X"]
RATES = [44100, 192000]
MODES = ["TB-1", "AIGC-4"]
OUTPUT = f"/tmp/rtf_table-{os.getpid()}.wav"  # the render's output, removed at the end


def find(base, candidates):
    for c in candidates:
        p = os.path.join(base, c)
        if os.path.exists(p):
            return p
    return None


def run_child(argv):
    """Runs argv; returns (stdout, peak RSS in MB)."""
    proc = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    out = proc.stdout.read()
    _, status, usage = os.wait4(proc.pid, 0)
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.exit(f"rtf_table: {' '.join(argv)} failed ({proc.returncode})")
    return out, usage.ru_maxrss / 1024.0


def render(tool, bundle, factor, mode, seconds, rate):
    argv = [tool, "--plugin", bundle, "--demo", "--json", "--rate", str(rate),
            "--demo-seconds", str(seconds), "--set", f"Mode={mode}", "--set", f"Oversmp={factor}",
            "--set", "InGain=6", "--set", "OutGain=-1", "--set", "Release=10",
            "-o", OUTPUT]
    out, rss = run_child(argv)
    report = json.loads(out)
    return report["rtf"], rss


def bench_rows(bench, name):
    out, _ = run_child([bench, f"--benchmark_filter={name}", "--benchmark_format=json"])
    return json.loads(out)["benchmarks"]


def start(bench):
    """{rate: (wall ms, CPU ms)} from BM_PluginStart/RATE."""
    return {int(b["name"].split("/")[1]): (b["real_time"], b["cpu_time"])
            for b in bench_rows(bench, "BM_PluginStart/")}


def resident(bench):
    """{(rate, factor, mode): MB} from BM_PluginResident/RATE/FACTOR/MODE."""
    rows = {}
    for b in bench_rows(bench, "BM_PluginResident/"):
        _, rate, factor, mode = b["name"].split("/")[:4]
        rows[(int(rate), f"{factor}X", MODES[int(mode)])] = b.get("resident_MB", 0.0)
    return rows


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--variant", action="append", default=[], help="LABEL=DIR (default: now=build)")
    ap.add_argument("--seconds", type=float, default=60.0, help="length of the programme (default 60)")
    ap.add_argument("--rates", default=",".join(map(str, RATES)))
    ap.add_argument("--repeat", type=int, default=1, help="runs per cell; the median is printed")
    ap.add_argument("--factors", default=",".join(FACTORS))
    ap.add_argument("--modes", default=",".join(MODES))
    ap.add_argument("--no-start", action="store_true", help="skip the instance start and memory figures")
    args = ap.parse_args()

    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    variants = []
    for v in args.variant or ["now=" + os.path.join(root, "build")]:
        label, _, d = v.partition("=")
        bundle = find(d, ["Tamblor.vst3"])
        if not bundle:
            sys.exit(f"rtf_table: no Tamblor.vst3 in {d}")
        variants.append((label, bundle, find(d, ["Bench/tamblor_bench", "tamblor_bench"])))
    tool = find(os.path.join(root, "build"), ["Tools/Render/tamblor-render", "tamblor-render"])
    if not tool:
        sys.exit("rtf_table: build tamblor-render first (cmake --build build)")

    factors, modes = args.factors.split(","), args.modes.split(",")
    rates = [int(r) for r in args.rates.split(",")]
    cells, starts, mems = {}, {}, {}
    for _ in range(args.repeat):
        for rate in rates:
            for factor in factors:
                for mode in modes:
                    for label, bundle, _ in variants:
                        cells.setdefault((label, rate, factor, mode), []).append(
                            render(tool, bundle, factor, mode, args.seconds, rate))
        if not args.no_start:
            for label, _, bench in variants:
                if bench:
                    for rate, v in start(bench).items():
                        starts.setdefault((label, rate), []).append(v)
                    for key, mb in resident(bench).items():
                        mems.setdefault((label,) + key, []).append(mb)

    def med(values, i=None):
        return statistics.median(v[i] if i is not None else v for v in values)

    print(f"stereo, {args.seconds:g} s demo programme, median of {args.repeat}")
    print("| rate | factor | mode | " + " | ".join(f"{l} RTF | {l} RSS MB | {l} inst MB" for l, _, _ in variants) + " |")
    print("|---|---|---|" + "---:|---:|---:|" * len(variants))
    for rate in rates:
        for factor in factors:
            for mode in modes:
                row = []
                for l, _, _ in variants:
                    c = cells[(l, rate, factor, mode)]
                    m = mems.get((l, rate, factor, mode))
                    row.append(f"{med(c, 0):.1f} | {med(c, 1):.0f} | " + (f"{med(m):.1f}" if m else "-"))
                print(f"| {rate} | {factor} | {mode} | " + " | ".join(row) + " |")
    if not args.no_start:
        for rate in rates:
            row = []
            for label, _, _ in variants:
                key = (label, rate)
                row.append(f"{med(starts[key], 0):.1f} ms ({med(starts[key], 1):.1f} CPU) | | " if key in starts else "- | | ")
            print(f"| {rate} | start | default | " + " | ".join(r.rstrip() for r in row) + " |")
        print("(inst MB: the resident memory one more instance adds after a second of programme;"
              " start: creation to the first block, wall and CPU ms)")
    if os.path.exists(OUTPUT):
        os.remove(OUTPUT)


if __name__ == "__main__":
    main()
