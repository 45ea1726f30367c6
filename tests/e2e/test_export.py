#!/usr/bin/python3
"""export: generated songs written as MusicXML, read by python's own XML
parser and zipfile, and opened by MuseScore 3 (headless) when it is
installed: the score carries the XF melody note for note (pitch and onset),
its key, time signature and tempo, and one lyric per sung syllable in order;
MuseScore's MIDI has the melody's notes and its own MusicXML every lyric."""

import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET
import zipfile

import mido

HARMOLIN = sys.argv[1] if len(sys.argv) > 1 else "build/bin/harmolin"
MSCORE = shutil.which("mscore3") or shutil.which("musescore3")
STEPS = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}
# (type, variant, seed): a straight song and one in triplet feel.
SONGS = {"straight": ("Young Pops", "1", "11"), "triplets": ("Young Pops", "2", "1")}


def run(*args, cwd=None):
    return subprocess.run([HARMOLIN, *args], capture_output=True, cwd=cwd)


def read_xf(path):
    """Melody (start tick at 480 per quarter, note), lyrics, and the first
    time signature, key and tempo, read with mido from the XF chunks."""
    with open(path, "rb") as f:
        data = f.read()
    chunks, pos = [], 0
    while pos + 8 <= len(data):
        length = struct.unpack(">I", data[pos + 4:pos + 8])[0]
        chunks.append((data[pos:pos + 4], data[pos + 8:pos + 8 + length]))
        pos += 8 + length
    song = mido.MidiFile(file=io.BytesIO(data[:14 + 8 + len(chunks[1][1])]))
    scale = 480 / song.ticks_per_beat
    melody, now, meta = [], 0, {}
    for m in song.tracks[0]:
        now += m.time
        if m.type == "note_on" and m.velocity > 0 and m.channel == 0:
            melody.append((round(now * scale), m.note))
        elif m.type in ("time_signature", "key_signature", "set_tempo") and m.type not in meta:
            meta[m.type] = m
    karaoke = mido.MidiFile(file=io.BytesIO(data[:8] + struct.pack(">HHH", 0, 1, song.ticks_per_beat) + b"MTrk" +
                                            struct.pack(">I", len(chunks[3][1])) + chunks[3][1]))
    lyrics = [m.bin()[3:].decode("cp932") for m in karaoke.tracks[0] if m.type == "lyrics"]
    return sorted(melody), lyrics, meta


def midi_pitch(pitch):
    alter = int(pitch.findtext("alter", "0"))
    return 12 * (int(pitch.findtext("octave")) + 1) + STEPS[pitch.findtext("step")] + alter


def read_score(root):
    """Sounded notes (onset, pitch, lyric, syllabic), measures as (length,
    sum of durations), tuplet groups' durations and the score's divisions."""
    divisions = int(root.find(".//attributes/divisions").text)
    notes, measures, tuplets, group = [], [], [], None
    start, beats, beat_type = 0, 4, 4
    for measure in root.iter("measure"):
        time = measure.find("attributes/time")
        if time is not None:
            beats, beat_type = int(time.findtext("beats")), int(time.findtext("beat-type"))
        length = beats * 4 * divisions // beat_type
        at = start
        for note in measure.iter("note"):
            duration = int(note.findtext("duration"))
            tuplet = note.find("notations/tuplet")
            if tuplet is not None and tuplet.get("type") == "start":
                group = 0
            if group is not None:
                group += duration
            if tuplet is not None and tuplet.get("type") == "stop":
                tuplets.append(group)
                group = None
            tie_stop = any(t.get("type") == "stop" for t in note.findall("tie"))
            if note.find("rest") is None and not tie_stop:
                lyric = note.find("lyric")
                notes.append((at, midi_pitch(note.find("pitch")),
                              lyric.findtext("text") if lyric is not None else None,
                              lyric.findtext("syllabic") if lyric is not None else None))
            at += duration
        measures.append((length, at - start))
        start += length
    return divisions, notes, measures, tuplets


class ExportTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="export-")
        for name, (kind, variant, seed) in SONGS.items():
            made = run("generate", "--type", kind, "--variant", variant, "--seed", seed, "-o", name + ".mid",
                       "--lyrics", name + ".txt", cwd=cls.dir)
            if made.returncode != 0:
                raise AssertionError("generate failed: " + made.stderr.decode(errors="replace"))
            for args in ([name + ".mid", "-o", name + ".musicxml", "--lyrics", name + ".txt", "--with-chords"],
                         [name + ".mid", "-o", name + "-plain.xml"], [name + ".mid", "-o", name + ".mxl"]):
                done = run("export", *args, cwd=cls.dir)
                if done.returncode != 0:
                    raise AssertionError("export failed: " + done.stderr.decode(errors="replace"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def test_score_carries_the_melody_and_one_lyric_per_syllable(self):
        for name in SONGS:
            for variant in (".musicxml", "-plain.xml"):
                with self.subTest(song=name, file=variant):
                    melody, lyrics, meta = read_xf(self.path(name + ".mid"))
                    root = ET.parse(self.path(name + variant)).getroot()
                    self.assertEqual(root.tag, "score-partwise")
                    divisions, notes, measures, _ = read_score(root)
                    self.assertEqual(divisions, 480)
                    # Engine songs sit on the grid: every onset and pitch as in the song.
                    self.assertEqual([(at, pitch) for at, pitch, _, _ in notes], melody)
                    self.assertEqual([text for _, _, text, _ in notes if text is not None], lyrics)
                    for length, filled in measures:
                        self.assertEqual(length, filled)
                    first = root.find(".//measure/attributes")
                    time = meta["time_signature"]
                    self.assertEqual((int(first.findtext("time/beats")), int(first.findtext("time/beat-type"))),
                                     (time.numerator, time.denominator))
                    self.assertIsNotNone(first.find("key/fifths"))
                    tempo = float(root.find(".//sound[@tempo]").get("tempo"))
                    self.assertAlmostEqual(tempo, mido.tempo2bpm(meta["set_tempo"].tempo), places=1)

    def test_syllabic_marks_whole_words(self):
        for name in SONGS:
            for variant in (".musicxml", "-plain.xml"):
                with self.subTest(song=name, file=variant):
                    _, notes, _, _ = read_score(ET.parse(self.path(name + variant)).getroot())
                    marks = [s for _, _, _, s in notes if s is not None]
                    inside = False
                    for mark in marks:
                        self.assertEqual(mark in ("middle", "end"), inside, marks)
                        inside = mark in ("begin", "middle")
                    self.assertFalse(inside)
                    self.assertGreater(marks.count("begin"), len(marks) // 10)

    def test_lines_as_written_head_their_phrases(self):
        for name in SONGS:
            with open(self.path(name + ".txt"), encoding="utf-8") as f:
                lines = [line.strip() for line in f if line.strip()]
            root = ET.parse(self.path(name + ".musicxml")).getroot()
            self.assertEqual([w.text for w in root.iter("words")], lines)
            plain = ET.parse(self.path(name + "-plain.xml")).getroot()
            self.assertEqual(list(plain.iter("words")), [])

    def test_triplets_fill_their_beats(self):
        _, _, _, tuplets = read_score(ET.parse(self.path("triplets.musicxml")).getroot())
        self.assertGreater(len(tuplets), 10)
        # A beat of eighth-note triplets, or a half bar of quarter-note triplets.
        self.assertLessEqual(set(tuplets), {480, 960})
        _, _, _, none = read_score(ET.parse(self.path("straight.musicxml")).getroot())
        self.assertEqual(none, [])

    def test_ties_join_equal_pitches(self):
        root = ET.parse(self.path("straight.musicxml")).getroot()
        notes = [n for n in root.iter("note") if n.find("rest") is None]
        ties = 0
        for a, b in zip(notes, notes[1:]):
            if any(t.get("type") == "start" for t in a.findall("tie")):
                ties += 1
                self.assertTrue(any(t.get("type") == "stop" for t in b.findall("tie")))
                self.assertEqual(midi_pitch(a.find("pitch")), midi_pitch(b.find("pitch")))
                self.assertIsNone(b.find("lyric"))
        self.assertGreater(ties, 0)

    def test_chord_symbols_only_when_asked(self):
        with_chords = ET.parse(self.path("straight.musicxml")).getroot()
        harmonies = list(with_chords.iter("harmony"))
        self.assertGreater(len(harmonies), 8)
        for h in harmonies:
            self.assertIn(h.findtext("root/root-step"), STEPS)
            self.assertTrue(h.findtext("kind"))
        self.assertEqual(list(ET.parse(self.path("straight-plain.xml")).getroot().iter("harmony")), [])

    def test_mxl_is_a_zip_of_container_and_score(self):
        with zipfile.ZipFile(self.path("straight.mxl")) as z:
            self.assertIsNone(z.testzip())
            self.assertEqual(z.namelist()[0], "mimetype")
            container = ET.fromstring(z.read("META-INF/container.xml"))
            inner = container.find("rootfiles/rootfile").get("full-path")
            root = ET.fromstring(z.read(inner))
        _, notes, _, _ = read_score(root)
        _, plain, _, _ = read_score(ET.parse(self.path("straight-plain.xml")).getroot())
        self.assertEqual(notes, plain)
        self.assertLess(os.path.getsize(self.path("straight.mxl")), os.path.getsize(self.path("straight-plain.xml")) / 5)

    def test_lines_of_another_song_are_named_and_ignored(self):
        result = run("export", "straight.mid", "-o", "other.musicxml", "--lyrics", "triplets.txt", cwd=self.dir)
        self.assertEqual(result.returncode, 0)
        self.assertIn("do not spell", result.stderr.decode())
        root = ET.parse(self.path("other.musicxml")).getroot()
        self.assertEqual(list(root.iter("words")), [])
        quiet = run("export", "straight.mid", "-o", "same.musicxml", "--lyrics", "straight.txt", cwd=self.dir)
        self.assertEqual(quiet.stderr, b"")

    def test_bad_input_leaves_nothing(self):
        keep = self.path("keep.musicxml")
        with open(keep, "w") as f:
            f.write("previous")
        with open(self.path("broken.mid"), "wb") as f:
            f.write(b"MThd\x00\x00\x00\x06\x00\x00\x00\x01\x01\xe0MTrk\x00\x00\x01\x00\x00\x90")
        cases = [(["straight.mid", "-o", "score.pdf"], 2, "score.pdf"),
                 (["broken.mid", "-o", "keep.musicxml"], 1, None),
                 (["straight.mid", "-o", "keep.musicxml", "--lyrics", "missing.txt"], 1, None),
                 (["-o", "keep.musicxml"], 2, None)]
        for args, code, absent in cases:
            with self.subTest(args=args):
                result = run("export", *args, cwd=self.dir)
                self.assertEqual(result.returncode, code)
                self.assertEqual(len(result.stderr.decode().strip().splitlines()), 1, result.stderr)
                if absent:
                    self.assertFalse(os.path.exists(self.path(absent)))
        with open(keep) as f:
            self.assertEqual(f.read(), "previous")
        self.assertEqual([n for n in os.listdir(self.dir) if ".partial-" in n], [])


@unittest.skipUnless(MSCORE, "MuseScore 3 (musescore3) not installed: the score is not opened by a notation editor")
class MuseScoreTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="export-mscore-")
        cls.env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=cls.dir, HOME=cls.dir)
        for name, (kind, variant, seed) in SONGS.items():
            run("generate", "--type", kind, "--variant", variant, "--seed", seed, "-o", name + ".mid",
                "--lyrics", name + ".txt", cwd=cls.dir)
            run("export", name + ".mid", "-o", name + ".musicxml", "--lyrics", name + ".txt", "--with-chords",
                cwd=cls.dir)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def convert(self, source, target):
        result = subprocess.run([MSCORE, "-o", target, source], cwd=self.dir, env=self.env, capture_output=True,
                                timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        return os.path.join(self.dir, target)

    def test_musescore_plays_the_melody_and_keeps_the_lyrics(self):
        for name in SONGS:
            with self.subTest(song=name):
                melody, lyrics, _ = read_xf(os.path.join(self.dir, name + ".mid"))
                played = mido.MidiFile(self.convert(name + ".musicxml", name + "-ms.mid"))
                scale = 480 / played.ticks_per_beat
                notes, now = [], 0
                for m in mido.merge_tracks(played.tracks):
                    now += m.time
                    if m.type == "note_on" and m.velocity > 0:
                        notes.append((round(now * scale), m.note))
                self.assertEqual(len(notes), len(melody))
                self.assertEqual([n for _, n in sorted(notes)], [n for _, n in melody])
                # Onsets relative to the first note (MuseScore may drop leading silence).
                self.assertEqual([t - notes[0][0] for t, _ in sorted(notes)], [t - melody[0][0] for t, _ in melody])
                back = ET.parse(self.convert(name + ".musicxml", name + "-back.musicxml")).getroot()
                texts = [l.findtext("text") for n in back.iter("note") for l in n.findall("lyric")]
                self.assertEqual(texts, lyrics)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
