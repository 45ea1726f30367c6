"""Reads a saved XF song with mido: the chunk order, the melody's notes in the
standard track and the lyric events of the XFKM chunk. Prints the counts and
exits 1 when the file is not an XF song with one lyric per melody note."""
import io
import struct
import sys

import mido


def chunks(data):
    out, pos = [], 0
    while pos + 8 <= len(data):
        name, length = data[pos:pos + 4], struct.unpack(">I", data[pos + 4:pos + 8])[0]
        out.append((name, data[pos + 8:pos + 8 + length]))
        pos += 8 + length
    return out


def main(path):
    with open(path, "rb") as f:
        data = f.read()
    parts = chunks(data)
    names = [n for n, _ in parts]
    if names != [b"MThd", b"MTrk", b"XFIH", b"XFKM"]:
        print("chunks", names)
        return 1
    song = mido.MidiFile(file=io.BytesIO(data[:14 + 8 + len(parts[1][1])]))
    melody = sum(1 for m in song.tracks[0] if m.type == "note_on" and m.velocity > 0 and m.channel == 0)
    karaoke = mido.MidiFile(file=io.BytesIO(data[:8] + struct.pack(">HHH", 0, 1, song.ticks_per_beat) + b"MTrk" +
                                            struct.pack(">I", len(parts[3][1])) + parts[3][1]))
    lyrics = sum(1 for m in karaoke.tracks[0] if m.type == "lyrics")
    print("melody", melody, "lyrics", lyrics)
    return 0 if melody > 0 and lyrics >= melody * 0.8 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
