#!/usr/bin/python3
"""batch: many songs at once in worker processes. Each song equals what
`generate` writes for its seed, whatever the number of workers; a failed song
is named by its seed and the others are still written. Files are read back by
mido, the score by an XML parser, the audio by the wave module."""

import os
import re
import sys
import tempfile
import unittest
import wave
import xml.etree.ElementTree as ET

import mido

from harmolin_e2e import read_bytes as read, run_checked

HARMOLIN = sys.argv[1] if len(sys.argv) > 1 else "build/bin/harmolin"


def run(*args, cwd=None, check=True):
    return run_checked(HARMOLIN, *args, cwd=cwd, check=check)


def tree(folder):
    return {name: read(os.path.join(folder, name)) for name in sorted(os.listdir(folder))}


class BatchTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def test_songs_match_generate_on_any_number_of_workers(self):
        one = run("batch", "--type", "young pops", "--count", "6", "--seed", "4294967294", "--jobs", "1",
                  "-o", "one", "--musicxml", cwd=self.dir)
        self.assertRegex(one.stdout.decode(), r"batch: 6 of 6 songs written to one in [\d.]+ s \([\d.]+ songs/s, 1 workers\)")
        run("batch", "--type", "0", "--count", "6", "--seed", "4294967294", "--jobs", "4", "-o", "four",
            "--musicxml", cwd=self.dir)
        a, b = tree(os.path.join(self.dir, "one")), tree(os.path.join(self.dir, "four"))
        self.assertEqual(a, b)
        # Seeds S + i wrap past 2^32 - 1; names carry the style and the seed.
        seeds = ["4294967294", "4294967295", "0", "1", "2", "3"]
        self.assertEqual(sorted(a), sorted(f"evening-girls-{s}{e}" for s in seeds for e in (".mid", ".txt", ".musicxml")))
        # The same song as generate writes for that seed, lyrics and all.
        run("generate", "--type", "0", "--seed", "1", "-o", "g.mid", "--lyrics", "g.txt", cwd=self.dir)
        self.assertEqual(a["evening-girls-1.mid"], read(os.path.join(self.dir, "g.mid")))
        self.assertEqual(a["evening-girls-1.txt"], read(os.path.join(self.dir, "g.txt")))
        song = mido.MidiFile(os.path.join(self.dir, "one", "evening-girls-0.mid"))
        notes = [m for t in song.tracks for m in t if m.type == "note_on" and m.velocity > 0 and m.channel == 0]
        self.assertGreater(len(notes), 20)
        score = ET.parse(os.path.join(self.dir, "one", "evening-girls-0.musicxml")).getroot()
        self.assertGreater(len(score.findall(".//lyric")), 20)

    def test_all_styles_and_a_failed_song(self):
        # A folder where one song's file should go makes that song fail.
        out = os.path.join(self.dir, "all")
        os.makedirs(os.path.join(out, "enka-32.mid"))
        result = run("batch", "--all-styles", "--count", "1", "--seed", "7", "-o", "all", cwd=self.dir,
                     check=False)
        self.assertEqual(result.returncode, 1)
        err = result.stderr.decode()
        self.assertRegex(err, r"song enka-32 \(seed 32\) failed: .*enka-32\.mid")
        summary = result.stdout.decode()
        total = int(re.search(r"of (\d+) songs", summary).group(1))
        self.assertGreater(total, 100)
        self.assertIn(f"batch: {total - 1} of {total} songs", summary)
        self.assertTrue(summary.rstrip().endswith("failed seeds: 32"), summary)
        names = os.listdir(out)
        self.assertEqual(len([n for n in names if n.endswith(".mid")]), total)  # the folder counts as one
        self.assertNotIn("enka-32.txt", names)
        self.assertTrue(os.path.isdir(os.path.join(out, "enka-32.mid")))
        # Every style once, each named by its own style: no two songs share a seed.
        seeds = [int(re.search(r"-(\d+)\.mid$", n).group(1)) for n in names if n.endswith(".mid")]
        self.assertEqual(sorted(seeds), list(range(7, 7 + total)))

    def test_wav_and_stems_are_the_render_of_the_song(self):
        run("batch", "--style", "Enka", "--count", "2", "--seed", "3", "-o", "w", "--stems", cwd=self.dir)
        names = sorted(os.listdir(os.path.join(self.dir, "w")))
        self.assertEqual(names, ["enka-3-stems", "enka-3.mid", "enka-3.txt", "enka-3.wav",
                                 "enka-4-stems", "enka-4.mid", "enka-4.txt", "enka-4.wav"])
        self.assertEqual(sorted(os.listdir(os.path.join(self.dir, "w", "enka-3-stems"))),
                         ["accompaniment.wav", "voice.wav"])
        with wave.open(os.path.join(self.dir, "w", "enka-3.wav")) as w:
            self.assertEqual((w.getnchannels(), w.getframerate(), w.getsampwidth()), (2, 44100, 2))
            self.assertGreater(w.getnframes(), 44100 * 20)
        # The same bytes as render gives for that song, with the delay kept
        # by the batch in the working folder.
        self.assertTrue(os.path.exists(os.path.join(self.dir, "voicedelay.txt")))
        out = run("render", "--song", os.path.join("w", "enka-4.mid"), "-o", "r.wav", cwd=self.dir).stdout.decode()
        self.assertIn("(measured before)", out)
        self.assertEqual(read(os.path.join(self.dir, "r.wav")), read(os.path.join(self.dir, "w", "enka-4.wav")))

    def test_wrong_options(self):
        for args in (["--count", "2", "-o", "x"],
                     ["--type", "0", "--style", "Enka", "--count", "2", "-o", "x"],
                     ["--type", "0", "--count", "0", "-o", "x"],
                     ["--type", "0", "--count", "2", "--jobs", "0", "-o", "x"],
                     ["--type", "0", "--count", "2", "--seed", "-1", "-o", "x"],
                     ["--style", "No Such Style", "--count", "2", "-o", "x"],
                     ["--type", "0", "--count", "2"]):
            result = run("batch", *args, cwd=self.dir, check=False)
            self.assertEqual(result.returncode, 2, args)
            self.assertEqual(len(result.stderr.decode().strip().splitlines()), 1, args)
            self.assertFalse(os.path.exists(os.path.join(self.dir, "x")), args)
        result = run("batch", "--type", "0", "--count", "1", "-o", "x", "--wav", "--plugin", "/no/such.so",
                     cwd=self.dir, check=False)
        self.assertEqual(result.returncode, 1)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "x")))


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:])
