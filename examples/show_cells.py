#!/usr/bin/env python3
"""Prints the first rows of the first sheet of a workbook, shared strings resolved.

    python3 examples/show_cells.py WORKBOOK [ROWS]
"""
import re
import sys
import zipfile
import xml.etree.ElementTree as ET

NS = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main"}


def cells(path, rows):
    with zipfile.ZipFile(path) as z:
        strings = []
        if "xl/sharedStrings.xml" in z.namelist():
            for si in ET.fromstring(z.read("xl/sharedStrings.xml")).findall("m:si", NS):
                strings.append("".join(t.text or "" for t in si.iter(f"{{{NS['m']}}}t")))
        sheet = ET.fromstring(z.read("xl/worksheets/sheet1.xml"))
    for row in sheet.iter(f"{{{NS['m']}}}row"):
        if int(row.get("r")) > rows:
            break
        values = []
        for c in row.findall("m:c", NS):
            v = c.find("m:v", NS)
            text = "" if v is None else v.text
            values.append(strings[int(text)] if c.get("t") == "s" else text)
        yield values


if __name__ == "__main__":
    for values in cells(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 4):
        print("  " + " | ".join(values))
