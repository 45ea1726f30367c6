#!/usr/bin/python3
"""`harmolin prepare IN --channel C -o OUT [--guide-volume N]`: the song made
ready for lyrics, checked against an independent model of the preparation
computed from mido's reading of the input:

  - one format-0 track at 480 ticks per quarter note, every time rescaled;
  - channel events of channel C move to channel 1 and those of channel 1 to
    channel C; GS rhythm-part messages follow their part (checksum redone);
  - every volume control (CC 7) on channel 11 gets the guide volume (42 by
    default); none is added;
  - on channel 1, where several notes start together only the highest stays;
  - a song without any note on channel 10 gets a beat track there: note 35,
    velocity 1, one tick long, at 480, 960, ... up to the first multiple of
    480 not below the song's length;
  - everything else unchanged.
"""

import os

import harmolin_e2e as h

DEFAULT_GUIDE_VOLUME = 42
GUIDE_CHANNEL = 11
DRUM_CHANNEL = 10


def gs_block(channel):
    """Part block of a channel (1..16) in a GS part address."""
    n = channel - 1
    return 0 if n == 9 else (n + 1 if n < 9 else n)


def gs_channel(block):
    return 10 if block == 0 else (block if block <= 9 else block + 1)


def rewrite_gs(data, swap):
    """A GS rhythm-part message addressed to a swapped channel, readdressed."""
    if len(data) == 9 and tuple(data[:4]) == (0x41, 0x10, 0x42, 0x12) and data[4] == 0x40 \
            and ((data[5] & 0xF0 == 0x10 and data[6] == 0x15) or (data[5] & 0xF0 == 0x40 and data[6] == 0x20)):
        ch = gs_channel(data[5] & 0x0F)
        if ch in swap:
            body = [0x40, (data[5] & 0xF0) | gs_block(swap[ch]), data[6], data[7]]
            return (0x41, 0x10, 0x42, 0x12) + tuple(body) + ((128 - sum(body) % 128) % 128,)
    return data


def expected_song(src_mid, channel, guide_volume):
    """(events other than channel-1 notes, channel-1 note-ons, length) expected
    in the prepared song, ticks as floats at 480 per quarter note."""
    scale = 480.0 / src_mid.ticks_per_beat
    swap = {1: channel, channel: 1}
    others, melody = [], []
    has_drums = False
    for tick, kind, ch, data in h.mido_view(src_mid):
        t = tick * scale
        if ch:
            ch = swap.get(ch, ch)
        if kind == "sysex":
            data = rewrite_gs(data, swap)
        if kind == "control_change" and ch == GUIDE_CHANNEL and data[0] == 7:
            data = (7, guide_volume)
        if kind == "note_on" and ch == DRUM_CHANNEL:
            has_drums = True
        if ch == 1 and kind in ("note_on", "note_off"):
            if kind == "note_on":
                melody.append((t, kind, ch, data))
            continue
        others.append((t, kind, ch, data))
    # keep only the highest notes of each start tick
    top = {}
    for t, _, _, data in melody:
        top[t] = max(top.get(t, -1), data[0])
    melody = [e for e in melody if e[3][0] == top[e[0]]]
    length = h.end_tick(src_mid) * scale
    return others, melody, length, has_drums


class Prepare(h.TempDirCase):

    def setUp(self):
        super().setUp()
        # The program's current folder, apart from the folder of the outputs.
        self.cwd = self.path("cwd")
        os.mkdir(self.cwd)

    def outputs(self):
        return sorted(set(os.listdir(self.tmp)) - {"cwd"})

    def prepare(self, src, channel, *extra, name="song.mid"):
        out = self.path(name)
        before = h.sha256(src)
        r = h.run_ok(self, "prepare", src, "--channel", str(channel), "-o", out, *extra, cwd=self.cwd)
        self.assertEqual(h.sha256(src), before, "prepare changed its input")
        info, mid = h.assert_readable(self, out)
        self.assertEqual(info[0], 0, "prepared song must be format 0")
        self.assertEqual(len(mid.tracks), 1)
        self.assertEqual(mid.ticks_per_beat, 480)
        return out, mid, r

    def check(self, src, channel, guide_volume=None, format1=False):
        extra = () if guide_volume is None else ("--guide-volume", str(guide_volume))
        out, mid, _ = self.prepare(src, channel, *extra)
        src_mid = h.read_mido(src)
        others, melody, length, has_drums = expected_song(
            src_mid, channel, DEFAULT_GUIDE_VOLUME if guide_volume is None else guide_volume)
        actual = h.mido_view(mid)
        if format1:
            actual = h.drop_added_master_volume(others, actual)

        got_melody = [e for e in actual if e[2] == 1 and e[1] == "note_on"]
        got_melody_offs = [e for e in actual if e[2] == 1 and e[1] == "note_off"]
        h.assert_events_close(self, melody, got_melody, "melody on channel 1")
        self.assertEqual(len(got_melody_offs), len(got_melody), "melody note-ons and note-offs do not pair up")

        beats = [e for e in actual if e[2] == DRUM_CHANNEL and e[1] in ("note_on", "note_off")
                 and e[3][0] == 35 and (e[1] == "note_off" or e[3][1] == 1)]
        if has_drums:
            rest = actual  # any beat note would show up as an extra event below
        else:
            n = 1
            while n * 480 < length:
                n += 1
            expected_beats = []
            for k in range(1, n + 1):
                expected_beats.append((k * 480, "note_on", DRUM_CHANNEL, (35, 1)))
                expected_beats.append((k * 480 + 1, "note_off", DRUM_CHANNEL, (35,)))
            h.assert_events_close(self, expected_beats, beats, "beat track (song length %.1f)" % length,
                                  tolerance=0)
            rest = [e for e in actual if e not in beats]
        rest = [e for e in rest if not (e[2] == 1 and e[1] in ("note_on", "note_off"))]
        h.assert_events_close(self, others, rest, "other events")
        guide = [e[3][1] for e in actual if e[1] == "control_change" and e[2] == GUIDE_CHANNEL and e[3][0] == 7]
        self.assertTrue(all(v == (guide_volume if guide_volume is not None else DEFAULT_GUIDE_VOLUME)
                            for v in guide), guide)
        return out, mid

    def test_format0_melody_on_channel_3(self):
        out, mid = self.check(h.data("fmt0-mido.mid"), 3)
        # The GS rhythm-part message of channel 1 now addresses channel 3.
        sysex = [tuple(m.data) for m in mid.tracks[0] if m.type == "sysex"]
        self.assertIn((0x41, 0x10, 0x42, 0x12, 0x40, 0x13, 0x15, 0x00, 0x18), sysex)

    def test_guide_volume_option(self):
        for volume in (0, 100, 127):
            with self.subTest(volume):
                self.check(h.data("fmt0-mido.mid"), 3, guide_volume=volume)

    def test_melody_already_on_channel_1(self):
        self.check(h.data("fmt0-mido.mid"), 1)

    def test_format1_with_drums(self):
        self.check(h.data("fmt1-mido.mid"), 4, format1=True)

    def test_abc2midi_song_with_drums(self):
        self.check(h.data("abc-drums.mid"), 2, format1=True)

    def test_running_status_melody_on_channel_2(self):
        self.check(h.data("running-status.mid"), 2)

    def test_example_song(self):
        root = os.path.dirname(os.path.dirname(h.DATA))
        out, mid = self.check(os.path.join(root, "data", "examples", "morning-walk.mid"), 3, format1=True)
        # the melody's closing chord keeps only its top note, C5
        last = [m.note for m in mid.tracks[0] if m.type == "note_on" and m.velocity and m.channel == 0][-1]
        self.assertEqual(last, 72)

    def test_xf_input(self):
        self.check(h.data("xf-song.mid"), 1)

    def test_beat_track_of_a_1000_tick_song(self):
        out, mid, _ = self.prepare(h.data("short-1000.mid"), 1)
        beats = []
        tick = 0
        for m in mid.tracks[0]:
            tick += m.time
            if m.type == "note_on" and m.velocity and m.channel == 9:
                beats.append((tick, m.note, m.velocity))
        self.assertEqual(beats, [(480, 35, 1), (960, 35, 1), (1440, 35, 1)])

    def test_preparing_twice_changes_nothing(self):
        out, mid, _ = self.prepare(h.data("fmt0-mido.mid"), 3)
        out2, mid2, _ = self.prepare(out, 1, name="again.mid")
        h.assert_same_events(self, h.mido_view(mid), h.mido_view(mid2), "second preparation")

    def test_output_is_deterministic(self):
        out, _, _ = self.prepare(h.data("fmt1-mido.mid"), 4)
        out2, _, _ = self.prepare(h.data("fmt1-mido.mid"), 4, name="again.mid")
        self.assertEqual(h.sha256(out), h.sha256(out2))

    def test_existing_output_is_replaced_cleanly(self):
        out = self.path("song.mid")
        with open(out, "wb") as f:
            f.write(b"an older song" * 100)
        self.prepare(h.data("fmt0-mido.mid"), 3)
        self.assertEqual(self.outputs(), ["song.mid"], "temporary files left behind")

    def test_default_output_is_temp_dv_in_the_working_folder(self):
        src = h.data("fmt0-mido.mid")
        h.run_ok(self, "prepare", src, "--channel", "3", cwd=self.cwd)
        self.assertEqual(os.listdir(self.cwd), ["temp_dv.mid"])
        h.assert_readable(self, os.path.join(self.cwd, "temp_dv.mid"))
        work = self.path("work")
        os.mkdir(work)
        h.run_ok(self, "prepare", src, "--channel", "3", "--workdir", work, cwd=self.cwd)
        self.assertEqual(os.listdir(work), ["temp_dv.mid"])
        with open(os.path.join(work, "temp_dv.mid"), "rb") as a, open(os.path.join(self.cwd, "temp_dv.mid"), "rb") as b:
            self.assertEqual(a.read(), b.read())

    def test_working_folder_option(self):
        work = self.path("work")
        os.mkdir(work)
        self.prepare(h.data("fmt0-mido.mid"), 3, "--workdir", work)
        self.assertEqual(os.listdir(self.cwd), [], "working files went to the current folder, not --workdir")


if __name__ == "__main__":
    h.main()
