#pragma once

#include <cstdint>
#include <vector>

namespace bench {

// splitmix64: our own generator, so every workload comes out byte for byte the same on any
// library and platform (the standard distributions are implementation-defined).
class Random {
public:
    explicit Random(std::uint64_t seed)
        : m_state(seed)
    {
    }

    std::uint64_t Next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Uniform in [0, n); the modulo bias is far below anything the workloads could show.
    std::uint64_t Below(std::uint64_t n) { return Next() % n; }
    double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
    bool Chance(double p) { return Unit() < p; }

    template <class T> const T& Pick(const std::vector<T>& items)
    {
        return items[Below(items.size())];
    }

private:
    std::uint64_t m_state;
};

} // namespace bench
