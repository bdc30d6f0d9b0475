#!/usr/bin/env python3
"""How often a workbook that was never masked is taken for a returned masked copy.

    bench/masked_look_check.py [--hushcel PATH] FOLDER...

Runs the automatic mode (`hushcel --json --dry-run`) on a copy of every .xlsx/.xlsm under
the folders, once under its own name and once under a name beginning with "●" (a sign
worth a point on its own), and lists each workbook refused as "backups-lost": all of them
are false positives when the folders hold no masked workbook (the corpus of real files,
the labelled set of bench/suggest_set.py).
"""
import argparse
import json
import os
import shutil
import subprocess
import tempfile


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser()
    parser.add_argument("--hushcel", default=os.path.join(root, "build-bench", "hushcel"))
    parser.add_argument("folders", nargs="+")
    a = parser.parse_args()
    a.hushcel = os.path.abspath(a.hushcel)  # it runs in the work folder
    files = sorted(os.path.join(d, f) for folder in a.folders for d, _, fs in os.walk(folder) for f in fs
                   if f.endswith((".xlsx", ".xlsm")) and not f.startswith("●"))
    work = tempfile.mkdtemp(prefix="masked-look-")
    env = dict(os.environ, HUSHCEL_PASSWORD="masked look check", LANG="C", HOME=work, XDG_CONFIG_HOME=work)
    wrong = {"own name": [], "● name": []}
    try:
        for i, path in enumerate(files):
            for label, name in (("own name", "w%d-%s" % (i, os.path.basename(path))),
                                ("● name", "●w%d-%s" % (i, os.path.basename(path)))):
                shutil.copy(path, os.path.join(work, name))
                r = subprocess.run([a.hushcel, "--json", "--dry-run", name], cwd=work, env=env,
                                   capture_output=True, text=True)
                line = (r.stdout.strip().splitlines() or ["{}"])[-1]
                if json.loads(line).get("kind") == "backups-lost":
                    wrong[label].append("%s: %s" % (path, json.loads(line).get("message", "")[:160]))
                os.remove(os.path.join(work, name))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for label, paths in wrong.items():
        print("%d workbooks, under their %s: %d taken for a masked copy without backups" % (len(files), label, len(paths)))
        for p in paths:
            print("  " + p)


if __name__ == "__main__":
    main()
