#!/usr/bin/python3
"""Generate and Load from the terminal: XF files with one lyric per melody
note, read back by mido, and the lyric lines as text."""

import io
import os
import shutil
import struct
import sys
import tempfile
import unittest

import mido

from harmolin_e2e import read_bytes as read, run_checked

HARMOLIN = sys.argv[1] if len(sys.argv) > 1 else "build/bin/harmolin"
DATA = sys.argv[2] if len(sys.argv) > 2 else "tests/data"
EXAMPLE = os.path.join(DATA, "..", "..", "data", "examples", "morning-walk.mid")


def run(*args, cwd=None, check=True):
    return run_checked(HARMOLIN, *args, cwd=cwd, check=check)


def chunks(data):
    out, pos = [], 0
    while pos + 8 <= len(data):
        name, length = data[pos:pos + 4], struct.unpack(">I", data[pos + 4:pos + 8])[0]
        out.append((name, data[pos + 8:pos + 8 + length]))
        pos += 8 + length
    return out


def lyrics_and_melody(path):
    """(ticks of the XFKM lyric events with their text, ticks of the melody's notes)."""
    data = read(path)
    parts = chunks(data)
    names = [n for n, _ in parts]
    assert names == [b"MThd", b"MTrk", b"XFIH", b"XFKM"], names
    # mido reads the file as far as the standard track; the XF chunks follow it.
    song = mido.MidiFile(file=io.BytesIO(data[:14 + 8 + len(parts[1][1])]))
    melody, tick = [], 0
    for msg in song.tracks[0]:
        tick += msg.time
        if msg.type == "note_on" and msg.velocity > 0 and msg.channel == 0:
            melody.append(tick)
    karaoke = mido.MidiFile(file=io.BytesIO(data[:8] + struct.pack(">HHH", 0, 1, song.ticks_per_beat)
                                            + b"MTrk" + struct.pack(">I", len(parts[3][1])) + parts[3][1]))
    lyrics, tick = [], 0
    for msg in karaoke.tracks[0]:
        tick += msg.time
        if msg.type == "lyrics":
            lyrics.append((tick, msg.text))
    return song, lyrics, melody


class Generate(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="harmolin-generate-")

    def tearDown(self):
        shutil.rmtree(self.tmp, ignore_errors=True)

    def test_every_song_type_gets_a_syllable_per_note(self):
        for song_type in ("Young Pops", "Adult Pops", "Ocean Song", "Child Song", "Ghost Song"):
            out = os.path.join(self.tmp, "song.mid")
            text = os.path.join(self.tmp, "song.txt")
            result = run("generate", "--type", song_type, "--seed", "12", "-o", out, "--lyrics", text,
                         cwd=self.tmp)
            self.assertEqual(result.stderr, b"", song_type)
            song, lyrics, melody = lyrics_and_melody(out)
            self.assertEqual(song.ticks_per_beat, 480)
            self.assertGreater(len(lyrics), 20, song_type)
            ticks = set(melody)
            for tick, _ in lyrics:
                self.assertIn(tick, ticks, f"{song_type}: a lyric off any note at {tick}")
            # Every note sings except those that close a phrase.
            self.assertGreaterEqual(len(lyrics), len(melody) * 0.8, song_type)
            lines = read(text)
            self.assertTrue(lines.endswith(b"\r\n"))
            shown = result.stdout.decode("utf-8").splitlines()
            self.assertEqual(lines.decode("utf-8").split("\r\n")[:-1], shown)
            for name in ("temp_znr.mid", "temp_dv.mid"):
                self.assertTrue(os.path.exists(os.path.join(self.tmp, name)), name)

    def test_lines_in_code_page_932(self):
        out = os.path.join(self.tmp, "song.mid")
        text = os.path.join(self.tmp, "song.txt")
        run("generate", "--type", "Child Song", "--seed", "5", "-o", out, "--lyrics", text, "--encoding",
            "cp932", cwd=self.tmp)
        data = read(text)
        decoded = data.decode("cp932")
        self.assertTrue(any("\u3040" <= ch <= "\u30ff" or "\u4e00" <= ch <= "\u9fff" for ch in decoded))

    def test_same_seed_same_song(self):
        a, b = os.path.join(self.tmp, "a.mid"), os.path.join(self.tmp, "b.mid")
        run("generate", "--type", "Ghost Song", "--variant", "2", "--seed", "9", "-o", a, cwd=self.tmp)
        run("generate", "--type", "Ghost Song", "--variant", "2", "--seed", "9", "-o", b, cwd=self.tmp)
        self.assertEqual(read(a), read(b))


class Sequence(unittest.TestCase):
    def test_sung_part_of_a_generated_song(self):
        tmp = tempfile.mkdtemp(prefix="harmolin-sequence-")
        try:
            song_path = os.path.join(tmp, "song.mid")
            run("generate", "--type", "Young Pops", "--seed", "21", "-o", song_path, cwd=tmp)
            _, lyrics, _ = lyrics_and_melody(song_path)
            out = os.path.join(tmp, "pl.mid")
            result = run("sequence", song_path, "-o", out, "--delay", "100", cwd=tmp)
            self.assertEqual(result.stderr, b"")
            self.assertTrue(os.path.exists(os.path.join(tmp, "temp_plsv.mid")))
            voice = mido.MidiFile(out).tracks[1]
            texts = [m.text for m in voice if m.type == "text"]
            self.assertTrue(texts and all(t.startswith("DM:") for t in texts))
            counters = [int(t[3:7]) for t in texts]
            self.assertEqual(counters, list(range(len(counters))))
            ini = "".join(t[8:] for t in texts)
            self.assertTrue(ini.startswith("[Common]"))
            # One lyric handle per sung syllable (the lyric notes and the closing one).
            self.assertGreaterEqual(ini.count("L0="), len(lyrics))
            self.assertGreater(sum(1 for m in voice if m.type == "control_change"), 50 * len(lyrics))
            # A song that is not XF is refused with one line.
            plain = os.path.join(DATA, "fmt0-mido.mid")
            bad = run("sequence", plain, "-o", os.path.join(tmp, "never.mid"), cwd=tmp, check=False)
            self.assertNotEqual(bad.returncode, 0)
            self.assertEqual(len(bad.stderr.decode().strip().splitlines()), 1, bad.stderr)
            self.assertFalse(os.path.exists(os.path.join(tmp, "never.mid")))
        finally:
            shutil.rmtree(tmp, ignore_errors=True)


class Load(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="harmolin-load-")

    def tearDown(self):
        shutil.rmtree(self.tmp, ignore_errors=True)

    def test_melody_channel_sings(self):
        out = os.path.join(self.tmp, "loaded.mid")
        result = run("load", EXAMPLE, "--channel", "3", "--type", "Child Song", "--seed", "1", "-o", out,
                     cwd=self.tmp)
        self.assertEqual(result.stderr, b"")
        _, lyrics, melody = lyrics_and_melody(out)
        self.assertGreater(len(lyrics), 10)
        self.assertLessEqual(len(lyrics), len(melody))

    def test_wrong_channels_give_one_line(self):
        out = os.path.join(self.tmp, "never.mid")
        for channel in ("10", "16", "0"):
            result = run("load", EXAMPLE, "--channel", channel, "-o", out, cwd=self.tmp, check=False)
            self.assertNotEqual(result.returncode, 0, channel)
            self.assertEqual(len(result.stderr.decode().strip().splitlines()), 1, result.stderr)
            self.assertFalse(os.path.exists(out))


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
