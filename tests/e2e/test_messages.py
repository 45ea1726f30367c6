#!/usr/bin/python3
"""Every message reaches the person when it is raised: in the terminal a
"harmolin: warning:" line on standard error, a file name on the line of the
error it belongs to, an error with its reason. Each case raises one message
through the program as a user would; the song files are made with mido."""

import io
import os
import struct
import subprocess
import sys
import tempfile
import unittest

import mido

from harmolin_e2e import subfolder

HARMOLIN = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/bin/harmolin")


def run(*args, cwd, timeout=120):
    r = subprocess.run([HARMOLIN, *args], capture_output=True, cwd=cwd, timeout=timeout)
    return r.returncode, r.stdout.decode(errors="replace"), r.stderr.decode(errors="replace")


def chunks(data):
    i = 0
    while i + 8 <= len(data):
        cid, n = data[i:i + 4], int.from_bytes(data[i + 4:i + 8], "big")
        yield cid, data[i + 8:i + 8 + n]
        i += 8 + n


def rescaled(src, dst, division):
    """The XF song at src with every time (song and lyric chunks) moved to
    another division."""
    with open(src, "rb") as f:
        parts = dict(chunks(f.read()))
    old = struct.unpack(">H", parts[b"MThd"][4:6])[0]

    def scaled(payload):
        fake = b"MThd" + struct.pack(">IHHH", 6, 0, 1, old) + b"MTrk" + struct.pack(">I", len(payload)) + payload
        out, now, last = mido.MidiTrack(), 0, 0
        for msg in mido.MidiFile(file=io.BytesIO(fake)).tracks[0]:
            now += msg.time
            at = now * division // old
            out.append(msg.copy(time=at - last))
            last = at
        f = mido.MidiFile(type=0, ticks_per_beat=division)
        f.tracks.append(out)
        buf = io.BytesIO()
        f.save(file=buf)
        return dict(chunks(buf.getvalue()))[b"MTrk"]

    out = b"MThd" + struct.pack(">IHHH", 6, 0, 1, division)
    for cid in (b"MTrk", b"XFIH", b"XFKM"):
        payload = parts[cid] if cid == b"XFIH" else scaled(parts[cid])
        out += cid + struct.pack(">I", len(payload)) + payload
    with open(dst, "wb") as f:
        f.write(out)


class TerminalMessages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(prefix="messages-")
        cls.dir = cls.tmp.name
        cls.song = os.path.join(cls.dir, "song.mid")
        rc, _, err = run("generate", "--type", "Child Song", "--variant", "1", "--seed", "5", "-o", cls.song,
                         cwd=cls.dir)
        assert rc == 0, err

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def folder(self, name):
        return subfolder(self.dir, name)

    def test_a_96_tick_song_prints_its_division_warning(self):
        coarse = os.path.join(self.dir, "coarse.mid")
        rescaled(self.song, coarse, 96)
        self.assertEqual(mido.MidiFile(coarse).ticks_per_beat, 96)
        rc, _, err = run("sequence", coarse, "-o", "sung.mid", cwd=self.folder("coarse"))
        self.assertEqual(rc, 0, err)
        self.assertEqual(err.count("harmolin: warning: 分解能警告"), 1, err)
        self.assertTrue(os.path.exists(os.path.join(self.dir, "coarse", "sung.mid")))

    def test_a_broken_plugin_is_refused_with_its_reason(self):
        folder = self.folder("broken")
        with open(os.path.join(folder, "broken.so"), "wb") as f:
            f.write(b"not a library")
        for command in (["render", "-o", "x.wav"], ["play", "--audio-device", "null"]):
            rc, _, err = run(*command, "--song", self.song, "--plugin", "broken.so", cwd=folder)
            self.assertEqual(rc, 1)
            lines = err.strip().splitlines()
            self.assertEqual(len(lines), 1, err)
            # The file in this folder (not a search of the system's libraries) and why it failed.
            self.assertRegex(lines[0], r"Failed to load VST plugin.*broken\.so \(.*broken\.so: .+\)")
            self.assertFalse(os.path.exists(os.path.join(folder, "x.wav")))
        rc, _, err = run("render", "--song", self.song, "-o", "x.wav", "--plugin", folder, cwd=folder)
        self.assertEqual(rc, 1)
        self.assertIn("is a folder, not a plug-in file", err)

    def test_a_word_list_error_names_its_file_on_its_own_line(self):
        folder = self.folder("words")
        # A row of three fields in the user's own kanji.csv.
        with open(os.path.join(folder, "kanji.csv"), "wb") as f:
            f.write("夢,ゆめ\r\n空,そら,あお\r\n".encode("cp932"))
        rc, _, err = run("sequence", self.song, "-o", "sung.mid", cwd=folder)
        lines = [l for l in err.splitlines() if l.strip()]
        gnll = [l for l in lines if "GNLL" in l]
        self.assertEqual(len(gnll), 1, err)
        self.assertIn(os.path.join(folder, "kanji.csv"), gnll[0])
        self.assertIn("harmolin: warning: 2 line error occrued!", lines)
        # Nothing else carries the file's name.
        self.assertEqual(sum("kanji.csv" in l for l in lines), 1, err)

    def test_an_xf_file_that_cannot_be_written_names_its_path(self):
        target = os.path.join(self.dir, "absent", "x.mid")
        rc, _, err = run("generate", "--type", "Child Song", "--variant", "1", "--seed", "5", "-o", target,
                         cwd=self.dir)
        self.assertEqual(rc, 1)
        self.assertEqual(len(err.strip().splitlines()), 1, err)
        self.assertIn(target, err)
        self.assertIn("GENE01000007", err)

    def test_a_midi_port_that_cannot_open_says_why(self):
        rc, _, err = run("play", "--song", self.song, "--sound", "instrument", "--audio-device", "null",
                         "--midi-port", "0", cwd=self.folder("port"))
        if os.path.exists("/dev/snd/seq"):
            self.skipTest("this machine has an ALSA sequencer")
        self.assertEqual(rc, 1)
        self.assertEqual(len(err.strip().splitlines()), 1, err)
        self.assertRegex(err, r"Can not open Midi device! \(.+\)")

    def test_rough_edges(self):
        folder = self.folder("edges")
        # The working folder before the command.
        rc, out, err = run("--workdir", folder, "render", "--song", self.song, "-o", os.path.join(folder, "i.wav"),
                           "--sound", "instrument", cwd=self.dir)
        self.assertEqual(rc, 0, err)
        self.assertTrue(os.path.exists(os.path.join(folder, "temp_plsv.mid")))
        # No false warning about the saved song's format.
        self.assertNotIn("format 1", err)
        self.assertEqual(err.strip(), "")


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]])
