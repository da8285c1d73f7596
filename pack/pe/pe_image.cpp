#include "pack/pe/pe_image.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint16_t kPe32Magic = 0x010B;
constexpr uint16_t kPe32PlusMagic = 0x020B;

bool Fail(std::string* error, const std::string& why)
{
    *error = "a malformed PE file: " + why;
    return false;
}

bool NotAProgram(std::string* error, const std::string& why)
{
    *error = "not a PE file: " + why;
    return false;
}

}  // namespace

uint16_t LoadLe16(const Bytes& file, size_t offset)
{
    return static_cast<uint16_t>(file[offset] | file[offset + 1] << 8);
}

uint32_t LoadLe32(const Bytes& file, size_t offset)
{
    return LoadLe16(file, offset) | static_cast<uint32_t>(LoadLe16(file, offset + 2)) << 16;
}

void StoreLe16(Bytes& file, size_t offset, uint16_t value)
{
    file[offset] = static_cast<uint8_t>(value);
    file[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void StoreLe32(Bytes& file, size_t offset, uint32_t value)
{
    StoreLe16(file, offset, static_cast<uint16_t>(value));
    StoreLe16(file, offset + 2, static_cast<uint16_t>(value >> 16));
}

size_t PeImage::DirectoryEntryOffset(int index) const
{
    return optional_header_offset + (is_pe32_plus ? 112 : 96) + 8 * static_cast<size_t>(index);
}

std::optional<PeImage> ParsePeImage(const Bytes& file, std::string* error)
{
    return ParsePeImage(file, file.size(), error);
}

namespace {

bool Fits(const Bytes& file, size_t offset, size_t count)
{
    return offset <= file.size() && count <= file.size() - offset;
}

// The MZ, COFF and optional headers, which must lie in the bytes at hand.
bool ParseHeaders(const Bytes& file, uint64_t fileSize, PeImage& image, uint16_t* sectionCount, std::string* error)
{
    if (!Fits(file, 0, 64) || file[0] != 'M' || file[1] != 'Z')
        return NotAProgram(error, "no MZ header");
    const size_t signature = LoadLe32(file, 0x3C);
    if (!Fits(file, signature, 24) || std::memcmp(&file[signature], "PE\0\0", 4) != 0)
        return NotAProgram(error, "no PE signature");
    image.coff_header_offset = signature + 4;
    image.machine = LoadLe16(file, image.coff_header_offset);
    *sectionCount = LoadLe16(file, image.coff_header_offset + 2);
    image.symbol_table_pointer = LoadLe32(file, image.coff_header_offset + 8);
    image.number_of_symbols = LoadLe32(file, image.coff_header_offset + 12);
    const uint16_t optionalSize = LoadLe16(file, image.coff_header_offset + 16);
    image.characteristics = LoadLe16(file, image.coff_header_offset + 18);
    image.optional_header_offset = image.coff_header_offset + 20;
    image.section_table_offset = image.optional_header_offset + optionalSize;
    if (!Fits(file, image.optional_header_offset, optionalSize) || optionalSize < 2)
        return Fail(error, "optional header cut short");
    const uint16_t magic = LoadLe16(file, image.optional_header_offset);
    if (magic != kPe32Magic && magic != kPe32PlusMagic)
        return Fail(error, "unknown optional header");
    image.is_pe32_plus = magic == kPe32PlusMagic;
    const size_t directoriesAt = image.is_pe32_plus ? 112 : 96;
    if (optionalSize < directoriesAt)
        return Fail(error, "optional header too small");
    image.subsystem = LoadLe16(file, image.optional_header_offset + 68);
    image.section_alignment = LoadLe32(file, image.optional_header_offset + 32);
    image.file_alignment = LoadLe32(file, image.optional_header_offset + 36);
    image.size_of_headers = LoadLe32(file, image.optional_header_offset + 60);
    image.number_of_directories = LoadLe32(file, image.optional_header_offset + directoriesAt - 4);
    if (image.number_of_directories > (optionalSize - directoriesAt) / 8)
        return Fail(error, "more data directories than the optional header holds");
    const auto isPowerOfTwo = [](uint32_t n) { return n != 0 && (n & (n - 1)) == 0; };
    if (!isPowerOfTwo(image.file_alignment) || !isPowerOfTwo(image.section_alignment) ||
        image.file_alignment > 0x10000)
        return Fail(error, "its file or section alignment is not a power of two up to 64 KiB");
    if (image.size_of_headers > fileSize)
        return Fail(error, "headers larger than the file");
    return true;
}

// One section, placed as the loader wants it: its bytes within the file;
// aligned, above the headers, after the one before and within the 32-bit
// address space in memory.
bool ParseSection(const Bytes& file, uint64_t fileSize, size_t at, PeImage& image, std::string* error)
{
    PeSection section;
    const void* nul = std::memchr(&file[at], 0, 8);
    section.name.assign(reinterpret_cast<const char*>(&file[at]), nul ? static_cast<const uint8_t*>(nul) - &file[at] : 8);
    section.virtual_size = LoadLe32(file, at + 8);
    section.virtual_address = LoadLe32(file, at + 12);
    section.raw_size = LoadLe32(file, at + 16);
    section.raw_offset = LoadLe32(file, at + 20);
    section.header_offset = at;
    if (section.raw_size != 0 && (section.raw_offset > fileSize || section.raw_size > fileSize - section.raw_offset))
        return Fail(error, "section " + section.name + " runs past the end of the file");
    const uint64_t span = std::max(section.virtual_size, section.raw_size);
    const uint64_t previousEnd = image.sections.empty() ? 0 : EndInMemory(image.sections.back());
    const bool belowHeaders = span != 0 && section.virtual_address < image.size_of_headers;
    if (section.virtual_address % image.section_alignment != 0 || section.virtual_address < previousEnd ||
        section.virtual_address + span > UINT32_MAX || belowHeaders)
        return Fail(error, "section " + section.name +
                               " is out of place in memory (unaligned, below the headers, overlapping the one "
                               "before, or past 4 GiB)");
    image.sections.push_back(section);
    return true;
}

}  // namespace

std::optional<PeImage> ParsePeImage(const Bytes& file, uint64_t fileSize, std::string* error)
{
    PeImage image{};
    uint16_t sectionCount = 0;
    if (!ParseHeaders(file, fileSize, image, &sectionCount, error))
        return std::nullopt;
    if (!Fits(file, image.section_table_offset, kSectionHeaderSize * sectionCount)) {
        Fail(error, "section table cut short");
        return std::nullopt;
    }
    for (uint16_t i = 0; i < sectionCount; ++i)
        if (!ParseSection(file, fileSize, image.section_table_offset + kSectionHeaderSize * i, image, error))
            return std::nullopt;
    return image;
}

DataDirectory ReadDataDirectory(const Bytes& file, const PeImage& image, int index)
{
    if (static_cast<uint32_t>(index) >= image.number_of_directories)
        return {0, 0};
    const size_t at = image.DirectoryEntryOffset(index);
    return {LoadLe32(file, at), LoadLe32(file, at + 4)};
}

std::optional<size_t> RvaToFileOffset(const PeImage& image, size_t fileSize, uint32_t rva, uint32_t size)
{
    for (const PeSection& section : image.sections) {
        const uint64_t start = section.virtual_address;
        const uint64_t inFile = std::min(section.virtual_size ? section.virtual_size : section.raw_size,
                                         section.raw_size);
        if (rva >= start && uint64_t{rva} + size <= start + inFile) {
            const uint64_t offset = uint64_t{section.raw_offset} + (rva - start);
            if (offset + size <= fileSize)
                return static_cast<size_t>(offset);
        }
    }
    return std::nullopt;
}

uint64_t EndInMemory(const PeSection& section)
{
    return uint64_t{section.virtual_address} + std::max(section.virtual_size, section.raw_size);
}

uint64_t EndOfSectionData(const PeImage& image)
{
    uint64_t end = image.size_of_headers;
    for (const PeSection& section : image.sections)
        if (section.raw_size)
            end = std::max<uint64_t>(end, uint64_t{section.raw_offset} + section.raw_size);
    return end;
}

uint32_t AlignUp(uint64_t value, uint32_t alignment)
{
    return static_cast<uint32_t>((value + alignment - 1) / alignment * alignment);
}

void PeChecksum::Add(const uint8_t* bytes, size_t count)
{
    // The bytes before the checksum field, the field's four (which count as
    // zeros), and the bytes after it: only the field goes byte by byte.
    if (offset_ < skip_ && count > skip_ - offset_) {
        const size_t before = static_cast<size_t>(skip_ - offset_);
        AddAwayFromField(bytes, before);
        bytes += before;
        count -= before;
    }
    if (offset_ >= skip_ && offset_ < skip_ + 4) {
        const size_t field = static_cast<size_t>(std::min<uint64_t>(count, skip_ + 4 - offset_));
        AddByteByByte(bytes, field);
        bytes += field;
        count -= field;
    }
    AddAwayFromField(bytes, count);
}

void PeChecksum::AddAwayFromField(const uint8_t* bytes, size_t count)
{
    // A word begun by the last chunk is ended first; then whole words are
    // summed wide and folded once: with end-around carry, the order of the
    // folds does not matter, and an installer's hundreds of megabytes pass
    // by fast.
    if (pending_ >= 0 && count > 0) {
        AddByteByByte(bytes, 1);
        ++bytes;
        --count;
    }
    const size_t words = count / 2;
    uint64_t wide = 0;
    for (size_t w = 0; w < words; ++w)
        wide += static_cast<uint32_t>(bytes[2 * w]) | uint32_t{bytes[2 * w + 1]} << 8;
    sum_ += wide;
    while (sum_ >> 16)
        sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
    offset_ += 2 * words;
    AddByteByByte(bytes + 2 * words, count - 2 * words);
}

void PeChecksum::AddByteByByte(const uint8_t* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i, ++offset_) {
        if (pending_ < 0) {
            pending_ = bytes[i];
            continue;
        }
        const uint64_t word = offset_ - 1;
        if (word != skip_ && word != skip_ + 2) {
            sum_ += static_cast<uint32_t>(pending_) | uint32_t{bytes[i]} << 8;
            sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
        }
        pending_ = -1;
    }
}

uint32_t PeChecksum::Finish() const
{
    uint64_t sum = sum_;
    if (pending_ >= 0)
        sum += static_cast<uint32_t>(pending_);
    sum = (sum & 0xFFFF) + (sum >> 16);
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + offset_);
}

uint32_t ComputePeChecksum(const Bytes& file, size_t checksumOffset)
{
    PeChecksum checksum(checksumOffset);
    checksum.Add(file.data(), file.size());
    return checksum.Finish();
}
