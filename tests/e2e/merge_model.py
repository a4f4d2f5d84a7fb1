#!/usr/bin/env python3
"""Executable model of Rkjoin and Rkupdate, with a case generator and a
differential runner.

Usage: python3 merge_model.py --bin DIR [--cases N] [--seed S] [--jobs J]

Each case writes 2 to 4 Rk-files into a fresh temporary directory, runs the
real program (found by its bare name through PATH, DIR first) and compares
its standard output, standard error and exit status byte for byte with what
the model below computes from the same files and command line.

Prints one line on stdout: "cases N differences D"; details of up to
--show differences (default 3) go to stderr.  The number of cases can also
be scaled with the environment variable MERGE_MODEL_CASES.

Python 3 standard library only.
"""

import argparse
import functools
import itertools
import os
import random
import re
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor


# ---------------------------------------------------------------------------
# Record reader
#
# A record is a run of non-empty lines, one field per line.  The name is
# everything before the first colon, the value everything after it; a line
# without a colon is a field without a name.  An empty line ends a record,
# any number of them produce nothing.  End of file ends the last line and the
# last record.  NUL characters vanish.  Every other character (blanks, tabs,
# carriage returns) is ordinary.

class Field:
    __slots__ = ("line", "name", "value")

    def __init__(self, line):
        # line: the line text without its newline
        i = line.find(":")
        if i < 0:
            self.name = None          # no name: the whole line is the value
            self.value = line
        else:
            self.name = line[:i]
            self.value = line[i + 1:]
        self.line = line + "\n"       # written back exactly as read


class Record:
    __slots__ = ("fields", "number", "key", "used")

    def __init__(self, fields, number):
        self.fields = fields
        self.number = number          # record number within its file, from 1
        self.key = None
        self.used = None              # indices of fields consumed by the key

    def all_lines(self):
        return "".join(f.line for f in self.fields)

    def nonkey_lines(self):
        return "".join(f.line for i, f in enumerate(self.fields)
                       if i not in self.used)


def read_records(text):
    text = text.replace("\0", "")
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()                   # text ended with a newline
    recs = []
    cur = []
    for ln in lines:
        if ln == "":
            if cur:
                recs.append(Record(cur, len(recs) + 1))
                cur = []
        else:
            cur.append(Field(ln))
    if cur:
        recs.append(Record(cur, len(recs) + 1))
    return recs


# ---------------------------------------------------------------------------
# Numbers: the value is read like strtod (leading white space skipped),
# trailing white space is allowed, anything else after the number makes it 0.

_WS = " \t\n\v\f\r"
_NUM_RE = re.compile(r"[+-]?(?:(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?"
                     r"|inf(?:inity)?|nan)", re.IGNORECASE)


def parse_number(s):
    i = 0
    while i < len(s) and s[i] in _WS:
        i += 1
    m = _NUM_RE.match(s, i)
    if not m:
        return 0.0
    # a hexadecimal integer: strtod stops at the x after a lone 0
    j = m.end()
    if j < len(s) and s[j] in "xX" and re.fullmatch(r"[+-]?0", m.group(0)):
        m2 = re.match(r"([+-]?)0[xX]([0-9a-fA-F]+)", s[i:])
        if m2:
            v = float(int(m2.group(2), 16))
            val = -v if m2.group(1) == "-" else v
            j = i + m2.end()
        else:
            val = 0.0
            j = i + len(m.group(0))
    else:
        try:
            val = float(m.group(0))
        except ValueError:
            val = 0.0
    while j < len(s) and s[j] in _WS:
        j += 1
    if j != len(s):
        return 0.0
    return val


# ---------------------------------------------------------------------------
# Key-field lists, keys and their comparison

FLAG_BITS = {"b": 1, "d": 2, "f": 4, "i": 8, "n": 16, "r": 32}
F_B, F_D, F_F, F_I, F_N, F_R = 1, 2, 4, 8, 16, 32


def parse_key_flags(text):
    """Flag letters up to the first other character; returns (flags, rest)."""
    fl = 0
    i = 0
    while i < len(text) and text[i] in FLAG_BITS:
        fl |= FLAG_BITS[text[i]]
        i += 1
    return fl, text[i:]


class KeyEntry:
    __slots__ = ("name", "flags")

    def __init__(self, name, flags):
        self.name = name
        self.flags = flags


def parse_key_list(text, default_flags, errors):
    """Parse an ordinary (inclusive) key-field list: names separated by
    commas and/or blanks, each optionally followed by a colon and its own
    key flags (which then replace the default flags entirely, even when the
    flag text is empty).  Backslash escapes and '^' lists are not generated
    by this runner and not modelled."""
    if text.startswith("^"):
        raise NotImplementedError("exclusive key lists")
    entries = []
    state = 0                     # 0: after a comma / start, 1: after blanks
    name = None
    newname = None
    i = 0
    n = len(text)

    def finish():
        if newname is None:
            entries.append(KeyEntry(name, None))
        else:
            entries.append(KeyEntry(name, newname))

    while i < n:
        c = text[i]
        if state in (0, 1):
            if c in " \t\n":
                i += 1
                continue
            if c == "," and state == 1:
                state = 0
                i += 1
                continue
            # open an entry
            if c == ",":
                name, newname = "", None
                finish()
                i += 1
                continue
            if c == ":":
                name, newname = "", ""
                state = 3
                i += 1
                continue
            name, newname = c, None
            state = 2
            i += 1
            continue
        if state == 2:
            if c in " \t\n":
                finish(); state = 1
            elif c == ",":
                finish(); state = 0
            elif c == ":":
                newname = ""
                state = 3
            else:
                name += c
            i += 1
            continue
        if state == 3:
            if c in " \t\n":
                finish(); state = 1
            elif c == ",":
                finish(); state = 0
            else:
                newname += c
            i += 1
            continue
    if state in (2, 3):
        finish()
    for e in entries:
        if e.flags is None:
            e.flags = default_flags
        else:
            fl, rest = parse_key_flags(e.flags)
            if rest:
                errors.append("unknown key flag '%s' in field %s.\n"
                              % (rest[0], e.name))
            e.flags = fl
    return entries


def make_key(rec, entries):
    """Build the key of a record.  Each key field takes every field of the
    record with its name, in record order, that no earlier key field has
    used; those fields are then consumed (they are the record's key fields
    and are not written again by the later inputs of a join)."""
    used = set()
    parts = []
    for e in entries:
        occ = []
        for idx, f in enumerate(rec.fields):
            if idx in used or f.name is None or f.name != e.name:
                continue
            if e.flags & F_N:
                occ.append(parse_number(f.value))
            else:
                v = f.value
                if e.flags & F_B:
                    v = v.lstrip(" \t")
                out = []
                for ch in v:
                    if e.flags & F_D and not (ch.isalnum() or ch.isspace()):
                        continue
                    if e.flags & F_I and not ch.isprintable():
                        continue
                    if e.flags & F_F and ch.islower():
                        ch = ch.upper()
                    out.append(ord(ch))
                # each occurrence is followed by the separator 1, the part by
                # the end word 0
                occ.extend(out)
                occ.append(1)
            used.add(idx)
        if not (e.flags & F_N):
            occ.append(0)
        parts.append(occ)
    rec.key = parts
    rec.used = used
    return parts


def _sign(x):
    return (x > 0) - (x < 0)


def compare_keys(k1, k2, entries):
    for e, p1, p2 in zip(entries, k1, k2):
        if e.flags & F_N:
            # value by value; a part that runs out first is smaller
            c = 0
            for a, b in zip(p1, p2):
                if a != b:
                    c = 1 if a > b else -1
                    break
            else:
                c = _sign(len(p1) - len(p2))
        else:
            # word by word by code value; both parts end in the word 0, which
            # is below the separator 1, which is below every character
            c = 0
            for a, b in zip(p1, p2):
                if a != b:
                    c = _sign(a - b)
                    break
        if c:
            return -c if e.flags & F_R else c
    return 0


# ---------------------------------------------------------------------------
# Option scanner (single letters; a letter followed by ':' takes an argument)

def scan_options(argv, optstring):
    flags = set()
    argl = set()
    i = 0
    while i < len(optstring):
        if i + 1 < len(optstring) and optstring[i + 1] == ":":
            argl.add(optstring[i]); i += 2
        else:
            flags.add(optstring[i]); i += 1
    opts = []
    k = 0
    while k < len(argv):
        a = argv[k]
        if not a.startswith("-") or a == "-":
            break
        if a == "--":
            k += 1
            break
        body = a[1:]
        if body and all(c in flags for c in body):
            for c in body:
                opts.append((c, ""))
            k += 1
            continue
        if body[:1] in argl:
            if len(body) > 1:
                opts.append((body[0], body[1:])); k += 1
            elif k + 1 < len(argv):
                opts.append((body[0], argv[k + 1])); k += 2
            else:
                opts.append((body[0], "")); k += 1
            continue
        opts.append(("?", a))
        k += 1
    return opts, argv[k:]


JOIN_USAGE = (
    "Rkjoin [-options] [^]key-field-list [input-file ..]\n"
    "\tjoins (n-way) Rk-files by key-field.\n"
    "\t\tInput files must be sorted by key-field-list order.\n"
    "\tOptions:\n"
    "\t-c\tperform core join.\n"
    "\t-k keyflags\tdefault key flags.\n"
    "\t-o output-spec\tfollowing; two or more -o are 'or'ed.\n"
    "\t\tmatched\toutput fully matched records only (DEFAULT).\n"
    "\t\tany\toutput any matched, unmatched, partially matched records.\n"
    "\t\t[10x]+ string: where 1 means corresponding file matches,\n"
    "\t\t\t0 means unmatches, and x means don't care.\n"
    "\t\t\t-o 111... is -o matched, -o xxx... is -o any.\n")

UPDATE_USAGE = (
    "Rkupdate [-options] [^]key-field-list input-file [update-file ..]\n"
    "\tupdates input file by update-file[s].\n"
    "\t\tInput and update files must be sorted by key-field-list order.\n"
    "\tOptions:\n"
    "\t-d the last update-file contains records to be deleted.\n"
    "\t-k keyflags\tdefault key flags.\n")


class SeqError(Exception):
    def __init__(self, name, number):
        Exception.__init__(self)
        self.name = name
        self.number = number


# ---------------------------------------------------------------------------
# The key-group merge shared by both programs

class MergeInput:
    """One input of the merge: its records (read lazily), the current key
    group and the read-ahead record (the first of the next key).  A record
    that holds no key field has no key: it goes to keyless(input, record)
    when it is read and takes no part in groups or the order check."""

    def __init__(self, number, name, records, entries, keyless):
        self.keyless = keyless
        self.number = number
        self.name = name
        self.records = records
        self.entries = entries
        self.pos = 0
        self.ahead = None
        self.group = []
        self.gkey = None

    def read_group(self):
        group = []
        gkey = None
        if self.ahead is not None:
            group.append(self.ahead)
            gkey = self.ahead.key
            self.ahead = None
        while self.pos < len(self.records):
            r = self.records[self.pos]
            self.pos += 1
            k = make_key(r, self.entries)
            if not r.used:
                self.keyless(self, r)
                continue
            if not group:
                group.append(r)
                gkey = k
                continue
            c = compare_keys(k, gkey, self.entries)
            if c == 0:
                group.append(r)
            elif c > 0:
                self.ahead = r          # starts the next group
                break
            else:
                raise SeqError(self.name, r.number)
        self.group = group
        self.gkey = gkey


def order_inputs(inputs, entries):
    """Inputs with a group first, by group key; ties and exhausted inputs by
    input number."""
    def cmp(a, b):
        ea, eb = not a.group, not b.group
        if ea != eb:
            return 1 if ea else -1
        if not ea:
            c = compare_keys(a.gkey, b.gkey, entries)
            if c:
                return c
        return a.number - b.number
    return sorted(inputs, key=functools.cmp_to_key(cmp))


def leading_run(order, entries):
    run = [order[0]]
    for inp in order[1:]:
        if inp.group and compare_keys(inp.gkey, order[0].gkey, entries) == 0:
            run.append(inp)
        else:
            break
    return run


# ---------------------------------------------------------------------------
# Output specs

def derive_specs(specs, ninputs, core):
    """Returns (any_flag, required list, number required)."""
    required = [True] * ninputs
    any_flag = False
    nreq = None
    if core and not specs:
        any_flag = True
        required = [i == 0 for i in range(ninputs)]
    else:
        for s in specs:
            if s == "any":
                any_flag = True
                nreq = 0
                break
            if s == "matched":
                continue
            for i in range(ninputs):
                if i >= len(s) or s[i] != "1":
                    required[i] = False
    if nreq is None:
        nreq = sum(required)
    return any_flag, required, nreq


def spec_fits(spec, has, start):
    """has[i]: whether input i has the key.  '1' needs it, '0' needs it
    absent, any other character (and any position past the string) does not
    care; "matched" is '1' everywhere."""
    for i in range(start, len(has)):
        if spec == "matched":
            ch = "1"
        elif i < len(spec):
            ch = spec[i]
        else:
            return True
        if ch == "1" and not has[i]:
            return False
        if ch == "0" and has[i]:
            return False
    return True


# ---------------------------------------------------------------------------
# The programs

def open_inputs(files, file_texts, stdin_text):
    """Names and texts of the inputs: the file arguments, at least two; with
    a single file argument the second input is standard input."""
    ins = []
    for f in files:
        if f == "-":
            ins.append(("(stdin)", stdin_text))
        else:
            ins.append((f, file_texts[f]))
    if len(ins) == 1:
        ins.append(("(stdin)", stdin_text))
    return ins


def model_join(argv, file_texts, stdin_text, prog="Rkjoin"):
    out = []
    opts, rest = scan_options(argv, "ck:o:D:")
    core = False
    default_flags = 0
    errors = []
    specs = []
    for c, a in opts:
        if c == "?":
            return "", JOIN_USAGE, 2
        if c == "c":
            core = True
        elif c == "k":
            fl, r = parse_key_flags(a)
            default_flags = fl
            if r:
                errors.append("unknown key flag '%s' in -k option.\n" % r[0])
        elif c == "o":
            specs.append(a)
        elif c == "D":
            raise NotImplementedError("-D")
    if len(rest) < 2:
        return "", JOIN_USAGE, 2
    entries = parse_key_list(rest[0], default_flags, errors)
    ins = open_inputs(rest[1:], file_texts, stdin_text)
    n = len(ins)
    any_flag, required, nreq = derive_specs(specs, n, core)
    if core and not required[0]:
        errors.append("with -c option, -o option's top must be '1'.\n")
    if errors:
        return "", "".join("%s: %s" % (prog, e) for e in errors), 2

    if core:
        # input 0 drives, in its own order; every other input is indexed by
        # key with equal keys chained in file order
        index = []
        for num in range(1, n):
            idx = []                              # list of (key, chain)
            for r in read_records(ins[num][1]):
                k = make_key(r, entries)
                if not r.used:
                    continue                      # no key: found by none
                for ek, chain in idx:
                    if compare_keys(ek, k, entries) == 0:
                        chain.append(r)
                        break
                else:
                    idx.append((k, [r]))
            index.append(idx)
        for r in read_records(ins[0][1]):
            k = make_key(r, entries)
            chains = []
            for idx in index:
                found = None
                for ek, chain in idx:
                    if r.used and compare_keys(ek, k, entries) == 0:
                        found = chain
                        break
                chains.append(found)
            has = [True] + [c is not None for c in chains]
            if not (any_flag or any(spec_fits(s, has, 1) for s in specs)):
                continue
            matched = [c for c in chains if c is not None]
            for combo in itertools.product(*matched):
                out.append(r.all_lines())
                for part in combo:
                    out.append(part.nonkey_lines())
                out.append("\n")
        return "".join(out), "", 0

    def writable(has):
        if any_flag:
            return True
        if sum(has) < nreq:
            return False
        return nreq == n or any(spec_fits(s, has, 0) for s in specs)

    def keyless(inp, r):
        # pairs with none: written when the set of its input alone may be
        if writable([i == inp.number for i in range(n)]):
            out.append(r.all_lines() + "\n")

    inputs = [MergeInput(i, nm, read_records(t), entries, keyless)
              for i, (nm, t) in enumerate(ins)]
    try:
        for inp in inputs:
            inp.read_group()
        while True:
            order = order_inputs(inputs, entries)
            if not order[0].group:
                break
            if nreq and any(required[i.number] and not i.group
                            for i in inputs):
                break
            run = leading_run(order, entries)
            has = [False] * n
            for inp in run:
                has[inp.number] = True
            if writable(has):
                for combo in itertools.product(*[i.group for i in run]):
                    out.append(combo[0].all_lines())
                    for part in combo[1:]:
                        out.append(part.nonkey_lines())
                    out.append("\n")
            for inp in run:
                inp.read_group()
    except SeqError as e:
        return ("".join(out),
                SEQ_ADVICE % (prog, e.name, e.number, prog, ", or use -c"), 3)
    return "".join(out), "", 0


SEQ_ADVICE = ("%s: key sequence error, stop at %s(%d)!\n"
              "%s: sort each input with Rksort by the same key-field list "
              "and key flags%s.\n")


def model_update(argv, file_texts, stdin_text, prog="Rkupdate"):
    out = []
    opts, rest = scan_options(argv, "dk:D:")
    delete = False
    default_flags = 0
    errors = []
    for c, a in opts:
        if c == "?":
            return "", UPDATE_USAGE, 2
        if c == "d":
            delete = True
        elif c == "k":
            fl, r = parse_key_flags(a)
            default_flags = fl
            if r:
                errors.append("unknown key flag '%s' in -k option.\n" % r[0])
        elif c == "D":
            raise NotImplementedError("-D")
    if len(rest) < 2:
        return "", UPDATE_USAGE, 2
    entries = parse_key_list(rest[0], default_flags, errors)
    if errors:
        return "", "".join("%s: %s" % (prog, e) for e in errors), 2
    ins = open_inputs(rest[1:], file_texts, stdin_text)
    n = len(ins)
    msgs = []

    def keyless(inp, r):
        # the master's is copied; an update or deletion is not applied
        if inp.number == 0:
            out.append(r.all_lines() + "\n")
        else:
            msgs.append("%s: record without key in %s(%d), not applied.\n"
                        % (prog, inp.name, r.number))

    inputs = [MergeInput(i, nm, read_records(t), entries, keyless)
              for i, (nm, t) in enumerate(ins)]
    try:
        for inp in inputs:
            inp.read_group()
        while True:
            order = order_inputs(inputs, entries)
            if not order[0].group:
                break
            run = leading_run(order, entries)
            # the highest input number that has the key wins, whole group;
            # in delete mode the last input only removes
            winner = max(run, key=lambda i: i.number)
            if not (delete and winner.number == n - 1):
                for r in winner.group:
                    out.append(r.all_lines())
                    out.append("\n")
            for inp in run:
                inp.read_group()
    except SeqError as e:
        return ("".join(out), "".join(msgs) +
                SEQ_ADVICE % (prog, e.name, e.number, prog, ""), 3)
    return "".join(out), "".join(msgs), 1 if msgs else 0


def model(prog, argv, file_texts, stdin_text):
    if prog == "Rkjoin":
        return model_join(argv, file_texts, stdin_text)
    return model_update(argv, file_texts, stdin_text)


# ---------------------------------------------------------------------------
# Case generator

FILE_NAMES = ["a.rk", "b.rk", "c.rk", "d.rk"]
EXTRA_NAMES = ["name", "note", "x", "qty"]
WORDS = ["alpha", "beta", "gamma", "Zoë", "café", "naïve", "straße", "über",
         "Åsa", "rød", "x y", "3", "10", "a:b", "", "-", "ÿ"]

TEXT_KEY_POOL = ["1", "2", "3", "9", "10", "11", "20", "a", "B", "ab", "b",
                 "02", "0"]
NUM_KEY_POOL = ["1", "2", "3", "9", "10", "11", "20", "02", "2.0", "-1",
                "-3", "2.5", "0.5", "-0.5", "0", "1e1", " 7", "7", "abc"]
SUB_POOL = ["1", "2", "10", "x", "9", ""]


def gen_key_setup(rng):
    """Key-field list argument, -k argument (or None), key field names."""
    two = rng.random() < 0.35
    names = ["id", "sub"] if two else ["id"]
    kopt = None
    r = rng.random()
    if r < 0.15:
        kopt = rng.choice(["n", "nr", "r", "n"])
    flags = []
    for nm in names:
        x = rng.random()
        if x < 0.55:
            flags.append(None)
        elif x < 0.7:
            flags.append("n")
        elif x < 0.8:
            flags.append("nr")
        elif x < 0.88:
            flags.append("r")
        elif x < 0.93:
            flags.append("")           # own empty flags: plain text
        else:
            flags.append("rn")
    items = [nm if f is None else nm + ":" + f for nm, f in zip(names, flags)]
    sep = "," if rng.random() < 0.85 else " "
    klist = sep.join(items)
    if rng.random() < 0.03 and not two:
        klist = "id,id"             # the second entry finds nothing left
    return klist, kopt


def gen_record_lines(rng, keyvals, names):
    """keyvals: per key name a list of values (0, 1 or 2 occurrences)."""
    fields = []
    for nm, vals in zip(names, keyvals):
        for v in vals:
            fields.append(nm + ":" + v)
    for _ in range(rng.choice([0, 1, 1, 2, 2, 3])):
        fields.append(rng.choice(EXTRA_NAMES) + ":" + rng.choice(WORDS))
    if rng.random() < 0.08:
        fields.append(rng.choice(["plain line", "no colon here", "  ", "é"]))
    if rng.random() < 0.04:
        fields.append(":" + rng.choice(["v", "", "w:z"]))
    if not fields:
        fields.append("x:" + rng.choice(WORDS))
    # key fields usually first, sometimes anywhere
    if rng.random() < 0.4:
        rng.shuffle(fields)
    return fields


def key_of_lines(lines, entries):
    r = Record([Field(l) for l in lines], 1)
    return make_key(r, entries)


def gen_input_records(rng, names, numeric, pool_id, pool_sub, entries):
    nkeys = rng.choice([0, 1, 2, 3, 3, 4, 5])
    recs = []
    for _ in range(nkeys):
        kv = []
        for j, nm in enumerate(names):
            pool = pool_id if j == 0 else pool_sub
            x = rng.random()
            if x < 0.08:
                kv.append([])                       # field absent
            elif x < 0.12:
                kv.append([rng.choice(pool), rng.choice(pool)])
            else:
                kv.append([rng.choice(pool)])
        mult = rng.choice([1, 1, 1, 1, 2, 2, 3, 4])
        for _ in range(mult):
            recs.append(gen_record_lines(rng, kv, names))
    return recs


def sort_records(recs, entries):
    keyed = [(key_of_lines(r, entries), r) for r in recs]
    keyed.sort(key=functools.cmp_to_key(
        lambda a, b: compare_keys(a[0], b[0], entries)))
    return [r for _, r in keyed]


def break_order(rng, recs, entries):
    """Move one record so that a smaller key follows a larger one."""
    keys = [key_of_lines(r, entries) for r in recs]
    cands = [(i, j) for i in range(len(recs)) for j in range(i + 1, len(recs))
             if compare_keys(keys[i], keys[j], entries) < 0]
    if not cands:
        return recs, False
    i, j = rng.choice(cands)
    recs = list(recs)
    recs[i], recs[j] = recs[j], recs[i]
    return recs, True


def render(rng, recs):
    parts = []
    if rng.random() < 0.05:
        parts.append("\n" * rng.choice([1, 2]))
    for k, r in enumerate(recs):
        parts.append("\n".join(r) + "\n")
        if k < len(recs) - 1:
            parts.append("\n" * rng.choice([1, 1, 1, 1, 2, 3]))
    text = "".join(parts)
    x = rng.random()
    if recs and x < 0.6:
        text += "\n"                  # usual empty line after the last record
    elif recs and x < 0.7:
        text = text[:-1]              # no newline at all at the end
    elif recs and x < 0.75:
        text += "\n\n"
    return text


def gen_case(rng):
    """Returns (prog, argv, files {name: text}, stdin_text)."""
    r = rng.random()
    if r < 0.01:
        prog = rng.choice(["Rkjoin", "Rkupdate"])
        return prog, rng.choice([[], ["id"], ["-k", "n", "id"]]), {}, ""
    if r < 0.45:
        prog, mode = "Rkjoin", "merge"
    elif r < 0.70:
        prog, mode = "Rkjoin", "core"
    else:
        prog, mode = "Rkupdate", "update"

    klist, kopt = gen_key_setup(rng)
    errs = []
    entries = parse_key_list(klist, parse_key_flags(kopt or "")[0], errs)
    names = []
    for e in entries:
        if e.name not in names:
            names.append(e.name)
    numeric = bool(entries[0].flags & F_N)
    pool = NUM_KEY_POOL if numeric else TEXT_KEY_POOL
    pool_id = rng.sample(pool, rng.choice([2, 3, 4, 5, 6]))
    if rng.random() < 0.05:
        pool_id.append("")
    pool_sub = rng.sample(SUB_POOL, rng.choice([1, 2, 3]))

    nfiles = rng.choice([2, 2, 2, 3, 3, 4])
    single = rng.random() < 0.07
    ninputs = 2 if single else nfiles
    inputs = []
    for i in range(ninputs):
        recs = gen_input_records(rng, names, numeric, pool_id, pool_sub,
                                 entries)
        if mode == "core" and i > 0 or (mode == "core" and rng.random() < 0.5):
            rng.shuffle(recs)
        else:
            recs = sort_records(recs, entries)
        inputs.append(recs)
    if mode != "core" and rng.random() < 0.12:
        i = rng.randrange(ninputs)
        inputs[i], _ = break_order(rng, inputs[i], entries)
    for recs in inputs:
        # records without any key field, anywhere in a sorted input
        for _ in range(rng.choice([0, 0, 0, 1, 2])):
            recs.insert(rng.randint(0, len(recs)),
                        gen_record_lines(rng, [[] for _ in names], names))
    if rng.random() < 0.04:
        klist = klist.replace("id", "orgin")   # a name that no record has

    texts = [render(rng, recs) for recs in inputs]
    argv = []
    if kopt is not None:
        if rng.random() < 0.5:
            argv += ["-k", kopt]
        else:
            argv += ["-k" + kopt]
    if mode == "merge":
        for _ in range(rng.choice([0, 0, 1, 1, 1, 2, 3])):
            argv += gen_spec_opt(rng, ninputs, core=False)
    elif mode == "core":
        argv = ["-c"] + argv
        for _ in range(rng.choice([0, 0, 1, 1, 2])):
            argv += gen_spec_opt(rng, ninputs, core=True)
    else:
        if rng.random() < 0.4:
            argv = ["-d"] + argv
    argv.append(klist)
    files = {}
    stdin_text = ""
    if single:
        files[FILE_NAMES[0]] = texts[0]
        argv.append(FILE_NAMES[0])
        stdin_text = texts[1]
    else:
        for i in range(ninputs):
            files[FILE_NAMES[i]] = texts[i]
            argv.append(FILE_NAMES[i])
    return prog, argv, files, stdin_text


def gen_spec_opt(rng, n, core):
    x = rng.random()
    if x < 0.01:
        s = ""                        # an empty spec: every position free
    elif x < 0.12:
        s = "matched"
    elif x < 0.22:
        s = "any"
    else:
        ln = rng.choice([1, n - 1, n, n, n, n + 1, n + 2])
        ln = max(ln, 1)
        chars = []
        for _ in range(ln):
            y = rng.random()
            chars.append("1" if y < 0.42 else "0" if y < 0.7 else
                         "x" if y < 0.9 else rng.choice("-?.2X"))
        if core and rng.random() < 0.85:
            chars[0] = "1"
        s = "".join(chars)
    if s and rng.random() < 0.15:
        return ["-o" + s]
    return ["-o", s]


# ---------------------------------------------------------------------------
# Runner

def run_case(bin_dir, case):
    prog, argv, files, stdin_text = case
    exp_out, exp_err, exp_rc = model(prog, argv, files, stdin_text)
    env = dict(os.environ)
    env["PATH"] = bin_dir + os.pathsep + env.get("PATH", "")
    env["LC_ALL"] = "C.UTF-8"
    with tempfile.TemporaryDirectory(prefix="mm") as d:
        for nm, t in files.items():
            with open(os.path.join(d, nm), "wb") as fh:
                fh.write(t.encode("utf-8"))
        try:
            p = subprocess.run([prog] + argv, cwd=d, capture_output=True,
                               input=stdin_text.encode("utf-8"), env=env,
                               timeout=20)
            got = (p.stdout, p.stderr, p.returncode)
        except FileNotFoundError as e:
            got = (b"", ("(cannot run: %s)\n" % e).encode(), -1000)
        except subprocess.TimeoutExpired:
            got = (b"", b"(timeout)\n", -1001)
    exp = (exp_out.encode("utf-8"), exp_err.encode("utf-8"), exp_rc)
    return exp, got


def shell_quote(a):
    if a and re.fullmatch(r"[\w.,:/=+-]+", a):
        return a
    return "'" + a.replace("'", "'\\''") + "'"


def describe(case, exp, got):
    prog, argv, files, stdin_text = case
    lines = ["--- difference ---",
             "command: " + " ".join(shell_quote(a) for a in [prog] + argv)]
    for nm, t in files.items():
        lines.append("file %s: %r" % (nm, t))
    if len([a for a in argv if a in files]) == 1:
        lines.append("stdin: %r" % stdin_text)
    for what, e, g in (("stdout", exp[0], got[0]), ("stderr", exp[1], got[1]),
                       ("status", exp[2], got[2])):
        if e != g:
            lines.append("%s expected: %r" % (what, e))
            lines.append("%s got:      %r" % (what, g))
    return "\n".join(lines) + "\n"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True)
    ap.add_argument("--cases", type=int,
                    default=int(os.environ.get("MERGE_MODEL_CASES", "3000")))
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--jobs", type=int, default=(os.cpu_count() or 2) * 2)
    ap.add_argument("--show", type=int, default=3)
    args = ap.parse_args()
    bin_dir = os.path.abspath(args.bin)

    cases = []
    for i in range(args.cases):
        rng = random.Random("%d/%d" % (args.seed, i))
        cases.append(gen_case(rng))

    t0 = time.time()
    with ThreadPoolExecutor(max_workers=max(1, args.jobs)) as ex:
        results = list(ex.map(lambda c: run_case(bin_dir, c), cases))
    diffs = 0
    shown = 0
    for case, (exp, got) in zip(cases, results):
        if exp != got:
            diffs += 1
            if shown < args.show:
                sys.stderr.write(describe(case, exp, got))
                shown += 1
    if diffs:
        sys.stderr.write("(%d differences, %.1f s)\n"
                         % (diffs, time.time() - t0))
    print("cases %d differences %d" % (len(cases), diffs))
    return 0


if __name__ == "__main__":
    sys.exit(main())
