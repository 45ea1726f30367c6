// What the test plug-in remembers of the host's calls, read by the host tests
// through effVendorSpecific with index kLogRequest.
#pragma once

#include "base/VstInterface.h"

#include <cstdint>

namespace harmolin::testplugin {

inline constexpr std::int32_t kLogRequest = 0x4C6F6721; // 'Log!'

struct DispatchRecord {
    std::int32_t opcode;
    std::intptr_t value;
    float opt;
};

struct EventRecord {
    std::int64_t at; // frames processed before the block + delta
    std::int32_t deltaFrames;
    std::int32_t byteSize;
    std::uint8_t midi[4];
};

struct Log {
    static constexpr int kMaxDispatches = 256;
    static constexpr int kMaxEvents = 20000;
    DispatchRecord dispatches[kMaxDispatches];
    int dispatchCount = 0;
    EventRecord events[kMaxEvents];
    int eventCount = 0;
    int blocks = 0;
    int largestBlock = 0;
    std::int64_t framesProcessed = 0;
    int program = -1;
    bool suspended = true;
    vst::HostCallback host = nullptr;
};

} // namespace harmolin::testplugin
