#include "extract/merge_format.h"

#include <cctype>
#include <initializer_list>
#include <cstring>

namespace {

uint32_t LoadU32(const uint8_t* in)
{
    return uint32_t{in[0]} | uint32_t{in[1]} << 8 | uint32_t{in[2]} << 16 | uint32_t{in[3]} << 24;
}

uint64_t LoadU64(const uint8_t* in)
{
    return uint64_t{LoadU32(in)} | uint64_t{LoadU32(in + 4)} << 32;
}

void StoreU32(uint32_t value, uint8_t* out)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
}

void StoreU64(uint64_t value, uint8_t* out)
{
    StoreU32(static_cast<uint32_t>(value), out);
    StoreU32(static_cast<uint32_t>(value >> 32), out + 4);
}

bool EqualsIgnoringCase(const char* text, size_t length, const char* upper)
{
    if (std::strlen(upper) != length)
        return false;
    for (size_t i = 0; i < length; ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != upper[i])
            return false;
    return true;
}

// The port number of COM and LPT: a digit from 1 to 9, or one of the
// superscript digits that Windows also accepts there (1, 2 and 3 at 0xB9,
// 0xB2 and 0xB3 in code page 1252).
bool IsPortNumber(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= '1' && u <= '9') || u == 0xB9 || u == 0xB2 || u == 0xB3;
}

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1-9 and LPT1-9 name devices
// whatever the extension, and Windows ignores spaces before the extension:
// "CON .txt" and "lpt1 .log" are devices too.
bool IsReservedDeviceName(const char* name)
{
    const char* dot = std::strchr(name, '.');
    size_t stem = dot ? static_cast<size_t>(dot - name) : std::strlen(name);
    while (stem > 0 && name[stem - 1] == ' ')
        --stem;
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (EqualsIgnoringCase(name, stem, device))
            return true;
    if (stem == 4 && IsPortNumber(name[3]))
        return EqualsIgnoringCase(name, 3, "COM") || EqualsIgnoringCase(name, 3, "LPT");
    return false;
}

bool IsLetterOrDigit(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

// The shape of the short names Windows gives long ones: a base of at most
// eight characters ending in "~" and letters or digits, and an extension of
// at most three ("LONGFI~1.TXT" as NTFS makes them, "LONG~LMQ.TXT" as Wine
// does). Such a name may be another file's second name: writing to it
// would overwrite that file.
bool HasShortNameShape(const char* name, size_t length)
{
    const char* dot = static_cast<const char*>(std::memchr(name, '.', length));
    const size_t base = dot ? static_cast<size_t>(dot - name) : length;
    if (base > 8 || (dot && (length - base - 1 > 3 || std::memchr(dot + 1, '.', length - base - 1))))
        return false;
    size_t tail = base;
    while (tail > 0 && IsLetterOrDigit(name[tail - 1]))
        --tail;
    return tail > 0 && tail < base && name[tail - 1] == '~';
}

}  // namespace

const char* DescribeMergeStatus(MergeStatus status)
{
    switch (status) {
    case MergeStatus::Ok:
        return "sound";
    case MergeStatus::NoEntries:
        return "the entry count is 0";
    case MergeStatus::Truncated:
        return "the merge data file is shorter than its header, table and contents claim";
    case MergeStatus::InvalidLaunchName:
        return "the launch name is not a plain file name";
    case MergeStatus::InvalidEntryName:
        return "an entry name is not a plain file name";
    }
    return "unknown";
}

void EncodeMergeHeader(const MergeHeader& header, uint8_t* out)
{
    StoreU32(header.count, out);
    std::memcpy(out + 4, header.launch_name, kMergeNameSize);
}

void EncodeMergeEntry(const MergeEntry& entry, uint8_t* out)
{
    StoreU32(entry.ordinal, out);
    StoreU64(entry.creation_time, out + 4);
    StoreU64(entry.last_access_time, out + 12);
    StoreU64(entry.last_write_time, out + 20);
    StoreU32(entry.size_high, out + 28);
    StoreU32(entry.size, out + 32);
    std::memcpy(out + 36, entry.name, kMergeNameSize);
}

MergeHeader DecodeMergeHeader(const uint8_t* in)
{
    MergeHeader header;
    header.count = LoadU32(in);
    std::memcpy(header.launch_name, in + 4, kMergeNameSize);
    return header;
}

MergeEntry DecodeMergeEntry(const uint8_t* in)
{
    MergeEntry entry;
    entry.ordinal = LoadU32(in);
    entry.creation_time = LoadU64(in + 4);
    entry.last_access_time = LoadU64(in + 12);
    entry.last_write_time = LoadU64(in + 20);
    entry.size_high = LoadU32(in + 28);
    entry.size = LoadU32(in + 32);
    std::memcpy(entry.name, in + 36, kMergeNameSize);
    return entry;
}

uint64_t MergeContentsOffset(uint32_t count)
{
    return kMergeHeaderSize + uint64_t{kMergeEntrySize} * count;
}

MergeStatus CheckMergeHeader(const MergeHeader& header, const LeadBytes& lead)
{
    if (header.launch_name[0] != '\0' && !IsSafeFileName(header.launch_name, kMergeNameSize, lead))
        return MergeStatus::InvalidLaunchName;
    return header.count == 0 ? MergeStatus::NoEntries : MergeStatus::Ok;
}

MergeStatus ReadMergeHeader(const uint8_t* block, size_t size, MergeHeader* header, const LeadBytes& lead)
{
    if (size < kMergeHeaderSize)
        return MergeStatus::Truncated;
    *header = DecodeMergeHeader(block);
    const MergeStatus status = CheckMergeHeader(*header, lead);
    if (status != MergeStatus::Ok)
        return status;
    // Checked here so that a caller can size its table by the count safely.
    if (MergeContentsOffset(header->count) > size)
        return MergeStatus::Truncated;
    return MergeStatus::Ok;
}

MergeStatus ReadMergeTable(const uint8_t* block, size_t size, const MergeHeader& header, MergeEntry* table,
                           uint32_t* badEntry, const LeadBytes& lead)
{
    // 64-bit sums: neither count x 296 nor the sizes can overflow them.
    uint64_t end = MergeContentsOffset(header.count);
    if (end > size)
        return MergeStatus::Truncated;
    for (uint32_t i = 0; i < header.count; ++i) {
        table[i] = DecodeMergeEntry(block + kMergeHeaderSize + size_t{kMergeEntrySize} * i);
        if (!IsSafeFileName(table[i].name, kMergeNameSize, lead)) {
            *badEntry = i;
            return MergeStatus::InvalidEntryName;
        }
        end += table[i].size;
    }
    return end > size ? MergeStatus::Truncated : MergeStatus::Ok;
}

NameFault FindNameFault(const char* field, size_t fieldSize, const LeadBytes& lead)
{
    const void* terminator = std::memchr(field, '\0', fieldSize);
    if (!terminator)
        return NameFault::Unterminated;
    if (field[0] == '\0')
        return NameFault::Empty;
    const size_t length = static_cast<size_t>(static_cast<const char*>(terminator) - field);
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(field[i]);
        if (c < 0x20)
            return NameFault::ControlCharacter;
        if (std::strchr("\\/:*?\"<>|", c))
            return NameFault::ReservedCharacter;
        // A double-byte character: its second byte may be 0x5C ("ソ" in 932),
        // which Windows reads as half of the character.
        if (lead.lead[c] && ++i == length)
            return NameFault::HalfCharacter;
    }
    // "." and ".." end in a dot too; Windows drops trailing dots and spaces,
    // so such a name would not be the file it claims to be.
    const char last = field[length - 1];
    if (last == '.' || last == ' ')
        return NameFault::TrailingDotOrSpace;
    if (IsReservedDeviceName(field))
        return NameFault::DeviceName;
    if (HasShortNameShape(field, length))
        return NameFault::ShortNameShape;
    return NameFault::None;
}

const char* DescribeNameFault(NameFault fault)
{
    switch (fault) {
    case NameFault::None:
        return "a plain file name";
    case NameFault::Unterminated:
        return "runs past its field";
    case NameFault::Empty:
        return "is empty";
    case NameFault::ControlCharacter:
        return "contains a control character";
    case NameFault::ReservedCharacter:
        return "contains one of \\ / : * ? \" < > |, which Windows keeps for paths";
    case NameFault::TrailingDotOrSpace:
        return "ends with a dot or a space, which Windows drops";
    case NameFault::DeviceName:
        return "is a device name on Windows (CON, PRN, AUX, NUL, COM1-9, LPT1-9...)";
    case NameFault::HalfCharacter:
        return "ends in the first half of a double-byte character";
    case NameFault::ShortNameShape:
        return "has the shape of a short name that Windows makes for long names (such as LONGFI~1.TXT), "
               "and could be another file's";
    }
    return "unknown";
}

bool IsSafeFileName(const char* field, size_t fieldSize, const LeadBytes& lead)
{
    return FindNameFault(field, fieldSize, lead) == NameFault::None;
}
