// A stub made ready to carry a package, and checked completely before any
// input is compressed: that it can run as a Windows GUI program on x86 or
// x64, that its headers, sections and resources are sound, and that the new
// resource section has a place. What the loader never reads is dropped with a
// warning: an Authenticode signature (the change would invalidate it), zero
// padding after the last section, and the file bytes of an old resource
// section that cannot be rewritten in place. A COFF symbol table, with the
// string table that holds long section names (".debug_info"), moves to the
// end of the installer, so that debuggers still read it; dropped on request.
#ifndef SFX_PACK_STUB_PREPARATION_H
#define SFX_PACK_STUB_PREPARATION_H

#include <optional>
#include <string>
#include <vector>

#include "pack/pe/pe_image.h"
#include "pack/pe/resource_tree.h"

struct PreparedStub {
    Bytes file;               // the stub as changed so far
    PeImage image;            // of `file`
    ResourceTree resources;   // the stub's own, to which the package is added
    size_t section_header;    // where the new resource section's header goes
    uint32_t section_rva;     // and where it goes in memory
    uint32_t section_offset;  // and in the file
    uint32_t replaced_raw_size;  // the bytes of the section it replaces, or 0
    Bytes symbols;               // the symbol and string tables, to follow the new section
    uint32_t symbol_count = 0;
    std::vector<std::string> warnings;
};

struct StubOptions {
    bool strip_symbols = false;  // drop the symbol table instead of moving it
};

// The prepared stub, or nothing with the reason in *error.
std::optional<PreparedStub> PrepareStub(const Bytes& stub, const StubOptions& options, std::string* error);

// What a program lacks of the installer stub: its progress window (dialog
// 1100), without which it would carry the package and never unpack it; or
// nothing. PrepareStub warns of it rather than refusing it, since a vendor
// may have built a stub of its own.
std::optional<std::string> MissingStubResources(const ResourceTree& resources);

// Whether PrepareStub refused the stub for an overlay: data after its
// sections that it may read at run time, which the installer cannot keep.
bool IsOverlayRefusal(const std::string& error);

#endif
