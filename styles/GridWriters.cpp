// Fixed step-grid patterns of the styles. Rows of the harmony and bass
// blocks are voicing degrees (with the initial row values: row 2 the root,
// 4 the third, 6 the fifth, 8 the seventh, 9 the root an octave up, 11 the
// third and 13 the fifth an octave up); rows of the drum block are drums.
#include "engine/accompaniment/Accompaniment.h"
#include "styles/StylesInternal.h"

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
    kAcousticKick = 0,  // note 35
    kKick = 1,          // 36
    kPedalHat = 6,      // 44
    kSnare = 2,         // 38
    kClap = 3,          // 39
    kElectricSnare = 4, // 40
    kClosedHat = 5,     // 42
    kLowTom = 7,        // 45
    kOpenHat = 8,       // 46
    kCrash = 9,         // 49
    kHighTom = 10,      // 50
    kRide = 11,         // 51
    kTambourine = 12,   // 54
    kRide2 = 13,        // 59
};

// Other voicing rows: the sixth below the root, the seventh below, the
// ninth, the fourth, the sixth, the ninth an octave up, the fourth up.
enum ColourRow : int {
    kSixthDown = 0,
    kSeventhDown = 1,
    kNinth = 3,
    kFourth = 5,
    kSixth = 7,
    kNinthUp = 10,
    kFourthUp = 12,
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

// Lays one voice group along a bar: 'x' strikes the rows at that step, '-'
// ties the step to the one before (ties are shared by the whole block), any
// other character leaves the step alone.
void lay(StyleRecord& style, int block, std::initializer_list<int> rows, const char* steps) {
    for (int step = 0; step < grid::kSteps && steps[step] != '\0'; ++step) {
        if (steps[step] == 'x') strike(style, block, step, rows);
        if (steps[step] == '-') style.tie(block, step) = 1;
    }
}

// Gives a drum row another General MIDI drum.
void drum(StyleRecord& style, int row, int note) {
    style.rowValue(grid::kDrumBlock, row) = note - 35;
}

// The second bar of a block, played on every other bar by player variant 1.
constexpr int kSecondBar = 4;
constexpr int kAlternateBars = 1;

// The harmony row below the root turned into the fifth below, for bass
// notes that alternate root and fifth.
constexpr int kFifthDown = kSixthDown;
void useLowFifth(StyleRecord& style) {
    style.rowValue(grid::kHarmonyBlock, kFifthDown) = 4;
}

} // namespace

// Blocks that the family writers add to their harmony pattern.
static void oneDropDrums(StyleRecord& style);
static void reggaeBass(StyleRecord& style);
static void sambaDrums(StyleRecord& style);
static void palmasDrums(StyleRecord& style);
static void acidBass(StyleRecord& style);
static void rollingBass(StyleRecord& style);
static void funkBass(StyleRecord& style);
static void gamelanGong(StyleRecord& style);

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

// ---- Harmony grids ----

// Palm-muted power chords on every eighth: root, fifth and octave, short.
void writeRockChugGrid(StyleRecord& style) {
    lay(style, grid::kHarmonyBlock, {kRoot, kFifth, kRootUp}, "x.x.x.x.x.x.x.x.");
    normaliseGrid(style);
}

// Open power chords that ring: a long chord on one, a push on the "and" of
// two, held into three, and two eighths to close the bar.
void writeArenaRockGrid(StyleRecord& style) {
    lay(style, grid::kHarmonyBlock, {kRoot, kFifth, kRootUp, kFifthUp}, "x-----x-----x.x.");
    normaliseGrid(style);
}

// Funk guitar: short upper-voice stabs on the sixteenths around the beat.
void writeFunkStabGrid(StyleRecord& style) {
    lay(style, grid::kHarmonyBlock, {kThird, kSeventh, kNinthUp}, "x..x..x...x.x..x");
    funkBass(style);
    normaliseGrid(style);
}

// Reggae: the skank on two and four, with the organ bubbling the off-beats
// in the other grid block.
void writeReggaeSkankGrid(StyleRecord& style) {
    lay(style, grid::kHarmonyBlock, {kThird, kFifth, kRootUp, kThirdUp}, "....x.......x...");
    lay(style, grid::kOtherBlock, {kThird, kFifth}, "..x...x...x...x.");
    lay(style, grid::kOtherBlock, {kRootUp}, ".x.x.x.x.x.x.x.x");
    style.trailer(kStrumFlag + grid::kHarmonyBlock) = 1;
    oneDropDrums(style);
    reggaeBass(style);
    normaliseGrid(style);
}

// Ska: an up-stroke on every off-beat eighth, strummed.
void writeSkaUpstrokeGrid(StyleRecord& style) {
    lay(style, grid::kHarmonyBlock, {kThirdUp, kFifth, kThird, kRootUp}, "..x...x...x...x.");
    style.trailer(kStrumFlag + grid::kHarmonyBlock) = 1;
    normaliseGrid(style);
}

// Bossa nova guitar over two bars: the thumb plays the root on one and the
// fifth below on three while the fingers pluck a syncopated shell with the
// ninth. Nothing is tied: a tie would swallow the syncopations.
void writeBossaCompGrid(StyleRecord& style) {
    const int a = grid::kHarmonyBlock;
    const int b = a + kSecondBar;
    useLowFifth(style);
    for (int block : {a, b}) {
        lay(style, block, {kRoot}, "x.......");
        lay(style, block, {kFifthDown}, "........x.......");
    }
    lay(style, a, {kThird, kSeventh, kNinthUp}, "x..x..x...x.x...");
    lay(style, b, {kThird, kSeventh, kNinthUp}, "..x..x..x..x..x.");
    style.trailer(0) = kAlternateBars;
    normaliseGrid(style);
}

// Waltz "oom-pah-pah": the low root on one, the chord on two and three.
void writeWaltzGrid(StyleRecord& style) {
    const int b = grid::kHarmonyBlock;
    lay(style, b, {kRoot}, "x--.");
    lay(style, b, {kThird, kFifth, kRootUp}, "....x-..x-..");
    normaliseGrid(style);
}

// Viennese waltz: the second beat comes a little early, the third is light.
void writeViennaWaltzGrid(StyleRecord& style) {
    const int b = grid::kHarmonyBlock;
    lay(style, b, {kRoot, kRootUp}, "x--.");
    lay(style, b, {kThirdUp, kFifth, kRootUp}, "...x-...x...");
    normaliseGrid(style);
}

// Accordion musette in three: the bass alternates root and fifth bar by bar
// under chords on two and three.
void writeMusetteGrid(StyleRecord& style) {
    const int a = grid::kHarmonyBlock;
    const int b = a + kSecondBar;
    lay(style, a, {kRoot}, "x--.");
    useLowFifth(style);
    lay(style, b, {kFifthDown}, "x--.");
    for (int block : {a, b})
        lay(style, block, {kFifth, kRootUp, kThirdUp}, "....x-..x-..");
    style.trailer(0) = kAlternateBars;
    normaliseGrid(style);
}

// Tango marcato: four heavy chords, the fourth dragged in by a sixteenth.
void writeTangoGrid(StyleRecord& style) {
    const int b = grid::kHarmonyBlock;
    lay(style, b, {kRoot, kThird, kFifth, kRootUp}, "x-..x-..x-..x-..");
    lay(style, b, {kRoot}, "...........x...x");
    normaliseGrid(style);
}

// House organ stabs on the off-beats.
void writeTechnoStabGrid(StyleRecord& style) {
    lay(style, grid::kHarmonyBlock, {kThird, kFifth, kSeventh, kRootUp}, "..x...x...x...x.");
    writeFourOnFloorGrid(style);
    acidBass(style);
    normaliseGrid(style);
}

// A trance gate: the pad chopped into sixteenths, resting on the beats'
// last sixteenth so the pulse breathes.
void writeTranceGateGrid(StyleRecord& style) {
    lay(style, grid::kHarmonyBlock, {kThird, kFifth, kRootUp, kThirdUp}, "xxx.xxx.xxx.xx.x");
    writeFourOnFloorGrid(style);
    rollingBass(style);
    normaliseGrid(style);
}

// March: "oom-pah" in two, low root and fifth on the beats, brass chords
// between.
void writeMarchGrid(StyleRecord& style) {
    const int b = grid::kHarmonyBlock;
    lay(style, b, {kRoot}, "x-......");
    useLowFifth(style);
    lay(style, b, {kFifthDown}, "........x-......");
    lay(style, b, {kThird, kFifth, kRootUp}, "....x-......x-..");
    normaliseGrid(style);
}

// Country "boom-chick": the bass string then a strummed chord, the bass
// moving to the fifth on three.
void writeBoomChickGrid(StyleRecord& style) {
    const int b = grid::kHarmonyBlock;
    lay(style, b, {kRoot}, "x-......");
    useLowFifth(style);
    lay(style, b, {kFifthDown}, "........x-......");
    lay(style, b, {kThird, kRootUp, kThirdUp, kFifthUp}, "....x-.x....x-.x");
    style.trailer(kStrumFlag + b) = 1;
    normaliseGrid(style);
}

// Gamelan kotekan: two interlocking parts, one on the even sixteenths
// (part 3) and one on the odd (part 7), each running over the chord tones.
void writeGamelanGrid(StyleRecord& style) {
    const int p = grid::kHarmonyBlock;
    const int s = grid::kOtherBlock;
    lay(style, p, {kRootUp}, "x.......x.......");
    lay(style, p, {kThirdUp}, "..x.........x...");
    lay(style, p, {kFifth}, "....x.......x...");
    lay(style, p, {kFifthUp}, "......x.......x.");
    lay(style, s, {kThirdUp}, ".x.....x........");
    lay(style, s, {kFifthUp}, "...x.......x.x..");
    lay(style, s, {kRootUp}, ".....x...x.....x");
    style.trailer(4 + p) = 1;
    style.trailer(4 + s) = 1;
    gamelanGong(style);
    normaliseGrid(style);
}

// Koto: a rolled open fifth and octave, then plucked single notes falling
// back to the root.
void writeKotoGrid(StyleRecord& style) {
    const int b = grid::kHarmonyBlock;
    lay(style, b, {kRoot, kFifth, kRootUp}, "x--.............");
    lay(style, b, {kFifthUp}, "....x-..........");
    lay(style, b, {kFourthUp}, "......x.........");
    lay(style, b, {kThirdUp}, "........x-......");
    lay(style, b, {kRootUp}, "..........x-..x-");
    style.trailer(kStrumFlag + b) = 1;
    normaliseGrid(style);
}

// The sho of court music: a cluster of root, ninth, fourth, fifth and
// octave held for the whole bar.
void writeShoClusterGrid(StyleRecord& style) {
    lay(style, grid::kHarmonyBlock, {kRoot, kNinth, kFourth, kFifth, kRootUp, kNinthUp}, "x---------------");
    normaliseGrid(style);
}

// Samba partido alto on cavaquinho: short syncopated chords over two bars.
void writeSambaCompGrid(StyleRecord& style) {
    const int a = grid::kHarmonyBlock;
    const int b = a + kSecondBar;
    lay(style, a, {kThird, kFifth, kRootUp}, "x.xx.x.x..x..x.x");
    lay(style, b, {kThird, kFifth, kRootUp}, "..x..x.x..xx.x..");
    style.trailer(0) = kAlternateBars;
    sambaDrums(style);
    normaliseGrid(style);
}

// Piano montuno: octave roots and inner chord notes in a two-bar guajeo.
void writeMontunoGrid(StyleRecord& style) {
    const int a = grid::kHarmonyBlock;
    const int b = a + kSecondBar;
    lay(style, a, {kRootUp, kThirdUp}, "x..x..x.........");
    lay(style, a, {kFifth, kThirdUp}, "..x...........x.");
    lay(style, a, {kRootUp, kFifthUp}, "........x..x....");
    lay(style, b, {kFifth, kThirdUp}, ".x..x...........");
    lay(style, b, {kRootUp, kThirdUp}, "......x..x..x...");
    lay(style, b, {kSixth, kRootUp}, "..............x.");
    style.trailer(0) = kAlternateBars;
    normaliseGrid(style);
}

// Cha-cha-cha: chords on one, two and three, and the "cha-cha" on
// three-and and four.
void writeChaChaGrid(StyleRecord& style) {
    lay(style, grid::kHarmonyBlock, {kThird, kFifth, kRootUp}, "x-..x-..x.x.x-..");
    normaliseGrid(style);
}

// Flamenco rasgueado: rolled flurries into strong strokes, strummed.
void writeRasgueadoGrid(StyleRecord& style) {
    const int b = grid::kHarmonyBlock;
    lay(style, b, {kRoot, kFifth, kRootUp, kThirdUp, kFifthUp}, "xxx-x.x.xxx-x.x.");
    style.trailer(kStrumFlag + b) = 1;
    palmasDrums(style);
    normaliseGrid(style);
}

// Harp: a rising and falling arpeggio through two octaves in sixteenths,
// each note left to ring a step.
void writeHarpArpeggioGrid(StyleRecord& style) {
    const int b = grid::kHarmonyBlock;
    constexpr int kLine[8] = {kRoot, kFifth, kRootUp, kThirdUp, kFifthUp, kThirdUp, kRootUp, kFifth};
    for (int i = 0; i < 8; ++i)
        strike(style, b, 2 * i, {kLine[i]});
    lay(style, b, {}, ".-.-.-.-.-.-.-.-");
    normaliseGrid(style);
}

// Music box in three: bell-like notes high up, picked out one at a time.
void writeMusicBoxGrid(StyleRecord& style) {
    const int b = grid::kHarmonyBlock;
    lay(style, b, {kRootUp}, "x.....x.....");
    lay(style, b, {kFifthUp}, "..x.........");
    lay(style, b, {kThirdUp}, "....x.....x.");
    lay(style, b, {kNinthUp}, "........x...");
    normaliseGrid(style);
}

// Organ chorale: a full chord held through the bar over the low root.
void writeChoraleGrid(StyleRecord& style) {
    lay(style, grid::kHarmonyBlock, {kRoot, kFifth, kRootUp, kThirdUp}, "x---------------");
    normaliseGrid(style);
}

// Boogie shuffle guitar in triplets: root with fifth, then root with sixth,
// two swung eighths a beat.
void writeBoogieShuffleGrid(StyleRecord& style) {
    const int b = grid::kHarmonyBlock;
    lay(style, b, {kRoot, kFifth}, "x.x...x.x...");
    lay(style, b, {kRoot, kSixth}, "...x.x...x.x");
    normaliseGrid(style);
}

// Four-to-the-bar swing guitar: short shells on every beat in triplet time.
void writeSwingCompGrid(StyleRecord& style) {
    lay(style, grid::kHarmonyBlock, {kRoot, kThird, kSeventh}, "x..x..x..x..");
    style.trailer(kStrumFlag + grid::kHarmonyBlock) = 1;
    normaliseGrid(style);
}

// Highlife guitar: single notes picked in sixteenths around the chord's top.
void writeHighlifeGrid(StyleRecord& style) {
    const int b = grid::kHarmonyBlock;
    lay(style, b, {kRootUp}, "x.....x...x.....");
    lay(style, b, {kThirdUp}, "..x.......x...x.");
    lay(style, b, {kFifthUp}, "...x.......x....");
    lay(style, b, {kFifth}, "........x.....x.");
    writeAfricanDrumGrid(style);
    normaliseGrid(style);
}

// ---- Drum grids ----

// Four on the floor: kick on every beat, clap on two and four, closed hats
// on the sixteenths and an open hat on each off-beat.
void writeFourOnFloorGrid(StyleRecord& style) {
    const int d = grid::kDrumBlock;
    lay(style, d, {kKick}, "x...x...x...x...");
    lay(style, d, {kClap}, "....x.......x...");
    lay(style, d, {kClosedHat}, "x.xxx.xxx.xxx.xx");
    lay(style, d, {kOpenHat}, "..x...x...x...x.");
    normaliseGrid(style);
}

// Hip-hop: a lazy kick, snare on two and four, eighth hats.
void writeHipHopGrid(StyleRecord& style) {
    const int d = grid::kDrumBlock;
    drum(style, kClap, 37); // side stick under the snare
    lay(style, d, {kKick}, "x......x..x.....");
    lay(style, d, {kSnare, kClap}, "....x.......x...");
    lay(style, d, {kClosedHat}, "x.x.x.x.x.x.x.xx");
    normaliseGrid(style);
}

// Reggae drop: kick and rim together on three, hats on the eighths. The
// drums restart at every chord, so a half-bar chord would never reach
// three; a soft kick at the chord's start keeps those bars grounded.
static void oneDropDrums(StyleRecord& style) {
    const int d = grid::kDrumBlock;
    drum(style, kClap, 37);
    lay(style, d, {kAcousticKick}, "x...............");
    lay(style, d, {kKick, kClap}, "........x.......");
    lay(style, d, {kClosedHat}, "x.x.x.x.x.x.x.x.");
    lay(style, d, {kOpenHat}, "..............x.");
    normaliseGrid(style);
}

// Bossa nova: cross-stick clave, a soft kick on one and the "and" of two,
// shaker in sixteenths.
void writeBossaDrumGrid(StyleRecord& style) {
    const int d = grid::kDrumBlock;
    drum(style, kClap, 37);      // cross-stick
    drum(style, kClosedHat, 70); // maracas
    lay(style, d, {kAcousticKick}, "x.....x.x.....x.");
    lay(style, d, {kClap}, "x..x..x...x..x..");
    lay(style, d, {kClosedHat}, "xxxxxxxxxxxxxxxx");
    normaliseGrid(style);
}

// Samba batucada: surdo on two and four, tamborim and agogo syncopations,
// ganza in sixteenths.
static void sambaDrums(StyleRecord& style) {
    const int d = grid::kDrumBlock;
    drum(style, kLowTom, 41);     // surdo
    drum(style, kClosedHat, 69);  // ganza
    drum(style, kHighTom, 67);    // agogo high
    drum(style, kCrash, 68);      // agogo low
    drum(style, kTambourine, 60); // tamborim (high bongo)
    lay(style, d, {kKick}, "x.......x.......");
    lay(style, d, {kLowTom}, "....x.......x..x");
    lay(style, d, {kClosedHat}, "xxxxxxxxxxxxxxxx");
    lay(style, d, {kTambourine}, "x.xx.x.x..x.x.x.");
    lay(style, d, {kHighTom}, "x..x......x.....");
    lay(style, d, {kCrash}, "......x.......x.");
    normaliseGrid(style);
}

// Festival taiko: the big drum's "don don", rim clicks and the hand bell.
void writeTaikoGrid(StyleRecord& style) {
    const int d = grid::kDrumBlock;
    drum(style, kLowTom, 41);  // o-daiko
    drum(style, kHighTom, 47); // shime-daiko
    drum(style, kClap, 37);    // rim
    drum(style, kRide, 56);    // atarigane bell
    lay(style, d, {kLowTom, kAcousticKick}, "x...x.x.....x...");
    lay(style, d, {kHighTom}, "..x.x.xx..x.x.xx");
    lay(style, d, {kClap}, "........x.......");
    lay(style, d, {kRide}, "x.x.x.x.x.x.x.x.");
    normaliseGrid(style);
}

// Gamelan colotomy: the gong at the bar's start, kenong and kempul on the
// beats, the kendang drum between.
static void gamelanGong(StyleRecord& style) {
    const int d = grid::kDrumBlock;
    drum(style, kCrash, 52);      // gong (Chinese cymbal)
    drum(style, kRide, 53);       // kenong (ride bell)
    drum(style, kHighTom, 64);    // kendang low
    drum(style, kTambourine, 63); // kendang high
    lay(style, d, {kCrash, kAcousticKick}, "x...............");
    lay(style, d, {kRide}, "....x.......x...");
    lay(style, d, {kHighTom}, "..x.....x.x...x.");
    lay(style, d, {kTambourine}, "...x..x......x.x");
    normaliseGrid(style);
}

// Tabla in an eight-beat cycle: bayan and dayan strokes on hand drums.
void writeTablaGrid(StyleRecord& style) {
    const int d = grid::kDrumBlock;
    drum(style, kLowTom, 64);     // bayan: low conga
    drum(style, kHighTom, 62);    // dayan: muted high conga
    drum(style, kTambourine, 63); // open dayan
    drum(style, kClosedHat, 69);  // light shaker
    lay(style, d, {kLowTom}, "x.....x.x.......");
    lay(style, d, {kHighTom}, "x.x.x...x.x...x.");
    lay(style, d, {kTambourine}, "....x.x.....xx..");
    lay(style, d, {kClosedHat}, ".x.x.x.x.x.x.x.x");
    normaliseGrid(style);
}

// Arabic maqsum: doum (low) and tek (high) on the darbuka, with a riq.
void writeMaqsumGrid(StyleRecord& style) {
    const int d = grid::kDrumBlock;
    drum(style, kLowTom, 64);     // doum
    drum(style, kHighTom, 62);    // tek
    drum(style, kTambourine, 54); // riq
    lay(style, d, {kLowTom}, "x.......x.......");
    lay(style, d, {kHighTom}, "..x...x.....x.x.");
    lay(style, d, {kTambourine}, "x...x...x...x..x");
    normaliseGrid(style);
}

// Hand drums of West Africa: djembe tones and slaps over a bell and shaker.
void writeAfricanDrumGrid(StyleRecord& style) {
    const int d = grid::kDrumBlock;
    drum(style, kLowTom, 64);     // bass tone
    drum(style, kHighTom, 63);    // open tone
    drum(style, kTambourine, 62); // slap
    drum(style, kRide, 56);       // bell
    drum(style, kClosedHat, 82);  // shaker
    lay(style, d, {kLowTom}, "x.......x..x....");
    lay(style, d, {kHighTom}, "...x.x.....x.x..");
    lay(style, d, {kTambourine}, "..x...x..x...x.x");
    lay(style, d, {kRide}, "x.x.xx.x.x.xx.x.");
    lay(style, d, {kClosedHat}, "xxxxxxxxxxxxxxxx");
    normaliseGrid(style);
}

// Flamenco: palmas and the cajon's bass and slap.
static void palmasDrums(StyleRecord& style) {
    const int d = grid::kDrumBlock;
    lay(style, d, {kKick}, "x.........x.....");
    lay(style, d, {kClap}, "....x..x....x.x.");
    lay(style, d, {kSnare}, "......x.......x.");
    normaliseGrid(style);
}

// ---- Bass grids ----

// Euro beat octave bass: low and high root on alternating eighths.
void writeOctaveBassGrid(StyleRecord& style) {
    const int b = grid::kBassBlock;
    lay(style, b, {kRoot}, "x.x.x.x.x.x.x.x.");
    lay(style, b, {kRootUp}, ".x.x.x.x.x.x.x.x");
    writeFourOnFloorGrid(style);
    normaliseGrid(style);
}

// Trance rolling bass: the three sixteenths after each kick.
static void rollingBass(StyleRecord& style) {
    lay(style, grid::kBassBlock, {kRoot}, ".xxx.xxx.xxx.xxx");
    normaliseGrid(style);
}

// Reggae bass: a long root, a gap where the drop falls, then a rising answer.
static void reggaeBass(StyleRecord& style) {
    const int b = grid::kBassBlock;
    lay(style, b, {kRoot}, "x--.......x-....");
    lay(style, b, {kThird}, "......x.........");
    lay(style, b, {kFifth}, ".......x....x-..");
    lay(style, b, {kRootUp}, "..............x.");
    normaliseGrid(style);
}

// Slap funk bass: the root, popped octaves and a fifth-seventh pick-up.
static void funkBass(StyleRecord& style) {
    const int b = grid::kBassBlock;
    lay(style, b, {kRoot}, "x.....x.x.......");
    lay(style, b, {kRootUp}, "...x......x.....");
    lay(style, b, {kFifth}, ".............x..");
    lay(style, b, {kSeventh}, "..............x.");
    normaliseGrid(style);
}

// Acid bass: sixteenth roots with octave jumps on the off-beats.
static void acidBass(StyleRecord& style) {
    const int b = grid::kBassBlock;
    lay(style, b, {kRoot}, "xx.xxx.xxx.xx.xx");
    lay(style, b, {kRootUp}, "..x...x...x..x..");
    normaliseGrid(style);
}

} // namespace harmolin::styles
