// libFuzzer target: text between UTF-8 and UTF-16, and text printed as
// data. Whatever the bytes, conversions give Unicode, what the identity
// check takes survives the round trip, and what is printed holds no control
// character and is UTF-8.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pack/cli/printable_text.h"
#include "pack/identity/identity.h"
#include "pack/system/utf16.h"

namespace {

bool IsUtf8(const std::string& text)
{
    for (size_t at = 0; at < text.size();)
        if (!DecodeUtf8(text, &at))
            return false;
    return true;
}

// No C0 control but the ones allowed, no DEL, no C1 (U+0080 to U+009F, C2 80 to C2 9F in UTF-8).
bool HasNoControls(const std::string& text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F || (c == 0xC2 && i + 1 < text.size() && (text[i + 1] & 0xE0) == 0x80))
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string back = Utf8FromUtf16(Utf16FromUtf8(text));
    if (!IsUtf8(back) || (IsUtf8(text) && back != text))
        abort();
    if (!CheckIdentityText(text) && (!IsUtf8(text) || !HasNoControls(text)))
        abort();

    std::u16string wide;
    for (size_t i = 0; i + 1 < size; i += 2)
        wide += static_cast<char16_t>(data[i] | data[i + 1] << 8);
    const std::string narrow = Utf8FromUtf16(wide);
    if (!IsUtf8(narrow) || Utf16FromUtf8(narrow).size() != wide.size())
        abort();

    for (const std::string& shown : {Printable(text), JsonString(text)})
        if (!IsUtf8(shown) || !HasNoControls(shown))
            abort();
    return 0;
}
