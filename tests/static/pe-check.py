#!/usr/bin/env python3
"""Checks Windows binaries from their PE headers alone, so that a build that
cannot be run here (a 32-bit DLL on a machine without 32-bit support) is still
checked: the machine type, the exports under their undecorated names, an
import table naming only Windows system DLLs, and a VERSIONINFO resource.

  pe-check.py --machine i386|x86-64 [--exports FILE.def] BINARY [BINARY...]

--exports applies to the binaries ending in .wlx or .wlx64. Exits 1 with one
line per fault, 0 when every binary passes.
"""
import argparse
import struct
import sys

MACHINES = {"i386": 0x014C, "x86-64": 0x8664}
RT_VERSION = 16
# What Windows itself provides; a C++ runtime DLL (libgcc, libstdc++,
# winpthread) would have to be shipped beside the binary.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "ole32.dll", "oleaut32.dll", "comdlg32.dll", "comctl32.dll",
    "shell32.dll", "shlwapi.dll", "advapi32.dll", "gdiplus.dll", "msvcrt.dll", "ntdll.dll", "uxtheme.dll",
    "version.dll", "winmm.dll", "imm32.dll", "msimg32.dll", "rpcrt4.dll", "bcrypt.dll", "dwmapi.dll",
}


class PeFile:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        if self.data[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = self.u32(0x3C)
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine, sections = struct.unpack_from("<HH", self.data, pe + 4)
        optional_size = self.u16(pe + 20)
        optional = pe + 24
        magic = self.u16(optional)
        if magic not in (0x10B, 0x20B):
            raise ValueError(f"optional header magic {magic:#x}")
        directories = optional + (96 if magic == 0x10B else 112)
        count = self.u32(directories - 4)
        self.directories = [struct.unpack_from("<II", self.data, directories + 8 * i) for i in range(min(count, 16))]
        table = optional + optional_size
        self.sections = []
        for i in range(sections):
            _, vsize, va, rawsize, rawptr = struct.unpack_from("<8sIIII", self.data, table + 40 * i)
            self.sections.append((va, max(vsize, rawsize), rawptr))

    def u16(self, offset):
        return struct.unpack_from("<H", self.data, offset)[0]

    def u32(self, offset):
        return struct.unpack_from("<I", self.data, offset)[0]

    def at(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError(f"RVA {rva:#x} in no section")

    def cstring(self, rva):
        start = self.at(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii", "replace")

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def exports(self):
        rva, size = self.directory(0)
        if rva == 0:
            return []
        base = self.at(rva)
        names, name_table = self.u32(base + 24), self.u32(base + 32)
        return [self.cstring(self.u32(self.at(name_table) + 4 * i)) for i in range(names)]

    def imports(self):
        rva, _ = self.directory(1)
        result = []
        entry = self.at(rva) if rva else None
        while entry is not None:
            name = self.u32(entry + 12)
            if name == 0:
                break
            result.append(self.cstring(name))
            entry += 20
        return result

    def resource_types(self):
        rva, _ = self.directory(2)
        if rva == 0:
            return []
        root = self.at(rva)
        named, ids = self.u16(root + 12), self.u16(root + 14)
        return [self.u32(root + 16 + 8 * i) for i in range(named, named + ids)]


def def_exports(path):
    names, inside = [], False
    for line in open(path, encoding="utf-8"):
        word = line.split(";")[0].strip()
        if not word:
            continue
        if word.upper() == "EXPORTS":
            inside = True
        elif inside:
            names.append(word.split()[0])
    return names


def check(path, machine, exports):
    faults = []
    try:
        pe = PeFile(path)
    except (OSError, ValueError, struct.error) as e:
        return [f"{path}: not a readable PE file ({e})"]
    if pe.machine != MACHINES[machine]:
        faults.append(f"{path}: machine {pe.machine:#06x}, expected {machine} ({MACHINES[machine]:#06x})")
    if path.endswith((".wlx", ".wlx64")) and exports:
        have = set(pe.exports())
        for name in exports:
            if name not in have:
                decorated = [h for h in have if h.lstrip("_").split("@")[0] == name]
                faults.append(f"{path}: export {name} missing" + (f" (found {decorated[0]})" if decorated else ""))
    for dll in pe.imports():
        if dll.lower() not in SYSTEM_DLLS and not dll.lower().startswith("api-ms-win-"):
            faults.append(f"{path}: imports {dll}, which is not a Windows system DLL")
    if RT_VERSION not in pe.resource_types():
        faults.append(f"{path}: no VERSIONINFO resource")
    return faults


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--machine", choices=sorted(MACHINES), required=True)
    parser.add_argument("--exports")
    parser.add_argument("binaries", nargs="+")
    args = parser.parse_args()
    exports = def_exports(args.exports) if args.exports else []
    faults = []
    for path in args.binaries:
        faults += check(path, args.machine, exports)
    for fault in faults:
        print(fault)
    print(f"pe-check: {len(args.binaries)} binaries ({args.machine}), {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
