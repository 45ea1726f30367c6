#include "engine/patterns/PatternDatabase.h"

#include "base/ErrorReport.h"
#include "base/Files.h"
#include "engine/ChordProgression.h"
#include "engine/EngineErrors.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>

namespace harmolin {
namespace {

// Each file is held like a zero-terminated buffer of 16384 bytes.
constexpr std::size_t kMaxFileBytes = 16383;
// Only the first 30 matching transitions take part in a draw.
constexpr int kMaxCandidates = 30;
// A cadence record holds at most 16 chord codes, a chart record 27 lengths.
constexpr int kMaxCadenceChords = 16;
constexpr int kMaxChartLengths = 27;
constexpr int kRejectRepeatTries = engine::kIterationCap / 2;

bool isBlank(char ch) {
    return ch == ' ' || ch == '\r' || ch == '\n';
}

// Chord and cadence databases may be named by a full path.
std::string databasePath(const std::string& folder, const std::string& name) {
    const bool qualified = (name.size() >= 2 && name[1] == ':') || (!name.empty() && name[0] == '/');
    return qualified ? name : joinPath(folder, name);
}

bool readText(const std::string& path, std::string& text) {
    text.clear();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string buffer(kMaxFileBytes, '\0');
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    if (in.bad()) return false;
    buffer.resize(static_cast<std::size_t>(in.gcount()));
    // The engine reads its buffers as zero-terminated text.
    const std::size_t zero = buffer.find('\0');
    if (zero != std::string::npos) buffer.resize(zero);
    text = std::move(buffer);
    return true;
}

// Leading decimal digits of text[from, from + maxDigits); 0 when there are none.
int digitsAt(const std::string& text, std::size_t from, std::size_t maxDigits) {
    int value = 0;
    for (std::size_t i = from; i < text.size() && i < from + maxDigits; ++i) {
        if (text[i] < '0' || text[i] > '9') break;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

int weightDivisorOf(const std::string& text) {
    int largest = 0;
    std::size_t pos = 0;
    std::string token;
    while (nextToken(text, pos, token))
        largest = std::max(largest, digitsAt(token, 8, 9));
    // A file whose weights all lie below 8 would give 0; every weight then is
    // its own class.
    return std::max(1, largest / 8);
}

int minimumClass(CompositionState& state) {
    switch (state.style.category) {
    case 1:
        return 1;
    case 2:
        return 3;
    case 3:
    case 6:
    case 9:
        return 4;
    case 4:
    case 7:
        return 5;
    default:
        reportEngineError(engine_error::kChordProgression);
        state.style.category = 3;
        return 1;
    }
}

// Reads the record count N of a chart or cadence text; 0 when there is none.
int recordCount(const std::string& text, std::size_t& pos) {
    std::string token;
    pos = 0;
    if (!nextToken(text, pos, token)) return 0;
    return digitsAt(token, 0, 9);
}

std::vector<int> randomLengths(CompositionState& state) {
    const StyleRecord& s = state.style;
    if (s.meter < 0 || s.meter > 2) {
        reportEngineError(engine_error::kMeter);
        return {};
    }
    std::vector<int> lengths;
    for (int i = 0; i < 4; ++i) {
        if (s.fixedChordLength == 1)
            lengths.push_back(s.barLength());
        else if (s.meter == 0)
            lengths.push_back(state.rng.randRange(1, 4) * 192);
        else if (s.meter == 1)
            lengths.push_back(state.rng.randRange(1, 2) * 288);
        else
            lengths.push_back(336);
    }
    return lengths;
}

} // namespace

void chooseDatabases(CompositionState& state) {
    StyleRecord& s = state.style;
    PatternData& p = state.patterns;
    if (s.keyVariant == 1 || s.category == 6) {
        s.keyVariant = 1;
        p.tonic = ChordCode(s.category == 6 ? "CMPs" : "CMPS");
        p.timeChartName = "TIMECHT.DB";
        p.cadenceTimeChartName = "RESTIME.DB";
    } else {
        s.keyVariant = 2;
        p.tonic = ChordCode("AmPs");
        p.timeChartName = "TIMECHT.DB2";
        p.cadenceTimeChartName = "RESTIME.DB2";
    }
    if (s.meter == 1) {
        p.timeChartName = "TIMECHT3.DB";
        p.cadenceTimeChartName = "RESTIME3.DB";
    } else if (s.meter == 2) {
        p.timeChartName = "TIMECHT7.DB";
        p.cadenceTimeChartName = "RESTIME7.DB";
    }
}

bool loadPatternFiles(CompositionState& state) {
    PatternData& p = state.patterns;
    const std::string& folder = state.programFolder;
    // Nothing of an earlier style's files may stay behind a failed load.
    p.chordText.clear();
    p.cadenceText.clear();
    p.timeChartText.clear();
    p.cadenceTimeText.clear();
    p.weightDivisor = 1;

    const std::string chordPath = databasePath(folder, state.style.chordDbText());
    if (!readText(chordPath, p.chordText)) {
        reportEngineError(engine_error::kPatternFile);
        reportMessage(chordPath + " is not found in program folder! You might install ZNR agein.");
        return false;
    }
    p.weightDivisor = weightDivisorOf(p.chordText);

    if (!readText(databasePath(folder, state.style.cadenceDbText()), p.cadenceText))
        reportEngineError(engine_error::kCadenceFile);
    if (!readText(joinPath(folder, p.timeChartName), p.timeChartText))
        reportEngineError(engine_error::kTimeChartFile);
    if (!readText(joinPath(folder, p.cadenceTimeChartName), p.cadenceTimeText))
        reportEngineError(engine_error::kCadenceTimeChartFile);

    buildChordScaleTable(state);
    return true;
}

bool nextToken(const std::string& text, std::size_t& pos, std::string& token) {
    token.clear();
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    if (pos >= text.size()) return false;
    while (pos < text.size()) {
        const char ch = text[pos++];
        if (ch == '|') return true;
        if (!isBlank(ch)) token += ch;
    }
    return true;
}

bool skipRecords(const std::string& text, std::size_t& pos, int n) {
    for (int i = 0; i < n; ++i) {
        const std::size_t bar = pos < text.size() ? text.find('|', pos) : std::string::npos;
        if (bar == std::string::npos) {
            pos = text.size();
            return false;
        }
        pos = bar + 1;
    }
    return true;
}

ChordCode drawNextChord(CompositionState& state, ChordCode current) {
    const PatternData& p = state.patterns;
    std::array<ChordCode, kMaxCandidates> following;
    std::array<int, kMaxCandidates> classes{};
    int count = 0;
    std::size_t pos = 0;
    std::string token;
    const std::string currentText = current.str();
    while (count < kMaxCandidates && nextToken(p.chordText, pos, token)) {
        if (token.size() < 8 || token.compare(0, 4, currentText) != 0) continue;
        following[static_cast<std::size_t>(count)] = ChordCode(std::string_view(token).substr(4, 4));
        classes[static_cast<std::size_t>(count)] = 1 + digitsAt(token, 8, 3) / p.weightDivisor;
        ++count;
    }
    if (count == 0) return p.tonic;

    const int minimum = minimumClass(state);
    ChordCode result = p.tonic;
    for (int attempt = 0; attempt < engine::kIterationCap; ++attempt) {
        const int index = std::min(state.rng.randRange(0, count - 1), kMaxCandidates - 1);
        const int threshold = state.rng.randRange(minimum, 9);
        if (threshold <= classes[static_cast<std::size_t>(index)]) {
            result = following[static_cast<std::size_t>(index)];
            break;
        }
    }
    if (result.root() == '\0') reportEngineError(engine_error::kDb2);
    return result;
}

std::vector<int> drawLengths(CompositionState& state, const std::string& chartText) {
    const StyleRecord& s = state.style;
    if (s.chordLengthSource == 4) return randomLengths(state);
    if (s.chordLengthSource != 0) {
        reportEngineError(engine_error::kBlockLength);
        return {};
    }

    std::size_t pos = 0;
    const int records = recordCount(chartText, pos);
    if (records < 1) {
        reportEngineError(engine_error::kDatabaseRead);
        return {};
    }
    const int r = state.rng.randRange(1, records);
    std::string token;
    if (!skipRecords(chartText, pos, r - 1) || !nextToken(chartText, pos, token)) {
        reportEngineError(engine_error::kDatabaseRead);
        return {};
    }

    std::vector<int> lengths;
    for (std::size_t at = 0; at < token.size(); at += 3) {
        if (static_cast<int>(lengths.size()) == kMaxChartLengths) {
            reportEngineError(engine_error::kTimeChartLength);
            break;
        }
        const std::string field = token.substr(at, 3);
        // A damaged field (short, or not all digits) counts as a zero length.
        const bool whole = field.size() == 3 && std::all_of(field.begin(), field.end(),
                                                            [](char ch) { return ch >= '0' && ch <= '9'; });
        const int length = whole ? digitsAt(field, 0, 3) : 0;
        if (length == 0)
            reportEngineError(engine_error::kTimeChart);
        else if (s.meter == 1 && length != 288 && length != 576)
            reportEngineError(engine_error::kThreeFourChart);
        else if (s.meter == 2 && length != 336)
            reportEngineError(engine_error::kSevenEightChart);
        lengths.push_back(length);
    }
    return lengths;
}

std::vector<ChordCode> drawCadence(CompositionState& state, ChordCode previous, int count) {
    const PatternData& p = state.patterns;
    const std::vector<ChordCode> tonicOnly(static_cast<std::size_t>(std::max(count, 0)), p.tonic);
    if (count < 1) return tonicOnly;
    if (count > kMaxCadenceChords) return tonicOnly;

    std::size_t pos = 0;
    const int records = recordCount(p.cadenceText, pos);
    if (records < 1) {
        reportEngineError(engine_error::kDatabaseRead);
        return tonicOnly;
    }
    const std::string previousText = previous.str();
    const std::size_t wanted = static_cast<std::size_t>(count) * 4;
    bool reported = false;
    std::string token;
    for (int attempt = 0; attempt < engine::kIterationCap; ++attempt) {
        std::size_t at = 0;
        recordCount(p.cadenceText, at);
        const int r = state.rng.randRange(1, records);
        if (!skipRecords(p.cadenceText, at, r - 1) || !nextToken(p.cadenceText, at, token)) {
            // The count promises more records than the file holds.
            if (!reported) reportEngineError(engine_error::kDatabaseRead);
            reported = true;
            continue;
        }
        if (attempt < kRejectRepeatTries && token.compare(0, 4, previousText) == 0) continue;
        if (token.size() != wanted) continue;
        std::vector<ChordCode> codes;
        for (std::size_t i = 0; i < wanted; i += 4)
            codes.emplace_back(std::string_view(token).substr(i, 4));
        return codes;
    }
    return tonicOnly;
}

} // namespace harmolin
