// Text-like bytes with some noise, as installers' data files often are: they
// compress about 6:1 at zlib's default level. The same for the same seed.
#ifndef SFX_TESTS_BENCH_TEXT_LIKE_PAYLOAD_H
#define SFX_TESTS_BENCH_TEXT_LIKE_PAYLOAD_H

#include <iterator>
#include <random>
#include <string>

inline std::string MakeTextLikePayload(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    const char* words[] = {"setup ", "data ", "file ", "install ", "the ", "of ", "Quillmoor ", "\r\n",
                           "version ", "1.0.0.2 ", "resource ", "0x78 ", "window "};
    std::string payload;
    payload.reserve(size + 16);
    while (payload.size() < size) {
        payload += words[random() % std::size(words)];
        if (random() % 16 == 0)
            payload += static_cast<char>(random());
    }
    payload.resize(size);
    return payload;
}

#endif
