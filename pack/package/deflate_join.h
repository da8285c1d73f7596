// Deflate streams compressed apart, made to follow one another in one
// stream: each but the last loses the final mark of its last block and ends,
// as zlib's sync flush ends, with an empty stored block that brings it to a
// byte boundary.
#ifndef SFX_PACK_DEFLATE_JOIN_H
#define SFX_PACK_DEFLATE_JOIN_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Ends a stream whose last block is not the final one and that uses
// `bitsUsed` bits of its last byte (0: all of them) with an empty stored
// block: three zero bits, zeros to the byte's end, then 00 00 FF FF.
void EndWithEmptyStoredBlock(std::vector<uint8_t>* stream, unsigned bitsUsed);

// Makes `stream`, a whole raw deflate stream that inflates to `inflatedSize`
// bytes, one that another stream may follow: its last block is no longer
// the final one, and it ends with an empty stored block. The blocks are
// found by inflating it through `scratch`, a window of 64 KiB. False, with
// the reason in *error, when the stream is not sound or inflates to another
// size.
bool MakeJoinable(std::vector<uint8_t>* stream, size_t inflatedSize, std::vector<uint8_t>* scratch,
                  std::string* error);

#endif
