// Writes the sung part for a singing plug-in: a format-1 file with a master
// track (tempo map), the voice track and one track per accompaniment channel,
// the accompaniment delayed so that it lines up with the voice.
//
// The voice track has two forms: the VOCALOID2 sequence (INI-like text in
// "DM:" text events, then the same notes as NRPN control changes), or plain
// notes each preceded by a program change naming its syllable.
#pragma once

#include "lyrics/Syllable.h"
#include "midi/MidiTrackData.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace harmolin {

class CXfData;
class VoiceList;

inline constexpr int kVocaloidMode = 0;
inline constexpr int kSyllableProgramMode = 1;

class CVocaloidFileWriter {
  public:
    static constexpr int kOutputCapacity = 0xF0000;
    // Four 4/4 measures at 480 ticks ahead of the first note ("PreMeasure=4").
    static constexpr int kPreMeasureTicks = 7680;

    // Builds the master and voice tracks. source is a connected track;
    // singerName is CP932. division is the source's (480 for prepared songs):
    // the output keeps it so that every track stays in time.
    CVocaloidFileWriter(const MidiTrackData& source, const std::vector<SyllableRecord>& notes, int pauseMs,
                        int voiceIndex, std::string_view singerName, int voiceNumber, int octaveShift,
                        int mode, int division = 480);
    virtual ~CVocaloidFileWriter();
    CVocaloidFileWriter(const CVocaloidFileWriter&) = delete;
    CVocaloidFileWriter& operator=(const CVocaloidFileWriter&) = delete;

    // One track per channel other than the voice's, delayed by delayMs through
    // the source's tempo map.
    void addAccompaniment(int voiceChannel, int delayMs, int division);

    // Writes the file through a temporary file; false (reported) when the
    // writer was refused its input or the file cannot be made.
    [[nodiscard]] bool save(const std::string& path);

    [[nodiscard]] bool valid() const { return valid_; }
    [[nodiscard]] const std::vector<MidiTrackData>& tracks() const { return tracks_; }
    [[nodiscard]] int division() const { return division_; }

  private:
    void writeMaster();
    void writeSyllablePrograms(MidiTrackData& voice);
    void writeSequenceText(MidiTrackData& voice);
    void writeNrpn(MidiTrackData& voice);
    void writeTextGroup(MidiTrackData& voice, const std::vector<std::string>& lines);
    [[nodiscard]] int sungNote(int note) const;
    [[nodiscard]] int durationMs(const SyllableRecord& entry) const;
    void pause(int index) const;

    const MidiTrackData& source_;
    std::vector<SyllableRecord> notes_; // lengths cut to the next start
    int pauseMs_;
    int voiceIndex_;
    std::string singer_;
    int voiceNumber_;
    int octaveShift_;
    std::map<int, int> tempoMap_;   // tick -> tempo as the written file plays it
    std::map<int, int> velocities_; // tick -> velocity of the melody's notes
    int mode_;
    int division_;
    int textCounter_ = 0;
    bool valid_ = true;
    std::vector<MidiTrackData> tracks_;
};

// The largest note duration the control stream can carry (14 bits, ms).
inline constexpr int kMaxNoteDurationMs = 0x3FFF;

// The messages of the delay measurement's test syllable: "あ" on middle C
// for 500 ms, in the form mode names (kVocaloidMode: the control stream;
// kSyllableProgramMode: a syllable program and a note). A bare vowel, so that
// its first sound is where a vowel lands, whatever the plug-in does before a
// consonant. Split into the set-up (the singer's choice), the note itself and
// its release; note is empty when the writer refuses.
struct TestSyllableMessages {
    std::vector<MusicEvent> setup, note, release;
};
[[nodiscard]] TestSyllableMessages testSyllableMessages(std::string_view singerName, int voiceNumber,
                                                        int mode = kVocaloidMode);

// The pipeline's whole step: the XF song's track, its syllables, the delay
// correction, the first singer of the list and the plug-in kind (a Cantrix
// plug-in takes syllable programs). Without a singer list nothing is written.
[[nodiscard]] bool writeSungPart(const CXfData& song, const std::vector<SyllableRecord>& syllables,
                                 int delayMs, const VoiceList* voices, bool cantrix, const std::string& path,
                                 int pauseMs = 0);

} // namespace harmolin
