#!/usr/bin/python3
"""Any plug-in sings or plays: Debian's VST 2 instruments (Kars from
dpf-plugins-vst, ZynAddSubFX from zynaddsubfx-vst) play the melody, and our
singer copied under syllable-program names sings, in render and in play.
Heard by readers no one here wrote: the wave module and numpy for levels,
mido for the notes and the sung part's form, aubiopitch (yinfft) for the
played pitches. The song is a melody-only XF file (no accompaniment, no
drums) cut from a generated song, so play also shows that such a song plays."""

import io
import math
import os
import re
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import unittest
import wave

import mido
import numpy

from harmolin_e2e import subfolder

HARMOLIN = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/bin/harmolin")
OUR_SINGER = os.path.join(os.path.dirname(HARMOLIN), "..", "lib", "harmolin-voice.so")
KARS = "/usr/lib/vst/Kars-vst.so"
ZYN = "/usr/lib/vst/ZynAddSubFX.so"
BEATS = 16


def run(*args, cwd, timeout=120):
    return subprocess.run([HARMOLIN, *args], capture_output=True, cwd=cwd, timeout=timeout)


def chunks(data):
    i = 0
    while i + 8 <= len(data):
        cid, n = data[i:i + 4], int.from_bytes(data[i + 4:i + 8], "big")
        yield cid, data[i + 8:i + 8 + n]
        i += 8 + n


def track_bytes(track, division):
    f = mido.MidiFile(type=0, ticks_per_beat=division)
    f.tracks.append(track)
    buf = io.BytesIO()
    f.save(file=buf)
    return dict(chunks(buf.getvalue()))[b"MTrk"]


def cut(track, limit, keep):
    out, now, last = mido.MidiTrack(), 0, 0
    for msg in track:
        now += msg.time
        if msg.type == "end_of_track":
            break
        if now > limit or not keep(msg):
            continue
        out.append(msg.copy(time=now - last))
        last = now
    out.append(mido.MetaMessage("end_of_track", time=max(limit - last, 0)))
    return out


def melody_only(src, dst):
    """The XF song at src cut to BEATS beats with only channel 1 left: the
    song track through mido, the XF lyric chunk read as a track and cut the
    same way, the XF information chunk kept."""
    with open(src, "rb") as f:
        data = f.read()
    parts = dict(chunks(data))
    division = struct.unpack(">H", parts[b"MThd"][4:6])[0]
    limit = division * BEATS
    melody = cut(mido.MidiFile(src).tracks[0], limit, lambda m: not hasattr(m, "channel") or m.channel == 0)
    header = b"MThd" + struct.pack(">IHHH", 6, 0, 1, division)
    as_track = header + b"MTrk" + struct.pack(">I", len(parts[b"XFKM"])) + parts[b"XFKM"]
    lyrics = cut(mido.MidiFile(file=io.BytesIO(as_track)).tracks[0], limit - 1, lambda m: True)
    out = header
    for cid, payload in ((b"MTrk", track_bytes(melody, division)), (b"XFIH", parts[b"XFIH"]),
                         (b"XFKM", track_bytes(lyrics, division))):
        out += cid + struct.pack(">I", len(payload)) + payload
    with open(dst, "wb") as f:
        f.write(out)


def mono(path):
    with wave.open(path, "rb") as w:
        data = numpy.frombuffer(w.readframes(w.getnframes()), dtype=numpy.int16).astype(float) / 32768.0
        return data[0::w.getnchannels()], w.getframerate()


def level_db(samples):
    return 20 * math.log10(math.sqrt(float(numpy.mean(samples * samples))) + 1e-12)


def melody_notes(path):
    notes, held, now = [], {}, 0.0
    for msg in mido.MidiFile(path):
        now += msg.time
        if msg.type == "note_on" and msg.velocity > 0 and msg.channel == 0:
            held[msg.note] = now
        elif msg.type in ("note_off", "note_on") and msg.channel == 0 and msg.note in held:
            notes.append((held.pop(msg.note), now, msg.note))
    return sorted(notes)


def pitch_errors(stem, song, folder):
    """Cents from each note of the song's melody to the median pitch heard in
    the middle half of it (octave-folded: an instrument may sit an octave
    away)."""
    samples, rate = mono(stem)
    flat = os.path.join(folder, "pitch.wav")
    with wave.open(flat, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes((numpy.clip(samples, -1, 1) * 32767).astype(numpy.int16).tobytes())
    out = subprocess.run(["aubiopitch", "-p", "yinfft", "-i", flat], capture_output=True, check=True)
    track = [tuple(map(float, line.split())) for line in out.stdout.decode().splitlines() if len(line.split()) == 2]
    track = [(t, f) for t, f in track if f > 0]
    errors = []
    notes = [n for n in melody_notes(song) if n[1] - n[0] >= 0.15]
    for start, end, note in notes:
        a, b = start + (end - start) * 0.25, end - (end - start) * 0.25
        heard = [f for t, f in track if a <= t <= b]
        if len(heard) >= 3:
            c = 1200 * math.log2(statistics.median(heard) / (440 * 2 ** ((note - 69) / 12)))
            errors.append(abs(c - 1200 * round(c / 1200)))
    return notes, errors


def voice_track_form(path):
    """'syllable' when channel 1 carries notes and program changes, 'vocaloid'
    when it carries the NRPN control stream."""
    kinds = {msg.type for t in mido.MidiFile(path).tracks for msg in t if getattr(msg, "channel", -1) == 0}
    nrpn = any(msg.type == "control_change" and msg.control == 99 and getattr(msg, "channel", -1) == 0
               for t in mido.MidiFile(path).tracks for msg in t)
    if nrpn and "note_on" not in kinds:
        return "vocaloid"
    if "note_on" in kinds and "program_change" in kinds and not nrpn:
        return "syllable"
    return "mixed"


class PluginKinds(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(prefix="kinds-")
        cls.dir = cls.tmp.name
        full = os.path.join(cls.dir, "full.mid")
        r = run("generate", "--type", "Child Song", "--variant", "1", "--seed", "5", "-o", full, cwd=cls.dir)
        assert r.returncode == 0, r.stderr
        cls.song = os.path.join(cls.dir, "melody.mid")
        melody_only(full, cls.song)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def folder(self, name):
        return subfolder(self.dir, name)

    def render(self, plugin, name, *extra):
        folder = self.folder(name)
        r = run("render", "--song", self.song, "-o", "song.wav", "--plugin", plugin, "--stems", "stems", *extra,
                cwd=folder)
        self.assertEqual(r.returncode, 0, r.stderr.decode(errors="replace"))
        return folder, r

    def assert_plays_the_melody(self, plugin, name):
        folder, r = self.render(plugin, name)
        self.assertEqual(voice_track_form(os.path.join(folder, "temp_pl.mid")), "syllable")
        stem = os.path.join(folder, "stems", "voice.wav")
        level = level_db(mono(stem)[0])
        notes, errors = pitch_errors(stem, os.path.join(folder, "temp_plsv.mid"), folder)
        print(f"\n{name}: melody stem {level:.1f} dBFS, {len(errors)} of {len(notes)} notes heard, "
              f"median error {statistics.median(errors) if errors else float('nan'):.1f} cents", file=sys.stderr)
        self.assertGreater(level, -45.0, "the melody stem is not audible")
        self.assertGreater(len(errors), len(notes) * 0.6, "too few notes were heard")
        self.assertLess(statistics.median(errors), 50)

    @unittest.skipUnless(os.path.exists(KARS), "dpf-plugins-vst is not installed (scripts/setup installs it)")
    def test_kars_plays_the_melody(self):
        self.assert_plays_the_melody(KARS, "kars")

    @unittest.skipUnless(os.path.exists(ZYN), "zynaddsubfx-vst is not installed (scripts/setup installs it)")
    def test_zynaddsubfx_plays_the_melody(self):
        self.assert_plays_the_melody(ZYN, "zyn")

    def test_our_singer_under_syllable_program_names_sings_in_render_and_play(self):
        for name in ("CantrixVoice.so", "my.Cantrix.so", "Cantrix.so"):
            with self.subTest(name=name):
                home = self.folder("plugin-" + name)
                plugin = os.path.join(home, name)
                shutil.copy(OUR_SINGER, plugin)
                shutil.copy(os.path.join(os.path.dirname(OUR_SINGER), "voice.csv"), home)
                folder, _ = self.render(plugin, "render-" + name)
                self.assertEqual(voice_track_form(os.path.join(folder, "temp_pl.mid")), "syllable")
                self.assertGreater(level_db(mono(os.path.join(folder, "stems", "voice.wav"))[0]), -40.0)
                played = self.folder("play-" + name)
                r = run("play", "--song", self.song, "--audio-device", "null", "--plugin", plugin, "--delay", "0",
                        cwd=played)
                out = r.stdout.decode()
                self.assertEqual(r.returncode, 0, r.stderr.decode(errors="replace"))
                self.assertEqual(voice_track_form(os.path.join(played, "temp_pl.mid")), "syllable")
                self.assertRegex(out, r"voice peak: -?\d+\.\d dBFS", "the voice was silent in play")

    def test_melody_only_song_plays_in_its_length_on_the_null_device(self):
        folder = self.folder("play-ours")
        r = run("play", "--song", self.song, "--audio-device", "null", "--plugin", OUR_SINGER, "--delay", "0",
                cwd=folder)
        self.assertEqual(r.returncode, 0, r.stderr.decode(errors="replace"))
        self.assertEqual(voice_track_form(os.path.join(folder, "temp_pl.mid")), "vocaloid")
        length = mido.MidiFile(os.path.join(folder, "temp_pl.mid")).length
        played = float(re.search(r"played [\d.]+ s in ([\d.]+) s", r.stdout.decode()).group(1))
        self.assertLess(abs(played - length) / length, 0.03)
        self.assertRegex(r.stdout.decode(), r"voice peak: -?\d+\.\d dBFS")

    def test_the_singer_is_the_first_of_the_list_beside_the_plugin(self):
        home = self.folder("singers")
        plugin = os.path.join(home, "harmolin-voice.so")
        shutil.copy(OUR_SINGER, plugin)
        with open(os.path.join(home, "voice.csv"), "wb") as f:
            f.write(b"Alto,low\r\nTenor,high\r\n")
        r = run("sequence", self.song, "-o", "sung.mid", "--plugin", plugin, cwd=home)
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(os.path.join(home, "sung.mid"), "rb") as f:
            sung = f.read()
        self.assertIn(b"Alto", sung)
        self.assertNotIn(b"Tenor", sung)
        # No list beside it: said at once, and the unknown singer sings.
        os.remove(os.path.join(home, "voice.csv"))
        r = run("sequence", self.song, "-o", "sung.mid", "--plugin", plugin, cwd=home)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("GetVoiceList", r.stderr.decode())
        with open(os.path.join(home, "sung.mid"), "rb") as f:
            self.assertIn("不明".encode("cp932"), f.read())

    def test_the_override_names_the_kind(self):
        # Our singer told it is an instrument: the melody as plain notes.
        folder, _ = self.render(OUR_SINGER, "override", "--plugin-kind", "instrument")
        self.assertEqual(voice_track_form(os.path.join(folder, "temp_pl.mid")), "syllable")
        r = run("render", "--song", self.song, "-o", "x.wav", "--plugin-kind", "cantrix", cwd=self.folder("bad"))
        self.assertEqual(r.returncode, 2)
        self.assertEqual(len(r.stderr.decode().strip().splitlines()), 1)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]])
