"""The two INF files the fallback wizard reads: their sections and lines, CRLF, ASCII.

Comment lines (";" first) aside, each holds exactly these lines in this order, and both language
variants of the package carry the same bytes.
"""

VERSION = ['Signature="$Windows NT$"', "Provider=%KV%",
           "ClassGUID={4D36E979-E325-11CE-BFC1-08002BE10318}", "Class=Printer"]
INSTALL = ["CopyFiles=@KV80.DLL,@KV80C.GPD", "DataSection=UNIDRV_DATA"]
DISKS = ["[DestinationDirs]", "DefaultDestDir=66000"]
FILES = ["[SourceDisksFiles]", "KV80.DLL     = 1", "KV80C.GPD    = 1",
         "[Strings]", 'PrinterClassName="Printers"', 'disk1="Korvex Driver Setup Disk"']

LINES = {
    "x86": ("KVDRV.INF",
            ["[Version]"] + VERSION + ["CatalogFile=KVDRV.cat",
             "[ClassInstall32.NT]", "AddReg=printer_class_addreg",
             "[printer_class_addreg]", "HKR,,,,%PrinterClassName%", 'HKR,,Icon,,"-4"',
             'HKR,,Installer32,,"ntprint.dll,ClassInstall32"', "HKR,,NoDisplayClass,,1",
             'HKR,,EnumPropPages32,,"printui.dll,PrinterPropPageProvider"',
             "[Manufacturer]", '"Korvex"',
             "[Korvex]", '"KV-80C"    = KV80C.GPD',
             "[KV80C.GPD]"] + INSTALL + ["Include=NTPRINT.INF", "Needs=TTFSUB.OEM,UNIDRV.OEM"] +
            DISKS + ["[SourceDisksNames.x86]", "1 = %disk1%,,,"] + FILES),
    "x64": ("KVDRVx64.INF",
            ["[Version]"] + VERSION + ["CatalogFile=KVDRVx64.cat",
             "[Manufacturer]", '"Korvex"=KV, NTamd64',
             "[KV]", '"KV-80C"    = KV80C.GPD',
             "[KV.NTamd64]", '"KV-80C"    = KV80C.GPD',
             "[KV80C.GPD]"] + INSTALL + ["DataFile=KV80C.GPD", "Include=NTPRINT.INF",
                                         "Needs=UNIDRV.OEM"] +
            DISKS + ["[SourceDisksNames.amd64]", "1 = %disk1%,,,"] + FILES),
}


def lines_of(data, where, fail):
    """The file's lines without comments, or None when it is not ASCII text ended by CRLF."""
    if any(byte >= 0x80 for byte in data):
        fail("%s holds bytes beyond ASCII" % where)
        return None
    text = data.decode("ascii")
    if not text.endswith("\r\n"):
        fail("%s does not end with CRLF" % where)
        return None
    lines = text[:-2].split("\r\n")
    bare = [i + 1 for i, line in enumerate(lines) if "\r" in line or "\n" in line]
    if bare:
        fail("%s has a line end other than CRLF on line %d" % (where, bare[0]))
        return None
    return [line for line in lines if not line.startswith(";")]


def check_lines(data, where, want, fail):
    got = lines_of(data, where, fail)
    if got is None or got == want:
        return
    for number, (found, expected) in enumerate(zip(got + [None] * len(want),
                                                   want + [None] * len(got)), 1):
        if found != expected:
            fail("%s: content line %d is %r, want %r" % (where, number, found, expected))
            return


def check(package, fail):
    for arch, (name, want) in LINES.items():
        try:
            zh, en = (package.read(language, arch, name) for language in ("zh", "en"))
        except KeyError:
            fail("%s %s is not in both packages" % (arch, name))
            continue
        check_lines(zh, "zh %s %s" % (arch, name), want, fail)
        if en != zh:
            fail("%s %s differs between the language variants" % (arch, name))
            check_lines(en, "en %s %s" % (arch, name), want, fail)
