// sfxpack create and inject: installers made from a stub and files, or from a
// stub and a ready package.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "pack/cli/commands.h"
#include "pack/cli/help.h"
#include "pack/cli/identity_options.h"
#include "pack/system/file_io.h"
#include "pack/system/file_times.h"
#include "pack/package/package_builder.h"
#include "pack/package/package_limits.h"
#include "pack/package/parallel_deflate.h"
#include "pack/cli/progress_bar.h"
#include "pack/pe/resource_writer.h"
#include "pack/pe/stub_preparation.h"
#include "pack/system/platform.h"
#include "pack/system/threads.h"

namespace fs = std::filesystem;

namespace {

// No stub is larger: a program carries its code and its resources, not data.
constexpr uint64_t kLargestStub = uint64_t{256} << 20;
constexpr unsigned kMostThreads = 256;
constexpr unsigned kMostIterations = 1000;

struct CreateCall {
    PackOptions options;
    CompressOptions compress;
    StubOptions stub_options;
    fs::path output = "installer.exe";
    fs::path stub;
    std::vector<std::string> lists;  // --files-from
    IdentityOptions identity;
    bool iterations_given = false;
    bool quiet = false;
};

// The stub: beside the packer (the Windows zip, the build folders), or where
// an install puts it relative to the packer; empty when neither has one.
fs::path DefaultStub()
{
    const fs::path program = ThisProgram().parent_path();
    for (const fs::path& candidate : {program / "sfxstub.exe", program / SFX_INSTALLED_STUB}) {
        std::error_code ignored;
        if (fs::is_regular_file(candidate, ignored))
            return candidate.lexically_normal();
    }
    return {};
}

bool SamePath(const fs::path& a, const fs::path& b)
{
    std::error_code failure;
    if (fs::equivalent(a, b, failure))
        return true;
    return fs::weakly_canonical(a, failure) == fs::weakly_canonical(b, failure);
}

// SOURCE_DATE_EPOCH, when set, as the latest time a package may record.
std::optional<uint64_t> SourceDateEpoch(std::string* error)
{
    const char* value = std::getenv("SOURCE_DATE_EPOCH");
    if (!value || !*value)
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long seconds = std::strtoll(value, &end, 10);
    if (*end != '\0' || seconds < 0 || errno == ERANGE) {
        *error = std::string("SOURCE_DATE_EPOCH=") + value + ": not a number of seconds since 1970";
        return std::nullopt;
    }
    const std::optional<uint64_t> latest = FileTimeFromUnixTime({seconds, 0});
    if (!latest)
        *error = std::string("SOURCE_DATE_EPOCH=") + value + ": " + FormatUnixTime(seconds) +
                 " lies past what the package can record (30828)";
    return latest;
}

// The paths listed in a file, one a line, as tar -T takes them; "-" is
// standard input. Empty lines are skipped, a carriage return before the
// line's end dropped.
bool ReadPathList(const std::string& listName, std::vector<fs::path>* paths, std::string* error)
{
    std::string why;
    std::FILE* list = listName == "-" ? stdin : OpenForReading(FromUtf8(listName), &why);
    if (!list) {
        *error = listName + ": cannot read it (" + why + ")";
        return false;
    }
    std::string line;
    for (int c; (c = std::fgetc(list)) != EOF;) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            paths->push_back(FromUtf8(line));
        line.clear();
    }
    if (!line.empty())
        paths->push_back(FromUtf8(line));
    const bool read = !std::ferror(list);
    if (list != stdin)
        std::fclose(list);
    if (!read)
        *error = listName + ": cannot read it";
    return read;
}

// Takes one option of create; empty, or what is wrong with the call.
std::string TakeCreateOption(const std::string& name, const std::string& value, CreateCall* call)
{
    std::optional<unsigned> number;
    std::string error;
    if (TakeIdentityOption(name, value, &call->identity, &error))
        return error;
    if (name == "--output") {
        call->output = FromUtf8(value);
    } else if (name == "--stub") {
        call->stub = FromUtf8(value);
    } else if (name == "--launch") {
        if (value.empty())
            return "--launch needs the name of a packed file";
        if (value.find_first_of("/\\:") != std::string::npos)
            return "--launch " + value + ": the launch file is a bare name, as packed, without a folder";
        call->options.launch = value;
    } else if (name == "--no-launch") {
        call->options.no_launch = true;
    } else if (name == "--strip-symbols") {
        call->stub_options.strip_symbols = true;
    } else if (name == "--level") {
        if (!(number = ParseNumber(value, kZopfliLevel)) || *number == 10)
            return "--level takes a number from 0 to 9, or 11 for zopfli's smallest and slowest";
        call->compress.level = static_cast<int>(*number);
    } else if (name == "--iterations") {
        if (!(number = ParseNumber(value, kMostIterations)) || *number == 0)
            return "--iterations takes a number from 1 to " + std::to_string(kMostIterations);
        call->iterations_given = true;
        call->compress.iterations = static_cast<int>(*number);
    } else if (name == "--threads") {
        if (!(number = ParseNumber(value, kMostThreads)) || *number == 0)
            return "--threads takes a number from 1 to " + std::to_string(kMostThreads);
        call->compress.threads = *number;
    } else if (name == "--codepage") {
        if (!(number = ParseCodePage(value, &error)))
            return error;
        call->options.code_page = *number;
    } else if (name == "--times") {
        if (value != "each" && value != "write")
            return "--times takes each or write";
        call->options.times_from_last_write = value == "write";
    } else if (name == "--files-from") {
        call->lists.push_back(value);
    } else if (name == "--quiet") {
        call->quiet = true;
    }
    return "";
}

std::vector<OptionSpec> CreateOptions()
{
    std::vector<OptionSpec> specs = {
        {"--output", 'o', true}, {"--stub", 0, true},    {"--launch", 0, true},   {"--no-launch"},
        {"--level", 0, true},    {"--threads", 0, true}, {"--codepage", 0, true}, {"--times", 0, true},
        {"--iterations", 0, true},
        {"--files-from", 0, true}, {"--strip-symbols"},
    };
    specs.insert(specs.end(), kIdentityOptions.begin(), kIdentityOptions.end());
    return specs;
}

// The files planned and the output checked; every problem said, one a line.
std::optional<PackPlan> PlanCreate(const CreateCall& call)
{
    std::vector<std::string> problems;
    std::optional<PackPlan> plan = PlanPackage(call.options, &problems);
    std::vector<fs::path> inputs = {call.stub};
    if (plan)
        for (const PackEntry& entry : plan->entries)
            inputs.push_back(entry.path);
    for (const fs::path& input : inputs)
        if (SamePath(input, call.output))
            problems.push_back(Shown(call.output) + ": the output would overwrite one of the inputs");
    std::string error;
    if (problems.empty() && !CanWriteOutput(call.output, &error))
        problems.push_back(error);
    for (const std::string& problem : problems)
        Fail(problem);
    return problems.empty() ? plan : std::nullopt;
}

// The stub read and checked completely, its warnings told: everything wrong
// with it is found before any input is compressed.
// The stub read and checked completely, with the vendor's identity, its
// warnings told: everything wrong with it is found before any input is
// compressed.
std::optional<PreparedStub> LoadStub(const fs::path& path, const StubOptions& options,
                                     const IdentityOptions& identityOptions, std::string* error)
{
    const std::optional<InstallerIdentity> identity = LoadIdentity(identityOptions, error);
    const std::optional<Bytes> stub = identity ? ReadInputFile(path, kLargestStub, error) : std::nullopt;
    if (!stub)
        return std::nullopt;
    std::optional<PreparedStub> prepared = PrepareStub(*stub, options, error);
    if (!prepared) {
        const bool notAProgram = !IsOverlayRefusal(*error);
        *error = Shown(path) + ": " + *error +
                 (notAProgram ? " (the stub must be a Windows program: --stub STUB.exe)" : "");
        return std::nullopt;
    }
    if (const IdentityFault fault = ApplyIdentity(prepared->resources, *identity, error);
        fault != IdentityFault::kNone) {
        if (fault == IdentityFault::kStub)
            *error = Shown(path) + ": " + *error;
        return std::nullopt;
    }
    // What makes the installer one that its readers refuse is the icon's many
    // images, when there is an icon: the stub alone was read.
    if (std::optional<std::string> wrong = CheckInstallerResources(*prepared)) {
        *error = identity->icon ? Shown(*identityOptions.icon) + ": " + std::to_string(identity->icon->size()) +
                                      " images are too many: " + *wrong
                                : Shown(path) + ": " + *wrong;
        return std::nullopt;
    }
    for (const std::string& warning : prepared->warnings)
        Warn(Shown(path) + ": " + warning);
    return prepared;
}

// The package, compressed into a temporary file beside the output.
std::optional<uint64_t> CompressInto(TemporaryFile& package, const PackPlan& plan, CreateCall& call,
                                     std::string* error)
{
    FileWriter out(package);
    ProgressBar bar("packing", /*enabled=*/!call.quiet);
    call.compress.progress = [&](uint64_t done, uint64_t total) { bar.Update(done, total); };
    const std::optional<uint64_t> size = CompressPackage(plan, call.compress, out, error);
    if (!size && !out.Error().empty())
        *error = Shown(call.output) + ": cannot write the package beside it (" + out.Error() + ")";
    if (size && !out.Close()) {
        *error = Shown(call.output) + ": cannot write the package beside it (" + out.Error() + ")";
        return std::nullopt;
    }
    return size;
}

}  // namespace

int Create(const Arguments& args)
{
    CreateCall call;
    call.stub = DefaultStub();
    call.compress.threads = CoreCount();
    std::string error;
    const std::optional<ParsedCall> parsed = ParseCall(args, CreateOptions(), &error);
    if (!parsed)
        return UsageError(error);
    if (parsed->Has("--help"))
        return PrintCommandHelp("create"), 0;
    for (const auto& [name, value] : parsed->options)
        if (const std::string wrong = TakeCreateOption(name, value, &call); !wrong.empty())
            return UsageError(wrong);
    for (const std::string& operand : parsed->operands)
        call.options.paths.push_back(FromUtf8(operand));
    for (const std::string& list : call.lists)
        if (!ReadPathList(list, &call.options.paths, &error))
            return Fail(error);
    if (call.options.paths.empty())
        return call.lists.empty() ? UsageError("create needs the files or folders to pack")
                                  : Fail("no files to pack: the lists name none");
    if (call.options.launch && call.options.no_launch)
        return UsageError("--launch and --no-launch exclude each other");
    if (call.iterations_given && call.compress.level != kZopfliLevel)
        return UsageError("--iterations goes with --level 11, where zopfli compresses");
    call.options.latest_time = SourceDateEpoch(&error);
    if (!error.empty())
        return Fail(error);

    if (call.stub.empty())
        return Fail("no stub beside sfxpack or where it is installed; name one with --stub STUB.exe");
    const std::optional<PackPlan> plan = PlanCreate(call);
    if (!plan)
        return 1;
    const std::optional<PreparedStub> stub = LoadStub(call.stub, call.stub_options, call.identity, &error);
    if (!stub)
        return Fail(error);
    for (const std::string& warning : plan->warnings)
        Warn(warning);
    if (plan->contents_size > kLargeMergeFile)
        Warn("the files hold more than 1 GiB; the 32-bit installer holds the whole package in memory and may fail "
             "to (under Wine it fails from 1.25 GiB)");

    TemporaryFile package(call.output);
    if (!package.Ok())
        return Fail(package.Error());
    const std::optional<uint64_t> packed = CompressInto(package, *plan, call, &error);
    if (!packed || !WriteInstaller(*stub, package.Path(), call.output, &error))
        return Fail(error);
    if (!call.quiet)
        std::printf("%s: %s, %s packed into %llu; launch: %s\n", Shown(call.output).c_str(),
                    Count(plan->entries.size(), "file", "files").c_str(),
                    Count(plan->contents_size, "byte", "bytes").c_str(), static_cast<unsigned long long>(*packed),
                    plan->launch.empty() ? "(none)" : plan->launch.c_str());
    return 0;
}

int Inject(const Arguments& args)
{
    std::string error;
    std::vector<OptionSpec> specs = {{"--output", 'o', true}, {"--strip-symbols"}};
    specs.insert(specs.end(), kIdentityOptions.begin(), kIdentityOptions.end());
    const std::optional<ParsedCall> parsed = ParseCall(args, specs, &error);
    if (!parsed)
        return UsageError(error);
    if (parsed->Has("--help"))
        return PrintCommandHelp("inject"), 0;
    std::optional<fs::path> output;
    StubOptions stubOptions;
    IdentityOptions identity;
    for (const auto& [name, value] : parsed->options) {
        if (TakeIdentityOption(name, value, &identity, &error) && !error.empty())
            return UsageError(error);
        if (name == "--output")
            output = FromUtf8(value);
        stubOptions.strip_symbols |= name == "--strip-symbols";
    }
    std::vector<fs::path> positional;
    for (const std::string& operand : parsed->operands)
        positional.push_back(FromUtf8(operand));
    if (positional.size() != 2 || !output)
        return UsageError("inject takes STUB.exe PACKAGE.z -o OUT.exe");
    if (SamePath(positional[0], *output) || SamePath(positional[1], *output))
        return Fail(Shown(*output) + ": the output would overwrite one of the inputs");
    if (!CanWriteOutput(*output, &error))
        return Fail(error);
    const std::optional<PreparedStub> stub = LoadStub(positional[0], stubOptions, identity, &error);
    if (!stub)
        return Fail(error);
    // Only the size is checked: the package goes in as it is, a piece at a time.
    if (!InputFileSize(positional[1], UINT32_MAX, &error) || !WriteInstaller(*stub, positional[1], *output, &error))
        return Fail(error);
    return 0;
}
