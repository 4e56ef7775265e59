#!/usr/bin/env python3
"""The Python side of tarvo-mimebench: each argument WORK:NAME=FILE (WORK "encode" or "decode"; a
NAME starting with "base64" for base64, any other for quoted-printable) is encoded with
base64.encodebytes or quopri.encodestring, or decoded with base64.b64decode or quopri.decodestring
(all of them C code inside Python), and printed as "WORK NAME MB/s", measured as tarvo-mimebench
measures its own codecs. The figure counts the bytes of FILE."""
import base64
import quopri
import sys

from refmeasure import measure

CODECS = {
    ("encode", True): base64.encodebytes,
    ("encode", False): quopri.encodestring,
    ("decode", True): base64.b64decode,
    ("decode", False): quopri.decodestring,
}

for arg in sys.argv[1:]:
    work, rest = arg.split(":", 1)
    name, path = rest.split("=", 1)
    with open(path, "rb") as f:
        data = f.read()
    codec = CODECS[(work, name.startswith("base64"))]
    print("%s %s %.1f" % (work, name, measure(lambda: codec(data), len(data))), flush=True)
