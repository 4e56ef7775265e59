#!/usr/bin/env python3
"""The reference side of tarvo-mimebench: decodes each NAME=FILE argument with Python's
base64.b64decode (names starting with "base64") or quopri.decodestring (the others) and prints
"NAME MB/s", measured as tarvo-mimebench measures its own decoders."""
import base64
import quopri
import sys

from refmeasure import measure

for arg in sys.argv[1:]:
    name, path = arg.split("=", 1)
    with open(path, "rb") as f:
        data = f.read()
    decode = base64.b64decode if name.startswith("base64") else quopri.decodestring
    print("%s %.1f" % (name, measure(lambda: decode(data), len(data))), flush=True)
