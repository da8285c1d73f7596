// Packs one generated folder of 64 MiB with sfxpack create and compresses the
// same bytes with pigz -p 1 -z (one thread, zlib format) at the same level,
// alternating, and prints throughputs and compressed sizes as ratios.
//   pack_benchmark SFXPACK STUB
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "tests/bench/text_like_payload.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 16;
constexpr size_t kFileSize = 4u << 20;
constexpr int kRounds = 3;

void WriteFolder(const fs::path& folder)
{
    fs::create_directories(folder);
    for (int i = 0; i < kFiles; ++i)
        std::ofstream(folder / ("file" + std::to_string(i) + ".dat"), std::ios::binary)
            << MakeTextLikePayload(kFileSize, 42 + i);
}

double Seconds(const std::string& command)
{
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: pack_benchmark SFXPACK STUB\n");
        return 2;
    }
    const fs::path work = fs::temp_directory_path() / "sfx-pack-benchmark";
    fs::remove_all(work);
    WriteFolder(work / "files");
    const std::string installer = (work / "installer.exe").string(), reference = (work / "reference.z").string();
    const std::string pack = std::string(argv[1]) + " create --level 6 --no-launch --stub " + argv[2] + " -o " +
                             installer + " " + (work / "files").string() + " >/dev/null";
    const std::string pigz = "cat " + (work / "files").string() + "/* | pigz -p 1 -z -6 > " + reference;

    double packTime = 1e9, pigzTime = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        pigzTime = std::min(pigzTime, Seconds(pigz));
        packTime = std::min(packTime, Seconds(pack));
    }
    const double mib = double(kFiles) * kFileSize / (1 << 20);
    const double installerSize = fs::file_size(installer), referenceSize = fs::file_size(reference);
    const double stubSize = fs::file_size(argv[2]);
    fs::remove_all(work);

    std::printf("folder: %d files, %.0f MiB, level 6, best of %d rounds each\n", kFiles, mib, kRounds);
    std::printf("pigz -p 1 -z:   %8.1f MiB/s  %10.0f bytes\n", mib / pigzTime, referenceSize);
    std::printf("sfxpack create: %8.1f MiB/s  %10.0f bytes (installer %0.f, of which stub %0.f)\n", mib / packTime,
                installerSize - stubSize, installerSize, stubSize);
    std::printf("sfxpack / pigz: throughput %.3f, compressed size %.3f\n", pigzTime / packTime,
                (installerSize - stubSize) / referenceSize);
    return 0;
}
