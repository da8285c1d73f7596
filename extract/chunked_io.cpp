#include "extract/chunked_io.h"

#include <algorithm>

#include "extract/worker_reports.h"

namespace {

// Large enough that looking at the stop event costs nothing next to the work
// (under Wine each look is a round trip to the server), small enough that a
// chunk takes milliseconds.
constexpr DWORD kChunkSize = 1 << 20;

// One handle's buffer, freed whatever the way out.
class ChunkBuffer {
public:
    ChunkBuffer() : bytes_(static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, kChunkSize))) {}
    ~ChunkBuffer()
    {
        if (bytes_)
            LocalFree(bytes_);
    }
    ChunkBuffer(const ChunkBuffer&) = delete;
    ChunkBuffer& operator=(const ChunkBuffer&) = delete;
    BYTE* Bytes() const { return bytes_; }

private:
    BYTE* bytes_;
};

}  // namespace

ChunkedResult WriteInChunks(HANDLE file, const BYTE* bytes, uint64_t size)
{
    for (uint64_t done = 0; done < size;) {
        if (StopSignalled())
            return ChunkedResult::Stopped;
        const DWORD chunk = static_cast<DWORD>(std::min<uint64_t>(size - done, kChunkSize));
        DWORD written = 0;
        if (!WriteFile(file, bytes + done, chunk, &written, /*overlapped=*/nullptr) || written != chunk)
            return ChunkedResult::Failed;
        done += chunk;
    }
    return ChunkedResult::Done;
}

ChunkedResult ReadInChunks(HANDLE file, BYTE* bytes, DWORD size)
{
    for (DWORD done = 0; done < size;) {
        if (StopSignalled())
            return ChunkedResult::Stopped;
        const DWORD chunk = std::min(size - done, kChunkSize);
        DWORD read = 0;
        if (!ReadFile(file, bytes + done, chunk, &read, /*overlapped=*/nullptr) || read != chunk)
            return ChunkedResult::Failed;
        done += chunk;
    }
    return ChunkedResult::Done;
}

ChunkedResult CopyInChunks(HANDLE from, HANDLE to)
{
    ChunkBuffer buffer;
    if (!buffer.Bytes())
        return ChunkedResult::Failed;
    for (;;) {
        if (StopSignalled())
            return ChunkedResult::Stopped;
        DWORD read = 0;
        if (!ReadFile(from, buffer.Bytes(), kChunkSize, &read, /*overlapped=*/nullptr))
            return ChunkedResult::Failed;
        if (read == 0)
            return ChunkedResult::Done;
        DWORD written = 0;
        if (!WriteFile(to, buffer.Bytes(), read, &written, /*overlapped=*/nullptr) || written != read)
            return ChunkedResult::Failed;
    }
}
