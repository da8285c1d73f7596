#include "pack/package/package_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "pack/system/code_page.h"
#include "pack/system/file_io.h"
#include "pack/system/file_times.h"
#include "pack/package/installable_names.h"
#include "pack/package/package_limits.h"
#include "pack/package/package_locator.h"

namespace {

constexpr size_t kChunkSize = 64 * 1024;

std::string Name(const char* field)
{
    return std::string(field, strnlen(field, kMergeNameSize));
}

std::string Invalid(MergeStatus status)
{
    return std::string("invalid package: ") + DescribeMergeStatus(status);
}

// Takes the inflated merge data file a piece at a time: the header, the
// table, then the contents, checking each as the stub would.
class MergeParser {
public:
    MergeParser(InstallerPackage& package, const PackageVisitor& visitor, unsigned codePage)
        : package_(package), visitor_(visitor), codePage_(codePage), lead_(LeadBytesOf(codePage))
    {
    }

    bool Feed(const uint8_t* bytes, size_t count, std::string* error)
    {
        package_.merge_size += count;
        if (const std::optional<std::string> refusal = WhyTooLargeToInstall(package_.merge_size)) {
            *error = "the package inflates to " + *refusal;
            return false;
        }
        while (count > 0 && !tableRead_)
            if (!Gather(bytes, count, error))
                return false;
        while (count > 0 && entry_ < package_.entries.size()) {
            const size_t piece = static_cast<size_t>(std::min<uint64_t>(count, left_));
            if (visitor_.on_contents && !visitor_.on_contents(entry_, bytes, piece, error))
                return false;
            bytes += piece;
            count -= piece;
            left_ -= piece;
            NextEntryIfDone();
        }
        return true;  // what is left follows the contents
    }

    // At the end of the stream: all that the header and table promise came.
    bool Finish(std::string* error)
    {
        if (tableRead_ && entry_ == package_.entries.size())
            return true;
        *error = Invalid(MergeStatus::Truncated);
        return false;
    }

private:
    // Adds to the record being gathered, and takes it when it is whole.
    bool Gather(const uint8_t*& bytes, size_t& count, std::string* error)
    {
        const size_t wanted = headerRead_ ? kMergeEntrySize : kMergeHeaderSize;
        const size_t piece = std::min(count, wanted - record_.size());
        record_.insert(record_.end(), bytes, bytes + piece);
        bytes += piece;
        count -= piece;
        if (record_.size() < wanted)
            return true;
        const bool taken = headerRead_ ? TakeEntry(error) : TakeHeader(error);
        record_.clear();
        return taken;
    }

    bool TakeHeader(std::string* error)
    {
        package_.header = DecodeMergeHeader(record_.data());
        headerRead_ = true;
        const MergeStatus status = CheckMergeHeader(package_.header, lead_);
        if (status == MergeStatus::InvalidLaunchName)
            *error = Invalid(status) + NameFaultAndHint(package_.header.launch_name);
        else if (status != MergeStatus::Ok)
            *error = Invalid(status);
        else if (package_.header.count > kMostEntries)
            *error = "the package claims " + std::to_string(package_.header.count) + " entries, more than " +
                     std::to_string(kMostEntries) + " that sfxpack reads";
        return error->empty();
    }

    // Why a name field is refused; and where it may read as a plain name in
    // another code page (a backslash as the second byte of a double-byte
    // character, or a lead byte at its end), that a package made for
    // another is read with its --codepage.
    std::string NameFaultAndHint(const char* field) const
    {
        const NameFault fault = FindNameFault(field, kMergeNameSize, lead_);
        std::string said = ": its name " + std::string(DescribeNameFault(fault));
        const std::string name = Name(field);
        const bool eightBit = std::any_of(name.begin(), name.end(), [](char c) { return (c & 0x80) != 0; });
        if (eightBit && (fault == NameFault::ReservedCharacter || fault == NameFault::HalfCharacter))
            said += ", read in code page " + std::to_string(codePage_) +
                    " (a package made with --codepage is read with the same one)";
        return said;
    }

    bool TakeEntry(std::string* error)
    {
        const MergeEntry entry = DecodeMergeEntry(record_.data());
        if (!IsSafeFileName(entry.name, kMergeNameSize, lead_)) {
            *error = Invalid(MergeStatus::InvalidEntryName) + " (entry " + std::to_string(package_.entries.size()) +
                     ")" + NameFaultAndHint(entry.name);
            return false;
        }
        package_.entries.push_back(entry);
        if (package_.entries.size() < package_.header.count)
            return true;
        tableRead_ = true;
        package_.contents_end = MergeContentsOffset(package_.header.count);
        for (const MergeEntry& each : package_.entries)
            package_.contents_end += each.size;
        left_ = package_.entries[0].size;
        NextEntryIfDone();
        return !visitor_.on_table || visitor_.on_table(package_, error);
    }

    // Moves past the entries whose contents are all here, the empty ones too.
    void NextEntryIfDone()
    {
        while (left_ == 0 && entry_ < package_.entries.size())
            if (++entry_ < package_.entries.size())
                left_ = package_.entries[entry_].size;
    }

    InstallerPackage& package_;
    const PackageVisitor& visitor_;
    const unsigned codePage_;
    const LeadBytes lead_;  // of the code page the names are read in
    std::vector<uint8_t> record_;  // the header or an entry, as it comes
    bool headerRead_ = false;
    bool tableRead_ = false;
    size_t entry_ = 0;   // whose contents come next
    uint64_t left_ = 0;  // of them
};

// Inflates the package from the file into the parser, a chunk at a time.
bool Inflate(FileReader& file, FileRange range, MergeParser& parser, InstallerPackage& package, std::string* error)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        *error = "zlib could not start inflating";
        return false;
    }
    std::vector<uint8_t> in(kChunkSize), out(kChunkSize);
    uint64_t read = 0;
    int code = Z_OK;
    while (code == Z_OK) {  // until the stream ends, zlib fails, or the parser refuses
        if (stream.avail_in == 0 && read < range.size) {
            const size_t piece = static_cast<size_t>(std::min<uint64_t>(range.size - read, in.size()));
            if (!file.ReadAt(range.offset + read, in.data(), piece)) {
                code = Z_ERRNO;
                break;
            }
            read += piece;
            stream.next_in = in.data();
            stream.avail_in = static_cast<uInt>(piece);
        }
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        code = inflate(&stream, Z_NO_FLUSH);
        const size_t produced = out.size() - stream.avail_out;
        if (produced > 0 && !parser.Feed(out.data(), produced, error)) {
            inflateEnd(&stream);
            return false;
        }
    }
    package.stream_size = read - stream.avail_in;
    const std::string message = stream.msg ? stream.msg : "zlib error " + std::to_string(code);
    inflateEnd(&stream);
    if (code == Z_STREAM_END)
        return true;
    *error = code == Z_ERRNO      ? "cannot read the package"
             : code == Z_BUF_ERROR ? "the package's zlib stream is cut short"
                                   : "the package's zlib stream is corrupt (" + message + ")";
    return false;
}

}  // namespace

namespace {

// The package that lies in the file at `path` where `locate` finds it.
template <typename Locate>
std::optional<InstallerPackage> ReadPackageIn(const std::filesystem::path& path, unsigned codePage,
                                              const PackageVisitor& visitor, Locate locate, std::string* error)
{
    std::error_code failure;
    const uint64_t size = std::filesystem::file_size(path, failure);
    FileReader file(path);
    if (failure || !file.Ok()) {
        *error = "cannot open it";
        return std::nullopt;
    }
    const std::optional<FileRange> range = locate(file, size, error);
    if (!range)
        return std::nullopt;
    InstallerPackage package;
    package.resource_size = range->size;
    MergeParser parser(package, visitor, codePage);
    if (!Inflate(file, *range, parser, package, error) || !parser.Finish(error))
        return std::nullopt;
    return package;
}

}  // namespace

std::optional<InstallerPackage> ReadInstallerPackage(const std::filesystem::path& path, unsigned codePage,
                                                     const PackageVisitor& visitor, std::string* error)
{
    return ReadPackageIn(path, codePage, visitor, LocatePackage, error);
}

std::optional<InstallerPackage> ReadPackageFile(const std::filesystem::path& path, unsigned codePage,
                                                std::string* error)
{
    const auto whole = [](FileReader&, uint64_t size, std::string*) { return std::optional<FileRange>({0, size}); };
    return ReadPackageIn(path, codePage, {}, whole, error);
}

std::vector<std::string> FindPackageFlaws(const InstallerPackage& package, unsigned codePage)
{
    auto key = [codePage](const char* field) { return CaseFoldedKey(Name(field), codePage); };
    std::vector<std::string> flaws;
    std::set<std::u32string> seen;
    bool launchFound = package.header.launch_name[0] == '\0';
    for (size_t i = 0; i < package.entries.size(); ++i) {
        const MergeEntry& entry = package.entries[i];
        const std::string stored = Name(entry.name);
        const std::optional<std::string> decoded = CodePageToUtf8(stored, codePage);
        const std::string name = decoded.value_or(stored);  // as the system shows it
        // Windows reads bytes that mean nothing in the code page its own way:
        // no rule here can tell which names it then takes for one.
        if (!decoded)
            flaws.push_back("entry " + std::to_string(i) + " (" + name + ") is no text in code page " +
                            std::to_string(codePage) + ", which create never writes");
        if (entry.size == 0)
            flaws.push_back("entry " + std::to_string(i) + " (" + name + ") is empty; the installer stops there");
        if (entry.size_high != 0)
            flaws.push_back("entry " + std::to_string(i) + " (" + name + ") has a non-zero high size");
        const std::pair<const char*, uint64_t> times[] = {
            {"creation", entry.creation_time}, {"last access", entry.last_access_time}, {"last write", entry.last_write_time}};
        for (const auto& [which, time] : times)
            if (time > kLatestFileTime)
                flaws.push_back("entry " + std::to_string(i) + " (" + name + ") has a " + which +
                                " time with the top bit set, which Windows cannot set; the installer stops there");
        if (!seen.insert(key(entry.name)).second)
            flaws.push_back("entry " + std::to_string(i) + " (" + name + ") has the name of an earlier entry");
        if (const std::optional<std::string> refusal = WhyNotInstallable(stored, codePage))
            flaws.push_back("entry " + std::to_string(i) + " (" + name + "): " + *refusal);
        if (key(entry.name) == key(package.header.launch_name))
            launchFound = true;
    }
    if (!launchFound)
        flaws.push_back("the launch file " + CodePageToUtf8(Name(package.header.launch_name), codePage).value_or(
                                                 Name(package.header.launch_name)) +
                        " is not among the entries");
    if (package.merge_size > package.contents_end)
        flaws.push_back(std::to_string(package.merge_size - package.contents_end) +
                        " bytes after the last entry's contents");
    if (package.resource_size > package.stream_size)
        flaws.push_back(std::to_string(package.resource_size - package.stream_size) +
                        " bytes after the end of the zlib stream");
    return flaws;
}
