#!/usr/bin/env python3
"""The reference side of tarvo-mimebench: decodes each NAME=FILE argument with Python's
base64.b64decode (names starting with "base64") or quopri.decodestring (the others) and prints
"NAME MB/s", measured as tarvo-mimebench measures its own decoders."""
import base64
import quopri
import sys
import time


def measure(decode, data):
    best = 0.0
    for _ in range(3):
        passes = 0
        start = time.perf_counter()
        while True:
            decode(data)
            passes += 1
            spent = time.perf_counter() - start
            if spent >= 1.0 / 3:
                break
        best = max(best, passes * len(data) / spent / 1e6)
    return best


for arg in sys.argv[1:]:
    name, path = arg.split("=", 1)
    with open(path, "rb") as f:
        data = f.read()
    decode = base64.b64decode if name.startswith("base64") else quopri.decodestring
    print("%s %.1f" % (name, measure(decode, data)), flush=True)
