// UTF-16 text as Windows keeps it in resources, and back to UTF-8.
#ifndef SFX_PACK_SYSTEM_UTF16_H
#define SFX_PACK_SYSTEM_UTF16_H

#include <string>

#include "pack/system/bytes.h"

std::u16string Utf16FromUtf8(const std::string& utf8);
std::string Utf8FromUtf16(const std::u16string& utf16);

// Appends the text little-endian, and its terminator when asked.
void AppendUtf16(Bytes& out, const std::u16string& text, bool terminated);

// The little-endian UTF-16 text at the start of `bytes`, up to its terminator.
std::u16string LoadUtf16(const Bytes& bytes);

#endif
