#include "lyrics/WordsFitting.h"

#include "base/TextCodec.h"

#include <algorithm>

namespace harmolin {
namespace {

// Length of the UTF-8 sequence starting at s[i]; 0 when it is not one.
std::size_t utf8Sequence(std::string_view s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80             ? 1
                    : (c & 0xE0) == 0xC0 ? 2
                    : (c & 0xF0) == 0xE0 ? 3
                    : (c & 0xF8) == 0xF0 ? 4
                                         : 0;
    if (n == 0 || i + n > s.size() || (n == 2 && c < 0xC2)) return 0;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
    return n;
}

bool isUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = utf8Sequence(s, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

bool isCp932(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (isCp932LeadByte(c)) {
            if (i + 1 >= s.size()) return false;
            const auto t = static_cast<unsigned char>(s[++i]);
            if (t < 0x40 || t == 0x7F || t > 0xFC) return false;
        } else if (c == 0x80 || c == 0xA0 || c >= 0xFD) {
            return false;
        }
    }
    return true;
}

// Control characters other than tab mean the file is not a text.
bool hasControl(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return (c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F;
    });
}

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> out;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            out.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty()) out.push_back(line);
    return out;
}

// Spaces and tabs around a line, and the ideographic space, are dropped.
std::string trimUtf8(const std::string& line) {
    static const std::string wide = "\xE3\x80\x80";
    std::size_t from = 0, to = line.size();
    for (;;) {
        if (from < to && (line[from] == ' ' || line[from] == '\t')) {
            ++from;
        } else if (line.compare(from, 3, wide) == 0 && from + 3 <= to) {
            from += 3;
        } else {
            break;
        }
    }
    for (;;) {
        if (to > from && (line[to - 1] == ' ' || line[to - 1] == '\t')) {
            --to;
        } else if (to >= from + 3 && line.compare(to - 3, 3, wide) == 0) {
            to -= 3;
        } else {
            break;
        }
    }
    return line.substr(from, to - from);
}

const std::string& held() {
    static const std::string mark = utf8ToCp932("ー").value_or("");
    return mark;
}

// Splits note i into two of the same pitch, the first on a thirty-second
// grid and both at least a sixteenth long (the note holds two).
void splitNote(std::vector<FitNote>& notes, std::size_t i, int sixteenth) {
    const int grid = std::max(1, sixteenth / 2);
    FitNote& n = notes[i];
    const int first = std::max(sixteenth, n.length / 2 / grid * grid);
    FitNote second = n;
    second.start = n.start + first;
    second.length = n.length - first;
    n.length = first;
    notes.insert(notes.begin() + static_cast<std::ptrdiff_t>(i) + 1, second);
}

} // namespace

std::string heldMark() {
    return held();
}

WordsText parseWords(std::string_view bytes) {
    WordsText out;
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    if (hasControl(bytes)) {
        out.error = "the words file is not a text (it holds control characters)";
        return out;
    }
    std::string utf8;
    if (isUtf8(bytes)) {
        utf8 = std::string(bytes);
    } else if (isCp932(bytes)) {
        utf8 = cp932ToUtf8(bytes);
    } else {
        out.error = "the words file is neither UTF-8 nor Shift-JIS text";
        return out;
    }
    int number = 0;
    bool sung = false;
    for (const std::string& raw : splitLines(utf8)) {
        ++number;
        const std::string line = trimUtf8(raw);
        if (line.empty()) {
            if (!out.lines.empty() && !out.lines.back().blank()) out.lines.push_back({});
            continue;
        }
        const auto cp932 = utf8ToCp932(line);
        if (!cp932) {
            out.error =
                "line " + std::to_string(number) + " of the words has a character Shift-JIS cannot hold";
            out.lines.clear();
            return out;
        }
        out.lines.push_back({*cp932});
        sung = true;
    }
    if (!out.lines.empty() && out.lines.back().blank()) out.lines.pop_back();
    if (!sung) out.error = "the words have no line to sing";
    return out;
}

std::vector<std::vector<std::string>> lineSyllables(const std::vector<WordsLine>& lines,
                                                    const std::string& workingFolder,
                                                    const std::string& dataFolder,
                                                    const SingingOptions& options) {
    // Each word of a line (split at spaces, so that English words stay
    // words) on a note of its own, the line closed by a line mark so that
    // it is read in context as one line, exactly as the song will be read.
    constexpr int kSpan = 480;
    static const std::string wideSpace = utf8ToCp932("\xE3\x80\x80").value_or(" ");
    static const std::string longMark = utf8ToCp932("ー").value_or("-"),
                             waveDash = utf8ToCp932("～").value_or("~");
    MidiTrackData song(kSongCapacity, TrackState::Connected);
    MidiTrackData words(kSongCapacity, TrackState::NoteOnOff);
    std::vector<std::size_t> lineOf; // the line of each note
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::vector<std::string> pieces(1);
        const std::string& text = lines[i].written;
        for (std::size_t b = 0; b < text.size();) {
            const auto c = static_cast<unsigned char>(text[b]);
            const std::size_t w = isCp932LeadByte(c) ? 2 : 1;
            const std::string ch = text.substr(b, w);
            b += w;
            if (ch == " " || ch == "\t" || ch == wideSpace) {
                if (!pieces.back().empty()) pieces.emplace_back();
            } else if (ch == longMark || ch == waveDash) {
                // A long vowel written out is sung: alone on its note it
                // holds the vowel before it (ラーメン らあめん).
                if (!pieces.back().empty()) pieces.emplace_back();
                pieces.back() = ch;
                pieces.emplace_back();
            } else {
                pieces.back() += ch;
            }
        }
        if (pieces.back().empty()) pieces.pop_back();
        for (std::size_t j = 0; j < pieces.size(); ++j) {
            const int delta = lineOf.empty() ? 0 : kSpan;
            (void)song.append(makeConnectedNote(0, delta, 64, 100, kSpan)); // a full track reports itself
            (void)words.append(
                makeTextMeta(delta, kMetaLyric, pieces[j] + (j + 1 == pieces.size() ? "/" : "")));
            lineOf.push_back(i);
        }
    }
    (void)song.append(makeEndOfTrack(kSpan));
    (void)words.append(makeEndOfTrack(kSpan));
    CXfData xf(song, std::move(words), kSingingDivision);
    const std::vector<SyllableRecord> sung = prepareSinging(xf, 0, workingFolder, dataFolder, options);

    std::vector<std::vector<std::string>> out(lines.size());
    for (const SyllableRecord& r : sung) {
        if (r.note < 0) continue;
        const std::size_t note = static_cast<std::size_t>(r.start / kSpan);
        if (note < lineOf.size()) out[lineOf[note]].push_back(r.lyric);
    }
    return out;
}

std::optional<std::vector<SungNote>> fitLine(const FitPhrase& phrase,
                                             const std::vector<std::string>& syllables, int division) {
    const int sixteenth = std::max(1, division / 4);
    std::vector<FitNote> notes = phrase.notes;
    const std::size_t k = syllables.size();
    if (notes.empty() || k == 0) return std::nullopt;

    while (notes.size() < k) {
        // The longest note that halves into two sixteenths or more; the
        // earliest of equals, so a run of equal notes divides front to back.
        std::size_t best = notes.size();
        for (std::size_t i = 0; i < notes.size(); ++i)
            if (notes[i].length >= 2 * sixteenth &&
                (best == notes.size() || notes[i].length > notes[best].length))
                best = i;
        if (best == notes.size()) {
            // No note is long enough: the one with the most room before
            // the next note (or the phrase's limit) borrows what it needs.
            int most = 0;
            for (std::size_t i = 0; i < notes.size(); ++i) {
                const int until = i + 1 < notes.size() ? notes[i + 1].start : phrase.limit;
                const int room = until - notes[i].start;
                if (room >= 2 * sixteenth && room > most) {
                    most = room;
                    best = i;
                }
            }
            if (best == notes.size()) return std::nullopt;
            notes[best].length = 2 * sixteenth;
        }
        splitNote(notes, best, sixteenth);
    }

    // Too many notes: same-pitch neighbours without a rest between them are
    // tied, latest first, before any syllable is held.
    std::size_t extra = notes.size() - k;
    for (std::size_t i = notes.size() - 1; extra > 0 && i > 0; --i) {
        FitNote& before = notes[i - 1];
        const FitNote& after = notes[i];
        if (after.pitch != before.pitch || after.start - (before.start + before.length) >= sixteenth)
            continue;
        before.length = after.start + after.length - before.start;
        notes.erase(notes.begin() + static_cast<std::ptrdiff_t>(i));
        --extra;
    }
    // What is left is held by the last syllables, one more note each in
    // turn from the last one back.
    std::vector<std::size_t> take(k, 1);
    for (std::size_t s = k; extra > 0; --extra) {
        s = s == 0 ? k - 1 : s - 1;
        ++take[s];
    }
    std::vector<SungNote> out;
    std::size_t at = 0;
    for (std::size_t s = 0; s < k; ++s)
        for (std::size_t j = 0; j < take[s]; ++j)
            out.push_back({notes[at++], j == 0 ? syllables[s] : held()});
    return out;
}

WordsFit fitWords(const std::vector<FitPhrase>& phrases,
                  const std::vector<std::vector<std::string>>& syllables, int division) {
    WordsFit fit;
    std::size_t p = 0;
    fit.complete = true;
    for (std::size_t line = 0; line < syllables.size(); ++line) {
        if (syllables[line].empty()) continue;
        bool placed = false;
        FitPhrase joined;
        for (std::size_t q = p; q < phrases.size() && !placed; ++q) {
            joined.notes.insert(joined.notes.end(), phrases[q].notes.begin(), phrases[q].notes.end());
            joined.limit = phrases[q].limit;
            if (auto notes = fitLine(joined, syllables[line], division)) {
                fit.lines.push_back({static_cast<int>(line), static_cast<int>(p), static_cast<int>(q - p + 1),
                                     std::move(*notes)});
                p = q + 1;
                placed = true;
            }
        }
        if (!placed) {
            fit.complete = false;
            break;
        }
    }
    fit.phrasesUsed = static_cast<int>(p);
    return fit;
}

} // namespace harmolin
