#!/usr/bin/env python3
"""A labelled set of workbooks for judging the column suggestion, made without looking
at how the suggestion decides.

Each workbook is put together at random (fixed seeds) from column kinds: personal kinds
(names, readings, addresses, buildings and rooms, postal codes, phones, mail, dates of
birth, card, social security and My Number numbers, notes holding phone numbers) in
Japanese and English/US forms, ordinary business columns, and decoys: columns that look
personal by one sign only (a header word over a flag, a phone-shaped part number, a
prefecture alone, company readings, member numbers, "name" of things, restock dates,
plain numbers a spreadsheet program formats its own way). Layouts: a header in row 1, a
title above the header, a group row of merged cells above it, a table off the corner,
an Excel table, no header at all. Some workbooks have several sheets; some are saved
again by LibreOffice. Every column's label is written by the generator itself.

    bench/suggest_set.py OUT_DIR [SEED]   writes the workbooks and OUT_DIR/labels.json

Another SEED gives other workbooks of the same kinds: other columns, layouts and values.

labels.json: {file: {"tags": [...], "sheets": {sheet: {"header_row": N,
"columns": {letter: {"kind": k, "personal": bool}}}}}}.
"""
import datetime
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile

import openpyxl
from openpyxl.styles import Alignment
from openpyxl.utils import get_column_letter
from openpyxl.worksheet.table import Table, TableStyleInfo

REFERENCE = datetime.date(2026, 12, 1)

# ---- made-up people and places (lists of our own) ----

JA_FAMILY = [("高橋", "タカハシ"), ("小野寺", "オノデラ"), ("坂口", "サカグチ"), ("長谷川", "ハセガワ"), ("村上", "ムラカミ"),
             ("近藤", "コンドウ"), ("石井", "イシイ"), ("三浦", "ミウラ"), ("藤原", "フジワラ"), ("岡本", "オカモト"),
             ("松田", "マツダ"), ("中川", "ナカガワ"), ("中野", "ナカノ"), ("原田", "ハラダ"), ("小松", "コマツ"),
             ("竹内", "タケウチ"), ("金子", "カネコ"), ("和田", "ワダ"), ("中山", "ナカヤマ"), ("石田", "イシダ"),
             ("上田", "ウエダ"), ("森田", "モリタ"), ("柴田", "シバタ"), ("酒井", "サカイ"), ("工藤", "クドウ"),
             ("横山", "ヨコヤマ"), ("宮崎", "ミヤザキ"), ("宮本", "ミヤモト"), ("内田", "ウチダ"), ("高木", "タカギ"),
             ("安藤", "アンドウ"), ("谷口", "タニグチ"), ("大野", "オオノ"), ("丸山", "マルヤマ"), ("今井", "イマイ"),
             ("河野", "コウノ"), ("藤井", "フジイ"), ("武田", "タケダ"), ("村田", "ムラタ"), ("上野", "ウエノ"),
             ("杉山", "スギヤマ"), ("増田", "マスダ"), ("菅原", "スガワラ"), ("平野", "ヒラノ"), ("大塚", "オオツカ"),
             ("千葉", "チバ"), ("久保", "クボ"), ("松井", "マツイ"), ("岩崎", "イワサキ"), ("桜井", "サクライ"),
             ("野口", "ノグチ"), ("松尾", "マツオ"), ("菊地", "キクチ"), ("木下", "キノシタ"), ("野村", "ノムラ"),
             ("新井", "アライ"), ("渡部", "ワタナベ"), ("佐野", "サノ"), ("大西", "オオニシ"), ("吉川", "ヨシカワ")]
JA_GIVEN = [("美咲", "ミサキ"), ("陽斗", "ハルト"), ("凛", "リン"), ("大和", "ヤマト"), ("結菜", "ユイナ"),
            ("湊", "ミナト"), ("彩花", "アヤカ"), ("颯太", "ソウタ"), ("美月", "ミヅキ"), ("蒼", "アオイ"),
            ("智子", "トモコ"), ("和夫", "カズオ"), ("裕子", "ユウコ"), ("浩", "ヒロシ"), ("明美", "アケミ"),
            ("修", "オサム"), ("真由美", "マユミ"), ("健一", "ケンイチ"), ("聡", "サトシ"), ("久美子", "クミコ"),
            ("隆", "タカシ"), ("典子", "ノリコ"), ("勝也", "カツヤ"), ("千尋", "チヒロ"), ("翼", "ツバサ"),
            ("ひなた", "ヒナタ"), ("さやか", "サヤカ"), ("亮介", "リョウスケ"), ("奈々", "ナナ"), ("雅人", "マサト")]
JA_PLACES = [("東京都", "品川区東五反田", "03"), ("東京都", "練馬区豊玉北", "03"), ("大阪府", "堺市堺区南瓦町", "072"),
             ("愛知県", "豊田市若宮町", "0565"), ("福岡県", "北九州市小倉北区魚町", "093"),
             ("北海道", "函館市本町", "0138"), ("宮城県", "石巻市穀町", "0225"), ("静岡県", "浜松市中区板屋町", "053"),
             ("神奈川県", "川崎市幸区大宮町", "044"), ("岡山県", "倉敷市阿知", "086"), ("長野県", "松本市中央", "0263"),
             ("熊本県", "熊本市中央区手取本町", "096"), ("新潟県", "長岡市大手通", "0258"), ("沖縄県", "那覇市久茂地", "098")]
JA_BUILDINGS = ["グリーンハイツ", "メゾン桜", "サンライズ第二", "コーポ松風", "パークサイド", "エスポワール",
                "ハイム若葉", "ロイヤルコート", "シャトー緑町", "レジデンス本町"]
JA_COMPANIES = [("株式会社青葉製作所", "カブシキガイシャアオバセイサクショ"), ("有限会社丸三商店", "ユウゲンガイシャマルサンショウテン"),
                ("北斗運輸株式会社", "ホクトウンユカブシキガイシャ"), ("株式会社ミドリ食品", "カブシキガイシャミドリショクヒン"),
                ("東和電機株式会社", "トウワデンキカブシキガイシャ"), ("合同会社ひかり企画", "ゴウドウガイシャヒカリキカク"),
                ("株式会社さくら物流", "カブシキガイシャサクラブツリュウ"), ("日進工業株式会社", "ニッシンコウギョウカブシキガイシャ")]
JA_PRODUCTS = ["ステンレスボルト M6", "LED電球 60W形", "A4コピー用紙", "ゴム手袋 L", "養生テープ", "電源タップ 4口",
               "クリアファイル", "段ボール箱 100サイズ", "乾電池 単3", "ホワイトボードマーカー"]
JA_DEPTS = ["営業一課", "総務課", "経理課", "製造部", "品質管理課", "物流センター"]

EN_FIRST = ["Avery", "Brandon", "Caroline", "Derek", "Elena", "Franklin", "Gloria", "Harold", "Irene", "Jasper",
            "Kendra", "Leonard", "Marisol", "Nathaniel", "Olivia", "Preston", "Quinn", "Rosalind", "Spencer", "Tamara",
            "Ulysses", "Vanessa", "Wesley", "Yolanda", "Zachary", "Margaret", "Thomas", "Rebecca", "Gregory", "Dorothy"]
EN_LAST = ["Abernathy", "Bellamy", "Castillo", "Donnelly", "Eastwood", "Fitzgerald", "Garrison", "Holloway",
           "Iverson", "Jennings", "Kowalski", "Lindqvist", "McAllister", "Nakamura", "O'Brien", "Pemberton",
           "Quintero", "Rutherford", "Sinclair", "Thornton", "Underwood", "Valdez", "Whitaker", "Yamamoto", "Zimmerman",
           "Hughes", "Patel", "Nguyen", "Okafor", "Schmidt"]
US_STREETS = ["Maple Ave", "Oak Street", "Cedar Lane", "Lakeview Dr", "Pine Ridge Rd", "Willow Court", "Sunset Blvd",
              "Elm St", "Harbor Way", "Chestnut Pl", "Meadow Lane", "Birch Road"]
US_CITIES = [("Springfield", "IL", "217"), ("Dayton", "OH", "937"), ("Boise", "ID", "208"), ("Tulsa", "OK", "918"),
             ("Fresno", "CA", "559"), ("Albany", "NY", "518"), ("Savannah", "GA", "912"), ("Madison", "WI", "608"),
             ("Eugene", "OR", "541"), ("Lubbock", "TX", "806")]
UK_TOWNS = [("Leeds", "LS1"), ("Bristol", "BS8"), ("Norwich", "NR2"), ("Cardiff", "CF10"), ("York", "YO1")]
EN_PRODUCTS = ["Widget Pro", "Cable Kit", "Desk Lamp", "Water Bottle", "Notebook A5", "USB Hub", "Chair Mat", "Toner XL"]
EN_DEPTS = ["Sales", "Finance", "Operations", "Support", "Engineering", "Marketing"]
EN_COMPANIES = ["Northwind Traders", "Blue Heron LLC", "Summit Works Inc.", "Riverbend Co.", "Granite Partners"]

# ---- values ----


def hankaku(text):
    full = "アイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワヲンァィゥェォャュョッー　"
    half = "ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾅﾆﾇﾈﾉﾊﾋﾌﾍﾎﾏﾐﾑﾒﾓﾔﾕﾖﾗﾘﾙﾚﾛﾜｦﾝｧｨｩｪｫｬｭｮｯｰ "
    out = []
    for c in text:
        if c in full:
            out.append(half[full.index(c)])
        elif "ガ" <= c <= "ポ" and c not in full:
            base = chr(ord(c) - 1)  # voiced: the plain kana and a mark
            if base in full:
                out.append(half[full.index(base)] + "ﾞ")
            else:
                base = chr(ord(c) - 2)
                out.append(half[full.index(base)] + "ﾟ" if base in full else c)
        else:
            out.append(c)
    return "".join(out)


def hira(text):
    return "".join(chr(ord(c) - 0x60) if "ァ" <= c <= "ヶ" else c for c in text)


def zenkaku(text):
    return "".join(chr(ord(c) + 0xFEE0) if "!" <= c <= "~" else c for c in text)


def luhn_complete(rng, prefix, length):
    digits = [int(c) for c in prefix]
    while len(digits) < length - 1:
        digits.append(rng.randint(0, 9))
    total = 0
    for i, d in enumerate(reversed(digits)):
        d = d * 2 if i % 2 == 0 else d
        total += d - 9 if d > 9 else d
    return "".join(map(str, digits)) + str((10 - total % 10) % 10)


def my_number(rng):
    body = [rng.randint(0, 9) for _ in range(11)]
    # check digit: weights 2..7 from the right, then 2..6 again
    total = sum(d * ((i + 1) + 1 if i < 6 else (i + 1) - 5) for i, d in enumerate(reversed(body)))
    rest = total % 11
    return "".join(map(str, body)) + str(0 if rest <= 1 else 11 - rest)


def birth_day(rng):
    age_days = rng.randint(19 * 365, 88 * 365)
    return REFERENCE - datetime.timedelta(days=age_days)


def ja_phone(rng, area=None):
    area = area or rng.choice(JA_PLACES)[2]
    rest = 10 - len(area)
    mid = rng.randint(10 ** (rest - 5), 10 ** (rest - 4) - 1)
    return f"{area}-{mid}-{rng.randint(0, 9999):04d}"


def ja_mobile(rng):
    return f"0{rng.choice('789')}0-{rng.randint(1000, 9999)}-{rng.randint(0, 9999):04d}"


def us_phone(rng, style):
    _, _, area = rng.choice(US_CITIES)
    ex, line = rng.randint(201, 989), rng.randint(0, 9999)
    return {"paren": f"({area}) {ex}-{line:04d}", "dash": f"{area}-{ex}-{line:04d}", "dot": f"{area}.{ex}.{line:04d}",
            "plus": f"+1 {area} {ex} {line:04d}"}[style]


def uk_phone(rng):
    return rng.choice([f"+44 20 {rng.randint(7000, 8999)} {rng.randint(0, 9999):04d}",
                       f"020 {rng.randint(7000, 8999)} {rng.randint(0, 9999):04d}",
                       f"07{rng.randint(700, 999)} {rng.randint(100000, 999999)}",
                       f"+44 161 {rng.randint(200, 999)} {rng.randint(0, 9999):04d}"])


def intl_phone(rng):
    return rng.choice([f"+49 30 {rng.randint(1000000, 9999999)}", f"+33 1 {rng.randint(10, 99)} {rng.randint(10, 99)} "
                       f"{rng.randint(10, 99)} {rng.randint(10, 99)}", f"+61 2 {rng.randint(1000, 9999)} {rng.randint(1000, 9999)}",
                       f"+81 3-{rng.randint(1000, 9999)}-{rng.randint(1000, 9999)}", us_phone(rng, "plus")])


def uk_postcode(rng):
    town, area = rng.choice(UK_TOWNS)
    return f"{area} {rng.randint(1, 9)}{rng.choice('ABDEFGHJLNPQRSTUWXYZ')}{rng.choice('ABDEFGHJLNPQRSTUWXYZ')}"


def value(kind, rng, i):
    """One value of a column kind; a tuple (value, number format) for formatted cells."""
    fam, giv = rng.choice(JA_FAMILY), rng.choice(JA_GIVEN)
    pref, town, area = rng.choice(JA_PLACES)
    first, last = rng.choice(EN_FIRST), rng.choice(EN_LAST)
    city, state, _ = rng.choice(US_CITIES)
    # -- personal, Japanese
    if kind == "name_ja":
        return f"{fam[0]} {giv[0]}"
    if kind == "name_ja_wide":
        return f"{fam[0]}\u3000{giv[0]}"
    if kind == "name_ja_nospace":
        return fam[0] + giv[0]
    if kind == "kana_full":
        return f"{fam[1]} {giv[1]}"
    if kind == "kana_half":
        return hankaku(f"{fam[1]} {giv[1]}")
    if kind == "kana_hira":
        return hira(f"{fam[1]}\u3000{giv[1]}")
    if kind == "address_ja":
        return f"{pref}{town}{rng.randint(1, 6)}-{rng.randint(1, 30)}-{rng.randint(1, 25)}"
    if kind == "address_ja_town":
        return f"{town}{rng.randint(1, 6)}丁目{rng.randint(1, 30)}番{rng.randint(1, 25)}号"
    if kind == "building":
        return f"{rng.choice(JA_BUILDINGS)} {rng.randint(1, 9)}0{rng.randint(1, 9)}号室" if rng.random() < 0.6 \
            else f"{rng.choice(JA_BUILDINGS)}{rng.choice(['A', 'B', ''])}棟"
    if kind == "room":
        return rng.choice([f"{rng.randint(1, 12)}0{rng.randint(1, 8)}号室", f"{rng.randint(1, 12)}0{rng.randint(1, 8)}"])
    if kind == "postal_ja":
        return f"{rng.randint(1, 999):03d}-{rng.randint(0, 9999):04d}"
    if kind == "postal_mark":
        return f"〒{rng.randint(1, 999):03d}-{rng.randint(0, 9999):04d}"
    if kind == "postal_number":
        return rng.randint(10000, 9999999)
    if kind == "phone_ja":
        return ja_phone(rng, area)
    if kind == "phone_mobile":
        return ja_mobile(rng)
    if kind == "phone_paren":
        a, b, c = ja_phone(rng, area).split("-")
        return f"{a}({b}){c}"
    if kind == "phone_wide":
        return zenkaku(ja_phone(rng, area) if rng.random() < 0.5 else ja_mobile(rng))
    if kind == "phone_plus81":
        return "+81 " + ja_mobile(rng)[1:]
    if kind == "phone_landline_number":  # 03-1234-5678 typed as a number: 312345678
        return int(ja_phone(rng, area).replace("-", ""))
    if kind == "phone_mobile_number":
        return int(ja_mobile(rng).replace("-", ""))
    if kind == "email":
        return f"{rng.choice(['info', 'k.', 'm_', 'user', ''])}{rng.randint(1, 99999)}@{rng.choice(['example.jp', 'mail.example.com', 'example.ne.jp', 'example.org'])}"
    if kind == "birth_date":
        d = birth_day(rng)
        return (datetime.datetime(d.year, d.month, d.day), rng.choice(["yyyy/m/d", "yyyy-mm-dd", "yyyy\"年\"m\"月\"d\"日\""]))
    if kind == "birth_text":
        d = birth_day(rng)
        return f"{d.year}/{d.month:02d}/{d.day:02d}"
    if kind == "birth_wareki":
        d = birth_day(rng)
        if d >= datetime.date(1989, 1, 8):
            return f"平成{d.year - 1988}年{d.month}月{d.day}日"
        return f"昭和{d.year - 1925}年{d.month}月{d.day}日"
    if kind == "note_phone":
        if rng.random() < 0.3:
            return rng.choice(["", "特になし", "DM希望"]) or None
        return rng.choice([f"平日18時以降 {ja_mobile(rng)} に連絡", f"不在時は{ja_phone(rng, area)}（勤務先）",
                           f"携帯 {ja_mobile(rng)}", f"留守電あり {ja_phone(rng, area)}"])
    if kind == "my_number":
        return my_number(rng)
    if kind == "bank_account":
        return f"{rng.randint(0, 9999999):07d}"
    # -- personal, English / US / UK
    if kind == "name_en":
        return f"{first} {last}"
    if kind == "name_en_last_first":
        return f"{last}, {first}"
    if kind == "first_name":
        return first
    if kind == "last_name":
        return last
    if kind == "phone_us":
        return us_phone(rng, rng.choice(["paren", "dash", "dot"]))
    if kind == "phone_us_paren":
        return us_phone(rng, "paren")
    if kind == "phone_uk":
        return uk_phone(rng)
    if kind == "phone_intl":
        return intl_phone(rng)
    if kind == "zip_us":
        return rng.randint(1001, 99950)
    if kind == "zip_plus4":
        return f"{rng.randint(10000, 99950)}-{rng.randint(0, 9999):04d}"
    if kind == "postcode_uk":
        return uk_postcode(rng)
    if kind == "street":
        return f"{rng.randint(10, 9899)} {rng.choice(US_STREETS)}"
    if kind == "address_us":
        return f"{rng.randint(10, 9899)} {rng.choice(US_STREETS)}, {city}, {state} {rng.randint(10000, 99950)}"
    if kind == "address_line2":
        return rng.choice([f"Apt {rng.randint(1, 40)}{rng.choice('ABCD')}", f"Suite {rng.randint(100, 999)}",
                           f"Unit {rng.randint(1, 120)}", None])
    if kind == "email_en":
        return f"{first.lower()}.{last.lower().replace(chr(39), '')}{rng.randint(1, 99)}@example.{rng.choice(['com', 'net', 'org'])}"
    if kind == "dob":
        d = birth_day(rng)
        return (datetime.datetime(d.year, d.month, d.day), rng.choice(["m/d/yyyy", "mm/dd/yyyy", "yyyy-mm-dd"]))
    if kind == "ssn":
        area_no = rng.choice([n for n in range(1, 900) if n != 666])
        return f"{area_no:03d}-{rng.randint(1, 99):02d}-{rng.randint(1, 9999):04d}"
    if kind == "card":
        prefix = rng.choice(["4", "51", "55", "37", "6011"])
        number = luhn_complete(rng, prefix, 15 if prefix == "37" else 16)
        return " ".join(number[k:k + 4] for k in range(0, len(number), 4)) if rng.random() < 0.5 else number
    if kind == "note_phone_en":
        if rng.random() < 0.3:
            return rng.choice(["", "n/a", "VIP"]) or None
        return rng.choice([f"call after 5pm {us_phone(rng, 'dash')}", f"Alt. contact: {us_phone(rng, 'paren')}",
                           f"left voicemail at {us_phone(rng, 'dot')}"])
    # -- not personal
    if kind == "id":
        return f"C{i:05d}"
    if kind == "seq":
        return i
    if kind == "order_no":
        return 2400000 + i * 7
    if kind == "amount":
        return rng.randint(100, 999999)
    if kind == "price":
        return rng.choice([180, 240, 980, 1280, 3500, 12800, 24800, 49800])
    if kind == "qty":
        return rng.randint(1, 50)
    if kind == "order_date":
        d = REFERENCE - datetime.timedelta(days=rng.randint(0, 700))
        return (datetime.datetime(d.year, d.month, d.day), "yyyy/m/d")
    if kind == "contract_end":  # a date span over decades, some in the future
        d = REFERENCE + datetime.timedelta(days=rng.randint(-365 * 30, 365 * 8))
        return (datetime.datetime(d.year, d.month, d.day), "yyyy/m/d")
    if kind == "product_ja":
        return rng.choice(JA_PRODUCTS)
    if kind == "product_en":
        return rng.choice(EN_PRODUCTS)
    if kind == "dept_ja":
        return rng.choice(JA_DEPTS)
    if kind == "dept_en":
        return rng.choice(EN_DEPTS)
    if kind == "company_ja":
        return rng.choice(JA_COMPANIES)[0]
    if kind == "company_en":
        return rng.choice(EN_COMPANIES)
    if kind == "status_ja":
        return rng.choice(["受付", "発送済", "完了", "保留"])
    if kind == "status_en":
        return rng.choice(["Open", "Shipped", "Closed", "On hold"])
    if kind == "note_ja":
        return rng.choice(["", "至急", "再見積", "納期確認中", "単価改定済"]) or None
    if kind == "url":
        return f"https://www.example.com/p/{rng.randint(100, 9999)}"
    if kind == "city_en":
        return city
    if kind == "state_en":
        return state
    if kind == "country":
        return rng.choice(["USA", "Japan", "UK", "Canada", "Germany"])
    if kind == "sku":
        return f"SKU-{rng.randint(10000, 99999)}"
    # -- decoys: personal by one sign only
    if kind == "maker":  # under 製造者 / 委託業者
        return rng.choice(JA_COMPANIES)[0]
    if kind == "target_group":  # under 対象者
        return rng.choice(["全員", "新入社員", "管理職", "一般", "パート"])
    if kind == "flag_yes_no":
        return rng.choice(["有", "無"])
    if kind == "flag_done":
        return rng.choice(["済", "未"])
    if kind == "account_type":
        return rng.choice(["普通", "当座"])
    if kind == "address_class":
        return rng.choice(["自宅", "勤務先", "その他"])
    if kind == "mail_optin":
        return rng.choice(["可", "否"])
    if kind == "part_phone_shape":
        return f"0{rng.randint(1, 9)}-{rng.randint(1000, 9999)}-{rng.randint(1000, 9999)}"
    if kind == "prefecture":
        return pref
    if kind == "company_kana":
        return rng.choice(JA_COMPANIES)[1]
    if kind == "member_no7":
        return rng.randint(1000000, 9999999)
    if kind == "thing_name":
        return rng.choice(["Ocean Pioneer", "Northern Star", "Starter Kit A", "Falcon", "Blue Marlin", "Pricing Master",
                           "Silver Arrow", "Project Nimbus", "Coral Queen", "Basic Kit", "Iron Eagle", "Vendor Master"])
    if kind == "restock_date":
        d = datetime.date(2003, 1, 1) + datetime.timedelta(days=rng.randint(0, 700))
        return (datetime.datetime(d.year, d.month, d.day), "yyyy/m/d")
    if kind == "general_price":  # plain numbers; LibreOffice gives them its own "General"
        return rng.choice([1280, 2980, 15800, 39800, 128000, 2958000])
    raise ValueError(kind)


PERSONAL = {
    "name_ja", "name_ja_wide", "name_ja_nospace", "kana_full", "kana_half", "kana_hira", "address_ja", "address_ja_town",
    "building", "room", "postal_ja", "postal_mark", "postal_number", "phone_ja", "phone_mobile", "phone_paren",
    "phone_wide", "phone_plus81", "phone_landline_number", "phone_mobile_number", "email", "birth_date", "birth_text",
    "birth_wareki", "note_phone", "my_number", "bank_account", "name_en", "name_en_last_first", "first_name",
    "last_name", "phone_us", "phone_us_paren", "phone_uk", "phone_intl", "zip_us", "zip_plus4", "postcode_uk", "street",
    "address_us", "address_line2", "email_en", "dob", "ssn", "card", "note_phone_en",
}
DECOYS = {"maker", "target_group", "flag_yes_no", "flag_done", "account_type", "address_class", "mail_optin",
          "part_phone_shape", "prefecture", "company_kana", "member_no7", "thing_name", "restock_date", "general_price",
          "contract_end"}

# ---- headers, with the variants people type ----

HEADERS = {
    "name_ja": ["氏名", "氏　名", "お名前", "名前", "顧客名", "会員氏名", "契約者氏名", "担当者"],
    "name_ja_wide": ["氏名", "お名前", "氏 名"],
    "name_ja_nospace": ["氏名", "名前", "受取人"],
    "kana_full": ["フリガナ", "氏名（カナ）", "カナ氏名", "ﾌﾘｶﾞﾅ"],
    "kana_half": ["ﾌﾘｶﾞﾅ", "フリガナ", "カナ"],
    "kana_hira": ["ふりがな", "よみがな"],
    "address_ja": ["住所", "ご住所", "住所１", "現住所", "住所（番地まで）"],
    "address_ja_town": ["住所", "住所2", "市区町村・番地"],
    "building": ["建物名", "建物・部屋番号", "マンション名", "住所（建物名）"],
    "room": ["部屋番号", "号室"],
    "postal_ja": ["郵便番号", "〒", "郵便番号（自宅）", "ＺＩＰ"],
    "postal_mark": ["郵便番号", "〒"],
    "postal_number": ["郵便番号", "郵便番号 ", "〒"],
    "phone_ja": ["電話番号", "電話番号（自宅）", "自宅電話", "ＴＥＬ", "電話", "連絡先電話番号"],
    "phone_mobile": ["携帯電話", "携帯番号", "携帯", "連絡先"],
    "phone_paren": ["電話番号", "TEL"],
    "phone_wide": ["電話番号", "ＴＥＬ"],
    "phone_plus81": ["電話番号", "携帯電話"],
    "phone_landline_number": ["自宅電話", "電話番号", "ＴＥＬ（自宅）"],
    "phone_mobile_number": ["携帯番号", "電話番号"],
    "email": ["メールアドレス", "Ｅメール", "E-mail", "メール"],
    "birth_date": ["生年月日", "誕生日", "生まれ", "誕生", "生年月日（西暦）"],
    "birth_text": ["生年月日", "誕生日"],
    "birth_wareki": ["生年月日", "生年月日（和暦）"],
    "note_phone": ["備考", "メモ", "連絡事項"],
    "my_number": ["マイナンバー", "個人番号"],
    "bank_account": ["口座番号", "振込口座"],
    "name_en": ["Name", "Full Name", "Customer Name", "Contact", "Employee", "Client Name", "Customer"],
    "name_en_last_first": ["Name", "Employee Name", "Patient"],
    "first_name": ["First Name", "Given Name", "FirstName"],
    "last_name": ["Last Name", "Surname", "Family Name"],
    "phone_us": ["Phone", "Phone Number", "Home Phone", "Tel.", "Contact Number", "Telephone (Home)"],
    "phone_us_paren": ["Phone", "Mobile", "Cell"],
    "phone_uk": ["Phone", "Telephone", "Mobile No."],
    "phone_intl": ["Phone", "Phone (intl.)", "Contact Phone"],
    "zip_us": ["ZIP", "Zip Code", "ZIP"],
    "zip_plus4": ["ZIP+4", "Zip"],
    "postcode_uk": ["Postcode", "Post Code", "Postal Code"],
    "street": ["Street", "Street Address", "Address Line 1", "Address 1"],
    "address_us": ["Address", "Mailing Address", "Home Address"],
    "address_line2": ["Address Line 2", "Apt/Suite", "Address 2"],
    "email_en": ["Email", "E-mail Address", "Email Address"],
    "dob": ["DOB", "Date of Birth", "Birthday", "Birth Date"],
    "ssn": ["SSN", "Social Security Number", "Social Security No."],
    "card": ["Card Number", "Credit Card", "Card No."],
    "note_phone_en": ["Notes", "Comments", "Remarks"],
    "id": ["顧客ID", "ID", "No."], "seq": ["No.", "#", "連番"], "order_no": ["注文番号", "Order #", "Order No."],
    "amount": ["金額", "Amount", "合計"], "price": ["単価", "Unit Price", "価格"], "qty": ["数量", "Qty", "個数"],
    "order_date": ["受注日", "Order Date", "登録日"], "contract_end": ["契約満了日", "Contract End", "更新日"],
    "product_ja": ["商品名", "品名"], "product_en": ["Product", "Item"], "dept_ja": ["部署", "所属"],
    "dept_en": ["Department", "Team"], "company_ja": ["会社名", "取引先"], "company_en": ["Company", "Account"],
    "status_ja": ["状態", "ステータス"], "status_en": ["Status"], "note_ja": ["備考", "メモ"], "url": ["URL", "Web"],
    "city_en": ["City"], "state_en": ["State"], "country": ["Country"], "sku": ["SKU", "Item Code"],
    "maker": ["製造者", "委託業者", "製造業者"], "target_group": ["対象者", "対象者区分"],
    "flag_yes_no": ["住所変更", "電話番号変更", "氏名変更有無"], "flag_done": ["氏名確認", "住所確認", "本人確認"],
    "account_type": ["口座種別"], "address_class": ["ご住所区分", "住所区分"], "mail_optin": ["メール配信", "DM送付"],
    "part_phone_shape": ["品番", "型番", "部品番号", "Part No."], "prefecture": ["都道府県", "都道府県名"],
    "company_kana": ["会社名カナ", "取引先フリガナ", "会社名（カナ）"], "member_no7": ["会員番号", "会員No"],
    "thing_name": ["Vessel name", "Kit name", "Code name", "Master Name", "Ship Name", "Project Name"],
    "restock_date": ["入荷日", "Restock Date", "最終入荷日"], "general_price": ["価格", "Price", "定価"],
}

# ---- sheets ----

JA_PERSONAL = ["name_ja", "name_ja_wide", "name_ja_nospace", "kana_full", "kana_half", "kana_hira", "address_ja",
               "address_ja_town", "building", "room", "postal_ja", "postal_mark", "postal_number", "phone_ja",
               "phone_mobile", "phone_paren", "phone_wide", "phone_plus81", "phone_landline_number",
               "phone_mobile_number", "email", "birth_date", "birth_text", "birth_wareki", "note_phone", "my_number",
               "bank_account"]
JA_PLAIN = ["id", "seq", "amount", "qty", "order_date", "product_ja", "dept_ja", "company_ja", "status_ja", "note_ja"]
EN_PERSONAL = ["name_en", "name_en_last_first", "first_name", "last_name", "phone_us", "phone_us_paren", "phone_uk",
               "phone_intl", "zip_us", "zip_plus4", "postcode_uk", "street", "address_us", "address_line2", "email_en",
               "dob", "ssn", "card", "note_phone_en"]
EN_PLAIN = ["id", "seq", "amount", "qty", "order_date", "product_en", "dept_en", "company_en", "status_en", "url",
            "city_en", "state_en", "country", "sku"]
JA_DECOYS = ["maker", "target_group", "flag_yes_no", "flag_done", "account_type", "address_class", "mail_optin",
             "part_phone_shape", "prefecture", "company_kana", "member_no7", "restock_date", "contract_end"]
EN_DECOYS = ["thing_name", "restock_date", "part_phone_shape", "contract_end"]


def pick_columns(rng, personal, plain, decoys, n_personal, n_plain, n_decoys):
    kinds = rng.sample(personal, min(n_personal, len(personal))) + rng.sample(plain, n_plain) + \
        rng.sample(decoys, min(n_decoys, len(decoys)))
    # a person's name first, as most lists have it
    rng.shuffle(kinds)
    return kinds


def header_text(kind, rng, language):
    choices = HEADERS[kind]
    if language == "en":
        ascii_choices = [h for h in choices if h.isascii()]
        choices = ascii_choices or choices
    elif language == "ja":
        ja_choices = [h for h in choices if not h.isascii()]
        choices = ja_choices or choices
    return rng.choice(choices)


def write_sheet(ws, kinds, rng, language, layout, rows, title):
    """Writes one table; returns (header_row or 0, {letter: kind})."""
    first_row, first_col = 1, 1
    if layout == "title":  # a title that may hold a header word, a blank row, then the header
        ws.cell(row=1, column=1, value=rng.choice(["都道府県別売上", "顧客住所一覧", "会員名簿（2026年度）", "連絡先一覧"])
                if language == "ja" else rng.choice(["Customer Address List", "Contact list - Q3", "Phone directory"]))
        first_row = 3
    elif layout == "group":  # merged group cells above the header
        words_ja = ["基本情報", "連絡先", "住所情報", "お客様情報", "契約内容", "備考欄"]
        words_en = ["Personal details", "Contact", "Address", "Order", "Other"]
        col = 1
        while col <= len(kinds):
            span = min(rng.randint(2, 4), len(kinds) - col + 1)
            ws.cell(row=1, column=col, value=rng.choice(words_ja if language == "ja" else words_en))
            if span > 1:
                ws.merge_cells(start_row=1, start_column=col, end_row=1, end_column=col + span - 1)
            ws.cell(row=1, column=col).alignment = Alignment(horizontal="center")
            col += span
        first_row = 2
    elif layout == "offset":
        first_row, first_col = 3, 2
    header_row = 0
    if layout != "noheader":
        header_row = first_row
        for j, kind in enumerate(kinds):
            ws.cell(row=first_row, column=first_col + j, value=header_text(kind, rng, language))
        first_row += 1
    for i in range(rows):
        for j, kind in enumerate(kinds):
            v = value(kind, rng, i + 1)
            if v is None:
                continue
            fmt = None
            if isinstance(v, tuple):
                v, fmt = v
            cell = ws.cell(row=first_row + i, column=first_col + j, value=v)
            if fmt:
                cell.number_format = fmt
    if layout == "table" and header_row:
        ref = f"{get_column_letter(first_col)}{header_row}:{get_column_letter(first_col + len(kinds) - 1)}{first_row + rows - 1}"
        table = Table(displayName=f"Table{len(ws.parent.worksheets)}", ref=ref)
        table.tableStyleInfo = TableStyleInfo(name="TableStyleMedium9", showRowStripes=True)
        ws.add_table(table)
    return header_row, {get_column_letter(first_col + j): kind for j, kind in enumerate(kinds)}


def plan(seed=251211):
    """The workbooks of the set: (stem, tags, [(sheet title, language, layout, kinds, rows)])."""
    rng = random.Random(seed)
    books = []
    layouts = ["plain", "plain", "title", "group", "offset", "table"]
    # Japanese customer lists
    for n in range(22):
        layout = layouts[n % len(layouts)]
        kinds = pick_columns(rng, JA_PERSONAL, JA_PLAIN, JA_DECOYS, rng.randint(3, 6), rng.randint(1, 3), rng.randint(0, 2))
        sheets = [("顧客" if n % 2 else "会員名簿", "ja", layout, kinds, rng.randint(25, 250))]
        if n % 3 == 0:  # a second sheet of things, whose letters must not be masked
            sheets.append(("商品", "ja", "plain", pick_columns(rng, [], JA_PLAIN + ["general_price"], ["part_phone_shape", "restock_date", "maker", "company_kana"], 0, 3, 2), rng.randint(20, 80)))
        if n % 5 == 1:
            sheets.append(("担当者", "ja", "plain", ["seq", "name_ja_nospace", "dept_ja", "phone_mobile"], rng.randint(8, 30)))
        books.append((f"ja_{n:02d}", ["ja", layout], sheets))
    # English / US / UK lists
    for n in range(22):
        layout = layouts[(n + 2) % len(layouts)]
        kinds = pick_columns(rng, EN_PERSONAL, EN_PLAIN, EN_DECOYS, rng.randint(3, 6), rng.randint(1, 3), rng.randint(0, 1))
        sheets = [("Customers" if n % 2 else "Contacts", "en", layout, kinds, rng.randint(25, 250))]
        if n % 3 == 1:
            sheets.append(("Products", "en", "plain", pick_columns(rng, [], EN_PLAIN + ["general_price"], ["thing_name", "part_phone_shape", "restock_date"], 0, 3, 2), rng.randint(20, 80)))
        if n % 4 == 0:
            sheets.append(("Staff", "en", "plain", ["id", "name_en", "dept_en", "phone_us", "email_en"], rng.randint(8, 40)))
        books.append((f"en_{n:02d}", ["en", layout], sheets))
    # no header at all: the values alone
    for n in range(8):
        language = "ja" if n % 2 == 0 else "en"
        personal = [k for k in (JA_PERSONAL if language == "ja" else EN_PERSONAL)
                    if k not in ("building", "room", "bank_account", "my_number", "first_name", "last_name",
                                 "address_line2", "zip_us", "postal_number", "note_phone", "note_phone_en",
                                 "phone_landline_number", "card")]
        kinds = pick_columns(rng, personal, JA_PLAIN if language == "ja" else EN_PLAIN, [], rng.randint(3, 5), 2, 0)
        books.append((f"noheader_{n}", [language, "noheader"], [("Sheet1", language, "noheader", kinds, rng.randint(30, 200))]))
    # decoy-heavy workbooks: inventories, schedules, fleets; few or no personal columns
    decoy_books = [
        ("decoy_inventory", "ja", ["id", "product_ja", "part_phone_shape", "maker", "restock_date", "qty", "general_price"]),
        ("decoy_flags", "ja", ["id", "name_ja", "flag_yes_no", "flag_done", "account_type", "address_class", "mail_optin"]),
        ("decoy_targets", "ja", ["seq", "target_group", "maker", "prefecture", "amount", "company_kana"]),
        ("decoy_members", "ja", ["member_no7", "name_ja", "prefecture", "contract_end", "status_ja"]),
        ("decoy_fleet", "en", ["id", "thing_name", "country", "restock_date", "amount"]),
        ("decoy_kits", "en", ["sku", "thing_name", "part_phone_shape", "general_price", "qty"]),
        ("decoy_suppliers", "ja", ["id", "company_ja", "company_kana", "prefecture", "part_phone_shape", "member_no7"]),
        ("decoy_mixed", "en", ["id", "name_en", "thing_name", "restock_date", "contract_end", "status_en"]),
    ]
    for stem, language, kinds in decoy_books:
        books.append((stem, [language, "decoy"], [("在庫" if language == "ja" else "Inventory", language,
                                                     rng.choice(["plain", "title", "group"]), kinds, rng.randint(30, 150))]))
    # a few small lists: twelve rows or fewer
    books.append(("small_ja", ["ja", "small"], [("少数", "ja", "plain", ["name_ja", "phone_mobile", "email", "amount"], 9)]))
    books.append(("small_en", ["en", "small"], [("Few", "en", "plain", ["name_en", "phone_us", "ssn", "amount"], 7)]))
    return books


def write(folder, libreoffice=True, seed=251211):
    os.makedirs(folder, exist_ok=True)
    books = plan(seed)
    labels = {}
    lo_every = 7  # every seventh workbook is saved again by LibreOffice
    to_convert = []
    for index, (stem, tags, sheets) in enumerate(books):
        rng = random.Random(seed * 1000 + index)
        wb = openpyxl.Workbook()
        wb.remove(wb.active)
        entry = {"tags": list(tags), "sheets": {}}
        if len(sheets) > 1:
            entry["tags"].append("multi")
        for title, language, layout, kinds, rows in sheets:
            ws = wb.create_sheet(title)
            header_row, columns = write_sheet(ws, kinds, rng, language, layout, rows, title)
            entry["sheets"][title] = {"header_row": header_row, "columns": {
                letter: {"kind": kind, "personal": kind in PERSONAL} for letter, kind in columns.items()}}
        name = stem + ".xlsx"
        path = os.path.join(folder, name)
        wb.save(path)
        if libreoffice and index % lo_every == 3:
            entry["tags"].append("libreoffice")
            to_convert.append(path)
        labels[name] = entry
    if to_convert:
        resave_with_libreoffice(to_convert, folder)
    with open(os.path.join(folder, "labels.json"), "w", encoding="utf-8") as f:
        json.dump(labels, f, ensure_ascii=False, indent=1)
    return labels


def resave_with_libreoffice(paths, folder):
    soffice = shutil.which("soffice")
    if not soffice:
        sys.exit("suggest_set: LibreOffice (soffice) is needed: apt-get install -y libreoffice-calc")
    with tempfile.TemporaryDirectory() as out, tempfile.TemporaryDirectory() as profile:
        subprocess.run([soffice, f"-env:UserInstallation=file://{profile}", "--headless", "--convert-to", "xlsx",
                        "--outdir", out, *paths], check=True, capture_output=True, timeout=600)
        for p in paths:
            converted = os.path.join(out, os.path.basename(p))
            if not os.path.exists(converted):
                sys.exit(f"suggest_set: LibreOffice did not convert {p}")
            shutil.move(converted, os.path.join(folder, os.path.basename(p)))


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    labels = write(sys.argv[1], seed=int(sys.argv[2]) if len(sys.argv) == 3 else 251211)
    print(f"{len(labels)} workbooks in {sys.argv[1]}")
