#!/usr/bin/python3
"""Files written by other programs (mido, abc2midi, hand-assembled XF and
MacBinary files) load in ours with the same events that mido sees, and odd
but possible files never crash the program."""

import os
import re
import unittest

import harmolin_e2e as h


class Summary(h.TempDirCase):
    """`harmolin inspect FILE` for people."""

    def inspect(self, name, *extra):
        r = h.run_ok(self, "inspect", h.data(name), *extra, cwd=self.tmp)
        self.assertTrue(r.stdout.strip(), "inspect printed nothing")
        self.assertEqual(os.listdir(self.tmp), [], "inspect wrote files into the working folder")
        return r

    def test_format_and_division(self):
        for name, fmt, division in (("fmt0-mido.mid", 0, 96), ("fmt1-mido.mid", 1, 384),
                                    ("xf-song.mid", 0, 480), ("macbinary.mid", 0, 96),
                                    ("abc-drums.mid", 1, 480)):
            with self.subTest(name):
                out = self.inspect(name).stdout
                self.assertRegex(out, r"(?i)format\D{0,12}%d\b" % fmt)
                self.assertRegex(out, r"\b%d\b" % division)

    def test_lyrics_shown_as_utf8(self):
        out = self.inspect("xf-song.mid").stdout
        for text in ("さ", "く", "ら", "の", "め"):
            self.assertIn(text, out)
        # The Shift-JIS bytes must not leak through as they are.
        self.assertNotIn("\ufffd", out)

    def test_tempo_shown(self):
        out = self.inspect("fmt0-mido.mid").stdout
        self.assertRegex(out, r"(?i)tempo")
        self.assertRegex(out, r"500000|120(\.0+)?\b")


class EventListing(unittest.TestCase):
    """`harmolin inspect FILE --events` against mido's reading of the same file."""

    def listing(self, name):
        r = h.run_ok(self, "inspect", h.data(name), "--events")
        try:
            song, karaoke = h.parse_listing(r.stdout)
        except (AssertionError, ValueError, IndexError) as e:
            self.fail("cannot read the event listing: %s\n%s" % (e, r.stdout[:1500]))
        self.assertTrue(song, "no event lines in:\n" + r.stdout[:1000])
        return song, karaoke

    def check(self, name, reference=None, format1=False):
        song, karaoke = self.listing(name)
        expected = h.mido_view(h.data(reference or name))
        h.assert_same_events(self, expected, song, name, allow_master_volume=format1)
        return song, karaoke

    def test_format0_from_mido(self):
        self.check("fmt0-mido.mid")

    def test_format1_from_mido(self):
        self.check("fmt1-mido.mid", format1=True)

    def test_running_status(self):
        song, _ = self.check("running-status.mid")
        notes = [e for e in song if e[1] == "note_on"]
        self.assertEqual(len(notes), 5)

    def test_abc2midi_file(self):
        self.check("abc-drums.mid", format1=True)

    def test_example_song(self):
        root = os.path.dirname(os.path.dirname(h.DATA))
        song, _ = self.listing(os.path.join(root, "data", "examples", "morning-walk.mid"))
        expected = h.mido_view(os.path.join(root, "data", "examples", "morning-walk.mid"))
        h.assert_same_events(self, expected, song, "example", allow_master_volume=True)

    def test_macbinary_header_is_skipped(self):
        self.check("macbinary.mid", reference="fmt0-mido.mid")

    def test_bytes_after_last_chunk_are_ignored(self):
        self.check("trailing-bytes.mid", reference="fmt0-mido.mid")

    def test_xf_song_and_its_lyrics(self):
        song, karaoke = self.check("xf-song.mid")
        self.assertTrue(karaoke, "the lyric chunk is not listed")
        h.assert_same_events(self, h.karaoke_events(h.data("xf-song.mid")), karaoke, "XFKM")


class OddInputs(h.TempDirCase):
    """Unusual or repairable files: every command either succeeds and writes a
    clean file, or fails with one line and writes nothing. Never a crash."""

    def commands(self, path):
        out = self.path("out.mid")
        yield ("inspect", path), None
        yield ("inspect", path, "--events"), None
        yield ("prepare", path, "--channel", "1", "-o", out), out
        yield ("copy", path, "--format", "0", "-o", out), out
        yield ("copy", path, "--format", "1", "-o", out), out

    def check_file(self, path):
        before = h.sha256(path)
        for args, out in self.commands(path):
            if out and os.path.exists(out):
                os.remove(out)
            r = h.run(*args, timeout=30)
            self.assertFalse(r.crashed(), "crashed\n" + r.describe())
            self.assertLess(r.rc, 126, r.describe())
            if r.rc != 0:
                self.assertEqual(len(r.stderr_lines()), 1, "a failure must give one line\n" + r.describe())
                if out:
                    self.assertFalse(os.path.exists(out), "failed but wrote " + out)
            elif out:
                info, mid = h.assert_readable(self, out)
                if args[0] == "prepare":
                    self.assertEqual(mid.ticks_per_beat, 480)
        self.assertEqual(h.sha256(path), before, "input changed")

    def test_odd_files(self):
        for name in sorted(os.listdir(h.data("odd"))):
            with self.subTest(name):
                self.check_file(h.data("odd", name))

    def test_more_events_than_a_track_holds(self):
        path = self.path("many-events.mid")
        h.write_many_events(path)
        self.check_file(path)


if __name__ == "__main__":
    h.main()
