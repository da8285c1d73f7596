#include "pack/system/paths.h"

#include <windows.h>

#include <algorithm>

#include "pack/system/utf16.h"

namespace {

// The prefix of a path that Windows takes as it stands, past 260 characters
// too: it never expands a wildcard in it, nor resolves . and .. there.
constexpr wchar_t kVerbatimPrefix[] = L"\\\\?\\";

bool IsVerbatim(const std::wstring& path)
{
    return path.rfind(kVerbatimPrefix, 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0;
}

// What the system makes of a path from the current folders, its own and
// each drive's: absolute, . and .. resolved; nothing when it cannot say.
std::optional<std::wstring> FullPathName(const std::wstring& given)
{
    std::wstring full(GetFullPathNameW(given.c_str(), 0, nullptr, nullptr), L'\0');
    const DWORD length = full.empty() ? 0 : GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()),
                                                             full.data(), /*file_part=*/nullptr);
    if (length == 0 || length >= full.size())
        return std::nullopt;
    full.resize(length);
    return full;
}

}  // namespace

std::filesystem::path UsualForm(const std::filesystem::path& path)
{
    const std::wstring given = path.wstring();
    if (given.rfind(kVerbatimPrefix, 0) == 0) {
        // A slash is no separator after \\?\, and no name holds one: it can
        // only have been meant as one.
        std::wstring plain = given.substr(std::size(kVerbatimPrefix) - 1);
        std::replace(plain.begin(), plain.end(), L'/', L'\\');
        if (plain.rfind(L"UNC\\", 0) == 0)
            plain = L"\\" + plain.substr(3);
        // Written plainly, the path must come back from the system as it is:
        // no . or .., no name ending in a dot or a space, no device.
        if (FullPathName(plain) == plain)
            return plain;
        return given;
    }
    if (!path.has_root_name() || path.has_root_directory())
        return path;
    const std::optional<std::wstring> full = FullPathName(given);
    return full ? std::filesystem::path(*full) : path;
}

std::filesystem::path SystemForm(const std::filesystem::path& path)
{
    const std::wstring given = path.wstring();
    if (IsVerbatim(given))
        return given;
    const std::optional<std::wstring> full = FullPathName(given);
    if (!full)
        return given;
    if (IsVerbatim(*full))
        return *full;
    if (full->rfind(L"\\\\", 0) == 0)
        return std::wstring(kVerbatimPrefix) + L"UNC\\" + full->substr(2);
    return kVerbatimPrefix + *full;
}

bool IsDevice(const std::filesystem::path& path)
{
    const std::optional<std::wstring> full = FullPathName(path.wstring());
    return full && full->rfind(L"\\\\.\\", 0) == 0;
}

std::optional<std::string> FileIdentity(const std::filesystem::path& file)
{
    // The folder by its volume and index, which no spelling of its path
    // changes; the name as the folder holds it, in its own case.
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    HANDLE handle = CreateFileW(SystemForm(folder).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, /*attributes=*/nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, /*template=*/nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION information{};
    const bool known = GetFileInformationByHandle(handle, &information) != FALSE;
    CloseHandle(handle);
    const uint64_t index = uint64_t{information.nFileIndexHigh} << 32 | information.nFileIndexLow;
    // Some network file systems number nothing: then no two paths are one.
    if (!known || index == 0)
        return std::nullopt;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(SystemForm(file).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return std::nullopt;
    FindClose(search);
    return std::to_string(information.dwVolumeSerialNumber) + ":" + std::to_string(index) + "\\" +
           Utf8FromUtf16(found.cFileName);
}
