#!/usr/bin/python3
"""One road, two clocks: render runs play's player, routing and host against
a sample clock, and the voice's gain follows one rule on both (play hears
the first seconds before the song, render in the song it renders). So the
voice's peak that play reports on the null device is, within a decibel, the
one render reports for the same song, and an instrument plug-in (Kars, at
its own gain) stays below full scale in play."""

import os
import re
import subprocess
import sys
import unittest

from test_play import HARMOLIN, TrimmedSongFolder

KARS = "/usr/lib/vst/Kars-vst.so"


def voice_peak(out):
    match = re.search(r"voice peak: (-?[\d.]+) dBFS", out)
    assert match, out
    return float(match.group(1))


class OneRoad(TrimmedSongFolder, unittest.TestCase):
    def run_harmolin(self, *args):
        proc = subprocess.run([HARMOLIN, *args], capture_output=True, cwd=self.folder, timeout=120)
        self.assertEqual(proc.returncode, 0, proc.stderr.decode(errors="replace"))
        return proc.stdout.decode(errors="replace")

    def roads(self, *plugin):
        rendered = self.run_harmolin("render", "--song", self.song, "-o", "song.wav", *plugin)
        delay = re.search(r"voice delay: (\d+) ms", rendered).group(1)
        # The same sung part: the accompaniment held back by the same delay.
        played = self.run_harmolin("play", "--song", self.song, "--audio-device", "null", "--delay", delay,
                                   *plugin)
        return voice_peak(rendered), voice_peak(played)

    def test_the_voice_peaks_alike_on_both_roads(self):
        rendered, played = self.roads()
        print(f"\n  voice peak: render {rendered:.1f} dBFS, play {played:.1f} dBFS", file=sys.stderr)
        self.assertLess(abs(rendered - played), 1.0)
        self.assertLess(rendered, 0.0)

    @unittest.skipUnless(os.path.exists(KARS), "dpf-plugins-vst is not installed (scripts/setup installs it)")
    def test_an_instrument_stays_below_full_scale_in_play(self):
        rendered, played = self.roads("--plugin", KARS)
        print(f"\n  Kars peak: render {rendered:.1f} dBFS, play {played:.1f} dBFS", file=sys.stderr)
        self.assertLess(played, 0.0)
        self.assertLess(abs(rendered - played), 1.0)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
