#include "pack/identity/manifest.h"

#include <expat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

namespace {

constexpr char kManifestFormat[] =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <trustInfo xmlns="urn:schemas-microsoft-com:asm.v3">
    <security>
      <requestedPrivileges>
        <requestedExecutionLevel level="%s" uiAccess="false"/>
      </requestedPrivileges>
    </security>
  </trustInfo>
  <compatibility xmlns="urn:schemas-microsoft-com:compatibility.v1">
    <application>
      <!-- Windows Vista, 7, 8, 8.1, and 10 and 11 -->
      <supportedOS Id="{e2011457-1546-43c5-a5fe-008deee3d3f0}"/>
      <supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>
      <supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/>
      <supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/>
      <supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>
    </application>
  </compatibility>
  <application xmlns="urn:schemas-microsoft-com:asm.v3">
    <windowsSettings>
      <dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>
    </windowsSettings>
  </application>
  <dependency>
    <dependentAssembly>
      <assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0"
                        processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"/>
    </dependentAssembly>
  </dependency>
</assembly>
)";

// What one reading of a manifest by expat found: why it cannot be a
// manifest, or its root and the level it requests.
struct ManifestReading {
    std::optional<std::string> wrong;
    std::string root;  // as expat names it: "NAMESPACE NAME"
    bool root_versioned = false;  // manifestVersion="1.0"
    std::string level;
};

// expat reads names with their namespaces resolved, as "NAMESPACE NAME" (a
// prefix such as asm: bound to the namespace is gone), so that
// <asm:assembly> and <assembly> are the same element, and an unbound prefix
// is an error.
constexpr char kNamespaceSeparator = ' ';
constexpr char kAssemblyNamespace[] = "urn:schemas-microsoft-com:asm.v1";

std::string LocalName(const XML_Char* name)
{
    const char* separator = std::strrchr(name, kNamespaceSeparator);
    return separator ? separator + 1 : name;
}

std::string Position(XML_Parser parser)
{
    // expat counts columns from 0; people and editors from 1.
    return "line " + std::to_string(XML_GetCurrentLineNumber(parser)) + ", column " +
           std::to_string(XML_GetCurrentColumnNumber(parser) + 1);
}

// Ends the reading with `why`, said where expat stands.
void Refuse(XML_Parser parser, ManifestReading* reading, const std::string& why)
{
    if (!reading->wrong)
        reading->wrong = Position(parser) + ": " + why;
    XML_StopParser(parser, /*resumable=*/XML_FALSE);
}

bool IsUtf8Name(const std::string& encoding)
{
    std::string upper = encoding;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return upper == "UTF-8";
}

void OnXmlDeclaration(void* data, const XML_Char* /*version*/, const XML_Char* encoding, int /*standalone*/)
{
    // Windows reads manifests as UTF-8 whatever they declare, so text in any
    // other encoding would reach it as something else.
    if (encoding && !IsUtf8Name(encoding)) {
        auto* parser = static_cast<XML_Parser>(data);
        Refuse(parser, static_cast<ManifestReading*>(XML_GetUserData(parser)),
               std::string("it declares the encoding ") + encoding + "; Windows reads manifests as UTF-8 only");
    }
}

void OnDoctype(void* data, const XML_Char* /*name*/, const XML_Char* /*system*/, const XML_Char* /*public*/,
               int /*internal*/)
{
    // Stopped before any entity it declares is read, let alone expanded.
    auto* parser = static_cast<XML_Parser>(data);
    Refuse(parser, static_cast<ManifestReading*>(XML_GetUserData(parser)),
           "a document type declaration, which a manifest does not have");
}

void OnStartElement(void* data, const XML_Char* name, const XML_Char** attributes)
{
    auto* parser = static_cast<XML_Parser>(data);
    auto* reading = static_cast<ManifestReading*>(XML_GetUserData(parser));
    if (reading->root.empty()) {
        reading->root = name;
        for (const XML_Char** attribute = attributes; attribute[0]; attribute += 2)
            reading->root_versioned |= std::strcmp(attribute[0], "manifestVersion") == 0 &&
                                       std::strcmp(attribute[1], "1.0") == 0;
    }
    if (LocalName(name) != "requestedExecutionLevel" || !reading->level.empty())
        return;
    // Windows refuses to start a program whose manifest asks for a level, or
    // a uiAccess, that it does not know.
    std::string uiAccess = "false";
    for (const XML_Char** attribute = attributes; attribute[0]; attribute += 2) {
        if (std::strcmp(attribute[0], "level") == 0)
            reading->level = attribute[1];
        else if (std::strcmp(attribute[0], "uiAccess") == 0)
            uiAccess = attribute[1];
    }
    if (!IsExecutionLevel(reading->level))
        Refuse(parser, reading, "requestedExecutionLevel asks for the level \"" + reading->level +
                                    "\"; Windows knows asInvoker, highestAvailable and requireAdministrator");
    else if (uiAccess != "true" && uiAccess != "false")
        Refuse(parser, reading, "requestedExecutionLevel's uiAccess is \"" + uiAccess + "\", not true or false");
}

// The whole manifest through expat: well-formed XML in UTF-8 (with or without
// a byte order mark), no document type declaration, an <assembly> root.
ManifestReading ReadManifest(const Bytes& manifest)
{
    ManifestReading reading;
    if (manifest.size() >= 2 && ((manifest[0] == 0xFF && manifest[1] == 0xFE) ||
                                 (manifest[0] == 0xFE && manifest[1] == 0xFF))) {
        reading.wrong = "it is UTF-16 (it starts with a UTF-16 byte order mark); Windows reads manifests as UTF-8 only";
        return reading;
    }
    if (std::find(manifest.begin(), manifest.end(), 0) != manifest.end()) {
        reading.wrong = "not UTF-8 XML (it holds NUL bytes)";
        return reading;
    }
    if (manifest.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
        reading.wrong = "too large to be a manifest";
        return reading;
    }
    // No encoding given here, which would override the document's: its own
    // declaration is read, and OnXmlDeclaration refuses any but UTF-8;
    // without one expat takes UTF-8 and rejects bytes that are not.
    const std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> owned(XML_ParserCreateNS(nullptr, kNamespaceSeparator),
                                                                             &XML_ParserFree);
    XML_Parser parser = owned.get();
    if (!parser) {
        reading.wrong = "out of memory";
        return reading;
    }
    XML_SetUserData(parser, &reading);
    XML_UseParserAsHandlerArg(parser);
    XML_SetXmlDeclHandler(parser, OnXmlDeclaration);
    XML_SetStartDoctypeDeclHandler(parser, OnDoctype);
    XML_SetStartElementHandler(parser, OnStartElement);
    // External entities are never loaded: none is parsed, and no handler
    // for them is set.
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
    const int length = static_cast<int>(manifest.size());
    if (XML_Parse(parser, reinterpret_cast<const char*>(manifest.data()), length, /*isFinal=*/XML_TRUE) !=
            XML_STATUS_OK &&
        !reading.wrong)
        reading.wrong = Position(parser) + ": " + XML_ErrorString(XML_GetErrorCode(parser));
    // Windows reads an <assembly> of its namespace and of version 1.0 only.
    const std::string root = LocalName(reading.root.c_str());
    if (!reading.wrong && root != "assembly")
        reading.wrong = "its root is <" + root + ">, not <assembly>";
    else if (!reading.wrong && reading.root != kAssemblyNamespace + std::string(1, kNamespaceSeparator) + root)
        reading.wrong = std::string("its <assembly> is not in the namespace Windows reads: give it xmlns=\"") +
                        kAssemblyNamespace + "\"";
    else if (!reading.wrong && !reading.root_versioned)
        reading.wrong = "its <assembly> has no manifestVersion=\"1.0\", which Windows requires";
    return reading;
}

}  // namespace

bool IsExecutionLevel(const std::string& level)
{
    return level == "asInvoker" || level == "highestAvailable" || level == "requireAdministrator";
}

Bytes MakeManifest(const std::string& level)
{
    char text[sizeof kManifestFormat + 32];
    const int length = std::snprintf(text, sizeof text, kManifestFormat, level.c_str());
    return Bytes(text, text + length);
}

std::optional<std::string> CheckManifest(const Bytes& manifest)
{
    return ReadManifest(manifest).wrong;
}

std::string RequestedExecutionLevel(const Bytes& manifest)
{
    // A manifest that is not sound XML requests nothing to rely on: what
    // Windows makes of it is not the level it spells.
    ManifestReading reading = ReadManifest(manifest);
    return reading.wrong ? "" : reading.level;
}
