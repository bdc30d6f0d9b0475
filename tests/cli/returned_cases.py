"""A masked copy that comes back without its backups, and a copy sent out without any.

returned_cases.py HUSHCEL DIR openpyxl
    Makes a small list in DIR, masks it, loads and saves the masked copy with openpyxl (which
    drops our backups and the zip comment) and checks what each command does with it, and
    that it is refused as the source of restore --from.
returned_cases.py HUSHCEL DIR libreoffice FIXTURES
    The same with the committed files of FIXTURES: the masked copy that was kept
    (●book.xlsx) and what LibreOffice saved of it (returned.xlsx); see `make`.
returned_cases.py HUSHCEL DIR make FIXTURES
    Makes those files again: the list, masked with HUSHCEL, opened and saved by LibreOffice
    (soffice --headless --convert-to xlsx).
returned_cases.py HUSHCEL DIR no-backup
    Masks a copy to send out (mask --no-backup) and checks that it holds nothing of the
    original, that inspect says it has no backup, that it is never masked again, names
    --from when restored, and is restored from the original, also after the other side
    edited it.
returned_cases.py HUSHCEL DIR short-list
    The same with a list of eight rows and one masked column, saved under another name.
returned_cases.py HUSHCEL DIR real-list
    A real list with a few "●●●" cells and a name beginning with ● is masked as any other.
Exit 0 when all holds; each problem is printed.
"""
import json
import os
import shutil
import subprocess
import sys
import zipfile

import openpyxl

PASSWORD = "returned case pw"
COLUMNS = "B,C"
NAMES = ["山田 太郎", "佐藤 花子", "Tom Lee", "鈴木 一郎", "Ann Kay", "田中 美咲", "Bob Day", "高橋 健",
         "Kim Roe", "伊藤 陽菜", "Sam Ray", "渡辺 直樹"]


def make_original(path, notes=None):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Customers"
    ws.append(("ID", "Name", "Mail", "City", "Note"))
    cities = ["Tokyo", "Osaka", "Nagoya", "Kobe"]
    for i, name in enumerate(NAMES):
        mail = "%s.%d@example.jp" % (name.split()[-1].lower() if name.isascii() else "user", i)
        ws.append(("C%03d" % (i + 1), name, mail, cities[i % 4], notes[i] if notes else None))
    wb.save(path)


def run(hushcel, args, cwd, lang="C"):
    env = dict(os.environ, HUSHCEL_PASSWORD=PASSWORD, LANG=lang, HOME=cwd, XDG_CONFIG_HOME=cwd)
    env.pop("LC_ALL", None)
    return subprocess.run([hushcel] + args, cwd=cwd, env=env, capture_output=True, text=True)


def values(path):
    wb = openpyxl.load_workbook(path)
    return {ws.title: {c.coordinate: c.value for row in ws.iter_rows() for c in row if c.value is not None}
            for ws in wb}


class Check:
    def __init__(self):
        self.problems = []

    def that(self, ok, text):
        if not ok:
            self.problems.append(text)
        return ok

    def kind(self, r, kind, status, words=()):
        """The run `r` (with --json) ended with `status` and one object of `kind`."""
        try:
            out = json.loads(r.stdout.strip().splitlines()[-1])
        except (ValueError, IndexError):
            self.problems.append("no JSON: %r %r" % (r.stdout, r.stderr))
            return
        self.that(r.returncode == status, "exit %d, expected %d: %s" % (r.returncode, status, out))
        self.that(out.get("kind") == kind, "kind %r, expected %r" % (out.get("kind"), kind))
        for w in words:
            self.that(w in out.get("message", ""), "%r not in %r" % (w, out.get("message")))

    def done(self):
        for p in self.problems:
            print(p)
        return 1 if self.problems else 0


def mask(hushcel, d, extra=()):
    r = run(hushcel, ["mask", "--columns", COLUMNS] + list(extra) + ["book.xlsx"], d)
    if r.returncode != 0:
        sys.exit("mask failed: %s %s" % (r.stdout, r.stderr))


def check_returned(hushcel, d, kept, returned):
    """What each command does with `returned`, a masked copy that lost its backups."""
    c = Check()
    before = open(os.path.join(d, returned), "rb").read()
    c.kind(run(hushcel, ["--json", returned], d), "backups-lost", 1, ("--from", "KEPT"))
    c.kind(run(hushcel, ["--json", "mask", returned], d), "usage", 2, ("--from", "--force"))
    c.kind(run(hushcel, ["--json", "restore", returned], d), "backups-lost", 1, ("--from",))
    # The other language says the same.
    c.kind(run(hushcel, ["--json", "restore", returned], d, "ja_JP.UTF-8"), "backups-lost", 1,
           ("--from", "バックアップ"))
    c.kind(run(hushcel, ["--json", returned], d, "ja_JP.UTF-8"), "backups-lost", 1, ("--from", "マスク"))
    c.that(open(os.path.join(d, returned), "rb").read() == before, "the returned workbook changed")
    c.that(not os.path.exists(os.path.join(d, "●" + returned)), "masked again without --force")
    # The returned copy is no source: it holds masked text only. Both languages say which
    # file to give.
    shutil.copy(os.path.join(d, returned), os.path.join(d, "source.xlsx"))
    c.kind(run(hushcel, ["--json", "restore", "--from", "source.xlsx", returned], d), "backups-lost", 1,
           ("source.xlsx", "--from", "kept", "original"))
    c.kind(run(hushcel, ["--json", "restore", "--from", "source.xlsx", returned], d, "ja_JP.UTF-8"), "backups-lost", 1,
           ("source.xlsx", "--from", "元のブック"))
    c.that(not os.path.exists(os.path.join(d, "〇" + returned)), "restored from a source without originals")
    # The kept copy gives every original back.
    r = run(hushcel, ["--json", "restore", "--from", kept, returned], d)
    c.kind(r, "merged", 0)
    if r.returncode == 0:
        c.that(values(os.path.join(d, "〇" + returned)) == values(os.path.join(d, "book.xlsx")),
               "restore --from did not give the list back")
    # --force masks it anyway, as the user asked.
    c.kind(run(hushcel, ["--json", "mask", "--force", returned], d), "masked", 0)
    return c.done()


def openpyxl_case(hushcel, d):
    make_original(os.path.join(d, "book.xlsx"))
    mask(hushcel, d)
    wb = openpyxl.load_workbook(os.path.join(d, "●book.xlsx"))
    wb.save(os.path.join(d, "returned.xlsx"))
    return check_returned(hushcel, d, "●book.xlsx", "returned.xlsx")


def make_fixtures(hushcel, d, fixtures):
    make_original(os.path.join(d, "book.xlsx"))
    mask(hushcel, d)
    out = os.path.join(d, "lo")
    subprocess.run(["soffice", "--headless", "--convert-to", "xlsx", "--outdir", out, os.path.join(d, "●book.xlsx")],
                   check=True, capture_output=True, env=dict(os.environ, HOME=d))
    os.makedirs(fixtures, exist_ok=True)
    shutil.copy(os.path.join(d, "book.xlsx"), os.path.join(fixtures, "book.xlsx"))
    shutil.copy(os.path.join(d, "●book.xlsx"), os.path.join(fixtures, "●book.xlsx"))
    shutil.copy(os.path.join(out, "●book.xlsx"), os.path.join(fixtures, "returned.xlsx"))
    return 0


def libreoffice_case(hushcel, d, fixtures):
    for name in ("book.xlsx", "●book.xlsx", "returned.xlsx"):
        shutil.copy(os.path.join(fixtures, name), os.path.join(d, name))
    c = Check()
    with zipfile.ZipFile(os.path.join(d, "returned.xlsx")) as z:
        c.that(z.comment == b"" and not any("BK" in n for n in z.namelist()),
               "the fixture is not what LibreOffice saves: %r" % z.namelist())
    return c.done() or check_returned(hushcel, d, "●book.xlsx", "returned.xlsx")


def no_backup_case(hushcel, d):
    c = Check()
    book = os.path.join(d, "book.xlsx")
    make_original(book)
    r = run(hushcel, ["--json", "mask", "--no-backup", "--columns", COLUMNS, "book.xlsx"], d)
    c.kind(r, "masked", 0)
    copy = os.path.join(d, "●book.xlsx")
    with zipfile.ZipFile(book) as z:
        original_names = set(z.namelist())
    with zipfile.ZipFile(copy) as z:
        names = set(z.namelist())
        comment = z.comment.rstrip(b"\0").decode()
        everything = b"".join(z.read(n) for n in names)
    # Only the striped preview and the table of the masked strings (openpyxl writes
    # strings inline) are new: no backup entry of any kind.
    c.that(names - original_names <= {"docProps/thumbnail.jpeg", "xl/sharedStrings.xml"},
           "entries added: %r" % (names - original_names))
    for text in NAMES:
        c.that(text.encode() not in everything, "%r readable in the copy" % text)
    c.that(comment.endswith("HASH=" + "0" * 128 + " BACKUP=NONE"), "footer %r" % comment)

    # inspect says so, in text and JSON and in both languages; the list itself has backups
    # to lose no more than it has a footer.
    for lang, words in (("C", "no backup"), ("ja_JP.UTF-8", "バックアップなし")):
        r = run(hushcel, ["inspect", "●book.xlsx"], d, lang)
        c.that(r.returncode == 0 and words in r.stdout and "--from" in r.stdout and "auth=none" in r.stdout,
               "inspect text %r" % r.stdout)
        r = run(hushcel, ["--json", "inspect", "●book.xlsx"], d, lang)
        c.kind(r, "inspected", 0)
        out = json.loads(r.stdout)
        c.that(out.get("no_backup") is True and words in out.get("note", "") and out.get("backups") == [] and
               out.get("authentication") == "none", "inspect JSON %r" % out)
    r = run(hushcel, ["--json", "inspect", "book.xlsx"], d)
    out = json.loads(r.stdout)
    c.that(out.get("no_backup") is False and out.get("note") == "", "inspect JSON of the list %r" % out)

    c.kind(run(hushcel, ["--json", "mask", "●book.xlsx"], d), "already-masked", 1)
    c.kind(run(hushcel, ["--json", "●book.xlsx"], d), "no-backup", 1, ("--from",))
    c.kind(run(hushcel, ["--json", "restore", "●book.xlsx"], d, "ja_JP.UTF-8"), "no-backup", 1, ("--from", "送付用"))
    c.kind(run(hushcel, ["--json", "restore", "--no-backup", "●book.xlsx"], d), "usage", 2)

    # Straight back, and after the other side sorted the rows and added a column.
    c.kind(run(hushcel, ["--json", "restore", "--columns", COLUMNS, "--from", "book.xlsx", "●book.xlsx"], d),
           "merged", 0)
    c.that(values(os.path.join(d, "〇●book.xlsx")) == values(book), "the copy did not come back as the list")
    for source, target in ((copy, "returned.xlsx"), (book, "expected.xlsx")):
        wb = openpyxl.load_workbook(source)
        ws = wb.active
        rows = sorted(([x.value for x in row] for row in ws.iter_rows(min_row=2)), key=lambda r: r[3] + r[0])
        for i, row in enumerate(rows):
            for k, v in enumerate(row):
                ws.cell(row=i + 2, column=k + 1, value=v)
        ws["F1"] = "Checked"
        wb.save(os.path.join(d, target))
    c.kind(run(hushcel, ["--json", "restore", "--columns", COLUMNS, "--from", "book.xlsx", "returned.xlsx"], d),
           "merged", 0)
    c.that(values(os.path.join(d, "〇returned.xlsx")) == values(os.path.join(d, "expected.xlsx")),
           "the edited copy did not come back as the edited list")
    return c.done()


def short_list_case(hushcel, d):
    """Eight rows, one masked column, saved by openpyxl under another name: nothing but the
    column's masked texts tells, and they are enough."""
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.append(("ID", "Name", "City"))
    for i, name in enumerate(NAMES[:8]):
        ws.append(("C%03d" % i, name, ("Tokyo", "Osaka")[i % 2]))
    wb.save(os.path.join(d, "book.xlsx"))
    r = run(hushcel, ["mask", "--columns", "B", "--keep-header", "book.xlsx"], d)
    if r.returncode != 0:
        sys.exit("mask failed: %s %s" % (r.stdout, r.stderr))
    openpyxl.load_workbook(os.path.join(d, "●book.xlsx")).save(os.path.join(d, "list.xlsx"))
    return check_returned(hushcel, d, "●book.xlsx", "list.xlsx")


def real_list_case(hushcel, d):
    notes = [None] * len(NAMES)
    notes[2] = notes[5] = notes[9] = "●●●"
    make_original(os.path.join(d, "●notes.xlsx"), notes)
    c = Check()
    c.kind(run(hushcel, ["--json", "--columns", COLUMNS, "●notes.xlsx"], d), "masked", 0)
    return c.done()


def main():
    hushcel, d, case = sys.argv[1], sys.argv[2], sys.argv[3]
    if case == "openpyxl":
        return openpyxl_case(hushcel, d)
    if case == "libreoffice":
        return libreoffice_case(hushcel, d, sys.argv[4])
    if case == "make":
        return make_fixtures(hushcel, d, sys.argv[4])
    if case == "no-backup":
        return no_backup_case(hushcel, d)
    if case == "short-list":
        return short_list_case(hushcel, d)
    if case == "real-list":
        return real_list_case(hushcel, d)
    sys.exit("unknown case " + case)


if __name__ == "__main__":
    sys.exit(main())
