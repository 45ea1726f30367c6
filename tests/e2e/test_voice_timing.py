#!/usr/bin/python3
"""The sung voice in time and in tune, heard in `render --stems` output.

An XF song written here (a melody on channel 1 with its syllables, a
side-stick click on every note on channel 10) is rendered with our singing
plug-in. The first click in the
accompaniment stem says where the beats landed in the file; the voice stem is measured by
praat (voicing and pitch, frame by frame) and numpy (levels and spectrum)."""

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
import numpy as np

HARMOLIN = sys.argv[1] if len(sys.argv) > 1 else "build/bin/harmolin"
PITCH_SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pitch_frames.praat")
FORMANT_SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "voice", "formants.praat")
# Published Japanese vowel formants (F1, F2 Hz), raised about 17 % for a
# woman's voice.
VOWELS = {"あ": (880, 1630), "い": (370, 2560), "う": (430, 1570), "え": (585, 2300), "お": (610, 1180)}
CLICK = 37  # side stick


def track_payload(track):
    buffer = io.BytesIO()
    holder = mido.MidiFile(type=0, ticks_per_beat=480, charset="cp932")
    holder.tracks.append(track)
    holder.save(file=buffer)
    return buffer.getvalue()[14 + 8:]


def write_xf_song(path, notes, bpm, syllables):
    """An XF song written here, not by us: notes are (MIDI note or None for a
    rest, beats), sung to the syllables in turn, with a click on each."""
    tpb = 480
    melody, lyrics = mido.MidiTrack(), mido.MidiTrack()
    melody.append(mido.MetaMessage("set_tempo", tempo=int(60e6 / bpm)))
    events, words, tick, sung = [], [], 0, 0
    for note, beats in notes:
        length = int(round(beats * tpb))
        if note is not None:
            events += [(tick, 1, mido.Message("note_on", channel=0, note=note, velocity=100)),
                       (tick, 1, mido.Message("note_on", channel=9, note=CLICK, velocity=110)),
                       (tick + 60, 0, mido.Message("note_off", channel=9, note=CLICK)),
                       (tick + length, 0, mido.Message("note_off", channel=0, note=note))]
            words.append((tick, syllables[sung % len(syllables)]))
            sung += 1
        tick += length
    now = 0
    for at, _, msg in sorted(events, key=lambda e: (e[0], e[1])):
        melody.append(msg.copy(time=at - now))
        now = at
    now = 0
    for at, text in words:
        lyrics.append(mido.MetaMessage("lyrics", text=text, time=at - now))
        now = at
    info = b"\x00\xff\x01\x05XFln:\x00\xff\x2f\x00"
    with open(path, "wb") as f:
        f.write(struct.pack(">4sIHHH", b"MThd", 6, 0, 1, tpb))
        for name, payload in ((b"MTrk", track_payload(melody)), (b"XFIH", info), (b"XFKM", track_payload(lyrics))):
            f.write(name + struct.pack(">I", len(payload)) + payload)


def sung_notes(path):
    """(seconds, seconds long, note) of the XF song's melody."""
    with open(path, "rb") as f:
        data = f.read()
    length = struct.unpack(">I", data[18:22])[0]
    song = mido.MidiFile(file=io.BytesIO(data[:22 + length]))
    tempo, seconds, starts, notes = 500000, 0.0, {}, []
    for msg in song.tracks[0]:
        if msg.time:
            seconds += mido.tick2second(msg.time, song.ticks_per_beat, tempo)
        if msg.type == "set_tempo":
            tempo = msg.tempo
        if msg.type == "note_on" and msg.velocity > 0 and msg.channel == 0:
            starts[msg.note] = seconds
        elif msg.type in ("note_off", "note_on") and msg.channel == 0 and msg.note in starts:
            start = starts.pop(msg.note)
            notes.append((start, seconds - start, msg.note))
    return sorted(notes)


def read_wav(path):
    with wave.open(path) as w:
        rate, channels = w.getframerate(), w.getnchannels()
        samples = np.frombuffer(w.readframes(w.getnframes()), dtype=np.int16).astype(float) / 32768
    return samples[::channels], rate


def frame_db(x, rate, step=0.005, width=0.010):
    """RMS level in dB of width-second frames every step seconds."""
    n, hop = int(width * rate), int(step * rate)
    frames = [x[i:i + n] for i in range(0, len(x) - n, hop)]
    return np.array([10 * np.log10(np.mean(f * f) + 1e-20) for f in frames]), step


def praat_pitch(wav):
    """(time, Hz or 0 when unvoiced) of every 5 ms frame, by praat."""
    out = subprocess.run(["praat", "--run", PITCH_SCRIPT, wav], check=True, capture_output=True, text=True).stdout
    return np.array([[float(v) for v in line.split()] for line in out.splitlines() if line.strip()])


class Rendered:
    """A melody with lyrics, rendered with stems."""

    def __init__(self, folder, notes, bpm, syllables=("ら", "な", "か", "あ", "ま", "た")):
        self.song = os.path.join(folder, "song.mid")
        write_xf_song(self.song, notes, bpm, syllables)
        stems = os.path.join(folder, "stems")
        subprocess.run([HARMOLIN, "render", "--song", self.song, "-o", os.path.join(folder, "mix.wav"),
                        "--stems", stems], check=True, capture_output=True, cwd=folder)
        self.voice_path = os.path.join(stems, "voice.wav")
        self.voice, self.rate = read_wav(self.voice_path)
        accompaniment, _ = read_wav(os.path.join(stems, "accompaniment.wav"))
        self.notes = sung_notes(self.song)
        self.offset = self.click_offset(accompaniment)

    def click_offset(self, accompaniment):
        """Where the song's time 0 lies in the file: the first click's onset
        (out of silence) minus its note's time. The accompaniment is held back
        by the voice's delay; every later event keeps its distance."""
        levels, step = frame_db(accompaniment, self.rate, step=0.001, width=0.002)
        first = self.notes[0][0]
        i = int(first / step)
        while i < len(levels) and levels[i] < -50:
            i += 1
        return i * step - first


class VoiceTiming(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="harmolin-timing-")

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def test_notes_last_their_written_length_and_end_before_a_rest(self):
        # 120 BPM: 1, 2 and 4 beats, each before a rest of two beats.
        notes = [(64, 1), (None, 2), (62, 2), (None, 2), (64, 4), (None, 2), (60, 1), (None, 2)]
        song = Rendered(self.folder, notes, 120, ["さ", "ま", "あ", "か"])
        levels, step = frame_db(song.voice, song.rate)
        loud = levels.max()
        for start, length, _ in song.notes:
            at = start + song.offset
            held = levels[int((at + 0.03) / step):int((at + 0.95 * length) / step)]
            self.assertGreater(held.min(), loud - 30, f"note at {start:.2f} s ({length:.1f} s) stops early")
            after = levels[int((at + length + 0.15) / step):int((at + length + 0.3) / step)]
            self.assertLess(after.max(), loud - 60, f"note at {start:.2f} s sounds on after its end")
        # Before each phrase after the first, a breath fills the end of the rest:
        # heard, but well below the singing.
        for start, _, _ in song.notes[1:]:
            at = start + song.offset
            breath = levels[int((at - 0.23) / step):int((at - 0.11) / step)].max()
            self.assertGreater(breath, loud - 60, f"no breath before {start:.2f} s")
            self.assertLess(breath, loud - 15, f"the breath before {start:.2f} s is as loud as singing")

        # The held "a" (four beats) is open: bright above 6 kHz, and the
        # 2-4 kHz band close to the 0.5-1 kHz band.
        start, length, _ = song.notes[2]
        at = start + song.offset
        x = song.voice[int((at + 0.3) * song.rate):int((at + length - 0.3) * song.rate)]
        window = np.hanning(4096)
        power = sum(np.abs(np.fft.rfft(x[i:i + 4096] * window)) ** 2 for i in range(0, len(x) - 4096, 2048))
        freq = np.fft.rfftfreq(4096, 1 / song.rate)

        def band(lo, hi):
            return 10 * np.log10(power[(freq >= lo) & (freq < hi)].sum() / power.sum())

        print(f"held a: above 6 kHz {band(6000, 22050):.1f} dB, 2-4 kHz {band(2000, 4000):.1f} dB, "
              f"0.5-1 kHz {band(500, 1000):.1f} dB")
        self.assertGreater(band(6000, 22050), -45)
        self.assertGreater(band(2000, 4000), band(500, 1000) - 12)

    def test_vowels_start_on_the_beat_after_their_consonants(self):
        # さ す は つ せ し on quarter notes at 100 BPM, each after a rest.
        kana = ["さ", "す", "は", "つ", "せ", "し"]
        notes = []
        for i in range(len(kana)):
            notes += [(62 + 2 * (i % 3), 1), (None, 1)]
        song = Rendered(self.folder, notes, 100, kana)
        frames = praat_pitch(song.voice_path)
        for (start, _, _), syllable in zip(song.notes, kana):
            at = start + song.offset
            near = frames[(frames[:, 0] > at - 0.15) & (frames[:, 0] < at + 0.15)]
            voiced = near[near[:, 1] > 0]
            self.assertTrue(len(voiced), f"{syllable} is not voiced")
            onset = voiced[0, 0] - at
            print(f"{syllable}: voiced from {onset * 1000:+.0f} ms")
            self.assertLessEqual(abs(onset), 0.030, f"{syllable}: the vowel starts {onset * 1000:+.0f} ms off the beat")

    def test_held_vowels_read_as_their_own(self):
        # The five vowels held 1.5 s at C4 and at E4, each after a rest.
        kana = list(VOWELS) * 2
        notes = []
        for i in range(len(kana)):
            notes += [(60 if i < 5 else 64, 3), (None, 1)]
        song = Rendered(self.folder, notes, 120, kana)
        for (start, length, note), vowel in zip(song.notes, kana):
            at = start + song.offset
            out = subprocess.run(["praat", "--run", FORMANT_SCRIPT, song.voice_path, str(at + 0.3),
                                  str(at + length - 0.2)], check=True, capture_output=True, text=True).stdout
            f1, f2 = (float(v) for v in out.split())
            nearest = min(VOWELS, key=lambda v: np.log(f1 / VOWELS[v][0]) ** 2 + np.log(f2 / VOWELS[v][1]) ** 2)
            print(f"{vowel} at {note}: F1 {f1:.0f} Hz, F2 {f2:.0f} Hz, reads as {nearest}")
            self.assertEqual(nearest, vowel, f"{vowel} at note {note}")

        # Vibrato on the held notes: a singer's rate and depth, never twice
        # exactly the same.
        frames = praat_pitch(song.voice_path)
        shapes = []
        for start, length, note in song.notes:
            at = start + song.offset
            held = frames[(frames[:, 0] > at + length * 0.5) & (frames[:, 0] < at + length - 0.1) & (frames[:, 1] > 0)]
            cents = 1200 * np.log2(held[:, 1] / (440 * 2 ** ((note - 69) / 12)))
            cents -= cents.mean()
            crossings = np.count_nonzero(np.diff(np.sign(cents)) != 0)
            rate = crossings / 2 / (held[-1, 0] - held[0, 0])
            depth = np.percentile(np.abs(cents), 95)
            shapes.append((round(rate, 1), round(depth)))
            self.assertTrue(4.5 <= rate <= 7.5, f"vibrato rate {rate:.1f} Hz")
            self.assertTrue(8 <= depth <= 80, f"vibrato depth {depth:.0f} cents")
        print("vibrato (Hz, cents):", shapes)
        self.assertGreater(len(set(shapes)), len(shapes) // 2)

    def test_pitch_arrives_soon_after_leaps(self):
        # Eighths and quarters at 120 BPM, joined, leaping 3 to 12 semitones.
        pitches = [60, 64, 57, 65, 72, 62, 69, 60, 67, 71, 64, 76, 67, 62, 70, 63, 72, 65]
        notes = [(p, 0.5 if i % 3 else 1) for i, p in enumerate(pitches)] + [(None, 1)]
        song = Rendered(self.folder, notes, 120)
        frames = praat_pitch(song.voice_path)
        arrived, leaps = 0, 0
        for (start, _, note), (_, _, before) in zip(song.notes[1:], song.notes):
            if abs(note - before) < 3:
                continue
            leaps += 1
            at = start + song.offset
            window = frames[(frames[:, 0] >= at + 0.05) & (frames[:, 0] <= at + 0.1) & (frames[:, 1] > 0)]
            cents = 1200 * np.log2(window[:, 1] / (440 * 2 ** ((note - 69) / 12))) if len(window) else [999]
            worst = float(np.max(np.abs(cents)))
            print(f"{before} -> {note}: {worst:.0f} cents off from 50 ms")
            arrived += worst <= 20
        self.assertGreaterEqual(leaps, 12)
        self.assertGreaterEqual(arrived, 0.9 * leaps)

        # One phrase of joined notes: its loudness moves by 3 dB or more
        # (vowels only: from 60 ms after each start to 40 ms before its end).
        levels, step = frame_db(song.voice, song.rate, step=0.01, width=0.05)
        vowels = np.concatenate([levels[int((start + song.offset + 0.06) / step):
                                        int((start + song.offset + length - 0.09) / step)]
                                 for start, length, _ in song.notes])
        print(f"phrase loudness: {vowels.max() - vowels.min():.1f} dB between softest and loudest")
        self.assertGreaterEqual(vowels.max() - vowels.min(), 3.0)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
