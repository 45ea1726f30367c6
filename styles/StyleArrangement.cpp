// The arranger's pass over the style library: each named style belongs to a
// family of styles that are mixed, sung and switched alike, and the family's
// choices are fitted to the style's own tempo and instruments. The reasons
// for each family and style are in CATALOGUE.md beside this file.
#include "styles/StylesInternal.h"

#include <algorithm>

namespace harmolin::styles {
namespace {

// Engine switches a family or a style turns on.
enum Switch : unsigned {
    kKeyChange = 1u << 0,    // two key changes, the last one before the last choruses
    kSlashBass = 1u << 1,    // inversions in the bass line
    kFixedBass = 1u << 2,    // one pedal note under every chord
    kSecondMelody = 1u << 3, // a harmony voice under the melody
    kScaleAdjust = 1u << 4,  // chords bent to the style's own scale
    kRuleChords = 1u << 5,   // chords by the rule-based routines
    kTripletRuns = 1u << 6,  // triplet runs in the accompaniment's lines
    kBarChords = 1u << 7,    // one chord a bar
    kFifthPad = 1u << 8,     // open fifths under the harmony (part 8)
    kMelodyCopy = 1u << 9,   // an instrument doubling the melody (part 15)
    kClashFilter = 1u << 10, // no major sevenths or minor ninths against the melody
    kOwnMix = 1u << 11,      // the style's hand-made mix stays
};

struct Family {
    const char* name;
    // Mix: volumes of melody, bass, harmony, second accompaniment, further
    // lines and drums; reverb and chorus sends; how far the accompaniment
    // sits from the centre; brightness of the accompaniment.
    int melody, bass, harmony, second, lines, drums;
    int reverb, chorus, spread, brightness;
    // Melody: density (pattern percentage), dissonance level (9 chord
    // tones, 7 passing notes), rests, ending kind (1 cadential figure, 0 a
    // walk to the tonic), length and interval repeats (0, 1 half the time,
    // 2 always), jump check (0, 1, 2), the four chord-tone switches.
    int density, dissonance, rests, ending, lengthRepeat, intervalRepeat, jumpCheck;
    std::array<int, 4> toneSwitches;
    unsigned switches;
    // Programs of the harmony voice (part 6), the fifth pad (part 8) and the
    // melody's doubling (part 15), and the doubling's level.
    int secondProgram, padProgram, copyProgram, copyLevel;
    // How readily the melody repeats a note: the rejection weight of the
    // repeated-note interval (10 repeats freely, 80 seldom).
    int repeatWeight;
};

enum FamilyId : int {
    kBallad,
    kPop,
    kIdolPop,
    kRock,
    kHardRock,
    kOrchestralPop,
    kVocalDuo,
    kDance,
    kSwingJazz,
    kStraightJazz,
    kBlues,
    kBossa,
    kLatinDance,
    kTango,
    kReggae,
    kFolk,
    kCountry,
    kWaltz,
    kMarch,
    kPianoClassic,
    kChamber,
    kChoral,
    kJapaneseFestival,
    kJapaneseCourt,
    kRyukyu,
    kChinese,
    kDrone,
    kGamelan,
    kChant,
    kAfrican,
    kAmbient,
    kGentle,
    kChildren,
    kHeroic,
    kDark,
    kComic,
    kFamilyCount
};

// clang-format off
constexpr std::array<Family, kFamilyCount> kFamilies = {{
    //  name                 mel bas har sec lin drm  rev cho spr bri  dens dis rst end lr ir jc tone switches                                   switches                                                    2nd  pad  copy lvl
    {"ballad",              112, 92, 84, 70, 66, 70,  78, 40, 26, 58,   52, 9, 1, 1, 1, 0, 1, {1, 0, 1, 1}, kKeyChange | kSlashBass | kMelodyCopy,                                48, 256, 48, 34, 92},
    {"pop",                 110, 98, 88, 76, 70, 96,  60, 42, 30, 70,  112, 9, 0, 1, 2, 1, 0, {1, 1, 1, 1}, kKeyChange | kSlashBass,                                                0, 256, 256, 0, 5},
    {"idol pop",            112,100, 90, 78, 72,100,  56, 50, 34, 78,  128, 9, 0, 1, 2, 1, 0, {1, 1, 1, 1}, kKeyChange | kMelodyCopy,                                         0, 256, 81, 30, 0},
    {"rock",                106,104, 98, 84, 72,108,  40, 20, 40, 84,  132, 9, 0, 0, 1, 1, 0, {1, 0, 1, 1}, kFifthPad,                                                      0, 30, 256, 0, 5},
    {"hard rock",           104,108,104, 86, 70,112,  36, 10, 46, 92,  146, 9, 0, 0, 2, 1, 0, {1, 0, 1, 0}, kFifthPad | kFixedBass,                                        0, 29, 256, 0, 0},
    {"orchestral pop",      110, 96, 90, 84, 80, 92,  80, 30, 36, 62,   96, 9, 1, 1, 1, 0, 1, {1, 1, 1, 1}, kKeyChange | kSecondMelody | kSlashBass | kFifthPad,      60, 48, 256, 0, 90},
    {"vocal duo",           110, 96, 86, 74, 74, 94,  64, 48, 30, 66,  104, 9, 1, 1, 2, 0, 0, {1, 1, 1, 1}, kKeyChange | kSecondMelody | kClashFilter,                 53, 256, 256, 0, 85},
    {"dance",               104,110, 90, 86, 70,114,  44, 36, 42, 96,  156, 9, 0, 1, 2, 1, 0, {1, 0, 1, 1}, kBarChords | kMelodyCopy,                                     0, 256, 81, 44, 0},
    {"swing jazz",          108, 96, 84, 72, 72, 80,  50, 18, 32, 60,   92, 7, 1, 0, 0, 0, 1, {1, 0, 1, 1}, kRuleChords | kTripletRuns,                                   0, 256, 256, 0, 95},
    {"straight jazz",       108, 98, 86, 74, 72, 86,  54, 30, 34, 66,   84, 7, 1, 0, 0, 0, 1, {0, 0, 1, 1}, kRuleChords | kSlashBass | kTripletRuns,                       0, 256, 256, 0, 95},
    {"blues",               110,100, 88, 76, 70, 90,  46, 16, 36, 72,   74, 7, 1, 1, 2, 0, 0, {1, 0, 0, 1}, kMelodyCopy,                                                   0, 256, 22, 30, 90},
    {"bossa",               106, 94, 86, 72, 70, 74,  58, 36, 30, 60,   88, 7, 1, 0, 1, 0, 1, {0, 0, 1, 1}, kRuleChords | kSlashBass,                                     0, 256, 256, 0, 92},
    {"latin dance",         108,100, 90, 84, 74,104,  48, 30, 44, 80,  140, 9, 0, 1, 2, 1, 0, {1, 0, 1, 1}, kTripletRuns,                                                   0, 256, 256, 0, 0},
    {"tango",               110, 98, 94, 80, 76, 86,  52, 20, 40, 74,   98, 7, 1, 1, 1, 0, 2, {1, 1, 1, 1}, kSlashBass | kSecondMelody,                                  40, 256, 256, 0, 92},
    {"reggae",              106,108, 84, 80, 70,100,  50, 24, 44, 70,   58, 9, 0, 1, 2, 1, 0, {1, 0, 1, 1}, kBarChords,                                                     0, 256, 256, 0, 0},
    {"folk",                110, 94, 90, 74, 70, 80,  52, 34, 34, 64,  100, 9, 1, 1, 2, 0, 1, {1, 1, 1, 1}, kBarChords | kSlashBass,                                     0, 256, 256, 0, 88},
    {"country",             110, 98, 92, 80, 72, 88,  44, 28, 40, 76,  120, 9, 0, 1, 2, 1, 0, {1, 1, 1, 1}, kBarChords | kMelodyCopy,                                     0, 256, 110, 28, 0},
    {"waltz",               108, 96, 88, 76, 72, 80,  70, 36, 30, 62,   72, 9, 1, 1, 2, 0, 1, {1, 1, 1, 1}, kSlashBass | kSecondMelody,                                  40, 256, 256, 0, 90},
    {"march",               106,100, 96, 88, 80,102,  54, 14, 36, 84,  124, 9, 0, 0, 2, 1, 2, {1, 1, 1, 1}, kBarChords | kFifthPad | kSecondMelody,                    61, 58, 256, 0, 0},
    {"piano classic",       106, 92, 92, 76, 72, 64,  74, 20, 22, 60,   80, 9, 1, 0, 1, 0, 2, {1, 0, 1, 1}, kSlashBass | kRuleChords,                                     0, 256, 256, 0, 95},
    {"chamber",             108, 96, 90, 80, 80, 60,  84, 16, 40, 58,   76, 9, 1, 0, 1, 0, 2, {1, 0, 1, 1}, kSlashBass | kSecondMelody | kClashFilter,                  41, 256, 256, 0, 95},
    {"choral",              108, 92, 96, 84, 80, 60,  96, 24, 30, 52,   36, 9, 1, 0, 1, 0, 2, {1, 0, 1, 1}, kSlashBass | kSecondMelody | kFifthPad,                      52, 19, 256, 0, 92},
    {"japanese festival",   112,100, 92, 86, 76,110,  48, 12, 40, 86,  144, 9, 0, 0, 2, 1, 1, {1, 0, 1, 1}, kScaleAdjust | kBarChords | kMelodyCopy,                   0, 256, 72, 40, 0},
    {"japanese court",      106, 90, 86, 80, 76, 70,  92, 10, 34, 50,   28, 9, 1, 1, 1, 0, 2, {1, 1, 1, 1}, kScaleAdjust | kFixedBass,                                    0, 256, 256, 0, 88},
    {"ryukyu",              110, 94, 90, 76, 72, 84,  60, 30, 36, 72,  108, 9, 0, 1, 2, 1, 1, {1, 1, 1, 1}, kScaleAdjust | kBarChords,                                    0, 256, 256, 0, 0},
    {"chinese",             110, 92, 88, 78, 74, 80,  66, 28, 36, 68,   90, 9, 1, 1, 2, 0, 1, {1, 1, 1, 1}, kScaleAdjust | kMelodyCopy,                                   0, 256, 110, 30, 90},
    {"drone",               106, 96, 84, 78, 72, 76,  76, 20, 30, 58,   30, 9, 0, 1, 1, 1, 1, {1, 1, 1, 1}, kFixedBass | kScaleAdjust | kBarChords,                      0, 256, 256, 0, 0},
    {"gamelan",             108, 90, 96, 90, 74, 86,  70, 16, 42, 80,  150, 9, 0, 1, 2, 1, 0, {1, 0, 1, 1}, kScaleAdjust | kBarChords,                                    0, 256, 256, 0, 0},
    {"chant",               112, 96, 94, 88, 80, 80,  58, 10, 46, 66,  158, 9, 0, 1, 2, 1, 0, {1, 0, 0, 1}, kScaleAdjust | kSecondMelody,                                52, 256, 256, 0, 0},
    {"african",             108,104, 94, 86, 74,112,  42, 20, 44, 82,  136, 9, 0, 1, 2, 1, 0, {1, 0, 1, 1}, kBarChords | kScaleAdjust,                                    0, 256, 256, 0, 0},
    {"ambient",             102, 88, 80, 76, 70, 54, 110, 60, 44, 44,   20, 9, 1, 1, 0, 0, 1, {1, 0, 1, 1}, kMelodyCopy | kFixedBass,                                     0, 256, 89, 42, 95},
    {"gentle",              106, 90, 86, 74, 70, 60,  88, 46, 30, 54,   40, 9, 1, 1, 1, 0, 1, {1, 0, 1, 1}, kSlashBass | kMelodyCopy,                                     0, 256, 73, 30, 95},
    {"children",            112, 96, 90, 78, 74, 86,  52, 30, 30, 74,  100, 9, 0, 0, 2, 1, 1, {1, 1, 1, 1}, kBarChords | kMelodyCopy,                                     0, 256, 10, 36, 0},
    {"heroic",              108,100, 98, 90, 84,100,  72, 20, 40, 82,  116, 9, 1, 0, 2, 0, 1, {1, 1, 1, 1}, kKeyChange | kSecondMelody | kFifthPad,                      60, 48, 256, 0, 85},
    {"dark",                104, 96, 86, 80, 76, 70,  96, 30, 44, 46,   24, 9, 1, 0, 1, 0, 0, {1, 0, 1, 1}, kFixedBass | kClashFilter | kSecondMelody,                  49, 256, 256, 0, 95},
    {"comic",               110, 98, 92, 82, 74, 94,  46, 24, 46, 86,  160, 9, 0, 1, 2, 1, 0, {1, 0, 1, 1}, kTripletRuns | kBarChords,                                    0, 256, 256, 0, 0},
}};

struct Placement {
    int group;
    int slot;
    FamilyId family;
    int lift;       // added to the family's melody density
    unsigned add;   // switches on top of the family's
    unsigned drop;  // family switches this style does without
};

// Every named style but the three whose values are given whole (Unplugged,
// Enka, Jazz Waltz); CATALOGUE.md says why each sits where it does. The
// styles the main window offers never change key: a key change carries the
// melody out of the singer's range.
constexpr Placement kPlacements[] = {
    {0, 2, kLatinDance, -10, kFifthPad, 0},            // Latin Rock
    {0, 3, kRock, 0, 0, 0},                            // Rock Guitar
    {0, 4, kGentle, 10, kKeyChange, kMelodyCopy},      // Easy Listening
    {0, 5, kPop, -16, kSecondMelody, 0},               // AOR
    {0, 6, kRock, -8, kSlashBass, kFifthPad},          // Mersey Beat
    {0, 7, kBallad, 0, 0, 0},                          // Ballade
    {0, 8, kPop, 8, kOwnMix, kSlashBass | kKeyChange}, // Jaunty Keys
    {0, 9, kRock, 6, 0, 0},                            // Rock
    {0, 10, kDance, 4, 0, kMelodyCopy},                // Dog Rap
    {0, 11, kRock, -4, kSlashBass, 0},                 // American Rock
    {0, 12, kOrchestralPop, 20, 0, kFifthPad},         // Rock Orchestra
    {0, 13, kRock, 14, 0, kFifthPad},                  // Rockabilly
    {0, 14, kReggae, 40, 0, kBarChords},               // SKA
    {0, 15, kIdolPop, -6, 0, 0},                       // 90s Pops
    {0, 16, kPop, -10, kMelodyCopy, kKeyChange},       // Oldies
    {0, 17, kHardRock, 0, 0, 0},                       // Hard Rock
    {0, 18, kRock, 10, kMelodyCopy, kFifthPad},        // Hawaian Venture
    {0, 19, kHardRock, -30, kRuleChords, kFixedBass},  // Progressive Rock
    {0, 20, kBossa, 8, kSecondMelody, kRuleChords},    // Bossanova Vocal
    {0, 21, kBallad, 20, kSecondMelody, kMelodyCopy},  // Pop Vocal
    {0, 22, kHardRock, -14, kKeyChange, kFixedBass},   // Glam Rock
    {0, 23, kWaltz, 20, kKeyChange, kSecondMelody},    // 3/4 Pops
    {1, 2, kPop, 0, 0, 0},                             // Japanese Pops
    {1, 3, kVocalDuo, 0, 0, 0},                        // JPOP DUO
    {1, 4, kIdolPop, 0, kOwnMix, kKeyChange},          // Evening Girls
    {1, 5, kIdolPop, 16, kBarChords, kKeyChange},      // Electronic chime
    {1, 6, kRyukyu, 0, kOwnMix, 0},                    // Okinawan Pops
    {1, 7, kFolk, -12, 0, 0},                          // Folk Song
    {1, 8, kChildren, 0, 0, 0},                        // Child Song
    {1, 9, kPop, 10, kMelodyCopy, 0},                  // 70s Pops
    {1, 10, kOrchestralPop, -10, 0, 0},                // Pops Symphonie
    {2, 1, kStraightJazz, 30, kMelodyCopy, 0},         // Fusion
    {2, 2, kSwingJazz, 0, 0, 0},                       // Jazz Quartet
    {2, 3, kBlues, 10, 0, 0},                          // Blues Quartet
    {2, 4, kBlues, -14, 0, 0},                         // Blues Guitar2
    {2, 5, kBlues, 4, 0, 0},                           // Harmonica Blues
    {2, 6, kSwingJazz, 12, kMelodyCopy, 0},            // Vibraphone Jazz
    {2, 7, kSwingJazz, 0, kOwnMix, 0},                 // Jazz Piano Trio
    {2, 8, kComic, -20, 0, kTripletRuns},              // Rag Time
    {2, 9, kBossa, 0, 0, 0},                           // Bossanova Piano
    {2, 11, kSwingJazz, -14, kSlashBass, 0},           // Guitar Loundge
    {2, 12, kBlues, 20, 0, kMelodyCopy},               // Blues Piano
    {2, 13, kBlues, 26, 0, kMelodyCopy},               // Blues Piano Trio
    {2, 14, kBlues, -4, kMelodyCopy, 0},               // Blues Guitar
    {2, 15, kSwingJazz, -8, 0, kRuleChords},           // Jazz Guitar
    {2, 16, kSwingJazz, 6, kSlashBass, 0},             // Jazz Guitar Trio
    {3, 1, kPianoClassic, -20, 0, kRuleChords},        // Modern Piano
    {3, 2, kChamber, 16, kFifthPad, kClashFilter},     // Wind Music
    {3, 3, kChamber, 0, 0, 0},                         // Chamber Music
    {3, 4, kPianoClassic, 0, 0, 0},                    // Classic Piano
    {3, 5, kWaltz, -20, 0, 0},                         // Calm Airs
    {3, 6, kGentle, 24, kSecondMelody, kMelodyCopy},   // Flute Music
    {3, 7, kPianoClassic, -10, 0, kRuleChords},        // Classical Guitar
    {3, 8, kMarch, -40, 0, kBarChords | kSecondMelody}, // Bolero
    {3, 9, kPianoClassic, 10, 0, 0},                   // Piano Solo
    {3, 10, kPianoClassic, 40, 0, 0},                  // Cembalo Solo
    {3, 11, kChoral, 0, 0, kSecondMelody},             // Church Organ
    {3, 12, kWaltz, 6, 0, kSecondMelody},              // 3/4 Piano
    {3, 13, kChamber, 6, 0, 0},                        // Strings Quartet
    {3, 14, kAmbient, 20, 0, kFixedBass},              // Colorist
    {3, 15, kDark, 10, 0, kSecondMelody},              // Theremin Music
    {3, 16, kWaltz, 16, 0, 0},                         // Vienna Waltz
    {3, 17, kMarch, 0, 0, 0},                          // Brass Band March
    {4, 1, kAfrican, -30, 0, kBarChords},              // African Forest
    {4, 2, kAfrican, 0, 0, 0},                         // African
    {4, 3, kDrone, 0, 0, 0},                           // Aboriginal Music
    {4, 4, kChinese, 10, kFixedBass, kMelodyCopy},     // Arabian
    {4, 5, kDrone, -16, 0, 0},                         // Xoomij
    {4, 6, kJapaneseFestival, -24, 0, 0},              // Bon Odori
    {4, 7, kJapaneseCourt, 24, 0, kFixedBass},         // Japan Traditional
    {4, 8, kChinese, 20, 0, 0},                        // China Town
    {4, 9, kJapaneseFestival, 10, 0, 0},               // Matsuri Bayashi
    {4, 10, kDrone, 20, 0, 0},                         // Indian Traditional
    {4, 11, kGamelan, -40, kMelodyCopy, 0},            // Gamelan && Flute
    {4, 12, kGamelan, 0, 0, 0},                        // Gamelan
    {4, 13, kRyukyu, -10, 0, 0},                       // Okinawa
    {4, 14, kRyukyu, -40, kMelodyCopy, kBarChords},    // Okinawa Ocean
    {4, 15, kJapaneseCourt, 0, 0, 0},                  // Gagaku
    {4, 16, kChinese, 30, 0, kMelodyCopy},             // Chinese Spring
    {4, 17, kChinese, 0, kKeyChange, 0},               // China
    {4, 18, kChant, 0, 0, 0},                          // Kecak
    {4, 19, kChinese, -40, 0, kMelodyCopy},            // Erhu Music
    {4, 20, kJapaneseFestival, 0, 0, kMelodyCopy},     // Debayashi
    {5, 1, kFolk, 16, kFixedBass | kScaleAdjust, 0},   // Scotland
    {5, 2, kFolk, 20, kMelodyCopy, kSlashBass},        // Andes
    {5, 3, kBossa, 4, kMelodyCopy, 0},                 // Bossanova
    {5, 4, kWaltz, 30, 0, 0},                          // Paris Musette
    {5, 5, kCountry, -30, 0, kMelodyCopy},             // Hawaian
    {5, 6, kTango, -16, 0, kSecondMelody},             // Ethnic Guitar
    {5, 7, kLatinDance, 10, 0, 0},                     // Samba
    {5, 8, kMarch, 20, 0, kFifthPad},                  // German Polka
    {5, 9, kReggae, 0, 0, 0},                          // Reggae
    {5, 10, kLatinDance, 0, kFifthPad, 0},             // Mambo
    {5, 11, kTango, 0, 0, 0},                          // European Tango
    {5, 12, kCountry, 0, 0, 0},                        // Country
    {5, 13, kLatinDance, -20, 0, kTripletRuns},        // Cha Cha Cha
    {5, 14, kChant, -40, 0, kScaleAdjust},             // Bulgarian Voice
    {5, 15, kWaltz, 36, kBarChords, kSlashBass},       // Yodel
    {5, 16, kTango, 20, 0, kSecondMelody},             // Flamenco
    {6, 1, kFolk, -30, kKeyChange, kBarChords},        // Against War Song
    {6, 2, kDark, 0, kScaleAdjust, kClashFilter},      // Mystery Cave
    {6, 3, kBallad, -10, 0, kMelodyCopy},              // Piano Vocal
    {6, 4, kDark, 0, kOwnMix, 0},                      // Horror
    {6, 5, kHeroic, 0, 0, 0},                          // Hero's Theme
    {6, 6, kHardRock, 10, kKeyChange, 0},              // Fighting Theme
    {6, 7, kComic, 0, 0, 0},                           // Theme of Mouse
    {6, 8, kJapaneseCourt, 40, kMelodyCopy, kFixedBass}, // Japanese Tale
    {6, 9, kAmbient, 30, 0, 0},                        // Theme of Stars
    {6, 10, kHeroic, -30, kFixedBass, kSecondMelody},  // Spaghetti Western
    {7, 1, kChildren, -24, 0, kBarChords},             // Music Box
    {7, 2, kDrone, 10, 0, 0},                          // Silk Road
    {7, 3, kGentle, 0, 0, 0},                          // Nostalgic
    {7, 4, kGentle, 14, 0, 0},                         // Forest Music
    {7, 5, kGentle, 30, kBarChords, 0},                // Morning Music
    {7, 6, kAmbient, 0, 0, 0},                         // Deep sea drifting
    {7, 7, kAmbient, 10, 0, kFixedBass},               // Dream World
    {7, 8, kFolk, 6, kMelodyCopy, 0},                  // Local Town
    {7, 9, kOrchestralPop, -30, 0, kKeyChange},        // Fantasy
    {7, 10, kGentle, -10, 0, kMelodyCopy},             // EZ Piano
    {7, 11, kFolk, 0, kSecondMelody, kBarChords},      // Street Singers
    {7, 12, kGentle, -16, 0, kSlashBass},              // Healing Harp
    {7, 13, kGentle, -20, 0, kMelodyCopy},             // Healing Piano
    {7, 14, kSwingJazz, -30, 0, kRuleChords},          // EZ Trio
    {7, 15, kAmbient, 0, kOwnMix, 0},                  // Space Sound
    {7, 16, kChildren, 10, kOwnMix, kBarChords},       // Light Pops
    {7, 17, kGentle, -30, kFixedBass, kMelodyCopy},    // Goddess Harp
    {7, 18, kCountry, -20, 0, 0},                      // Country Side
    {7, 19, kChamber, 10, 0, kClashFilter},            // Recorder Quartet
    {7, 20, kGentle, 0, kKeyChange, 0},                // Healing Piano Plus
    {8, 1, kDance, 0, 0, 0},                           // Techno Dance
    {8, 2, kHardRock, 6, kBarChords, kFixedBass},      // Techno Rock
    {8, 3, kDance, -10, kFixedBass, 0},                // Club Techno
    {8, 4, kDance, -20, 0, kMelodyCopy},               // Trance
    {8, 5, kIdolPop, 10, kBarChords, 0},               // Techno Pop
    {8, 6, kIdolPop, 20, 0, 0},                        // J-Techno Pop
    {8, 7, kDance, 4, kKeyChange, 0},                  // Euro Beat
    {8, 8, kChildren, -40, 0, kMelodyCopy},            // test(Melody)
};
// clang-format on

// What an instrument family (General MIDI program / 8) asks of the mix:
// level, reverb and chorus offsets, and the side of the stage it sits on.
struct Timbre {
    int level, reverb, chorus, side;
};
constexpr std::array<Timbre, 16> kTimbres = {{
    {0, 0, -10, -1},   // piano
    {-6, 12, 4, 1},    // chromatic percussion
    {-8, 0, 12, 1},    // organ
    {0, -6, 10, 1},    // guitar
    {0, -24, -30, 0},  // bass
    {-4, 14, 0, -1},   // strings
    {-8, 16, 6, -1},   // ensemble, choir
    {-8, 4, -10, 1},   // brass
    {-4, 0, 0, 1},     // reed
    {-2, 10, 0, -1},   // pipe
    {-10, 0, 6, 1},    // synth lead
    {-14, 16, 16, -1}, // synth pad
    {-14, 20, 10, 1},  // synth effects
    {0, 6, 0, 1},      // ethnic
    {-4, 6, 0, -1},    // percussive
    {-20, 10, 0, 0},   // sound effects
}};

int byte(int v) {
    return std::clamp(v, 0, 127);
}

Timbre timbreOf(int program) {
    if (program < 0 || program > 127) return {0, 0, 0, 0};
    return kTimbres[static_cast<std::size_t>(program / 8)];
}

void mixPart(StyleRecord& s, int part, int level, int reverb, int chorus, int pan, int brightness) {
    const Timbre t = timbreOf(s.programs[static_cast<std::size_t>(part)]);
    auto& m = s.mixer[static_cast<std::size_t>(part)];
    m[kMixVolume] = static_cast<std::uint8_t>(byte(level + t.level));
    m[kMixChorus] = static_cast<std::uint8_t>(byte(chorus + t.chorus));
    m[kMixReverb] = static_cast<std::uint8_t>(byte(reverb + t.reverb));
    m[kMixBrightness] = static_cast<std::uint8_t>(byte(brightness));
    for (int b = kMixAttack; b <= kMixResonance; ++b)
        if (m[static_cast<std::size_t>(b)] == 0) m[static_cast<std::size_t>(b)] = 64;
    m[kMixPan] = static_cast<std::uint8_t>(byte(pan));
}

// The family's mix fitted to the style: slow songs ring longer, and each
// accompaniment part sits on the side its instrument belongs to.
void arrangeMix(StyleRecord& s, const Family& f) {
    const int ring = std::clamp((s.tempo - 560000) / 22000, -8, 24);
    const int reverb = f.reverb + ring;
    const auto side = [&](int part, int preferred) {
        const int t = timbreOf(s.programs[static_cast<std::size_t>(part)]).side;
        return 64 + f.spread * (t != 0 ? t : preferred);
    };
    mixPart(s, kPartMelody, f.melody, reverb, f.chorus, 64, 64);
    mixPart(s, kPartBass, f.bass, reverb / 3, 0, 64, 64);
    mixPart(s, kPartHarmony, f.harmony, reverb, f.chorus, side(kPartHarmony, -1), f.brightness);
    int accompanimentPan = side(kPartAccompaniment2, 1);
    if (s.programs[kPartHarmony] != kNoProgram && accompanimentPan == s.mixer[kPartHarmony][kMixPan])
        accompanimentPan = 128 - accompanimentPan; // two parts on one side would mask each other
    mixPart(s, kPartAccompaniment2, f.second, reverb + 6, f.chorus + 6, accompanimentPan, f.brightness);
    mixPart(s, kPartLineB, f.lines, reverb + 10, f.chorus, 64 + f.spread / 2, 64);
    mixPart(s, kPartLineC, f.lines - 8, reverb + 10, f.chorus, 64 - f.spread / 2, 64);
    auto& drums = s.mixer[kPartDrums];
    drums[kMixVolume] = static_cast<std::uint8_t>(byte(f.drums));
    drums[kMixReverb] = static_cast<std::uint8_t>(byte(reverb / 2));
    drums[kMixChorus] = 0;
}

// Where a style has a counter-line or harmony voice, the harmony voice and
// pads are the family's; their levels sit under the melody.
void arrangeVoices(StyleRecord& s, const Family& f, unsigned switches) {
    const int ring = std::clamp((s.tempo - 560000) / 22000, -8, 24);
    if (switches & kSecondMelody) {
        s.sectionA()[kMelSecondMelody] = 1;
        s.programs[kPartSecondMelody] = f.secondProgram;
        auto& second = s.melodySettings[kPartSecondMelody];
        second[kMelEndingKind] = 1;                      // the harmony follows the melody's closing figure
        second[kMelSecondMelody] = f.rests == 1 ? 2 : 0; // echoes through the melody's rests
        mixPart(s, kPartSecondMelody, f.lines, f.reverb + ring + 8, f.chorus, 64 - f.spread / 2, 64);
    }
    if (switches & kFifthPad) {
        s.programs[kPartEight] = f.padProgram;
        s.patternParams[kPartEight] = 70;
        mixPart(s, kPartEight, f.harmony - 24, f.reverb + ring + 10, f.chorus, 64 + f.spread / 3,
                f.brightness);
    }
    if (switches & kMelodyCopy) {
        s.programs[kPartMelodyLast] = f.copyProgram;
        mixPart(s, kPartMelodyLast, f.copyLevel, f.reverb + ring + 12, f.chorus + 10, 64 + f.spread / 4, 64);
    }
}

void arrangeMelody(StyleRecord& s, const Family& f, int lift) {
    // Slow songs carry more notes to the bar, fast ones fewer.
    const int pace = (s.tempo - 560000) / 40000;
    s.patternParams[kPartMelody] = std::clamp(f.density + lift + pace, 20, 160);
    setMelody(s, kPartMelody,
              {{kMelDissonance, (s.sectionA()[kMelDissonance] == 10) ? 10 : f.dissonance},
               {kMelRestSwitch, f.rests},
               {kMelEndingKind, f.ending},
               {kMelLengthRepeat, f.lengthRepeat},
               {kMelIntervalRepeat, f.intervalRepeat}});
    s.jumpCheckMode = f.jumpCheck;
    s.melodyJumpWeights[0] = f.repeatWeight;
    for (std::size_t i = 0; i < 4; ++i)
        s.melodySwitches[i] = f.toneSwitches[i];
}

void arrangeSwitches(StyleRecord& s, unsigned switches) {
    if (switches & kKeyChange) s.keyChange = 1;
    if (switches & kSlashBass) s.slashBass = 1;
    // A pedal on G (the fixed bass note) is the dominant of the major keys;
    // a minor key's pedal would clash with it.
    if ((switches & kFixedBass) && s.keyVariant == kMajor && s.programs[kPartBass] != kNoProgram)
        s.fixedBassMode = 10;
    if (switches & kScaleAdjust) s.chordScaleAdjust = 1;
    // The rule-based chords have no blues or 7/8 rules.
    if ((switches & kRuleChords) && s.category != kBluesCategory && s.meter != 2) s.chordMode = 1;
    if ((switches & kTripletRuns) && s.feel == kStraight) s.feel = 1;
    if (switches & kBarChords) s.fixedChordLength = 1;
    if (switches & kClashFilter) s.sectionA()[kMelDissonance] = 10;
}

} // namespace

const char* arrangeStyle(int group, int slot, StyleRecord& style) {
    for (const Placement& p : kPlacements) {
        if (p.group != group || p.slot != slot) continue;
        const Family& f = kFamilies[static_cast<std::size_t>(p.family)];
        const unsigned switches = (f.switches | p.add) & ~p.drop;
        if (!(switches & kOwnMix)) arrangeMix(style, f);
        arrangeMelody(style, f, p.lift);
        arrangeSwitches(style, switches);
        arrangeVoices(style, f, switches);
        return f.name;
    }
    return nullptr;
}

const char* styleFamily(int group, int slot) {
    for (const Placement& p : kPlacements)
        if (p.group == group && p.slot == slot) return kFamilies[static_cast<std::size_t>(p.family)].name;
    return nullptr;
}

} // namespace harmolin::styles
