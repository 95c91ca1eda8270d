#!/usr/bin/env python3
"""Checks what Quillmate.exe imports: at load time only the allowed system DLLs, delay-loaded
only the DLLs the list marks so, and from each only functions that XP and Server 2003 export
(tests/windows/xp_imports.txt). Standard library only.

Usage: check_imports.py QUILLMATE_EXE XP_IMPORTS_TXT
Prints one line per failed check and exits 1 if there was any.
"""
import struct
import sys

from pe_image import PeImage

IMPORT_DIRECTORY, DELAY_IMPORT_DIRECTORY = 1, 13


class ImportImage(PeImage):
    """The PE image's import and delay-import tables."""

    def names(self, rva):
        """The functions of a name table (import lookup thunks), '#N' for an ordinal."""
        size, ordinal = (8, 1 << 63) if self.wide else (4, 1 << 31)
        at, found = self.offset(rva), []
        while at is not None:
            (thunk,) = struct.unpack_from("<Q" if self.wide else "<I", self.data, at)
            if thunk == 0:
                break
            found.append("#%d" % (thunk & 0xFFFF) if thunk & ordinal else
                         self.string((thunk & 0x7FFFFFFF) + 2))
            at += size
        return found

    def imports(self):
        """{dll: [functions]} of the import directory, as the loader resolves it."""
        rva, _ = self.directories[IMPORT_DIRECTORY]
        at, found = self.offset(rva), {}
        while at is not None:
            lookup, _, _, name, address = struct.unpack_from("<IIIII", self.data, at)
            if name == 0:
                break
            found.setdefault(self.string(name).upper(), []).extend(
                self.names(lookup or address))
            at += 20
        return found

    def delay_imports(self):
        """{dll: [functions]} of the delay-load descriptors (ImgDelayDescr, RVA-based).

        GNU ld leaves the delay import directory of the optional header empty (objdump -p then
        shows no delay import table): the helper reaches each descriptor through its thunks. So
        where the directory is empty the descriptors are found as what they are: 32 bytes with
        attributes 1, a name RVA at a DLL name, and name and address tables inside the image.
        """
        rva, size = self.directories[DELAY_IMPORT_DIRECTORY]
        starts = []
        if rva:
            at = self.offset(rva)
            while at is not None and struct.unpack_from("<8I", self.data, at)[1]:
                starts.append(at)
                at += 32
        else:
            for at in range(0, len(self.data) - 32, 4):
                attributes, name, module, table, names = struct.unpack_from("<5I", self.data, at)
                if attributes != 1 or not name or self.offset(name) is None:
                    continue
                dll = self.string(name)
                if (dll and dll.upper().endswith((".DLL", ".DRV")) and dll.isprintable() and
                        self.offset(table) is not None and self.offset(names) is not None and
                        self.offset(module) is not None):
                    starts.append(at)
        found = {}
        for at in starts:
            _, name, _, table, names = struct.unpack_from("<5I", self.data, at)
            functions = self.names(names)
            # Each address slot starts at its thunk, which calls the helper: a slot left null (ld
            # drops the thunks of functions called through dllimport pointers) jumps to 0.
            size = 8 if self.wide else 4
            unset = [function for i, function in enumerate(functions)
                     if not struct.unpack_from("<Q" if self.wide else "<I", self.data,
                                               self.offset(table) + size * i)[0]]
            found.setdefault(self.string(name).upper(), []).extend(
                [(function, function not in unset) for function in functions])
        return found


def read_list(path):
    load_time, delayed = {}, {}
    for line in open(path, encoding="utf-8"):
        line = line.split("#", 1)[0].split()
        if not line:
            continue
        table = delayed if line[0] == "delay" else load_time
        dll, function = line[-2].upper(), line[-1]
        table.setdefault(dll, set()).add(function)
    return load_time, delayed


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip().splitlines()[-2])
        return 2
    exe, listing = sys.argv[1], sys.argv[2]
    load_time, delayed = read_list(listing)
    image = ImportImage(open(exe, "rb").read())
    failures = []
    imports = image.imports()
    if not imports:
        failures.append("no load-time imports found")
    for dll, functions in sorted(imports.items()):
        if dll in delayed:
            failures.append("imports %s at load time: it is not a KnownDLL on every release "
                            "served, so Windows would look for it in the exe's folder first; it "
                            "may only be delay-loaded" % dll)
            continue
        if dll not in load_time:
            failures.append("imports %s, which is neither a KnownDLL the program may use nor "
                            "COMCTL32" % dll)
            continue
        for function in functions:
            if function not in load_time[dll]:
                failures.append("imports %s!%s, which is not among the functions XP and Server "
                                "2003 export (%s)" % (dll, function, listing))
    delay_imports = image.delay_imports()
    for dll, functions in sorted(delay_imports.items()):
        if dll not in delayed:
            failures.append("delay-loads %s, which the list does not allow" % dll)
            continue
        for function, bound in functions:
            if function not in delayed[dll]:
                failures.append("delay-loads %s!%s, which is not among the functions XP and "
                                "Server 2003 export" % (dll, function))
            if not bound:
                failures.append("delay-loads %s!%s without a thunk: its address slot is null, "
                                "and the first call jumps to 0" % (dll, function))
    for line in failures:
        print(line)
    if failures:
        return 1
    summary = "; ".join("%s %d" % (dll, len(f)) for dll, f in sorted(imports.items()))
    delayed_summary = "; ".join("%s %d" % (dll, len(f)) for dll, f in sorted(delay_imports.items()))
    print("check_imports: %s: load time %s; delay-loaded %s" % (exe, summary,
                                                                 delayed_summary or "none"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
