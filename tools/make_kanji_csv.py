#!/usr/bin/env python3
"""Writes data/kanji.csv: the program's own readings of written words
(written form, hiragana reading; code page 932, CR LF).

Lyrics written with kanji are read by MeCab (IPA dictionary) a line at a
time, so that compounds and words are read as a Japanese reader reads them.
This list holds only the words of ordinary songs that MeCab reads wrongly or
does not know; each row says why. The converter uses a row where it begins
and ends on MeCab's word boundaries, before MeCab's own reading; without
MeCab it is looked up note by note. A user's own "kanji.csv" in the working
folder is used before this one.

Why a row is here:
  counter  MeCab reads a number and counter by their Sino-Japanese sounds
           (一人 いち+にん) where the counter has its own word (ひとり)
  split    MeCab cuts the compound in two and reads each half alone
           (雨音 あめ+おん)
  song     MeCab gives the formal or technical reading of a word that songs
           and everyday speech read natively (紅葉 こうよう, sung もみじ)
  place    MeCab takes the word for a place name (港町 みなとちょう)
  missing  MeCab has no reading for the word

Rows were found by reading song vocabulary through MeCab (mecab-ipadic-utf8)
and keeping the words whose reading differed from a Japanese reader's.

Run: python3 tools/make_kanji_csv.py [-o data/kanji.csv] [--check]
"""

import argparse
import os
import sys

ROWS = """
一人 ひとり counter
二人 ふたり counter
四人 よにん counter
一匹 いっぴき counter
一粒 ひとつぶ counter
三日 みっか counter
四日 よっか counter
二十歳 はたち counter
雨音 あまおと split
波音 なみおと split
一番星 いちばんぼし split
桜色 さくらいろ song
春色 はるいろ song
日本 にほん song
故郷 ふるさと song
春風 はるかぜ song
紅葉 もみじ song
貴女 あなた song
明後日 あさって song
港町 みなとまち place
蒲公英 たんぽぽ missing
"""

REASONS = {"counter", "split", "song", "place", "missing"}
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "kanji.csv")


def is_kanji(ch):
    return 0x4E00 <= ord(ch) <= 0x9FFF or ch == "々"


def is_hiragana(ch):
    return 0x3041 <= ord(ch) <= 0x3093


def parse(text):
    rows, seen = [], set()
    for number, line in enumerate(text.splitlines(), 1):
        if not line.strip():
            continue
        fields = line.split()
        if len(fields) != 3:
            raise ValueError(f"line {number}: want written form, reading and reason")
        written, reading, reason = fields
        if reason not in REASONS:
            raise ValueError(f"{written}: reason {reason} is not one of {sorted(REASONS)}")
        if not is_kanji(written[0]):
            raise ValueError(f"{written}: a row must begin with a kanji")
        if not all(is_hiragana(c) for c in reading):
            raise ValueError(f"{written}: reading {reading} must be hiragana")
        if written in seen:
            raise ValueError(f"{written}: listed twice")
        seen.add(written)
        written.encode("cp932")
        reading.encode("cp932")
        rows.append((written, reading))
    return rows


def render(rows):
    # Grouped by first character, shorter forms first: the note-by-note
    # lookup walks a group from its last row, so the longest form is met first.
    rows = sorted(rows, key=lambda r: (r[0][0].encode("cp932"), len(r[0]), r[0].encode("cp932")))
    return b"".join(w.encode("cp932") + b"," + r.encode("cp932") + b"\r\n" for w, r in rows)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-o", "--output", default=OUT)
    parser.add_argument("--check", action="store_true", help="only tell whether the file is up to date")
    args = parser.parse_args()
    try:
        data = render(parse(ROWS))
    except (ValueError, UnicodeEncodeError) as e:
        sys.exit(f"make_kanji_csv: {e}")
    if args.check:
        try:
            with open(args.output, "rb") as f:
                current = f.read()
        except OSError:
            current = None
        if current != data:
            sys.exit(f"make_kanji_csv: {args.output} is out of date")
        return
    tmp = args.output + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, args.output)
    print(f"make_kanji_csv: {len(data.splitlines())} rows -> {args.output}")


if __name__ == "__main__":
    main()
