// The PE room, pack/pe/: how a PE file and its resource tree are read and
// written, and a stub made ready to carry a package. It knows nothing of a
// vendor's identity (the identity room), of packages or of the command line.
//
// The parts of a PE file (PE32 or PE32+) that the packer reads and rewrites,
// parsed with every offset checked against the file: the file may be hostile.
#ifndef SFX_PACK_PE_IMAGE_H
#define SFX_PACK_PE_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pack/system/bytes.h"

constexpr int kResourceDirectory = 2;
constexpr int kSecurityDirectory = 4;  // Authenticode: a file offset, not an RVA
constexpr int kBaseRelocationDirectory = 5;
constexpr int kDebugDirectory = 6;
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kSymbolSize = 18;  // a COFF symbol table record

struct PeSection {
    std::string name;
    uint32_t virtual_size;
    uint32_t virtual_address;
    uint32_t raw_size;
    uint32_t raw_offset;
    size_t header_offset;  // where its 40-byte header lies in the file
};

struct DataDirectory {
    uint32_t address;
    uint32_t size;
};

struct PeImage {
    bool is_pe32_plus;
    uint16_t machine;          // 0x14C x86, 0x8664 x64, ...
    uint16_t characteristics;  // executable, DLL, ...
    uint16_t subsystem;        // 2 GUI, 3 console, 10-13 EFI, ...
    size_t coff_header_offset;
    size_t optional_header_offset;
    size_t section_table_offset;
    uint32_t section_alignment;
    uint32_t file_alignment;
    uint32_t size_of_headers;
    uint32_t symbol_table_pointer;
    uint32_t number_of_symbols;
    uint32_t number_of_directories;
    std::vector<PeSection> sections;

    size_t DirectoryEntryOffset(int index) const;
    size_t ChecksumOffset() const { return optional_header_offset + 64; }
    size_t SizeOfImageOffset() const { return optional_header_offset + 56; }
    size_t InitializedDataOffset() const { return optional_header_offset + 8; }
    size_t SymbolTablePointerOffset() const { return coff_header_offset + 8; }
    size_t SectionCountOffset() const { return coff_header_offset + 2; }
};

// Parses the headers and the section table. On failure returns nothing and
// says why in *error: "not a PE file: ..." for a file that is no program at
// all, "a malformed PE file: ..." for one whose headers are wrong.
std::optional<PeImage> ParsePeImage(const Bytes& file, std::string* error);
// The same from the first bytes of a file of `fileSize` bytes, which must
// hold the headers and the section table.
std::optional<PeImage> ParsePeImage(const Bytes& head, uint64_t fileSize, std::string* error);

DataDirectory ReadDataDirectory(const Bytes& file, const PeImage& image, int index);

// The file offset of `size` bytes at `rva`, when they lie wholly within one
// section's data in the file.
std::optional<size_t> RvaToFileOffset(const PeImage& image, size_t fileSize, uint32_t rva, uint32_t size);

// Where a section ends in memory: its address plus the larger of its sizes.
uint64_t EndInMemory(const PeSection& section);
// Where the sections' bytes end in the file (at least the headers' end).
uint64_t EndOfSectionData(const PeImage& image);
uint32_t AlignUp(uint64_t value, uint32_t alignment);

// The PE checksum of a file: its 16-bit words summed with end-around carry,
// skipping the checksum field, plus the file's length.
uint32_t ComputePeChecksum(const Bytes& file, size_t checksumOffset);

// The same sum over a file that passes by in pieces, front to back.
class PeChecksum {
public:
    explicit PeChecksum(uint64_t checksumOffset) : skip_(checksumOffset) {}
    void Add(const uint8_t* bytes, size_t count);
    uint32_t Finish() const;

private:
    void AddAwayFromField(const uint8_t* bytes, size_t count);
    void AddByteByByte(const uint8_t* bytes, size_t count);

    uint64_t skip_;
    uint64_t offset_ = 0;
    uint64_t sum_ = 0;
    int pending_ = -1;  // the first byte of a word whose second has yet to come
};

uint16_t LoadLe16(const Bytes& file, size_t offset);
uint32_t LoadLe32(const Bytes& file, size_t offset);
void StoreLe16(Bytes& file, size_t offset, uint16_t value);
void StoreLe32(Bytes& file, size_t offset, uint32_t value);

#endif
