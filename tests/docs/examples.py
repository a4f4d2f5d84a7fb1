#!/usr/bin/env python3
"""Runs every example of the manual pages and the README that shows its
output, and checks that output, so that the documentation cannot drift.

An example is a line "$ command" inside a block of literal text (a .nf/.fi
block of a manual page, a ``` block of the README); the lines after it, up
to the next "$ " line or the end of the block, are its standard output. The
examples of one document run in order in one scratch directory holding a
copy of examples/; "$ cat NAME" of a file that does not exist yet shows the
file's contents and creates it. A document's examples run with the programs
of --bin first on PATH, in the C.UTF-8 locale, standard error shown with
standard output as on a terminal, and $? holding the status of the example
before. An example that shows no output is run (a later one may read what
it writes) but not checked: some stand for a user's own files.

    examples.py --bin DIR FILE...
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

# troff escapes used in the manual pages' examples (and \[uXXXX], any
# character by its code)
TROFF = [("\\&", ""), ("\\-", "-"), ("\\e", "\\"), ("\\(aq", "'"), ("\\(dq", '"'), ("\\(ga", "`"),
         ("\\ ", " "), ("\\~", " "), ("\\(en", "\u2013"), ("\\(em", "\u2014")]


def untroff(line):
    out = []
    i = 0
    while i < len(line):
        named = re.match(r"\\\[u([0-9A-F]{4,6})\]", line[i:])
        if named:
            out.append(chr(int(named.group(1), 16)))
            i += named.end()
            continue
        for esc, text in TROFF:
            if line.startswith(esc, i):
                out.append(text)
                i += len(esc)
                break
        else:
            out.append(line[i])
            i += 1
    return "".join(out)


def blocks(path):
    """The literal blocks of a document, each a list of lines."""
    lines = open(path, encoding="utf-8").read().split("\n")
    found, cur = [], None
    man = re.search(r"\.[1-8]$", path) is not None
    for line in lines:
        if man:
            if line.startswith(".nf"):
                cur = []
            elif line.startswith(".fi"):
                if cur is not None:
                    found.append(cur)
                cur = None
            elif cur is not None and not line.startswith((".RS", ".RE", ".PP", ".ft", ".B ", ".I ")):
                cur.append(untroff(line))
        elif line.startswith("```"):
            if cur is None:
                cur = []
            else:
                found.append(cur)
                cur = None
        elif cur is not None:
            cur.append(line)
    return found


def examples(path):
    """(command, expected output) pairs in document order."""
    result = []
    for block in blocks(path):
        cmd, out = None, []
        for line in block + ["$ "]:
            if line.startswith("$ "):
                if cmd:
                    result.append((cmd, "".join(l + "\n" for l in out)))
                cmd, out = line[2:].strip(), []
            elif cmd is not None:
                out.append(line)
    return result


def run_document(path, bindir, repo):
    failures, count = [], 0
    with tempfile.TemporaryDirectory() as work:
        shutil.copytree(os.path.join(repo, "examples"), os.path.join(work, "examples"))
        env = dict(os.environ, LC_ALL="C.UTF-8", PATH=bindir + os.pathsep + os.environ.get("PATH", ""))
        status = 0
        for cmd, want in examples(path):
            m = re.fullmatch(r"cat (\S+)", cmd)
            if m and not os.path.exists(os.path.join(work, m.group(1))):
                with open(os.path.join(work, m.group(1)), "w", encoding="utf-8") as f:
                    f.write(want)
                continue
            r = subprocess.run(["/bin/bash", "-c", f"(exit {status}); {cmd}"], cwd=work, env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
            status = r.returncode
            if not want.strip():
                continue
            count += 1
            got = r.stdout.decode("utf-8", "replace")
            if got.rstrip("\n") != want.rstrip("\n"):
                failures.append(f"{path}: $ {cmd}\n    expected:\n{indent(want)}    got:\n{indent(got)}")
    return count, failures


def indent(text):
    return "".join("      " + l + "\n" for l in text.split("\n"))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("files", nargs="+")
    a = ap.parse_args()
    repo = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    total, failed = 0, []
    for path in a.files:
        n, f = run_document(path, os.path.abspath(a.bin), repo)
        if n == 0:
            failed.append(f"{path}: no examples found")
        total += n
        failed += f
    for f in failed:
        print("FAIL " + f)
    print(f"{total} examples, {len(failed)} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
