"""Workbooks whose inflated or parsed size is far beyond their file size, one per shape of
input the memory budget must hold against: many tiny items, one huge item, many parts,
a large worksheet, a large worksheet of numbers masked with them. Written part by part with streamed deflate, so that none of them is
ever held whole here.

    python3 bench/bomb_shapes.py FOLDER [SHAPE...]     (default: every shape)

Prints one line per workbook: its shape name, file name, the budget it is run under and
the options the masking takes besides.
"""
import os
import sys
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
import rawzip  # noqa: E402
from rawzip import Entry  # noqa: E402

MIB = 1 << 20
HEAD = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"


def streamed(pieces):
    """An entry's deflated payload, CRC and size from an iterator of byte pieces."""
    c = zlib.compressobj(9, zlib.DEFLATED, -15, 9)
    out, crc, size = bytearray(), 0, 0
    for p in pieces:
        out += c.compress(p)
        crc = zlib.crc32(p, crc)
        size += len(p)
    out += c.flush()
    return dict(payload=bytes(out), crc=crc, uncompressed_size=size)


def repeated(unit, count, block=1 << 16):
    """`unit` count times, in pieces of about 4 MiB."""
    per = max(1, (4 * MIB) // len(unit))
    while count > 0:
        n = min(per, count)
        yield unit * n
        count -= n


def shared_strings(items):
    """A shared-string part from an iterator of byte pieces that are whole <si> items."""
    yield (HEAD + '<sst xmlns="%s">' % MAIN).encode()
    yield from items
    yield b"</sst>"


def sheet(rows):
    yield (HEAD + '<worksheet xmlns="%s"><sheetData>' % MAIN).encode()
    yield from rows
    yield b"</sheetData></worksheet>"


def string_rows(count):
    """Rows 1..count, each with cell A<r> naming shared string r - 1."""
    for start in range(0, count, 10000):
        yield b"".join(b'<row r="%d"><c r="A%d" t="s"><v>%d</v></c></row>' % (r + 1, r + 1, r)
                       for r in range(start, min(count, start + 10000)))


def workbook(replace, extra=()):
    """The small workbook with some parts replaced by streamed ones, and extra entries."""
    entries = []
    for name, text in rawzip.workbook_parts():
        if name in replace:
            entries.append(Entry(name, **streamed(replace[name])))
        else:
            entries.append(Entry(name, text))
    entries.extend(extra)
    return entries


def tiny_strings():
    return workbook({"xl/sharedStrings.xml": shared_strings(repeated(b"<si><t>a</t></si>", 5_000_000)),
                     "xl/worksheets/sheet1.xml": sheet(string_rows(3))})


def one_huge_string():
    def item():
        yield b"<si><t>"
        yield from repeated(b"a", 300 * MIB)
        yield b"</t></si>"
    return workbook({"xl/sharedStrings.xml": shared_strings(item()),
                     "xl/worksheets/sheet1.xml": sheet(string_rows(1))})


def many_strings():
    one = b"<si><t>" + b"x" * (MIB - 16) + b"</t></si>"
    return workbook({"xl/sharedStrings.xml": shared_strings(repeated(one, 900)),
                     "xl/worksheets/sheet1.xml": sheet(string_rows(900))})


def many_parts():
    # 999 drawings of 256 KiB of shape text each (the most drawings a workbook may
    # hold), beside the small workbook's parts.
    text = b'<xdr:sp><xdr:txBody><a:p><a:r><a:t>' + b"y" * 1000 + b'</a:t></a:r></a:p></xdr:txBody></xdr:sp>'
    body = (b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<xdr:wsDr '
            b'xmlns:xdr="http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing" '
            b'xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main">' + text * 252 + b"</xdr:wsDr>")
    extra = [Entry("xl/drawings/drawing%d.xml" % k, **streamed([body])) for k in range(1, 1000)]
    return workbook({}, extra)


def large_worksheet():
    # 3 million rows of four inline-string cells: about 400 MiB of worksheet.
    def rows():
        for start in range(0, 3_000_000, 20000):
            yield b"".join(
                b'<row r="%d"><c r="A%d" t="inlineStr"><is><t>name</t></is></c><c r="B%d" t="inlineStr">'
                b'<is><t>address</t></is></c><c r="C%d"><v>42</v></c><c r="D%d" t="inlineStr"><is><t>tel</t>'
                b'</is></c></row>' % (r, r, r, r, r) for r in range(start + 1, start + 20001))
    return workbook({"xl/worksheets/sheet1.xml": sheet(rows())})


def number_worksheet():
    # 3 million rows of four number cells, masked with the numbers: about 300 MiB of
    # worksheet rewritten where it stands, and its backup.
    def rows():
        for start in range(0, 3_000_000, 20000):
            yield b"".join(
                b'<row r="%d"><c r="A%d"><v>%d</v></c><c r="B%d"><v>9012345678</v></c><c r="C%d"><v>42.5</v></c>'
                b'<c r="D%d"><v>33309</v></c></row>' % (r, r, 1000000 + r, r, r, r) for r in range(start + 1, start + 20001))
    return workbook({"xl/worksheets/sheet1.xml": sheet(rows())})


# name, maker, budget given with --max-memory ("" for the default), options besides
SHAPES = [
    ("5M tiny strings", tiny_strings, "100M", ""),
    ("one 300 MiB string", one_huge_string, "400M", ""),
    ("900 MiB of strings", many_strings, "", ""),
    ("999 parts of 256 KiB", many_parts, "400M", ""),
    ("large worksheet", large_worksheet, "400M", ""),
    ("large worksheet of numbers", number_worksheet, "400M", "--numbers"),
]


def main():
    folder = sys.argv[1]
    wanted = set(sys.argv[2:])
    for k, (name, make, budget, options) in enumerate(SHAPES):
        if wanted and name not in wanted and str(k) not in wanted:
            continue
        path = os.path.join(folder, "shape%d.xlsx" % k)
        with open(path, "wb") as f:
            f.write(rawzip.build(make()))
        print("%s\t%s\t%s\t%s" % (name, path, budget, options))


if __name__ == "__main__":
    main()
