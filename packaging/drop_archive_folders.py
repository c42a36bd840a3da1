#!/usr/bin/env python3
"""Rewrites a Debian package without the entries of the given folders (their contents stay),
so that dpkg does not record those folders as the package's own and leaves them in place
when the package is purged.
Usage: drop_archive_folders.py PACKAGE.deb FOLDER... (FOLDER as in the archive: ./opt)"""

import gzip
import os
import io
import sys
import tarfile

AR_MAGIC = b"!<arch>\n"
HEADER_SIZE = 60


def ar_members(data):
    """(header, body) of each member of an ar archive."""
    if not data.startswith(AR_MAGIC):
        sys.exit("not a Debian package: no ar header")
    position = len(AR_MAGIC)
    while position < len(data):
        header = data[position:position + HEADER_SIZE]
        size = int(header[48:58])
        body = data[position + HEADER_SIZE:position + HEADER_SIZE + size]
        yield header, body
        position += HEADER_SIZE + size + size % 2


def ar_member(header, body):
    header = header[:48] + b"%-10d" % len(body) + header[58:]
    return header + body + (b"\n" if len(body) % 2 else b"")


def without_folders(data_tar_gz, folders):
    source = tarfile.open(fileobj=io.BytesIO(data_tar_gz), mode="r:gz")
    output = io.BytesIO()
    # A fixed time in the gzip header keeps the rewrite reproducible.
    with gzip.GzipFile(fileobj=output, mode="wb", compresslevel=9, mtime=0) as packed:
        with tarfile.open(fileobj=packed, mode="w", format=source.format) as target:
            for member in source:
                if member.isdir() and member.name.rstrip("/") in folders:
                    continue
                target.addfile(member, source.extractfile(member) if member.isfile() else None)
    return output.getvalue()


def main():
    path, folders = sys.argv[1], {folder.rstrip("/") for folder in sys.argv[2:]}
    with open(path, "rb") as package:
        data = package.read()
    members = []
    for header, body in ar_members(data):
        name = header[:16].rstrip(b" /")
        if name.startswith(b"data.tar"):
            if name != b"data.tar.gz":
                sys.exit(f"{path}: {name.decode()} is not handled, only data.tar.gz")
            body = without_folders(body, folders)
        members.append(ar_member(header, body))
    with open(path + ".new", "wb") as package:
        package.write(AR_MAGIC + b"".join(members))
    # Whole or not at all: the package is replaced only once the new one is written.
    os.replace(path + ".new", path)


if __name__ == "__main__":
    main()
