#include "engine/accompaniment/AccompanimentWriter.h"

#include "engine/accompaniment/PartSetup.h"

#include <algorithm>

namespace harmolin::accomp {

void NoteWriter::note(int at, int note, int velocity, int length) {
    at = std::max(at, last_);
    addEngineNote(track_, channel_, at - last_, note, velocity, length);
    last_ = at;
}

void NoteWriter::rest(int at) {
    note(at, 0, 0, 1);
}

std::vector<ChordSpan> chordSpans(const CompositionState& state) {
    std::vector<ChordSpan> spans;
    const auto& chords = state.tune.songChords;
    spans.reserve(chords.size());
    int start = 0;
    for (std::size_t i = 0; i < chords.size(); ++i) {
        const int length = std::max(0, chords[i].length);
        spans.push_back({&chords[i], start, length, static_cast<int>(i)});
        start += length;
    }
    return spans;
}

bool hasBassPart(const StyleRecord& style) {
    return style.programs[kPartBass] != kNoProgram;
}

int swingTicks(int straightTicks) {
    const int beat = straightTicks / 96;
    const int within = straightTicks % 96;
    const int swung = within < 48 ? within * 4 / 3 : 64 + (within - 48) * 2 / 3;
    return beat * 96 + swung;
}

namespace {
int pitchClassOf(int note) {
    return note > 0 ? note % 12 : -1;
}
} // namespace

ChordTones chordTones(const ChordRecord& chord) {
    ChordTones t;
    if (chord.root <= 0) return t;
    t.root = chord.root % 12;
    t.third = pitchClassOf(chord.third);
    t.fifth = pitchClassOf(chord.fifth);
    t.seventh = pitchClassOf(chord.seventh);
    t.bass = chord.bass > 0 ? chord.bass % 12 : t.root;
    return t;
}

int placeAbove(int pc, int low) {
    return low + (((pc - low) % 12) + 12) % 12;
}

std::vector<int> closeVoicing(const ChordRecord& chord, bool withRoot, int low) {
    const ChordTones t = chordTones(chord);
    std::vector<int> notes;
    if (t.empty()) return notes;
    for (int pc : {t.third, t.fifth, t.seventh})
        if (pc >= 0) notes.push_back(placeAbove(pc, low));
    if (withRoot || t.seventh < 0 || t.third < 0) notes.push_back(placeAbove(t.root, low));
    std::sort(notes.begin(), notes.end());
    notes.erase(std::unique(notes.begin(), notes.end()), notes.end());
    return notes;
}

std::vector<int> shellVoicing(const ChordRecord& chord, int low) {
    const ChordTones t = chordTones(chord);
    std::vector<int> notes;
    if (t.empty()) return notes;
    const int first = t.third >= 0 ? t.third : t.root;
    const int second = t.seventh >= 0 ? t.seventh : (t.fifth >= 0 ? t.fifth : t.root);
    notes.push_back(placeAbove(first, low));
    notes.push_back(placeAbove(second, low));
    std::sort(notes.begin(), notes.end());
    notes.erase(std::unique(notes.begin(), notes.end()), notes.end());
    return notes;
}

std::vector<int> arpeggioLadder(const ChordRecord& chord, bool withRoot) {
    const ChordTones t = chordTones(chord);
    std::vector<int> ladder;
    if (t.empty()) return ladder;
    ladder.push_back(placeAbove(t.bass, 48));
    const std::vector<int> upper = closeVoicing(chord, withRoot, 60);
    for (int n : upper)
        ladder.push_back(n);
    for (int n : upper)
        ladder.push_back(n + 12);
    return ladder;
}

namespace {

int slotsPerBar(int meter) {
    return meter == 0 ? 16 : meter == 1 ? 12 : 14;
}

// The bar strings for the style's metre, one per bar of the rhythm.
std::vector<std::string_view> barsForMeter(const SlotRhythm& rhythm, int meter) {
    std::vector<std::string_view> bars;
    if (meter == 1 && !rhythm.waltzBars.empty()) {
        for (const Bar12& b : rhythm.waltzBars)
            bars.push_back(b.text);
        return bars;
    }
    const std::size_t slots = static_cast<std::size_t>(slotsPerBar(meter));
    for (const Bar16& b : rhythm.bars)
        bars.push_back(b.text.substr(0, slots));
    return bars;
}

} // namespace

void walkSlots(const CompositionState& state, const SlotRhythm& rhythm, int gap, bool fillChanges,
               const std::function<void(const SlotHit&)>& onHit) {
    const StyleRecord& style = state.style;
    const std::vector<std::string_view> bars = barsForMeter(rhythm, style.meter);
    if (bars.empty()) return;
    const int barLength = style.barLength();
    const int slots = slotsPerBar(style.meter);
    const bool triplet = style.triplet();
    auto slotTime = [&](int s) { return s >= slots ? barLength : (triplet ? swingTicks(s * 24) : s * 24); };
    auto barText = [&](int bar) { return bars[static_cast<std::size_t>(bar) % bars.size()]; };
    auto symbolAt = [&](int bar, int s) {
        const std::string_view text = barText(bar);
        return s < static_cast<int>(text.size()) ? text[static_cast<std::size_t>(s)] : '.';
    };
    // The symbol whose hold reaches slot s of bar (at most a bar back).
    auto heldSymbol = [&](int bar, int s) {
        for (int back = 1; back <= slots; ++back) {
            int b = bar;
            int k = s - back;
            if (k < 0) {
                if (bar == 0) return '.';
                b = bar - 1;
                k += slots;
            }
            const char c = symbolAt(b, k);
            if (c != '-') return c;
        }
        return '.';
    };

    const std::vector<ChordSpan> spans = chordSpans(state);
    for (const ChordSpan& span : spans) {
        if (span.length <= 0) continue;
        bool first = true;
        bool done = false;
        for (int bar = span.start / barLength; !done && bar * barLength < span.end(); ++bar) {
            for (int s = 0; s < slots; ++s) {
                const int at = bar * barLength + slotTime(s);
                if (at < span.start) continue;
                if (at >= span.end()) {
                    done = true;
                    break;
                }
                char symbol = symbolAt(bar, s);
                bool filled = false;
                if (symbol == '-' || symbol == '.') {
                    if (!first) continue;
                    first = false;
                    if (symbol == '-') symbol = heldSymbol(bar, s);
                    if (symbol == '.' && fillChanges) {
                        symbol = 'R';
                        filled = true;
                    }
                    if (symbol == '.') continue;
                }
                first = false;
                int e = s + 1;
                if (filled) {
                    while (e < slots && symbolAt(bar, e) == '.')
                        ++e;
                } else {
                    while (e < slots && symbolAt(bar, e) == '-')
                        ++e;
                }
                const int end = std::min(bar * barLength + slotTime(e), span.end());
                const int room = end - at;
                int length = room - gap;
                if (length < room / 2) length = std::max(1, room / 2);
                onHit({symbol, at, length, &span, s});
            }
        }
    }
}

} // namespace harmolin::accomp
