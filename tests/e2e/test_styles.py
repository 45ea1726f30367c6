#!/usr/bin/python3
"""Every style of the table composes cleanly; the styles differ as their names
say; random styles change from song to song; a dozen render audibly."""

import array
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import wave

import mido

HARMOLIN = sys.argv[1] if len(sys.argv) > 1 else "build/bin/harmolin"
SOUNDFONT = "/usr/share/sounds/sf2/FluidR3_GM.sf2"
RENDERED = ["Unplugged", "Enka", "Jazz Waltz", "Bossanova", "Vienna Waltz", "Gamelan", "Euro Beat",
            "Blues Guitar", "Reggae", "Church Organ", "Hero's Theme", "Music Box"]


def run(*args, check=True):
    result = subprocess.run([HARMOLIN, *args], capture_output=True, text=True)
    if check and result.returncode != 0:
        raise AssertionError(f"harmolin {' '.join(args)} failed: {result.stderr}")
    return result


def style_table():
    rows = []
    for line in run("styles").stdout.splitlines()[1:]:
        m = re.match(r"(\d+)\s+(\d+)\s+(.{20}) (\S+)\s+([\d.]+)\s+(.*)", line)
        if m:
            rows.append((int(m[1]), int(m[2]), m[3].strip(), m[4], float(m[5]), m[6]))
    return rows


def summary(path):
    """tempo, programs per channel and notes per channel of a composed song."""
    mid = mido.MidiFile(path)
    tempo, programs, notes = None, {}, {}
    for msg in mid.tracks[0]:
        if msg.type == "set_tempo" and tempo is None:
            tempo = msg.tempo
        elif msg.type == "program_change":
            programs.setdefault(msg.channel, msg.program)
        elif msg.type == "note_on" and msg.velocity > 0:
            notes[msg.channel] = notes.get(msg.channel, 0) + 1
    return tempo, programs, notes


class StyleLibrary(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="harmolin-styles-")
        cls.rows = style_table()

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def compose(self, group, slot, seed):
        path = os.path.join(self.tmp, f"{group}-{slot}-{seed}.mid")
        result = run("compose", "--group", str(group), "--slot", str(slot), "--seed", str(seed), "-o", path)
        return path, result.stderr

    def test_table_is_full(self):
        self.assertGreaterEqual(len(self.rows), 140)
        self.assertEqual({g for g, *_ in self.rows}, set(range(9)))
        meters = {r[3] for r in self.rows}
        self.assertTrue({"4/4", "3/4", "7/8"} <= meters, meters)

    def test_every_style_composes_cleanly(self):
        for group, slot, name, *_ in self.rows:
            for seed in (5, 6):
                path, stderr = self.compose(group, slot, seed)
                self.assertEqual(stderr, "", f"{name} seed {seed}")
                tempo, _, notes = summary(path)
                self.assertIsNotNone(tempo, name)
                self.assertGreater(sum(notes.values()), 50, name)
                self.assertGreater(notes.get(1, 0), 20, f"{name}: melody")

    def test_styles_differ(self):
        tempos, melody_programs, drum_sets = set(), set(), set()
        for group, slot, name, _, bpm, _ in self.rows:
            if slot == 0:
                continue
            path, _ = self.compose(group, slot, 9)
            tempo, programs, notes = summary(path)
            tempos.add(tempo)
            melody_programs.add(programs.get(1))
            drum_sets.add(notes.get(9, 0) > 0)
        self.assertGreater(len(tempos), 25)
        # The melody's program is the guide voice (64) in every generated song.
        self.assertEqual(melody_programs, {64})
        self.assertEqual(drum_sets, {True, False}, "some styles have drums, some have none")

    def test_random_styles_change_every_time(self):
        for group, slot, name, *_ in self.rows:
            if slot != 0:
                continue
            seen = set()
            for seed in range(1, 7):
                path, stderr = self.compose(group, slot, seed)
                self.assertEqual(stderr, "", f"{name} seed {seed}")
                tempo, programs, _ = summary(path)
                seen.add((tempo, tuple(sorted(programs.items()))))
            self.assertGreater(len(seen), 2, f"group {group}: {name} keeps coming out the same")

    @unittest.skipUnless(shutil.which("fluidsynth") and os.path.exists(SOUNDFONT), "FluidSynth not installed")
    def test_a_dozen_render_audibly(self):
        names = {r[2]: (r[0], r[1]) for r in self.rows}
        for name in RENDERED:
            self.assertIn(name, names)
            path, _ = self.compose(*names[name], 2)
            wav = path + ".wav"
            subprocess.run(["fluidsynth", "-ni", "-g", "0.5", "-F", wav, "-r", "22050", SOUNDFONT, path],
                           check=True, capture_output=True)
            with wave.open(wav) as w:
                samples = array.array("h", w.readframes(w.getnframes()))
                seconds = w.getnframes() / w.getframerate()
            step = samples[::11]
            rms = (sum(s * s for s in step) / max(1, len(step))) ** 0.5
            self.assertGreater(seconds, 15, name)
            self.assertGreater(rms, 200, f"{name}: audible")
            os.remove(wav)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
