// sfxpack info: what Windows will show of an installer (its icon, version
// block and requested execution level), whether it is signed, and what its
// package holds.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "pack/cli/commands.h"
#include "pack/cli/help.h"
#include "pack/cli/identity_report.h"
#include "pack/cli/printable_text.h"
#include "pack/package/install_time.h"
#include "pack/package/package_locator.h"
#include "pack/package/package_reader.h"
#include "pack/system/code_page.h"
#include "pack/system/file_io.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kLargestInstaller = uint64_t{1} << 32;

}  // namespace

int Info(const Arguments& args)
{
    std::string error;
    const std::optional<ParsedCall> parsed = ParseCall(args, {{"--codepage", 0, true}}, &error);
    if (!parsed)
        return UsageError(error);
    if (parsed->Has("--help"))
        return PrintCommandHelp("info"), 0;
    unsigned codePage = 1252;
    for (const auto& [name, value] : parsed->options)
        if (name == "--codepage") {
            const std::optional<unsigned> given = ParseCodePage(value, &error);
            if (!given)
                return UsageError(error);
            codePage = *given;
        }
    if (parsed->operands.size() != 1)
        return UsageError("info takes one INSTALLER.exe");
    const fs::path path = FromUtf8(parsed->operands[0]);
    const std::optional<uint64_t> size = InputFileSize(path, kLargestInstaller, &error);
    if (!size)
        return Fail(error);
    FileReader file(path);
    const std::optional<ResourceLayout> layout = file.Ok() ? ReadResourceLayout(file, *size, &error) : std::nullopt;
    if (!layout)
        return Fail(Shown(path) + ": " + (file.Ok() ? error : "cannot open it (" + file.Error() + ")"));
    std::fputs(DescribeIdentity(file, *layout).c_str(), stdout);
    const std::optional<InstallerPackage> package = ReadInstallerPackage(path, codePage, {}, &error);
    if (!package)
        return Fail(Shown(path) + ": " + error);
    uint64_t contents = 0;
    for (const MergeEntry& entry : package->entries)
        contents += entry.size;
    // Names are kept in the code page the installer was made for, 1252 unless told.
    const std::string field(package->header.launch_name, strnlen(package->header.launch_name, kMergeNameSize));
    const std::string launch = CodePageToUtf8(field, codePage).value_or(field);
    std::printf("package: %s, %s in %llu compressed; launch: %s\n",
                Count(package->entries.size(), "entry", "entries").c_str(), Count(contents, "byte", "bytes").c_str(),
                static_cast<unsigned long long>(package->resource_size),
                launch.empty() ? "(none)" : Printable(launch).c_str());
    if (const std::optional<std::string> note = InstallTimeNote(package->entries.size()))
        std::printf("%s\n", note->c_str());
    return 0;
}
