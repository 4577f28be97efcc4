#!/usr/bin/env python3
"""What a terminal shows of a dialogue: PROGRAM (the native build) runs on a
pseudo-terminal, each line of INPUT is typed once the program waits for it
(its output has stopped), and Enter; one key ends the final wait. Prints the
screen's text, each line without its trailing spaces, then the page's
closing words: the expected text of the browser test's dialogue
(tests/web/NAME.screen, from NAME.in).

usage: screen_at_terminal.py PROGRAM INPUT > NAME.screen
"""
import os
import pty
import select
import subprocess
import sys

ENDED = "Il dialogo è terminato. Premere Invio per ricominciare."
QUIET_SECONDS = 0.3


def read_until_quiet(master):
    chunks = []
    while select.select([master], [], [], QUIET_SECONDS)[0]:
        try:
            chunk = os.read(master, 65536)
        except OSError:  # the program has ended
            break
        if not chunk:
            break
        chunks.append(chunk)
    return b"".join(chunks)


def main():
    program, input_path = sys.argv[1:3]
    with open(input_path, "rb") as typed:
        lines = typed.read().splitlines()
    master, slave = pty.openpty()
    child = subprocess.Popen([program], stdin=slave, stdout=slave, stderr=slave)
    os.close(slave)
    screen = []
    for typed in [line + b"\n" for line in lines] + [b"x"]:  # x: the key at the end
        screen.append(read_until_quiet(master))
        os.write(master, typed)
    screen.append(read_until_quiet(master))
    child.wait(timeout=60)
    os.close(master)
    text = b"".join(screen).decode().replace("\r", "")
    rows = [row.rstrip(" ") for row in text.split("\n")]
    sys.stdout.write("\n".join(rows).rstrip("\n") + "\n\n" + ENDED + "\n")


if __name__ == "__main__":
    main()
