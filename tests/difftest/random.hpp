// The seeded random numbers of the differential tools: the same seed gives
// the same numbers on every machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace difftest {

// splitmix64: small, fast and the same on every machine.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // A number in [0, n); n must be positive.
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
    int range(int lo, int hi) { return lo + static_cast<int>(below(static_cast<std::size_t>(hi - lo + 1))); }
    bool chance(int percent) { return below(100) < static_cast<std::size_t>(percent); }
    template <typename T, std::size_t N>
    const T& pick(const T (&items)[N]) { return items[below(N)]; }
    template <typename T>
    const T& pick(const std::vector<T>& items) { return items[below(items.size())]; }

private:
    std::uint64_t state_;
};

}  // namespace difftest
