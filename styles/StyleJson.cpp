#include "styles/StyleJson.h"

#include "styles/StylesInternal.h"

#include <cstdio>
#include <initializer_list>

namespace harmolin {
namespace {

constexpr int kAccompanimentDefaults[7] = {0, 0, 0, 100, 100, 100, 0};

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", u);
            out += buffer;
        } else {
            out += c;
        }
    }
    return out + '"';
}

template <typename Range> std::string list(const Range& values) {
    std::string out = "[";
    bool first = true;
    for (const auto v : values) {
        if (!first) out += ',';
        out += std::to_string(static_cast<int>(v));
        first = false;
    }
    return out + ']';
}

std::string field(const char* name, const std::string& value) {
    return quoted(name) + ':' + value;
}

} // namespace

std::vector<std::pair<std::string, int>> styleFeatures(const StyleRecord& s) {
    std::vector<std::pair<std::string, int>> out;
    const auto add = [&](const char* name, int value, int byDefault) {
        if (value != byDefault) out.emplace_back(name, value);
    };
    const auto& a = s.sectionA();
    add("keyChange", s.keyChange, 0);
    add("slashBass", s.slashBass, 0);
    add("fixedBass", s.fixedBassMode, 0);
    add("chordMode", s.chordMode, 0);
    add("chordScaleAdjust", s.chordScaleAdjust, 0);
    add("fixedChordLength", s.fixedChordLength, 0);
    add("chordLengthSource", s.chordLengthSource, 0);
    add("feel", s.feel, 0);
    add("scaleShift", s.scaleShift, 0);
    add("jumpCheck", s.jumpCheckMode, 0);
    add("secondMelody", a[kMelSecondMelody], 0);
    add("clashFilter", a[kMelDissonance] == 10 ? 1 : 0, 0);
    add("melodyDoubling", s.mixer[kPartMelody][kMixDoubling], 0);
    add("harmonyDoubling", s.mixer[kPartHarmony][kMixDoubling], 0);
    add("chordControl", s.mixer[kPartMelody][kMixChordControl], 0);
    add("counterLine", s.programs[kPartLineB] != kNoProgram ? 1 : 0, 0);
    add("part5", s.programs[kPartLineC] != kNoProgram ? 1 : 0, 0);
    add("part5Alternative", s.part5Alternative, 0);
    add("part8", s.programs[kPartEight] != kNoProgram ? 1 : 0, 0);
    add("melodyCopy", s.programs[kPartMelodyLast] != kNoProgram ? s.mixer[kPartMelodyLast][kMixVolume] : 0,
        0);
    for (int i = 0; i < 7; ++i) {
        const std::string name = "accompanimentSwitch" + std::to_string(i);
        if (s.accompanimentSwitches[static_cast<std::size_t>(i)] != kAccompanimentDefaults[i])
            out.emplace_back(name, s.accompanimentSwitches[static_cast<std::size_t>(i)]);
    }
    for (int i = 0; i < 4; ++i) {
        const std::string name = "melodySwitch" + std::to_string(i + 1);
        if (s.melodySwitches[static_cast<std::size_t>(i)] != 1)
            out.emplace_back(name, s.melodySwitches[static_cast<std::size_t>(i)]);
    }
    return out;
}

std::string styleJson(const StyleRecord& s, int group, int slot) {
    const auto& a = s.sectionA();
    std::string mixer = "[";
    for (std::size_t p = 0; p < s.mixer.size(); ++p) {
        if (p != 0) mixer += ',';
        mixer += list(s.mixer[p]);
    }
    mixer += ']';

    const std::string melody = "{" + field("density", std::to_string(s.patternParams[kPartMelody])) + ',' +
                               field("dissonance", std::to_string(a[kMelDissonance])) + ',' +
                               field("partMode", std::to_string(a[kMelPartMode])) + ',' +
                               field("rests", std::to_string(a[kMelRestSwitch])) + ',' +
                               field("ending", std::to_string(a[kMelEndingKind])) + ',' +
                               field("value5", std::to_string(a[kMelValue5])) + ',' +
                               field("highest", std::to_string(a[kMelHighest])) + ',' +
                               field("lowest", std::to_string(a[kMelLowest])) + ',' +
                               field("pitchMethod", std::to_string(a[kMelPitchMethod])) + ',' +
                               field("tension", std::to_string(a[kMelTension])) + ',' +
                               field("lengthRepeat", std::to_string(a[kMelLengthRepeat])) + ',' +
                               field("intervalRepeat", std::to_string(a[kMelIntervalRepeat])) + ',' +
                               field("jumpCheck", std::to_string(s.jumpCheckMode)) + ',' +
                               field("switches", list(s.melodySwitches)) + ',' +
                               field("jumpWeights", list(s.melodyJumpWeights)) + ',' +
                               field("jumpSizes", list(s.melodyJumpSizes)) + '}';

    std::string features = "{";
    bool first = true;
    for (const auto& [name, value] : styleFeatures(s)) {
        if (!first) features += ',';
        features += field(name.c_str(), std::to_string(value));
        first = false;
    }
    features += '}';

    const char* family = styles::styleFamily(group, slot);
    const char* meter = s.meter == 0 ? "4/4" : s.meter == 1 ? "3/4" : "7/8";
    const std::string scale = lookupScaleTemplate(s).substr(4);
    char bpm[32];
    std::snprintf(bpm, sizeof bpm, "%.1f", s.tempo > 0 ? 60000000.0 / s.tempo : 0.0);
    return "{" + field("group", std::to_string(group)) + ',' + field("slot", std::to_string(slot)) + ',' +
           field("name", quoted(s.nameText())) + ',' + field("meter", quoted(meter)) + ',' +
           field("tempo", std::to_string(s.tempo)) + ',' + field("bpm", bpm) + ',' +
           field("key", quoted(s.keyVariant == 1 ? "major" : "minor")) + ',' +
           field("bars", std::to_string(s.barCount)) + ',' + field("category", std::to_string(s.category)) +
           ',' + field("scaleNumber", std::to_string(s.scaleNumber)) + ',' + field("scale", quoted(scale)) +
           ',' + field("random", std::to_string(s.randomKind)) + ',' +
           field("family", quoted(family ? family : "")) + ',' + field("programs", list(s.programs)) + ',' +
           field("patterns", list(std::initializer_list<int>{s.part3Pattern, s.part7Pattern, s.drumPattern,
                                                             s.bassPattern})) +
           ',' + field("mixer", mixer) + ',' + field("melody", melody) + ',' + field("features", features) +
           '}';
}

} // namespace harmolin
