#!/usr/bin/python3
"""Every named style, several seeds, read back with mido: songs end at home
(the last melody note on the tonic triad of the key they end in), melodies
keep to their style's scale, songs keep their length, and the styles differ
in how their melodies move, not only in their instruments.

Run with --report after the two paths to print the measurements per style.
"""

import collections
import concurrent.futures
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import unittest

import mido

HARMOLIN = sys.argv[1] if len(sys.argv) > 1 else "build/bin/harmolin"
SEEDS = (1, 2, 3, 4)
MELODY_CHANNEL = 1  # part 1 plays on the second MIDI channel
KEY_TONICS = {"C": 0, "C#": 1, "Db": 1, "D": 2, "D#": 3, "Eb": 3, "E": 4, "F": 5, "F#": 6, "Gb": 6,
              "G": 7, "G#": 8, "Ab": 8, "A": 9, "A#": 10, "Bb": 10, "B": 11, "Cb": 11}


def styles_json():
    out = subprocess.run([HARMOLIN, "styles", "--json"], capture_output=True, text=True, check=True).stdout
    return [json.loads(line) for line in out.splitlines()]


def key_of(message):
    """(tonic pitch class, minor) of a key signature."""
    name = message.key
    minor = name.endswith("m")
    return KEY_TONICS[name[:-1] if minor else name], minor


def measure(path, style):
    """What one song shows: final note against its key, notes outside the
    scale, length in bars, notes per bar and share of repeated notes."""
    mid = mido.MidiFile(path)
    bar = mid.ticks_per_beat * {"4/4": 4, "3/4": 3, "7/8": 3.5}[style["meter"]]
    keys, notes, end = [], [], 0
    for track in mid.tracks:
        now = 0
        sounding = {}
        for msg in track:
            now += msg.time
            if msg.type == "key_signature":
                keys.append((now, key_of(msg)))
            elif msg.type == "note_on" and msg.velocity > 0:
                sounding[(msg.channel, msg.note)] = now
                if msg.channel == MELODY_CHANNEL:
                    notes.append((now, msg.note))
            elif msg.type in ("note_off", "note_on"):
                if sounding.pop((msg.channel, msg.note), None) is not None:
                    end = max(end, now)
    keys.sort(key=lambda k: k[0])
    notes.sort()
    first_tonic = keys[0][1][0]

    def shift_at(tick):
        tonic = first_tonic
        for at, (t, _) in keys:
            if at <= tick:
                tonic = t
        return tonic - first_tonic

    scale = style["scale"]
    outside = sum(1 for tick, n in notes if scale[(n - shift_at(tick)) % 12] == "0")
    final_tick, final = notes[-1]
    tonic = (shift_at(final_tick) + (0 if style["key"] == "major" else 9)) % 12
    third = 4 if style["key"] == "major" else 3
    degree = (final - tonic) % 12
    bars = (end - bar) / bar  # the song starts one bar in
    tune_bars = max(1.0, (notes[-1][0] - notes[0][0]) / bar)
    pitches = [n for _, n in notes]
    repeats = sum(1 for a, b in zip(pitches, pitches[1:]) if a == b) / max(1, len(pitches) - 1)
    return {
        "in_triad": degree in (0, third, 7),
        "on_tonic": degree == 0,
        "outside": outside,
        "notes": len(notes),
        "bars": bars,
        "density": len(notes) / tune_bars,
        "repeats": repeats,
    }


def compose_all(tmp, styles):
    def one(job):
        style, seed = job
        path = os.path.join(tmp, f"{style['group']}-{style['slot']}-{seed}.mid")
        result = subprocess.run([HARMOLIN, "compose", "--group", str(style["group"]), "--slot",
                                 str(style["slot"]), "--seed", str(seed), "-o", path],
                                capture_output=True, text=True)
        if result.returncode != 0:
            raise AssertionError(f"{style['name']} seed {seed}: {result.stderr}")
        measured = measure(path, style)
        os.remove(path)
        return style["name"], seed, measured

    jobs = [(s, seed) for s in styles for seed in SEEDS]
    results = collections.defaultdict(dict)
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        for name, seed, measured in pool.map(one, jobs):
            results[name][seed] = measured
    return results


def variance_ratio(results, key):
    """Variance of the style means over the mean variance between seeds."""
    means = [statistics.mean(r[key] for r in runs.values()) for runs in results.values()]
    within = statistics.mean(statistics.pvariance([r[key] for r in runs.values()]) for runs in results.values())
    return statistics.pvariance(means) / max(within, 1e-9)


class StyleCharacter(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="harmolin-character-")
        cls.styles = [s for s in styles_json() if s["random"] == 0]
        cls.by_name = {s["name"]: s for s in cls.styles}
        cls.results = compose_all(cls.tmp, cls.styles)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def songs(self):
        return [(name, seed, r) for name, runs in self.results.items() for seed, r in runs.items()]

    def test_songs_end_at_home(self):
        songs = self.songs()
        self.assertGreater(len(songs), 500)
        off = [(name, seed) for name, seed, r in songs if not r["in_triad"]]
        on_tonic = sum(r["on_tonic"] for _, _, r in songs) / len(songs)
        self.assertLessEqual(len(off), 0.03 * len(songs), off)
        self.assertGreaterEqual(on_tonic, 0.60)

    def test_melodies_keep_to_their_scale(self):
        for name, runs in self.results.items():
            outside = sum(r["outside"] for r in runs.values())
            notes = sum(r["notes"] for r in runs.values())
            self.assertLessEqual(outside, 0.10 * notes, f"{name}: {outside} of {notes} notes outside its scale")

    def test_songs_keep_their_length(self):
        for name, seed, r in self.songs():
            target = self.by_name[name]["bars"]
            self.assertLessEqual(abs(r["bars"] - target), 0.25 * target,
                                 f"{name} seed {seed}: {r['bars']:.1f} bars for {target}")

    def test_styles_differ_in_their_melodies(self):
        for key in ("density", "repeats"):
            ratio = variance_ratio(self.results, key)
            self.assertGreaterEqual(ratio, 3.0, f"{key}: between styles only {ratio:.2f} times within")

    def test_styles_are_arranged_each_their_own_way(self):
        mixes = {json.dumps(s["mixer"]) for s in self.styles}
        # The melody set-up as it reaches the song: the song's melody range,
        # rhythm mode and interval table are the guide melody's for every style,
        # but for the tendency to repeat a note.
        heard = ("density", "dissonance", "rests", "ending", "lengthRepeat", "intervalRepeat", "jumpCheck",
                 "switches", "value5", "tension")
        setups = {json.dumps([s["melody"][k] for k in heard] + [s["melody"]["jumpWeights"][0],
                                                                 s["features"].get("secondMelody", 0)])
                  for s in self.styles}
        self.assertGreaterEqual(len(mixes), 60)
        self.assertGreaterEqual(len(setups), 60)
        users = collections.Counter(f for s in self.styles for f in s["features"])
        widely = [f for f, n in users.items() if n >= 3]
        self.assertGreaterEqual(len(widely), 8, users)


def report():
    tmp = tempfile.mkdtemp(prefix="harmolin-character-")
    try:
        styles = [s for s in styles_json() if s["random"] == 0]
        results = compose_all(tmp, styles)
        total = [r for runs in results.values() for r in runs.values()]
        print(f"songs {len(total)}  final in triad {sum(r['in_triad'] for r in total) / len(total):.1%}  "
              f"on tonic {sum(r['on_tonic'] for r in total) / len(total):.1%}")
        print(f"variance ratio: density {variance_ratio(results, 'density'):.2f}  "
              f"repeats {variance_ratio(results, 'repeats'):.2f}")
        for s in styles:
            runs = results[s["name"]].values()
            notes = sum(r["notes"] for r in runs)
            got = " ".join(f"{r['bars']:5.1f}" for r in runs)
            print(f"{s['group']} {s['slot']:2} {s['name']:20} bars {s['bars']:3} got {got}  "
                  f"out {sum(r['outside'] for r in runs) / max(1, notes):5.1%}  "
                  f"triad {sum(r['in_triad'] for r in runs)}/{len(runs)} tonic {sum(r['on_tonic'] for r in runs)}  "
                  f"dens {statistics.mean(r['density'] for r in runs):4.2f} "
                  "(" + " ".join(f"{r['density']:.2f}" for r in runs) + ") "
                  f"rep {statistics.mean(r['repeats'] for r in runs):4.2f} "
                  "(" + " ".join(f"{r['repeats']:.2f}" for r in runs) + ")")
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    if "--report" in sys.argv:
        report()
    else:
        unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
