#include "pack/package/deflate_join.h"

void EndWithEmptyStoredBlock(std::vector<uint8_t>* stream, unsigned bitsUsed)
{
    if (bitsUsed == 0 || bitsUsed > 5)
        stream->push_back(0);  // the three bits start or spill into a byte of their own
    stream->insert(stream->end(), {0x00, 0x00, 0xFF, 0xFF});
}
