// Unicode text: UTF-8 as the packer keeps it, UTF-16 as Windows keeps it in
// resources. Text read from files and installers may be anything, so every
// decoder here takes any bytes and puts U+FFFD where they are not Unicode.
#ifndef SFX_PACK_SYSTEM_UTF16_H
#define SFX_PACK_SYSTEM_UTF16_H

#include <optional>
#include <string>

#include "pack/system/bytes.h"

constexpr char32_t kReplacementCharacter = 0xFFFD;

// The character that starts at *at, moving *at past it; nothing, moving *at
// past one byte, where the bytes are not UTF-8: a stray or missing
// continuation byte, an overlong form, a surrogate, a value past U+10FFFF.
std::optional<char32_t> DecodeUtf8(const std::string& text, size_t* at);

void AppendUtf8(std::string& out, char32_t c);

// C0 controls, DEL and C1 controls: what a terminal obeys rather than shows.
bool IsControlCharacter(char32_t c);
// Characters that change how the text around them is laid out or read
// without being seen: the bidirectional marks, overrides and isolates, the
// line and paragraph separators, the byte order mark, and noncharacters.
bool IsLayoutCharacter(char32_t c);

// Conversions; what is not Unicode becomes U+FFFD: bytes that are not UTF-8,
// and a surrogate that is not half of a pair.
std::u16string Utf16FromUtf8(const std::string& utf8);
std::string Utf8FromUtf16(const std::u16string& utf16);
#ifdef _WIN32
// Windows' wide strings are UTF-16 too.
std::string Utf8FromUtf16(const std::wstring& utf16);
#endif

// Appends the text little-endian, and its terminator when asked.
void AppendUtf16(Bytes& out, const std::u16string& text, bool terminated);

// The little-endian UTF-16 text at the start of `bytes`, up to its terminator.
std::u16string LoadUtf16(const Bytes& bytes);

#endif
