#!/usr/bin/env python3
"""Script engine speed against dash, and start-up cost against a program that does nothing.

  bench/engine_bench.py [--build build] [--runs 21]

1. A generated script of 100,000 lines (EVAL, IFEX inline and in sections, comments,
   CALL into procedures) runs through LOAD; dash runs the same assignments and tests.
   Prints both whole-process medians and their ratio.
2. A command line that opens no window against a C program that does nothing: prints
   both medians and the difference.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import tempfile
import time

BLOCKS = 10_000  # ten lines each


def vks_script():
    lines = []
    for i in range(BLOCKS):
        lines += [
            f"; block {i}",
            f"EVAL 1={i}",
            f"IFEX %1=={i},EVAL 2=yes",
            "ELSE EVAL 2=no",
            "IFEX %1>5000",
            "EVAL 3=big",
            "IFEX",
            "CALL add",
            f"EVAL x={i}",
            "EVAL 5=%4",
        ]
    lines += ["ENDP", "PROC add", "EVAL 4=%1", "ENDP add"]
    return "\r\n".join(lines) + "\r\n"


def dash_script():
    lines = ["add() {", "v4=$v1", "}"]
    for i in range(BLOCKS):
        lines += [
            f"# block {i}",
            f"v1={i}",
            f'if [ "$v1" -eq {i} ]; then v2=yes',
            "else v2=no; fi",
            'if [ "$v1" -gt 5000 ]; then',
            "v3=big",
            "fi",
            "add",
            f"vx={i}",
            "v5=$v4",
        ]
    return "\n".join(lines) + "\n"


def median_seconds(command, runs, env=None):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(command, check=False, stdout=subprocess.DEVNULL, env=env)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--runs", type=int, default=21)
    args = parser.parse_args()
    varnisk = os.path.abspath(os.path.join(args.build, "varnisk"))
    work = tempfile.mkdtemp(prefix="varnisk-bench-")
    try:
        device = os.path.join(work, "dev")
        card = os.path.join(work, "card")
        os.makedirs(card)
        with open(os.path.join(card, "long.vks"), "w", newline="") as f:
            f.write(vks_script())
        with open(os.path.join(card, "long.sh"), "w") as f:
            f.write(dash_script())
        base = [varnisk, "--device", device, "--ui", "none"]
        run = base + ["--card", card, "--", r"LOAD \Storage Card\long.vks"]
        check = subprocess.run(run)
        if check.returncode != 0:
            raise SystemExit(f"the script failed with exit status {check.returncode}")
        engine = median_seconds(run, args.runs)
        dash = median_seconds(["dash", os.path.join(card, "long.sh")], args.runs)
        print(f"100,000 lines: varnisk {engine * 1000:.1f} ms, dash {dash * 1000:.1f} ms, "
              f"dash/varnisk = {dash / engine:.2f}")

        noop_c = os.path.join(work, "noop.c")
        with open(noop_c, "w") as f:
            f.write("int main(void) { return 0; }\n")
        noop = os.path.join(work, "noop")
        subprocess.run(["cc", "-O2", "-o", noop, noop_c], check=True)
        line = base + ["--", "EVAL x=1"]
        startup_runs = max(args.runs * 10, 200)
        ours = median_seconds(line, startup_runs)
        nothing = median_seconds([noop], startup_runs)
        print(f"start-up: varnisk {ours * 1000:.2f} ms, C no-op {nothing * 1000:.2f} ms, "
              f"difference {(ours - nothing) * 1000:.2f} ms")
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
