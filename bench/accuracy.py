#!/usr/bin/env python3
"""How often the determinant (menu choice 5) and the inverse (choice 6) print
a wrong result on matrices typed in, with the reduction's exact zero test
off (TRELVO_BENCH_FLOAT_ZEROS=1, zeros decided by the floats alone) and on.

Samples, for sides 5 to 8, COUNT seeded random matrices each: the determinant
with entries 1..5; the inverse with entries 1..5, with 1..10 and with -5..5;
the inverse with one-decimal entries (-2.0..2.0) and with two-decimal ones
(-2.00..2.00), every second of those singular: its last row a combination of
two others with one-decimal coefficients, typed with the decimals it needs.
Every matrix is typed in, so it is known exactly as typed; the truth is
computed in integers (fraction-free elimination, on the decimals scaled to
whole numbers) and fractions.

A result is wrong when its printed text differs from the exact value printed
the same way ("%.2f"; either neighbour where the exact value lies halfway)
and the printed value is off by more than 1e-3 relative (absolute 1e-3 where
the exact value is 0): for the determinant, the "Determinante=" line; for the
inverse, any one of its printed entries. Separately it counts the
confusions: an exactly singular matrix given an inverse, and an invertible
one refused as not invertible. The percentages are of all COUNT matrices of
a cell.

Many matrices go through one run of the program: each new whole-number
matrix is loaded by summing the difference to the one in memory and keeping
the sum; a decimal one (where the floats' difference is not exact) by a
kept product by the scalar 0, then a kept sum with the new matrix. A run
ends early at an inverse refused (its save question never comes); the next
run starts at the following matrix.

Needs the benchmark build (-DTRELVO_BENCH_SWITCHES=ON; make bench makes one
at build-bench/trelvo). Runs one program at a time, on one core; the
default 2000 matrices per cell take about 5 minutes.

usage: python3 bench/accuracy.py [--program build-bench/trelvo] [--count N]
                                 [--seed S]
"""
import argparse
import math
import os
import random
import subprocess
import sys
import time
from fractions import Fraction

SIDES = (5, 6, 7, 8)
# (heading, menu choice, lowest entry, highest entry, decimal places): the
# entries are whole numbers from lowest to highest over 10^places.
SAMPLES = (
    ("determinant wrong, fill 1..5", 5, 1, 5, 0),
    ("inverse with a wrong printed entry, fill 1..5", 6, 1, 5, 0),
    ("fill 1..10", 6, 1, 10, 0),
    ("typed -5..5", 6, -5, 5, 0),
    ("typed -2.0..2.0, half singular", 6, -20, 20, 1),
    ("typed -2.00..2.00, half singular", 6, -200, 200, 2),
)
BATCH = 100  # matrices per run of the program (a side 8 inverse prints ~0.5 MB)
PASS_END = b"RITORNA AL MENU'"
REFUSED = b"NON E' INVERTIBILE"


def exact_inverse(matrix):
    """(determinant, inverse as rows of Fractions or None) by fraction-free
    Gauss-Jordan elimination of [A | I]: it ends as [d I | d A^-1], d being
    the determinant up to the sign of the row exchanges."""
    n = len(matrix)
    rows = [list(row) + [int(i == j) for j in range(n)] for i, row in enumerate(matrix)]
    sign, previous = 1, 1
    for k in range(n):
        pivot = next((p for p in range(k, n) if rows[p][k]), None)
        if pivot is None:
            return 0, None
        if pivot != k:
            rows[k], rows[pivot] = rows[pivot], rows[k]
            sign = -sign
        for i in range(n):
            if i != k:
                rows[i] = [(rows[k][k] * a - rows[i][k] * b) // previous
                           for a, b in zip(rows[i], rows[k])]
        previous = rows[k][k]
    d = rows[0][0]
    return sign * d, [[Fraction(x, d) for x in row[n:]] for row in rows]


def printed(value):
    """The texts "%.2f" may show for the exact value: one, or two when the
    value lies exactly halfway between them (then the least rounding error
    decides, and either is right)."""
    scaled = abs(value) * 100
    low = math.floor(scaled)
    hundredths = {low, low + 1} if scaled - low == Fraction(1, 2) else {round(scaled)}
    return {("-" if value < 0 else "") + "%d.%02d" % divmod(h, 100) for h in hundredths}


def is_wrong(text, exact):
    if text in printed(exact):
        return False
    try:
        value = Fraction(text)
    except ValueError:  # inf, nan
        return True
    return abs(value - exact) > (Fraction(1, 1000) * abs(exact) if exact else Fraction(1, 1000))


def decimal_text(whole, places):
    """whole / 10^places as typed, with its decimals."""
    if places == 0:
        return "%d" % whole
    digits = "%0*d" % (places + 1, abs(whole))
    return ("-" if whole < 0 else "") + digits[:-places] + "." + digits[-places:]


def dialogue(choice, matrices, places):
    """What the user types: the first matrix directly, every later one as a
    kept sum with its difference to the one before (whole numbers) or with
    a matrix of zeros (decimals); after an inverse the save question is
    declined. Entries are whole numbers over 10^places."""
    n = len(matrices[0])
    words, before = [], None
    for matrix in matrices:
        cells = [x for row in matrix for x in row]
        if before is None:
            words += [choice, n, n, 2] + [decimal_text(x, places) for x in cells]
        elif places == 0:
            words += [2, n, n, 2] + [a - b for a, b in zip(cells, before)] + [1, 1, choice]
        else:
            words += [1, 0, 1, 1, 2, n, n, 2] + [decimal_text(x, places) for x in cells]
            words += [1, 1, choice]
        words += [1] if choice == 5 else [0, 1]
        before = cells
    words[-1] = 9
    return "".join("%s\n" % w for w in words).encode()


def results(output):
    """The result of every determinant or inverse pass, in order: the
    determinant's text, the inverse's entries as texts, or None (refused)."""
    found, start = [], 0
    while (end := output.find(PASS_END, start)) >= 0:
        tail = output[max(start, end - 8192):end]
        start = end + len(PASS_END)
        if b"Determinante=" in tail:
            found.append(tail.rsplit(b"Determinante=", 1)[1].split()[0].decode())
        elif REFUSED in tail:
            found.append(None)
        elif b"INVERSA E':" in tail:
            cells = tail.rsplit(b"INVERSA E':", 1)[1].split(b"Vuoi salvare")[0]
            found.append(split_cells(cells.decode()))
    return found


def split_cells(text):
    """Cells are "%7.2f" with nothing between them, so wide ones touch: each
    number ends two digits after its point."""
    cells = []
    for word in text.split():
        while word:
            point = word.find(".")
            cut = point + 3 if point >= 0 and not word.startswith(("inf", "-inf", "nan", "-nan")) \
                else len(word)
            cells.append(word[:cut])
            word = word[cut:]
    return cells


def run_program(program, env, choice, matrices, places):
    found = []
    while len(found) < len(matrices):
        batch = matrices[len(found):len(found) + BATCH]
        output = subprocess.run([program], input=dialogue(choice, batch, places), env=env,
                                stdout=subprocess.PIPE, check=False).stdout
        got = results(output)
        if not got:
            sys.exit("no result read from the program's output")
        found += got
    return found


def sample_matrix(rng, side, low, high, places, index):
    """Whole numbers over 10^places; for decimals every second matrix has as
    last row c1 * row 0 + c2 * row 1, c1 and c2 in tenths (so its entries
    take one decimal more)."""
    matrix = [[rng.randint(low, high) for _ in range(side)] for _ in range(side)]
    if places == 0:
        return matrix, 0
    matrix = [[10 * x for x in row] for row in matrix]
    if index % 2:
        c1, c2 = rng.randint(-15, 15), rng.randint(-15, 15)
        matrix[-1] = [(c1 * a + c2 * b) // 10 for a, b in zip(matrix[0], matrix[1])]
    return matrix, places + 1


def scaled_truth(matrix, places):
    """(determinant, inverse) of whole numbers over 10^places."""
    det, inverse = exact_inverse(matrix)
    scale = 10 ** places
    return (Fraction(det, scale ** len(matrix)),
            inverse and [[x * scale for x in row] for row in inverse])


def count_cell(choice, truths, found, confusions):
    wrong = 0
    for (det, inverse), result in zip(truths, found):
        if choice == 5:
            wrong += is_wrong(result, Fraction(det))
        elif result is None:
            confusions["invertible called singular"] += det != 0
        elif det == 0:
            confusions["singular called invertible"] += 1
        else:
            flat = [x for row in inverse for x in row]
            wrong += len(result) != len(flat) or any(map(is_wrong, result, flat))
    return wrong


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--program", default="build-bench/trelvo")
    parser.add_argument("--count", type=int, default=2000, help="matrices per cell")
    parser.add_argument("--seed", default="trelvo")
    args = parser.parse_args()

    modes = {"off": {"TRELVO_BENCH_FLOAT_ZEROS": "1"}, "on": {}}
    wrong = {}
    confusions = {mode: {"singular called invertible": 0, "invertible called singular": 0}
                  for mode in modes}
    began = time.time()
    for side in SIDES:
        for heading, choice, low, high, places in SAMPLES:
            rng = random.Random("%s %d %s" % (args.seed, side, heading))
            sampled = [sample_matrix(rng, side, low, high, places, k) for k in range(args.count)]
            matrices = [m for m, _ in sampled]
            typed_places = max(p for _, p in sampled)
            truths = [scaled_truth(m, typed_places) for m in matrices]
            for mode, switches in modes.items():
                env = dict(os.environ, TRELVO_BENCH_ONE_CORE="1", **switches)
                found = run_program(args.program, env, choice, matrices, typed_places)
                wrong[side, heading, mode] = count_cell(choice, truths, found, confusions[mode])
            print("side %d, %s: %d -> %d  (%.0f s)" % (side, heading, wrong[side, heading, "off"],
                  wrong[side, heading, "on"], time.time() - began), file=sys.stderr)

    def share(count):
        return "%.2f%% (%d)" % (100.0 * count / args.count, count)

    print("%d matrices per cell; exact zero test off -> on\n" % args.count)
    print("| side | " + " | ".join(h for h, *_ in SAMPLES) + " |")
    print("|---" * (len(SAMPLES) + 1) + "|")
    for side in SIDES:
        print("| %d | " % side + " | ".join(
            "%s -> %s" % (share(wrong[side, h, "off"]), share(wrong[side, h, "on"]))
            for h, *_ in SAMPLES) + " |")
    print()
    for kind in confusions["off"]:
        print("%s: %d -> %d" % (kind, confusions["off"][kind], confusions["on"][kind]))
    totals = ["%d" % (sum(v for k, v in wrong.items() if k[2] == mode)
                      + sum(confusions[mode].values())) for mode in modes]
    print("wrong in all, confusions included: %s of %d results"
          % (" -> ".join(totals), len(SIDES) * len(SAMPLES) * args.count))


if __name__ == "__main__":
    main()
