// Code page conversions through the system's own tables.
#include "pack/system/code_page.h"

#include <windows.h>

namespace {

std::optional<std::wstring> Widen(const std::string& text, unsigned codePage)
{
    if (text.empty())
        return std::wstring();
    const int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0);
    if (length <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
    return wide;
}

std::optional<std::string> Narrow(const std::wstring& wide, unsigned codePage)
{
    if (wide.empty())
        return std::string();
    BOOL lossy = FALSE;
    BOOL* lossyFlag = codePage == CP_UTF8 ? nullptr : &lossy;
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int length = WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                           nullptr, lossyFlag);
    if (length <= 0 || lossy)
        return std::nullopt;
    std::string text(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), text.data(), length, nullptr,
                        lossyFlag);
    if (lossy)
        return std::nullopt;
    return text;
}

}  // namespace

std::optional<std::string> ConvertText(const std::string& text, unsigned from, unsigned to)
{
    const std::optional<std::wstring> wide = Widen(text, from);
    return wide ? Narrow(*wide, to) : std::nullopt;
}

bool CanConvert(unsigned codePage)
{
    return IsValidCodePage(codePage) != 0;
}
