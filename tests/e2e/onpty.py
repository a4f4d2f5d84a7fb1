#!/usr/bin/env python3
"""Runs a command with its standard error on a pseudo-terminal, as when a
person runs it: writes the command's standard output, then "--", then what
reached the terminal (its CR LF line ends made LF again), then the status."""
import os
import pty
import subprocess
import sys

master, slave = pty.openpty()
proc = subprocess.Popen(sys.argv[1:], stdout=subprocess.PIPE, stderr=slave)
os.close(slave)
out = proc.stdout.read()
err = b""
while True:
    try:
        chunk = os.read(master, 4096)
    except OSError:  # the terminal's other side closed
        break
    if not chunk:
        break
    err += chunk
status = proc.wait()
sys.stdout.buffer.write(out + b"--\n" + err.replace(b"\r\n", b"\n") + b"status %d\n" % status)
