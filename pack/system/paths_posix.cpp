#include "pack/system/paths.h"

std::filesystem::path UsualForm(const std::filesystem::path& path)
{
    return path;
}

std::filesystem::path SystemForm(const std::filesystem::path& path)
{
    return path;
}

bool IsDevice(const std::filesystem::path&)
{
    return false;
}

std::optional<std::string> FileIdentity(const std::filesystem::path& file)
{
    std::error_code failure;
    const std::filesystem::path folder =
        std::filesystem::weakly_canonical(file.has_parent_path() ? file.parent_path() : ".", failure);
    if (failure)
        return std::nullopt;
    return (folder / file.filename()).string();
}
