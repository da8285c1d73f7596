// The lists of --files-from: paths one a line, as tar -T reads them, or
// separated by NUL bytes (--null), as find -print0 and xargs -0 write them.
// A list is UTF-8, the packer's own encoding of paths. A line that holds a
// NUL or bytes that are not UTF-8 would become another path than the one
// meant (the system cuts a name at its NUL), so the list is refused naming
// the line instead.
#ifndef SFX_PACK_CLI_FILE_LIST_H
#define SFX_PACK_CLI_FILE_LIST_H

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

enum class ListSeparator { kLine, kNul };

// Splits a list into its paths a piece at a time, so that a list of any
// length (a pipe, a device) is judged as it comes and refused at its first
// wrong line without being read to its end. A UTF-8 byte order mark at the
// start is skipped, as are empty lines; in a list of lines, a carriage
// return before a line's end is dropped.
class FileListParser {
public:
    explicit FileListParser(ListSeparator separator) : separator_(separator) {}

    // Takes the list's next bytes; false at the first wrong line, with Error().
    bool Take(const char* bytes, size_t count);
    // The list's end, where the last path needs no separator after it.
    bool Finish();

    // The paths so far, in the list's order.
    const std::vector<std::string>& Paths() const { return paths_; }
    // "line 3: cause", or "name 3: cause" in a list separated by NULs.
    const std::string& Error() const { return error_; }

private:
    bool EndEntry();
    bool Check(const std::string& entry);
    bool Refuse(const std::string& cause);

    ListSeparator separator_;
    std::string entry_;     // the bytes of the line or name being read
    uint64_t number_ = 1;   // its number, from 1
    std::vector<std::string> paths_;
    std::string error_;
};

// Reads the list named `list` ("-" for standard input), appending its paths;
// false with "LIST: line N: cause" or "LIST: cannot read it (cause)".
bool ReadFileList(const std::string& list, ListSeparator separator, std::vector<std::filesystem::path>* paths,
                  std::string* error);

#endif
