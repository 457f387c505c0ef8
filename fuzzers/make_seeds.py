#!/usr/bin/env python3
"""Makes the seed corpora of the fuzz targets: OUT/<target>/<name>.

  make_seeds.py --source REPO --out OUT

INI seeds are the store's test files; language seeds are small scripts that reach every property
kind of the fuzzers' test form (the message catalogue is added by fuzz_catalogue_seed); zip seeds
are archives written by zip, 7zz and Python's zipfile, plus one crafted archive for each classic
central-directory fault. Tools that are missing are skipped with a note, so the seeds shrink
rather than the build failing.
"""
import argparse
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib


def put(out, target, name, data):
    folder = os.path.join(out, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# ---- INI ----------------------------------------------------------------------------------

def ini_seeds(source, out):
    data = os.path.join(source, "tests", "data", "ini")
    for root, _, files in os.walk(data):
        for name in sorted(files):
            if name.endswith(".ini"):
                rel = os.path.relpath(os.path.join(root, name), data).replace(os.sep, "_")
                with open(os.path.join(root, name), "rb") as f:
                    put(out, "ini_store", rel, f.read())
    crafted = {
        "empty.ini": b"",
        "cr_only.ini": b"[a]\rk=v\r\r[b]\rk=w\r",
        "kelvin.ini": "[\u212a]\r\nk=1\r\n[k]\r\nk=2\r\n".encode(),
        "brackets.ini": b"[a]b]\r\n[x=y]=1\r\n[]\r\n=empty key\r\nno equals\r\n",
        "typed.ini": b"[t]\r\ni=0x1F\r\nb=-1\r\nf=1e+300\r\nd=2004-03-15\r\nt=12:30:45.250\r\n"
                     b"dt=2023-02-29 10:00\r\nn=nan\r\n",
        "flags.ini": b"[f]\r\n;comment\r\n k = 'v' \r\nq=\"x\"\r\ntail=1 \t\r\n[f]\r\nmore=1\r\n",
        "lf_inside.ini": b"[s\nt]\r\nk\n=v\nw\r\n",
    }
    for name, data in crafted.items():
        put(out, "ini_store", name, data)


# ---- Language scripts ---------------------------------------------------------------------

LANG_SEEDS = {
    "captions.lng": """[en]
sbOk.Caption = '&OK'
lblInfo.Caption = Info
Caption = ' Window '
pnlFrame.lblDeep.Caption = deep
lblDeep.Caption = 'line\\none'
[de]
sbOk.Caption = 'Ja'
; comment
""",
    "kinds.lng": """sbOk.Level = 300
sbOk.Percent = -5
sbOk.Color = clRed
sbOk.Cursor = crHourGlass
lblInfo.Color = #FF00FF
lblInfo.Percent = $10
sbOk.Align = alClient
sbOk.Visible = false
sbOk.Anchors = [akLeft, akBottom]
sbOk.Accel = 65
sbOk.Size = 9223372036854775807
sbOk.Ratio = -1.5e3
sbOk.Value = 'variant'
sbOk.Flat = True
sbOk.Items = one\\ntwo
sbOk.Font.Size = 12
sbOk.Font.Name = Mono
sbOk.Columns[1].Title = second
sbOk.Columns[0].Font.Size = 9
sbOk.Partner = lblInfo
sbOk.Anything = sbOk.Font
sbOk.OnClick = x
sbOk.Bounds = 1
""",
    "errors.lng": """[en]
sbOk.Align = alNowhere
sbOk.Anchors = akUp
sbOk.Accel = letter
sbOk.Ratio = 1,5
sbOk.Columns[7].Title = x
sbOk.Columns[x].Title = y
sbOk.Columns[.Title = z
mlFuzz.Language = de
lsSync.Language = en
mlFuzz.Script = [en]\\nCaption = again
""",
    "headers.lng": """top = above
[EN]
a = 'x'
[ en ]
b = y
[de
c = z
[en]x
d = ''
e = '
""",
}


def lang_seeds(out):
    for name, text in LANG_SEEDS.items():
        put(out, "lang_script", name, text.replace("\n", "\r\n").encode())


# ---- Comma text ---------------------------------------------------------------------------

def comma_seeds(out):
    seeds = [b'"a","b c"', b'a b,c', b'"x""y",,', b'  ,', b'"unterminated', b',', b'""',
             b'"D:\\Data\\","E:\\x y\\"', b'*.tmp,"*.b ak"', b'a\x00b,c', b'\t"q"\t,\tr\t']
    for i, data in enumerate(seeds):
        put(out, "comma_text", "seed%02d" % i, data)


# ---- Wildcards ---------------------------------------------------------------------------

def wildcard_seeds(out):
    pairs = [("*", "letter.doc"), ("*.doc", "letter.doc"), ("*.doc", "letter.docx"), ("a?c", "abc"),
             ("a?c", "ac"), ("*.*", "readme"), ("*a*a*a*b", "a" * 40), ("?", "\u00e4"), ("??", "\u00e4"),
             ("*.t?t", "\u00fcber.txt"), ("**", ""), ("", ""), ("?*?", "x\udcff"), ("ab*", "ab"),
             ("*.TXT", "Letter.txt"), ("\udcc3?", "\u00e4"), ("?", "\udcc0\udc80")]
    for i, (pattern, name) in enumerate(pairs):
        data = pattern.encode("utf-8", "surrogateescape") + b"\0" + name.encode("utf-8", "surrogateescape")
        put(out, "wildcard", "seed%02d" % i, data)


# ---- Zip archives ---------------------------------------------------------------------------

def tool_archives(out):
    """Archives written by zip, 7zz and Python's zipfile from a small tree of files."""
    with tempfile.TemporaryDirectory() as tmp:
        tree = os.path.join(tmp, "tree")
        os.makedirs(os.path.join(tree, "sub dir"))
        files = {"a.txt": b"hello\n", "sub dir/b.bin": bytes(range(64)), ".hidden": b"h",
                 "sub dir/\u00e4\u00f6.txt": b"umlauts"}
        for name, data in files.items():
            with open(os.path.join(tree, name), "wb") as f:
                f.write(data)

        def run(name, argv, stdin=None):
            path = os.path.join(tmp, name)
            try:
                subprocess.run(argv + [path] if "{}" not in argv else [a.replace("{}", path) for a in argv],
                               cwd=tree, input=stdin, check=True, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
            except (OSError, subprocess.CalledProcessError) as e:
                print("make_seeds: skipped %s (%s)" % (name, e), file=sys.stderr)
                return
            with open(path, "rb") as f:
                put(out, "zip", name, f.read())

        if shutil.which("zip"):
            run("zip_deflate.zip", ["zip", "-q", "-r", "-X", "{}", "."])
            run("zip_store.zip", ["zip", "-q", "-0", "-r", "{}", "."])
            run("zip_comment.zip", ["zip", "-q", "-z", "{}", "a.txt"], stdin=b"an archive comment\n.\n")
        else:
            print("make_seeds: zip not found", file=sys.stderr)
        if shutil.which("7zz"):
            run("7zz_deflate.zip", ["7zz", "a", "-tzip", "-bd", "{}", "."])
            run("7zz_utf8_store.zip", ["7zz", "a", "-tzip", "-mx=0", "-mcu=on", "-bd", "{}", "."])
        else:
            print("make_seeds: 7zz not found", file=sys.stderr)

    def zf(name, **kwargs):
        buf = io.BytesIO()
        comment = kwargs.pop("comment", b"")
        zip64 = kwargs.pop("zip64", False)
        with zipfile.ZipFile(buf, "w", **kwargs) as z:
            z.writestr("a.txt", b"hello\n" * 4)
            z.writestr("dir/", b"")
            info = zipfile.ZipInfo("dir/\u00fc.txt", (1999, 12, 31, 23, 59, 58))
            with z.open(info, "w", force_zip64=zip64) as f:
                f.write(b"x" * 100)
            z.comment = comment
        put(out, "zip", name, buf.getvalue())

    zf("py_stored.zip", compression=zipfile.ZIP_STORED)
    zf("py_deflated.zip", compression=zipfile.ZIP_DEFLATED)
    zf("py_comment.zip", compression=zipfile.ZIP_DEFLATED, comment=b"comment\x00after zero")
    zf("py_zip64.zip", compression=zipfile.ZIP_DEFLATED, zip64=True)


def local_header(name, data, flags=0, method=0):
    return struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, method, 0, 0x21, zlib.crc32(data),
                       len(data), len(data), len(name), 0) + name + data


def central_header(name, data, offset, host=0, extra=b"", comment=b"", name_len=None, version=20):
    return struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, (host << 8) | version, 20, 0, 0, 0, 0x21,
                       zlib.crc32(data), len(data), len(data),
                       len(name) if name_len is None else name_len, len(extra), len(comment),
                       0, 0, 0x20, offset) + name + extra + comment


def end_record(count, cd_size, cd_offset, comment=b"", total=None, comment_len=None, disk=0, cd_disk=0):
    return struct.pack("<IHHHHIIH", 0x06054B50, disk, cd_disk, count, count if total is None else total,
                       cd_size, cd_offset, len(comment) if comment_len is None else comment_len) + comment


def crafted_archive(entries=(("a.txt", b"hello"), ("dir/b.txt", b"world!")), **fault):
    """A stored archive built by hand; `fault` bends one field of it."""
    body, centrals = b"", []
    for i, (name, data) in enumerate(entries):
        name = name.encode("cp437") if isinstance(name, str) else name
        offset = len(body)
        body += local_header(name, data)
        if fault.get("overlap") and i > 0:
            offset = 0  # every entry claims the first entry's bytes
        centrals.append(central_header(name, data, offset, host=fault.get("host", 0),
                                       name_len=fault.get("name_len") if i == len(entries) - 1 else None,
                                       extra=fault.get("extra", b""),
                                       comment=fault.get("entry_comment", b"")))
    cd = b"".join(centrals)
    cd_offset = len(body)
    prefix = fault.get("prefix", b"")
    tail = b""
    if "zip64_locator" in fault:
        # A ZIP64 end locator in front of the end record, pointing where the fault says.
        tail += struct.pack("<IIQI", 0x07064B50, 0, fault["zip64_locator"], 1)
    end = end_record(len(entries), fault.get("cd_size", len(cd)), fault.get("cd_offset", cd_offset),
                     comment=fault.get("comment", b""), total=fault.get("total"),
                     comment_len=fault.get("comment_len"), disk=fault.get("disk", 0),
                     cd_disk=fault.get("cd_disk", 0))
    if fault.get("zip64_marks"):
        end = end[:8] + struct.pack("<HHII", 0xFFFF, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF) + end[20:]
    return prefix + body + cd + tail + end + fault.get("garbage", b"")


def sample_archives(source, out):
    """The directory reader's own test archives, and the corpus of other writers' archives and
    shapes (counts cut to 16 bits, unneeded ZIP64 records, signatures in names and comments,
    local headers that disagree, overlapping entries, empty names)."""
    data = os.path.join(source, "tests", "data", "zip")
    for root, _, files in os.walk(data):
        for name in sorted(files):
            if name.endswith(".zip"):
                rel = os.path.relpath(os.path.join(root, name), data).replace(os.sep, "_")
                with open(os.path.join(root, name), "rb") as f:
                    put(out, "zip", "sample_" + rel, f.read())


def crafted_archives(out):
    good = crafted_archive()
    size = len(good)
    seeds = {
        "ok.zip": good,
        "end_record_only.zip": end_record(0, 0, 0),
        "empty": b"",
        "short": b"PK\x05\x06",
        "cd_offset_past_end.zip": crafted_archive(cd_offset=size + 1000),
        "cd_size_past_end.zip": crafted_archive(cd_size=0x7FFFFFFF),
        "comment_length_past_end.zip": crafted_archive(comment_len=300),
        "entry_count_too_large.zip": crafted_archive(total=9),
        "overlapping_entries.zip": crafted_archive(overlap=True),
        "name_length_past_end.zip": crafted_archive(name_len=0xFFFF),
        "zip64_locator_outside.zip": crafted_archive(zip64_locator=1 << 40, zip64_marks=True),
        "zip64_locator_negative.zip": crafted_archive(zip64_locator=(1 << 64) - 64, zip64_marks=True),
        "extra_past_end.zip": crafted_archive(extra=b"UT\xff\x7f\x01"),
        "entry_comment.zip": crafted_archive(entry_comment=b"note"),
        "archive_comment.zip": crafted_archive(comment=b"backup of today"),
        "garbage_after.zip": crafted_archive(garbage=b"\x01garbage"),
        "zero_padding.zip": crafted_archive(garbage=b"\x00" * (512 - size % 512) if size % 512 else b""),
        "prefix_unadjusted.zip": crafted_archive(prefix=b"MZ" + b"\x00" * 62),
        "other_disk.zip": crafted_archive(disk=1, cd_disk=0),
        "oem_names.zip": crafted_archive(entries=(("\u00c4rger.txt", b"x"), ("dir/", b""))),
        "ntfs_host.zip": crafted_archive(entries=(("\u00e9t\u00e9.txt", b"x"),), host=11),
        "empty_name.zip": crafted_archive(entries=(("", b"x"),)),
        "first_volume.zip": b"PK\x07\x08" + crafted_archive(),
    }
    for name, data in seeds.items():
        put(out, "zip", name, data)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--source", required=True)
    ap.add_argument("--out", required=True)
    args = ap.parse_args()
    os.makedirs(args.out, exist_ok=True)
    ini_seeds(args.source, args.out)
    lang_seeds(args.out)
    comma_seeds(args.out)
    wildcard_seeds(args.out)
    tool_archives(args.out)
    crafted_archives(args.out)
    sample_archives(args.source, args.out)


if __name__ == "__main__":
    main()
