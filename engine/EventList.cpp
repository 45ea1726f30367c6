#include "engine/EventList.h"

#include "engine/EngineErrors.h"

#include <algorithm>

namespace harmolin {

bool EventList::roomFor(bool reportFull) {
    if (count() >= kCapacity) return false;
    if (reportFull && count() == kCapacity - 1) reportEngineError(engine_error::kNoMoreNotes);
    return true;
}

void EventList::appendChord(const ChordRecord& chord) {
    appendChord(chord.length, chord.codeCopy, std::string_view(chord.slash.data(), 2));
}

void EventList::appendChord(int length, ChordCode code, std::string_view slash) {
    if (!roomFor(false)) return;
    EngineEvent e;
    e.kind = kEngineChord;
    e.length = length;
    e.code = code;
    e.text = {'0', '0', 0, 0};
    for (std::size_t i = 0; i < 2 && i < slash.size(); ++i)
        e.text[i] = slash[i];
    events_.push_back(e);
}

void EventList::appendNote(int length, int note) {
    if (!roomFor(true)) return;
    EngineEvent e;
    e.kind = kEngineNote;
    e.length = length;
    e.value = note;
    events_.push_back(e);
}

void EventList::appendControl(int length, int value) {
    if (!roomFor(true)) return;
    EngineEvent e;
    e.kind = kEngineControl;
    e.length = length;
    e.value = value;
    events_.push_back(e);
}

void EventList::appendText(int length, std::string_view fourCharacters) {
    if (!roomFor(true)) return;
    EngineEvent e;
    e.kind = kEngineText;
    e.length = length;
    e.text = {' ', ' ', ' ', ' '};
    std::copy_n(fourCharacters.begin(), std::min<std::size_t>(4, fourCharacters.size()), e.text.begin());
    events_.push_back(e);
}

void EventList::appendCopy(const EngineEvent& event) {
    if (!roomFor(event.kind != kEngineChord)) return;
    events_.push_back(event);
}

void EventList::copyFrom(const EventList& other) {
    if (&other == this) return;
    clear();
    for (const auto& e : other.events_)
        appendCopy(e);
}

} // namespace harmolin
