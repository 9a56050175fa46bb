#!/usr/bin/env python3
"""Reads the execution level that a Windows program's embedded manifest requests.

    pe_manifest.py EXE           the manifest of the program (its RT_MANIFEST resource)
    pe_manifest.py --xml FILE    a manifest as a file (to try the check on known-bad ones)

Prints "LEVEL UIACCESS" from trustInfo/security/requestedPrivileges/requestedExecutionLevel
(e.g. "asInvoker false"), or "none" when the manifest requests no level. Exit code 2, with a
message, when there is no manifest or it cannot be read.
"""
import os
import struct
import sys
import xml.etree.ElementTree as ElementTree

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from pe_imports import BadFile, Image  # noqa: E402

RT_MANIFEST = 24
RESOURCE_DIRECTORY = 2


def manifest_bytes(image):
    rva, _ = image.directory(RESOURCE_DIRECTORY)
    if rva == 0:
        raise BadFile("no resources")
    root = image.offset(rva)

    def entries(offset):
        named, numbered = struct.unpack("<HH", image.bytes(offset + 12, 4))
        for i in range(named + numbered):
            name, target = struct.unpack("<II", image.bytes(offset + 16 + i * 8, 8))
            yield name, target

    def subdirectory(target):
        if not target & 0x80000000:
            raise BadFile("a resource leaf where a directory belongs")
        return root + (target & 0x7FFFFFFF)

    for name, target in entries(root):
        if name == RT_MANIFEST:
            # The first manifest, in its first language: the one the loader uses for a program.
            for _, by_name in entries(subdirectory(target)):
                for _, leaf in entries(subdirectory(by_name)):
                    if leaf & 0x80000000:
                        raise BadFile("a resource directory where data belongs")
                    data_rva, size = struct.unpack("<II", image.bytes(root + leaf, 8))
                    return image.bytes(image.offset(data_rva), size)
    raise BadFile("no manifest resource")


def local_name(tag):
    return tag.rsplit("}", 1)[-1]


def execution_level(text):
    try:
        root = ElementTree.fromstring(text)
    except ElementTree.ParseError as e:
        raise BadFile(f"the manifest is not XML: {e}")
    # Only where the loader reads it: assembly/trustInfo/security/requestedPrivileges.
    found = [root]
    for step in ("trustInfo", "security", "requestedPrivileges", "requestedExecutionLevel"):
        found = [child for parent in found for child in parent if local_name(child.tag) == step]
    if found:
        return f"{found[0].get('level', '')} {found[0].get('uiAccess', 'false')}"
    return "none"


def main():
    try:
        if len(sys.argv) == 3 and sys.argv[1] == "--xml":
            with open(sys.argv[2], "rb") as f:
                text = f.read()
        elif len(sys.argv) == 2:
            with open(sys.argv[1], "rb") as f:
                text = manifest_bytes(Image(f.read()))
        else:
            print("usage: pe_manifest.py EXE | --xml FILE", file=sys.stderr)
            return 2
        print(execution_level(text))
    except (OSError, BadFile, struct.error) as e:
        print(f"pe_manifest: {sys.argv[-1]}: {e}", file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
