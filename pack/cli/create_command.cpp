// sfxpack create and inject: installers made from a stub and files, or from a
// stub and a ready package.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "pack/cli/commands.h"
#include "pack/cli/create_options.h"
#include "pack/cli/file_list.h"
#include "pack/cli/help.h"
#include "pack/cli/identity_options.h"
#include "pack/cli/printable_text.h"
#include "pack/system/code_page.h"
#include "pack/system/file_io.h"
#include "pack/system/file_times.h"
#include "pack/package/install_time.h"
#include "pack/package/package_builder.h"
#include "pack/package/package_limits.h"
#include "pack/package/package_reader.h"
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
    fs::path target;  // the file written: the output, or the file its link names; none for standard output
    fs::path stub;
    std::vector<std::string> lists;  // --files-from
    ListSeparator separator = ListSeparator::kLine;
    IdentityOptions identity;
    bool iterations_given = false;
    bool quiet = false;
};

// Where the stub is looked for when none is named: beside the packer (the
// Windows zip, the build folders), then where an install puts it relative to
// the packer. None when the system does not say where the packer is, rather
// than a stub from whatever the current folder is.
std::vector<fs::path> StubPlaces()
{
    const fs::path program = ThisProgram();
    if (program.empty())
        return {};
    const fs::path folder = program.parent_path();
    return {(folder / "sfxstub.exe").lexically_normal(), (folder / SFX_INSTALLED_STUB).lexically_normal()};
}

// The first stub found in its places; otherwise nothing, with *error naming
// the places it was looked for.
std::optional<fs::path> DefaultStub(std::string* error)
{
    const std::vector<fs::path> places = StubPlaces();
    for (const fs::path& place : places) {
        std::error_code ignored;
        if (fs::is_regular_file(place, ignored))
            return place;
    }
    *error = places.empty() ? "no stub: the system does not say where sfxpack is, beside which it looks for one"
                            : "no stub: none at " + Shown(places[0]) + " (beside sfxpack) or at " +
                                  Shown(places[1]) + " (where it is installed)";
    *error += "; name one with --stub STUB.exe";
    return std::nullopt;
}

const char kStandardOutput[] = "standard output";

// The descriptor an output is written to as a stream: "-o -" writes to
// standard output, as tar -f - and gzip -c do ("./-" is a file of that name);
// "-o /dev/stdout" or "/dev/fd/3" to the descriptor it names, which the shell
// may have opened to append (>> log), and which the path would replace.
std::optional<int> StreamDescriptor(const fs::path& output)
{
    return output == "-" ? std::optional<int>(1) : OwnDescriptor(output);
}

std::string StreamName(const fs::path& output)
{
    return output == "-" ? kStandardOutput : Shown(output);
}

// Why the stream cannot take an installer; nothing when it can.
std::optional<std::string> StreamObstacle(const fs::path& output)
{
    const int descriptor = *StreamDescriptor(output);
    // Through its name, the file behind a descriptor closed or open for
    // reading would be replaced: refused, never written.
    if (!DescriptorIsOpen(descriptor))
        return StreamName(output) + ": descriptor " + std::to_string(descriptor) +
               " is not open in sfxpack; open it for writing (as with 1>FILE or 3>>FILE), or give -o FILE";
    if (!DescriptorIsWritable(descriptor))
        return StreamName(output) + ": descriptor " + std::to_string(descriptor) +
               " is open for reading only; open it for writing (as with 1>FILE or 3>>FILE), or give -o FILE";
    if (DescriptorIsTerminal(descriptor))
        return StreamName(output) +
               ": a terminal, where an installer's bytes are no use; redirect it to a file or a pipe, or give -o FILE";
    if (DescriptorIsStandardError(descriptor))
        return StreamName(output) + ": where sfxpack's own messages go (standard error), which would mix with the "
                                    "installer's bytes; send one of them elsewhere";
    return std::nullopt;
}

bool SamePath(const fs::path& a, const fs::path& b)
{
    std::error_code failure;
    if (fs::equivalent(a, b, failure))
        return true;
    return fs::weakly_canonical(a, failure) == fs::weakly_canonical(b, failure);
}

// Whether writing to `output` would overwrite `input`: the same file, or a
// descriptor open on it (which would grow as it is read).
bool OverwritesInput(const fs::path& output, const fs::path& input)
{
    const std::optional<int> stream = StreamDescriptor(output);
    return stream ? DescriptorIsWritable(*stream) && DescriptorIsFile(*stream, input) : SamePath(input, output);
}

// What keeps `output` from taking the installer, checked before any work:
// it would overwrite one of the inputs, or the stream or the file cannot
// take it. Nothing when it can; a file's *target is then the file written
// (through a link, the file it names).
std::optional<std::string> OutputProblem(const fs::path& output, const std::vector<fs::path>& inputs,
                                         fs::path* target)
{
    for (const fs::path& input : inputs)
        if (OverwritesInput(output, input))
            return Shown(output) + ": the output would overwrite one of the inputs";
    if (StreamDescriptor(output))
        return StreamObstacle(output);
    std::string error;
    const std::optional<fs::path> file = OutputFile(output, &error);
    if (!file)
        return error;
    *target = *file;
    return std::nullopt;
}

// Where the summary goes: standard output, unless the installer goes there,
// through whatever descriptor (-o /dev/fd/3 3>&1).
std::FILE* SummaryStream(std::optional<int> stream)
{
    return stream && DescriptorIsStandardOutput(*stream) ? stderr : stdout;
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

// Takes one option of create; empty, or what is wrong with the call.
std::string TakeCreateOption(const std::string& name, const std::string& value, CreateCall* call)
{
    std::optional<unsigned> number;
    std::string error;
    if (TakeIdentityOption(name, value, &call->identity, &error))
        return error;
    if (name == "--output") {
        if (value.empty())
            return "--output needs the installer's file (- for standard output)";
        call->output = FromUtf8(value);
    } else if (name == "--stub") {
        if (value.empty())
            return "--stub needs the stub's file";
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
        if (!(number = ParseNumber(value, kZopfliLevel)))
            return OptionGiven(name, value) + ": not a number from 0 to 11 (10 for libdeflate's near-optimal "
                                              "parsing, 11 for zopfli's, the smallest and slowest)";
        call->compress.level = static_cast<int>(*number);
    } else if (name == "--iterations") {
        if (!(number = ParseNumber(value, kMostIterations)) || *number == 0)
            return OptionGiven(name, value) + ": not a number from 1 to " + std::to_string(kMostIterations);
        call->iterations_given = true;
        call->compress.iterations = static_cast<int>(*number);
    } else if (name == "--threads") {
        if (!(number = ParseNumber(value, kMostThreads)) || *number == 0)
            return OptionGiven(name, value) + ": not a number from 1 to " + std::to_string(kMostThreads);
        call->compress.threads = *number;
    } else if (name == "--codepage") {
        if (!(number = ParseCodePage(value, &error)))
            return error;
        call->options.code_page = *number;
    } else if (name == "--times") {
        if (value != "each" && value != "write")
            return OptionGiven(name, value) + ": neither each nor write";
        call->options.times_from_last_write = value == "write";
    } else if (name == "--files-from") {
        call->lists.push_back(value);
    } else if (name == "--null") {
        call->separator = ListSeparator::kNul;
    } else if (name == "--quiet") {
        call->quiet = true;
    }
    return "";
}

// The files planned and the output checked, call.target found; every
// problem said, one a line.
std::optional<PackPlan> PlanCreate(CreateCall& call)
{
    std::vector<std::string> problems;
    std::optional<PackPlan> plan = PlanPackage(call.options, &problems);
    std::vector<fs::path> inputs = {call.stub};
    if (plan)
        for (const PackEntry& entry : plan->entries)
            inputs.push_back(entry.path);
    if (problems.empty())
        if (const std::optional<std::string> problem = OutputProblem(call.output, inputs, &call.target))
            problems.push_back(*problem);
    for (const std::string& problem : problems)
        Fail(problem);
    return problems.empty() ? plan : std::nullopt;
}

// The stub read and checked completely, with the vendor's identity, its
// warnings told: everything wrong with it is found before any input is
// compressed. `givenAs` says where the stub was named, for a refusal.
std::optional<PreparedStub> LoadStub(const fs::path& path, const StubOptions& options,
                                     const IdentityOptions& identityOptions, const std::string& givenAs,
                                     std::string* error)
{
    const std::optional<InstallerIdentity> identity = LoadIdentity(identityOptions, error);
    const std::optional<Bytes> stub = identity ? ReadInputFile(path, kLargestStub, error) : std::nullopt;
    if (!stub)
        return std::nullopt;
    std::optional<PreparedStub> prepared = PrepareStub(*stub, options, error);
    if (!prepared) {
        const bool notAProgram = !IsOverlayRefusal(*error);
        *error = Shown(path) + ": " + *error +
                 (notAProgram ? " (the stub must be a Windows program: " + givenAs + ")" : "");
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

// The package, compressed into a temporary file beside the output, or in
// the temporary folder for standard output.
std::optional<uint64_t> CompressInto(TemporaryFile& package, const PackPlan& plan, CreateCall& call,
                                     std::string* error)
{
    FileWriter out(package);
    ProgressBar bar("packing", /*enabled=*/!call.quiet);
    call.compress.progress = [&](uint64_t done, uint64_t total) { bar.Update(done, total); };
    const std::optional<uint64_t> size = CompressPackage(plan, call.compress, out, error);
    const std::string failed = StreamDescriptor(call.output)
                                   ? StreamName(call.output) + ": cannot write the package in " +
                                         Shown(package.Path().parent_path())
                                   : Shown(call.target) + ": cannot write the package beside it";
    if (!size && !out.Error().empty())
        *error = failed + " (" + out.Error() + ")";
    if (size && !out.Close()) {
        *error = failed + " (" + out.Error() + ")";
        return std::nullopt;
    }
    return size;
}

}  // namespace

int Create(const Arguments& args)
{
    CreateCall call;
    call.compress.threads = CoreCount();
    std::string error;
    const std::optional<ParsedCall> parsed = ParseCall(args, CreateOptionSpecs(), &error);
    if (!parsed)
        return UsageError(error);
    if (parsed->Has("--help"))
        return PrintCommandHelp("create"), 0;
    for (const auto& [name, value] : parsed->options)
        if (const std::string wrong = TakeCreateOption(name, value, &call); !wrong.empty())
            return UsageError(wrong);
    for (const std::string& operand : parsed->operands)
        call.options.paths.push_back(FromUtf8(operand));
    if (call.separator == ListSeparator::kNul && call.lists.empty())
        return UsageError("--null goes with --files-from, whose lists it reads");
    for (const std::string& list : call.lists)
        if (!ReadFileList(list, call.separator, &call.options.paths, &error))
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

    if (call.stub.empty()) {
        const std::optional<fs::path> stub = DefaultStub(&error);
        if (!stub)
            return Fail(error);
        call.stub = *stub;
    }
    const std::optional<PackPlan> plan = PlanCreate(call);
    if (!plan)
        return 1;
    const std::optional<PreparedStub> stub =
        LoadStub(call.stub, call.stub_options, call.identity, "--stub STUB.exe", &error);
    if (!stub)
        return Fail(error);
    for (const std::string& warning : plan->warnings)
        Warn(warning);
    if (plan->contents_size > kLargeMergeFile)
        Warn("the files hold more than 1 GiB; the 32-bit installer holds the whole package in memory and may fail "
             "to (under Wine it fails from 1.25 GiB)");

    // Standard output takes the installer only once it is whole; until then
    // the package waits where temporary files go, removed on every path.
    const std::optional<int> stream = StreamDescriptor(call.output);
    std::optional<TemporaryFile> package;
    if (stream)
        package.emplace(TemporaryFolder(), StreamName(call.output));
    else
        package.emplace(call.target);
    if (!package->Ok())
        return Fail(package->Error());
    const std::optional<uint64_t> packed = CompressInto(*package, *plan, call, &error);
    const bool written =
        packed && (stream ? WriteInstallerToStream(*stub, package->Path(), StreamOnDescriptor(*stream),
                                                   StreamName(call.output), &error)
                          : WriteInstaller(*stub, package->Path(), call.target, &error));
    if (!written)
        return Fail(error);
    // The summary goes where it cannot mix with the installer's bytes.
    if (call.quiet)
        return 0;
    FILE* summary = SummaryStream(stream);
    const std::string launch = CodePageToUtf8(plan->launch, call.options.code_page).value_or(plan->launch);
    std::fprintf(summary, "%s: %s, %s packed into %llu; launch: %s\n", StreamName(call.output).c_str(),
                 Count(plan->entries.size(), "file", "files").c_str(), Count(plan->contents_size, "byte", "bytes").c_str(),
                 static_cast<unsigned long long>(*packed), launch.empty() ? "(none)" : Printable(launch).c_str());
    if (const std::optional<std::string> note = InstallTimeNote(plan->entries.size()))
        std::fprintf(summary, "%s\n", note->c_str());
    return 0;
}

int Inject(const Arguments& args)
{
    std::string error;
    std::vector<OptionSpec> specs = {{"--output", 'o', true}, {"--strip-symbols"}, {"--codepage", 0, true}};
    specs.insert(specs.end(), kIdentityOptions.begin(), kIdentityOptions.end());
    const std::optional<ParsedCall> parsed = ParseCall(args, specs, &error);
    if (!parsed)
        return UsageError(error);
    if (parsed->Has("--help"))
        return PrintCommandHelp("inject"), 0;
    std::optional<fs::path> output;
    StubOptions stubOptions;
    IdentityOptions identity;
    unsigned codePage = 1252;
    for (const auto& [name, value] : parsed->options) {
        if (TakeIdentityOption(name, value, &identity, &error) && !error.empty())
            return UsageError(error);
        if (name == "--codepage") {
            const std::optional<unsigned> given = ParseCodePage(value, &error);
            if (!given)
                return UsageError(error);
            codePage = *given;
        }
        if (name == "--output" && value.empty())
            return UsageError("--output needs the installer's file (- for standard output)");
        if (name == "--output")
            output = FromUtf8(value);
        stubOptions.strip_symbols |= name == "--strip-symbols";
    }
    std::vector<fs::path> positional;
    for (const std::string& operand : parsed->operands)
        positional.push_back(FromUtf8(operand));
    if (positional.size() != 2 || !output)
        return UsageError("inject takes STUB.exe PACKAGE.z -o OUT.exe");
    const std::optional<int> stream = StreamDescriptor(*output);
    fs::path target;
    if (const std::optional<std::string> problem = OutputProblem(*output, positional, &target))
        return Fail(*problem);
    const std::optional<PreparedStub> stub =
        LoadStub(positional[0], stubOptions, identity, "inject STUB.exe PACKAGE.z", &error);
    if (!stub)
        return Fail(error);
    // Only the size is checked: the package goes in as it is, a piece at a time.
    if (!InputFileSize(positional[1], UINT32_MAX, &error))
        return Fail(error);
    const bool written =
        stream ? WriteInstallerToStream(*stub, positional[1], StreamOnDescriptor(*stream), StreamName(*output), &error)
               : WriteInstaller(*stub, positional[1], target, &error);
    if (!written)
        return Fail(error);
    // In as it is; but a package that the installer would refuse is said.
    std::string verdict;
    const std::optional<InstallerPackage> package = ReadPackageFile(positional[1], codePage, &verdict);
    if (package) {
        const std::vector<std::string> flaws = FindPackageFlaws(*package, codePage);
        verdict = flaws.empty() ? "" : flaws[0] + (flaws.size() > 1 ? " (and " + Count(flaws.size() - 1, "more flaw",
                                                                                          "more flaws") + ")" : "");
    }
    if (!verdict.empty())
        Warn(Shown(positional[1]) + ": not a package that verify calls sound: " + verdict);
    if (!parsed->Has("--quiet"))
        std::fprintf(SummaryStream(stream), "%s: the package put in as it is; %s\n",
                     StreamName(*output).c_str(),
                     verdict.empty() ? ("sound: " + Count(package->entries.size(), "entry", "entries")).c_str()
                                     : "verify would refuse it");
    return 0;
}
