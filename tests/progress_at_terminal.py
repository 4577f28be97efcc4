#!/usr/bin/env python3
"""The line of progress of long work, with standard error a terminal (a
pseudo-terminal here): it is drawn there and erased before the dialogue goes
on, and standard output is byte for byte what it is when standard error is a
pipe, which gets nothing.

usage: progress_at_terminal.py PROGRAM TRANSCRIPT_DIR
"""
import os
import pty
import re
import subprocess
import sys
import threading

program, transcripts = sys.argv[1:3]


def read_all(stream, into):
    into.append(stream.read())


def read_terminal(master, into):
    chunks = []
    while True:
        try:
            chunk = os.read(master, 65536)
        except OSError:  # the other side closed
            break
        if not chunk:
            break
        chunks.append(chunk)
    into.append(b"".join(chunks))


def run(stdin_bytes, terminal):
    """Standard output and standard error of one run; standard error a
    pseudo-terminal when `terminal` is true, a pipe otherwise."""
    master = slave = None
    if terminal:
        master, slave = pty.openpty()
    child = subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             stderr=slave if terminal else subprocess.PIPE)
    if terminal:
        os.close(slave)
    out, err = [], []
    readers = [threading.Thread(target=read_all, args=(child.stdout, out)),
               threading.Thread(target=read_terminal, args=(master, err)) if terminal
               else threading.Thread(target=read_all, args=(child.stderr, err))]
    for reader in readers:
        reader.start()
    child.stdin.write(stdin_bytes)
    child.stdin.close()
    status = child.wait(timeout=300)
    for reader in readers:
        reader.join()
    if terminal:
        os.close(master)
    assert status == 0, f"exit status {status}"
    return out[0], err[0]


def screen_line(text):
    """The screen line left by `text` (backspaces move back, other characters
    overwrite) and where the cursor ends."""
    cells, cursor = [], 0
    for ch in text:
        if ch == "\b":
            cursor = max(cursor - 1, 0)
            continue
        if cursor == len(cells):
            cells.append(ch)
        else:
            cells[cursor] = ch
        cursor += 1
    return "".join(cells), cursor


def check(name, stdin_bytes, label, expected_out=None):
    out, err = run(stdin_bytes, terminal=False)
    assert err == b"", f"{name}: standard error is a pipe, yet got {err[:200]!r}"
    if expected_out is not None:
        assert out == expected_out, f"{name}: output differs from its transcript"
    at_terminal, drawn = run(stdin_bytes, terminal=True)
    assert at_terminal == out, f"{name}: the output changes when standard error is a terminal"
    drawn = drawn.decode()
    assert drawn.startswith(f"{label}: 0%"), f"{name}: no line of progress: {drawn[:200]!r}"
    drawings = re.fullmatch(f"(?:{re.escape(label)}: [0-9]{{1,3}}%)+ *", drawn.replace("\b", ""))
    assert drawings, f"{name}: more than the line of progress: {drawn[:200]!r}"
    line, cursor = screen_line(drawn)
    assert line.strip() == "" and cursor == 0, f"{name}: the line is not erased: {drawn[-200:]!r}"
    print(f"{name}: {drawn.count('%')} drawings, erased; output unchanged")


def main():
    with open(os.path.join(transcripts, "inv_side_100_typed.in"), "rb") as f:
        typed = f.read()
    with open(os.path.join(transcripts, "inv_side_100_typed.out"), "rb") as f:
        expected = f.read()
    check("inverse of side 100", typed, "Calcolo dell'inversa", expected)
    # 100,000,000 elements: the smallest fill that shows its progress.
    check("random fill of 10000 x 10000", b"9\n10000\n10000\n1\n100\n", "Generazione degli elementi")
    # From 2^30 multiply-adds the echelon form shows its progress: a system of
    # 1024 unknowns and the rank of 1040 x 1040, both of ones (the same draws
    # in both runs), the rank going the echelon way after its first step.
    check("system of 1024 unknowns", b"8\n1024\n1024\n1\n1\n1\n1\n9\n",
          "Risoluzione del sistema")
    check("rank of 1040 x 1040 ones", b"7\n1040\n1040\n1\n1\n9\n", "Calcolo del rango")
    # A determinant from side 1000 on; ones go the slow way of their zeros.
    check("determinant of 1000 x 1000 ones", b"5\n1000\n1000\n1\n1\n9\n",
          "Calcolo del determinante")


main()
