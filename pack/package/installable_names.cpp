#include "pack/package/installable_names.h"

#include <cctype>

#include "pack/system/code_page.h"

namespace {

// The rule a name breaks, said of this name as the user gave it (UTF-8):
// "CON is a device name on Windows", "contains ':'".
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

LeadBytes LeadBytesOf(unsigned codePage)
{
    LeadBytes lead;
    const auto mark = [&](unsigned first, unsigned last) {
        for (unsigned byte = first; byte <= last; ++byte)
            lead.lead[byte] = true;
    };
    if (codePage == 932) {
        mark(0x81, 0x9F);
        mark(0xE0, 0xFC);
    } else if (codePage == 936 || codePage == 949 || codePage == 950) {
        mark(0x81, 0xFE);
    }
    return lead;
}

std::optional<std::string> WhyNotInstallable(const std::string& storedName, unsigned codePage)
{
    if (storedName.size() > kLongestInstallableName)
        return "its name is " + std::to_string(storedName.size()) + " bytes long; the installer unpacks files " +
               "into a folder of its own in the temporary folder, where names of at most " +
               std::to_string(kLongestInstallableName) + " bytes fit";
    const NameFault fault = FindNameFault(storedName.c_str(), storedName.size() + 1, LeadBytesOf(codePage));
    if (fault != NameFault::None)
        return DescribeFault(CodePageToUtf8(storedName, codePage).value_or(storedName), fault);
    return std::nullopt;
}
