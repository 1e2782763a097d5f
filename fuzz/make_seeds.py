#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Settings seeds are the settings texts of the test suite (every C string literal, or run of
adjacent literals, that holds a section header) plus the reliability world's two firms.
Classes and host-answer seeds are short op sequences in the byte formats that fuzz/harness.cpp
reads. Run it again after adding texts to the tests; it only writes files.
"""
import glob
import os
import re
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = os.path.join(ROOT, "fuzz", "corpus")

LITERAL_RUN = re.compile(r'((?:"(?:[^"\\\n]|\\.)*"\s*(?://[^\n]*\n\s*)?)+)')
ESCAPES = {"n": "\n", "r": "\r", "t": "\t", "0": "\0", "\\": "\\", '"': '"', "'": "'"}


def unescape(body):
    out, i = [], 0
    while i < len(body):
        c = body[i]
        if c == "\\" and i + 1 < len(body):
            n = body[i + 1]
            if n == "x":
                m = re.match(r"[0-9a-fA-F]{1,2}", body[i + 2:])
                out.append(chr(int(m.group(0), 16)))
                i += 2 + len(m.group(0))
                continue
            out.append(ESCAPES.get(n, n))
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out)


def test_texts():
    texts = []
    for path in sorted(glob.glob(os.path.join(ROOT, "tests", "*.cpp")) +
                       glob.glob(os.path.join(ROOT, "tests", "*.h"))):
        src = open(path, encoding="utf-8", errors="replace").read()
        for run in LITERAL_RUN.finditer(src):
            parts = re.findall(r'"((?:[^"\\\n]|\\.)*)"', run.group(1))
            text = "".join(unescape(p) for p in parts)
            if re.search(r"\[[A-Za-z_*0-9 ]+\]", text) and "\n" in text and text not in texts:
                texts.append(text)
    return texts


def write(target, name, data):
    d = os.path.join(CORPUS, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def settings_seeds():
    texts = test_texts()
    for i, t in enumerate(texts):
        write("settings", "test-text-%02d" % i, t.encode("latin-1", "replace"))
    # The world's two firms, split by a NUL as the target reads them.
    world = [t for t in texts if "VOLUME" in t and "[CLGROUP_MARGIN_TEMPLATE]" in t]
    second = [t for t in texts if "CREDITLAG=2\r\n" in t]
    if world and second:
        write("settings", "world-two-firms", (world[0] + "\0" + second[0]).encode("latin-1"))
    write("settings", "empty", b"")
    write("settings", "cr-only", b"[LIMITALLOWEDSECURITY]\rTQBR=SBER\r[GENERAL]\rCREDITLAG=2\r")
    write("settings", "long-names", b"[CLABCDEFGHIJKLM_MARGIN]\nTQBR=SBER\n[CL" + b"X" * 101 +
          b"_MARGIN_TEMPLATE]\nCLIENTS=C1\n[CLIENTLAG]\n" + b"Z" * 300 + b"*=2\n")


def cls(class_id, sec_count, flags, code, value_unlisted=0):
    return struct.pack("<Iii13sb6s", class_id, sec_count, flags, code, value_unlisted, b"\0" * 6)


def sec(sec_id, code, lot=1, face=0.0):
    return struct.pack("<dIIi20s", face, sec_id, 0, lot, code)


def text_op(firm_index, text):
    return bytes([2, firm_index]) + struct.pack("<H", len(text)) + text


def classes_seeds():
    # op % 8: 0/1 add class (0x10 clears skip flags, 0x20 code from the table, 0x40 security
    # codes from the table), 2 load a text, 3 load a world text, 4 drop texts, 5 cleanup,
    # 6 observe, 7 register the world's classes.
    write("classes", "world-then-observe", bytes([7, 3, 3 | 0x30, 6 | 0x10, 6 | 0x30]))
    write("classes", "texts-then-classes",
          bytes([3]) + bytes([0]) + cls(10, 2, 0, b"TQBR", 1) + sec(101, b"SBER", 10) +
          sec(102, b"GAZP") + bytes([6 | 0x10, 7, 6 | 0x10]))
    write("classes", "unterminated-codes",
          bytes([0]) + cls(77, 1, 0, b"ABCDEFGHIJKLM", 1) +
          struct.pack("<dIIi", 0.0, 701, 0, 1) + b"S" * 20 + bytes([3, 6]))
    write("classes", "skip-flags-and-duplicates",
          bytes([0]) + cls(10, 1, 2, b"TQBR") + sec(1, b"A") + bytes([0]) +
          cls(10, 1, 0, b"TQBR") + sec(2, b"B") + bytes([0]) + cls(11, 0, 1, b"TQBR") +
          bytes([3, 5, 7, 4, 6]))
    write("classes", "long-registry-codes",
          bytes([0]) + cls(30, 3, 0, b"SPBXM") + sec(301, b"AAPL") +
          sec(302, b"LONGCODE16CHARS0") + sec(303, b"CODE19CHARSXXXXXXXX") +
          text_op(0, b"[LIMITALLOWEDSECURITY]\nSPBXM=<ALL>\n") + bytes([6 | 0x10]))
    write("classes", "thirteen-char-firm", text_op(4, b"[GENERAL]\nCREDITLAG=2\n") +
          text_op(3, b"") + bytes([7, 6]))


# Securities per class of the world's registry (TQBR, EQOB, SPBXM, TQTF).
CLASS_SIZES = [4, 2, 3, 0]


def host_seeds(name, lot_face, money, secs, prices, rows):
    out = bytearray()
    lot_faces = iter(lot_face)
    for count in CLASS_SIZES:
        for _ in range(count):
            ctl, lot, face = next(lot_faces)
            out.append(ctl)
            if ctl & 1:
                out += struct.pack("<i", lot)
            if ctl & 2:
                out += struct.pack("<d", face)
        out.append(0)  # keep the class's flags
    out.append(len(money))
    for m in money:
        out += m
    out.append(len(secs))
    for s in secs:
        out += s
    for ctl, values in prices:
        out.append(ctl)
        for v in values:
            out += struct.pack("<d", v)
    out += rows
    write("host_answers", name, bytes(out))


def money(tag_index, amounts, leverage=-1, firm2=False):
    rec = b"\xa5" * 9 + b"\0" * 31 + struct.pack("<6d", *amounts) + struct.pack("<i", leverage)
    rec += b"\0" * 4
    return rec + bytes([1 | 2 | 4 | (8 if firm2 else 0), tag_index])


def position(code_index, acc_index, q, value=0.0, firm2=False):
    rec = b"\xa5" * 4 + b"\0" * 52 + struct.pack("<6i", *q) + struct.pack("<d", value)
    return rec + bytes([1 | 2 | 4 | 8 | (16 if firm2 else 0), code_index, acc_index])


def rows(actv_ctl, price=None):
    out = bytearray()
    for _ in range(2):
        out += bytes([3, 0]) + struct.pack("<II", 0, 0)
        for _ in range(9):
            out.append(actv_ctl)
            if actv_ctl & 2:
                out += struct.pack("<d", price)
    return bytes(out)


def host_answers_seeds():
    nan, inf = float("nan"), float("inf")
    plain = [(0, 0, 0.0)] * 9
    money_ok = [money(0, [100000, 0, 120000, 0, 0, 1000], 250), money(2, [5000] * 6),
                money(0, [100000, 0, 120000, 0, 0, 0], firm2=True)]
    secs_ok = [position(0, 0, [10, 0, 12, 0, 1, 2], 500.0), position(1, 0, [-5, 0, -7, 0, 0, 1]),
               position(4, 1, [3, 0, 3, 0, 0, 0]), position(7, 0, [4, 0, 4, 0, 0, 0]),
               position(0, 0, [10, 0, 12, 0, 1, 2], firm2=True)]
    quotes = [(0x0F, [250.5, 250.3, 249.0, 250.4])] * 9
    host_seeds("plain", plain, money_ok, secs_ok, quotes, rows(0))
    host_seeds("given-price", plain, money_ok, secs_ok, quotes, rows(2, 101.5))
    host_seeds("zero-lots", [(1, 0, 0.0), (1, -10, 0.0), (3, 1, nan), (3, 1, inf)] + plain[4:],
               money_ok, secs_ok, quotes, rows(1))
    extremes = [position(0, 0, [2**31 - 1, 2**31 - 1, 2**31 - 1, 2**31 - 1, 0, 0]),
                position(1, 0, [-2**31, -2**31, -2**31, -2**31, 2**31 - 1, 2**31 - 1], -inf),
                position(2, 0, [0, 0, 0, 0, -2**31, -2**31], nan)]
    host_seeds("int32-extremes", plain, money_ok, extremes, quotes, rows(2, 1e-300))
    weird = [(0x1F, [nan, inf, -inf, 5e-324, 1e308])] * 9
    host_seeds("nan-and-infinite-prices", plain,
               [money(0, [nan, inf, -inf, 1e308, -1e308, 5e-324], 2**31 - 1)], secs_ok, weird,
               rows(2, nan))
    host_seeds("tiny-prices", plain, money_ok, secs_ok, [(0x0F, [1e-9, 1e-8, 0.99e-8, 0.0])] * 9,
               rows(2, -1.0))


if __name__ == "__main__":
    settings_seeds()
    classes_seeds()
    host_answers_seeds()
