#include "pack/package/installable_names.h"

#include "extract/merge_format.h"

std::optional<std::string> WhyNotInstallable(const std::string& storedName)
{
    if (storedName.size() > kLongestInstallableName)
        return "its name is " + std::to_string(storedName.size()) + " bytes long; the installer puts files in " +
               "C:\\Quillmoor\\, where names of at most " + std::to_string(kLongestInstallableName) + " bytes fit";
    const NameFault fault = FindNameFault(storedName.c_str(), storedName.size() + 1);
    if (fault != NameFault::None)
        return std::string("its name ") + DescribeNameFault(fault);
    return std::nullopt;
}
