// Singing a person's own words: the words text read into lines, each line's
// syllables counted by the kana conversion, and the melody's phrases fitted to
// the lines, one syllable a note.
#pragma once

#include "lyrics/KanaConversion.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace harmolin {

// One line of the words as written (code page 932); an empty line stands
// between two verses.
struct WordsLine {
    std::string written;
    [[nodiscard]] bool blank() const { return written.empty(); }
};

struct WordsText {
    std::vector<WordsLine> lines; // at least one sung line when error is empty
    std::string error;            // why the text was refused (UTF-8)
};

// A words file's bytes: UTF-8 (with or without a byte-order mark) or
// Shift-JIS. Line ends CR LF, LF or CR; spaces around a line are dropped and
// runs of blank lines become one blank line between verses.
[[nodiscard]] WordsText parseWords(std::string_view bytes);

// The sung syllables of each line (one kana each, code page 932) as the kana
// conversion reads the line in context; blank lines get none.
[[nodiscard]] std::vector<std::vector<std::string>> lineSyllables(const std::vector<WordsLine>& lines,
                                                                  const std::string& workingFolder,
                                                                  const std::string& dataFolder,
                                                                  const SingingOptions& options = {});

// The mark a note carries when it holds the vowel of the syllable before it.
[[nodiscard]] std::string heldMark();

struct FitNote {
    int start = 0;
    int length = 0;
    int pitch = 0;
    int velocity = 100;
};

struct SungNote {
    FitNote note;
    std::string lyric; // a syllable, or heldMark()
};

// A melody phrase and the tick up to which its notes may borrow the rest
// that follows them (the next phrase's first note, or the song's end).
struct FitPhrase {
    std::vector<FitNote> notes;
    int limit = 0;
};

// One line on one phrase: extra notes hold the last syllables (same-pitch
// neighbours tied first); missing notes come from splitting the longest
// notes in two, never below a sixteenth, borrowing the following rest when
// no note is long enough. Nothing when the phrase cannot hold the line.
[[nodiscard]] std::optional<std::vector<SungNote>>
fitLine(const FitPhrase& phrase, const std::vector<std::string>& syllables, int division);

struct FittedLine {
    int line = 0;        // index into the words' lines
    int firstPhrase = 0; // the phrase the line starts
    int phraseCount = 0; // phrases it took (more than one for a line too long for its phrase)
    std::vector<SungNote> notes;
};

struct WordsFit {
    std::vector<FittedLine> lines;
    int phrasesUsed = 0;
    bool complete = false; // every sung line found its phrases
};

// The lines onto the phrases in order, each line starting a phrase. A line
// too long for its phrase takes the next phrase as well.
[[nodiscard]] WordsFit fitWords(const std::vector<FitPhrase>& phrases,
                                const std::vector<std::vector<std::string>>& syllables, int division);

} // namespace harmolin
