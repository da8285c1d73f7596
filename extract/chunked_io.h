// File reads, writes and copies in chunks of 1 MiB, with a look at the stop
// event between chunks: a step that moves hundreds of megabytes still stops
// within a chunk of a close.
#ifndef SFX_EXTRACT_CHUNKED_IO_H
#define SFX_EXTRACT_CHUNKED_IO_H

#include <windows.h>

#include <cstdint>

enum class ChunkedResult { Done, Failed, Stopped };

// Writes `size` bytes at the file pointer; Failed when a write fails or falls short.
ChunkedResult WriteInChunks(HANDLE file, const BYTE* bytes, uint64_t size);
// Reads exactly `size` bytes; Failed when a read fails or the file ends first.
ChunkedResult ReadInChunks(HANDLE file, BYTE* bytes, DWORD size);
// Copies the rest of `from` to `to`.
ChunkedResult CopyInChunks(HANDLE from, HANDLE to);

#endif
