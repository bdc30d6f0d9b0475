"""One round trip of a masked workbook through someone else's hands, checked cell by cell.

merge_cases.py HUSHCEL DIR CASE[+original] LEFT ROW_DELETED CHANGED

Builds a small workbook in DIR, masks it with HUSHCEL, applies the edit CASE with openpyxl
to the masked copy (as the other side would) and to the original (what the result should
be), restores the edited copy with `restore --from` (the masked copy, or with +original the
original masked again with the same columns), and compares the output with the
edited original cell by cell. A cell must either show its expected value or still show
what the other side returned (left masked), and then the report must name it. The
report's counts of cells left masked, of masked cells whose row was deleted and of masked
cells the other side changed must be LEFT, ROW_DELETED and CHANGED. Exit 0 when all holds.

merge_cases.py HUSHCEL DIR force
masks the workbook, adds a string to the masked copy while keeping every other part (its
backups and footer too), and checks that `restore --force` writes a workbook openpyxl
reads, with the originals back and the added string in place.
"""
import datetime
import json
import os
import re
import subprocess
import sys
import zipfile

import openpyxl

D = datetime.datetime
# Born (a date) and Points (a number) are masked too: their originals come from the
# worksheet's backup, not from the string table.
CUSTOMERS = [
    ("ID", "Name", "City", "Phone", "Note", "Born", "Points"),
    ("C001", "山田 太郎", "Tokyo", "090-1111-2222", "VIP", D(1985, 3, 12), 1200),
    ("C002", "佐藤 花子", "Osaka", "080-3333-4444", None, D(1990, 7, 1), 35),
    ("C003", "Tom Lee", "Tokyo", "03-1234-5678", "call first", D(1972, 11, 30), 7),
    ("C004", "Ann Kay", "Nagoya", "090-5555-6666", None, D(2001, 1, 5), 410),
    ("C005", "鈴木 一郎", "Osaka", "070-7777-8888", None, D(1968, 9, 9), 88),
    ("C006", "Bob Day", "Tokyo", "090-9999-0000", "late payer", D(1995, 4, 21), 1500),
    ("C007", "田中 美咲", "Sapporo", "080-1212-3434", None, D(1988, 2, 29), 64),
    ("C008", "Kim Roe", "Fukuoka", "090-5656-7878", None, D(1979, 6, 15), 3),
]
MASKED_COLUMNS = "B,D,F,G"
# The last two rows differ only in their masked name, which masks to the same text:
# nothing tells them apart once masked, so both stay masked whatever the edit.
ORDERS = [
    ("Order", "Customer", "Amount", "Contact"),
    ("O-1", "山田 太郎", 1200, "taro@example.jp"),
    ("O-2", "Tom Lee", 800, "tom@example.com"),
    ("O-3", "佐藤 花子", 4300, None),
    ("R", "Amy Fox", 500, None),
    ("R", "Sam Ray", 500, None),
]


def make_original(path):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Customers"
    for row in CUSTOMERS:
        ws.append(row)
    for row in ws.iter_rows(min_row=2, min_col=6, max_col=6):
        row[0].number_format = "yyyy-mm-dd"
    ws2 = wb.create_sheet("Orders")
    for row in ORDERS:
        ws2.append(row)
    wb.save(path)
    # One phone is a text cell of the worksheet (t="str"), as some writers store text.
    with zipfile.ZipFile(path) as z:
        parts = [(i, z.read(i)) for i in z.infolist()]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for info, data in parts:
            if info.filename == "xl/worksheets/sheet1.xml":
                data = data.replace(b'<c r="D2" t="inlineStr"><is><t>090-1111-2222</t></is></c>',
                                    b'<c r="D2" t="str"><v>090-1111-2222</v></c>')
                assert b'<c r="D2" t="str">' in data
            z.writestr(info, data)


# ---- the edits, each applied alike to the original and to the masked copy ----

def new_column(wb):
    ws = wb["Customers"]
    ws.insert_cols(3)
    ws["C1"] = "Segment"
    for r in range(2, ws.max_row + 1):
        ws.cell(row=r, column=3, value="A" if r % 2 else "B")


def edit_unmasked(wb):
    wb["Customers"]["C3"] = "Kyoto"
    wb["Orders"]["C2"] = 1250


def edit_masked(wb):
    wb["Customers"]["B4"] = "Changed Name"


def sort_rows(wb):
    ws = wb["Customers"]
    rows = [[c.value for c in row] for row in ws.iter_rows(min_row=2)]
    rows.sort(key=lambda r: (r[2] or "", r[0] or ""), reverse=True)
    for i, row in enumerate(rows):
        for k, value in enumerate(row):
            ws.cell(row=i + 2, column=k + 1, value=value)


def insert_rows(wb):
    ws = wb["Customers"]
    ws.insert_rows(4, 2)
    for k, value in enumerate(("C101", "New Person", "Kobe", "06-0000-1111", None)):
        ws.cell(row=4, column=k + 1, value=value)
    for k, value in enumerate(("C102", "Other One", "Nara", None, "new")):
        ws.cell(row=5, column=k + 1, value=value)


def delete_rows(wb):
    wb["Customers"].delete_rows(5, 2)


def rename_sheet(wb):
    wb["Customers"].title = "Clients"
    wb.move_sheet("Orders", offset=-1)


def new_sheet(wb):
    first = wb.worksheets[0]
    ws = wb.create_sheet("Summary")
    ws.append(("Total", 7300))
    # A masked text copied as text into a row that no row of the copy is.
    ws.append(("Top customer", first["B2"].value))


def all_together(wb):
    for edit in (new_column, edit_unmasked, sort_rows, insert_rows, delete_rows, rename_sheet, new_sheet):
        edit(wb)


EDITS = {f.__name__: f for f in (new_column, edit_unmasked, edit_masked, sort_rows, insert_rows, delete_rows,
                                 rename_sheet, new_sheet, all_together)}
# openpyxl writes every string inline. These cases then rebuild a shared-string table
# from them, in the order the cells use them, as other spreadsheet programs save.
SHARED = {"shared_strings": None, "all_shared": all_together}

INLINE_CELL = re.compile(r'<c ([^>]*?)t="inlineStr"([^>]*)><is>(.*?)</is></c>', re.S)
WORKBOOK_RELS = "xl/_rels/workbook.xml.rels"
TABLE_TYPE = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings"
TABLE_CONTENT = "application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"


def make_shared(path):
    """Every inline-string cell of the workbook at `path` becomes a shared-string cell."""
    with zipfile.ZipFile(path) as z:
        parts = {n: z.read(n) for n in z.namelist()}
    items = []

    def shared(m):
        if m.group(3) not in items:
            items.append(m.group(3))
        return '<c %st="s"%s><v>%d</v></c>' % (m.group(1), m.group(2), items.index(m.group(3)))

    for name in sorted(parts):
        if name.startswith("xl/worksheets/sheet"):
            parts[name] = INLINE_CELL.sub(shared, parts[name].decode()).encode()
    parts["xl/sharedStrings.xml"] = (
        '<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" uniqueCount="%d">%s</sst>' %
        (len(items), "".join("<si>%s</si>" % i for i in items))).encode()
    parts[WORKBOOK_RELS] = parts[WORKBOOK_RELS].decode().replace(
        "</Relationships>", '<Relationship Id="rIdS" Type="%s" Target="sharedStrings.xml"/></Relationships>' %
        TABLE_TYPE).encode()
    parts["[Content_Types].xml"] = parts["[Content_Types].xml"].decode().replace(
        "</Types>", '<Override PartName="/xl/sharedStrings.xml" ContentType="%s"/></Types>' % TABLE_CONTENT).encode()
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in parts.items():
            z.writestr(name, data)


def edited(source, target, case):
    wb = openpyxl.load_workbook(source)
    edit = EDITS.get(case) or SHARED.get(case)
    if edit:
        edit(wb)
    wb.save(target)
    if case in SHARED:
        make_shared(target)


def values(path):
    wb = openpyxl.load_workbook(path)
    return {ws.title: {c.coordinate: c.value for row in ws.iter_rows() for c in row if c.value is not None}
            for ws in wb}


def run(hushcel, args, cwd):
    env = dict(os.environ, HUSHCEL_PASSWORD="merge case pw", LANG="C", HOME=cwd, XDG_CONFIG_HOME=cwd)
    env.pop("LC_ALL", None)
    return subprocess.run([hushcel] + args, cwd=cwd, env=env, capture_output=True, text=True)


def mask(hushcel, d):
    make_original(os.path.join(d, "book.xlsx"))
    r = run(hushcel, ["mask", "--columns", MASKED_COLUMNS, "book.xlsx"], d)
    if r.returncode != 0:
        sys.exit("mask failed: %s %s" % (r.stdout, r.stderr))


def compare(expected, returned, output):
    """Counts over every cell: masked (returned differs from expected), given back,
    left masked (still as returned), wrong (neither); and the left cells."""
    counts = {"masked": 0, "given_back": 0, "left": 0, "wrong": 0}
    left, wrong = set(), []
    for sheet in expected.keys() | returned.keys() | output.keys():
        e, r, o = expected.get(sheet, {}), returned.get(sheet, {}), output.get(sheet, {})
        for ref in e.keys() | r.keys() | o.keys():
            want, got, came = e.get(ref), o.get(ref), r.get(ref)
            if came != want:
                counts["masked"] += 1
            if got == want:
                counts["given_back"] += came != want
            elif got == came:
                counts["left"] += 1
                left.add((sheet, ref))
            else:
                counts["wrong"] += 1
                wrong.append((sheet, ref, want, got))
    return counts, left, wrong


def merge_case(hushcel, d, case, want_left, want_deleted, want_changed):
    # "CASE+original": the original is the source, masked again with the same columns.
    case, _, source = case.partition("+")
    mask(hushcel, d)
    edited(os.path.join(d, "●book.xlsx"), os.path.join(d, "returned.xlsx"), case)
    edited(os.path.join(d, "book.xlsx"), os.path.join(d, "expected.xlsx"), case)
    source_args = ["--columns", MASKED_COLUMNS, "--from", "book.xlsx"] if source == "original" else ["--from", "●book.xlsx"]
    r = run(hushcel, ["restore", "--json"] + source_args + ["returned.xlsx"], d)
    report = json.loads(r.stdout)
    merge = report.get("merge")
    problems = []
    if merge is None:
        sys.exit("no merge report: %s %s" % (r.stdout, r.stderr))
    if r.returncode != (4 if want_left else 0):
        problems.append("exit status %d" % r.returncode)
    counts, left, wrong = compare(values(os.path.join(d, "expected.xlsx")), values(os.path.join(d, "returned.xlsx")),
                                  values(os.path.join(d, "〇returned.xlsx")))
    listed = {(c["sheet"], c["cell"]) for kind in ("ambiguous", "unmatched") for c in merge["cells"][kind]}
    if wrong:
        problems.append("wrongly given back: %r" % wrong)
    if left != listed:
        problems.append("left masked %r but listed %r" % (sorted(left), sorted(listed)))
    if counts["given_back"] != merge["given_back"]:
        problems.append("given back %d, report says %d" % (counts["given_back"], merge["given_back"]))
    got = (merge["left_masked"], merge["row_deleted"], merge["changed"])
    if got != (want_left, want_deleted, want_changed):
        problems.append("left, row_deleted, changed: %r, expected %r" % (got, (want_left, want_deleted, want_changed)))
    print(json.dumps(dict(counts, case=case)))
    for p in problems:
        print(case + ": " + p)
    return 1 if problems else 0


def force_case(hushcel, d):
    mask(hushcel, d)
    masked = os.path.join(d, "●book.xlsx")
    # A program that keeps parts it does not know: one string more, in a new cell, and
    # the same comment (the footer) on the archive.
    with zipfile.ZipFile(masked) as z:
        comment = z.comment
        parts = [(i, z.read(i)) for i in z.infolist()]
        n = len(re.findall(r"<si>", z.read("xl/sharedStrings.xml").decode()))
    with zipfile.ZipFile(masked, "w", zipfile.ZIP_DEFLATED) as z:
        z.comment = comment
        for info, data in parts:
            if info.filename == "xl/sharedStrings.xml":
                data = data.decode().replace("</sst>", "<si><t>Added Later</t></si></sst>").encode()
            if info.filename == "xl/worksheets/sheet1.xml":
                data = data.decode().replace(
                    "</row></sheetData>", '<c r="H9" t="s"><v>%d</v></c></row></sheetData>' % n, 1).encode()
            z.writestr(info, data)
    r = run(hushcel, ["restore", "--json", "--force", "●book.xlsx"], d)
    if r.returncode != 0:
        sys.exit("restore --force: %d %s %s" % (r.returncode, r.stdout, r.stderr))
    out = values(os.path.join(d, "〇●book.xlsx"))
    want = values(os.path.join(d, "book.xlsx"))
    want["Customers"]["H9"] = "Added Later"
    if out != want:
        sys.exit("restore --force gave %r, expected %r" % (out, want))
    print(r.stdout.strip())
    return 0


def main():
    hushcel, d, case = sys.argv[1], sys.argv[2], sys.argv[3]
    if case == "force":
        return force_case(hushcel, d)
    return merge_case(hushcel, d, case, *map(int, sys.argv[4:7]))


if __name__ == "__main__":
    sys.exit(main())
