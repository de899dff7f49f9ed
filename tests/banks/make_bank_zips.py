#!/usr/bin/env python3
"""Writes the archives the hosted bank tests download.

    make_bank_zips.py OUTDIR

OUTDIR/outside is where an archive that escapes would write (the tests check
that nothing ever appears there)."""
import os
import stat
import sys
import zipfile

MANIFEST = b'{"format":"orbel-sound-pack/v1","id":"t","assetTable":[{"id":"a","path":"a.wav"}]}'


def link(name, target):
    info = zipfile.ZipInfo(name)
    info.create_system = 3
    info.external_attr = (stat.S_IFLNK | 0o777) << 16
    return info, target


def write(out, name, members, compression=zipfile.ZIP_DEFLATED):
    with zipfile.ZipFile(os.path.join(out, name), "w", compression) as z:
        for member, data in members:
            z.writestr(member, data)


def main():
    out = sys.argv[1]
    outside = os.path.join(out, "outside")
    os.makedirs(outside, exist_ok=True)
    write(out, "pack.zip", [("bank.json", MANIFEST), ("a.wav", b"RIFF")])
    write(out, "wrapped.zip", [("kit/", b""), ("kit/bank.json", MANIFEST), ("kit/a.wav", b"RIFF"),
                               ("__MACOSX_is_not_hidden_but_a_file", b"x"), (".hidden/", b"")])
    write(out, "two-top.zip", [("kit/bank.json", MANIFEST), ("samples/a.wav", b"RIFF")])
    with open(os.path.join(out, "not-a-zip.zip"), "wb") as f:
        f.write(b"<html>this is a web page, not a zip</html>\n" * 20)
    write(out, "slip-dotdot.zip", [("bank.json", MANIFEST), ("../outside-dotdot.txt", b"escaped")])
    write(out, "slip-nested.zip", [("kit/../../outside-nested.txt", b"escaped")])
    write(out, "slip-absolute.zip", [(os.path.join(outside, "absolute.txt"), b"escaped")])
    write(out, "slip-link.zip", [link("out", "../.."), ("out/outside-link.txt", b"escaped")])
    write(out, "slip-link-absolute.zip", [link("out", outside), ("out/outside-abs-link.txt", b"escaped")])
    write(out, "slip-link-only.zip", [("bank.json", MANIFEST), link("samples", "/etc")])
    write(out, "slip-link-through.zip", [link("here", "."), ("here/bank.json", MANIFEST)])
    write(out, "bomb.zip", [("bank.json", MANIFEST), ("big.bin", bytes(8 << 20))])
    write(out, "many.zip", [("f%02d.txt" % i, b"x") for i in range(40)])


if __name__ == "__main__":
    main()
