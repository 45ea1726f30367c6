#!/usr/bin/env python3
"""Writes the fourteen chord databases of the engine into data/patterns/.

  PATTERN.DB, .DB2, .DBB   chord transitions (major, minor, blues)
  RESOLUT.DB, .DB2, .DBB   cadences that close a song
  TIMECHT*.DB*             chord lengths of the body of a song
  RESTIME*.DB*             chord lengths of the closing cadence

Every file is a run of tokens ended by "|"; line breaks between tokens are
only for the reader. A transition token is the current chord, the following
chord and a three-digit weight; the chart and cadence files start with their
record count.

The weights are what the engine turns into classes: class = 1 + weight div
(largest / 8). With the largest weight 120 that is one class per 15:

    weight  120   105-119  90-104  75-89  60-74  45-59  30-44  15-29  0-14
    class    9       8        7      6      5      4      3      2      1

A style only ever takes transitions of at least its minimum class: all of
them for category 1, class 3 (weight 30) for category 2, class 4 (weight 45)
for categories 3, 6 and 9, class 5 (weight 60) for categories 4 and 7. So
the plain functional moves carry 60 and more, the colours every pop song
uses (secondary dominants, borrowed chords, sus and add chords) 45 to 75,
and the sophisticated ones (tritone substitutes, diminished passing chords,
chromatic mediants) stay below 45 for the refined styles of category 1 and 2.

Run from anywhere: python3 tools/make_pattern_db.py [output folder]. The
output is deterministic; commit it after running.
"""

import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "data", "patterns")

CODE = re.compile(r"^[CdDeEFgGaAbB][Mm4o][PAdC][Ss69od]$")
TABLE_CODE = re.compile(r"^[CdDeEFgGaAbB][Mm4][PAd][Ss69od]$")  # has a chord-scale line
MAX_BYTES = 16383
MAX_CANDIDATES = 30
MIN_CLASS = {1: 1, 2: 3, 3: 4, 4: 5}

# --- chord transitions --------------------------------------------------------
# C major, tonic "CMPS". Functions: I (C), ii (Dm), iii (Em), IV (F), V (G),
# vi (Am), vii (Bm7b5); secondary dominants A7 (V/ii), E7 (V/vi), D7 (V/V),
# B7 (V/iii), C7 (V/IV); borrowed from C minor Fm (iv), Bb (bVII), Abmaj7 (bVI)
# and the backdoor Bb7; diminished sevenths that lead a semitone up (C#dim7 to
# Dm, D#dim7 to Em, G#dim7 to Am, F#dim7 to G); the tritone substitute Db7.
# The strongest moves are the ones pop songs live on: I-IV, IV-V, V-I, ii-V,
# vi-ii, vi-IV, and the Japanese "royal road" IVmaj7-V7-iiim7-vim7.
MAJOR = {
    "CMPS": [("FMPS", 120), ("AmPs", 105), ("DmPs", 95), ("GMPs", 90), ("EmPs", 75), ("FMP9", 70),
             ("GMPd", 65), ("G4Ps", 60), ("EMPs", 55), ("AMPs", 55), ("CMPs", 55), ("DMPs", 45),
             ("FmPs", 45), ("bMPd", 40), ("aMPS", 35), ("dmd6", 35), ("gmds", 30), ("Bmds", 25),
             ("bMPs", 20)],
    "CMPd": [("FMPd", 120), ("GMPd", 110), ("AmPd", 105), ("DmPd", 75), ("FMPS", 70), ("AmPs", 65),
             ("EmPd", 60), ("G4Pd", 60), ("CMPs", 50), ("EMPs", 50), ("AMPs", 45), ("bMPd", 45),
             ("DMPs", 40), ("FmPd", 35), ("aMPS", 30), ("dmd6", 25)],
    "CMP6": [("FMPS", 100), ("DmPs", 95), ("GMPs", 90), ("AmPs", 75), ("FMP6", 75), ("EmPs", 60),
             ("AMPs", 50), ("dmd6", 35)],
    "CMP9": [("FMP9", 110), ("FMPS", 100), ("AmPs", 95), ("DmPs", 80), ("GMPd", 80), ("G4Pd", 75),
             ("EmPs", 60), ("bMPd", 35)],
    "FMPS": [("GMPs", 120), ("EmPs", 100), ("G4Ps", 90), ("GMPd", 85), ("CMPS", 85), ("DmPs", 70),
             ("AmPs", 70), ("EMPs", 65), ("FmPs", 60), ("CMP9", 60), ("gmds", 50), ("Bmds", 45),
             ("bMPs", 40), ("gmd6", 30), ("aMPS", 25)],
    "FMPd": [("GMPd", 120), ("CMPd", 100), ("G4Pd", 80), ("AmPd", 75), ("GMPs", 75), ("EmPd", 65),
             ("DmPd", 60), ("FmPd", 55), ("EMPs", 45), ("bMPd", 35), ("gmd6", 30)],
    "FMP6": [("GMPs", 110), ("CMPS", 95), ("EmPs", 75), ("G4Ps", 70), ("DmPs", 50)],
    "FMP9": [("GMPd", 100), ("CMP9", 100), ("G4Pd", 90), ("EmPs", 75), ("AmPs", 75), ("DmPs", 55),
             ("FmPs", 45)],
    "FmPs": [("CMPS", 120), ("bMPs", 85), ("GMPs", 80), ("CMPd", 65), ("EmPs", 50), ("aMPS", 45),
             ("AmPs", 30)],
    "FmPd": [("CMPd", 120), ("CMPS", 80), ("GMPd", 70), ("bMPd", 55)],
    "DmPs": [("GMPs", 120), ("G4Ps", 100), ("GMPd", 75), ("EmPs", 65), ("CMPS", 55), ("FMPS", 50),
             ("AmPs", 45), ("EMPs", 45), ("Bmds", 35), ("dMPs", 30), ("bMPs", 30), ("emd6", 30)],
    "DmPd": [("GMPd", 120), ("GMPs", 100), ("G4Pd", 85), ("AmPd", 60), ("FMPd", 55), ("EmPd", 55),
             ("CMPd", 50), ("emd6", 25)],
    "GMPs": [("CMPS", 120), ("CMPd", 85), ("AmPs", 80), ("CMP9", 70), ("EmPs", 60), ("CMP6", 55),
             ("FMPS", 50), ("AmPd", 45), ("aMPS", 40), ("amd6", 30)],
    "GMPd": [("CMPd", 120), ("CMPS", 95), ("AmPd", 90), ("AmPs", 75), ("FMPd", 65), ("CMP9", 65),
             ("EmPd", 60), ("amd6", 35), ("DmPd", 35)],
    "G4Ps": [("GMPs", 120), ("CMPS", 80), ("CMP9", 65), ("CMPd", 50), ("AmPs", 35)],
    "G4Pd": [("GMPd", 120), ("GMPs", 85), ("CMPd", 75), ("CMP9", 65), ("AmPd", 35)],
    "AmPs": [("DmPs", 115), ("FMPS", 110), ("EmPs", 75), ("GMPs", 70), ("FMP9", 60), ("CMPS", 55),
             ("G4Ps", 50), ("DMPs", 50), ("EMPs", 45), ("gmds", 40), ("bMPd", 25)],
    "AmPd": [("FMPd", 120), ("DmPd", 100), ("GMPd", 95), ("EmPd", 75), ("CMPd", 60), ("DMPs", 45),
             ("EMPs", 45), ("gmds", 30)],
    "EmPs": [("AmPs", 120), ("FMPS", 100), ("DmPs", 75), ("AMPs", 70), ("AmPd", 60), ("FMP9", 60),
             ("CMPS", 45), ("GMPs", 40)],
    "EmPd": [("AmPd", 120), ("FMPd", 100), ("AmPs", 80), ("DmPd", 65), ("AMPs", 55), ("CMPd", 45)],
    "AMPs": [("DmPs", 120), ("DmPd", 100), ("DMPs", 55), ("FMPS", 30)],
    "EMPs": [("AmPs", 120), ("AmPd", 100), ("FMPS", 75), ("AMPs", 60), ("DmPs", 40), ("CMPS", 35)],
    "DMPs": [("GMPs", 120), ("G4Ps", 95), ("GMPd", 90), ("DmPs", 45), ("CMPS", 40), ("FMPS", 30)],
    "BMPs": [("EmPs", 120), ("EmPd", 95), ("EMPs", 60), ("AmPs", 50), ("CMPS", 40)],
    "CMPs": [("FMPS", 120), ("FMPd", 100), ("FMP6", 60), ("FmPs", 50), ("bMPd", 40), ("DmPs", 35)],
    "bMPs": [("CMPS", 120), ("CMPd", 85), ("AmPs", 40)],
    "bMPd": [("CMPd", 120), ("CMPS", 95), ("FMPd", 80), ("FMPS", 65), ("GMPd", 45), ("aMPS", 30)],
    "aMPS": [("bMPd", 110), ("bMPs", 95), ("GMPs", 85), ("CMPS", 70), ("FmPs", 55), ("G4Ps", 50),
             ("dMPs", 30)],
    "Bmds": [("EMPs", 120), ("EmPs", 55), ("AmPs", 40), ("CMPS", 40)],
    "gmds": [("BMPs", 120), ("GMPd", 60), ("G4Ps", 55), ("EmPs", 50)],
    "dmd6": [("DmPs", 120), ("DmPd", 90)],
    "emd6": [("EmPs", 120), ("EmPd", 85), ("AmPs", 30)],
    "amd6": [("AmPs", 120), ("AmPd", 90)],
    "gmd6": [("GMPd", 100), ("CMPd", 80), ("CMPS", 70), ("G4Pd", 70)],
    "dMPs": [("CMPS", 120), ("CMPd", 85), ("CMP9", 50)],
}

# A minor, tonic "AmPs". Functions: i (Am), iv (Dm), v and V (Em, E7, E7sus4),
# VI (F), VII (G), III (C), iiø (Bm7b5); the harmonic-minor V7 "EMPs" is the
# usual way home. Also the descending line cliché Am-AmM7-Am7-Am6, the
# Andalusian run Am-G-F-E, the "Autumn leaves" cycle iv7-VII7-IIImaj7-VImaj7-
# iiø-V7-i that kayokyoku and enka love, the Neapolitan Bbmaj7, A7 (V/iv),
# D7 (the Dorian IV) and G#dim7 leading into the tonic.
MINOR = {
    "AmPs": [("DmPs", 120), ("FMPS", 105), ("EMPs", 85), ("GMPd", 75), ("DmPd", 70), ("EmPs", 60),
             ("CMPS", 60), ("Bmds", 60), ("E4Ps", 50), ("GMPs", 50), ("AMPs", 45), ("AmPS", 40),
             ("AmP6", 35), ("DMPs", 35), ("bMPS", 25)],
    "AmPd": [("DmPd", 120), ("FMPd", 100), ("GMPd", 90), ("EMPd", 80), ("EMPs", 80), ("AmPS", 60),
             ("DmPs", 60), ("CMPd", 55), ("EmPd", 45)],
    "AmPS": [("AmPs", 120), ("AmP6", 50)],
    "AmP6": [("FMPS", 100), ("DmPs", 95), ("Bmds", 75), ("EMPs", 70), ("FMPd", 60), ("DmPd", 55)],
    "DmPs": [("EMPs", 120), ("GMPs", 105), ("E4Ps", 90), ("AmPs", 80), ("Bmds", 50), ("FMPS", 50),
             ("EmPs", 50), ("CMPS", 45), ("bMPS", 30)],
    "DmPd": [("EMPs", 120), ("EMPd", 110), ("AmPd", 95), ("GMPd", 85), ("E4Ps", 70), ("FMPd", 55),
             ("Bmds", 45)],
    "EMPs": [("AmPs", 120), ("AmPd", 100), ("FMPS", 75), ("AmPS", 35), ("DmPs", 35), ("amd6", 30)],
    "EMPd": [("AmPd", 120), ("AmPs", 95), ("FMPd", 75), ("DmPd", 40)],
    "E4Ps": [("EMPs", 120), ("EMPd", 60), ("AmPs", 55)],
    "EmPs": [("AmPs", 100), ("FMPS", 100), ("DmPs", 80), ("GMPd", 65), ("CMPS", 55), ("EMPs", 40)],
    "EmPd": [("AmPd", 110), ("FMPd", 100), ("DmPd", 75), ("GMPd", 60)],
    "FMPS": [("EMPs", 105), ("GMPd", 95), ("E4Ps", 90), ("DmPs", 75), ("Bmds", 70), ("GMPs", 65),
             ("EmPs", 60), ("CMPS", 55), ("AmPs", 55), ("bMPS", 25)],
    "FMPd": [("GMPd", 120), ("EMPd", 100), ("EMPs", 95), ("CMPd", 65), ("DmPd", 65), ("AmPd", 55),
             ("Bmds", 40)],
    "GMPd": [("AmPd", 110), ("CMPd", 100), ("AmPs", 95), ("CMPS", 85), ("FMPd", 80), ("EMPs", 65),
             ("FMPS", 60), ("EmPd", 40)],
    "GMPs": [("CMPS", 120), ("CMPd", 80), ("AmPs", 60), ("EmPs", 40), ("FMPS", 35)],
    "CMPS": [("FMPS", 120), ("DmPs", 95), ("AmPs", 80), ("Bmds", 70), ("EMPs", 60), ("GMPd", 50),
             ("AMPs", 50), ("EmPs", 45), ("E4Ps", 40)],
    "CMPd": [("FMPd", 120), ("GMPd", 85), ("DmPd", 80), ("AmPd", 75), ("EMPd", 65), ("EMPs", 55),
             ("EmPd", 40)],
    "Bmds": [("EMPs", 120), ("E4Ps", 80), ("EMPd", 60), ("AmPs", 35)],
    "AMPs": [("DmPs", 120), ("DmPd", 95), ("bMPS", 30)],
    "DMPs": [("GMPs", 100), ("AmPs", 70), ("FMPS", 50), ("EMPs", 40)],
    "bMPS": [("EMPs", 120), ("E4Ps", 70), ("AmPs", 55), ("Bmds", 35)],
    "amd6": [("AmPs", 120), ("AmPd", 90)],
}

# C blues, tonic "CMPs" (C7); read only by category 6, so every weight is at
# least 45. The twelve-bar form stays on a chord for bars (so a chord may
# follow itself), moves I7-IV7-I7-V7-IV7-I7, and turns around with I-VI7-ii-V,
# the tritone substitutes Db7 and Ab7, IV7-#IVdim7-I and the jazz-blues
# ii-V into IV (Gm7-C7) and into ii (Em7-A7).
BLUES = {
    "CMPs": [("FMPs", 120), ("CMPs", 105), ("CMP6", 60), ("GMPs", 60), ("AMPs", 55), ("GmPs", 55),
             ("bMPs", 45), ("EmPs", 45)],
    "CMP6": [("CMPs", 110), ("FMPs", 110), ("AMPs", 60), ("GMPs", 50), ("FMP6", 50)],
    "FMPs": [("CMPs", 120), ("FMPs", 85), ("gmd6", 70), ("CMP6", 65), ("GMPs", 55), ("bMPs", 50),
             ("DMPs", 45), ("FMP6", 45)],
    "FMP6": [("CMPs", 110), ("gmd6", 75), ("FMPs", 60), ("CMP6", 60)],
    "gmd6": [("CMPs", 120), ("CMP6", 90), ("GMPs", 55)],
    "GMPs": [("FMPs", 120), ("CMPs", 115), ("CMP6", 70), ("GMPs", 60), ("aMPs", 50), ("dMPs", 45)],
    "aMPs": [("GMPs", 120), ("CMPs", 50)],
    "dMPs": [("CMPs", 120), ("CMP6", 80)],
    "AMPs": [("DmPs", 120), ("DMPs", 100), ("aMPs", 50)],
    "DmPs": [("GMPs", 120), ("dMPs", 75)],
    "DMPs": [("GMPs", 120), ("dMPs", 65), ("aMPs", 50)],
    "GmPs": [("CMPs", 120)],
    "EmPs": [("AMPs", 120), ("aMPs", 50)],
    "bMPs": [("CMPs", 100), ("FMPs", 90), ("AMPs", 50)],
}

# --- cadences -------------------------------------------------------------------
# Every cadence ends on its key's tonic; there are cadences of one to four
# chords, as many as the cadence time charts ask for.
MAJOR_CADENCES = [
    "CMPS", "CMPd", "CMP9", "CMP6",
    "GMPsCMPS", "G4PsCMPS", "GMPdCMPd", "G4PdCMP9", "FMPSCMPS", "FmPsCMPS", "bMPsCMPS",
    "dMPsCMPS", "FMPdCMPd", "bMPdCMPd",
    "DmPsGMPsCMPS", "FMPSGMPsCMPS", "FMPSG4PsCMPS", "DmPsG4PsCMP9", "FmPsbMPsCMPS",
    "FMPdGMPdCMPd", "aMPSbMPdCMPd", "G4PsGMPsCMPS", "FMPSFmPsCMPS", "DmPsdMPsCMPS",
    "FMP9G4PdCMP9",
    "AmPsDmPsGMPsCMPS", "DmPsG4PsGMPsCMPS", "FMPSFmPsGMPsCMPS", "AMPsDmPsGMPsCMPS",
    "FMPSG4PsGMPsCMPS", "aMPSbMPdG4PsCMPS",
]
MINOR_CADENCES = [
    "AmPs", "AmPd",
    "EMPsAmPs", "EMPdAmPd", "E4PsAmPs", "DmPsAmPs", "GMPdAmPd",
    "DmPsEMPsAmPs", "BmdsEMPsAmPs", "FMPSEMPsAmPs", "FMPdGMPdAmPd", "DmPsE4PsAmPs",
    "E4PsEMPsAmPs", "FMPSE4PsAmPs", "bMPSEMPsAmPs", "DmPdEMPdAmPd",
    "FMPSBmdsEMPsAmPs", "DmPsE4PsEMPsAmPs", "GMPdFMPdEMPdAmPd", "CMPSFMPSEMPsAmPs",
    "FMPdGMPdEMPsAmPd", "BmdsE4PsEMPsAmPs",
]
BLUES_CADENCES = [
    "CMPs", "CMP6",
    "GMPsCMPs", "FMPsCMPs", "dMPsCMPs", "gmd6CMPs", "GMPsCMP6",
    "GMPsFMPsCMPs", "DmPsGMPsCMPs", "DmPsdMPsCMPs", "FMPsgmd6CMPs", "aMPsGMPsCMPs",
    "FMPsGMPsCMPs",
    "AMPsDmPsGMPsCMPs", "GMPsFMPsgmd6CMPs", "FMPsgmd6GMPsCMPs", "AMPsaMPsGMPsCMPs",
]
TONICS = {"major": {"CMPS", "CMPd", "CMP9", "CMP6"}, "minor": {"AmPs", "AmPd"},
          "blues": {"CMPs", "CMP6"}}

# --- time charts ----------------------------------------------------------------
# Bar figures of 4/4 (ticks, 96 to the quarter): a chord to the bar, two to the
# bar, a chord over two bars, and quick changes into or out of a half bar.
W, D = [384], [768]
H = [192, 192]
QH = [96, 96, 192]      # two quick chords, then a half bar
HQ = [192, 96, 96]
Q4 = [96, 96, 96, 96]


def phrase(*figures):
    out = []
    for f in figures:
        out += f
    return out


BODY_44 = [
    # two bars
    phrase(W, W), phrase(D), phrase(H, W), phrase(W, H), phrase(H, H), phrase(W, QH),
    # three bars
    phrase(W, W, W), phrase(D, H),
    # four bars: the usual phrase
    phrase(W, W, W, W), phrase(W, W, W, W), phrase(D, D), phrase(W, W, D), phrase(D, W, W),
    phrase(H, W, H, W), phrase(W, H, W, H), phrase(W, W, W, H), phrase(D, W, H),
    phrase(H, H, W, W), phrase(W, W, H, W), phrase(H, H, H, H), phrase(W, QH, W, W),
    phrase(W, W, W, HQ), phrase(D, H, QH), phrase(W, H, D), phrase(H, W, W, W),
    phrase(W, W, H, H), phrase(D, W, W),
    # six bars
    phrase(W, W, W, W, W, W), phrase(D, D, D), phrase(W, W, W, W, D),
    # eight bars
    phrase(W, W, W, W, W, W, W, W), phrase(D, D, D, D), phrase(W, W, W, W, D, D),
    phrase(W, W, D, W, W, D), phrase(H, W, H, W, H, W, W, W), phrase(D, W, W, D, W, H),
    phrase(W, H, W, H, W, W, D), phrase(D, D, W, W, H, H), phrase(W, W, W, W, H, H, W, Q4),
]

# Minor-key songs (ballads, enka, kayokyoku) change chords more slowly.
BODY_44_MINOR = [
    phrase(W, W), phrase(D), phrase(H, W), phrase(W, H),
    phrase(W, W, W),
    phrase(W, W, W, W), phrase(W, W, W, W), phrase(D, D), phrase(D, D), phrase(W, W, D),
    phrase(D, W, W), phrase(W, W, W, H), phrase(W, H, W, W), phrase(H, W, H, W),
    phrase(D, W, H), phrase(W, W, H, W), phrase(W, QH, W, W), phrase(W, W, W, W),
    phrase(W, W, W, W, W, W), phrase(D, D, D), phrase(D, W, W, D),
    phrase(W, W, W, W, W, W, W, W), phrase(D, D, D, D), phrase(W, W, W, W, D, D),
    phrase(D, W, W, D, W, H), phrase(W, W, D, W, W, W, H),
]

B3, B3D = [288], [576]
BODY_34 = [
    phrase(B3, B3), phrase(B3D), phrase(B3, B3, B3),
    phrase(B3, B3, B3, B3), phrase(B3, B3, B3, B3), phrase(B3D, B3D), phrase(B3D, B3, B3),
    phrase(B3, B3, B3D), phrase(B3, B3D, B3),
    phrase(B3, B3, B3, B3, B3, B3), phrase(B3D, B3D, B3D),
    phrase(B3, B3, B3, B3, B3, B3, B3, B3), phrase(B3D, B3D, B3D, B3D),
    phrase(B3D, B3, B3, B3D, B3, B3), phrase(B3, B3, B3D, B3, B3, B3D),
    phrase(B3, B3, B3, B3, B3D, B3D),
]

B7 = [336]
BODY_78 = [B7 * 2, B7 * 3, B7 * 4, B7 * 4, B7 * 4, B7 * 6, B7 * 8, B7 * 8]

CADENCE_44 = [
    D, W,
    phrase(W, W), phrase(W, D), phrase(D, D), H,
    phrase(H, W), phrase(W, W, D), phrase(H, D), phrase(W, W, W),
    phrase(H, H), phrase(W, W, W, W), phrase(H, W, D), phrase(W, H, D), phrase(W, W, D, D),
]
CADENCE_44_MINOR = [
    D, D, W,
    phrase(W, W), phrase(W, D), phrase(D, D),
    phrase(W, W, D), phrase(H, D), phrase(W, W, W), phrase(H, W),
    phrase(W, W, W, W), phrase(W, H, D), phrase(W, H, W), phrase(H, W, D),
]
CADENCE_34 = [
    B3D, B3,
    phrase(B3, B3), phrase(B3, B3D), phrase(B3D, B3D),
    phrase(B3, B3, B3D), phrase(B3D, B3D, B3D), phrase(B3, B3, B3),
    phrase(B3, B3, B3, B3), phrase(B3, B3, B3, B3D), phrase(B3, B3, B3D, B3D),
]
CADENCE_78 = [B7, B7 * 2, B7 * 3, B7 * 4, B7 * 4]


# --- writing ----------------------------------------------------------------------

def transitions_text(table):
    lines = []
    for source, targets in table.items():
        for target, weight in targets:
            lines.append("%s%s%03d|" % (source, target, weight))
    return "\r\n".join(lines) + "\r\n"


def records_text(records):
    return "\r\n".join(["%d|" % len(records)] + [r + "|" for r in records]) + "\r\n"


def chart_records(charts):
    return ["".join("%03d" % n for n in chart) for chart in charts]


# --- checks --------------------------------------------------------------------------

def fail(message):
    sys.exit("make_pattern_db: " + message)


def check_transitions(name, table, tonic, categories):
    weights = [w for targets in table.values() for _, w in targets]
    if max(weights) < 8:
        fail(name + ": the largest weight must be at least 8")
    divisor = max(weights) // 8
    for source, targets in table.items():
        if not TABLE_CODE.match(source):
            fail("%s: bad chord code %r" % (name, source))
        if len(targets) > MAX_CANDIDATES:
            fail("%s: %s has more than %d transitions" % (name, source, MAX_CANDIDATES))
        seen = set()
        for target, weight in targets:
            if not TABLE_CODE.match(target):
                fail("%s: bad chord code %r" % (name, target))
            if target not in table:
                fail("%s: %s leads to %s, which leads nowhere" % (name, source, target))
            if target in seen:
                fail("%s: %s lists %s twice" % (name, source, target))
            if not 0 <= weight <= 999:
                fail("%s: weight %d out of range" % (name, weight))
            seen.add(target)
    # Every chord a style can reach must offer that style a way on and a way
    # home, or the engine would spend its 4000 draws and fall back.
    for category in categories:
        minimum = MIN_CLASS[category]
        strong = {s: [t for t, w in ts if 1 + w // divisor >= minimum] for s, ts in table.items()}
        reached, todo = {tonic}, [tonic]
        while todo:
            for t in strong[todo.pop()]:
                if t not in reached:
                    reached.add(t)
                    todo.append(t)
        for chord in reached:
            if not strong[chord]:
                fail("%s: %s is a dead end for category %d" % (name, chord, category))
            back, todo2 = {chord}, [chord]
            while todo2 and tonic not in back:
                for t in strong[todo2.pop()]:
                    if t not in back:
                        back.add(t)
                        todo2.append(t)
            if tonic not in back:
                fail("%s: no way home from %s for category %d" % (name, chord, category))


def check_cadences(name, records, tonics, counts):
    have = set()
    for r in records:
        if len(r) % 4 or not 4 <= len(r) <= 64:
            fail("%s: bad cadence %r" % (name, r))
        codes = [r[i:i + 4] for i in range(0, len(r), 4)]
        for c in codes:
            if not TABLE_CODE.match(c):
                fail("%s: bad chord code %r" % (name, c))
        if codes[-1] not in tonics:
            fail("%s: %r does not end on the tonic" % (name, r))
        have.add(len(codes))
    missing = counts - have
    if missing:
        fail("%s: no cadence of %s chords" % (name, sorted(missing)))


def check_charts(name, charts, allowed, bar, bars_range, chords_range):
    for chart in charts:
        if any(n not in allowed for n in chart):
            fail("%s: length not allowed in %r" % (name, chart))
        if sum(chart) % bar:
            fail("%s: %r is not whole bars" % (name, chart))
        if not bars_range[0] <= sum(chart) // bar <= bars_range[1]:
            fail("%s: %r has %d bars" % (name, chart, sum(chart) // bar))
        if not chords_range[0] <= len(chart) <= chords_range[1]:
            fail("%s: %r has %d chords" % (name, chart, len(chart)))
        # A chord does not start off the beat grid of its half bar.
        at = 0
        for n in chart:
            if n >= bar and at % bar:
                fail("%s: %r holds a long chord across a bar line" % (name, chart))
            at += n


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else OUT
    os.makedirs(out, exist_ok=True)

    check_transitions("PATTERN.DB", MAJOR, "CMPS", [1, 2, 3, 4])
    check_transitions("PATTERN.DB2", MINOR, "AmPs", [1, 2, 3, 4])
    check_transitions("PATTERN.DBB", BLUES, "CMPs", [3])

    quarter_notes = {96, 192, 384, 768}
    check_charts("TIMECHT.DB", BODY_44, quarter_notes, 384, (2, 8), (1, 27))
    check_charts("TIMECHT.DB2", BODY_44_MINOR, quarter_notes, 384, (2, 8), (1, 27))
    check_charts("TIMECHT3.DB", BODY_34, {288, 576}, 288, (2, 8), (1, 27))
    check_charts("TIMECHT7.DB", BODY_78, {336}, 336, (2, 8), (1, 27))
    check_charts("RESTIME.DB", CADENCE_44, quarter_notes, 384, (1, 6), (1, 4))
    check_charts("RESTIME.DB2", CADENCE_44_MINOR, quarter_notes, 384, (1, 6), (1, 4))
    check_charts("RESTIME3.DB", CADENCE_34, {288, 576}, 288, (1, 6), (1, 4))
    check_charts("RESTIME7.DB", CADENCE_78, {336}, 336, (1, 6), (1, 4))

    # The cadence charts of 3/4 and 7/8 serve every key.
    shared = {len(c) for c in CADENCE_34 + CADENCE_78}
    check_cadences("RESOLUT.DB", MAJOR_CADENCES, TONICS["major"], shared | {len(c) for c in CADENCE_44})
    check_cadences("RESOLUT.DB2", MINOR_CADENCES, TONICS["minor"],
                   shared | {len(c) for c in CADENCE_44_MINOR})
    check_cadences("RESOLUT.DBB", BLUES_CADENCES, TONICS["blues"], shared | {len(c) for c in CADENCE_44})

    files = {
        "PATTERN.DB": transitions_text(MAJOR),
        "PATTERN.DB2": transitions_text(MINOR),
        "PATTERN.DBB": transitions_text(BLUES),
        "RESOLUT.DB": records_text(MAJOR_CADENCES),
        "RESOLUT.DB2": records_text(MINOR_CADENCES),
        "RESOLUT.DBB": records_text(BLUES_CADENCES),
        "TIMECHT.DB": records_text(chart_records(BODY_44)),
        "TIMECHT.DB2": records_text(chart_records(BODY_44_MINOR)),
        "TIMECHT3.DB": records_text(chart_records(BODY_34)),
        "TIMECHT7.DB": records_text(chart_records(BODY_78)),
        "RESTIME.DB": records_text(chart_records(CADENCE_44)),
        "RESTIME.DB2": records_text(chart_records(CADENCE_44_MINOR)),
        "RESTIME3.DB": records_text(chart_records(CADENCE_34)),
        "RESTIME7.DB": records_text(chart_records(CADENCE_78)),
    }
    for name, text in files.items():
        data = text.encode("ascii")
        if len(data) > MAX_BYTES:
            fail("%s is %d bytes, more than the engine reads" % (name, len(data)))
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    print("wrote %d files to %s" % (len(files), out))


if __name__ == "__main__":
    main()
