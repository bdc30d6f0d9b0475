"""Zip archives built record by record, so that any field can be made wrong on purpose.

Used by the fuzz seed generator and the labelled bad-input corpus generator.
"""
import struct
import zlib


class Entry:
    def __init__(self, name, data=b"", method=8, flags=0, extra=b"", payload=None, crc=None,
                 compressed_size=None, uncompressed_size=None, offset=None, local_header=True):
        self.name = name.encode("utf-8") if isinstance(name, str) else name
        self.data = data.encode("utf-8") if isinstance(data, str) else data
        self.method = method
        self.flags = flags
        self.extra = extra
        self.payload = payload
        self.crc = crc
        self.compressed_size = compressed_size
        self.uncompressed_size = uncompressed_size
        self.offset = offset
        self.local_header = local_header


def deflate(data, level=9):
    c = zlib.compressobj(level, zlib.DEFLATED, -15, 9)
    return c.compress(data) + c.flush()


def build(entries, comment=b""):
    out = bytearray()
    central = bytearray()
    last_local = 0
    for e in entries:
        if e.payload is not None:
            payload = e.payload
        elif e.method == 8:
            payload = deflate(e.data)
        else:
            payload = e.data
        crc = zlib.crc32(e.data) if e.crc is None else e.crc
        csize = len(payload) if e.compressed_size is None else e.compressed_size
        usize = len(e.data) if e.uncompressed_size is None else e.uncompressed_size
        if e.local_header:
            last_local = len(out)
            out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, e.flags, e.method, 0, 0x21, crc, csize, usize,
                               len(e.name), len(e.extra))
            out += e.name + e.extra + payload
        offset = last_local if e.offset is None else e.offset
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, e.flags, e.method, 0, 0x21, crc, csize,
                               usize, len(e.name), len(e.extra), 0, 0, 0, 0, offset)
        central += e.name + e.extra
    cd_offset = len(out)
    out += central
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central), cd_offset,
                       len(comment))
    out += comment
    return bytes(out)


CONTENT_TYPES = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
    '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
    '<Default Extension="xml" ContentType="application/xml"/>'
    '<Override PartName="/xl/workbook.xml" '
    'ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
    '<Override PartName="/xl/worksheets/sheet1.xml" '
    'ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
    '<Override PartName="/xl/sharedStrings.xml" '
    'ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>'
    '</Types>')
ROOT_RELS = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
    'officeDocument" Target="xl/workbook.xml"/></Relationships>')
WORKBOOK = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
    'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">'
    '<workbookPr defaultThemeVersion="124226"/><sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets>'
    '</workbook>')
WORKBOOK_RELS = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
    'worksheet" Target="worksheets/sheet1.xml"/>'
    '<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
    'sharedStrings" Target="sharedStrings.xml"/></Relationships>')
SHEET = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>'
    '<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c></row>'
    '<row r="2"><c r="A2" t="s"><v>2</v></c><c r="B2"><v>42</v></c></row>'
    '</sheetData></worksheet>')
SHARED_STRINGS = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="3" uniqueCount="3">'
    '<si><t>Tanaka Taro</t></si><si><t>090-1234-5678</t></si><si><t>山田花子</t></si></sst>')


def workbook_parts():
    """The parts of a small, valid workbook with one sheet of shared strings."""
    return [
        ("[Content_Types].xml", CONTENT_TYPES),
        ("_rels/.rels", ROOT_RELS),
        ("xl/workbook.xml", WORKBOOK),
        ("xl/_rels/workbook.xml.rels", WORKBOOK_RELS),
        ("xl/worksheets/sheet1.xml", SHEET),
        ("xl/sharedStrings.xml", SHARED_STRINGS),
    ]


def workbook(**change):
    """The small workbook as Entry records; `change` maps a part name to a function on its Entry."""
    entries = [Entry(name, text) for name, text in workbook_parts()]
    for e in entries:
        f = change.get(e.name.decode())
        if f:
            f(e)
    return entries
