#!/usr/bin/env python3
"""Writes one section of a Markdown file (its heading and everything up to the next
heading of the same or a higher level) as a file of its own.

    doc_section.py SOURCE HEADING OUTPUT      e.g. README.md "### JSON output" json-output.md
"""
import sys


def main() -> int:
    source, heading, output = sys.argv[1], sys.argv[2], sys.argv[3]
    level = len(heading) - len(heading.lstrip("#"))
    lines = open(source, encoding="utf-8").read().splitlines()
    try:
        start = lines.index(heading)
    except ValueError:
        print(f"{source}: no line {heading!r}", file=sys.stderr)
        return 1
    end = start + 1
    fenced = False
    while end < len(lines):
        line = lines[end]
        if line.startswith("```"):
            fenced = not fenced
        elif not fenced and line.startswith("#"):
            depth = len(line) - len(line.lstrip("#"))
            if depth <= level and line[depth:depth + 1] == " ":
                break
        end += 1
    with open(output, "w", encoding="utf-8") as f:
        f.write("\n".join(lines[start:end]).rstrip() + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
