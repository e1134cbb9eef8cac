#!/usr/bin/env python3
"""Writes a folder and everything below it into a new archive with Python's
zipfile, as a program built on zipfile would: each folder and file (links
followed) under its path from the folder's parent, with its time and mode.

Usage: zipfile_tree.py [--stored] [--zip64] ARCHIVE FOLDER

--stored keeps the data uncompressed (deflated otherwise); --zip64 gives
every file Zip64 local records, however small it is.
"""

import os
import shutil
import sys
import zipfile


def write_tree(archive, folder, method, zip64):
    base = os.path.dirname(os.path.abspath(folder))
    with zipfile.ZipFile(archive, "w") as zf:
        for root, dirs, files in os.walk(folder):
            dirs.sort()
            for path in [root] + [os.path.join(root, name) for name in sorted(files)]:
                info = zipfile.ZipInfo.from_file(path, os.path.relpath(path, base))
                if info.is_dir():
                    zf.writestr(info, b"")
                    continue
                info.compress_type = method
                with open(path, "rb") as source, zf.open(info, "w", force_zip64=zip64) as out:
                    shutil.copyfileobj(source, out)


def main(argv):
    flags = [arg for arg in argv if arg.startswith("--")]
    paths = [arg for arg in argv if not arg.startswith("--")]
    if len(paths) != 2 or not set(flags) <= {"--stored", "--zip64"}:
        sys.exit(__doc__)
    method = zipfile.ZIP_STORED if "--stored" in flags else zipfile.ZIP_DEFLATED
    write_tree(paths[0], paths[1], method, "--zip64" in flags)


if __name__ == "__main__":
    main(sys.argv[1:])
