#include "pack/package/deflate_join.h"

#include <zlib.h>

namespace {

// Where the final block starts and where the stream ends, in bits from its
// first byte; found by zlib's inflate, which returns at the end of each
// block when asked to (Z_BLOCK), says whether that block was the final one
// and how many bits of the last byte it took are not yet used. (Once past
// the final block, it drops those bits: its end is read before.)
struct FinalBlock {
    uint64_t start = 0;
    uint64_t end = 0;
};

class BlockWalker {
public:
    BlockWalker() { ok_ = inflateInit2(&stream_, /*raw deflate=*/-15) == Z_OK; }
    bool Ready() const { return ok_; }
    bool OutOfMemory() const { return outOfMemory_; }
    ~BlockWalker() { inflateEnd(&stream_); }
    BlockWalker(const BlockWalker&) = delete;
    BlockWalker& operator=(const BlockWalker&) = delete;

    // The bytes inflated pass through `window` and are dropped: zlib keeps
    // the 32 KiB that later matches may reach back to.
    bool Walk(const std::vector<uint8_t>& input, size_t inflatedSize, std::vector<uint8_t>& window,
              FinalBlock* found)
    {
        if (!ok_)
            return false;
        stream_.next_in = const_cast<uint8_t*>(input.data());  // zlib only reads it
        stream_.avail_in = static_cast<uInt>(input.size());
        bool ended = false;
        for (;;) {
            if (stream_.avail_out == 0) {
                stream_.next_out = window.data();
                stream_.avail_out = static_cast<uInt>(window.size());
            }
            const int code = inflate(&stream_, Z_BLOCK);
            if (code == Z_STREAM_END)
                return ended && stream_.total_out == inflatedSize;
            outOfMemory_ = code == Z_MEM_ERROR;  // its window, taken once it is needed
            if (code != Z_OK)
                return false;
            const bool atEndOfBlock = stream_.data_type & 128, finalBlock = stream_.data_type & 64;
            if (atEndOfBlock && finalBlock) {
                found->end = BitsTaken(input);
                ended = true;
            } else if (atEndOfBlock) {
                found->start = BitsTaken(input);  // where the next block starts
            }
        }
    }

private:
    uint64_t BitsTaken(const std::vector<uint8_t>& input) const
    {
        return uint64_t{input.size() - stream_.avail_in} * 8 - (stream_.data_type & 7);
    }

    z_stream stream_{};
    bool ok_ = false;
    bool outOfMemory_ = false;
};

}  // namespace

void EndWithEmptyStoredBlock(std::vector<uint8_t>* stream, unsigned bitsUsed)
{
    if (bitsUsed == 0 || bitsUsed > 5)
        stream->push_back(0);  // the three bits start or spill into a byte of their own
    stream->insert(stream->end(), {0x00, 0x00, 0xFF, 0xFF});
}

bool MakeJoinable(std::vector<uint8_t>* stream, size_t inflatedSize, std::vector<uint8_t>* scratch,
                  std::string* error)
{
    scratch->resize(64 * 1024);
    FinalBlock final;
    BlockWalker walker;
    if (!walker.Ready()) {
        *error = "out of memory while compressing";
        return false;
    }
    if (!walker.Walk(*stream, inflatedSize, *scratch, &final) || final.end > uint64_t{stream->size()} * 8) {
        *error = walker.OutOfMemory() ? "out of memory while compressing"
                                      : "a compressed block that does not inflate to its bytes";
        return false;
    }
    (*stream)[final.start / 8] &= static_cast<uint8_t>(~(1u << (final.start % 8)));  // BFINAL, the header's first bit
    const unsigned bitsUsed = static_cast<unsigned>(final.end % 8);
    stream->resize(static_cast<size_t>((final.end + 7) / 8));
    if (bitsUsed > 0)
        stream->back() &= static_cast<uint8_t>((1u << bitsUsed) - 1);  // the empty block's bits are zeros
    EndWithEmptyStoredBlock(stream, bitsUsed);
    return true;
}
