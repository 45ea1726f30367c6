// The sung melody of an XF song as notation: measures of notes and rests with
// printed values, ties across bar lines and beats, triplets, one lyric per
// sung note with its place in its word, and the song's key, time signature,
// tempo and (when asked) chord symbols. The MusicXML writer prints it.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace harmolin {

class CXfData;

// Ticks per quarter note of a score; every printed value is a whole number of them.
inline constexpr int kScoreDivision = 480;

enum class Syllabic { Single, Begin, Middle, End };

struct ScoreNote {
    bool rest = false;
    bool wholeMeasureRest = false;
    int pitch = 0;    // MIDI note number
    int duration = 0; // ticks as played
    int printed = 0;  // ticks of the plain written value: 1920 whole ... 60 thirty-second
    int dots = 0;
    bool triplet = false; // three in the time of two
    bool tupletStart = false;
    bool tupletStop = false;
    bool tieStart = false;
    bool tieStop = false;
    std::string lyric; // UTF-8; only on the first piece of a sung note
    Syllabic syllabic = Syllabic::Single;
    std::string lineText; // UTF-8 lyric line as written, on its first note
};

// A chord symbol: root and bass as pitch classes, kind as MusicXML names it.
struct ScoreChord {
    int offset = 0; // ticks from the measure's start
    int root = 0;
    int bass = 0;
    std::string kind; // "major", "minor", "dominant", ...
};

struct ScoreTempo {
    int offset = 0;
    double bpm = 120.0;
};

struct ScoreMeasure {
    int start = 0; // tick
    int length = 0;
    // Set where they change (and in the first measure).
    std::optional<std::pair<int, int>> time; // numerator, denominator
    std::optional<std::pair<int, bool>> key; // fifths, minor
    std::vector<ScoreTempo> tempos;
    std::vector<ScoreChord> chords;
    std::vector<ScoreNote> notes;
};

struct Score {
    std::vector<ScoreMeasure> measures;
    int melodyNotes = 0;       // sung part notes read from the song
    int lyricCount = 0;        // of them, notes with a lyric
    int droppedNotes = 0;      // notes that fell onto another's place on the grid
    bool linesMatched = false; // the lyric lines given spelled the sung syllables
};

struct ScoreOptions {
    bool withChords = false;
    // The song's lyric lines as written (code page 932), for word bounds and
    // the line's text; empty when unknown: words are then found from the
    // sung syllables alone.
    std::vector<std::string> lines;
    int melodyChannel = 0;
};

// Nothing, with error set, when the song has no melody to write.
[[nodiscard]] std::optional<Score> buildScore(const CXfData& song, const ScoreOptions& options,
                                              std::string& error);

// Splits the sung syllables (two code page 932 bytes each) into words and
// gives each its place in its word. With lines, words follow them; a line
// that cannot be matched makes the syllables alone decide.
[[nodiscard]] std::vector<Syllabic> syllabicOf(const std::vector<std::string>& syllables,
                                               const std::vector<std::string>& lines);

// Chord symbol of the pitch classes sounding (weights by pitch class) over
// the lowest note; nothing when no chord shape fits.
[[nodiscard]] std::optional<ScoreChord> recogniseChord(const double (&weights)[12], int lowest);

} // namespace harmolin
