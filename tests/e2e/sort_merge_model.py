#!/usr/bin/env python3
"""Rksort -m against a model: generated inputs, each sorted by the model
(several files or standard input, equal keys within and across them,
records without key fields, every key flag, now and then an input out of
order), merged by the real program and by the model below.

Usage: python3 sort_merge_model.py --bin DIR [--cases N] [--seed S] [--jobs J]

Prints "cases N differences D"; up to three differences go to stderr.
The records, keys and their order come from merge_model.py.
"""

import argparse
import functools
import os
import random
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

import merge_model as mm

FLAGS = ["", "n", "r", "nr", "b", "d", "f", "i", "bf", "dr", "fi", "bdfi"]
TEXT_POOL = ["a", "A", "b", "B", " b", "\tb", "a-b", "ab", "a b", "é", "É",
             "\x7fa", "10", "9", ""]
ADVICE = ("Rksort: sort each input with Rksort by the same key-field list "
          "and key flags, or sort them together without -m.\n")


def gen_case(rng):
    """Returns (argv, files {name: text}, stdin_text, (inputs, labels,
    entries)): the record line lists of each input in merge order, the
    inputs' names in messages and the key-field list."""
    names = ["id", "sub"] if rng.random() < 0.4 else ["id"]
    kopt = rng.choice([None, None, "n", "r", "f", "b"])
    klist = ",".join(nm if rng.random() < 0.3 else nm + ":" + rng.choice(FLAGS)
                     for nm in names)
    entries = mm.parse_key_list(klist, mm.parse_key_flags(kopt or "")[0], [])
    pool = mm.NUM_KEY_POOL if entries[0].flags & mm.F_N else TEXT_POOL
    pool_id = rng.sample(pool, rng.choice([1, 2, 3, 5]))
    inputs = []
    for _ in range(rng.choice([1, 2, 2, 3, 3, 4])):
        recs = mm.gen_input_records(rng, names, False, pool_id, mm.SUB_POOL, entries)
        for _ in range(rng.choice([0, 0, 1, 2])):  # records without key fields
            recs.append(mm.gen_record_lines(rng, [[] for _ in names], names))
        recs = mm.sort_records(recs, entries)
        if rng.random() < 0.12:
            recs, _ = mm.break_order(rng, recs, entries)
        inputs.append(recs)
    argv = ["-m"] + (["-k", kopt] if kopt else []) + [klist]
    files, stdin_text, labels = {}, "", []
    stdin_at = rng.randrange(len(inputs)) if rng.random() < 0.2 else -1
    for i, recs in enumerate(inputs):
        if i == stdin_at:
            stdin_text = mm.render(rng, recs)
            labels.append("(stdin)")
            if len(inputs) > 1:
                argv.append("-")
        else:
            files[mm.FILE_NAMES[i]] = mm.render(rng, recs)
            labels.append(mm.FILE_NAMES[i])
            argv.append(mm.FILE_NAMES[i])
    return argv, files, stdin_text, (inputs, labels, entries)


def model(inputs, label, entries):
    """The merge: each input's current record and the next one, read when
    the current one comes up, checked against it; the smallest key goes
    out first, ties by input."""
    keys = [[mm.key_of_lines(r, entries) for r in recs] for recs in inputs]
    cur = [0] * len(inputs)
    out = []

    def check(i):  # the record after the current one is read
        j = cur[i] + 1
        if j < len(keys[i]) and mm.compare_keys(keys[i][j], keys[i][j - 1], entries) < 0:
            return "Rksort: key sequence error, stop at %s(%d)!\n%s" % (label[i], j + 1, ADVICE)
        return None

    for i in range(len(inputs)):
        err = check(i)
        if err:
            return "".join(out), err, 3
    while True:
        live = [i for i in range(len(inputs)) if cur[i] < len(inputs[i])]
        if not live:
            return "".join(out), "", 0
        first = min(live, key=functools.cmp_to_key(lambda a, b: mm.compare_keys(
            keys[a][cur[a]], keys[b][cur[b]], entries) or a - b))
        out.append("".join(l + "\n" for l in inputs[first][cur[first]]) + "\n")
        cur[first] += 1
        err = check(first)
        if err:
            return "".join(out), err, 3


def run_case(bin_dir, case):
    argv, files, stdin_text, merged = case
    out, err, status = model(*merged)
    env = dict(os.environ, LC_ALL="C.UTF-8")
    env["PATH"] = bin_dir + os.pathsep + env.get("PATH", "")
    with tempfile.TemporaryDirectory(prefix="sm") as d:
        for name, text in files.items():
            with open(os.path.join(d, name), "wb") as fh:
                fh.write(text.encode("utf-8"))
        p = subprocess.run(["Rksort"] + argv, cwd=d, capture_output=True, env=env,
                           input=stdin_text.encode("utf-8"), timeout=20)
    return (out.encode(), err.encode(), status), (p.stdout, p.stderr, p.returncode)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--cases", type=int, default=3000)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--jobs", type=int, default=4)
    args = ap.parse_args()
    bin_dir = os.path.abspath(args.bin)
    cases = [gen_case(random.Random("%d/%d" % (args.seed, i))) for i in range(args.cases)]
    with ThreadPoolExecutor(max_workers=args.jobs) as ex:
        results = list(ex.map(lambda c: run_case(bin_dir, c), cases))
    diffs = [(c, r) for c, r in zip(cases, results) if r[0] != r[1]]
    for (argv, files, stdin_text, _), (want, got) in diffs[:3]:
        sys.stderr.write("--- Rksort %r files %r stdin %r\nwant %r\ngot  %r\n"
                         % (argv, files, stdin_text, want, got))
    print("cases %d differences %d" % (len(cases), len(diffs)))


if __name__ == "__main__":
    main()
