#include "lyrics/KanaConversion.h"

#include "base/ErrorReport.h"
#include "base/Files.h"
#include "base/TextCodec.h"
#include "lyrics/ListFiles.h"
#include "lyrics/PhonemeTable.h"
#include "midi/MidiTrackEdit.h"

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unordered_map>

namespace harmolin {
namespace {

std::string sj(const char* utf8) {
    return utf8ToCp932(utf8).value_or(std::string());
}

// A CP932 text cut into characters (one or two bytes each).
std::vector<std::string> chars(const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t w =
            isCp932LeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
        out.push_back(text.substr(i, w));
        i += w;
    }
    return out;
}

bool isKanji(const std::string& c) {
    return c.size() == 2 && static_cast<unsigned char>(c[0]) >= 0x88;
}

bool isAsciiLetter(const std::string& c) {
    return c.size() == 1 && std::isalpha(static_cast<unsigned char>(c[0]));
}

struct Tables {
    std::string space = sj("　"), longMark = sj("ー"), smallTsu = sj("っ"), smallTsuKata = sj("ッ");
    std::string intro = sj("イントロ"), ending = sj("エンディング"), a = sj("あ"), u = sj("う");
    std::string i = sj("い"), e = sj("え"), o = sj("お"), n = sj("ん"), waveDash = sj("～");
    std::set<std::string> punctuation;
    std::map<std::string, std::string> kataToHira;
    std::map<std::string, std::string> vowel;
    std::map<int, std::string> halfWidth;
    std::map<std::string, std::string> voiced, semiVoiced;
    std::string vu = sj("ヴ");
    std::map<std::string, std::string> vuWith{{sj("ァ"), sj("バ")},
                                              {sj("ィ"), sj("ビ")},
                                              {sj("ェ"), sj("ベ")},
                                              {sj("ォ"), sj("ボ")},
                                              {sj("ュ"), sj("ビュ")}};
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
        // Kana with no hiragana of their own in code page 932 sing the sound
        // they stand for.
        for (const auto& c : chars(sj("、。，．・：；！？「」『』（）【】…‥♪☆★")))
            punctuation.insert(c);
        for (const char* c : {",", ".", "!", "?", "\"", "'", "(", ")", "-", ":", ";"})
            punctuation.insert(c);
        kataToHira[sj("ヴ")] = sj("ぶ");
        kataToHira[sj("ヵ")] = sj("か");
        kataToHira[sj("ヶ")] = sj("け");
        kataToHira[sj("ヮ")] = sj("わ");
        kataToHira[sj("ゎ")] = sj("わ");
        // Half-width katakana 0xA1 to 0xDD and their full-width forms; the
        // sound marks 0xDE and 0xDF join the kana before them.
        const auto full = chars(
            sj("。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホ"
               "マミムメモヤユヨラリルレロワン"));
        for (std::size_t i = 0; i < full.size(); ++i)
            halfWidth[0xA1 + i] = full[i];
        const auto plain = chars(sj("カキクケコサシスセソタチツテトハヒフヘホウ"));
        const auto voicedForms = chars(sj("ガギグゲゴザジズゼゾダヂヅデドバビブベボヴ"));
        for (std::size_t i = 0; i < plain.size(); ++i)
            voiced[plain[i]] = voicedForms[i];
        const auto half = chars(sj("ハヒフヘホ"));
        const auto halfForms = chars(sj("パピプペポ"));
        for (std::size_t i = 0; i < half.size(); ++i)
            semiVoiced[half[i]] = halfForms[i];
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

using ListRow = std::array<std::string, 2>;
using ListIndex = std::unordered_map<std::string, std::vector<const ListRow*>>;

class Converter {
  public:
    Converter(CXfData& song, int channel, const SingingOptions& options)
        : song_(song), channel_(channel), options_(options) {}

    std::vector<SyllableRecord> run(const std::string& ownKanjiPath, const std::string& kanjiPath,
                                    const std::string& englishPath);

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
    void widenHalfWidthKana();
    void removeBrackets();
    void removeSpaces();
    void readDigits();
    void applyKanjiList(const ListFile& list);
    void spellKanji(const ListFile& list, const std::unordered_map<std::string, int>& lastRow,
                    const LyricRef& ref);
    void splitOverNotes();
    void smallTsu();
    void readInContext(const std::vector<const ListIndex*>& lists);
    void readLine(const std::vector<LyricRef>& line, const std::vector<const ListIndex*>& lists);
    std::string isolatedReading(const std::string& kanji);
    void applyEnglish(const ListFile& list);
    std::vector<SyllableRecord> syllables();

    CXfData& song_;
    int channel_;
    const SingingOptions& options_;
    ReadingService* service_ = nullptr;
    std::unique_ptr<MecabReading> ownService_;
    std::map<std::string, std::string> isolated_;
    LyricList lyrics_;
    std::vector<Note> notes_;
    int endOfTrack_ = 0;
};

void Converter::readLyrics() {
    const MidiTrackData& k = song_.karaokeTrack();
    const std::vector<int> times = absoluteTimes(k);
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
    const std::vector<int> times = absoluteTimes(k);
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
    const std::vector<int> times = absoluteTimes(t);
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

// A number written with kanji numerals (1 to 99999999): 2 → 二, 10 → 十,
// 2026 → 二千二十六.
std::string kanjiNumber(long long value) {
    static const char* const ones[] = {"", "一", "二", "三", "四", "五", "六", "七", "八", "九"};
    auto below = [](long long v) { // 1 to 9999
        static const char* const units[] = {"千", "百", "十", ""};
        std::string out;
        long long scale = 1000;
        for (const char* unit : units) {
            const long long d = v / scale % 10;
            if (d > 1 || (d == 1 && unit[0] == '\0')) out += ones[d];
            if (d > 0) out += unit;
            scale /= 10;
        }
        return out;
    };
    std::string out;
    if (value >= 10000) out = below(value / 10000) + "万";
    if (value % 10000) out += below(value % 10000);
    return sj(out.c_str());
}

void Converter::readDigits() {
    const Tables& tb = tables();
    static const std::string tsu = sj("つ");
    forEachText([&](const std::string& text) {
        const auto cs = chars(text);
        std::string s;
        for (std::size_t i = 0; i < cs.size();) {
            // A run of digits; its value and where it ends.
            std::size_t end = i;
            long long value = 0;
            std::string spelt;
            for (; end < cs.size(); ++end) {
                int d = -1;
                if (cs[end].size() == 1 && cs[end][0] >= '0' && cs[end][0] <= '9') d = cs[end][0] - '0';
                const auto* w = std::find(std::begin(tb.wideDigits), std::end(tb.wideDigits), cs[end]);
                if (w != std::end(tb.wideDigits)) d = static_cast<int>(w - std::begin(tb.wideDigits));
                if (d < 0) break;
                value = std::min(value * 10 + d, 1000000000LL);
                spelt += tb.digits[d];
            }
            if (end == i) {
                s += cs[i++];
                continue;
            }
            // A number before a counter (2人, 10年, 1つ) is read as a number
            // in kanji, which the reader reads with its counter: ふたり,
            // じゅうねん. Digits on their own are read one by one.
            const bool counter = end < cs.size() && (isKanji(cs[end]) || cs[end] == tsu);
            s += counter && value > 0 && value < 100000000 ? kanjiNumber(value) : spelt;
            i = end;
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

// Letters, and apostrophes inside them: an English word so far.
bool isWordUnit(const std::string& unit) {
    return !unit.empty() && std::isalpha(static_cast<unsigned char>(unit[0])) &&
           std::all_of(unit.begin(), unit.end(),
                       [](char ch) { return std::isalpha(static_cast<unsigned char>(ch)) || ch == '\''; });
}

// A run of ASCII letters stays together: it is one English word, read later.
// Punctuation, which is not sung, stays with the character before it.
std::vector<std::string> singingUnits(const std::string& text) {
    std::vector<std::string> out;
    for (const auto& c : chars(text)) {
        if (!out.empty() && isWordUnit(out.back()) &&
            (isAsciiLetter(c) || (c == "'" && std::isalpha(static_cast<unsigned char>(out.back().back())))))
            out.back() += c;
        else if (!out.empty() && tables().punctuation.count(c))
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
    // The sound before a small "っ" may be the last one of the lyric before
    // (a word spread one character a note).
    std::string previous;
    forEachText([&](const std::string& text) {
        std::string s;
        for (const auto& c : chars(text)) {
            std::string out = c;
            if (c == tb.smallTsu || c == tb.smallTsuKata) {
                auto h = tb.kataToHira.find(previous);
                const std::string& base = h != tb.kataToHira.end() ? h->second : previous;
                auto v = tb.vowel.find(base);
                out = v != tb.vowel.end() ? v->second : tb.u;
            }
            s += out;
            if (out != "/" && out != ">") previous = out;
        }
        return s;
    });
}

bool hasKanji(const std::string& text) {
    for (const auto& c : chars(text))
        if (isKanji(c)) return true;
    return false;
}

void Converter::widenHalfWidthKana() {
    const Tables& tb = tables();
    forEachText([&](const std::string& text) {
        std::vector<std::string> out;
        for (const auto& c : chars(text)) {
            const auto b = static_cast<unsigned char>(c[0]);
            if (c.size() == 1 && (b == 0xDE || b == 0xDF) && !out.empty()) {
                const auto& marks = b == 0xDE ? tb.voiced : tb.semiVoiced;
                auto m = marks.find(out.back());
                if (m != marks.end()) out.back() = m->second;
                continue;
            }
            auto w = c.size() == 1 ? tb.halfWidth.find(b) : tb.halfWidth.end();
            out.push_back(w != tb.halfWidth.end() ? w->second : c);
        }
        // ヴ with a small vowel is one sound, sung as the nearest plain one.
        std::string s;
        for (std::size_t i = 0; i < out.size(); ++i) {
            if (out[i] == tb.vu && i + 1 < out.size()) {
                auto b = tb.vuWith.find(out[i + 1]);
                if (b != tb.vuWith.end()) {
                    s += b->second;
                    ++i;
                    continue;
                }
            }
            s += out[i];
        }
        return s;
    });
}

// The units a reading is shared out in: a small kana, "ん", "っ" and "ー"
// belong to the sound before them, as no syllable starts with them. When
// `vowels` is set, so does the "う" or "い" that lengthens or closes the
// vowel before it (とう, せい, たい), which hardly ever starts the reading
// of a kanji.
std::vector<std::string> morae(const std::vector<std::string>& cs, bool vowels = true) {
    static const std::string trailing = sj("ゃゅょぁぃぅぇぉんっー");
    const Tables& tb = tables();
    std::vector<std::string> out;
    for (const auto& c : cs) {
        const std::size_t at = c.size() == 2 ? trailing.find(c) : std::string::npos;
        bool joins = at != std::string::npos && at % 2 == 0;
        if (vowels && !joins && !out.empty() && (c == tb.u || c == tb.i)) {
            const std::string& last = out.back();
            auto v = tb.vowel.find(last.substr(last.size() - std::min<std::size_t>(2, last.size())));
            joins = v != tb.vowel.end() &&
                    (c == tb.u ? v->second == tb.o || v->second == tb.u : v->second != tb.i);
        }
        if (!out.empty() && joins)
            out.back() += c;
        else
            out.push_back(c);
    }
    return out;
}

// A reading of a written word shared out over the pieces the word is
// written in, piece by piece. Kana stand for themselves; a run of kanji
// takes the shortest reading that lets the rest match; a run spread over
// several pieces is cut where the kanji's own readings fit best.
class ReadingAligner {
  public:
    ReadingAligner(const std::vector<std::vector<std::string>>& pieces,
                   const std::vector<std::string>& reading,
                   const std::function<std::string(const std::string&)>& isolated)
        : reading_(reading), isolated_(isolated) {
        for (std::size_t p = 0; p < pieces.size(); ++p)
            for (const auto& c : pieces[p]) {
                written_.push_back(c);
                pieceOf_.push_back(p);
            }
        out_.resize(pieces.size());
    }

    std::vector<std::string> align() {
        take_.assign(written_.size(), 0);
        if (!match(0, 0)) return evenly();
        std::size_t r = 0;
        for (std::size_t w = 0; w < written_.size();) {
            if (take_[w] == 0) { // a kanji run's characters after its first
                ++w;
                continue;
            }
            std::size_t end = w + 1;
            while (end < written_.size() && take_[end] == 0)
                ++end;
            const std::vector<std::string> part(reading_.begin() + static_cast<std::ptrdiff_t>(r),
                                                reading_.begin() + static_cast<std::ptrdiff_t>(r + take_[w]));
            shareRun(w, end, part);
            r += take_[w];
            w = end;
        }
        return out_;
    }

  private:
    bool isKana(const std::string& c) const {
        const Tables& tb = tables();
        return tb.vowel.count(c) || tb.kataToHira.count(c) || c == sj("ん") || c == sj("ー");
    }
    std::string hira(const std::string& c) const {
        auto h = tables().kataToHira.find(c);
        return h != tables().kataToHira.end() ? h->second : c;
    }

    // take_[w]: reading characters the written character w (or the run it
    // starts) stands for; 0 for the rest of a run.
    bool match(std::size_t w, std::size_t r) {
        if (w == written_.size()) return r == reading_.size();
        if (r == reading_.size()) return false;
        if (isKana(written_[w])) {
            if (hira(written_[w]) != hira(reading_[r]) && written_[w] != sj("ー")) return false;
            take_[w] = 1;
            return match(w + 1, r + 1);
        }
        std::size_t end = w + 1;
        while (end < written_.size() && !isKana(written_[end]))
            ++end;
        for (std::size_t n = 1; r + n <= reading_.size(); ++n) {
            take_[w] = n;
            for (std::size_t k = w + 1; k < end; ++k)
                take_[k] = 0;
            if (match(end, r + n)) return true;
        }
        return false;
    }

    // The reading of the run written_[w, end) goes to its pieces; a run in
    // one piece needs no cut.
    void shareRun(std::size_t w, std::size_t end, const std::vector<std::string>& part) {
        std::vector<std::size_t> cuts; // first character of each piece of the run after the first
        for (std::size_t k = w + 1; k < end; ++k)
            if (pieceOf_[k] != pieceOf_[k - 1]) cuts.push_back(k);
        if (cuts.empty()) {
            for (const auto& c : part)
                out_[pieceOf_[w]] += c;
            return;
        }
        // Groups of kanji by piece, and the best cut of the syllables.
        std::vector<std::string> groups(1);
        for (std::size_t k = w; k < end; ++k) {
            if (k > w && pieceOf_[k] != pieceOf_[k - 1]) groups.emplace_back();
            groups.back() += written_[k];
        }
        const std::size_t g = groups.size();
        // Every piece gets a unit at least: finer units for short readings.
        std::vector<std::string> syl = morae(part);
        if (syl.size() < g) syl = morae(part, false);
        if (syl.size() < g) syl = part;
        std::vector<std::size_t> best, at(g, 0);
        int bestScore = -1;
        std::size_t bestSpread = 0;
        // at[i]: first syllable of group i; every group gets one at least.
        std::function<void(std::size_t, std::size_t)> walk = [&](std::size_t i, std::size_t from) {
            if (i == g) {
                int score = 0;
                std::size_t lo = syl.size(), hi = 0;
                for (std::size_t j = 0; j < g; ++j) {
                    const std::size_t stop = j + 1 < g ? at[j + 1] : syl.size();
                    std::string text;
                    for (std::size_t q = at[j]; q < stop; ++q)
                        text += syl[q];
                    score += fit(groups[j], text);
                    lo = std::min(lo, stop - at[j]);
                    hi = std::max(hi, stop - at[j]);
                }
                if (score > bestScore || (score == bestScore && hi - lo < bestSpread)) {
                    bestScore = score;
                    bestSpread = hi - lo;
                    best = at;
                }
                return;
            }
            for (std::size_t q = from; q + (g - i) <= syl.size(); ++q) {
                at[i] = q;
                walk(i + 1, q + 1);
            }
        };
        if (syl.size() < g) {
            for (const auto& c : part)
                out_[pieceOf_[w]] += c;
            return;
        }
        // Long runs over many notes are shared evenly rather than searched.
        if (g > 6 || syl.size() > 16) {
            std::size_t q = 0, piece = pieceOf_[w];
            for (std::size_t j = 0; j < g; ++j) {
                const std::size_t share = syl.size() / g + (j < syl.size() % g ? 1 : 0);
                for (std::size_t k = 0; k < share; ++k)
                    out_[piece] += syl[q++];
                if (j + 1 < g) piece = pieceOf_[cuts[j]];
            }
            return;
        }
        at[0] = 0;
        walk(1, 1);
        std::size_t piece = pieceOf_[w];
        for (std::size_t j = 0; j < g; ++j) {
            const std::size_t stop = j + 1 < g ? best[j + 1] : syl.size();
            for (std::size_t q = best[j]; q < stop; ++q)
                out_[piece] += syl[q];
            if (j + 1 < g) piece = pieceOf_[cuts[j]];
        }
    }

    // How well a syllable run fits kanji read alone: 2 for their own
    // reading, 1 for it with a voiced first sound or a doubled last one.
    int fit(const std::string& kanji, const std::string& text) const {
        const std::string own = isolated_(kanji);
        if (own.empty()) return 0;
        if (own == text) return 2;
        const auto o = chars(own), t = chars(text);
        if (o.size() != t.size() || o.empty()) return 0;
        const Tables& tb = tables();
        const auto v = tb.voiced.find(katakana(o[0]));
        const bool voicedHead = v != tb.voiced.end() && v->second == katakana(t[0]);
        if (o.size() == 1) return voicedHead ? 1 : 0;
        const bool sameMiddle = std::equal(o.begin() + 1, o.end() - 1, t.begin() + 1);
        const bool doubledLast = t.back() == tb.smallTsu;
        return (voicedHead || o[0] == t[0]) && sameMiddle && (o.back() == t.back() || doubledLast) ? 1 : 0;
    }
    static std::string katakana(const std::string& h) {
        for (const auto& [k, v] : tables().kataToHira)
            if (v == h) return k;
        return h;
    }

    // Without a match the syllables are shared as evenly as they go, the
    // earlier pieces taking the extra ones.
    std::vector<std::string> evenly() {
        const std::vector<std::string> syl = morae(reading_);
        const std::size_t n = out_.size();
        std::size_t q = 0;
        for (std::size_t p = 0; p < n; ++p) {
            const std::size_t share = syl.size() / n + (p < syl.size() % n ? 1 : 0);
            for (std::size_t k = 0; k < share && q < syl.size(); ++k)
                out_[p] += syl[q++];
        }
        return out_;
    }

    std::vector<std::string> written_;
    std::vector<std::size_t> pieceOf_;
    std::vector<std::string> reading_;
    std::vector<std::size_t> take_;
    std::vector<std::string> out_;
    const std::function<std::string(const std::string&)>& isolated_;
};

std::string Converter::isolatedReading(const std::string& kanji) {
    auto it = isolated_.find(kanji);
    if (it != isolated_.end()) return it->second;
    std::string r;
    if (service_)
        if (auto got = service_->reading(kanji)) r = *got;
    if (r == kanji) r.clear();
    isolated_[kanji] = r;
    return r;
}

// The row of a list whose written form begins `text` at `at` and ends on
// one of the word boundaries; the longest such form wins.
ListIndex indexByFirstCharacter(const ListFile& list) {
    ListIndex index;
    for (const auto& row : list.rows) {
        const auto cs = chars(row[0]);
        if (!cs.empty()) index[cs[0]].push_back(&row);
    }
    return index;
}

const ListRow* listRowAt(const ListIndex& list, const std::string& text, std::size_t at,
                         const std::vector<std::size_t>& boundaries) {
    const auto cs = chars(text.substr(at, 2));
    const auto found = cs.empty() ? list.end() : list.find(cs[0]);
    if (found == list.end()) return nullptr;
    const ListRow* best = nullptr;
    for (const ListRow* row : found->second) {
        const std::string& w = (*row)[0];
        if (w.empty() || (*row)[1].empty() || text.compare(at, w.size(), w) != 0) continue;
        if (!std::binary_search(boundaries.begin(), boundaries.end(), at + w.size())) continue;
        if (!best || w.size() > (*best)[0].size()) best = row;
    }
    return best;
}

// Whether a reading is the kana word as written but for は and へ read
// わ and え.
bool onlyParticleSounds(const std::string& surface, const std::string& reading) {
    const auto w = chars(katakanaToHiragana(surface)), r = chars(reading);
    if (w.size() != r.size() || w == r) return false;
    static const std::string ha = sj("は"), wa = sj("わ"), he = sj("へ"), e = sj("え");
    for (std::size_t i = 0; i < w.size(); ++i)
        if (w[i] != r[i] && !(w[i] == ha && r[i] == wa) && !(w[i] == he && r[i] == e)) return false;
    return true;
}

// Lyrics written with kanji are read a line at a time, so that a word
// spread over several notes is read as one word.
void Converter::readInContext(const std::vector<const ListIndex*>& lists) {
    std::vector<LyricRef> line;
    auto flush = [&] {
        bool kanji = false;
        for (const auto& r : line)
            kanji = kanji || hasKanji(lyrics_.items[static_cast<std::size_t>(r.index)].text.substr(r.offset));
        if (kanji) readLine(line, lists);
        line.clear();
    };
    for (int i = 0; i < static_cast<int>(lyrics_.items.size()); ++i) {
        const std::string& text = lyrics_.items[static_cast<std::size_t>(i)].text;
        if (text.empty() || text == tables().intro || text == tables().ending) continue;
        // A line or page mark starts a new line.
        const bool mark = text[0] == '/' || text[0] == '>';
        if (mark) flush();
        const std::size_t offset = mark ? 1 : 0;
        if (text.size() > offset) line.push_back({i, offset});
        // A line ends at a line mark after its last syllable.
        if (text.back() == '/' || line.size() >= 256) flush();
    }
    flush();
}

void Converter::readLine(const std::vector<LyricRef>& line, const std::vector<const ListIndex*>& lists) {
    // The line's text, and where each lyric's part of it starts.
    std::string text;
    std::vector<std::size_t> starts;
    for (const auto& r : line) {
        starts.push_back(text.size());
        text += lyrics_.items[static_cast<std::size_t>(r.index)].text.substr(r.offset);
    }
    starts.push_back(text.size());
    std::vector<Morpheme> words;
    if (service_) words = service_->analyse(text);
    std::vector<std::size_t> bounds{0};
    for (const auto& w : words)
        bounds.push_back(bounds.back() + w.surface.size());
    if (words.empty() || bounds.back() != text.size()) {
        // Without a reader that cuts words each lyric is read on its own.
        for (const auto& r : line) {
            Lyric& l = lyrics_.items[static_cast<std::size_t>(r.index)];
            if (!service_ || !hasKanji(l.text)) continue;
            if (auto got = service_->reading(l.text.substr(r.offset)))
                l.text = l.text.substr(0, r.offset) + *got;
        }
        return;
    }

    // Spans of the line with their readings: list rows first, then words.
    struct Span {
        std::size_t from, to;
        std::string reading;
    };
    std::vector<Span> spans;
    for (std::size_t k = 0; k < words.size();) {
        const std::size_t at = bounds[k];
        const ListRow* row = nullptr;
        for (const ListIndex* list : lists)
            if ((row = listRowAt(*list, text, at, bounds))) break;
        if (row) {
            const std::size_t to = at + (*row)[0].size();
            spans.push_back({at, to, (*row)[1]});
            while (k < words.size() && bounds[k] < to)
                ++k;
            continue;
        }
        const Morpheme& w = words[k];
        // Words without kanji keep their spelling, but for は and へ sung
        // わ and え (the particles, こんにちは).
        const bool keep = !hasKanji(w.surface) && !onlyParticleSounds(w.surface, w.reading);
        spans.push_back({at, bounds[k + 1], keep || w.reading.empty() ? w.surface : w.reading});
        ++k;
    }

    std::vector<std::string> rewritten(line.size());
    const std::function<std::string(const std::string&)> isolated = [this](const std::string& k) {
        return isolatedReading(k);
    };
    for (const Span& span : spans) {
        // The pieces of the span in each lyric it touches.
        std::vector<std::vector<std::string>> pieces;
        std::vector<std::size_t> owners;
        for (std::size_t j = 0; j < line.size(); ++j) {
            const std::size_t from = std::max(span.from, starts[j]), to = std::min(span.to, starts[j + 1]);
            if (from >= to) continue;
            pieces.push_back(chars(text.substr(from, to - from)));
            owners.push_back(j);
        }
        if (pieces.size() == 1) {
            rewritten[owners[0]] += span.reading;
            continue;
        }
        if (span.reading == text.substr(span.from, span.to - span.from)) { // kept as written
            for (std::size_t p = 0; p < owners.size(); ++p)
                for (const auto& c : pieces[p])
                    rewritten[owners[p]] += c;
            continue;
        }
        ReadingAligner aligner(pieces, chars(span.reading), isolated);
        const auto shares = aligner.align();
        for (std::size_t p = 0; p < owners.size(); ++p)
            rewritten[owners[p]] += shares[p];
    }
    for (std::size_t j = 0; j < line.size(); ++j) {
        Lyric& l = lyrics_.items[static_cast<std::size_t>(line[j].index)];
        l.text = l.text.substr(0, line[j].offset) + rewritten[j];
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
            // The letters of the unit; punctuation kept with it follows.
            std::size_t letters = 0;
            while (letters < unit.size() &&
                   (std::isalpha(static_cast<unsigned char>(unit[letters])) || unit[letters] == '\''))
                ++letters;
            std::string lower = unit.substr(0, letters);
            for (auto& ch : lower)
                ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            auto it = words.find(lower);
            s += (it != words.end() ? it->second : lower) + unit.substr(letters);
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
        const auto text = chars(lyricTextAt(n.time, true));
        const auto holds = [&](const std::string& c) { return c == tb.longMark || c == tb.waveDash; };
        const auto unsung = [&](const std::string& c) {
            return c == "^" || c == "/" || tb.punctuation.count(c);
        };
        // A note that holds only "ー" (or "～") sings the sound of the
        // syllable before it again; "ー" after a syllable adds nothing.
        const bool lone =
            std::any_of(text.begin(), text.end(), holds) &&
            std::all_of(text.begin(), text.end(), [&](const auto& c) { return holds(c) || unsung(c); });
        if (lone && !out.empty()) {
            auto v = tb.vowel.find(out.back().lyric);
            if (v != tb.vowel.end())
                sung.push_back(v->second);
            else if (out.back().lyric == tb.n)
                sung.push_back(tb.n);
        }
        for (const auto& c : text) {
            // Punctuation is not sung.
            if (holds(c) || unsung(c)) continue;
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

std::vector<SyllableRecord> Converter::run(const std::string& ownKanjiPath, const std::string& kanjiPath,
                                           const std::string& englishPath) {
    if (song_.division() != kSingingDivision) reportMessage("分解能警告");
    readLyrics();
    readNotes();
    widenHalfWidthKana();
    removeBrackets();
    removeSpaces();
    readDigits();
    // The user's own list is applied note by note before anything else; the
    // program's list only holds what the reader gets wrong, and is used
    // within the reader's words, or note by note when there is no reader.
    const ListFile own = ownKanjiPath.empty() ? ListFile{} : loadListFile(ownKanjiPath);
    applyKanjiList(own);
    const ListFile shipped = kanjiPath.empty() ? ListFile{} : loadListFile(kanjiPath);
    bool kanji = false;
    for (const auto& l : lyrics_.items)
        kanji = kanji || hasKanji(l.text);
    if (kanji) {
        service_ = options_.reading;
        if (!service_) {
            ownService_ = std::make_unique<MecabReading>();
            service_ = ownService_.get();
        }
        if (!service_->available()) service_ = nullptr;
    }
    if (!service_) applyKanjiList(shipped);
    const ListIndex ownIndex = indexByFirstCharacter(own), shippedIndex = indexByFirstCharacter(shipped);
    readInContext({&ownIndex, &shippedIndex});
    splitOverNotes();
    // English readings may hold a small "っ" (let's れっつ), sung like any other.
    applyEnglish(loadListFile(englishPath));
    smallTsu();
    writeLyrics();
    return syllables();
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
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
    // The user's "kanji.csv" in the working folder overrides the program's.
    const std::string own = joinPath(workingFolder, "kanji.csv");
    const std::string shipped = joinPath(dataFolder.empty() ? workingFolder : dataFolder, "kanji.csv");
    const bool hasOwn = !workingFolder.empty() && fileExists(own);
    return c.run(hasOwn ? own : std::string(), hasOwn && own == shipped ? std::string() : shipped,
                 listFilePath("english.csv", workingFolder, dataFolder));
}

std::vector<SyllableRecord> prepareSinging(CXfData& song, int melodyChannel, const std::string& workingFolder,
                                           const std::string& dataFolder) {
    return prepareSinging(song, melodyChannel, workingFolder, dataFolder, SingingOptions{});
}

} // namespace harmolin
