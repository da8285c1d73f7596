// sfxpack create and inject: installers made from a stub and files, or from a
// stub and a ready package.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "pack/cli/commands.h"
#include "pack/system/file_io.h"
#include "pack/system/file_times.h"
#include "pack/package/package_builder.h"
#include "pack/cli/progress_bar.h"
#include "pack/pe/resource_writer.h"
#include "pack/pe/stub_preparation.h"
#include "pack/system/platform.h"
#include "pack/system/threads.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kLargeContents = uint64_t{1} << 30;
// No stub is larger: a program carries its code and its resources, not data.
constexpr uint64_t kLargestStub = uint64_t{256} << 20;
constexpr unsigned kMostThreads = 256;

struct CreateCall {
    PackOptions options;
    CompressOptions compress;
    StubOptions stub_options;
    fs::path output = "installer.exe";
    fs::path stub;
};

// The release stub: beside the packer (the Windows zip), where an install
// puts it relative to the packer, or in the build tree.
fs::path DefaultStub()
{
    const fs::path program = ThisProgram().parent_path();
    for (const fs::path& candidate : {program / "sfxstub.exe", program / SFX_INSTALLED_STUB}) {
        std::error_code ignored;
        if (fs::is_regular_file(candidate, ignored))
            return candidate.lexically_normal();
    }
    return SFX_DEFAULT_STUB;
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

// Reads one option of create; empty, or what is wrong with the call.
std::string ParseCreateOption(const Arguments& args, size_t& i, CreateCall* call)
{
    const std::string& arg = args[i];
    std::optional<std::string> value;
    std::optional<unsigned> number;
    std::string error;
    if (arg == "-o" || arg == "--output" || arg == "--stub" || arg == "--launch") {
        if (!(value = OptionValue(args, i)))
            return arg + (arg == "--launch" ? " needs the name of a packed file" : " needs a file name");
        if (arg == "--launch")
            call->options.launch = *value;
        else
            (arg == "--stub" ? call->stub : call->output) = FromUtf8(*value);
    } else if (arg == "--no-launch") {
        call->options.no_launch = true;
    } else if (arg == "--strip-symbols") {
        call->stub_options.strip_symbols = true;
    } else if (arg == "--level") {
        if (!(value = OptionValue(args, i)) || !(number = ParseNumber(*value, 9)))
            return "--level takes a number from 0 to 9";
        call->compress.level = static_cast<int>(*number);
    } else if (arg == "--threads") {
        if (!(value = OptionValue(args, i)) || !(number = ParseNumber(*value, kMostThreads)) || *number == 0)
            return "--threads takes a number from 1 to " + std::to_string(kMostThreads);
        call->compress.threads = *number;
    } else if (arg == "--codepage") {
        if (!(number = ParseCodePage(arg, OptionValue(args, i), &error)))
            return error;
        call->options.code_page = *number;
    } else if (arg.size() > 1 && arg[0] == '-') {
        return "unknown option " + arg;
    } else {
        call->options.paths.push_back(FromUtf8(arg));
    }
    return "";
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
std::optional<PreparedStub> LoadStub(const fs::path& path, const StubOptions& options, std::string* error)
{
    const std::optional<Bytes> stub = ReadInputFile(path, kLargestStub, error);
    if (!stub)
        return std::nullopt;
    std::optional<PreparedStub> prepared = PrepareStub(*stub, options, error);
    if (!prepared) {
        const bool notAProgram = !IsOverlayRefusal(*error);
        *error = Shown(path) + ": " + *error +
                 (notAProgram ? " (the stub must be a Windows program: --stub STUB.exe)" : "");
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
    ProgressBar bar("packing");
    call.compress.progress = [&](uint64_t done, uint64_t total) { bar.Update(done, total); };
    const std::optional<uint64_t> size = CompressPackage(plan, call.compress, out, error);
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
    for (size_t i = 0; i < args.size(); ++i)
        if (const std::string wrong = ParseCreateOption(args, i, &call); !wrong.empty())
            return UsageError(wrong);
    if (call.options.paths.empty())
        return UsageError("create needs the files or folders to pack");
    if (call.options.launch && call.options.no_launch)
        return UsageError("--launch and --no-launch exclude each other");
    std::string error;
    call.options.latest_time = SourceDateEpoch(&error);
    if (!error.empty())
        return Fail(error);

    if (call.stub.empty())
        return Fail("no stub beside sfxpack or where it is installed; name one with --stub STUB.exe");
    const std::optional<PackPlan> plan = PlanCreate(call);
    if (!plan)
        return 1;
    const std::optional<PreparedStub> stub = LoadStub(call.stub, call.stub_options, &error);
    if (!stub)
        return Fail(error);
    for (const std::string& warning : plan->warnings)
        Warn(warning);
    if (plan->contents_size > kLargeContents)
        Warn("the files hold more than 1 GiB; a 32-bit installer may fail to hold them in memory at once");

    TemporaryFile package(call.output);
    if (!package.Ok())
        return Fail(package.Error());
    const std::optional<uint64_t> packed = CompressInto(package, *plan, call, &error);
    if (!packed || !WriteInstaller(*stub, package.Path(), call.output, &error))
        return Fail(error);
    std::printf("%s: %zu files, %llu bytes packed into %llu; launch: %s\n", Shown(call.output).c_str(),
                plan->entries.size(), static_cast<unsigned long long>(plan->contents_size),
                static_cast<unsigned long long>(*packed), plan->launch.empty() ? "(none)" : plan->launch.c_str());
    return 0;
}

int Inject(const Arguments& args)
{
    std::vector<fs::path> positional;
    std::optional<fs::path> output;
    StubOptions stubOptions;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--strip-symbols") {
            stubOptions.strip_symbols = true;
        } else if (args[i] == "-o" || args[i] == "--output") {
            const std::optional<std::string> value = OptionValue(args, i);
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
    const std::optional<PreparedStub> stub = LoadStub(positional[0], stubOptions, &error);
    if (!stub)
        return Fail(error);
    // Only the size is checked: the package goes in as it is, a piece at a time.
    if (!InputFileSize(positional[1], UINT32_MAX, &error) || !WriteInstaller(*stub, positional[1], *output, &error))
        return Fail(error);
    return 0;
}
