#!/usr/bin/env python3
"""Prints Python zipfile's view of an archive, one entry a line, tab-separated:

    name  size  compressed size  CRC-32  YYYY-MM-DD HH:MM:SS  attributes  encrypted  encryption

(CRC-32 and external attributes as 8 lower-case hex digits, encrypted 1 or 0),
the same columns as `parcelon list --tsv`. Names are the whole stored name
(zipfile's filename stops at a NUL; its orig_filename does not), escaped as
parcelon escapes them: TAB, LF, CR and backslash as \\t, \\n, \\r and \\\\,
other characters below 0x20 and 0x7F as \\xNN.

Usage: zipfile_listing.py [--rebuilt] [--names-as-utf8] [--strip-comment] ARCHIVE

--rebuilt prints the attributes that a directory rebuilt from the local
headers carries, since local headers hold none: 00000020 for an entry with
data or a data descriptor, 00000010 (a folder) for the others.

--names-as-utf8 decodes names without flag bit 11 as UTF-8 when their bytes
are valid UTF-8, and keeps them as raw bytes when they are not and the entry
was made on Unix (zipfile takes them as CP437).

--strip-comment lists a copy of the archive without its archive comment:
zipfile takes the last end record signature of the file as the end record,
even one inside the comment. The real end record is the last signature whose
comment length reaches exactly to the end of the file.

Exits 1 with zipfile's message on stderr when zipfile cannot read the archive.
"""

import io
import struct
import sys
import zipfile

END_SIGNATURE = b"PK\x05\x06"


def without_comment(data):
    pos = data.rfind(END_SIGNATURE)
    while pos >= 0:
        (length,) = struct.unpack("<H", data[pos + 20 : pos + 22])
        if pos + 22 + length == len(data):
            return data[: pos + 20] + b"\0\0"
        pos = data.rfind(END_SIGNATURE, 0, pos)
    return data


ESCAPES = {"\t": "\\t", "\n": "\\n", "\r": "\\r", "\\": "\\\\"}


def escaped(name):
    def one(c):
        if c in ESCAPES:
            return ESCAPES[c]
        return "\\x%02x" % ord(c) if ord(c) < 0x20 or c == "\x7f" else c

    return "".join(one(c) for c in name)


def name_of(zi, names_as_utf8):
    name = zi.orig_filename
    if names_as_utf8 and not zi.flag_bits & 0x800:
        try:
            raw = name.encode("cp437")
        except UnicodeEncodeError:
            return escaped(name)
        try:
            name = raw.decode("utf-8")
        except UnicodeDecodeError:
            if zi.create_system == 3:
                name = raw.decode("utf-8", "surrogateescape")
    return escaped(name)


def attributes_of(zi, rebuilt):
    if not rebuilt:
        return zi.external_attr
    return 0x20 if zi.file_size or zi.flag_bits & 0x08 else 0x10


def encryption_of(zi):
    """none, zipcrypto, or aes128/192/256 from the key strength of the AES field."""
    if not zi.flag_bits & 1:
        return "none"
    extra = zi.extra
    while len(extra) >= 4:
        header_id, size = struct.unpack("<HH", extra[:4])
        if header_id == 0x9901 and size == 7 and 1 <= extra[8] <= 3:
            return "aes%d" % (64 + 64 * extra[8])
        extra = extra[4 + size:]
    return "zipcrypto"


def line(zi, rebuilt, names_as_utf8):
    y, mo, d, h, mi, s = zi.date_time
    return "%s\t%d\t%d\t%08x\t%04d-%02d-%02d %02d:%02d:%02d\t%08x\t%d\t%s" % (
        name_of(zi, names_as_utf8),
        zi.file_size,
        zi.compress_size,
        zi.CRC,
        y, mo, d, h, mi, s,
        attributes_of(zi, rebuilt),
        zi.flag_bits & 1,
        encryption_of(zi),
    )


def main(argv):
    rebuilt = "--rebuilt" in argv
    names_as_utf8 = "--names-as-utf8" in argv
    strip_comment = "--strip-comment" in argv
    paths = [a for a in argv if not a.startswith("--")]
    if len(paths) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        source = paths[0]
        if strip_comment:
            with open(source, "rb") as f:
                source = io.BytesIO(without_comment(f.read()))
        with zipfile.ZipFile(source) as zf:
            lines = [line(zi, rebuilt, names_as_utf8) for zi in zf.infolist()]
    except (zipfile.BadZipFile, OSError, ValueError) as e:
        print("zipfile: %s" % e, file=sys.stderr)
        return 1
    out = sys.stdout.buffer
    for text in lines:
        out.write(text.encode("utf-8", "surrogateescape") + b"\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
