#!/usr/bin/env python3
"""Points a linked Windows program's delay-import directory at its delay-import descriptors.

GNU ld links the descriptors that dlltool's delayed import libraries carry (symbols
__DELAY_IMPORT_DESCRIPTOR_<lib>, 32 bytes each, gathered in name order into .text) but leaves
the PE header's delay-import directory empty. The program runs either way; the directory is what
lets a reader of the file (our import check, any dependency viewer) find the delayed DLLs.

    pe-delay-directory.py NM EXE

NM is the toolchain's nm. Refuses (exit 1) when the descriptors are not one contiguous,
zero-terminated table, rather than describing something that is not there.
"""
import struct
import subprocess
import sys

DESCRIPTOR_SIZE = 32
DELAY_IMPORT_INDEX = 13


def fail(message):
    print(f"pe-delay-directory: {message}", file=sys.stderr)
    sys.exit(1)


def main():
    if len(sys.argv) != 3:
        fail("usage: pe-delay-directory.py NM EXE")
    nm, exe = sys.argv[1], sys.argv[2]
    symbols = subprocess.run([nm, exe], check=True, capture_output=True, text=True).stdout
    addresses = sorted(int(line.split()[0], 16) for line in symbols.splitlines()
                       if "__DELAY_IMPORT_DESCRIPTOR_" in line and len(line.split()) == 3)

    with open(exe, "r+b") as f:
        image = bytearray(f.read())
        pe = struct.unpack_from("<I", image, 0x3C)[0]
        if image[pe:pe + 4] != b"PE\0\0":
            fail(f"{exe} is not a PE file")
        optional = pe + 24
        magic = struct.unpack_from("<H", image, optional)[0]
        if magic == 0x10B:
            image_base = struct.unpack_from("<I", image, optional + 28)[0]
            directories = optional + 96
        elif magic == 0x20B:
            image_base = struct.unpack_from("<Q", image, optional + 24)[0]
            directories = optional + 112
        else:
            fail(f"{exe}: unknown optional header")
        count = struct.unpack_from("<I", image, directories - 4)[0]
        if count <= DELAY_IMPORT_INDEX:
            fail(f"{exe}: no room for a delay-import directory")
        entry = directories + DELAY_IMPORT_INDEX * 8

        if not addresses:
            struct.pack_into("<II", image, entry, 0, 0)
        else:
            start = addresses[0]
            if addresses != [start + i * DESCRIPTOR_SIZE for i in range(len(addresses))]:
                fail("the delay-import descriptors are not contiguous")
            rva = start - image_base
            end = rva + len(addresses) * DESCRIPTOR_SIZE
            offset = file_offset(image, pe, optional, end)
            if offset is None or any(image[offset:offset + DESCRIPTOR_SIZE]):
                fail("the delay-import descriptors are not followed by an empty one")
            struct.pack_into("<II", image, entry, rva, end + DESCRIPTOR_SIZE - rva)
        f.seek(0)
        f.write(image)


def file_offset(image, pe, optional, rva):
    sections = struct.unpack_from("<H", image, pe + 6)[0]
    header_size = struct.unpack_from("<H", image, pe + 20)[0]
    table = optional + header_size
    for i in range(sections):
        base = table + i * 40
        vsize, vaddr, rawsize, rawptr = struct.unpack_from("<IIII", image, base + 8)
        if vaddr <= rva and rva + DESCRIPTOR_SIZE <= vaddr + min(vsize, rawsize):
            return rawptr + rva - vaddr
    return None


if __name__ == "__main__":
    main()
