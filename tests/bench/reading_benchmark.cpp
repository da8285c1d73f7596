// Reading work that must grow with the input, never with its square: sfxpack
// extract of 100,000 one-byte entries against list of the same installer
// and against tar -x of the same files, which creates as many (best of 3
// each), and verify and create on a stub whose resource
// directories all share one subdirectory, which must be refused at once.
// Then the memory that verify takes for the table of a package of
// 1,000,000 entries, the most the readers read.
//   reading_benchmark SFXPACK STUB
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/hostile_stubs.h"
#include "tests/support/package_maker.h"
#include "tests/support/run_program.h"

namespace fs = std::filesystem;

namespace {

constexpr int kEntries = 100000;
constexpr int kRounds = 3;

// Seconds that the command line takes; its exit code in *status.
double Time(const std::string& command, int* status)
{
    const auto start = std::chrono::steady_clock::now();
    const int result = std::system((command + " >/dev/null 2>&1").c_str());
    *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Best(const std::string& command, const std::string& before = "")
{
    double best = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        if (!before.empty())
            std::system(before.c_str());
        int status = 0;
        best = std::min(best, Time(command, &status));
        if (status != 0) {
            std::fprintf(stderr, "failed: %s\n", command.c_str());
            std::exit(1);
        }
    }
    return best;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: reading_benchmark SFXPACK STUB\n");
        return 2;
    }
    const std::string packer = Quoted(argv[1]), stub = argv[2];
    TempFolder work;
    fs::create_directory(work / "files");
    for (int i = 0; i < kEntries; ++i)
        std::ofstream(work / ("files/entry" + std::to_string(i) + ".txt")) << 'x';
    const std::string installer = Quoted(work / "many.exe"), out = Quoted(work / "out");
    int status = 0;
    Time(packer + " create --no-launch --stub " + Quoted(stub) + " -o " + installer + " " + Quoted(work / "files"),
         &status);
    if (status != 0)
        return 1;
    const double list = Best(packer + " list " + installer);
    const double extract = Best(packer + " extract " + installer + " " + out, "rm -rf " + out);
    const std::string tarball = Quoted(work / "files.tar");
    Time("tar -cf " + tarball + " -C " + Quoted(work / "") + " files", &status);
    const double tar = Best("mkdir " + out + " && tar -xf " + tarball + " -C " + out, "rm -rf " + out);
    std::printf("%d entries: list %.3f s, extract %.3f s, tar -x %.3f s\n", kEntries, list, extract, tar);
    std::printf("extract / list %.2f (goal <= 2), extract / tar -x %.2f\n", extract / list, extract / tar);

    const std::string bytes = ReadFile(stub);
    Bytes file(bytes.begin(), bytes.end());
    std::string error;
    const std::optional<PeImage> image = ParsePeImage(file, &error);
    if (!image)
        return 1;
    ShareResourceDirectories(file, *image);
    WriteFile(work / "hostile.exe", std::string(file.begin(), file.end()));
    const double verify = Time(packer + " verify " + Quoted(work / "hostile.exe"), &status);
    const double create = Time(packer + " create --stub " + Quoted(work / "hostile.exe") + " -o " +
                                   Quoted(work / "refused.exe") + " " + Quoted(work / "files/entry0.txt"),
                               &status);
    std::printf("65,535 x 65,535 shared resource directories: verify refuses in %.3f s, create in %.3f s "
                "(goal <= 1 s)\n", verify, create);

    // A million entries of a byte each, named apart: the table is what the
    // readers hold.
    constexpr int kMostEntries = 1000000;
    std::vector<TestEntry> entries;
    entries.reserve(kMostEntries);
    for (int i = 0; i < kMostEntries; ++i)
        entries.push_back({"entry" + std::to_string(i) + ".txt", "x"});
    WriteFile(work / "million.z", Deflate(MakeMergeFile(entries)));
    entries.clear();
    Time(packer + " inject " + Quoted(stub) + " " + Quoted(work / "million.z") + " -o " + Quoted(work / "million.exe"),
         &status);
    const std::string peak = work / "peak.txt";
    Time("/usr/bin/time -f %M -o " + Quoted(peak) + " " + packer + " verify " + Quoted(work / "million.exe"), &status);
    const double kilobytes = std::atof(ReadFile(peak).c_str());
    std::printf("%d entries: verify peaks at %.0f MiB, %.0f bytes an entry (exit %d)\n", kMostEntries,
                kilobytes / 1024, kilobytes * 1024 / kMostEntries, status);
    return 0;
}
