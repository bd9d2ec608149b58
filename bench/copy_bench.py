#!/usr/bin/env python3
"""Tree copy speed of FILE against cp -r.

  bench/copy_bench.py [--build build] [--runs 5] [--files 20000] [--strace] [--dir DIR]

Builds a tree of 20,000 files (about 300 MB: mostly small files, some of a few MB, names
in mixed case) in a few hundred folders inside a temporary device's files folder, then
copies it into a fresh target, page cache warm, with
  varnisk --device DEV --ui none -- 'FILE !\\A\\*>\\B\\'
and with cp -r. Prints the medians of wall and processor time (user and system) and
their ratios (above 1: varnisk is slower).
With --strace, also counts each program's system calls per copied file (strace -c -f).

The kernel's work of making 20,000 files can swamp the programs' own: ext4 without a
journal, for one, passes over every inode deleted in the last minutes when it allocates
one, so right after large deletions (an earlier run's clean-up, a test suite) both times
swing widely. Run it on a quiet machine, or with --dir on a tmpfs (/dev/shm) to compare
what the programs themselves do.
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import tempfile
import time

TOP_FOLDERS = 15
SUB_FOLDERS = 20  # in each top folder, so 315 folders in all
TOTAL_BYTES = 300 * 1024 * 1024


def file_sizes(count, rng):
    """Sizes spread over four orders of magnitude, scaled to about TOTAL_BYTES."""
    raw = [int(rng.lognormvariate(8.2, 1.6)) for _ in range(count)]
    scale = TOTAL_BYTES / sum(raw)
    return [max(0, int(size * scale)) for size in raw]


def build_tree(root, count):
    """Writes the tree below root; returns the number of files and bytes written."""
    rng = random.Random(20240)
    folders = [root]
    for t in range(TOP_FOLDERS):
        top = os.path.join(root, f"Group {t:02d}")
        folders.append(top)
        folders += [os.path.join(top, f"Sub{s:02d}") for s in range(SUB_FOLDERS)]
    for folder in folders:
        os.makedirs(folder, exist_ok=True)
    chunk = os.urandom(1 << 20)
    total = 0
    for i, size in enumerate(file_sizes(count, rng)):
        name = rng.choice(["File", "data", "README", "Setup"]) + f"_{i}" + rng.choice(
            [".txt", ".DAT", ".bin", ".vks", ""])
        with open(os.path.join(folders[i % len(folders)], name), "wb") as f:
            left = size
            while left > 0:
                f.write(chunk[: min(left, len(chunk))])
                left -= len(chunk)
        total += size
    return count, total


def tree_summary(root):
    """Every file below root with its size, by relative path."""
    out = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            out[os.path.relpath(path, root)] = os.path.getsize(path)
    return out


def timed(command):
    """Wall and processor seconds (user and system) one copy takes, from a quiet disk."""
    subprocess.run(["sync"], check=True)
    start = time.perf_counter()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    elapsed = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        raise SystemExit(f"{command} failed with exit status {child.returncode}")
    return elapsed, usage.ru_utime + usage.ru_stime


def syscalls(command, work, label):
    """Total system calls of one copy, counted by strace, and the busiest calls."""
    report = os.path.join(work, f"strace-{label}.txt")
    subprocess.run(["strace", "-f", "-c", "-o", report] + command,
                   stdout=subprocess.DEVNULL, check=True)
    with open(report) as f:
        lines = f.read().splitlines()
    # "% time  seconds  usecs/call  calls  errors  syscall", then a "total" row.
    total = next(line for line in lines if line.rstrip().endswith("total"))
    top = [line for line in lines[2:10] if line and not line.startswith("-")]
    return int(total.split()[3]), top


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--files", type=int, default=20_000)
    parser.add_argument("--strace", action="store_true")
    parser.add_argument("--dir", default=None,
                        help="where the temporary device goes (default: the temporary folder)")
    args = parser.parse_args()
    varnisk = os.path.abspath(os.path.join(args.build, "varnisk"))
    work = tempfile.mkdtemp(prefix="varnisk-bench-", dir=args.dir)
    try:
        device = os.path.join(work, "dev")
        base = [varnisk, "--device", device, "--ui", "none"]
        subprocess.run(base + ["--", "EVAL x=1"], stdout=subprocess.DEVNULL)  # makes it
        files = os.path.join(device, "files")
        if not os.path.isdir(files):
            raise SystemExit(f"{varnisk} made no device at {device}")
        count, total = build_tree(os.path.join(files, "A"), args.files)
        print(f"tree: {count} files, {total / 1e6:.0f} MB, "
              f"{1 + TOP_FOLDERS * (1 + SUB_FOLDERS)} folders")

        # Each copy goes to a target of its own: deleting a tree just before copying would
        # make the host file system's inode allocation, not the copy, the thing measured
        # (ext4 skips over recently deleted inodes).
        def command(label, run):
            if label == "varnisk":
                return base + ["--", f"FILE !\\A\\*>\\B{run}\\"]
            return ["cp", "-r", os.path.join(files, "A"), os.path.join(files, f"C{run}")]

        labels = ["varnisk", "cp"]
        # Warm the page cache, and check that the copy is whole.
        for label in labels:
            timed(command(label, 0))
        if tree_summary(os.path.join(files, "B0")) != tree_summary(os.path.join(files, "A")):
            raise SystemExit("FILE did not copy the tree exactly")

        # Processor time is printed too: on a busy machine it varies less than wall time.
        walls = {label: [] for label in labels}
        cpus = {label: [] for label in labels}
        for run in range(1, args.runs + 1):
            # Interleaved, so that a slow moment hits both, each going first in turn.
            for label in labels if run % 2 else reversed(labels):
                wall, cpu = timed(command(label, run))
                walls[label].append(wall)
                cpus[label].append(cpu)
        for name, samples in (("wall", walls), ("processor", cpus)):
            ours, theirs = (statistics.median(samples[label]) for label in labels)
            print(f"{name} time: varnisk {ours * 1000:.0f} ms, cp -r {theirs * 1000:.0f} ms, "
                  f"varnisk/cp = {ours / theirs:.2f} (medians of {args.runs})")

        if args.strace:
            for label in labels:
                calls, top = syscalls(command(label, "S"), work, label)
                print(f"{label}: {calls} system calls, {calls / count:.1f} per file")
                for line in top:
                    print("   ", line)
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
