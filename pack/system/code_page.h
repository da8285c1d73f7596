// File names travel in the package in a Windows ANSI code page (1252 unless
// told otherwise); on the packer's side they are UTF-8.
#ifndef SFX_PACK_CODE_PAGE_H
#define SFX_PACK_CODE_PAGE_H

#include <optional>
#include <string>

// Whether names can be converted to and from the code page here.
bool IsKnownCodePage(unsigned codePage);

// The name in the code page, or nothing (with the reason in *error) when it is
// not UTF-8, a character has no exact counterpart, or the code page is unknown.
std::optional<std::string> Utf8ToCodePage(const std::string& utf8, unsigned codePage, std::string* error);

// The name as UTF-8, or nothing when a byte has no meaning in the code page.
std::optional<std::string> CodePageToUtf8(const std::string& text, unsigned codePage);

// A key under which names that Windows, on a system of this ANSI code page,
// takes for the same file are equal: the name as stored in the package,
// decoded with the code page (a byte that means nothing there stands for
// itself), each character in Windows' upper case. The stub compares names so.
std::u32string CaseFoldedKey(const std::string& storedName, unsigned codePage);

// The system's side, one file for each: `text` from code page `from` into
// code page `to` (65001 is UTF-8) without a lossy fallback, and whether a
// code page is known.
std::optional<std::string> ConvertText(const std::string& text, unsigned from, unsigned to);
bool CanConvert(unsigned codePage);

#endif
