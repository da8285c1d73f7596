// libFuzzer target: create's command line. The input is its arguments,
// separated by NULs. Whatever they are, the call is read or refused with a
// reason; a call read holds only create's options, written out again
// (--name=VALUE, then -- and the operands) it reads back the same, and the
// values are read as create reads them: numbers within their bounds and
// written as given, code pages known or refused with a reason, the
// identity's options taken.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "pack/cli/command_line.h"
#include "pack/cli/create_options.h"
#include "pack/cli/identity_options.h"

namespace {

constexpr size_t kMostArguments = 64;

const OptionSpec* Find(const std::vector<OptionSpec>& specs, const std::string& name)
{
    for (const OptionSpec& spec : specs)
        if (name == spec.name)
            return &spec;
    return nullptr;
}

// A number as ParseNumber takes it: digits, with their leading zeros.
void CheckNumber(const std::string& value, unsigned largest)
{
    const std::optional<unsigned> number = ParseNumber(value, largest);
    if (!number)
        return;
    const size_t first = value.find_first_not_of('0');
    const std::string digits = first == std::string::npos ? "0" : value.substr(first);
    if (*number > largest || std::to_string(*number) != digits)
        abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    Arguments args;
    for (size_t start = 0; start <= input.size() && args.size() < kMostArguments;) {
        const size_t stop = std::min(input.find('\0', start), input.size());
        args.push_back(input.substr(start, stop - start));
        start = stop + 1;
    }

    std::vector<OptionSpec> specs = CreateOptionSpecs();
    std::string error;
    const std::optional<ParsedCall> call = ParseCall(args, specs, &error);
    if (!call) {
        if (error.empty())
            abort();
        return 0;
    }
    specs.push_back({"--help", 'h'});
    specs.push_back({"--quiet", 'q'});
    // Each option or operand comes from an argument of its own, or from a
    // flag of a run of short ones before it (-qo FILE).
    size_t sources = 0;
    for (const std::string& arg : args) {
        ++sources;
        for (size_t at = 1; arg.size() > at + 1 && arg[0] == '-' && arg[1] != '-'; ++at) {
            const OptionSpec* flag = nullptr;
            for (const OptionSpec& spec : specs)
                if (spec.letter && spec.letter == arg[at])
                    flag = &spec;
            if (!flag || flag->takes_value)
                break;
            ++sources;
        }
    }
    if (call->options.size() + call->operands.size() > sources)
        abort();

    Arguments again;
    IdentityOptions identity;
    for (const auto& [name, value] : call->options) {
        const OptionSpec* spec = Find(specs, name);
        if (!spec || (!spec->takes_value && !value.empty()))
            abort();
        again.push_back(spec->takes_value ? name + "=" + value : name);
        if (name == "--level" || name == "--iterations" || name == "--threads")
            CheckNumber(value, 1000);
        if (name == "--codepage") {
            std::string wrong;
            const std::optional<unsigned> codePage = ParseCodePage(value, &wrong);
            if (codePage.has_value() == !wrong.empty() || (codePage && *codePage > 65535))
                abort();
        }
        std::string wrong;
        if (TakeIdentityOption(name, value, &identity, &wrong) != (Find(kIdentityOptions, name) != nullptr))
            abort();
    }
    again.push_back("--");
    again.insert(again.end(), call->operands.begin(), call->operands.end());
    const std::optional<ParsedCall> reread = ParseCall(again, CreateOptionSpecs(), &error);
    if (!reread || reread->options != call->options || reread->operands != call->operands)
        abort();
    return 0;
}
