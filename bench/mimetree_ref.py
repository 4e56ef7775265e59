#!/usr/bin/env python3
"""The Python side of tarvo-mimetreebench: parses every message file of a folder with the email
package (compat32 policy), then parses and writes it back with as_bytes, and prints
"parse MB/s", "assemble MB/s" and "peak BYTES" (the memory that parsing the largest message took at its
peak), measured as tarvo-mimetreebench measures the tree."""
import email.parser
import email.policy
import os
import sys

from refmeasure import measure, peak

folder = sys.argv[1]
messages = []
for name in sorted(os.listdir(folder)):
    with open(os.path.join(folder, name), "rb") as f:
        messages.append(f.read())
size = sum(len(m) for m in messages)
parser = email.parser.BytesParser(policy=email.policy.compat32)


def parse():
    for m in messages:
        parser.parsebytes(m)


def assemble():
    for m in messages:
        parser.parsebytes(m).as_bytes()


print("parse %.2f" % measure(parse, size), flush=True)
print("assemble %.2f" % measure(assemble, size), flush=True)
largest = max(messages, key=len) if messages else b""
print("peak %.0f" % peak(lambda: parser.parsebytes(largest)), flush=True)
