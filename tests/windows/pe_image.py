"""The PE layout the Windows checks read: headers, data directories, sections (standard library only)."""
import struct


class PeImage:
    """A PE32 or PE32+ image in memory, addressed by RVA through its sections."""

    def __init__(self, data):
        self.data = data
        (pe_offset,) = struct.unpack_from("<I", data, 0x3C)
        if data[:2] != b"MZ" or data[pe_offset:pe_offset + 4] != b"PE\0\0":
            raise ValueError("not a PE image")
        coff = pe_offset + 4
        self.machine, section_count = struct.unpack_from("<HH", data, coff)
        (optional_size,) = struct.unpack_from("<H", data, coff + 16)
        optional = coff + 20
        (self.magic,) = struct.unpack_from("<H", data, optional)
        # The data directories start 96 bytes into a PE32 optional header, 112 into a PE32+ one.
        directories = {0x10B: 96, 0x20B: 112}.get(self.magic)
        if directories is None:
            raise ValueError("neither PE32 nor PE32+ (optional header magic 0x%x)" % self.magic)
        self.wide = self.magic == 0x20B
        self.directories = [struct.unpack_from("<II", data, optional + directories + 8 * i)
                            for i in range(16)]
        self.sections = []
        table = optional + optional_size
        for i in range(section_count):
            virtual_size, virtual_address, raw_size, raw_pointer = struct.unpack_from(
                "<IIII", data, table + 40 * i + 8)
            self.sections.append((virtual_address, max(virtual_size, raw_size), raw_pointer,
                                  raw_size))

    def offset(self, rva):
        """The file offset of an RVA, or None where no section's raw data holds it."""
        for address, size, pointer, raw in self.sections:
            if address <= rva < address + size and rva - address < raw:
                return pointer + rva - address
        return None

    def rva(self, offset):
        for address, _, pointer, raw in self.sections:
            if pointer <= offset < pointer + raw:
                return address + offset - pointer
        return None

    def string(self, rva):
        at = self.offset(rva)
        if at is None:
            return None
        end = self.data.find(b"\0", at)
        return self.data[at:end].decode("latin-1") if end >= 0 else None
