#!/usr/bin/env python3
"""Rewrites the generated half of styles/CATALOGUE.md: one short table per
style group with what the arranger chose for each style, read from
`harmolin styles --json`, so the catalogue never drifts from the code.

    python3 tools/style_catalogue.py [path/to/harmolin]

Everything above the line "<!-- generated below -->" is written by hand
(the families and why); everything below it is replaced.
"""

import json
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CATALOGUE = os.path.join(ROOT, "styles", "CATALOGUE.md")
MARK = "<!-- generated below -->"
GROUPS = ["Pops", "Japanese Pops", "Jazz and Blues", "Classical", "Ethnic East", "Ethnic West", "Game",
          "Healing", "Techno"]
# Short names of the switches, in the order the table lists them.
SWITCHES = [("keyChange", "key change"), ("slashBass", "slash bass"), ("fixedBass", "pedal"),
            ("secondMelody", "harmony voice"), ("counterLine", "counter-line"), ("chordScaleAdjust", "scale chords"),
            ("chordMode", "rule chords"), ("feel", None), ("fixedChordLength", "bar chords"), ("part8", "fifth pad"),
            ("melodyCopy", "doubling"), ("clashFilter", "clash filter"), ("jumpCheck", None)]
NOTE_NAMES = ["C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"]


def switches(style):
    out = []
    for key, label in SWITCHES:
        value = style["features"].get(key)
        if value is None:
            continue
        if key == "feel":
            out.append("triplet runs" if value == 1 else "shuffle" if value == 3 else f"feel {value}")
        elif key == "jumpCheck":
            out.append(f"jump check {value}")
        else:
            out.append(label)
    return ", ".join(out) or "-"


def scale(style):
    return " ".join(NOTE_NAMES[i] for i, d in enumerate(style["scale"]) if d >= "5")


def pan(value):
    return "C" if value == 64 else f"L{64 - value}" if value < 64 else f"R{value - 64}"


def table(styles):
    lines = ["| Style | Family | BPM | Key | Scale | Melody density, repeat weight | Harmony vol/pan/reverb | Switches |",
             "|---|---|---|---|---|---|---|---|"]
    for s in styles:
        harmony = s["mixer"][3]
        mix = f"{harmony[0]} / {pan(harmony[8])} / {harmony[2]}" if s["programs"][3] != 256 else "-"
        melody = f"{s['melody']['density']}, {s['melody']['jumpWeights'][0]}"
        lines.append(f"| {s['name']} | {s['family'] or '(own values)'} | {s['bpm']:.0f} | {s['key']} | "
                     f"{scale(s)} | {melody} | {mix} | {switches(s)} |")
    return lines


def main():
    harmolin = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "bin", "harmolin")
    out = subprocess.run([harmolin, "styles", "--json"], capture_output=True, text=True, check=True).stdout
    styles = [json.loads(line) for line in out.splitlines()]
    with open(CATALOGUE, encoding="utf-8") as f:
        head = f.read().split(MARK)[0]
    body = [MARK, ""]
    for g, name in enumerate(GROUPS):
        members = [s for s in styles if s["group"] == g and not s["random"]]
        if not members:
            continue
        body += [f"### {g} {name}", ""] + table(members) + [""]
    with open(CATALOGUE + ".tmp", "w", encoding="utf-8") as f:
        f.write(head + "\n".join(body))
    os.replace(CATALOGUE + ".tmp", CATALOGUE)


if __name__ == "__main__":
    main()
