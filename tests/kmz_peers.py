#!/usr/bin/env python3
"""Python zipfile as the peer of the KMZ round-trip tests.

    kmz_peers.py make ARCHIVE NAME FILE [NAME FILE...]
        Writes ARCHIVE with one deflated entry NAME per pair, holding the
        bytes of FILE, in the order given. A name may repeat and may hold any
        character; a name ending in '/' makes a folder entry (FILE unused).

    kmz_peers.py dump ARCHIVE FOLDER
        Prints one line per entry, in the order of the central directory,
        tab-separated: the name, the CRC-32, the date and time, the external
        attributes, the central extra field and comment (hex), and the
        SHA-256 of the raw local record (header, data and data descriptor).
        Writes the data of entry number I (from 0) to FOLDER/I, unless
        zipfile cannot read it.

    kmz_peers.py spoil ARCHIVE INDEX
        Inverts the CRC-32 of entry number INDEX (from 0) in its local and
        its central header, so that its data no longer passes the check.
"""

import hashlib
import os
import struct
import sys
import zipfile


def make(archive, pairs):
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as out:
        for name, path in zip(pairs[::2], pairs[1::2]):
            info = zipfile.ZipInfo(name, (2011, 11, 5, 10, 20, 30))
            info.compress_type = zipfile.ZIP_STORED if name.endswith("/") else zipfile.ZIP_DEFLATED
            data = b"" if name.endswith("/") else open(path, "rb").read()
            out.writestr(info, data)


def raw_record(handle, info):
    handle.seek(info.header_offset)
    header = handle.read(30)
    name_length, extra_length = struct.unpack("<HH", header[26:30])
    length = 30 + name_length + extra_length + info.compress_size
    if info.flag_bits & 0x08:
        handle.seek(info.header_offset + length)
        length += 16 if handle.read(4) == b"PK\x07\x08" else 12
    handle.seek(info.header_offset)
    return handle.read(length)


def dump(archive, folder):
    with zipfile.ZipFile(archive) as source, open(archive, "rb") as handle:
        for index, info in enumerate(source.infolist()):
            record = hashlib.sha256(raw_record(handle, info)).hexdigest()
            when = "%04d-%02d-%02d %02d:%02d:%02d" % info.date_time
            print("\t".join([info.orig_filename, "%08x" % info.CRC, when,
                             "%d/%08x" % (info.create_system, info.external_attr),
                             info.extra.hex(),
                             info.comment.hex(), record]))
            try:
                data = source.read(info)
            except Exception:
                continue
            with open(os.path.join(folder, str(index)), "wb") as out:
                out.write(data)


def spoil(archive, index):
    with zipfile.ZipFile(archive) as source:
        info = source.infolist()[index]
        central = source.start_dir
        for _ in range(index):
            with open(archive, "rb") as handle:
                handle.seek(central + 28)
                lengths = struct.unpack("<HHH", handle.read(6))
            central += 46 + sum(lengths)
    with open(archive, "r+b") as handle:
        for crc_at in (info.header_offset + 14, central + 16):
            handle.seek(crc_at)
            crc = struct.unpack("<I", handle.read(4))[0]
            handle.seek(crc_at)
            handle.write(struct.pack("<I", crc ^ 0xFFFFFFFF))


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2], sys.argv[3:])
    elif sys.argv[1] == "spoil":
        spoil(sys.argv[2], int(sys.argv[3]))
    else:
        dump(sys.argv[2], sys.argv[3])
