// sfxpack: makes self-extracting installers from folders of files, and lists,
// extracts and verifies existing ones.
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "pack/code_page.h"
#include "pack/file_io.h"
#include "pack/file_times.h"
#include "pack/package_builder.h"
#include "pack/package_reader.h"
#include "pack/progress_bar.h"
#include "pack/resource_writer.h"
#include "pack/stub_preparation.h"

namespace fs = std::filesystem;

namespace {

constexpr char kUsage[] =
    "usage:\n"
    "  sfxpack create [-o OUT.exe] [--stub STUB.exe] [--launch NAME | --no-launch]\n"
    "                 [--level 0-9] [--codepage CP] PATH...\n"
    "      Packs the files (a folder stands for the files in it) into an installer.\n"
    "      OUT.exe defaults to installer.exe; the launch file to Setup.exe when present;\n"
    "      the level to zlib's default (6); the code page of the names to 1252.\n"
    "  sfxpack inject STUB.exe PACKAGE.z -o OUT.exe\n"
    "      Embeds a ready zlib package as it is, unchecked.\n"
    "  sfxpack list [--codepage CP] INSTALLER.exe\n"
    "      The launch name, then each entry: size, creation, last access and last\n"
    "      write times (UTC), name.\n"
    "  sfxpack extract [--codepage CP] INSTALLER.exe DIR\n"
    "      Writes the entries into DIR with their times; never overwrites a file.\n"
    "  sfxpack verify INSTALLER.exe\n"
    "      Checks the package: present, zlib stream and Adler-32 whole, format and\n"
    "      names sound.\n"
    "  sfxpack --help | --version\n";

constexpr uint64_t kLargeContents = uint64_t{1} << 30;
// No stub is larger: a program carries its code and its resources, not data.
constexpr uint64_t kLargestStub = uint64_t{256} << 20;
// What a 32-bit installer can hold as one resource and read back.
constexpr uint64_t kLargestPackage = uint64_t{1} << 31;
// A PE image, installers included, cannot be larger.
constexpr uint64_t kLargestInstaller = uint64_t{1} << 32;

int Fail(const std::string& message)
{
    std::fprintf(stderr, "sfxpack: %s\n", message.c_str());
    return 1;
}

int UsageError(const std::string& message)
{
    std::fprintf(stderr, "sfxpack: %s\n(sfxpack --help shows how to call it)\n", message.c_str());
    return 2;
}

void Warn(const std::string& message)
{
    std::fprintf(stderr, "sfxpack: warning: %s\n", message.c_str());
}

fs::path ThisProgram()
{
#ifdef _WIN32
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
#else
    std::error_code ignored;
    return fs::read_symlink("/proc/self/exe", ignored);
#endif
}

// The release stub: installed beside the packer, or in the build tree.
fs::path DefaultStub()
{
    const fs::path beside = ThisProgram().parent_path() / "sfxstub.exe";
    std::error_code ignored;
    if (fs::exists(beside, ignored))
        return beside;
    return SFX_DEFAULT_STUB;
}

bool SamePath(const fs::path& a, const fs::path& b)
{
    std::error_code failure;
    if (fs::equivalent(a, b, failure))
        return true;
    return fs::weakly_canonical(a, failure) == fs::weakly_canonical(b, failure);
}

// Reads the value of an option such as "--level 9"; advances i.
std::optional<std::string> OptionValue(const std::vector<std::string>& args, size_t& i)
{
    if (i + 1 >= args.size())
        return std::nullopt;
    return args[++i];
}

std::optional<unsigned> ParseNumber(const std::string& text, unsigned largest)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const unsigned value = static_cast<unsigned>(std::stoul(text));
    return value <= largest ? std::optional<unsigned>(value) : std::nullopt;
}

std::optional<int64_t> SourceDateEpoch(std::string* error)
{
    const char* value = std::getenv("SOURCE_DATE_EPOCH");
    if (!value || !*value)
        return std::nullopt;
    char* end = nullptr;
    const long long seconds = std::strtoll(value, &end, 10);
    if (*end != '\0' || seconds < 0) {
        *error = "SOURCE_DATE_EPOCH is not a number of seconds";
        return std::nullopt;
    }
    return seconds;
}

// The stub read and checked completely, its warnings told: everything wrong
// with it is found before any input is compressed.
std::optional<PreparedStub> LoadStub(const fs::path& path, std::string* error)
{
    const std::optional<Bytes> stub = ReadInputFile(path, kLargestStub, error);
    if (!stub)
        return std::nullopt;
    std::optional<PreparedStub> prepared = PrepareStub(*stub, error);
    if (!prepared) {
        *error = Shown(path) + ": " + *error + " (the stub must be a Windows program: --stub STUB.exe)";
        return std::nullopt;
    }
    for (const std::string& warning : prepared->warnings)
        Warn(Shown(path) + ": " + warning);
    return prepared;
}

bool EmbedAndWrite(const PreparedStub& stub, const Bytes& package, const fs::path& output, std::string* error)
{
    const std::optional<Bytes> installer = EmbedPackage(stub, package, error);
    return installer && WriteOutputFile(output, *installer, /*executable=*/true, error);
}

int Create(const std::vector<std::string>& args)
{
    PackOptions options;
    fs::path output = "installer.exe", stub = DefaultStub();
    int level = Z_DEFAULT_COMPRESSION;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::optional<std::string> value;
        if (arg == "-o" || arg == "--output") {
            if (!(value = OptionValue(args, i)))
                return UsageError(arg + " needs a file name");
            output = FromUtf8(*value);
        } else if (arg == "--stub") {
            if (!(value = OptionValue(args, i)))
                return UsageError("--stub needs a file name");
            stub = FromUtf8(*value);
        } else if (arg == "--launch") {
            if (!(value = OptionValue(args, i)))
                return UsageError("--launch needs the name of a packed file");
            options.launch = *value;
        } else if (arg == "--no-launch") {
            options.no_launch = true;
        } else if (arg == "--level") {
            std::optional<unsigned> number;
            if (!(value = OptionValue(args, i)) || !(number = ParseNumber(*value, 9)))
                return UsageError("--level takes a number from 0 to 9");
            level = static_cast<int>(*number);
        } else if (arg == "--codepage") {
            std::optional<unsigned> number;
            if (!(value = OptionValue(args, i)) || !(number = ParseNumber(*value, 65535)))
                return UsageError("--codepage takes a Windows code page number, such as 1252");
            options.code_page = *number;
            if (!IsKnownCodePage(options.code_page))
                return UsageError("--codepage " + *value + ": a code page this system cannot convert names to");
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option " + arg);
        } else {
            options.paths.push_back(FromUtf8(arg));
        }
    }
    if (options.paths.empty())
        return UsageError("create needs the files or folders to pack");
    if (options.launch && options.no_launch)
        return UsageError("--launch and --no-launch exclude each other");

    std::string error;
    options.source_date_epoch = SourceDateEpoch(&error);
    if (!error.empty())
        return Fail(error);
    std::vector<std::string> problems;
    std::optional<PackPlan> plan = PlanPackage(options, &problems);
    std::vector<fs::path> inputs = {stub};
    if (plan)
        for (const PackEntry& entry : plan->entries)
            inputs.push_back(entry.path);
    for (const fs::path& input : inputs)
        if (SamePath(input, output))
            problems.push_back(Shown(output) + ": the output would overwrite one of the inputs");
    if (problems.empty() && !CanWriteOutput(output, &error))
        problems.push_back(error);
    for (const std::string& problem : problems)
        Fail(problem);
    if (!problems.empty())
        return 1;

    const std::optional<PreparedStub> prepared = LoadStub(stub, &error);
    if (!prepared)
        return Fail(error);
    for (const std::string& warning : plan->warnings)
        Warn(warning);
    if (plan->contents_size > kLargeContents)
        Warn("the files hold more than 1 GiB; a 32-bit installer may fail to hold them in memory at once");

    std::optional<Bytes> package;
    {
        ProgressBar bar("packing");
        package = CompressPackage(*plan, level, [&](uint64_t done, uint64_t total) { bar.Update(done, total); },
                                  &error);
    }
    if (!package)
        return Fail(error);
    if (!EmbedAndWrite(*prepared, *package, output, &error))
        return Fail(error);
    std::printf("%s: %zu files, %llu bytes packed into %zu", Shown(output).c_str(), plan->entries.size(),
                static_cast<unsigned long long>(plan->contents_size), package->size());
    std::printf("; launch: %s\n", plan->launch.empty() ? "(none)" : plan->launch.c_str());
    return 0;
}

int Inject(const std::vector<std::string>& args)
{
    std::vector<fs::path> positional;
    std::optional<fs::path> output;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" || args[i] == "--output") {
            std::optional<std::string> value = OptionValue(args, i);
            if (!value)
                return UsageError("-o needs a file name");
            output = FromUtf8(*value);
        } else {
            positional.push_back(FromUtf8(args[i]));
        }
    }
    if (positional.size() != 2 || !output)
        return UsageError("inject takes STUB.exe PACKAGE.z -o OUT.exe");
    if (SamePath(positional[0], *output) || SamePath(positional[1], *output))
        return Fail(Shown(*output) + ": the output would overwrite one of the inputs");
    std::string error;
    if (!CanWriteOutput(*output, &error))
        return Fail(error);
    const std::optional<PreparedStub> stub = LoadStub(positional[0], &error);
    if (!stub)
        return Fail(error);
    const std::optional<Bytes> package = ReadInputFile(positional[1], kLargestPackage, &error);
    if (!package)
        return Fail(error);
    if (!EmbedAndWrite(*stub, *package, *output, &error))
        return Fail(error);
    return 0;
}

// Reads an installer named by the last positional argument; --codepage CP too.
struct InstallerArgs {
    std::vector<fs::path> positional;
    unsigned code_page = 1252;
};

std::optional<InstallerArgs> ParseInstallerArgs(const std::vector<std::string>& args, std::string* error)
{
    InstallerArgs parsed;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--codepage") {
            std::optional<std::string> value = OptionValue(args, i);
            std::optional<unsigned> number = value ? ParseNumber(*value, 65535) : std::nullopt;
            if (!number) {
                *error = "--codepage takes a Windows code page number, such as 1252";
                return std::nullopt;
            }
            if (!IsKnownCodePage(*number)) {
                *error = "--codepage " + *value + ": a code page this system cannot convert names from";
                return std::nullopt;
            }
            parsed.code_page = *number;
        } else {
            parsed.positional.push_back(FromUtf8(args[i]));
        }
    }
    return parsed;
}

std::optional<InstallerPackage> OpenInstaller(const fs::path& path, std::string* error)
{
    std::optional<Bytes> file = ReadInputFile(path, kLargestInstaller, error);
    if (!file)
        return std::nullopt;
    std::optional<InstallerPackage> package = ReadInstallerPackage(*file, error);
    if (!package)
        *error = Shown(path) + ": " + *error;
    return package;
}

std::string FieldText(const char* field)
{
    return std::string(field, strnlen(field, kMergeNameSize));
}

std::string DisplayName(const char* field, unsigned codePage)
{
    const std::optional<std::string> name = CodePageToUtf8(FieldText(field), codePage);
    return name ? *name : FieldText(field);
}

int List(const std::vector<std::string>& args)
{
    std::string error;
    const std::optional<InstallerArgs> parsed = ParseInstallerArgs(args, &error);
    if (!parsed)
        return UsageError(error);
    if (parsed->positional.size() != 1)
        return UsageError("list takes one INSTALLER.exe");
    const std::optional<InstallerPackage> package = OpenInstaller(parsed->positional[0], &error);
    if (!package)
        return Fail(error);
    const std::string launch = DisplayName(package->header.launch_name, parsed->code_page);
    std::printf("launch: %s\n", launch.empty() ? "(none)" : launch.c_str());
    std::printf("%10s  %-20s  %-20s  %-20s  %s\n", "size", "created", "last access", "last write", "name");
    uint64_t total = 0;
    for (const MergeEntry& entry : package->entries) {
        std::printf("%10u  %-20s  %-20s  %-20s  %s\n", entry.size, FormatFileTime(entry.creation_time).c_str(),
                    FormatFileTime(entry.last_access_time).c_str(), FormatFileTime(entry.last_write_time).c_str(),
                    DisplayName(entry.name, parsed->code_page).c_str());
        total += entry.size;
    }
    std::printf("%zu entries, %llu bytes\n", package->entries.size(), static_cast<unsigned long long>(total));
    return 0;
}

int Extract(const std::vector<std::string>& args)
{
    std::string error;
    const std::optional<InstallerArgs> parsed = ParseInstallerArgs(args, &error);
    if (!parsed)
        return UsageError(error);
    if (parsed->positional.size() != 2)
        return UsageError("extract takes INSTALLER.exe DIR");
    const fs::path folder = parsed->positional[1];
    std::error_code ignored;
    const fs::file_type type = fs::status(folder, ignored).type();
    if (type != fs::file_type::not_found && type != fs::file_type::directory)
        return Fail(Shown(folder) + ": not a folder");
    const std::optional<InstallerPackage> package = OpenInstaller(parsed->positional[0], &error);
    if (!package)
        return Fail(error);

    // Every name is a bare file name by now (the reader refuses others), so
    // each path lies directly in the folder. Check them all before writing.
    std::vector<fs::path> targets;
    for (const MergeEntry& entry : package->entries) {
        const std::optional<std::string> name = CodePageToUtf8(FieldText(entry.name), parsed->code_page);
        if (!name || name->find('/') != std::string::npos)
            return Fail(FieldText(entry.name) + ": a name this system cannot represent");
        const fs::path target = folder / FromUtf8(*name);
        std::error_code ignored;
        if (fs::symlink_status(target, ignored).type() != fs::file_type::not_found)
            return Fail(Shown(target) + ": already exists; not overwritten");
        for (const fs::path& earlier : targets)
            if (earlier == target)
                return Fail(Shown(target) + ": two entries of this name");
        targets.push_back(target);
    }
    std::error_code failure;
    fs::create_directories(folder, failure);
    if (failure)
        return Fail(Shown(folder) + ": cannot create it (" + failure.message() + ")");
    for (size_t i = 0; i < targets.size(); ++i) {
        const MergeEntry& entry = package->entries[i];
        const auto begin = package->merge.begin() + static_cast<ptrdiff_t>(package->offsets[i]);
        if (!WriteOutputFile(targets[i], Bytes(begin, begin + entry.size), /*executable=*/false, &error))
            return Fail(error);
        if (!ApplyFileTimes(targets[i], {entry.creation_time, entry.last_access_time, entry.last_write_time}, &error))
            Warn(Shown(targets[i]) + ": " + error);
    }
    std::printf("%zu files written to %s\n", targets.size(), Shown(folder).c_str());
    return 0;
}

int Verify(const std::vector<std::string>& args)
{
    if (args.size() != 1)
        return UsageError("verify takes one INSTALLER.exe");
    std::string error;
    const std::optional<InstallerPackage> package = OpenInstaller(FromUtf8(args[0]), &error);
    if (!package)
        return Fail(error);
    const std::vector<std::string> flaws = FindPackageFlaws(*package);
    for (const std::string& flaw : flaws)
        Fail(args[0] + ": " + flaw);
    if (!flaws.empty())
        return 1;
    std::printf("%s: sound: %zu entries, %zu bytes inflated from %zu, Adler-32 checked\n", args[0].c_str(),
                package->entries.size(), package->merge.size(), package->resource_size);
    return 0;
}

int Run(const std::vector<std::string>& all)
{
    if (all.empty())
        return UsageError("no command");
    const std::string command = all[0];
    const std::vector<std::string> args(all.begin() + 1, all.end());
    if (command == "--help" || command == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("sfxpack %s (zlib %s)\n", SFX_VERSION, zlibVersion());
        return 0;
    }
    if (command == "create")
        return Create(args);
    if (command == "inject")
        return Inject(args);
    if (command == "list")
        return List(args);
    if (command == "extract")
        return Extract(args);
    if (command == "verify")
        return Verify(args);
    return UsageError("unknown command " + command);
}

}  // namespace

int main(int argc, char** argv)
{
    // Every failure the packer foresees is a message; this is for the rest,
    // so that nothing ends in an abort.
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::bad_alloc&) {
        return Fail("out of memory");
    } catch (const std::exception& exception) {
        return Fail(std::string("unexpected failure: ") + exception.what());
    }
}
