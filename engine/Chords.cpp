#include "engine/Chords.h"

#include "engine/ChordProgression.h"
#include "engine/CompositionState.h"
#include "engine/EngineErrors.h"

#include <algorithm>

namespace harmolin {
namespace {

constexpr const char* kRootLetters = "CdDeEFgGaAbB";

// Draws root + interval (or an octave off by offsetSign) until it lies in 60..83.
int placeInRange(EngineRandom& rng, int root, int interval, int octaveOffset) {
    for (int tries = 0; tries < 1000; ++tries) {
        const int draw = rng.randRange(1, 3);
        const int note = root + interval + (draw == 2 ? octaveOffset : 0);
        if (note >= 60 && note <= 83) return note;
    }
    return std::clamp(root + interval, 60, 83);
}

} // namespace

ChordCode::ChordCode(std::string_view text) {
    for (std::size_t i = 0; i < 4; ++i)
        c[i] = i < text.size() ? text[i] : ' ';
}

int rootPitchClass(char letter) {
    for (int i = 0; i < 12; ++i)
        if (kRootLetters[i] == letter) return i;
    return -1;
}

char rootLetter(int pitchClass) {
    return kRootLetters[((pitchClass % 12) + 12) % 12];
}

int rootNoteOf(char letter) {
    const int pc = rootPitchClass(letter);
    return pc < 0 ? 0 : 60 + pc;
}

int thirdInterval(char letter) {
    switch (letter) {
    case 'M':
        return 4;
    case 'm':
        return 3;
    case '4':
        return 5;
    case 'o':
        return -1;
    default:
        return -2;
    }
}

int fifthInterval(char letter) {
    switch (letter) {
    case 'P':
        return 7;
    case 'A':
        return 8;
    case 'd':
        return 6;
    case 'C':
        return -1;
    default:
        return -2;
    }
}

int seventhInterval(char letter) {
    switch (letter) {
    case 'S':
        return 11;
    case 's':
        return 10;
    case '6':
        return 9;
    case '9':
        return 14;
    case 'o':
        return 12;
    case 'd':
        return -1;
    default:
        return -2;
    }
}

ChordCode transposeChord(ChordCode code, int semitones) {
    const int pc = rootPitchClass(code.c[0]);
    if (pc < 0) return code;
    code.c[0] = rootLetter(pc + semitones);
    return code;
}

void ChordRecord::raise() {
    ++root;
    ++bass;
    ++third;
    ++fifth;
    if (seventh != 0) ++seventh;
    codeCopy = transposeChord(codeCopy, 1);
}

void ChordRecord::lower() {
    --root;
    --bass;
    --third;
    --fifth;
    if (seventh != 0) --seventh;
    codeCopy = transposeChord(codeCopy, -1);
}

ChordRecord buildChordRecord(CompositionState& state, int length, ChordCode code, std::string_view slash) {
    ChordRecord r;
    r.lengthHigh = (length >> 8) & 0xFF;
    r.lengthLow = length & 0xFF;
    r.length = r.lengthHigh * 256 + r.lengthLow;
    r.code = code;
    r.codeCopy = code;
    if (slash.size() >= 2) r.slash = {slash[0], slash[1]};
    const StyleRecord& style = state.style;

    if (code.root() == 'N') {
        r.root = 0;
    } else {
        r.root = rootNoteOf(code.root());
        if (r.root == 0) reportEngineError(engine_error::kRootNote);
    }
    if (style.fixedBassMode == 10)
        r.bass = state.fixedBassNote;
    else
        r.bass = r.root != 0 ? r.root - 24 : 0;

    const int third = thirdInterval(code.third());
    if (third == -1) {
        r.third = 0;
    } else {
        const int interval = third == -2 ? 0 : third;
        if (third == -2) reportEngineError(engine_error::kThirdNote);
        r.third =
            style.part3Pattern == 47 ? r.root + interval : placeInRange(state.rng, r.root, interval, 12);
    }

    const int fifth = fifthInterval(code.fifth());
    if (fifth == -1) {
        r.fifth = 0;
    } else if (fifth == -2) {
        reportEngineError(engine_error::kFifthNote);
        r.fifth = r.root;
    } else {
        r.fifth = r.root + fifth;
    }

    const int seventh = seventhInterval(code.seventh());
    if (seventh == -1) {
        r.seventh = 0;
    } else {
        const int interval = seventh == -2 ? 0 : seventh;
        if (seventh == -2) reportEngineError(engine_error::kSeventhNote);
        r.seventh = placeInRange(state.rng, r.root, interval, -12);
    }

    if (style.chordScaleAdjust == 1) adjustChordToScale(state, r);
    if (!slash.empty()) r.bass = (r.bass + r.slashValue()) & 0xFF;
    return r;
}

} // namespace harmolin
