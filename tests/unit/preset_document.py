#!/usr/bin/env python3
"""Reads and writes preset documents with plistlib, as another program would.

  preset_document.py check FILE          exits 0 when FILE has the document's keys and value types
  preset_document.py write FORMAT FILE   writes a full document (FORMAT: xml or binary)
"""
import plistlib
import sys

GROUPS = [("kGlobalParameters", [(0, "kBypass"), (1, "kProcess"), (2, "kAttack"), (3, "kRelease")])] + [
    (gid, [(base + i, "%s%d" % (gid, i + 1)) for i in range(32)])
    for gid, base in (("kLevel", 1000), ("kResonance", 2000), ("kCompansion", 3000))
]


def expected_value(address):
    """The value the writer gives each address (the reading test expects the same)."""
    return 0.0 if address == 0 else ((address * 7) % 100) / 128.0


def fail(message):
    print("preset_document.py: " + message)
    sys.exit(1)


def expect(cond, message):
    if not cond:
        fail(message)


def is_int(v):
    return isinstance(v, int) and not isinstance(v, bool)


def check(path):
    with open(path, "rb") as f:
        head = f.read(6)
        f.seek(0)
        doc = plistlib.load(f)
    expect(head != b"bplist", "the document is not XML")
    expect(isinstance(doc, dict), "the top level is not a dictionary")
    for key in ("version", "type", "manufacturer", "subtype", "number", "count"):
        expect(is_int(doc.get(key)), "%r is not an integer" % key)
    expect(isinstance(doc.get("name"), str), "'name' is not a string")
    expect(doc["type"] == 0x61756D66 and doc["manufacturer"] == 0x4B574F42 and doc["subtype"] == 0x79755356,
           "the component codes are wrong")
    expect(doc["count"] == 4, "'count' is not 4")
    seen = 0
    for k, (gid, params) in enumerate(GROUPS):
        group = doc.get("group %d" % k)
        expect(isinstance(group, dict), "group %d is not a dictionary" % k)
        expect(group.get("identifier") == gid, "group %d is not %s" % (k, gid))
        expect(is_int(group.get("count")) and group["count"] == len(params), "group %d has a wrong count" % k)
        for j, (address, ident) in enumerate(params):
            p = group.get("param %d" % j)
            expect(isinstance(p, dict), "param %d of group %d is not a dictionary" % (j, k))
            expect(is_int(p.get("address")) and p["address"] == address, "param %d has a wrong address" % j)
            expect(p.get("identifier") == ident, "param %d has a wrong identifier" % j)
            expect(isinstance(p.get("value"), float), "param %d value is not a real" % j)
            seen += 1
    expect(seen == 100, "not 100 parameters")
    print("preset_document.py: %s is a preset document with 100 parameters" % path)


def write(fmt, path):
    doc = {"version": 1, "type": 0x61756D66, "manufacturer": 0x4B574F42, "subtype": 0x79755356,
           "number": 3, "name": "From Python", "count": 4}
    for k, (gid, params) in enumerate(GROUPS):
        group = {"identifier": gid, "count": len(params)}
        for j, (address, ident) in enumerate(params):
            group["param %d" % j] = {"address": address, "identifier": ident, "value": expected_value(address)}
        doc["group %d" % k] = group
    with open(path, "wb") as f:
        plistlib.dump(doc, f, fmt=plistlib.FMT_BINARY if fmt == "binary" else plistlib.FMT_XML)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "check":
        check(sys.argv[2])
    elif len(sys.argv) == 4 and sys.argv[1] == "write":
        write(sys.argv[2], sys.argv[3])
    else:
        fail("usage: check FILE | write xml|binary FILE")
