// libFuzzer target: DecompressFile on arbitrary input files, checked against
// zlib's own inflation of the same bytes in memory. A success must produce
// exactly zlib's output; a failure must keep only a prefix of it.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

#include "inflate/stream_inflater.h"

namespace {

struct Reference {
    bool complete = false;
    std::string output;
};

// zlib alone, the whole input in one piece.
Reference InflateInMemory(const uint8_t* data, size_t size)
{
    Reference reference;
    z_stream stream = {};
    if (inflateInit(&stream) != Z_OK)
        abort();
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(size);
    unsigned char chunk[16384];
    int code;
    do {
        stream.next_out = chunk;
        stream.avail_out = sizeof chunk;
        code = inflate(&stream, Z_NO_FLUSH);
        reference.output.append(reinterpret_cast<char*>(chunk), sizeof chunk - stream.avail_out);
    } while (code == Z_OK && (stream.avail_out == 0 || stream.avail_in > 0));
    reference.complete = code == Z_STREAM_END;
    inflateEnd(&stream);
    return reference;
}

std::string Slurp(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

const std::string& Folder()
{
    static const std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string in = Folder() + "/sfx-fuzz-" + std::to_string(getpid()) + ".z";
    const std::string out = Folder() + "/sfx-fuzz-" + std::to_string(getpid()) + ".out";
    FILE* file = std::fopen(in.c_str(), "wb");
    if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
        abort();

    const int result = DecompressFile(in.c_str(), out.c_str());
    const std::string written = Slurp(out);
    const Reference reference = InflateInMemory(data, size);

    if (result == 0) {
        if (!reference.complete || written != reference.output)
            abort();  // a success that zlib does not confirm
    } else {
        if (result != Z_BUF_ERROR && result != Z_DATA_ERROR && result != Z_NEED_DICT &&
            result != Z_MEM_ERROR)
            abort();  // a code no stream should produce
        if (reference.complete && written.size() == reference.output.size())
            abort();  // a complete stream reported as a failure
        if (reference.output.compare(0, written.size(), written) != 0)
            abort();  // bytes that zlib never produced
    }
    std::remove(in.c_str());
    std::remove(out.c_str());
    return 0;
}
