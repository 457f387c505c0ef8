#!/usr/bin/env python3
"""Makes the corpus of archives from other writers that the directory reader and the engine are
judged against: the outputs of the usual writers (Info-ZIP zip, 7-Zip, Python's zipfile) and
hand-built shapes that real archives have (counts past 16 bits without ZIP64 records, ZIP64
records nobody needed, signatures inside names and comments, empty names) or that damaged and
crafted ones have (local headers that disagree with the directory, overlapping entries).

    make_corpus.py [OUTDIR]            the small archives, into OUTDIR (default: beside this script)
    make_corpus.py --large OUTDIR      the archives with 65,536 and more entries (a few MB each),
                                       made at test time rather than kept

Every archive gets a line in OUTDIR/expect.txt (or expect-large.txt): its file name, what listing
it must give ("read": every entry, "fail": a damaged archive), what extending it must give
("keep": every old entry kept byte for byte, "refuse": refused, the file left byte-identical), and
how many entries it holds (the judge also compares the names with Python's zipfile wherever
zipfile reads the archive with that many entries), then "warn" where the end record's entry count
is wrong, which both readers must say.
Needs zip and 7zz for the writers' outputs; the file times are fixed, so reruns give the same bytes
but for the archive zip makes from a pipe, which carries the time it was made.
"""
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

FIXED_TIME = 1700000000  # 2023-11-14, for every input file
DOS_TIME = (2023, 11, 14, 22, 13, 20)


# ---- Byte-level building -----------------------------------------------------------------------

class Entry:
    """One entry as hand-built bytes: the local header and the central record are made from the
    same fields unless a case overrides one side."""

    def __init__(self, name, data=b"", method=0, comment=b""):
        self.name = name if isinstance(name, bytes) else name.encode()
        self.data = data
        self.method = method
        self.comment = comment
        self.crc = zlib.crc32(data)
        self.packed = data if method == 0 else deflate(data)
        self.local_name = None        # a different name in the local header
        self.local_method = None      # a different method in the local header
        self.local_packed_size = None # a different compressed size in the local header
        self.offset = None            # where the central record says the local header is


def deflate(data):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


def local_header(e):
    name = e.local_name if e.local_name is not None else e.name
    method = e.local_method if e.local_method is not None else e.method
    size = e.local_packed_size if e.local_packed_size is not None else len(e.packed)
    return struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, method, 0x6000, 0x5770, e.crc, size,
                       len(e.data), len(name), 0) + name


def central_record(e):
    return struct.pack("<IBBHHHHHIIIHHHHHII", 0x02014B50, 20, 3, 20, 0, e.method, 0x6000, 0x5770,
                       e.crc, len(e.packed), len(e.data), len(e.name), 0, len(e.comment), 0, 0,
                       0o100644 << 16, e.offset) + e.name + e.comment


def end_record(count, dir_size, dir_offset, comment=b"", disks=(0, 0)):
    return struct.pack("<IHHHHIIH", 0x06054B50, disks[0], disks[1], count & 0xFFFF, count & 0xFFFF,
                       dir_size, dir_offset, len(comment)) + comment


def zip64_end(count, dir_size, dir_offset, at):
    record = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, count, count, dir_size,
                         dir_offset)
    locator = struct.pack("<IIQI", 0x07064B50, 0, at, 1)
    return record + locator


def build(entries, count=None, comment=b"", zip64=False, end_disks=(0, 0), prefix=b"",
          share_data=False):
    """The archive bytes. `count` overrides the end record's entry count (taken modulo 65,536);
    `share_data` points every central record at the first local header."""
    out = bytearray(prefix)
    for e in entries:
        if share_data and e is not entries[0]:
            e.offset = entries[0].offset
            continue
        e.offset = len(out) - len(prefix)
        out += local_header(e) + e.packed
    dir_offset = len(out) - len(prefix)
    directory = b"".join(central_record(e) for e in entries)
    out += directory
    n = len(entries) if count is None else count
    if zip64:
        out += zip64_end(n, len(directory), dir_offset, len(out) - len(prefix))
    out += end_record(n, len(directory), dir_offset, comment, end_disks)
    return bytes(out)


def many(n, prefix="f"):
    return [Entry("%s%06d" % (prefix, i), b"%d" % i) for i in range(n)]


# ---- The corpus --------------------------------------------------------------------------------

def hand_built(out, expect):
    def put(name, data, verdict):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        expect.append((name, verdict))

    plain = lambda: [Entry("a.txt", b"alpha\n"), Entry("dir/b.txt", b"bravo " * 40, 8),
                     Entry("c.bin", bytes(range(256)))]
    put("count-too-low.zip", build(plain(), count=2), "read keep 3 warn")
    put("count-zero.zip", build(plain(), count=0), "read keep 3 warn")
    put("count-too-high.zip", build(plain(), count=5), "fail refuse 3")
    # Info-ZIP reading a pipe writes the ZIP64 records though nothing needs them; here also with
    # the end record's disk numbers saturated ("see the ZIP64 record").
    put("zip64-unneeded.zip", build(plain(), zip64=True), "read keep 3")
    put("zip64-disks-saturated.zip", build(plain(), zip64=True, end_disks=(0xFFFF, 0xFFFF)), "read keep 3")
    # Signatures of the end record and the ZIP64 locator inside names and comments.
    put("signature-in-name.zip",
        build([Entry(b"PK\x05\x06name", b"x"), Entry(b"tail-PK\x06\x07" + b"\x01" * 16, b"y")]), "read keep 2")
    put("signature-in-comment.zip", build(plain(), comment=b"see PK\x05\x06 here"), "read refuse 3")
    # A comment ending in what looks like the end record of an empty archive.
    put("fake-empty-end-in-comment.zip",
        build(plain(), comment=b"note" + struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0, 0, 0, 0, 0)),
        "read refuse 3")
    # The last entry's comment ends in what looks like a ZIP64 locator.
    tail = Entry("last.txt", b"z", comment=struct.pack("<IIQI", 0x07064B50, 0, 0, 1))
    put("fake-locator-in-entry-comment.zip", build(plain() + [tail]), "read keep 4")
    put("empty-name.zip", build([Entry("", b"nameless"), Entry("named.txt", b"n")]), "read keep 2")
    put("control-chars-in-names.zip",
        build([Entry("tab\there.txt", b"t"), Entry("bell\x07.txt", b"b"), Entry("lf\nname.txt", b"l")]),
        "read keep 3")
    # Local headers that disagree with the central directory.
    e = plain()
    e[1].local_packed_size = len(e[1].packed) - 7
    put("local-size-mismatch.zip", build(e), "read refuse 3")
    e = plain()
    e[0].local_name = b"z.txt"
    put("local-name-mismatch.zip", build(e), "read refuse 3")
    e = plain()
    e[2].local_method = 8
    put("local-method-mismatch.zip", build(e), "read refuse 3")
    # Overlapping entries: many central records sharing one local header and its data (the shape
    # of a "zip bomb"), and one entry's data reaching into the next entry.
    bomb = [Entry("bomb%04d" % i, b"\0" * 20000, 8) for i in range(200)]
    put("overlap-shared-data.zip", build(bomb, share_data=True), "fail refuse 200")
    e = [Entry("one.txt", b"1" * 100), Entry("two.txt", b"2" * 100)]
    data = bytearray(build(e))
    # Move the second local header's offset back into the first entry's data.
    cd = data.find(b"PK\x01\x02", 0)
    second = data.find(b"PK\x01\x02", cd + 4)
    struct.pack_into("<I", data, second + 42, 40)
    put("overlap-into-data.zip", bytes(data), "fail refuse 2")


def writers(out, expect):
    def put(name):
        with zipfile.ZipFile(os.path.join(out, name)) as z:
            expect.append((name, "read keep %d" % len(z.namelist())))

    src = tempfile.mkdtemp(prefix="corpus-src.")
    try:
        tree = {"docs/readme.txt": b"read me\n" * 50, "docs/empty.txt": b"",
                "pics/noise.bin": bytes((i * 7919) % 251 for i in range(3000)),
                "top.txt": b"top level\n", "docs/deep/deeper/file.txt": b"deep\n"}
        for rel, data in tree.items():
            p = os.path.join(src, rel)
            os.makedirs(os.path.dirname(p), exist_ok=True)
            with open(p, "wb") as f:
                f.write(data)
        for root, dirs, files in os.walk(src):
            for n in dirs + files:
                os.utime(os.path.join(root, n), (FIXED_TIME, FIXED_TIME))
        env = dict(os.environ, TZ="UTC")

        def zip_cmd(name, *args, stdin=None):
            target = os.path.join(out, name)
            if os.path.exists(target):
                os.remove(target)
            subprocess.run(["zip", "-q", "-X", *args], cwd=src, env=env, check=True, input=stdin,
                           stdout=subprocess.DEVNULL)

        zip_cmd("infozip.zip", "-r", os.path.join(out, "infozip.zip"), ".")
        put("infozip.zip")
        zip_cmd("infozip-forced-zip64.zip", "-fz", "-r", os.path.join(out, "infozip-forced-zip64.zip"), ".")
        put("infozip-forced-zip64.zip")
        zip_cmd("infozip-pipe.zip", os.path.join(out, "infozip-pipe.zip"), "-", stdin=b"x\n")
        put("infozip-pipe.zip")
        with open(os.path.join(out, "infozip-streamed.zip"), "wb") as f:
            subprocess.run(["zip", "-q", "-X", "-r", "-", "."], cwd=src, env=env, check=True, stdout=f)
        put("infozip-streamed.zip")
        zip_cmd("infozip-comment.zip", "-z", "-r", os.path.join(out, "infozip-comment.zip"), ".",
                stdin=b"An archive comment\nover two lines\n.\n")
        put("infozip-comment.zip")

        target = os.path.join(out, "7zz.zip")
        if os.path.exists(target):
            os.remove(target)
        subprocess.run(["7zz", "a", "-tzip", "-bd", "-mtc=off", target, "."], cwd=src, env=env,
                       check=True, stdout=subprocess.DEVNULL)
        put("7zz.zip")

        def python_zip(name, stream=False, **kw):
            def fill(z):
                for rel in sorted(tree):
                    info = zipfile.ZipInfo(rel, DOS_TIME)
                    info.compress_type = zipfile.ZIP_DEFLATED
                    info.external_attr = 0o100644 << 16
                    z.writestr(info, tree[rel])
            if stream:
                class Unseekable(io.RawIOBase):
                    def __init__(self, f):
                        self.f = f
                    def writable(self):
                        return True
                    def write(self, b):
                        return self.f.write(b)
                with open(os.path.join(out, name), "wb") as f:
                    with zipfile.ZipFile(Unseekable(f), "w", **kw) as z:
                        fill(z)
            else:
                with zipfile.ZipFile(os.path.join(out, name), "w", **kw) as z:
                    fill(z)
                    if "comment" in name:
                        z.comment = b"made by Python"
            put(name)

        python_zip("python.zip")
        python_zip("python-comment.zip")
        python_zip("python-data-descriptors.zip", stream=True)

        # Data placed in front: as it stands (offsets not moved) and adjusted by zip -A.
        with open(os.path.join(out, "infozip.zip"), "rb") as f:
            body = f.read()
        stub = b"#!/bin/sh\necho this is not a zip\nexit 0\n" + b"\0" * 100
        with open(os.path.join(out, "prefixed.zip"), "wb") as f:
            f.write(stub + body)
        put("prefixed.zip")
        shutil.copy(os.path.join(out, "prefixed.zip"), os.path.join(out, "prefixed-adjusted.zip"))
        subprocess.run(["zip", "-q", "-A", os.path.join(out, "prefixed-adjusted.zip")], check=True,
                       stdout=subprocess.DEVNULL)
        put("prefixed-adjusted.zip")
    finally:
        shutil.rmtree(src)


def large(out, expect):
    cases = [("count-wrapped-70000.zip", 70000, None),   # the end record counts 4,464
             ("count-wrapped-65536.zip", 65536, None),   # the end record counts 0
             ("count-saturated-70000.zip", 70000, 0xFFFF)]
    for name, n, count in cases:
        with open(os.path.join(out, name), "wb") as f:
            f.write(build(many(n), count=count))
        expect.append((name, "read keep %d warn" % n))


def main(argv):
    if len(argv) >= 2 and argv[1] == "--large":
        out = argv[2]
        os.makedirs(out, exist_ok=True)
        expect = []
        large(out, expect)
        manifest = "expect-large.txt"
    else:
        out = argv[1] if len(argv) > 1 else os.path.dirname(os.path.abspath(__file__))
        os.makedirs(out, exist_ok=True)
        expect = []
        writers(out, expect)
        hand_built(out, expect)
        manifest = "expect.txt"
    with open(os.path.join(out, manifest), "w") as f:
        for name, verdict in expect:
            f.write("%s %s\n" % (name, verdict))


if __name__ == "__main__":
    main(sys.argv)
