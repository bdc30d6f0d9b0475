#!/usr/bin/env python3
"""Fails while a text of the window lacks a finished translation.

    check_translations.py LUPDATE SOURCE_DIR TS_FILE...

Each catalogue is copied and brought up to date with the sources by lupdate, so a
tr() text that the catalogue does not hold yet shows up as unfinished and a text the
sources dropped shows up as vanished. Every message must then have a finished
translation with the same %1..%9 fillers and, when its source has one, an accelerator;
an English translation must hold no Japanese letter.
"""
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from pathlib import Path

FILLER = re.compile(r"%[1-9]")
ACCELERATOR = re.compile(r"&[^&\s]")
JAPANESE = re.compile(r"[\u3040-\u30ff\u3400-\u4dbf\u4e00-\u9fff\uff66-\uff9f]")


def problems(ts: Path) -> list[str]:
    root = ET.parse(ts).getroot()
    english = (root.get("language") or "").startswith("en")
    found = []
    messages = root.findall("./context/message")
    if not messages:
        found.append("no messages at all")
    for message in messages:
        source = message.findtext("source") or ""
        translation = message.find("translation")
        where = f"{source!r}"
        if translation is None:
            found.append(f"{where}: no translation")
            continue
        kind = translation.get("type")
        text = translation.text or ""
        if kind in ("vanished", "obsolete"):
            found.append(f"{where}: no longer in the sources")
            continue
        if kind == "unfinished" or not text:
            found.append(f"{where}: not translated")
            continue
        if sorted(FILLER.findall(source)) != sorted(FILLER.findall(text)):
            found.append(f"{where}: fillers differ in {text!r}")
        if bool(ACCELERATOR.search(source)) != bool(ACCELERATOR.search(text)):
            found.append(f"{where}: accelerator missing on one side of {text!r}")
        if english and JAPANESE.search(text):
            found.append(f"{where}: Japanese letters in {text!r}")
    return found


def main() -> int:
    lupdate, sources, catalogues = sys.argv[1], sys.argv[2], sys.argv[3:]
    if not catalogues:
        print("no catalogue given", file=sys.stderr)
        return 2
    failed = False
    with tempfile.TemporaryDirectory() as tmp:
        for catalogue in map(Path, catalogues):
            copy = Path(tmp) / catalogue.name
            shutil.copyfile(catalogue, copy)
            subprocess.run([lupdate, "-silent", "-locations", "none", sources, "-ts", str(copy)], check=True)
            for problem in problems(copy):
                print(f"{catalogue.name}: {problem}", file=sys.stderr)
                failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
