#!/usr/bin/python3
"""Every sung syllable starts on its note: a melody of separate notes is given
lyrics (load), rendered with our singing plug-in (render --stems), and the
start of each syllable is read from the voice's envelope in the mix."""

import array
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import wave

import mido

HARMOLIN = sys.argv[1] if len(sys.argv) > 1 else "build/bin/harmolin"
TOLERANCE = 0.015  # seconds
NOTES = [60, 62, 64, 65, 67, 65, 64, 62, 60, 62]


def melody_starts(xf_path):
    """Seconds of every melody note of an XF song (its standard track)."""
    with open(xf_path, "rb") as f:
        data = f.read()
    length = struct.unpack(">I", data[18:22])[0]
    song = mido.MidiFile(file=io.BytesIO(data[:22 + length]))
    tempo, seconds, starts = 500000, 0.0, []
    for msg in song.tracks[0]:
        if msg.time:
            seconds += mido.tick2second(msg.time, song.ticks_per_beat, tempo)
        if msg.type == "set_tempo":
            tempo = msg.tempo
        if msg.type == "note_on" and msg.velocity > 0 and msg.channel == 0:
            starts.append(seconds)
    return starts


class VoiceTiming(unittest.TestCase):
    def test_syllables_start_within_15_ms_of_their_notes(self):
        tmp = tempfile.mkdtemp(prefix="harmolin-timing-")
        try:
            melody = mido.MidiFile(ticks_per_beat=480)
            track = mido.MidiTrack()
            melody.tracks.append(track)
            track.append(mido.MetaMessage("set_tempo", tempo=500000))
            for i, note in enumerate(NOTES):
                track.append(mido.Message("note_on", channel=0, note=note, velocity=100, time=0 if i == 0 else 960))
                track.append(mido.Message("note_off", channel=0, note=note, velocity=0, time=240))
            source = os.path.join(tmp, "melody.mid")
            melody.save(source)
            song = os.path.join(tmp, "song.mid")
            subprocess.run([HARMOLIN, "load", source, "--channel", "1", "--seed", "1", "-o", song], check=True,
                           capture_output=True, cwd=tmp)
            mix = os.path.join(tmp, "mix.wav")
            subprocess.run([HARMOLIN, "render", "--song", song, "-o", mix], check=True, capture_output=True,
                           cwd=tmp)

            with wave.open(mix) as w:
                rate, channels = w.getframerate(), w.getnchannels()
                samples = array.array("h", w.readframes(w.getnframes()))
            left = samples[::channels]
            window = rate // 1000

            def envelope(t0, t1):
                first, last = max(0, int(t0 * rate)), min(len(left), int(t1 * rate))
                return [max(abs(x) for x in left[i:i + window]) for i in range(first, last - window, window)]

            starts = melody_starts(song)
            self.assertEqual(len(starts), len(NOTES))
            sung = 0
            for t in starts:
                before, after = envelope(t - 0.06, t), envelope(t, t + 0.15)
                base, peak = (min(before) if before else 0), max(after)
                if peak < 1000:
                    continue  # a note that closes a phrase may stay silent
                sung += 1
                threshold = base + 0.1 * (peak - base)
                onset = next(i for i, v in enumerate(after) if v > threshold) / 1000.0
                self.assertLessEqual(onset, TOLERANCE, f"syllable at {t:.3f} s starts {onset * 1000:.0f} ms late")
                early = envelope(t - TOLERANCE - 0.02, t - TOLERANCE)
                self.assertLess(max(early) if early else 0, threshold, f"syllable at {t:.3f} s starts early")
            self.assertGreaterEqual(sung, len(NOTES) - 2)
        finally:
            shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
