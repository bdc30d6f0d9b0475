#!/usr/bin/env python3
"""Writes the labelled bad-input corpus: damaged and hostile workbooks, each with the
outcome the program must give, into OUT/ with OUT/manifest.tsv.

    scripts/make_bad_inputs.py OUT

manifest.tsv columns: file, password, expected outcome, message fragment.
  refused   the CLI refuses the file: non-zero exit, the fragment in its message, no
            output file, the input unchanged
  masks     the CLI masks the file into "●<file>"
  restores  the CLI restores the file into "〇<file>", whose shared strings are the
            original ones (ORIGINAL_SHARED_STRINGS)
Every file is made here from nothing; masked workbooks are built by this script too
(AES by the openssl command), which also checks that the format is read as written.
"""
import hashlib
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import fuzz_seeds  # noqa: E402
import rawzip  # noqa: E402
from rawzip import Entry  # noqa: E402

PASSWORD = "pw"
FOOTER_PREFIX = "COMPANY=KESTRIL PRODUCT=Hushcel VERSION=2.0.0.0"

# Message fragments, as the program words them.
SIZE = "処理可能なサイズを超えました"
DAMAGED = "破損"
BACKUP_DAMAGED = "バックアップが破損しています"
NOT_A_ZIP = "zip形式のファイルとして読み取れません"
ENCRYPTED = "暗号化されたエントリ"
METHOD = "圧縮形式"
DUPLICATE = "同じ名前のエントリ"
CHECKSUM = "チェックサムが一致しません。ファイルが破損しています"
TOO_MANY = "エントリの数が上限(4999)を超えています"
LARGER_THAN_DECLARED = "記録されたサイズより大きく展開されます。ファイルが破損しています"
NAME_TOO_LONG = "エントリ名が長すぎます"
NOT_SUPPORTED = "サポート対象外"
TABLES = "テーブルを範囲に変換"
FOOTER_LOST = "フッターがありません"
WRONG_PASSWORD = "パスワードが一致しませんでした"


def masked_text(xml):
    """Text between <t> and </t> masked character for character, byte lengths kept."""
    out, i = [], 0
    while True:
        start = xml.find("<t>", i)
        if start < 0:
            out.append(xml[i:])
            return "".join(out)
        end = xml.find("</t>", start)
        out.append(xml[i:start + 3])
        for ch in xml[start + 3:end]:
            out.append("*" if ch.isalpha() and ch.isascii() else "9" if ch.isdigit() else
                       "●" if len(ch.encode()) == 3 else ch)
        i = end


def footer(password=PASSWORD, short=False, text=None):
    if text is None:
        if short:
            text = FOOTER_PREFIX + " FILE=N"
        else:
            text = FOOTER_PREFIX + ' HINT="" FILE=N HASH=' + hashlib.sha512(password.encode()).hexdigest()
    return text.encode().ljust(512, b"\0")[:512]


def masked_workbook(backup=None, record=None, **kw):
    """A workbook masked with PASSWORD: masked shared strings, their encrypted backup, the footer."""
    original = rawzip.SHARED_STRINGS.encode()
    if backup is None:
        backup = fuzz_seeds.container(original, PASSWORD.encode(), b"TempsharedStrings.xml")
    entries = rawzip.workbook(**{"xl/sharedStrings.xml": lambda e: setattr(e, "data", masked_text(rawzip.SHARED_STRINGS).encode())})
    entries.append(Entry("xl/BKsharedStrings.xml", backup))
    return rawzip.build(entries, comment=footer(**kw) if record is None else record)


def flip(data, at, bit=0x01):
    b = bytearray(data)
    b[at] ^= bit
    return bytes(b)


def put32(data, at, value):
    b = bytearray(data)
    b[at:at + 4] = struct.pack("<I", value)
    return bytes(b)


def cases():
    good = rawzip.build(rawzip.workbook())
    original = rawzip.SHARED_STRINGS.encode()
    box = fuzz_seeds.container(original, PASSWORD.encode(), b"TempsharedStrings.xml")
    trailer = len(box) - 512

    def shared(change):
        return rawzip.build(rawzip.workbook(**{"xl/sharedStrings.xml": change}))

    yield "good.xlsx", PASSWORD, "masks", "", good
    yield "long-comment.xlsx", PASSWORD, "masks", "", rawzip.build(rawzip.workbook(), comment=b"c" * 65535)
    yield "long-extra-fields.xlsx", PASSWORD, "masks", "", rawzip.build(rawzip.workbook(
        **{"xl/workbook.xml": lambda e: setattr(e, "extra", b"\x99\x99\xfb\xff" + b"\0" * 65531)}))
    # Names that would leave a folder are only names: the package lives in memory.
    yield "traversal-name.xlsx", PASSWORD, "masks", "", rawzip.build(
        rawzip.workbook() + [Entry("../../escaped.txt", "x"), Entry("/tmp/escaped-abs.txt", "y"),
                             Entry("..\\..\\escaped-back.txt", "z")])

    yield "truncated-half.xlsx", PASSWORD, "refused", NOT_A_ZIP, good[:len(good) // 2]
    yield "truncated-tail.xlsx", PASSWORD, "refused", NOT_A_ZIP, good[:-10]
    yield "empty.xlsx", PASSWORD, "refused", NOT_SUPPORTED, b""
    yield "text.xlsx", PASSWORD, "refused", NOT_SUPPORTED, b"name,amount\nsuzuki,100\n"
    yield "encrypted-entry.xlsx", PASSWORD, "refused", ENCRYPTED, shared(lambda e: setattr(e, "flags", 1))
    yield "bzip2-entry.xlsx", PASSWORD, "refused", METHOD, shared(
        lambda e: (setattr(e, "method", 12), setattr(e, "payload", e.data)))
    yield "duplicate-entry.xlsx", PASSWORD, "refused", DUPLICATE, rawzip.build(
        rawzip.workbook() + [Entry("xl/sharedStrings.xml", "<sst/>")])
    yield "bad-crc.xlsx", PASSWORD, "refused", CHECKSUM, shared(lambda e: setattr(e, "crc", 0x12345678))
    yield "local-header-outside.xlsx", PASSWORD, "refused", DAMAGED, shared(lambda e: setattr(e, "offset", 0x7FFFFFF0))
    yield "data-past-end.xlsx", PASSWORD, "refused", DAMAGED, shared(lambda e: setattr(e, "compressed_size", 1 << 20))
    yield "bomb-lying-size.xlsx", PASSWORD, "refused", LARGER_THAN_DECLARED, shared(
        lambda e: (setattr(e, "data", b"\0" * (4 << 20)), setattr(e, "uncompressed_size", 1000),
                   setattr(e, "crc", 0)))
    kernel = Entry("xl/media/k000.bin", os.urandom(80000), uncompressed_size=64 << 20)
    aliases = [Entry("xl/media/k%03d.bin" % i, kernel.data, uncompressed_size=64 << 20, local_header=False,
                     payload=b"") for i in range(1, 40)]
    for a in aliases:
        a.compressed_size = len(rawzip.deflate(kernel.data))
    yield "bomb-overlapping.xlsx", PASSWORD, "refused", SIZE, rawzip.build(rawzip.workbook() + [kernel] + aliases)
    # A few bytes claiming 4 GiB: a damaged header, not a size a larger limit would take.
    yield "bomb-declared-4gib.xlsx", PASSWORD, "refused", DAMAGED, shared(lambda e: setattr(e, "uncompressed_size", 0xFFFFFFFF))
    yield "too-many-entries.xlsx", PASSWORD, "refused", TOO_MANY, rawzip.build(
        rawzip.workbook() + [Entry("xl/media/f%04d.bin" % i, b"", method=0) for i in range(5000)])
    yield "long-entry-name.xlsx", PASSWORD, "refused", NAME_TOO_LONG, rawzip.build(
        rawzip.workbook() + [Entry("xl/" + "n" * 253, "x")])
    # Far longer than any name buffer: once a stack over-read in the entry lister.
    yield "entry-name-1100-bytes.xlsx", PASSWORD, "refused", SIZE, rawzip.build(
        rawzip.workbook() + [Entry("xl/" + "n" * 1097, "x")])
    yield "table-parts.xlsx", PASSWORD, "refused", TABLES, rawzip.build(
        rawzip.workbook() + [Entry("xl/tables/table1.xml", "<table/>")])

    # A compound file whose FAT sectors are listed by one DIFAT sector naming itself.
    cfb = bytearray(8192)
    cfb[0:8] = b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"
    struct.pack_into("<H", cfb, 30, 12)  # 4096-byte sectors
    struct.pack_into("<I", cfb, 44, 1 << 20)
    struct.pack_into("<I", cfb, 72, 1 << 20)
    yield "compound-fat-loop.xlsx", PASSWORD, "refused", NOT_SUPPORTED, bytes(cfb)

    # Masked workbooks: restored with the password, refused when their backup is damaged.
    yield "masked.xlsx", PASSWORD, "restores", "", masked_workbook()
    yield "masked-short-footer.xlsx", PASSWORD, "restores", "", masked_workbook(short=True)
    yield "masked-wrong-password.xlsx", "other", "refused", WRONG_PASSWORD, masked_workbook()
    yield "masked-short-footer-wrong-password.xlsx", "other", "refused", BACKUP_DAMAGED, masked_workbook(short=True)
    yield "backup-truncated.xlsx", PASSWORD, "refused", BACKUP_DAMAGED, masked_workbook(backup=box[:-100])
    yield "backup-block-lost.xlsx", PASSWORD, "refused", BACKUP_DAMAGED, masked_workbook(backup=box[512:])
    yield "backup-bit-flipped.xlsx", PASSWORD, "refused", BACKUP_DAMAGED, masked_workbook(backup=flip(box, 100))
    yield "backup-size-edited.xlsx", PASSWORD, "refused", BACKUP_DAMAGED, masked_workbook(
        backup=put32(box, trailer + 16, len(original) - 1))
    yield "backup-payload-length-edited.xlsx", PASSWORD, "refused", BACKUP_DAMAGED, masked_workbook(
        backup=put32(box, trailer + 12, 1024))
    yield "backup-digest-edited.xlsx", PASSWORD, "refused", BACKUP_DAMAGED, masked_workbook(
        backup=flip(box, trailer + 22, 0xFF))
    yield "backup-not-a-container.xlsx", PASSWORD, "refused", BACKUP_DAMAGED, masked_workbook(backup=b"x" * 1024)

    # Footers: damaged ones never let a masked workbook be masked again.
    yield "footer-damaged.xlsx", PASSWORD, "refused", FOOTER_LOST, masked_workbook(record=b"X" + footer()[1:])
    yield "footer-cut-short.xlsx", PASSWORD, "refused", FOOTER_LOST, masked_workbook(
        record=footer()[:200])
    yield "footer-overlong.xlsx", PASSWORD, "refused", FOOTER_LOST, masked_workbook(record=footer() + b"\0" * 88)
    yield "footer-file-cut-short.xlsx", PASSWORD, "refused", FOOTER_LOST, masked_workbook()[:-212]
    yield "footer-not-zero-padded.xlsx", PASSWORD, "refused", WRONG_PASSWORD, masked_workbook(
        record=(FOOTER_PREFIX + ' HINT="" FILE=N HASH=' + "ab" * 300).encode()[:512])
    yield "footer-prefix-only.xlsx", PASSWORD, "restores", "", masked_workbook(
        record=b"COMPANY=KESTRIL PRODUCT=Hushcel ".ljust(512, b"\0"))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "manifest.tsv"), "w", encoding="utf-8") as manifest:
        for name, password, expected, fragment, data in cases():
            with open(os.path.join(out, name), "wb") as f:
                f.write(data)
            manifest.write("\t".join((name, password, expected, fragment)) + "\n")
    with open(os.path.join(out, "ORIGINAL_SHARED_STRINGS"), "wb") as f:
        f.write(rawzip.SHARED_STRINGS.encode())


if __name__ == "__main__":
    main()
