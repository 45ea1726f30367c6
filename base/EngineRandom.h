// The engine's one random generator: a linear congruential generator whose
// value is bits 16 to 30 of the state, as every composition draws from it.
#pragma once

#include <cstdint>

namespace harmolin {

class EngineRandom {
  public:
    void seed(std::uint32_t seed) { state_ = seed; }
    [[nodiscard]] std::uint32_t state() const { return state_; }

    // 0 to 32767.
    [[nodiscard]] int next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFF);
    }

    // A whole number in the closed range between a and b (either order);
    // a == b returns a without a draw.
    [[nodiscard]] int randRange(int a, int b) {
        if (a == b) return a;
        const int low = a < b ? a : b;
        const int high = a < b ? b : a;
        return low + static_cast<int>(static_cast<unsigned>(next()) % static_cast<unsigned>(high - low + 1));
    }

    // 1..n each with probability 1/(n+2); def gains 2/(n+2) more.
    [[nodiscard]] int pickOrDefault(int def, int n) {
        const int r = randRange(1, n + 2);
        return r > n ? def : r;
    }

    // True with probability 1/n (a "1-in-n draw").
    [[nodiscard]] bool oneIn(int n) { return randRange(1, n) == 1; }

  private:
    std::uint32_t state_ = 1;
};

} // namespace harmolin
