#!/usr/bin/env python3
"""End-to-end harness: runs the real programs on real input and compares
standard output, standard error and exit status exactly.

A case file (*.t) holds cases; each case starts with a line "=== title"
and consists of sections, each starting with a line "--- kind [words]":

  --- file NAME [escaped]   a file created in the case's scratch directory
  --- stdin [escaped]       standard input of the command (default: empty)
  --- run                   the command: one /bin/bash script (pipes allowed)
  --- stdout [escaped]      expected standard output (default: empty)
  --- stderr [escaped]      expected standard error (default: empty)
  --- status N              expected exit status (default: 0)
  --- env NAME=VALUE ...    extra environment for the command
  --- timeout SECONDS       time limit on a quiet machine (default: 60); three
                            times that under the sanitizers. A case that takes
                            more than a third of its limit is reported as SLOW
                            (not a failure), so that limits keep their margin.
  --- unsanitized           run only when the programs are not built with
                            the sanitizers (memory limits and the like)
  --- setup NAME            the set-up block NAME first: its files, and its
                            script before the case's own
  --- tags WORD ...         words that --tags selects the case by
  --- needs COMMAND [NAME]  skip the case, saying "skipped: NAME is not
                            installed", when COMMAND is not on the PATH

A block "=== setup NAME" holds the files and the script (a "--- run"
section) that cases share; it is not a case itself.

A section's text is every line up to the next "--- " or "=== " line, each
with its newline. The word "noeol" after a text section drops the final
newline; "escaped" decodes backslash escapes (\\x00, \\xff, \\t, \\\\) so that
NUL and invalid bytes can be written. Lines starting with "#" before the
first "===" are comments. The programs are found first on PATH (--bin), so
that their messages carry their bare names. The locale is C.UTF-8 unless a
case sets LC_ALL. RK_E2E_DIR names the directory of the case file.
"""
import argparse
import codecs
import difflib
import os
import shutil
import subprocess
import sys
import tempfile
import time

TEXT_KINDS = {"file", "stdin", "stdout", "stderr"}


def decode(text, words):
    data = text.encode("utf-8")
    if "escaped" in words:
        data = codecs.escape_decode(data)[0]
    if "noeol" in words and data.endswith(b"\n"):
        data = data[:-1]
    return data


def parse(path):
    cases = []
    case = None
    section = None
    lines = open(path, encoding="utf-8").read().split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    body = []

    def close_section():
        nonlocal section, body
        if section is not None:
            kind, words = section
            text = "".join(line + "\n" for line in body)
            case["sections"].append((kind, words, text))
        section = None
        body = []

    for lineno, line in enumerate(lines, 1):
        if line.startswith("=== "):
            close_section()
            case = {"title": line[4:].strip(), "line": lineno, "sections": []}
            cases.append(case)
        elif line.startswith("--- ") and case is not None:
            close_section()
            words = line[4:].split()
            section = (words[0], words[1:])
        elif section is not None:
            body.append(line)
        elif case is not None and line.strip():
            raise SystemExit(f"{path}:{lineno}: text outside a section")
    close_section()
    setups = {c["title"].split()[1]: c for c in cases if c["title"].startswith("setup ")}
    cases = [c for c in cases if not c["title"].startswith("setup ")]
    for c in cases:
        for kind, words, _ in list(c["sections"]):
            if kind == "setup":
                c["sections"] = setups[words[0]]["sections"] + c["sections"]
    return cases


def run_case(case, bindir):
    files, stdin, script = {}, b"", None
    expect = {"stdout": b"", "stderr": b"", "status": 0}
    env = dict(os.environ)
    env["PATH"] = bindir + os.pathsep + env.get("PATH", "")
    env["LC_ALL"] = "C.UTF-8"
    timeout = 60
    for kind, words, text in case["sections"]:
        if kind == "file":
            files[words[0]] = decode(text, words[1:])
        elif kind == "stdin":
            stdin = decode(text, words)
        elif kind == "run":
            script = text if script is None else script + text
        elif kind in ("stdout", "stderr"):
            expect[kind] = decode(text, words)
        elif kind == "status":
            expect["status"] = int(words[0])
        elif kind == "env":
            for w in words:
                k, _, v = w.partition("=")
                env[k] = v
        elif kind == "timeout":
            timeout = float(words[0])
        elif kind in ("setup", "tags"):
            pass
        elif kind == "unsanitized":
            if os.environ.get("RK_SANITIZED") == "1":
                return None
        elif kind == "needs":
            if shutil.which(words[0]) is None:
                print(f"skipped: {' '.join(words[1:]) or words[0]} is not installed ({case['title']})")
                return None
        else:
            return [f"unknown section '{kind}'"]
    if script is None:
        return ["no '--- run' section"]
    with tempfile.TemporaryDirectory(prefix="rk-e2e-") as tmp:
        for name, data in files.items():
            path = os.path.join(tmp, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        if os.environ.get("RK_SANITIZED") == "1":
            timeout *= 3
        started = time.monotonic()
        try:
            proc = subprocess.run(["/bin/bash", "-c", script], input=stdin, cwd=tmp, env=env,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
        except subprocess.TimeoutExpired:
            return [f"timed out after {timeout} s"]
        took = time.monotonic() - started
        if took > timeout / 3:
            print(f"SLOW {case['title']}: {took:.1f} s of its {timeout:g} s")
    problems = []
    for kind, got in (("stdout", proc.stdout), ("stderr", proc.stderr)):
        if got != expect[kind]:
            want = expect[kind].decode("utf-8", "backslashreplace").splitlines(keepends=True)
            have = got.decode("utf-8", "backslashreplace").splitlines(keepends=True)
            diff = "".join(difflib.unified_diff(want, have, "expected " + kind, "actual " + kind))
            if len(diff) > 4000:
                diff = diff[:4000] + "...\n"
            problems.append(diff or f"{kind} differs (only in bytes not shown)")
    if proc.returncode != expect["status"]:
        problems.append(f"exit status {proc.returncode}, expected {expect['status']}")
    return problems


def tagged(case, words):
    return any(w in words for kind, tags, _ in case["sections"] if kind == "tags" for w in tags)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True, help="directory of the programs under test")
    ap.add_argument("--tags", help="run only the cases tagged with one of these words (comma-separated)")
    ap.add_argument("files", nargs="+")
    opts = ap.parse_args()
    bindir = os.path.abspath(opts.bin)
    passed = failed = skipped = 0
    for path in opts.files:
        # Helpers kept next to the case file: $RK_E2E_DIR/name.py.
        os.environ["RK_E2E_DIR"] = os.path.dirname(os.path.abspath(path))
        for case in parse(path):
            if opts.tags and not tagged(case, opts.tags.split(",")):
                continue
            problems = run_case(case, bindir)
            if problems is None:
                skipped += 1
            elif problems:
                failed += 1
                print(f"FAIL {path}:{case['line']}: {case['title']}")
                for p in problems:
                    print("    " + p.replace("\n", "\n    "))
            else:
                passed += 1
    print(f"{passed} passed, {failed} failed" + (f", {skipped} skipped" if skipped else ""))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
