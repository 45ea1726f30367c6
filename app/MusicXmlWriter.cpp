#include "app/MusicXmlWriter.h"

#include "midi/XfData.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace harmolin {

namespace {

std::string lowerExtension(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

std::string escaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            // Control characters other than tab and newlines are not XML.
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r') out += c;
        }
    }
    return out;
}

// Spelling of a pitch class in a key: sharps in sharp keys and C, flats in flat keys.
struct Spelling {
    char step;
    int alter;
};

Spelling spell(int pitchClass, bool flats) {
    static constexpr Spelling kSharps[12] = {{'C', 0}, {'C', 1}, {'D', 0}, {'D', 1}, {'E', 0}, {'F', 0},
                                             {'F', 1}, {'G', 0}, {'G', 1}, {'A', 0}, {'A', 1}, {'B', 0}};
    static constexpr Spelling kFlats[12] = {{'C', 0},  {'D', -1}, {'D', 0},  {'E', -1}, {'E', 0},  {'F', 0},
                                            {'G', -1}, {'G', 0},  {'A', -1}, {'A', 0},  {'B', -1}, {'B', 0}};
    return (flats ? kFlats : kSharps)[((pitchClass % 12) + 12) % 12];
}

const char* typeName(int printed) {
    switch (printed) {
    case 1920:
        return "whole";
    case 960:
        return "half";
    case 480:
        return "quarter";
    case 240:
        return "eighth";
    case 120:
        return "16th";
    default:
        return "32nd";
    }
}

const char* syllabicName(Syllabic s) {
    switch (s) {
    case Syllabic::Begin:
        return "begin";
    case Syllabic::Middle:
        return "middle";
    case Syllabic::End:
        return "end";
    case Syllabic::Single:
        break;
    }
    return "single";
}

std::string number(double value) {
    char text[32];
    if (std::fabs(value - std::round(value)) < 0.005)
        std::snprintf(text, sizeof text, "%.0f", value);
    else
        std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

class XmlOut {
  public:
    void line(int depth, const std::string& text) {
        out_.append(static_cast<std::size_t>(2 * depth), ' ');
        out_ += text;
        out_ += '\n';
    }
    std::string take() { return std::move(out_); }

  private:
    std::string out_;
};

void writeStep(XmlOut& x, int depth, const char* element, Spelling s) {
    x.line(depth, std::string("<") + element + "-step>" + s.step + "</" + element + "-step>");
    if (s.alter != 0)
        x.line(depth,
               std::string("<") + element + "-alter>" + std::to_string(s.alter) + "</" + element + "-alter>");
}

void writeChord(XmlOut& x, const ScoreChord& chord, int offset, bool flats) {
    x.line(3, "<harmony>");
    x.line(4, "<root>");
    writeStep(x, 5, "root", spell(chord.root, flats));
    x.line(4, "</root>");
    x.line(4, "<kind>" + chord.kind + "</kind>");
    if (chord.bass != chord.root) {
        x.line(4, "<bass>");
        writeStep(x, 5, "bass", spell(chord.bass, flats));
        x.line(4, "</bass>");
    }
    if (offset > 0) x.line(4, "<offset>" + std::to_string(offset) + "</offset>");
    x.line(3, "</harmony>");
}

void writeTempo(XmlOut& x, const ScoreTempo& tempo, int offset) {
    x.line(3, "<direction placement=\"above\">");
    x.line(4, "<direction-type>");
    x.line(5, "<metronome>");
    x.line(6, "<beat-unit>quarter</beat-unit>");
    x.line(6, "<per-minute>" + number(std::round(tempo.bpm)) + "</per-minute>");
    x.line(5, "</metronome>");
    x.line(4, "</direction-type>");
    if (offset > 0) x.line(4, "<offset>" + std::to_string(offset) + "</offset>");
    x.line(4, "<sound tempo=\"" + number(tempo.bpm) + "\"/>");
    x.line(3, "</direction>");
}

void writeNote(XmlOut& x, const ScoreNote& n, bool flats) {
    if (!n.lineText.empty()) {
        x.line(3, "<direction placement=\"above\">");
        x.line(4, "<direction-type>");
        x.line(5, "<words>" + escaped(n.lineText) + "</words>");
        x.line(4, "</direction-type>");
        x.line(3, "</direction>");
    }
    x.line(3, "<note>");
    if (n.rest) {
        x.line(4, n.wholeMeasureRest ? "<rest measure=\"yes\"/>" : "<rest/>");
    } else {
        x.line(4, "<pitch>");
        const Spelling s = spell(n.pitch, flats);
        x.line(5, std::string("<step>") + s.step + "</step>");
        if (s.alter != 0) x.line(5, "<alter>" + std::to_string(s.alter) + "</alter>");
        // The octave of the written step: B sharp and C flat cross octave lines.
        const int octave = (n.pitch - s.alter) / 12 - 1;
        x.line(5, "<octave>" + std::to_string(octave) + "</octave>");
        x.line(4, "</pitch>");
    }
    x.line(4, "<duration>" + std::to_string(n.duration) + "</duration>");
    if (n.tieStop) x.line(4, "<tie type=\"stop\"/>");
    if (n.tieStart) x.line(4, "<tie type=\"start\"/>");
    x.line(4, "<voice>1</voice>");
    if (!n.wholeMeasureRest) {
        x.line(4, std::string("<type>") + typeName(n.printed) + "</type>");
        for (int d = 0; d < n.dots; ++d)
            x.line(4, "<dot/>");
    }
    if (n.triplet) {
        x.line(4, "<time-modification>");
        x.line(5, "<actual-notes>3</actual-notes>");
        x.line(5, "<normal-notes>2</normal-notes>");
        x.line(4, "</time-modification>");
    }
    if (n.tieStart || n.tieStop || n.tupletStart || n.tupletStop) {
        x.line(4, "<notations>");
        if (n.tieStop) x.line(5, "<tied type=\"stop\"/>");
        if (n.tieStart) x.line(5, "<tied type=\"start\"/>");
        if (n.tupletStart) x.line(5, "<tuplet type=\"start\" bracket=\"yes\"/>");
        if (n.tupletStop) x.line(5, "<tuplet type=\"stop\"/>");
        x.line(4, "</notations>");
    }
    if (!n.lyric.empty()) {
        x.line(4, "<lyric number=\"1\">");
        x.line(5, std::string("<syllabic>") + syllabicName(n.syllabic) + "</syllabic>");
        x.line(5, "<text>" + escaped(n.lyric) + "</text>");
        x.line(4, "</lyric>");
    }
    x.line(3, "</note>");
}

std::uint32_t crcOf(const std::string& bytes) {
    return static_cast<std::uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// Raw deflate (no zlib header), as zip entries hold it.
std::string deflated(const std::string& bytes) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    std::string out(deflateBound(&z, static_cast<uLong>(bytes.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return rc == Z_STREAM_END ? out : std::string();
}

void put16(std::vector<std::uint8_t>& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

bool writeThroughTemporary(const std::string& path, const std::string& bytes, std::string& error) {
    const std::string temporary = path + ".partial-" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::error_code ec;
            std::filesystem::remove(temporary, ec);
            error = "cannot write " + path;
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        std::filesystem::remove(temporary, ec);
        error = "cannot write " + path;
        return false;
    }
    return true;
}

} // namespace

std::optional<ScoreFileType> scoreFileTypeOf(const std::string& path) {
    const std::string extension = lowerExtension(path);
    if (extension == ".musicxml" || extension == ".xml") return ScoreFileType::MusicXml;
    if (extension == ".mxl") return ScoreFileType::Mxl;
    return std::nullopt;
}

std::string unknownScoreTypeMessage(const std::string& path) {
    return "cannot tell the score type of " + path + ": its name must end in .musicxml, .xml or .mxl";
}

std::string musicXmlText(const Score& score, const std::string& title) {
    XmlOut x;
    x.line(0, "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>");
    x.line(0, "<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML 3.1 Partwise//EN\" "
              "\"http://www.musicxml.org/dtds/partwise.dtd\">");
    x.line(0, "<score-partwise version=\"3.1\">");
    x.line(1, "<work>");
    x.line(2, "<work-title>" + escaped(title) + "</work-title>");
    x.line(1, "</work>");
    x.line(1, "<identification>");
    x.line(2, "<encoding>");
    x.line(3, "<software>Harmolin</software>");
    char date[16];
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(date, sizeof date, "%Y-%m-%d", &utc);
    x.line(3, std::string("<encoding-date>") + date + "</encoding-date>");
    x.line(2, "</encoding>");
    x.line(1, "</identification>");
    x.line(1, "<part-list>");
    x.line(2, "<score-part id=\"P1\">");
    x.line(3, "<part-name>Voice</part-name>");
    x.line(3, "<score-instrument id=\"P1-I1\">");
    x.line(4, "<instrument-name>Voice</instrument-name>");
    x.line(3, "</score-instrument>");
    x.line(3, "<midi-instrument id=\"P1-I1\">");
    x.line(4, "<midi-channel>1</midi-channel>");
    x.line(4, "<midi-program>54</midi-program>"); // GM "Voice Oohs", 1-based
    x.line(3, "</midi-instrument>");
    x.line(2, "</score-part>");
    x.line(1, "</part-list>");
    x.line(1, "<part id=\"P1\">");
    bool flats = false;
    for (std::size_t i = 0; i < score.measures.size(); ++i) {
        const ScoreMeasure& m = score.measures[i];
        x.line(2, "<measure number=\"" + std::to_string(i + 1) + "\">");
        if (i == 0 || m.key || m.time) {
            x.line(3, "<attributes>");
            if (i == 0) x.line(4, "<divisions>" + std::to_string(kScoreDivision) + "</divisions>");
            if (m.key) {
                flats = m.key->first < 0;
                x.line(4, "<key>");
                x.line(5, "<fifths>" + std::to_string(m.key->first) + "</fifths>");
                x.line(5, std::string("<mode>") + (m.key->second ? "minor" : "major") + "</mode>");
                x.line(4, "</key>");
            }
            if (m.time) {
                x.line(4, "<time>");
                x.line(5, "<beats>" + std::to_string(m.time->first) + "</beats>");
                x.line(5, "<beat-type>" + std::to_string(m.time->second) + "</beat-type>");
                x.line(4, "</time>");
            }
            if (i == 0) {
                x.line(4, "<clef>");
                x.line(5, "<sign>G</sign>");
                x.line(5, "<line>2</line>");
                x.line(4, "</clef>");
            }
            x.line(3, "</attributes>");
        }
        // Tempo marks and chord symbols go before the note they fall on,
        // shifted by an offset when they fall inside it.
        std::size_t tempo = 0, chord = 0;
        int position = 0;
        auto flushUntil = [&](int end) {
            while (tempo < m.tempos.size() && m.tempos[tempo].offset < end) {
                writeTempo(x, m.tempos[tempo], std::max(0, m.tempos[tempo].offset - position));
                ++tempo;
            }
            while (chord < m.chords.size() && m.chords[chord].offset < end) {
                writeChord(x, m.chords[chord], std::max(0, m.chords[chord].offset - position), flats);
                ++chord;
            }
        };
        for (const ScoreNote& n : m.notes) {
            flushUntil(position + n.duration);
            writeNote(x, n, flats);
            position += n.duration;
        }
        flushUntil(m.length + 1);
        x.line(2, "</measure>");
    }
    x.line(1, "</part>");
    x.line(0, "</score-partwise>");
    return x.take();
}

std::vector<std::uint8_t> zipArchive(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::vector<std::uint8_t> out, directory;
    // 1980-01-01 00:00, the earliest time a zip entry can carry.
    constexpr unsigned kDosTime = 0, kDosDate = (0 << 9) | (1 << 5) | 1;
    for (const auto& entry : entries) {
        const std::string& name = entry.first;
        const std::string& bytes = entry.second;
        const std::string packed = deflated(bytes);
        const bool stored = name == "mimetype" || packed.empty() || packed.size() >= bytes.size();
        const std::string& body = stored ? bytes : packed;
        const std::uint32_t crc = crcOf(bytes);
        const auto offset = static_cast<std::uint32_t>(out.size());
        auto header = [&](std::vector<std::uint8_t>& to, bool central) {
            put32(to, central ? 0x02014b50 : 0x04034b50);
            if (central) put16(to, 20); // made by
            put16(to, 20);              // needed to extract
            put16(to, 0x0800);          // names in UTF-8
            put16(to, stored ? 0 : 8);
            put16(to, kDosTime);
            put16(to, kDosDate);
            put32(to, crc);
            put32(to, static_cast<std::uint32_t>(body.size()));
            put32(to, static_cast<std::uint32_t>(bytes.size()));
            put16(to, static_cast<unsigned>(name.size()));
            put16(to, 0); // extra
            if (central) {
                put16(to, 0); // comment
                put16(to, 0); // disk
                put16(to, 0); // internal attributes
                put32(to, 0); // external attributes
                put32(to, offset);
            }
            to.insert(to.end(), name.begin(), name.end());
        };
        header(out, false);
        out.insert(out.end(), body.begin(), body.end());
        header(directory, true);
    }
    const auto directoryOffset = static_cast<std::uint32_t>(out.size());
    out.insert(out.end(), directory.begin(), directory.end());
    put32(out, 0x06054b50);
    put16(out, 0);
    put16(out, 0);
    put16(out, static_cast<unsigned>(entries.size()));
    put16(out, static_cast<unsigned>(entries.size()));
    put32(out, static_cast<std::uint32_t>(directory.size()));
    put32(out, directoryOffset);
    put16(out, 0);
    return out;
}

bool exportMusicXml(const CXfData& song, const ScoreOptions& options, const std::string& path,
                    std::string& error, Score* written) {
    const auto type = scoreFileTypeOf(path);
    if (!type) {
        error = unknownScoreTypeMessage(path);
        return false;
    }
    auto score = buildScore(song, options, error);
    if (!score) return false;
    const std::string title = std::filesystem::path(path).stem().string();
    std::string text = musicXmlText(*score, title);
    std::string bytes;
    if (*type == ScoreFileType::Mxl) {
        const std::string inner = title.empty() ? "score.musicxml" : title + ".musicxml";
        const std::string container = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                      "<container>\n"
                                      "  <rootfiles>\n"
                                      "    <rootfile full-path=\"" +
                                      escaped(inner) +
                                      "\" media-type=\"application/vnd.recordare.musicxml+xml\"/>\n"
                                      "  </rootfiles>\n"
                                      "</container>\n";
        // The media type comes first and stays uncompressed, as readers look for it there.
        const auto zip = zipArchive({{"mimetype", "application/vnd.recordare.musicxml"},
                                     {"META-INF/container.xml", container},
                                     {inner, text}});
        bytes.assign(zip.begin(), zip.end());
    } else {
        bytes = std::move(text);
    }
    if (!writeThroughTemporary(path, bytes, error)) return false;
    if (written) *written = std::move(*score);
    return true;
}

} // namespace harmolin
