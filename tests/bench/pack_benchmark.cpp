// Packs a generated 256 MiB folder (text-like and incompressible files of
// varied sizes) with sfxpack create on every core, and compresses the same
// bytes with pigz -p N -z and pigz -p 1 -z, at levels 6 and 9, alternating,
// best of 3; prints throughputs and compressed sizes as ratios. Then the peak
// resident memory of create and verify, for that folder and for one of
// nearly 2 GiB made on the fly.
//   pack_benchmark SFXPACK STUB
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/bench/text_like_payload.h"
#include "tests/support/random_bytes.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 3;
constexpr uint64_t kMiB = 1 << 20;

// Files of varied sizes, a third of them incompressible, `total` bytes in
// all; also their concatenation, for pigz.
void WriteCorpus(const fs::path& folder, const fs::path& concatenation, uint64_t total)
{
    const uint64_t sizes[] = {4096, 300 * 1024, 64 * 1024, 3 * kMiB, 1 * kMiB, 24 * kMiB, 200, 9 * kMiB};
    fs::create_directories(folder);
    std::ofstream all;
    if (!concatenation.empty())
        all.open(concatenation, std::ios::binary);
    uint64_t written = 0;
    for (unsigned i = 0; written < total; ++i) {
        const uint64_t size = std::min(sizes[i % std::size(sizes)], total - written);
        const std::string bytes = i % 3 == 2 ? RandomBytes(size, i) : MakeTextLikePayload(size, i);
        char name[32];
        std::snprintf(name, sizeof name, "file%05u.dat", i);
        std::ofstream(folder / name, std::ios::binary) << bytes;
        if (all.is_open())
            all << bytes;
        written += size;
    }
}

struct Run {
    double seconds;
    double peak_mib;  // resident
};

// Runs a shell command line that execs one program; its time and peak
// memory. GNU time measures the memory: a child of this process would start
// out as large as this process is.
Run Measure(const std::string& command)
{
    const std::string line = "exec " + command;
    const std::string peakFile = (fs::temp_directory_path() / "sfx-pack-benchmark-peak").string();
    const char* argv[] = {"time", "-f", "%M", "-o", peakFile.c_str(), "/bin/sh", "-c", line.c_str(), nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawn(&child, "/usr/bin/time", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
        std::fprintf(stderr, "cannot start: %s\n", command.c_str());
        std::exit(1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
    double kib = 0;
    std::ifstream(peakFile) >> kib;
    fs::remove(peakFile);
    return {seconds, kib / 1024.0};
}

// "... packed into N; launch ..." as create prints it.
double PackageSize(const fs::path& log)
{
    std::ifstream in(log);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t at = text.find("packed into ");
    return at == std::string::npos ? 0 : std::atof(text.c_str() + at + 12);
}

std::string PackCommand(const std::string& sfxpack, const std::string& stub, int level, const fs::path& work,
                        const fs::path& folder)
{
    return sfxpack + " create --level " + std::to_string(level) + " --no-launch --stub " + stub + " -o " +
           (work / "installer.exe").string() + " " + folder.string() + " >" + (work / "pack.log").string();
}

void CompareWithPigz(const std::string& sfxpack, const std::string& stub, const fs::path& work, double mib)
{
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::string all = (work / "all.bin").string(), reference = (work / "reference.z").string();
    std::printf("folder: %.0f MiB, text-like and incompressible files; %u cores; best of %d rounds, alternating\n",
                mib, cores, kRounds);
    std::printf("level  sfxpack MiB/s  pigz -p %u  pigz -p 1  vs -p %u (>= 0.95)  vs -p 1 (>= 1.8)  size vs pigz (<= 1.005)\n",
                cores, cores);
    for (int level : {6, 9}) {
        double pack = 1e9, parallel = 1e9, single = 1e9, packed = 0, referenceSize = 0;
        auto pigz = [&](unsigned threads) {
            return "pigz -p " + std::to_string(threads) + " -z -" + std::to_string(level) + " -c " + all + " >" +
                   reference;
        };
        for (int round = 0; round < kRounds; ++round) {
            parallel = std::min(parallel, Measure(pigz(cores)).seconds);
            single = std::min(single, Measure(pigz(1)).seconds);
            pack = std::min(pack, Measure(PackCommand(sfxpack, stub, level, work, work / "files")).seconds);
        }
        packed = PackageSize(work / "pack.log");
        referenceSize = static_cast<double>(fs::file_size(reference));
        std::printf("%5d  %13.1f  %9.1f  %9.1f  %19.3f  %16.3f  %23.4f\n", level, mib / pack, mib / parallel,
                    mib / single, parallel / pack, single / pack, packed / referenceSize);
    }
}

void ShowPeakMemory(const std::string& sfxpack, const std::string& stub, const fs::path& work, double mib)
{
    const Run create = Measure(PackCommand(sfxpack, stub, 6, work, work / "files"));
    const Run verify = Measure(sfxpack + " verify " + (work / "installer.exe").string() + " >/dev/null");
    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    std::printf("%6.0f MiB folder: create %6.1f MiB, verify %6.1f MiB peak resident (goal <= %u MiB)\n", mib,
                create.peak_mib, verify.peak_mib, 64 + 4 * threads);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: pack_benchmark SFXPACK STUB\n");
        return 2;
    }
    const std::string sfxpack = argv[1], stub = argv[2];
    const fs::path work = fs::temp_directory_path() / "sfx-pack-benchmark";
    fs::remove_all(work);
    WriteCorpus(work / "files", work / "all.bin", 256 * kMiB);
    CompareWithPigz(sfxpack, stub, work, 256);
    std::printf("peak memory (default threads):\n");
    ShowPeakMemory(sfxpack, stub, work, 256);
    fs::remove_all(work);

    // Nearly 2 GiB: what a 32-bit installer can still read back.
    WriteCorpus(work / "files", "", 2047 * kMiB);
    ShowPeakMemory(sfxpack, stub, work, 2047);
    fs::remove_all(work);
    return 0;
}
