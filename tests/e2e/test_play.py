#!/usr/bin/python3
"""play: the song in real time on a machine without a sound card. ALSA's
null PCM device stands in for the sound card; the accompaniment goes to the
built-in synthesizer, the voice to our plug-in. The wall clock is the judge:
a song must take its own length (from mido) within 2 %, and Ctrl-C must stop
it at once."""

import os
import re
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import mido

HARMOLIN = sys.argv[1] if len(sys.argv) > 1 else "build/bin/harmolin"
SECONDS = 12.0


def trimmed_song(folder):
    """A generated song cut after SECONDS, so the test does not last minutes."""
    full = os.path.join(folder, "full.mid")
    proc = subprocess.run([HARMOLIN, "generate", "--type", "Child Song", "--variant", "1", "--seed", "5",
                           "-o", full], capture_output=True, cwd=folder)
    assert proc.returncode == 0, proc.stderr
    song = mido.MidiFile(full)
    out = mido.MidiFile(type=song.type, ticks_per_beat=song.ticks_per_beat)
    # The cut in ticks through the song's own tempo map.
    tempo, seconds, tick, limit = 500000, 0.0, 0, None
    for msg in mido.merge_tracks(song.tracks):
        seconds += mido.tick2second(msg.time, song.ticks_per_beat, tempo)
        tick += msg.time
        if seconds >= SECONDS:
            limit = tick
            break
        if msg.type == "set_tempo":
            tempo = msg.tempo
    assert limit is not None
    for track in song.tracks:
        kept, now, last = mido.MidiTrack(), 0, 0
        sounding = set()
        for msg in track:
            now += msg.time
            if msg.type == "end_of_track":
                break
            if now >= limit:
                continue
            if msg.type == "note_on" and msg.velocity > 0:
                sounding.add((msg.channel, msg.note))
            elif msg.type in ("note_off", "note_on"):
                sounding.discard((msg.channel, msg.note))
            kept.append(msg.copy(time=now - last))
            last = now
        for channel, note in sorted(sounding):
            kept.append(mido.Message("note_off", channel=channel, note=note, time=limit - last))
            last = limit
        kept.append(mido.MetaMessage("end_of_track", time=max(limit - last, 0)))
        out.tracks.append(kept)
    cut = os.path.join(folder, "cut.mid")
    out.save(cut)
    # The cut file is plain MIDI; load writes lyrics for it and makes it an XF song again.
    path = os.path.join(folder, "short.mid")
    proc = subprocess.run([HARMOLIN, "load", cut, "--channel", "1", "--type", "Child Song", "--seed", "5",
                           "-o", path], capture_output=True, cwd=folder)
    assert proc.returncode == 0, proc.stderr
    return path


class TrimmedSongFolder:
    """A test class's own folder holding the trimmed song (cls.song)."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.folder = cls.tmp.name
        cls.song = trimmed_song(cls.folder)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()


class PlayOnTheNullDevice(TrimmedSongFolder, unittest.TestCase):
    def play(self, *extra, timeout=120):
        started = time.monotonic()
        proc = subprocess.run([HARMOLIN, "play", "--song", self.song, "--audio-device", "null", *extra],
                              capture_output=True, cwd=self.folder, timeout=timeout)
        return proc, time.monotonic() - started

    def check_length(self, proc, played_file):
        out = proc.stdout.decode()
        self.assertEqual(proc.returncode, 0, proc.stderr.decode())
        match = re.search(r"played ([\d.]+) s in ([\d.]+) s", out)
        self.assertIsNotNone(match, out)
        expected = mido.MidiFile(os.path.join(self.folder, played_file)).length
        elapsed = float(match.group(2))
        print("\n  %s; mido: %.2f s" % (match.group(0), expected), file=sys.stderr)
        self.assertAlmostEqual(float(match.group(1)), expected, delta=0.05)
        self.assertLess(abs(elapsed - expected) / expected, 0.02, out)

    def test_instrument_plays_in_the_songs_own_time(self):
        proc, _ = self.play("--sound", "instrument")
        self.check_length(proc, "temp_plsv.mid")

    def test_voice_measures_its_delay_and_plays_in_time(self):
        proc, _ = self.play("--sound", "voice")
        out = proc.stdout.decode()
        self.assertRegex(out, r"voice delay: \d+ ms")
        # Our voice sings 250 ms behind its input (its consonants come before
        # the beat): the measurement must find that, so that the accompaniment
        # waits for the vowels.
        self.assertGreaterEqual(int(re.search(r"voice delay: (\d+) ms", out).group(1)), 200, out)
        self.check_length(proc, "temp_pl.mid")

    def test_no_test_note_before_the_song(self):
        """A first run with the plug-in measures its delay offline: the first
        sound is the song's own, at its time; the second run finds the delay kept."""
        with tempfile.TemporaryDirectory() as fresh:
            song = os.path.join(fresh, "song.mid")
            with open(self.song, "rb") as src, open(song, "wb") as dst:
                dst.write(src.read())
            for run, said in ((1, "measured offline"), (2, "measured before")):
                started = time.monotonic()
                proc = subprocess.Popen([HARMOLIN, "play", "--song", song, "--audio-device", "null", "--sound",
                                         "voice", "--timing"], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        cwd=fresh, text=True)
                lines = []
                for line in proc.stdout:
                    lines.append(line)
                    match = re.search(r"first sound at ([\d.]+) s \(monotonic\), first note ([\d.]+) s", line)
                    if match:
                        early = float(match.group(2)) - (float(match.group(1)) - started)
                        proc.send_signal(signal.SIGINT)
                        break
                proc.communicate(timeout=30)
                out = "".join(lines)
                self.assertIn("voice delay:", out)
                self.assertRegex(out, r"voice delay: \d+ ms \(%s\)" % said)
                self.assertIsNotNone(match, out)
                # A test note would sound a second or more before the song's first note.
                self.assertLess(early, 0.3, out)

    def test_ctrl_c_stops_at_once(self):
        proc = subprocess.Popen([HARMOLIN, "play", "--song", self.song, "--audio-device", "null", "--sound",
                                 "instrument"], stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=self.folder)
        # Wait until it plays, then interrupt.
        line = proc.stdout.readline().decode()
        self.assertIn("playing", line)
        time.sleep(1.0)
        sent = time.monotonic()
        proc.send_signal(signal.SIGINT)
        out, err = proc.communicate(timeout=10)
        took = time.monotonic() - sent
        self.assertEqual(proc.returncode, 0, err.decode())
        self.assertIn("stopped after", out.decode())
        self.assertLess(took, 1.0)

    def test_missing_devices_give_one_clear_line(self):
        for extra, needle in ((["--audio-device", "no-such-pcm"], "no audio output"),
                              (["--midi-port", "no-such-port"], "--midi-port")):
            started = time.monotonic()
            proc = subprocess.run([HARMOLIN, "play", "--song", self.song, "--sound", "instrument", *extra],
                                  capture_output=True, cwd=self.folder, timeout=30)
            err = proc.stderr.decode().strip().splitlines()
            self.assertNotEqual(proc.returncode, 0)
            self.assertEqual(len(err), 1, err)
            self.assertIn(needle, err[0])
            self.assertLess(time.monotonic() - started, 10)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
