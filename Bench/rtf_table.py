#!/usr/bin/env python3
"""Cost table of the plug-in: real-time factor per oversampling factor and
limiter mode, peak resident memory of each render, and instance start time.

Each cell renders the demo programme (stereo, 44.1 kHz, music-like: kick,
bass, noise bursts, partials) through the plug-in bundle with tamblor-render,
+6 dB in, Out Gain -1 dB, 10 ms release, 512-frame blocks. RTF is seconds of
audio per CPU second spent inside the plug-in's process calls (the tool's own
"rtf"); "RSS" is the peak resident set of the whole render process (the tool
holds the input and the output too: about 2 x 8 bytes per stereo frame). The
start row comes from BM_PluginStart44k in tamblor_bench (creation through the
factory to the first processed block, and the memory that instance adds).

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

FACTORS = ["1X", "2X", "4X", "8X"]
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


def start(bench):
    out, _ = run_child([bench, "--benchmark_filter=BM_PluginStart44k", "--benchmark_format=json"])
    b = json.loads(out)["benchmarks"][0]
    return b["real_time"], b.get("resident_MB", 0.0), b["cpu_time"]


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--variant", action="append", default=[], help="LABEL=DIR (default: now=build)")
    ap.add_argument("--seconds", type=float, default=60.0, help="length of the programme (default 60)")
    ap.add_argument("--rate", type=int, default=44100)
    ap.add_argument("--repeat", type=int, default=1, help="runs per cell; the median is printed")
    ap.add_argument("--factors", default=",".join(FACTORS))
    ap.add_argument("--modes", default=",".join(MODES))
    ap.add_argument("--no-start", action="store_true", help="skip the instance start row")
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
    cells = {}
    for _ in range(args.repeat):
        for factor in factors:
            for mode in modes:
                for label, bundle, _ in variants:
                    cells.setdefault((label, factor, mode), []).append(render(tool, bundle, factor, mode,
                                                                             args.seconds, args.rate))
        if not args.no_start:
            for label, _, bench in variants:
                if bench:
                    cells.setdefault((label, "start", ""), []).append(start(bench))

    def med(key, i):
        return statistics.median(c[i] for c in cells[key])

    print(f"stereo {args.rate} Hz, {args.seconds:g} s demo programme, median of {args.repeat}")
    print("| factor | mode | " + " | ".join(f"{l} RTF | {l} RSS MB" for l, _, _ in variants) + " |")
    print("|---|---|" + "---:|---:|" * len(variants))
    for factor in factors:
        for mode in modes:
            row = [f"{med((l, factor, mode), 0):.1f} | {med((l, factor, mode), 1):.0f}" for l, _, _ in variants]
            print(f"| {factor} | {mode} | " + " | ".join(row) + " |")
    if not args.no_start:
        row = []
        for label, _, bench in variants:
            key = (label, "start", "")
            row.append(f"{med(key, 0):.0f} ms ({med(key, 2):.0f} CPU) | +{med(key, 1):.0f}" if key in cells else "- | -")
        print("| start | default | " + " | ".join(row) + " |")
    print("(start row: instance creation to the first block, wall and CPU ms, and the resident MB it adds)")
    if os.path.exists(OUTPUT):
        os.remove(OUTPUT)


if __name__ == "__main__":
    main()
