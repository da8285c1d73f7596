#include "pack/package/parallel_deflate.h"

#include <zlib.h>
#include <zopfli/deflate.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <new>
#include <optional>
#include <vector>

#include "pack/system/platform.h"
#include "pack/system/threads.h"

namespace {

constexpr size_t kDictionarySize = 32 * 1024;  // deflate's window

// What a thread compressing takes at most, besides its own address space.
// Zopfli allocates without checking, and a thread that could not have what it
// asks for would crash the packer, so no more threads start than the address
// space holds. Measured as the peak address space of one thread on a block of
// 256 KiB: 34 MB for bytes that do not compress (a symbol for every byte, the
// most), 17 MB for text; with the thread's buffers and some room, 40 MiB.
// zlib's state at memLevel 8 takes about 270 KiB; with the block, its
// dictionary and the pieces in flight, 2 MiB is room enough.
uint64_t WorkingMemoryOfAThread(int level)
{
    return level == kZopfliLevel ? uint64_t{40} << 20 : uint64_t{2} << 20;
}

// How many of `wanted` threads may compress at `level`: the calling thread
// needs its working memory, each other one that and a thread's own address
// space. 0, with the reason in *error, when not even one fits.
unsigned ThreadsThatFit(int level, unsigned wanted, std::string* error)
{
    const std::optional<uint64_t> left = AddressSpaceLeft();
    if (!left)
        return wanted;
    const uint64_t working = WorkingMemoryOfAThread(level);
    if (*left < working) {
        *error = "out of memory for level " + std::to_string(level < 0 ? 6 : level) + ": " +
                 (level == kZopfliLevel ? "zopfli" : "zlib") + " needs " + std::to_string(working >> 20) +
                 " MiB of address space for a thread, and " + std::to_string(*left >> 20) + " MiB are left";
        return 0;
    }
    const uint64_t more = (*left - working) / (working + AddressSpaceOfAThread());
    return static_cast<unsigned>(std::min<uint64_t>(wanted, 1 + more));
}

// One compressed block, waiting for its turn to be written.
struct Piece {
    bool ready = false;
    std::vector<uint8_t> bytes;
    uint32_t adler = 0;
    uint32_t length = 0;
};

// A block compressed by zopfli, which primes it with the bytes before
// `start` as zlib does with a dictionary. A block that is not the last ends
// with an empty stored block, as a sync flush does: three zero bits, zeros
// to the byte's end, then 00 00 FF FF.
void DeflateWithZopfli(const std::vector<uint8_t>& input, size_t start, bool last, int iterations,
                       std::vector<uint8_t>* out)
{
    ZopfliOptions options;
    ZopfliInitOptions(&options);
    options.numiterations = iterations;
    // Up to 15 Huffman blocks for each 128 KiB, as other tools split: the
    // default of 15 in all would make a 256 KiB block's coarser.
    options.blocksplittingmax = 30;
    unsigned char bits = 0;  // used in the last byte
    unsigned char* compressed = nullptr;
    size_t size = 0;
    ZopfliDeflatePart(&options, /*btype=*/2, last ? 1 : 0, input.data(), start, input.size(), &bits, &compressed,
                      &size);
    out->assign(compressed, compressed + size);
    std::free(compressed);
    if (last)
        return;
    if (bits == 0 || bits > 5)
        out->push_back(0);  // the three bits start or spill into a byte of their own
    out->insert(out->end(), {0x00, 0x00, 0xFF, 0xFF});
}

// A thread's own deflater and buffers, reused block after block.
class BlockCompressor {
public:
    BlockCompressor(int level, int iterations) : zopfli_(level == kZopfliLevel), iterations_(iterations)
    {
        ok_ = deflateInit2(&stream_, zopfli_ ? Z_DEFAULT_COMPRESSION : level, Z_DEFLATED, /*raw deflate=*/-15,
                           /*memLevel=*/8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~BlockCompressor() { deflateEnd(&stream_); }
    BlockCompressor(const BlockCompressor&) = delete;
    BlockCompressor& operator=(const BlockCompressor&) = delete;

    bool Compress(const ParallelDeflateJob& job, uint64_t index, Piece* piece, std::string* error)
    {
        const uint64_t start = index * kParallelDeflateBlock;
        const uint64_t end = std::min<uint64_t>(start + kParallelDeflateBlock, job.size);
        const size_t dictionary = static_cast<size_t>(std::min<uint64_t>(start, kDictionarySize));
        input_.resize(dictionary + static_cast<size_t>(end - start));
        if (!ok_ || deflateReset(&stream_) != Z_OK) {
            *error = "zlib could not start compressing";
            return false;
        }
        if (!job.read(start - dictionary, input_.data(), input_.size(), error))
            return false;
        if (dictionary > 0)
            deflateSetDictionary(&stream_, input_.data(), static_cast<uInt>(dictionary));
        piece->length = static_cast<uint32_t>(end - start);
        piece->adler = static_cast<uint32_t>(adler32(adler32(0, nullptr, 0), input_.data() + dictionary,
                                                     static_cast<uInt>(piece->length)));
        if (zopfli_) {
            DeflateWithZopfli(input_, dictionary, end == job.size, iterations_, &piece->bytes);
            return true;
        }
        return Deflate(input_.data() + dictionary, piece->length, end == job.size, &piece->bytes, error);
    }

private:
    // A sync flush ends the block on a byte boundary; the last block ends the stream.
    bool Deflate(uint8_t* data, uint32_t length, bool last, std::vector<uint8_t>* out, std::string* error)
    {
        out->resize(deflateBound(&stream_, length) + 16);
        stream_.next_in = data;
        stream_.avail_in = length;
        size_t used = 0;
        const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
        for (;;) {  // until deflate has taken everything and had room to spare
            stream_.next_out = out->data() + used;
            stream_.avail_out = static_cast<uInt>(out->size() - used);
            const int code = deflate(&stream_, flush);
            used = out->size() - stream_.avail_out;
            if (code == Z_STREAM_ERROR) {
                *error = "zlib failed while compressing";
                return false;
            }
            if (last ? code == Z_STREAM_END : stream_.avail_out > 0 && stream_.avail_in == 0)
                break;
            out->resize(out->size() * 2);
        }
        out->resize(used);
        return true;
    }

    z_stream stream_{};
    bool zopfli_;
    int iterations_;
    bool ok_;
    std::vector<uint8_t> input_;
};

// The state the threads share. Every thread does the same: writes the next
// piece when it is ready and nobody is writing, or else compresses the next
// block when the pieces in flight leave room, or else waits.
class Pipeline {
public:
    Pipeline(const ParallelDeflateJob& job, unsigned threads)
        : job_(job),
          blocks_((job.size + kParallelDeflateBlock - 1) / kParallelDeflateBlock),
          pieces_(2 * threads + 2)
    {
    }

    void Work()
    {
        BlockCompressor compressor(job_.level, job_.iterations);
        MonitorLock lock(monitor_);
        while (!failed_ && written_ < blocks_) {
            Piece& next = pieces_[written_ % pieces_.size()];
            if (next.ready && !writing_) {
                WriteNext(next);
            } else if (claimed_ < blocks_ && claimed_ < written_ + pieces_.size()) {
                CompressNext(compressor);
            } else {
                monitor_.Wait();
            }
        }
    }

    bool Finish(std::string* error)
    {
        if (failed_) {
            *error = error_;
            return false;
        }
        const uint8_t trailer[4] = {static_cast<uint8_t>(adler_ >> 24), static_cast<uint8_t>(adler_ >> 16),
                                    static_cast<uint8_t>(adler_ >> 8), static_cast<uint8_t>(adler_)};
        return job_.write(trailer, sizeof trailer, error);
    }

private:
    // Called and returning with the lock held; works without it.
    void WriteNext(Piece& piece)
    {
        writing_ = true;
        monitor_.Unlock();
        std::string error;
        const bool written = Guarded([&] { return job_.write(piece.bytes.data(), piece.bytes.size(), &error); }, &error);
        adler_ = static_cast<uint32_t>(adler32_combine(adler_, piece.adler, piece.length));
        done_ += piece.length;
        if (written && job_.progress)
            job_.progress(done_, job_.size);
        monitor_.Lock();
        writing_ = false;
        piece = Piece{};
        ++written_;
        if (!written)
            Fail(error);
        monitor_.NotifyAll();
    }

    void CompressNext(BlockCompressor& compressor)
    {
        const uint64_t index = claimed_++;
        monitor_.Unlock();
        Piece piece;
        std::string error;
        const bool compressed = Guarded([&] { return compressor.Compress(job_, index, &piece, &error); }, &error);
        monitor_.Lock();
        if (compressed) {
            piece.ready = true;
            pieces_[index % pieces_.size()] = std::move(piece);
        } else {
            Fail(error);
        }
        monitor_.NotifyAll();
    }

    // Runs work that may throw outside the lock: a failure like any other,
    // so that no thread waits for a piece that never comes.
    template <typename Work>
    static bool Guarded(Work work, std::string* error)
    {
        try {
            return work();
        } catch (const std::bad_alloc&) {
            *error = "out of memory while compressing";
        } catch (const std::exception& exception) {
            *error = exception.what();
        }
        return false;
    }

    void Fail(const std::string& error)
    {
        if (!failed_)
            error_ = error;
        failed_ = true;
    }

    const ParallelDeflateJob& job_;
    const uint64_t blocks_;
    Monitor monitor_;
    std::vector<Piece> pieces_;  // piece i waits in pieces_[i % size]
    uint64_t claimed_ = 0;       // blocks taken by a thread to compress
    uint64_t written_ = 0;       // pieces written, in order
    bool writing_ = false;
    bool failed_ = false;
    std::string error_;
    uint32_t adler_ = 1;  // of no bytes
    uint64_t done_ = 0;
};

// The two bytes before the deflate stream, as zlib writes them: a 32 KiB
// window, and a hint of the level.
bool WriteZlibHeader(const ParallelDeflateJob& job, std::string* error)
{
    const int level = job.level < 0 ? 6 : job.level;  // zlib's default is 6; zopfli's says "maximum", as 9
    const unsigned levelFlags = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    unsigned header = (Z_DEFLATED + (7 << 4)) << 8 | levelFlags << 6;
    header += 31 - header % 31;
    const uint8_t bytes[2] = {static_cast<uint8_t>(header >> 8), static_cast<uint8_t>(header)};
    return job.write(bytes, sizeof bytes, error);
}

}  // namespace

bool DeflateInParallel(const ParallelDeflateJob& job, std::string* error)
{
    if (job.size == 0) {
        *error = "nothing to compress";
        return false;
    }
    unsigned threads = std::max(1u, job.threads);
    if ((threads = ThreadsThatFit(job.level, threads, error)) == 0)
        return false;
    if (!WriteZlibHeader(job, error))
        return false;
    Pipeline pipeline(job, threads);
    RunOnThreads(threads, [&](unsigned) { pipeline.Work(); });
    return pipeline.Finish(error);
}
