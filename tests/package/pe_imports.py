#!/usr/bin/env python3
"""Lists what a Windows program imports, from its import and its delay-import tables.

    pe_imports.py EXE

One line per imported function: "static DLL FUNCTION" (bound by the loader before the program's
first line runs) or "delayed DLL FUNCTION" (bound on first use), the DLL in lower case; an
import by ordinal is written "#ORDINAL". Reads PE32 and PE32+ files. Exit code 2, with a
message, when the file is not a program or a table points outside it: a table that cannot be
read is never reported as empty.
"""
import struct
import sys


class BadFile(Exception):
    pass


class Image:
    def __init__(self, data):
        self.data = data
        if len(data) < 0x40 or data[:2] != b"MZ":
            raise BadFile("not a Windows program")
        pe = self.u32(0x3C)
        if self.bytes(pe, 4) != b"PE\0\0":
            raise BadFile("no PE header")
        sections = self.u16(pe + 6)
        header_size = self.u16(pe + 20)
        optional = pe + 24
        magic = self.u16(optional)
        if magic == 0x10B:
            self.wide = False
            self.image_base = self.u32(optional + 28)
            directories = optional + 96
        elif magic == 0x20B:
            self.wide = True
            self.image_base = self.u64(optional + 24)
            directories = optional + 112
        else:
            raise BadFile(f"unknown optional header magic {magic:#x}")
        self.directory_count = self.u32(directories - 4)
        self.directories = directories
        self.sections = []
        table = optional + header_size
        for i in range(sections):
            base = table + i * 40
            vsize, vaddr, rawsize, rawptr = struct.unpack_from("<IIII", self.bytes(base + 8, 16))
            self.sections.append((vaddr, max(vsize, rawsize), rawptr, rawsize))

    def bytes(self, offset, size):
        if offset < 0 or offset + size > len(self.data):
            raise BadFile(f"a read at {offset:#x} leaves the file")
        return self.data[offset:offset + size]

    def u16(self, offset):
        return struct.unpack("<H", self.bytes(offset, 2))[0]

    def u32(self, offset):
        return struct.unpack("<I", self.bytes(offset, 4))[0]

    def u64(self, offset):
        return struct.unpack("<Q", self.bytes(offset, 8))[0]

    def directory(self, index):
        if index >= self.directory_count:
            return 0, 0
        return struct.unpack("<II", self.bytes(self.directories + index * 8, 8))

    def offset(self, rva):
        for vaddr, size, rawptr, rawsize in self.sections:
            if vaddr <= rva < vaddr + size:
                if rva - vaddr >= rawsize:
                    raise BadFile(f"RVA {rva:#x} has no bytes in the file")
                return rawptr + rva - vaddr
        raise BadFile(f"RVA {rva:#x} is in no section")

    def rva_u32(self, rva):
        return self.u32(self.offset(rva))

    def string(self, rva):
        start = self.offset(rva)
        end = self.data.find(b"\0", start, start + 512)
        if end < 0:
            raise BadFile(f"unterminated name at RVA {rva:#x}")
        return self.data[start:end].decode("ascii", "replace")

    def names(self, rva):
        """The function names of one DLL's lookup table at `rva`."""
        size = 8 if self.wide else 4
        ordinal_flag = 1 << (63 if self.wide else 31)
        result = []
        for i in range(65536):
            offset = self.offset(rva + i * size)
            entry = self.u64(offset) if self.wide else self.u32(offset)
            if entry == 0:
                return result
            if entry & ordinal_flag:
                result.append(f"#{entry & 0xFFFF}")
            else:
                result.append(self.string((entry & 0x7FFFFFFF) + 2))
        raise BadFile("an unterminated lookup table")


def imports(image):
    rows = []
    rva, size = image.directory(1)
    if rva:
        for i in range(4096):
            descriptor = image.offset(rva + i * 20)
            lookup, _, _, name, thunks = struct.unpack("<IIIII", image.bytes(descriptor, 20))
            if name == 0 and thunks == 0:
                break
            dll = image.string(name).lower()
            rows += [("static", dll, f) for f in image.names(lookup or thunks)]
        else:
            raise BadFile("an unterminated import table")
    rva, size = image.directory(13)
    if rva:
        for i in range(4096):
            descriptor = image.offset(rva + i * 32)
            fields = struct.unpack("<8I", image.bytes(descriptor, 32))
            attributes, name, lookup = fields[0], fields[1], fields[4]
            if name == 0:
                break
            # Old-style descriptors hold addresses rather than RVAs.
            base = 0 if attributes & 1 else image.image_base
            dll = image.string(name - base).lower()
            rows += [("delayed", dll, f) for f in image.names(lookup - base)]
        else:
            raise BadFile("an unterminated delay-import table")
    return rows


def main():
    if len(sys.argv) != 2:
        print("usage: pe_imports.py EXE", file=sys.stderr)
        return 2
    try:
        with open(sys.argv[1], "rb") as f:
            rows = imports(Image(f.read()))
    except (OSError, BadFile, struct.error) as e:
        print(f"pe_imports: {sys.argv[1]}: {e}", file=sys.stderr)
        return 2
    for row in rows:
        print(*row)
    return 0


if __name__ == "__main__":
    sys.exit(main())
