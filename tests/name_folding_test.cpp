// The packer folds names as the installer does: for every character of each
// ANSI code page, the upper case that the packer's rule gives (on any
// platform) is the one that Windows' CharUpperBuffW gives, which the stub
// uses to find twins. Checked under Wine, on Windows' own tables.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "pack/system/code_page.h"

namespace {

// The character's upper case as the stub finds it; nothing when `bytes` is no
// character of the code page.
std::optional<std::u32string> StubsUpperCase(const std::string& bytes, unsigned codePage)
{
    wchar_t wide[4] = {};
    const int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                           wide, 4);
    if (length != 1)
        return std::nullopt;
    CharUpperBuffW(wide, 1);
    return std::u32string(1, static_cast<char32_t>(wide[0]));
}

TEST(NameFolding, EveryCharacterOfEachAnsiCodePageFoldsAsTheStubFoldsIt)
{
    for (const unsigned codePage : {874u, 932u, 936u, 949u, 950u, 1250u, 1251u, 1252u, 1253u, 1254u, 1255u, 1256u,
                                    1257u, 1258u}) {
        SCOPED_TRACE(codePage);
        CPINFO info = {};
        ASSERT_TRUE(GetCPInfo(codePage, &info));
        int compared = 0, differ = 0;
        for (unsigned first = 0x20; first <= 0xFF; ++first) {
            // A lead byte with every trail byte, or the byte alone.
            const bool lead = IsDBCSLeadByteEx(codePage, static_cast<BYTE>(first)) != FALSE;
            for (unsigned second = lead ? 0x40 : 0; second <= (lead ? 0xFFu : 0u); ++second) {
                std::string bytes(1, static_cast<char>(first));
                if (lead)
                    bytes += static_cast<char>(second);
                const std::optional<std::u32string> stub = StubsUpperCase(bytes, codePage);
                if (!stub)
                    continue;
                ++compared;
                if (CaseFoldedKey(bytes, codePage) != *stub && ++differ <= 5)
                    ADD_FAILURE() << "bytes " << std::hex << first << " " << second << ": the stub gives U+"
                                  << static_cast<unsigned>((*stub)[0]) << ", the packer U+"
                                  << static_cast<unsigned>(CaseFoldedKey(bytes, codePage)[0]);
            }
        }
        EXPECT_EQ(differ, 0);
        EXPECT_GT(compared, 100);
    }
}

}  // namespace
