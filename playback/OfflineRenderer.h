// Plays a MIDI file against a sample clock instead of the wall clock: the
// voice channel goes to the singing plug-in through the VST host, everything
// else to an embedded General MIDI synthesizer, and the two are mixed into a
// 44.1 kHz 16-bit stereo WAV file.
#pragma once

#include "midi/PluginKind.h"

#include <optional>
#include <string>

namespace harmolin {

struct RenderOptions {
    // Empty: no plug-in; the voice channel then plays through the synthesizer
    // with melodyProgram.
    std::string pluginPath;
    PluginKind pluginKind = PluginKind::VocaloidStream; // how the voice channel reaches it
    int voiceChannel = 0;
    int melodyProgram = 64;
    double voiceGain = 0.5;
    std::string soundFont;   // empty: the system's GM SoundFont
    std::string stemsFolder; // empty: no stems
    double tailSeconds = 2.0;
};

struct RenderResult {
    bool ok = false;
    std::string error;    // one line for the user when !ok
    double seconds = 0.0; // length of the file written
    double peak = 0.0;    // of the mix, after any level correction
    double scaled = 1.0;  // level correction applied to keep below full scale
    bool pluginClipped = false;
};

// The GM SoundFont of the system, or empty when none is installed.
std::string defaultSoundFont();

// Keeps FluidSynth's own log lines off the terminal (once per process).
void quietFluidSynthLog();

RenderResult renderMidiToWav(const std::string& midiPath, const std::string& wavPath,
                             const RenderOptions& options);

// Milliseconds from the first sung note's messages to the plug-in's first
// sound, measured by letting the plug-in sing that note alone, delivered by
// the host's routing for the plug-in's kind. Nothing when
// the plug-in does not load, the file has no voice, or nothing is heard
// within a second; error then says why.
std::optional<int> measureVoiceDelay(const std::string& pluginPath, PluginKind kind,
                                     const std::string& sungPartPath, int voiceChannel, std::string& error);

} // namespace harmolin
