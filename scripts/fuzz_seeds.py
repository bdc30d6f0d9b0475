#!/usr/bin/env python3
"""Writes the seed inputs of every fuzz target: OUT/<target>/<name>.

    scripts/fuzz_seeds.py OUT [CORPUS]

Seeds are small cases made here, plus, when CORPUS (the shared workbook corpus) is
given, its workbooks and the parts they hold. Nothing of the corpus enters the
repository: the seeds are made at run time.
"""
import hashlib
import os
import struct
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import rawzip  # noqa: E402


def workbook_entries(path, names):
    """(name, bytes) of the named entries of a workbook that can be read."""
    try:
        with zipfile.ZipFile(path) as z:
            for n in names:
                try:
                    yield n, z.read(n)
                except Exception:
                    continue
    except Exception:
        return

BUILTIN_KEY_TEXT = b"Hq3vN8wLz2Tc5Kp0Yd7Rb1Xs9Fm4Ge6J"
FOOTER_PREFIX = b"COMPANY=KESTRIL PRODUCT=Hushcel VERSION=2.0.0.0"


def aes_ecb(key, data):
    if not data:
        return b""
    return subprocess.run(["openssl", "enc", "-aes-128-ecb", "-nopad", "-nosalt", "-K", key.hex()], input=data,
                          stdout=subprocess.PIPE, check=True).stdout


def container(source, password=b"pw", name=b"TempsharedStrings.xml"):
    """The encrypted stream container of `source`, as the program writes it."""
    key = (password + BUILTIN_KEY_TEXT[len(password):])[:16]
    blocks = bytearray()
    pad = 0
    for at in range(0, len(source), 512):
        piece = source[at:at + 512]
        units = len(piece) + (-len(piece)) % 16
        blocks += aes_ecb(key, piece.ljust(units, b"\0")).ljust(512, b"\0")
        pad = 512 - len(piece)
    trailer = struct.pack("<4sIIIIH16sH", b"TIVA", 1000, 0, len(blocks), len(source), pad,
                          hashlib.md5(source).digest(), len(name)) + name
    return bytes(blocks) + trailer.ljust(512, b"\0")


def footer(text):
    return text.encode().ljust(512, b"\0")[:512]


def write(out, target, name, data):
    folder = os.path.join(out, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def corpus_workbooks(corpus):
    for folder, _, files in sorted(os.walk(corpus)):
        for f in sorted(files):
            if not f.endswith(".md"):
                yield os.path.join(folder, f)


def part_seeds(corpus):
    """(target, name, bytes) for the parts of the corpus workbooks that the part targets read."""
    for path in corpus_workbooks(corpus):
        stem = os.path.relpath(path, corpus).replace(os.sep, "_")
        try:
            with zipfile.ZipFile(path) as z:
                for info in z.infolist():
                    n = info.filename
                    try:
                        data = z.read(info)
                    except Exception:
                        continue
                    if len(data) > 300000:
                        continue
                    if n == "xl/workbook.xml":
                        yield "workbook_part", stem, b"\0" + data
                    elif n == "_rels/.rels":
                        yield "relationships", stem, b"\0" + data
                    elif n == "[Content_Types].xml":
                        yield "content_types", stem, b"\0" + data
                    elif n.endswith("sharedStrings.xml"):
                        yield "shared_strings", stem, b"\0" + data
                    elif n.startswith("xl/drawings/") and n.endswith(".xml"):
                        yield "drawing", stem + "_" + os.path.basename(n), b"\0" + data
                    elif n.startswith("xl/worksheets/") and n.endswith(".xml"):
                        yield "worksheet", stem + "_" + os.path.basename(n), b"\0" + data[:60000]
        except Exception:
            continue


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    out = sys.argv[1]
    corpus = sys.argv[2] if len(sys.argv) == 3 else None

    # zip archives
    write(out, "unzip", "workbook.zip", rawzip.build(rawzip.workbook()))
    write(out, "unzip", "stored.zip", rawzip.build([rawzip.Entry(n, t, method=0) for n, t in rawzip.workbook_parts()]))
    write(out, "unzip", "directories.zip",
          rawzip.build([rawzip.Entry("xl/", b"", method=0), rawzip.Entry("xl\\media\\", b"", method=0),
                        rawzip.Entry("xl/a.xml", "<a/>")]))
    write(out, "unzip", "comment.zip", rawzip.build(rawzip.workbook(), comment=footer("COMPANY=KESTRIL PRODUCT=Hushcel ")))
    write(out, "unzip", "encrypted.zip", rawzip.build([rawzip.Entry("a.xml", "secret", flags=1)]))
    write(out, "unzip", "bzip2.zip", rawzip.build([rawzip.Entry("a.xml", "x", method=12, payload=b"x")]))
    write(out, "unzip", "duplicate.zip", rawzip.build([rawzip.Entry("a.xml", "1"), rawzip.Entry("a.xml", "2")]))
    write(out, "unzip", "overlap.zip",
          rawzip.build([rawzip.Entry("k%02d" % i, b"\0" * 5000, local_header=(i == 0)) for i in range(8)]))
    write(out, "unzip", "lying-size.zip", rawzip.build([rawzip.Entry("a.xml", b"\0" * 20000, uncompressed_size=100)]))
    write(out, "unzip", "bad-crc.zip", rawzip.build([rawzip.Entry("a.xml", "hello", crc=1)]))
    write(out, "unzip", "empty.zip", rawzip.build([]))
    if corpus:
        for path in corpus_workbooks(corpus):
            with open(path, "rb") as f:
                write(out, "unzip", os.path.relpath(path, corpus).replace(os.sep, "_"), f.read())

    # encrypted backups
    for size in (0, 1, 15, 16, 17, 511, 512, 513, 1000, 1500):
        write(out, "container", "size%d" % size, container(bytes((i * 7) & 0xFF for i in range(size))))
    write(out, "container", "shared-strings", container(rawzip.SHARED_STRINGS.encode()))
    write(out, "container", "other-password", container(b"<sst/>" * 50, password=b"other"))
    write(out, "container", "trailer-only-bad-magic", b"TIVB".ljust(512, b"\0"))

    # footers (the last 512 bytes of a workbook) and tokenizer texts
    hash_hex = hashlib.sha512(b"Q-Marle").hexdigest()
    footers = {
        "full": 'COMPANY=KESTRIL PRODUCT=Hushcel VERSION=2.0.0.0 HINT="" FILE=N HASH=%s' % hash_hex,
        "hint": 'COMPANY=KESTRIL PRODUCT=Hushcel VERSION=2.0.0.0 HINT="%s" FILE=N HASH=%s' % ("ab" * 32, hash_hex),
        "short": "COMPANY=KESTRIL PRODUCT=Hushcel VERSION=2.0.0.0 FILE=N",
        "file": 'COMPANY=KESTRIL PRODUCT=Hushcel VERSION=2.0.0.0 HINT="" FILE=Y HASH=%s' % ("0" * 128),
        "prefix-only": "COMPANY=KESTRIL PRODUCT=Hushcel ",
    }
    for name, text in footers.items():
        write(out, "footer", name, footer(text))
        write(out, "token", name, text.encode())
    write(out, "footer", "no-zero-padding", (FOOTER_PREFIX + b" HINT=\"" + b"x" * 600)[:512])
    for name, text in {"ini": "PASSWORD=abc\r\nMASK_CHAR=1\r\n", "quotes": 'A="b c" D=\'e\' "unterminated',
                       "sjis": "\x81\x40=\x82\xa0"}.items():
        write(out, "token", name, text.encode("latin-1"))

    # settings files
    write(out, "settings", "defaults.ini",
          b"[SETTING]\r\nMASK_MCHAR=0\r\nMASK_CHAR=0\r\nMASK_NUMBER=0\r\nIS_OVERWRITE=N\r\nIS_AUTOSHAPE=Y\r\n"
          b"MASK_STEP=1\r\nPASSWORD=0011223344556677\r\nTARGET_COLUMN=\r\n")

    # parts: the first byte selects options (direction, strength, ...)
    write(out, "workbook_part", "small", b"\0" + rawzip.WORKBOOK.encode())
    write(out, "workbook_part", "small-restore", b"\1" + rawzip.WORKBOOK.encode())
    write(out, "workbook_part", "file-sharing",
          b"\0" + rawzip.WORKBOOK.replace("<workbookPr", '<fileSharing readOnlyRecommended="1" '
                                          'reservationPassword="CBEB"/><workbookPr').encode())
    write(out, "relationships", "small", b"\0" + rawzip.ROOT_RELS.encode())
    write(out, "relationships", "small-restore", b"\1" + rawzip.ROOT_RELS.encode())
    write(out, "content_types", "small", b"\0" + rawzip.CONTENT_TYPES.encode())
    write(out, "content_types", "small-jpeg", b"\2" + rawzip.CONTENT_TYPES.encode())
    write(out, "shared_strings", "small", b"\0" + rawzip.SHARED_STRINGS.encode())
    write(out, "shared_strings", "entities", b"\0<sst><si><t xml:space=\"preserve\"> a&amp;b &#x3042; </t></si>"
          b"<si><r><t>run</t></r><rPh><t>\xe3\x81\x82</t></rPh></si></sst>")
    write(out, "drawing", "small", b"\0<xdr:wsDr><a:p><a:r><a:t>Tanaka 090</a:t></a:r></a:p></xdr:wsDr>")
    write(out, "worksheet", "small", b"\0" + rawzip.SHEET.encode())
    for ref in ("A1", "$B$12", "XFD1048576", "AAAA1", "1A", "", "A0", "ZZZZZZZZ99999999999"):
        write(out, "cell_ref", ref or "empty", ref.encode())

    # file type detection: the first byte picks the name (.xlsx, .xlsm, .xls, none)
    workbook_zip = rawzip.build(rawzip.workbook())
    compound = b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1".ljust(4096, b"\0")
    for option, name in ((0, "xlsx"), (1, "xlsm"), (2, "xls"), (3, "none")):
        write(out, "file_type", "workbook-" + name, bytes([option]) + workbook_zip)
    write(out, "file_type", "compound", b"\2" + compound)
    write(out, "file_type", "encrypted-package",
          b"\0" + compound[:512] + b"E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0".ljust(3584, b"\0"))
    write(out, "file_type", "text", b"\0name,address\nyamada,tokyo\n")

    # footer records: bit 0 of the first byte puts the prefix in front
    for name, text in footers.items():
        write(out, "footer_record", name, b"\0" + text.encode())
        if text.startswith(FOOTER_PREFIX.decode()):
            write(out, "footer_record", name + "-after-prefix", b"\1" + text[len(FOOTER_PREFIX):].encode())

    # container trailers: the last block of each container seed
    for size in (0, 17, 512, 1000):
        write(out, "trailer", "size%d" % size, container(bytes(size))[-512:])

    # leak scan: the first byte picks the part that is scanned
    for option, name in ((0, "shared-strings"), (1, "worksheet"), (3, "comments"), (5, "core-properties")):
        write(out, "leak_scan", name, bytes([option]) + rawzip.SHARED_STRINGS.encode())
    write(out, "leak_scan", "escapes", b"\4<sst><si><t>a_x000D_b &amp; &#12354;</t></si></sst>")

    # column suggestions: worksheet, shared strings and styles, split at NUL
    write(out, "suggest", "small", b"\3" + rawzip.SHEET.encode() + b"\0" + rawzip.SHARED_STRINGS.encode() + b"\0<styleSheet/>")
    write(out, "suggest", "dates",
          b"\x12<worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row><row r=\"2\">"
          b"<c r=\"A2\" s=\"1\"><v>45000</v></c></row></sheetData></worksheet>\0"
          b"<sst><si><t>\xe7\x94\x9f\xe5\xb9\xb4\xe6\x9c\x88\xe6\x97\xa5</t></si></sst>\0"
          b"<styleSheet><cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/></cellXfs></styleSheet>")

    # the damaged and hostile workbooks of the bad-input corpus
    import make_bad_inputs  # it builds on this file's helpers
    for name, _password, _expected, _fragment, data in make_bad_inputs.cases():
        write(out, "unzip", "bad-" + name, data)
        write(out, "file_type", "bad-" + name, b"\0" + data)

    if corpus:
        for target, name, data in part_seeds(corpus):
            write(out, target, name, data)
        for path in corpus_workbooks(corpus):
            with open(path, "rb") as f:
                data = f.read()
            stem = os.path.relpath(path, corpus).replace(os.sep, "_")
            write(out, "file_type", stem, b"\0" + data)
            for n, part in workbook_entries(path, ("xl/sharedStrings.xml",)):
                write(out, "leak_scan", stem, b"\0" + part[:60000])


if __name__ == "__main__":
    main()
