// What the style set-up routines share: the per-group slot routines, the
// short description of a not-yet-detailed style, the setters and the grid
// writers. Not used outside styles/.
//
// What the pattern numbers play, for choosing a style's patterns.
//
// Harmony (part3Pattern, part7Pattern; "t" = in triplet feel):
//   1, 2, 28 sustained close chords, one per chord change (pads, organ)
//   3  eighth arpeggio 7-5-3-5-7-3-5-7; t: triplet root-3-5-7-5-3
//   4  block chords: t: shuffle hits and six-note runs; straight with
//      percentage > 80 a chord on every eighth, else quarter/half cells
//   5  up-and-down eighth arpeggio;  6 running sixteenth arpeggio
//   7  half-note chords;  8 quarter chords, beats 1 and 3 accented
//   9  dotted-quarter + rest ("charleston");  10 jazz shells with optional
//      anticipations (percentage = chance);  11, 54 chords on every off-beat
//      eighth (ska/skank);  12 a chord on every eighth, velocity = percentage
//   13 counter line: slow chord tones between 58 and 79
//   14 two-bar syncopated pop chords;  15 whole-bar shells, low
//   16 guitar strum D-xxd-x- (optional strokes by percentage)
//   17 stride: chord over low bass, top note, chord, top note
//   18 Alberti-like 1-4-3-4-fifth-4-3-4;  19 staccato quarter chords
//   20 two-bar syncopated top-note riff;  21 chords on 2 and 4 (reggae skank)
//   22 broken chords (rolled quarters or a twelve-step figure)
//   23 chords on beats 2, 3, 4 (3/4: "pah-pah")
//   24 high shells in half notes;  25 montuno-like chord/bass syncopation
//   26 chords on every sixteenth (tremolo, gate);  27 harp roll, held
//   29 eighth arpeggio 2-4-3-4;  30 folk strum D---d-u---u-d-u-
//   31 power chords on eighths (rock);  32 five-note up-down eighths
//   33 tresillo 3-3-2 chords;  34 whole-bar chord over low bass
//   35 sixteenth alternation 2-4-3-4 (mandolin/koto tremolo)
//   36 "C---..c-" pop push;  37 funk sixteenth stabs;  38 upper ladder 5-6-7-6
//   39 chord, then octave top and top note;  40 rising ladder 1..8
//   41 falling ladder 8..1;  42 off-beat sixteenth single notes (picking)
//   43 up-strums on the beats;  44 one short stab a bar
//   45 3+4+... syncopated chords;  46 sixteenth arpeggio up and down
//   47 the style's step grid;  49 eighth strums (country, bluegrass)
//   50 held chord over low bass;  51 triplet arpeggio ping-pong
//   52 habanera 3-3-2 with bass (tango);  53 four-to-the-bar shells
//   55 sixteenth 1-5-4-5;  56 oom-pah: bass note, chord (polka, march)
//   57 ripple 6-5-6-7;  58 3-3-2 strums (flamenco, Latin)
//   59 slow quarter ladder 4-5-6-5;  60 jazz shells on 2 and 4
//
// Drums (drumPattern; kit value 1 acoustic, 3 Latin timbales/cabasa,
// 4 punchy electronic; every groove restarts at each chord):
//   1  eighths kick/hat/snare (3/4: waltz with velocity curve); t: shuffle
//   2  eight-beat with sixteenth hats;  3 sixteenth groove, hats by chance
//   4  one random bar for the song (odd, for ethnic or comic styles)
//   5  rock beat with a tom fill every two bars;  6 sixteenth dance/funk
//   7  ballad: side stick on three;  8 disco: kick every beat, open hats
//   9  rock eighths with syncopated kick;  10 jazz ride, snare comping
//   11 jazz ride and brushes drawn fresh each chord
//   12 bossa nova: side-stick clave, kick anticipations
//   13 samba: tambourine sixteenths, kick and cowbell
//   14 plain eight-beat;  15 swing ride with kick (waltz form)
//   16 simple beat (3/4: oom-pah-pah);  17 kick-and-hat shuffle beat
//   18 crash and sparse kick with toms (dramatic, ballad)
//   19 mambo: cowbell, kick, congas;  20 cha-cha/Latin: cowbell and congas
//   21 reggae one-drop: kick and snare on three
//   22 triangle, kick and side stick (baiao, light Latin)
//   23 hip-hop: kick, side stick, sixteenth hats
//   24 rock with ghosted split snare;  25 open-hat off-beats, snare 2 and 4
//   26 syncopated funk;  27 four on the floor with open hats (house)
//   28 the style's drum grid;  29 congas and toms (tribal)
//   30 agogo, claves and floor tom (batucada);  31 bongos and congas only
//   32 side-stick eighths (soft country/ballad);  33 sparse congas and
//   tambourine;  34 march: kick, tambourine and clap;  35 conga/bongo
//   sixteenths (Afro-Cuban);  36 triangle and bongos (Andes, light)
//   37 disco four on the floor;  38 jazz waltz ride
//
// Bass (bassPattern):
//   1  pulsing root with octave;  2 pedal (drone) on the first chord's bass
//   3  root and low fifth;  4 two-beat root/fifth halves (country, polka)
//   5  sixteenth octaves (Euro beat, hard rock);  6 walking quarters
//   7  eighth octaves R-O-R-O (disco);  8 ballad: whole note, root/fifth
//   9  eighth line with sixteenth pairs; t: shuffle with pick-ups
//   10 mixed eighths of root, fifth, octave, third; t: long-short triplets
//   11 eighths; t: shuffle with walking pick-ups
//   12 anticipated tumbao (Afro-Cuban);  13 dotted pop (percentage > 110:
//      busy eighths);  14 reggae;  15 bossa: dotted root, fifth;  16 waltz
//   17 rock eighths; t: rock shuffle;  18 boogie walk (R-3-5-6-8);
//   19 syncopated funk;  20 the style's bass grid;  21 two fixed low notes
//   22 falling sixteenths, hard;  23 sparse: one short note a chord
#pragma once

#include "engine/StyleRecord.h"

#include <array>
#include <initializer_list>
#include <utility>

namespace harmolin::styles {

// Writes the style's own values into a record that already holds the
// defaults; false when the slot holds no style.
using GroupSetUp = bool (*)(int slot, StyleRecord& style);

[[nodiscard]] bool setUpPopsStyle(int slot, StyleRecord& style);
[[nodiscard]] bool setUpJapaneseStyle(int slot, StyleRecord& style);
[[nodiscard]] bool setUpJazzStyle(int slot, StyleRecord& style);
[[nodiscard]] bool setUpClassicStyle(int slot, StyleRecord& style);
[[nodiscard]] bool setUpEthnicEastStyle(int slot, StyleRecord& style);
[[nodiscard]] bool setUpEthnicWestStyle(int slot, StyleRecord& style);
[[nodiscard]] bool setUpGameStyle(int slot, StyleRecord& style);
[[nodiscard]] bool setUpHealingStyle(int slot, StyleRecord& style);
[[nodiscard]] bool setUpTechnoStyle(int slot, StyleRecord& style);

// The arranger's pass after a style's own set-up: its family's mix (fitted
// to its tempo and instruments), melody set-up and engine switches. Returns
// the family's name, or null for a style that keeps its own values whole.
[[nodiscard]] const char* arrangeStyle(int group, int slot, StyleRecord& style);
// The family a named style is arranged as (null when none).
[[nodiscard]] const char* styleFamily(int group, int slot);

// The random style that sits in slot 0 of a group.
void setUpRandomStyle(StyleRecord& style, int group);

inline constexpr int kMajor = 1;
inline constexpr int kMinor = 2;
inline constexpr int kBluesCategory = 6;
inline constexpr int kStraight = 0;
inline constexpr int kTriplet = 3;

// Scales of the styles' own (weights of C, C#, D ... B): tones that chords
// built on C major or A minor take without clashing.
inline constexpr const char* kChinesePentatonic = "909090090900"; // C D E G A
inline constexpr const char* kMinorPentatonic = "909090090900";   // A C D E G
inline constexpr const char* kSlendro = "909009090900";           // C D F G A
inline constexpr const char* kPelog = "900099090009";             // E F G B C
inline constexpr const char* kJapaneseIn = "900099000909";        // E F A B C
inline constexpr const char* kHijaz = "808099009908";             // E F G# A B C D
inline constexpr const char* kRagaBhairav = "980099098009";       // C Db E F G Ab B
// Major and minor blues together, the blue notes weighted below the rest.
inline constexpr const char* kBluesScale = "907898590882";

// A style given by its main values only; the fields it does not name keep
// their defaults.
struct StyleSketch {
    int slot;
    const char* name;
    const char* description;
    int meter;      // 0 4/4, 1 3/4, 2 7/8
    int tempo;      // microseconds per quarter note
    int keyVariant; // kMajor or kMinor
    int category;
    int feel;
    int scaleNumber;
    // General MIDI programs of the melody, bass, harmony, second
    // accompaniment and the drum kit value (kNoProgram: part not used).
    std::array<int, 5> programs;
    // part3Pattern, part7Pattern, drumPattern, bassPattern.
    std::array<int, 4> patterns;
    int barCount;
    // The style's own touches after the sketch: mixer, counter-lines, grid.
    void (*touch)(StyleRecord&) = nullptr;
};

// Writes a sketch into a record, with the melody values most styles share.
void applySketch(StyleRecord& style, const StyleSketch& sketch);
// Runs the sketch of the slot if the table has one.
template <std::size_t N>
[[nodiscard]] bool applySketchOf(int slot, StyleRecord& style, const std::array<StyleSketch, N>& sketches) {
    for (const auto& s : sketches) {
        if (s.slot == slot) {
            applySketch(style, s);
            return true;
        }
    }
    return false;
}

// Key variant with its chord and cadence databases.
void setKey(StyleRecord& style, int keyVariant);
// The blues databases and category.
void setBlues(StyleRecord& style);
void setPrograms(StyleRecord& style, std::initializer_list<std::pair<int, int>> partPrograms);
// Mixer bytes of a part from byte 0 on (volume, chorus, reverb, brightness...).
void setMix(StyleRecord& style, int part, std::initializer_list<int> bytes);
void setPan(StyleRecord& style, int part, int pan);
// Melody values of a part by value number.
void setMelody(StyleRecord& style, int part, std::initializer_list<std::pair<int, int>> values);
// A second melodic instrument on part 4 with a line of its own in long
// chord tones between low and high.
void addCounterLine(StyleRecord& style, int program, int low, int high);
// A scale of the style's own: twelve weight digits from C upward.
void setOwnScale(StyleRecord& style, const char* digits);

// Grid writers: each puts a fixed pattern into the style's step grids and
// normalises the ties.
void writeFolkStrumGrid(StyleRecord& style);
void writeSlowPadGrid(StyleRecord& style);
void writeSwingRideGrid(StyleRecord& style);
void writeHeartbeatGrid(StyleRecord& style);
void writePopBassGrid(StyleRecord& style);
void writeRockChugGrid(StyleRecord& style);
void writeArenaRockGrid(StyleRecord& style);
void writeFunkStabGrid(StyleRecord& style);
void writeReggaeSkankGrid(StyleRecord& style);
void writeSkaUpstrokeGrid(StyleRecord& style);
void writeBossaCompGrid(StyleRecord& style);
void writeWaltzGrid(StyleRecord& style);
void writeViennaWaltzGrid(StyleRecord& style);
void writeMusetteGrid(StyleRecord& style);
void writeTangoGrid(StyleRecord& style);
void writeTechnoStabGrid(StyleRecord& style);
void writeTranceGateGrid(StyleRecord& style);
void writeMarchGrid(StyleRecord& style);
void writeBoomChickGrid(StyleRecord& style);
void writeGamelanGrid(StyleRecord& style);
void writeKotoGrid(StyleRecord& style);
void writeShoClusterGrid(StyleRecord& style);
void writeSambaCompGrid(StyleRecord& style);
void writeMontunoGrid(StyleRecord& style);
void writeChaChaGrid(StyleRecord& style);
void writeRasgueadoGrid(StyleRecord& style);
void writeHarpArpeggioGrid(StyleRecord& style);
void writeMusicBoxGrid(StyleRecord& style);
void writeChoraleGrid(StyleRecord& style);
void writeBoogieShuffleGrid(StyleRecord& style);
void writeSwingCompGrid(StyleRecord& style);
void writeHighlifeGrid(StyleRecord& style);
void writeFourOnFloorGrid(StyleRecord& style);
void writeHipHopGrid(StyleRecord& style);
void writeBossaDrumGrid(StyleRecord& style);
void writeTaikoGrid(StyleRecord& style);
void writeTablaGrid(StyleRecord& style);
void writeMaqsumGrid(StyleRecord& style);
void writeAfricanDrumGrid(StyleRecord& style);
void writeOctaveBassGrid(StyleRecord& style);

} // namespace harmolin::styles
