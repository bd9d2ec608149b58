#!/usr/bin/env python3
"""Extraction speed of TGZX against GNU tar and bsdtar.

  bench/tar_bench.py [--build build] [--runs 5] [--files 20000] [--strace] [--dir DIR]

Builds a tree of 20,000 files (about 300 MB: mostly small files, some of a few MB, text
that compresses and data that does not) and packs it with GNU tar into a .tgz on a host
folder shown as the storage card. Then, page cache warm, each program extracts it into a
fresh folder of a temporary device:
  varnisk --device DEV --card CARD --ui none -- 'TGZX \\Storage Card\\x.tgz,\\OutN'
  tar xzf CARD/x.tgz -C DEV/files/TarN
  bsdtar xzf CARD/x.tgz -C DEV/files/BsdN
Prints the medians of wall and processor time (user and system, children included: GNU
tar inflates in a gzip process of its own) and their ratios (above 1: varnisk is slower).
With --strace, also counts each program's system calls per extracted file.

The machine may be shared and the kernel's work of making 20,000 files swings with what
the disk did just before (see copy_bench.py): compare medians of several runs, or use
--dir on a tmpfs (/dev/shm) to compare what the programs themselves do.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import tempfile

from tree_bench import SUB_FOLDERS, TOP_FOLDERS, build_tree, print_syscalls, timed, tree_summary

WORDS = ("the device script file folder archive registry value setup program data "
         "install card storage window command line result error text name size").split()


def contents(rng):
    """4 MB to cut files from: text that compresses about four to one, then random bytes."""
    text = " ".join(rng.choice(WORDS) + str(rng.randrange(100)) for _ in range(600_000))
    return text.encode()[: 3 << 20] + os.urandom(1 << 20)


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
    for program in ("tar", "bsdtar"):
        if shutil.which(program) is None:
            raise SystemExit(f"{program} is not installed (scripts/setup installs it)")
    work = tempfile.mkdtemp(prefix="varnisk-tar-bench-", dir=args.dir)
    try:
        device = os.path.join(work, "dev")
        card = os.path.join(work, "card")
        os.makedirs(card)
        base = [varnisk, "--device", device, "--card", card, "--ui", "none"]
        subprocess.run(base + ["--", "EVAL x=1"], stdout=subprocess.DEVNULL)  # makes it
        files = os.path.join(device, "files")
        if not os.path.isdir(files):
            raise SystemExit(f"{varnisk} made no device at {device}")
        source = os.path.join(work, "src")
        count, total = build_tree(os.path.join(source, "A"), args.files, 20241, rng_pool=contents)
        archive = os.path.join(card, "x.tgz")
        subprocess.run(["tar", "--format=gnu", "-czf", archive, "-C", source, "A"], check=True)
        print(f"tree: {count} files, {total / 1e6:.0f} MB, "
              f"{1 + TOP_FOLDERS * (1 + SUB_FOLDERS)} folders; "
              f"archive {os.path.getsize(archive) / 1e6:.0f} MB")

        # Each extraction goes to a folder of its own (see copy_bench.py on why nothing is
        # deleted between runs); the host tools get theirs made beforehand.
        def command(label, run):
            if label == "varnisk":
                return base + ["--", f"TGZX \\Storage Card\\x.tgz,\\Out{run}"]
            target = os.path.join(files, f"{label}{run}")
            os.makedirs(target)
            return [label, "xzf", archive, "-C", target]

        labels = ["varnisk", "tar", "bsdtar"]
        # Warm the page cache, and check that every extraction is whole.
        expected = tree_summary(os.path.join(source, "A"))
        for label in labels:
            timed(command(label, 0))
            target = os.path.join(files, ("Out" if label == "varnisk" else label) + "0", "A")
            if tree_summary(target) != expected:
                raise SystemExit(f"{label} did not extract the tree exactly")

        walls = {label: [] for label in labels}
        cpus = {label: [] for label in labels}
        for run in range(1, args.runs + 1):
            # Interleaved, so that a slow moment hits all; each goes first in turn.
            order = labels[run % len(labels):] + labels[:run % len(labels)]
            for label in order:
                wall, cpu = timed(command(label, run))
                walls[label].append(wall)
                cpus[label].append(cpu)
        for name, samples in (("wall", walls), ("processor", cpus)):
            ours = statistics.median(samples["varnisk"])
            line = f"{name} time (medians of {args.runs}): varnisk {ours * 1000:.0f} ms"
            for label in labels[1:]:
                theirs = statistics.median(samples[label])
                line += f", {label} {theirs * 1000:.0f} ms (varnisk/{label} = {ours / theirs:.2f})"
            print(line)

        if args.strace:
            print_syscalls(command, labels, work, count)
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
