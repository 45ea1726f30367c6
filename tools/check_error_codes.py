#!/usr/bin/env python3
"""Fails when program code names an error code by its number.

Every code lives once, by name, in base/ErrorCodes.h. Outside it, a reporter
called with a hex literal, or any literal equal to a tabled 32-bit code, is
a number the reader cannot check against the table.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
TABLE = ROOT / "base" / "ErrorCodes.h"
FOLDERS = ["base", "midi", "engine", "styles", "lyrics", "playback", "app", "cli", "gui", "voice"]
REPORTERS = re.compile(
    r"\b(reportError|reportOnce|reportEngineError|reportPictureError|report|warnOnce|fail)\s*\(")
HEX = re.compile(r"\b0[xX][0-9A-Fa-f]+\b")


def tabled_codes():
    text = TABLE.read_text(encoding="utf-8").split("namespace engine {")[0]
    return {int(v, 16) for v in re.findall(r"=\s*(0x[0-9A-Fa-f]{8})\s*;", text)}


def call_arguments(text, start):
    """The text between the parenthesis at start-1 and its match."""
    depth, i = 1, start
    while i < len(text) and depth:
        depth += {"(": 1, ")": -1}.get(text[i], 0)
        i += 1
    return text[start:i - 1]


def strip_comments(text):
    text = re.sub(r"/\*.*?\*/", lambda m: "\n" * m.group(0).count("\n"), text, flags=re.S)
    return re.sub(r"//[^\n]*", "", text)


def main():
    codes = tabled_codes()
    if not codes:
        print(f"no codes found in {TABLE}")
        return 1
    faults = []
    for folder in FOLDERS:
        for path in sorted((ROOT / folder).rglob("*")):
            if path.suffix not in {".h", ".cpp", ".inc"} or path == TABLE:
                continue
            text = strip_comments(path.read_text(encoding="utf-8", errors="replace"))
            rel = path.relative_to(ROOT)
            for m in REPORTERS.finditer(text):
                args = call_arguments(text, m.end())
                for h in HEX.finditer(args):
                    line = text.count("\n", 0, m.start()) + 1
                    faults.append(f"{rel}:{line}: {m.group(1)}() given the raw code {h.group(0)}")
            for h in HEX.finditer(text):
                if len(h.group(0)) == 10 and int(h.group(0), 16) in codes:
                    line = text.count("\n", 0, h.start()) + 1
                    faults.append(f"{rel}:{line}: raw error code {h.group(0)}; use its name in {TABLE.relative_to(ROOT)}")
    for f in faults:
        print(f)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
