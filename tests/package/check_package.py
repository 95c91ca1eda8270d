#!/usr/bin/env python3
"""The driver package checker: holds both packed archives to the rules Windows applies to them.

Usage: check_package.py ZH_ZIP EN_ZIP [--standins]
Each check module's check(package, fail) reads what it needs; one line per fault, exit 1 on any.
"""
import os
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "windows"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

# Each module holds one kind of rule; the order is the order of the report.
CHECKS = ["gpd", "fonts", "escpos", "standins", "inf_files"]

FOLDERS = {"x86": "Windows NT x86/", "x64": "Windows x64/"}


class Package:
    """The two language variants of the package, read from their archives."""

    def __init__(self, zh_path, en_path, standins):
        self.archives = {"zh": zipfile.ZipFile(zh_path), "en": zipfile.ZipFile(en_path)}
        self.standins = standins
        self._resources = {}

    def read(self, language, arch, name):
        return self.archives[language].read(FOLDERS[arch] + name)

    def info(self, language, arch, name):
        return self.archives[language].getinfo(FOLDERS[arch] + name)

    def resources(self, language, arch, name):
        """{(type, id): {language: bytes}} of a PE member, read once."""
        key = (language, arch, name)
        if key not in self._resources:
            from pe_resources import ResourceImage
            self._resources[key] = ResourceImage(self.read(language, arch, name)).resources()
        return self._resources[key]

    def variants(self):
        """Every (language, architecture) the package holds."""
        return [(language, arch) for language in sorted(self.archives) for arch in sorted(FOLDERS)]


def main(argv):
    arguments = [a for a in argv[1:] if not a.startswith("--")]
    if len(arguments) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    package = Package(arguments[0], arguments[1], "--standins" in argv)
    faults = []
    for name in CHECKS:
        module = __import__(name)
        module.check(package, lambda message, name=name: faults.append("%s: %s" % (name, message)))
    for fault in faults:
        print("check_package: FAIL: " + fault)
    print("check_package: %d checks, %d faults" % (len(CHECKS), len(faults)))
    return 1 if faults or not CHECKS else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
