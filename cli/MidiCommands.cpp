// inspect, copy and prepare: the commands over MIDI files.
#include "cli/MidiCommands.h"

#include "app/SongPreparation.h"
#include "app/WorkingFolder.h"
#include "base/ErrorCodes.h"
#include "base/TextCodec.h"
#include "midi/MidiF1Data.h"
#include "midi/MidiTrackEdit.h"
#include "midi/XfData.h"

#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>

namespace harmolin::cli {
namespace {

enum class SongKind { Format0, Format1, Xf };

// A song read from a file in the form it has there.
struct LoadedSong {
    SongKind kind = SongKind::Format0;
    CXfData single;   // format 0 and XF
    MidiF1Data multi; // format 1

    int division() const { return kind == SongKind::Format1 ? multi.division() : single.division(); }
    std::vector<const MidiTrackData*> tracks() const {
        std::vector<const MidiTrackData*> out;
        if (kind == SongKind::Format1)
            for (int i = 0; i < multi.trackCount(); ++i)
                out.push_back(&multi.track(i));
        else
            out.push_back(&single.track());
        return out;
    }
};

int read16(const std::uint8_t* p) {
    return (p[0] << 8) | p[1];
}

std::unique_ptr<LoadedSong> loadSong(const std::string& path) {
    ByteBuffer file;
    if (!file.loadFile(path)) return nullptr;
    auto song = std::make_unique<LoadedSong>();
    const int at = findMidiHeader(file.bytes(), file.used());
    if (at >= 0 && read16(file.bytes() + at + 8) == 1) {
        song->kind = SongKind::Format1;
        if (!song->multi.loadBytes(file.bytes(), file.used())) return nullptr;
        return song;
    }
    if (file.used() == 0) {
        reportError(ErrorClass::M1dt, errc::kF1NotMidi);
        return nullptr;
    }
    if (at < 0 || read16(file.bytes() + at + 8) != 0) {
        // Let the loader say what is wrong with it.
        MidiF0Data probe;
        (void)probe.loadBytes(file.bytes(), file.used()); // read only for what it reports
        return nullptr;
    }
    int isXf = 0;
    if (!song->single.loadBytes(file.bytes(), file.used(), 0, &isXf) || song->single.track().count() == 0) {
        MidiF0Data probe; // says what is wrong when the XF reader stayed silent
        (void)probe.loadBytes(file.bytes(), file.used()); // read only for what it reports
        return nullptr;
    }
    song->kind = isXf ? SongKind::Xf : SongKind::Format0;
    return song;
}

std::string hexBytes(const std::vector<std::uint8_t>& data, std::size_t from = 0,
                     std::size_t to = std::string::npos) {
    std::string out;
    char buf[4];
    for (std::size_t i = from; i < data.size() && i < to; ++i) {
        std::snprintf(buf, sizeof buf, "%02x", data[i]);
        out += buf;
    }
    return out;
}

// Body of a system-exclusive message without F0, its length and the final F7.
std::string sysExBody(const MusicEvent& e) {
    std::size_t pos = 1;
    while (pos < e.data.size() && (e.data[pos] & 0x80))
        ++pos;
    ++pos; // the last length byte
    std::size_t end = e.data.size();
    if (end > pos && e.data[end - 1] == 0xF7) --end;
    return hexBytes(e.data, pos, end);
}

std::string metaBody(const MusicEvent& e) {
    if (e.type == kMetaTempo) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%06x", e.value & 0xFFFFFF);
        return buf;
    }
    return hexBytes(e.data);
}

void printEvents(const MidiTrackData& connected, std::ostream& out) {
    MidiTrackData track = connected;
    if (track.state() == TrackState::Connected)
        (void)track.splitNotes(); // cannot fail: the state was just checked
    int tick = 0;
    for (const MusicEvent& e : track.events()) {
        tick += e.delta;
        out << tick << ' ';
        const int ch = e.channel + 1;
        switch (e.kind) {
        case kNoteOn:
            out << (e.velocity ? "note_on " : "note_off ") << ch << ' ' << e.note << ' ' << e.velocity;
            break;
        case kNoteOff:
            out << "note_off " << ch << ' ' << e.note << ' ' << e.velocity;
            break;
        case kPolyPressure:
            out << "poly_pressure " << ch << ' ' << e.note << ' ' << e.value;
            break;
        case kControlChange:
            out << "control_change " << ch << ' ' << e.type << ' ' << e.value;
            break;
        case kProgramChange:
            out << "program_change " << ch << ' ' << e.value;
            break;
        case kChannelPressure:
            out << "channel_pressure " << ch << ' ' << e.value;
            break;
        case kPitchBend:
            out << "pitch_bend " << ch << ' ' << e.pitchBend();
            break;
        case kSysEx:
            out << "sysex " << sysExBody(e);
            break;
        case kSysExEscape:
            out << "escape " << hexBytes(e.data);
            break;
        case kMeta: {
            char type[4];
            std::snprintf(type, sizeof type, "%02x", e.type);
            out << "meta " << type;
            const std::string body = metaBody(e);
            if (!body.empty()) out << ' ' << body;
            break;
        }
        default:
            out << "unknown " << e.kind;
        }
        out << '\n';
    }
}

const char* kindName(const MusicEvent& e) {
    switch (e.kind) {
    case kConnectedNote:
        return "notes";
    case kNoteOn:
        return e.velocity ? "note on" : "note off";
    case kNoteOff:
        return "note off";
    case kPolyPressure:
        return "poly pressure";
    case kControlChange:
        return "control change";
    case kProgramChange:
        return "program change";
    case kChannelPressure:
        return "channel pressure";
    case kPitchBend:
        return "pitch bend";
    case kSysEx:
    case kSysExEscape:
        return "sysex";
    case kMeta:
        return "meta";
    default:
        return "other";
    }
}

void printSummary(const std::string& path, const LoadedSong& song, std::ostream& out) {
    const auto tracks = song.tracks();
    const int format = song.kind == SongKind::Format1 ? 1 : 0;
    out << "File: " << path << '\n';
    out << "Format: " << format << (song.kind == SongKind::Xf ? " (XF, with lyric chunk)" : "") << '\n';
    out << "Division: " << song.division() << " ticks per quarter note\n";
    out << "Tracks: " << tracks.size() << '\n';
    std::map<int, int> notesPerChannel;
    std::vector<std::pair<int, const MusicEvent*>> tempos, signatures, keys, lyrics;
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        std::map<std::string, int> counts;
        int tick = 0;
        for (const MusicEvent& e : tracks[t]->events()) {
            tick += e.delta;
            ++counts[kindName(e)];
            if (e.kind == kConnectedNote) ++notesPerChannel[e.channel + 1];
            if (e.isMeta(kMetaTempo)) tempos.emplace_back(tick, &e);
            if (e.isMeta(kMetaTimeSignature)) signatures.emplace_back(tick, &e);
            if (e.isMeta(kMetaKeySignature)) keys.emplace_back(tick, &e);
            if (e.isMeta(kMetaLyric)) lyrics.emplace_back(tick, &e);
        }
        out << "Track " << t + 1 << ": " << tracks[t]->count() << " events";
        const char* sep = " (";
        for (const auto& [name, n] : counts) {
            out << sep << n << ' ' << name;
            sep = ", ";
        }
        out << (counts.empty() ? "" : ")") << ", length " << totalLength(*tracks[t]) << " ticks\n";
    }
    if (song.kind == SongKind::Xf) {
        const MidiTrackData& k = song.single.karaokeTrack();
        out << "XFKM: " << k.count() << " events\n";
        int tick = 0;
        for (const MusicEvent& e : k.events()) {
            tick += e.delta;
            if (e.isMeta(kMetaLyric)) lyrics.emplace_back(tick, &e);
        }
    }
    for (const auto& [tick, e] : tempos) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "Tempo: %.2f BPM (%d microseconds per quarter note) at tick %d\n",
                      60000000.0 / e->value, e->value, tick);
        out << buf;
    }
    if (tempos.empty()) out << "Tempo: none (120 BPM by default)\n";
    for (const auto& [tick, e] : signatures)
        out << "Time signature: " << (e->value >> 8) << '/' << (e->value & 0xFF) << " at tick " << tick
            << '\n';
    for (const auto& [tick, e] : keys) {
        const int sf = e->size() > 0 ? static_cast<std::int8_t>(e->data[0]) : 0;
        const bool minor = e->size() > 1 && e->data[1];
        out << "Key signature: " << (sf >= 0 ? "+" : "") << sf << (minor ? " minor" : " major") << " at tick "
            << tick << '\n';
    }
    out << "Notes per channel:";
    if (notesPerChannel.empty()) out << " none";
    for (const auto& [ch, n] : notesPerChannel)
        out << ' ' << ch << ':' << n;
    out << '\n';
    out << "Lyrics: " << lyrics.size() << '\n';
    for (const auto& [tick, e] : lyrics)
        out << "  " << tick << ' ' << cp932ToUtf8(e->text()) << '\n';
}

} // namespace

int inspectCommand(const Arguments& args) {
    if (args.positional.size() != 1) {
        printError("inspect takes one MIDI file: harmolin inspect FILE.mid [--events]");
        return 2;
    }
    const std::string path = args.positional[0];
    ReportCollector reports;
    auto song = loadSong(path);
    if (!song) {
        reports.fail(path);
        return 1;
    }
    reports.flush();
    if (args.flags.count("--events")) {
        const auto tracks = song->tracks();
        for (std::size_t t = 0; t < tracks.size(); ++t) {
            std::cout << "track " << t + 1 << '\n';
            printEvents(*tracks[t], std::cout);
        }
        if (song->kind == SongKind::Xf) {
            std::cout << "xfkm\n";
            printEvents(song->single.karaokeTrack(), std::cout);
        }
        return 0;
    }
    printSummary(path, *song, std::cout);
    return 0;
}

int copyCommand(const Arguments& args) {
    const std::string output = args.value("--output");
    if (args.positional.size() != 1 || output.empty()) {
        printError(
            "copy takes one MIDI file and an output: harmolin copy IN.mid -o OUT.mid [--format 0|1|xf]");
        return 2;
    }
    const std::string format = args.value("--format");
    if (!format.empty() && format != "0" && format != "1" && format != "xf") {
        printError("--format is 0, 1 or xf, not '" + format + "'");
        return 2;
    }
    const std::string& path = args.positional[0];
    ReportCollector reports;
    auto song = loadSong(path);
    if (!song) {
        reports.fail(path);
        return 1;
    }
    SongKind target = song->kind;
    if (format == "0") target = SongKind::Format0;
    if (format == "1") target = SongKind::Format1;
    if (format == "xf") target = SongKind::Xf;
    bool ok = false;
    if (target == SongKind::Format1) {
        if (song->kind == SongKind::Format1) {
            ok = song->multi.save(output);
        } else {
            MidiF1Data parts = MidiF1Data::fromSong(song->single);
            ok = parts.save(output);
        }
    } else {
        CXfData& single = song->single;
        bool merged = true;
        if (song->kind == SongKind::Format1) {
            single = CXfData();
            merged = song->multi.mergeInto(single); // a failed merge is reported: nothing is written
        }
        ok = merged && (target == SongKind::Xf ? single.save(output) : single.MidiF0Data::save(output));
    }
    if (!ok) {
        reports.fail(output);
        return 1;
    }
    return 0;
}

int prepareCommand(const Arguments& args, const std::string& workdir) {
    if (args.positional.size() != 1 || !args.has("--channel")) {
        printError("prepare takes one MIDI file and the melody channel: "
                   "harmolin prepare IN.mid --channel C [-o OUT.mid] [--guide-volume N]");
        return 2;
    }
    PrepareOptions options;
    const auto channel = parseNumber("--channel", args.value("--channel"), 1, 16);
    if (!channel) return 2;
    options.melodyChannel = *channel;
    if (args.has("--guide-volume")) {
        const auto volume = parseNumber("--guide-volume", args.value("--guide-volume"), 0, 127);
        if (!volume) return 2;
        options.guideVolume = *volume;
    }
    const std::string output = args.value("--output", joinPath(workdir, kPreparedFile));
    const std::string& path = args.positional[0];
    ReportCollector reports;
    MidiF0Data song;
    if (!song.load(path)) {
        reports.fail(path);
        return 1;
    }
    if (!prepareSongData(song, options)) {
        reports.fail(path);
        return 1;
    }
    if (!song.save(output)) {
        reports.fail(output);
        return 1;
    }
    return 0;
}

} // namespace harmolin::cli
