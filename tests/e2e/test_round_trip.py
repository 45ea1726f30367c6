#!/usr/bin/python3
"""Load -> save -> load keeps every event at its absolute time
(`harmolin copy IN -o OUT --format 0|1|xf`), and every file written is read
without complaint by mido, midicsv and a strict chunk walker."""

import os

import harmolin_e2e as h


def example(name):
    return os.path.join(os.path.dirname(os.path.dirname(h.DATA)), "data", "examples", name)


class RoundTrip(h.TempDirCase):

    def copy(self, src, fmt, name="out.mid"):
        out = self.path(name)
        before = h.sha256(src)
        h.run_ok(self, "copy", src, "--format", fmt, "-o", out, cwd=self.tmp)
        self.assertEqual(h.sha256(src), before, "copy changed its input")
        info, mid = h.assert_readable(self, out, xf=(fmt == "xf"))
        self.assertEqual(info[0], 1 if fmt == "1" else 0, "wrong format written")
        leftovers = sorted(set(os.listdir(self.tmp)) - {name, os.path.basename(src)} - set(self.keep))
        self.assertEqual(leftovers, [], "files left behind by the save")
        self.keep.append(name)
        return out, mid

    def setUp(self):
        super().setUp()
        self.keep = []

    def same_file_format(self, src, fmt, format1_load):
        """Same-format copy: events, division, track count; a second copy is
        byte for byte the first (the writer is deterministic and stable)."""
        ref = h.read_mido(src)
        out, mid = self.copy(src, fmt)
        self.assertEqual(mid.ticks_per_beat, ref.ticks_per_beat)
        h.assert_same_events(self, h.mido_view(ref), h.mido_view(mid), os.path.basename(src),
                             allow_master_volume=format1_load)
        if fmt == "1":
            self.assertEqual(len(mid.tracks), len(ref.tracks), "format-1 copy changed the track count")
            for i, (a, b) in enumerate(zip(ref.tracks, mid.tracks)):
                ea, eb = h.track_events(a), h.track_events(b)
                h.assert_same_events(self, ea, eb, "track %d" % i, allow_master_volume=True)
        out2, _ = self.copy(out, fmt, name="again.mid")
        with open(out, "rb") as a, open(out2, "rb") as b:
            self.assertEqual(a.read(), b.read(), "saving a saved file changed its bytes")
        return out, mid

    def test_format0(self):
        self.same_file_format(h.data("fmt0-mido.mid"), "0", False)

    def test_format0_running_status(self):
        self.same_file_format(h.data("running-status.mid"), "0", False)

    def test_format1(self):
        self.same_file_format(h.data("fmt1-mido.mid"), "1", True)

    def test_format1_abc2midi(self):
        self.same_file_format(h.data("abc-drums.mid"), "1", True)

    def test_format1_example(self):
        self.same_file_format(example("morning-walk.mid"), "1", True)

    def test_macbinary_saved_without_header(self):
        out, mid = self.copy(h.data("macbinary.mid"), "0")
        h.assert_same_events(self, h.mido_view(h.data("fmt0-mido.mid")), h.mido_view(mid), "macbinary")

    def test_format1_to_format0_merges(self):
        src = h.data("fmt1-mido.mid")
        out, mid = self.copy(src, "0")
        self.assertEqual(len(mid.tracks), 1)
        h.assert_same_events(self, h.mido_view(src), h.mido_view(mid), "merged", allow_master_volume=True)

    def test_format0_to_format1_splits_by_channel(self):
        src = h.data("fmt0-mido.mid")
        out, mid = self.copy(src, "1")
        h.assert_same_events(self, h.mido_view(src), h.mido_view(mid), "split", allow_master_volume=True)
        for i, track in enumerate(mid.tracks):
            channels = {msg.channel for msg in track if hasattr(msg, "channel")}
            self.assertLessEqual(len(channels), 1, "track %d mixes channels %s" % (i, channels))

    def test_xf(self):
        src = h.data("xf-song.mid")
        out, mid = self.copy(src, "xf")
        h.assert_same_events(self, h.mido_view(src), h.mido_view(mid), "XF song track")
        h.assert_same_events(self, h.karaoke_events(src), h.karaoke_events(out), "XF lyric track")
        self.assertEqual(dict(h.chunks(src))["XFIH"], dict(h.chunks(out))["XFIH"], "XFIH changed")
        self.assertEqual(h.lyric_texts(h.karaoke_events(out))[:3], ["さ", "く", "ら"])
        out2, _ = self.copy(out, "xf", name="again.mid")
        with open(out, "rb") as a, open(out2, "rb") as b:
            self.assertEqual(a.read(), b.read(), "saving a saved XF file changed its bytes")

    def test_save_replaces_an_existing_file(self):
        out = self.path("out.mid")
        with open(out, "wb") as f:
            f.write(b"old contents " * 1000)
        h.run_ok(self, "copy", h.data("fmt0-mido.mid"), "--format", "0", "-o", out)
        h.assert_readable(self, out)
        self.assertEqual(sorted(os.listdir(self.tmp)), ["out.mid"], "temporary files left behind")


if __name__ == "__main__":
    h.main()
