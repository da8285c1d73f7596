#include "inflate/stream_inflater.h"

#include <new>

namespace {

constexpr char kUserAbort[] = "User Abort";
constexpr char kSuccess[] = "Success";
constexpr char kZlibError[] = "Zlib Error";

// The result of a write that fell short; the value of zlib's Z_ERRNO.
constexpr int kShortWrite = Z_ERRNO;

// Above this length the percentage divides first, so that consumed x 100
// stays within 32 bits.
constexpr int32_t kProductFormulaLimit = 10000000;

// The size of an open file, clamped to what the 32-bit length field can hold.
int32_t MeasureLength(FILE* file)
{
    if (std::fseek(file, 0, SEEK_END) != 0)
        return 0;
    const long length = std::ftell(file);
    std::rewind(file);
    if (length < 0)
        return 0;
    return length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(length);
}

}  // namespace

StreamInflater::StreamInflater() : z_stream(), input_file(nullptr), output_file(nullptr)
{
    // zlib allocates with its own defaults.
    zalloc = Z_NULL;
    zfree = Z_NULL;
    opaque = Z_NULL;
}

void StreamInflater::OnProgress(int) {}

void StreamInflater::OnStatus(const char*) {}

int StreamInflater::Decompress(const char* inputPath, const char* outputPath)
{
    last_result = Z_OK;
    abort_requested = 0;
    avail_in = 0;
    next_out = output_buffer;
    avail_out = BUFFER_SIZE;

    // The output is created only once the input is known to be readable.
    input_file = std::fopen(inputPath, "rb");
    output_file = input_file ? std::fopen(outputPath, "wb") : nullptr;
    if (!output_file) {
        CloseFiles();
        last_result = Z_ERRNO;
        OnStatus(kZlibError);
        return last_result;
    }
    input_length = MeasureLength(input_file);

    // A failed initialisation makes the first inflate return Z_STREAM_ERROR,
    // which ends the run as a zlib error.
    inflateInit(this);
    if (!abort_requested && RunMainLoop())
        RunFinishingLoop();
    OnProgress(PercentComplete());  // made on every path, after an abort or an error too
    inflateEnd(this);

    // The files are closed before the status is told: closing writes out what
    // the runtime still buffers, and a run whose output did not reach the file
    // must not be called a success.
    CloseFiles();
    ReportStatus();
    return abort_requested ? INFLATE_ABORTED : last_result;
}

// Feeds zlib input as fast as it consumes it, until the input is used up, the
// stream ends or zlib fails (then the finishing loop is due: returns true), or
// a write falls short or an abort is requested (returns false).
bool StreamInflater::RunMainLoop()
{
    for (;;) {
        if (LoadInput() == 0)
            return true;
        last_result = inflate(this, Z_NO_FLUSH);
        FlushOutput();
        if (last_result == kShortWrite)
            return false;
        if (last_result != Z_OK)
            return true;
        OnProgress(PercentComplete());
        if (abort_requested)
            return false;
    }
}

// Drains what zlib still holds once the input has ended; ends as soon as a
// pass writes nothing or zlib answers anything but Z_OK. After a stream end or
// an error zlib repeats its code and produces nothing, so one pass suffices.
void StreamInflater::RunFinishingLoop()
{
    for (;;) {
        last_result = inflate(this, Z_FINISH);
        if (FlushOutput() == 0 || last_result != Z_OK || abort_requested)
            return;
    }
}

void StreamInflater::ReportStatus()
{
    if (abort_requested) {
        OnStatus(kUserAbort);
    } else if (last_result == Z_OK || last_result == Z_STREAM_END) {
        last_result = Z_OK;
        OnStatus(kSuccess);
    } else {
        OnStatus(kZlibError);
    }
}

void StreamInflater::CloseFiles()
{
    if (input_file)
        std::fclose(input_file);
    input_file = nullptr;
    // A full disk shows up here, when the runtime writes out its buffer, not
    // in fwrite: a file cut short must not pass for whole.
    const bool ranWell = last_result == Z_OK || last_result == Z_STREAM_END;
    if (output_file && std::fclose(output_file) != 0 && ranWell)
        last_result = kShortWrite;
    output_file = nullptr;
}

int StreamInflater::PercentComplete()
{
    const uint32_t length = static_cast<uint32_t>(input_length);
    const uint32_t consumed = static_cast<uint32_t>(total_in);
    if (input_length == 0)
        return 100;
    const uint32_t percent =
        input_length > kProductFormulaLimit ? consumed / (length / 100) : consumed * 100 / length;
    return percent > 100 ? 100 : static_cast<int>(percent);
}

unsigned StreamInflater::LoadInput()
{
    // A remainder is never topped up: the next read comes only once zlib has
    // consumed the whole previous block.
    if (avail_in == 0) {
        next_in = input_buffer;
        avail_in = static_cast<uInt>(std::fread(input_buffer, 1, BUFFER_SIZE, input_file));
    }
    return avail_in;
}

int StreamInflater::FlushOutput()
{
    const size_t filled = BUFFER_SIZE - avail_out;
    if (filled == 0)
        return 0;
    if (std::fwrite(output_buffer, 1, filled, output_file) < filled) {
        last_result = kShortWrite;
        return 0;
    }
    next_out = output_buffer;
    avail_out = BUFFER_SIZE;
    return static_cast<int>(filled);
}

int DecompressFile(const char* inputPath, const char* outputPath)
{
    StreamInflater* engine = new (std::nothrow) StreamInflater;
    if (!engine)
        return Z_MEM_ERROR;
    const int result = engine->Decompress(inputPath, outputPath);
    delete engine;
    return result;
}
