#!/usr/bin/env python3
"""Registry import speed against the sqlite3 command-line program, and REGX reads.

  bench/registry_bench.py [--build build] [--runs 5]

1. A registry script of 10,000 keys and 100,000 values (strings, dword:, hex: and
   hex(7): with continued lines), in ANSI and in UTF-16LE with byte-order mark, imported
   through LOAD into a new device; sqlite3 reads the same rows as SQL statements in one
   transaction (WAL, synchronous NORMAL) into a new database. Prints medians and ratios.
2. Scripts of 25,000, 50,000 and 100,000 REGX reads: the time per read should not grow.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import tempfile
import time

KEYS = 10_000
VALUES_PER_KEY = 10


def value_rows(k):
    """The values of key k as (name, type, bytes)."""
    rows = []
    for v in range(VALUES_PER_KEY):
        name = f"Value{v}"
        kind = v % 4
        if kind == 0:
            rows.append((name, 1, f"text {k} {v}".encode("utf-16-le") + b"\0\0"))
        elif kind == 1:
            rows.append((name, 4, (k * 100 + v).to_bytes(4, "little")))
        elif kind == 2:
            rows.append((name, 3, bytes((k + i) % 256 for i in range(24))))
        else:
            rows.append((name, 7, "first\0second\0\0".encode("utf-16-le")))
    return rows


def reg_line(name, kind, data):
    if kind == 1:
        return f'"{name}"="{data[:-2].decode("utf-16-le")}"'
    if kind == 4:
        return f'"{name}"=dword:{int.from_bytes(data, "little"):08x}'
    tag = "hex" if kind == 3 else f"hex({kind:x})"
    pieces = [f"{b:02x}" for b in data]
    # Continued lines, as registry editors write long data.
    lines = [",".join(pieces[i:i + 16]) for i in range(0, len(pieces), 16)]
    return f'"{name}"={tag}:' + ",\\\r\n  ".join(lines)


def reg_script():
    out = ["Windows Registry Editor Version 5.00", ""]
    for k in range(KEYS):
        out.append(f"[HKEY_LOCAL_MACHINE\\Software\\Bench\\Key{k}]")
        out += [reg_line(*row) for row in value_rows(k)]
        out.append("")
    return "\r\n".join(out) + "\r\n"


def sql_script():
    out = ["PRAGMA journal_mode=WAL;", "PRAGMA synchronous=NORMAL;",
           "CREATE TABLE keys(id INTEGER PRIMARY KEY, parent INTEGER, name TEXT, folded TEXT, UNIQUE(parent, folded));",
           "CREATE TABLE vals(key INTEGER, name TEXT, folded TEXT, type INTEGER, data BLOB, PRIMARY KEY(key, folded)) WITHOUT ROWID;",
           "BEGIN;", "INSERT INTO keys VALUES(1, 0, 'Software', 'SOFTWARE');",
           "INSERT INTO keys VALUES(2, 1, 'Bench', 'BENCH');"]
    for k in range(KEYS):
        key_id = k + 3
        out.append(f"INSERT INTO keys VALUES({key_id}, 2, 'Key{k}', 'KEY{k}');")
        for name, kind, data in value_rows(k):
            out.append(f"INSERT INTO vals VALUES({key_id}, '{name}', '{name.upper()}', {kind}, x'{data.hex()}');")
    out.append("COMMIT;")
    return "\n".join(out) + "\n"


def timed(command, prepare, runs, stdin_path=None):
    times = []
    for _ in range(runs):
        prepare()
        with open(stdin_path or os.devnull, "rb") as stdin:
            start = time.perf_counter()
            done = subprocess.run(command, stdin=stdin, stdout=subprocess.DEVNULL)
            times.append(time.perf_counter() - start)
        if done.returncode != 0:
            raise SystemExit(f"{command[0]} failed with exit status {done.returncode}")
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    varnisk = os.path.abspath(os.path.join(args.build, "varnisk"))
    work = tempfile.mkdtemp(prefix="varnisk-bench-")
    try:
        card = os.path.join(work, "card")
        os.makedirs(card)
        text = reg_script()
        with open(os.path.join(card, "ansi.reg"), "w", newline="", encoding="ascii") as f:
            f.write(text)
        with open(os.path.join(card, "wide.reg"), "wb") as f:
            f.write(b"\xff\xfe" + text.encode("utf-16-le"))
        sql = os.path.join(work, "rows.sql")
        with open(sql, "w") as f:
            f.write(sql_script())
        device = os.path.join(work, "dev")
        database = os.path.join(work, "plain.db")

        def fresh_device():
            shutil.rmtree(device, ignore_errors=True)
            subprocess.run([varnisk, "--device", device, "--ui", "none", "EVAL x=0"], check=True)

        def fresh_database():
            for suffix in ("", "-wal", "-shm"):
                if os.path.exists(database + suffix):
                    os.remove(database + suffix)

        baseline = timed(["sqlite3", database], fresh_database, args.runs, sql)
        print(f"sqlite3 reading the rows as SQL: {baseline * 1000:.0f} ms")
        for name in ("ansi.reg", "wide.reg"):
            command = [varnisk, "--device", device, "--ui", "none", "--card", card,
                       f"LOAD \\Storage Card\\{name}"]
            ours = timed(command, fresh_device, args.runs)
            print(f"varnisk LOAD {name}: {ours * 1000:.0f} ms, varnisk/sqlite3 = {ours / baseline:.2f}")

        for count in (25_000, 50_000, 100_000):
            with open(os.path.join(card, "reads.vks"), "w") as f:
                for i in range(count):
                    f.write(f"REGX HKLM\\Software\\Bench\\Key{i % KEYS}\\Value{i % 4}\n")
            command = [varnisk, "--device", device, "--ui", "none", "--card", card,
                       "LOAD \\Storage Card\\reads.vks"]
            seconds = timed(command, lambda: None, args.runs)
            print(f"{count} REGX reads: {seconds * 1000:.0f} ms, {seconds / count * 1e6:.2f} us a read")
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
