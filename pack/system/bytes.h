// A block of bytes, as files are read and written whole.
#ifndef SFX_PACK_SYSTEM_BYTES_H
#define SFX_PACK_SYSTEM_BYTES_H

#include <cstdint>
#include <vector>

using Bytes = std::vector<uint8_t>;

#endif
