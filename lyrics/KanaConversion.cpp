#include "lyrics/KanaConversion.h"

#include "lyrics/ListFiles.h"
#include "lyrics/PhonemeTable.h"
#include "midi/ErrorReport.h"
#include "midi/TextCodec.h"

#include <algorithm>
#include <map>
#include <sys/stat.h>
#include <unordered_map>

namespace harmolin {
namespace {

std::string sj(const char* utf8) {
    return utf8ToCp932(utf8).value_or(std::string());
}

bool isLead(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// A CP932 text cut into characters (one or two bytes each).
std::vector<std::string> chars(const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t w = isLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
        out.push_back(text.substr(i, w));
        i += w;
    }
    return out;
}

bool isAsciiLetter(const std::string& c) {
    return c.size() == 1 && std::isalpha(static_cast<unsigned char>(c[0]));
}

struct Tables {
    std::string space = sj("　"), longMark = sj("ー"), smallTsu = sj("っ"), smallTsuKata = sj("ッ");
    std::string intro = sj("イントロ"), ending = sj("エンディング"), a = sj("あ"), u = sj("う");
    std::map<std::string, std::string> kataToHira;
    std::map<std::string, std::string> vowel;
    std::string digits[10];
    std::string wideDigits[10];
    Tables() {
        const char* kata =
            "アイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワヰヱヲン"
            "ガギグゲゴザジズゼゾダヂヅデドバビブベボパピプペポァィゥェォャュョッ";
        const char* hira =
            "あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよらりるれろわゐゑをん"
            "がぎぐげござじずぜぞだぢづでどばびぶべぼぱぴぷぺぽぁぃぅぇぉゃゅょっ";
        const auto k = chars(sj(kata)), h = chars(sj(hira));
        for (std::size_t i = 0; i < k.size() && i < h.size(); ++i)
            kataToHira[k[i]] = h[i];
        const char* rows[5] = {"あかさたなはまやらわがざだばぱぁゃ", "いきしちにひみりゐぎじぢびぴぃ",
                               "うくすつぬふむゆるぐずづぶぷぅゅっ", "えけせてねへめれゑげぜでべぺぇ",
                               "おこそとのほもよろをごぞどぼぽぉょ"};
        const char* vowels[5] = {"あ", "い", "う", "え", "お"};
        for (int v = 0; v < 5; ++v)
            for (const auto& c : chars(sj(rows[v])))
                vowel[c] = sj(vowels[v]);
        const char* readings[10] = {"ぜろ", "いち", "に", "さん", "し", "ご", "ろく", "なな", "はち", "く"};
        const auto wide = chars(sj("０１２３４５６７８９"));
        for (int d = 0; d < 10; ++d) {
            digits[d] = sj(readings[d]);
            wideDigits[d] = wide[static_cast<std::size_t>(d)];
        }
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

struct Lyric {
    int time;
    std::string text;
};

struct Note {
    int time;
    int note;
    int length;
};

// The lyric events of a song, in track order, with their absolute times.
class LyricList {
  public:
    std::vector<Lyric> items;

    // Indices of the events at exactly time t, in order.
    std::vector<int> at(int t) const {
        std::vector<int> out;
        for (int i = 0; i < static_cast<int>(items.size()); ++i)
            if (items[static_cast<std::size_t>(i)].time == t) out.push_back(i);
        return out;
    }
    // The last event before time t; -1 when none.
    int before(int t) const {
        int found = -1;
        for (int i = 0; i < static_cast<int>(items.size()); ++i)
            if (items[static_cast<std::size_t>(i)].time < t) found = i;
        return found;
    }
    void insert(int t, std::string text) {
        auto it = std::upper_bound(items.begin(), items.end(), t,
                                   [](int time, const Lyric& l) { return time < l.time; });
        items.insert(it, Lyric{t, std::move(text)});
    }
};

// Where a note's lyric is: the event and the byte its text starts at.
struct LyricRef {
    int index = -1;
    std::size_t offset = 0;
};

class Converter {
  public:
    Converter(CXfData& song, int channel, const SingingOptions& options)
        : song_(song), channel_(channel), options_(options) {}

    std::vector<SyllableRecord> run(const std::string& kanjiPath, const std::string& englishPath);

  private:
    void readLyrics();
    void writeLyrics();
    void readNotes();
    void beep(int hz, int ms) {
        if (options_.beep) options_.beep(hz, ms);
    }
    LyricRef lyricAt(int t, bool beepOnMark);
    std::string lyricTextAt(int t, bool beepOnMark);
    void forEachText(const std::function<std::string(const std::string&)>& f) {
        for (auto& l : lyrics_.items)
            l.text = f(l.text);
    }
    void removeBrackets();
    void removeSpaces();
    void readDigits();
    void applyKanjiList(const ListFile& list);
    void spellKanji(const ListFile& list, const std::unordered_map<std::string, int>& lastRow,
                    const LyricRef& ref);
    void splitOverNotes();
    void smallTsu();
    void readThroughService();
    void applyEnglish(const ListFile& list);
    std::vector<SyllableRecord> syllables();

    CXfData& song_;
    int channel_;
    const SingingOptions& options_;
    LyricList lyrics_;
    std::vector<Note> notes_;
    int endOfTrack_ = 0;
};

void Converter::readLyrics() {
    const MidiTrackData& k = song_.karaokeTrack();
    const std::vector<int> times = k.absoluteTimes();
    for (int i = 0; i < k.count(); ++i)
        if (k.event(i).isMeta(kMetaLyric))
            lyrics_.items.push_back({times[static_cast<std::size_t>(i)], k.event(i).text()});
    std::stable_sort(lyrics_.items.begin(), lyrics_.items.end(),
                     [](const Lyric& a, const Lyric& b) { return a.time < b.time; });
}

// Puts the normalised lyrics back into the lyric track, keeping its other
// events where they were and its end last.
void Converter::writeLyrics() {
    MidiTrackData& k = song_.karaokeTrack();
    if (k.state() != TrackState::NoteOnOff && k.state() != TrackState::Empty) return;
    const std::vector<int> times = k.absoluteTimes();
    struct Timed {
        int time;
        MusicEvent event;
    };
    std::vector<Timed> others;
    int end = 0;
    bool hasEnd = false;
    for (int i = 0; i < k.count(); ++i) {
        const MusicEvent& e = k.event(i);
        if (e.isMeta(kMetaLyric)) continue;
        if (e.isEndOfTrack()) {
            end = std::max(end, times[static_cast<std::size_t>(i)]);
            hasEnd = true;
            continue;
        }
        others.push_back({times[static_cast<std::size_t>(i)], e});
    }
    std::vector<Timed> merged;
    std::size_t o = 0;
    for (const Lyric& l : lyrics_.items) {
        while (o < others.size() && others[o].time <= l.time)
            merged.push_back(others[o++]);
        merged.push_back({l.time, makeTextMeta(0, kMetaLyric, l.text)});
    }
    while (o < others.size())
        merged.push_back(others[o++]);
    k.clear();
    int last = 0;
    for (auto& m : merged) {
        m.event.delta = m.time - last;
        last = m.time;
        k.events().push_back(std::move(m.event));
    }
    if (hasEnd) k.events().push_back(makeEndOfTrack(std::max(0, end - last)));
    if (k.state() == TrackState::Empty) k.setState(TrackState::NoteOnOff);
}

void Converter::readNotes() {
    const MidiTrackData& t = song_.track();
    const std::vector<int> times = t.absoluteTimes();
    int lastTime = 0;
    bool sawEnd = false;
    for (int i = 0; i < t.count(); ++i) {
        const MusicEvent& e = t.event(i);
        const int at = times[static_cast<std::size_t>(i)];
        lastTime = std::max(lastTime, at);
        if (e.isEndOfTrack()) {
            endOfTrack_ = at;
            sawEnd = true;
        }
        if (e.channel != channel_) continue;
        if (e.kind == kConnectedNote) {
            notes_.push_back({at, e.note, e.length});
        } else if (e.isNoteOn()) {
            int length = 0;
            for (int j = i + 1; j < t.count(); ++j) {
                const MusicEvent& off = t.event(j);
                if (off.channel == channel_ && off.note == e.note && (off.isNoteOff() || off.isNoteOn())) {
                    length = times[static_cast<std::size_t>(j)] - at;
                    break;
                }
            }
            notes_.push_back({at, e.note, length});
        }
    }
    if (!sawEnd) {
        endOfTrack_ = lastTime;
        for (const Note& n : notes_)
            endOfTrack_ = std::max(endOfTrack_, n.time + n.length);
    }
}

// The lyric sung at time t: the first text there that is not a mark.
LyricRef Converter::lyricAt(int t, bool beepOnMark) {
    const Tables& tb = tables();
    bool first = true;
    for (int i : lyrics_.at(t)) {
        const std::string& text = lyrics_.items[static_cast<std::size_t>(i)].text;
        const bool wasFirst = first;
        first = false;
        if (text == tb.intro || text == tb.ending) continue;
        if (text == "/") {
            if (wasFirst && beepOnMark) beep(1000, 200);
            continue;
        }
        std::size_t offset = 0;
        // Page and line marks lead the first syllable of their line; the
        // syllable after a line mark is still sung.
        if (!text.empty() && (text[0] == '<' || text[0] == '>' || text[0] == '/')) offset = 1;
        const std::string rest = text.substr(offset);
        if (rest.empty() || rest[0] == '/' || rest == tb.intro || rest == tb.ending) return {};
        return {i, offset};
    }
    return {};
}

std::string Converter::lyricTextAt(int t, bool beepOnMark) {
    const LyricRef ref = lyricAt(t, beepOnMark);
    if (ref.index < 0) return {};
    std::string out;
    for (const auto& c : chars(lyrics_.items[static_cast<std::size_t>(ref.index)].text.substr(ref.offset)))
        if (c != " " && c != tables().space) out += c;
    return out;
}

// 字[じ] keeps only the reading: "[" takes the character before it along.
void Converter::removeBrackets() {
    forEachText([](const std::string& text) {
        std::vector<std::string> out;
        for (const auto& c : chars(text)) {
            if (c == "[") {
                if (!out.empty()) out.pop_back();
            } else if (c != "]") {
                out.push_back(c);
            }
        }
        std::string s;
        for (const auto& c : out)
            s += c;
        return s;
    });
}

void Converter::removeSpaces() {
    const Tables& tb = tables();
    forEachText([&](const std::string& text) {
        std::string s;
        for (const auto& c : chars(text))
            if (c != " " && c != tb.space && c != "<") s += c;
        return s;
    });
}

void Converter::readDigits() {
    const Tables& tb = tables();
    forEachText([&](const std::string& text) {
        std::string s;
        for (const auto& c : chars(text)) {
            if (c.size() == 1 && c[0] >= '0' && c[0] <= '9') {
                s += tb.digits[c[0] - '0'];
                continue;
            }
            const auto* w = std::find(std::begin(tb.wideDigits), std::end(tb.wideDigits), c);
            s += w != std::end(tb.wideDigits) ? tb.digits[w - std::begin(tb.wideDigits)] : c;
        }
        return s;
    });
}

// Rows that may start a lookup are grouped by first character: a lookup
// starts at the group's last row.
std::unordered_map<std::string, int> lastRowOfGroups(const ListFile& list) {
    std::unordered_map<std::string, int> last;
    for (int i = 0; i < static_cast<int>(list.rows.size()); ++i) {
        const auto cs = chars(list.rows[static_cast<std::size_t>(i)][0]);
        if (!cs.empty() && cs[0].size() == 2) last[cs[0]] = i;
    }
    return last;
}

void Converter::applyKanjiList(const ListFile& list) {
    if (list.rows.empty()) return;
    const auto lastRow = lastRowOfGroups(list);
    for (const Note& n : notes_) {
        const LyricRef ref = lyricAt(n.time, false);
        if (ref.index >= 0) spellKanji(list, lastRow, ref);
    }
}

void Converter::spellKanji(const ListFile& list, const std::unordered_map<std::string, int>& lastRow,
                           const LyricRef& ref) {
    constexpr int kMaxCollected = 512;
    const auto head = chars(lyrics_.items[static_cast<std::size_t>(ref.index)].text.substr(ref.offset));
    if (head.empty() || head[0].size() != 2) return;
    const auto found = lastRow.find(head[0]);
    if (found == lastRow.end()) return;
    std::vector<int> rows;
    std::size_t longest = 0;
    for (int r = found->second; r >= 0; --r) {
        const std::string& written = list.rows[static_cast<std::size_t>(r)][0];
        if (written.compare(0, head[0].size(), head[0]) != 0) break;
        if (static_cast<int>(rows.size()) >= kMaxCollected) {
            beep(1000, 1000);
            break;
        }
        rows.push_back(r);
        longest = std::max(longest, written.size());
    }

    // The leading double-byte characters of this event and the next ones.
    struct Part {
        int index;
        std::size_t offset; // where its characters start in the text
        std::vector<std::string> cs;
    };
    std::vector<Part> parts;
    std::string joined;
    for (int i = ref.index; i < static_cast<int>(lyrics_.items.size()) && joined.size() < longest; ++i) {
        const std::size_t offset = i == ref.index ? ref.offset : 0;
        Part p{i, offset, {}};
        bool stop = false;
        for (const auto& c : chars(lyrics_.items[static_cast<std::size_t>(i)].text.substr(offset))) {
            if (c.size() != 2) {
                stop = true;
                break;
            }
            p.cs.push_back(c);
            joined += c;
        }
        parts.push_back(std::move(p));
        if (stop) break;
    }

    for (int r : rows) {
        const auto& row = list.rows[static_cast<std::size_t>(r)];
        if (joined.compare(0, row[0].size(), row[0]) != 0) continue;
        const auto w = chars(row[0]);
        const auto reading = chars(row[1]);
        if (reading.empty()) {
            reportMessage("KanjiToKanaFunc");
            return;
        }
        // Kana the written form and its reading share at either end stay put.
        std::size_t pre = 0;
        while (pre < w.size() && pre < reading.size() && w[pre] == reading[pre])
            ++pre;
        std::size_t suf = 0;
        while (suf + pre < w.size() && suf + pre < reading.size() &&
               w[w.size() - 1 - suf] == reading[reading.size() - 1 - suf])
            ++suf;
        if (pre == w.size() && pre == reading.size()) return; // nothing to read
        if (pre + suf == w.size()) { // the reading has more in the middle than the writing
            if (suf > 0)
                --suf;
            else if (pre > 0)
                --pre;
        }
        const int wMid = static_cast<int>(w.size() - pre - suf);
        const int rMid = static_cast<int>(reading.size() - pre - suf);

        // How many written middle characters each event holds.
        std::vector<int> held(parts.size(), 0);
        std::vector<int> used(parts.size(), 0);
        std::size_t k = 0;
        for (std::size_t p = 0; p < parts.size() && k < w.size(); ++p) {
            for (std::size_t c = 0; c < parts[p].cs.size() && k < w.size(); ++c, ++k) {
                ++used[p];
                if (k >= pre && k < pre + static_cast<std::size_t>(wMid)) ++held[p];
            }
        }
        if (k != w.size()) {
            reportMessage("GetLyricWord");
            return;
        }
        std::vector<int> give = held;
        std::size_t firstMid = 0;
        while (firstMid < held.size() && held[firstMid] == 0)
            ++firstMid;
        if (firstMid == held.size()) {
            reportMessage("KanjiToKanaFunc 2");
            return;
        }
        give[firstMid] += rMid - wMid;
        if (give[firstMid] < 0) {
            // A reading shorter than its writing: the later notes give way.
            reportMessage("word_first_assign_len");
            int debt = -give[firstMid];
            give[firstMid] = 0;
            for (std::size_t p = firstMid + 1; p < give.size() && debt > 0; ++p) {
                const int take = std::min(debt, give[p]);
                give[p] -= take;
                debt -= take;
            }
        }
        // Rewrite each spanned event: shared start, its share of the middle
        // reading, shared end, then whatever followed the word in it.
        std::size_t wi = 0, ri = pre;
        for (std::size_t p = 0; p < parts.size(); ++p) {
            if (used[p] == 0) continue;
            std::string middle;
            std::string front, back;
            bool midDone = false;
            for (int c = 0; c < used[p]; ++c, ++wi) {
                if (wi < pre) {
                    front += w[wi];
                } else if (wi < pre + static_cast<std::size_t>(wMid)) {
                    if (!midDone) {
                        for (int g = 0; g < give[p] && ri < pre + static_cast<std::size_t>(rMid); ++g)
                            middle += reading[ri++];
                        midDone = true;
                    }
                } else {
                    back += reading[reading.size() - (w.size() - wi)];
                }
            }
            Lyric& l = lyrics_.items[static_cast<std::size_t>(parts[p].index)];
            std::size_t usedBytes = 0;
            for (int c = 0; c < used[p]; ++c)
                usedBytes += parts[p].cs[static_cast<std::size_t>(c)].size();
            if (parts[p].offset + usedBytes > l.text.size()) {
                reportMessage("KanjiToKanaFunc 3");
                return;
            }
            l.text = l.text.substr(0, parts[p].offset) + front + middle + back +
                     l.text.substr(parts[p].offset + usedBytes);
        }
        if (ri != pre + static_cast<std::size_t>(rMid)) { // characters left over go to the last middle note
            reportMessage("KanjiToKanaFunc 3");
        }
        return;
    }
}

// A run of ASCII letters stays together: it is one English word, read later.
std::vector<std::string> singingUnits(const std::string& text) {
    std::vector<std::string> out;
    for (const auto& c : chars(text)) {
        if (isAsciiLetter(c) && !out.empty() && isAsciiLetter(out.back().substr(out.back().size() - 1)))
            out.back() += c;
        else
            out.push_back(c);
    }
    return out;
}

void Converter::splitOverNotes() {
    for (const Note& n : notes_) {
        if (!lyrics_.at(n.time).empty()) continue;
        int i = lyrics_.before(n.time);
        if (i >= 0 && lyrics_.items[static_cast<std::size_t>(i)].text == "/") --i;
        if (i < 0) continue;
        Lyric& l = lyrics_.items[static_cast<std::size_t>(i)];
        const auto units = singingUnits(l.text);
        if (units.size() < 2 || l.text == "/") continue;
        const std::string rest = l.text.substr(units[0].size());
        l.text = units[0];
        lyrics_.insert(n.time, rest);
    }
}

void Converter::smallTsu() {
    const Tables& tb = tables();
    forEachText([&](const std::string& text) {
        std::string s;
        std::string previous;
        for (const auto& c : chars(text)) {
            std::string out = c;
            if (c == tb.smallTsu || c == tb.smallTsuKata) {
                if (previous.empty()) {
                    out = tb.u;
                } else {
                    auto h = tb.kataToHira.find(previous);
                    const std::string& base = h != tb.kataToHira.end() ? h->second : previous;
                    auto v = tb.vowel.find(base);
                    out = v != tb.vowel.end() ? v->second : tb.u;
                }
            }
            s += out;
            previous = out;
        }
        return s;
    });
}

bool hasKanji(const std::string& text) {
    for (const auto& c : chars(text))
        if (c.size() == 2 && static_cast<unsigned char>(c[0]) >= 0x88) return true;
    return false;
}

void Converter::readThroughService() {
    // Texts without kanji read as themselves; the service is made only when
    // a text needs it.
    std::unique_ptr<MecabReading> own;
    ReadingService* service = options_.reading;
    for (auto& l : lyrics_.items) {
        if (l.text.empty() || !hasKanji(l.text)) continue;
        if (!service) {
            own = std::make_unique<MecabReading>();
            service = own.get();
        }
        if (auto r = service->reading(l.text)) l.text = *r;
    }
}

void Converter::applyEnglish(const ListFile& list) {
    std::unordered_map<std::string, std::string> words;
    for (const auto& row : list.rows)
        words[row[0]] = row[1];
    forEachText([&](const std::string& text) {
        std::string s;
        for (const auto& unit : singingUnits(text)) {
            if (!isAsciiLetter(unit.substr(0, 1))) {
                s += unit;
                continue;
            }
            std::string lower = unit;
            for (auto& ch : lower)
                ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            auto it = words.find(lower);
            s += it != words.end() ? it->second : lower;
        }
        return s;
    });
}

std::vector<SyllableRecord> Converter::syllables() {
    const Tables& tb = tables();
    std::vector<SyllableRecord> out;
    bool full = false;
    for (const Note& n : notes_) {
        std::vector<std::string> sung;
        for (const auto& c : chars(lyricTextAt(n.time, true))) {
            if (c == tb.longMark || c == "^" || c == "/") continue;
            auto h = tb.kataToHira.find(c);
            sung.push_back(h != tb.kataToHira.end() ? h->second : c);
        }
        const int k = static_cast<int>(sung.size());
        for (int i = 0; i < k; ++i) {
            if (static_cast<int>(out.size()) >= kMaxSyllables - 1) {
                full = true;
                break;
            }
            const int part = n.length / k;
            const PhonemeLookup p = kanaToPhonemes(sung[static_cast<std::size_t>(i)]);
            out.push_back({n.time + i * part, n.note, std::max(0, part - 1),
                           sung[static_cast<std::size_t>(i)], p.symbols, p.consonant});
        }
        if (full) break;
    }
    if (full)
        reportMessage("The song has more syllables than can be sung (" + std::to_string(kMaxSyllables - 1) +
                      "); the rest of the lyric is left out.");
    out.push_back({endOfTrack_, -1, 0, tb.a, "a", 64});
    return out;
}

std::vector<SyllableRecord> Converter::run(const std::string& kanjiPath, const std::string& englishPath) {
    if (song_.division() != kSingingDivision) reportMessage("分解能警告");
    readLyrics();
    readNotes();
    removeBrackets();
    removeSpaces();
    readDigits();
    applyKanjiList(loadListFile(kanjiPath));
    splitOverNotes();
    smallTsu();
    readThroughService();
    applyEnglish(loadListFile(englishPath));
    writeLyrics();
    return syllables();
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

} // namespace

std::string katakanaToHiragana(const std::string& cp932) {
    const Tables& tb = tables();
    std::string out;
    for (const auto& c : chars(cp932)) {
        auto h = tb.kataToHira.find(c);
        out += h != tb.kataToHira.end() ? h->second : c;
    }
    return out;
}

std::string listFilePath(const std::string& name, const std::string& workingFolder,
                         const std::string& dataFolder) {
    const std::string own = joinPath(workingFolder, name);
    if (!workingFolder.empty() && fileExists(own)) return own;
    return joinPath(dataFolder.empty() ? workingFolder : dataFolder, name);
}

std::vector<SyllableRecord> prepareSinging(CXfData& song, int melodyChannel, const std::string& workingFolder,
                                           const std::string& dataFolder, const SingingOptions& options) {
    Converter c(song, melodyChannel, options);
    return c.run(listFilePath("kanji.csv", workingFolder, dataFolder),
                 listFilePath("english.csv", workingFolder, dataFolder));
}

std::vector<SyllableRecord> prepareSinging(CXfData& song, int melodyChannel, const std::string& workingFolder,
                                           const std::string& dataFolder) {
    return prepareSinging(song, melodyChannel, workingFolder, dataFolder, SingingOptions{});
}

} // namespace harmolin
