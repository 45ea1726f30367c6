// Fixed step-grid patterns of the styles. Rows of the harmony and bass
// blocks are voicing degrees (with the initial row values: row 2 the root,
// 4 the third, 6 the fifth, 8 the seventh, 9 the root an octave up, 11 the
// third and 13 the fifth an octave up); rows of the drum block are drums.
#include "styles/StylesInternal.h"
#include "styles/accompaniment/Accompaniment.h"

namespace harmolin::styles {
namespace {

// Trailer values: 4 + block for running steps on across chords, 8 + block
// for strummed steps.
constexpr int kStrumFlag = 8;

enum VoicingRow : int {
    kRoot = 2,
    kThird = 4,
    kFifth = 6,
    kSeventh = 8,
    kRootUp = 9,
    kThirdUp = 11,
    kFifthUp = 13,
};

// Drum block rows with their initial drum codes.
enum DrumRow : int {
    kAcousticKick = 0, // note 35
    kKick = 1,         // 36
    kPedalHat = 6,     // 44
    kRide = 11,        // 51
};

void strike(StyleRecord& style, int block, int step, std::initializer_list<int> rows) {
    for (int row : rows)
        style.cell(block, row, step) = 1;
}

// Lets the notes of step `from` ring through the steps up to `to`.
void ring(StyleRecord& style, int block, int from, int to) {
    for (int step = from + 1; step <= to; ++step)
        style.tie(block, step) = 1;
}

} // namespace

// A steel- or nylon-string strum, "down, down-up, down-up, down-up": full
// chords on the beats, the upper strings on the off-beats. Each strum rings
// until the next one but never across a beat, so a short chord still ends
// its own strum.
void writeFolkStrumGrid(StyleRecord& style) {
    const int b = grid::kHarmonyBlock;
    for (int beat = 0; beat < 4; ++beat) {
        const int down = beat * 4;
        strike(style, b, down, {kRoot, kFifth, kRootUp, kThirdUp, kFifthUp});
        if (beat == 0) {
            ring(style, b, down, down + 3);
            continue;
        }
        ring(style, b, down, down + 1);
        strike(style, b, down + 2, {kRootUp, kThirdUp, kFifthUp});
        ring(style, b, down + 2, down + 3);
    }
    style.trailer(kStrumFlag + b) = 1;
    normaliseGrid(style);
}

// A pad chord struck on each half bar and held.
void writeSlowPadGrid(StyleRecord& style) {
    const int b = grid::kHarmonyBlock;
    for (int half : {0, 8}) {
        strike(style, b, half, {kRoot, kThird, kFifth, kSeventh});
        ring(style, b, half, half + 7);
    }
    normaliseGrid(style);
}

// Swing time in twelve triplet steps: the ride's "ding, ding-a-ding", the
// hi-hat pedal on two and four and the bass drum on one.
void writeSwingRideGrid(StyleRecord& style) {
    const int b = grid::kDrumBlock;
    for (int step : {0, 3, 5, 6, 9, 11})
        strike(style, b, step, {kRide});
    for (int step : {3, 9})
        strike(style, b, step, {kPedalHat});
    strike(style, b, 0, {kAcousticKick});
    normaliseGrid(style);
}

// A slow heartbeat, "lub-dub" on each half bar.
void writeHeartbeatGrid(StyleRecord& style) {
    const int b = grid::kDrumBlock;
    for (int half : {0, 8}) {
        strike(style, b, half, {kAcousticKick, kKick});
        strike(style, b, half + 2, {kKick});
    }
    normaliseGrid(style);
}

// A driving pop bass in eighths: root, root, octave, root, root, root,
// fifth, octave with a sixteenth pick-up into the next bar.
void writePopBassGrid(StyleRecord& style) {
    const int b = grid::kBassBlock;
    constexpr int kEighths[8] = {kRoot, kRoot, kRootUp, kRoot, kRoot, kRoot, kFifth, kRootUp};
    for (int i = 0; i < 8; ++i) {
        strike(style, b, 2 * i, {kEighths[i]});
        if (i < 7) ring(style, b, 2 * i, 2 * i + 1);
    }
    strike(style, b, 15, {kRoot});
    normaliseGrid(style);
}

} // namespace harmolin::styles
