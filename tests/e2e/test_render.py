#!/usr/bin/python3
"""render: a generated song sung by our plug-in over the General MIDI
accompaniment, checked as audio by readers no one here wrote: the wave
module for the file, mido for the song's length and notes, aubiopitch
(yinfft) for the sung pitches."""

import array
import math
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import unittest
import wave

import mido

HARMOLIN = sys.argv[1] if len(sys.argv) > 1 else "build/bin/harmolin"
TAIL = 2.0
SEED = "11"


def run(*args, cwd=None):
    return subprocess.run([HARMOLIN, *args], capture_output=True, cwd=cwd)


def read_wav(path):
    with wave.open(path, "rb") as w:
        params = (w.getframerate(), w.getnchannels(), w.getsampwidth())
        samples = array.array("h", w.readframes(w.getnframes()))
        return params, w.getnframes(), samples


def rms(samples):
    return math.sqrt(sum(x * x for x in samples) / max(len(samples), 1))


def melody_notes(path, channel=0):
    """(start s, end s, note) of the channel's notes, timed through the tempo map."""
    notes, held, now = [], {}, 0.0
    for msg in mido.MidiFile(path):
        now += msg.time
        if msg.type == "note_on" and msg.velocity > 0 and msg.channel == channel:
            held[msg.note] = now
        elif msg.type in ("note_off", "note_on") and msg.channel == channel and msg.note in held:
            notes.append((held.pop(msg.note), now, msg.note))
    return sorted(notes)


def cents(freq, note):
    return 1200.0 * math.log2(freq / (440.0 * 2 ** ((note - 69) / 12.0)))


@unittest.skipUnless(shutil.which("aubiopitch"), "aubio-tools not installed")
class RenderTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="render-")
        cls.result = run("render", "--type", "Young Pops", "--variant", "1", "--seed", SEED, "-o", "song.wav",
                         "--stems", "stems", cwd=cls.dir)
        if cls.result.returncode != 0:
            raise AssertionError("render failed: " + cls.result.stderr.decode(errors="replace"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def test_format_length_and_level(self):
        (rate, channels, width), frames, samples = read_wav(self.path("song.wav"))
        self.assertEqual((rate, channels, width), (44100, 2, 2))
        expected = mido.MidiFile(self.path("temp_pl.mid")).length + TAIL
        self.assertLess(abs(frames / rate - expected) / expected, 0.03)
        peak = max(abs(x) for x in samples)
        self.assertLess(peak, 32767)
        self.assertGreater(rms(samples), 300)  # about -40 dBFS: clearly audible
        self.assertFalse(any(name.startswith("song.wav.") for name in os.listdir(self.dir)))

    def test_delay_is_printed(self):
        out = self.result.stdout.decode()
        self.assertRegex(out, r"voice delay: \d+ ms")

    def test_stems(self):
        _, _, voice = read_wav(self.path("stems/voice.wav"))
        _, _, accompaniment = read_wav(self.path("stems/accompaniment.wav"))
        self.assertGreater(rms(voice), 300)
        self.assertGreater(rms(accompaniment), 300)

    def test_sung_pitch_follows_the_melody(self):
        # The voice stem to mono for aubio.
        mono = self.path("voice-mono.wav")
        with wave.open(self.path("stems/voice.wav"), "rb") as w:
            data = array.array("h", w.readframes(w.getnframes()))
        with wave.open(mono, "wb") as w:
            w.setnchannels(1)
            w.setsampwidth(2)
            w.setframerate(44100)
            w.writeframes(data[0::2].tobytes())
        out = subprocess.run(["aubiopitch", "-p", "yinfft", "-i", mono], capture_output=True, check=True)
        track = []
        for line in out.stdout.decode().splitlines():
            fields = line.split()
            if len(fields) == 2 and float(fields[1]) > 0:
                track.append((float(fields[0]), float(fields[1])))
        # The whole song is held back by the voice's delay (its look-ahead).
        delay = int(re.search(r"voice delay: (\d+) ms", self.result.stdout.decode()).group(1)) / 1000
        notes = [(a + delay, b + delay, n) for a, b, n in melody_notes(self.path("temp_plsv.mid")) if b - a >= 0.15]
        self.assertGreater(len(notes), 10)
        errors = []
        for start, end, note in notes:
            # The middle half of the note: past the consonant and the glide.
            a, b = start + (end - start) * 0.25, end - (end - start) * 0.25
            heard = [f for t, f in track if a <= t <= b]
            if len(heard) >= 3:
                errors.append(cents(statistics.median(heard), note))
        self.assertGreater(len(errors), len(notes) * 0.8, "too few notes were heard")
        # The singer may sit an octave away from the written melody.
        octave = 1200 * round(statistics.median(errors) / 1200)
        off = [abs(e - octave) for e in errors]
        print(f"\nnotes {len(off)}, octave shift {octave:+d} cents, median error {statistics.median(off):.1f} "
              f"cents, within 50 cents {sum(e < 50 for e in off) / len(off):.0%}", file=sys.stderr)
        self.assertLess(statistics.median(off), 50)
        self.assertGreater(sum(e < 100 for e in off), len(off) * 0.7)


class RenderErrorTest(unittest.TestCase):
    def test_missing_plugin(self):
        with tempfile.TemporaryDirectory() as d:
            r = run("render", "--type", "Young Pops", "--variant", "1", "--seed", SEED, "-o", "song.wav",
                    "--plugin", os.path.join(d, "absent.so"), cwd=d)
            self.assertEqual(r.returncode, 1)
            self.assertEqual(len(r.stderr.decode().strip().splitlines()), 1)
            self.assertIn("VST plugin", r.stderr.decode())
            self.assertFalse(os.path.exists(os.path.join(d, "song.wav")))

    def test_plugin_that_is_not_one(self):
        with tempfile.TemporaryDirectory() as d:
            fake = os.path.join(d, "fake.so")
            with open(fake, "wb") as f:
                f.write(b"not a library")
            r = run("render", "--type", "Young Pops", "--variant", "1", "--seed", SEED, "-o", "song.wav",
                    "--plugin", fake, cwd=d)
            self.assertEqual(r.returncode, 1)
            self.assertEqual(len(r.stderr.decode().strip().splitlines()), 1)
            self.assertIn("Failed to load VST plugin", r.stderr.decode())
            self.assertFalse(os.path.exists(os.path.join(d, "song.wav")))

    def test_damaged_song(self):
        with tempfile.TemporaryDirectory() as d:
            bad = os.path.join(d, "bad.mid")
            with open(bad, "wb") as f:
                f.write(b"MThd\x00\x00\x00\x06\x00\x01\x00\x09\x01\xe0MTrk\xff\xff")
            r = run("render", "--song", bad, "-o", "song.wav", cwd=d)
            self.assertNotEqual(r.returncode, 0)
            self.assertEqual(len(r.stderr.decode().strip().splitlines()), 1)
            self.assertFalse(os.path.exists(os.path.join(d, "song.wav")))

    def test_wrong_option(self):
        with tempfile.TemporaryDirectory() as d:
            r = run("render", "--type", "Young Pops", "-o", "song.wav", "--sound", "kazoo", cwd=d)
            self.assertEqual(r.returncode, 2)
            self.assertEqual(len(r.stderr.decode().strip().splitlines()), 1)
            self.assertFalse(os.path.exists(os.path.join(d, "song.wav")))

    def test_instrument_sound(self):
        with tempfile.TemporaryDirectory() as d:
            r = run("render", "--type", "Young Pops", "--variant", "1", "--seed", SEED, "-o", "song.wav",
                    "--sound", "instrument", "--stems", "stems", cwd=d)
            self.assertEqual(r.returncode, 0, r.stderr.decode())
            _, _, melody = read_wav(os.path.join(d, "stems", "voice.wav"))
            self.assertGreater(rms(melody), 300)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
