// Inflates a file holding one zlib stream into another file, through two fixed
// 4096-byte buffers, with a completion percentage, one final status word per
// run and an abort flag. Portable: the C runtime's buffered streams and zlib.
#ifndef SFX_INFLATE_STREAM_INFLATER_H
#define SFX_INFLATE_STREAM_INFLATER_H

#include <zlib.h>

#include <cstdint>
#include <cstdio>

// The engine is itself the zlib stream it drives: next_in/avail_in cover the
// unconsumed part of input_buffer, next_out/avail_out the free tail of
// output_buffer, and total_in feeds the percentage.
class StreamInflater : public z_stream {
public:
    static constexpr int BUFFER_SIZE = 4096;
    // Outside zlib's own codes (-6 to 2), so it differs from every one of them.
    static constexpr int INFLATE_ABORTED = -7;

    StreamInflater();

    // Inflates the whole input file into the output file, which is created or
    // emptied. Returns 0 on success, INFLATE_ABORTED after an abort request,
    // -1 when the output could not be written in full, otherwise the zlib code
    // that ended the run. Makes at least one OnProgress call and exactly one
    // OnStatus call ("User Abort", "Success" or "Zlib Error"); when a file
    // cannot be opened, only the OnStatus call.
    int Decompress(const char* inputPath, const char* outputPath);

    // How much of the input file zlib has consumed, 0 to 100.
    int PercentComplete();
    // Refills the input buffer once zlib has consumed all of it; returns the
    // bytes available to zlib, 0 at the end of the input.
    unsigned LoadInput();
    // Writes what inflate put into the output buffer; returns the bytes written,
    // or 0 when there was nothing to write or the write fell short (which sets
    // last_result to -1).
    int FlushOutput();

    // Notifications, called on the thread that runs Decompress; either may set
    // abort_requested. The base class ignores them.
    virtual void OnProgress(int percent);
    virtual void OnStatus(const char* status);
    // Declared after the notifications so that they keep the first two slots;
    // virtual because derived engines may be deleted through this class.
    virtual ~StreamInflater() = default;

    int32_t abort_requested;
    FILE* input_file;
    FILE* output_file;
    int32_t input_length;
    int32_t last_result;
    unsigned char input_buffer[BUFFER_SIZE];
    unsigned char output_buffer[BUFFER_SIZE];

private:
    bool RunMainLoop();
    void RunFinishingLoop();
    void ReportStatus();
    void CloseFiles();
};

// Inflates inputPath into outputPath with a fresh engine; returns the result of
// its Decompress, or Z_MEM_ERROR when no engine could be allocated.
int DecompressFile(const char* inputPath, const char* outputPath);

#endif
