#include "pack/pe_image.h"

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
    auto fits = [&](size_t offset, size_t count) { return offset <= file.size() && count <= file.size() - offset; };
    PeImage image{};
    if (!fits(0, 64) || file[0] != 'M' || file[1] != 'Z') {
        NotAProgram(error, "no MZ header");
        return std::nullopt;
    }
    const size_t signature = LoadLe32(file, 0x3C);
    if (!fits(signature, 24) || std::memcmp(&file[signature], "PE\0\0", 4) != 0) {
        NotAProgram(error, "no PE signature");
        return std::nullopt;
    }
    image.coff_header_offset = signature + 4;
    image.machine = LoadLe16(file, image.coff_header_offset);
    const uint16_t sectionCount = LoadLe16(file, image.coff_header_offset + 2);
    image.symbol_table_pointer = LoadLe32(file, image.coff_header_offset + 8);
    image.number_of_symbols = LoadLe32(file, image.coff_header_offset + 12);
    const uint16_t optionalSize = LoadLe16(file, image.coff_header_offset + 16);
    image.characteristics = LoadLe16(file, image.coff_header_offset + 18);
    image.optional_header_offset = image.coff_header_offset + 20;
    image.section_table_offset = image.optional_header_offset + optionalSize;
    if (!fits(image.optional_header_offset, optionalSize) || optionalSize < 2) {
        Fail(error, "optional header cut short");
        return std::nullopt;
    }
    const uint16_t magic = LoadLe16(file, image.optional_header_offset);
    if (magic != kPe32Magic && magic != kPe32PlusMagic) {
        Fail(error, "unknown optional header");
        return std::nullopt;
    }
    image.is_pe32_plus = magic == kPe32PlusMagic;
    const size_t directoriesAt = image.is_pe32_plus ? 112 : 96;
    if (optionalSize < directoriesAt) {
        Fail(error, "optional header too small");
        return std::nullopt;
    }
    image.subsystem = LoadLe16(file, image.optional_header_offset + 68);
    image.section_alignment = LoadLe32(file, image.optional_header_offset + 32);
    image.file_alignment = LoadLe32(file, image.optional_header_offset + 36);
    image.size_of_headers = LoadLe32(file, image.optional_header_offset + 60);
    image.number_of_directories = LoadLe32(file, image.optional_header_offset + directoriesAt - 4);
    if (image.number_of_directories > (optionalSize - directoriesAt) / 8) {
        Fail(error, "more data directories than the optional header holds");
        return std::nullopt;
    }
    const auto isPowerOfTwo = [](uint32_t n) { return n != 0 && (n & (n - 1)) == 0; };
    if (!isPowerOfTwo(image.file_alignment) || !isPowerOfTwo(image.section_alignment) ||
        image.file_alignment > 0x10000) {
        Fail(error, "its file or section alignment is not a power of two up to 64 KiB");
        return std::nullopt;
    }
    if (image.size_of_headers > file.size()) {
        Fail(error, "headers larger than the file");
        return std::nullopt;
    }
    if (!fits(image.section_table_offset, kSectionHeaderSize * sectionCount)) {
        Fail(error, "section table cut short");
        return std::nullopt;
    }
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const size_t at = image.section_table_offset + kSectionHeaderSize * i;
        PeSection section;
        const void* nul = std::memchr(&file[at], 0, 8);
        section.name.assign(reinterpret_cast<const char*>(&file[at]),
                            nul ? static_cast<const uint8_t*>(nul) - &file[at] : 8);
        section.virtual_size = LoadLe32(file, at + 8);
        section.virtual_address = LoadLe32(file, at + 12);
        section.raw_size = LoadLe32(file, at + 16);
        section.raw_offset = LoadLe32(file, at + 20);
        section.header_offset = at;
        if (section.raw_size != 0 && !fits(section.raw_offset, section.raw_size)) {
            Fail(error, "section " + section.name + " runs past the end of the file");
            return std::nullopt;
        }
        // As the loader wants them: aligned, above the headers, in ascending
        // order, apart, and within the 32-bit address space.
        const uint64_t span = std::max(section.virtual_size, section.raw_size);
        const uint64_t previousEnd = image.sections.empty() ? 0
                                                            : uint64_t{image.sections.back().virtual_address} +
                                                                  std::max(image.sections.back().virtual_size,
                                                                           image.sections.back().raw_size);
        const bool belowHeaders = span != 0 && section.virtual_address < image.size_of_headers;
        if (section.virtual_address % image.section_alignment != 0 || section.virtual_address < previousEnd ||
            section.virtual_address + span > UINT32_MAX || belowHeaders) {
            Fail(error, "section " + section.name +
                            " is out of place in memory (unaligned, below the headers, overlapping the one before, "
                            "or past 4 GiB)");
            return std::nullopt;
        }
        image.sections.push_back(section);
    }
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

uint32_t ComputePeChecksum(const Bytes& file, size_t checksumOffset)
{
    uint64_t sum = 0;
    for (size_t i = 0; i + 1 < file.size(); i += 2) {
        if (i == checksumOffset || i == checksumOffset + 2)
            continue;
        sum += LoadLe16(file, i);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    if (file.size() % 2)
        sum += file.back();
    sum = (sum & 0xFFFF) + (sum >> 16);
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + file.size());
}
