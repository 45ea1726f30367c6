// Helpers shared by the unit tests: a collecting presenter and builders of
// raw MIDI bytes.
#pragma once

#include "base/ErrorReport.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace harmolin::test {

// Collects every reporter line while it lives.
class CollectReports {
  public:
    CollectReports() {
        resetAllLatchesForTesting();
        previous_ = setPresenter([this](const ReportLine& l) { lines.push_back(l); });
    }
    ~CollectReports() { (void)setPresenter(previous_); } // ours, done with
    bool saw(const std::string& text) const {
        for (const auto& l : lines)
            if (l.text == text) return true;
        return false;
    }
    // Raised as a message of its own (shown at once), not held for an error.
    bool sawMessage(const std::string& text) const {
        for (const auto& l : lines)
            if (l.text == text && l.severity == Severity::Message) return true;
        return false;
    }
    bool sawCode(std::uint32_t code) const {
        for (const auto& l : lines)
            if (l.code == code && l.severity != Severity::Notice) return true;
        return false;
    }
    std::vector<ReportLine> lines;

  private:
    Presenter previous_;
};

using Bytes = std::vector<std::uint8_t>;

inline void append(Bytes& out, std::initializer_list<int> bytes) {
    for (int b : bytes)
        out.push_back(static_cast<std::uint8_t>(b));
}

inline void append32(Bytes& out, std::uint32_t v) {
    append(out, {int(v >> 24) & 0xFF, int(v >> 16) & 0xFF, int(v >> 8) & 0xFF, int(v) & 0xFF});
}

inline Bytes chunk(const char* name, const Bytes& body) {
    Bytes out(name, name + 4);
    append32(out, static_cast<std::uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

inline Bytes header(int format, int tracks, int division) {
    Bytes out = {'M', 'T', 'h', 'd'};
    append32(out, 6);
    append(out, {0, format, 0, tracks, (division >> 8) & 0xFF, division & 0xFF});
    return out;
}

inline Bytes smf(int format, int division, std::initializer_list<Bytes> trackBodies) {
    Bytes out = header(format, static_cast<int>(trackBodies.size()), division);
    for (const auto& body : trackBodies) {
        Bytes c = chunk("MTrk", body);
        out.insert(out.end(), c.begin(), c.end());
    }
    return out;
}

std::string tempPath(const std::string& name);

} // namespace harmolin::test
