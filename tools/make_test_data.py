#!/usr/bin/python3
"""Writes the MIDI inputs of the end-to-end tests into tests/data/.

Good files are written by programs that are not ours (mido, abc2midi) or
assembled byte by byte where a feature has no writer here (XF chunks, a
MacBinary header, hand-chosen running status). tests/data/bad/ holds damaged
files, each named after its defect; tests/data/odd/ holds files that are
legal but unusual or damaged in a way a reader may repair: whatever the
program does with them, it must not crash or write a broken file.

Run with /usr/bin/python3 (python3-mido is installed for that interpreter).
The output is deterministic; commit it after running.
"""

import os
import struct
import subprocess
import sys

import mido

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(ROOT, "tests", "data")
BAD = os.path.join(DATA, "bad")
ODD = os.path.join(DATA, "odd")


# --- byte helpers -----------------------------------------------------------

def vlq(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def chunk(name, payload, length=None):
    if length is None:
        length = len(payload)
    return name + struct.pack(">L", length & 0xFFFFFFFF) + payload


def header(fmt, ntracks, division):
    return chunk(b"MThd", struct.pack(">HHH", fmt, ntracks, division & 0xFFFF))


def meta(mtype, data):
    return bytes([0xFF, mtype]) + vlq(len(data)) + bytes(data)


END = meta(0x2F, b"")


def gs_checksum(body):
    return (128 - sum(body) % 128) % 128


def gs_rhythm_part(block, value):
    """Roland GS 'use for rhythm part' for the part in block 0x0..0xF."""
    body = [0x40, 0x10 | block, 0x15, value]
    return [0x41, 0x10, 0x42, 0x12] + body + [gs_checksum(body)]


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    print("wrote", os.path.relpath(path, ROOT))


def track_from_absolute(events):
    """mido track from (tick, message) pairs; stable order within a tick."""
    track = mido.MidiTrack()
    now = 0
    for tick, msg in sorted(enumerate(events), key=lambda p: (p[1][0], p[0])):
        t, m = msg
        track.append(m.copy(time=t - now))
        now = t
    return track


def note(events, channel, start, length, pitch, velocity, off_as_zero=False):
    events.append((start, mido.Message("note_on", channel=channel, note=pitch, velocity=velocity)))
    if off_as_zero:
        off = mido.Message("note_on", channel=channel, note=pitch, velocity=0)
    else:
        off = mido.Message("note_off", channel=channel, note=pitch, velocity=64)
    events.append((start + length, off))


# --- good files ----------------------------------------------------------------

GM_ON = [0x7E, 0x7F, 0x09, 0x01]
MASTER_VOLUME_127 = [0x7F, 0x7F, 0x04, 0x01, 0x00, 0x7F]

# Melody as (beat, beats, pitch); a three-note chord and a two-note chord in it.
MELODY = [
    (0, 1, 64), (1, 1, 67), (2, 1, 69),
    (3, 2, 72), (5, 1, 71),
    (6, 1, 69), (7, 1, 67), (8, 1, 64),
    (9, 3, 60), (9, 3, 64), (9, 3, 67),     # chord: top note 67
    (12, 1, 65), (13, 1, 69), (14, 1, 72),
    (15, 3, 71), (15, 3, 67),               # chord: top note 71
]
LYRICS_ASCII = ["la", "li", "lu", "le", "lo"]


def fmt0_mido():
    """Format 0, 96 ticks per quarter, 3/4, every kind of channel message."""
    q = 96
    ev = []
    ev += [
        (0, mido.MetaMessage("track_name", name="fmt0 test")),
        (0, mido.MetaMessage("copyright", text="(c) nobody")),
        (0, mido.MetaMessage("text", text="hello")),
        (0, mido.MetaMessage("set_tempo", tempo=500000)),
        (0, mido.MetaMessage("time_signature", numerator=3, denominator=4,
                             clocks_per_click=24, notated_32nd_notes_per_beat=8)),
        (0, mido.MetaMessage("key_signature", key="G")),
        (0, mido.Message("sysex", data=GM_ON)),
        (0, mido.Message("sysex", data=MASTER_VOLUME_127)),
        # channel 1 (index 0) is a normal part
        (0, mido.Message("sysex", data=gs_rhythm_part(1, 0))),
        (0, mido.MetaMessage("marker", text="A")),
    ]
    for ch, prog, vol in ((0, 48, 80), (2, 73, 110), (3, 33, 90), (10, 0, 64)):
        ev.append((0, mido.Message("program_change", channel=ch, program=prog)))
        ev.append((0, mido.Message("control_change", channel=ch, control=7, value=vol)))
    ev.append((0, mido.Message("control_change", channel=2, control=10, value=40)))
    for i, (beat, beats, pitch) in enumerate(MELODY):
        note(ev, 2, beat * q, beats * q - 8, pitch, 90 + (i % 3) * 10, off_as_zero=(i % 2 == 0))
        note(ev, 10, beat * q + 2, beats * q - 8, pitch, 70)           # guide melody
    for i, text in enumerate(LYRICS_ASCII):
        ev.append((i * q, mido.MetaMessage("lyrics", text=text)))
    # pad on channel 1, bass with bends and pressure on channel 4
    for bar, pitch in enumerate((55, 57, 53, 55, 55, 57)):
        note(ev, 0, bar * 3 * q, 3 * q, pitch, 60)
        note(ev, 3, bar * 3 * q, 2 * q, pitch - 24, 100, off_as_zero=True)
        ev.append((bar * 3 * q + 10, mido.Message("pitchwheel", channel=3, pitch=(bar - 3) * 1000)))
        ev.append((bar * 3 * q + 20, mido.Message("aftertouch", channel=3, value=bar * 20)))
        ev.append((bar * 3 * q + 30, mido.Message("polytouch", channel=3, note=pitch - 24, value=50)))
    ev.append((6 * q, mido.MetaMessage("set_tempo", tempo=545455)))
    ev.append((9 * q, mido.MetaMessage("marker", text="B")))
    ev.append((18 * q + 50, mido.MetaMessage("end_of_track")))
    mid = mido.MidiFile(type=0, ticks_per_beat=q)
    mid.tracks.append(track_from_absolute(ev))
    return mid


def fmt1_mido():
    """Format 1, 384 ticks per quarter, a tempo track, drums on channel 10."""
    q = 384
    conductor = [
        (0, mido.MetaMessage("track_name", name="conductor")),
        (0, mido.MetaMessage("set_tempo", tempo=600000)),
        (0, mido.MetaMessage("time_signature", numerator=4, denominator=4,
                             clocks_per_click=24, notated_32nd_notes_per_beat=8)),
        (0, mido.MetaMessage("key_signature", key="Am")),
        (8 * q, mido.MetaMessage("set_tempo", tempo=500000)),
        (16 * q, mido.MetaMessage("end_of_track")),
    ]
    lead = [(0, mido.MetaMessage("track_name", name="lead")),
            (0, mido.Message("program_change", channel=3, program=81)),
            (0, mido.Message("control_change", channel=3, control=7, value=100))]
    for i, (beat, beats, pitch) in enumerate(MELODY[:14]):
        note(lead, 3, beat * q, beats * q // 2, pitch, 100)
    lead.append((16 * q, mido.MetaMessage("end_of_track")))
    strings = [(0, mido.MetaMessage("track_name", name="strings")),
               (0, mido.Message("program_change", channel=0, program=49))]
    for bar in range(4):
        for pitch in (57, 60, 64):
            note(strings, 0, bar * 4 * q, 4 * q - 1, pitch + bar, 55)
    strings.append((16 * q, mido.MetaMessage("end_of_track")))
    drums = [(0, mido.MetaMessage("track_name", name="drums"))]
    for beat in range(16):
        note(drums, 9, beat * q, q // 4, 36 if beat % 2 == 0 else 38, 100)
        note(drums, 9, beat * q + q // 2, q // 4, 42, 70)
    drums.append((16 * q, mido.MetaMessage("end_of_track")))
    guide = [(0, mido.MetaMessage("track_name", name="guide")),
             (0, mido.Message("control_change", channel=10, control=7, value=90))]
    for beat, beats, pitch in MELODY[:14]:
        note(guide, 10, beat * q, beats * q // 2, pitch, 50)
    guide.append((4 * q, mido.Message("control_change", channel=10, control=7, value=70)))
    guide.append((16 * q, mido.MetaMessage("end_of_track")))
    mid = mido.MidiFile(type=1, ticks_per_beat=q)
    for t in (conductor, lead, strings, drums, guide):
        mid.tracks.append(track_from_absolute(t))
    return mid


def short_1000():
    """480 ticks per quarter, one note, 1000 ticks long, no drums."""
    ev = [(0, mido.MetaMessage("set_tempo", tempo=500000))]
    note(ev, 0, 0, 400, 60, 100)
    ev.append((1000, mido.MetaMessage("end_of_track")))
    mid = mido.MidiFile(type=0, ticks_per_beat=480)
    mid.tracks.append(track_from_absolute(ev))
    return mid


def mido_bytes(mid):
    path = os.path.join(DATA, ".tmp.mid")
    mid.save(path)
    with open(path, "rb") as f:
        data = f.read()
    os.remove(path)
    return data


def running_status():
    """Format 0, 96 ticks, written by hand with running status everywhere it
    is allowed (channel messages), including note-on velocity 0 as note-off."""
    t = b""
    t += b"\x00" + meta(0x51, [0x07, 0xA1, 0x20])
    t += b"\x00\xC0\x05"                 # program 5, channel 1
    t += b"\x00\xB0\x07\x64"             # volume
    t += b"\x00\x0A\x20"                 # running status: pan
    t += b"\x00\x90\x3C\x64"             # C4 on
    t += b"\x00\x40\x64"                 # running status: E4 on
    t += b"\x00\x43\x50"                 # G4 on
    t += b"\x60\x3C\x00"                 # C4 off (velocity 0)
    t += b"\x00\x40\x00\x00\x43\x00"     # E4, G4 off
    t += b"\x00\xE0\x00\x40"             # bend centre
    t += b"\x10\x00\x50\x10\x7F\x7F"     # running status bends
    t += b"\x00\x91\x48\x60\x30\x4A\x60"  # channel 2: two notes, running status
    t += b"\x30\x48\x00\x00\x4A\x00"
    t += b"\x00\xD1\x20\x08\x30"         # channel pressure, running status
    t += b"\x18" + END
    return header(0, 1, 96) + chunk(b"MTrk", t)


def cp932(text):
    return text.encode("cp932")


XF_LYRICS = ["さ", "く", "ら", "咲[さ]", "く", "春/", "の", "<ゆ", "め"]


def xf_song():
    """An XF file: format-0 MTrk, then XFIH and XFKM chunks; lyrics in
    Shift-JIS (code page 932), a reset and a master volume before the notes."""
    q = 480
    pitches = [67, 69, 71, 72, 71, 69, 67, 64, 67]
    t = b""
    t += b"\x00\xF0\x05\x7E\x7F\x09\x01\xF7"
    t += b"\x00\xF0\x07\x7F\x7F\x04\x01\x00\x7F\xF7"
    t += b"\x00" + meta(0x03, cp932("桜の歌"))
    t += b"\x00" + meta(0x51, [0x07, 0xA1, 0x20])
    t += b"\x00" + meta(0x58, [4, 2, 24, 8])
    t += b"\x00\xC0\x49\x00\xB0\x07\x64"
    delta = 0
    for p in pitches:
        t += vlq(delta) + bytes([0x90, p, 100]) + vlq(q - 20) + bytes([0x80, p, 64])
        delta = 20
    t += vlq(q) + END
    xfih = b"\x00" + meta(0x01, b"XFln:") + b"\x00" + END
    k = b""
    delta = 0
    for text in XF_LYRICS:
        k += vlq(delta) + meta(0x05, cp932(text))
        delta = q
    k += vlq(q) + END
    return header(0, 1, q) + chunk(b"MTrk", t) + chunk(b"XFIH", xfih) + chunk(b"XFKM", k)


def macbinary(body):
    """A MacBinary II header (128 bytes) in front of a MIDI file."""
    name = b"song.mid"
    h = bytearray(128)
    h[1] = len(name)
    h[2:2 + len(name)] = name
    h[65:69] = b"Midi"
    h[69:73] = b"TVOD"
    h[83:87] = struct.pack(">L", len(body))
    h[122] = 0x81
    h[123] = 0x81
    return bytes(h) + body + bytes((128 - len(body) % 128) % 128)


def abc2midi(name):
    abc = os.path.join(DATA, name + ".abc")
    out = os.path.join(DATA, name + ".mid")
    subprocess.run(["abc2midi", abc, "-o", out, "-silent"], check=True,
                   stdout=subprocess.DEVNULL)
    print("wrote", os.path.relpath(out, ROOT))


# --- damaged files ---------------------------------------------------------------

def small_track():
    return (b"\x00" + meta(0x51, [0x07, 0xA1, 0x20]) +
            b"\x00\x90\x3C\x64\x60\x80\x3C\x40\x00" + END)


def bad_files(fmt0):
    ok = header(0, 1, 96) + chunk(b"MTrk", small_track())
    files = {
        "empty.mid": b"",
        "not-midi.txt": b"This is a shopping list, not a song.\nmilk\neggs\n" * 4,
        "header-only.mid": header(0, 1, 96),
        "truncated-header.mid": header(0, 1, 96)[:10],
        # A real file cut off in the middle of its track.
        "truncated-chunk.mid": fmt0[: len(fmt0) * 3 // 5],
        # Complete events, but the chunk claims 256 more bytes than there are.
        "chunk-length-past-end.mid": header(0, 1, 96) + chunk(b"MTrk", small_track(), len(small_track()) + 256),
        # A chunk length that overflows 32-bit signed arithmetic.
        "chunk-length-huge.mid": header(0, 1, 96) + chunk(b"MTrk", small_track(), 0xFFFFFFF0),
        "chunk-length-negative.mid": header(0, 1, 96) + chunk(b"MTrk", small_track(), 0xFFFFFFFF),
        # The chunk ends inside a note-on message.
        "truncated-event.mid": header(0, 1, 96) + chunk(b"MTrk", b"\x00\xC0\x05\x00\x90\x3C"),
        # A delta whose continuation bit never clears.
        "endless-vlq.mid": header(0, 1, 96) + chunk(b"MTrk", b"\x00\x90\x3C\x64" + b"\xFF" * 64),
        "endless-vlq-meta-length.mid": header(0, 1, 96) + chunk(b"MTrk", b"\x00\xFF\x01" + b"\x81" * 64),
        # A text meta event longer than its chunk.
        "meta-length-past-end.mid": header(0, 1, 96) + chunk(b"MTrk", b"\x00\xFF\x01\x8F\xFF\x7Fabc" + b"\x00" + END),
        # System exclusive without its closing F7.
        "sysex-unterminated.mid": header(0, 1, 96) + chunk(b"MTrk", b"\x00\xF0\x05\x7E\x7F\x09\x01\x00\x90\x3C\x64"),
        # Data bytes before any status byte.
        "running-status-without-status.mid": header(0, 1, 96) + chunk(b"MTrk", b"\x00\x3C\x64\x60\x3C\x00\x00" + END),
        "wrong-chunk-name.mid": header(0, 1, 96) + chunk(b"MTrx", small_track()),
        "format-2.mid": header(2, 1, 96) + chunk(b"MTrk", small_track()),
        # Format 1 announcing three tracks with only two present.
        "missing-track.mid": header(1, 3, 96) + chunk(b"MTrk", b"\x00" + END) + chunk(b"MTrk", small_track()),
        # Garbage where the MacBinary header would be, and no MThd after it.
        "macbinary-without-midi.mid": bytes(range(128)) + b"MTrx" + ok[4:],
    }
    for name, data in files.items():
        write(os.path.join(BAD, name), data)


def odd_files():
    q = 96
    files = {
        # SMPTE time code division (25 fps, 40 subframes) instead of ticks.
        "smpte-division.mid": header(0, 1, 0xE728) + chunk(b"MTrk", small_track()),
        "zero-division.mid": header(0, 1, 0) + chunk(b"MTrk", small_track()),
        # Format 1 whose header announces 70 tracks; three are present.
        "seventy-tracks.mid": header(1, 70, q) + b"".join(chunk(b"MTrk", small_track()) for _ in range(3)),
        "no-tracks.mid": header(1, 0, q),
        # A chunk of an unknown kind between two tracks.
        "unknown-chunk.mid": header(1, 2, q) + chunk(b"MTrk", small_track()) + chunk(b"XYZW", b"\x01\x02\x03") + chunk(b"MTrk", small_track()),
        "missing-end-of-track.mid": header(0, 1, q) + chunk(b"MTrk", b"\x00\x90\x3C\x64\x60\x80\x3C\x40"),
        # A note number of 200 (a status byte where a data byte belongs).
        "data-byte-out-of-range.mid": header(0, 1, q) + chunk(b"MTrk", b"\x00\x90\xC8\x64\x60\x80\x3C\x40\x00" + END),
        # Note-offs without note-ons, a zero-length note, overlapping equal notes.
        "odd-notes.mid": header(0, 1, q) + chunk(b"MTrk",
            b"\x00\x80\x30\x40" + b"\x10\x90\x3C\x64\x00\x80\x3C\x40" +
            b"\x00\x90\x40\x64\x10\x90\x40\x64\x10\x80\x40\x40\x10\x80\x40\x40\x00" + END),
        # Meta events a reader may drop or blank: sequence number, channel
        # prefix, MIDI port, SMPTE offset, and an empty text.
        "lossy-metas.mid": header(0, 1, q) + chunk(b"MTrk",
            b"\x00" + meta(0x00, [0, 7]) + b"\x00" + meta(0x20, [3]) + b"\x00" + meta(0x21, [1]) +
            b"\x00" + meta(0x54, [0x60, 0, 3, 0, 0]) + b"\x00" + meta(0x01, b"") +
            b"\x00\x90\x3C\x64\x60\x80\x3C\x40\x00" + END),
        # A delta written in five bytes (the format allows four).
        "delta-over-four-bytes.mid": header(0, 1, q) + chunk(b"MTrk",
            b"\x00\x90\x3C\x64" + b"\x81\x80\x80\x80\x00\x80\x3C\x40\x00" + END),
        # The largest four-byte delta: fine at 96 ticks per quarter note, too
        # long to write in four bytes once rescaled to 480.
        "delta-max.mid": header(0, 1, q) + chunk(b"MTrk",
            b"\x00\x90\x3C\x64\xFF\xFF\xFF\x7F\x80\x3C\x40\x00" + END),
        # Twenty deltas of the largest four-byte value: a song longer than
        # 2^32 ticks, past any 32-bit tick counter.
        "longer-than-32-bits.mid": header(0, 1, q) + chunk(b"MTrk",
            b"".join(b"\xFF\xFF\xFF\x7F\x90\x3C\x64\x60\x80\x3C\x40" for _ in range(20)) + b"\x00" + END),
        # A long system-exclusive message (over 256 bytes).
        "long-sysex.mid": header(0, 1, q) + chunk(b"MTrk",
            b"\x00\xF0" + vlq(301) + bytes([0x43] + [0x10] * 299) + b"\xF7" + b"\x00\x90\x3C\x64\x60\x80\x3C\x40\x00" + END),
    }
    for name, data in files.items():
        write(os.path.join(ODD, name), data)


def main():
    os.makedirs(BAD, exist_ok=True)
    fmt0 = mido_bytes(fmt0_mido())
    write(os.path.join(DATA, "fmt0-mido.mid"), fmt0)
    write(os.path.join(DATA, "fmt1-mido.mid"), mido_bytes(fmt1_mido()))
    write(os.path.join(DATA, "short-1000.mid"), mido_bytes(short_1000()))
    write(os.path.join(DATA, "running-status.mid"), running_status())
    write(os.path.join(DATA, "xf-song.mid"), xf_song())
    write(os.path.join(DATA, "macbinary.mid"), macbinary(fmt0))
    write(os.path.join(DATA, "trailing-bytes.mid"), fmt0 + b"\x00\x01\x02 trailing text, not a chunk\n")
    abc2midi("abc-drums")
    bad_files(fmt0)
    odd_files()


if __name__ == "__main__":
    sys.exit(main())
