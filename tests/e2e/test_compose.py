#!/usr/bin/python3
"""The composed songs of the main window's styles, read back by mido and
rendered by FluidSynth: structure, channels, ranges, lead-in, repeatability."""

import array
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import wave

import mido

HARMOLIN = sys.argv[1] if len(sys.argv) > 1 else "build/bin/harmolin"
SOUNDFONT = "/usr/share/sounds/sf2/FluidR3_GM.sf2"

# (song type, variant, style name, meter numerator, bars per song target)
CHOICES = [
    ("Young Pops", 1, "Evening Girls"),
    ("Young Pops", 2, "Jaunty Keys"),
    ("Adult Pops", 1, "Enka"),
    ("Adult Pops", 2, "Jazz Piano Trio"),
    ("Ocean Song", 1, "Enka"),
    ("Ocean Song", 2, "Okinawan Pops"),
    ("Child Song", 1, "Light Pops"),
    ("Ghost Song", 1, "Horror"),
    ("Ghost Song", 2, "Space Sound"),
]
SEEDS = [1, 7, 2024]


def run(*args, check=True):
    result = subprocess.run([HARMOLIN, *args], capture_output=True, text=True)
    if check and result.returncode != 0:
        raise AssertionError(f"harmolin {' '.join(args)} failed: {result.stderr}")
    return result


def absolute(track):
    tick = 0
    for msg in track:
        tick += msg.time
        yield tick, msg


def notes_by_channel(mid):
    """(start, note, channel) of every note-on with velocity."""
    out = []
    for track in mid.tracks:
        for tick, msg in absolute(track):
            if msg.type == "note_on" and msg.velocity > 0:
                out.append((tick, msg.note, msg.channel))
    return out


class ComposedSongs(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="harmolin-compose-")
        cls.songs = {}
        for type_name, variant, _ in CHOICES:
            for seed in SEEDS:
                path = os.path.join(cls.tmp, f"{type_name.replace(' ', '_')}-{variant}-{seed}.mid")
                result = run("compose", "--type", type_name, "--variant", str(variant), "--seed", str(seed),
                             "-o", path)
                cls.songs[(type_name, variant, seed)] = (path, result.stderr)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def test_no_engine_errors(self):
        for key, (_, stderr) in self.songs.items():
            self.assertNotIn("ZNRC", stderr, key)

    def test_conductor_and_lead_in(self):
        for key, (path, _) in self.songs.items():
            mid = mido.MidiFile(path)
            self.assertEqual(mid.type, 0, key)
            self.assertEqual(mid.ticks_per_beat, 96, key)
            events = list(absolute(mid.tracks[0]))
            sysex = [m.data for _, m in events if m.type == "sysex"]
            self.assertIn((0x7E, 0x7F, 0x09, 0x01), sysex, key)
            kinds = {m.type for _, m in events}
            for kind in ("set_tempo", "time_signature", "key_signature"):
                self.assertIn(kind, kinds, key)
            signature = next(m for _, m in events if m.type == "time_signature")
            bar = 96 * 4 * signature.numerator // signature.denominator
            first_note = min(t for t, m in events if m.type == "note_on" and m.velocity > 0)
            self.assertGreaterEqual(first_note, bar, f"{key}: one bar of lead-in")

    def test_melody_and_guide(self):
        for key, (path, _) in self.songs.items():
            notes = notes_by_channel(mido.MidiFile(path))
            melody = [(t, n) for t, n, c in notes if c == 1]
            guide = [(t, n) for t, n, c in notes if c == 10]
            self.assertGreater(len(melody), 30, key)
            self.assertTrue(all(56 <= n <= 70 for _, n in melody), f"{key}: melody range")
            self.assertEqual([(t + 2, n) for t, n in melody], guide, f"{key}: guide two ticks later")

    def test_parts_on_their_channels(self):
        for key, (path, _) in self.songs.items():
            channels = {c for _, _, c in notes_by_channel(mido.MidiFile(path))}
            self.assertIn(1, channels, key)
            self.assertTrue(channels & {2, 3, 6, 9}, f"{key}: accompaniment present: {sorted(channels)}")

    def test_tune_length(self):
        for key, (path, _) in self.songs.items():
            mid = mido.MidiFile(path)
            events = list(absolute(mid.tracks[0]))
            signature = next(m for _, m in events if m.type == "time_signature")
            bar = 96 * 4 * signature.numerator // signature.denominator
            end = max(t for t, _ in events)
            bars = end / bar
            self.assertGreater(bars, 8, key)
            self.assertLess(bars, 80, key)

    def test_same_seed_same_bytes(self):
        for type_name, variant, _ in CHOICES[:4]:
            first = os.path.join(self.tmp, "again.mid")
            run("compose", "--type", type_name, "--variant", str(variant), "--seed", "7", "-o", first)
            with open(first, "rb") as a, open(self.songs[(type_name, variant, 7)][0], "rb") as b:
                self.assertEqual(a.read(), b.read(), type_name)
            with open(self.songs[(type_name, variant, 1)][0], "rb") as a, \
                    open(self.songs[(type_name, variant, 2024)][0], "rb") as b:
                self.assertNotEqual(a.read(), b.read(), type_name)

    @unittest.skipUnless(shutil.which("fluidsynth") and os.path.exists(SOUNDFONT), "FluidSynth not installed")
    def test_renders_to_audible_music(self):
        for type_name, variant, _ in CHOICES:
            path = self.songs[(type_name, variant, 1)][0]
            wav = path + ".wav"
            subprocess.run(["fluidsynth", "-ni", "-g", "0.5", "-F", wav, "-r", "22050", SOUNDFONT, path],
                           check=True, capture_output=True)
            with wave.open(wav) as w:
                frames = w.readframes(w.getnframes())
                seconds = w.getnframes() / w.getframerate()
            samples = array.array("h", frames)
            rms = (sum(s * s for s in samples[::7]) / max(1, len(samples[::7]))) ** 0.5
            self.assertGreater(seconds, 15, type_name)
            self.assertGreater(rms, 300, f"{type_name} {variant}: audible")
            os.remove(wav)


class BadRequests(unittest.TestCase):
    def test_wrong_options_give_one_line(self):
        for args in (["compose", "--type", "Polka"], ["compose", "--type", "Child Song", "--variant", "2"],
                     ["compose", "--style", "No Such Style"], ["compose", "--type", "0", "--seed", "-3"],
                     ["compose", "--group", "1", "--slot", "23"]):
            result = run(*args, "-o", "/tmp/never-written.mid", check=False)
            self.assertNotEqual(result.returncode, 0, args)
            self.assertEqual(len(result.stderr.strip().splitlines()), 1, (args, result.stderr))
            self.assertFalse(os.path.exists("/tmp/never-written.mid"))


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
