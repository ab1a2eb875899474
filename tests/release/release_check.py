#!/usr/bin/python3
"""The release archive that ./release.sh writes, read back: its files, their
checksums against SHA256SUMS, the manifest against the build's version, and
in each DLL the version resource, the one export, no debug information left
and the .gnu_debuglink that names its debug file with that file's checksum.

    release_check.py <archive> <build dir whose generated/zvm_version.h made it>
"""
import hashlib
import json
import re
import sys
import zipfile
import zlib

import pefile

ARCHIVE, BUILD = sys.argv[1], sys.argv[2]
NAME = "zvm-be-qor-email-verification"
EXPORT = b"load_qor_email_verification"
MACHINES = {"x86": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"],
            "x64": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]}
results = []


def check(holds, what):
    print(("ok     " if holds else "FAILED ") + what, flush=True)
    results.append(holds)


def build_values():
    with open(BUILD + "/generated/zvm_version.h") as header:
        text = header.read()
    value = lambda name: re.search(r'#define %s "?([^"\n]*)"?' % name, text).group(1)
    return {"version": value("ZVM_VERSION_TEXT"), "commit": value("ZVM_COMMIT"),
            "numbers": [int(value("ZVM_VERSION_" + part)) for part in ["MAJOR", "MINOR", "PATCH"]]}


def sections(data):
    """The PE file's sections by name. A name longer than eight bytes, as
    .gnu_debuglink and .debug_info, is "/<offset>" into the string table
    after the symbols (18 bytes each)."""
    pe = pefile.PE(data=data)
    strings = pe.FILE_HEADER.PointerToSymbolTable + pe.FILE_HEADER.NumberOfSymbols * 18
    named = {}
    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode()
        if name.startswith("/"):
            start = strings + int(name[1:])
            name = data[start:data.index(b"\0", start)].decode()
        named[name] = section
    return pe, named


def check_dll(folder, dll, debug, expected):
    pe, named = sections(dll)
    # The version resource's texts.
    texts = {key.decode(): value.decode() for info in pe.FileInfo[0]
             if info.Key == b"StringFileInfo" for table in info.StringTable
             for key, value in table.entries.items()}
    fixed = pe.VS_FIXEDFILEINFO[0]
    major, minor, patch = expected["numbers"]
    check(texts.get("FileVersion") == texts.get("ProductVersion") == expected["version"] and
          texts.get("Commit") == expected["commit"] and
          texts.get("OriginalFilename") == NAME + ".dll" and
          (fixed.FileVersionMS, fixed.FileVersionLS) == (major << 16 | minor, patch << 16),
          "%s: the version resource says %s" % (folder, texts))
    check(pe.FILE_HEADER.Machine == MACHINES[folder], "%s: built for its machine" % folder)
    exports = [symbol.name for symbol in pe.DIRECTORY_ENTRY_EXPORT.symbols]
    check(exports == [EXPORT], "%s: exports %s" % (folder, exports))
    check(not any(name.startswith(".debug") for name in named),
          "%s: no debug information left in the DLL" % folder)
    link = named[".gnu_debuglink"].get_data() if ".gnu_debuglink" in named else b""
    named = link.split(b"\0")[0].decode()
    # The name, padded to four bytes, then the CRC-32 of the debug file.
    crc = int.from_bytes(link[(len(named) + 4) & ~3:][:4], "little")
    check(named == NAME + ".dll.debug" and crc == zlib.crc32(debug),
          "%s: .gnu_debuglink names %s with its checksum" % (folder, named))
    check(".debug_info" in sections(debug)[1],
          "%s: the debug file has the debug information" % folder)


def main():
    expected = build_values()
    release = "%s-%s-windows" % (NAME, expected["version"])
    check(ARCHIVE.endswith("/" + release + ".zip"), "the archive is named %s.zip" % release)
    with zipfile.ZipFile(ARCHIVE) as archive:
        files = {info.filename[len(release) + 1:]: archive.read(info)
                 for info in archive.infolist() if not info.is_dir()}
    listed = sorted(files)
    check(listed == sorted(["SHA256SUMS", "manifest.json"] +
                           ["%s/%s.dll%s" % (folder, NAME, debug)
                            for folder in MACHINES for debug in ["", ".debug"]]),
          "the archive holds %s" % listed)

    sums = {name: digest for digest, name in (
        line.split("  ", 1) for line in files.get("SHA256SUMS", b"").decode().splitlines())}
    actual = {name: hashlib.sha256(data).hexdigest() for name, data in files.items()
              if name != "SHA256SUMS"}
    check(sums == actual, "SHA256SUMS lists every file with its checksum")

    manifest = json.loads(files.get("manifest.json", b"{}"))
    check({key: manifest.get(key) for key in ["name", "version", "commit", "buildType"]} ==
          {"name": NAME, "version": expected["version"], "commit": expected["commit"],
           "buildType": "RelWithDebInfo"} and
          all("g++" in manifest.get("compilers", {}).get(folder, "") for folder in MACHINES),
          "the manifest: %s" % manifest)

    for folder in MACHINES:
        dll = files.get("%s/%s.dll" % (folder, NAME))
        debug = files.get("%s/%s.dll.debug" % (folder, NAME))
        if dll is not None and debug is not None:
            check_dll(folder, dll, debug, expected)
    print("%d passed, %d failed" % (results.count(True), results.count(False)))
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
