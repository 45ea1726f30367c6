#!/usr/bin/env python3
"""Builds data/kanji.csv (written form, hiragana reading; CP932) from the
source CSV files of the IPA dictionary (Debian's mecab-ipadic package).

The lyric converter looks a lyric's first character up, walks that
character's rows from the last one backwards and takes the first written
form that begins the joined lyric, so:
  * rows are grouped by first character;
  * inside a group shorter forms come first, so the longest match is met
    first;
  * each written form appears once, with its most common reading (lowest
    dictionary cost).

Only words a song is likely to sing are kept: common nouns, adjectival and
verbal nouns, adverbs, and the conjugated forms of verbs and adjectives that
lyrics use (plain, continuative, past-stem, negative-stem, conditional),
ranked by dictionary cost until the row and size limits are reached.

Usage: tools/make_kanji_csv.py [--dic DIR] [-o data/kanji.csv]
"""

import argparse
import os
import sys

MAX_ROWS = 40000
MAX_BYTES = 0x100000
# Room left under the loader's limits so a user may append a few rows.
ROW_BUDGET = 39000
BYTE_BUDGET = 1000000

# Dictionary files and the bonus (subtracted from the cost) that favours the
# word kinds lyrics are made of.
SOURCES = {
    "Noun.csv": 0,
    "Noun.demonst.csv": -3000,
    "Noun.adjv.csv": -300,
    "Noun.verbal.csv": 0,
    "Noun.adverbal.csv": 0,
    "Adverb.csv": 0,
    "Adnominal.csv": 0,
    "Verb.csv": -800,
    "Adj.csv": -800,
}

VERB_FORMS = {"基本形", "連用形", "連用タ接続", "未然形", "仮定形"}
ADJ_FORMS = {"基本形", "連用テ接続", "連用タ接続", "体言接続"}

# Rows kept of each kind before the rest is filled by rank: conjugated verbs
# would otherwise lose to the many cheap compound nouns.
KIND = {"Verb.csv": "verb", "Adj.csv": "adj"}
QUOTA = {"verb": 14000, "adj": 3000}

MAX_WRITTEN_CHARS = 6
LENGTH_PENALTY = 1000
MAX_READING_CHARS = 12


def is_kanji(ch):
    return 0x4E00 <= ord(ch) <= 0x9FFF


def is_hiragana(ch):
    return 0x3041 <= ord(ch) <= 0x3093


def to_hiragana(katakana):
    out = []
    for ch in katakana:
        code = ord(ch)
        if 0x30A1 <= code <= 0x30F3:
            out.append(chr(code - 0x60))
        elif ch == "ー":
            out.append(ch)
        else:
            return None  # ヴ, ヵ and other marks have no singable hiragana
    return "".join(out)


def cp932(text):
    try:
        return text.encode("cp932")
    except UnicodeEncodeError:
        return None


def candidates(dic_dir):
    """Yields (is_verb, score, written, reading) for every usable entry."""
    for name, bonus in SOURCES.items():
        path = os.path.join(dic_dir, name)
        if not os.path.exists(path):
            print(f"make_kanji_csv: {path} missing, skipped", file=sys.stderr)
            continue
        with open(path, encoding="euc_jp", errors="replace") as f:
            for line in f:
                cols = line.rstrip("\n").split(",")
                if len(cols) < 12:
                    continue
                written, cost, pos, pos1, form, reading = cols[0], cols[3], cols[4], cols[5], cols[9], cols[11]
                if name == "Verb.csv" and (pos1 != "自立" or form not in VERB_FORMS):
                    continue
                if name == "Adj.csv" and (pos1 != "自立" or form not in ADJ_FORMS):
                    continue
                if not written or not is_kanji(written[0]):
                    continue
                if len(written) > MAX_WRITTEN_CHARS:
                    continue
                if not all(is_kanji(c) or is_hiragana(c) or c == "々" for c in written):
                    continue
                hira = to_hiragana(reading)
                if not hira or len(hira) > MAX_READING_CHARS:
                    continue
                # The converter spreads a reading over the notes of its written
                # characters; a reading shorter than its writing cannot be spread.
                if len(hira) < len(written):
                    continue
                if written == hira or cp932(written) is None or cp932(hira) is None:
                    continue
                try:
                    score = int(cost) + bonus
                except ValueError:
                    continue
                # Dictionary costs favour long compounds; lyrics favour short
                # words, so each extra written character costs more.
                score += LENGTH_PENALTY * (len(written) - 1)
                yield KIND.get(name, "noun"), score, written, hira


def build(dic_dir):
    best = {}
    # A form that is also a verb form is read as the verb: lyrics conjugate
    # verbs far more often than they use the rarer noun or adjective
    # (愛し is あいし in 愛してる, not いとし).
    kinds = {}
    for kind, score, written, reading in candidates(dic_dir):
        rank = (0 if kind == "verb" else 1, score)
        old = best.get(written)
        if old is None or rank < old[0]:
            best[written] = (rank, reading)
            kinds[written] = kind
    # A longer form that only adds kana to a shorter inflected form must keep
    # that form's reading unless it is itself inflected: this drops rare readings that would take over
    # ordinary words (美しくも read いしくも instead of 美しく + も).
    def consistent(written, reading):
        if kinds[written] in ("verb", "adj"):
            return True
        for cut in range(len(written) - 1, 0, -1):
            head = written[:cut]
            if head in best and is_hiragana(head[-1]) and all(is_hiragana(c) for c in written[cut:]):
                return reading.startswith(best[head][1])
        return True

    ranked = sorted(((w, v) for w, v in best.items() if consistent(w, v[1])), key=lambda kv: (kv[1][0][1], kv[0]))
    chosen = []
    taken = set()
    size = 0

    def take(written, reading):
        nonlocal size
        row = cp932(written) + b"," + cp932(reading) + b"\r\n"
        if len(chosen) >= ROW_BUDGET or size + len(row) > BYTE_BUDGET:
            return False
        chosen.append((written, reading, row))
        taken.add(written)
        size += len(row)
        return True

    # Every single character first, then each kind's quota, then by rank.
    for written, (_, reading) in ranked:
        if len(written) == 1:
            take(written, reading)
    for kind, quota in QUOTA.items():
        n = 0
        for written, (_, reading) in ranked:
            if n >= quota:
                break
            if kinds[written] == kind and written not in taken:
                take(written, reading)
                n += 1
    for written, (_, reading) in ranked:
        if written not in taken and not take(written, reading):
            break
    # Group by first character; shortest forms first inside a group.
    chosen.sort(key=lambda r: (cp932(r[0][0]), len(r[0]), cp932(r[0])))
    return [r[2] for r in chosen]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dic", default="/usr/share/mecab/dic/ipadic")
    parser.add_argument("-o", "--output", default=os.path.join(os.path.dirname(__file__), "..", "data", "kanji.csv"))
    args = parser.parse_args()
    rows = build(args.dic)
    if not rows:
        sys.exit(f"make_kanji_csv: no dictionary rows found under {args.dic}")
    data = b"".join(rows)
    assert len(rows) <= MAX_ROWS and len(data) <= MAX_BYTES
    tmp = args.output + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, args.output)
    print(f"make_kanji_csv: {len(rows)} rows, {len(data)} bytes -> {args.output}")


if __name__ == "__main__":
    main()
