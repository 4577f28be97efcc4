#!/usr/bin/env python3
"""Times the program on its large dialogues beside the C yardsticks, in one
run, and prints one table of medians and ratios.

usage: compare.py PROGRAM YARDSTICK_DIR WORK_DIR [RUNS]

Beside PROGRAM, trelvo_bench and trelvo_bench_float_zeros (the program
without the exact zero test) weigh that test, for each vector variant this
processor runs (BENCH_VARIANT).
"""
import os
import resource
import statistics
import subprocess
import sys
import time

program, yardsticks, work = sys.argv[1:4]
runs = int(sys.argv[4]) if len(sys.argv) > 4 else 5
threads = os.environ.get("BENCH_THREADS", "2")
blas_env = dict(os.environ, OPENBLAS_NUM_THREADS=threads, OPENBLAS_CORETYPE="SkylakeX")

# One core's single-precision peak here: 2 vector units x 16 lanes x 2
# flops (fused multiply-add) at the clock measured below.
PEAK_PER_CORE = float(os.environ.get("BENCH_PEAK_GFLOPS", "258"))


def write(name, text):
    path = os.path.join(work, name)
    with open(path, "w") as f:
        f.write(text)
    return path


def dialogue_inputs():
    # menu choice, rows, cols, random fill (1) with maximum 100
    det = write("det2000.in", "5\n2000\n2000\n1\n100\n9\n")
    product = write("product2000.in", "4\n2000\n2000\n1\n100\n2000\n2000\n1\n100\n2\n9\n")
    inverses = {n: write(f"inverse{n}.in", f"6\n{n}\n{n}\n1\n100\n2\n9\n") for n in (2, 40, 60)}
    # 1,000 x 1,000 typed numbers under menu choice 7 (no operation)
    # (written line by line: a large harness would raise the floor of the
    # children's peak memory, which counts what the harness held before exec)
    typed = os.path.join(work, "typed1M.in")
    with open(typed, "w") as f:
        f.write("7\n1000\n1000\n2\n")
        for k in range(1_000_000):
            f.write(f"{(k * 37) % 1000 - 500}.{k % 100:02d}\n")
    return det, product, inverses, typed


def run_once(command, stdin_path, env=None):
    """Wall seconds and peak resident kilobytes of one run."""
    with open(stdin_path or os.devnull) as stdin, open(os.devnull, "w") as out:
        start = time.monotonic()
        child = subprocess.Popen(command, stdin=stdin, stdout=out, stderr=out, env=env)
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.monotonic() - start
    if status != 0:
        sys.exit(f"{command} failed with status {status}")
    return wall, usage.ru_maxrss


def side_by_side(a, b):
    """Runs a and b in turn, `runs` times; medians of each and of the ratios."""
    times_a, times_b, ratios, peaks = [], [], [], []
    run_once(*a)
    run_once(*b)
    for _ in range(runs):
        ta, peak = run_once(*a)
        tb, _ = run_once(*b)
        times_a.append(ta)
        times_b.append(tb)
        ratios.append(ta / tb)
        peaks.append(peak)
    return statistics.median(times_a), statistics.median(times_b), statistics.median(ratios), max(peaks)


def alone(a):
    run_once(*a)
    samples = [run_once(*a) for _ in range(runs)]
    return statistics.median(t for t, _ in samples), max(p for _, p in samples)


def variants():
    """The kernels' vector variants this processor runs, widest first."""
    with open("/proc/cpuinfo") as f:
        flags = set(f.read().split())
    names = []
    if {"avx512f", "avx512dq", "avx512vl", "avx512bw"} <= flags:
        names.append("avx512")
    if "avx2" in flags:
        names.append("avx2")
    return names or ["generic"]


def exact_zero_rows(det, inverses):
    """The program with and without the exact zero test, side by side."""
    here = os.path.dirname(program)
    ruled, plain = os.path.join(here, "trelvo_bench"), os.path.join(here, "trelvo_bench_float_zeros")
    rows = []
    for variant in variants():
        env = dict(os.environ, BENCH_VARIANT=variant)
        for label, path in [("determinant 2000 x 2000", det)] + [
                (f"inverse {n} x {n}", inverses[n]) for n in (40, 60)]:
            t, tb, r, _ = side_by_side(([ruled], path, env), ([plain], path, env))
            rows.append((f"{label}, {variant}", "no exact zero test", t, tb, r, "<= 4.00"))
    return rows


def main():
    det, product, inverses, typed = dialogue_inputs()
    y = lambda name: os.path.join(yardsticks, name)
    rows = []

    t, tb, r, _ = side_by_side(([program], det), ([y("sgetrf"), "2000"], None, blas_env))
    rows.append(("determinant 2000 x 2000", "OpenBLAS sgetrf", t, tb, r, "<= 1.50"))

    t, tb, r, peak = side_by_side(([program], product), ([y("sgemm"), "2000"], None, blas_env))
    rows.append(("product 2000 x 2000", "OpenBLAS sgemm", t, tb, r, "<= 1.25"))
    # working pairs, operand, first factor, product
    model_kib = (2 + 1 + 1 + 1) * 2000 * 2000 * 4 / 1024
    memory = (peak, model_kib)

    t, tb, r, _ = side_by_side((["sh", "-c", f"cat {typed} | {program}"], None),
                               (["sh", "-c", f"cat {typed} | {y('scanf_loop')} 1000 1000"], None))
    rows.append(("1,000,000 typed numbers", "printf + scanf loop", t, tb, r, "<= 0.50"))

    rows += exact_zero_rows(det, inverses)

    # The 2 x 2 inverse is the floor of every run: starting the program,
    # the dialogue and its exit, with next to no arithmetic.
    floor, _ = alone(([program], inverses.pop(2)))
    inverse_rows = []
    for n, path in inverses.items():
        t, _ = alone(([program], path))
        gflops = n**5 / t / 1e9
        inverse_rows.append((n, t, gflops, gflops / PEAK_PER_CORE))

    print(f"threads: {threads} (program and OpenBLAS); runs: {runs}; medians")
    print()
    print(f"| {'work':<33}| {'compared with':<20}| {'program s':>10} | {'other s':>8} | {'ratio':>6} | target  |")
    print(f"|{'-' * 34}|{'-' * 21}|{'-' * 12}|{'-' * 10}|{'-' * 8}|---------|")
    for work_name, other, t, tb, r, target in rows:
        print(f"| {work_name:<33}| {other:<20}| {t:>10.3f} | {tb:>8.3f} | {r:>6.2f} | {target} |")
    for n, t, gflops, share in inverse_rows:
        label = f"inverse {n} x {n}"
        print(f"| {label:<33}| {'one core peak':<20}| {t:>10.3f} | {'':>8} | {share:>6.2f} | >= 0.30 |")
    peak_kib, model = memory
    print(f"| {'product peak memory':<33}| {'data model':<20}| {peak_kib / 1024:>8.0f}MB | {model / 1024:>6.0f}MB | {peak_kib / model:>6.2f} | <= 1.20 |")
    print()
    for n, t, gflops, share in inverse_rows:
        print(f"inverse {n}: {gflops:.1f} GFLOP/s counting n^5/2 multiply-adds; peak taken as {PEAK_PER_CORE:.0f}")
    print(f"floor of a run (2 x 2 inverse): {floor * 1000:.1f} ms")


main()
