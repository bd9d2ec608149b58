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
import shutil
import statistics
import subprocess
import tempfile

from tree_bench import SUB_FOLDERS, TOP_FOLDERS, build_tree, print_syscalls, timed, tree_summary


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
        count, total = build_tree(os.path.join(files, "A"), args.files, 20240, pool=os.urandom(1 << 20))
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
            print_syscalls(command, labels, work, count)
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
