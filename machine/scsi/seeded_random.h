#pragma once
// A small deterministic random source (splitmix64): the same seed gives the same sequence on
// every machine and library, which <random>'s distributions do not promise. Used wherever a
// run has to be replayed from its seed.

#include <cstdint>
#include <span>

namespace orvo::scsi {

class SeededRandom {
public:
    explicit SeededRandom(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, bound); 0 for a bound of 0. The slight bias of the modulo does not matter
    // for bounds this small against 64 bits.
    std::uint64_t below(std::uint64_t bound) { return bound == 0 ? 0 : next() % bound; }
    // Uniform in [low, high].
    std::uint64_t between(std::uint64_t low, std::uint64_t high) { return low + below(high - low + 1); }
    // True with probability percent / 100.
    bool chance(unsigned percent) { return below(100) < percent; }
    std::uint8_t byte() { return static_cast<std::uint8_t>(next()); }
    void fill(std::span<std::uint8_t> bytes) {
        for (std::uint8_t& b : bytes) b = byte();
    }
    // An index into weights, each chosen in proportion to its weight (0 when all are 0).
    template <class Weights>
    std::size_t weighted(const Weights& weights) {
        std::uint64_t total = 0;
        for (const auto w : weights) total += w;
        std::uint64_t pick = below(total);
        std::size_t i = 0;
        for (const auto w : weights) {
            if (pick < w) return i;
            pick -= w;
            ++i;
        }
        return 0;
    }

private:
    std::uint64_t state_;
};

} // namespace orvo::scsi
