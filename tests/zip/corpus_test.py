#!/usr/bin/env python3
"""Lists and extends every archive of a corpus with ziptool, and judges the outcome with Python's
zipfile and 7-Zip.

    corpus_test.py ZIPTOOL CORPUS_DIR MANIFEST WORK_DIR

Each manifest line is "NAME LIST EXTEND COUNT [warn]" (see tests/data/zip/corpus/make_corpus.py):
- LIST "read": `ziptool list` succeeds with COUNT entries, the names Python's zipfile reads where
  zipfile reads that many; "fail": it fails and prints no entry.
- EXTEND "keep": `ziptool add` of one new file succeeds; the result holds every old entry with the
  same bytes plus the new one, and passes zipfile's and 7-Zip's tests; "refuse": it fails and the
  archive is byte-identical.
- "warn": both say that the entry count is wrong (list: the structure warning; add: a message
  that all entries are kept).
Prints one line per archive and exits 1 when any of them went wrong.
"""
import os
import shutil
import subprocess
import sys
import zipfile


def escaped(name):
    """A name as ziptool prints it: control characters escaped, the rest as it is."""
    special = {"\n": "\\n", "\r": "\\r", "\t": "\\t"}
    return "".join(special.get(c, "\\x%02x" % ord(c) if ord(c) < 0x20 or ord(c) == 0x7F else c)
                   for c in name)


def run(*args):
    p = subprocess.run(list(args), stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    return p.returncode, p.stdout.decode("utf-8", "surrogateescape")


def listed(ziptool, path):
    status, out = run(ziptool, "list", path, "--dir-entries")
    names = [line.split("\t")[1] for line in out.splitlines() if line.startswith("entry ")]
    return status, names, out


def python_entries(path):
    """name -> bytes as zipfile reads them, or None where zipfile cannot read the archive."""
    try:
        with zipfile.ZipFile(path) as z:
            return {i.filename: z.read(i) for i in z.infolist()}, [i.filename for i in z.infolist()]
    except Exception:
        return None, None


def judge(ziptool, corpus, work, name, want_list, want_extend, count, warn):
    problems = []
    original = os.path.join(corpus, name)
    path = os.path.join(work, name)
    shutil.copyfile(original, path)
    with open(original, "rb") as f:
        before = f.read()
    old, old_names = python_entries(original)

    status, names, out = listed(ziptool, path)
    if warn and "message 0 Warning - Error in zip structure!" not in out:
        problems.append("list did not warn about the entry count")
    if want_list == "read":
        if status != 0:
            problems.append("list failed: " + out.strip().splitlines()[0] if out.strip() else "list failed")
        elif len(names) != count:
            problems.append("list gave %d entries, not %d" % (len(names), count))
        elif old_names is not None and len(old_names) == count and names != [escaped(n) for n in old_names]:
            problems.append("list names differ from zipfile's: %r" % names[:5])
    else:
        if status == 0:
            problems.append("list read a damaged archive")
        if names:
            problems.append("list printed %d entries after a failure" % len(names))

    newdir = os.path.join(work, name + ".new")
    os.makedirs(newdir, exist_ok=True)
    newfile = os.path.join(newdir, "added.txt")
    with open(newfile, "wb") as f:
        f.write(b"added by the corpus test\n")
    status, out = run(ziptool, "add", path, newfile)
    if warn and "all are kept" not in out:
        problems.append("add did not warn about the entry count")
    with open(path, "rb") as f:
        after = f.read()
    if want_extend == "refuse":
        if status == 0:
            problems.append("extension was not refused")
        if after != before:
            problems.append("a refused extension changed the archive")
    else:
        if status != 0:
            problems.append("extension failed: " + " | ".join(l for l in out.splitlines() if l.startswith("Message")))
        else:
            new, _ = python_entries(path)
            if new is None:
                problems.append("zipfile cannot read the extended archive")
            else:
                if old is not None and len(old) == count:
                    for n, data in old.items():
                        if new.get(n) != data:
                            problems.append("old entry %r lost or changed" % n)
                            break
                if len(new) != count + 1:
                    problems.append("extended archive holds %d entries, not %d" % (len(new), count + 1))
                with zipfile.ZipFile(path) as z:
                    bad = z.testzip()
                if bad is not None:
                    problems.append("zipfile test fails on " + bad)
            t, out = run("7zz", "t", path)
            if t != 0:
                problems.append("7zz t fails")
    shutil.rmtree(newdir)
    os.remove(path)
    return problems


def main(argv):
    if len(argv) != 5:
        print(__doc__)
        return 2
    ziptool, corpus, manifest, work = argv[1:]
    os.makedirs(work, exist_ok=True)
    failed = 0
    with open(manifest) as f:
        lines = [l.split() for l in f if l.strip()]
    for name, want_list, want_extend, count, *flags in lines:
        problems = judge(ziptool, corpus, work, name, want_list, want_extend, int(count), "warn" in flags)
        print("%-4s %-36s %s %s%s" % ("ok" if not problems else "FAIL", name, want_list, want_extend,
                                      "" if not problems else ": " + "; ".join(problems)))
        failed += bool(problems)
    print("%d of %d archives judged wrong" % (failed, len(lines)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
