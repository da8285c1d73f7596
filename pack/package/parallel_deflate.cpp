#include "pack/package/parallel_deflate.h"

#include <libdeflate.h>
#include <zlib.h>
#include <zopfli/deflate.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <new>
#include <optional>
#include <vector>

#include "pack/package/deflate_join.h"
#include "pack/system/platform.h"
#include "pack/system/threads.h"

namespace {

constexpr size_t kDictionarySize = 32 * 1024;  // deflate's window

// What compresses at a level: zlib stores at level 0; libdeflate compresses
// at 1 to 9, and at 10 with its near-optimal parsing at its level 11, which
// gives 1.27 times the throughput of its 12 for 0.03% more bytes; zopfli at 11.
enum class Engine { kZlib, kLibdeflate, kZopfli };

Engine EngineOf(int level)
{
    return level == 0 ? Engine::kZlib : level == kZopfliLevel ? Engine::kZopfli : Engine::kLibdeflate;
}

const char* NameOf(Engine engine)
{
    return engine == Engine::kZlib ? "zlib" : engine == Engine::kZopfli ? "zopfli" : "libdeflate";
}

// The bytes each block holds. Zopfli primes a block with the 32 KiB before
// it, as one stream would have them; libdeflate takes no such dictionary, so
// its blocks are larger, where the start of each costs less; zlib only stores.
// Measured on 37 MiB of programs, text and noise at level 6: blocks of 1 MiB
// lose 0.22% against blocks of 8 MiB, of 2 MiB 0.07%, of 4 MiB 0.004%; but
// the packer's memory grows with them, 12 MiB in all on two threads with
// blocks of 1 MiB, 18 MiB with 2 MiB, 30 MiB with 4 MiB.
size_t BlockSizeOf(Engine engine)
{
    return engine == Engine::kLibdeflate ? size_t{1} << 20 : size_t{256} << 10;
}

// What a thread compressing takes at most, besides its own address space.
// Zopfli allocates without checking, and a thread that could not have what it
// asks for would crash the packer, so no more threads start than the address
// space holds. Measured as the peak address space of one thread on a block of
// 256 KiB: 34 MB for bytes that do not compress (a symbol for every byte, the
// most), 17 MB for text; with the thread's buffers and some room, 40 MiB.
// libdeflate's strongest compressor takes about 10 MiB; with a block of
// 1 MiB, what it compresses to and two pieces in flight, 16 MiB is room
// enough. zlib stores at level 0, in blocks of 256 KiB: 2 MiB.
uint64_t WorkingMemoryOfAThread(Engine engine)
{
    switch (engine) {
    case Engine::kZopfli:
        return uint64_t{40} << 20;
    case Engine::kLibdeflate:
        return uint64_t{16} << 20;
    default:
        return uint64_t{2} << 20;
    }
}

// How many of `wanted` threads may compress at `level`: the calling thread
// needs its working memory, each other one that and a thread's own address
// space. 0, with the reason in *error, when not even one fits.
unsigned ThreadsThatFit(int level, unsigned wanted, std::string* error)
{
    const std::optional<uint64_t> left = AddressSpaceLeft();
    if (!left)
        return wanted;
    const uint64_t working = WorkingMemoryOfAThread(EngineOf(level));
    if (*left < working) {
        *error = "out of memory for level " + std::to_string(level < 0 ? 6 : level) + ": " +
                 NameOf(EngineOf(level)) + " needs " + std::to_string(working >> 20) +
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
    if (!last)
        EndWithEmptyStoredBlock(out, bits);
}

// A thread's own compressor and buffers, reused block after block.
class BlockCompressor {
public:
    BlockCompressor(int level, int iterations)
        : engine_(EngineOf(level)), blockSize_(BlockSizeOf(engine_)), iterations_(iterations)
    {
        if (engine_ == Engine::kLibdeflate)
            ok_ = (libdeflate_ = libdeflate_alloc_compressor(
                       level < 0 ? 6 : level == kStrongestLibdeflateLevel ? 11 : level)) != nullptr;
        else if (engine_ == Engine::kZlib)
            ok_ = deflateInit2(&zlib_, /*level=*/0, Z_DEFLATED, /*raw deflate=*/-15, /*memLevel=*/8,
                               Z_DEFAULT_STRATEGY) == Z_OK;
        else
            ok_ = true;  // zopfli allocates as it goes
    }
    ~BlockCompressor()
    {
        if (libdeflate_)
            libdeflate_free_compressor(libdeflate_);
        if (engine_ == Engine::kZlib && ok_)
            deflateEnd(&zlib_);
    }
    BlockCompressor(const BlockCompressor&) = delete;
    BlockCompressor& operator=(const BlockCompressor&) = delete;

    bool Compress(const ParallelDeflateJob& job, uint64_t index, Piece* piece, std::string* error)
    {
        if (!ok_) {  // its state could not be allocated
            *error = std::string("out of memory: ") + NameOf(engine_) + " could not start compressing";
            return false;
        }
        const uint64_t start = index * blockSize_;
        const uint64_t end = std::min<uint64_t>(start + blockSize_, job.size);
        const bool last = end == job.size;
        const size_t dictionary =
            engine_ == Engine::kZopfli ? static_cast<size_t>(std::min<uint64_t>(start, kDictionarySize)) : 0;
        input_.resize(dictionary + static_cast<size_t>(end - start));
        if (!job.read(start - dictionary, input_.data(), input_.size(), error))
            return false;
        piece->length = static_cast<uint32_t>(end - start);
        piece->adler = static_cast<uint32_t>(adler32(adler32(0, nullptr, 0), input_.data() + dictionary,
                                                     static_cast<uInt>(piece->length)));
        switch (engine_) {
        case Engine::kZopfli:
            DeflateWithZopfli(input_, dictionary, last, iterations_, &piece->bytes);
            return true;
        case Engine::kLibdeflate:
            return DeflateWithLibdeflate(last, &piece->bytes, error);
        default:
            return DeflateWithZlib(last, &piece->bytes, error);
        }
    }

private:
    // libdeflate makes a stream of each block: the last ends the package,
    // all others end unfinished (with our patch to it), so that the next
    // follows. It writes into a buffer of the thread's that only grows, so
    // that no block pays for clearing memory.
    bool DeflateWithLibdeflate(bool last, std::vector<uint8_t>* out, std::string* error)
    {
        const size_t bound = libdeflate_deflate_compress_bound(libdeflate_, input_.size()) + 5;
        if (compressed_.size() < bound)
            compressed_.resize(bound);
        const auto compress = last ? libdeflate_deflate_compress : libdeflate_deflate_compress_unfinished;
        const size_t size = compress(libdeflate_, input_.data(), input_.size(), compressed_.data(), compressed_.size());
        if (size == 0) {
            *error = "libdeflate failed while compressing";
            return false;
        }
        out->assign(compressed_.begin(), compressed_.begin() + static_cast<std::ptrdiff_t>(size));
        return true;
    }

    // Stored blocks; a sync flush ends them on a byte boundary, and the last
    // block ends the stream.
    bool DeflateWithZlib(bool last, std::vector<uint8_t>* out, std::string* error)
    {
        if (deflateReset(&zlib_) != Z_OK) {
            *error = "zlib could not start compressing";
            return false;
        }
        const uint32_t length = static_cast<uint32_t>(input_.size());
        out->resize(deflateBound(&zlib_, length) + 16);
        zlib_.next_in = input_.data();
        zlib_.avail_in = length;
        size_t used = 0;
        const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
        for (;;) {  // until deflate has taken everything and had room to spare
            zlib_.next_out = out->data() + used;
            zlib_.avail_out = static_cast<uInt>(out->size() - used);
            const int code = deflate(&zlib_, flush);
            used = out->size() - zlib_.avail_out;
            if (code == Z_STREAM_ERROR) {
                *error = "zlib failed while compressing";
                return false;
            }
            if (last ? code == Z_STREAM_END : zlib_.avail_out > 0 && zlib_.avail_in == 0)
                break;
            out->resize(out->size() * 2);
        }
        out->resize(used);
        return true;
    }

    const Engine engine_;
    const size_t blockSize_;
    const int iterations_;
    bool ok_ = false;
    z_stream zlib_{};
    libdeflate_compressor* libdeflate_ = nullptr;
    std::vector<uint8_t> input_;
    std::vector<uint8_t> compressed_;
};

// The state the threads share. Every thread does the same: writes the next
// piece when it is ready and nobody is writing, or else compresses the next
// block when the pieces in flight leave room, or else waits.
class Pipeline {
public:
    Pipeline(const ParallelDeflateJob& job, unsigned threads)
        : job_(job),
          blocks_((job.size + BlockSizeOf(EngineOf(job.level)) - 1) / BlockSizeOf(EngineOf(job.level))),
          // Room for a piece in each thread's hands and two more: when
          // writing stalls, a larger pool only holds more blocks in memory.
          pieces_(threads + 2)
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
    const int level = job.level < 0 ? 6 : job.level;  // the default is 6; 10 and zopfli's say "maximum", as 9
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
