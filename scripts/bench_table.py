#!/usr/bin/env python3
"""The table of docs/benchmarks.md from one run of scripts/bench.sh.

Each row is a ratio or a real-time factor of that one run, with its goal.
Real time is 48 kHz mono audio (the kernel renders one channel)."""
import json
import os
import sys

RATE = 48000.0


def load(folder, name):
    path = os.path.join(folder, name + ".json")
    if not os.path.exists(path):
        return []
    return json.load(open(path))["benchmarks"]


def pick(rows, name, aggregate=None):
    """The row of benchmark `name` (its options, like "/repeats:3", may follow)."""
    for row in rows:
        run = row.get("run_name", row["name"])
        if run == name or run.startswith(name + "/"):
            if aggregate is None or row.get("aggregate_name") == aggregate:
                return row
    return None


def seconds(row):
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[row.get("time_unit", "ns")]
    return row["cpu_time"] * scale, row["real_time"] * scale


def main(folder):
    kernel = load(folder, "kernel")
    engine = load(folder, "engine")
    processor = load(folder, "processor")
    editor = load(folder, "editor")
    lines = ["| measure | figure | goal | met |", "|---|---|---|---|"]

    def row(measure, figure, goal, met):
        lines.append(f"| {measure} | {figure} | {goal} | {'yes' if met else 'no'} |")

    for wave, label in enumerate(["sine", "saw", "square", "triangle"]):
        r = pick(kernel, f"BM_KernelWave/wave:{wave}")
        if r:
            x = r["realtime"]
            row(f"kernel, {label}: real-time factor", f"{x:.0f}x", "≥ 2500x", x >= 2500)
    idle = pick(kernel, "BM_KernelIdle")
    playing = [pick(kernel, f"BM_KernelWave/wave:{wave}") for wave in range(4)]
    playing = [r for r in playing if r]
    if idle and playing:
        # CPU per second of audio, idle against the cheapest playing wave.
        ratio = max(r["realtime"] for r in playing) / idle["realtime"]
        row("kernel: idle instance's cost / a playing one's (cheapest wave)", f"{ratio:.3f}",
            "≤ 0.02", ratio <= 0.02)
    alone = pick(engine, "BM_KernelAlone", "median")
    direct = pick(engine, "BM_EngineDirect", "median")
    adapter = pick(engine, "BM_EngineAdapter", "median")
    if alone and direct:
        ratio = seconds(direct)[0] / seconds(alone)[0]
        row("engine, direct path: time / kernel alone", f"{ratio:.3f}", "≤ 1.02", ratio <= 1.02)
    if alone and adapter:
        speed = seconds(alone)[0] / seconds(adapter)[0]
        row("engine, sample-rate adapter (44.1 kHz host): speed / kernel alone", f"{speed:.2f}",
            "≥ 0.7", speed >= 0.7)
    for frames in (64, 512, 4096):
        r = pick(processor, f"BM_ProcessorBlock/{frames}")
        if r:
            x = r["items_per_second"] / RATE
            row(f"`process`, {frames}-frame blocks (stereo): real-time factor", f"{x:.0f}x",
                "≥ 1000x", x >= 1000)
    for name, label in (("BM_ProcessorGetState", "save (`getState`"),
                        ("BM_ProcessorSetState", "restore (`setState`")):
        r = pick(processor, name)
        if r:
            ms = seconds(r)[1] * 1e3
            row(f"state {label}, every parameter edited)",
                f"{ms * 1e3:.1f} µs", "≤ 1 ms", ms <= 1.0)
    cold = pick(editor, "BM_EditorColdOpen", "median")
    if cold:
        ms = seconds(cold)[1] * 1e3
        row("editor cold open: `attached` → hello drawn (median of 15)", f"{ms:.0f} ms", "≤ 500 ms",
            ms <= 500)
    trip = pick(editor, "BM_EditorRoundTrip")
    if trip:
        ms = trip["median_us"] / 1e3
        row("bridge round trip page → controller → page (median)", f"{ms:.2f} ms", "≤ 1 ms",
            ms <= 1.0)
    print("\n".join(lines))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "build/bench-results")
