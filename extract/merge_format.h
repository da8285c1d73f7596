// The merge data file, the inflated form of the package: a 264-byte header, a
// table of 296-byte entries, then the entries' contents end to end. All numbers
// are little-endian. Portable: the stub and the packer share it.
//
//   MergeHeader  0: entry count (u32)       4: launch name (260 bytes, NUL-terminated)
//   MergeEntry   0: ordinal (u32)           4: creation time (FILETIME, u64)
//               12: last access time (u64) 20: last write time (u64)
//               28: size high (u32, 0)     32: size (u32)
//               36: name (260 bytes, NUL-terminated)
#ifndef SFX_EXTRACT_MERGE_FORMAT_H
#define SFX_EXTRACT_MERGE_FORMAT_H

#include <cstddef>
#include <cstdint>

constexpr size_t kMergeHeaderSize = 264;
constexpr size_t kMergeEntrySize = 296;
constexpr size_t kMergeNameSize = 260;

struct MergeHeader {
    uint32_t count;
    char launch_name[kMergeNameSize];
};

// Times are FILETIMEs: 100-nanosecond intervals since 1601-01-01 UTC.
struct MergeEntry {
    uint32_t ordinal;
    uint64_t creation_time;
    uint64_t last_access_time;
    uint64_t last_write_time;
    uint32_t size_high;
    uint32_t size;
    char name[kMergeNameSize];
};

enum class MergeStatus {
    Ok,
    NoEntries,          // the entry count is 0
    Truncated,          // the header, the table or the contents run past the end
    InvalidLaunchName,  // the launch name is not a safe bare file name
    InvalidEntryName,   // an entry's name is not a safe bare file name
};

// The lead bytes of the double-byte code page that names are read in (932,
// 936, 949, 950): the byte after one is the second half of a character,
// whatever its value, never a path separator. Single-byte code pages have none.
struct LeadBytes {
    bool lead[256] = {};
};
inline constexpr LeadBytes kNoLeadBytes{};

// What a status means, for messages: "the entry count is 0", ...
const char* DescribeMergeStatus(MergeStatus status);

void EncodeMergeHeader(const MergeHeader& header, uint8_t* out);
void EncodeMergeEntry(const MergeEntry& entry, uint8_t* out);
MergeHeader DecodeMergeHeader(const uint8_t* in);
MergeEntry DecodeMergeEntry(const uint8_t* in);

// What is wrong with a header on its own: a launch name that is not a safe
// file name (an empty one is fine: nothing is launched), or a count of 0.
MergeStatus CheckMergeHeader(const MergeHeader& header, const LeadBytes& lead = kNoLeadBytes);

// Reads the header of a merge data file of `size` bytes. Refuses a block too
// short for the header or for the table it announces, a launch name that is
// not a safe file name (an empty one is fine: nothing is launched), and a
// count of 0. After Ok, a table of header->count entries is safe to allocate.
MergeStatus ReadMergeHeader(const uint8_t* block, size_t size, MergeHeader* header,
                            const LeadBytes& lead = kNoLeadBytes);

// Reads header.count entries into `table` and checks that the table and every
// entry's contents lie within the block and that every name is a safe file
// name. On a bad name, *badEntry holds its index. Entries of size 0 are read
// as they are: the extractor reports them where it meets them.
MergeStatus ReadMergeTable(const uint8_t* block, size_t size, const MergeHeader& header, MergeEntry* table,
                           uint32_t* badEntry, const LeadBytes& lead = kNoLeadBytes);

// The offset of the first entry's contents; each entry's contents follow the
// previous entry's.
uint64_t MergeContentsOffset(uint32_t count);

// What keeps a 260-byte name field from holding a bare file name that Windows
// creates as a plain file of its own in the folder it is joined to.
enum class NameFault {
    None,
    Unterminated,        // no NUL within the field
    Empty,
    ControlCharacter,
    ReservedCharacter,   // \ / : * ? " < > |: path separators, drive colon, wildcards
    TrailingDotOrSpace,  // Windows drops them: "." and ".." too
    DeviceName,          // CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-9, LPT1-9, with spaces and an extension
    ShortNameShape,      // 8.3 with "~" and letters or digits ending the base: maybe another file's short name
    HalfCharacter,       // ends in the first byte of a double-byte character
};
NameFault FindNameFault(const char* field, size_t fieldSize = kMergeNameSize, const LeadBytes& lead = kNoLeadBytes);

// Why a name is refused, to follow "its name ": "is a device name on Windows ...".
const char* DescribeNameFault(NameFault fault);

// Whether the field holds a name without any fault.
bool IsSafeFileName(const char* field, size_t fieldSize = kMergeNameSize, const LeadBytes& lead = kNoLeadBytes);

#endif
