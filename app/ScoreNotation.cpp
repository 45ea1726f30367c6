#include "app/ScoreNotation.h"

#include "base/TextCodec.h"
#include "lyrics/WordTable.h"
#include "midi/MidiTrackEdit.h"
#include "midi/XfData.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>

namespace harmolin {

namespace {

constexpr int kBeat = kScoreDivision;
// Straight values go down to thirty-seconds, triplets down to sixteenths.
constexpr int kStraightGrid = kBeat / 8;
constexpr int kTripletGrid = kBeat / 6;
constexpr int kDrumChannel = 9;
// Ten times the longest song the composer writes.
constexpr std::size_t kMaxMeasures = 2000;
// Far past any song; the measure limit refuses what reaches it.
constexpr long long kFarTick = std::numeric_limits<int>::max() / 4;

struct Timed {
    int start;
    int end;
    int pitch;
    std::string lyric; // code page 932
};

struct Meter {
    int tick;
    int numerator;
    int denominator;
};

// ---- words ------------------------------------------------------------------

struct Word {
    std::string display;
    std::string reading; // two bytes a syllable
};

const std::vector<Word>& vocabulary() {
    static const std::vector<Word> words = [] {
        std::vector<Word> w;
        for (const LyricWord& row : kWordTable)
            if (row.reading && row.display && *row.reading && std::string(row.reading).size() % 2 == 0)
                w.push_back({row.display, row.reading});
        // A phrase the writer could not fill is sung on "あ" and shown "あ～".
        w.push_back({"\x82\xa0\x81\x60", "\x82\xa0"});
        return w;
    }();
    return words;
}

bool readingAt(const Word& w, const std::vector<std::string>& syllables, std::size_t at) {
    const std::size_t count = w.reading.size() / 2;
    if (at + count > syllables.size()) return false;
    for (std::size_t i = 0; i < count; ++i)
        if (w.reading.compare(2 * i, 2, syllables[at + i]) != 0) return false;
    return true;
}

// Word lengths (in syllables) that spell `line` from syllable `at` on; false
// when none do within the search budget.
bool matchLine(const std::string& line, std::size_t pos, const std::vector<std::string>& syllables,
               std::size_t at, std::vector<int>& lengths, int& budget) {
    if (pos == line.size()) return true;
    if (--budget < 0) return false;
    for (const Word& w : vocabulary()) {
        if (line.compare(pos, w.display.size(), w.display) != 0 || !readingAt(w, syllables, at)) continue;
        const int count = static_cast<int>(w.reading.size() / 2);
        lengths.push_back(count);
        if (matchLine(line, pos + w.display.size(), syllables, at + static_cast<std::size_t>(count), lengths,
                      budget))
            return true;
        lengths.pop_back();
    }
    return false;
}

// Fewest words that read as the syllables; a syllable no word covers
// stands alone and costs more than any word.
std::vector<int> wordsFromSyllables(const std::vector<std::string>& syllables) {
    const std::size_t n = syllables.size();
    constexpr int kLoose = 3;
    std::vector<int> cost(n + 1, std::numeric_limits<int>::max());
    std::vector<int> step(n + 1, 1);
    cost[0] = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (cost[i] == std::numeric_limits<int>::max()) continue;
        if (cost[i] + kLoose < cost[i + 1]) {
            cost[i + 1] = cost[i] + kLoose;
            step[i + 1] = 1;
        }
        for (const Word& w : vocabulary()) {
            if (!readingAt(w, syllables, i)) continue;
            const std::size_t end = i + w.reading.size() / 2;
            if (cost[i] + 1 < cost[end]) {
                cost[end] = cost[i] + 1;
                step[end] = static_cast<int>(end - i);
            }
        }
    }
    std::vector<int> lengths;
    for (std::size_t at = n; at > 0; at -= static_cast<std::size_t>(step[at]))
        lengths.push_back(step[at]);
    std::reverse(lengths.begin(), lengths.end());
    return lengths;
}

struct WordSplit {
    std::vector<Syllabic> syllabic;
    std::vector<std::size_t> lineStarts; // syllable index of each line; empty when lines were not used
};

WordSplit splitWords(const std::vector<std::string>& syllables, const std::vector<std::string>& lines) {
    WordSplit split;
    std::vector<int> lengths;
    std::size_t at = 0;
    for (const std::string& line : lines) {
        split.lineStarts.push_back(at);
        int budget = 20000;
        std::vector<int> words;
        if (!matchLine(line, 0, syllables, at, words, budget)) {
            lengths.clear();
            split.lineStarts.clear();
            break;
        }
        for (int k : words)
            at += static_cast<std::size_t>(k);
        lengths.insert(lengths.end(), words.begin(), words.end());
    }
    if (!split.lineStarts.empty() && at != syllables.size()) split.lineStarts.clear();
    if (split.lineStarts.empty()) lengths = wordsFromSyllables(syllables);
    for (int k : lengths)
        for (int i = 0; i < k; ++i)
            split.syllabic.push_back(k == 1       ? Syllabic::Single
                                     : i == 0     ? Syllabic::Begin
                                     : i == k - 1 ? Syllabic::End
                                                  : Syllabic::Middle);
    split.syllabic.resize(syllables.size(), Syllabic::Single);
    return split;
}

// ---- grid -------------------------------------------------------------------

int snapTo(int tick, int base, int grid) {
    const int rel = tick - base;
    const int q = rel >= 0 ? (rel + grid / 2) / grid : -((-rel + grid / 2) / grid);
    return base + q * grid;
}

class Grid {
  public:
    explicit Grid(const std::vector<ScoreMeasure>& measures) : measures_(measures) {}

    // Beats whose notes fall on thirds of the beat more closely than on
    // eighths of it are written as triplets.
    void chooseTriplets(const std::vector<Timed>& notes) {
        std::map<int, std::vector<int>> points; // beat start -> ticks inside it
        for (const Timed& n : notes)
            for (int t : {n.start, n.end})
                if (const auto beat = fullBeatOf(t); beat && t != *beat) points[*beat].push_back(t);
        for (const auto& [beat, ticks] : points) {
            long straight = 0, triplet = 0;
            for (int t : ticks) {
                straight += std::abs(t - snapTo(t, beat, kStraightGrid));
                triplet += std::abs(t - snapTo(t, beat, kTripletGrid));
            }
            if (triplet < straight) triplets_.push_back(beat);
        }
    }

    bool isTripletBeat(int beatStart) const {
        return std::binary_search(triplets_.begin(), triplets_.end(), beatStart);
    }

    // Two triplet beats on a half bar whose notes, placed, keep to thirds of
    // a beat and cross the middle beat without stopping there (quarter-note
    // triplets) make one group of three in the time of a half note.
    void joinHalfNoteTriplets(const std::vector<int>& placedPoints) {
        for (int beat : triplets_) {
            const ScoreMeasure* m = measureOf(beat);
            if (!m || (beat - m->start) % (2 * kBeat) != 0 || !isTripletBeat(beat + kBeat) ||
                fullBeatOf(beat + kBeat) != beat + kBeat)
                continue;
            auto from = std::upper_bound(placedPoints.begin(), placedPoints.end(), beat);
            auto to = std::lower_bound(placedPoints.begin(), placedPoints.end(), beat + 2 * kBeat);
            const bool thirds = std::all_of(from, to, [&](int t) { return (t - beat) % (kBeat / 3) == 0; });
            const bool crosses = !std::binary_search(from, to, beat + kBeat);
            if (thirds && crosses) halves_.push_back(beat);
        }
    }

    // The triplet group holding tick: its start and length.
    std::optional<std::pair<int, int>> tripletGroupOf(int tick) const {
        const auto beat = fullBeatOf(tick);
        if (!beat || !isTripletBeat(*beat)) return std::nullopt;
        for (int start : {*beat, *beat - kBeat})
            if (std::binary_search(halves_.begin(), halves_.end(), start)) return std::pair{start, 2 * kBeat};
        return std::pair{*beat, kBeat};
    }

    // Where triplet groups begin and end.
    std::vector<int> tripletEdges() const {
        std::vector<int> edges;
        for (int beat : triplets_) {
            if (const auto group = tripletGroupOf(beat); group && group->first == beat)
                edges.insert(edges.end(), {beat, beat + group->second});
        }
        return edges;
    }

    int snap(int tick) const {
        const auto beat = fullBeatOf(tick);
        if (beat && isTripletBeat(*beat)) return snapTo(tick, *beat, kTripletGrid);
        const ScoreMeasure* m = measureOf(tick);
        return snapTo(tick, m ? m->start : 0, kStraightGrid);
    }

    int step(int tick) const {
        const auto beat = fullBeatOf(tick);
        return beat && isTripletBeat(*beat) ? kTripletGrid : kStraightGrid;
    }

    // Index of the measure holding tick, -1 past the last.
    int indexOf(int tick) const {
        auto it = std::upper_bound(measures_.begin(), measures_.end(), tick,
                                   [](int t, const ScoreMeasure& m) { return t < m.start; });
        if (it == measures_.begin()) return -1;
        --it;
        return tick < it->start + it->length ? static_cast<int>(it - measures_.begin()) : -1;
    }
    const ScoreMeasure* measureOf(int tick) const {
        const int i = indexOf(tick);
        return i < 0 ? nullptr : &measures_[static_cast<std::size_t>(i)];
    }

    // Start of the whole beat holding tick, if the measure has one there.
    std::optional<int> fullBeatOf(int tick) const {
        const ScoreMeasure* m = measureOf(tick);
        if (!m) return std::nullopt;
        const int beat = m->start + (tick - m->start) / kBeat * kBeat;
        if (beat + kBeat > m->start + m->length) return std::nullopt;
        return beat;
    }

  private:
    const std::vector<ScoreMeasure>& measures_;
    std::vector<int> triplets_; // sorted
    std::vector<int> halves_;   // sorted starts of half-note triplet groups
};

// ---- printed values ------------------------------------------------------------

struct Value {
    int ticks;
    int printed;
    int dots;
};

constexpr std::array<Value, 10> kStraightValues = {{{1920, 1920, 0},
                                                    {1440, 960, 1},
                                                    {960, 960, 0},
                                                    {720, 480, 1},
                                                    {480, 480, 0},
                                                    {360, 240, 1},
                                                    {240, 240, 0},
                                                    {180, 120, 1},
                                                    {120, 120, 0},
                                                    {60, 60, 0}}};
constexpr std::array<Value, 4> kTripletValues = {{{640, 960, 0}, {320, 480, 0}, {160, 240, 0}, {80, 120, 0}}};

template <std::size_t N> Value largestWithin(const std::array<Value, N>& values, int span) {
    for (const Value& v : values)
        if (v.ticks <= span) return v;
    // Only a meter finer than the grid leaves this: written as the smallest value.
    return {span, values.back().printed, 0};
}

// ---- chords -----------------------------------------------------------------------

struct ChordShape {
    const char* kind;
    std::vector<int> tones;
};

const std::vector<ChordShape>& chordShapes() {
    static const std::vector<ChordShape> shapes = {
        {"major", {0, 4, 7}},
        {"minor", {0, 3, 7}},
        {"dominant", {0, 4, 7, 10}},
        {"major-seventh", {0, 4, 7, 11}},
        {"minor-seventh", {0, 3, 7, 10}},
        {"diminished", {0, 3, 6}},
        {"augmented", {0, 4, 8}},
        {"suspended-fourth", {0, 5, 7}},
        {"half-diminished", {0, 3, 6, 10}},
        {"major-sixth", {0, 4, 7, 9}},
        {"minor-sixth", {0, 3, 7, 9}},
    };
    return shapes;
}

} // namespace

std::vector<Syllabic> syllabicOf(const std::vector<std::string>& syllables,
                                 const std::vector<std::string>& lines) {
    return splitWords(syllables, lines).syllabic;
}

std::optional<ScoreChord> recogniseChord(const double (&weights)[12], int lowest) {
    double total = 0;
    for (double w : weights)
        total += std::max(w, 0.0);
    if (total <= 0) return std::nullopt;
    double best = 0.3; // at least a clear majority of the sound in the chord
    std::optional<ScoreChord> found;
    for (int root = 0; root < 12; ++root) {
        if (weights[root] <= 0) continue;
        for (const ChordShape& shape : chordShapes()) {
            double inside = 0;
            int missing = 0;
            for (int tone : shape.tones) {
                const double w = weights[(root + tone) % 12] / total;
                inside += w;
                if (w <= 0) ++missing;
            }
            // A missing third or fifth makes the shape a guess; more tones
            // than sound are not claimed.
            double score =
                inside - (1.0 - inside) - 0.2 * missing - 0.02 * static_cast<double>(shape.tones.size());
            if (lowest >= 0 && lowest % 12 == root) score += 0.1;
            if (score > best) {
                best = score;
                ScoreChord chord;
                chord.root = root;
                chord.kind = shape.kind;
                chord.bass = root;
                if (lowest >= 0) {
                    const int bass = lowest % 12;
                    for (int tone : shape.tones)
                        if ((root + tone) % 12 == bass) chord.bass = bass;
                }
                found = chord;
            }
        }
    }
    return found;
}

std::optional<Score> buildScore(const CXfData& song, const ScoreOptions& options, std::string& error) {
    const MidiTrackData& track = song.track();
    const int division = song.division();
    if (track.state() != TrackState::Connected || division <= 0 || division >= 0x8000) {
        error = "the song holds no readable track";
        return std::nullopt;
    }
    auto scaled = [division](long long tick) {
        return static_cast<int>(std::min((tick * kScoreDivision + division / 2) / division, kFarTick));
    };

    std::vector<Timed> notes, accompaniment;
    std::vector<Meter> meters;
    std::vector<std::pair<int, std::pair<int, bool>>> keys;
    std::vector<std::pair<int, double>> tempos;
    const std::vector<int> times = absoluteTimes(track);
    for (int i = 0; i < track.count(); ++i) {
        const MusicEvent& e = track.event(i);
        const int at = scaled(times[static_cast<std::size_t>(i)]);
        if (e.kind == kConnectedNote && e.velocity > 0 && e.length > 0) {
            const Timed n{at,
                          scaled(static_cast<long long>(times[static_cast<std::size_t>(i)]) + e.length),
                          e.note,
                          {}};
            if (e.channel == options.melodyChannel)
                notes.push_back(n);
            else if (e.channel != kDrumChannel && e.channel != kNoChannel)
                accompaniment.push_back(n);
        } else if (e.isMeta(kMetaTimeSignature) && e.value > 0) {
            const int numerator = e.value / 256, denominator = e.value % 256;
            if (numerator > 0 && denominator > 0) meters.push_back({at, numerator, denominator});
        } else if (e.isMeta(kMetaKeySignature) && e.data.size() >= 2) {
            const int fifths = static_cast<std::int8_t>(e.data[0]);
            if (fifths >= -7 && fifths <= 7) keys.push_back({at, {fifths, e.data[1] == 1}});
        } else if (e.isMeta(kMetaTempo) && e.value > 0) {
            tempos.push_back({at, 60000000.0 / e.value});
        }
    }
    if (notes.empty()) {
        error = "the song has no melody on channel " + std::to_string(options.melodyChannel + 1);
        return std::nullopt;
    }
    // Of notes starting together the highest is the melody, as preparation keeps it.
    std::stable_sort(notes.begin(), notes.end(), [](const Timed& a, const Timed& b) {
        return a.start != b.start ? a.start < b.start : a.pitch > b.pitch;
    });

    // One lyric per note, at the note's start.
    std::map<int, std::string> lyricAt;
    const MidiTrackData& karaoke = song.karaokeTrack();
    const std::vector<int> lyricTimes = absoluteTimes(karaoke);
    for (int i = 0; i < karaoke.count(); ++i) {
        const MusicEvent& e = karaoke.event(i);
        if (!e.isMeta(kMetaLyric)) continue;
        // XF page and line marks are no part of the sung text.
        std::string text = e.text();
        if (!text.empty() && (text[0] == '<' || text[0] == '>' || text[0] == '/')) text.erase(0, 1);
        if (!text.empty() && text.back() == '/') text.pop_back();
        if (!text.empty()) lyricAt.emplace(scaled(lyricTimes[static_cast<std::size_t>(i)]), text);
    }

    Score score;
    score.melodyNotes = static_cast<int>(notes.size());

    // Measures far enough to hold the melody after snapping.
    int rawEnd = 0;
    for (const Timed& n : notes)
        rawEnd = std::max(rawEnd, n.end);
    std::stable_sort(meters.begin(), meters.end(),
                     [](const Meter& a, const Meter& b) { return a.tick < b.tick; });
    {
        Meter current{0, 4, 4};
        std::optional<std::pair<int, int>> printed;
        std::size_t next = 0;
        for (int at = 0; at < rawEnd + kBeat;) {
            while (next < meters.size() && meters[next].tick <= at)
                current = meters[next++];
            ScoreMeasure m;
            m.start = at;
            m.length = current.numerator * 4 * kBeat / current.denominator;
            if (m.length <= 0) m.length = 4 * kBeat;
            const std::pair<int, int> time{current.numerator, current.denominator};
            if (printed != time) m.time = time;
            printed = time;
            score.measures.push_back(std::move(m));
            at += score.measures.back().length;
            if (score.measures.size() > kMaxMeasures) {
                error =
                    "the song is too long for a score (more than " + std::to_string(kMaxMeasures) + " bars)";
                return std::nullopt;
            }
        }
    }

    Grid grid(score.measures);
    grid.chooseTriplets(notes);
    std::vector<Timed> placed;
    for (Timed n : notes) {
        const auto lyric = lyricAt.find(n.start);
        if (lyric != lyricAt.end()) n.lyric = lyric->second;
        n.start = grid.snap(n.start);
        n.end = std::max(grid.snap(n.end), n.start + grid.step(n.start));
        if (!placed.empty() && n.start <= placed.back().start) {
            // Closer than the grid can show: the earlier note keeps the place.
            ++score.droppedNotes;
            continue;
        }
        if (!placed.empty()) placed.back().end = std::min(placed.back().end, n.start);
        placed.push_back(std::move(n));
    }
    const int scoreEnd = placed.back().end;
    while (score.measures.size() > 1 && score.measures.back().start >= scoreEnd)
        score.measures.pop_back();

    // Words of the sung syllables, and where each lyric line starts.
    std::vector<std::string> syllables;
    for (const Timed& n : placed)
        if (!n.lyric.empty()) syllables.push_back(n.lyric);
    score.lyricCount = static_cast<int>(syllables.size());
    const WordSplit words = splitWords(syllables, options.lines);
    score.linesMatched = !words.lineStarts.empty();

    // Key and tempo changes go to the measure that holds them.
    for (const auto& [tick, key] : keys) {
        const int i = grid.indexOf(tick);
        (i < 0 ? score.measures.back() : score.measures[static_cast<std::size_t>(i)]).key = key;
    }
    if (!score.measures.front().key) score.measures.front().key = std::pair<int, bool>{0, false};
    {
        std::optional<std::pair<int, bool>> current;
        for (ScoreMeasure& m : score.measures) {
            if (m.key && m.key == current) m.key.reset();
            if (m.key) current = m.key;
        }
    }
    double lastBpm = -1;
    if (tempos.empty() || tempos.front().first > 0) tempos.insert(tempos.begin(), {0, 120.0});
    for (const auto& [tick, bpm] : tempos) {
        if (std::fabs(bpm - lastBpm) < 0.005) continue;
        const int i = grid.indexOf(tick);
        if (i < 0) continue;
        lastBpm = bpm;
        ScoreMeasure& m = score.measures[static_cast<std::size_t>(i)];
        m.tempos.push_back({tick - m.start, std::round(bpm * 100) / 100});
    }

    if (options.withChords && !accompaniment.empty()) {
        std::optional<ScoreChord> previous;
        for (ScoreMeasure& m : score.measures) {
            // Half bars in even meters of whole beats, whole bars otherwise.
            const bool halves = m.length % (2 * kBeat) == 0 && m.length > 2 * kBeat;
            const int window = halves ? m.length / 2 : m.length;
            for (int from = m.start; from < m.start + m.length; from += window) {
                double weights[12] = {};
                int lowest = -1;
                for (const Timed& n : accompaniment) {
                    const int overlap = std::min(n.end, from + window) - std::max(n.start, from);
                    if (overlap <= 0) continue;
                    weights[n.pitch % 12] += overlap;
                    if (overlap * 4 >= window && (lowest < 0 || n.pitch < lowest)) lowest = n.pitch;
                }
                auto chord = recogniseChord(weights, lowest);
                if (!chord) continue;
                if (previous && previous->root == chord->root && previous->kind == chord->kind &&
                    previous->bass == chord->bass)
                    continue;
                chord->offset = from - m.start;
                previous = chord;
                m.chords.push_back(*chord);
            }
        }
    }

    // The timeline as spans of notes and rests, cut at bar lines and at the
    // edges of triplet beats, then written as printed values.
    struct Span {
        int start;
        int end;
        int note; // index into placed, -1 for a rest
    };
    std::vector<Span> spans;
    int cursor = 0;
    for (std::size_t i = 0; i < placed.size(); ++i) {
        if (placed[i].start > cursor) spans.push_back({cursor, placed[i].start, -1});
        spans.push_back({placed[i].start, placed[i].end, static_cast<int>(i)});
        cursor = placed[i].end;
    }
    const int lastBar = score.measures.back().start + score.measures.back().length;
    if (cursor < lastBar) spans.push_back({cursor, lastBar, -1});

    std::vector<int> cuts;
    for (const ScoreMeasure& m : score.measures)
        cuts.push_back(m.start);
    {
        std::vector<int> points;
        for (const Timed& n : placed)
            points.insert(points.end(), {n.start, n.end});
        std::sort(points.begin(), points.end());
        grid.joinHalfNoteTriplets(points);
    }
    const std::vector<int> edges = grid.tripletEdges();
    cuts.insert(cuts.end(), edges.begin(), edges.end());
    std::sort(cuts.begin(), cuts.end());

    std::vector<std::size_t> syllableOfNote(placed.size(), static_cast<std::size_t>(-1));
    for (std::size_t i = 0, s = 0; i < placed.size(); ++i)
        if (!placed[i].lyric.empty()) syllableOfNote[i] = s++;
    std::size_t nextLine = 0;

    std::vector<bool> started(placed.size(), false);
    for (const Span& span : spans) {
        for (int at = span.start; at < span.end;) {
            auto cut = std::upper_bound(cuts.begin(), cuts.end(), at);
            const int pieceEnd = cut == cuts.end() ? span.end : std::min(span.end, *cut);
            const int index = grid.indexOf(at);
            if (index < 0) break;
            ScoreMeasure& m = score.measures[static_cast<std::size_t>(index)];
            const auto group = grid.tripletGroupOf(at);
            const bool triplet = group.has_value();
            for (int p = at; p < pieceEnd;) {
                Value v;
                if (triplet) {
                    v = largestWithin(kTripletValues, pieceEnd - p);
                } else {
                    // Off the beat, a value ends at the next beat.
                    const int rel = p - m.start;
                    const int limit =
                        rel % kBeat == 0 ? pieceEnd : std::min(pieceEnd, m.start + (rel / kBeat + 1) * kBeat);
                    v = largestWithin(kStraightValues, limit - p);
                }
                ScoreNote note;
                note.rest = span.note < 0;
                note.duration = v.ticks;
                note.printed = v.printed;
                note.dots = v.dots;
                note.triplet = triplet;
                note.tupletStart = triplet && p == group->first;
                note.tupletStop = triplet && p + v.ticks == group->first + group->second;
                if (!note.rest) {
                    const auto i = static_cast<std::size_t>(span.note);
                    const Timed& n = placed[i];
                    note.pitch = n.pitch;
                    note.tieStop = started[i];
                    note.tieStart = p + v.ticks < n.end;
                    if (!started[i] && syllableOfNote[i] != static_cast<std::size_t>(-1)) {
                        const std::size_t s = syllableOfNote[i];
                        note.lyric = cp932ToUtf8(n.lyric);
                        note.syllabic = words.syllabic[s];
                        if (nextLine < words.lineStarts.size() && words.lineStarts[nextLine] == s) {
                            note.lineText = cp932ToUtf8(options.lines[nextLine]);
                            ++nextLine;
                        }
                    }
                    started[i] = true;
                }
                m.notes.push_back(std::move(note));
                p += v.ticks;
            }
            at = pieceEnd;
        }
    }

    for (ScoreMeasure& m : score.measures) {
        const bool silent =
            std::all_of(m.notes.begin(), m.notes.end(), [](const ScoreNote& n) { return n.rest; });
        if (!silent) continue;
        ScoreNote rest;
        rest.rest = true;
        rest.wholeMeasureRest = true;
        rest.duration = m.length;
        m.notes.assign(1, rest);
    }
    return score;
}

} // namespace harmolin
