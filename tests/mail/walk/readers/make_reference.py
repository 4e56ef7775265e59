#!/usr/bin/env python3
"""Writes reference.txt: what Python's email package (policies compat32 and default) and GMime 3
decode from each message of cases.txt. Run once after changing cases.txt; the tests need neither.

usage: make_reference.py  (needs Debian's libgmime-3.0-dev and a C compiler)
"""
import base64
import email
import email.policy
import hashlib
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
# The GMime side: one line per leaf part, its content type and its content decoded, in hex.
GMIME_LEAVES = r"""/* For make_reference.py: reads one message with GMime 3 and prints, one line per leaf part, its
   content type and its content decoded by its transfer encoding, in hex. */
#include <fcntl.h>
#include <gmime/gmime.h>
#include <stdio.h>

static void leaf(GMimeObject* object) {
    GMimeContentType* type = g_mime_object_get_content_type(object);
    printf("%s/%s ", type ? g_mime_content_type_get_media_type(type) : "?",
           type ? g_mime_content_type_get_media_subtype(type) : "?");
    GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(object));
    if (content) {
        GMimeStream* out = g_mime_stream_mem_new();
        g_mime_data_wrapper_write_to_stream(content, out);
        GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out));
        for (guint i = 0; i < bytes->len; ++i) printf("%02x", bytes->data[i]);
        g_object_unref(out);
    }
    printf("\n");
}

static void walk(GMimeObject* object) {
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i)
            walk(g_mime_multipart_get_part(multipart, i));
    } else if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessage* message = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        if (message) walk(g_mime_message_get_mime_part(message));
    } else if (GMIME_IS_PART(object)) {
        leaf(object);
    }
}

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    g_mime_init();
    GMimeStream* stream = g_mime_stream_fs_open(argv[1], O_RDONLY, 0, NULL);
    if (!stream) return 1;
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* message = g_mime_parser_construct_message(parser, NULL);
    if (message && g_mime_message_get_mime_part(message)) walk(g_mime_message_get_mime_part(message));
    return 0;
}
"""
# The test file, spelled backwards so that this file does not hold it.
EICAR = "*H+H$!ELIF-TSET-SURIVITNA-DRADNATS-RACIE$}7)CC7)^P(45XZP\\4[PA@%P!O5X"[::-1].encode()
CLEAN = b"just some clean data, nothing to see here\n" * 3
TOP = "From: sender@example.org\nTo: someone@example.org\nSubject: test\nMIME-Version: 1.0"


def b64_oneline(data):
    return base64.b64encode(data).decode()


def b64_lines(data):
    one = b64_oneline(data)
    return "\n".join(one[i:i + 76] for i in range(0, len(one), 76))


def qp(data, digits):
    escapes = [digits % b for b in data]
    return "=\n".join("".join(escapes[i:i + 25]) for i in range(0, len(escapes), 25))


def uu(data, name):
    def char(v):
        return "`" if v == 0 else chr(v + 32)
    lines = ["begin 644 " + name]
    for at in range(0, len(data), 45):
        chunk = data[at:at + 45]
        line = char(len(chunk))
        padded = chunk + b"\0" * (-len(chunk) % 3)
        for i in range(0, len(padded), 3):
            v = padded[i] << 16 | padded[i + 1] << 8 | padded[i + 2]
            line += "".join(char((v >> s) & 63) for s in (18, 12, 6, 0))
        lines.append(line)
    return "\n".join(lines + ["`", "end"])


ATTACH = ('Content-Type: application/octet-stream; name="eicar.com"\nContent-Transfer-Encoding: base64\n'
          'Content-Disposition: attachment; filename="eicar.com"\n\n{B64}')
CLEAN_ATTACH = ('Content-Type: application/octet-stream; name="notes.bin"\nContent-Transfer-Encoding: base64\n'
                'Content-Disposition: attachment; filename="notes.bin"\n\n{CLEAN_B64}')
INNER = 'Subject: inner\nContent-Type: multipart/mixed; boundary="IN"\n\n--IN\n{ATTACH}\n--IN--\n'


def expand(text):
    eicar = EICAR.decode("latin-1")
    values = {
        "{ATTACH}": ATTACH, "{CLEAN_ATTACH}": CLEAN_ATTACH, "{TOP}": TOP,
        "{B64}": b64_lines(EICAR),
        "{B64_STAR}": "\n".join(line + "*" for line in b64_lines(EICAR).split("\n")),
        "{B64_FILLS}": "====\n" + b64_lines(EICAR),
        "{B64_SPACED}": " ".join(b64_oneline(EICAR)[i:i + 4] for i in range(0, len(b64_oneline(EICAR)), 4)),
        "{B64_ONELINE}": b64_oneline(EICAR),
        "{B64_JUNK}": "#".join(b64_oneline(EICAR)[i:i + 10] for i in range(0, len(b64_oneline(EICAR)), 10)),
        "{B64_SPLIT}": b64_oneline(EICAR[:40]) + "\n" + b64_oneline(EICAR[40:]),
        "{QP}": qp(EICAR, "=%02X"), "{QP_LOWER}": qp(EICAR, "=%02x"),
        "{UU}": uu(EICAR, "eicar.com"), "{CLEAN_B64}": b64_lines(CLEAN), "{EICAR}": eicar,
    }
    while True:
        before = text
        if "{B64_MESSAGE}" in text:
            inner = expand_lines(expand(INNER)).encode("latin-1")
            text = text.replace("{B64_MESSAGE}", b64_lines(inner))
        for key, value in values.items():
            text = text.replace(key, value)
        if text == before:
            return text


def expand_lines(text):
    return text.replace("\n", "\r\n").replace("{CR}", "\r").replace("{SP}", " ").replace("{BOM}", "\ufeff")


def nest(levels, inner):
    text = inner
    for i in range(levels, 0, -1):
        text = 'Content-Type: multipart/mixed; boundary="L%d="\n\n--L%d=\n%s\n--L%d=--\n' % (i, i, text, i)
    return TOP + "\n" + text


def wrap(position, part):
    outer = TOP + '\nContent-Type: multipart/mixed; boundary="=outer="\n\n--=outer=\nContent-Type: text/plain\n\n'
    if position == "whole":
        return part
    if position == "top":
        return TOP + "\n" + part
    if position == "mixed":
        return outer + "See the attachment.\n--=outer=\n" + part + "\n--=outer=--\n"
    if position == "forwarded":
        return (outer + "See the message below.\n--=outer=\nContent-Type: message/rfc822\n\n" + TOP + "\n" + part +
                "\n--=outer=--\n")
    if position == "digest":
        return (TOP + '\nContent-Type: multipart/digest; boundary="=dig="\n\n--=dig=\n\n' + TOP + "\n" + part +
                "\n--=dig=--\n")
    raise ValueError(position)


def read_cases(path):
    cases = []
    for block in re.split(r"^=== ", open(path, encoding="utf-8").read(), flags=re.M)[1:]:
        name, rest = block.split("\n", 1)
        case = {"name": name.strip(), "positions": [], "expect": "", "log": "", "nest": 0}
        lines = rest.split("\n")
        while lines and re.match(r"^(positions|expect|log|nest|shape): ", lines[0]):
            key, value = lines.pop(0).split(": ", 1)
            case[key] = value.split() if key == "positions" else int(value) if key == "nest" else value
        case["text"] = "\n".join(lines).rstrip("\n")
        cases.append(case)
    return cases


def message_bytes(case, position):
    part = case["text"]
    text = nest(case["nest"], part) if case["nest"] else wrap(position, part)
    return expand_lines(expand(text)).encode("utf-8" if "{BOM}" in text else "latin-1")


def python_leaves(data, policy):
    message = email.message_from_bytes(data, policy=policy)
    leaves = []
    for part in message.walk():
        if part.is_multipart():
            continue
        payload = part.get_payload(decode=True) or b""
        leaves.append((part.get_content_type(), payload))
    return leaves


def gmime_leaves(program, data):
    with tempfile.NamedTemporaryFile(delete=False) as f:
        f.write(data)
    try:
        out = subprocess.run([program, f.name], capture_output=True, check=False).stdout.decode()
    finally:
        os.unlink(f.name)
    leaves = []
    for line in out.splitlines():
        kind, _, hexed = line.partition(" ")
        leaves.append((kind.lower(), bytes.fromhex(hexed)))
    return leaves


def verdict(leaves):
    return "found" if any(payload.startswith(EICAR) for _, payload in leaves) else "clean"


def shape(leaves):
    return ",".join("%s:%s" % (kind, "E" if payload.startswith(EICAR) else len(payload)) for kind, payload in leaves)


def build_gmime_leaves(folder):
    source = os.path.join(folder, "gmime_leaves.c")
    program = os.path.join(folder, "gmime_leaves")
    with open(source, "w") as f:
        f.write(GMIME_LEAVES)
    flags = subprocess.run(["pkg-config", "--cflags", "--libs", "gmime-3.0"], capture_output=True, text=True,
                           check=True).stdout.split()
    subprocess.run(["cc", "-o", program, source] + flags, check=True)
    return program


def main():
    program = build_gmime_leaves(tempfile.mkdtemp())
    rows = []
    sys.setrecursionlimit(10000)
    for case in read_cases(os.path.join(HERE, "cases.txt")):
        for position in case["positions"]:
            data = message_bytes(case, position)
            compat = python_leaves(data, email.policy.compat32)
            default = python_leaves(data, email.policy.default)
            gmime = gmime_leaves(program, data)
            rows.append("%s %s %s compat32=%s default=%s gmime=%s python-shape=%s gmime-shape=%s" % (
                case["name"], position, hashlib.sha256(data).hexdigest(), verdict(compat), verdict(default),
                verdict(gmime), shape(compat) or "-", shape(gmime) or "-"))
    with open(os.path.join(HERE, "reference.txt"), "w") as out:
        out.write("# Generated by make_reference.py from cases.txt: the message's SHA-256, whether each reader\n"
                  "# decodes the test file at the start of a leaf, and the leaves (type and E for the test file,\n"
                  "# else the decoded length).\n")
        out.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
