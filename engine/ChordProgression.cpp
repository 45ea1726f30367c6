#include "engine/ChordProgression.h"

#include "engine/EngineErrors.h"
#include "engine/patterns/PatternDatabase.h"

#include <algorithm>
#include <string_view>

namespace harmolin {
namespace {

// The letters the chord-scale table is built from, in its line order.
constexpr std::string_view kRoots = "CdDeEFgGaAbB";
constexpr std::string_view kThirds = "Mm4";
constexpr std::string_view kFifths = "PAd";
constexpr std::string_view kFourths = "Ssdo69";
constexpr std::size_t kLineLength = 19; // code, 12 digits, "|", CR LF
constexpr int kTableLines = 12 * 3 * 3 * 6;

// The rule search gives up after this many candidates and keeps the tonic.
constexpr int kRuleSearchCap = engine::kIterationCap;
constexpr int kEndingRetries = 151;
constexpr int kScaleRootChoices = 21;

int pc(int note) {
    return ((note % 12) + 12) % 12;
}

// Twelve digits of a chord against nothing but itself; false when the code
// has no line in the table.
bool chordLineDigits(ChordCode code, std::array<int, 12>& digits) {
    digits.fill(0);
    const int root = rootPitchClass(code.root());
    if (root < 0 || kThirds.find(code.third()) == std::string_view::npos ||
        kFifths.find(code.fifth()) == std::string_view::npos ||
        kFourths.find(code.seventh()) == std::string_view::npos)
        return false;
    digits[static_cast<std::size_t>(root)] = 9;
    digits[static_cast<std::size_t>(pc(root + thirdInterval(code.third())))] = 9;
    digits[static_cast<std::size_t>(pc(root + fifthInterval(code.fifth())))] = 9;
    switch (code.seventh()) {
    case '6':
        digits[static_cast<std::size_t>(pc(root + 9))] = 5;
        break;
    case '9':
        digits[static_cast<std::size_t>(pc(root + 2))] = 4;
        break;
    case 'S':
        digits[static_cast<std::size_t>(pc(root + 11))] = 4;
        break;
    case 's':
        digits[static_cast<std::size_t>(pc(root + 10))] = 5;
        break;
    default:
        break;
    }
    return true;
}

// Line of a code in the table, -1 for none.
int tableLine(ChordCode code) {
    const auto r = kRoots.find(code.root());
    const auto t = kThirds.find(code.third());
    const auto f = kFifths.find(code.fifth());
    const auto s = kFourths.find(code.seventh());
    if (r == std::string_view::npos || t == std::string_view::npos || f == std::string_view::npos ||
        s == std::string_view::npos)
        return -1;
    return static_cast<int>(((r * 3 + t) * 3 + f) * 6 + s);
}

std::array<int, 12> rotated(const std::array<int, 12>& scale, int steps) {
    std::array<int, 12> out{};
    for (int i = 0; i < 12; ++i)
        out[static_cast<std::size_t>(pc(i + steps))] = scale[static_cast<std::size_t>(i)];
    return out;
}

// A scale agrees with a chord when every note of the chord is at least a
// plain scale note of it (weight 5), so the chord's colour notes are not
// merged against a key that contradicts them.
bool scaleAgrees(const std::array<int, 12>& scale, const std::array<int, 12>& chord) {
    for (int i = 0; i < 12; ++i)
        if (chord[static_cast<std::size_t>(i)] > 0 && scale[static_cast<std::size_t>(i)] < 5) return false;
    return true;
}

std::array<int, 4> notesOf(ChordCode code, int& count) {
    std::array<int, 4> notes{};
    count = 0;
    const int root = rootPitchClass(code.root());
    if (root < 0) return notes;
    notes[static_cast<std::size_t>(count++)] = root;
    const int third = thirdInterval(code.third());
    if (third >= 0) notes[static_cast<std::size_t>(count++)] = pc(root + third);
    const int fifth = fifthInterval(code.fifth());
    if (fifth >= 0) notes[static_cast<std::size_t>(count++)] = pc(root + fifth);
    const int seventh = seventhInterval(code.seventh());
    if (seventh >= 0) notes[static_cast<std::size_t>(count++)] = pc(root + seventh);
    // At most four notes: an insertion sort is all it takes.
    for (int i = 1; i < count; ++i)
        for (int j = i; j > 0 && notes[static_cast<std::size_t>(j - 1)] > notes[static_cast<std::size_t>(j)];
             --j)
            std::swap(notes[static_cast<std::size_t>(j - 1)], notes[static_cast<std::size_t>(j)]);
    return notes;
}

// Notes outside the key score less: C#, D# and A# nothing, F# and G# a
// little (less in a major key).
int chordScore(const CompositionState& state, ChordCode code) {
    int count = 0;
    const auto notes = notesOf(code, count);
    int score = 0;
    for (int i = 0; i < count; ++i) {
        switch (notes[static_cast<std::size_t>(i)]) {
        case 1:
        case 3:
        case 10:
            break;
        case 6:
        case 8:
            score += state.style.keyVariant == 1 ? 1 : 2;
            break;
        default:
            score += 2;
            break;
        }
    }
    return score;
}

ChordCode makeCode(char root, char third, char fifth, char fourth) {
    ChordCode code;
    code.c = {root, third, fifth, fourth};
    return code;
}

ChordCode withRootAbove(ChordCode code, ChordCode from, int semitones) {
    code.c[0] = rootLetter(rootPitchClass(from.root()) + semitones);
    return code;
}

ChordCode freeChord(EngineRandom& rng) {
    ChordCode code;
    code.c[0] = rootLetter(rng.randRange(0, 11));
    code.c[1] = rng.oneIn(2) ? 'M' : 'm';
    if (rng.randRange(1, 3) <= 2) {
        code.c[2] = 'P';
    } else {
        code.c[1] = 'm';
        code.c[2] = 'd';
    }
    code.c[3] = rng.oneIn(2) ? 'S' : 's';
    return code;
}

ChordCode dominantMotion(EngineRandom& rng, ChordCode working) {
    const char from = working.root();
    char root = 0;
    if (from == 'D' && rng.oneIn(2))
        root = 'G';
    else if (from == 'G' && rng.randRange(1, 3) <= 2)
        root = 'C';
    else if (from == 'C' && rng.oneIn(3))
        root = 'D';
    if (root == 0) {
        const int base = std::max(rootPitchClass(from), 0);
        int step = 3;
        if (rng.oneIn(2))
            step = 5;
        else if (rng.oneIn(3))
            step = 9;
        else if (rng.oneIn(2))
            step = 7;
        root = rootLetter(base + step);
    }
    char fourth = 0;
    switch (root) {
    case 'D':
        fourth = rng.oneIn(5) ? 'S' : 's';
        break;
    case 'C':
        fourth = rng.oneIn(4) ? 's' : 'S';
        break;
    case 'G':
        fourth = rng.oneIn(6) ? 'S' : 's';
        break;
    default:
        fourth = rng.oneIn(2) ? 'S' : 's';
        break;
    }
    return makeCode(root, 'M', 'P', fourth);
}

ChordCode descendingCycle(const CompositionState& state, EngineRandom& rng, ChordCode working) {
    ChordCode next;
    bool known = true;
    switch (working.root()) {
    case 'A':
        next = ChordCode("GMPS");
        break;
    case 'G':
        next = ChordCode("FMPS");
        break;
    case 'F':
        next = ChordCode("EMPs");
        break;
    case 'E':
        next = ChordCode(state.style.keyVariant == 1 ? "CMPS" : "AmPs");
        break;
    default:
        known = false;
        break;
    }
    if (!known || rng.oneIn(3)) {
        static constexpr std::array<const char*, 4> kCycle = {"GMPS", "FMPS", "EMPs", "AmPs"};
        next = ChordCode(kCycle[static_cast<std::size_t>((rng.randRange(1, 8) - 1) % 4)]);
    }
    return next;
}

int ruleMinimum(int category) {
    switch (category) {
    case 1:
        return 5;
    case 2:
        return 6;
    case 3:
        return 7;
    default:
        return 8;
    }
}

// The ending's minimum is the rule minimum, except category 9 ends as 3 does.
int endingMinimum(int category) {
    return category == 9 ? 7 : ruleMinimum(category);
}

// Accepts a scored candidate when it moves smoothly from the reference.
bool leadsWell(EngineRandom& rng, ChordCode reference, ChordCode candidate) {
    int refCount = 0;
    int candCount = 0;
    const auto ref = notesOf(reference, refCount);
    const auto cand = notesOf(candidate, candCount);
    int zeros = 0;
    int ones = 0;
    int twos = 0;
    for (int i = 0; i < candCount; ++i) {
        int nearest = 12;
        for (int j = 0; j < refCount; ++j) {
            const int d = std::abs(cand[static_cast<std::size_t>(i)] - ref[static_cast<std::size_t>(j)]);
            nearest = std::min(nearest, std::min(d, 12 - d)); // B to C is a semitone
        }
        zeros += nearest == 0;
        ones += nearest == 1;
        twos += nearest == 2;
    }
    int v = (ones == 1 || ones == 3) ? 1 : 0;
    if (reference.isDominantSeventh()) ++v;
    if (candidate.third() == 'M' && candidate.seventh() == 'S') ++v;
    if (candidate.third() == 'm' && candidate.seventh() == 's') ++v;
    if (twos == 3) return true;
    if (zeros == 3 && rng.oneIn(2)) return true;
    if (zeros == 2) ++v;
    return v > 1;
}

ChordCode ruleSearch(CompositionState& state, ChordCode working) {
    EngineRandom& rng = state.rng;
    const int minimum = ruleMinimum(state.style.category);
    for (int tries = 0; tries < kRuleSearchCap; ++tries) {
        ChordCode candidate = freeChord(rng);
        if (rng.oneIn(4)) {
            candidate.c[1] = 'm';
            candidate.c[2] = 'd';
            candidate.c[3] = 's';
        } else if (rng.oneIn(3)) {
            candidate = withRootAbove(candidate, working, 7);
            if (rng.oneIn(2)) candidate = makeCode(candidate.root(), 'M', 'P', 's');
        } else if (rng.oneIn(3)) {
            candidate = withRootAbove(candidate, working, 5);
            if (rng.oneIn(2)) candidate = makeCode(candidate.root(), 'M', 'P', 'S');
        }
        if (chordScore(state, candidate) < rng.randRange(minimum, 8)) continue;
        if (leadsWell(rng, working, candidate)) return candidate;
    }
    return state.patterns.tonic;
}

// A chord of the rule-based ending, from the chord before it.
ChordCode endingStep(CompositionState& state, ChordCode previous) {
    EngineRandom& rng = state.rng;
    if (previous.isDominantSeventh()) {
        const ChordCode shape = rng.oneIn(2) ? ChordCode("xMPS") : ChordCode("xmPs");
        return withRootAbove(shape, previous, 5);
    }
    if (previous.third() == 'M' && previous.fifth() == 'P' && previous.seventh() == 'S') {
        switch (rng.randRange(1, 3)) {
        case 1:
            return withRootAbove(ChordCode("xmPs"), previous, 2);
        case 2:
            return withRootAbove(ChordCode("xMPS"), previous, 5);
        default:
            return withRootAbove(ChordCode("xMPs"), previous, 2);
        }
    }
    if (previous.third() == 'm' && previous.fifth() == 'P' && previous.seventh() == 's')
        return withRootAbove(ChordCode("xMPs"), previous, 5);
    return state.patterns.tonic;
}

std::string slashFor(CompositionState& state, ChordCode chord) {
    if (state.style.slashBass != 1 || !state.rng.oneIn(4)) return "00";
    switch (state.rng.randRange(1, 3)) {
    case 1:
        return "07";
    case 2:
        return chord.third() == 'M' ? "04" : chord.third() == 'm' ? "03" : "00";
    default:
        return chord.seventh() == 'S' ? "11" : chord.seventh() == 's' ? "10" : "00";
    }
}

bool isScaleRoot(const std::array<int, 12>& scale, ChordCode code) {
    const int root = rootPitchClass(code.root());
    return root >= 0 && scale[static_cast<std::size_t>(root)] >= 2;
}

void appendChord(CompositionState& state, EventList& chords, int length, ChordCode code,
                 std::string_view slash) {
    chords.appendChord(buildChordRecord(state, length, code, slash));
}

} // namespace

std::vector<int> chordRhythm(CompositionState& state, bool ending) {
    const PatternData& p = state.patterns;
    std::vector<int> lengths = drawLengths(state, ending ? p.cadenceTimeText : p.timeChartText);
    const StyleRecord& s = state.style;
    if (s.category == 7) {
        const int fixed = s.meter == 0 ? 768 : s.meter == 1 ? 576 : 336;
        std::fill(lengths.begin(), lengths.end(), fixed);
    }
    if (s.fixedChordLength == 1) std::fill(lengths.begin(), lengths.end(), s.barLength());
    return lengths;
}

void writeBlockChords(CompositionState& state, EventList& chords, std::array<int, 256>& /*work*/) {
    const StyleRecord& s = state.style;
    const ChordCode tonic = state.patterns.tonic;
    const std::vector<int> rhythm = chordRhythm(state, false);
    const bool diatonicScale = s.scaleNumber == 1 || s.scaleNumber == 6 || s.scaleNumber == 7;
    const bool passingChords = s.chordMode == 1 && diatonicScale && s.category != 5 && s.category != 9 &&
                               s.category != 10 && s.category != 6;
    const std::array<int, 12> scale = styleScaleWeights(state);
    ChordCode working = tonic;

    for (std::size_t i = 0; i < rhythm.size(); ++i) {
        const int h = rhythm[i];
        if (s.category == 7) working = tonic;

        bool ornamented = false;
        if (s.meter == 0 && (s.scaleNumber == 1 || s.scaleNumber == 7) && working.third() == 'M') {
            if (working.seventh() == 's') {
                if (h >= 384 && s.category != 6 && s.chordLengthSource != 4 && state.rng.oneIn(3)) {
                    ChordCode suspended = working;
                    suspended.c[1] = '4';
                    appendChord(state, chords, h / 2, suspended, {});
                    appendChord(state, chords, h / 2, working, {});
                    ornamented = true;
                }
            } else if (h >= 384 && s.category == 9 && working == tonic && state.rng.oneIn(4)) {
                ChordCode augmented = working;
                augmented.c[2] = 'A';
                appendChord(state, chords, h / 2, working, {});
                appendChord(state, chords, h / 2, augmented, {});
                ornamented = true;
            }
        }
        if (!ornamented) appendChord(state, chords, h, working, slashFor(state, working));

        ChordCode next = nextChord(state, working);
        if (!diatonicScale)
            for (int choice = 1; choice < kScaleRootChoices && !isScaleRoot(scale, next); ++choice)
                next = nextChord(state, working);

        if (passingChords && i + 2 < rhythm.size() && (rhythm[i + 1] == 96 || rhythm[i + 1] == 192) &&
            state.rng.oneIn(4)) {
            const ChordCode passing = transposeChord(next, state.rng.oneIn(2) ? 1 : -1);
            appendChord(state, chords, rhythm[i + 1], passing, "00");
            ++i;
        }
        working = next;
    }
}

ChordCode nextChord(CompositionState& state, ChordCode working) {
    const StyleRecord& s = state.style;
    switch (s.category) {
    case 5:
        return freeChord(state.rng);
    case 9:
        return dominantMotion(state.rng, working);
    case 10:
        return descendingCycle(state, state.rng, working);
    default:
        break;
    }
    if (s.chordMode != 1 || s.category == 6) return drawNextChord(state, working);
    return ruleSearch(state, working);
}

void writeEndingBlock(CompositionState& state, EventList& chords, ChordCode previous,
                      std::array<int, 256>& /*work*/) {
    const StyleRecord& s = state.style;
    const std::vector<int> rhythm = chordRhythm(state, true);
    const int count = static_cast<int>(rhythm.size());
    std::vector<ChordCode> codes;
    if (s.chordMode != 1 || s.category == 6) {
        codes = drawCadence(state, previous, count);
    } else {
        const int minimum = endingMinimum(s.category);
        ChordCode before = previous;
        for (int i = 0; i < count; ++i) {
            ChordCode chosen = endingStep(state, before);
            for (int retry = 1; retry < kEndingRetries && chordScore(state, chosen) < minimum; ++retry)
                chosen = endingStep(state, before);
            codes.push_back(chosen);
            before = chosen;
        }
    }
    for (int i = 0; i < count; ++i)
        appendChord(state, chords, rhythm[static_cast<std::size_t>(i)], codes[static_cast<std::size_t>(i)],
                    {});
}

void buildChordScaleTable(CompositionState& state) {
    std::string& table = state.patterns.chordScaleTable;
    table.clear();
    table.reserve(kTableLines * kLineLength);
    std::array<int, 12> digits{};
    for (char root : kRoots)
        for (char third : kThirds)
            for (char fifth : kFifths)
                for (char fourth : kFourths) {
                    const ChordCode code = makeCode(root, third, fifth, fourth);
                    chordLineDigits(code, digits);
                    table += code.str();
                    for (int d : digits)
                        table += static_cast<char>('0' + d);
                    table += "|\r\n";
                }
}

std::array<int, 12> styleScaleWeights(const CompositionState& state) {
    const std::string templ = lookupScaleTemplate(state.style);
    std::array<int, 12> weights{};
    for (std::size_t i = 0; i < 12; ++i) {
        const std::size_t at = 4 + i;
        const char ch = at < templ.size() ? templ[at] : '0';
        weights[i] = ch >= '0' && ch <= '9' ? ch - '0' : 0;
    }
    return weights;
}

std::array<int, 12> chordNoteWeights(const CompositionState& state, ChordCode code) {
    std::array<int, 12> scale = styleScaleWeights(state);
    if (code == ChordCode("NoCd")) return scale;

    std::array<int, 12> chord{};
    const std::string& table = state.patterns.chordScaleTable;
    const int line = tableLine(code);
    if (line < 0) return {}; // no line for this chord: nothing to weigh
    if (table.size() >= static_cast<std::size_t>(kTableLines) * kLineLength) {
        const std::size_t at = static_cast<std::size_t>(line) * kLineLength + 4;
        for (std::size_t i = 0; i < 12; ++i)
            chord[i] = table[at + i] - '0';
    } else {
        chordLineDigits(code, chord);
    }

    const int number = state.style.scaleNumber;
    if (number == 1 || number == 7) {
        // Move the key up by fifths until the chord belongs to it; a chord
        // that fits no key keeps the style's own.
        for (int moves = 0; moves <= 11; ++moves) {
            const auto candidate = rotated(scale, moves * 7);
            if (scaleAgrees(candidate, chord)) {
                scale = candidate;
                break;
            }
        }
    }

    std::array<int, 12> weights{};
    for (std::size_t i = 0; i < 12; ++i)
        weights[i] = scale[i] == 0 ? 0 : std::clamp(chord[i] + scale[i] - 4, 0, 9);
    return weights;
}

void adjustChordToScale(const CompositionState& state, ChordRecord& chord) {
    const auto weights = chordNoteWeights(state, chord.code);
    // A chord without a line in the table has nothing to move towards.
    if (std::none_of(weights.begin(), weights.end(), [](int w) { return w != 0; })) return;
    auto lift = [&weights](int& note) {
        if (note == 0) return; // no such note
        for (int step = 0; step < 12; ++step) {
            if (weights[static_cast<std::size_t>(pc(note + step))] == 9) {
                note += step;
                return;
            }
        }
        note += 12;
    };
    lift(chord.root);
    lift(chord.bass);
    lift(chord.third);
    lift(chord.fifth);
    lift(chord.seventh);
}

} // namespace harmolin
