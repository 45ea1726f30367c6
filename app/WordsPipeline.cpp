#include "app/WordsPipeline.h"

#include "app/SongPreparation.h"
#include "app/WorkingFolder.h"
#include "base/ErrorReport.h"
#include "base/TextCodec.h"
#include "lyrics/LyricWriter.h"
#include "lyrics/VocaloidWriter.h"
#include "midi/MidiTrackEdit.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>

namespace harmolin {
namespace {

constexpr std::size_t kWordsFileLimit = 256 * 1024;

constexpr long long kSungBytesPerSyllable = 1000;

// About the bytes a track takes in a file: a note is two events, an event
// at most four bytes and its delta time, meta and system-exclusive data
// besides.
long long fileBytes(const MidiTrackData& track) {
    long long bytes = 0;
    for (const MusicEvent& e : track.events())
        bytes += (e.kind == kConnectedNote ? 2 : 1) * 6 + static_cast<long long>(e.data.size());
    return bytes;
}

struct Timed {
    int time;
    MusicEvent event;
};

std::vector<Timed> timedEvents(const MidiTrackData& track) {
    std::vector<Timed> out;
    out.reserve(track.events().size());
    int t = 0;
    for (const MusicEvent& e : track.events()) {
        t += e.delta;
        out.push_back({t, e});
    }
    return out;
}

MidiTrackData trackOf(std::vector<Timed> events, TrackState state) {
    std::stable_sort(events.begin(), events.end(),
                     [](const Timed& a, const Timed& b) { return a.time < b.time; });
    // The end of the track stays last.
    std::stable_partition(events.begin(), events.end(),
                          [](const Timed& e) { return !e.event.isEndOfTrack(); });
    MidiTrackData track(kSongCapacity, state);
    int last = 0;
    for (Timed& e : events) {
        e.event.delta = std::max(0, e.time - last);
        last = std::max(last, e.time);
        track.events().push_back(std::move(e.event));
    }
    return track;
}

// The melody's notes phrase by phrase, as the lyric writer cuts them.
std::vector<FitPhrase> melodyPhrases(const MidiTrackData& track, int division) {
    MelodyPhrases cut = findPhrases(track, 0, division);
    joinLoneNotes(cut);
    std::vector<FitNote> notes;
    int t = 0;
    for (const MusicEvent& e : track.events()) {
        t += e.delta;
        if (e.kind == kConnectedNote && e.channel == 0) notes.push_back({t, e.length, e.note, e.velocity});
    }
    std::vector<FitPhrase> phrases;
    std::size_t at = 0;
    const int end = totalLength(track);
    for (std::size_t p = 0; p < cut.noteCounts.size(); ++p) {
        FitPhrase phrase;
        const auto count = static_cast<std::size_t>(cut.noteCounts[p]);
        phrase.notes.assign(notes.begin() + static_cast<std::ptrdiff_t>(at),
                            notes.begin() + static_cast<std::ptrdiff_t>(std::min(notes.size(), at + count)));
        at += count;
        phrase.limit = p + 1 < cut.startTimes.size() ? cut.startTimes[p + 1] : end;
        phrases.push_back(std::move(phrase));
    }
    return phrases;
}

MusicEvent lyricEvent(const std::string& text) {
    return makeTextMeta(0, kMetaLyric, text);
}

// A letter of an English word the word list does not know is sung as it is;
// on its note it is written full-width, so that reading the song again does
// not take it for a word of its own ("i").
std::string onItsNote(const std::string& syllable) {
    if (syllable.size() != 1 || !std::isalpha(static_cast<unsigned char>(syllable[0]))) return syllable;
    const char c = syllable[0];
    const unsigned code =
        c >= 'a' ? 0xFF41u + static_cast<unsigned>(c - 'a') : 0xFF21u + static_cast<unsigned>(c - 'A');
    const char utf8[] = {static_cast<char>(0xE0 | (code >> 12)),
                         static_cast<char>(0x80 | ((code >> 6) & 0x3F)),
                         static_cast<char>(0x80 | (code & 0x3F)), 0};
    return utf8ToCp932(utf8).value_or(syllable);
}

// The whole sections between the one holding the last sung note and the
// tune's ending, as [from, to); empty when there are none.
std::pair<int, int> unsungSections(const SongSections& sections, const WordsFit& fit) {
    int last = -1;
    for (const FittedLine& line : fit.lines)
        for (const SungNote& n : line.notes)
            last = std::max(last, n.note.start + n.note.length - 1);
    for (const auto& [from, to] : sections.spans)
        if (last >= from && last < to && to < sections.insertAt) return {to, sections.insertAt};
    return {0, 0};
}

} // namespace

SongSections composedSections(const CompositionState& state, int division) {
    SongSections out;
    const int scale = division / engine::kDivision;
    int t = state.leadIn();
    for (int number : state.tune.sequence) {
        if (number < 1 || number > engine::kMaxBlocks) continue;
        int length = 0;
        for (const EngineEvent& e : state.tune.blocks[static_cast<std::size_t>(number - 1)].chords)
            if (e.kind == kEngineChord) length += e.length;
        if (length <= 0) continue;
        out.spans.push_back({t * scale, (t + length) * scale});
        t += length;
    }
    out.insertAt = t * scale;
    return out;
}

SongSections melodySection(const MidiF0Data& prepared, int melodyChannel) {
    SongSections out;
    const int bar = std::max(1, prepared.ticksPerMeasure());
    int t = 0, first = -1, last = 0;
    for (const MusicEvent& e : prepared.track().events()) {
        t += e.delta;
        if (e.kind != kConnectedNote || e.channel != melodyChannel) continue;
        if (first < 0) first = t;
        last = std::max(last, t + e.length);
    }
    if (first < 0) return out;
    const int from = first / bar * bar, to = (last + bar - 1) / bar * bar;
    out.spans.push_back({from, std::max(to, from + bar)});
    out.insertAt = out.spans.back().second;
    return out;
}

MidiTrackData lengthenSong(const MidiTrackData& track, const SongSections& sections, int count) {
    if (count <= 0 || sections.spans.empty()) return track;
    const std::vector<Timed> events = timedEvents(track);
    std::vector<Timed> out;
    int added = 0;
    std::vector<Timed> copies;
    for (int c = 0; c < count; ++c) {
        const auto [from, to] = sections.spans[static_cast<std::size_t>(c) % sections.spans.size()];
        for (const Timed& e : events)
            if (e.event.isChannelEvent() && e.time >= from && e.time < to)
                copies.push_back({e.time - from + sections.insertAt + added, e.event});
        added += to - from;
    }
    for (const Timed& e : events)
        out.push_back({e.time >= sections.insertAt ? e.time + added : e.time, e.event});
    out.insert(out.end(), copies.begin(), copies.end());
    return trackOf(std::move(out), track.state());
}

WordsSong singWords(const std::string& preparedPath, const std::vector<WordsLine>& lines,
                    const SongSections* sections, const std::string& workingFolder,
                    const std::string& dataFolder, const SingingOptions& options) {
    WordsSong out;
    MidiF0Data song;
    if (!song.load(preparedPath)) return out;
    const int division = song.division();
    const auto syllables = lineSyllables(lines, workingFolder, dataFolder, options);
    std::size_t total = 0;
    for (const auto& s : syllables)
        total += s.size();
    if (total == 0) {
        out.error = "the words have nothing to sing";
        return out;
    }
    // The sung part carries the voice's control stream, about a kilobyte a
    // syllable, beside the accompaniment; a song too large for it could be
    // saved but never sung. The conversion itself stops at its syllable limit.
    const long long sungRoom =
        CVocaloidFileWriter::kOutputCapacity - kSungBytesPerSyllable * static_cast<long long>(total);
    const long long sungMost =
        (CVocaloidFileWriter::kOutputCapacity - fileBytes(song.track())) / kSungBytesPerSyllable;
    if (total >= static_cast<std::size_t>(kMaxSyllables - 1) || fileBytes(song.track()) > sungRoom) {
        // At its limit the conversion has left the rest out.
        const bool capped = total >= static_cast<std::size_t>(kMaxSyllables - 1);
        out.error = "the words have " + std::string(capped ? "more than " : "") +
                    std::to_string(capped ? total - 1 : total) +
                    " syllables; this song can sing at most about " +
                    std::to_string(std::clamp<long long>(sungMost, 0, kMaxSyllables - 2));
        return out;
    }

    // More lines than the tune has phrases: the song grows by whole
    // sections until every line has its phrase.
    MidiTrackData track = song.track();
    WordsFit fit = fitWords(melodyPhrases(track, division), syllables, division);
    int added = 0;
    // Room for the lyric track beside the song in one file, and for the
    // sung part.
    const long long room =
        std::min<long long>(kSongCapacity - 8 * static_cast<long long>(total) - 4096, sungRoom);
    while (!fit.complete) {
        MidiTrackData longer =
            sections && !sections->spans.empty() ? lengthenSong(song.track(), *sections, added + 1) : track;
        if (longer.count() == track.count() || fileBytes(longer) > room) {
            int sung = 0, lineCount = 0;
            for (const auto& s : syllables)
                lineCount += s.empty() ? 0 : 1;
            sung = static_cast<int>(fit.lines.size());
            out.error =
                "the words need a longer song than can be sung from one file: " + std::to_string(sung) +
                " of " + std::to_string(lineCount) + " lines found their phrases";
            return out;
        }
        track = std::move(longer);
        ++added;
        fit = fitWords(melodyPhrases(track, division), syllables, division);
    }
    if (added > 0) {
        MidiF0Data longer = MidiF0Data::fromTrack(track, division);
        if (!longer.save(preparedPath)) return out;
    }

    // The fitted notes replace the melody notes of the phrases they took.
    const std::vector<FitPhrase> phrases = melodyPhrases(track, division);
    std::size_t replaced = 0;
    for (int p = 0; p < fit.phrasesUsed; ++p)
        replaced += phrases[static_cast<std::size_t>(p)].notes.size();
    const std::pair<int, int> cut = added == 0 && sections ? unsungSections(*sections, fit) : std::pair{0, 0};
    std::vector<Timed> events;
    std::size_t melodyNote = 0;
    for (Timed& e : timedEvents(track)) {
        if (e.event.kind == kConnectedNote && e.event.channel == 0 && melodyNote++ < replaced) continue;
        if (e.time >= cut.second) {
            e.time -= cut.second - cut.first;
        } else if (e.time >= cut.first) {
            // Sections left without words are left out; what they set
            // (programs, controls) still holds for the ending.
            if (e.event.kind == kConnectedNote) continue;
            e.time = cut.first;
        }
        events.push_back(std::move(e));
    }
    MidiTrackData lyrics(kSongCapacity, TrackState::NoteOnOff);
    std::vector<Timed> words;
    int lastLine = -1;
    for (const FittedLine& line : fit.lines) {
        const bool verse = lastLine >= 0 && line.line > lastLine + 1; // a blank line before it
        lastLine = line.line;
        for (std::size_t i = 0; i < line.notes.size(); ++i) {
            const SungNote& n = line.notes[i];
            events.push_back(
                {n.note.start, makeConnectedNote(0, 0, n.note.pitch, n.note.velocity, n.note.length)});
            // XF marks: "<" opens a verse, "/" closes a line.
            std::string text = (i == 0 && verse ? "<" : "") + onItsNote(n.lyric);
            if (i + 1 == line.notes.size()) text += "/";
            words.push_back({n.note.start, lyricEvent(text)});
        }
    }
    MidiTrackData songTrack = trackOf(std::move(events), TrackState::Connected);
    applyLegato(songTrack, 0, division);
    const int songLength = totalLength(songTrack);
    int time = 0;
    for (Timed& w : words) {
        w.event.delta = w.time - time;
        time = w.time;
        (void)lyrics.append(std::move(w.event)); // a full track reports itself
    }
    (void)lyrics.append(makeEndOfTrack(std::max(0, songLength - time))); // a full track reports itself

    std::vector<std::string> written;
    for (const WordsLine& line : lines)
        written.push_back(line.written);
    auto xf = std::make_unique<CXfData>(songTrack, std::move(lyrics), division);
    out.song = std::make_unique<LyricSong>(std::move(xf), std::move(written));
    return out;
}

WordsSong generateSongWithWords(SongComposer& composer, StyleChoice style,
                                const std::vector<WordsLine>& lines, const std::string& workingFolder,
                                const std::string& dataFolder, int guideVolume, int playbackSound) {
    const std::string composed = joinPath(workingFolder, kComposedFile);
    if (!composer.composeSong(style, composed, playbackSound)) return {};
    const std::string prepared = joinPath(workingFolder, kPreparedFile);
    // The engine writes the melody on channel 2.
    if (!prepareSong(composed, PrepareOptions{2, guideVolume}, prepared)) return {};
    const SongSections sections = composedSections(composer.state(), kLyricDivision);
    return singWords(prepared, lines, &sections, workingFolder, dataFolder);
}

WordsSong loadSongWithWords(const std::string& path, int melodyChannel, const std::vector<WordsLine>& lines,
                            const std::string& workingFolder, const std::string& dataFolder,
                            int guideVolume) {
    const std::string prepared = joinPath(workingFolder, kPreparedFile);
    if (!prepareSong(path, PrepareOptions{melodyChannel, guideVolume}, prepared)) return {};
    MidiF0Data song;
    if (!song.load(prepared)) return {};
    const SongSections sections = melodySection(song, 0);
    return singWords(prepared, lines, &sections, workingFolder, dataFolder);
}

WordsText readWordsFile(const std::string& path) {
    WordsText out;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        out.error = "cannot read the words file " + path;
        return out;
    }
    std::string bytes;
    bytes.resize(kWordsFileLimit + 1);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (bytes.size() > kWordsFileLimit) {
        out.error =
            "the words file " + path + " is longer than " + std::to_string(kWordsFileLimit / 1024) + " KiB";
        return out;
    }
    return parseWords(bytes);
}

} // namespace harmolin
