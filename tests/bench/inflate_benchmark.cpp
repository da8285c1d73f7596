// Inflates one generated payload of 64 MiB file to file, with DecompressFile
// and with a plain zlib loop of 4096-byte reads and writes, alternating, and
// prints both throughputs (best of each) and their ratio.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "inflate/stream_inflater.h"
#include "tests/bench/text_like_payload.h"

namespace {

constexpr size_t kPayloadSize = 64u << 20;
constexpr int kRounds = 5;

// The reference: zlib's usual streaming loop through two 4096-byte buffers.
int PlainInflate(const char* inputPath, const char* outputPath)
{
    FILE* in = std::fopen(inputPath, "rb");
    FILE* out = std::fopen(outputPath, "wb");
    unsigned char input[4096], output[4096];
    z_stream stream = {};
    int code = inflateInit(&stream);
    do {  // until the stream ends or the input runs out
        stream.avail_in = static_cast<uInt>(std::fread(input, 1, sizeof input, in));
        if (stream.avail_in == 0)
            break;
        stream.next_in = input;
        do {  // until zlib leaves room in the output buffer
            stream.next_out = output;
            stream.avail_out = sizeof output;
            code = inflate(&stream, Z_NO_FLUSH);
            std::fwrite(output, 1, sizeof output - stream.avail_out, out);
        } while (stream.avail_out == 0);
    } while (code != Z_STREAM_END);
    inflateEnd(&stream);
    std::fclose(in);
    std::fclose(out);
    return code == Z_STREAM_END ? 0 : code;
}

template <typename Inflate>
double Seconds(Inflate inflate, const std::string& in, const std::string& out)
{
    // Truncating the previous run's output would be charged to this run.
    std::filesystem::remove(out);
    const auto start = std::chrono::steady_clock::now();
    if (inflate(in.c_str(), out.c_str()) != 0 || std::filesystem::file_size(out) != kPayloadSize) {
        std::fprintf(stderr, "inflation failed\n");
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main()
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "sfx-inflate-benchmark";
    std::filesystem::create_directories(folder);
    const std::string in = (folder / "payload.z").string(), out = (folder / "payload").string();

    const std::string payload = MakeTextLikePayload(kPayloadSize, 42);
    uLongf size = compressBound(payload.size());
    std::string stream(size, '\0');
    compress2(reinterpret_cast<Bytef*>(stream.data()), &size, reinterpret_cast<const Bytef*>(payload.data()),
              payload.size(), Z_DEFAULT_COMPRESSION);
    FILE* file = std::fopen(in.c_str(), "wb");
    std::fwrite(stream.data(), 1, size, file);
    std::fclose(file);

    double plain = 1e9, ours = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        plain = std::min(plain, Seconds(PlainInflate, in, out));
        ours = std::min(ours, Seconds(DecompressFile, in, out));
    }
    std::filesystem::remove_all(folder);

    const double mib = kPayloadSize / double(1 << 20);
    std::printf("payload: %.0f MiB inflated from %.1f MiB, best of %d rounds each\n", mib, size / double(1 << 20),
                kRounds);
    std::printf("plain zlib loop: %8.1f MiB/s\n", mib / plain);
    std::printf("DecompressFile:  %8.1f MiB/s\n", mib / ours);
    std::printf("DecompressFile / plain loop: %.3f (throughput ratio; goal >= 0.95)\n", plain / ours);
    return 0;
}
