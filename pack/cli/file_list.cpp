#include "pack/cli/file_list.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "pack/package/package_limits.h"
#include "pack/system/file_io.h"
#include "pack/system/platform.h"
#include "pack/system/utf16.h"

namespace fs = std::filesystem;

namespace {

// No path is longer than Windows' 32,767 UTF-16 units, each at most three
// bytes of UTF-8: a longer line is no path, and it is refused before it
// fills memory (a device such as /dev/zero never ends one).
constexpr size_t kLongestPath = 32767;
constexpr size_t kLongestEntry = kLongestPath * 3 + 4;  // with a byte order mark and a CR, dropped later
constexpr char kLongerThanAnyPath[] = "longer than any path (32,767 characters)";

constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

// The text up to its last whole character: a line cut at a length may end
// inside one, which is no fault of the list's.
std::string WholeCharacters(const std::string& text)
{
    size_t start = text.size();  // of the last character
    while (start > 0 && text.size() - start < 3 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80)
        --start;
    if (start == 0)
        return text;
    const unsigned char lead = static_cast<unsigned char>(text[start - 1]);
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return text.size() - (start - 1) < length ? text.substr(0, start - 1) : text;
}

}  // namespace

bool FileListParser::Take(const char* bytes, size_t count)
{
    if (!error_.empty())
        return false;
    const char separator = separator_ == ListSeparator::kNul ? '\0' : '\n';
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i] == separator) {
            if (!EndEntry())
                return false;
            continue;
        }
        entry_ += bytes[i];
        // Whatever else is wrong with so long a line is said first: a list
        // of another encoding, or of NUL-separated names, is more likely
        // than a path of 98,000 bytes.
        if (entry_.size() > kLongestEntry)
            return Check(WholeCharacters(entry_)) && Refuse(kLongerThanAnyPath);
    }
    return true;
}

bool FileListParser::Finish()
{
    return error_.empty() && (entry_.empty() || EndEntry());
}

bool FileListParser::EndEntry()
{
    // Empty ones count too: a list that never ends (/dev/zero with --null,
    // yes '') is one of endless empty entries.
    if (number_ > kMostEntries)
        return Refuse("more than " + std::to_string(kMostEntries) + " " +
                      (separator_ == ListSeparator::kNul ? "names" : "lines") +
                      ", more than the files of a package; does the list ever end?");
    if (separator_ == ListSeparator::kLine && !entry_.empty() && entry_.back() == '\r')
        entry_.pop_back();
    if (number_ == 1 && entry_.starts_with(kUtf8ByteOrderMark))
        entry_.erase(0, 3);
    if (!Check(entry_))
        return false;
    if (!entry_.empty())
        paths_.push_back(std::move(entry_));
    entry_.clear();
    ++number_;
    return true;
}

bool FileListParser::Check(const std::string& entry)
{
    // Windows editors and PowerShell's > write UTF-16 with its byte order mark.
    if (number_ == 1 && (entry.starts_with("\xFF\xFE") || entry.starts_with("\xFE\xFF")))
        return Refuse("the list is UTF-16 (it starts with UTF-16's byte order mark); a list is read as UTF-8");
    char cause[200];
    if (const size_t nul = entry.find('\0'); nul != std::string::npos) {
        std::snprintf(cause, sizeof cause, "byte %zu is NUL, which no path holds (--null reads a list of names "
                      "that NULs separate, as find -print0 writes)", nul + 1);
        return Refuse(cause);
    }
    size_t units = 0;  // of UTF-16, in which Windows counts a path's length
    for (size_t at = 0; at < entry.size();) {
        const size_t start = at;
        const std::optional<char32_t> character = DecodeUtf8(entry, &at);
        if (!character) {
            std::snprintf(cause, sizeof cause, "byte %zu (0x%02X) is not UTF-8, in which lists are read (iconv -t "
                          "UTF-8 converts a list of another encoding)",
                          start + 1, static_cast<unsigned char>(entry[start]));
            return Refuse(cause);
        }
        units += *character > 0xFFFF ? 2 : 1;
    }
    return units <= kLongestPath || Refuse(kLongerThanAnyPath);
}

bool FileListParser::Refuse(const std::string& cause)
{
    error_ = (separator_ == ListSeparator::kNul ? "name " : "line ") + std::to_string(number_) + ": " + cause;
    return false;
}

bool ReadFileList(const std::string& list, ListSeparator separator, std::vector<fs::path>* paths,
                  std::string* error)
{
    const bool standardInput = list == "-";
    const std::string shown = standardInput ? "standard input (--files-from -)" : list;
    std::error_code ignored;
    if (!standardInput && fs::is_directory(FromUtf8(list), ignored)) {
        *error = shown + ": a folder, not a file";
        return false;
    }
    std::string why;
    std::FILE* file = standardInput ? BinaryStandardInput() : OpenForReading(FromUtf8(list), &why);
    if (!file) {
        *error = shown + ": cannot read it (" + why + ")";
        return false;
    }
    FileListParser parser(separator);
    char buffer[65536];
    bool taken = true;
    // Ends at the list's end, at a failed read, or at its first wrong line.
    size_t count;
    while (taken && (count = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        taken = parser.Take(buffer, count);
    const bool failed = std::ferror(file);
    why = failed ? std::strerror(errno) : "";
    if (!standardInput)
        std::fclose(file);
    if (!taken || (!failed && !parser.Finish())) {
        *error = shown + ": " + parser.Error();
        return false;
    }
    if (failed) {
        *error = shown + ": cannot read it (" + why + ")";
        return false;
    }
    for (const std::string& path : parser.Paths())
        paths->push_back(FromUtf8(path));
    return true;
}
