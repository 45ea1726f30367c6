#include "engine/Melody.h"
#include "melody_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <utility>

namespace harmolin {
namespace {

using test::chordList;
using test::melodyState;
using test::notesOf;
using test::totalLength;

TEST(MelodyEnding, RestAtTheEndStartsTheEndingOnMiddleC) {
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
        auto state = melodyState(seed);
        EventList ending;
        writeMelodyEnding(*state, kPartMelody, ending, 0);
        const auto notes = notesOf(ending);
        ASSERT_FALSE(notes.empty());
        // Middle C is a tonic chord tone: figure A sounds it at once.
        EXPECT_EQ(notes[0].pitch, 60);
        EXPECT_EQ(notes[0].length, 96);
        for (const auto& n : notes) {
            EXPECT_GE(n.pitch, 56);
            EXPECT_LE(n.pitch, 70);
        }
    }
}

TEST(MelodyEnding, CadentialFiguresAlwaysFillFiveHundredSeventySixTicks) {
    int figures = 0;
    for (int keyVariant : {1, 2}) {
        for (std::uint32_t seed = 1; seed <= 200; ++seed) {
            auto state = melodyState(seed);
            state->style.keyVariant = keyVariant;
            state->patterns.tonic = ChordCode(keyVariant == 1 ? "CMPS" : "AmPs");
            state->style.sectionA()[kMelEndingKind] = 1;
            for (int last : {0, 60, 62, 66, 69, 70}) {
                EventList ending;
                writeMelodyEnding(*state, kPartMelody, ending, last);
                EXPECT_EQ(totalLength(ending), 576) << "key " << keyVariant << " last " << last;
                for (const auto& n : notesOf(ending))
                    EXPECT_GT(n.length, 0);
                ++figures;
            }
        }
    }
    EXPECT_EQ(figures, 2400);
}

TEST(MelodyEnding, OtherPartsGetThePlainEndingOrNothing) {
    auto state = melodyState(3);
    state->style.melodySettings[4] = state->style.sectionA();
    EventList plain;
    writeMelodyEnding(*state, 4, plain, 64);
    const auto notes = notesOf(plain);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].length, 192);
    EXPECT_GE(notes[0].pitch, 56);
    EXPECT_LE(notes[0].pitch, 70);

    state->style.melodySettings[4][kMelEndingKind] = 1;
    EventList none;
    writeMelodyEnding(*state, 4, none, 64);
    EXPECT_EQ(none.count(), 0);
}

// Whatever note the tune stops on, the ending stays in the key and its last
// note is a tonic chord tone; in a range narrower than an octave the fold
// lands on the closing chord instead of on a random neighbour.
TEST(MelodyEnding, EndingsStayInTheKeyAndCloseOnTheTonicChord) {
    int endings = 0;
    int onTonic = 0;
    for (int keyVariant : {1, 2}) {
        const int tonic = keyVariant == 1 ? 0 : 9;
        const std::array<int, 3> triad =
            keyVariant == 1 ? std::array<int, 3>{0, 4, 7} : std::array<int, 3>{9, 0, 4};
        for (const auto& range : {std::pair{56, 70}, std::pair{60, 67}}) {
            for (int kind : {0, 1}) {
                for (std::uint32_t seed = 1; seed <= 60; ++seed) {
                    auto state = melodyState(seed);
                    state->style.keyVariant = keyVariant;
                    state->patterns.tonic = ChordCode(keyVariant == 1 ? "CMPS" : "AmPs");
                    state->style.sectionA()[kMelEndingKind] = kind;
                    state->style.sectionA()[kMelLowest] = range.first;
                    state->style.sectionA()[kMelHighest] = range.second;
                    const auto weights = chordNoteWeights(*state, state->patterns.tonic);
                    for (int last : {0, 55, 56, 61, 63, 66, 68, 71, 75}) {
                        EventList ending;
                        writeMelodyEnding(*state, kPartMelody, ending, last);
                        const auto notes = notesOf(ending);
                        ASSERT_FALSE(notes.empty());
                        for (const auto& n : notes) {
                            if (n.pitch == 0) continue;
                            EXPECT_GT(weights[static_cast<std::size_t>(n.pitch % 12)], 0)
                                << "note " << n.pitch << " key " << keyVariant << " from " << last;
                        }
                        int final = 0;
                        for (const auto& n : notes)
                            if (n.pitch != 0) final = n.pitch;
                        // Neighbour notes of the turn may step a semitone out; the last note may not.
                        EXPECT_GE(final, range.first);
                        EXPECT_LE(final, range.second);
                        EXPECT_NE(std::find(triad.begin(), triad.end(), final % 12), triad.end())
                            << "final " << final << " key " << keyVariant << " kind " << kind;
                        onTonic += final % 12 == tonic;
                        ++endings;
                    }
                }
            }
        }
    }
    // Figures B and C always close on the tonic itself, A on any tonic chord tone.
    EXPECT_GT(onTonic * 2, endings);
}

TEST(MelodyEnding, NoEndingNotesWithoutLengthFitting) {
    auto state = melodyState(5);
    state->style.chordMode = 8;
    for (int kind : {0, 1}) {
        state->style.sectionA()[kMelEndingKind] = kind;
        EventList ending;
        writeMelodyEnding(*state, kPartMelody, ending, 64);
        EXPECT_EQ(ending.count(), 0);
    }
}

TEST(MelodyHarmony, NoteAtOrBelowTheReferenceRestartsAFourthBelow) {
    auto state = melodyState(7);
    std::array<int, 12> everything{};
    everything.fill(9);
    HarmonyState h;
    EXPECT_EQ(harmonyNote(*state, kPartSecondMelody, h, 64, everything), 60); // reference 62, mirrored
    EXPECT_EQ(h.reference, 62);
    EXPECT_EQ(harmonyNote(*state, kPartSecondMelody, h, 62, everything), 57);
    EXPECT_EQ(h.reference, 60);
    EXPECT_EQ(harmonyNote(*state, kPartSecondMelody, h, 65, everything), 55); // mirrored: 60 - 5

    // Against a real chord the harmony lands on a strong note a fourth or
    // more below.
    const auto c = chordNoteWeights(*state, ChordCode("CMPd"));
    for (int note = 57; note <= 70; ++note) {
        HarmonyState fresh;
        fresh.reference = note + 3;
        const int harmony = harmonyNote(*state, kPartSecondMelody, fresh, note, c);
        EXPECT_EQ(fresh.reference, note - 2);
        EXPECT_LE(harmony, note - 5);
        EXPECT_GE(harmony, note - 12);
        EXPECT_GE(c[static_cast<std::size_t>(harmony % 12)], 8);
    }
}

TEST(MelodyHarmony, RestsEchoOnlyWhenAskedAndNotForever) {
    auto state = melodyState(9);
    const auto c = chordNoteWeights(*state, ChordCode("CMPd"));
    HarmonyState h;
    (void)harmonyNote(*state, kPartSecondMelody, h, 64, c); // moves the harmony state along
    EXPECT_EQ(harmonyNote(*state, kPartSecondMelody, h, 0, c), 0);
    EXPECT_EQ(h.lastHarmony, 0);

    state->style.melodySettings[kPartSecondMelody][kMelSecondMelody] = 2;
    int cleared = 0;
    for (int round = 0; round < 50; ++round) {
        HarmonyState echo;
        const int last = harmonyNote(*state, kPartSecondMelody, echo, 64, c);
        for (int rest = 0; rest < 30 && echo.lastHarmony != 0; ++rest) {
            const int r = harmonyNote(*state, kPartSecondMelody, echo, 0, c);
            EXPECT_TRUE(r == 0 || r == last || r == last + 12) << r;
            if (rest < 4) {
                EXPECT_EQ(echo.lastHarmony, last);
            }
        }
        cleared += echo.lastHarmony == 0;
    }
    EXPECT_EQ(cleared, 50);
}

TEST(MelodyHarmony, SecondMelodyFollowsTheMelodysTimeAndChords) {
    auto state = melodyState(11);
    state->tune.clear();
    state->tune.blockCount = 2;
    for (int b = 1; b <= 2; ++b) {
        state->tune.block(b).chords = chordList({{384, "CMPd"}, {384, "AmPd"}, {384, "FMPd"}, {384, "GMPs"}});
        EXPECT_TRUE(writeBlockMelody(*state, b, kPartMelody, state->tune.block(b).chords,
                                     state->tune.block(b).melody));
    }
    HarmonyState h;
    h.reference = 99; // stale state from elsewhere must not leak in
    deriveSecondMelody(*state, h);
    for (int b = 1; b <= 2; ++b) {
        const EventList& melody = state->tune.block(b).melody;
        const EventList& second = state->tune.block(b).secondMelody;
        const auto m = notesOf(melody);
        const auto s = notesOf(second);
        ASSERT_EQ(m.size(), s.size());
        int chords = 0;
        for (const EngineEvent& e : second)
            chords += e.kind == kEngineChord;
        EXPECT_EQ(chords, 4);
        for (std::size_t i = 0; i < m.size(); ++i) {
            EXPECT_EQ(m[i].length, s[i].length);
            EXPECT_EQ(m[i].chord, s[i].chord);
            if (m[i].pitch == 0) {
                EXPECT_EQ(s[i].pitch, 0);
                continue;
            }
            EXPECT_LT(s[i].pitch, m[i].pitch);
            EXPECT_GE(s[i].pitch, m[i].pitch - 12);
        }
    }
}

TEST(MelodyHarmony, SecondMelodyEnding) {
    auto state = melodyState(13);
    EventList melodyEnding;
    melodyEnding.appendChord(768, ChordCode("CMPS"));
    melodyEnding.appendControl(0, 3);
    melodyEnding.appendNote(96, 64);
    melodyEnding.appendNote(48, 0);
    melodyEnding.appendNote(192, 67);

    HarmonyState h;
    EventList plain;
    deriveSecondMelodyEnding(*state, h, melodyEnding, plain);
    ASSERT_EQ(plain.count(), 1);
    EXPECT_EQ(plain[0].length, 192);

    state->style.melodySettings[kPartSecondMelody][kMelEndingKind] = 1;
    HarmonyState fresh;
    EventList harmonised;
    deriveSecondMelodyEnding(*state, fresh, melodyEnding, harmonised);
    const auto notes = notesOf(harmonised);
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(harmonised.count(), 3) << "chord and control events only steer";
    EXPECT_EQ(notes[0].length, 96);
    EXPECT_LT(notes[0].pitch, 64);
    EXPECT_EQ(notes[1].pitch, 0);
    EXPECT_LT(notes[2].pitch, 67);
}

} // namespace
} // namespace harmolin
