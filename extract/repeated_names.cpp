#include "extract/repeated_names.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

namespace {

// Every name in upper case, as wide text, end to end in one block; keys[i]
// is where entry i's name starts. One allocation, whatever the count.
class UpperCaseNames {
public:
    UpperCaseNames(const MergeEntry* table, uint32_t count) : count_(count)
    {
        uint64_t characters = 0;
        for (uint32_t i = 0; i < count; ++i)
            characters += static_cast<uint64_t>(WideLength(table[i].name)) + 1;
        const uint64_t bytes = characters * sizeof(wchar_t) + uint64_t{count} * 2 * sizeof(uint32_t);
        if (bytes > SIZE_MAX || characters > UINT32_MAX)
            return;
        block_ = LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(bytes));
        if (!block_)
            return;
        offsets_ = static_cast<uint32_t*>(block_);
        order_ = offsets_ + count;
        text_ = reinterpret_cast<wchar_t*>(order_ + count);
        uint32_t at = 0;
        for (uint32_t i = 0; i < count; ++i) {
            offsets_[i] = at;
            order_[i] = i;
            const int length = WideLength(table[i].name);
            MultiByteToWideChar(CP_ACP, /*flags=*/0, table[i].name, -1, text_ + at, length + 1);
            CharUpperBuffW(text_ + at, static_cast<DWORD>(length));
            at += static_cast<uint32_t>(length) + 1;
        }
    }
    ~UpperCaseNames()
    {
        if (block_)
            LocalFree(block_);
    }
    UpperCaseNames(const UpperCaseNames&) = delete;
    UpperCaseNames& operator=(const UpperCaseNames&) = delete;

    bool Ready() const { return block_ != nullptr; }

    bool AnyRepeated()
    {
        auto key = [this](uint32_t i) { return text_ + offsets_[i]; };
        std::sort(order_, order_ + count_,
                  [&](uint32_t a, uint32_t b) { return std::wcscmp(key(a), key(b)) < 0; });
        for (uint32_t i = 1; i < count_; ++i)
            if (std::wcscmp(key(order_[i - 1]), key(order_[i])) == 0)
                return true;
        return false;
    }

private:
    // The name's length in wide characters, without the terminator.
    static int WideLength(const char* name)
    {
        const int length = MultiByteToWideChar(CP_ACP, /*flags=*/0, name, -1, nullptr, 0);
        return length > 0 ? length - 1 : 0;
    }

    uint32_t count_;
    void* block_ = nullptr;
    uint32_t* offsets_ = nullptr;
    uint32_t* order_ = nullptr;
    wchar_t* text_ = nullptr;
};

}  // namespace

NameCheck CheckNamesAreUnique(const MergeEntry* table, uint32_t count)
{
    UpperCaseNames names(table, count);
    if (!names.Ready())
        return NameCheck::OutOfMemory;
    return names.AnyRepeated() ? NameCheck::Repeated : NameCheck::Unique;
}
