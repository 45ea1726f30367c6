#include "lyrics/VocaloidWriter.h"

#include "base/ErrorCodes.h"
#include "base/ErrorReport.h"
#include "lyrics/PhonemeTable.h"
#include "lyrics/VoiceList.h"
#include "midi/MidiF0Data.h"
#include "midi/MidiTrackEdit.h"
#include "midi/XfData.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <thread>

namespace harmolin {
namespace {

constexpr int kTrackCapacity = 0x60000;
constexpr int kMaxTextEvent = 127;
constexpr int kEndNote = -1;
constexpr int kNoteErrorNote = 72;
// Controller numbers of the VOCALOID2 NRPN stream.
constexpr int kNrpnMsb = 0x63, kNrpnLsb = 0x62, kDataMsb = 0x06, kDataLsb = 0x26;

std::string format(const char* fmt, int a) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, fmt, a);
    return buffer;
}

std::string format(const char* fmt, int a, int b) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, fmt, a, b);
    return buffer;
}

// Symbols the NRPN stream can carry: printable ASCII, short enough that their
// parameter numbers stay below the closing block.
bool usableSymbols(const std::string& symbols) {
    if (symbols.empty() || symbols.size() > 0x4F - 0x13) return false;
    return std::all_of(symbols.begin(), symbols.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

// Tempo as the written file plays it: a tempo of 0 is not written, so the
// MIDI default stands.
int playedTempo(int tempo) {
    return tempo > 0 ? tempo : kDefaultTempo;
}

} // namespace

CVocaloidFileWriter::CVocaloidFileWriter(const MidiTrackData& source,
                                         const std::vector<SyllableRecord>& notes, int pauseMs,
                                         int voiceIndex, std::string_view singerName, int voiceNumber,
                                         int octaveShift, int mode, int division)
    : source_(source), notes_(notes), pauseMs_(std::max(0, pauseMs)), voiceIndex_(voiceIndex),
      singer_(singerName), voiceNumber_(std::clamp(voiceNumber, 0, 127)), octaveShift_(octaveShift),
      mode_(mode), division_(division) {
    // Refused whole: a voice channel that does not exist, a source that is
    // not connected, or a list that is too long or out of time order.
    bool ordered = true;
    for (std::size_t i = 0; i < notes_.size(); ++i)
        if (notes_[i].start < 0 || (i > 0 && notes_[i].start < notes_[i - 1].start)) ordered = false;
    if (voiceIndex_ < 0 || voiceIndex_ > 15 || division_ <= 0 || division_ > 0x7FFF ||
        source_.state() != TrackState::Connected || static_cast<int>(notes_.size()) > kMaxSyllables ||
        !ordered || std::abs(octaveShift_) > 10) {
        reportError(ErrorClass::Gene, errc::kBadParameter);
        valid_ = false;
        return;
    }
    for (std::size_t i = 0; i + 1 < notes_.size(); ++i)
        notes_[i].length = std::max(0, std::min(notes_[i].length, notes_[i + 1].start - notes_[i].start));
    // Tempo map of the source as the master track plays it.
    tempoMap_[0] = playedTempo(tempoAt(source_, 0));
    const std::vector<int> sourceTimes = absoluteTimes(source_);
    for (int i = 0; i < source_.count(); ++i)
        if (source_.event(i).isMeta(kMetaTempo))
            tempoMap_[sourceTimes[static_cast<std::size_t>(i)]] = playedTempo(source_.event(i).value);
    // The melody's own velocities, so that the singer can accent the notes
    // the song accents.
    for (int i = 0; i < source_.count(); ++i) {
        const MusicEvent& e = source_.event(i);
        if ((e.kind == kConnectedNote || e.isNoteOn()) && e.channel == voiceIndex_ && e.velocity > 0)
            velocities_.emplace(sourceTimes[static_cast<std::size_t>(i)], std::clamp(e.velocity, 1, 127));
    }

    tracks_.reserve(32);
    writeMaster();
    // Tracks before the voice's place stay empty.
    while (static_cast<int>(tracks_.size()) < voiceIndex_ + 1) {
        tracks_.emplace_back(kTrackCapacity, TrackState::Connected);
        ensureEndOfTrack(tracks_.back());
    }
    tracks_.emplace_back(kOutputCapacity, TrackState::Connected);
    MidiTrackData& voice = tracks_.back();
    (void)voice.append(makeTextMeta(
        0, kMetaTrackName, "Voice" + std::to_string(voiceIndex_ + 1))); // a full track reports itself
    if (mode_ == kSyllableProgramMode) {
        writeSyllablePrograms(voice);
    } else {
        writeSequenceText(voice);
        writeNrpn(voice);
    }
    (void)voice.append(makeEndOfTrack());
}

CVocaloidFileWriter::~CVocaloidFileWriter() = default;

void CVocaloidFileWriter::writeMaster() {
    tracks_.emplace_back(kTrackCapacity, TrackState::Connected);
    MidiTrackData& master = tracks_.back();
    (void)master.append(makeTextMeta(0, kMetaTrackName, "Master Track"));
    const int startTempo = tempoAt(source_, 0);
    if (startTempo == 0)
        reportError(ErrorClass::Vofw, errc::kVocaloidBadTempo);
    else
        (void)master.append(makeTempo(0, startTempo)); // a full track reports itself
    addTimeSignature(master, 4, 2);
    // The tempo in force at tick 0 is already written; every later change
    // follows. (A first change after tick 0 is kept, or the map would lose it.)
    const std::vector<int> times = absoluteTimes(source_);
    bool skippedStart = false;
    int previous = 0;
    for (int i = 0; i < source_.count(); ++i) {
        const MusicEvent& e = source_.event(i);
        if (!e.isMeta(kMetaTempo)) continue;
        if (!skippedStart) {
            skippedStart = true;
            if (times[static_cast<std::size_t>(i)] == 0) continue;
        }
        (void)master.append(makeTempo(times[static_cast<std::size_t>(i)] - previous, e.value));
        previous = times[static_cast<std::size_t>(i)];
    }
    (void)master.append(makeEndOfTrack());
}

int CVocaloidFileWriter::sungNote(int note) const {
    int n = note + 12 * octaveShift_;
    if (n >= 128)
        n -= 12;
    else if (n < 0)
        n += 12;
    // A large octave shift could still leave the range; a data byte cannot.
    return std::clamp(n, 0, 127);
}

// A note's written length in milliseconds through the tempo map: a singer
// holds each note as long as the score says, whatever the first tempo was.
int CVocaloidFileWriter::durationMs(const SyllableRecord& entry) const {
    const long long from = entry.start, to = static_cast<long long>(entry.start) + std::max(0, entry.length);
    double micros = 0;
    for (auto it = tempoMap_.begin(); it != tempoMap_.end(); ++it) {
        const auto next = std::next(it);
        const long long segmentEnd = next == tempoMap_.end() ? to : std::min<long long>(to, next->first);
        const long long segmentStart = std::max<long long>(from, it->first);
        if (segmentEnd > segmentStart)
            micros += static_cast<double>(segmentEnd - segmentStart) * it->second / division_;
    }
    return static_cast<int>(std::clamp<long long>(std::llround(micros / 1000.0), 1, kMaxNoteDurationMs));
}

void CVocaloidFileWriter::pause(int index) const {
    if (pauseMs_ > 0 && index > 0 && index % 200 == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs_));
}

void CVocaloidFileWriter::writeSyllablePrograms(MidiTrackData& voice) {
    const int channel = voiceIndex_;
    addControlChange(voice, channel, 32, voiceNumber_, 0);
    int previous = 0;
    const int count = static_cast<int>(notes_.size());
    for (int i = 0; i < count; ++i) {
        const SyllableRecord& entry = notes_[static_cast<std::size_t>(i)];
        const int gap = entry.start - previous;
        const int lead = gap > 9 ? 10 : gap / 2;
        addProgramChange(voice, channel, std::clamp(kanaToNumber(entry.lyric), 0, 127), gap - lead);
        int note = entry.note;
        if (note == kEndNote) {
            if (i == count - 1) break;
            reportError(ErrorClass::Vofw, errc::kVocaloidBadNote);
            note = kNoteErrorNote;
        }
        note = std::clamp(note + 12 * octaveShift_, 0, 127);
        const int length = entry.length <= 128 ? entry.length : entry.length - 64;
        addNote(voice, channel, lead, note, 127, length);
        previous = entry.start;
    }
}

void CVocaloidFileWriter::writeTextGroup(MidiTrackData& voice, const std::vector<std::string>& lines) {
    std::string pending;
    auto flush = [&] {
        const std::string text = format("DM:%04d:", textCounter_++) + pending;
        addMeta(voice, 0, kMetaText, reinterpret_cast<const std::uint8_t*>(text.data()),
                static_cast<int>(text.size()));
        pending.clear();
    };
    for (const std::string& line : lines) {
        if (9 + static_cast<int>(line.size()) + static_cast<int>(pending.size()) > kMaxTextEvent) flush();
        pending += line;
        pending += '\n';
    }
    flush();
}

void CVocaloidFileWriter::writeSequenceText(MidiTrackData& voice) {
    const int count = static_cast<int>(notes_.size());
    writeTextGroup(voice, {"[Common]", "Version=DSB301", "Name=Voice1", "Color=181,162,123", "DynamicsMode=1",
                           "PlayMode=1", "[Master]", "PreMeasure=4", "[Mixer]", "MasterFeder=0",
                           "MasterPanpot=0", "MasterMute=0", "OutputMode=0", "Tracks=1", "Feder0=0",
                           "Panpot0=0", "Mute0=0", "Solo0=0"});

    std::vector<std::string> events{"[EventList]", "0=ID#0000"};
    for (int i = 0; i < count; ++i) {
        const SyllableRecord& entry = notes_[static_cast<std::size_t>(i)];
        if (entry.note == kEndNote)
            events.push_back(format("%d=EOS", entry.start + kPreMeasureTicks));
        else
            events.push_back(format("%d=ID#%04d", entry.start + kPreMeasureTicks, i + 1));
    }
    events.insert(events.end(), {"[ID#0000]", "Type=Singer", "IconHandle=h#0000"});
    writeTextGroup(voice, events);

    for (int k = 1; k < count; ++k) {
        const SyllableRecord& entry = notes_[static_cast<std::size_t>(k - 1)];
        writeTextGroup(voice,
                       {format("[ID#%04d]", k), format("Length=%d", entry.length),
                        format("Note#=%d", sungNote(entry.note)), format("LyricHandle=h#%04d", 2 * k - 1),
                        format("VibratoHandle=h#%04d", 2 * k), "Type=Anote", "Dynamics=64", "PMBendDepth=20",
                        "PMBendLength=0", "PMbPortamentoUse=0", "DEMdecGainRate=50", "DEMaccent=50",
                        "VibratoDelay=160"});
    }

    writeTextGroup(voice, {"[h#0000]", "IconID=$07010000", "IDS=" + singer_, "Original=0",
                           "Caption=", "Length=1", "Language=0", "Program=0"});

    for (int i = 0; i < count; ++i) {
        pause(i);
        const SyllableRecord& entry = notes_[static_cast<std::size_t>(i)];
        const std::string handle = "L0=\"" + entry.lyric + "\",\"" + entry.phoneme + "\",1.000000," +
                                   std::to_string(entry.consonant) + ",0,0";
        writeTextGroup(voice, {format("[h#%04d]", 2 * i + 1), handle, format("[h#%04d]", 2 * i + 2)});
        writeTextGroup(voice, {"IconID=$04040001", "IDS=normal", "Original=1", "Caption=[Normal] Type 1",
                               "Length=320", "StartDepth=64", "DepthBPNum=0", "StartRate=50", "RateBPNum=0"});
    }
}

void CVocaloidFileWriter::writeNrpn(MidiTrackData& voice) {
    const int channel = voiceIndex_;
    int pending = 0; // delta for the next pair
    int pairs = 0;
    auto cc = [&](int controller, int value) {
        addControlChange(voice, channel, controller, value & 0x7F, pending);
        pending = 0;
        ++pairs;
    };
    cc(kNrpnMsb, 0x60);
    cc(kNrpnLsb, 0x00);
    cc(kDataMsb, 0x00);
    cc(kDataLsb, 0x00);
    cc(kNrpnLsb, 0x01);
    cc(kDataMsb, 0x00);
    cc(kDataLsb, 0x00);
    cc(kNrpnLsb, 0x02);
    cc(kDataMsb, 0x00);
    cc(kNrpnMsb, 0x53);
    cc(kNrpnLsb, 0x02);
    cc(kDataMsb, voiceNumber_);

    const int count = static_cast<int>(notes_.size());
    int previousStart = 0;
    for (int i = 0; i < count; ++i) {
        pause(i);
        const SyllableRecord& entry = notes_[static_cast<std::size_t>(i)];
        int note = entry.note;
        if (note == kEndNote) {
            if (i == count - 1) break;
            reportError(ErrorClass::Vofw, errc::kVocaloidBadNote);
            note = kNoteErrorNote;
        }
        note = sungNote(note);
        // The syllable's own symbols; a list made elsewhere may carry none
        // the stream can hold, then the lyric is looked up again.
        std::string symbols = entry.phoneme;
        if (!usableSymbols(symbols)) symbols = kanaToPhonemes(entry.lyric).symbols;
        const int n = static_cast<int>(symbols.size());

        pending = entry.start - previousStart;
        previousStart = entry.start;
        pairs = 0;
        cc(kNrpnMsb, 0x50);
        cc(kNrpnLsb, 0x00);
        cc(kDataMsb, 0x00);
        cc(kDataLsb, 0x00);
        cc(kNrpnLsb, 0x01);
        cc(kDataMsb, 0x0F);
        cc(kDataLsb, 0x50);
        cc(kNrpnLsb, 0x02);
        cc(kDataMsb, note);
        const auto velocity = velocities_.find(entry.start);
        cc(kNrpnLsb, 0x03);
        cc(kDataMsb, velocity == velocities_.end() ? 0x40 : velocity->second);
        const int duration = durationMs(entry);
        cc(kNrpnLsb, 0x04);
        cc(kDataMsb, duration / 128);
        cc(kDataLsb, duration % 128);
        cc(kNrpnLsb, 0x05);
        cc(kDataMsb, 0x03);
        cc(kNrpnLsb, 0x0C);
        cc(kDataMsb, 0x00);
        cc(kDataLsb, 0x00);
        cc(kNrpnLsb, 0x0D);
        cc(kDataMsb, 0x01);
        cc(kDataLsb, 0x55);
        cc(kNrpnLsb, 0x0E);
        cc(kDataMsb, 0x2A);
        cc(kNrpnLsb, 0x12);
        cc(kDataMsb, n);
        for (int j = 0; j < n; ++j) {
            cc(kNrpnLsb, 0x13 + j);
            cc(kDataMsb, static_cast<unsigned char>(symbols[static_cast<std::size_t>(j)]));
            // The space between the two symbols of a three-character string
            // has no continuation flag.
            if (!(n == 3 && j == 1)) cc(kDataLsb, j == n - 1 ? 0 : 64);
        }
        for (int parameter = 0x4F; parameter <= 0x5A; ++parameter) {
            static constexpr int kValues[] = {0x7F, 0x0C, 0x08, 0x14, 0x1C, 0x18,
                                              0x0A, 0x0C, 0x0C, 0x00, 0x32, 0x32};
            cc(kNrpnLsb, parameter);
            cc(kDataMsb, kValues[parameter - 0x4F]);
        }
        cc(kNrpnLsb, 0x7F);
        cc(kDataMsb, 0x7F);
        if (pairs != 3 * n + 51 + (n != 3 ? 1 : 0))
            reportError(ErrorClass::Vofw, errc::kVocaloidBadEventCount);

        cc(kNrpnMsb, 0x65);
        cc(kNrpnLsb, 0x02);
        cc(kDataMsb, 0x40);
        cc(kNrpnMsb, 0x64);
        cc(kNrpnLsb, 0x02);
        cc(kDataMsb, 0x32);
    }
}

void CVocaloidFileWriter::addAccompaniment(int voiceChannel, int delayMs, int division) {
    if (!valid_) return;
    const std::map<int, int>& tempoMap = tempoMap_;
    const std::vector<int> sourceTimes = absoluteTimes(source_);
    for (int channel = 0; channel < 16; ++channel) {
        if (channel == voiceChannel) continue;
        if (tracks_.size() >= 64) break;
        tracks_.emplace_back(kTrackCapacity, TrackState::Connected);
        MidiTrackData& track = tracks_.back();
        int previous = 0;
        for (int i = 0; i < source_.count(); ++i) {
            const MusicEvent& e = source_.event(i);
            if (e.kind == kDeleted || e.channel != channel) continue;
            MusicEvent copy = e;
            copy.delta = sourceTimes[static_cast<std::size_t>(i)] - previous;
            previous = sourceTimes[static_cast<std::size_t>(i)];
            (void)track.append(std::move(copy)); // a full track reports itself
        }
        if (track.count() > 0) {
            const int lastTime = previous;
            // Placeholders mark where the tempo changes; later ones move nothing.
            for (const auto& [tick, tempo] : tempoMap) {
                if (tick > lastTime) break;
                MusicEvent mark;
                mark.kind = kDeleted;
                mark.type = 1; // ours, as opposed to a copied event
                track.insertAtTime(tick, std::move(mark), Placement::First);
            }
            const std::vector<int> times = absoluteTimes(track);
            long long applied = 0;
            std::vector<MusicEvent>& events = track.events();
            for (std::size_t i = 0; i < events.size(); ++i) {
                if (events[i].kind != kDeleted || events[i].type != 1) continue;
                const auto found = tempoMap.find(times[i]);
                if (found == tempoMap.end()) continue;
                // Ticks that delayMs last at this tempo.
                const long long wanted =
                    static_cast<long long>(division) * delayMs * 1000 / static_cast<long long>(found->second);
                long long difference =
                    std::clamp(wanted - applied, -static_cast<long long>(MidiTrackData::kMaxTicks),
                               static_cast<long long>(MidiTrackData::kMaxTicks));
                if (difference >= 0) {
                    events[i].delta = static_cast<int>(
                        std::min<long long>(events[i].delta + difference, MidiTrackData::kMaxTicks));
                    applied += difference;
                } else {
                    long long owed = -difference;
                    for (std::size_t k = i; k < events.size() && owed > 0; ++k) {
                        const long long take = std::min<long long>(owed, events[k].delta);
                        events[k].delta -= static_cast<int>(take);
                        owed -= take;
                    }
                    applied += difference + owed;
                }
            }
        }
        ensureEndOfTrack(track);
    }
}

bool CVocaloidFileWriter::save(const std::string& path) {
    if (!valid_) {
        reportError(ErrorClass::Gene, errc::kBadParameter);
        return false;
    }
    if (pauseMs_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs_));
    std::vector<std::uint8_t> image = midiHeader(1, static_cast<int>(tracks_.size()), division_);
    for (const MidiTrackData& source : tracks_) {
        MidiTrackData track = source; // the writer keeps its tracks for another save
        ensureEndOfTrack(track);
        if (!track.splitNotes() || !track.serialize("MTrk")) return false;
        if (static_cast<int>(image.size()) + track.chunk().used() > kOutputCapacity) {
            reportError(ErrorClass::M1dt, errc::kF1DataTooLarge);
            return false;
        }
        image.insert(image.end(), track.chunk().byteVector().begin(), track.chunk().byteVector().end());
    }
    ByteBuffer file(kOutputCapacity);
    (void)file.assign(image.data(),
                      static_cast<int>(image.size())); // fits: the size was checked while building
    return file.saveFile(path);
}

TestSyllableMessages testSyllableMessages(std::string_view singerName, int voiceNumber, int mode) {
    MidiTrackData source(0x10000, TrackState::Connected);
    addTempo(source, 500000);
    addNote(source, 0, 0, 60, 100, 480);
    ensureEndOfTrack(source);
    std::vector<SyllableRecord> notes(2);
    notes[0] = {0, 60, 480, "\x82\xA0", "a", 0};
    notes[1] = {480, -1, 0, {}, {}, 64};
    CVocaloidFileWriter writer(source, notes, 0, 0, singerName, voiceNumber, 0, mode, 480);
    TestSyllableMessages messages;
    if (!writer.valid() || writer.tracks().size() < 2) return messages;
    MidiTrackData voice = writer.tracks()[1];
    if (voice.state() == TrackState::Connected)
        (void)voice.splitNotes(); // cannot fail: the state was just checked
    for (const MusicEvent& e : voice.events()) {
        if (!e.isChannelEvent()) continue;
        const bool starts =
            e.kind == kProgramChange || e.isNoteOn() || (e.isControl(kNrpnMsb) && e.value == 0x50);
        if (e.kind == kNoteOff || (e.kind == kNoteOn && e.velocity == 0))
            messages.release.push_back(e);
        else if (messages.note.empty() && !starts)
            messages.setup.push_back(e);
        else
            messages.note.push_back(e);
    }
    return messages;
}

bool writeSungPart(const CXfData& song, const std::vector<SyllableRecord>& syllables, int delayMs,
                   const VoiceList* voices, bool cantrix, const std::string& path, int pauseMs) {
    if (!voices || !voices->hasList()) {
        reportError(ErrorClass::Vofw, errc::kVocaloidNoSingerList);
        return false;
    }
    MidiTrackData source = song.track();
    if (source.state() == TrackState::NoteOnOff)
        (void)source.connectNotes(); // cannot fail: the state was just checked
    constexpr int kVoiceIndex = 0;   // the melody sings on channel 1
    CVocaloidFileWriter writer(source, syllables, pauseMs, kVoiceIndex, voices->first().name,
                               voices->first().program, 0, cantrix ? kSyllableProgramMode : kVocaloidMode,
                               song.division());
    if (!writer.valid()) return false;
    writer.addAccompaniment(kVoiceIndex, delayMs, song.division());
    return writer.save(path);
}

} // namespace harmolin
