// The song under construction: the current style, the tune structure, the
// chords and melody lists, the key changes and the engine's generator. One
// state is used for every song; a composition rebuilds what it needs.
#pragma once

#include "base/EngineRandom.h"
#include "engine/Chords.h"
#include "engine/EventList.h"
#include "engine/StyleRecord.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace harmolin {

// Fixed values of the engine.
namespace engine {
inline constexpr int kLengthTolerance = 4;
inline constexpr int kExtraPasses = 3;
inline constexpr int kDefaultBlockCount = 5;
inline constexpr int kFixedRepeats = 2;
inline constexpr int kIterationCap = 4000;
inline constexpr int kTrackCapacity = 49152;
inline constexpr int kOutputVariant = 2; // GM System On opens the conductor track
inline constexpr int kOutputBuffer = 0x60000;
inline constexpr int kMaxBlocks = 200;
inline constexpr int kMaxSequence = 1024;
inline constexpr int kMaxSongChords = 500;
inline constexpr int kDivision = 96;
} // namespace engine

struct TuneBlock {
    EventList chords;
    EventList melody;       // part 1 (and the parts the accompaniment writes)
    EventList secondMelody; // part 6
    std::array<int, 256> work{};
};

struct TuneStructure {
    int blockCount = 0;
    std::vector<TuneBlock> blocks = std::vector<TuneBlock>(engine::kMaxBlocks); // index b-1 for block b
    std::vector<int> sequence;           // 1-based block numbers in playing order
    std::vector<ChordRecord> songChords; // the chords of the whole tune
    EventList melodyTrack;
    EventList secondMelodyTrack;
    EventList markerTrack;
    int tuneBars = 0;

    [[nodiscard]] TuneBlock& block(int number) { return blocks[static_cast<std::size_t>(number - 1)]; }
    void clear();
};

struct Modulation {
    int sequencePosition = 0; // position in the block sequence
    int chordIndex = -1;      // index in the song chord list, -1 unset
    int trackIndex = 0;       // index in the melody track, 0 unset
    int shift = 0;            // semitones 1..11
    int applied = 0;          // semitones the key moved here (down negative), 0 none
};

// The four pattern files and what is derived from them.
struct PatternData {
    std::string chordText;       // chord transitions
    std::string cadenceText;     // cadences
    std::string timeChartText;   // chord lengths of the body
    std::string cadenceTimeText; // chord lengths of the ending
    int weightDivisor = 1;
    ChordCode tonic{"CMPS"};
    std::string timeChartName = "TIMECHT.DB";
    std::string cadenceTimeChartName = "RESTIME.DB";
    std::string chordScaleTable; // 648 lines of 19 characters
};

// Memory of the melody generator kept across notes and blocks.
struct MelodyMemory {
    int direction = 1;
    int lastDraw = 0;
    int lastPosition = -1;   // position in the chord of the previous call
    int lastFirstOffset = 0; // start offset of the last first note
    bool lastWasChordTone = false;
    int walkDirection = 1;       // the random walk's direction
    int sequenceIndex = 0;       // next note of the walk's stored sequence
    std::array<int, 4> figure{}; // the figure method's intervals, while it lasts
    int figureLength = 0;
    int figureIndex = 0;
    bool lastWeak = false; // the figure method's last note was off the chord
};

// Memory of the rhythm generator kept between calls.
struct RhythmMemory {
    int tripletRun = 0;
    bool tripletFlag = false;
    int pattern = 0;             // mode 7's pattern for the current chord
    std::array<int, 64> templ{}; // mode 9's template of the current chord
    int templCount = 0;
    int templIndex = 0;
};

struct CompositionState {
    StyleRecord style;
    TuneStructure tune;
    std::array<Modulation, 2> modulation{};
    int workMode = 0;
    std::string outputPath; // the MIDI file to write
    bool writeFile = false; // also the lead-in flag: every track starts one bar in
    int fixedBassNote = 0;
    int voicingThreshold = 1;  // grid voicing lowers notes whose weight is below it
    int soundModule = 0;       // General MIDI
    int outputMode = 0;        // 2: do not save the song file
    std::string programFolder; // where the pattern files lie
    PatternData patterns;
    MelodyMemory melodyMemory;
    RhythmMemory rhythmMemory;
    EngineRandom rng;

    [[nodiscard]] int leadIn() const { return writeFile ? style.barLength() : 0; }
};

} // namespace harmolin
