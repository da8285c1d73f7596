// Application manifests (resource type 24, id 1): the XML that tells Windows
// what a program asks for, such as the rights it runs with.
#ifndef SFX_PACK_PE_MANIFEST_H
#define SFX_PACK_PE_MANIFEST_H

#include <optional>
#include <string>

#include "pack/system/bytes.h"

// Whether `level` is one Windows knows: asInvoker, highestAvailable,
// requireAdministrator.
bool IsExecutionLevel(const std::string& level);

// A manifest that requests `level`, declares Windows Vista to 11 as
// supported, the common controls version 6 (themed controls) and system DPI
// awareness (the window is laid out in dialog units, so it scales).
Bytes MakeManifest(const std::string& level);

// Why a vendor's manifest cannot be embedded, as expat and the rules of
// manifests find it: not well-formed XML (with the line and column), not
// UTF-8, a document type declaration, or no <assembly> root; nothing when it
// can.
std::optional<std::string> CheckManifest(const Bytes& manifest);

// The level a manifest requests; empty when it requests none, or when it is
// no manifest CheckManifest takes (Windows ignores those, level and all).
std::string RequestedExecutionLevel(const Bytes& manifest);

#endif
