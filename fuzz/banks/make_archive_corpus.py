#!/usr/bin/env python3
"""Writes the seed corpus of the archive_extract fuzzer (fuzz/corpus/
archive_extract): small zips of every kind the extractor must take or refuse.
Run from anywhere; the output is committed."""
import io
import os
import stat
import warnings
import zipfile

warnings.simplefilter("ignore")  # the duplicate seed is meant

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "corpus", "archive_extract")
MANIFEST = b'{"format":"orbel-sound-pack/v1","id":"z","assetTable":[{"id":"a","path":"a.wav"}]}'


def link(name, target):
    info = zipfile.ZipInfo(name)
    info.create_system = 3
    info.external_attr = (stat.S_IFLNK | 0o777) << 16
    return info, target


def zip_of(members, compression=zipfile.ZIP_DEFLATED):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", compression) as z:
        for member, data in members:
            z.writestr(member, data)
    return buffer.getvalue()


seeds = {
    "pack": zip_of([("bank.json", MANIFEST), ("a.wav", b"RIFF....WAVE")]),
    "stored": zip_of([("bank.json", MANIFEST)], zipfile.ZIP_STORED),
    "wrapped": zip_of([("kit/", b""), ("kit/bank.json", MANIFEST), ("kit/samples/a.wav", b"RIFF")]),
    "dotdot": zip_of([("../escape.txt", b"x")]),
    "nested_dotdot": zip_of([("a/../../escape.txt", b"x")]),
    "absolute": zip_of([("/tmp/orbel-escape.txt", b"x")]),
    "link_inside": zip_of([("a.wav", b"RIFF"), link("b.wav", "a.wav")]),
    "link_climbs": zip_of([link("up", "../..")]),
    "link_through": zip_of([link("here", "."), ("here/x.txt", b"x")]),
    "file_then_dir": zip_of([("x", b"file"), ("x/y", b"below a file")]),
    "duplicate": zip_of([("bank.json", b"first"), ("bank.json", b"second")]),
    "bomb": zip_of([("big.bin", bytes(2 << 20))]),
    "many": zip_of([("f%d" % i, b"") for i in range(80)]),
    "empty": zip_of([]),
}
os.makedirs(ROOT, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(ROOT, name), "wb") as f:
        f.write(data)
