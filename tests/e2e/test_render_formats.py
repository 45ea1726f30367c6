#!/usr/bin/python3
"""render by the output's extension: WAV, FLAC and Ogg Vorbis of one song,
read back by libsndfile's own sndfile-info (a program no one here wrote) and
by their first bytes; the stems follow the same type; any other extension is
refused before any work is done."""

import array
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import wave

HARMOLIN = sys.argv[1] if len(sys.argv) > 1 else "build/bin/harmolin"
SEED = "5"


def run(*args, cwd=None):
    return subprocess.run([HARMOLIN, *args], capture_output=True, cwd=cwd)


def sndfile_info(path):
    """(rate, channels, seconds) as sndfile-info reads them."""
    out = subprocess.run(["sndfile-info", path], capture_output=True, text=True).stdout
    rate = int(re.search(r"Sample Rate\s*:\s*(\d+)", out).group(1))
    channels = int(re.search(r"Channels\s*:\s*(\d+)", out).group(1))
    frames = int(re.search(r"Frames\s*:\s*(\d+)", out).group(1))
    return rate, channels, frames / rate


def magic_ok(path, kind):
    with open(path, "rb") as f:
        head = f.read(64)
    if kind == "wav":
        return head[:4] == b"RIFF" and head[8:12] == b"WAVE"
    if kind == "flac":
        return head[:4] == b"fLaC"
    return head[:4] == b"OggS" and head[28:35] == b"\x01vorbis"


@unittest.skipUnless(shutil.which("sndfile-info"), "sndfile-programs not installed (sndfile-info)")
class RenderFormatsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="render-formats-")
        song = run("generate", "--type", "Child Song", "--variant", "1", "--seed", SEED, "-o", "song.mid",
                   cwd=cls.dir)
        if song.returncode != 0:
            raise AssertionError("generate failed: " + song.stderr.decode(errors="replace"))
        cls.results = {}
        for kind in ("wav", "flac", "ogg"):
            cls.results[kind] = run("render", "--song", "song.mid", "--sound", "instrument", "-o", "song." + kind,
                                    cwd=cls.dir)
        # With stems the played melody gets a synthesizer of its own: a mix of its own.
        cls.results["stems"] = run("render", "--song", "song.mid", "--sound", "instrument", "-o", "mix.flac",
                                   "--stems", "stems", cwd=cls.dir)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def path(self, *names):
        return os.path.join(self.dir, *names)

    def test_every_type_has_the_wav_length(self):
        for kind, result in self.results.items():
            self.assertEqual(result.returncode, 0, kind + ": " + result.stderr.decode(errors="replace"))
            # The saved song is format 0 by design: no notice about it.
            self.assertEqual(result.stderr.decode(errors="replace"), "")
        with wave.open(self.path("song.wav"), "rb") as w:
            wav_seconds = w.getnframes() / w.getframerate()
        self.assertGreater(wav_seconds, 10)
        for kind in ("wav", "flac", "ogg"):
            with self.subTest(kind=kind):
                path = self.path("song." + kind)
                self.assertTrue(magic_ok(path, kind), kind + " does not start as its type does")
                rate, channels, seconds = sndfile_info(path)
                self.assertEqual((rate, channels), (44100, 2))
                self.assertLess(abs(seconds - wav_seconds), 0.1)
        # Compressed types are smaller than the PCM they carry.
        wav_size = os.path.getsize(self.path("song.wav"))
        self.assertLess(os.path.getsize(self.path("song.flac")), wav_size)
        self.assertLess(os.path.getsize(self.path("song.ogg")), wav_size / 4)

    def decoded(self, kind):
        """The file decoded to 16-bit PCM by sndfile-convert, as integers."""
        out = self.path("decoded-%s.wav" % kind)
        subprocess.run(["sndfile-convert", "-pcm16", self.path("song." + kind), out], check=True,
                       capture_output=True)
        with wave.open(out, "rb") as w:
            return array.array("h", w.readframes(w.getnframes()))

    def test_flac_holds_the_wav_samples_and_ogg_the_same_sound(self):
        with wave.open(self.path("song.wav"), "rb") as w:
            pcm = array.array("h", w.readframes(w.getnframes()))
        self.assertEqual(self.decoded("flac"), pcm)
        ogg = self.decoded("ogg")
        self.assertEqual(len(ogg), len(pcm))
        signal = sum(x * x for x in pcm[::7])
        noise = sum((x - y) ** 2 for x, y in zip(pcm[::7], ogg[::7]))
        self.assertGreater(10 * math.log10(signal / max(noise, 1)), 15)

    def test_stems_follow_the_extension(self):
        self.assertEqual(sorted(os.listdir(self.path("stems"))), ["accompaniment.flac", "voice.flac"])
        _, _, mix_seconds = sndfile_info(self.path("mix.flac"))
        for stem in ("accompaniment.flac", "voice.flac"):
            path = self.path("stems", stem)
            self.assertTrue(magic_ok(path, "flac"))
            self.assertLess(abs(sndfile_info(path)[2] - mix_seconds), 0.01)

    def test_no_partial_files_are_left(self):
        leftovers = [n for n in os.listdir(self.dir) if ".partial-" in n]
        self.assertEqual(leftovers, [])

    def test_unknown_extension_is_refused_before_any_work(self):
        work = tempfile.mkdtemp(dir=self.dir)
        for name in ("song.mp3", "song", "song.wav.txt"):
            with self.subTest(name=name):
                result = run("render", "--type", "Child Song", "--variant", "1", "--seed", SEED, "-o", name,
                             cwd=work)
                self.assertEqual(result.returncode, 2)
                lines = result.stderr.decode().strip().splitlines()
                self.assertEqual(len(lines), 1, lines)
                self.assertIn(".wav, .flac or .ogg", lines[0])
                # Nothing composed, saved or written.
                self.assertEqual(os.listdir(work), [])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
