#include "lyrics/LyricWriter.h"

#include "lyrics/PhraseTemplates.h"
#include "lyrics/WordTable.h"
#include "midi/ErrorReport.h"

#include <algorithm>
#include <array>

namespace harmolin {
namespace {

constexpr char kSungA[] = "\x82\xa0";          // あ
constexpr char kShownA[] = "\x82\xa0\x81\x60"; // あ～
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

LyricText writePhrase(int notes, int styleClass, int variantMask, EngineRandom& random) {
    if (notes <= 1) return {kShownA, kSungA};
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
    phrase.display.clear();
    phrase.reading.clear();
    for (int i = 0; i < notes; ++i) {
        phrase.display += kShownA;
        phrase.reading += kSungA;
    }
    return phrase;
}

MelodyPhrases findPhrases(const MidiTrackData& track, int melodyChannel, int division) {
    MelodyPhrases out;
    int t = 0, n = 0, s = 0, d = 0;
    auto close = [&] {
        if (n == 0) return;
        out.noteCounts.push_back(n);
        n = 0;
    };
    const int last = track.count() - 1;
    for (int i = 0; i <= last; ++i) {
        const MusicEvent& e = track.event(i);
        t += e.delta;
        // A full phrase, and the end of the song, close the phrase; the event
        // that finds it full is not sung.
        if (n >= kMaxPhraseNotes || i == last) {
            close();
            continue;
        }
        if (!isMelodyNote(e, melodyChannel)) continue;
        const int rest = t - s - d;
        // Half a beat of rest ends a phrase, but one or two notes need a
        // whole beat before they stand as a phrase of their own.
        if (n != 0 && rest >= division / 2 && (n > 2 || rest >= division)) close();
        if (n == 0) out.startTimes.push_back(t);
        out.noteStarts.push_back(t);
        ++n;
        s = t;
        d = e.length;
    }
    close();
    return out;
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
        reportError(ErrorClass::Gene, 0x0100000B);
        return nullptr;
    }
    MidiTrackData songTrack = song.track();
    const int division = song.division();
    const MelodyPhrases phrases = findPhrases(songTrack, melodyChannel, division);

    std::vector<std::string> lines;
    std::vector<std::string> readings;
    for (int notes : phrases.noteCounts) {
        LyricText phrase = writePhrase(notes, styleClass, variantMask, random);
        lines.push_back(std::move(phrase.display));
        readings.push_back(std::move(phrase.reading));
    }

    applyLegato(songTrack, melodyChannel, division);
    const int songLength = songTrack.totalLength();

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
            lyrics.append(lyricEvent(start - time, readings[p], at));
            time = start;
        }
    }
    lyrics.append(makeEndOfTrack(std::max(0, songLength - time)));

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
