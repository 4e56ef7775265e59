#!/usr/bin/env python3
"""Writes base/codepagetables.cpp: the built-in Cyrillic recoding tables.

The tables are derived from the system's iconv mappings (glibc has all of the
code pages involved), with the few places where the daemon's tables depart
from those mappings applied on top.  Run it once and commit the output; the
build does not run it.

    tools/gen-codepages.py [output]     (default: base/codepagetables.cpp)
"""

import os
import subprocess
import sys

# Our charset names and the iconv names of the same code pages.
ICONV_NAMES = {
    "cp866": "CP866",
    "iso-8859-5": "ISO-8859-5",
    "koi8-r": "KOI8-R",
    "koi8-u": "KOI8-U",
    "x-mac-cyrillic": "MAC-CYRILLIC",
    "x-mac-cyrillic-u": "MAC-UK",
    "windows-1251": "CP1251",
}

# The built-in records, (from, to), in the order the list holds them.
_TO_KOI8R = ["cp866", "iso-8859-5", "koi8-u", "x-mac-cyrillic", "x-mac-cyrillic-u", "windows-1251"]
_TO_KOI8U = ["cp866", "iso-8859-5", "koi8-r", "x-mac-cyrillic", "x-mac-cyrillic-u", "windows-1251"]
_TO_1251 = ["cp866", "iso-8859-5", "koi8-r", "koi8-u", "x-mac-cyrillic", "x-mac-cyrillic-u"]
_TO_866 = ["iso-8859-5", "koi8-r", "koi8-u", "x-mac-cyrillic", "x-mac-cyrillic-u", "windows-1251"]
_TO_MAC = ["cp866", "iso-8859-5", "koi8-r", "koi8-u", "x-mac-cyrillic-u", "windows-1251"]
RECORDS = (
    [(f, "koi8-r") for f in _TO_KOI8R]
    + [(f, "koi8-u") for f in _TO_KOI8U]
    + [(f, "windows-1251") for f in _TO_1251]
    + [(f, "cp866") for f in _TO_866]
    + [(f, "x-mac-cyrillic") for f in _TO_MAC]
    + [("cp866", "x-mac-cyrillic-u"), ("windows-1251", "iso-8859-5")]
)
assert len(RECORDS) == 32

QUESTION = 0x3F

# Where our code pages differ from iconv's: these bytes hold no character.
# KOI8-U lacks the two box-drawing signs at 0xAE/0xBE; x-mac-cyrillic is the
# older page without the Ukrainian GHE at 0xA2/0xB6.
UNDEFINED = {
    "koi8-u": [0xAE, 0xBE],
    "x-mac-cyrillic": [0xA2, 0xB6],
}

# Entries that no character mapping gives: KOI8-U's 0xAE/0xBE go to the short U
# of code page 866.
OVERRIDES = {
    ("koi8-u", "cp866"): {0xAE: 0xF7, 0xBE: 0xF6},
}

# What the tables must hold where they differ from plain iconv; checked after
# generation so that a change of the system's mappings cannot go unnoticed.
EXPECTED = {
    ("koi8-u", "koi8-r"): {0xAE: QUESTION, 0xBE: QUESTION},
    ("koi8-r", "koi8-u"): {0xAE: QUESTION, 0xBE: QUESTION},
    ("cp866", "koi8-u"): {0xBC: QUESTION, 0xCE: QUESTION},
    ("koi8-u", "cp866"): {0xAE: 0xF7, 0xBE: 0xF6},
    ("koi8-u", "x-mac-cyrillic"): {0xAD: QUESTION, 0xBD: QUESTION},
    ("x-mac-cyrillic", "koi8-u"): {0xA2: QUESTION, 0xB6: QUESTION},
    ("x-mac-cyrillic", "windows-1251"): {0xA2: QUESTION, 0xB6: QUESTION, 0xFF: 0xA4},
    ("windows-1251", "x-mac-cyrillic"): {0x88: QUESTION, 0xA5: QUESTION, 0xB4: QUESTION},
}

# The log table turns KOI8-R into windows-1251 for log files read on other
# systems: box drawing and other signs become look-alikes (0x80-0xBF); the
# letters 0xC0-0xFF come from the mappings.
LOG_SIGNS = [
    0x2D, 0xA6, 0x2D, 0xAC, 0x4C, 0x2D, 0x2B, 0x2B, 0x54, 0x2B, 0x2B, 0x2D, 0x2D, 0x2D, 0xA6, 0xA6,
    0x2D, 0x2D, 0x2D, 0x3F, 0xA6, 0x95, 0x76, 0x3F, 0x3F, 0x3F, 0xA0, 0x3F, 0xB0, 0x3F, 0xB7, 0x3F,
    0x3D, 0xA6, 0x2D, 0xB8, 0xE3, 0xE3, 0xAC, 0xAC, 0xAC, 0x4C, 0x4C, 0x4C, 0x2D, 0x2D, 0x2D, 0xA6,
    0xA6, 0xA6, 0xA6, 0xA8, 0xA6, 0xA6, 0x54, 0x54, 0x54, 0xA6, 0xA6, 0xA6, 0x2B, 0x2B, 0x2B, 0xA9,
]
assert len(LOG_SIGNS) == 64


def decode_page(name):
    """Byte -> code point for 0x80-0xFF as iconv reads the code page."""
    page = {}
    for b in range(0x80, 0x100):
        run = subprocess.run(
            ["iconv", "-f", ICONV_NAMES[name], "-t", "UTF-32BE"],
            input=bytes([b]),
            capture_output=True,
            check=False,
        )
        if run.returncode == 0 and len(run.stdout) == 4:
            page[b] = int.from_bytes(run.stdout, "big")
    for b in UNDEFINED.get(name, []):
        page.pop(b, None)
    return page


def build_table(src, dst):
    """256 entries: 0 below 0x80, else the target byte or '?'."""
    encode = {}
    for b, cp in dst.items():
        encode.setdefault(cp, b)
    table = [0] * 256
    for b in range(0x80, 0x100):
        cp = src.get(b)
        table[b] = encode.get(cp, QUESTION) if cp is not None else QUESTION
    return table


def hex_rows(values, indent):
    rows = []
    for i in range(0, len(values), 16):
        rows.append(indent + ", ".join("0x%02X" % v for v in values[i : i + 16]) + ",")
    return "\n".join(rows)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "base", "codepagetables.cpp")

    pages = {name: decode_page(name) for name in ICONV_NAMES}
    # The currency sign at 0xFF is what tells the older Mac page apart.
    assert pages["x-mac-cyrillic"].get(0xFF) == 0xA4, "iconv's MAC-CYRILLIC changed"

    tables = {}
    for src, dst in RECORDS:
        table = build_table(pages[src], pages[dst])
        for b, v in OVERRIDES.get((src, dst), {}).items():
            table[b] = v
        tables[(src, dst)] = table
    for pair, entries in EXPECTED.items():
        for b, v in entries.items():
            got = tables[pair][b]
            assert got == v, "%s -> %s: 0x%02X gives 0x%02X, want 0x%02X" % (pair + (b, got, v))

    log = LOG_SIGNS + tables[("koi8-r", "windows-1251")][0xC0:0x100]
    cp866_koi8 = build_table(pages["cp866"], pages["koi8-r"])[0x80:]

    parts = [
        "// Generated by tools/gen-codepages.py from the system's iconv mappings. Do not edit:",
        "// change the generator and run it again.",
        "#include \"base/codepagetables.h\"",
        "",
        "// clang-format off",
        "const DecodeData BuiltinCodePages[BuiltinCodePageCount] = {",
    ]
    for src, dst in RECORDS:
        parts.append('    {"%s", "%s", {' % (dst, src))
        parts.append(hex_rows(tables[(src, dst)], "        "))
        parts.append("    }},")
    parts += [
        "};",
        "",
        "const unsigned char Koi8ToWin1251LogTable[128] = {",
        hex_rows(log, "    "),
        "};",
        "",
        "const unsigned char Cp866ToKoi8Table[128] = {",
        hex_rows(cp866_koi8, "    "),
        "};",
        "// clang-format on",
        "",
    ]
    with open(out, "w", encoding="ascii") as f:
        f.write("\n".join(parts))


if __name__ == "__main__":
    main()
