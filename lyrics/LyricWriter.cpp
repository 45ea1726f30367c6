#include "lyrics/LyricWriter.h"

#include "base/ErrorCodes.h"
#include "base/ErrorReport.h"
#include "lyrics/PhraseTemplates.h"
#include "lyrics/WordTable.h"
#include "midi/MidiTrackEdit.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace harmolin {
namespace {

constexpr char kSungA[] = "\x82\xa0";          // あ
constexpr char kShownA[] = "\x82\xa0\x81\x60"; // あ～
constexpr char kWideSpace[] = "\x81\x40";      // 　
constexpr int kCategories = 16;

// Rows of each category in table order, so a draw scans only its category.
const std::array<std::vector<int>, kCategories>& rowsByCategory() {
    static const std::array<std::vector<int>, kCategories> rows = [] {
        std::array<std::vector<int>, kCategories> r;
        for (int i = 0; i < kWordCount; ++i) {
            const int c = kWordTable[i].category;
            if (c > 0 && c < kCategories) r[static_cast<std::size_t>(c)].push_back(i);
        }
        return r;
    }();
    return rows;
}

bool fits(const LyricWord& w, int styleClass, int variantMask) {
    return (w.styleClass == styleClass || w.styleClass == kAnyStyle) &&
           (w.variantMask & (variantMask & 0xFFFF)) != 0;
}

bool isMelodyNote(const MusicEvent& e, int channel) {
    return e.kind == kConnectedNote && e.channel == channel;
}

MusicEvent lyricEvent(int delta, const std::string& reading, std::size_t at) {
    std::uint8_t syllable[2] = {static_cast<std::uint8_t>(reading[at]),
                                static_cast<std::uint8_t>(reading[at + 1])};
    return makeMeta(delta, kMetaLyric, syllable, 2);
}

} // namespace

LyricClass lyricClassOf(int songType) {
    static constexpr LyricClass kClasses[] = {
        {kPopsStyle, kYoungPops},    {kPopsStyle, kAdultPops},    {kPopsStyle, kOceanSong},
        {kChildStyle, kAllVariants}, {kGhostStyle, kAllVariants},
    };
    if (songType >= 0 && songType < static_cast<int>(std::size(kClasses))) return kClasses[songType];
    reportMessage("MakeXfFile error");
    return {kAnyStyle, kAllVariants};
}

LyricText pickWord(int category, int styleClass, int variantMask, EngineRandom& random) {
    if (category <= 0 || category >= kCategories) return {};
    const auto& rows = rowsByCategory()[static_cast<std::size_t>(category)];
    int count = 0;
    for (int i : rows)
        if (fits(kWordTable[i], styleClass, variantMask)) ++count;
    if (count == 0) return {};
    int j = random.randRange(0, count - 1);
    for (int i : rows) {
        const LyricWord& w = kWordTable[i];
        if (!fits(w, styleClass, variantMask)) continue;
        if (j-- == 0) return {w.display, w.reading};
    }
    return {};
}

std::optional<LyricText> drawPhrase(int notes, int styleClass, int variantMask, EngineRandom& random) {
    LyricText phrase;
    for (int draw = 0; draw < kPhraseDrawLimit; ++draw) {
        phrase.display.clear();
        phrase.reading.clear();
        const PhraseTemplate& t =
            kPhraseTemplates[static_cast<std::size_t>(random.randRange(0, kTemplateCount - 1))];
        for (int category : t) {
            if (category == 0) break;
            const LyricText word = pickWord(category, styleClass, variantMask, random);
            phrase.display += word.display;
            phrase.reading += word.reading;
        }
        if (phrase.reading.size() / 2 == static_cast<std::size_t>(notes)) return phrase;
    }
    return std::nullopt;
}

LyricText writePhrase(int notes, int styleClass, int variantMask, EngineRandom& random) {
    if (notes > 1)
        if (auto phrase = drawPhrase(notes, styleClass, variantMask, random)) return *phrase;
    LyricText phrase;
    for (int i = 0; i < std::max(notes, 1); ++i) {
        phrase.display += kShownA;
        phrase.reading += kSungA;
    }
    return phrase;
}

int splitPoint(std::span<const int> starts, std::span<const int> lengths) {
    const int n = static_cast<int>(starts.size());
    // Two notes on each side when the phrase has them, so a cut never leaves
    // a single note to sing "あ" by itself.
    const int lo = n >= 4 ? 2 : 1;
    const int hi = n >= 4 ? n - 2 : n - 1;
    int best = n / 2, widest = -1, bestDistance = n;
    for (int i = lo; i <= hi; ++i) {
        const std::size_t at = static_cast<std::size_t>(i);
        const int rest = std::max(0, starts[at] - starts[at - 1] - lengths[at - 1]);
        const int distance = std::abs(2 * i - n);
        if (rest > widest || (rest == widest && distance < bestDistance)) {
            best = i;
            widest = rest;
            bestDistance = distance;
        }
    }
    return best;
}

LyricText fillPhrase(std::span<const int> starts, std::span<const int> lengths, int styleClass,
                     int variantMask, EngineRandom& random) {
    const int n = static_cast<int>(starts.size());
    if (n > 1)
        if (auto phrase = drawPhrase(n, styleClass, variantMask, random)) return *phrase;
    if (n <= 1) return writePhrase(1, styleClass, variantMask, random);
    const std::size_t cut = static_cast<std::size_t>(splitPoint(starts, lengths));
    const LyricText first =
        fillPhrase(starts.first(cut), lengths.first(cut), styleClass, variantMask, random);
    const LyricText second =
        fillPhrase(starts.subspan(cut), lengths.subspan(cut), styleClass, variantMask, random);
    return {first.display + kWideSpace + second.display, first.reading + second.reading};
}

MelodyPhrases findPhrases(const MidiTrackData& track, int melodyChannel, int division) {
    MelodyPhrases out;
    int t = 0, n = 0, s = 0, d = 0;
    auto close = [&] {
        if (n == 0) return;
        out.noteCounts.push_back(n);
        n = 0;
    };
    for (const MusicEvent& e : track.events()) {
        t += e.delta;
        if (!isMelodyNote(e, melodyChannel)) continue;
        const int rest = t - s - d;
        // Half a beat of rest ends a phrase, but one or two notes need a
        // whole beat before they stand as a phrase of their own. A note that
        // finds its phrase full starts the next one, so every note is sung.
        if (n != 0 && (n >= kMaxPhraseNotes || (rest >= division / 2 && (n > 2 || rest >= division))))
            close();
        if (n == 0) out.startTimes.push_back(t);
        out.noteStarts.push_back(t);
        out.noteLengths.push_back(e.length);
        ++n;
        s = t;
        d = e.length;
    }
    close();
    return out;
}

void joinLoneNotes(MelodyPhrases& phrases) {
    auto& counts = phrases.noteCounts;
    std::vector<int> firstNote(counts.size() + 1, 0);
    for (std::size_t p = 0; p < counts.size(); ++p)
        firstNote[p + 1] = firstNote[p] + counts[p];
    const auto endOf = [&](int note) {
        return phrases.noteStarts[static_cast<std::size_t>(note)] +
               phrases.noteLengths[static_cast<std::size_t>(note)];
    };
    for (std::size_t p = 0; p < counts.size();) {
        if (counts[p] != 1) {
            ++p;
            continue;
        }
        const int note = firstNote[p];
        const int start = phrases.noteStarts[static_cast<std::size_t>(note)];
        const bool canBack = p > 0 && counts[p - 1] < kMaxPhraseNotes;
        const bool canOn = p + 1 < counts.size() && counts[p + 1] < kMaxPhraseNotes;
        if (!canBack && !canOn) {
            ++p;
            continue;
        }
        const int restBefore = canBack ? start - endOf(note - 1) : 0;
        const int restAfter =
            canOn ? phrases.noteStarts[static_cast<std::size_t>(note + 1)] - endOf(note) : 0;
        // The note belongs with the neighbour it is closer to; the phrase
        // before it wins a tie, as a note after a phrase usually ends it.
        const bool back = canBack && (!canOn || restBefore <= restAfter);
        const std::size_t into = back ? p - 1 : p + 1;
        counts[into] += 1;
        if (!back) phrases.startTimes[into] = start;
        counts.erase(counts.begin() + static_cast<std::ptrdiff_t>(p));
        phrases.startTimes.erase(phrases.startTimes.begin() + static_cast<std::ptrdiff_t>(p));
        firstNote.erase(firstNote.begin() + static_cast<std::ptrdiff_t>(back ? p : p + 1));
        if (back) p = into; // the grown phrase is looked at again (it is not lone)
    }
}

void applyLegato(MidiTrackData& track, int melodyChannel, int division) {
    const int longest = 2 * division;
    int t = 0;
    MusicEvent* previous = nullptr;
    int previousStart = 0;
    for (MusicEvent& e : track.events()) {
        t += e.delta;
        if (!isMelodyNote(e, melodyChannel)) continue;
        if (previous) {
            const int distance = t - previousStart;
            if (previous->length < distance) previous->length = std::min(distance, longest);
        }
        previous = &e;
        previousStart = t;
    }
}

std::unique_ptr<LyricSong> writeLyrics(const MidiF0Data& song, int melodyChannel, int styleClass,
                                       int variantMask, EngineRandom& random) {
    if (melodyChannel < 0 || melodyChannel > 15 || song.state() != TrackState::Connected ||
        song.track().state() != TrackState::Connected) {
        reportError(ErrorClass::Gene, errc::kBadParameter);
        return nullptr;
    }
    MidiTrackData songTrack = song.track();
    const int division = song.division();
    MelodyPhrases phrases = findPhrases(songTrack, melodyChannel, division);
    joinLoneNotes(phrases);

    std::vector<std::string> lines;
    std::vector<std::string> readings;
    const std::span<const int> starts(phrases.noteStarts), lengths(phrases.noteLengths);
    std::size_t first = 0;
    for (int notes : phrases.noteCounts) {
        const std::size_t count = static_cast<std::size_t>(notes);
        LyricText phrase = fillPhrase(starts.subspan(first, count), lengths.subspan(first, count), styleClass,
                                      variantMask, random);
        lines.push_back(std::move(phrase.display));
        readings.push_back(std::move(phrase.reading));
        first += count;
    }

    applyLegato(songTrack, melodyChannel, division);
    const int songLength = totalLength(songTrack);

    // Each phrase's notes take its reading's syllables in order; counting
    // notes per phrase keeps a syllable from being read past its reading.
    MidiTrackData lyrics(kSongCapacity, TrackState::NoteOnOff);
    int time = 0;
    std::size_t note = 0;
    for (std::size_t p = 0; p < readings.size(); ++p) {
        const int count = phrases.noteCounts[p];
        for (int q = 0; q < count && note < phrases.noteStarts.size(); ++q, ++note) {
            const std::size_t at = static_cast<std::size_t>(q) * 2;
            if (at + 1 >= readings[p].size()) continue;
            const int start = phrases.noteStarts[note];
            (void)lyrics.append(lyricEvent(start - time, readings[p], at)); // a full track reports itself
            time = start;
        }
    }
    (void)lyrics.append(makeEndOfTrack(std::max(0, songLength - time))); // a full track reports itself

    auto xf = std::make_unique<CXfData>(songTrack, std::move(lyrics), division);
    return std::make_unique<LyricSong>(std::move(xf), std::move(lines));
}

std::unique_ptr<LyricSong> writeLyrics(const std::string& preparedSongPath, int melodyChannel, int styleClass,
                                       int variantMask, EngineRandom& random) {
    MidiF0Data song;
    if (!song.load(preparedSongPath)) return nullptr;
    return writeLyrics(song, melodyChannel, styleClass, variantMask, random);
}

} // namespace harmolin
