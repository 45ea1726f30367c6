// Error classes and reporters shared by every module.
//
// A failure is reported, never thrown: the module calls its class's reporter
// with a 32-bit code (class number in the top byte), the reporter builds the
// one-line message "PREFIX%08X text" and hands it to the presenter that the
// program installed (a message box in the window, a stderr line in the
// terminal, a collecting sink in tests). The caller then recovers on its own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace harmolin {

enum class ErrorClass {
    Gene, // 0x01 general functions
    M1dt, // 0x03 MidiF1Data
    M0dt, // 0x04 MidiF0Data
    Muev, // 0x06 MusicEvent
    Mdct, // 0x07 MidiControler
    Mdpl, // 0x08 MidiPlayer
    Mdsp, // 0x09 MusicPlayer
    Mdsx, // 0x36 GS system-exclusive checksum
    Mdtk, // 0x0D MidiTrackData
    Gnll, // 0x1E lyric word-list loader
    M1tk, // 0x2E MidiF1TrackData
    Xfdt, // 0x2F CXfData
    Mdss, // 0x37 MidiStatus
    Znrc, // 0xFF01 composition engine
    Vofw, // CVocaloidFileWriter
    Ospc, // off-screen picture
};

enum class Severity {
    Error,   // a plain reporter: something failed
    Warning, // a once reporter: the data was repaired and work goes on
    Notice,  // extra information shown with the error that follows it (a file name)
    Message, // a one-line message of its own, shown when it is raised
};

struct ReportLine {
    ErrorClass errorClass;
    std::uint32_t code;
    Severity severity;
    std::string text; // the whole line as the user sees it (UTF-8)
};

using Presenter = std::function<void(const ReportLine&)>;

// Installs the presenter and returns the previous one. The default presenter
// writes each line to standard error.
[[nodiscard]] Presenter setPresenter(Presenter presenter);

// The message line for a code, as the plain reporter would show it.
[[nodiscard]] std::string formatReport(ErrorClass cls, std::uint32_t code);
[[nodiscard]] std::string_view errorPrefix(ErrorClass cls);

// Plain reporter: shows the line every time.
void reportError(ErrorClass cls, std::uint32_t code);

// Once reporter of the classes that warn about input data (M0DT, M1DT, M1TK,
// MDTK). Code 0 clears the class's resettable latches and shows nothing.
void reportOnce(ErrorClass cls, std::uint32_t code);

// Shows a free text (the name of a file that could not be opened) ahead of an
// error line: the presenter holds it for the error that follows on the same
// thread.
void reportNotice(std::string_view text);

// Shows a one-line message of its own at once (a warning about the song, a
// device's failure): a "warning:" line in the terminal, a box in the window.
void reportMessage(std::string_view text);

// Lets other modules table their own classes (engine, lyrics, pictures):
// a lookup returning the text for a code, or nullptr for the general text.
using MessageLookup = const char* (*)(std::uint32_t code);
void registerMessages(ErrorClass cls, MessageLookup lookup, const char* generalText);

// Clears every latch, the never-reset ones included: for tests only.
void resetAllLatchesForTesting();

} // namespace harmolin
