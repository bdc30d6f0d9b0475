#!/usr/bin/env python3
"""Writes the sample workbook examples/sample_customers.xlsx: a customer list with
Japanese names, kana readings, addresses, phone numbers and mail addresses.

The package is written part by part with zipfile (fixed dates, fixed random seed), so
the same script always gives the same bytes. Everything in it is invented.

    python3 examples/make_sample.py [OUTPUT] [ROWS]
"""
import random
import sys
import zipfile
from xml.sax.saxutils import escape

FAMILY = [("佐藤", "サトウ", "sato"), ("鈴木", "スズキ", "suzuki"), ("高橋", "タカハシ", "takahashi"),
          ("田中", "タナカ", "tanaka"), ("伊藤", "イトウ", "ito"), ("渡辺", "ワタナベ", "watanabe"),
          ("山本", "ヤマモト", "yamamoto"), ("中村", "ナカムラ", "nakamura"), ("小林", "コバヤシ", "kobayashi"),
          ("加藤", "カトウ", "kato"), ("吉田", "ヨシダ", "yoshida"), ("山田", "ヤマダ", "yamada"),
          ("佐々木", "ササキ", "sasaki"), ("松本", "マツモト", "matsumoto"), ("井上", "イノウエ", "inoue"),
          ("木村", "キムラ", "kimura"), ("林", "ハヤシ", "hayashi"), ("清水", "シミズ", "shimizu")]
GIVEN = [("太郎", "タロウ", "taro"), ("花子", "ハナコ", "hanako"), ("一郎", "イチロウ", "ichiro"),
         ("美咲", "ミサキ", "misaki"), ("健太", "ケンタ", "kenta"), ("陽菜", "ヒナ", "hina"),
         ("翔太", "ショウタ", "shota"), ("結衣", "ユイ", "yui"), ("大輔", "ダイスケ", "daisuke"),
         ("さくら", "サクラ", "sakura"), ("直樹", "ナオキ", "naoki"), ("愛子", "アイコ", "aiko")]
PLACES = [("東京都", "新宿区西新宿", "03"), ("東京都", "世田谷区三軒茶屋", "03"), ("大阪府", "大阪市北区梅田", "06"),
          ("愛知県", "名古屋市中区栄", "052"), ("福岡県", "福岡市博多区博多駅前", "092"),
          ("北海道", "札幌市中央区大通西", "011"), ("宮城県", "仙台市青葉区一番町", "022"),
          ("京都府", "京都市下京区四条通", "075"), ("神奈川県", "横浜市西区みなとみらい", "045"),
          ("広島県", "広島市中区紙屋町", "082")]
BUILDINGS = ["", "", "", "コーポ若葉101", "サンハイツ203", "グランメゾン1205", "第二ビル4F"]
NOTES = ["", "", "", "", "要連絡", "DM不要", "VIP", "住所変更あり(2024/04)", "電話は平日のみ"]
HEADER = ["顧客番号", "氏名", "フリガナ", "郵便番号", "住所", "電話番号", "メールアドレス", "備考", "ポイント"]

DECL = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
NS = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG_REL = "http://schemas.openxmlformats.org/package/2006/relationships"
CT = "application/vnd.openxmlformats-officedocument"


def column(i):
    return "ABCDEFGHIJ"[i]


def rows(count, rng):
    out = [HEADER]
    for n in range(1, count + 1):
        fam, giv = rng.choice(FAMILY), rng.choice(GIVEN)
        pref, town, area = rng.choice(PLACES)
        address = f"{pref}{town}{rng.randint(1, 5)}-{rng.randint(1, 30)}-{rng.randint(1, 20)}"
        building = rng.choice(BUILDINGS)
        if building:
            address += " " + building
        phone = (f"090-{rng.randint(1000, 9999)}-{rng.randint(1000, 9999)}" if rng.random() < 0.5
                 else f"{area}-{rng.randint(100, 9999)}-{rng.randint(1000, 9999)}")
        mail = f"{giv[2]}.{fam[2]}{rng.randint(1, 99)}@example.jp"
        out.append([f"C{n:05d}", fam[0] + " " + giv[0], fam[1] + " " + giv[1],
                    f"〒{rng.randint(100, 999)}-{rng.randint(0, 9999):04d}", address, phone, mail,
                    rng.choice(NOTES), rng.randint(0, 50000)])
    return out


def build(path, count):
    rng = random.Random(20240401)
    table = rows(count, rng)
    strings, index = [], {}

    def sst(text):
        if text not in index:
            index[text] = len(strings)
            strings.append(text)
        return index[text]

    sheet_rows = []
    for r, values in enumerate(table, start=1):
        cells = []
        for c, v in enumerate(values):
            ref = f"{column(c)}{r}"
            if isinstance(v, int):
                cells.append(f'<c r="{ref}"><v>{v}</v></c>')
            elif v != "":
                style = ' s="1"' if r == 1 else ""
                cells.append(f'<c r="{ref}"{style} t="s"><v>{sst(v)}</v></c>')
        sheet_rows.append(f'<row r="{r}">{"".join(cells)}</row>')
    last = f"{column(len(HEADER) - 1)}{len(table)}"
    widths = [10, 16, 20, 11, 48, 15, 30, 22, 9]
    cols = "".join(f'<col min="{i + 1}" max="{i + 1}" width="{w}" customWidth="1"/>' for i, w in enumerate(widths))
    sheet = (DECL + f'<worksheet xmlns="{NS}" xmlns:r="{REL}"><dimension ref="A1:{last}"/>'
             '<sheetViews><sheetView workbookViewId="0"><pane ySplit="1" topLeftCell="A2" activePane="bottomLeft" '
             f'state="frozen"/></sheetView></sheetViews><cols>{cols}</cols>'
             f'<sheetData>{"".join(sheet_rows)}</sheetData></worksheet>')
    total = sum(1 for row in table for v in row if isinstance(v, str) and v != "")
    shared = (DECL + f'<sst xmlns="{NS}" count="{total}" uniqueCount="{len(strings)}">'
              + "".join(f"<si><t>{escape(s)}</t></si>" for s in strings) + "</sst>")
    parts = {
        "[Content_Types].xml": DECL + '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
        f'<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
        '<Default Extension="xml" ContentType="application/xml"/>'
        f'<Override PartName="/xl/workbook.xml" ContentType="{CT}.spreadsheetml.sheet.main+xml"/>'
        f'<Override PartName="/xl/worksheets/sheet1.xml" ContentType="{CT}.spreadsheetml.worksheet+xml"/>'
        f'<Override PartName="/xl/styles.xml" ContentType="{CT}.spreadsheetml.styles+xml"/>'
        f'<Override PartName="/xl/sharedStrings.xml" ContentType="{CT}.spreadsheetml.sharedStrings+xml"/>'
        '<Override PartName="/docProps/core.xml" ContentType="application/vnd.openxmlformats-package.core-properties+xml"/>'
        f'<Override PartName="/docProps/app.xml" ContentType="{CT}.extended-properties+xml"/></Types>',
        "_rels/.rels": DECL + f'<Relationships xmlns="{PKG_REL}">'
        f'<Relationship Id="rId1" Type="{REL}/officeDocument" Target="xl/workbook.xml"/>'
        '<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/package/2006/relationships/metadata/'
        'core-properties" Target="docProps/core.xml"/>'
        f'<Relationship Id="rId3" Type="{REL}/extended-properties" Target="docProps/app.xml"/></Relationships>',
        "docProps/app.xml": DECL + '<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/'
        'extended-properties"><Application>make_sample.py</Application></Properties>',
        "docProps/core.xml": DECL + '<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/'
        'metadata/core-properties" xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:title>顧客名簿(サンプル)</dc:title>'
        '</cp:coreProperties>',
        "xl/workbook.xml": DECL + f'<workbook xmlns="{NS}" xmlns:r="{REL}"><workbookPr defaultThemeVersion="124226"/>'
        '<bookViews><workbookView xWindow="0" yWindow="0" windowWidth="28800" windowHeight="12300"/></bookViews>'
        '<sheets><sheet name="顧客名簿" sheetId="1" r:id="rId1"/></sheets></workbook>',
        "xl/_rels/workbook.xml.rels": DECL + f'<Relationships xmlns="{PKG_REL}">'
        f'<Relationship Id="rId1" Type="{REL}/worksheet" Target="worksheets/sheet1.xml"/>'
        f'<Relationship Id="rId2" Type="{REL}/styles" Target="styles.xml"/>'
        f'<Relationship Id="rId3" Type="{REL}/sharedStrings" Target="sharedStrings.xml"/></Relationships>',
        "xl/styles.xml": DECL + f'<styleSheet xmlns="{NS}">'
        '<fonts count="2"><font><sz val="11"/><name val="游ゴシック"/></font>'
        '<font><b/><sz val="11"/><name val="游ゴシック"/></font></fonts>'
        '<fills count="2"><fill><patternFill patternType="none"/></fill><fill><patternFill patternType="gray125"/>'
        '</fill></fills><borders count="1"><border><left/><right/><top/><bottom/><diagonal/></border></borders>'
        '<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>'
        '<cellXfs count="2"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/>'
        '<xf numFmtId="0" fontId="1" fillId="0" borderId="0" xfId="0" applyFont="1"/></cellXfs>'
        '<cellStyles count="1"><cellStyle name="標準" xfId="0" builtinId="0"/></cellStyles></styleSheet>',
        "xl/worksheets/sheet1.xml": sheet,
        "xl/sharedStrings.xml": shared,
    }
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, text in parts.items():
            info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, text.encode("utf-8"))


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "examples/sample_customers.xlsx"
    build(out, int(sys.argv[2]) if len(sys.argv) > 2 else 3000)
