"""What the tree benchmarks (copy_bench.py, tar_bench.py) share: the tree of about
20,000 files they build, its summary for checking a result, and the timing and
system-call counting of one run of a program."""
import os
import random
import subprocess
import time

TOP_FOLDERS = 15
SUB_FOLDERS = 20  # in each top folder, so 315 folders in all
TOTAL_BYTES = 300 * 1024 * 1024


def file_sizes(count, rng):
    """Sizes spread over four orders of magnitude, scaled to about TOTAL_BYTES."""
    raw = [int(rng.lognormvariate(8.2, 1.6)) for _ in range(count)]
    scale = TOTAL_BYTES / sum(raw)
    return [max(0, int(size * scale)) for size in raw]


def build_tree(root, count, seed, pool=None, rng_pool=None):
    """Writes the tree below root, its files cut from a pool of bytes (pool, or the one
    rng_pool(rng) makes): from the pool's start, or with rng_pool from a random place in
    it. Returns the number of files and bytes written."""
    rng = random.Random(seed)
    folders = [root]
    for t in range(TOP_FOLDERS):
        top = os.path.join(root, f"Group {t:02d}")
        folders.append(top)
        folders += [os.path.join(top, f"Sub{s:02d}") for s in range(SUB_FOLDERS)]
    for folder in folders:
        os.makedirs(folder, exist_ok=True)
    if rng_pool is not None:
        pool = rng_pool(rng)
    total = 0
    for i, size in enumerate(file_sizes(count, rng)):
        name = rng.choice(["File", "data", "README", "Setup"]) + f"_{i}" + rng.choice(
            [".txt", ".DAT", ".bin", ".vks", ""])
        start = rng.randrange(len(pool)) if rng_pool is not None else 0
        with open(os.path.join(folders[i % len(folders)], name), "wb") as f:
            left = size
            while left > 0:
                piece = pool[start : start + left]
                f.write(piece)
                left -= len(piece)
                start = 0
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
    """Wall and processor seconds (user and system, children too) of one run, started
    from a quiet disk."""
    subprocess.run(["sync"], check=True)
    start = time.perf_counter()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f"{command} failed with exit status {os.waitstatus_to_exitcode(status)}")
    return elapsed, usage.ru_utime + usage.ru_stime


def syscalls(command, work, label):
    """Total system calls of one run, counted by strace, and the busiest calls."""
    report = os.path.join(work, f"strace-{label}.txt")
    subprocess.run(["strace", "-f", "-c", "-o", report] + command,
                   stdout=subprocess.DEVNULL, check=True)
    with open(report) as f:
        lines = f.read().splitlines()
    # "% time  seconds  usecs/call  calls  errors  syscall", then a "total" row.
    total = next(line for line in lines if line.rstrip().endswith("total"))
    top = [line for line in lines[2:10] if line and not line.startswith("-")]
    return int(total.split()[3]), top


def print_syscalls(command, labels, work, count):
    """Prints each program's system calls per file, with its busiest calls; command(label,
    run) is the program's command line for a run."""
    for label in labels:
        calls, top = syscalls(command(label, "S"), work, label)
        print(f"{label}: {calls} system calls, {calls / count:.1f} per file")
        for line in top:
            print("   ", line)
