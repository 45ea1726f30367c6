#!/usr/bin/python3
"""The sung voice sits over the accompaniment, whatever the style: every song
type and styles of every group are rendered with stems, and numpy compares
the two stems' RMS where the voice sings (0 to +6 dB)."""

import subprocess
import sys
import tempfile
import unittest
import wave

import numpy as np

HARMOLIN = sys.argv[1] if len(sys.argv) > 1 else "build/bin/harmolin"
TYPES = ["Young Pops", "Adult Pops", "Ocean Song", "Child Song", "Ghost Song"]
# One style of each group beyond the song types' own (group, slot).
STYLES = [(1, 2), (2, 5), (3, 1), (4, 7), (5, 3), (6, 4), (7, 9), (8, 2)]


def read(path):
    with wave.open(path) as w:
        x = np.frombuffer(w.readframes(w.getnframes()), dtype=np.int16).astype(float) / 32768
        return x.reshape(-1, w.getnchannels())


def voice_over_accompaniment(args):
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([HARMOLIN, "render", *args, "--seed", "11", "-o", "mix.wav", "--stems", "stems"], cwd=folder,
                       check=True, capture_output=True)
        voice = read(folder + "/stems/voice.wav").mean(axis=1)
        accompaniment = read(folder + "/stems/accompaniment.wav")
    n = 4410  # 100 ms
    frames = len(voice) // n
    v = np.array([np.mean(voice[i * n:(i + 1) * n] ** 2) for i in range(frames)])
    a = np.array([np.mean(accompaniment[i * n:(i + 1) * n] ** 2) for i in range(frames)])
    singing = v > v.max() * 1e-3
    return 10 * np.log10(v[singing].mean() / a[singing].mean())


class VoiceBalance(unittest.TestCase):
    def check(self, args, name):
        db = voice_over_accompaniment(args)
        print(f"{name}: voice {db:+.1f} dB over the accompaniment")
        self.assertGreaterEqual(db, 0.0, name)
        self.assertLessEqual(db, 6.0, name)

    def test_song_types(self):
        for song_type in TYPES:
            with self.subTest(song_type):
                self.check(["--type", song_type, "--variant", "1"], song_type)

    def test_styles_of_every_group(self):
        for group, slot in STYLES:
            with self.subTest(group=group, slot=slot):
                self.check(["--group", str(group), "--slot", str(slot)], f"group {group} slot {slot}")


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
