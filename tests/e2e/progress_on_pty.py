#!/usr/bin/env python3
"""Runs a command with its standard error on a pseudo-terminal and its
standard output to out.rk, and prints the status and what reached the
terminal: each rewrite of the progress line on a line of its own (a run of
equal rewrites once), numbers as N, the erasing sequence as <erase>."""
import os, pty, re, subprocess, sys
master, slave = pty.openpty()
p = subprocess.Popen(sys.argv[1:], stdout=open("out.rk", "wb"), stderr=slave)
os.close(slave)
got = b""
while True:
    try:
        chunk = os.read(master, 65536)
    except OSError:
        break
    if not chunk:
        break
    got += chunk
print("status", p.wait())
text = re.sub(r"[0-9]+(\.[0-9])?", "N", got.decode().replace("\x1b[K", "<erase>"))
lines = text.replace("\r\n", "\n").split("\r")[1:]
seen = []
for l in lines:  # the rewrites of one kind of line count once
    if not seen or seen[-1] != l:
        seen.append(l)
print("\n".join(seen))
