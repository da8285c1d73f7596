#include "pack/system/platform.h"

#include <windows.h>

#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <system_error>
#include <vector>

#include "pack/system/paths.h"
#include "pack/system/utf16.h"

std::filesystem::path ThisProgram()
{
    // The path may be longer than MAX_PATH: grow until it fits.
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::vector<wchar_t> path(size);
        const DWORD length = GetModuleFileNameW(/*module=*/nullptr, path.data(), size);
        if (length == 0)
            return {};
        if (length < size)
            return std::filesystem::path(path.data());
    }
    return {};
}

namespace {

// Where the first wildcard (* or ?) of a path is; the question mark of a
// \\?\ prefix is none.
size_t FirstWildcard(const std::wstring& path)
{
    return path.find_first_of(L"*?", path.rfind(L"\\\\?\\", 0) == 0 ? 4 : 0);
}

// The files a pattern such as "docs\\*.txt" matches, with its folder part;
// empty when it matches none.
std::vector<std::wstring> Matches(const std::wstring& pattern)
{
    std::vector<std::wstring> matches;
    const size_t slash = pattern.find_last_of(L"\\/:");
    const std::wstring folder = slash == std::wstring::npos ? L"" : pattern.substr(0, slash + 1);
    if (FirstWildcard(pattern) < folder.size())
        return matches;  // wildcards in folders are not expanded
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(SystemForm(UsualForm(pattern)).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return matches;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            matches.push_back(folder + name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(matches.begin(), matches.end());
    return matches;
}

// The C runtime's stream over an open file handle, which it then owns;
// nothing, with the handle closed, when it cannot be made.
std::FILE* StreamOf(HANDLE handle, bool writing, std::string* why)
{
    const int descriptor =
        _open_osfhandle(reinterpret_cast<intptr_t>(handle), (writing ? _O_WRONLY : _O_RDONLY) | _O_BINARY);
    std::FILE* file = descriptor >= 0 ? _fdopen(descriptor, writing ? "wb" : "rb") : nullptr;
    if (!file) {
        *why = "cannot open it as a stream";
        if (descriptor >= 0)
            _close(descriptor);
        else
            CloseHandle(handle);
    }
    return file;
}

}  // namespace

std::optional<std::vector<FolderItem>> ListFolder(const std::filesystem::path& folder, std::string* why)
{
    std::wstring pattern = SystemForm(folder).wstring();
    if (!pattern.empty() && pattern.back() != L'\\')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        *why = std::system_category().message(static_cast<int>(GetLastError()));
        return std::nullopt;
    }
    std::vector<FolderItem> items;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            items.push_back({folder / name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return items;
}

std::vector<std::string> ProgramArguments(int, char**)
{
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; wide && i < count; ++i) {
        const std::wstring argument = wide[i];
        const std::vector<std::wstring> matches = argument[0] != L'-' && FirstWildcard(argument) != std::wstring::npos
                                                      ? Matches(argument)
                                                      : std::vector<std::wstring>{};
        if (matches.empty())
            arguments.push_back(Utf8FromUtf16(argument));
        for (const std::wstring& match : matches)
            arguments.push_back(Utf8FromUtf16(match));
    }
    LocalFree(wide);
    return arguments;
}

void UseUtf8Console()
{
    SetConsoleOutputCP(CP_UTF8);
}

bool StandardErrorIsTerminal()
{
    return _isatty(_fileno(stderr)) != 0;
}

bool StandardOutputIsTerminal()
{
    // A console, not any character device: _isatty also says yes for NUL,
    // where an installer may well be sent to be thrown away.
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != FALSE;
}

std::FILE* BinaryStandardOutput()
{
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
    return stdout;
}

std::optional<int> OwnDescriptor(const std::filesystem::path&)
{
    return std::nullopt;  // Windows names no descriptor by a path
}

bool DescriptorIsOpen(int)
{
    return true;  // standard output, the only descriptor a path gives here
}

bool DescriptorIsWritable(int)
{
    return true;
}

std::FILE* StreamOnDescriptor(int)
{
    return BinaryStandardOutput();  // the only one a path gives here: "-"
}

bool DescriptorIsTerminal(int)
{
    return StandardOutputIsTerminal();
}

bool DescriptorIsFile(int, const std::filesystem::path&)
{
    return false;  // standard output: a pipe or a file that the shell opened, never an input's
}

bool DescriptorIsStandardOutput(int descriptor)
{
    return descriptor == 1;
}

bool DescriptorIsStandardError(int)
{
    return false;
}

std::optional<uint64_t> AddressSpaceLeft()
{
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status))
        return std::nullopt;
    return status.ullAvailVirtual;
}

std::FILE* OpenForReading(const std::filesystem::path& path, std::string* why)
{
    // With the right to write its attributes, the access time that reading
    // moves can be put back; without it, reading goes on. No one may write
    // while it is read, nor hold it open for writing: Windows moves a file's
    // write time only when the writer closes it, too late to tell.
    const std::wstring name = SystemForm(path).wstring();
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_DELETE;
    HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES, share, /*attributes=*/nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, /*template=*/nullptr);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
        handle = CreateFileW(name.c_str(), GENERIC_READ, share, /*attributes=*/nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, /*template=*/nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        *why = std::system_category().message(static_cast<int>(GetLastError()));
        return nullptr;
    }
    return StreamOf(handle, /*writing=*/false, why);
}

std::FILE* BinaryStandardInput()
{
    _setmode(_fileno(stdin), _O_BINARY);
    return stdin;
}

AccessTime SaveAccessTime(const std::filesystem::path& path)
{
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!GetFileAttributesExW(SystemForm(path).c_str(), GetFileExInfoStandard, &attributes))
        return {};
    const FILETIME& access = attributes.ftLastAccessTime;
    return {uint64_t{access.dwHighDateTime} << 32 | access.dwLowDateTime, true};
}

void RestoreAccessTime(std::FILE* file, const AccessTime& saved)
{
    if (!saved.known)
        return;
    const FILETIME access = {static_cast<DWORD>(saved.value), static_cast<DWORD>(saved.value >> 32)};
    SetFileTime(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))), /*creation=*/nullptr, &access,
                /*write=*/nullptr);
}

bool SeekTo(std::FILE* file, uint64_t offset)
{
    return offset <= INT64_MAX && _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
}

std::FILE* CreateNewFile(const std::filesystem::path& path, std::string* why)
{
    // Delete sharing lets an interrupt remove the file while it is open.
    const std::wstring name = SystemForm(path).wstring();
    HANDLE handle = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                /*attributes=*/nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, /*template=*/nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *why = std::system_category().message(static_cast<int>(GetLastError()));
        return nullptr;
    }
    std::FILE* file = StreamOf(handle, /*writing=*/true, why);
    if (!file)
        DeleteFileW(name.c_str());
    return file;
}
