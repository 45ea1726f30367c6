// Engine events: chords, notes, texts and control values laid one after
// another (each event's length is the time to the next; there is no
// absolute time).
#pragma once

#include "engine/Chords.h"

#include <array>
#include <string_view>
#include <vector>

namespace harmolin {

enum EngineEventKind : int { kEngineChord = 0, kEngineText = 1, kEngineControl = 2, kEngineNote = 144 };

struct EngineEvent {
    int length = 0;
    int value = 0; // note number (0 = rest) or control value
    int kind = kEngineNote;
    ChordCode code;                           // chord events
    std::array<char, 4> text{'0', '0', 0, 0}; // slash text (chords) or four characters (texts)
};

class EventList {
  public:
    static constexpr int kCapacity = 16384;

    [[nodiscard]] int count() const { return static_cast<int>(events_.size()); }
    const EngineEvent& operator[](int i) const { return events_[static_cast<std::size_t>(i)]; }
    EngineEvent& operator[](int i) { return events_[static_cast<std::size_t>(i)]; }
    [[nodiscard]] const std::vector<EngineEvent>& events() const { return events_; }
    [[nodiscard]] auto begin() const { return events_.begin(); }
    [[nodiscard]] auto end() const { return events_.end(); }

    void appendChord(const ChordRecord& chord); // length, code copy, slash text
    void appendChord(int length, ChordCode code, std::string_view slash = "00");
    void appendNote(int length, int note);
    void appendControl(int length, int value);
    void appendText(int length, std::string_view fourCharacters);
    void appendCopy(const EngineEvent& event);
    void copyFrom(const EventList& other);
    void clear() { events_.clear(); }

  private:
    [[nodiscard]] bool roomFor(bool reportFull);
    std::vector<EngineEvent> events_;
};

} // namespace harmolin
