#!/usr/bin/env python3
"""Builds ZIP archives with real ZIP writers, for the archive engine's tests.

Usage: make_archives.py OUTDIR [NAME...]
       make_archives.py --list
       make_archives.py --seeds OUTDIR

Without NAMEs every archive is built; with NAMEs only those. --seeds builds
the small archives only (the seed corpus of the archive fuzzer). An archive
whose writer is not installed is skipped with a note on stderr; the exit
status is 0 unless a writer that is installed fails.

Every input file has a fixed time and mode, and the writers run with TZ=UTC,
so the names, sizes, CRCs, times and attributes of the entries are the same
on every run. (Extra fields such as owner ids may differ; nothing here
depends on them.)
"""

import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

FIXED_TIME = (2020, 5, 17, 10, 20, 30)
FIXED_EPOCH = 1589710830  # 2020-05-17 10:20:30 UTC
STUB_SIZE = 100
ENV = dict(os.environ, TZ="UTC", LC_ALL="C.UTF-8", SOURCE_DATE_EPOCH=str(FIXED_EPOCH))

KML = (
    b'<?xml version="1.0" encoding="UTF-8"?>\n'
    b'<kml xmlns="http://earth.google.com/kml/2.1">\n'
    b"<Placemark><name>%s</name>\n"
    b"<Point><coordinates>-82.575000, 27.498610, 0</coordinates></Point>\n"
    b"</Placemark>\n</kml>\n"
)

# The staging tree the command-line writers archive, in the order they get it.
TREE = [
    ("doc.kml", KML % b"doc"),
    ("files/", None),
    ("files/a.kml", KML % b"a"),
    ("files/readme.txt", b"read me\n" * 40),
    ("files/sub/", None),
    ("files/sub/B.KML", KML % b"B"),
]
UNICODE_FILE = "\u03a9mega/\u00fcn\u00efcode.kml"  # "Ωmega/ünïcode.kml"


def have(program):
    return shutil.which(program) is not None


def run(args, cwd, stdin=None, stdout=None):
    subprocess.run(args, cwd=cwd, env=ENV, input=stdin, stdout=stdout, check=True)


def stage(root, with_unicode=False):
    """Writes TREE (and the Unicode-named file) below root, fixed modes and times."""
    entries = list(TREE)
    if with_unicode:
        entries += [(UNICODE_FILE.split("/")[0] + "/", None), (UNICODE_FILE, KML % b"omega")]
    for name, data in entries:
        path = os.path.join(root, name)
        if data is None:
            os.makedirs(path, exist_ok=True)
        else:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
    for name, data in reversed(entries):
        path = os.path.join(root, name)
        os.chmod(path, 0o755 if data is None else 0o644)
        os.utime(path, (FIXED_EPOCH, FIXED_EPOCH))
    return [name for name, _ in entries]


# --- Info-ZIP zip -----------------------------------------------------------


def infozip(out, work, names, options=(), comment=None):
    stage(work)
    run(["zip", "-q", *options, out, *names], cwd=work, stdin=comment)


def infozip_plain(out, work):
    infozip(out, work, ["doc.kml", "files/a.kml", "files/readme.txt"])


def infozip_folders(out, work):
    # Folders named without -r: zip adds the folder entry alone, in this order.
    infozip(out, work, [name for name, _ in TREE])


def infozip_stored(out, work):
    infozip(out, work, ["doc.kml", "files/readme.txt"], options=["-0"])


def infozip_comment(out, work):
    # The archive comment holds an end record signature that does not validate.
    comment = b"fake end record PK\x05\x06 inside the comment\n"
    infozip(out, work, ["doc.kml", "files/a.kml"], options=["-z"], comment=comment)


def infozip_encrypted(out, work):
    # Traditional encryption: flag bit 0 and a 12-byte header before the data.
    infozip(out, work, ["doc.kml", "files/a.kml"], options=["-P", "secret"])


def infozip_unicode(out, work):
    # zip keeps the name's UTF-8 bytes without setting flag bit 11.
    stage(work, with_unicode=True)
    run(["zip", "-q", out, UNICODE_FILE], cwd=work)


def infozip_stream(out, work):
    # Input from a pipe and output to a pipe: the entry is named "-" and has
    # the time of the run.
    with open(out, "wb") as f:
        run(["zip", "-q", "-", "-"], cwd=work, stdin=KML % b"piped", stdout=f)


def with_prefix(builder):
    """The archive of `builder` behind a prefix of STUB_SIZE bytes; its offsets
    still count from the archive proper."""

    def build(out, work):
        builder(out + ".inner", work)
        with open(out, "wb") as f:
            f.write(bytes(range(STUB_SIZE)))
            with open(out + ".inner", "rb") as inner:
                f.write(inner.read())
        os.remove(out + ".inner")

    return build


def with_stub(out, work):
    with_prefix(infozip_plain)(out, work)


def infozip_prefix_unadjusted(out, work):
    # A 100-byte prefix in front; the offsets still count from the archive proper.
    with_stub(out, work)


def infozip_prefix_adjusted(out, work):
    # The same prefix, with the offsets made to count it (zip -A).
    with_stub(out, work)
    run(["zip", "-q", "-A", out], cwd=work)


def central_directory(data):
    """(offset, size) of the central directory, from the last end record."""
    _, fields = end_record(data)
    return fields[6], fields[5]


def infozip_truncated_cd(out, work):
    # The file ends in the middle of the central directory: no end record.
    infozip_folders(out, work)
    with open(out, "rb") as f:
        data = f.read()
    offset, size = central_directory(data)
    with open(out, "wb") as f:
        f.write(data[: offset + size // 2])


def infozip_zeroed_cd(out, work):
    # The middle third of the central directory is overwritten with zeros;
    # the end record and every local header are intact.
    infozip_folders(out, work)
    with open(out, "rb") as f:
        data = bytearray(f.read())
    offset, size = central_directory(data)
    start, end = offset + size // 3, offset + 2 * size // 3
    data[start:end] = bytes(end - start)
    with open(out, "wb") as f:
        f.write(data)


def infozip_gap(out, work):
    # Three bytes between the central directory and the end record: the
    # directory is not where its size counted back from the end record puts
    # it, but where its stated offset says.
    infozip_plain(out, work)
    with open(out, "rb") as f:
        data = f.read()
    end, _ = end_record(data)
    with open(out, "wb") as f:
        f.write(data[:end] + b"xyz" + data[end:])


def infozip_zip64_stream(out, work):
    # Zip64 forced (-fz) and written to a pipe: flag bit 3, local sizes
    # saturated with a Zip64 field, and data descriptors of 24 bytes.
    stage(work)
    piped = subprocess.run(["zip", "-q", "-fz", "-", "doc.kml", "files/readme.txt"], cwd=work,
                           env=ENV, stdout=subprocess.PIPE, check=True).stdout
    with open(out, "wb") as f:
        f.write(piped)


def cut_in_directory(builder):
    """The archive of `builder`, cut in the middle of its central directory."""

    def build(out, work):
        builder(out, work)
        with open(out, "rb") as f:
            data = f.read()
        end, fields = end_record(data)
        with open(out, "wb") as f:
            f.write(data[: end - fields[5] // 2])

    return build


def local_signature_only(out, work):
    # A local header signature followed by bytes that are no header.
    with open(out, "wb") as f:
        f.write(b"PK\x03\x04" + b"garbage-" * 4)


# --- Python zipfile ---------------------------------------------------------


def info(name, compress=zipfile.ZIP_DEFLATED, attr=0o100644 << 16):
    zi = zipfile.ZipInfo(name, FIXED_TIME)
    zi.compress_type = compress
    zi.external_attr = attr
    return zi


def py_zip64(out, work):
    # force_zip64: the local headers carry the Zip64 extra field.
    with zipfile.ZipFile(out, "w") as zf:
        for name, data in TREE:
            if data is not None:
                with zf.open(info(name), "w", force_zip64=True) as f:
                    f.write(data)


class Unseekable(io.RawIOBase):
    """A write-only stream that cannot tell or seek, as a pipe."""

    def __init__(self, target):
        super().__init__()
        self.target = target

    def writable(self):
        return True

    def write(self, data):
        return self.target.write(data)

    def tell(self):
        raise OSError("unseekable")

    def seek(self, *args):
        raise OSError("unseekable")


def py_descriptor(out, work):
    # On a stream it cannot seek, zipfile writes flag bit 3 and data descriptors.
    with open(out, "wb") as target:
        with zipfile.ZipFile(Unseekable(target), "w") as zf:
            for name, data in TREE:
                if data is not None:
                    zf.writestr(info(name), data)


def py_utf8(out, work):
    with zipfile.ZipFile(out, "w") as zf:
        zf.writestr(info("doc.kml"), KML % b"doc")
        zf.writestr(info(UNICODE_FILE), KML % b"omega")
        zf.writestr(info("\u65e5\u672c/\u5730\u56f3.kml"), KML % b"map")  # "日本/地図.kml"


class RawNameInfo(zipfile.ZipInfo):
    """A ZipInfo that stores its name as the given bytes, flag bit 11 clear."""

    def __init__(self, raw, date_time):
        super().__init__(raw.decode("cp437"), date_time)
        self.raw = raw

    def _encodeFilenameFlags(self):
        return self.raw, self.flag_bits & ~0x800


def py_cp437(out, work):
    with zipfile.ZipFile(out, "w") as zf:
        for raw in (b"\x84\x94\x81.kml", b"caf\xc3\xa9.kml", b"plain.kml"):
            zi = RawNameInfo(raw, FIXED_TIME)
            zi.compress_type = zipfile.ZIP_DEFLATED
            zi.external_attr = 0x20
            zf.writestr(zi, KML % raw)


# Names holding the bytes that break a line or a column, or that are escaped
# in listings; zipfile stores whatever name it is given (the NUL only when the
# name is set after the ZipInfo is made, which cuts it at a NUL).
CONTROL_NAMES = [
    "tab\there.kml",
    "line\nfeed.kml",
    "carriage\rreturn.kml",
    "nul\0byte.kml",
    "back\\slash.kml",
    "bell\x07esc\x1bdel\x7f.kml",
    "caf\u00e9\tt\u00e4b.kml",
    "plain.kml",
]


def py_control_names(out, work):
    with zipfile.ZipFile(out, "w") as zf:
        for name in CONTROL_NAMES:
            zi = info("x")
            zi.filename = name
            zf.writestr(zi, KML % b"control")


def py_zip64_huge(out, work):
    # Two entries whose central headers state sizes above 2^63 in the Zip64
    # field: zipfile writes the sizes its records hold when it closes, so they
    # are set after the data is written. The third entry is ordinary.
    with zipfile.ZipFile(out, "w") as zf:
        for name in ("huge1.kml", "huge2.kml", "small.kml"):
            zf.writestr(info(name), KML % b"huge")
        for zi in zf.infolist()[:2]:
            zi.file_size = 2**64 - 1
            zi.compress_size = 2**63


def py_empty(out, work):
    with zipfile.ZipFile(out, "w"):
        pass


def many(out, count):
    # Tiny stored entries of one byte each, so that the archive builds in seconds.
    with zipfile.ZipFile(out, "w") as zf:
        for i in range(count):
            zf.writestr(info("folder%03d/file%06d.kml" % (i % 1000, i), zipfile.ZIP_STORED), b"x")


def end_record(data):
    end = data.rfind(b"PK\x05\x06")
    return end, list(struct.unpack("<4s4H2LH", data[end : end + 22]))


def py_65535(out, work):
    # zipfile writes Zip64 end records only above 65,535 entries, so this one has
    # none: the end record's counts hold 0xFFFF, offset and size are exact.
    many(out, 65535)


def py_65535_zip64(out, work):
    # The same archive with a Zip64 end record and locator put in front of the
    # end record (as zipfile writes them above 65,535 entries); the end
    # record's counts stay 0xFFFF, its offset and size stay exact.
    many(out, 65535)
    with open(out, "rb") as f:
        data = f.read()
    end, rec = end_record(data)
    size, offset = rec[5], rec[6]
    zip64_end = struct.pack("<4sQ2H2L4Q", b"PK\x06\x06", 44, 45, 45, 0, 0, 65535, 65535, size, offset)
    locator = struct.pack("<4sLQL", b"PK\x06\x07", 0, end, 1)
    with open(out, "wb") as f:
        f.write(data[:end] + zip64_end + locator + data[end:])


def py_70000_zip64(out, work):
    many(out, 70000)


def py_70000_wrapped(out, work):
    # The Zip64 end record and locator (the 76 bytes before the end record) are
    # removed and the end record's counts set to 70,000 modulo 65,536 = 4,464,
    # as writers without Zip64 leave them; offset and size are exact.
    many(out, 70000)
    with open(out, "rb") as f:
        data = f.read()
    end, rec = end_record(data)
    assert data[end - 76 : end - 72] == b"PK\x06\x06"
    rec[3] = rec[4] = 70000 % 65536
    with open(out, "wb") as f:
        f.write(data[: end - 76] + struct.pack("<4s4H2LH", *rec) + data[end + 22 :])


# --- 7-Zip and bsdtar -------------------------------------------------------


def sevenzip(out, work):
    names = stage(work, with_unicode=True)
    files = [n for n in names if not n.endswith("/")]
    run(["7z", "a", "-tzip", "-mcu=on", "-bd", "-bso0", "-bsp0", out, *files], cwd=work)


def sevenzip_aes(out, work):
    # AES-256: method 99 with the AES extra field, flag bit 0.
    stage(work)
    run(["7z", "a", "-tzip", "-psecret", "-mem=AES256", "-bd", "-bso0", "-bsp0", out,
         "doc.kml", "files/a.kml"], cwd=work)


def bsdtar_stream(out, work):
    # Written to a pipe, so bsdtar cannot go back: data descriptors follow the
    # data. -n: folders are named one by one, as the other writers get them.
    stage(work)
    with open(out, "wb") as f:
        run(["bsdtar", "--format", "zip", "-n", "-cf", "-", *[n for n, _ in TREE]], cwd=work, stdout=f)


def zero_bytes(out, work):
    open(out, "wb").close()


# name: (builder, program it needs or None, small enough to seed the fuzzer)
ARCHIVES = {
    "infozip_plain.zip": (infozip_plain, "zip", True),
    "infozip_folders.zip": (infozip_folders, "zip", True),
    "infozip_stored.zip": (infozip_stored, "zip", True),
    "infozip_comment.zip": (infozip_comment, "zip", True),
    "infozip_encrypted.zip": (infozip_encrypted, "zip", True),
    "infozip_unicode.zip": (infozip_unicode, "zip", True),
    "infozip_stream.zip": (infozip_stream, "zip", True),
    "infozip_prefix_unadjusted.zip": (infozip_prefix_unadjusted, "zip", True),
    "infozip_prefix_adjusted.zip": (infozip_prefix_adjusted, "zip", True),
    "infozip_truncated_cd.zip": (infozip_truncated_cd, "zip", True),
    "infozip_zeroed_cd.zip": (infozip_zeroed_cd, "zip", True),
    "infozip_gap.zip": (infozip_gap, "zip", True),
    "infozip_zip64_stream.zip": (infozip_zip64_stream, "zip", True),
    "infozip_zip64_stream_cut_cd.zip": (cut_in_directory(infozip_zip64_stream), "zip", True),
    "infozip_zip64_stream_prefix_unadjusted.zip": (with_prefix(infozip_zip64_stream), "zip", True),
    "py_zip64.zip": (py_zip64, None, True),
    "py_zip64_cut_cd.zip": (cut_in_directory(py_zip64), None, True),
    "py_zip64_prefix_unadjusted.zip": (with_prefix(py_zip64), None, True),
    "py_descriptor.zip": (py_descriptor, None, True),
    "py_utf8.zip": (py_utf8, None, True),
    "py_cp437.zip": (py_cp437, None, True),
    "py_control_names.zip": (py_control_names, None, True),
    "py_zip64_huge.zip": (py_zip64_huge, None, True),
    "py_empty.zip": (py_empty, None, True),
    "py_65535.zip": (py_65535, None, False),
    "py_65535_zip64.zip": (py_65535_zip64, None, False),
    "py_70000_zip64.zip": (py_70000_zip64, None, False),
    "py_70000_wrapped.zip": (py_70000_wrapped, None, False),
    "7z_plain.zip": (sevenzip, "7z", True),
    "7z_aes.zip": (sevenzip_aes, "7z", True),
    "bsdtar_stream.zip": (bsdtar_stream, "bsdtar", True),
    "zero_bytes.zip": (zero_bytes, None, True),
    "local_signature_only.zip": (local_signature_only, None, True),
}


def build(outdir, name):
    builder, program, _ = ARCHIVES[name]
    if program and not have(program):
        print("skipped %s: %s is not installed" % (name, program), file=sys.stderr)
        return
    out = os.path.abspath(os.path.join(outdir, name))
    if os.path.exists(out):
        os.remove(out)
    with tempfile.TemporaryDirectory() as work:
        builder(out, work)


def main(argv):
    if argv[:1] == ["--list"]:
        print("\n".join(ARCHIVES))
        return 0
    seeds = argv[:1] == ["--seeds"]
    if seeds:
        argv = argv[1:]
    if not argv:
        print(__doc__, file=sys.stderr)
        return 2
    outdir, names = argv[0], argv[1:]
    unknown = [n for n in names if n not in ARCHIVES]
    if unknown:
        print("unknown archive: " + ", ".join(unknown), file=sys.stderr)
        return 2
    os.makedirs(outdir, exist_ok=True)
    for name in names or [n for n, (_, _, small) in ARCHIVES.items() if small or not seeds]:
        build(outdir, name)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
