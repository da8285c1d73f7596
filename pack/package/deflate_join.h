// Deflate streams compressed apart, made to follow one another in one
// stream: each but the last has no block marked as the last and ends, as
// zlib's sync flush ends, with an empty stored block that brings it to a
// byte boundary. libdeflate (patched) ends them so itself; zopfli says how
// many bits of its last byte it used, and the block is added here.
#ifndef SFX_PACK_DEFLATE_JOIN_H
#define SFX_PACK_DEFLATE_JOIN_H

#include <cstdint>
#include <vector>

// Ends a stream whose last block is not the final one and that uses
// `bitsUsed` bits of its last byte (0: all of them) with an empty stored
// block: three zero bits, zeros to the byte's end, then 00 00 FF FF.
void EndWithEmptyStoredBlock(std::vector<uint8_t>* stream, unsigned bitsUsed);

#endif
