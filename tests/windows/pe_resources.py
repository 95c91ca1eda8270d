#!/usr/bin/env python3
"""Checks the resources built into Quillmate.exe, read from the PE's resource section (standard library only).

Usage: pe_resources.py QUILLMATE_EXE VERSION x86|x64   (VERSION as major.minor.patch)
Prints one line per failed check and exits 1 if there was any.
"""
import io
import struct
import sys
import xml.etree.ElementTree as ElementTree
import zipfile

from pe_image import PeImage

RT_ICON, RT_BITMAP, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 2, 5, 14, 16, 24
# Per architecture: machine, optional header magic, manifest processorArchitecture.
ARCHITECTURES = {"x86": (0x14C, 0x10B, "X86"), "x64": (0x8664, 0x20B, "amd64")}
RESOURCE_DIRECTORY_INDEX = 2

PACKAGE_FILES = ["STDNAMES.GPD", "TTFSUB.GPD", "UNIDRV.DLL", "UNIDRV.HLP", "UNIDRVUI.DLL",
                 "UNIRES.DLL", "KV80.DLL", "KV80C.GPD"]
PACKAGE_MEMBERS = (["Windows x64/"] +
                   ["Windows x64/" + f for f in PACKAGE_FILES + ["KVDRVx64.cat", "KVDRVx64.INF"]] +
                   ["Windows NT x86/"] +
                   ["Windows NT x86/" + f for f in PACKAGE_FILES + ["KVDRV.cat", "KVDRV.INF"]])
# The only members in which the two language variants may differ.
LANGUAGE_MEMBERS = {m for m in PACKAGE_MEMBERS if m.endswith(("KV80.DLL", ".cat"))}
PACKAGES = {129: 0x0004, 138: 0x0409}  # resource id: language tag

failures = []


def fail(message):
    failures.append(message)


class ResourceImage(PeImage):
    """The PE image's resource tree."""

    def must_offset(self, rva):
        at = self.offset(rva)
        if at is None:
            raise ValueError("address 0x%x is in no section" % rva)
        return at

    def resources(self):
        """{(type, name): {language: bytes}}; string types and names upper-cased."""
        rsrc_rva, _ = self.directories[RESOURCE_DIRECTORY_INDEX]
        if rsrc_rva == 0:
            return {}
        base = self.must_offset(rsrc_rva)
        found = {}

        def entries(directory):
            named, numbered = struct.unpack_from("<HH", self.data, base + directory + 12)
            for i in range(named + numbered):
                key, target = struct.unpack_from("<II", self.data, base + directory + 16 + 8 * i)
                if key & 0x80000000:
                    at = base + (key & 0x7FFFFFFF)
                    (length,) = struct.unpack_from("<H", self.data, at)
                    key = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le").upper()
                yield key, target

        for type_key, type_target in entries(0):
            for name_key, name_target in entries(type_target & 0x7FFFFFFF):
                for language, leaf in entries(name_target & 0x7FFFFFFF):
                    rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    at = self.must_offset(rva)
                    found.setdefault((type_key, name_key), {})[language] = self.data[at:at + size]
        return found


def only(resources, kind, name, what):
    variants = resources.get((kind, name))
    if not variants:
        fail("no %s (resource type %s, id %s)" % (what, kind, name))
        return None
    if len(variants) > 1:
        fail("%s exists in %d languages" % (what, len(variants)))
    return next(iter(variants.values()))


def local_name(tag):
    return tag.rsplit("}", 1)[-1]


def check_manifest(resources, architecture):
    text = only(resources, RT_MANIFEST, 1, "manifest")
    if text is None:
        return
    try:
        root = ElementTree.fromstring(text)
    except ElementTree.ParseError as error:
        fail("manifest is not well-formed XML: %s" % error)
        return
    elements = list(root.iter())
    levels = [e.get("level") for e in elements if local_name(e.tag) == "requestedExecutionLevel"]
    if levels != ["requireAdministrator"]:
        fail("manifest execution level is %s, want requireAdministrator" % levels)
    aware = [(e.text or "").strip().lower() for e in elements if local_name(e.tag) == "dpiAware"]
    if aware != ["true"]:
        fail("manifest dpiAware is %s, want true" % aware)
    controls = [e for e in elements if local_name(e.tag) == "dependentAssembly"
                for i in e if local_name(i.tag) == "assemblyIdentity"
                and i.get("name") == "Microsoft.Windows.Common-Controls"
                and i.get("version") == "6.0.0.0"]
    if not controls:
        fail("manifest has no dependency on Microsoft.Windows.Common-Controls 6.0.0.0")
    arches = [e.get("processorArchitecture") for e in elements
              if local_name(e.tag) == "assemblyIdentity"]
    if arches != [architecture, architecture]:
        fail("manifest names the architectures %s, want %s for the program and the common controls"
             % (arches, architecture))


def check_dialog(resources):
    template = only(resources, RT_DIALOG, 102, "main dialog 102")
    if template is None:
        return
    version, signature = struct.unpack_from("<HH", template, 0)
    if (version, signature) != (1, 0xFFFF):
        fail("dialog 102 is not an extended template")
        return
    _, _, _, count, _, _, width, height = struct.unpack_from("<IIIHhhhh", template, 4)
    if count != 23 or (width, height) != (186, 158):
        fail("dialog 102 has %d controls and size %dx%d, want 23 and 186x158" % (count, width, height))


def check_icon(resources):
    group = only(resources, RT_GROUP_ICON, 128, "icon group 128")
    if group is None:
        return
    _, kind, count = struct.unpack_from("<HHH", group, 0)
    sizes = []
    for i in range(count):
        width, height, _, _, _, _, length, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        width, height = width or 256, height or 256
        sizes.append(width)
        if width != height:
            fail("icon image %d is %dx%d, not square" % (icon_id, width, height))
        image = resources.get((RT_ICON, icon_id))
        if not image or len(next(iter(image.values()))) != length:
            fail("icon image %d of group 128 is missing or of the wrong size" % icon_id)
    if kind != 1 or sorted(sizes) != [16, 24, 32, 48, 64, 256]:
        fail("icon group 128 holds sizes %s, want 16, 24, 32, 48, 64 and 256" % sorted(sizes))


def check_logo(resources):
    bitmap = only(resources, RT_BITMAP, 133, "logo bitmap 133")
    if bitmap is None:
        return
    header, width, height, _, bits = struct.unpack_from("<IiiHH", bitmap, 0)
    if header < 40 or (width, abs(height), bits) != (308, 87, 1):
        fail("bitmap 133 is %dx%d at %d bpp, want 308x87 at 1 bpp" % (width, abs(height), bits))


def check_version(resources, version):
    block = only(resources, RT_VERSION, 1, "version resource")
    if block is None:
        return
    key = "VS_VERSION_INFO\0".encode("utf-16-le")
    at = block.find(key)
    if at < 0:
        fail("version resource has no VS_VERSION_INFO block")
        return
    fixed = (at + len(key) + 3) & ~3
    signature, _, ms, ls = struct.unpack_from("<IIII", block, fixed)
    if signature != 0xFEEF04BD:
        fail("version resource has no fixed file information")
        return
    found = "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    if found != version + ".0":
        fail("file version is %s, want %s.0" % (found, version))


def check_packages(resources):
    contents = {}
    for package_id, language in PACKAGES.items():
        variants = resources.get(("ZIP", package_id))
        if not variants:
            fail("no driver package: resource type ZIP, id %d" % package_id)
            continue
        if list(variants) != [language]:
            fail("driver package %d has language tags %s, want [%d]" % (package_id, list(variants), language))
        data = next(iter(variants.values()))
        try:
            archive = zipfile.ZipFile(io.BytesIO(data))
        except zipfile.BadZipFile as error:
            fail("driver package %d is not a zip archive: %s" % (package_id, error))
            continue
        members = archive.infolist()
        names = [m.filename for m in members]
        if names != PACKAGE_MEMBERS:
            fail("driver package %d holds %s, want %s" % (package_id, names, PACKAGE_MEMBERS))
            continue
        damaged = archive.testzip()
        if damaged:
            fail("driver package %d: member %s fails its CRC" % (package_id, damaged))
        for member in members:
            folder = member.filename.endswith("/")
            want = (zipfile.ZIP_STORED, 0x10) if folder else (zipfile.ZIP_DEFLATED, 0x20)
            if (member.compress_type, member.external_attr, member.create_system) != want + (0,):
                fail("driver package %d: %s has method %d, attributes 0x%x, host %d; want %d, 0x%x, 0"
                     % (package_id, member.filename, member.compress_type, member.external_attr,
                        member.create_system, want[0], want[1]))
            if member.extra:
                fail("driver package %d: %s carries an extra field" % (package_id, member.filename))
        contents[package_id] = {m.filename: archive.read(m) for m in members}
    if len(contents) == 2:
        zh, en = contents[129], contents[138]
        differing = {name for name in PACKAGE_MEMBERS if zh[name] != en[name]}
        if not differing <= LANGUAGE_MEMBERS:
            fail("the language variants differ in %s" % sorted(differing - LANGUAGE_MEMBERS))
        if not all(zh[m] != en[m] for m in LANGUAGE_MEMBERS if m.endswith("KV80.DLL")):
            fail("the language variants carry the same KV80.DLL")


def main():
    if len(sys.argv) != 4 or sys.argv[3] not in ARCHITECTURES:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    path, version, arch = sys.argv[1:]
    machine, magic, manifest_arch = ARCHITECTURES[arch]
    with open(path, "rb") as exe:
        data = exe.read()
    try:
        image = ResourceImage(data)
        resources = image.resources()
    except (ValueError, struct.error) as error:
        print("%s: %s" % (path, error))
        return 1
    if image.machine != machine:
        fail("machine is 0x%x, want 0x%x for %s" % (image.machine, machine, arch))
    if image.magic != magic:
        fail("optional header magic is 0x%x, want 0x%x for %s" % (image.magic, magic, arch))
    check_manifest(resources, manifest_arch)
    check_dialog(resources)
    check_icon(resources)
    check_logo(resources)
    check_version(resources, version)
    check_packages(resources)
    for message in failures:
        print(message)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
