#include "pack/package/installable_names.h"

#include <cctype>

#include "extract/merge_format.h"

namespace {

// The rule a name breaks, said of this name: "CON is a device name on
// Windows", "contains ':'".
std::string DescribeFault(const std::string& name, NameFault fault)
{
    switch (fault) {
    case NameFault::ReservedCharacter: {
        const char reserved = name[name.find_first_of("\\/:*?\"<>|")];
        return std::string("its name contains '") + reserved + "', which Windows keeps for paths";
    }
    case NameFault::TrailingDotOrSpace:
        return std::string("its name ends with a ") + (name.back() == '.' ? "dot" : "space") +
               ", which Windows drops";
    case NameFault::DeviceName: {
        std::string device = name.substr(0, name.find_first_of(". "));
        for (char& c : device)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return device + " is a device name on Windows, whatever the extension";
    }
    default:
        return std::string("its name ") + DescribeNameFault(fault);
    }
}

}  // namespace

std::optional<std::string> WhyNotInstallable(const std::string& storedName)
{
    if (storedName.size() > kLongestInstallableName)
        return "its name is " + std::to_string(storedName.size()) + " bytes long; the installer puts files in " +
               "C:\\Quillmoor\\, where names of at most " + std::to_string(kLongestInstallableName) + " bytes fit";
    const NameFault fault = FindNameFault(storedName.c_str(), storedName.size() + 1);
    if (fault != NameFault::None)
        return DescribeFault(storedName, fault);
    return std::nullopt;
}
