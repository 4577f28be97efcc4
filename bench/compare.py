#!/usr/bin/env python3
"""Measures the strict ceiling of this processor and the program's large
dialogues in one run, and prints one table of rates and ratios against the
ceiling, with OpenBLAS and a C printf + scanf loop beside them.

The work of a dialogue is its whole run minus the same dialogue with an
operation that does next to no arithmetic (a declined transpose, a sum), run
in turn with it; medians of the paired differences. Every multiply-add
counts as two flops. One core: pinned with taskset, the second core kept
off by the benchmark build's switch.

usage: compare.py PROGRAM YARDSTICK_DIR WORK_DIR [RUNS]
environment: BENCH_VARIANT (the kernels' vector code, e.g. avx2);
BENCH_ONLY=cliffs (the "no cliff" table alone, without the ceiling and the
yardsticks); BENCH_CLIFF_LIMIT (seconds after which a run of that table is
stopped, 20 by default, 0 for none)
"""
import os
import random
import shutil
import statistics
import subprocess
import sys
import threading
import time

program, yardsticks, work = sys.argv[1:4]
runs = int(sys.argv[4]) if len(sys.argv) > 4 else 5
variant = os.environ.get("BENCH_VARIANT", "")
only = os.environ.get("BENCH_ONLY", "")
if only not in ("", "cliffs"):
    sys.exit(f"BENCH_ONLY={only}: only cliffs is known")
cliff_limit = float(os.environ.get("BENCH_CLIFF_LIMIT", "20"))


def yardstick(name):
    return os.path.join(yardsticks, name)


def cpu_flags():
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("flags"):
                return set(line.split(":", 1)[1].split())
    return set()


FLAGS = cpu_flags()
WIDE = {"avx512f", "avx512dq", "avx512bw", "avx512vl"} <= FLAGS and variant not in ("avx2",)
CORE_TYPE = "SkylakeX" if WIDE else "Haswell"


def program_env(cores):
    env = dict(os.environ)
    if variant:
        env["TRELVO_BENCH_VARIANT"] = variant
    if cores == 1:
        env["TRELVO_BENCH_ONE_CORE"] = "1"
    return env


def program_command(cores):
    return (["taskset", "-c", "0"] if cores == 1 else []) + [program]


def write(name, text):
    path = os.path.join(work, name)
    with open(path, "w") as f:
        f.write(text)
    return path


def random_dialogue(choice, n, middle, end="2\n9\n"):
    """Menu choice, n x n at random 1..100, `middle`, then `end`."""
    return write(f"choice{choice}_{n}.in", f"{choice}\n{n}\n{n}\n1\n100\n{middle}{end}")


def typed_input():
    # 1,000 x 1,000 typed numbers under menu choice 9 (no operation),
    # written line by line: a large harness would raise the floor of the
    # children's peak memory, which counts what the harness held before exec.
    typed = os.path.join(work, "typed1M.in")
    with open(typed, "w") as f:
        f.write("9\n1000\n1000\n2\n")
        for k in range(1_000_000):
            f.write(f"{(k * 37) % 1000 - 500}.{k % 100:02d}\n")
    return typed


def run_once(command, stdin_path=None, env=None):
    """Wall seconds, peak resident kilobytes and standard output of one run."""
    with open(stdin_path or os.devnull) as stdin:
        start = time.monotonic()
        child = subprocess.Popen(command, stdin=stdin, stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL, env=env)
        output = child.stdout.read(4096)
        while child.stdout.read(1 << 20):
            pass
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.monotonic() - start
    if status != 0:
        sys.exit(f"{command} failed with status {status}")
    return wall, usage.ru_maxrss, output


def paired(a, b, count=runs):
    """Runs a and b in turn; medians of a, of b, of a - b, of a / b; a's peak."""
    run_once(*a)
    run_once(*b)
    ta, tb, peaks = [], [], []
    for _ in range(count):
        t, peak, _ = run_once(*a)
        ta.append(t)
        peaks.append(peak)
        tb.append(run_once(*b)[0])
    med = statistics.median
    return (med(ta), med(tb), med(x - y for x, y in zip(ta, tb)),
            med(x / y for x, y in zip(ta, tb)), max(peaks))


def ceiling_args():
    return [yardstick("ceiling")] + ([] if WIDE else ["avx2"])


def ceiling():
    isa, one, two = subprocess.run(ceiling_args(), capture_output=True, text=True,
                                   check=True).stdout.split()
    return isa, {1: float(one), 2: float(two)}


def quick_ceiling(cores):
    """The ceiling of this moment: on a busy machine, each timed run is paired
    with one of these, on the same cores."""
    command = (["taskset", "-c", "0"] if cores == 1 else []) + ceiling_args() + [str(cores)]
    return float(subprocess.run(command, capture_output=True, text=True, check=True).stdout)


def dialogue_rate(inputs, baseline, cores, flops, count=runs):
    """Seconds of a dialogue's work beyond its baseline dialogue, its GFLOP/s
    and its share of the ceiling (medians over paired runs), and its peak.
    The float work alone: the exact zero test, weighed in its own table, is
    off."""
    command = program_command(cores)
    env = dict(program_env(cores), TRELVO_BENCH_FLOAT_ZEROS="1")
    run_once(command, inputs, env)
    run_once(command, baseline, env)
    extras, rates, shares, peak = [], [], [], 0
    for _ in range(count):
        top = quick_ceiling(cores)
        t, peak_now, _ = run_once(command, inputs, env)
        extra = max(t - run_once(command, baseline, env)[0], 1e-6)
        extras.append(extra)
        rates.append(flops / extra / 1e9)
        shares.append(rates[-1] / top)
        peak = max(peak, peak_now)
    med = statistics.median
    return med(extras), med(rates), med(shares), peak


def blas_seconds(name, n, threads):
    env = dict(os.environ, OPENBLAS_NUM_THREADS=str(threads), OPENBLAS_CORETYPE=CORE_TYPE)
    command = (["taskset", "-c", "0"] if threads == 1 else []) + [yardstick(name), str(n)]
    return statistics.median(float(run_once(command, None, env)[2].split()[0])
                             for _ in range(runs))


def rate_rows(n):
    """The dialogues' rates against the ceiling, one row per work and cores;
    and the product's peak memory."""
    product = random_dialogue(4, n, f"{n}\n{n}\n1\n100\n")
    summed = random_dialogue(2, n, f"{n}\n{n}\n1\n100\n")
    det = random_dialogue(5, n, "", "9\n")
    transposed = random_dialogue(3, n, "")
    rows, peak = [], 0
    for cores in (1, 2):
        *rate, peak_now = dialogue_rate(product, summed, cores, 2.0 * n**3)
        rows.append(("product 2000", cores, *rate, 0.80))
        peak = max(peak, peak_now)
    for cores, target in ((1, 0.65), (2, 0.55)):
        *rate, _ = dialogue_rate(det, transposed, cores, 2.0 * n**3 / 3)
        rows.append(("determinant 2000", cores, *rate, target))
    for side, cores, count in ((60, 1, 4 * runs + 1), (200, 2, runs)):
        inverse = random_dialogue(6, side, "")
        *rate, _ = dialogue_rate(inverse, random_dialogue(3, side, ""), cores,
                                 2.0 * side**2 * (side - 1) ** 3 / 3, count)
        rows.append((f"inverse {side}", cores, *rate, 0.50))
    return rows, peak


def print_table(rows, typed_ratio, peak_kib, model_kib):
    print(f"| {'work':<24}| cores | {'time':>10} | {'GFLOP/s':>8} | ratio | target  | holds |")
    print(f"|{'-' * 25}|-------|{'-' * 12}|{'-' * 10}|-------|---------|-------|")
    for label, cores, seconds, gflops, ratio, target in rows:
        held = "yes" if ratio >= target else "NO"
        print(f"| {label:<24}| {cores:>5} | {seconds * 1000:>7.1f} ms | {gflops:>8.1f} | {ratio:5.2f} "
              f"| >= {target:.2f} | {held:<5} |")
    held = "yes" if typed_ratio <= 0.5 else "NO"
    print(f"| {'1,000,000 typed numbers':<24}|       | {'':>10} | {'':>8} | {typed_ratio:5.2f} "
          f"| <= 0.50 | {held:<5} |")
    held = "yes" if peak_kib / model_kib <= 1.2 else "NO"
    print(f"| {'product 2000 peak memory':<24}|       | {peak_kib / 1024:>8.0f}MB | {'':>8} "
          f"| {peak_kib / model_kib:5.2f} | <= 1.20 | {held:<5} |")


def exact_zero_rows(n):
    """The determinant and the inverses with the reduction's exact zero test
    and without it (the benchmark build's switch), run in turn on two cores:
    medians of the times and of their ratios."""
    rows = []
    for label, inputs, target in ((f"determinant {n}", random_dialogue(5, n, "", "9\n"), 1.5),
                                  ("inverse 40", random_dialogue(6, 40, ""), 1.3),
                                  ("inverse 60", random_dialogue(6, 60, ""), 1.3)):
        with_test = (program_command(2), inputs, program_env(2))
        without = (program_command(2), inputs, dict(program_env(2), TRELVO_BENCH_FLOAT_ZEROS="1"))
        t, tb, _, ratio, _ = paired(with_test, without)
        rows.append((label, t, tb, ratio, target))
    return rows


def print_exact_zero_rows(rows):
    print("the exact zero test, against the same run without it (two cores):")
    print(f"| {'work':<24}| {'with':>10} | {'without':>10} | ratio | target  | holds |")
    print(f"|{'-' * 25}|{'-' * 12}|{'-' * 12}|-------|---------|-------|")
    for label, t, tb, ratio, target in rows:
        held = "yes" if ratio <= target else "NO"
        print(f"| {label:<24}| {t * 1000:>7.1f} ms | {tb * 1000:>7.1f} ms | {ratio:5.2f} "
              f"| <= {target:.2f} | {held:<5} |")


def work_seconds(inputs, baseline, count=runs):
    """Median seconds of a dialogue beyond its baseline (two cores, exact
    zero test on), runs in turn."""
    command, env = program_command(2), program_env(2)
    run_once(command, inputs, env)
    extras = []
    for _ in range(count):
        t = run_once(command, inputs, env)[0]
        extras.append(max(t - run_once(command, baseline, env)[0], 1e-6))
    return statistics.median(extras)


def rank_and_system_rows(n):
    """The rank and the linear system against the determinant with the same
    fill (1 to 100; the rank-one matrix a kept product of a column by a
    row), each as the time beyond the same dialogue with a declined
    transpose."""
    fill = "1\n100\n"
    column_by_row = f"4\n{n}\n1\n{fill}1\n{n}\n{fill}1\n1\n"
    def square(choice, tail):
        return write(f"square{choice}.in", f"{choice}\n{n}\n{n}\n{fill}{tail}")
    def product_then(choice, tail):
        return write(f"rank_one{choice}.in", f"{column_by_row}{choice}\n{tail}")
    transposed = square(3, "2\n9\n")
    det = work_seconds(square(5, "9\n"), transposed)
    wide = f"{n // 2}\n{3 * n // 2}\n{fill}"
    rows = [
        (f"rank {n} x {n}", work_seconds(square(7, "9\n"), transposed), det),
        (f"rank {n // 2} x {3 * n // 2}", work_seconds(write("wide7.in", f"7\n{wide}9\n"),
                                                   write("wide3.in", f"3\n{wide}2\n9\n")), det),
        (f"rank of a rank-one {n}", work_seconds(product_then(7, "9\n"),
                                                 product_then(3, "2\n9\n")), det),
        (f"system of {n} unknowns", work_seconds(square(8, f"{fill}0\n9\n"), transposed), det),
    ]
    return det, rows


def print_rank_and_system(det, rows):
    print(f"the rank and the system against the determinant of a random matrix with the same "
          f"fill (two cores, exact zero test on; determinant {det * 1000:.1f} ms):")
    print(f"| {'work':<26}| {'time':>10} | {'determinant':>11} | ratio | target  | holds |")
    print(f"|{'-' * 27}|{'-' * 12}|{'-' * 13}|-------|---------|-------|")
    for label, t, yardstick_time in rows:
        ratio = t / yardstick_time
        held = "yes" if ratio <= 1.3 else "NO"
        print(f"| {label:<26}| {t * 1000:>7.1f} ms | {yardstick_time * 1000:>8.1f} ms | {ratio:5.2f} "
              f"| <= 1.30 | {held:<5} |")


def small_wholes_rows():
    """Whole runs of inverses filled at random from 1 to 10, where nearly
    every minor meets exact zeros in its first steps, on two cores; and the
    same with 1 to 100."""
    rows = []
    for side in (100, 200):
        times = []
        for top in (10, 100):
            inputs = write(f"inverse{side}_{top}.in", f"6\n{side}\n{side}\n1\n{top}\n2\n9\n")
            times.append(statistics.median(run_once(program_command(2), inputs, program_env(2))[0]
                                           for _ in range(3)))
        rows.append((side, *times))
    return rows


def print_small_wholes(rows):
    print("for information, inverses of random whole numbers (two cores, whole runs):")
    for side, small, large in rows:
        print(f"  side {side}: 1 to 10 {small:.2f} s, 1 to 100 {large:.2f} s")


CLIFF_ROUNDS = 3
CLIFF_FILLS = (1, 2, 3, 5, 10, 100, 1000)
INVERSE_FILLS = (2, 3, 10, 100)
TYPED_SEED = 2000
DECLINED = b"Vuoi salvare"


def run_checked(inputs, marker, limit):
    """Wall seconds of one run on two cores, exact zero test on, whose
    output must hold `marker` (the dialogue went where it was meant to);
    None if it ran past `limit` seconds (0: no limit) and was stopped."""
    stopped = threading.Event()
    with open(inputs) as stdin:
        start = time.monotonic()
        child = subprocess.Popen(program_command(2), stdin=stdin, stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL, env=program_env(2))

        def stop():
            stopped.set()
            child.kill()

        timer = threading.Timer(limit, stop) if limit > 0 else None
        if timer:
            timer.start()
        seen, last = False, b""
        while chunk := child.stdout.read(1 << 20):
            seen = seen or marker in last + chunk
            last = chunk[-len(marker):]
        status = child.wait()
        wall = time.monotonic() - start
        if timer:
            timer.cancel()
    if stopped.is_set():
        return None
    if status != 0:
        sys.exit(f"{inputs} failed with status {status}")
    if not seen:
        sys.exit(f"{inputs}: no {marker.decode()!r} in the output")
    return wall


def typed_numbers(n):
    """n x n numbers k / 100, k at random from 1 to 9999, two decimals, one
    a line, drawn once with a fixed seed; written line by line (see
    typed_input)."""
    path = os.path.join(work, f"typed{n}_numbers.txt")
    rng = random.Random(TYPED_SEED)
    with open(path, "w") as f:
        for _ in range(n * n):
            k = rng.randint(1, 9999)
            f.write(f"{k // 100}.{k % 100:02d}\n")
    return path


def write_around(name, head, numbers, tail):
    path = os.path.join(work, name)
    with open(path, "w") as f, open(numbers) as typed:
        f.write(head)
        shutil.copyfileobj(typed, f)
        f.write(tail)
    return path


def measure_cliffs(rows):
    """Each row's dialogue and its baseline run in turn, row after row,
    round after round: median seconds beyond the baseline over
    CLIFF_ROUNDS rounds. A row's first pair only warms up when its
    dialogue took under two seconds; a row whose dialogue runs past the
    limit is stopped and shows the bound it passed."""
    results = [[] for _ in rows]
    warm = [False] * len(rows)
    bound = [None] * len(rows)
    def wanted(i):
        return bound[i] is None and len(results[i]) < CLIFF_ROUNDS
    while any(wanted(i) for i in range(len(rows))):
        for i, (_, inputs, baseline, marker) in enumerate(rows):
            if not wanted(i):
                continue
            t = run_checked(inputs, marker, cliff_limit)
            b = run_checked(baseline, DECLINED, 0)
            if t is None:
                bound[i] = cliff_limit - b
            elif warm[i] or t >= 2.0:
                results[i].append(max(t - b, 1e-6))
            warm[i] = True
    return [(label, statistics.median(r) if r else None, bound[i], len(r))
            for i, ((label, *_), r) in enumerate(zip(rows, results))]


def cliff_rows(n):
    """The determinant, the rank and the system of n x n matrices of every
    kind, and inverses of 100 and 200 on small fills: the time beyond the
    same dialogue with a declined transpose, against the fill 1 to 100 at
    the same side and operation."""
    numbers = typed_numbers(n)
    rank_one = f"4\n{n}\n1\n1\n100\n1\n{n}\n1\n100\n1\n1\n"
    operations = (("determinant", 5, b"Determinante="), ("rank", 7, b"Rango="),
                  ("system", 8, b"Rango della matrice completa="))
    groups = []
    for name, choice, marker in operations:
        def tail(unique=True):
            # the system asks for its known terms, and to keep a unique solution
            return {5: "9\n", 7: "9\n", 8: "1\n100\n0\n9\n" if unique else "1\n100\n9\n"}[choice]
        rows = []
        for top in CLIFF_FILLS:
            head = f"{n}\n{n}\n1\n{top}\n"
            rows.append((f"{name} {n}, 1 to {top}",
                         write(f"cliff{choice}_{top}.in", f"{choice}\n{head}{tail(top > 1)}"),
                         write(f"cliff3_{top}.in", f"3\n{head}2\n9\n"), marker))
        rows.append((f"{name} {n}, typed, two decimals",
                     write_around(f"cliff{choice}_typed.in", f"{choice}\n{n}\n{n}\n2\n",
                                  numbers, tail()),
                     write_around("cliff3_typed.in", f"3\n{n}\n{n}\n2\n", numbers, "2\n9\n"),
                     marker))
        rows.append((f"{name} {n}, rank-one product",
                     write(f"cliff{choice}_rank_one.in", f"{rank_one}{choice}\n{tail(False)}"),
                     write("cliff3_rank_one.in", f"{rank_one}3\n2\n9\n"), marker))
        groups.append(rows)
    for side in (100, 200):
        rows = []
        for top in INVERSE_FILLS:
            head = f"{side}\n{side}\n1\n{top}\n"
            rows.append((f"inverse {side}, 1 to {top}",
                         write(f"cliff6_{side}_{top}.in", f"6\n{head}2\n9\n"),
                         write(f"cliff3_{side}_{top}.in", f"3\n{head}2\n9\n"),
                         b"La matrice INVERSA"))
        groups.append(rows)
    start = time.monotonic()
    measured = []
    for rows in groups:
        results = measure_cliffs(rows)
        yardstick_time = next(t for label, t, _, _ in results if label.endswith(", 1 to 100"))
        measured.append([(*r, yardstick_time) for r in results])
    return measured, time.monotonic() - start


def print_cliffs(measured):
    groups, seconds = measured
    limit = f"; runs stopped past {cliff_limit:.0f} s" if cliff_limit > 0 else ""
    print("no cliff: whole dialogues beyond the same dialogue with a declined transpose, "
          "against the fill 1 to 100 at the same side and operation (two cores, exact zero "
          f"test on; medians of {CLIFF_ROUNDS} rounds{limit}):")
    print(f"| {'work':<38}| {'time':>11} | {'1 to 100':>10} | ratio  | target  | holds |")
    print(f"|{'-' * 39}|{'-' * 13}|{'-' * 12}|--------|---------|-------|")
    for rows in groups:
        for label, t, bound, count, yardstick_time in rows:
            if t is None:
                shown = f"> {bound:.1f} s"
                ratio = f">{bound / yardstick_time:5.1f}" if yardstick_time else "     ?"
                held = "NO"
            else:
                shown = f"{t * 1000:.1f} ms"
                ratio = f"{t / yardstick_time:6.2f}" if yardstick_time else "     ?"
                held = "yes" if yardstick_time and t / yardstick_time <= 1.5 else "NO"
            yard = f"{yardstick_time * 1000:.1f} ms" if yardstick_time else "?"
            print(f"| {label:<38}| {shown:>11} | {yard:>10} | {ratio} | <= 1.50 | {held:<5} |")
    print(f"(the table took {seconds:.0f} s)")


def processor_name():
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    return "unknown"


def print_blas(n, top):
    print(f"for information, OpenBLAS ({CORE_TYPE}, FMA, the call alone):")
    for threads in (1, 2):
        gemm = blas_seconds("sgemm", n, threads)
        lu = blas_seconds("sgetrf", n, threads)
        print(f"  {threads} core(s): sgemm 2000 {gemm * 1000:.1f} ms "
              f"({2.0 * n**3 / gemm / 1e9 / top[threads]:.2f} of the ceiling), "
              f"sgetrf 2000 {lu * 1000:.1f} ms "
              f"({2.0 * n**3 / 3 / lu / 1e9 / top[threads]:.2f})")


def main():
    n = 2000
    if only == "cliffs":
        print(f"processor: {processor_name()}; kernels: {variant or 'widest'}")
        print()
        print_cliffs(cliff_rows(n))
        return
    isa, top = ceiling()
    rows, peak = rate_rows(n)
    typed = typed_input()
    _, _, _, typed_ratio, _ = paired(
        (["sh", "-c", f"cat {typed} | {program}"], None),
        (["sh", "-c", f"cat {typed} | {yardstick('scanf_loop')} 1000 1000"], None))
    # The data model of the product: the working matrix's pairs (the first
    # factor, read in place, and room for a kept result), the second matrix
    # and the product: 2 + 1 + 1 matrices.
    model_kib = (2 + 1 + 1) * n * n * 4 / 1024
    floor = statistics.median(run_once(program_command(2), random_dialogue(6, 2, ""))[0]
                              for _ in range(runs))
    exact_zeros = exact_zero_rows(n)
    small_wholes = small_wholes_rows()
    det, rank_rows = rank_and_system_rows(n)
    cliffs = cliff_rows(n)

    print(f"processor: {processor_name()}, {isa} ceiling (acc = acc + b*m, no FMA): one core {top[1]:.1f} GFLOP/s, "
          f"two cores {top[2]:.1f} GFLOP/s; kernels: {variant or 'widest'}; runs: {runs}; medians")
    print()
    print_table(rows, typed_ratio, peak, model_kib)
    print()
    print("ratios: rate over the ceiling with as many cores, measured beside each run; typed "
          "numbers: time over a C printf + scanf loop; memory: peak over the data model "
          f"({model_kib / 1024:.0f} MB: working pairs, second matrix, product)")
    print()
    print_exact_zero_rows(exact_zeros)
    print()
    print_small_wholes(small_wholes)
    print()
    print_rank_and_system(det, rank_rows)
    print()
    print_cliffs(cliffs)
    print()
    print_blas(n, top)
    print(f"floor of a run (2 x 2 inverse): {floor * 1000:.1f} ms")


main()
