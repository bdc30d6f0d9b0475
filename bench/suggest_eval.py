#!/usr/bin/env python3
"""How well `hushcel inspect --suggest` finds personal data, and how fast.

Writes a labelled set of generated workbooks (openpyxl; fixed seeds, so the same set
every time) with varied headers (Japanese, English, none) and layouts, each with its
personal-data columns labelled; runs `hushcel inspect --suggest --json` over them and
prints the share of labelled columns found (recall) and the share of suggested columns
that are not labelled (false positives). Then writes a workbook of ROWS rows (raw XML,
shared and inline strings, numbers and dates) and times the suggestion on it, against
two peers measured in the same run: the program's start-up (`hushcel --help`) and
inflating the whole workbook (what reading it all would cost at the least).

    bench/suggest_eval.py [--hushcel PATH] [--work DIR] [--rows N] [--keep]

The figures are printed, not checked: they are no test threshold.
"""
import argparse
import datetime
import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile
from xml.sax.saxutils import escape

try:
    import openpyxl
    from openpyxl.utils import get_column_letter
except ImportError:
    sys.exit("suggest_eval: needs openpyxl (scripts/setup installs python3-openpyxl)")

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import suggest_set  # noqa: E402  the labelled set made without the detectors

FAMILY = [("佐藤", "サトウ", "sato"), ("鈴木", "スズキ", "suzuki"), ("高橋", "タカハシ", "takahashi"),
          ("田中", "タナカ", "tanaka"), ("伊藤", "イトウ", "ito"), ("渡辺", "ワタナベ", "watanabe"),
          ("山本", "ヤマモト", "yamamoto"), ("中村", "ナカムラ", "nakamura"), ("小林", "コバヤシ", "kobayashi"),
          ("加藤", "カトウ", "kato"), ("吉田", "ヨシダ", "yoshida"), ("山田", "ヤマダ", "yamada"),
          ("佐々木", "ササキ", "sasaki"), ("山口", "ヤマグチ", "yamaguchi"), ("松本", "マツモト", "matsumoto"),
          ("井上", "イノウエ", "inoue"), ("木村", "キムラ", "kimura"), ("林", "ハヤシ", "hayashi"),
          ("斎藤", "サイトウ", "saito"), ("清水", "シミズ", "shimizu"), ("山崎", "ヤマザキ", "yamazaki"),
          ("森", "モリ", "mori"), ("池田", "イケダ", "ikeda"), ("橋本", "ハシモト", "hashimoto"),
          ("阿部", "アベ", "abe"), ("石川", "イシカワ", "ishikawa"), ("前田", "マエダ", "maeda"),
          ("藤田", "フジタ", "fujita"), ("小川", "オガワ", "ogawa"), ("岡田", "オカダ", "okada")]
GIVEN = [("太郎", "タロウ", "taro"), ("花子", "ハナコ", "hanako"), ("一郎", "イチロウ", "ichiro"),
         ("美咲", "ミサキ", "misaki"), ("健太", "ケンタ", "kenta"), ("陽菜", "ヒナ", "hina"),
         ("翔太", "ショウタ", "shota"), ("結衣", "ユイ", "yui"), ("大輔", "ダイスケ", "daisuke"),
         ("さくら", "サクラ", "sakura"), ("直樹", "ナオキ", "naoki"), ("愛子", "アイコ", "aiko"),
         ("蓮", "レン", "ren"), ("葵", "アオイ", "aoi"), ("悠真", "ユウマ", "yuma"), ("芽依", "メイ", "mei"),
         ("拓也", "タクヤ", "takuya"), ("由美", "ユミ", "yumi"), ("誠", "マコト", "makoto"), ("恵子", "ケイコ", "keiko")]
PLACES = [("東京都", "新宿区西新宿", "03"), ("東京都", "世田谷区三軒茶屋", "03"), ("大阪府", "大阪市北区梅田", "06"),
          ("愛知県", "名古屋市中区栄", "052"), ("福岡県", "福岡市博多区博多駅前", "092"),
          ("北海道", "札幌市中央区大通西", "011"), ("宮城県", "仙台市青葉区一番町", "022"),
          ("京都府", "京都市下京区四条通", "075"), ("神奈川県", "横浜市西区みなとみらい", "045"),
          ("広島県", "広島市中区紙屋町", "082"), ("埼玉県", "さいたま市浦和区高砂", "048"),
          ("千葉県", "千葉市中央区富士見", "043"), ("兵庫県", "神戸市中央区三宮町", "078")]
EN_FIRST = ["James", "Mary", "John", "Patricia", "Robert", "Jennifer", "Michael", "Linda", "David", "Susan",
            "Emma", "Oliver", "Sophie", "Lucas", "Hannah", "Noah"]
EN_LAST = ["Smith", "Johnson", "Brown", "Taylor", "Miller", "Wilson", "Moore", "Clark", "Walker", "Young",
           "King", "Wright", "Scott", "Green", "Baker", "Adams"]
PRODUCTS = ["コーヒー", "ノート", "ボールペン", "プリンター", "マウス", "キーボード", "モニター", "ケーブル"]
DEPARTMENTS = ["営業部", "総務部", "経理部", "開発部", "人事部"]
COMPANIES = ["株式会社サンプル", "有限会社テスト商事", "合同会社見本", "株式会社例示工業", "サンプル物産株式会社"]
NOTES = ["", "", "", "要連絡", "DM不要", "VIP", "住所変更あり", "電話は平日のみ", "再送済み"]

# ---- one value of each kind ----


def person(rng):
    return rng.choice(FAMILY), rng.choice(GIVEN)


def half_kana(text):
    full = "アイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワヲンァィゥェォャュョッー "
    half = "ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾅﾆﾇﾈﾉﾊﾋﾌﾍﾎﾏﾐﾑﾒﾓﾔﾕﾖﾗﾘﾙﾚﾛﾜｦﾝｧｨｩｪｫｬｭｮｯｰ "
    voiced = {"ガ": "ｶﾞ", "ギ": "ｷﾞ", "グ": "ｸﾞ", "ゲ": "ｹﾞ", "ゴ": "ｺﾞ", "ザ": "ｻﾞ", "ジ": "ｼﾞ", "ズ": "ｽﾞ",
              "ゼ": "ｾﾞ", "ゾ": "ｿﾞ", "ダ": "ﾀﾞ", "ヂ": "ﾁﾞ", "ヅ": "ﾂﾞ", "デ": "ﾃﾞ", "ド": "ﾄﾞ", "バ": "ﾊﾞ",
              "ビ": "ﾋﾞ", "ブ": "ﾌﾞ", "ベ": "ﾍﾞ", "ボ": "ﾎﾞ", "パ": "ﾊﾟ", "ピ": "ﾋﾟ", "プ": "ﾌﾟ", "ペ": "ﾍﾟ",
              "ポ": "ﾎﾟ"}
    return "".join(voiced.get(c) or (half[full.index(c)] if c in full else c) for c in text)


def to_hiragana(text):
    return "".join(chr(ord(c) - 0x60) if "ァ" <= c <= "ヶ" else c for c in text)


def full_width(text):
    return "".join(chr(ord(c) + 0xFEE0) if "!" <= c <= "~" else c for c in text)


def phone(rng, style):
    pref, town, area = rng.choice(PLACES)
    mobile = f"0{rng.choice('789')}0-{rng.randint(1000, 9999)}-{rng.randint(1000, 9999)}"
    rest = 10 - len(area)
    local = f"{area}-{rng.randint(10 ** (rest - 5), 10 ** (rest - 4) - 1)}-{rng.randint(1000, 9999)}"
    if style == "mobile":
        return mobile
    if style == "mixed":
        return mobile if rng.random() < 0.5 else local
    if style == "paren":
        a, b, c = local.split("-")
        return f"({a}){b}-{c}"
    if style == "fullwidth":
        return full_width(mobile if rng.random() < 0.5 else local)
    if style == "intl":
        return "+81-" + mobile[1:]
    if style == "number":  # a mobile number typed into a number cell: the zero is gone
        return int(mobile.replace("-", ""))
    return local


def postal(rng, style):
    a, b = rng.randint(1, 999), rng.randint(0, 9999)
    if style == "mark":
        return f"〒{a:03d}-{b:04d}"
    if style == "number":
        return a * 10000 + b
    return f"{a:03d}-{b:04d}"


def address(rng, style):
    pref, town, _ = rng.choice(PLACES)
    tail = f"{rng.randint(1, 5)}-{rng.randint(1, 30)}-{rng.randint(1, 20)}"
    if style == "no_prefecture":
        return f"{town}{tail}"
    if style == "english":
        return f"{tail} {rng.choice(['Shiba', 'Umeda', 'Sakae', 'Tenjin'])}, {rng.choice(['Minato-ku', 'Kita-ku', 'Naka-ku'])}, Tokyo"
    return f"{pref}{town}{tail}"


def birth(rng, style):
    d = datetime.date(1940, 1, 1) + datetime.timedelta(days=rng.randint(0, 365 * 65))
    if style == "text":
        return f"{d.year}/{d.month}/{d.day}"
    if style == "wareki":
        if d >= datetime.date(1989, 1, 8):
            return f"平成{d.year - 1988}年{d.month}月{d.day}日"
        return f"昭和{d.year - 1925}年{d.month}月{d.day}日"
    return datetime.datetime(d.year, d.month, d.day)


# Column kinds: (label, personal?, value maker). The label is only for the manifest.
def make_value(kind, rng, i):
    fam, giv = person(rng)
    k, _, style = kind.partition(":")
    if k == "name":
        return fam[0] + ("" if style == "nospace" else ("\u3000" if style == "wide" else " ")) + giv[0]
    if k == "kana":
        text = fam[1] + " " + giv[1]
        return half_kana(text) if style == "half" else to_hiragana(text) if style == "hira" else text
    if k == "name_en":
        return f"{rng.choice(EN_FIRST)} {rng.choice(EN_LAST)}"
    if k == "email":
        return f"{giv[2]}.{fam[2]}{rng.randint(1, 999)}@{rng.choice(['example.jp', 'example.co.jp', 'example.com'])}"
    if k == "phone":
        return phone(rng, style)
    if k == "postal":
        return postal(rng, style)
    if k == "address":
        return address(rng, style)
    if k == "birth":
        return birth(rng, style)
    if k == "bank":
        return f"{rng.randint(0, 9999999):07d}"
    # not personal
    if k == "id":
        return f"C{i:05d}"
    if k == "seq":
        return i
    if k == "order_no":
        return 1000000 + i * 3
    if k == "amount":
        return rng.randint(100, 999999)
    if k == "qty":
        return rng.randint(1, 20)
    if k == "price":
        return round(rng.uniform(10, 5000), 2)
    if k == "product":
        return rng.choice(PRODUCTS)
    if k == "dept":
        return rng.choice(DEPARTMENTS)
    if k == "company":
        return rng.choice(COMPANIES)
    if k == "status":
        return rng.choice(["有効", "無効", "保留"])
    if k == "flag":
        return rng.choice(["可", "否"])
    if k == "order_date":
        d = datetime.date(2023, 1, 1) + datetime.timedelta(days=rng.randint(0, 900))
        return datetime.datetime(d.year, d.month, d.day)
    if k == "since":  # a join date: spread over decades like a birth date
        d = datetime.date(1980, 1, 1) + datetime.timedelta(days=rng.randint(0, 365 * 44))
        return datetime.datetime(d.year, d.month, d.day)
    if k == "note":
        return rng.choice(NOTES) or None
    if k == "code":
        return rng.choice(["A-01", "B-12", "C-07", "D-33"])
    raise ValueError(kind)


PERSONAL = {"name", "kana", "name_en", "email", "phone", "postal", "address", "birth", "bank"}

HEADERS = {
    "ja": {"name": ["氏名", "名前", "お名前", "担当者", "顧客名"], "kana": ["フリガナ", "ふりがな", "カナ氏名", "氏名（カナ）"],
           "name_en": ["氏名（英字）"], "email": ["メールアドレス", "E-mail", "メール"],
           "phone": ["電話番号", "携帯電話", "TEL", "連絡先電話"], "postal": ["郵便番号", "〒"],
           "address": ["住所", "現住所", "所在地"], "birth": ["生年月日", "誕生日"], "bank": ["口座番号"],
           "id": ["顧客番号", "会員ID"], "seq": ["No.", "連番"], "order_no": ["受注番号"], "amount": ["金額", "売上"],
           "qty": ["数量"], "price": ["単価"], "product": ["商品名", "品名"], "dept": ["部署名", "部署"],
           "company": ["会社名", "取引先"], "status": ["状態", "ステータス"], "flag": ["メール配信", "DM可否"],
           "order_date": ["注文日", "登録日"], "since": ["入会日", "契約開始日"], "note": ["備考", "メモ"], "code": ["区分", "コード"]},
    "en": {"name": ["Name", "Full Name", "customerName", "Contact Name"], "kana": ["Kana", "Name (Kana)"],
           "name_en": ["Name", "Full name", "Customer Name"], "email": ["Email", "E-mail Address", "mail_address"],
           "phone": ["Phone", "Tel", "Mobile", "Phone Number"], "postal": ["Zip", "Postal Code", "ZIP code"],
           "address": ["Address", "Street Address", "Home Address"], "birth": ["Date of Birth", "Birthday", "DOB"],
           "bank": ["Bank Account Number"], "id": ["Customer ID", "ID"], "seq": ["No", "#"], "order_no": ["Order No"],
           "amount": ["Amount", "Total"], "qty": ["Qty"], "price": ["Unit Price"], "product": ["Product Name", "Item"],
           "dept": ["Department"], "company": ["Company Name", "Company"], "status": ["Status"],
           "flag": ["Newsletter"], "order_date": ["Order Date", "Created"], "since": ["Member Since", "Joined"], "note": ["Note", "Remarks"],
           "code": ["Category", "Code"]},
}

# The labelled set: (file stem, header language or None, layout, sheets: [(title, [kinds])]).
SET = [
    ("ja_customers", "ja", "plain", [("顧客", ["id", "name", "kana", "postal", "address", "phone", "email", "note"])]),
    ("ja_members", "ja", "title", [("会員", ["seq", "name:wide", "kana:half", "birth", "phone:mobile", "email", "since", "status"])]),
    ("ja_orders", "ja", "plain", [("受注", ["order_no", "order_date", "company", "name", "phone:paren", "product", "qty", "price", "amount"])]),
    ("ja_staff", "ja", "offset", [("社員", ["id", "name:nospace", "kana:hira", "dept", "birth:wareki", "postal:mark", "address", "bank"]),
                                 ("部署", ["code", "dept", "qty"])]),
    ("ja_two_sheets", "ja", "plain", [("名簿", ["name", "phone", "email"]), ("請求", ["id", "company", "amount", "order_date", "address", "postal:number"])]),
    ("ja_fullwidth", "ja", "plain", [("連絡先", ["seq", "name", "phone:fullwidth", "email", "flag", "note"])]),
    ("ja_numbers", "ja", "plain", [("一覧", ["id", "name", "phone:number", "postal:number", "birth:text", "amount"])]),
    ("ja_wide", "ja", "plain", [("集計", ["id", "company", "dept", "product", "qty", "price", "amount", "order_date", "status", "code",
                                         "name", "email", "note"])]),
    ("ja_noise", "ja", "title", [("商品", ["code", "product", "qty", "price", "amount", "order_date", "status"])]),
    ("en_customers", "en", "plain", [("Customers", ["id", "name_en", "email", "phone:intl", "address:english", "postal", "note"])]),
    ("en_contacts", "en", "plain", [("Contacts", ["seq", "name_en", "company", "phone", "email", "birth", "since"])]),
    ("en_orders", "en", "offset", [("Orders", ["order_no", "order_date", "name_en", "product", "qty", "amount", "status"])]),
    ("en_hr", "en", "title", [("Staff", ["id", "name", "kana", "birth:text", "address", "phone:mobile", "bank", "dept"])]),
    ("en_mixed", "en", "plain", [("Sheet1", ["id", "name_en", "email"]), ("Sheet2", ["code", "product", "price"])]),
    ("none_customers", None, "plain", [("Sheet1", ["id", "name", "kana", "postal", "address", "phone", "email"])]),
    ("none_contacts", None, "offset", [("Sheet1", ["seq", "name:wide", "phone:mobile", "email", "amount"])]),
    ("none_members", None, "plain", [("Sheet1", ["id", "kana:half", "birth", "postal:mark", "address:no_prefecture", "status"])]),
    ("none_orders", None, "plain", [("Sheet1", ["order_no", "order_date", "product", "qty", "amount", "phone"])]),
    ("none_numbers", None, "plain", [("Sheet1", ["seq", "phone:number", "postal:number", "birth:text", "amount", "code"])]),
    ("none_nospace", None, "plain", [("Sheet1", ["id", "name:nospace", "kana", "email", "dept"])]),
    ("none_products", None, "plain", [("Sheet1", ["code", "product", "qty", "price", "order_date"])]),
    ("none_since", None, "plain", [("Sheet1", ["id", "since", "amount", "status"])]),
    ("mixed_ja_en", "ja", "plain", [("Sheet1", ["id", "name", "name_en", "email", "phone:intl", "order_date"])]),
    ("ja_small", "ja", "plain", [("少数", ["name", "phone", "email", "amount"])]),
    ("en_wareki", "en", "plain", [("People", ["id", "name", "birth:wareki", "phone:paren", "email", "qty"])]),
]


def write_set(folder, rng_seed=20261210):
    manifest = {}
    for index, (stem, language, layout, sheets) in enumerate(SET):
        rng = random.Random(rng_seed + index)
        wb = openpyxl.Workbook()
        wb.remove(wb.active)
        labels = {}
        rows = 12 if stem == "ja_small" else rng.randint(60, 1500)
        for title, kinds in sheets:
            ws = wb.create_sheet(title)
            first_row = 1
            first_col = 1
            if layout == "title":  # a title and an empty row above the header
                ws.cell(row=1, column=1, value=f"{title}一覧" if language == "ja" else f"{title} list")
                first_row = 3
            elif layout == "offset":  # the table starts at C2
                first_row, first_col = 2, 3
            if language:
                for j, kind in enumerate(kinds):
                    base = kind.split(":")[0]
                    ws.cell(row=first_row, column=first_col + j, value=rng.choice(HEADERS[language][base]))
                first_row += 1
            for i in range(rows):
                for j, kind in enumerate(kinds):
                    value = make_value(kind, rng, i + 1)
                    if value is None:
                        continue
                    cell = ws.cell(row=first_row + i, column=first_col + j, value=value)
                    if isinstance(value, datetime.datetime):
                        cell.number_format = "yyyy/m/d"
            labels[title] = {get_column_letter(first_col + j): kind for j, kind in enumerate(kinds)}
        wb.save(os.path.join(folder, stem + ".xlsx"))
        manifest[stem + ".xlsx"] = labels
    with open(os.path.join(folder, "labels.json"), "w", encoding="utf-8") as f:
        json.dump(manifest, f, ensure_ascii=False, indent=1)
    return manifest


def score(hushcel, folder, manifest):
    files = [os.path.join(folder, name) for name in manifest]
    run = subprocess.run([hushcel, "inspect", "--suggest", "--json", *files], capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit(f"suggest_eval: hushcel failed ({run.returncode}): {run.stderr}")
    labelled = found = suggested = wrong = 0
    misses, extras = [], []
    for line in run.stdout.splitlines():
        result = json.loads(line)
        name = os.path.basename(result["input"])
        by_sheet = {s["name"]: {c["column"] for c in s["columns"]} for s in result["suggestion"]["sheets"]}
        for sheet, columns in manifest[name].items():
            got = by_sheet.get(sheet, set())
            for letter, kind in columns.items():
                personal = kind.split(":")[0] in PERSONAL
                if personal:
                    labelled += 1
                    if letter in got:
                        found += 1
                    else:
                        misses.append(f"{name}/{sheet}/{letter} ({kind})")
                if letter in got:
                    suggested += 1
                    if not personal:
                        wrong += 1
                        extras.append(f"{name}/{sheet}/{letter} ({kind})")
    return labelled, found, suggested, wrong, misses, extras


# ---- the independent labelled set ----


def run_suggest(hushcel, files):
    run = subprocess.run([hushcel, "inspect", "--suggest", "--json", *files], capture_output=True, text=True)
    if run.returncode not in (0, 4):
        sys.exit(f"suggest_eval: hushcel failed ({run.returncode}): {run.stderr}")
    return {os.path.basename(r["input"]): r for r in map(json.loads, run.stdout.splitlines())}


def score_set(hushcel, folder, labels):
    """One record per labelled column: (file, tags, sheet, letter, kind, personal, proposed),
    and per sheet with a header whether the suggestion chose the labelled header row."""
    results = run_suggest(hushcel, [os.path.join(folder, name) for name in labels])
    columns, header_rows = [], []
    for name, entry in labels.items():
        sheets = {s["name"]: s for s in results[name]["suggestion"]["sheets"]} if "suggestion" in results.get(name, {}) else {}
        for title, sheet in entry["sheets"].items():
            got = sheets.get(title, {"columns": [], "header_row": 0})
            proposed = {c["column"] for c in got["columns"]}
            if sheet["header_row"]:
                header_rows.append((name, title, sheet["header_row"], got["header_row"]))
            for letter, label in sheet["columns"].items():
                columns.append((name, entry["tags"], title, letter, label["kind"], label["personal"], letter in proposed))
            for letter in proposed - set(sheet["columns"]):
                columns.append((name, entry["tags"], title, letter, "(empty)", False, True))
    return columns, header_rows


def figures(records):
    personal = [r for r in records if r[5]]
    proposed = [r for r in records if r[6]]
    found = sum(1 for r in personal if r[6])
    wrong = sum(1 for r in proposed if not r[5])
    return found, len(personal), wrong, len(proposed)


def print_set_figures(columns, header_rows):
    found, personal, wrong, proposed = figures(columns)
    print(f"  recall:          {found}/{personal} = {100.0 * found / max(personal, 1):.1f} % of personal columns found (goal >= 97 %)")
    print(f"  wrong proposals: {wrong}/{proposed} = {100.0 * wrong / max(proposed, 1):.1f} % of proposals (goal <= 3 %)")
    right = sum(1 for h in header_rows if h[2] == h[3])
    print(f"  header row:      {right}/{len(header_rows)} sheets with a header had it chosen")
    print("  by workbook category:          recall          wrong proposals")
    tags = sorted({t for r in columns for t in r[1]})
    for tag in tags:
        f, p, w, q = figures([r for r in columns if tag in r[1]])
        print(f"    {tag:<16} {f:>4}/{p:<4} {100.0 * f / max(p, 1):5.1f} %   {w:>3}/{q:<4} {100.0 * w / max(q, 1):5.1f} %")
    print("  personal kinds (found/labelled):")
    kinds = sorted({r[4] for r in columns if r[5]})
    print("    " + ", ".join(f"{k} {sum(1 for r in columns if r[4] == k and r[6])}/{sum(1 for r in columns if r[4] == k)}"
                             for k in kinds))
    print("  other kinds (proposed/present):")
    kinds = sorted({r[4] for r in columns if not r[5]})
    print("    " + ", ".join(f"{k} {sum(1 for r in columns if r[4] == k and r[6])}/{sum(1 for r in columns if r[4] == k)}"
                             for k in kinds))
    for r in columns:
        if r[5] and not r[6]:
            print(f"    missed:   {r[0]}/{r[2]}/{r[3]} ({r[4]})")
        elif r[6] and not r[5]:
            print(f"    wrong:    {r[0]}/{r[2]}/{r[3]} ({r[4]})")
    for name, title, want, got in header_rows:
        if want != got:
            print(f"    header:   {name}/{title} row {got} chosen, row {want} labelled")


def shown_cells(path):
    wb = openpyxl.load_workbook(path)
    return {ws.title: {(c.column_letter, c.row): c.value for row in ws.iter_rows() for c in row if c.value is not None}
            for ws in wb.worksheets}


def run_on_terminal(command, cwd, env, password):
    """Runs a shell command on a pseudo-terminal, typing `password` whenever it asks for one;
    returns its exit status and what it wrote."""
    import pty
    pid, fd = pty.fork()
    if pid == 0:
        os.chdir(cwd)
        os.execve("/bin/sh", ["sh", "-c", command], env)
    out, asked = b"", 0
    while True:
        try:
            chunk = os.read(fd, 4096)
        except OSError:
            break
        if not chunk:
            break
        out += chunk
        while out.lower().count(b"password") > asked:
            asked += 1
            os.write(fd, password.encode() + b"\n")
    os.close(fd)
    _, status = os.waitpid(pid, 0)
    return os.waitstatus_to_exitcode(status), out.decode(errors="replace")


def masking_follows(hushcel, folder, labels, work):
    """Runs the command each suggestion prints, as printed, from a shell on a terminal (it
    asks for the password there; with header rows that differ per sheet it is asked for
    again with --write-profile), and counts the workbooks where exactly the labelled
    personal columns changed below the header row, and the header row and every row above
    it (titles, group rows) read as before. A workbook with nothing labelled personal
    counts when nothing is proposed."""
    hushcel = os.path.abspath(hushcel)  # the commands run in another folder
    follow = os.path.join(work, "follow")
    shutil.copytree(folder, follow, dirs_exist_ok=True)
    bin_dir = os.path.join(work, "bin")
    os.makedirs(bin_dir, exist_ok=True)
    link = os.path.join(bin_dir, "hushcel")
    if not os.path.exists(link):
        os.symlink(os.path.abspath(hushcel), link)
    env = dict(os.environ, PATH=bin_dir + os.pathsep + os.environ.get("PATH", ""), LANG="C", LC_ALL="C",
               HOME=work, XDG_CONFIG_HOME=os.path.join(work, "config"))
    env.pop("HUSHCEL_PASSWORD", None)

    def suggest(name, *extra):
        r = subprocess.run([hushcel, "inspect", "--suggest", "--json", *extra, name], cwd=follow, env=env,
                           capture_output=True, text=True)
        return json.loads(r.stdout.splitlines()[0])["suggestion"] if r.stdout else None

    exact, multi_exact, multi, failures = 0, 0, 0, []
    for name, entry in labels.items():
        suggestion = suggest(name)
        any_personal = any(c["personal"] for sheet in entry["sheets"].values() for c in sheet["columns"].values())
        why = ""
        if suggestion is None:
            why = "no suggestion"
        elif not suggestion["columns"]:
            why = "" if not any_personal else "nothing proposed"
        else:
            if suggestion["needs_profile"]:
                suggestion = suggest(name, "--write-profile", os.path.splitext(name)[0] + ".profile")
            command = suggestion["command"]
            status, out = run_on_terminal(command, follow, env, "suggest-eval")
            target = os.path.join(follow, "●" + name)
            if status not in (0, 4) or not os.path.exists(target):
                why = f"the command failed ({status}): {out.strip()[-200:]}"
            else:
                before, after = shown_cells(os.path.join(follow, name)), shown_cells(target)
                for title, sheet in entry["sheets"].items():
                    for (letter, row), v in before[title].items():
                        label = sheet["columns"].get(letter)
                        changed = after[title].get((letter, row)) != v
                        if row <= sheet["header_row"]:
                            if changed:
                                why = why or f"{title}!{letter}{row} above the data masked"
                        elif label is not None and changed != label["personal"]:
                            why = why or f"{title}!{letter} ({label['kind']}) " + ("masked" if changed else "left readable")
        exact += not why
        if why:
            failures.append(f"{name}: {why}")
        if "multi" in entry["tags"]:
            multi += 1
            multi_exact += not why
    print(f"  following the printed command as it is (through sh, the password typed on a terminal):")
    print(f"    exactly the labelled columns masked, header rows and the rows above them readable: "
          f"{exact}/{len(labels)} workbooks = {100.0 * exact / max(len(labels), 1):.1f} % (goal >= 95 %; "
          f"{multi_exact}/{multi} of those with several sheets)")
    for f in failures:
        print(f"    not exact: {f}")


def corpus_proposals(hushcel, corpus, work):
    """Every proposal on the real workbooks, with its header and first values to judge it by."""
    copy = os.path.join(work, "corpus")
    shutil.copytree(corpus, copy, dirs_exist_ok=True)
    files = sorted(os.path.join(d, f) for d, _, fs in os.walk(copy) for f in fs if f.endswith((".xlsx", ".xlsm")))
    run = subprocess.run([hushcel, "inspect", "--suggest", "--json", *files], capture_output=True, text=True)
    lines = []
    for result in map(json.loads, run.stdout.splitlines()):
        for sheet in result.get("suggestion", {}).get("sheets", []):
            for c in sheet["columns"]:
                lines.append((os.path.relpath(result["input"], copy), sheet["name"], sheet["header_row"], c))
    print(f"corpus: {len(files)} workbooks, {len(lines)} proposals (goal: at most 5 wrong; each listed)")
    for path, sheet, header_row, c in lines:
        sample = ""
        try:
            ws = openpyxl.load_workbook(os.path.join(copy, path), read_only=True)[sheet]
            col = openpyxl.utils.column_index_from_string(c["column"])
            values = [r[0] for r in ws.iter_rows(min_col=col, max_col=col, min_row=header_row + 1, max_row=header_row + 40,
                                                  values_only=True) if r and r[0] is not None][:3]
            sample = "; ".join(str(v)[:24] for v in values)
        except Exception:  # a file openpyxl cannot read still gets its line
            pass
        print(f"  {path} / {sheet} / {c['column']}: {c['kind']} (header word {c.get('header_word', '-')!r}) [{sample}]")


# ---- the large workbook, written as raw XML ----

DECL = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
NS = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG = "http://schemas.openxmlformats.org/package/2006/relationships"
CT = "application/vnd.openxmlformats-officedocument"


def write_large(path, rows):
    """ROWS data rows under a header: number ID, shared-string names, readings and mail
    addresses, inline-string phone numbers, number postal codes, date-styled birth dates
    and amounts."""
    rng = random.Random(7)
    strings = []

    def sst(text):
        strings.append(text)
        return len(strings) - 1

    header = ["顧客番号", "氏名", "フリガナ", "電話番号", "メールアドレス", "郵便番号", "生年月日", "金額"]
    parts = [f'{DECL}<worksheet xmlns="{NS}"><sheetData><row r="1">']
    parts += [f'<c r="{chr(65 + j)}1" t="s"><v>{sst(h)}</v></c>' for j, h in enumerate(header)]
    parts.append("</row>")
    for r in range(2, rows + 2):
        fam, giv = person(rng)
        serial = 14000 + rng.randint(0, 24000)
        parts.append(
            f'<row r="{r}"><c r="A{r}"><v>{r - 1}</v></c>'
            f'<c r="B{r}" t="s"><v>{sst(fam[0] + " " + giv[0])}</v></c>'
            f'<c r="C{r}" t="s"><v>{sst(fam[1] + " " + giv[1])}</v></c>'
            f'<c r="D{r}" t="inlineStr"><is><t>090-{rng.randint(1000, 9999)}-{r % 10000:04d}</t></is></c>'
            f'<c r="E{r}" t="s"><v>{sst(f"{giv[2]}.{fam[2]}{r}@example.jp")}</v></c>'
            f'<c r="F{r}"><v>{rng.randint(1000000, 9999999)}</v></c>'
            f'<c r="G{r}" s="1"><v>{serial}</v></c>'
            f'<c r="H{r}"><v>{rng.randint(100, 99999)}</v></c></row>')
    parts.append("</sheetData></worksheet>")
    sheet = "".join(parts)
    shared = (f'{DECL}<sst xmlns="{NS}" count="{len(strings)}" uniqueCount="{len(strings)}">' +
              "".join(f"<si><t>{escape(s)}</t></si>" for s in strings) + "</sst>")
    entries = {
        "[Content_Types].xml": f'{DECL}<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
        '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
        '<Default Extension="xml" ContentType="application/xml"/>'
        f'<Override PartName="/xl/workbook.xml" ContentType="{CT}.spreadsheetml.sheet.main+xml"/>'
        f'<Override PartName="/xl/worksheets/sheet1.xml" ContentType="{CT}.spreadsheetml.worksheet+xml"/>'
        f'<Override PartName="/xl/styles.xml" ContentType="{CT}.spreadsheetml.styles+xml"/>'
        f'<Override PartName="/xl/sharedStrings.xml" ContentType="{CT}.spreadsheetml.sharedStrings+xml"/></Types>',
        "_rels/.rels": f'{DECL}<Relationships xmlns="{PKG}"><Relationship Id="rId1" Type="{REL}/officeDocument" '
        'Target="xl/workbook.xml"/></Relationships>',
        "xl/workbook.xml": f'{DECL}<workbook xmlns="{NS}" xmlns:r="{REL}"><sheets>'
        '<sheet name="顧客" sheetId="1" r:id="rId1"/></sheets></workbook>',
        "xl/_rels/workbook.xml.rels": f'{DECL}<Relationships xmlns="{PKG}">'
        f'<Relationship Id="rId1" Type="{REL}/worksheet" Target="worksheets/sheet1.xml"/>'
        f'<Relationship Id="rId2" Type="{REL}/styles" Target="styles.xml"/>'
        f'<Relationship Id="rId3" Type="{REL}/sharedStrings" Target="sharedStrings.xml"/></Relationships>',
        "xl/styles.xml": f'{DECL}<styleSheet xmlns="{NS}"><fonts count="1"><font/></fonts><fills count="1"><fill/></fills>'
        '<borders count="1"><border/></borders><cellStyleXfs count="1"><xf/></cellStyleXfs>'
        '<cellXfs count="2"><xf numFmtId="0"/><xf numFmtId="14" applyNumberFormat="1"/></cellXfs></styleSheet>',
        "xl/worksheets/sheet1.xml": sheet,
        "xl/sharedStrings.xml": shared,
    }
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, text in entries.items():
            info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, text.encode("utf-8"))


def best_of(runs, action):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        action()
        times.append(time.perf_counter() - start)
    return min(times), statistics.median(times)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--hushcel", default=os.path.join(here, "..", "build-bench", "hushcel"))
    parser.add_argument("--work", help="folder for the workbooks (default: a temporary one)")
    parser.add_argument("--rows", type=int, default=1000000, help="rows of the large workbook (0: no timing)")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    parser.add_argument("--floor", default=os.path.join(here, "..", "build-bench", "bench", "hushcel_floor"),
                        help="the floor of bench/ratio, timed on the large workbook too")
    parser.add_argument("--corpus", default=os.path.join(here, "..", "..", "shared", "corpus"),
                        help="folder of real workbooks whose proposals are listed (skipped when missing)")
    parser.add_argument("--no-mask", action="store_true", help="skip masking the set by the proposals")
    parser.add_argument("--seed", type=int, default=251211, help="another seed gives another set of the same kinds")
    args = parser.parse_args()
    if not os.access(args.hushcel, os.X_OK):
        sys.exit(f"suggest_eval: no hushcel at {args.hushcel} (--hushcel PATH)")

    work = args.work or tempfile.mkdtemp(prefix="suggest-eval-")
    os.makedirs(work, exist_ok=True)
    try:
        independent = os.path.join(work, "independent")
        labels = suggest_set.write(independent, seed=args.seed)
        columns, header_rows = score_set(args.hushcel, independent, labels)
        tagged = lambda t: sum(1 for e in labels.values() if t in e["tags"])
        print(f"independent labelled set (seed {args.seed}): {len(labels)} workbooks ({tagged('en')} English/US, {tagged('multi')} with "
              f"several sheets, {tagged('libreoffice')} saved by LibreOffice, {tagged('noheader')} without a header)")
        print_set_figures(columns, header_rows)
        if not args.no_mask:
            masking_follows(args.hushcel, independent, labels, work)
        if os.path.isdir(args.corpus):
            corpus_proposals(args.hushcel, args.corpus, work)

        labelled_dir = os.path.join(work, "labelled")
        os.makedirs(labelled_dir, exist_ok=True)
        manifest = write_set(labelled_dir)
        # The sample workbook of the repository belongs to the set, with its own labels.
        sample = os.path.join(here, "..", "examples", "sample_customers.xlsx")
        if os.path.exists(sample):
            shutil.copy(sample, os.path.join(labelled_dir, "sample_customers.xlsx"))
            manifest["sample_customers.xlsx"] = {"顧客名簿": {
                "A": "id", "B": "name", "C": "kana", "D": "postal", "E": "address", "F": "phone", "G": "email",
                "H": "note", "I": "amount"}}
        labelled, found, suggested, wrong, misses, extras = score(args.hushcel, labelled_dir, manifest)
        print(f"earlier labelled set: {len(manifest)} workbooks, {labelled} personal-data columns labelled")
        print(f"recall:          {found}/{labelled} = {100.0 * found / labelled:.1f} % of labelled columns found (target >= 95 %)")
        print(f"false positives: {wrong}/{suggested} = {100.0 * wrong / max(suggested, 1):.1f} % of suggested columns not labelled (target <= 5 %)")
        for m in misses:
            print(f"  missed:    {m}")
        for e in extras:
            print(f"  suggested: {e} (not labelled)")

        if args.rows <= 0:
            return
        large = os.path.join(work, f"large-{args.rows}.xlsx")
        if not os.path.exists(large):
            write_large(large, args.rows)
        size = os.path.getsize(large)
        with zipfile.ZipFile(large) as z:
            inflated = sum(i.file_size for i in z.infolist())

        def suggest():
            out = subprocess.run([args.hushcel, "inspect", "--suggest", "--json", large], capture_output=True, text=True)
            if out.returncode != 0:
                sys.exit(f"suggest_eval: hushcel failed on the large workbook: {out.stderr}")
            return out.stdout

        columns = json.loads(suggest())["suggestion"]["columns"]
        startup = best_of(5, lambda: subprocess.run([args.hushcel, "--help"], capture_output=True))
        suggest_time = best_of(5, suggest)

        def inflate_all():
            with zipfile.ZipFile(large) as z:
                for i in z.infolist():
                    with z.open(i) as f:
                        while f.read(1 << 20):
                            pass

        inflate = best_of(2, inflate_all)
        # The floor of bench/ratio: only the work masking the whole workbook cannot avoid.
        floor = None
        if os.access(args.floor, os.X_OK):
            floor_out = os.path.join(work, "floor-masked.xlsx")
            floor = best_of(2, lambda: subprocess.run([args.floor, "mask", large, floor_out], capture_output=True, check=True))
        print(f"large workbook: {args.rows} rows, {size / 1e6:.1f} MB ({inflated / 1e6:.1f} MB inflated); suggested {columns}")
        print(f"  inspect --suggest: best {suggest_time[0] * 1000:.0f} ms, median {suggest_time[1] * 1000:.0f} ms (5 runs)")
        print(f"  peer, start-up only (hushcel --help): best {startup[0] * 1000:.0f} ms -> suggestion = {suggest_time[0] / startup[0]:.1f} x start-up")
        print(f"  peer, inflating every entry once (Python zlib): best {inflate[0] * 1000:.0f} ms -> suggestion = {suggest_time[0] / inflate[0]:.3f} x a full read")
        if floor:
            print(f"  floor, masking the whole workbook (hushcel_floor mask): best {floor[0] * 1000:.0f} ms -> suggestion = {suggest_time[0] / floor[0]:.3f} x floor")
        else:
            print(f"  floor: no {args.floor} (build the target hushcel_floor with -DHUSHCEL_BENCH=ON)")
    finally:
        if not args.work and not args.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
