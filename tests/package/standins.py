"""Unidrv members the spooler never prefers over a machine's own: versions, exports and times.

AddPrinterDriver copies a file into the version folder only when it is newer than the one there
(AddPrinterDriverEx, APD_COPY_NEW_FILES): by file version when both are marked VFT_DRV /
VFT2_DRV_VERSIONED_PRINTER (Print driver versioning), else by time stamp. So a stand-in DLL
is marked at the lowest user-mode version, and every Unidrv member, stand-in or real, carries
the oldest time a zip member can hold: neither rule ever picks it over a file already there.
"""
import struct

from pe_resources import ResourceImage

UNIDRV_FILES = ["STDNAMES.GPD", "TTFSUB.GPD", "UNIDRV.DLL", "UNIDRV.HLP", "UNIDRVUI.DLL",
                "UNIRES.DLL"]
STANDIN_DLLS = ["UNIDRV.DLL", "UNIDRVUI.DLL", "UNIRES.DLL"]
# DOS date and time 0: the first second of 1980 ("APPNOTE.TXT", 4.4.6 date and time fields).
OLDEST_DOS_TIME = (1980, 1, 1, 0, 0, 0)
# Per architecture: machine and optional header magic ("PE Format").
MACHINES = {"x86": (0x14C, 0x10B), "x64": (0x8664, 0x20B)}
IMAGE_FILE_DLL = 0x2000
RT_VERSION = 16
VFT_DRV, VFT2_DRV_VERSIONED_PRINTER = 3, 12
# Print driver versioning: the first WORD is 0, the second 3 for a user-mode driver; 0.3.0.0
# is the least version a user-mode printer driver file can carry.
LOWEST_USER_MODE = (0, 3, 0, 0)
# What each stand-in DLL exports. The graphics DLL answers DrvQueryDriverInfo: without it the
# local print provider takes it for kernel-mode code (DrvQueryDriverInfo, winddi.h), which
# Vista and later refuse ("Choose user mode or kernel mode").
EXPORTS = {"UNIDRV.DLL": ["DrvQueryDriverInfo"], "UNIRES.DLL": []}
EXPORT_DIRECTORY = 0


class StandinImage(ResourceImage):
    """A stand-in DLL: its flags, fixed version record and exported names."""

    def is_dll(self):
        (pe_offset,) = struct.unpack_from("<I", self.data, 0x3C)
        (characteristics,) = struct.unpack_from("<H", self.data, pe_offset + 22)
        return bool(characteristics & IMAGE_FILE_DLL)

    def version(self):
        """(file version as four WORDs, file type, subtype) of VS_FIXEDFILEINFO, or None."""
        variants = self.resources().get((RT_VERSION, 1))
        if not variants or len(variants) != 1:
            return None
        block = next(iter(variants.values()))
        key = "VS_VERSION_INFO\0".encode("utf-16-le")
        if block[6:6 + len(key)] != key:
            return None
        fixed = (6 + len(key) + 3) & ~3
        if len(block) < fixed + 52:
            return None
        fields = struct.unpack_from("<13I", block, fixed)
        if fields[0] != 0xFEEF04BD:
            return None
        ms, ls = fields[2], fields[3]
        return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF), fields[9], fields[10]

    def exports(self):
        """The names of the export directory, sorted."""
        rva, size = self.directories[EXPORT_DIRECTORY]
        if rva == 0 or size == 0:
            return []
        at = self.offset(rva)
        if at is None:
            raise ValueError("export directory outside the sections")
        count, _, _, names = struct.unpack_from("<IIII", self.data, at + 20)
        names_at = self.offset(names) if count else None
        if count and names_at is None:
            raise ValueError("export name table outside the sections")
        return sorted(self.string(struct.unpack_from("<I", self.data, names_at + 4 * i)[0])
                      for i in range(count))


def check_dll(data, arch, name, where, fail):
    try:
        image = StandinImage(data)
        machine, magic = MACHINES[arch]
        if (image.machine, image.magic) != (machine, magic):
            fail("%s is machine 0x%x / 0x%x, want 0x%x / 0x%x" %
                 (where, image.machine, image.magic, machine, magic))
        if not image.is_dll():
            fail("%s is not flagged as a DLL" % where)
        version = image.version()
        want = (LOWEST_USER_MODE, VFT_DRV, VFT2_DRV_VERSIONED_PRINTER)
        if version != want:
            fail("%s has version record %s, want %s (file version, type, subtype)" %
                 (where, version, want))
        if name in EXPORTS and image.exports() != EXPORTS[name]:
            fail("%s exports %s, want %s" % (where, image.exports(), EXPORTS[name]))
    except (ValueError, struct.error) as error:
        fail("%s cannot be read as a PE image: %s" % (where, error))


def check(package, fail):
    for language in ("zh", "en"):
        for arch in ("x86", "x64"):
            for name in UNIDRV_FILES:
                where = "%s %s %s" % (language, arch, name)
                try:
                    info = package.info(language, arch, name)
                except KeyError:
                    fail("%s is not in the package" % where)
                    continue
                if info.date_time != OLDEST_DOS_TIME:
                    fail("%s carries %s, want the oldest DOS time %s" %
                         (where, info.date_time, OLDEST_DOS_TIME))
                if package.standins and name in STANDIN_DLLS:
                    check_dll(package.read(language, arch, name), arch, name, where, fail)
