#!/usr/bin/env python3
"""Python's zipfile as an independent peer of the ZIP tests.

  zippeer.py make DIR          archives written by zipfile, one per feature
  zippeer.py dump ARCHIVE      JSON: how zipfile lists and reads an archive
  zippeer.py fields ARCHIVE    JSON: raw header fields, local headers, end record
  zippeer.py compare A B       compare two extracted trees (exit 1 on difference);
                               B's modes are taken masked by the process umask
"""
import base64
import io
import json
import os
import stat
import struct
import sys
import zipfile


def info(name, mode, kind=stat.S_IFREG):
    zi = zipfile.ZipInfo(name, date_time=(2020, 2, 29, 13, 45, 58))
    zi.create_system = 3
    zi.external_attr = (kind | mode) << 16
    if kind == stat.S_IFDIR:
        zi.external_attr |= 0x10
    return zi


class Unseekable(io.RawIOBase):
    """A write-only stream that cannot seek, so zipfile writes data descriptors."""

    def __init__(self, f):
        self.f = f

    def writable(self):
        return True

    def write(self, b):
        return self.f.write(b)


def make(outdir):
    text = b"".join(b"line %d of a plain text file\n" % i for i in range(400))
    binary = bytes((i * 7919) & 0xff for i in range(5000))
    with zipfile.ZipFile(os.path.join(outdir, "py_stored.zip"), "w", zipfile.ZIP_STORED) as z:
        z.writestr("text.txt", text)
        z.writestr("binary.bin", binary)
        z.writestr("empty", b"")
    with zipfile.ZipFile(os.path.join(outdir, "py_deflated.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("text.txt", text)
        z.writestr("nested/deeper/binary.bin", binary)
        z.writestr("empty", b"")
    with zipfile.ZipFile(os.path.join(outdir, "py_comment.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        z.comment = b"ten bytes!"
        z.writestr("a.txt", text)
    with zipfile.ZipFile(os.path.join(outdir, "py_dirs.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(info("docs/", 0o755, stat.S_IFDIR), b"")
        z.writestr(info("docs/inner/", 0o700, stat.S_IFDIR), b"")
        z.writestr(info("docs/inner/readme.txt", 0o644), text, zipfile.ZIP_DEFLATED)
        z.writestr(info("open/", 0o777, stat.S_IFDIR), b"")
        z.writestr(info("open/shared.txt", 0o666), text, zipfile.ZIP_DEFLATED)
    # Folders known by their names alone: no type bits, no directory attribute.
    with zipfile.ZipFile(os.path.join(outdir, "py_dirname.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        for name in ("d/", "d/e/"):
            zi = zipfile.ZipInfo(name)
            zi.external_attr = 0o755 << 16
            z.writestr(zi, b"")
        z.writestr("d/e/f.txt", text)
    with zipfile.ZipFile(os.path.join(outdir, "py_utf8.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("résumé.txt", text)
        z.writestr("данные/файл.txt", b"payload")
        z.writestr("日本語.bin", binary)
    with zipfile.ZipFile(os.path.join(outdir, "py_perms.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(info("run.sh", 0o755), b"#!/bin/sh\necho hi\n", zipfile.ZIP_DEFLATED)
        z.writestr(info("secret", 0o600), b"s3cret", zipfile.ZIP_DEFLATED)
        z.writestr(info("readonly", 0o444), text, zipfile.ZIP_DEFLATED)
        z.writestr(info("shared", 0o664), binary, zipfile.ZIP_STORED)
    with open(os.path.join(outdir, "py_descriptor.zip"), "wb") as f:
        with zipfile.ZipFile(Unseekable(f), "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("streamed.txt", text)
            z.writestr("streamed.bin", binary)


def dump(path):
    with zipfile.ZipFile(path) as z:
        entries = []
        for zi in z.infolist():
            entries.append({
                "name": zi.filename,
                "rawName": base64.b64encode(zi.filename.encode(
                    "utf-8" if zi.flag_bits & 0x800 else "cp437")).decode(),
                "flags": zi.flag_bits,
                "isDir": zi.is_dir(),
                "size": zi.file_size,
                "crc": zi.CRC,
                "createSystem": zi.create_system,
                "mode": zi.external_attr >> 16,
                "data": base64.b64encode(b"" if zi.is_dir() else z.read(zi)).decode(),
            })
        print(json.dumps({"comment": base64.b64encode(z.comment).decode(), "entries": entries}))


def fields(path):
    raw = open(path, "rb").read()
    end = raw.rfind(b"PK\x05\x06")
    (_, disk, cd_disk, on_disk, total, cd_size, cd_offset, comment_len) = struct.unpack(
        "<IHHHHIIH", raw[end:end + 22])
    result = {"endOffset": end, "disk": disk, "directoryDisk": cd_disk, "entriesOnDisk": on_disk,
              "entries": total, "directorySize": cd_size, "directoryOffset": cd_offset,
              "commentLength": comment_len, "fileSize": len(raw), "records": []}
    with zipfile.ZipFile(path) as z:
        result["testzip"] = z.testzip()
        for zi in z.infolist():
            off = zi.header_offset
            (sig, need, flags, method, _, _, crc, csize, usize, nlen, elen) = struct.unpack(
                "<IHHHHHIIIHH", raw[off:off + 30])
            name = raw[off + 30:off + 30 + nlen]
            data_start = off + 30 + nlen + elen
            local_matches = (sig == 0x04034b50 and need == zi.extract_version
                             and flags == zi.flag_bits and method == zi.compress_type
                             and crc == zi.CRC and csize == zi.compress_size
                             and usize == zi.file_size and elen == 0
                             and name == zi.filename.encode("utf-8"))
            result["records"].append({
                "name": zi.filename, "method": zi.compress_type,
                "compressedSize": zi.compress_size, "size": zi.file_size, "crc": zi.CRC,
                "externalAttributes": zi.external_attr, "flags": zi.flag_bits,
                "createSystem": zi.create_system, "createVersion": zi.create_version,
                "extractVersion": zi.extract_version, "offset": off,
                "localHeaderMatches": local_matches,
                "rawData": base64.b64encode(raw[data_start:data_start + csize]).decode(),
                "dataEnd": data_start + csize,
            })
    print(json.dumps(result))


def describe(root, umask=0):
    tree = {}
    for dirpath, dirnames, filenames in os.walk(root):
        for name in dirnames + filenames:
            full = os.path.join(dirpath, name)
            rel = os.path.relpath(full, root)
            st = os.lstat(full)
            if stat.S_ISLNK(st.st_mode):
                tree[rel] = ("link", os.readlink(full))
            elif stat.S_ISDIR(st.st_mode):
                tree[rel] = ("dir", stat.S_IMODE(st.st_mode) & ~umask)
            else:
                with open(full, "rb") as f:
                    tree[rel] = ("file", stat.S_IMODE(st.st_mode) & ~umask, f.read())
    return tree


def compare(a, b):
    # unzip restores stored Unix modes as they are; the reader masks them by the umask.
    umask = os.umask(0)
    os.umask(umask)
    ta, tb = describe(a), describe(b, umask)
    problems = []
    for rel in sorted(set(ta) | set(tb)):
        if ta.get(rel) != tb.get(rel):
            problems.append("%s: %r != %r" % (rel, str(ta.get(rel))[:80], str(tb.get(rel))[:80]))
    for p in problems:
        print(p)
    return 1 if problems else 0


def main():
    cmd = sys.argv[1]
    if cmd == "make":
        make(sys.argv[2])
    elif cmd == "dump":
        dump(sys.argv[2])
    elif cmd == "fields":
        fields(sys.argv[2])
    elif cmd == "compare":
        sys.exit(compare(sys.argv[2], sys.argv[3]))
    else:
        sys.exit("unknown command " + cmd)


if __name__ == "__main__":
    main()
