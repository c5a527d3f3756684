// Bytes for the core tests: random ones from a seeded generator, so that a
// failure repeats.
#pragma once

#include <cstddef>
#include <random>
#include <vector>

using Bytes = std::vector<unsigned char>;

inline Bytes RandomBytes(std::mt19937& rng, std::size_t n)
{
    Bytes d(n);
    for (auto& v : d)
        v = static_cast<unsigned char>(rng());
    return d;
}
