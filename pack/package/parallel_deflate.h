// One zlib stream compressed on several threads: the input is cut into
// blocks of a fixed size, each compressed on its own (by libdeflate, in
// blocks of 1 MiB; by zopfli, in blocks of 256 KiB primed with the 32 KiB
// before them; stored by zlib at level 0) and ended on a byte boundary as a sync flush ends, so
// that the pieces join into one deflate stream; the last block ends the
// stream, and the Adler-32 of the blocks is combined. The bytes depend on
// the input, the level and the versions of the libraries only, never on the
// number of threads. Memory is bounded: a few blocks per thread are in
// flight at any time.
#ifndef SFX_PACK_PARALLEL_DEFLATE_H
#define SFX_PACK_PARALLEL_DEFLATE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Level 10 is libdeflate's near-optimal parsing (its level 11); level 11 is
// zopfli's, the smallest deflate stream it can find, far slower.
constexpr int kStrongestLibdeflateLevel = 10;
constexpr int kZopfliLevel = 11;

struct ParallelDeflateJob {
    uint64_t size = 0;   // bytes of input
    int level = -1;      // 0 (stored) to kZopfliLevel, -1 for the default (6)
    int iterations = 15;  // zopfli's rounds of optimisation for each block
    unsigned threads = 1;
    // Reads `count` bytes of the input at `offset` into `out`; called from
    // several threads at once. Returns false with the reason in *error.
    std::function<bool(uint64_t offset, uint8_t* out, size_t count, std::string* error)> read;
    // Takes the next piece of the stream, in order, on one thread at a time.
    std::function<bool(const uint8_t* bytes, size_t count, std::string* error)> write;
    // Bytes of input compressed and written so far; from the writing thread.
    std::function<void(uint64_t done, uint64_t total)> progress;
};

// Writes the whole zlib stream, header and Adler-32 included, through
// job.write. On failure returns false with the reason in *error.
bool DeflateInParallel(const ParallelDeflateJob& job, std::string* error);

#endif
