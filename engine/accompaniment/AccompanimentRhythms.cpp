// Harmony generators written as slot rhythms: a bar of sixteenths per
// pattern, each symbol a kind of hit (chord, shell, strum, single note).
#include "engine/accompaniment/AccompanimentPatterns.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>

namespace harmolin::accomp {
namespace {

// How a pattern uses its part's percentage.
enum class PercentUse {
    None,
    Chance,     // optional hits ('x', 'z') sound with that chance
    HalfChance, // ... with half of it
    Velocity,   // scales every velocity
};

struct CompRhythm {
    std::vector<int> numbers;
    SlotRhythm rhythm;
    int gap = 4;   // silence at the end of each hit
    int low = 60;  // lowest note of the voicing window
    int strum = 3; // ticks between strummed notes
    PercentUse percent = PercentUse::None;
};

// Symbols: C chord, S shell (third and seventh), K chord over a low bass,
// B low bass note, F low fifth, T top note, O top an octave up, P power
// chord, D down strum, U up strum, X optional chord, Z optional shell, 1-9
// a note of the arpeggio ladder. Capitals are accented.
const std::vector<CompRhythm>& compRhythms() {
    static const std::vector<CompRhythm> rhythms = {
        {{7}, {{"C-------c-------"}, {"C-------c---"}}},
        {{8}, {{"C---c---C---c---"}, {"C---c---c---"}}},
        {{9}, {{"C-----c---------"}, {"C-----c-----"}}},
        {{10}, {{"S-....z-..z...z."}, {"S-....z-..z."}}, 4, 58, 3, PercentUse::HalfChance},
        {{11, 54}, {{"..c...c...c...c."}, {"..c...c...c."}}, 6},
        {{12}, {{"c-c-c-c-c-c-c-c-"}, {}}, 6, 60, 3, PercentUse::Velocity},
        {{14}, {{"C--c--C---c--c--", "--c--c--C-----c-"}, {}}},
        {{15}, {{"S---------------"}, {"S-----------"}}, 4, 55},
        {{16}, {{"D-xxd-x-D-xxd-x-"}, {}}, 4, 60, 3, PercentUse::Chance},
        {{17}, {{"K-t-c-t-K-t-c-t-"}, {"K-t-c-t-c-t-"}}},
        {{18}, {{"1-4-3-4-F-4-3-4-"}, {"1-4-3-4-F-4-"}}},
        {{19}, {{"C---C---C---C-c-"}, {"C---C---C---"}}, 30},
        {{20}, {{"T.o.t.O..t.o.t..", ".t.O..t.o.T.t.o."}, {}}, 6},
        {{21}, {{"....c-......c-.."}, {"....c-..c-.."}}},
        {{23}, {{"....c-..c-..c-.."}, {"....c-..c-.."}}},
        {{24}, {{"S-------s-------"}, {"S-----------"}}, 4, 67},
        {{25}, {{"..c.b.c...c.b.c."}, {}}, 6},
        {{26}, {{"cccccccccccccccc"}, {}}, 4},
        {{29}, {{"2-4-3-4-2-4-3-4-"}, {"2-4-3-4-2-4-"}}},
        {{30}, {{"D---d-u---u-d-u-"}, {"D---d-u-d-u-"}}},
        {{31}, {{"P-p-p-p-P-p-p-p-"}, {}}, 8},
        {{32}, {{"1-2-3-4-5-4-3-2-"}, {"1-2-3-4-5-4-"}}},
        {{33}, {{"C.....C.....c..."}, {}}, 10},
        {{34}, {{"K-------k-------"}, {"K-----------"}}},
        {{35}, {{"2434243424342434"}, {"243424342434"}}, 2},
        {{36}, {{"C---..c-C---..c-"}, {}}},
        {{37}, {{"c.cc..c.c.cc..c."}, {}}, 8},
        {{38}, {{"5-6-7-6-5-6-7-6-"}, {}}},
        {{39}, {{"C-------O---T---"}, {"C-------O---"}}},
        {{40}, {{"1-2-3-4-5-6-7-8-"}, {"1-2-3-4-5-6-"}}},
        {{41}, {{"8-7-6-5-4-3-2-1-"}, {"7-6-5-4-3-2-"}}},
        {{42}, {{".3.4.2.3..4.3.2."}, {}}, 6},
        {{43}, {{"U---u---U---u---"}, {"U---u---u---"}}},
        {{44}, {{"C..............."}, {}}},
        {{45}, {{"C-----c-------c-"}, {}}},
        {{46}, {{"1234567876543212"}, {"123456765432"}}, 4},
        {{49}, {{"D-d-D-d-D-d-D-d-"}, {}}, 6},
        {{50}, {{"K---------------"}, {"K-----------"}}},
        {{52}, {{"K-----c-----c---"}, {}}},
        {{53}, {{"S-..s-..S-..s-.."}, {}}},
        {{55}, {{"1545154515451545"}, {}}, 4},
        {{56}, {{"B---C---B---C-x-"}, {"B---C---c---"}}, 4, 60, 3, PercentUse::HalfChance},
        {{57}, {{"6-5-6-7-6-5-6-7-"}, {}}},
        {{58}, {{"D--d--D-D--d--D-"}, {}}},
        {{59}, {{"4---5---6---5---"}, {"4---5---6---"}}},
        {{60}, {{"....S-......s-.."}, {"....S-..s-.."}}},
    };
    return rhythms;
}

const CompRhythm* findRhythm(int number) {
    for (const CompRhythm& r : compRhythms())
        if (std::find(r.numbers.begin(), r.numbers.end(), number) != r.numbers.end()) return &r;
    return nullptr;
}

void emitHit(CompositionState& state, NoteWriter& writer, const CompRhythm& rhythm, const SlotHit& hit,
             int percent) {
    const ChordRecord& chord = *hit.span->chord;
    const ChordTones tones = chordTones(chord);
    if (tones.empty()) return;
    const char symbol = hit.symbol;
    const char kind = static_cast<char>(std::tolower(static_cast<unsigned char>(symbol)));
    const bool optional = kind == 'x' || kind == 'z';
    if (optional) {
        const int chance = rhythm.percent == PercentUse::HalfChance ? percent / 2 : percent;
        if (state.rng.randRange(1, 100) > std::clamp(chance, 0, 100)) return;
    }
    const bool withRoot = !hasBassPart(state.style);
    const std::vector<int> voicing = closeVoicing(chord, withRoot, rhythm.low);
    const int lowBass = placeAbove(tones.bass, 48);
    std::vector<int> notes;
    bool strum = false;
    switch (kind) {
    case 'c':
    case 'x':
        notes = voicing;
        break;
    case 's':
    case 'z':
        notes = shellVoicing(chord, rhythm.low - 2);
        break;
    case 'k':
        notes = voicing;
        notes.insert(notes.begin(), lowBass);
        break;
    case 'b':
        notes = {lowBass};
        break;
    case 'f':
        notes = {placeAbove(tones.fifth >= 0 ? tones.fifth : (tones.root + 7) % 12, 43)};
        break;
    case 't':
        notes = {voicing.back()};
        break;
    case 'o':
        notes = {voicing.back() + 12};
        break;
    case 'p': {
        const int root = placeAbove(tones.root, 48);
        notes = {root, root + 7, root + 12};
        break;
    }
    case 'd':
        notes = voicing;
        notes.insert(notes.begin(), lowBass);
        strum = true;
        break;
    case 'u':
        notes.assign(voicing.rbegin(), voicing.rend());
        strum = true;
        break;
    default:
        if (symbol >= '1' && symbol <= '9') {
            const std::vector<int> ladder = arpeggioLadder(chord, withRoot);
            const std::size_t index =
                std::min<std::size_t>(static_cast<std::size_t>(symbol - '1'), ladder.size() - 1);
            notes = {ladder[index]};
        }
        break;
    }
    const bool digit = symbol >= '1' && symbol <= '9';
    int velocity = digit ? 64 : (std::isupper(static_cast<unsigned char>(symbol)) ? 78 : 58);
    if (hit.slot % 4 == 0) velocity += 4;
    if (rhythm.percent == PercentUse::Velocity) velocity = velocity * std::max(0, percent) / 100;
    velocity = std::clamp(velocity, 1, 127);
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const int offset = strum ? rhythm.strum * static_cast<int>(i) : 0;
        writer.note(hit.at + offset, notes[i], velocity, std::max(1, hit.length - offset));
    }
}

} // namespace

bool playCompRhythm(CompositionState& state, NoteWriter& writer, const PatternContext& context) {
    const CompRhythm* rhythm = findRhythm(context.number);
    if (!rhythm) return false;
    walkSlots(state, rhythm->rhythm, rhythm->gap, false,
              [&](const SlotHit& hit) { emitHit(state, writer, *rhythm, hit, context.percent); });
    return true;
}

} // namespace harmolin::accomp
