#include "pack/pe/stub_preparation.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "resources/resource_ids.h"

namespace {

constexpr uint16_t kMachineX86 = 0x014C;
constexpr uint16_t kMachineX64 = 0x8664;
constexpr uint16_t kExecutableImage = 0x0002;
constexpr uint16_t kDll = 0x2000;
constexpr uint16_t kSubsystemGui = 2;
constexpr uint16_t kSubsystemConsole = 3;
constexpr size_t kDebugEntrySize = 28;

std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value));
    return text;
}

std::string SubsystemName(uint16_t subsystem)
{
    switch (subsystem) {
    case 1: return "native, for drivers";
    case 7: return "POSIX";
    case 9: return "Windows CE";
    case 10: return "EFI application";
    case 11: return "EFI boot service driver";
    case 12: return "EFI runtime driver";
    case 13: return "EFI ROM";
    case 14: return "Xbox";
    case 16: return "boot application";
    default: return "unknown";
    }
}

// An installer is started by a user on x86 or x64 Windows: a program, not a
// library, for one of those processors, with a window rather than a console.
bool CheckProgramKind(const PeImage& image, std::vector<std::string>& warnings, std::string* error)
{
    const bool x86 = image.machine == kMachineX86 && !image.is_pe32_plus;
    const bool x64 = image.machine == kMachineX64 && image.is_pe32_plus;
    if (!x86 && !x64)
        *error = "a program for another processor (machine " + Hex(image.machine) +
                 (image.is_pe32_plus ? ", PE32+" : ", PE32") + "); an installer runs on x86 or x64 Windows";
    else if (image.characteristics & kDll)
        *error = "a DLL, not a program; an installer is a program that Windows starts";
    else if (!(image.characteristics & kExecutableImage))
        *error = "not marked as an executable image; Windows would not start it";
    else if (image.subsystem != kSubsystemGui && image.subsystem != kSubsystemConsole)
        *error = "subsystem " + std::to_string(image.subsystem) + " (" + SubsystemName(image.subsystem) +
                 "), not a Windows program";
    else if (image.subsystem == kSubsystemConsole)
        warnings.push_back("a console program: a console window opens beside the installer's window");
    return error->empty();
}

// A signature covers the bytes being changed, so it could only turn invalid:
// it is cut off, with a warning.
bool StripSignature(Bytes& file, const PeImage& image, std::vector<std::string>& warnings, std::string* error)
{
    const DataDirectory signature = ReadDataDirectory(file, image, kSecurityDirectory);
    if (signature.size == 0)
        return true;
    if (uint64_t{signature.address} + signature.size != file.size() || signature.address < EndOfSectionData(image)) {
        *error = "its signature is not at the end of the file";
        return false;
    }
    file.resize(signature.address);
    StoreLe32(file, image.DirectoryEntryOffset(kSecurityDirectory), 0);
    StoreLe32(file, image.DirectoryEntryOffset(kSecurityDirectory) + 4, 0);
    warnings.push_back("the stub's Authenticode signature was removed: it would no longer be valid "
                       "(sign the installer after packing)");
    return true;
}

// Section names longer than eight bytes live in the string table, as "/4"
// for the name at offset 4; with the table gone they keep their first eight.
void ShortenLongSectionNames(Bytes& file, const PeImage& image, uint64_t strings, uint64_t end)
{
    for (const PeSection& section : image.sections) {
        if (section.name.size() < 2 || section.name[0] != '/' ||
            section.name.find_first_not_of("0123456789", 1) != std::string::npos)
            continue;
        const uint64_t at = strings + std::stoul(section.name.substr(1));
        if (at >= end)
            continue;
        const char* text = reinterpret_cast<const char*>(&file[at]);
        const size_t length = strnlen(text, std::min<uint64_t>(8, end - at));
        char name[8] = {};
        std::memcpy(name, text, length);
        std::copy_n(name, 8, file.begin() + static_cast<ptrdiff_t>(section.header_offset));
    }
}

// Where the symbol table and its string table lie: after the sections'
// data and within the file; nothing when they lie anywhere else.
std::optional<FileRange> SymbolTables(const Bytes& file, const PeImage& image)
{
    const uint64_t symbols = image.symbol_table_pointer;
    const uint64_t strings = symbols + uint64_t{kSymbolSize} * image.number_of_symbols;
    if (symbols == 0 || symbols < EndOfSectionData(image) || strings + 4 > file.size())
        return std::nullopt;
    const uint64_t end = strings + std::max<uint32_t>(LoadLe32(file, strings), 4);
    if (end > file.size())
        return std::nullopt;
    return FileRange{symbols, end - symbols};
}

// A COFF symbol table is debugging data that the loader never reads; its
// string table holds the names of sections longer than eight bytes, such as
// ".debug_info", without which debuggers find no debugging information. Its
// bytes are taken out of the file to follow the new section; on request, or
// when they lie where they cannot be taken, they are dropped. Returns where
// they lay, for the checks of what else follows the sections.
std::optional<FileRange> TakeSymbols(Bytes& file, const PeImage& image, const StubOptions& options,
                                     PreparedStub& prepared)
{
    if (image.symbol_table_pointer == 0 && image.number_of_symbols == 0)
        return std::nullopt;
    const std::optional<FileRange> tables = SymbolTables(file, image);
    if (tables && !options.strip_symbols) {
        prepared.symbols.assign(file.begin() + static_cast<ptrdiff_t>(tables->offset),
                                file.begin() + static_cast<ptrdiff_t>(tables->offset + tables->size));
        prepared.symbol_count = image.number_of_symbols;
    } else {
        if (tables)
            ShortenLongSectionNames(file, image, tables->offset + uint64_t{kSymbolSize} * image.number_of_symbols,
                                    tables->offset + tables->size);
        else
            prepared.warnings.push_back("the stub's COFF symbol table was dropped: it does not lie whole after "
                                        "its sections, and Windows never reads it");
    }
    // The header points at them again once they have their new place.
    StoreLe32(file, image.SymbolTablePointerOffset(), 0);
    StoreLe32(file, image.SymbolTablePointerOffset() + 4, 0);
    return tables;
}

// What follows the sections' data, the symbol tables and the signature
// aside: zeros, which are dropped (with a warning past the file alignment),
// or an overlay, which a program may read at run time and is refused.
bool DropPadding(Bytes& file, const PeImage& image, std::optional<FileRange> symbols,
                 std::vector<std::string>& warnings, std::string* error)
{
    const uint64_t dataEnd = EndOfSectionData(image);
    uint64_t zeros = 0;
    for (uint64_t at = dataEnd; at < file.size(); ++at) {
        if (symbols && at == symbols->offset) {
            at += symbols->size - 1;
            continue;
        }
        if (file[at] != 0) {
            *error = "it has an overlay of " + std::to_string(file.size() - dataEnd) + " bytes at offset " +
                     std::to_string(dataEnd) + ", which a program may read at run time; an installer cannot keep it";
            return false;
        }
        ++zeros;
    }
    const uint64_t alignedEnd = AlignUp(dataEnd, image.file_alignment);
    if (dataEnd + zeros > alignedEnd)
        warnings.push_back(std::to_string(zeros) + " bytes of zeros after the stub's last section were dropped");
    file.resize(std::min<uint64_t>(file.size(), std::min(alignedEnd, symbols ? symbols->offset : file.size())));
    return true;
}

// The section that ends highest in memory; of several, the last in the table.
const PeSection* LastSection(const PeImage& image)
{
    const PeSection* last = nullptr;
    for (const PeSection& section : image.sections)
        if (!last || EndInMemory(section) >= EndInMemory(*last))
            last = &section;
    return last;
}

// The section that holds the resources alone, by its name and the resource
// directory at its start; nothing when there is none or it holds more.
const PeSection* ResourceSection(const Bytes& file, const PeImage& image)
{
    const DataDirectory resources = ReadDataDirectory(file, image, kResourceDirectory);
    for (const PeSection& section : image.sections)
        if (section.name == ".rsrc" && resources.size != 0 && resources.address == section.virtual_address)
            return &section;
    return nullptr;
}

// Debug directory entries point at their data by file offset: those past the
// removed bytes move down with them.
void MoveDebugData(Bytes& file, uint64_t removedAt, uint64_t removed, std::string* error)
{
    const std::optional<PeImage> image = ParsePeImage(file, error);
    if (!image)
        return;
    const DataDirectory debug = ReadDataDirectory(file, *image, kDebugDirectory);
    const std::optional<size_t> at = RvaToFileOffset(*image, file.size(), debug.address, debug.size);
    if (debug.size == 0 || !at)
        return;
    for (size_t entry = *at; entry + kDebugEntrySize <= *at + debug.size; entry += kDebugEntrySize) {
        const uint32_t pointer = LoadLe32(file, entry + 24);
        if (pointer >= removedAt + removed)
            StoreLe32(file, entry + 24, static_cast<uint32_t>(pointer - removed));
        else if (pointer >= removedAt)
            StoreLe32(file, entry + 24, 0);
    }
}

// The old resource section keeps its addresses but none of its file bytes
// (the loader gives it zeros); the sections after it in the file move down.
// Left as it is when its bytes are not whole file-aligned blocks of its own.
void DropSectionBytes(Bytes& file, const PeImage& image, const PeSection& old, std::string* error)
{
    const uint64_t start = old.raw_offset, length = old.raw_size;
    if (length == 0 || start % image.file_alignment != 0 || length % image.file_alignment != 0)
        return;
    for (const PeSection& other : image.sections)
        if (&other != &old && other.raw_size != 0 && other.raw_offset < start + length &&
            uint64_t{other.raw_offset} + other.raw_size > start)
            return;
    file.erase(file.begin() + static_cast<ptrdiff_t>(start), file.begin() + static_cast<ptrdiff_t>(start + length));
    for (const PeSection& other : image.sections)
        if (other.raw_size != 0 && other.raw_offset >= start + length)
            StoreLe32(file, other.header_offset + 20, static_cast<uint32_t>(other.raw_offset - length));
    std::copy_n(".rsrcold", 8, file.begin() + static_cast<ptrdiff_t>(old.header_offset));
    StoreLe32(file, old.header_offset + 8, std::max(old.virtual_size, old.raw_size));
    StoreLe32(file, old.header_offset + 16, 0);
    StoreLe32(file, old.header_offset + 20, 0);
    const uint32_t initialised = LoadLe32(file, image.InitializedDataOffset());
    StoreLe32(file, image.InitializedDataOffset(), initialised - std::min<uint32_t>(initialised, old.raw_size));
    MoveDebugData(file, start, length, error);
}

// Where the new resource section goes. The resource section that ends the
// image, in memory and in the file, is rewritten in place; otherwise the new
// one follows the last section, and the old one loses its bytes.
bool PlaceResourceSection(PreparedStub& stub, std::string* error)
{
    const PeSection* last = LastSection(stub.image);
    const PeSection* resources = ResourceSection(stub.file, stub.image);
    if (resources == last && uint64_t{last->raw_offset} + last->raw_size == EndOfSectionData(stub.image)) {
        stub.section_header = last->header_offset;
        stub.section_rva = last->virtual_address;
        stub.section_offset = last->raw_offset;
        stub.replaced_raw_size = last->raw_size;
        return true;
    }
    const size_t header = stub.image.section_table_offset + kSectionHeaderSize * stub.image.sections.size();
    uint64_t firstData = stub.image.size_of_headers;  // where the first section's bytes begin
    for (const PeSection& section : stub.image.sections)
        if (section.raw_size)
            firstData = std::min<uint64_t>(firstData, section.raw_offset);
    if (header + kSectionHeaderSize > firstData) {
        *error = "its headers have no room for another section";
        return false;
    }
    if (resources) {
        DropSectionBytes(stub.file, stub.image, *resources, error);
        std::optional<PeImage> image = ParsePeImage(stub.file, error);
        if (!image)
            return false;
        stub.image = std::move(*image);
        last = LastSection(stub.image);
    }
    StoreLe16(stub.file, stub.image.SectionCountOffset(), static_cast<uint16_t>(stub.image.sections.size() + 1));
    stub.section_header = header;
    stub.section_rva =
        AlignUp(std::max<uint64_t>(EndInMemory(*last), stub.image.size_of_headers), stub.image.section_alignment);
    stub.section_offset = AlignUp(EndOfSectionData(stub.image), stub.image.file_alignment);
    stub.replaced_raw_size = 0;
    return true;
}

}  // namespace

bool IsOverlayRefusal(const std::string& error)
{
    return error.rfind("it has an overlay", 0) == 0;
}

std::optional<std::string> MissingStubResources(const ResourceTree& resources)
{
    const auto dialogs = resources.find(ResourceName::Id(kDialogResource));
    if (dialogs != resources.end()) {
        const auto progress = dialogs->second.find(ResourceName::Id(IDD_PROGRESS));
        if (progress != dialogs->second.end() && !progress->second.empty())
            return std::nullopt;
    }
    return "it does not look like an installer stub: it has no progress window (dialog " +
           std::to_string(IDD_PROGRESS) + "), which the stub shows as it unpacks the files";
}

std::optional<PreparedStub> PrepareStub(const Bytes& stub, const StubOptions& options, std::string* error)
{
    PreparedStub prepared;
    std::optional<PeImage> image = ParsePeImage(stub, error);
    if (!image)
        return std::nullopt;
    if (image->sections.empty() || image->number_of_directories <= kSecurityDirectory) {
        *error = "a malformed PE file: no sections or too few data directories";
        return std::nullopt;
    }
    if (!CheckProgramKind(*image, prepared.warnings, error))
        return std::nullopt;
    std::optional<ResourceTree> resources = ReadResourceTree(stub, *image, error);
    if (!resources)
        return std::nullopt;
    prepared.resources = std::move(*resources);
    if (std::optional<std::string> missing = MissingStubResources(prepared.resources))
        prepared.warnings.push_back(std::move(*missing));

    prepared.file = stub;
    if (!StripSignature(prepared.file, *image, prepared.warnings, error))
        return std::nullopt;
    const std::optional<FileRange> symbols = TakeSymbols(prepared.file, *image, options, prepared);
    if (!DropPadding(prepared.file, *image, symbols, prepared.warnings, error))
        return std::nullopt;
    prepared.image = std::move(*image);
    if (!PlaceResourceSection(prepared, error))
        return std::nullopt;
    return prepared;
}
