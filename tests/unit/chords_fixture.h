// A composition state for the chord tests: a default style in C major, the
// chart texts given directly, and a folder of pattern files on demand.
#pragma once

#include "engine/CompositionState.h"
#include "engine/StyleRecord.h"
#include "test_support.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

namespace harmolin::test {

inline std::unique_ptr<CompositionState> chordState(int category = 3, std::uint32_t seed = 1) {
    auto state = std::make_unique<CompositionState>();
    initStyleDefaults(state->style, state->rng);
    finaliseStyle(state->style);
    state->style.category = category;
    state->patterns.tonic = ChordCode("CMPS");
    state->rng.seed(seed);
    return state;
}

// Writes the files into a fresh folder and returns its path.
inline std::string patternFolder(const std::string& name, const std::map<std::string, std::string>& files) {
    const std::filesystem::path dir = tempPath("chords-" + name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    for (const auto& [file, text] : files)
        std::ofstream(dir / file, std::ios::binary) << text;
    return dir.string();
}

// The shipped databases.
inline std::string shippedPatterns() {
    return std::string(HARMOLIN_TEST_DATA) + "/../../data/patterns";
}

} // namespace harmolin::test
