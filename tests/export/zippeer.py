#!/usr/bin/env python3
# Python's zipfile as the independent peer of the ZIP tests.
#   zippeer.py tree SEED DIR         a random tree from SEED: nested and UTF-8 names, empty,
#                                    compressible and random files up to 200 000 bytes,
#                                    empty folders, modes, links to files of the tree
#   zippeer.py pack DIR ARCHIVE HOW  DIR written by zipfile; HOW is stored, deflated or stream
#                                    (to an unseekable file: data descriptors)
#   zippeer.py check ARCHIVE DIR     zipfile must read DIR back: names, bytes, CRC-32, modes
#   zippeer.py compare A B [MASK]    the trees must be equal, the modes of B masked by MASK (octal)
import os, random, stat, sys, zipfile, zlib


def tree(seed, root):
    rnd, dirs, files = random.Random(int(seed)), [""], []
    os.makedirs(root)
    for i in range(rnd.randint(10, 24)):
        kind, rel = rnd.random(), os.path.join(rnd.choice(dirs), rnd.choice(["f%d", "f%d.txt", "données %d", "日本%d"]) % i)
        full = os.path.join(root, rel)
        if kind < 0.25:
            os.mkdir(full)
            os.chmod(full, rnd.choice([0o755, 0o750, 0o777]))
            dirs.append(rel)
        elif kind < 0.3 and files:
            os.symlink(os.path.relpath(os.path.join(root, rnd.choice(files)), os.path.dirname(full)), full)
        else:
            size = rnd.choice([0, 1, 63, 64, 4000, 70000, 200000])
            text = b"".join(b"line %d of a report\n" % n for n in range(size // 10))
            with open(full, "wb") as f:
                f.write(rnd.randbytes(size) if rnd.random() < 0.4 else text[:size])
            os.chmod(full, rnd.choice([0o644, 0o600, 0o755, 0o666, 0o640]))
            files.append(rel)


def entries(root):
    for d, dirnames, filenames in os.walk(root):
        for full in [os.path.join(d, name) for name in sorted(dirnames) + sorted(filenames)]:
            mode = os.lstat(full).st_mode
            data = os.readlink(full).encode() if stat.S_ISLNK(mode) else b"" if stat.S_ISDIR(mode) else open(full, "rb").read()
            yield os.path.relpath(full, root) + "/" * stat.S_ISDIR(mode), mode, data


def pack(root, path, how):
    with open(path, "wb") as f:
        unseekable = type("Unseekable", (), {"write": lambda self, b: f.write(b), "flush": lambda self: f.flush()})()
        with zipfile.ZipFile(unseekable if how == "stream" else f, "w") as z:
            for n, (name, mode, data) in enumerate(entries(root)):
                zi = zipfile.ZipInfo(name, date_time=(2020, 2, 29, 13, 45, 58))
                # Every other folder is known by its name alone: no type bits.
                zi.external_attr = (stat.S_IMODE(mode) if name.endswith("/") and n % 2 else mode) << 16
                zi.compress_type = zipfile.ZIP_STORED if how == "stored" else zipfile.ZIP_DEFLATED
                z.writestr(zi, data)


def check(path, root):
    with zipfile.ZipFile(path) as z:
        assert z.testzip() is None
        got = {zi.filename: (zi.external_attr >> 16, z.read(zi), zi.CRC) for zi in z.infolist()}
    return report(got, {name: (mode, data, zlib.crc32(data)) for name, mode, data in entries(root)})


def compare(a, b, mask="0"):
    masked = lambda root, bits: {k: (m if stat.S_ISLNK(m) else m & ~bits, d) for k, m, d in entries(root)}
    return report(masked(a, 0), masked(b, int(mask, 8)))


def report(a, b):
    for key in sorted(k for k in set(a) | set(b) if a.get(k) != b.get(k)):
        print("%s: %.80r != %.80r" % (key, a.get(key), b.get(key)))
    return int(a != b)


sys.exit({"tree": tree, "pack": pack, "check": check, "compare": compare}[sys.argv[1]](*sys.argv[2:]))
