// How much faster than real time the voice sings on one core: a minute of
// syllables of every kind, rendered in the host's 882-sample blocks. Timed
// by the thread's own processor time, so that other work on the machine
// does not count against it (the wall clock is printed beside it).
#include "voice/ControlStream.h"
#include "voice/Phonemes.h"
#include "voice/Synth.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>
#include <xmmintrin.h>

int main() {
    constexpr float kRate = 44100.0f;
    constexpr int kBlock = 882;
    constexpr double kSeconds = 60.0;
    auto synth = std::make_unique<hvoice::Synth>();
    synth->setSampleRate(kRate);

    // One syllable every 300 ms, walking the syllable numbers and a scale.
    struct Timed {
        long long frame;
        hvoice::VoiceCommand command;
    };
    std::vector<Timed> commands;
    int number = 0;
    for (double t = 0; t < kSeconds; t += 0.3, ++number) {
        hvoice::VoiceCommand c;
        c.kind = hvoice::VoiceCommand::Kind::Sing;
        c.note = static_cast<std::uint8_t>(57 + (number * 5) % 17);
        c.durationMs = 280;
        const std::string_view s = hvoice::syllableSymbols(number % 103);
        c.symbolCount = static_cast<std::uint8_t>(s.size());
        std::copy(s.begin(), s.end(), c.symbols.begin());
        commands.push_back({static_cast<long long>(t * kRate), c});
    }

    std::vector<float> block(kBlock);
    const long long total = static_cast<long long>(kSeconds * kRate);
    std::size_t next = 0;
    double checksum = 0;
    auto cpuNow = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
    };
    // Tiny values flushed to zero, as the plug-in runs the voice.
    _mm_setcsr(_mm_getcsr() | 0x8040);
    const double cpuStart = cpuNow();
    const auto start = std::chrono::steady_clock::now();
    for (long long pos = 0; pos < total; pos += kBlock) {
        const int n = static_cast<int>(std::min<long long>(kBlock, total - pos));
        while (next < commands.size() && commands[next].frame < pos + n) {
            synth->schedule(commands[next].command, static_cast<int>(commands[next].frame - pos));
            ++next;
        }
        synth->render(block.data(), n);
        checksum += block[0];
    }
    const double cpu = cpuNow() - cpuStart;
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("voice: %.1f s of singing in %.3f s of one core: %.0fx real time (wall clock %.3f s; "
                "checksum %.3f)\n",
                kSeconds, cpu, kSeconds / cpu, elapsed, checksum);
    return 0;
}
