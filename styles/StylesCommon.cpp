// Setters shared by the style set-up routines, and the random styles of the
// groups' first slots.
#include "styles/StylesInternal.h"

#include <string>

namespace harmolin::styles {
namespace {

struct RandomStyleText {
    const char* name;
    const char* description;
};

constexpr const char* kRandomPopsText =
    "Different music style is generated every time and played. To read a file "
    "and use it later, set up to record generated music styles in a file.";

// By group; the random kind is the group number plus one.
constexpr std::array<RandomStyleText, 9> kRandomStyles = {{
    {"Random Pops", kRandomPopsText},
    {"Random Pops", kRandomPopsText},
    {"Random Jazz", "Jazz music style is automately generated and played"},
    {"Random Classic", "Classic music style is automately generated and played."},
    {"Random Ethnic", "East region ethnic music is automately generated and played."},
    {"Random Ethnic", "West region ethnic music is automately generated and played."},
    {"Random Game", "Game music is automately generated and played."},
    {"Random Healing", "Healing music is automately generated and played."},
    {"Random Techno", "Techno music style is automately generated and played."},
}};

} // namespace

void setKey(StyleRecord& style, int keyVariant) {
    style.keyVariant = keyVariant;
    if (keyVariant == kMinor)
        style.setChordDatabases("PATTERN.DB2", "RESOLUT.DB2");
    else
        style.setChordDatabases("PATTERN.DB", "RESOLUT.DB");
}

void setBlues(StyleRecord& style) {
    style.keyVariant = kMajor;
    style.category = kBluesCategory;
    style.setChordDatabases("PATTERN.DBB", "RESOLUT.DBB");
}

void setPrograms(StyleRecord& style, std::initializer_list<std::pair<int, int>> partPrograms) {
    for (const auto& [part, program] : partPrograms)
        style.programs[static_cast<std::size_t>(part)] = program;
}

void setMix(StyleRecord& style, int part, std::initializer_list<int> bytes) {
    auto& entry = style.mixer[static_cast<std::size_t>(part)];
    std::size_t at = 0;
    for (int value : bytes) {
        if (at == entry.size()) break;
        entry[at++] = static_cast<std::uint8_t>(value);
    }
}

void setPan(StyleRecord& style, int part, int pan) {
    style.mixer[static_cast<std::size_t>(part)][kMixPan] = static_cast<std::uint8_t>(pan);
}

void setMelody(StyleRecord& style, int part, std::initializer_list<std::pair<int, int>> values) {
    auto& entry = style.melodySettings[static_cast<std::size_t>(part)];
    for (const auto& [index, value] : values)
        entry[static_cast<std::size_t>(index)] = value;
}

void applySketch(StyleRecord& style, const StyleSketch& sketch) {
    style.setName(sketch.name);
    style.setDescription(sketch.description);
    style.meter = sketch.meter;
    style.tempo = sketch.tempo;
    if (sketch.category == kBluesCategory)
        setBlues(style);
    else
        setKey(style, sketch.keyVariant);
    style.category = sketch.category;
    style.feel = sketch.feel;
    style.scaleNumber = sketch.scaleNumber;
    setPrograms(style, {{kPartMelody, sketch.programs[0]},
                        {kPartBass, sketch.programs[1]},
                        {kPartHarmony, sketch.programs[2]},
                        {kPartAccompaniment2, sketch.programs[3]},
                        {kPartDrums, sketch.programs[4]}});
    style.part3Pattern = sketch.patterns[0];
    style.part7Pattern = sketch.patterns[1];
    style.drumPattern = sketch.patterns[2];
    style.bassPattern = sketch.patterns[3];
    style.barCount = sketch.barCount;
    // What nearly every style sets: chord tones on strong notes, and the
    // melody's value 5.
    setMelody(style, kPartMelody, {{kMelDissonance, 9}, {kMelValue5, 5}, {kMelPitchMethod, 6}});
    style.flagAfterRandomKind = 1;
    // A mix that keeps the parts apart: the tune in front and in the middle,
    // the harmony left, the second accompaniment right, bass and drums dry.
    setMix(style, kPartMelody, {110, 40, 70});
    setMix(style, kPartBass, {100, 0, 30});
    setMix(style, kPartHarmony, {90, 40, 70});
    setPan(style, kPartHarmony, 44);
    setMix(style, kPartAccompaniment2, {78, 40, 80});
    setPan(style, kPartAccompaniment2, 84);
    setMix(style, kPartDrums, {100, 0, 50});
    if (sketch.touch) sketch.touch(style);
}

void addCounterLine(StyleRecord& style, int program, int low, int high) {
    style.programs[kPartLineB] = program;
    style.sectionCopyMode = 7;
    setMelody(style, kPartLineB,
              {{kMelDissonance, 9},
               {kMelPartMode, 3},
               {kMelRestSwitch, 0},
               {kMelEndingKind, 0},
               {kMelValue5, 5},
               {kMelHighest, high},
               {kMelLowest, low},
               {kMelPitchMethod, 6}});
    setMix(style, kPartLineB, {72, 50, 90});
    setPan(style, kPartLineB, 76);
    style.patternParams[kPartLineB] = 80;
}

void setOwnScale(StyleRecord& style, const char* digits) {
    style.scaleNumber = 11;
    std::string text = std::string("xxxx") + digits;
    text.resize(16, '0');
    for (std::size_t i = 0; i < text.size(); ++i)
        style.customScale[i] = text[i];
    style.customScale[16] = '\0';
}

void setUpRandomStyle(StyleRecord& style, int group) {
    const auto& text = kRandomStyles[static_cast<std::size_t>(group)];
    style.setName(text.name);
    style.setDescription(text.description);
    style.randomKind = group + 1;
}

} // namespace harmolin::styles
