// Application manifests (resource type 24, id 1): the XML that tells Windows
// what a program asks for, such as the rights it runs with.
#ifndef SFX_PACK_IDENTITY_MANIFEST_H
#define SFX_PACK_IDENTITY_MANIFEST_H

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
// manifests find it: not well-formed XML in its namespaces (with the line and
// column), not UTF-8, a document type declaration, no <assembly> root of
// Windows' namespace and version 1.0, or a requested execution level (or
// uiAccess) that Windows does not know; nothing when it can.
std::optional<std::string> CheckManifest(const Bytes& manifest);

// The level a manifest requests; empty when it requests none, or when it is
// no manifest CheckManifest takes.
std::string RequestedExecutionLevel(const Bytes& manifest);

#endif
