#!/usr/bin/python3
"""Lyrics that read right and a word on every note.

* Common lyric words written with kanji (tests/data/lyric-words.txt) are put
  on the notes of a user's XF song, the sung part is made with `sequence`,
  and the syllables sung are compared with the reading a Japanese reader
  gives: the word on its first note with the following notes bare, and the
  word one written character a note.
* Melodies loaded from MIDI files written by mido (format 0 and 1, with and
  without rests, and a folk tune of long phrases without rests) get exactly
  one syllable on every melody note, and the fallback "あ" only on a single
  note standing alone.
"""

import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

import mido

HARMOLIN = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/bin/harmolin")
DATA = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else "tests/data")
Q = 480

# Kana by vowel, to sing a small "っ" as the vowel before it.
VOWELS = {}
for vowel, row in (("あ", "あかがさざただなはばぱまやらわゃぁ"), ("い", "いきぎしじちぢにひびぴみりぃ"),
                   ("う", "うくぐすずつづぬふぶぷむゆるゅぅ"), ("え", "えけげせぜてでねへべぺめれぇ"),
                   ("お", "おこごそぞとどのほぼぽもよろをょぉ"), ("ん", "ん")):
    for kana in row:
        VOWELS[kana] = vowel


def singable(reading):
    """The syllables a reading is sung as: one kana each, "っ" on the vowel before."""
    out = []
    for ch in reading:
        out.append(VOWELS.get(out[-1], "う") if ch == "っ" and out else ch)
    return out


def vlq(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append((value & 0x7F) | 0x80)
        value >>= 7
    return bytes(reversed(out))


def chunk(name, payload):
    return name + struct.pack(">I", len(payload)) + payload


def meta(kind, data):
    return b"\xff" + bytes([kind]) + vlq(len(data)) + data


def xf_song(notes, lyrics):
    """An XF file (format 0 track, XFIH, XFKM) of notes (start, length) on
    channel 1 and lyric events (tick, text)."""
    events = []
    for start, length in notes:
        events.append((start, 1, bytes([0x90, 64, 100])))
        events.append((start + length, 0, bytes([0x80, 64, 64])))
    events.sort(key=lambda e: (e[0], e[1]))
    track, last = b"\x00" + meta(0x51, bytes([0x07, 0xA1, 0x20])), 0
    for tick, _, body in events:
        track += vlq(tick - last) + body
        last = tick
    track += vlq(Q) + b"\xff\x2f\x00"
    karaoke, last = b"", 0
    for tick, text in lyrics:
        karaoke += vlq(tick - last) + meta(0x05, text.encode("cp932"))
        last = tick
    karaoke += vlq(Q) + b"\xff\x2f\x00"
    info = b"\x00" + meta(0x01, b"XFln:") + b"\x00\xff\x2f\x00"
    return (chunk(b"MThd", struct.pack(">HHH", 0, 1, Q)) + chunk(b"MTrk", track) + chunk(b"XFIH", info)
            + chunk(b"XFKM", karaoke))


def sung_syllables(path):
    """(tick, syllable) of every note the sung part sings, from its control text."""
    song = mido.MidiFile(path)
    text = "".join(m.text[8:] for t in song.tracks for m in t if m.type == "text" and m.text.startswith("DM:"))
    text = text.encode("latin-1").decode("cp932")
    sections, name = {}, None
    for line in text.splitlines():
        if line.startswith("[") and line.endswith("]"):
            name = line[1:-1]
            sections[name] = []
        elif name:
            sections[name].append(line)
    out = []
    for entry in sections["EventList"]:
        tick, ident = entry.split("=")
        if ident == "EOS":
            continue
        fields = dict(l.split("=", 1) for l in sections[ident])
        if fields.get("Type") != "Anote":
            continue
        lyric = dict(l.split("=", 1) for l in sections[fields["LyricHandle"]])["L0"]
        out.append((int(tick), lyric.split(",")[0].strip('"')))
    return out


def run(*args, cwd):
    result = subprocess.run([HARMOLIN, *args], capture_output=True, cwd=cwd)
    if result.returncode != 0:
        raise AssertionError(f"harmolin {' '.join(args)}: {result.stderr.decode(errors='replace')}")
    return result


def words():
    out = []
    with open(os.path.join(DATA, "lyric-words.txt"), encoding="utf-8") as f:
        for line in f:
            if line.strip() and not line.startswith("#"):
                written, reading = line.rstrip("\n").split("\t")
                out.append((written, reading))
    return out


class Readings(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="harmolin-readings-")

    def tearDown(self):
        shutil.rmtree(self.tmp, ignore_errors=True)

    def sing(self, phrases):
        """phrases: [(lyric texts a note, syllables expected)]; each phrase
        is a line of its own, a bar of rest apart. The syllables sung in
        each phrase."""
        notes, lyrics, starts, tick = [], [], [], 0
        for texts, expected in phrases:
            starts.append(tick)
            count = max(len(texts), len(expected))
            for i in range(count):
                if i < len(texts):
                    last = i == len(texts) - 1
                    lyrics.append((tick, texts[i] + ("/" if last else "")))
                notes.append((tick, Q // 2 - 20))
                tick += Q // 2
            tick += 4 * Q
        song = os.path.join(self.tmp, "song.mid")
        with open(song, "wb") as f:
            f.write(xf_song(notes, lyrics))
        out = os.path.join(self.tmp, "sung.mid")
        run("sequence", song, "-o", out, cwd=self.tmp)
        sung = sung_syllables(out)
        shift = sung[0][0] - notes[0][0]
        got = [[] for _ in phrases]
        for tick, syllable in sung:
            i = max(k for k, s in enumerate(starts) if s <= tick - shift)
            got[i].append(syllable)
        return got

    def check(self, layout):
        listed = words()
        self.assertGreaterEqual(len(listed), 100)
        phrases = [(layout(w), singable(r)) for w, r in listed]
        got = self.sing(phrases)
        wrong = [f"{w}: {''.join(g)} (want {r})" for (w, r), g, (_, want) in zip(listed, got, phrases) if g != want]
        right = len(listed) - len(wrong)
        print(f"{layout.__doc__}: {right} of {len(listed)} read right; wrong: {', '.join(wrong) or 'none'}")
        self.assertGreaterEqual(right / len(listed), 0.95, wrong)

    def test_words_on_their_first_note(self):
        def whole(w):
            """word on its first note"""
            return [w]
        self.check(whole)

    def test_words_one_written_character_a_note(self):
        def spread(w):
            """one written character a note"""
            return list(w)
        self.check(spread)

    def test_particles_and_kana_forms(self):
        # は and へ as particles sing わ and え; in a word they stay. Half-width
        # kana and ヴ sing their sounds; a note holding only "ー" holds the
        # vowel before it.
        cases = [(["今日は雨"], "きょうわあめ"), (["東京へ行こう"], "とうきょうえいこう"),
                 (["花は咲く"], "はなわさく"), (["母は", "家へ"], "ははわいええ"),
                 (["先生こんにちは"], "せんせいこんにちわ"), (["ｶﾞｯｺｳ"], "がっこう"),
                 (["ヴァイオリン"], "ばいおりん"), (["ヴ"], "ぶ"), (["ラ", "ー", "メ", "ン"], "らあめん")]
        got = self.sing([(texts, singable(reading)) for texts, reading in cases])
        for (texts, reading), g in zip(cases, got):
            self.assertEqual("".join(g), "".join(singable(reading)), texts)

    def test_users_own_list_wins(self):
        with open(os.path.join(self.tmp, "kanji.csv"), "wb") as f:
            f.write("宇宙,そら\r\n".encode("cp932"))
        got = self.sing([(["宇宙の", "星"], singable("そらのほし"))])
        self.assertEqual("".join(got[0]), "そらのほし")


def melody_file(path, fmt, rests, notes=48):
    """A tune on channel 1 (and chords on channel 2) written by mido."""
    song = mido.MidiFile(type=fmt, ticks_per_beat=Q)
    melody = mido.MidiTrack()
    melody.append(mido.MetaMessage("set_tempo", tempo=500000))
    pitches = [60, 62, 64, 65, 67, 69, 67, 65, 64, 62]
    wait = 0
    for i in range(notes):
        length = Q // 2
        melody.append(mido.Message("note_on", channel=0, note=pitches[i % 10], velocity=90, time=wait))
        melody.append(mido.Message("note_off", channel=0, note=pitches[i % 10], velocity=0, time=length))
        # With rests: a whole beat after every seventh note, half a beat after every fifth.
        wait = (Q if i % 7 == 6 else Q // 2 if i % 5 == 4 else 0) if rests else 0
    chords = mido.MidiTrack()
    for i in range(notes // 4):
        for n in (48, 52, 55):
            chords.append(mido.Message("note_on", channel=1, note=n, velocity=60, time=0))
        chords.append(mido.Message("note_off", channel=1, note=48, velocity=0, time=Q * 2))
        chords.append(mido.Message("note_off", channel=1, note=52, velocity=0, time=0))
        chords.append(mido.Message("note_off", channel=1, note=55, velocity=0, time=0))
    if fmt == 0:
        merged = mido.merge_tracks([melody, chords])
        song.tracks.append(merged)
    else:
        song.tracks.extend([melody, chords])
    song.save(path)


def lyrics_and_melody(path):
    with open(path, "rb") as f:
        data = f.read()
    parts, pos = {}, 14
    while pos + 8 <= len(data):
        name, length = data[pos:pos + 4], struct.unpack(">I", data[pos + 4:pos + 8])[0]
        parts.setdefault(name, data[pos + 8:pos + 8 + length])
        pos += 8 + length
    header = data[:8] + struct.pack(">HHH", 0, 1, Q)
    song = mido.MidiFile(file=io.BytesIO(header + b"MTrk" + struct.pack(">I", len(parts[b"MTrk"])) + parts[b"MTrk"]))
    melody, tick = [], 0
    for msg in song.tracks[0]:
        tick += msg.time
        if msg.type == "note_on" and msg.velocity > 0 and msg.channel == 0:
            melody.append(tick)
    karaoke = mido.MidiFile(file=io.BytesIO(header + b"MTrk" + struct.pack(">I", len(parts[b"XFKM"]))
                                            + parts[b"XFKM"]))
    lyrics, tick = [], 0
    for msg in karaoke.tracks[0]:
        tick += msg.time
        if msg.type == "lyrics":
            lyrics.append((tick, msg.text))
    return lyrics, melody


class EveryNoteSings(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="harmolin-every-note-")

    def tearDown(self):
        shutil.rmtree(self.tmp, ignore_errors=True)

    def load(self, source, song_type, seed):
        out = os.path.join(self.tmp, "song.mid")
        text = os.path.join(self.tmp, "lines.txt")
        run("load", source, "--channel", "1", "--type", song_type, "--seed", str(seed), "-o", out,
            "--lyrics", text, cwd=self.tmp)
        lyrics, melody = lyrics_and_melody(out)
        # One syllable on every melody note, at its start.
        self.assertEqual([t for t, _ in lyrics], melody)
        with open(text, encoding="utf-8") as f:
            lines = [l.rstrip("\r\n") for l in f if l.strip()]
        # "あ～" only as a part of its own (a single note).
        for line in lines:
            for part in line.split("　"):
                self.assertTrue(part == "あ～" or "あ～" not in part, line)
        sung = os.path.join(self.tmp, "sung.mid")
        run("sequence", out, "-o", sung, cwd=self.tmp)
        self.assertEqual(len(sung_syllables(sung)), len(melody))
        return lines

    def test_formats_with_and_without_rests(self):
        for fmt in (0, 1):
            for rests in (False, True):
                with self.subTest(format=fmt, rests=rests):
                    source = os.path.join(self.tmp, f"tune{fmt}{int(rests)}.mid")
                    melody_file(source, fmt, rests)
                    self.load(source, "Young Pops", 3)

    def test_folk_tune_of_long_phrases(self):
        # Sixty-four eighth notes without a rest: phrases of twenty notes and
        # a remainder, every one of them in words.
        source = os.path.join(self.tmp, "folk.mid")
        melody_file(source, 1, False, notes=64)
        fallback = 0
        for song_type in ("Young Pops", "Adult Pops", "Ocean Song", "Child Song", "Ghost Song"):
            for seed in (1, 2, 3):
                lines = self.load(source, song_type, seed)
                self.assertEqual(len(lines), 4)
                fallback += sum(l.count("あ～") for l in lines)
        print(f"folk tune: {fallback} of {15 * 64} notes on the fallback")


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
