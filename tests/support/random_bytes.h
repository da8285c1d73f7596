// Bytes that do not compress, the same for the same seed.
#ifndef SFX_TESTS_SUPPORT_RANDOM_BYTES_H
#define SFX_TESTS_SUPPORT_RANDOM_BYTES_H

#include <random>
#include <string>

inline std::string RandomBytes(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

#endif
