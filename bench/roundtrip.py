#!/usr/bin/env python3
"""The round trip of a masked workbook through other programs, counted cell by cell.

  bench/roundtrip.py [--hushcel PATH] [--routes openpyxl,libreoffice,keeps-parts] [WORKBOOK COLUMNS]...

default: examples/sample_customers.xlsx with the columns B,C,E,F,G. Each workbook is masked,
and the masked copy is edited the way the other side would (openpyxl: load, edit, save;
LibreOffice: the same edit, then a headless load and save that rebuilds the string table),
then put back with `restore --from`. A third route edits the masked package in place and
keeps every part it does not know (backups and footer too) and restores it with `restore
--force`. The routes no-backup and no-backup-lo send a copy masked with `--no-backup`
instead, edited with openpyxl (and saved by LibreOffice), and put it back with `restore
--from` the original. The same edit made to the original is what each cell should show. Per
case: masked cells (cells the returned copy shows otherwise than the edited original), given
back, left masked, and wrongly given back (neither what the returned copy showed nor the
original): the goal is 0 wrong everywhere. `recognised` says whether the automatic mode
refuses to mask the returned workbook again (it looks masked and lost its backups).
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

import openpyxl

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "cli"))
from merge_cases import compare, values  # noqa: E402  the cell-by-cell comparison of the tests


def data_sheet(wb):
    return max(wb.worksheets, key=lambda ws: ws.max_row)


def new_column(wb):
    ws = data_sheet(wb)
    ws.insert_cols(2)
    for r in range(1, ws.max_row + 1):
        ws.cell(row=r, column=2, value="added %d" % r)


def edit_unmasked(wb):
    ws = data_sheet(wb)
    for r in (3, 4, 5):
        ws.cell(row=r, column=1, value="%s-edited" % ws.cell(row=r, column=1).value)


def sort_rows(wb):
    # The rows in another order that does not depend on their values, which masking
    # changes: the same order then comes out of the original and of the masked copy.
    ws = data_sheet(wb)
    rows = [[c.value for c in row] for row in ws.iter_rows(min_row=2)]
    rows = rows[1::2][::-1] + rows[0::2]
    for i, row in enumerate(rows):
        for k, value in enumerate(row):
            ws.cell(row=i + 2, column=k + 1, value=value)


def insert_rows(wb):
    ws = data_sheet(wb)
    ws.insert_rows(5, 10)
    for r in range(5, 15):
        for k in range(1, 4):
            ws.cell(row=r, column=k, value="new %d-%d" % (r, k))


def delete_rows(wb):
    data_sheet(wb).delete_rows(20, 10)


def rename_sheet(wb):
    ws = data_sheet(wb)
    ws.title = ws.title[:20] + " (2)"


def new_sheet(wb):
    ws = wb.create_sheet("Added")
    ws.append(("Total", 1234))
    ws.append(("Note", "made elsewhere"))


def all_together(wb):
    for edit in (new_column, edit_unmasked, sort_rows, insert_rows, delete_rows, rename_sheet, new_sheet):
        edit(wb)


EDITS = [("load-save", None), ("new-column", new_column), ("edit-unmasked", edit_unmasked),
         ("sort-rows", sort_rows), ("insert-10-rows", insert_rows), ("delete-10-rows", delete_rows),
         ("rename-sheet", rename_sheet), ("new-sheet", new_sheet), ("all", all_together)]


def run(hushcel, args, cwd):
    env = dict(os.environ, HUSHCEL_PASSWORD="roundtrip bench", LANG="C", HOME=cwd, XDG_CONFIG_HOME=cwd)
    return subprocess.run([hushcel] + args, cwd=cwd, env=env, capture_output=True, text=True)


def edit_with_openpyxl(source, target, edit):
    wb = openpyxl.load_workbook(source)
    if edit:
        edit(wb)
    wb.save(target)


def through_libreoffice(path, work):
    out = os.path.join(work, "lo")
    os.makedirs(out, exist_ok=True)
    subprocess.run(["soffice", "--headless", "-env:UserInstallation=file://" + os.path.join(work, "lo-profile"),
                    "--convert-to", "xlsx", "--outdir", out, path], capture_output=True, check=True)
    shutil.move(os.path.join(out, os.path.basename(path)), path)


def counts_line(route, case, counts, extra=""):
    print("%-11s %-15s masked=%-6d given_back=%-6d left_masked=%-5d wrong=%d%s" %
          (route, case, counts["masked"], counts["given_back"], counts["left"], counts["wrong"], extra))


def merge_route(hushcel, work, book, route, sent, from_args, cases):
    """`sent`: the masked copy that went out; `from_args`: how restore --from finds the
    originals; `cases`: the names of the edits to run."""
    for case, edit in EDITS:
        if case not in cases:
            continue
        returned = os.path.join(work, "returned.xlsx")
        expected = os.path.join(work, "expected.xlsx")
        edit_with_openpyxl(os.path.join(work, sent), returned, edit)
        edit_with_openpyxl(os.path.join(work, book), expected, edit)
        if route in ("libreoffice", "no-backup-lo"):
            through_libreoffice(returned, work)
            through_libreoffice(expected, work)
        out = os.path.join(work, "〇returned.xlsx")
        if os.path.exists(out):
            os.remove(out)
        auto = run(hushcel, ["--json", "--dry-run", "returned.xlsx"], work)
        recognised = '"kind":"backups-lost"' in auto.stdout
        r = run(hushcel, ["restore", "--json"] + from_args + ["returned.xlsx"], work)
        if not os.path.exists(out):
            print("%-11s %-15s restore failed: %s %s" % (route, case, r.stdout.strip(), r.stderr.strip()))
            continue
        merge = json.loads(r.stdout).get("merge", {})
        counts, _, _ = compare(values(expected), values(returned), values(out))
        counts_line(route, case, counts, "  recognised=%s (report: left %s, row deleted %s, changed %s)" %
                    ("yes" if recognised else "no", merge.get("left_masked"), merge.get("row_deleted"),
                     merge.get("changed")))


def keeps_parts_route(hushcel, work, book):
    """Edits the masked package in place, keeping its backups and footer: a string added
    in a new cell, and a masked text replaced by another of the same length."""
    masked = os.path.join(work, "●" + book)
    edited = os.path.join(work, "●kept-" + book)
    with zipfile.ZipFile(masked) as z:
        comment = z.comment
        parts = [(i, z.read(i)) for i in z.infolist()]
        table = z.read("xl/sharedStrings.xml").decode()
    items = re.findall(r"<si>.*?</si>", table, re.S)
    n = len(items)
    added_row = 0
    # The first masked item: its text replaced by as many 'Z' bytes.
    first_masked = next(i for i, item in enumerate(items) if "●" in item or "***" in item)
    typed = re.sub(r"<t([^>]*)>(.*?)</t>", lambda m: "<t%s>%s</t>" % (m.group(1), "Z" * len(m.group(2).encode())),
                   items[first_masked], count=1)
    with zipfile.ZipFile(edited, "w", zipfile.ZIP_DEFLATED) as z:
        z.comment = comment
        for info, data in parts:
            if info.filename == "xl/sharedStrings.xml":
                text = data.decode().replace(items[first_masked], typed, 1)
                data = text.replace("</sst>", "<si><t>added later</t></si></sst>").encode()
            elif info.filename == "xl/worksheets/sheet1.xml":
                text = data.decode()
                last = max(int(r) for r in re.findall(r'<row r="(\d+)"', text))
                data = text.replace("</sheetData>", '<row r="%d"><c r="A%d" t="s"><v>%d</v></c></row></sheetData>' %
                                    (last + 1, last + 1, n), 1).encode()
                added_row = last + 1
            z.writestr(info, data)
    r = run(hushcel, ["restore", "--json", "--force", os.path.basename(edited)], work)
    out = os.path.join(work, "〇" + os.path.basename(edited))
    if not os.path.exists(out):
        print("%-11s %-15s restore failed: %s %s" % ("keeps-parts", "add+same-len", r.stdout.strip(), r.stderr.strip()))
        return
    merge = json.loads(r.stdout).get("merge", {})
    expected_values = values(os.path.join(work, book))
    first = openpyxl.load_workbook(os.path.join(work, book)).worksheets[0].title
    expected_values[first]["A%d" % added_row] = "added later"
    got = values(out)
    returned = values(edited)
    # The typed text is the other side's edit: the expected cell shows it.
    for sheet, cells in returned.items():
        for ref, v in cells.items():
            if isinstance(v, str) and v and set(v) == {"Z"}:
                expected_values[sheet][ref] = v
    counts, _, _ = compare(expected_values, returned, got)
    counts_line("keeps-parts", "add+same-len", counts, "  (report: given back %s, left %s)" %
                (merge.get("given_back"), merge.get("left_masked")))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--hushcel", default=os.path.join(ROOT, "build-test", "hushcel"))
    parser.add_argument("--routes", default="openpyxl,libreoffice,keeps-parts,no-backup,no-backup-lo")
    parser.add_argument("--cases", default=",".join(name for name, _ in EDITS),
                        help="the edits to run, by name (all of them by default)")
    parser.add_argument("pairs", nargs="*")
    a = parser.parse_args()
    pairs = a.pairs or [os.path.join(ROOT, "examples", "sample_customers.xlsx"), "B,C,E,F,G"]
    has_soffice = shutil.which("soffice") is not None
    for path, columns in zip(pairs[::2], pairs[1::2]):
        work = tempfile.mkdtemp()
        try:
            book = os.path.basename(path)
            shutil.copy(path, os.path.join(work, book))
            r = run(a.hushcel, ["mask", "--columns", columns, book], work)
            if r.returncode not in (0, 4):
                print("%s: mask failed: %s" % (book, r.stderr.strip()))
                continue
            print("== %s (columns %s)" % (book, columns))
            routes = a.routes.split(",")
            cases = a.cases.split(",")
            kept = ["--from", "●" + book]
            if "openpyxl" in routes:
                merge_route(a.hushcel, work, book, "openpyxl", "●" + book, kept, cases)
            if "libreoffice" in routes and has_soffice:
                merge_route(a.hushcel, work, book, "libreoffice", "●" + book, kept, cases)
            if "keeps-parts" in routes:
                keeps_parts_route(a.hushcel, work, book)
            if "no-backup" in routes or "no-backup-lo" in routes:
                # The copy to send out, masked beside the kept original in a folder of its own.
                os.makedirs(os.path.join(work, "send"), exist_ok=True)
                shutil.copy(path, os.path.join(work, "send", book))
                r = run(a.hushcel, ["mask", "--no-backup", "--columns", columns, book], os.path.join(work, "send"))
                if r.returncode not in (0, 4):
                    print("%s: mask --no-backup failed: %s" % (book, r.stderr.strip()))
                    continue
                original = ["--columns", columns, "--from", book]
                sent = os.path.join("send", "●" + book)
                if "no-backup" in routes:
                    merge_route(a.hushcel, work, book, "no-backup", sent, original, cases)
                if "no-backup-lo" in routes and has_soffice:
                    merge_route(a.hushcel, work, book, "no-backup-lo", sent, original, cases)
        finally:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
