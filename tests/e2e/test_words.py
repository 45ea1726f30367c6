#!/usr/bin/python3
"""The person's own words sung: `generate --words` and `load --words`.

Words files of known readings (kana only, with kanji, with English words,
more lines than the tune has phrases, a line longer than any phrase) are
fitted to generated and loaded melodies. Read back with mido, from the XF
file and from the sung part that `sequence` writes:
  - every syllable of the reading is sung exactly once and in order, a line
    between two XF line marks;
  - each line starts on a phrase's first note (a note after a rest, by the
    phrase rule, in the prepared song "temp_dv.mid");
  - no sung note is shorter than a sixteenth;
  - `--lyrics` gives the lines back as written;
and one song rendered has an audible voice stem.
"""

import array
import io
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import wave

import mido

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from test_lyric_readings import lyrics_and_melody, sung_syllables  # noqa: E402

HARMOLIN = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/bin/harmolin")
Q = 480
SIXTEENTH = Q // 4
HELD = "ー"

# Lines and the syllables their reading is sung as (one kana each).
KANA = [("あさがきた", "あさがきた"), ("みどりのかぜ", "みどりのかぜ"), ("", ""),
        ("きらきらひかる", "きらきらひかる"), ("ゆめをみた", "ゆめをみた")]
KANJI = [("星空に願いを", "ほしぞらにねがいを"), ("夏の海", "なつのうみ"), ("花が咲く", "はながさく"),
         ("東京の夜", "とうきょうのよる")]
ENGLISH = [("love you", "らぶゆう"), ("baby dream", "べいびいどりいむ"), ("my heart 2", "まいはあとに")]
LONG = [("そら", "そら"), ("あおいあおいそらのむこうにひろがるしろいくもをおいかけてはしりつづけるぼくらのゆめ",
                          "あおいあおいそらのむこうにひろがるしろいくもをおいかけてはしりつづけるぼくらのゆめ"),
        ("うみ", "うみ")]
MANY = [(w, w) for w in ["はる", "なつ", "あき", "ふゆ", "あさ", "ひる", "よる", "ゆき", "あめ", "かぜ"] * 8]


def run(*args, cwd):
    proc = subprocess.run([HARMOLIN, *args], cwd=cwd, capture_output=True)
    if proc.returncode != 0:
        raise AssertionError("harmolin %s failed: %s" % (" ".join(args), proc.stderr.decode(errors="replace")))
    return proc


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def write_words(path, lines, encoding="utf-8"):
    with open(path, "wb") as f:
        f.write("\n".join(w for w, _ in lines).encode(encoding) + b"\n")


def xf_lines(lyrics):
    """The XF lyrics cut into lines at the line marks: lists of (tick, text)."""
    lines, line = [], []
    for tick, raw in lyrics:
        text = raw.encode("latin-1").decode("cp932")
        end = text.endswith("/")
        line.append((tick, text.lstrip("<").rstrip("/")))
        if end:
            lines.append(line)
            line = []
    if line:
        lines.append(line)
    return lines


def melody_notes(path):
    """(start, length) of the notes on channel 1 of a plain MIDI file or of
    the song track of an XF file."""
    with open(path, "rb") as f:
        data = f.read()
    pos, track = 14, None
    while pos + 8 <= len(data):
        name, length = data[pos:pos + 4], struct.unpack(">I", data[pos + 4:pos + 8])[0]
        if name == b"MTrk":
            track = data[pos + 8:pos + 8 + length]
            break
        pos += 8 + length
    song = mido.MidiFile(file=io.BytesIO(data[:8] + struct.pack(">HHH", 0, 1, Q) + b"MTrk"
                                         + struct.pack(">I", len(track)) + track))
    notes, held, tick = [], {}, 0
    for msg in song.tracks[0]:
        tick += msg.time
        if msg.type == "note_on" and msg.velocity > 0 and msg.channel == 0:
            held[msg.note] = tick
        elif msg.type in ("note_on", "note_off") and msg.channel == 0 and msg.note in held:
            start = held.pop(msg.note)
            notes.append((start, tick - start))
    return sorted(notes)


def phrase_starts(notes):
    """First notes of the phrases: after half a beat of rest (a whole beat
    while the phrase has one or two notes), or after twenty notes."""
    starts, n, end = set(), 0, 0
    for start, length in notes:
        rest = start - end
        if n == 0 or n >= 20 or (rest >= Q // 2 and (n > 2 or rest >= Q)):
            starts.add(start)
            n = 0
        n += 1
        end = start + length
    return starts


class WordsSung(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="harmolin-words-")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def sing(self, name, lines, command=("generate", "--type", "Child Song", "--seed", "5"), encoding="utf-8"):
        folder = os.path.join(self.tmp, name)
        os.makedirs(folder)
        words = os.path.join(folder, "words.txt")
        write_words(words, lines, encoding)
        before = read_bytes(words)
        song = os.path.join(folder, "song.mid")
        text = os.path.join(folder, "lines.txt")
        run(*command, "--words", words, "-o", song, "--lyrics", text, cwd=folder)
        self.assertEqual(read_bytes(words), before)
        # The lines given back as written, blank lines between verses kept.
        with open(text, "rb") as f:
            self.assertEqual(f.read().decode("utf-8"), "".join(w + "\r\n" for w, _ in lines))

        lyrics, _ = lyrics_and_melody(song)
        sung_lines = xf_lines(lyrics)
        expected = [reading for _, reading in lines if reading]
        self.assertEqual(len(sung_lines), len(expected))
        notes = dict(melody_notes(song))
        prepared = phrase_starts(melody_notes(os.path.join(folder, "temp_dv.mid")))
        for line, reading in zip(sung_lines, expected):
            # Every syllable once and in order; held notes only after one.
            self.assertEqual("".join(t for _, t in line if t != HELD), reading)
            self.assertNotEqual(line[0][1], HELD)
            self.assertIn(line[0][0], prepared, "line %s does not start a phrase" % reading)
            for tick, _ in line:
                self.assertIn(tick, notes, "a syllable off the melody's notes")
                self.assertGreaterEqual(notes[tick], SIXTEENTH, "a note shorter than a sixteenth at %d" % tick)

        # The sung part sings one syllable a lyric note, the same ones.
        sung = os.path.join(folder, "sung.mid")
        run("sequence", song, "-o", sung, cwd=folder)
        syllables = sung_syllables(sung)
        flat = [(tick, text) for line in sung_lines for tick, text in line]
        self.assertEqual(len(syllables), len(flat))
        for (tick, text), (_, sang) in zip(flat, syllables):
            if text != HELD:
                self.assertEqual(sang, text, "at tick %d" % tick)
        return folder, song

    def test_kana_only(self):
        folder, song = self.sing("kana", KANA)
        # The score shows the syllables without the XF line and page marks.
        score = os.path.join(folder, "song.musicxml")
        run("export", song, "-o", score, cwd=folder)
        texts = re.findall(r"<text>([^<]*)</text>", read_bytes(score).decode("utf-8"))
        self.assertEqual("".join(t for t in texts if t != HELD), "".join(r for _, r in KANA))

    def test_kanji_read_in_context(self):
        _, song = self.sing("kanji", KANJI, encoding="cp932")
        # Four lines on a longer tune: the sections after the last line are
        # left out, the ending follows within a few bars.
        plain = os.path.join(self.tmp, "plain-kanji")
        os.makedirs(plain)
        run("generate", "--type", "Child Song", "--seed", "5", "-o", "song.mid", cwd=plain)
        tune = melody_notes(os.path.join(plain, "song.mid"))
        notes = melody_notes(song)
        lyrics, _ = lyrics_and_melody(song)
        self.assertLess(notes[-1][0], tune[-1][0])
        self.assertLessEqual(notes[-1][0] + notes[-1][1] - lyrics[-1][0], 4 * 4 * Q)

    def test_english_words_and_digits(self):
        self.sing("english", ENGLISH)

    def test_a_line_longer_than_any_phrase(self):
        self.sing("long", LONG)

    def test_more_lines_than_phrases_lengthen_the_song(self):
        plain = os.path.join(self.tmp, "plain")
        os.makedirs(plain)
        run("generate", "--type", "Child Song", "--seed", "5", "-o", "song.mid", cwd=plain)
        tune = melody_notes(os.path.join(plain, "song.mid"))
        self.assertLess(len(phrase_starts(tune)), len(MANY))
        _, song = self.sing("many", MANY)
        longer = melody_notes(song)
        self.assertGreater(longer[-1][0], tune[-1][0])

    def test_load_words_onto_a_users_melody(self):
        folder = os.path.join(self.tmp, "tune")
        os.makedirs(folder)
        source = os.path.join(folder, "tune.mid")
        mid = mido.MidiFile(type=0, ticks_per_beat=Q)
        track = mido.MidiTrack()
        mid.tracks.append(track)
        # Two bars of quarters and a half-bar rest, twice: two phrases of
        # four notes.
        for bar in range(2):
            for i, note in enumerate((60, 62, 64, 65)):
                track.append(mido.Message("note_on", note=note, velocity=90, time=0 if i or not bar else 2 * Q))
                track.append(mido.Message("note_off", note=note, velocity=0, time=Q))
        mid.save(source)
        self.sing("load", KANA + KANJI, command=("load", source, "--channel", "1"))


class WordsRefused(unittest.TestCase):
    def test_bad_words_files_give_one_error_and_no_song(self):
        tmp = tempfile.mkdtemp(prefix="harmolin-words-bad-")
        try:
            cases = {"missing.txt": None, "empty.txt": b"\n  \n", "binary.txt": b"MThd\x00\x00\x00\x06\x00",
                     "latin1.txt": "caf\xe9 \xff\xfe".encode("latin-1"), "emoji.txt": "空\n🎵\n".encode(),
                     # More syllables than a sung song can carry.
                     "long.txt": "きゃしゅちょにゃぴゃ\n".encode() * 300}
            for name, content in cases.items():
                with self.subTest(name=name):
                    if content is not None:
                        with open(os.path.join(tmp, name), "wb") as f:
                            f.write(content)
                    proc = subprocess.run([HARMOLIN, "generate", "--type", "0", "--seed", "1", "--words", name,
                                           "-o", "out.mid"], cwd=tmp, capture_output=True)
                    self.assertNotEqual(proc.returncode, 0)
                    self.assertGreater(proc.returncode, 0)
                    lines = [l for l in proc.stderr.decode().splitlines() if l.strip()]
                    self.assertEqual(len(lines), 1, lines)
                    self.assertFalse(os.path.exists(os.path.join(tmp, "out.mid")))
            # The words file is never written over by the command's outputs.
            words = os.path.join(tmp, "words.txt")
            write_words(words, KANA)
            before = read_bytes(words)
            for option in ("-o", "--lyrics"):
                args = ["generate", "--type", "0", "--words", "words.txt", "-o", "out.mid", option, "words.txt"]
                proc = subprocess.run([HARMOLIN] + args, cwd=tmp, capture_output=True)
                self.assertEqual(proc.returncode, 2, proc.stderr)
                self.assertEqual(read_bytes(words), before)
        finally:
            shutil.rmtree(tmp, ignore_errors=True)


class WordsRendered(unittest.TestCase):
    def test_voice_stem_is_audible(self):
        tmp = tempfile.mkdtemp(prefix="harmolin-words-render-")
        try:
            write_words(os.path.join(tmp, "words.txt"), KANJI)
            run("generate", "--type", "Child Song", "--seed", "5", "--words", "words.txt", "-o", "song.mid", cwd=tmp)
            run("render", "--song", "song.mid", "-o", "song.wav", "--stems", "stems", cwd=tmp)
            with wave.open(os.path.join(tmp, "stems", "voice.wav"), "rb") as w:
                rate, channels = w.getframerate(), w.getnchannels()
                samples = array.array("h", w.readframes(w.getnframes()))
            # The sung lines come first: loud over their first seconds,
            # silent where the tune goes on without words.
            lyrics, _ = lyrics_and_melody(os.path.join(tmp, "song.mid"))
            self.assertTrue(lyrics)
            window = samples[: rate * channels * 8]
            level = math.sqrt(sum(x * x for x in window) / max(len(window), 1))
            self.assertGreater(level, 300)
        finally:
            shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
