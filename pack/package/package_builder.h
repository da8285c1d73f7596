// Turns files into a package: gathers and checks them, then writes the merge
// data file through zlib as one stream, compressed on several threads.
#ifndef SFX_PACK_PACKAGE_BUILDER_H
#define SFX_PACK_PACKAGE_BUILDER_H

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "pack/system/file_io.h"
#include "pack/system/file_times.h"
#include "pack/pe/pe_image.h"

struct PackEntry {
    std::filesystem::path path;
    std::string name;          // as stored: in the target code page
    std::string display_name;  // UTF-8
    std::u32string key;        // the name as the installer compares it
    uint32_t size;
    FileTimes times;
    FileStamp stamp;  // taken with the times: the file as it must stay until it is read
};

struct PackPlan {
    std::vector<PackEntry> entries;  // sorted by name without regard to case
    std::string launch;              // in the target code page; empty: nothing
    uint64_t contents_size = 0;
    std::vector<std::string> warnings;  // "PATH: reason", for names that may not fit everywhere
};

struct PackOptions {
    std::vector<std::filesystem::path> paths;  // files, and folders of files
    std::optional<std::string> launch;         // UTF-8; unset: Setup.exe if present
    bool no_launch = false;
    unsigned code_page = 1252;
    bool times_from_last_write = false;        // all three times are the last write time
    std::optional<uint64_t> latest_time;  // a FILETIME: no recorded time is later (SOURCE_DATE_EPOCH)
};

// Gathers the files and checks each; every problem is one line in *problems
// ("PATH: reason"), and then there is no plan.
std::optional<PackPlan> PlanPackage(const PackOptions& options, std::vector<std::string>* problems);

struct CompressOptions {
    int level = -1;        // zlib's levels; -1 for its default; 11 for zopfli
    int iterations = 15;   // zopfli's rounds for each block, at level 11
    unsigned threads = 1;  // the bytes are the same whatever the number
    // Bytes of the merge data file compressed so far, of all of them.
    std::function<void(uint64_t done, uint64_t total)> progress;
};

// Compresses header, table and contents into one zlib stream, written to
// `out`; returns the stream's size, or nothing with the reason in *error.
std::optional<uint64_t> CompressPackage(const PackPlan& plan, const CompressOptions& options, FileWriter& out,
                                        std::string* error);

#endif
