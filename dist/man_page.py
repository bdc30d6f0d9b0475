#!/usr/bin/env python3
"""Fills a manual page template: @PROJECT_VERSION@, and @HELP@ with the output of a
command (the program's own --help), escaped so that troff prints it as it stands.

    man_page.py TEMPLATE OUTPUT VERSION [COMMAND...]
"""
import subprocess
import sys


def escaped(text: str) -> str:
    lines = []
    for line in text.splitlines():
        line = line.replace("\\", "\\e").replace("-", "\\-")
        # A line that starts with a dot or an apostrophe would be a request.
        if line.startswith((".", "'")):
            line = "\\&" + line
        lines.append(line)
    return "\n".join(lines)


def main() -> int:
    template, output, version, command = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    with open(template, encoding="utf-8") as f:
        page = f.read().replace("@PROJECT_VERSION@", version)
    if command:
        help_text = subprocess.run(command, check=True, capture_output=True, text=True).stdout
        page = page.replace("@HELP@", escaped(help_text))
    with open(output, "w", encoding="utf-8") as f:
        f.write(page)
    return 0


if __name__ == "__main__":
    sys.exit(main())
