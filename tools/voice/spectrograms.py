#!/usr/bin/python3
"""Spectrograms of a sung phrase, to look at the voice.

    tools/voice/spectrograms.py HARMOLIN OUT_DIR [NAME=PLUGIN.so ...]

Writes an XF song of one phrase ("さくらの はなが さいた ..." on a melody with
short and held notes, leaps and a rest), renders it with `HARMOLIN render
--stems` once per plug-in given (without any: the build's own plug-in, named
"now"), and saves OUT_DIR/voice-NAME.png: the voice stem's spectrogram
(0 to 11 kHz, 80 dB range) with the notes' start times marked along the top.
Give an older build of the plug-in as before=PATH to compare."""

import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import wave

import mido
import numpy as np
from PIL import Image, ImageDraw

BPM = 100
# (note or None for a rest, beats, syllable)
PHRASE = [(67, 0.5, "さ"), (69, 0.5, "く"), (72, 1, "ら"), (69, 1, "の"), (None, 1, None),
          (64, 0.5, "は"), (67, 0.5, "な"), (76, 2, "が"), (None, 1, None),
          (72, 1, "さ"), (65, 1, "い"), (67, 3, "た")]
TOP_HZ = 11000
RANGE_DB = 80


def track_payload(track):
    buffer = io.BytesIO()
    holder = mido.MidiFile(type=0, ticks_per_beat=480, charset="cp932")
    holder.tracks.append(track)
    holder.save(file=buffer)
    return buffer.getvalue()[14 + 8:]


def write_song(path):
    melody, lyrics = mido.MidiTrack(), mido.MidiTrack()
    melody.append(mido.MetaMessage("set_tempo", tempo=int(60e6 / BPM)))
    tick, starts = 0, []
    last_melody = last_lyric = 0
    for note, beats, kana in PHRASE:
        length = int(beats * 480)
        if note is not None:
            melody.append(mido.Message("note_on", channel=0, note=note, velocity=100, time=tick - last_melody))
            melody.append(mido.Message("note_off", channel=0, note=note, time=length))
            last_melody = tick + length
            lyrics.append(mido.MetaMessage("lyrics", text=kana, time=tick - last_lyric))
            last_lyric = tick
            starts.append(tick * 60 / BPM / 480)
        tick += length
    info = b"\x00\xff\x01\x05XFln:\x00\xff\x2f\x00"
    with open(path, "wb") as f:
        f.write(struct.pack(">4sIHHH", b"MThd", 6, 0, 1, 480))
        for name, payload in ((b"MTrk", track_payload(melody)), (b"XFIH", info), (b"XFKM", track_payload(lyrics))):
            f.write(name + struct.pack(">I", len(payload)) + payload)
    return starts


def spectrogram_png(wav_path, png_path, title, starts):
    with wave.open(wav_path) as w:
        rate, channels = w.getframerate(), w.getnchannels()
        x = np.frombuffer(w.readframes(w.getnframes()), dtype=np.int16).astype(float)[::channels] / 32768
    size, hop = 2048, 256
    window = np.hanning(size)
    frames = np.array([np.abs(np.fft.rfft(x[i:i + size] * window)) for i in range(0, len(x) - size, hop)])
    db = 20 * np.log10(frames + 1e-9)
    db = np.clip(db - db.max() + RANGE_DB, 0, RANGE_DB) / RANGE_DB
    bins = int(TOP_HZ / (rate / size))
    image = db[:, :bins].T[::-1]  # low frequencies at the bottom
    # A dark-to-bright colour ramp: black, blue, red, yellow, white.
    ramp = np.array([[0, 0, 0], [40, 20, 120], [200, 30, 60], [250, 200, 40], [255, 255, 255]], float)
    idx = image * (len(ramp) - 1)
    lo = np.floor(idx).astype(int).clip(0, len(ramp) - 2)
    frac = (idx - lo)[..., None]
    rgb = (ramp[lo] * (1 - frac) + ramp[lo + 1] * frac).astype(np.uint8)
    picture = Image.fromarray(rgb).resize((rgb.shape[1] * 2, 400))
    canvas = Image.new("RGB", (picture.width + 60, picture.height + 40), "white")
    canvas.paste(picture, (50, 30))
    draw = ImageDraw.Draw(canvas)
    draw.text((50, 8), title, fill="black")
    seconds_per_pixel = hop / rate / 2
    for khz in range(0, TOP_HZ // 1000 + 1, 2):
        y = 30 + picture.height - int(khz * 1000 / TOP_HZ * picture.height)
        draw.text((5, y - 6), f"{khz} kHz", fill="black")
    for t in starts:
        px = 50 + int(t / seconds_per_pixel)
        draw.line([(px, 22), (px, 30)], fill="green", width=2)
    canvas.save(png_path)


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    harmolin, out = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    plugins = [arg.split("=", 1) for arg in sys.argv[3:]] or [("now", None)]
    os.makedirs(out, exist_ok=True)
    work = tempfile.mkdtemp(prefix="harmolin-spectrograms-")
    try:
        song = os.path.join(work, "phrase.mid")
        starts = write_song(song)
        for name, plugin in plugins:
            stems = os.path.join(work, "stems-" + name)
            args = [harmolin, "render", "--song", song, "-o", os.path.join(work, name + ".wav"), "--stems", stems]
            if plugin:
                args += ["--plugin", os.path.abspath(plugin)]
            result = subprocess.run(args, cwd=work, capture_output=True, text=True)
            if result.returncode != 0:
                print(f"{name}: render failed: {result.stderr.strip()}", file=sys.stderr)
                return 1
            delay = 0.0
            for line in result.stdout.splitlines():
                if line.startswith("voice delay:"):
                    delay = int(line.split()[2]) / 1000
            png = os.path.join(out, f"voice-{name}.png")
            spectrogram_png(os.path.join(stems, "voice.wav"), png, f"{name}: voice stem, notes marked in green",
                            [t + delay for t in starts])
            print(png)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
