#!/usr/bin/env python3
"""Compares two or three output files of kesvar_differential (framing: tests/differential/
generator.h). They agree when byte-identical; otherwise prints the seed, the call and the field
of the first byte that differs, with every file's value, and exits 1. Row and actv field names
come from include/kesvar.h."""
import pathlib
import re
import struct
import sys

HEADER = pathlib.Path(__file__).resolve().parents[2] / "include" / "kesvar.h"
SIZES = {"uint32_t": 4, "int32_t": 4, "uint8_t": 1, "int8_t": 1, "double": 8, "char": 1}


def layout(struct_name):
    """[(offset, size, type, name)] of a packed record of kesvar.h."""
    body = re.search(r"typedef struct %s \{(.*?)\} %s;" % (struct_name, struct_name),
                     HEADER.read_text(), re.S).group(1)
    fields, offset = [], 0
    for type_, name, count in re.findall(r"^\s*(\w+) (\w+)(?:\[(\d+)\])?;", body, re.M):
        size = SIZES[type_] * int(count or 1)
        fields.append((offset, size, type_, name))
        offset += size
    return fields


def records(data):
    """Yields (seed, call, kind, label, payload) from the bytes after the file header."""
    at = 20
    while at < len(data):
        seed, call, kind, n = struct.unpack_from("<IIcI", data, at)
        label = data[at + 13:at + 13 + n].decode("latin-1")
        (size,) = struct.unpack_from("<I", data, at + 13 + n)
        start = at + 17 + n
        yield seed, call, kind.decode(), label, data[start:start + size]
        at = start + size


def margin_list_layout(payload):
    """Field layout of a margin list, read up to the end of the payload."""
    fields = [(0, 4, "uint32_t", "count")]
    at, entry = 4, 0
    while at + 24 <= len(payload):
        (count,) = struct.unpack_from("<i", payload, at + 4)
        fields += [(at, 4, "uint32_t", "entry[%d].classId" % entry),
                   (at + 4, 4, "int32_t", "entry[%d].secCount" % entry),
                   (at + 8, 16, "char", "entry[%d].code" % entry)]
        at += 24
        for j in range(max(count, 0)):
            fields += [(at, 4, "uint32_t", "entry[%d].secs[%d].secId" % (entry, j)),
                       (at + 4, 16, "char", "entry[%d].secs[%d].code" % (entry, j))]
            at += 20
        entry += 1
    return fields


def words(type_, *names):
    return [(4 * i, 4, type_, n) for i, n in enumerate(names)]


LAYOUTS = {"R": layout("KRMarginalRow"), "A": layout("KRMarginalActv"),
           "C": words("int32_t", "result", "lastError"), "O": words("uint32_t", "classId", "secId"),
           "X": words("uint32_t", "moneyIndex", "secIndex"),
           "I": words("int32_t", "count") + [(4 + 4 * i, 4, "uint32_t", "ids[%d]" % i)
                                             for i in range(64)]}


def show(type_, raw):
    if type_ == "double" and len(raw) == 8:
        return "%r (0x%016x)" % (struct.unpack("<d", raw)[0], struct.unpack("<Q", raw)[0])
    if type_ == "char":
        return repr(raw)
    if len(raw) == 4:
        return str(struct.unpack("<i" if type_ == "int32_t" else "<I", raw)[0])
    return raw.hex() or "(missing)"


def first_difference(names, datas):
    """The report of the first difference, or None."""
    if len({d[:20] for d in datas}) > 1:
        return "the files cover different versions or seed ranges"
    label = ""
    for recs in zip(*(records(d) for d in datas)):
        seed, call, kind, this_label, _ = recs[0]
        label = this_label or label
        if len({r[:4] for r in recs}) > 1:
            return "seed %d: the runs part at call %d: %s" % (seed, call, " | ".join(
                "%s: %s %s" % (n, r[2], r[3] or label) for n, r in zip(names, recs)))
        payloads = [r[4] for r in recs]
        if len(set(payloads)) == 1:
            continue
        fields = margin_list_layout(payloads[0]) if kind == "M" else LAYOUTS[kind]
        at = 0
        while at < max(map(len, payloads)):
            if len({p[at:at + 1] for p in payloads}) == 1:
                at += 1
                continue
            offset, size, type_, field = next(
                (f for f in fields if f[0] <= at < f[0] + f[1]), (at, 1, "byte", "byte %d" % at))
            values = [p[offset:offset + size] for p in payloads]
            lines = ["seed %d, call %d: %s" % (seed, call, label),
                     "  %s record, field %s (offset %d, byte %d differs):" % (kind, field, offset, at)]
            width = max(map(len, names))
            lines += ["    %-*s %s" % (width, n, show(type_, v)) for n, v in zip(names, values)]
            return "\n".join(lines)
    if len({len(d) for d in datas}) > 1:
        return "one file ends early"
    return None


def main():
    names = sys.argv[1:]
    if len(names) not in (2, 3):
        sys.exit("usage: compare.py FILE FILE [FILE]")
    datas = [pathlib.Path(n).read_bytes() for n in names]
    if any(d[:8] != b"KSVDIFF1" for d in datas):
        sys.exit("not an output file of kesvar_differential")
    version, first, last = struct.unpack_from("<III", datas[0], 8)
    head = "interface version %d, seeds %d-%d:" % (version, first, last)
    report = first_difference([pathlib.Path(n).name for n in names], datas) \
        if len(set(datas)) > 1 else None
    if report:
        sys.exit("%s the files differ\n%s" % (head, report))
    print("%s %d files agree (%d bytes each)" % (head, len(datas), len(datas[0])))


if __name__ == "__main__":
    main()
