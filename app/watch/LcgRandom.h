#pragma once

#include <cstdint>

namespace app {

// The watch cycle's pseudo-random generator: a 32-bit linear congruential
// generator that always starts from seed 0 and is never seeded from the clock,
// so every run of the program draws the same sequence of prompt lines.
class LcgRandom {
public:
    // A number in 0 .. range - 1, or 0 when range is not positive. Every call
    // advances the sequence, also one with an empty range.
    int32_t Random(int32_t range) noexcept {
        FSeed = FSeed * 134775813u + 1u;
        if (range <= 0)
            return 0;
        return static_cast<int32_t>((static_cast<uint64_t>(FSeed) * static_cast<uint32_t>(range)) >>
                                    32);
    }

    uint32_t Seed() const noexcept { return FSeed; }
    void SetSeed(uint32_t seed) noexcept { FSeed = seed; }

private:
    uint32_t FSeed = 0;
};

}  // namespace app
